// The camera and scene functions end to end: qem runs a script whose OnInit
// steers the scene's cameras, draws an empty frame and reads the scene
// parameters, printing what the functions answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

TEST(CameraSceneScriptProgram, CamerasFramesAndParameters) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    s.Global("SetCameraPosition", {VInt(1), VInt(2), VInt(3)});
    s.Record(s.Global("GetCameraPosition"));
    s.Global("CameraActivate", {VInt(7)});
    s.Record(s.Global("CameraGetPosition"));
    s.Global("CameraActivate", {VInt(0)});
    s.Global("SceneSetParam", {VInt(64), VInt(1)});
    s.Record(s.Global("SceneGetParam", {VInt(64)}));
    s.Global("SceneBegin", {});
    s.Global("SceneEnd", {});
    s.Record(s.Global("SceneGetParam", {VInt(0x40000000)}));
    s.Record(s.Global("SceneGetParam", {VInt(0x8000)}));
    s.Global("CameraActivate", {VInt(8)});
    s.Print("went on\n");
    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "cameras", "ERROR"));
    // The window is 160 x 120.
    EXPECT_EQ(out.substr(0, out.find("ERROR")),
              "[ 1 , 2 , 3 ]\n[ 0 , 0 , 0 ]\n1\n[ 0 , 0 , 160 , 120 ]\n"
              "\nVirtualMachine WARNING (line 0): SCENEGETPARAM: Wrong PARAM_ID Void\n\nVirtualMachine ");
    EXPECT_NE(out.find("CAMERAACTIVATE: Invalid camera ID."), std::string::npos) << out;
    EXPECT_EQ(out.find("went on"), std::string::npos);
}
