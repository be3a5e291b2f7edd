#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/PackageDecompress.h"
#include "support/PackageMaker.h"

using namespace qemtest;

namespace {

// The expansion of a stream into `capacity` bytes; "<refused>" when refused.
std::string Expand(const Bytes& stream, size_t capacity = 1 << 16) {
    Bytes out(capacity + 1, 0xEE);  // one guard byte past the capacity
    const int64_t n = PackageDecompress(stream.data(), stream.size(), out.data(), capacity);
    EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
    if (n < 0) return "<refused>";
    return std::string(out.begin(), out.begin() + n);
}

PackageStreamWriter Start(const char* literals) {
    PackageStreamWriter w;
    w.First(static_cast<uint8_t>(literals[0]));
    for (const char* p = literals + 1; *p; ++p) w.Literal(static_cast<uint8_t>(*p));
    return w;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    size_t capacity;
    std::string expected;
};

}  // namespace

TEST(PackageDecompress, EachStepAsTheReaderSeesIt) {
    const std::string refused = "<refused>";
    const StreamCase cases[] = {
        {"first byte, then the end", Start("a").End().Stream(), 16, "a"},
        {"0: literals", Start("abc").End().Stream(), 16, "abc"},
        {"110: length 3", Start("ab").Short(2 << 1 | 1).End().Stream(), 16, "ababa"},
        {"110: length 2", Start("ab").Short(1 << 1).End().Stream(), 16, "abbb"},
        {"111: a byte from 3 back", Start("abc").Nibble(3).End().Stream(), 16, "abca"},
        {"111: offset 0 writes 0", Start("abc").Nibble(0).End().Stream(), 16, std::string("abc\0", 4)},
        {"10 after a literal: g - 3", Start("abcd").Match(3, 4, 2).End().Stream(), 16, "abcdabcd"},
        {"10 after a match: g - 2", Start("abcd").Short(4 << 1).Match(2, 3, 2).End().Stream(), 16, "abcdabdabd"},
        {"10 with g = 2 after a literal repeats the last offset",
         Start("abcd").Match(3, 4, 2).Literal('x').Repeat(3).End().Stream(), 16, "abcdabcdxbcd"},
        {"the 111 step also ends a run of matches",
         Start("abcd").Short(4 << 1).Nibble(1).Repeat(2).End().Stream(), 16, "abcdabbda"},
        {"overlapping copy repeats what it writes", Start("ab").Match(3, 1, 4).End().Stream(), 16, "abbbbbbb"},
        {"bytes after the end marker are ignored", Start("a").End().Literal('z').Stream(), 16, "a"},
        {"output may fill the capacity exactly", Start("ab").Match(3, 1, 4).End().Stream(), 8, "abbbbbbb"},

        {"empty source", Bytes{}, 16, refused},
        {"no room even for the first byte", Start("a").End().Stream(), 0, refused},
        {"cut before the end marker", Start("ab").Stream(), 16, refused},
        {"cut inside a gamma number", Start("a").Bit(1).Bit(0).Bit(1).Stream(), 16, refused},
        {"cut before a match's offset byte", Start("a").Bit(1).Bit(0).Gamma(3).Stream(), 16, refused},
        {"cut inside a 111 offset", Start("a").Bit(1).Bit(1).Bit(1).Bit(0).Stream(), 16, refused},
        {"110 offset before the start", Start("ab").Short(3 << 1).End().Stream(), 16, refused},
        {"10 offset before the start", Start("ab").Match(3, 3, 2).End().Stream(), 16, refused},
        {"10 offset 0", Start("ab").Match(3, 0, 2).End().Stream(), 16, refused},
        {"111 offset before the start", Start("a").Nibble(2).End().Stream(), 16, refused},
        {"repeat before any offset", Start("ab").Repeat(2).End().Stream(), 16, refused},
        {"copy past the stated size", Start("ab").Match(3, 1, 4).End().Stream(), 7, refused},
        {"literal past the stated size", Start("abc").End().Stream(), 2, refused},
        {"111 past the stated size", Start("ab").Nibble(1).End().Stream(), 2, refused},
        {"length that lies about its size", Start("ab").Match(3, 1, uint64_t(1) << 40).End().Stream(), 100, refused},
        {"offset that lies about its size", Start("ab").Match(uint64_t(1) << 40, 1, 2).End().Stream(), 100, refused},
    };
    for (const StreamCase& c : cases) EXPECT_EQ(Expand(c.stream, c.capacity), c.expected) << c.name;
}

TEST(PackageDecompress, LengthStepsAtOffsets128And1280And32000) {
    // 33000 distinct-looking bytes, then one match per case.
    std::mt19937 random(7);
    std::string prefix(33000, '\0');
    for (char& c : prefix) c = static_cast<char>('a' + random() % 26);
    struct {
        uint32_t offset;
        size_t length;  // for a length code of 2
    } const steps[] = {{127, 4}, {128, 2}, {1279, 2}, {1280, 3}, {31999, 3}, {32000, 4}, {32999, 4}};
    for (const auto& s : steps) {
        PackageStreamWriter w = Start(prefix.c_str());
        w.Match((s.offset >> 8) + 3, static_cast<uint8_t>(s.offset & 0xFF), 2).End();
        const std::string out = Expand(w.Stream(), 40000);
        ASSERT_EQ(out.size(), prefix.size() + s.length) << "offset " << s.offset;
        EXPECT_EQ(out.substr(prefix.size()), prefix.substr(prefix.size() - s.offset, s.length)) << "offset " << s.offset;
    }
}

TEST(PackageDecompress, TheTestEncoderRoundTrips) {
    std::mt19937 random(11);
    Bytes noise(5000), text, runs;
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    for (int i = 0; i < 3000; ++i) {
        const std::string word = "word" + std::to_string(random() % 40) + (i % 7 ? " " : "\n");
        text.insert(text.end(), word.begin(), word.end());
    }
    for (int i = 0; i < 200; ++i) runs.insert(runs.end(), random() % 300 + 1, static_cast<uint8_t>(random() % 3));
    Bytes far(70000, 0);
    for (size_t i = 0; i < 1000; ++i) far[i] = far[i + 40000] = static_cast<uint8_t>(random());
    for (const Bytes* data : {&noise, &text, &runs, &far}) {
        const Bytes stream = PackageCompress(*data);
        Bytes out(data->size());
        ASSERT_EQ(PackageDecompress(stream.data(), stream.size(), out.data(), out.size()),
                  static_cast<int64_t>(data->size()));
        EXPECT_EQ(out, *data);
    }
    EXPECT_LT(PackageCompress(text).size(), text.size() / 3);
}
