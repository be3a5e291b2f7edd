// AVI video textures: frames chosen by the scene clock at each bind, shown
// upright through the texture matrix.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "platform/MillisecondClock.h"
#include "scene/SceneGlobals.h"
#include "scene/VRTextureManager.h"
#include "support/ImageFiles.h"
#include "support/TextureFixture.h"

namespace {

using qemtest::AviBytes;
using qemtest::SolidFrame;
using Rgb = std::array<int, 3>;

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

uint32_t g_now = 0;
uint32_t FakeNow() { return g_now; }

// A side x side frame: the top half in the colour, the bottom half black.
std::vector<uint8_t> HalfFrame(int side, const Rgb& c) {
    std::vector<uint8_t> f = SolidFrame(side, side / 2, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    f.resize(static_cast<size_t>(side) * side * 3, 0);
    return f;
}

class VideoTextureTest : public qemtest::TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        g_now = 0;
        SetMillisecondSource(FakeNow);
    }
    void TearDown() override {
        SetMillisecondSource(nullptr);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        TextureFixture::TearDown();
    }

    // Four 8 x 8 frames at 25 a second (40 ms each): red, green, blue, white
    // over black.
    void WriteColours(const char* name) {
        Write(name, AviBytes(8, 8, 25, {HalfFrame(8, kRed), HalfFrame(8, kGreen), HalfFrame(8, kBlue),
                                        HalfFrame(8, kWhite)}));
    }

    // Binds the record at `now` and answers what texture coordinate (s, t)
    // shows (t = 0 at the top of the picture), through the texture matrix.
    Rgb ShownAt(VRTexture* t, uint32_t now, float s = 0.5f, float tc = 0.25f) {
        g_now = now;
        manager->BindTexture(t, 0, 0);
        float m[16];
        glGetFloatv(GL_TEXTURE_MATRIX, m);
        const float u = m[0] * s + m[4] * tc + m[12];
        float v = m[1] * s + m[5] * tc + m[13];
        v -= std::floor(v);  // the texture repeats
        const auto texels = qemtest::TexBytes(GL_TEXTURE_2D, 0, GL_RGB, static_cast<size_t>(t->width) * t->height * 3);
        const int x = static_cast<int>(u * t->width), y = static_cast<int>(v * t->height);
        const uint8_t* p = texels.data() + (static_cast<size_t>(y) * t->width + x) * 3;
        return {p[0], p[1], p[2]};
    }
};

TEST_F(VideoTextureTest, FramesFollowTheClockUpright) {
    WriteColours("colours.avi");
    VRTexture* t = manager->GetTexture("colours.avi", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 8);
    EXPECT_EQ(t->height, 8);
    EXPECT_EQ(t->channels, 3);
    EXPECT_EQ(t->frameCount, 4);
    EXPECT_EQ(t->framePeriod, 40u);
    EXPECT_TRUE(t->IsVideo());
    EXPECT_NE(t->dynamic, 0);
    // Each bind shows the current frame, then moves it on by the periods
    // that passed since the last frame shown.
    const struct {
        uint32_t now;
        Rgb shown;
        int frameAfter;
    } steps[] = {{0, kRed, 0}, {30, kRed, 0}, {45, kRed, 1}, {90, kGreen, 2}, {135, kBlue, 3}, {180, kWhite, 0},
                 {260, kRed, 2}};
    for (const auto& step : steps) {
        EXPECT_EQ(ShownAt(t, step.now), step.shown) << "at " << step.now;
        EXPECT_EQ(ShownAt(t, step.now, 0.5f, 0.75f), kBlack) << "bottom half at " << step.now;
        EXPECT_EQ(t->currentFrame, step.frameAfter) << "at " << step.now;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(VideoTextureTest, SpeedStopAndWrap) {
    WriteColours("colours.avi");
    VRTexture* t = manager->GetTexture("colours.avi", 0);
    ASSERT_NE(t, nullptr);
    // Speed 2 halves the period: a frame every 20 ms.
    t->speed = 2.0f;
    EXPECT_EQ(ShownAt(t, 1000), kRed);
    EXPECT_EQ(ShownAt(t, 1010), kRed);
    EXPECT_EQ(t->currentFrame, 0);
    EXPECT_EQ(ShownAt(t, 1020), kRed);
    EXPECT_EQ(t->currentFrame, 1);
    EXPECT_EQ(ShownAt(t, 1040), kGreen);
    EXPECT_EQ(t->currentFrame, 2);
    // Stopped, the picture goes back to frame 0 once.
    t->playState = 0;
    EXPECT_EQ(ShownAt(t, 1060), kRed);
    EXPECT_EQ(t->currentFrame, 0);
    EXPECT_EQ(t->rewindPending, 0);
    // A frame past the end wraps round, or shows frame 0 with flag 0x80.
    t->playState = 1;
    t->speed = 1.0f;
    t->currentFrame = 6;
    EXPECT_EQ(ShownAt(t, 1080), kBlue);
    EXPECT_EQ(t->currentFrame, 3);
    t->currentFrame = 6;
    t->videoFlags = 0x80;
    EXPECT_EQ(ShownAt(t, 1120), kRed);
    EXPECT_EQ(t->currentFrame, 3);
    // A negative speed plays backwards; speed 0 holds the picture.
    t->speed = -1.0f;
    EXPECT_EQ(ShownAt(t, 1160), kWhite);
    EXPECT_EQ(t->currentFrame, 2);
    t->speed = 0.0f;
    EXPECT_EQ(ShownAt(t, 9000), kWhite);
    EXPECT_EQ(t->currentFrame, 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(VideoTextureTest, EachRecordDecodesOnItsOwn) {
    WriteColours("colours.avi");
    VRTexture* a = manager->GetTexture("colours.avi", 0);
    VRTexture* b = manager->GetTexture("colours.avi", 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->frameDecoder, b->frameDecoder);
    // Frames out of order are reached by seeking, in either direction,
    // while the other record goes on in order.
    const struct {
        uint32_t now;
        int aFrame;
        Rgb a, b;
    } steps[] = {{0, 2, kBlue, kRed}, {40, 1, kGreen, kRed}, {80, 3, kWhite, kGreen}, {120, 0, kRed, kBlue}};
    for (const auto& step : steps) {
        a->currentFrame = static_cast<float>(step.aFrame);
        EXPECT_EQ(ShownAt(a, step.now), step.a) << "at " << step.now;
        EXPECT_EQ(ShownAt(b, step.now), step.b) << "at " << step.now;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(VideoTextureTest, NarrowFramesFitTheirTexture) {
    // Width 5 is shown 6 wide (the added column black); rounding down with a
    // small tolerance would leave no room for the frame.
    TextureRoundingTolerance = 0.25f;
    Write("narrow.avi", AviBytes(5, 2, 25, {SolidFrame(5, 2, 0, 255, 0)}));
    VRTexture* t = manager->GetTexture("narrow.avi", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 8);
    EXPECT_EQ(t->imageWidth, 6);
    EXPECT_EQ(t->imageHeight, 2);
    EXPECT_EQ(TextureRoundingTolerance, 0.25f);
    EXPECT_EQ(ShownAt(t, 0, 4.5f / 6, 0.5f), kGreen);
    EXPECT_EQ(ShownAt(t, 0, 5.5f / 6, 0.5f), kBlack);
}

TEST_F(VideoTextureTest, FilesThatGiveNoVideo) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    std::string unknownCodec = AviBytes(8, 8, 25, {SolidFrame(8, 8, 1, 2, 3)});
    const size_t strf = unknownCodec.find("strf");
    unknownCodec.replace(strf + 8 + 16, 4, "QZQZ");  // biCompression
    const size_t handler = unknownCodec.find("vids");
    unknownCodec.replace(handler + 4, 4, "QZQZ");
    Write("text.avi", "this is no video at all");
    Write("empty.avi", AviBytes(8, 8, 25, {}));
    Write("codec.avi", unknownCodec);
    Write("wide.avi", AviBytes(maxSize + 2, 1, 25, {SolidFrame(maxSize + 2, 1, 9, 9, 9)}));
    const std::string noFrame = "Failed To Open The AVI Frame. Make sure the appropriate VFW codec is installed. ";
    const struct {
        const char* name;
        std::string error;
    } cases[] = {
        {"text.avi", "Failed To Open The AVI Stream "},
        {"empty.avi", "Failed To Open The AVI Stream "},
        {"codec.avi", noFrame},
        {"wide.avi", "AVI Resolution too high! "},
    };
    for (const auto& c : cases) {
        errors.clear();
        EXPECT_EQ(manager->GetTexture(c.name, 0), nullptr) << c.name;
        EXPECT_EQ(errors, std::vector<std::string>{c.error}) << c.name;
    }
    EXPECT_EQ(manager->First(), nullptr);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(VideoTextureTest, DamagedFrameReportsAndKeepsThePicture) {
    std::string avi = AviBytes(8, 8, 25, {HalfFrame(8, kRed), HalfFrame(8, kGreen)}, false);
    // The second frame's chunk loses all but 10 of its bytes.
    const size_t second = avi.rfind("00db");
    avi[second + 4] = 10;
    avi[second + 5] = 0;
    avi.resize(second + 8 + 10);
    Write("damaged.avi", avi);
    VRTexture* t = manager->GetTexture("damaged.avi", 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ShownAt(t, 0), kRed);
    EXPECT_TRUE(errors.empty());
    t->currentFrame = 1;
    EXPECT_EQ(ShownAt(t, 40), kRed);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], std::string("VRTextureManager - Error in getting video frame (corrupted file?) ") + t->name);
    EXPECT_EQ(t->currentFrame, 0);  // moved on all the same
}

TEST_F(VideoTextureTest, FreeClosesTheDecoder) {
    WriteColours("colours.avi");
    VRTexture* t = manager->GetTexture("colours.avi", 0);
    ASSERT_NE(t, nullptr);
    ShownAt(t, 0);
    t->Free();
    EXPECT_FALSE(t->IsVideo());
    EXPECT_EQ(t->frameCount, 0);
    EXPECT_EQ(t->framePeriod, 0u);
}

}  // namespace
