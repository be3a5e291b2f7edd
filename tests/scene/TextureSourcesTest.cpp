// DDS and Radiance HDR files through the texture manager.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "scene/SceneGlobals.h"
#include "scene/VRTextureManager.h"
#include "support/ImageFiles.h"
#include "support/TextureFixture.h"

using qemtest::DdsHeader;
using qemtest::DdsHeaderBytes;

namespace {

// RGB565 of (r, g, b) with 5, 6 and 5 bits.
uint16_t Rgb565(int r, int g, int b) { return static_cast<uint16_t>(r << 11 | g << 5 | b); }

using TextureSourcesTest = qemtest::TextureFixture;
using qemtest::Dxt1Solid;
using qemtest::TexBytes;
using qemtest::TexImage;

TEST_F(TextureSourcesTest, Dxt1WithLevels) {
    DdsHeader h;
    h.width = h.height = 8;
    h.mipMapCount = 4;
    const uint16_t colours[4] = {Rgb565(31, 0, 0), Rgb565(0, 63, 0), Rgb565(0, 0, 31), Rgb565(31, 63, 31)};
    std::string data;
    for (int i = 0; i < 4; ++i) data += Dxt1Solid(colours[0]);
    for (int level = 1; level < 4; ++level) data += Dxt1Solid(colours[level]);
    Write("rock.dds", DdsHeaderBytes(h) + data);
    VRTexture* t = Load("rock.dds", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 8);
    EXPECT_EQ(t->height, 8);
    EXPECT_EQ(t->channels, 3);
    EXPECT_EQ(t->mipCount, 3);
    // DXT1 files always come as the variant with alpha.
    EXPECT_EQ(t->format, static_cast<uint32_t>(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT));
    manager->BindTexture(t, 0, 0);
    EXPECT_NE(t->glName, 0u);
    const uint8_t expected[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int level = 0; level < 4; ++level) {
        const size_t side = static_cast<size_t>(8 >> level);
        const auto texels = TexBytes(GL_TEXTURE_2D, level, GL_RGB, side * side * 3);
        EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + 3),
                  std::vector<uint8_t>(expected[level], expected[level] + 3))
            << "level " << level;
    }
}

TEST_F(TextureSourcesTest, UncompressedDdsIsPaddedAndRounded) {
    DdsHeader h;
    h.width = 5;
    h.height = 3;
    h.pixelFlags = qemtest::kDdsRgb;
    h.bitCount = 24;
    Write("strip.dds", DdsHeaderBytes(h) + std::string(45, '\x40'));
    VRTexture* t = Load("strip.dds", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->channels, 3);
    EXPECT_EQ(t->width, 8);
    EXPECT_EQ(t->height, 4);
    EXPECT_EQ(t->imageWidth, 5);
    EXPECT_EQ(t->imageHeight, 3);
    EXPECT_EQ(t->kind, kTextureBytes2D);
}

TEST_F(TextureSourcesTest, Dxt1CubeMapLevelsGoToTheirFaces) {
    DdsHeader h;
    h.width = h.height = 4;
    h.mipMapCount = 3;
    h.caps2 = qemtest::kDdsCubemap;
    std::string data;
    for (int face = 0; face < 6; ++face)
        for (int level = 0; level < 3; ++level) data += Dxt1Solid(Rgb565(face * 5, level * 20, 31 - face * 5));
    Write("sky.dds", DdsHeaderBytes(h) + data);
    VRTexture* t = Load("sky.dds", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind, kTextureCubeMap);
    EXPECT_EQ(t->width, 4);
    EXPECT_EQ(t->height, 4);
    EXPECT_EQ(t->mipCount, 2);
    manager->BindTexture(t, kBindLinear, 0);
    for (int face = 0; face < 6; ++face) {
        for (int level = 0; level < 3; ++level) {
            const size_t side = static_cast<size_t>(4 >> level);
            const auto texels = TexImage<uint8_t>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, level, GL_RGB,
                                                  GL_UNSIGNED_BYTE, side * side * 3);
            const int r = face * 5, g = level * 20, b = 31 - face * 5;
            EXPECT_EQ(texels[0], (r << 3) | (r >> 2)) << face << "/" << level;
            EXPECT_EQ(texels[1], (g << 2) | (g >> 4)) << face << "/" << level;
            EXPECT_EQ(texels[2], (b << 3) | (b >> 2)) << face << "/" << level;
        }
    }
}

TEST_F(TextureSourcesTest, UncompressedBytesAreRgbIn2DAndBgrInCubeMaps) {
    DdsHeader h;
    h.width = h.height = 1;
    h.pixelFlags = qemtest::kDdsRgba;
    h.bitCount = 32;
    Write("flat.dds", DdsHeaderBytes(h) + "\x10\x20\x30\x40");
    h.caps2 = qemtest::kDdsCubemap;
    std::string faces;
    for (char f = 0; f < 6; ++f) faces += std::string{char(0x10 + f), 0x20, 0x30, 0x40};
    Write("box.dds", DdsHeaderBytes(h) + faces);

    VRTexture* flat = Load("flat.dds", 0);
    ASSERT_NE(flat, nullptr);
    manager->BindTexture(flat, 0, 0);
    EXPECT_EQ(TexBytes(GL_TEXTURE_2D, 0, GL_RGBA, 4),
              (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x40}));
    VRTexture* box = Load("box.dds", 0);
    ASSERT_NE(box, nullptr);
    manager->BindTexture(box, 0, 1);
    EXPECT_EQ(TexBytes(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_BGRA, 4),
              (std::vector<uint8_t>{0x15, 0x20, 0x30, 0x40}));
}

TEST_F(TextureSourcesTest, UnreadableDdsGivesNothingQuietly) {
    DdsHeader dxt2;
    dxt2.width = dxt2.height = 8;
    dxt2.fourCC = "DXT2";
    Write("dxt2.dds", DdsHeaderBytes(dxt2) + std::string(64, 'x'));
    DdsHeader huge;
    huge.width = huge.height = 64;
    Write("huge.dds", DdsHeaderBytes(huge) + std::string(10, 'x'));
    Write("magic.dds", "DDX " + std::string(200, 'x'));
    for (const char* name : {"dxt2.dds", "huge.dds", "magic.dds"}) {
        std::string err;
        EXPECT_EQ(Load(name, 0, &err), nullptr) << name;
        EXPECT_EQ(err, "") << name;
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TextureSourcesTest, LayoutFlagsOfTheCallerDoNotOverrunTheData) {
    // A 2D DDS asked for as a cube map stays 2D; a picture asked for as a
    // cube map or compressed texture uploads no more than it holds.
    DdsHeader h;
    h.width = h.height = 4;
    Write("plain.dds", DdsHeaderBytes(h) + Dxt1Solid(Rgb565(31, 0, 0)));
    Write("tiny.png", qemtest::PngBytes(1, 1, 3, {1, 2, 3}));
    Write("face.png", qemtest::PngBytes(4, 4, 3, std::vector<uint8_t>(48, 9)));
    VRTexture* dds = Load("plain.dds", kTexCubeMap | kTex3D | kTexDxt5);
    ASSERT_NE(dds, nullptr);
    EXPECT_EQ(dds->kind, kTextureBytes2D);
    EXPECT_EQ(dds->format, static_cast<uint32_t>(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT));
    manager->BindTexture(dds, 0, 0);
    VRTexture* tiny = Load("tiny.png", kTexDxt3);
    ASSERT_NE(tiny, nullptr);
    manager->BindTexture(tiny, 0, 0);
    VRTexture* face = Load("face.png", kTexCubeMap);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->kind, kTextureCubeMap);
    manager->BindTexture(face, 0, 1);
    EXPECT_EQ(TexBytes(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_RGB, 48),
              std::vector<uint8_t>(48, 9));
}

TEST_F(TextureSourcesTest, RadianceFilesGiveFloatTextures) {
    // 3 x 2 flat, and 8 x 1 run-length encoded.
    std::string flat = qemtest::RgbeHeaderBytes(3, 2);
    for (int i = 0; i < 6; ++i) flat += std::string{char(i * 10), char(128), 0, char(137)};
    Write("flat.hdr", flat);
    std::vector<uint8_t> texels;
    for (int i = 0; i < 8; ++i) texels.insert(texels.end(), {uint8_t(i), 1, 2, 136});
    Write("rle.HDR", qemtest::RgbeHeaderBytes(8, 1) + qemtest::RgbeRleScanline(texels));

    VRTexture* t = Load("flat.hdr", kTexFloatCubeMap);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind, kTextureFloat2D);  // one picture is no cube map
    EXPECT_EQ(t->channels, 3);
    EXPECT_EQ(t->width, 3);
    EXPECT_EQ(t->height, 2);
    EXPECT_EQ(t->internalFormat, static_cast<uint32_t>(GL_RGB32F_ARB));
    EXPECT_EQ(std::vector<float>(t->floatPixels + 15, t->floatPixels + 18), (std::vector<float>{100, 256, 0}));
    manager->BindTexture(t, 0, 0);
    EXPECT_EQ(TexImage<float>(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, 18)[3], 20.0f);

    VRTexture* rle = Load("rle.HDR", 0);
    ASSERT_NE(rle, nullptr);
    EXPECT_EQ(rle->width, 8);
    EXPECT_EQ(rle->height, 1);
    EXPECT_EQ(std::vector<float>(rle->floatPixels + 21, rle->floatPixels + 24), (std::vector<float>{7, 1, 2}));
}

TEST_F(TextureSourcesTest, RadianceFailuresGiveNoTexture) {
    Write("noformat.hdr", "#?RADIANCE\n\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 2\n");
    Write("short.hdr", qemtest::RgbeHeaderBytes(2, 2) + std::string(7, '\x01'));
    Write("giant.hdr", qemtest::RgbeHeaderBytes(100000, 100000));
    // A picture too large to read is refused from its header, before
    // anything is allocated for it.
    struct Case {
        const char* name;
        std::string err;
        bool tooLarge;
    } cases[] = {
        {"noformat.hdr", "RGBE bad file format: no FORMAT specifier found\n", false},
        {"short.hdr", "RGBE read error: ", false},
        {"giant.hdr", "", true},
    };
    for (const Case& c : cases) {
        std::string err;
        warnings.clear();
        EXPECT_EQ(Load(c.name, 0, &err), nullptr) << c.name;
        EXPECT_EQ(err.substr(0, c.err.size()), c.err) << c.name;
        if (c.tooLarge) {
            ASSERT_EQ(warnings.size(), 1u) << c.name;
            EXPECT_NE(warnings[0].find("Unsupported format:"), std::string::npos) << warnings[0];
            EXPECT_NE(warnings[0].find("100000 x 100000"), std::string::npos) << warnings[0];
        } else {
            EXPECT_TRUE(warnings.empty()) << c.name;
        }
    }
    EXPECT_EQ(manager->First(), nullptr);
}

TEST_F(TextureSourcesTest, RadianceCubeMapOfSixFiles) {
    // Face f: a 2 x 2 picture of (f + 1, 10, 20) with exponent 128 + 8.
    for (int f = 0; f < 6; ++f) {
        std::string face = qemtest::RgbeHeaderBytes(2, 2);
        for (int i = 0; i < 4; ++i) face += std::string{char(f + 1), 10, 20, char(136)};
        Write("HDRCsky" + std::to_string(f) + ".hdr", face);  // asked for as ".HDR"
    }
    VRTexture* t = Load("HDRCsky0.hdr", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind, kTextureFloatCubeMap);
    EXPECT_EQ(t->width, 2);
    EXPECT_EQ(t->height, 2);
    manager->BindTexture(t, 0, 0);
    for (int f = 0; f < 6; ++f) {
        // The upload takes the floats in blue-green-red order.
        const auto texels = TexImage<float>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGB, GL_FLOAT, 12);
        EXPECT_EQ(std::vector<float>(texels.begin(), texels.begin() + 3), (std::vector<float>{20, 10, float(f + 1)}))
            << "face " << f;
    }
}

TEST_F(TextureSourcesTest, RadianceCubeMapNeedsSixFacesOfOneSize) {
    for (int f = 0; f < 6; ++f) {
        const int width = f == 4 ? 3 : 2;
        std::string face = qemtest::RgbeHeaderBytes(width, 1) + std::string(static_cast<size_t>(width) * 4, '\x01');
        Write("HDRCodd" + std::to_string(f) + ".hdr", face);
        if (f != 2) Write("HDRCgap" + std::to_string(f) + ".hdr", qemtest::RgbeHeaderBytes(2, 1) + std::string(8, 1));
    }
    EXPECT_EQ(Load("HDRCodd0.hdr", 0), nullptr);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRTextureManager : Unsupported format: " + scratch.Path() +
                                                   "HDRCodd4.HDR"});
    warnings.clear();
    EXPECT_EQ(Load("HDRCgap0.hdr", 0), nullptr);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRTextureManager : Texture not found: \"" + scratch.Path() +
                                                   "HDRCgap2.HDR\"\n"});
    EXPECT_EQ(manager->First(), nullptr);
}

}  // namespace
