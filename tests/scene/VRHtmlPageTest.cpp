// Text pages: the page file's blocks, the text files' lines, the effects'
// motions and what Draw puts where. Files are written by the tests; the
// window shows (-8, -6) to (8, 6) at 20 pixels a unit.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/VRHtmlPage.h"
#include "support/ImageFiles.h"
#include "support/TextSceneFixture.h"

using namespace qemtest;

namespace {

class HtmlPage : public TextSceneFixture {
protected:
    HtmlPage() : TextSceneFixture(-8, 8, -6, 6) {}
    void SetUp() override {
        TextSceneFixture::SetUp();
        if (!prepared) return;
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);  // as the scene sets it
        // Glyphs fully opaque, pictures plain white.
        Write("ascii_century2.png", GlyphGridPng(8, 64, [](int) { return 8; }));
        Write("white.png", PngBytes(2, 2, 3, std::vector<uint8_t>(12, 255)));
        Write("lines.txt", "a\r\nb");
    }
    // Where Draw put the lines of a block.
    static std::vector<std::vector<float>> LinePlaces(const VRHtmlPage& page, int block) {
        std::vector<std::vector<float>> out;
        for (const auto& line : page.lines[block])
            out.push_back({line->position[0], line->position[1], line->position[2]});
        return out;
    }
};

}  // namespace

TEST(HtmlPageLines, LineEndsOfEveryKind) {
    using Lines = std::vector<std::string>;
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"a\r\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r\n", {"a", "b"}},
        {"a\r", {"a"}},
        {"a\n\nb", {"a", "", "b"}},
        {"", {""}},
        {"a\xFF" "b", {"a"}},
        {"a\r\n\xFF", {"a"}},
    };
    for (const auto& c : cases) EXPECT_EQ(VRHtmlPage::SplitLines(c.text), c.lines) << c.text;
}

TEST_F(HtmlPage, BlocksComeInAnyOrderAndExtraEntriesAreIgnored) {
    Write("page.txt",
          "junk BEGIN_IMAGE VR_IMAGEFFECT_3D white.png 1 2 4 6 white.png 0 0 2 2 white.png 0 0 2 2 "
          "white.png 9 9 9 9 END_IMAGE\n"
          "BEGIN_TEXT VR_TEXTEFFECT_KITCH lines.txt 1 2 lines.txt 3 4 lines.txt 5 6 END_TEXT\n"
          "BEGIN_BACK WHATEVER white.png 0 0 10 6 END_BACK\n");
    VRHtmlPage page("page.txt");
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(page.textCount, 2);
    EXPECT_EQ(page.pictureCount, 3);
    EXPECT_EQ(page.textEffect, kTextEffectKitch);
    EXPECT_EQ(page.backgroundEffect, kBackEffectSoberDx);
    EXPECT_EQ(page.pictureEffect, kImageEffect3D);
    EXPECT_EQ(page.lineCounts[0], 2);
    EXPECT_EQ(page.lineCounts[1], 2);
    EXPECT_EQ(page.blocks[1].baseX, 3);
    EXPECT_EQ(page.blocks[1].y, 4);
    EXPECT_EQ(page.placed[0].halfWidth, 2);
    EXPECT_EQ(page.placed[0].halfHeight, 3);
    EXPECT_EQ(page.placed[2].baseX, 0);
    EXPECT_EQ(page.back.z, -0.5f);
    EXPECT_NE(page.background.Get(), nullptr);
    EXPECT_NE(page.pictures[2].Get(), nullptr);

    Write("words.txt", "BEGIN_TEXT ANY lines.txt 0 0 END_TEXT BEGIN_IMAGE ANY END_IMAGE");
    VRHtmlPage other("words.txt");
    EXPECT_EQ(other.textEffect, kTextEffectSoberSx);
    EXPECT_EQ(other.pictureEffect, kImageEffect2D);
    EXPECT_EQ(other.pictureCount, 0);
}

TEST_F(HtmlPage, EffectsMoveThePartsWithTime) {
    VRHtmlPage page;
    page.LoadText("lines.txt", 1);
    page.SetTextPosition(1, 1, 0);
    page.SetPicture("white.png", 1, 2, 6, 4, 1);
    page.SetPicture("white.png", 3, 4, 2, 8, 2);
    page.SetBackground("white.png", 0, 0, 10, 6);
    struct Case {
        uint8_t text, back, picture;
        int32_t t;
        float even, odd, textZ;
        std::vector<float> back3, picture1, picture2;
    } const cases[] = {
        {kTextEffectNone, kBackEffectSoberSx, kImageEffect2D, 1000, 1, 1, 0, {0, 0, -0.5f}, {1, 4, 0}, {2, 4, 4}},
        {kTextEffectKitch, kBackEffectSoberDx, kImageEffect3D, 1000, -1, 3, 0, {3, 0, -0.5f}, {-2, 2, 2}, {3, 0, 0}},
        {kTextEffectSoberSx, kBackEffectSwapDx, kImageEffect2D, 500, -5, -5, 0, {1.5f, 0, -3}, {1, 3, 0}, {2.5f, 4, 2}},
        {kTextEffectSoberDx, kBackEffectSwapSx, kImageEffect2D, 500, 2, 2, 0, {-1.5f, 0, -3}, {1, 3, 0}, {2.5f, 4, 2}},
        {kTextEffectSwap, kBackEffectSwapSxUp, kImageEffect2D, 500, 1, 1, 6, {-1.5f, 2.5f, -3}, {1, 3, 0},
         {2.5f, 4, 2}},
    };
    for (const Case& c : cases) {
        VRHtmlPage& p = page;
        p.textEffect = c.text;
        p.backgroundEffect = c.back;
        p.pictureEffect = c.picture;
        p.back = VRHtmlPlacement{0, 0, -0.5f, 0, 0, -0.5f, 5, 3};
        p.placed[0] = VRHtmlPlacement{1, 2, 0, 1, 2, 0, 3, 2};
        p.placed[1] = VRHtmlPlacement{3, 4, 0, 3, 4, 0, 1, 4};
        p.blocks[0].z = 0;
        p.Compose(c.t);
        const VRHtmlTextBlock& b = p.blocks[0];
        EXPECT_FLOAT_EQ(b.evenX, c.even) << int(c.text);
        EXPECT_FLOAT_EQ(b.oddX, c.odd) << int(c.text);
        EXPECT_FLOAT_EQ(b.z, c.textZ) << int(c.text);
        EXPECT_EQ((std::vector<float>{p.back.x, p.back.y, p.back.z}), c.back3) << int(c.back);
        EXPECT_EQ((std::vector<float>{p.placed[0].x, p.placed[0].y, p.placed[0].z}), c.picture1) << int(c.picture);
        EXPECT_EQ((std::vector<float>{p.placed[1].x, p.placed[1].y, p.placed[1].z}), c.picture2) << int(c.picture);
    }
}

TEST_F(HtmlPage, DrawPutsLinesTopDownOverTheTiledBackground) {
    Write("page.txt", "BEGIN_TEXT VR_TEXTEFFECT_NONE lines.txt 0 0 END_TEXT BEGIN_BACK X white.png 0 0 10 6 END_BACK");
    VRHtmlPage page("page.txt");
    // Before Compose every line is at the block's x.
    ClearWindow(0, 0, 0);
    page.Draw();
    EXPECT_EQ(LinePlaces(page, 0), (std::vector<std::vector<float>>{{0, 2, 0}, {0, 1, 0}}));
    // The glyph cells at (0, 2) and (0, 1) are white; the background around
    // them is half the texels' colour at alpha 0.7 over black.
    EXPECT_EQ(At(0.5f, 2.5f), (RgbPixel{255, 255, 255}));
    EXPECT_EQ(At(0.5f, 1.5f), (RgbPixel{255, 255, 255}));
    const RgbPixel shaded = At(-3, -2);
    EXPECT_NEAR(shaded.r, 0.5 * 0.7 * 255, 2);
    EXPECT_EQ(At(4.5f, 2.5f), shaded);
    EXPECT_EQ(At(-5.5f, 0), (RgbPixel{0, 0, 0}));
    EXPECT_EQ(At(0, 3.5f), (RgbPixel{0, 0, 0}));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    page.textEffect = kTextEffectKitch;
    page.Compose(1000);
    page.Draw();
    EXPECT_EQ(LinePlaces(page, 0), (std::vector<std::vector<float>>{{-2, 2, 0}, {2, 1, 0}}));
}

TEST_F(HtmlPage, MissingFilesAreReportedAndLargeTextsReadWhole) {
    VRHtmlPage page("missing.txt");
    EXPECT_FALSE(page.LoadText("missing.txt", 1));
    // The error channel puts a blank between the message and its (empty) detail.
    EXPECT_EQ(errors,
              (std::vector<std::string>{"VRHtmlPage : File non trovato ", "VRHtmlPage : File non trovato. "}));
    EXPECT_TRUE(page.lines[0].empty());

    std::string big;
    for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + "\r\n";
    Write("big.txt", big);
    ASSERT_TRUE(page.LoadText("big.txt", 2));
    EXPECT_EQ(page.lineCounts[1], 2000);
    EXPECT_EQ(page.lines[1].back()->text, "line 1999");
    EXPECT_EQ(page.lines[1][0]->position[1], -1000);
}
