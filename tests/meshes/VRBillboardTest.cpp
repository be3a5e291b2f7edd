// Billboards in a GL scene: corners that face the scene's current camera,
// segment hits on the quad, the GL state Draw leaves, the half-size copy a
// quad of a given projected size draws, and the video accessors.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "meshes/VRBillboard.h"
#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "support/GlSceneFixture.h"
#include "support/ImageFiles.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

using Point = std::array<float, 3>;

Point Corner(const VRBillboard& b, int k) { return {b.corners[k][0], b.corners[k][1], b.corners[k][2]}; }

void ExpectNear(const Point& got, const Point& want, const char* what) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-5f) << what << " component " << k;
}

class VRBillboardTest : public GlSceneFixture {
protected:
    void SetUp() override {
        GlSceneFixture::SetUp();
        if (IsSkipped()) return;
        SetBaseDirectory(scratch.Path().c_str());
    }
    void TearDown() override {
        if (!IsSkipped()) SetBaseDirectory("");
        GlSceneFixture::TearDown();
    }
    float* Camera() { return scene->currentCamera->matrix; }
    // The camera turned by `degrees` about x (looking down for positive
    // angles): right (1, 0, 0), up (0, cos, sin).
    void PitchCamera(float degrees) {
        const float a = degrees * static_cast<float>(M_PI) / 180.0f;
        const float m[16] = {1, 0, 0, 0, 0, std::cos(a), -std::sin(a), 0, 0, std::sin(a), std::cos(a), 0, 0, 0, 0, 1};
        std::copy(m, m + 16, Camera());
    }
    void Write(const std::string& name, const std::string& bytes) { WriteFile(scratch.Make(name), bytes); }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(VRBillboardTest, CornersFaceTheCurrentCamera) {
    const float s = std::sqrt(0.5f);
    struct Case {
        const char* what;
        float pitch;
        int32_t flags;
        Point c0, c2;
    };
    const Case cases[] = {
        {"identity camera", 0, 0, {-1, -2, 0}, {1, 2, 0}},
        {"pitched camera: the quad tilts with it", 45, 0, {-1, -2 * s, -2 * s}, {1, 2 * s, 2 * s}},
        {"upright flag: up stays (0, height, 0)", 45, kBillboardUpright, {-1, -2, 0}, {1, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PitchCamera(c.pitch);
        VRBillboard b(nullptr, 1, 2, 0, 0, 0, 0);
        EXPECT_EQ(b.Draw(0, c.flags), 0);
        ExpectNear(Corner(b, 0), c.c0, "c0");
        ExpectNear(Corner(b, 2), c.c2, "c2");
        ExpectNear(Corner(b, 1), {c.c2[0], c.c0[1], c.c0[2]}, "c1");
        ExpectNear(Corner(b, 3), {c.c0[0], c.c2[1], c.c2[2]}, "c3");
    }
    // The constructor's corners use the world axes, at the position; Draw
    // stores the size times its factors.
    PitchCamera(0);
    VRBillboard moved(nullptr, 1, 2, 5, 6, 7, 0);
    ExpectNear(Corner(moved, 3), {4, 8, 7}, "constructed c3");
    moved.widthFactor = 2;
    moved.Draw(0, 0);
    EXPECT_FLOAT_EQ(moved.width, 2);
    ExpectNear(Corner(moved, 1), {7, 4, 7}, "scaled c1");
}

TEST_F(VRBillboardTest, SegmentsHitEitherTriangleOfTheQuad) {
    VRBillboard b(nullptr, 1, 2, 0, 0, 0, 0);
    b.Draw(0, 0);
    struct Case {
        Point start, end;
        bool hits;
        Point at;
    };
    const Case cases[] = {
        {{0, 0, 5}, {0, 0, -5}, true, {0, 0, 0}},           // through the centre
        {{0.5f, -1, 1}, {0.5f, -1, -1}, true, {0.5f, -1, 0}},  // lower right triangle
        {{-0.5f, 1, 1}, {-0.5f, 1, -1}, true, {-0.5f, 1, 0}},  // upper left triangle
        {{3, 0, 1}, {3, 0, -1}, false, {}},                  // beside the quad
        {{0, 0, 5}, {0, 0, 1}, false, {}},                   // ends before it
    };
    for (const Case& c : cases) {
        float point[3] = {9, 9, 9}, normal[3] = {9, 9, 9};
        ASSERT_EQ(b.IntersectSegment(c.start.data(), c.end.data(), point, normal), c.hits) << c.start[0];
        if (!c.hits) continue;
        ExpectNear({point[0], point[1], point[2]}, c.at, "hit");
        ExpectNear({normal[0], normal[1], normal[2]}, {0, 0, 1}, "normal");
    }
}

TEST_F(VRBillboardTest, DrawLeavesLightingAndTexturingAsFound) {
    VRBillboard b(nullptr, 1, 1, 0, 0, 0, 0);
    for (const bool lit : {false, true})
        for (const bool textured : {false, true}) {
            lit ? glEnable(GL_LIGHTING) : glDisable(GL_LIGHTING);
            textured ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
            EXPECT_EQ(b.Draw(0, 0), 0);
            EXPECT_EQ(glIsEnabled(GL_LIGHTING), lit);
            EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), textured);
        }
    // Flag 4 leaves lighting to the caller: on stays on, and Draw says so.
    glEnable(GL_LIGHTING);
    b.SetRotation(30);
    EXPECT_EQ(b.Draw(0, kBillboardKeepLighting), -1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glDisable(GL_LIGHTING);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A 64 x 64 texture with copies of 32, 16 and 8 pixels: a quad whose
// diagonal spans d pixels draws the largest picture whose side is at most d.
TEST_F(VRBillboardTest, HalfSizeCopiesAreChosenByProjectedSize) {
    Write("big.png", PngBytes(64, 64, 3, std::vector<uint8_t>(64 * 64 * 3, 200)));
    Write("small.png", PngBytes(32, 32, 3, std::vector<uint8_t>(32 * 32 * 3, 200)));
    VRTextureManager* manager = SharedTextureManager();
    ASSERT_NE(manager, nullptr);
    auto listed = [manager] {
        int n = 0;
        for (VRTexture* t = manager->First(); t; t = t->next) ++n;
        return n;
    };
    const int before = listed();
    {
        VRBillboard small("small.png", 1, 1, 0, 0, 0, kBillboardHalfSizeCopies);
        EXPECT_FALSE(small.halfSizeCopies[0].Held());
    }
    auto b = std::make_unique<VRBillboard>("big.png", 1, 1, 0, 0, 0, kBillboardHalfSizeCopies);
    ASSERT_NE(b->texture.Get(), nullptr);
    VRTexture* levels[4] = {b->texture.Get(), b->halfSizeCopies[0].Get(), b->halfSizeCopies[1].Get(),
                            b->halfSizeCopies[2].Get()};
    for (int k = 1; k < 4; ++k) {
        ASSERT_NE(levels[k], nullptr);
        EXPECT_EQ(levels[k]->imageWidth, 64 >> k);
    }
    EXPECT_EQ(listed(), before + 5);

    // Window coordinates are scene units.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    b->SetPosition(100, 100, 0);
    const struct {
        float diagonal;
        int level;
    } cases[] = {{200, 0}, {70, 0}, {60, 1}, {40, 1}, {20, 2}, {10, 3}, {1, 3}};
    for (const auto& c : cases) {
        const float half = c.diagonal / (2 * std::sqrt(2.0f));
        b->SetSize(half, half);
        b->Draw(0, 0);
        EXPECT_EQ(manager->BoundTexture(0), levels[c.level]) << "diagonal " << c.diagonal;
        EXPECT_EQ(b->ChooseTexture(static_cast<double>(c.diagonal) * c.diagonal), levels[c.level]);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    EXPECT_EQ(b->ChooseTexture(64 * 64), levels[0]);
    EXPECT_EQ(b->ChooseTexture(64 * 64 - 1), levels[1]);

    // The copies go with the billboard; the texture stays the manager's.
    b.reset();
    EXPECT_EQ(listed(), before + 2);
}

TEST_F(VRBillboardTest, VideoAccessorsReachAVideoTextureOnly) {
    Write("clip.avi", AviBytes(8, 8, 25, {SolidFrame(8, 8, 255, 0, 0), SolidFrame(8, 8, 0, 255, 0)}));
    VRBillboard video("clip.avi", 1, 1, 0, 0, 0, 0);
    ASSERT_NE(video.texture.Get(), nullptr);
    video.SetAviFrame(12);
    EXPECT_EQ(video.GetAviFrame(), 12);
    EXPECT_EQ(video.GetAviTotalFrame(), 2);
    video.SetAviFlags(0x2);
    video.SetAviFlags(0x4);
    EXPECT_EQ(video.texture.Get()->videoFlags, 0x6);
    video.ResetAviFlags();
    EXPECT_EQ(video.texture.Get()->videoFlags, 0);

    VRBillboard none(nullptr, 1, 1, 0, 0, 0, 0);
    none.SetAviFrame(12);
    none.SetAviFlags(1);
    EXPECT_EQ(none.GetAviFrame(), 0);
    EXPECT_EQ(none.GetAviTotalFrame(), 0);
}

// The back quad winds the other way: with front faces culled only it shows.
TEST_F(VRBillboardTest, TheBackQuadFacesAway) {
    VRBillboard b(nullptr, 1, 1, 0, 0, 0, 0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glColor3f(1, 1, 1);
    for (const bool back : {false, true}) {
        ClearWindow(0, 0, 0);
        b.Draw(0, back ? kBillboardBackFace : 0);
        EXPECT_EQ(ReadPixel(kWidth / 2, kHeight / 2), back ? (RgbPixel{255, 255, 255}) : RgbPixel{}) << back;
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
