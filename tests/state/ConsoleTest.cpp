#include "state/Console.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/GlWindowFixture.h"

using qemtest::GlWindowFixture;
using qemtest::RgbPixel;

namespace {

// ---- line breaker

struct BreakCase {
    const char* name;
    std::string text;
    int32_t wrapWidth;
    std::vector<std::string> lines;
};

// Every character one pixel wide, except 'W' (10) and tab (3).
std::vector<int32_t> TestWidths() {
    std::vector<int32_t> widths(256, 1);
    widths['W'] = 10;
    widths['\t'] = 3;
    return widths;
}

std::vector<std::string> BreakAll(const std::string& text, const int32_t* widths, int32_t wrapWidth) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const ConsoleLineBreak line = ConsoleBreakLine(text, pos, widths, wrapWidth);
        lines.push_back(text.substr(pos, line.end - pos));
        if (lines.size() > text.size() + 1) break;  // no progress: fail instead of hanging
        pos = line.next;
    }
    return lines;
}

TEST(ConsoleBreakLine, BreaksAsTheConsoleDrawsLines) {
    const BreakCase cases[] = {
        {"fits", "abcd", 4, {"abcd"}},
        {"space break, next line skips it", "hello world", 8, {"hello", "world"}},
        {"comma starts the next line", "ab,cd ef", 4, {"ab", ",cd", "ef"}},
        {"slash is a break point, digits are not", "ab/12345", 5, {"ab", "/", "12345"}},
        {"code above 127 is a break point", "ab\xE9" "cd", 4, {"ab", "\xE9" "cd"}},
        {"word wider than the line is cut", "abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"character wider than the line still taken", "WW", 5, {"W", "W"}},
        {"break at line start takes one character", ",abcdefg", 4, {",", "abcd", "efg"}},
        {"overflowing space ends the line", "ab   cd", 3, {"ab ", "cd"}},
        {"tab measured by its own width", "\tab", 4, {"\t", "ab"}},
        {"line breaks collapse", "ab\r\n\n  cd", 100, {"ab", "cd"}},
        {"leading line feed gives an empty line", "\nab", 100, {"", "ab"}},
        {"default width", std::string(3000, 'a'), 2048, {std::string(2048, 'a'), std::string(952, 'a')}},
    };
    const std::vector<int32_t> widths = TestWidths();
    for (const BreakCase& c : cases) {
        EXPECT_EQ(BreakAll(c.text, widths.data(), c.wrapWidth), c.lines) << c.name;
    }
}

// ---- drawing

const RgbPixel kBlack{};
const RgbPixel kRed{255, 0, 0};

// The ink (non-black pixels) of the whole window.
struct Ink {
    std::vector<RgbPixel> pixels = GlWindowFixture::ReadPixels(0, 0, GlWindowFixture::kWidth,
                                                                GlWindowFixture::kHeight);
    bool At(int x, int y) const { return pixels[y * GlWindowFixture::kWidth + x] != kBlack; }
    int Count() const {
        int n = 0;
        for (const RgbPixel& p : pixels) n += p != kBlack;
        return n;
    }
    // Runs of consecutive rows holding ink, as (lowest, highest) rows, bottom up.
    std::vector<std::pair<int, int>> Bands() const {
        std::vector<std::pair<int, int>> bands;
        for (int y = 0; y < GlWindowFixture::kHeight; ++y) {
            bool inked = false;
            for (int x = 0; x < GlWindowFixture::kWidth && !inked; ++x) inked = At(x, y);
            if (!inked) continue;
            if (!bands.empty() && bands.back().second == y - 1)
                bands.back().second = y;
            else
                bands.push_back({y, y});
        }
        return bands;
    }
    // Leftmost and rightmost inked columns within rows [y0, y1].
    std::pair<int, int> Columns(int y0, int y1) const {
        int lo = GlWindowFixture::kWidth, hi = -1;
        for (int y = y0; y <= y1; ++y)
            for (int x = 0; x < GlWindowFixture::kWidth; ++x)
                if (At(x, y)) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
        return {lo, hi};
    }
};

int32_t TextWidth(const ConsoleFontRecord& font, const std::string& text) {
    int32_t w = 0;
    for (unsigned char c : text) w += font.widths[c];
    return w;
}

class ConsoleDraw : public GlWindowFixture {};

TEST_F(ConsoleDraw, FilledRectHangsDownFromItsCorner) {
    CConsole console;
    console.color[1] = console.color[2] = 0;
    console.AddFilledRect(10, 100, 50, 20);
    console.Draw();
    for (auto [x, y] : {std::pair{10, 80}, {59, 99}, {35, 90}, {10, 99}, {59, 80}})
        EXPECT_EQ(ReadPixel(x, y), kRed) << x << "," << y;
    for (auto [x, y] : {std::pair{9, 90}, {60, 90}, {35, 100}, {35, 79}, {35, 110}})
        EXPECT_EQ(ReadPixel(x, y), kBlack) << x << "," << y;
    EXPECT_EQ(Ink().Count(), 50 * 20);
}

TEST_F(ConsoleDraw, DrawEmptiesTheFrame) {
    CConsole console;
    console.AddFilledRect(10, 100, 50, 20);
    console.Draw();
    EXPECT_TRUE(console.atoms.IsEmpty());
    ClearWindow(0, 0, 0);
    console.Draw();
    EXPECT_EQ(Ink().Count(), 0);
}

TEST_F(ConsoleDraw, BlendsWithTheAtomsAlpha) {
    CConsole console;
    const float halfRed[4] = {1, 0, 0, 0.5f};
    std::copy(halfRed, halfRed + 4, console.color);
    console.AddFilledRect(0, 50, 10, 10);
    console.Draw();
    const RgbPixel p = ReadPixel(5, 45);
    EXPECT_NEAR(p.r, 128, 1);
    EXPECT_EQ(p.g, 0);
}

TEST_F(ConsoleDraw, RestoresTheStateItBorrows) {
    CConsole console;
    glMatrixMode(GL_TEXTURE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    console.AddFilledRect(0, 10, 5, 5);
    console.Draw();

    GLint mode = 0, src = 0, dst = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(mode, GL_TEXTURE);
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[1], 0.5f);
    // The pixel projection stays for whoever draws next.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 2.0f / kWidth);
    EXPECT_FLOAT_EQ(projection[5], 2.0f / kHeight);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
}

TEST_F(ConsoleDraw, OutlinesAndPolylinesDrawOnlyTheirEdges) {
    CConsole console;
    console.AddRect(50, 150, 100, 60);
    const int32_t points[] = {200, 20, 300, 20, 300, 60};
    console.AddLines(points, 3);
    console.Draw();
    const Ink ink;
    auto inkNear = [&](int x, int y) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (ink.At(x + dx, y + dy)) return true;
        return false;
    };
    EXPECT_TRUE(inkNear(100, 150));  // top edge
    EXPECT_TRUE(inkNear(100, 90));   // bottom edge
    EXPECT_TRUE(inkNear(50, 120));   // left edge
    EXPECT_FALSE(ink.At(100, 120));  // inside
    EXPECT_TRUE(inkNear(250, 20));
    EXPECT_TRUE(inkNear(300, 40));
    EXPECT_FALSE(ink.At(250, 40));
}

TEST_F(ConsoleDraw, DefaultFontIsCurrentAndMeasured) {
    CConsole console;
    ASSERT_EQ(console.fonts.Count(), 1);
    const ConsoleFontRecord* font = console.fonts.Current();
    EXPECT_STREQ(font->name, "");
    EXPECT_EQ(font->size, 0);
    EXPECT_GT(font->height, 0);
    EXPECT_GT(TextWidth(*font, "A"), 0);
    EXPECT_NE(font->listBase, 0u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ConsoleDraw, LongTextWrapsAtItsBreakPoints) {
    CConsole console;
    const ConsoleFontRecord& font = *console.fonts.Current();
    // Room for "aaaa, " but not for the following "b".
    const int32_t wrap = TextWidth(font, "aaaa, ");
    struct {
        const char* text;
        int32_t h;
        std::vector<const char*> lines;
    } cases[] = {
        {"aaaa, bbbb", 0, {"aaaa,", "bbbb"}},
        {"aaaa,bbbb", 0, {"aaaa", ",bbbb"}},
        {"aaaa bbbb cccc", 0, {"aaaa", "bbbb", "cccc"}},
        {"aaaa bbbb cccc", font.height, {"aaaa", "bbbb"}},  // the height limit leaves out a line
    };
    for (const auto& c : cases) {
        ClearWindow(0, 0, 0);
        console.AddText(10, 200, c.text, wrap, c.h);
        console.Draw();
        const Ink wrapped;
        ClearWindow(0, 0, 0);
        for (size_t i = 0; i < c.lines.size(); ++i)
            console.AddText(10, 200 - static_cast<int32_t>(i) * font.height, c.lines[i], 0, 0);
        console.Draw();
        const Ink separate;
        EXPECT_EQ(wrapped.Bands().size(), c.lines.size()) << c.text;
        EXPECT_TRUE(wrapped.pixels == separate.pixels) << c.text;
    }
}

TEST_F(ConsoleDraw, ControlCharactersOneToEightDrawNothing) {
    // Lists just below the console's own draw a big square: codes 1 to 8
    // would reach them if they went through the list base.
    const GLuint trap = glGenLists(8);
    for (GLuint i = 0; i < 8; ++i) {
        glNewList(trap + i, GL_COMPILE);
        glRecti(0, 0, 100, 100);
        glEndList();
    }
    {
        CConsole console;
        console.AddText(120, 150, "AB", 0, 0);
        console.Draw();
        const Ink plain;
        ASSERT_GT(plain.Count(), 0);
        ClearWindow(0, 0, 0);
        console.AddText(120, 150, "A\x01\x02\x03\x04\x05\x06\x07\x08" "B", 0, 0);
        console.Draw();
        EXPECT_EQ(Ink().pixels, plain.pixels);
    }
    glDeleteLists(trap, 8);
}

TEST_F(ConsoleDraw, TabDrawsFourSpaces) {
    CConsole console;
    console.AddText(10, 150, "    X", 0, 0);
    console.Draw();
    const Ink spaces;
    ASSERT_GT(spaces.Count(), 0);
    ClearWindow(0, 0, 0);
    console.AddText(10, 150, "\tX", 0, 0);
    console.Draw();
    EXPECT_EQ(Ink().pixels, spaces.pixels);
}

TEST_F(ConsoleDraw, Windows1252CodesDrawTheirOwnGlyphs) {
    CConsole console;
    console.SetFont("fixed", 13);
    // The euro sign at 0x80 has a glyph; 0x81 is undefined and draws the
    // font's missing-glyph mark.
    console.AddText(10, 150, "\x80", 0, 0);
    console.Draw();
    const Ink euro;
    ASSERT_GT(euro.Count(), 0);
    ClearWindow(0, 0, 0);
    console.AddText(10, 150, "\x81", 0, 0);
    console.Draw();
    EXPECT_NE(Ink().pixels, euro.pixels);
}

TEST_F(ConsoleDraw, EachFaceAndSizeMakesOneFont) {
    CConsole console;
    console.SetFont("fixed", 13);
    const ConsoleFontRecord* fixed13 = console.fonts.Current();
    console.SetFont("fixed", 13);
    EXPECT_EQ(console.fonts.Count(), 2);
    EXPECT_EQ(console.fonts.Current(), fixed13);
    EXPECT_STREQ(fixed13->name, "fixed");
    EXPECT_EQ(fixed13->size, 13);

    console.SetFont("fixed", 20);
    EXPECT_EQ(console.fonts.Count(), 3);
    EXPECT_GT(console.fonts.Current()->height, fixed13->height);
    console.SetFont("Fixed", 13);
    EXPECT_EQ(console.fonts.Count(), 4);

    console.SetFont(nullptr, 0);
    EXPECT_EQ(console.fonts.Current(), console.fonts.head->item);
    console.SetFont("fixed", 13);
    EXPECT_EQ(console.fonts.Current(), fixed13);
    EXPECT_EQ(console.fonts.Count(), 4);
}

std::vector<std::string> g_warnings;
void CollectWarning(const char* message) { g_warnings.push_back(message); }

TEST_F(ConsoleDraw, MissingFaceFallsBackToFixedWithAWarning) {
    g_warnings.clear();
    const ConsoleWarningFunction old = SetConsoleWarningFunction(CollectWarning);
    CConsole console;
    console.SetFont("fixed", 13);
    const ConsoleFontRecord* fixed13 = console.fonts.Current();
    // Longer than the 63 characters a record keeps: still found again.
    const std::string name = "NoSuchFace" + std::string(60, 'x');
    console.SetFont(name.c_str(), 13);
    console.SetFont(name.c_str(), 13);
    SetConsoleWarningFunction(old);

    ASSERT_EQ(g_warnings.size(), 1u);
    EXPECT_NE(g_warnings[0].find("NoSuchFace"), std::string::npos);
    EXPECT_EQ(console.fonts.Count(), 3);
    const ConsoleFontRecord* fallback = console.fonts.Current();
    EXPECT_EQ(std::string(fallback->name), name.substr(0, 63));
    EXPECT_EQ(fallback->height, fixed13->height);
    EXPECT_EQ(TextWidth(*fallback, "M"), TextWidth(*fixed13, "M"));
}

TEST_F(ConsoleDraw, FontListsAreFreedWithTheConsole) {
    GLuint base = 0;
    {
        CConsole console;
        console.SetFont("fixed", 20);
        base = console.fonts.Current()->listBase;
        ASSERT_TRUE(glIsList(base));
    }
    EXPECT_FALSE(glIsList(base));
    EXPECT_FALSE(glIsList(base + CConsole::kFontListCount - 1));
}

}  // namespace
