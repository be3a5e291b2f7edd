// EMF and placeable WMF pictures drawn into textures.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "scene/MetafileTexture.h"
#include "scene/SceneGlobals.h"
#include "scene/VRTextureManager.h"
#include "support/ImageFiles.h"
#include "support/TextureFixture.h"

namespace {

using qemtest::EmfBytes;
using qemtest::EmfFilledRectangle;
using qemtest::WmfBytes;
using qemtest::WmfFilledRectangle;
using Rgb = std::array<int, 3>;

TEST(MetafileTextureSize, LongerSideTakesTheMaximum) {
    const struct {
        int64_t w, h;
        int32_t max, width, height;
    } cases[] = {
        {400, 100, 2048, 2048, 512}, {100, 400, 2048, 512, 2048}, {300, 200, 1024, 1024, 1024},
        {300, 100, 1024, 1024, 512}, {64, 64, 256, 256, 256},     {100000, 1, 4096, 4096, 1},
        {1, 3, 16, 8, 16},
    };
    for (const auto& c : cases) {
        int32_t w = 0, h = 0;
        MetafileTextureSize(c.w, c.h, c.max, &w, &h);
        EXPECT_EQ(w, c.width) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.height) << c.w << "x" << c.h;
    }
}

using MetafileTextureTest = qemtest::TextureFixture;

// The colour at (x, y) of the picture, y = 0 at its top; the texture holds
// it bottom row first.
Rgb PictureTexel(const std::vector<uint8_t>& texels, const VRTexture* t, int x, int y) {
    const uint8_t* p = texels.data() + (static_cast<size_t>(t->height - 1 - y) * t->width + x) * 3;
    return {p[0], p[1], p[2]};
}

TEST_F(MetafileTextureTest, PicturesFillTheirTexture) {
    // A 400 x 100 picture: the middle filled in blue, and in the WMF a red
    // top-left quarter as well.
    Write("wide.emf", EmfBytes(0, 0, 400, 100, EmfFilledRectangle(0xFF0000, 100, 25, 300, 75)));
    Write("wide.wmf", WmfBytes(0, 0, 400, 100, 96,
                               WmfFilledRectangle(0xFF0000, 100, 25, 300, 75) +
                                   WmfFilledRectangle(0x0000FF, 0, 0, 200, 50)));
    Write("shifted.WMF", WmfBytes(1000, 500, 1400, 600, 1440, WmfFilledRectangle(0x00FF00, 1100, 525, 1300, 575)));
    const Rgb blue{0, 0, 255}, red{255, 0, 0}, green{0, 255, 0}, black{0, 0, 0};
    const struct {
        const char* name;
        int32_t maxSize, width, height;
        std::vector<std::pair<std::array<int, 2>, Rgb>> probes;  // in eighths of the picture
    } cases[] = {
        {"wide.emf", 2048, 2048, 512, {{{4, 4}, blue}, {{1, 1}, black}, {{7, 7}, black}}},
        // However large the GL allows, at most 4096.
        {"wide.emf", 16384, 4096, 1024, {{{4, 4}, blue}, {{7, 1}, black}}},
        {"wide.wmf", 256, 256, 64, {{{5, 5}, blue}, {{1, 1}, red}, {{3, 3}, red}, {{1, 6}, black}}},
        {"shifted.WMF", 256, 256, 64, {{{4, 4}, green}, {{1, 1}, black}}},
    };
    for (const auto& c : cases) {
        MaxTextureSize = c.maxSize;
        manager = std::make_unique<VRTextureManager>();
        VRTexture* t = manager->GetTexture(c.name, 0);
        ASSERT_NE(t, nullptr) << c.name;
        EXPECT_EQ(t->width, c.width) << c.name;
        EXPECT_EQ(t->height, c.height) << c.name;
        EXPECT_EQ(t->channels, 3);
        EXPECT_EQ(t->format, static_cast<uint32_t>(GL_BGR));
        manager->BindTexture(t, 0, 0);
        const auto texels =
            qemtest::TexBytes(GL_TEXTURE_2D, 0, GL_RGB, static_cast<size_t>(t->width) * t->height * 3);
        for (const auto& [at, colour] : c.probes)
            EXPECT_EQ(PictureTexel(texels, t, at[0] * t->width / 8, at[1] * t->height / 8), colour)
                << c.name << " at " << at[0] << "/8, " << at[1] << "/8";
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(MetafileTextureTest, FilesThatAreNoPicture) {
    const std::string emf = EmfBytes(0, 0, 400, 100, EmfFilledRectangle(0xFF, 0, 0, 10, 10));
    const std::string wmf = WmfBytes(0, 0, 400, 100, 96, WmfFilledRectangle(0xFF, 0, 0, 10, 10));
    std::string unsigned_ = emf;
    unsigned_[40] = 'X';
    std::string keyless = wmf;
    keyless[0] = 0;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"short.emf", emf.substr(0, 43)},
        {"unsigned.emf", unsigned_},
        {"flat.emf", EmfBytes(0, 50, 400, 50, "")},
        {"inverted.emf", EmfBytes(400, 0, 0, 100, "")},
        {"short.wmf", wmf.substr(0, 21)},
        {"keyless.wmf", keyless},
        {"empty.wmf", WmfBytes(10, 10, 10, 90, 96, "")},
        // A WMF under another name is no EMF.
        {"emf.emf", wmf},
    };
    for (const auto& c : cases) {
        Write(c.name, c.bytes);
        warnings.clear();
        EXPECT_EQ(manager->GetTexture(c.name, 0), nullptr) << c.name;
        EXPECT_EQ(warnings, std::vector<std::string>{std::string("VRTextureManager : Unsupported format: ") + c.name});
    }
    EXPECT_EQ(manager->First(), nullptr);
}

}  // namespace
