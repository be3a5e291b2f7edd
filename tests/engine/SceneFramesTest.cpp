// Scripts that draw their frames between SceneBegin and SceneEnd, run by the
// engine module frame by frame in the test's GL window.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "engine/EngineModule.h"
#include "scene/VRScene.h"
#include "support/EngineFixtures.h"
#include "support/GlWindowFixture.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"

using namespace qemtest;

namespace {

class SceneFrames : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        CVRModule3D::ResetErrorPending();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        if (!IsSkipped()) {
            module.reset();
            log = testing::internal::GetCapturedStdout();
        }
        GlWindowFixture::TearDown();
    }

    // Starts the module on a script whose OnFrame is `frame`, and runs it up
    // to its first frame.
    void Start(const std::function<void(ProgramBuilder&)>& frame) {
        ProgramBuilder b;
        b.Return();
        b.Function("ONFRAME", 0);
        b.Emit(OP_RESERVE, I(4));
        frame(b);
        b.Return();
        script = WriteProgram(scratch, "frames.bin", b);
        module.reset(new CVRModule3D(script.c_str(), "", &container, glutGetWindow(), 0x00FF00, nullptr, 0));
        ASSERT_TRUE(RunFramesUntil(*module, CVRModule3D::Running));
    }

    ScratchFolder scratch;
    RecordingContainer container;
    std::unique_ptr<CVRModule3D> module;
    std::string script, log;
};

}  // namespace

TEST_F(SceneFrames, AFrameBeginClearsTheWindowWithTheClearColour) {
    Start([](ProgramBuilder& b) {
        b.CallNative("SCENEBEGIN", {}, None());
        b.CallNative("SCENEEND", {}, None());
    });
    module->Machine()->Scene().scene->SetClearColor(1, 0, 0);
    module->Frame();
    EXPECT_EQ(module->CurrentState(), CVRModule3D::Running);
    for (auto [x, y] : {std::make_pair(1, 1), std::make_pair(kWidth / 2, kHeight / 2)})
        EXPECT_EQ(ReadPixel(x, y), (RgbPixel{255, 0, 0}));
    EXPECT_EQ(module->Machine()->Scene().inScene, 0);
}
