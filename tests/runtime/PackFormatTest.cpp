#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "runtime/PackFormat.h"

namespace {

using Bytes = std::vector<uint8_t>;

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Packs into an output of the format's size, every byte 0xEE beforehand so
// that bytes left alone show.
Bytes Pack(const std::string& format, const std::vector<float>& input, int32_t* answer = nullptr) {
    const int32_t size = PackFormatByteSize(format, true);
    Bytes out(static_cast<size_t>(size < 0 ? 0 : size), 0xEE);
    const int32_t n =
        PackVectorToBytes(input.data(), format, out.data(), static_cast<int32_t>(input.size()), out.size());
    if (answer) *answer = n;
    return out;
}

std::vector<float> Unpack(const std::string& format, const Bytes& data, int32_t capacity = 64) {
    std::vector<float> out(static_cast<size_t>(capacity), -99.0f);
    out.resize(static_cast<size_t>(UnpackBytesToVector(format, data.data(), data.size(), out.data(), capacity)));
    return out;
}

}  // namespace

TEST(PackFormat, CountsAndSizesOfFormats) {
    struct Case {
        const char* format;
        int32_t values, withLiterals, withoutLiterals;
    } cases[] = {
        {">hxxs", 2, 5, 5},
        {"3sabc", 1, 3, 3},  // unpacking stops at the literal's "a"
        {"2Sab", 1, 4, 4},   // ... and at "a" here too
        {"!10d", 10, 80, 80},
        {"<bBchHiIlLPqQfd", 14, 1 + 1 + 1 + 2 + 2 + 4 * 5 + 8 * 3 + 4, 1 + 1 + 1 + 2 + 2 + 4 * 5 + 8 * 3 + 4},
        {"", 0, 0, 0},
        {"<", 0, 0, 0},
        {"4", 0, 0, 0},  // digits with no letter
        {"0q3x", 0, 3, 3},
        {"x?h", 0, 1, 1},  // '?' ends the format
        {"2h h", 2, 4, 4},
        {"5sab", 1, 5, 5},  // a literal cut short by the format's end
        {"3s", 1, 3, 3},
        {"2147483647x2147483647x", 0, -1, -1},  // beyond the cap, not wrapped
        {"99999999999999999999q", -1, -1, -1},
        {"268435455b", 268435455, 268435455, 268435455},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(PackFormatValueCount(c.format), c.values);
        EXPECT_EQ(PackFormatByteSize(c.format, true), c.withLiterals);
        EXPECT_EQ(PackFormatByteSize(c.format, false), c.withoutLiterals);
    }
}

TEST(PackFormat, PacksFieldsInTheirByteOrder) {
    struct Case {
        const char* format;
        std::vector<float> input;
        Bytes bytes;
    } cases[] = {
        {">2h", {1.9f, -1.9f}, {0x00, 0x01, 0xFF, 0xFF}},
        {"<2h", {1.9f, -1.9f}, {0x01, 0x00, 0xFF, 0xFF}},
        {"b", {258.7f}, {0x02}},
        {"B", {258.7f}, {0x02}},
        {">b", {258.7f}, {0x02}},
        {"<B", {258.7f}, {0x02}},
        {"c", {-1.9f}, {0xFF}},
        {"3sabc", {}, {0x61, 0x62, 0x63}},
        {"2Sab", {}, {0x61, 0x00, 0x62, 0x00}},
        {">2Sab", {}, {0x61, 0x00, 0x62, 0x00}},
        {"5sab", {}, {0x61, 0x62, 0x00, 0x00, 0x00}},
        {">h2xsZh", {1, 2}, {0x00, 0x01, 0x00, 0x00, 'Z', 0x00, 0x02}},
        {"<i", {-2}, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"!i", {-2}, {0xFF, 0xFF, 0xFF, 0xFE}},
        {"=h", {1}, {0x01, 0x00}},
        {"@h", {1}, {0x01, 0x00}},
        {"h", {1}, {0x01, 0x00}},
        {">H", {65535}, {0xFF, 0xFF}},
        {">H", {-1}, {0xFF, 0xFF}},
        {">I", {3e9f}, {0xB2, 0xD0, 0x5E, 0x00}},
        {"<L", {-1}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {">P", {7.9f}, {0, 0, 0, 7}},
        {">q", {-2}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}},
        {"<Q", {5e9f}, {0x00, 0xF2, 0x05, 0x2A, 0x01, 0, 0, 0}},
        {">f", {1.0f}, {0x3F, 0x80, 0x00, 0x00}},
        {"<f", {1.0f}, {0x00, 0x00, 0x80, 0x3F}},
        {">d", {1.0f}, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
        {"<d", {-2.0f}, {0, 0, 0, 0, 0, 0, 0x00, 0xC0}},
        {"0h2x", {5}, {0x00, 0x00}},  // a count of 0 writes nothing and takes no float
        // Once the floats are used up, numeric fields keep their room unwritten.
        {"h2xh", {}, {0xEE, 0xEE, 0x00, 0x00, 0xEE, 0xEE}},
        {">2bsQ", {1}, {0x01, 0xEE, 'Q'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        int32_t answer = -1;
        EXPECT_EQ(Pack(c.format, c.input, &answer), c.bytes);
        EXPECT_EQ(answer, static_cast<int32_t>(c.bytes.size()));
    }
}

// Floats that the target cannot hold: the processor's "integer indefinite"
// of the conversion the field goes through.
TEST(PackFormat, OutOfRangeFloatsGiveTheIntegerIndefinite) {
    EXPECT_EQ(PackTruncate32(kNaN), INT32_MIN);
    EXPECT_EQ(PackTruncate32(3e9f), INT32_MIN);
    EXPECT_EQ(PackTruncate32(-3e9f), INT32_MIN);
    EXPECT_EQ(PackTruncate32(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(PackTruncate32(2147483520.0f), 2147483520);
    EXPECT_EQ(PackTruncate32(-1.9f), -1);
    EXPECT_EQ(PackTruncate64(kNaN), INT64_MIN);
    EXPECT_EQ(PackTruncate64(1e19f), INT64_MIN);
    EXPECT_EQ(PackTruncate64(-std::numeric_limits<float>::infinity()), INT64_MIN);
    EXPECT_EQ(PackTruncate64(3e9f), 3000000000LL);

    EXPECT_EQ(Pack("<i", {kNaN}), (Bytes{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(Pack("<i", {3e9f}), (Bytes{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(Pack("<h", {1e10f}), (Bytes{0x00, 0x00}));
    EXPECT_EQ(Pack(">q", {kNaN}), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Pack(">Q", {1e30f}), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Pack("<I", {kNaN}), (Bytes{0, 0, 0, 0}));  // the low half of INT64_MIN
}

TEST(PackFormat, UnpacksFieldsInTheirByteOrder) {
    const float two64 = std::ldexp(1.0f, 64);
    struct Case {
        const char* format;
        Bytes data;
        std::vector<float> values;
    } cases[] = {
        {">hxxs", {0x00, 0x05, 0xAA, 0xBB, 0x41}, {5, 4}},
        {"H", {0x01, 0x00}, {}},
        {"I", {1, 0, 0, 0}, {}},
        {"bLb", {0x01, 0, 0, 0, 0, 0x02}, {1}},
        {"<h", {0xFF, 0xFF}, {-1}},
        {">h", {0x01, 0x02}, {258}},
        {"c", {0xFF}, {-1}},
        {"b", {0x80}, {-128}},
        {"B", {0xFF}, {255}},
        {">i", {0xFF, 0xFF, 0xFF, 0xFE}, {-2}},
        {"<l", {0x02, 0x01, 0, 0}, {258}},
        {"!P", {0, 0, 1, 0}, {256}},
        {">q", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, {-2}},
        {"<Q", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {two64}},
        {">f", {0x3F, 0x80, 0x00, 0x00}, {1}},
        {">d", {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, {1}},
        {"<d", {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}, {std::numeric_limits<float>::infinity()}},
        {"2S", {'a', 0, 'b', 0}, {0}},
        {"0s0h", {}, {0}},
        // Short data: a field that runs past the end ends the unpacking.
        {">3h", {0x00, 0x01, 0x00, 0x02, 0x00}, {1, 2}},
        {"b4x", {0x07, 0, 0}, {7}},
        {"b4s", {0x07, 0, 0}, {7}},
        {"2000000000x", {1, 2, 3}, {}},
        {"d", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(Unpack(c.format, c.data), c.values);
    }
    // The output's capacity bounds the floats written.
    EXPECT_EQ(Unpack("3b", {1, 2, 3}, 2), (std::vector<float>{1, 2}));
    EXPECT_EQ(Unpack("bs", {1, 2}, 1), (std::vector<float>{1}));
}

TEST(PackFormat, PackingStopsAtTheOutputsEnd) {
    Bytes out(3, 0xEE);
    const float in[2] = {1, 2};
    EXPECT_EQ(PackVectorToBytes(in, ">2000000000h", out.data(), 2, out.size()), 2);
    EXPECT_EQ(out, (Bytes{0x00, 0x01, 0xEE}));
    EXPECT_EQ(PackVectorToBytes(in, "b4sabcd", out.data(), 2, out.size()), 1);
    EXPECT_EQ(PackVectorToBytes(in, "4x", out.data(), 2, out.size()), 0);
    EXPECT_EQ(PackVectorToBytes(nullptr, "2x", out.data(), 5, out.size()), 2);
}

TEST(PackFormat, ReverseBytes8) {
    const uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[8];
    ReverseBytes8(in, out);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
}
