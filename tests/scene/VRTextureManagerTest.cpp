#include "scene/VRTextureManager.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "support/ImageFiles.h"
#include "support/TextureFixture.h"

namespace {

uint8_t* CopyOf(const std::vector<uint8_t>& bytes) {
    auto* p = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

std::vector<uint8_t> Pixels(const VRTexture* t, size_t bytes) {
    return t->pixels ? std::vector<uint8_t>(t->pixels, t->pixels + bytes) : std::vector<uint8_t>();
}

GLint TexParameter(GLenum target, GLenum name) {
    GLint v = 0;
    glGetTexParameteriv(target, name, &v);
    return v;
}

using TextureManagerTest = qemtest::TextureFixture;
using qemtest::Dxt1Solid;
using qemtest::TexBytes;

// ---- pure parts

TEST(TextureSizeRule, RoundsToPowersOfTwoWithinToleranceAndMaximum) {
    struct Case {
        int32_t w, h;
        float tolerance;
        int32_t max;
        int32_t W, H;
        float wx, hx;
        bool reduced;
    } cases[] = {
        {300, 200, 1.0f, 1024, 512, 256, 212.0f / 300, 56.0f / 200, false},
        {300, 200, 0.25f, 1024, 256, 128, -44.0f / 300, -72.0f / 200, false},
        {256, 64, 0.0f, 1024, 256, 64, 0, 0, false},
        {3, 5, 0.0f, 1024, 2, 4, -1.0f / 3, -1.0f / 5, false},
        {1, 1, 0.0f, 1024, 1, 1, 0, 0, false},
        {5000, 100, 1.0f, 4096, 4096, 128, 3192.0f / 5000, 28.0f / 100, true},
        {(1 << 30) + 1, 1, 1.0f, 16384, 16384, 1, 1.0f, 0, true},
        {8, 8, 1.0f, 0, 1, 1, 0, 0, true},
    };
    for (const Case& c : cases) {
        const TextureSize s = ComputeTextureSize(c.w, c.h, c.tolerance, c.max);
        EXPECT_EQ(s.width, c.W) << c.w << "x" << c.h << " tolerance " << c.tolerance;
        EXPECT_EQ(s.height, c.H) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(s.widthExcess, c.wx) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(s.heightExcess, c.hx) << c.w << "x" << c.h;
        EXPECT_EQ(s.reduced, c.reduced) << c.w << "x" << c.h;
    }
}

TEST(ResizeImageNearest, TakesTheNearestTexelInSixtyFourBitSteps) {
    // 40000 << 16 does not fit 32 bits.
    std::vector<uint8_t> wide(40000);
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint8_t>(i % 251);
    uint8_t* out = ResizeImageNearest(CopyOf(wide), 40000, 1, 4, 1, 1, false);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4),
              (std::vector<uint8_t>{0, 10000 % 251, 20000 % 251, 30000 % 251}));
    std::free(out);

    const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2
    out = ResizeImageNearest(const_cast<uint8_t*>(rgb.data()), 2, 2, 4, 1, 3, true);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6}));
    std::free(out);
    out = ResizeImageNearest(const_cast<uint8_t*>(rgb.data()), 2, 2, 2, 2, 3, true);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), rgb);
    std::free(out);
    out = ResizeImageNearest(nullptr, 0, 0, 0, 3, 2, true);  // a side of 0 counts as 1
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(6, 0));
    std::free(out);
}

TEST(ReadPpm, ChecksEveryReadAndSize) {
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        int32_t w, h;
        std::vector<uint8_t> pixels;
    } cases[] = {
        {"raw", "P6\n2 1\n255\n" + std::string("\x01\x02\x03\x04\x05\x06", 6), true, 2, 1, {1, 2, 3, 4, 5, 6}},
        {"decimal with comment words", "P3\n# made by hand\n1 2\n255\n1 2 3\n300 0 7\n", true, 1, 2,
         {1, 2, 3, 44, 0, 7}},
        {"raw one byte short", "P6\n2 1\n255\n" + std::string(5, 'x'), false, 0, 0, {}},
        {"decimal one sample short", "P3 1 2 255 1 2 3 4 5", false, 0, 0, {}},
        {"no size", "P6\n", false, 0, 0, {}},
        {"size over the file", "P6 40000 40000 255\n" + std::string(64, 'x'), false, 0, 0, {}},
        {"negative width", "P6 -2 1 255\n" + std::string(6, 'x'), false, 0, 0, {}},
        {"zero height", "P6 2 0 255\n" + std::string(6, 'x'), false, 0, 0, {}},
        {"width beyond 64 bits", "P6 99999999999999999999 1 255\n" + std::string(6, 'x'), false, 0, 0, {}},
        {"height beyond 32 bits", "P6 1 99999999999 255\n" + std::string(6, 'x'), false, 0, 0, {}},
    };
    for (const Case& c : cases) {
        std::string bytes = c.bytes;
        FILE* f = fmemopen(&bytes[0], bytes.size(), "rb");
        int32_t w = 0, h = 0, channels = 0;
        uint8_t* pixels = ReadPpm(f, &w, &h, &channels);
        std::fclose(f);
        EXPECT_EQ(pixels != nullptr, c.ok) << c.name;
        if (pixels) {
            EXPECT_EQ(w, c.w) << c.name;
            EXPECT_EQ(h, c.h) << c.name;
            EXPECT_EQ(channels, 3) << c.name;
            EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + c.pixels.size()), c.pixels) << c.name;
        }
        std::free(pixels);
    }
}

// ---- files

TEST_F(TextureManagerTest, PngIsRoundedUpAndSharedByPath) {
    std::vector<uint8_t> rgb(300 * 200 * 3, 90);
    Write("wall.png", qemtest::PngBytes(300, 200, 3, rgb));
    VRTexture* t = manager->GetTexture("wall.png", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 512);
    EXPECT_EQ(t->height, 256);
    EXPECT_EQ(t->imageWidth, 300);
    EXPECT_EQ(t->imageHeight, 200);
    EXPECT_EQ(t->channels, 3);
    EXPECT_EQ(t->format, static_cast<uint32_t>(GL_RGB));
    EXPECT_EQ(t->internalFormat, static_cast<uint32_t>(GL_RGB8));
    EXPECT_STREQ(t->name, (scratch.Path() + "wall.png").c_str());
    EXPECT_EQ(manager->GetTexture("wall.png", 0x4), t);
    // Another spelling of the same file is the same record.
    EXPECT_EQ(manager->GetTexture("WALL.PNG", 0), t);
    EXPECT_TRUE(warnings.empty());

    manager->BindTexture(t, 0, 0);
    EXPECT_NE(t->glName, 0u);
    EXPECT_EQ(t->pixels, nullptr);
    EXPECT_EQ(TexBytes(GL_TEXTURE_2D, 0, GL_RGB, 512 * 256 * 3)[3 * 700], 90);
}

TEST_F(TextureManagerTest, PngBytesArriveTopRowFirst) {
    std::vector<uint8_t> rgba(4 * 2 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7);
    Write("exact.png", qemtest::PngBytes(4, 2, 4, rgba));
    std::vector<uint8_t> grey = {0, 50, 100, 150};
    Write("grey.png", qemtest::PngBytes(2, 2, 1, grey));

    VRTexture* t = manager->GetTexture("exact.png", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Pixels(t, rgba.size()), rgba);
    VRTexture* g = manager->GetTexture("grey.png", 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->channels, 3);  // grey becomes RGB bytes
    EXPECT_EQ(Pixels(g, 12), (std::vector<uint8_t>{0, 0, 0, 50, 50, 50, 100, 100, 100, 150, 150, 150}));
}

TEST_F(TextureManagerTest, FilesThatGiveNoTextureWarn) {
    Write("noext", "P6 1 1 255\n123");
    Write("broken.png", "this is not a picture");
    Write("short.ppm", "P6 4 4 255\nxyz");
    struct Case {
        const char* name;
        std::vector<std::string> warnings;
    } cases[] = {
        {"missing.png", {"VRTextureManager : Texture not found: \"missing.png\"\n"}},
        {"noext", {"VRTextureManager : Unsupported format: noext"}},
        {"broken.png", {"VRTextureManager : Unsupported format: broken.png"}},
        {"short.ppm", {"VRTextureManager : Unsupported format: short.ppm"}},
    };
    for (const Case& c : cases) {
        warnings.clear();
        EXPECT_EQ(manager->GetTexture(c.name, 0), nullptr) << c.name;
        EXPECT_EQ(warnings, c.warnings) << c.name;
    }
    warnings.clear();
    const std::string longName(300, 'a');
    EXPECT_EQ(manager->GetTexture((longName + ".png").c_str(), 0), nullptr);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRTextureManager : Texture not found: \"" + longName + ".png\"\n"});
    EXPECT_EQ(manager->First(), nullptr);
}

TEST_F(TextureManagerTest, PpmFiles) {
    std::vector<uint8_t> rgb(6 * 5 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i);
    Write("six.ppm", qemtest::PpmBytes(6, 5, rgb));
    Write("two.PPM", "P3\n# made by hand\n2 2\n255\n255 0 0  0 255 0\n0 0 255  1 2 3\n");
    VRTexture* six = manager->GetTexture("six.ppm", 0);
    ASSERT_NE(six, nullptr);
    EXPECT_EQ(six->width, 8);
    EXPECT_EQ(six->height, 8);
    EXPECT_EQ(six->imageWidth, 6);
    EXPECT_EQ(six->imageHeight, 5);
    VRTexture* two = manager->GetTexture("two.PPM", 0);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->width, 2);
    EXPECT_EQ(Pixels(two, 12), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3}));
}

// ---- buffers and procedural textures

TEST_F(TextureManagerTest, FormatsFollowQualityAndFlags) {
    struct Case {
        int32_t channels, flags, quality, extensions;
        uint32_t format, internal;
        int32_t storedChannels;
    } cases[] = {
        {4, 0, 0, 0, GL_RGBA, GL_RGBA4, 4},
        {4, 0, 1, 1, GL_RGBA, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4},
        {4, 0, 1, 0, GL_RGBA, GL_RGBA8, 4},
        {3, 0, 0, 0, GL_RGB, GL_RGB5, 3},
        {3, 0, 1, 1, GL_RGB, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 3},
        {3, kTexBgr, 2, 1, GL_BGR, GL_RGB8, 3},
        {2, 0, 0, 0, GL_LUMINANCE_ALPHA, GL_LUMINANCE4_ALPHA4, 2},
        {2, 0, 1, 1, GL_LUMINANCE_ALPHA, GL_LUMINANCE8_ALPHA8, 2},
        {1, 0, 0, 0, GL_ALPHA, GL_ALPHA8, 1},
        {5, 0, 2, 0, GL_ALPHA, GL_ALPHA16, 1},
        {3, kTexDxt1 | kTexDxt5, 2, 0, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 3},
        {4, kTexDxt1Alpha | kTexDxt3, 2, 0, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 4},
        {4, kTexDxt3 | kTexDxt5, 2, 0, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 4},
        {4, kTexDxt5, 2, 0, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4},
    };
    for (const Case& c : cases) {
        TextureQuality = c.quality;
        GLExtensionFlags = c.extensions;
        VRTexture* t = manager->CreateTextureFromBuffer("f", CopyOf(std::vector<uint8_t>(64 * 5)), 4, 4, c.channels,
                                                        c.flags, 0, 0);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->format, c.format) << c.channels << " flags " << c.flags << " quality " << c.quality;
        EXPECT_EQ(t->internalFormat, c.internal) << c.channels << " flags " << c.flags << " quality " << c.quality;
        EXPECT_EQ(t->channels, c.storedChannels) << c.channels;
    }
}

TEST_F(TextureManagerTest, OversizedPictureIsReducedWithOneWarning) {
    MaxTextureSize = 4096;
    VRTexture* t = manager->CreateTextureFromBuffer("big", CopyOf(std::vector<uint8_t>(5000 * 100 * 3, 7)), 5000, 100,
                                                    3, 0, 0, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 4096);
    EXPECT_EQ(t->height, 128);
    EXPECT_EQ(t->imageWidth, 4096);
    EXPECT_EQ(t->imageHeight, 100);
    EXPECT_FLOAT_EQ(t->widthExcess, 3192.0f / 5000);
    EXPECT_EQ(warnings, std::vector<std::string>{"The texture is too large and will be reduced: big"});
    EXPECT_EQ(t->pixels[3 * 4096 * 128 - 1], 7);
}

TEST_F(TextureManagerTest, TopLeftPlacementIsClippedToTheTexture) {
    std::vector<uint8_t> picture(5 * 3);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i + 1);
    // Tolerance 0 rounds 5 x 3 down to 4 x 2: the picture is cut.
    TextureRoundingTolerance = 0.0f;
    VRTexture* cut = manager->CreateTextureFromBuffer("cut", CopyOf(picture), 5, 3, 1, kTexTopLeft, 0, 0);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->width, 4);
    EXPECT_EQ(cut->height, 2);
    EXPECT_EQ(cut->imageWidth, 4);
    EXPECT_EQ(Pixels(cut, 8), (std::vector<uint8_t>{1, 2, 3, 4, 6, 7, 8, 9}));
    // Rounded up, the picture sits in the corner.
    TextureRoundingTolerance = 1.0f;
    VRTexture* corner = manager->CreateTextureFromBuffer("corner", CopyOf(picture), 5, 3, 1, kTexTopLeft, 0, 0);
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->width, 8);
    EXPECT_EQ(corner->height, 4);
    EXPECT_EQ(Pixels(corner, 16), (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0}));
}

TEST_F(TextureManagerTest, ProceduralTextures) {
    const float red[] = {1, 0, 0};
    const float twoValues[] = {10.7f, 300.0f};
    const float half[] = {0.5f, 0.25f, 2.0f, 0.5f};
    struct Case {
        const char* name;
        int32_t type;
        const float* values;
        int32_t count;
        std::vector<uint8_t> firstTexels;
    } cases[] = {
        {"RGB colour", 3, red, 3, {255, 0, 0, 255, 0, 0}},
        {"RGBA colour, alpha 255", 4, red, 3, {255, 0, 0, 255, 255, 0, 0, 255}},
        {"values truncated, low byte", 1, twoValues, 2, {10, 44, 0, 0}},
        {"two channels of a colour", 2, half, 4, {127, 63, 127, 63}},
        {"no values", 2, nullptr, 3, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        VRTexture* t = manager->CreateProceduralTexture(6, 3, c.type, c.values, c.count);
        ASSERT_NE(t, nullptr) << c.name;
        EXPECT_EQ(t->width, 6) << c.name;
        EXPECT_EQ(t->height, 3) << c.name;
        EXPECT_EQ(t->channels, c.type) << c.name;
        EXPECT_EQ(t->flags, kTexNoMipmaps) << c.name;
        EXPECT_EQ(Pixels(t, c.firstTexels.size()), c.firstTexels) << c.name;
        EXPECT_EQ(t->pixels[6 * 3 * c.type - 1], c.type == 1 ? 0 : c.firstTexels.back()) << c.name;
        ASSERT_EQ(std::strlen(t->name), 8u) << c.name;
        for (const char* p = t->name; *p; ++p) EXPECT_TRUE(*p >= 'a' && *p <= 'z') << t->name;
    }
    VRTexture* floats = manager->CreateProceduralTexture(2, 2, 6, red, 3);
    ASSERT_NE(floats, nullptr);
    EXPECT_EQ(floats->kind, kTextureFloat2D);
    EXPECT_EQ(floats->channels, 4);
    EXPECT_EQ(std::vector<float>(floats->floatPixels + 12, floats->floatPixels + 16), (std::vector<float>{1, 0, 0, 1}));
    VRTexture* depth = manager->CreateProceduralTexture(3, 5, 5, nullptr, 0);
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->kind, kTextureDepth);
    EXPECT_EQ(depth->width, 3);
    EXPECT_EQ(depth->flags, kTexNoMipmaps);

    const int32_t before = static_cast<int32_t>(warnings.size());
    for (auto [w, h, type] : {std::tuple{4, 4, 0}, {4, 4, 7}, {0, 4, 3}, {4, -1, 3}, {65536, 65536, 4}})
        EXPECT_EQ(manager->CreateProceduralTexture(w, h, type, nullptr, 0), nullptr) << w << " " << h << " " << type;
    EXPECT_EQ(static_cast<int32_t>(warnings.size()), before);
    // Procedural names come from the manager's own generator, not the C library's.
    std::srand(1);
    const int first = std::rand();
    std::srand(1);
    manager->CreateProceduralTexture(1, 1, 1, nullptr, 0);
    EXPECT_EQ(std::rand(), first);
}

// ---- binding and uploading

TEST_F(TextureManagerTest, BoundTextureIsDrawn) {
    const float green[] = {0, 1, 0};
    VRTexture* t = manager->CreateProceduralTexture(2, 2, 3, green, 3);
    manager->BindTexture(t, 0, 0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    EXPECT_EQ(ReadPixel(kWidth / 2, kHeight / 2), (qemtest::RgbPixel{0, 255, 0}));
    glDisable(GL_TEXTURE_2D);
}

TEST_F(TextureManagerTest, FiltersFollowTheBindFlags) {
    const float grey[] = {0.5f, 0.5f, 0.5f};
    VRTexture* plain = manager->CreateProceduralTexture(4, 4, 3, grey, 3);
    manager->BindTexture(plain, kBindLinear, 0);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    // The same record on the same unit: no new bind, the filters follow the flags.
    const GLuint name = plain->glName;
    manager->BindTexture(plain, 0, 0);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(plain->glName, name);

    VRTexture* mipmapped = manager->CreateTextureFromBuffer("m", CopyOf(std::vector<uint8_t>(48, 9)), 4, 4, 3, 0, 0, 0);
    manager->BindTexture(mipmapped, kBindLinear, 1);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_GENERATE_MIPMAP), GL_TRUE);
    EXPECT_EQ(manager->BoundTexture(1), mipmapped);

    manager->BindTexture(nullptr, 0, 1);
    EXPECT_EQ(manager->BoundTexture(1), mipmapped);
    EXPECT_EQ(manager->UploadedBytes(), 2 * 48);
    EXPECT_EQ(manager->FrameBytes(), 0);  // first binds upload; later binds count
    manager->BindTexture(plain, 0, 0);
    manager->BindTexture(plain, kBindAgain, 0);
    EXPECT_EQ(manager->FrameBytes(), 48);
    manager->BeginFrame();
    EXPECT_EQ(manager->FrameBytes(), 0);
    EXPECT_EQ(plain->usedThisFrame, 0);
}

TEST_F(TextureManagerTest, Dxt1LevelsUploadInOrder) {
    // 8 x 8 with three more levels, each of its own colour.
    const std::string data = Dxt1Solid(0xF800) + Dxt1Solid(0xF800) + Dxt1Solid(0xF800) + Dxt1Solid(0xF800) +
                             Dxt1Solid(0x07E0) + Dxt1Solid(0x001F) + Dxt1Solid(0xFFFF);
    VRTexture* t = manager->CreateTextureFromBuffer("dxt", CopyOf({data.begin(), data.end()}), 8, 8, 3,
                                                    kTexDxt1Alpha, 3, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 8);
    manager->BindTexture(t, 0, 0);
    const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int level = 0; level < 4; ++level) {
        const int side = 8 >> level;
        const std::vector<uint8_t> texels = TexBytes(GL_TEXTURE_2D, level, GL_RGB, static_cast<size_t>(side * side * 3));
        EXPECT_EQ(std::vector<uint8_t>(texels.end() - 3, texels.end()),
                  std::vector<uint8_t>(colours[level], colours[level] + 3))
            << "level " << level;
    }
    EXPECT_EQ(t->flags & kTexNoMipmaps, 0);
    // Without levels in the data the record is marked as having none.
    VRTexture* single = manager->CreateTextureFromBuffer("one", CopyOf({data.begin(), data.begin() + 8}), 4, 4, 3,
                                                         kTexDxt1, 0, 0);
    manager->BindTexture(single, kBindLinear, 1);
    EXPECT_EQ(single->flags & kTexNoMipmaps, kTexNoMipmaps);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
}

TEST_F(TextureManagerTest, CubeMapFacesAreReadInBlueGreenRedOrder) {
    // Six 2 x 2 faces, each of one colour given as blue, green, red.
    std::vector<uint8_t> faces;
    for (uint8_t f = 0; f < 6; ++f)
        for (int i = 0; i < 4; ++i) faces.insert(faces.end(), {uint8_t(10 + f), uint8_t(20 + f), uint8_t(30 + f)});
    VRTexture* cube = manager->CreateTextureFromBuffer("cube", CopyOf(faces), 2, 2, 3, kTexCubeMap, 0, 0);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->kind, kTextureCubeMap);
    manager->BindTexture(cube, kBindLinear, 0);
    for (uint8_t f = 0; f < 6; ++f) {
        const std::vector<uint8_t> texels = TexBytes(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGB, 12);
        EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + 3),
                  (std::vector<uint8_t>{uint8_t(30 + f), uint8_t(20 + f), uint8_t(10 + f)}))
            << "face " << int(f);
    }
    GLint mode = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_NORMAL_MAP);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_R));

    // One channel per texel: every face advances by its own size.
    std::vector<uint8_t> alpha;
    for (uint8_t f = 0; f < 6; ++f) alpha.insert(alpha.end(), 4, uint8_t(40 * f + 1));
    VRTexture* single = manager->CreateTextureFromBuffer("alpha", CopyOf(alpha), 2, 2, 1, kTexCubeMap, 0, 0);
    manager->BindTexture(single, 0, 1);
    for (uint8_t f = 0; f < 6; ++f)
        EXPECT_EQ(TexBytes(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_ALPHA, 4)[3], uint8_t(40 * f + 1)) << int(f);
}

TEST_F(TextureManagerTest, ThreeDimensionalTextureTakesEverySlice) {
    std::vector<uint8_t> slices;
    for (uint8_t z = 0; z < 2; ++z)
        for (int i = 0; i < 4; ++i) slices.insert(slices.end(), {uint8_t(z), 100, 200, 255});
    VRTexture* t = manager->CreateTextureFromBuffer("vol", CopyOf(slices), 2, 2, 4, kTex3D | kTexNoMipmaps, 0, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind, kTexture3D);
    EXPECT_EQ(t->depth, 2);
    manager->BindTexture(t, 0, 0);
    const std::vector<uint8_t> texels = TexBytes(GL_TEXTURE_3D, 0, GL_BGRA, 32);
    EXPECT_EQ(std::vector<uint8_t>(texels.begin() + 16, texels.begin() + 20), (std::vector<uint8_t>{1, 100, 200, 255}));
    EXPECT_EQ(TexParameter(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R), GL_REPEAT);
}

// ---- lifetimes

TEST_F(TextureManagerTest, RemovalReachesEveryHolder) {
    Write("a.ppm", qemtest::PpmBytes(2, 2, std::vector<uint8_t>(12, 5)));
    VRTexture* t = manager->GetTexture("a.ppm", 0);
    ASSERT_NE(t, nullptr);
    const uint32_t serial = t->serial;
    VRTextureRef material(t), script(t);
    manager->BindTexture(t, 0, 3);
    const GLuint name = t->glName;
    EXPECT_TRUE(glIsTexture(name));
    EXPECT_EQ(manager->RemoveTexture(t, true), 0);
    EXPECT_EQ(material.Get(), nullptr);
    EXPECT_EQ(script.Get(), nullptr);
    EXPECT_TRUE(script.Held());
    EXPECT_EQ(manager->BoundTexture(3), nullptr);
    EXPECT_EQ(manager->First(), nullptr);
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(manager->RemoveTexture(t, true), -1);  // no longer listed: nothing happens

    VRTexture* again = manager->GetTexture("a.ppm", 0);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->serial, serial);
    VRTextureRef later(again);
    EXPECT_EQ(later.Get(), again);

    // A record outside the list is refused, and records outlive the manager
    // for their holders.
    VRTexture outside;
    EXPECT_EQ(manager->RemoveTexture(&outside, true), -1);
    manager.reset();
    EXPECT_EQ(later.Get(), nullptr);
}

TEST_F(TextureManagerTest, RemovingWithoutDeletingHandsTheRecordOver) {
    VRTexture* t = manager->CreateProceduralTexture(1, 1, 1, nullptr, 0);
    manager->BindTexture(t, 0, 0);
    EXPECT_EQ(manager->RemoveTexture(t, false), 0);
    EXPECT_EQ(manager->First(), nullptr);
    EXPECT_EQ(manager->BoundTexture(0), nullptr);
    EXPECT_FALSE(t->removed);
    EXPECT_NE(t->glName, 0u);
    glDeleteTextures(1, &t->glName);
    t->glName = 0;
    t->removed = true;
    VRTextureRelease(t);
}

TEST_F(TextureManagerTest, HalfSizeCopies) {
    // S3TC: the source's chain from level 1 on; refused without levels.
    const std::string chain = Dxt1Solid(0xF800) + Dxt1Solid(0xF800) + Dxt1Solid(0xF800) + Dxt1Solid(0xF800) +
                              Dxt1Solid(0x07E0) + Dxt1Solid(0x001F) + Dxt1Solid(0xFFFF);
    VRTexture* dxt = manager->CreateTextureFromBuffer("dxt", CopyOf({chain.begin(), chain.end()}), 8, 8, 3,
                                                      kTexDxt1Alpha, 3, 0);
    VRTexture* half = manager->CreateHalfSizeCopy(dxt, 24);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->width, 4);
    EXPECT_EQ(half->mipCount, 2);
    EXPECT_STREQ(half->name, "dxt");
    EXPECT_EQ(Pixels(half, 24), std::vector<uint8_t>(chain.begin() + 32, chain.end()));
    VRTexture* single = manager->CreateTextureFromBuffer("one", CopyOf({chain.begin(), chain.begin() + 8}), 4, 4, 3,
                                                         kTexDxt1, 0, 0);
    EXPECT_EQ(manager->CreateHalfSizeCopy(single, 24), nullptr);
    manager->BindTexture(dxt, 0, 0);
    EXPECT_EQ(manager->CreateHalfSizeCopy(dxt, 24), nullptr);  // its pixels went to the card

    // Bytes in memory are shrunk; bytes on the card are read back.
    std::vector<uint8_t> rgba(4 * 4 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i);
    VRTexture* memory = manager->CreateTextureFromBuffer("mem", CopyOf(rgba), 4, 4, 4, kTexNoMipmaps, 0, 0);
    VRTexture* fromMemory = manager->CreateHalfSizeCopy(memory, 24);
    ASSERT_NE(fromMemory, nullptr);
    const std::vector<uint8_t> expected = {0, 1, 2, 3, 8, 9, 10, 11, 32, 33, 34, 35, 40, 41, 42, 43};
    EXPECT_EQ(Pixels(fromMemory, 16), expected);
    manager->BindTexture(memory, 0, 0);
    VRTexture* fromCard = manager->CreateHalfSizeCopy(memory, 24);
    ASSERT_NE(fromCard, nullptr);
    EXPECT_EQ(Pixels(fromCard, 16), expected);
    EXPECT_EQ(fromCard->flags, kTexNoMipmaps);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), memory->glName);

    VRTexture* floats = manager->CreateProceduralTexture(2, 2, 6, nullptr, 0);
    EXPECT_EQ(manager->CreateHalfSizeCopy(floats, 24), nullptr);
}

struct FakeVideo : VRVideoDecoder {
    const uint8_t* DecodeFrame(int32_t) override { return nullptr; }
};

TEST_F(TextureManagerTest, VideoTextureMatrixIsKeptAndRestored) {
    VRTexture* still = manager->CreateProceduralTexture(2, 2, 3, nullptr, 0);
    VRTexture* video = manager->CreateProceduralTexture(4, 2, 3, nullptr, 0);
    video->frameDecoder = new FakeVideo;
    video->imageWidth = 3;
    video->imageHeight = 1;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(2, 2, 2);
    glMatrixMode(GL_MODELVIEW);
    float m[16];
    manager->BindTexture(still, 0, 0);
    manager->BindTexture(video, 0, 0);
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 0.75f);   // frame width / texture width
    EXPECT_FLOAT_EQ(m[5], -0.5f);   // upside down
    EXPECT_FLOAT_EQ(m[13], 1.5f);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    manager->BindTexture(still, 0, 0);
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f);
    EXPECT_FLOAT_EQ(m[13], 0.0f);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace
