#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "scene/EngineServices.h"

namespace {

// An open temporary file holding `text`, positioned at its start.
struct TextFile {
    FILE* file;
    explicit TextFile(const std::string& text) : file(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
    }
    ~TextFile() { std::fclose(file); }
};

// Every token of `text` up to and including the end-of-file token.
std::vector<std::string> Tokens(const std::string& text, uint8_t split) {
    TokenizerReset();
    TextFile f(text);
    std::vector<std::string> tokens;
    for (int i = 0; i < 100; ++i) {
        tokens.push_back(TokenizerNextToken(f.file, split));
        if (tokens.back() == "\n") break;
    }
    return tokens;
}

std::string g_captured;
int Capture(const char* text) {
    g_captured = text;
    return 5;
}

}  // namespace

TEST(Tokenizer, TokenTable) {
    struct Case {
        std::string text;
        uint8_t split;
        std::vector<std::string> tokens;
    };
    const std::string longWord(300, 'x');
    const std::vector<Case> cases = {
        {"a,b", 0, {"a", ",", "b", "\n"}},
        {"\"a b\"", 0, {"a b", "\n"}},
        {"\"a b\"", 1, {"a", "b", "\n"}},
        {"{a}", 0, {"{", "a", "}", "\n"}},
        {"[ 1 , 2 ]", 0, {"[", "1", ",", "2", "]", "\n"}},
        {"\"a,{b}\" c", 0, {"a,{b}", "c", "\n"}},  // delimiters inside quotes are characters
        {"\"a\tb\"", 0, {"a", "b", "\n"}},       // tabs split even inside quotes
        {"\"\" x", 0, {"x", "\n"}},                // an empty pair gives no token
        {"  \t\r\n lead", 0, {"lead", "\n"}},
        {"ab", 0, {"ab", "\n"}},                   // the last word without a separator
        {"\"open", 0, {"open", "\n"}},             // a quote cut by the end of the file
        {"", 0, {"\n"}},
        {longWord + " next", 0, {std::string(255, 'x'), "next", "\n"}},
        {longWord + "}", 0, {std::string(255, 'x'), "}", "\n"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.text, c.split), c.tokens) << '"' << c.text << '"';
}

// The depth moves as each brace is read, also when the brace is handed back
// only by the following call, and never inside quotes.
TEST(Tokenizer, BraceDepthFollowsTheBracesOutsideQuotes) {
    TokenizerReset();
    TextFile f("{a} b{ \"}\" }");
    std::vector<int> depths;
    for (;;) {
        const std::string token = TokenizerNextToken(f.file, 0);
        if (token == "\n") break;
        depths.push_back(TokenizerBraceDepth);
    }
    // tokens: { a } b { } }; the "}" after "a" counts when "a" is read
    EXPECT_EQ(depths, (std::vector<int>{1, 0, 0, 1, 1, 1, 0}));
}

TEST(Tokenizer, EndOfFileTokenRepeats) {
    TokenizerReset();
    TextFile f("end");
    EXPECT_STREQ(TokenizerNextToken(f.file, 0), "end");
    EXPECT_STREQ(TokenizerNextToken(f.file, 0), "\n");
    EXPECT_STREQ(TokenizerNextToken(f.file, 0), "\n");
    EXPECT_STREQ(TokenizerNextToken(nullptr, 0), "\n");
}

TEST(Tokenizer, SkipToFindsAnyOfTheKeywordsOrNull) {
    TokenizerReset();
    TextFile f("alpha Beta beta, gamma");
    char* found = TokenizerSkipTo(f.file, "beta", nullptr, "nothing", 0);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, "beta");
    EXPECT_STREQ(TokenizerNextToken(f.file, 0), ",");  // the pending delimiter is kept
    found = TokenizerSkipTo(f.file, "x", "gamma", nullptr, 0);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, "gamma");

    TextFile g("one two three");
    EXPECT_EQ(TokenizerSkipTo(g.file, "four", "Two", nullptr, 0), nullptr);
    EXPECT_EQ(TokenizerSkipTo(nullptr, "four", nullptr, nullptr, 0), nullptr);
}

TEST(Tokenizer, ResetDropsAPendingDelimiter) {
    TokenizerReset();
    TextFile first("a,b");
    EXPECT_STREQ(TokenizerNextToken(first.file, 0), "a");
    TokenizerReset();
    TextFile second("x");
    EXPECT_STREQ(TokenizerNextToken(second.file, 0), "x");
}

TEST(Tokenizer, ReadLineStopsAtLineEndsAndAtTheEndOfTheFile) {
    const std::string longLine(300, 'y');
    TextFile f("first line\r\nsecond\n" + longLine + "\nafter\nlast");
    const std::vector<std::string> expected = {"first line", "", "second", std::string(254, 'y'), "after", "last", "", ""};
    for (const std::string& line : expected) EXPECT_EQ(TokenizerReadLine(f.file), line);
    EXPECT_STREQ(TokenizerReadLine(nullptr), "");
}

TEST(TokenizerAndServices, ReportMessageJoinsWithOneBlank) {
    struct Case {
        const char* message;
        const char* detail;
        const char* text;
    };
    const Case cases[] = {{"msg", nullptr, "msg "}, {nullptr, "detail", " detail"}, {nullptr, nullptr, " "},
                          {"Cannot open", "a.txt", "Cannot open a.txt"}};
    for (const Case& c : cases) {
        g_captured.clear();
        EXPECT_EQ(ReportMessage(c.message, c.detail, Capture), 5);
        EXPECT_EQ(g_captured, c.text);
    }
    SetEngineErrorHandler(Capture);
    ReportError("bad", nullptr);
    EXPECT_EQ(g_captured, "bad ");
    SetEngineErrorHandler(nullptr);
    SetEngineWarningHandler(Capture);
    ReportWarning(nullptr, "careful");
    EXPECT_EQ(g_captured, " careful");
    SetEngineWarningHandler(nullptr);
}

TEST(TokenizerAndServices, DefaultErrorHandlerEndsTheProcessUnlessSilent) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DefaultErrorHandler("it broke"), testing::ExitedWithCode(255), "E R R O R !\nit broke");
    SilentFlag = 1;
    EXPECT_EQ(DefaultErrorHandler("quiet"), 0);
    SilentFlag = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DefaultWarningHandler("mind"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning...\nmind\n");
}

TEST(TokenizerAndServices, FoldersKeepAnyLength) {
    const std::string longFolder(400, 'f');
    const char block[] = "first/\0second/";
    EXPECT_EQ(SetBaseDirectory(block), block + 7);
    EXPECT_STREQ(BaseDirectory(), "first/");
    EXPECT_EQ(SetModuleDirectory(block + 7), block + 15);
    EXPECT_STREQ(ModuleDirectory(), "second/");
    SetBaseDirectory(longFolder.c_str());
    EXPECT_EQ(BaseDirectory(), longFolder);
    EXPECT_EQ(SetBaseDirectory(nullptr), nullptr);
    EXPECT_STREQ(BaseDirectory(), "");
    SetModuleDirectory("");
}

TEST(TokenizerAndServices, LiveObjectsAndShaderSupport) {
    const int32_t before = LiveObjectCount;
    IncrementLiveObjects();
    IncrementLiveObjects();
    DecrementLiveObjects();
    EXPECT_EQ(LiveObjectCount, before + 1);
    DecrementLiveObjects();

    const uint32_t saved = GLExtensionFlags;
    GLExtensionFlags = 0x7F;
    EXPECT_TRUE(ShadersSupported());
    GLExtensionFlags = 0x30 | 0x200;  // no shader objects
    EXPECT_FALSE(ShadersSupported());
    GLExtensionFlags = saved;
}

TEST(TokenizerAndServices, ShrinkArraysKeepTheFirstElements) {
    auto* words = static_cast<uint32_t*>(std::malloc(10 * 4));
    for (uint32_t i = 0; i < 10; ++i) words[i] = 0xA0000000u + i;
    words = static_cast<uint32_t*>(ShrinkArray32(words, 3));
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words[2], 0xA0000002u);
    EXPECT_EQ(ShrinkArray32(words, 0), nullptr);  // freed: the sanitizers would see a leak

    auto* halves = static_cast<uint16_t*>(std::malloc(10 * 2));
    for (uint16_t i = 0; i < 10; ++i) halves[i] = uint16_t(0xB000 + i);
    halves = static_cast<uint16_t*>(ShrinkArray16(halves, 4));
    EXPECT_EQ(halves[3], 0xB003);
    EXPECT_EQ(ShrinkArray16(halves, 0), nullptr);
    EXPECT_EQ(ShrinkArray32(nullptr, 0), nullptr);
}

namespace {

// A record owning a buffer, as material and group records own their key
// arrays, boxes and texts; counts the live records.
struct OwningRecord {
    static int live;
    std::unique_ptr<int[]> keys;
    int id = 0;
    OwningRecord() { ++live; }
    ~OwningRecord() { --live; }
    OwningRecord& operator=(OwningRecord&& other) noexcept {
        keys = std::move(other.keys);
        id = other.id;
        return *this;
    }
};
int OwningRecord::live = 0;

}  // namespace

TEST(TokenizerAndServices, ResizeArraysMoveTheOwnedBuffers) {
    OwningRecord* records = ResizeMaterialArray<OwningRecord>(nullptr, 3);
    ASSERT_NE(records, nullptr);
    EXPECT_EQ(CountedArrayCount(records), 3);
    for (int i = 0; i < 3; ++i) {
        records[i].id = i + 1;
        records[i].keys.reset(new int[2]{10 * i, 10 * i + 1});
    }
    records = ResizeMaterialArray(records, 5);  // grow: new records come empty
    EXPECT_EQ(CountedArrayCount(records), 5);
    EXPECT_EQ(OwningRecord::live, 5);
    EXPECT_EQ(records[2].id, 3);
    EXPECT_EQ(records[2].keys[1], 21);
    EXPECT_EQ(records[4].id, 0);
    EXPECT_EQ(records[4].keys, nullptr);

    records = ResizeGroupArray(records, 2);  // shrink: the rest is destroyed
    EXPECT_EQ(CountedArrayCount(records), 2);
    EXPECT_EQ(OwningRecord::live, 2);
    EXPECT_EQ(records[1].keys[0], 10);

    EXPECT_EQ(ResizeGroupArray(records, 0), nullptr);
    EXPECT_EQ(OwningRecord::live, 0);
    EXPECT_EQ(CountedArrayCount<OwningRecord>(nullptr), 0);
}

TEST(TokenizerAndServices, StreamsWriteRawLittleEndianValues) {
    std::stringstream stream;
    const int32_t number = 0x01020304;
    const float real = 1.0f;  // 0x3F800000
    const int32_t several[2] = {-1, 7};
    const unsigned char byte = 0xAB;
    ASSERT_TRUE(StreamWriteInt(stream, &number));
    ASSERT_TRUE(StreamWriteInt(stream, &real));
    ASSERT_TRUE(StreamWriteInts(stream, several, 2));
    ASSERT_TRUE(StreamWriteByte(stream, &byte));
    const std::string bytes = stream.str();
    EXPECT_EQ(bytes, std::string("\x04\x03\x02\x01\x00\x00\x80\x3F\xFF\xFF\xFF\xFF\x07\x00\x00\x00\xAB", 17));

    int32_t numberBack = 0, severalBack[2] = {0, 0};
    float realBack = 0;
    unsigned char byteBack = 0;
    EXPECT_TRUE(StreamReadInt(stream, &numberBack));
    EXPECT_TRUE(StreamReadInt(stream, &realBack));
    EXPECT_TRUE(StreamReadInts(stream, severalBack, 2));
    EXPECT_TRUE(StreamReadByte(stream, &byteBack));
    EXPECT_EQ(numberBack, number);
    EXPECT_EQ(realBack, real);
    EXPECT_EQ(severalBack[1], 7);
    EXPECT_EQ(byteBack, byte);
    EXPECT_FALSE(StreamReadByte(stream, &byteBack));
}

TEST(TokenizerAndServices, ShortReadsFailAndKeepTheValue) {
    std::istringstream three(std::string("\x01\x02\x03", 3));
    int32_t value = 99;
    EXPECT_FALSE(StreamReadInt(three, &value));
    EXPECT_EQ(value, 99);

    std::istringstream six(std::string("\x05\x00\x00\x00\x06\x00", 6));
    int32_t values[2] = {-1, -1};
    EXPECT_FALSE(StreamReadInts(six, values, 2));
    EXPECT_EQ(values[0], 5);
    EXPECT_EQ(values[1], -1);
}
