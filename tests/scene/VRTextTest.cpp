// Text in the scene: the image font's glyph tables measured from generated
// pictures, where its glyphs go, the GL state a draw leaves, and outline
// fonts of the installed faces. The window shows (-1, -1) to (3, 2) at 80
// pixels a unit.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/SharedTextureManager.h"
#include "scene/VRText.h"
#include "support/ImageFiles.h"
#include "support/TextSceneFixture.h"

using namespace qemtest;

namespace {

// Glyph cells opaque in their left half.
int HalfCell(int) { return 4; }

const RgbPixel kBlack{0, 0, 0};
const RgbPixel kGreen{0, 255, 0};

class TextScene : public TextSceneFixture {
protected:
    TextScene() : TextSceneFixture(-1, 3, -1, 2) {}
    void SetUp() override {
        TextSceneFixture::SetUp();
        if (!prepared) return;
        glAlphaFunc(GL_GREATER, 0.01f);
        glEnable(GL_ALPHA_TEST);
    }
    void WriteFontImage(int (*opaque)(int)) { Write(VRText::kFontImage, GlyphGridPng(8, 64, opaque)); }
};

}  // namespace

TEST(GlyphTables, WidthsComeFromTheAlphaOfEachCell) {
    VRGlyphTables tables;
    // Cell k is opaque up to its column k mod 8, in one row only.
    std::vector<uint8_t> pixels = GlyphGridPixels(8, 64, [](int) { return 0; });
    for (int k = 0; k < 128; ++k) {
        const int x = (k % 16) * 8 + k % 8, y = (k / 16) * 8 + 5;
        pixels[(size_t(y) * 128 + size_t(x)) * 4 + 3] = 1;
    }
    tables.Measure(pixels.data(), 128, 64, 4);
    EXPECT_TRUE(tables.measured);
    for (int k = 0; k < 128; ++k) EXPECT_FLOAT_EQ(tables.width[33 + k], float(k % 8 + 1) / 8) << k;
    EXPECT_EQ(tables.width[32], 0);
    EXPECT_EQ(tables.width[161], 0);
    struct {
        int code;
        float spacing;
    } const gaps[] = {{31, 0}, {32, 0.07f}, {39, 0}, {65, 0.09f}, {102, -0.04f}, {113, 0.11f},
                      {115, 0.14f}, {122, 0.02f}, {161, 0.07f}, {162, 0}};
    for (const auto& g : gaps) EXPECT_FLOAT_EQ(tables.spacing[g.code], g.spacing) << g.code;
}

TEST(GlyphTables, OddPicturesMeasureOnlyTheirCells) {
    // 130 rows of 8-pixel cells: 17 rows of cells, of which 128 cells are
    // measured, the last row of cells cut by the picture's bottom.
    VRGlyphTables tall;
    const std::vector<uint8_t> full = GlyphGridPixels(8, 130, [](int) { return 8; });
    tall.Measure(full.data(), 128, 130, 4);
    for (int code = 33; code <= 160; ++code) EXPECT_EQ(tall.width[code], 1) << code;
    for (int code = 161; code < 256; ++code) EXPECT_EQ(tall.width[code], 0) << code;
    // Two rows of 8: half a grid; a picture without alpha; one too narrow
    // for a cell.
    VRGlyphTables shortGrid, noAlpha, narrow;
    shortGrid.Measure(GlyphGridPixels(8, 12, [](int) { return 3; }).data(), 128, 12, 4);
    EXPECT_FLOAT_EQ(shortGrid.width[33 + 31], 3.0f / 8);
    EXPECT_EQ(shortGrid.width[33 + 32], 0);
    const std::vector<uint8_t> rgb(128 * 64 * 3, 255);
    noAlpha.Measure(rgb.data(), 128, 64, 3);
    EXPECT_FLOAT_EQ(noAlpha.width[40], 1.0f / 8);
    narrow.Measure(full.data(), 15, 2, 4);
    EXPECT_EQ(narrow.width[33], 0);
}

TEST_F(TextScene, TheTablesAreMeasuredOnceAtTheFirstImageFound) {
    // No picture: an error each time, and nothing measured.
    VRText none;
    VRText again;
    // The error channel puts a blank between the message and its (empty) detail.
    EXPECT_EQ(errors, (std::vector<std::string>(2, "VRText: Font Image not found ")));
    EXPECT_FALSE(VRText::Glyphs().measured);

    WriteFontImage(HalfCell);
    VRText first;
    EXPECT_TRUE(VRText::Glyphs().measured);
    EXPECT_FLOAT_EQ(VRText::Glyphs().width['a'], 0.5f);
    // Another picture under the name later changes nothing.
    EndSharedTextureManager();
    WriteFontImage([](int) { return 8; });
    VRText second;
    EXPECT_FLOAT_EQ(VRText::Glyphs().width['a'], 0.5f);
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(TextScene, ImageFontGlyphsFollowTheCursorAndTheCentring) {
    WriteFontImage(HalfCell);
    VRText ab("ab", 0, 0, nullptr, 0);
    ab.SetColor(0, 1, 0, 1);
    EXPECT_FLOAT_EQ(ab.StartX(0), 0);
    EXPECT_FLOAT_EQ(ab.EndX(0), 0.5f + 0.05f + 0.5f + 0.07f);
    EXPECT_FLOAT_EQ(ab.StartX(1), -0.56f);
    VRText space(" ", 1, 0, nullptr, 0);
    EXPECT_FLOAT_EQ(space.StartX(1), 0.75f);

    // Quads at 0 and 0.55, each opaque in its left half.
    ClearWindow(0, 0, 0);
    ab.Draw(0);
    for (float x : {0.25f, 0.8f}) EXPECT_EQ(At(x, 0.5f), kGreen) << x;
    for (float x : {-0.25f, 1.3f, 1.8f}) EXPECT_EQ(At(x, 0.5f), kBlack) << x;
    EXPECT_EQ(At(0.25f, 1.2f), kBlack);
    // Centred: from -0.56.
    ClearWindow(0, 0, 0);
    ab.Draw(1);
    for (float x : {-0.3f, 0.25f}) EXPECT_EQ(At(x, 0.5f), kGreen) << x;
    for (float x : {-0.75f, 0.75f}) EXPECT_EQ(At(x, 0.5f), kBlack) << x;
    // Scaled cells are wider, the gaps are not.
    ab.SetScale(2, 1);
    EXPECT_FLOAT_EQ(ab.EndX(0), 1 + 0.05f + 1 + 0.07f);
}

TEST_F(TextScene, DrawingLeavesColourAndLightingAsFound) {
    WriteFontImage(HalfCell);
    VRText t("a", 0, 0, nullptr, 0);
    t.SetColor(0, 1, 0, 1);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ClearWindow(0, 0, 0);
    t.Draw(0);
    EXPECT_EQ(At(0.25f, 0.5f), kGreen);
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{0.25f, 0.5f, 0.75f, 1}));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(TextScene, CodesWithoutACellAdvanceAsASpaceAndLongTextsAreCut) {
    WriteFontImage(HalfCell);
    VRText t("\xC8", 0, 0, nullptr, 0);  // 200
    t.SetColor(0, 1, 0, 1);
    EXPECT_FLOAT_EQ(t.EndX(0), 0.5f);
    EXPECT_FLOAT_EQ(t.StartX(1), -0.25f);
    ClearWindow(0, 0, 0);
    t.Draw(0);
    for (float x : {0.1f, 0.25f, 0.45f, 0.9f}) EXPECT_EQ(At(x, 0.5f), kBlack) << x;

    const std::string longText(70000, 'x');
    t.SetText(longText.c_str());
    EXPECT_EQ(t.length, 63999);
    EXPECT_EQ(t.text.size(), 63999u);
    t.SetText(nullptr);
    EXPECT_EQ(t.length, 63999);
}

TEST_F(TextScene, OutlineFontsAreListsOfTheInstalledFaces) {
    VRText t("HH", 0, 0, "Tahoma", 0);
    ASSERT_EQ(t.outline, 1);
    ASSERT_NE(t.listBase, 0u);
    for (uint32_t c = 0; c < 256; ++c) EXPECT_TRUE(glIsList(t.listBase + c)) << c;
    EXPECT_EQ(t.fontName, "Tahoma");
    EXPECT_EQ(t.fontImage.Get(), nullptr);
    t.SetColor(0, 1, 0, 1);
    ClearWindow(0, 0, 0);
    glDisable(GL_CULL_FACE);
    t.Draw(0);
    // Two em-high capitals from the origin: lit pixels inside, none to the
    // left of it.
    int lit = 0;
    for (float x = 0.02f; x < 1.2f; x += 0.02f) lit += At(x, 0.3f) == kGreen;
    EXPECT_GT(lit, 5);
    EXPECT_EQ(At(-0.5f, 0.3f), kBlack);
    // The lists go with the text.
    const uint32_t base = t.listBase;
    auto gone = std::make_unique<VRText>("x", 0, 0, "Tahoma", 0);
    const uint32_t goneBase = gone->listBase;
    ASSERT_NE(goneBase, base);
    gone.reset();
    EXPECT_FALSE(glIsList(goneBase));
    EXPECT_TRUE(glIsList(base));
}
