#include "scene/RgbeReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/ImageFiles.h"

using qemtest::RgbeHeaderBytes;
using qemtest::RgbeRleScanline;

namespace {

// A FILE* over a copy of `bytes`, closed with the object.
class MemoryFile {
public:
    explicit MemoryFile(std::string bytes) : m_bytes(std::move(bytes)) {
        // fmemopen cannot make an empty stream: an empty file is one.
        m_file = m_bytes.empty() ? std::tmpfile() : fmemopen(&m_bytes[0], m_bytes.size(), "rb");
    }
    ~MemoryFile() { std::fclose(m_file); }
    FILE* get() const { return m_file; }

private:
    std::string m_bytes;
    FILE* m_file;
};

struct HeaderRun {
    int result;
    int32_t width = -1, height = -1;
    RGBEHeaderInfo info;
    std::string stderrText;
};

HeaderRun ReadHeader(const std::string& text) {
    MemoryFile f(text);
    HeaderRun run;
    testing::internal::CaptureStderr();
    run.result = RGBEReadHeader(f.get(), &run.width, &run.height, &run.info);
    run.stderrText = testing::internal::GetCapturedStderr();
    return run;
}

TEST(RgbeReader, ToFloatIsMantissaTimesTwoToTheExponentLess136) {
    struct Case {
        uint8_t r, g, b, e;
        float expected[3];
    } cases[] = {
        {128, 64, 0, 128, {0.5f, 0.25f, 0.0f}},
        {1, 2, 3, 137, {2.0f, 4.0f, 6.0f}},
        {255, 255, 255, 0, {0.0f, 0.0f, 0.0f}},
        {200, 1, 255, 1, {200.0f * 0x1p-135f, 0x1p-135f, 255.0f * 0x1p-135f}},
        {255, 128, 1, 255, {255.0f * 0x1p119f, 0x1p126f, 0x1p119f}},
    };
    for (const Case& c : cases) {
        float rgb[3] = {-1, -1, -1};
        RGBEToFloat(c.r, c.g, c.b, c.e, rgb);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(rgb[i], c.expected[i]) << int(c.e) << " channel " << i;
    }
}

TEST(RgbeReader, HeaderGivesSizeAndInformation) {
    HeaderRun run = ReadHeader("#?RADIANCE extra\nGAMMA=2.2\nEXPOSURE=0.5\nCOMMENT\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.width, 3);
    EXPECT_EQ(run.height, 2);
    EXPECT_EQ(run.info.valid, kRGBEValidProgramType | kRGBEValidGamma | kRGBEValidExposure);
    EXPECT_STREQ(run.info.programtype, "RADIANCE");
    EXPECT_FLOAT_EQ(run.info.gamma, 2.2f);
    EXPECT_FLOAT_EQ(run.info.exposure, 0.5f);
    EXPECT_EQ(run.stderrText, "");

    run = ReadHeader("#?AVERYLONGPROGRAMNAME\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_STREQ(run.info.programtype, "AVERYLONGPROGRA");  // 15 characters

    // Without information the header still reads.
    MemoryFile f(RgbeHeaderBytes(4, 5));
    int32_t w = 0, h = 0;
    EXPECT_EQ(RGBEReadHeader(f.get(), &w, &h, nullptr), 0);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 5);
}

TEST(RgbeReader, HeaderErrorsGoToStandardError) {
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"empty line before FORMAT", "#?RADIANCE\n\nFORMAT=32-bit_rle_rgbe\n",
         "RGBE bad file format: no FORMAT specifier found\n"},
        {"other format", "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n", "RGBE bad file format: no FORMAT specifier found\n"},
        {"no blank line", "FORMAT=32-bit_rle_rgbe\n-Y 1 +X 1\n",
         "RGBE bad file format: missing blank line after FORMAT specifier\n"},
        {"size line", "FORMAT=32-bit_rle_rgbe\n\n+X 1 -Y 1\n",
         "RGBE bad file format: missing image size specifier\n"},
    };
    for (const Case& c : cases) {
        const HeaderRun run = ReadHeader(c.text);
        EXPECT_EQ(run.result, -1) << c.name;
        EXPECT_EQ(run.stderrText, c.message) << c.name;
    }
    for (const char* cut : {"", "#?RADIANCE\n", "FORMAT=32-bit_rle_rgbe\n", "FORMAT=32-bit_rle_rgbe\n\n"}) {
        const HeaderRun run = ReadHeader(cut);
        EXPECT_EQ(run.result, -1) << cut;
        EXPECT_EQ(run.stderrText.rfind("RGBE read error: ", 0), 0u) << run.stderrText;
    }
}

struct PixelRun {
    int result;
    std::vector<float> data;
    std::string stderrText;
};

PixelRun ReadPixels(const std::string& bytes, int32_t width, int32_t height) {
    MemoryFile f(bytes);
    PixelRun run;
    run.data.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, -1.0f);
    testing::internal::CaptureStderr();
    run.result = RGBEReadPixelsRLE(f.get(), run.data.data(), width, height);
    run.stderrText = testing::internal::GetCapturedStderr();
    return run;
}

TEST(RgbeReader, FlatFileIsReadWhole) {
    // 3 x 2 (below 8 wide: always flat) and 8 x 1 whose first bytes are not 2, 2.
    const std::string texels("\x80\x40\x00\x80" "\x01\x02\x03\x89" "\x00\x00\x00\x00" "\xFF\x00\x00\x81"
                             "\x02\x03\x00\x88" "\x04\x00\x00\x82",
                             24);
    PixelRun run = ReadPixels(texels, 3, 2);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.data, (std::vector<float>{0.5f, 0.25f, 0, 2, 4, 6, 0, 0, 0, 255 * 0x1p-7f, 0, 0, 2, 3, 0,
                                            4 * 0x1p-6f, 0, 0}));

    std::string wide;
    for (int i = 0; i < 8; ++i) wide += std::string("\x02\x01\x00\x88", 4);
    run = ReadPixels(wide, 8, 1);
    ASSERT_EQ(run.result, 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(run.data[static_cast<size_t>(i) * 3], 2.0f);

    run = ReadPixels(texels.substr(0, 23), 3, 2);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.stderrText.rfind("RGBE read error: ", 0), 0u);
}

TEST(RgbeReader, RunLengthScanlines) {
    // 128 texels: red is one literal of 128 bytes (count byte 128), green a
    // run of 127 and a run of 1, blue and exponent runs.
    const int32_t width = 128;
    std::string line("\x02\x02\x00\x80", 4);
    line += '\x80';
    for (int i = 0; i < width; ++i) line += static_cast<char>(i);
    line += "\xFF\x10\x81\x20";
    line += "\xFF\x30\x81\x30";
    line += "\xFF\x88\x81\x89";
    PixelRun run = ReadPixels(line, width, 1);
    ASSERT_EQ(run.result, 0) << run.stderrText;
    EXPECT_EQ(run.data[0], 0.0f);
    EXPECT_EQ(run.data[3 * 5], 5.0f);
    EXPECT_EQ(run.data[3 * 5 + 1], 16.0f);
    EXPECT_EQ(run.data[3 * 5 + 2], 48.0f);
    EXPECT_EQ(run.data[3 * 127], 254.0f);
    EXPECT_EQ(run.data[3 * 127 + 1], 64.0f);
    EXPECT_EQ(run.data[3 * 127 + 2], 96.0f);

    // Two scanlines written by the test's encoder.
    std::vector<uint8_t> texels;
    for (int i = 0; i < 2 * 10; ++i) texels.insert(texels.end(), {uint8_t(i), uint8_t(i < 7 ? 9 : 200), 1, 136});
    const std::string two = RgbeRleScanline({texels.begin(), texels.begin() + 40}) +
                            RgbeRleScanline({texels.begin() + 40, texels.end()});
    run = ReadPixels(two, 10, 2);
    ASSERT_EQ(run.result, 0);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(run.data[static_cast<size_t>(i) * 3], float(i)) << i;
        EXPECT_EQ(run.data[static_cast<size_t>(i) * 3 + 1], i < 7 ? 9.0f : 200.0f) << i;
    }
}

TEST(RgbeReader, RunLengthErrors) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"wrong scanline width", std::string("\x02\x02\x00\x09", 4), "RGBE bad file format: wrong scanline width\n"},
        {"count of 0", std::string("\x02\x02\x00\x08\x00\x01", 6), "RGBE bad file format: bad scanline data\n"},
        {"literal past the channel", std::string("\x02\x02\x00\x08\x09", 5) + std::string(9, 'x'),
         "RGBE bad file format: bad scanline data\n"},
        {"run past the channel", std::string("\x02\x02\x00\x08\x89\x01", 6), "RGBE bad file format: bad scanline data\n"},
    };
    for (const Case& c : cases) {
        const PixelRun run = ReadPixels(c.bytes, 8, 1);
        EXPECT_EQ(run.result, -1) << c.name;
        EXPECT_EQ(run.stderrText, c.message) << c.name;
    }
    const PixelRun cut = ReadPixels(std::string("\x02\x02\x00\x08\x88\x01\x84", 7), 8, 1);
    EXPECT_EQ(cut.result, -1);
    EXPECT_EQ(cut.stderrText.rfind("RGBE read error: ", 0), 0u);
}

TEST(RgbeReader, BufferSizeIsBoundedBeforeAllocation) {
    for (auto [w, h] : {std::pair{0, 1}, {1, -1}, {1 << 13, 1 << 13}, {0x7FFFFFFF, 0x7FFFFFFF}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(RGBEAllocatePixels(w, h, 1), nullptr) << w << " x " << h;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "RGBE error: unable to allocate buffer space\n");
    }
    float* data = RGBEAllocatePixels(3, 2, 6);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[3 * 2 * 6 * 3 - 1], 0.0f);
    std::free(data);
}

}  // namespace
