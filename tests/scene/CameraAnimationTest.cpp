// Camera files: how the header chooses the rotation values, the results of
// broken files, and placing the scene's current camera at a frame, clamped
// into the bounds. The files are written by the tests.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "scene/VRCameraAnimation.h"
#include "scene/VRScene.h"
#include "support/GlSceneFixture.h"
#include "support/ScratchFolder.h"

using namespace qemtest;

namespace {

std::string WriteFile(const ScratchFolder& folder, const std::string& name, const std::string& text) {
    const std::string path = folder.Make(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

const char kFreeCamera[] =
    "{ 1 {\n"
    "Type: Free\n"
    "PosCam: 1 2 3\n"
    "RotCam: 0.1 0.2 0.3 0.4\n"
    "FOV: 1 45\n"
    "}\n";

// Camera 0: free, sampled positions; camera 1: target; camera 2: free with
// rotation keys of a kind that gives no matrix.
const char kAnimated[] =
    "CAMERA\n"
    "{ 3 {\n"
    "Type: Free PosCam: 0 0 0 RotCam: 1 0 0 0\n"
    "Animation: { 0 1 2\n"
    "AnimCam: { Anim_Ctrl: Y\n"
    "PsSam: 2\n"
    "0 1 2 3\n"
    "1 500000 -500000 7\n"
    "}\n"
    "}\n"
    "Type: Target PosCam: 1 2 3 PosTarget: 4 5 6\n"
    "Anim_Ctrl: N\n"
    "Type: Free PosCam: 0 0 0 RotCam: 1 0 0 0\n"
    "Animation: { 0 1 5\n"
    "AnimCam: { Anim_Ctrl: Y\n"
    "RtTcb: 1\n"
    "0 0 1 0 0.5 0 0 0 0 0\n"
    "}\n"
    "}\n";

class CameraAnimationScene : public GlSceneFixture {};

}  // namespace

TEST(CameraAnimationFile, BrokenFilesGiveTheirResults) {
    ScratchFolder folder;
    const struct {
        const char* text;
        int32_t result;
    } cases[] = {
        {"SOMETHING\nno camera here\n", -2},
        {"CAMERA\n{ 1 ENDCAMERA\n", -3},
        {"CAMERA\nENDCAMERA 1 {\n", -3},
        {"CAMERA\n{ -1 {\n", -2},
        {"CAMERA\n{ 2000000000 {\nType: Free\n", -2},
        {"CAMERA\n{ 1 {\nType: Free PosCam: 1 2 3 RotCam: 1 0 0 0\nENDCAMERA\n", -1},
        {"CAMERA\n{ 1 {\nType: Free PosCam: 1 2 3 RotCam: 1 0 0 0\nAnimation: { 0 1 4\nAnimCam: { Anim_Ctrl: Y\n"
         "PsBez: 900000000\n",
         1},
    };
    for (const auto& c : cases) {
        VRCameraAnimation animation;
        EXPECT_EQ(c.result, animation.Read(WriteFile(folder, "cam.txt", c.text).c_str())) << c.text;
    }
    VRCameraAnimation animation;
    EXPECT_EQ(-1, animation.Read((folder.Path() + "missing.txt").c_str()));
    EXPECT_EQ(-2, animation.Frames(0));
}

TEST(CameraAnimationFile, TheHeaderChoosesThreeOrFourRotationValues) {
    ScratchFolder folder;
    const struct {
        const char* header;
        float fourth;
    } cases[] = {
        {"CAMERA\n", 0.4f},
        {"IDASF 2.0\nCAMERA\n", 0.0f},
        {"MAX export\nCAMERA\n", 0.4f},
        {"exported aAx\nCAMERA\n", 0.4f},
        {"exported bbb\nCAMERA\n", 0.0f},
        {"ab\nCAMERA\n", 0.0f},
    };
    for (const auto& c : cases) {
        VRCameraAnimation animation;
        const std::string path = WriteFile(folder, "cam.txt", std::string(c.header) + kFreeCamera);
        EXPECT_EQ(0, animation.Read(path.c_str())) << c.header;
        ASSERT_EQ(1, animation.cameraCount);
        const VRAnimTrack& track = animation.positionTracks[0];
        EXPECT_FLOAT_EQ(c.fourth, track.defaultRotation[3]) << c.header;
        EXPECT_FLOAT_EQ(0.3f, track.defaultRotation[2]) << c.header;
        // (x, y, z) of the file as (x, z, -y).
        EXPECT_FLOAT_EQ(1.0f, track.defaultPosition[0]);
        EXPECT_FLOAT_EQ(3.0f, track.defaultPosition[1]);
        EXPECT_FLOAT_EQ(-2.0f, track.defaultPosition[2]);
    }
}

TEST_F(CameraAnimationScene, FramesPlaceTheCurrentCameraWithinTheBounds) {
    ScratchFolder folder;
    VRCamera& camera = *scene->currentCamera;
    camera.SetPosition(9, 9, 9);
    EXPECT_EQ(0, scene->SetCameraAnimation(0, 0));
    EXPECT_FLOAT_EQ(9.0f, camera.position[0]);

    ASSERT_EQ(1, scene->ReadCameraAnimation(WriteFile(folder, "cam.txt", kAnimated).c_str()));
    EXPECT_EQ(2, scene->GetCameraFrames(0));
    EXPECT_EQ(5, scene->GetCameraFrames(2));
    EXPECT_EQ(-1, scene->GetCameraFrames(3));
    EXPECT_EQ(-1, scene->GetCameraFrames(-1));

    // Key 0 (1, 2, 3) as (1, 3, -2); the rotation is the default one turned
    // a quarter about x.
    scene->SetCameraAnimation(0, 0);
    EXPECT_FLOAT_EQ(1.0f, camera.position[0]);
    EXPECT_FLOAT_EQ(3.0f, camera.position[1]);
    EXPECT_FLOAT_EQ(-2.0f, camera.position[2]);
    EXPECT_NEAR(1.0f, camera.matrix[6], 1e-6);
    EXPECT_NEAR(-1.0f, camera.matrix[9], 1e-6);

    // Key 1 (500000, 7, 500000) clamped per axis; frames past the last key
    // take it, a frame below 0 the default position.
    EXPECT_EQ(-1, scene->SetCameraBound(6, 0));
    EXPECT_EQ(2, scene->SetCameraBound(2, 10));
    scene->SetCameraAnimation(0, 5);
    EXPECT_FLOAT_EQ(100000.0f, camera.position[0]);
    EXPECT_FLOAT_EQ(10.0f, camera.position[1]);
    EXPECT_FLOAT_EQ(100000.0f, camera.position[2]);
    scene->SetCameraAnimation(0, -1);
    EXPECT_FLOAT_EQ(0.0f, camera.position[0]);

    // A target camera looks at its target.
    scene->SetCameraAnimation(1, 0);
    EXPECT_EQ(kCameraTarget, camera.mode);
    EXPECT_FLOAT_EQ(6.0f, camera.target[1]);
    EXPECT_FLOAT_EQ(-5.0f, camera.target[2]);

    // Rotation keys that give no matrix leave the camera's matrix alone.
    camera.Free();
    const float turned[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    camera.SetRotationMatrix(turned);
    scene->SetCameraAnimation(2, 0);
    EXPECT_FLOAT_EQ(1.0f, camera.matrix[1]);
    EXPECT_FLOAT_EQ(-1.0f, camera.matrix[4]);

    // Scaling the samples scales the keys.
    scene->ScaleCameraSamples(0.5f, 1, 1);
    scene->SetCameraBound(0, -1e9f);
    scene->SetCameraBound(1, 1e9f);
    scene->SetCameraAnimation(0, 1);
    EXPECT_FLOAT_EQ(250000.0f, camera.position[0]);
}
