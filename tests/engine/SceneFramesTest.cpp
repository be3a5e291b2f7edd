// Scripts that draw their frames between SceneBegin and SceneEnd, run by the
// engine module frame by frame in the test's GL window. The scripts look at
// what they drew through probes: the pixel a scene point lands on and the GL
// state, read before SceneEnd.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineModule.h"
#include "meshes/MeshLoader.h"
#include "scene/VRScene.h"
#include "support/EngineFixtures.h"
#include "support/GlWindowFixture.h"
#include "support/ImageFiles.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// What the probes saw, in call order.
std::vector<RgbPixel> g_pixels;
struct GlState {
    float colour[4];
    bool lighting, blend;
};
std::vector<GlState> g_states;

// PIXELAT(x, y, z): the pixel the scene point lands on; GLSTATE(): the
// current colour, lighting and blending; BLENDON(): blending on.
class Probes : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("PIXELAT", &Probes::PixelAt);
        AddFunction("GLSTATE", &Probes::State);
        AddFunction("BLENDON", &Probes::BlendOn);
        return true;
    }

private:
    void PixelAt(CVmClassBase*, int) {
        double model[16], projection[16], x = 0, y = 0, z = 0;
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        gluProject(GetParamFloat(1), GetParamFloat(2), GetParamFloat(3), model, projection, viewport, &x, &y, &z);
        g_pixels.push_back(GlWindowFixture::ReadPixel(int(x), int(y)));
    }
    void State(CVmClassBase*, int) {
        GlState s;
        glGetFloatv(GL_CURRENT_COLOR, s.colour);
        s.lighting = glIsEnabled(GL_LIGHTING);
        s.blend = glIsEnabled(GL_BLEND);
        g_states.push_back(s);
    }
    void BlendOn(CVmClassBase*, int) { glEnable(GL_BLEND); }
};

// PIXELAT for each point.
void PixelsAt(ProgramBuilder& b, const std::vector<std::vector<float>>& points) {
    for (const auto& p : points) b.CallNative("PIXELAT", {VReal(p[0]), VReal(p[1]), VReal(p[2])}, None());
}

const RgbPixel kBlack{0, 0, 0};
const RgbPixel kGreen{0, 255, 0};
const RgbPixel kWhite{255, 255, 255};

class SceneFrames : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        CVRModule3D::ResetErrorPending();
        g_pixels.clear();
        g_states.clear();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        if (!IsSkipped()) {
            module.reset();
            log = testing::internal::GetCapturedStdout();
            // The failures went to the captured output too.
            if (HasFailure()) std::cerr << log;
        }
        GlWindowFixture::TearDown();
    }

    // Starts the module on a script whose OnFrame is `frame`, and runs it up
    // to its first frame. The module's background (the scene's clear colour)
    // is black.
    void Start(const std::function<void(ProgramBuilder&)>& frame) {
        ProgramBuilder b;
        b.Return();
        b.Function("ONFRAME", 0);
        b.Emit(OP_RESERVE, I(4));
        frame(b);
        b.Return();
        script = WriteProgram(scratch, "frames.bin", b);
        module.reset(new CVRModule3D(script.c_str(), "", &container, glutGetWindow(), 0x000000, nullptr, 0));
        module->Machine()->RegisterFunctions(new Probes());
        ASSERT_TRUE(RunFramesUntil(*module, CVRModule3D::Running));
        // The script's data files are where the test writes them.
        module->Machine()->SetWorkingFolder(scratch.Path());
    }

    ScratchFolder scratch;
    RecordingContainer container;
    std::unique_ptr<CVRModule3D> module;
    std::string script, log;
};

}  // namespace

TEST_F(SceneFrames, AFrameBeginClearsTheWindowWithTheClearColour) {
    Start([](ProgramBuilder& b) {
        b.CallNative("SETCLEARCOLOR", {VInt(1), VInt(0), VInt(0)}, None());
        b.CallNative("SCENEBEGIN", {}, None());
        b.CallNative("SCENEEND", {}, None());
    });
    module->Frame();
    EXPECT_EQ(module->CurrentState(), CVRModule3D::Running);
    for (auto [x, y] : {std::make_pair(1, 1), std::make_pair(kWidth / 2, kHeight / 2)})
        EXPECT_EQ(ReadPixel(x, y), (RgbPixel{255, 0, 0}));
    EXPECT_EQ(module->Machine()->Scene().inScene, 0);
}

TEST_F(SceneFrames, TheSceneHasTheMeshLoaderForItsLifetime) {
    Start([](ProgramBuilder&) {});
    EXPECT_NE(SceneMeshLoader(), nullptr);
    module.reset();
    EXPECT_EQ(SceneMeshLoader(), nullptr);
}

TEST_F(SceneFrames, TextsDrawTheirGlyphsWhereTheCursorGoes) {
    // Cells opaque in their left half: glyphs half a unit wide.
    WriteFile(scratch.Make("ascii_century2.png"), GlyphGridPng(8, 64, [](int) { return 4; }));
    Start([](ProgramBuilder& b) {
        b.CallNative("NEWTEXT", {VStr("ab"), VInt(0), VInt(0)}, L(1));
        b.CallMethod(L(1), "SETCOLOR", {VInt(0), VInt(1), VInt(0), VInt(0)}, None());
        b.CallNative("NEWTEXT", {VStr("ab"), VInt(0), VReal(-1.5f)}, L(2));
        b.CallMethod(L(2), "SETCOLOR", {VInt(0), VInt(1), VInt(0)}, None());
        b.CallNative("SETCAMERAPOSITION", {VReal(0.5f), VInt(0), VInt(3)}, None());
        b.CallNative("SCENEBEGIN", {}, None());
        b.CallNative("BLENDON", {}, None());
        b.CallNative("GLSTATE", {}, None());
        b.CallMethod(L(1), "DRAW", {VInt(0)}, None());
        b.CallNative("GLSTATE", {}, None());
        b.CallMethod(L(2), "DRAW", {VInt(1)}, None());
        // "ab" from 0: quads at 0 and 0.55; centred: from -0.56.
        PixelsAt(b, {{0.25f, 0.5f, 0}, {0.8f, 0.5f, 0}, {1.3f, 0.5f, 0}, {-0.25f, 0.5f, 0}});
        PixelsAt(b, {{-0.3f, -1, 0}, {0.25f, -1, 0}, {0.75f, -1, 0}, {-0.8f, -1, 0}});
        b.CallNative("SCENEEND", {}, None());
    });
    module->Frame();
    ASSERT_EQ(g_pixels.size(), 8u) << log;
    EXPECT_EQ(g_pixels, (std::vector<RgbPixel>{kGreen, kGreen, kBlack, kBlack, kGreen, kGreen, kBlack, kBlack}));
    ASSERT_EQ(g_states.size(), 2u);
    EXPECT_EQ(std::vector<float>(g_states[0].colour, g_states[0].colour + 4),
              std::vector<float>(g_states[1].colour, g_states[1].colour + 4));
    EXPECT_TRUE(g_states[0].lighting && g_states[1].lighting);
    EXPECT_TRUE(g_states[0].blend);
    EXPECT_FALSE(g_states[1].blend);
}

TEST_F(SceneFrames, PagesDrawTheirLinesOverTheirBackground) {
    WriteFile(scratch.Make("ascii_century2.png"), GlyphGridPng(8, 64, [](int) { return 8; }));
    WriteFile(scratch.Make("white.png"), PngBytes(2, 2, 3, std::vector<uint8_t>(12, 255)));
    WriteFile(scratch.Make("lines.txt"), "a\r\nb");
    WriteFile(scratch.Make("still.txt"),
              "BEGIN_TEXT VR_TEXTEFFECT_NONE lines.txt 0 0 END_TEXT "
              "BEGIN_BACK VR_BACKGROUNDEFFECT_SOBER_SX white.png 0 0 10 6 END_BACK");
    WriteFile(scratch.Make("kitch.txt"),
              "BEGIN_BACK VR_BACKGROUNDEFFECT_SOBER_SX white.png 0 0 10 6 END_BACK "
              "BEGIN_TEXT VR_TEXTEFFECT_KITCH lines.txt 0 0 END_TEXT");
    const std::vector<std::vector<float>> points = {{0.5f, 2.5f, 0}, {0.5f, 1.5f, 0}, {-1.5f, 2.5f, 0},
                                                    {2.5f, 1.5f, 0}, {-3, -2, -0.5f},  {-5.5f, 0, -0.5f}};
    Start([&points](ProgramBuilder& b) {
        b.CallNative("SETCAMERAPOSITION", {VInt(0), VInt(1), VInt(8)}, None());
        for (const char* page : {"still.txt", "kitch.txt"}) {
            b.CallNative("NEWHTMLPAGE", {VStr(page)}, L(1));
            b.CallMethod(L(1), "COMPOSE", {VInt(1000)}, None());
            b.CallNative("SCENEBEGIN", {}, None());
            b.CallMethod(L(1), "DRAW", {}, None());
            PixelsAt(b, points);
            b.CallNative("SCENEEND", {}, None());
        }
    });
    module->Frame();
    ASSERT_EQ(g_pixels.size(), 12u) << log;
    // The background: half its white texels at alpha 0.7 over black.
    const RgbPixel shaded = g_pixels[4];
    EXPECT_NEAR(shaded.r, 89, 2);
    // "a" at height 2 and "b" at 1, both at x 0; with the effect at t =
    // 1000 "a" at x -2 and "b" at +2.
    EXPECT_EQ(std::vector<RgbPixel>(g_pixels.begin(), g_pixels.begin() + 6),
              (std::vector<RgbPixel>{kWhite, kWhite, shaded, shaded, shaded, kBlack}));
    EXPECT_EQ(std::vector<RgbPixel>(g_pixels.begin() + 6, g_pixels.end()),
              (std::vector<RgbPixel>{shaded, shaded, kWhite, kWhite, shaded, kBlack}));
}
