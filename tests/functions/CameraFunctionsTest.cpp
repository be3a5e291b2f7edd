// The camera and scene functions called as scripts call them, in a machine of
// the test with a scene over the test window and an engine stand-in: the
// current camera's setters and getters, frame begins and ends, the scene
// parameters, camera animation and the scene callback. Through qem:
// tests/host/CameraSceneScriptProgramTest.cpp; in the engine's frames:
// tests/engine/SceneFramesTest.cpp.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "functions/CVmCameraFunctions.h"
#include "functions/CVmFunction.h"
#include "media/DSBackEnd.h"
#include "media/VRAlib.h"
#include "platform/Thread.h"
#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "scene/VRScene.h"
#include "scene/script/CVmCamera.h"
#include "scene/script/CVmLight.h"
#include "support/GlWindowFixture.h"
#include "support/FakeDsDevice.h"
#include "support/GlobalCalls.h"
#include "support/ScratchFolder.h"
#include "support/StandInEngine.h"

using namespace qemtest;

namespace {

// The engine's message texts, and host calls registered under the calling
// thread as the engine machine's are.
class EngineLikeMachine : public EngineMessagesMachine {
    uint32_t ThreadId() override { return CurrentThreadId(); }
};

class FakeEngine : public StandInEngine {
public:
    void StartVRConfigListener() override { ++listenerStarts; }

    int listenerStarts = 0;
};

// VIEWPORT(): the GL viewport; INSCENE(): the in-scene flag; FAKELOAD(n):
// a loader reporting 50 and 100 per cent through the scene callback, then
// answering its own parameter.
class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("VIEWPORT", &TestFunctions::Viewport);
        AddFunction("INSCENE", &TestFunctions::InScene);
        AddFunction("FAKELOAD", &TestFunctions::FakeLoad);
        return true;
    }

private:
    void Viewport(CVmClassBase*, int) {
        GLfloat v[4];
        glGetFloatv(GL_VIEWPORT, v);
        VmReturnVector(v, 4);
    }
    void InScene(CVmClassBase*, int) { VmReturnInteger(g_engineState->Scene().inScene); }
    void FakeLoad(CVmClassBase*, int) {
        SceneLoadCallback(0, 50);
        SceneLoadCallback(0, 100);
        VmReturnInteger(GetParamInt(1));
    }
};

Opnd Bool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return VValue(v);
}

int Quiet(const char*) { return 0; }

// What the network renderer was handed by the last frame begin.
struct RendererCall {
    int calls = 0;
    int32_t id = 0, type1 = 0, type2 = 0;
    float position[3] = {}, orientation[3] = {};
} g_renderer;

int32_t RecordRenderer(int32_t id, int32_t type1, const void* data1, int32_t type2, const void* data2, int32_t,
                       const void*, int32_t, const void*, int32_t, const void*, int32_t, const void*) {
    ++g_renderer.calls;
    g_renderer.id = id;
    g_renderer.type1 = type1;
    g_renderer.type2 = type2;
    std::memcpy(g_renderer.position, data1, sizeof g_renderer.position);
    std::memcpy(g_renderer.orientation, data2, sizeof g_renderer.orientation);
    return 0;
}

class CameraFunctions : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        SetEngineErrorHandler(Quiet);
        scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
        engine.Scene().scene = scene.get();
        engine.Paths().workingFolder = scratch.Path();
        vm.RegisterFunctions(new CVmFunction());
        vm.RegisterFunctions(new TestFunctions());
        vm.RegisterClass(new CVmCamera::CRegister());
        vm.RegisterClass(new CVmLight::CRegister());
    }
    void TearDown() override {
        if (!IsSkipped()) {
            scene.reset();
            SetEngineErrorHandler(nullptr);
            glPopAttrib();
        }
        GlWindowFixture::TearDown();
    }

    std::string Run(MethodScript& s) {
        const CallOutcome o = RunScript(vm, s);
        return o.output;
    }

    ScratchFolder scratch;
    FakeEngine engine;
    std::unique_ptr<VRScene> scene;
    EngineLikeMachine vm;
};

}  // namespace

TEST_F(CameraFunctions, GettersAndSettersActOnTheCurrentCamera) {
    MethodScript s("MAIN");
    s.Global("SetCameraPosition", {VInt(1), VInt(2), VInt(3)});
    s.Record(s.Global("GetCameraPosition"));
    for (const char* name : {"CameraGetMatrix", "GetCameraRotationMatrix", "CameraGetRotationMatrix3",
                             "GetCameraXAxis", "CameraGetYAxis", "GetCameraZAxis"})
        s.Record(s.Global(name));
    s.Global("CameraSetPosition", {VFloats({4, 5, 6})});
    s.Record(s.Global("CameraGetPosition"));
    // A short Vector reads 0 for what it lacks.
    s.Global("CameraSetPosition", {VFloats({7})});
    s.Record(s.Global("GetCameraPosition"));
    s.Global("SetCameraTarget", {VInt(0), VInt(0), VInt(0)});
    s.Record(s.Global("GetCameraTarget"));
    s.Global("CameraActivate", {VInt(7)});
    s.Global("SetCameraPosition", {VInt(9), VInt(9), VInt(9)});
    s.Global("SetActiveCamera", {VInt(0)});
    s.Record(s.Global("CameraGetPosition"));
    EXPECT_EQ(Run(s),
              "[ 1 , 2 , 3 ]\n"
              "[ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , -1 , -2 , -3 , 1 ]\n"
              "[ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 ]\n"
              "[ 1 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 1 ]\n"
              "[ 1 , 0 , 0 ]\n[ 0 , 1 , 0 ]\n[ 0 , 0 , 1 ]\n"
              "[ 4 , 5 , 6 ]\n[ 7 , 0 , 0 ]\n[ 0 , 0 , 0 ]\n[ 7 , 0 , 0 ]\n");
    EXPECT_EQ(scene->cameras[0].mode, kCameraTarget);
    EXPECT_EQ(scene->cameras[7].position[0], 9);
    EXPECT_EQ(scene->currentCamera, &scene->cameras[0]);
}

TEST_F(CameraFunctions, DirectionRotationAndFreeing) {
    MethodScript look("MAIN");
    look.Global("SetCameraDirection", {VFloats({1, 0, 0})});
    Run(look);
    float d[3];
    scene->cameras[0].GetDirection(d);
    EXPECT_NEAR(d[0], 1, 1e-5);
    EXPECT_NEAR(d[2], 0, 1e-5);

    MethodScript s("MAIN");
    s.Global("CameraSetTarget", {VInt(0), VInt(0), VInt(-5)});
    // No argument frees the camera, as CameraFree does.
    s.Global("CameraSetTarget", {});
    s.Global("SetCameraRotation", {VInt(90), VInt(0), VInt(1), VInt(0)});
    s.Global("CameraRotate", {VInt(90), VFloats({0, 1, 0})});
    s.Global("CameraRotateABS", {VInt(-180), VInt(0), VInt(1), VInt(0)});
    Run(s);
    const VRCamera& c = scene->cameras[0];
    EXPECT_EQ(c.mode, kCameraFree);
    // Turned 90 + 90 - 180 degrees about y: back where it started.
    EXPECT_NEAR(c.matrix[0], 1, 1e-5);
    EXPECT_NEAR(c.matrix[10], 1, 1e-5);
    EXPECT_NEAR(c.matrix[2], 0, 1e-5);
}

TEST_F(CameraFunctions, BadInputStopsTheScriptAndChangesNothing) {
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* message;
    } cases[] = {
        {"CameraActivate", {VInt(8)}, "CAMERAACTIVATE: Invalid camera ID."},
        {"SetActiveCamera", {VInt(-1)}, "SETACTIVECAMERA: Invalid camera ID."},
        {"CameraSetBounds", {VFloats({1, 2, 3, 4, 5})},
         "CAMERASETBOUNDS: Param n. 1 must be a vector of 6 components length."},
        {"SceneSetCallback", {VInt(5)}, "SCENESETCALLBACK: Param n. 1 must be a string."},
        {"SetCameraMatrix", {VInt(5)}, "SETCAMERAMATRIX: Param n. 1 must be a vector."},
        {"ReadCameraAnimation", {VInt(5)}, "READCAMERAANIMATION: Param n. 1 must be a string."},
        {"ReadCameraAnimation", {VStr("missing.txt")}, "READCAMERAANIMATION: Cannot load the 'missing.txt' file."},
        {"SceneEnableFog", {VInt(1), VInt(2), VInt(3)}, "SCENEENABLEFOG: The param n. 3 must be a vector."},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_TRUE(o.error) << c.name;
        EXPECT_EQ(FirstError(o.output), c.message) << o.output;
    }
    EXPECT_EQ(scene->currentCamera, &scene->cameras[0]);
    EXPECT_EQ(scene->cameraAnimation.bounds[0], -100000);
    EXPECT_FALSE(glIsEnabled(GL_FOG));

    // Objects of the wrong class: a frame begin draws nothing, a target is
    // not set.
    for (const char* name : {"SceneBegin", "CameraSetTarget"}) {
        MethodScript s("MAIN");
        s.Global(name, {s.New("CVMLIGHT")});
        const std::string expected = VmUpperName(name) + ": Param n. 1 must be a '" +
                                     (name[0] == 'S' ? "CVmCamera" : "CVmObj") + "' object.";
        EXPECT_EQ(FirstError(Run(s)), expected);
    }
    EXPECT_EQ(engine.Scene().inScene, 0);
    EXPECT_EQ(scene->cameras[0].mode, kCameraFree);

    // Before the scene exists.
    engine.Scene().scene = nullptr;
    for (const char* name : {"GetCameraPosition", "SceneBegin", "SceneGetParam"})
        EXPECT_EQ(FirstError(CallGlobal(vm, name).output), VmUpperName(name) + ": The scene is not created yet.");
}

TEST_F(CameraFunctions, FrameBeginsKeepTheInSceneFlagAndTheViewport) {
    scene->SetClearColor(1, 0, 0);
    MethodScript s("MAIN");
    s.Global("SceneBegin", {});
    s.Record(s.Global("INSCENE"));
    s.Global("SceneEnd", {});
    s.Record(s.Global("INSCENE"));
    s.Global("SceneBeginAbs", {VInt(10), VInt(20), VInt(100), VInt(50), VInt(0)});
    s.Record(s.Global("VIEWPORT"));
    s.Global("SceneEnd", {});
    s.Global("SceneBeginRel", {VReal(0.5f), VReal(0.5f), VReal(0.25f), VReal(0.5f), VInt(0)});
    s.Record(s.Global("VIEWPORT"));
    s.Global("SceneEnd", {});
    s.Record(s.Global("VIEWPORT"));
    // The viewport of the last begin, outside a begin/end pair.
    s.Record(s.Global("SceneGetParam", {VInt(0x40000000)}));
    EXPECT_EQ(Run(s), "1\n0\n[ 10 , 20 , 100 , 50 ]\n[ 160 , 120 , 80 , 120 ]\n[ 0 , 0 , 320 , 240 ]\n"
                      "[ 0 , 0 , 320 , 240 ]\n");
    // The first begin cleared the window with the scene's colour.
    EXPECT_EQ(ReadPixel(5, 5), (RgbPixel{255, 0, 0}));
}

TEST_F(CameraFunctions, AScriptCameraOfAFrameIsTheCurrentCameraItself) {
    MethodScript s("MAIN");
    Opnd own = s.New("CVMCAMERA");
    s.Call(own, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
    s.Global("SceneBegin", {own, VInt(0)});
    const Opnd current = s.Global("CameraGetCurrent");
    // The script lets its camera go: the object it got back keeps it.
    s.Builder().Emit(OP_COPY, VInt(0), None(), own);
    s.Record(s.Call(current, "GETPOSITION", {}));
    s.Global("SceneEnd", {});
    s.Record(s.Call(current, "GETPOSITION", {}));
    // Outside the frame the current camera is the slot's, shown.
    s.Record(s.Call(s.Global("CameraGetCurrent"), "GETPOSITION", {}));
    EXPECT_EQ(Run(s), "[ 1 , 2 , 3 ]\n[ 1 , 2 , 3 ]\n[ 0 , 0 , 0 ]\n");
}

TEST_F(CameraFunctions, SceneParametersByIdRoundTrip) {
    const int32_t quality = TextureQuality;
    MethodScript s("MAIN");
    s.Global("SceneSetParam", {VInt(64), VInt(1)});
    s.Record(s.Global("SceneGetParam", {VInt(64)}));
    s.Global("SceneSetParam", {VInt(1024), VReal(0.5f), VInt(1), VInt(2)});
    s.Record(s.Global("SceneGetParam", {VInt(1024)}));
    s.Global("SceneSetParam", {VInt(0x20000), VInt(3), VInt(4)});
    s.Record(s.Global("SceneGetParam", {VInt(0x20000)}));
    s.Global("SceneSetParam", {VInt(0x10000000), VInt(45), VReal(0.5f), VInt(50)});
    s.Record(s.Global("SceneGetParam", {VInt(0x10000000)}));
    s.Global("SceneSetParam", {VInt(0x8000), VReal(0.25f)});
    s.Record(s.Global("SceneGetParam", {VInt(0x8000)}));
    s.Global("SceneSetParam", {VInt(0x4000), VInt(1)});
    s.Global("SceneSetParam", {VInt(0x10000), VInt(2)});
    s.Record(s.Global("SceneGetParam", {VInt(0x10000)}));
    const std::string out = Run(s);
    TextureQuality = quality;
    EXPECT_EQ(out,
              "1\n0.5\n[ 3 , 4 ]\n[ 45 , 0.5 , 50 ]\n"
              "\nVirtualMachine WARNING (line 0): SCENEGETPARAM: Wrong PARAM_ID Void\n2\n");
    EXPECT_EQ(scene->fadeValue, 0.25f);
    EXPECT_EQ(scene->cameras[0].fovy, 45);
    EXPECT_EQ(engine.listenerStarts, 1);
}

TEST_F(CameraFunctions, TheTrackerGoesToTheNetworkRendererWhileTracking) {
    const NetworkRendererEntryPoints saved = NetworkRenderer;
    NetworkRenderer.QemNetworkRendererFunc = RecordRenderer;
    g_renderer = RendererCall();
    MethodScript s("MAIN");
    s.Global("SceneBegin", {});
    s.Global("SceneEnd", {});
    s.Global("SceneSetParam", {VInt(0x10000), VInt(2)});
    s.Global("SceneSetParam", {VInt(0x40000), VInt(1), VInt(2), VInt(3)});
    s.Global("SceneSetParam", {VInt(0x80000), VInt(4), VInt(5), VInt(6)});
    s.Global("SceneBeginAbs", {VInt(0), VInt(0), VInt(10), VInt(10), VInt(0)});
    s.Global("SceneEnd", {});
    s.Global("SceneBegin", {});
    s.Global("SceneEnd", {});
    Run(s);
    NetworkRenderer = saved;
    EXPECT_EQ(g_renderer.calls, 1);
    EXPECT_EQ(g_renderer.id, 0xAAAA);
    EXPECT_EQ(g_renderer.type1, 3);
    EXPECT_EQ(g_renderer.type2, 3);
    EXPECT_EQ(std::vector<float>(g_renderer.position, g_renderer.position + 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(std::vector<float>(g_renderer.orientation, g_renderer.orientation + 3),
              (std::vector<float>{4, 5, 6}));
}

TEST_F(CameraFunctions, LightsCullingFogAndTheListenerLink) {
    MethodScript s("MAIN");
    s.Global("SceneEnable", {VInt(2), VInt(99)});
    s.Global("SceneEnable", {VInt(8)});
    s.Global("SceneEnableFog", {VInt(1), VInt(50), VFloats({0.5f, 0.25f})});
    s.Global("CameraLinkToListener", {});
    Run(s);
    EXPECT_EQ(scene->lightEnabled[2], 1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT2));
    EXPECT_EQ(FrustumCullingFlag, 1);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    float fog[4];
    glGetFloatv(GL_FOG_COLOR, fog);
    EXPECT_EQ(std::vector<float>(fog, fog + 4), (std::vector<float>{0.5f, 0.25f, 0, 0}));
    EXPECT_EQ(engine.Scene().listenerLink, 1);

    MethodScript off("MAIN");
    off.Global("SceneDisable", {VInt(2)});
    off.Global("SceneDisable", {VInt(8)});
    off.Global("CameraLinkToListener", {Bool(false)});
    Run(off);
    EXPECT_EQ(scene->lightEnabled[2], 0);
    EXPECT_EQ(FrustumCullingFlag, 0);
    EXPECT_EQ(engine.Scene().listenerLink, 0);
}

TEST_F(CameraFunctions, SceneBeginsCarryTheListenerWhileASoundBackEndRuns) {
    auto control = std::make_shared<FakeDsControl>();
    VRAlibReset();
    DSSetDeviceFactory(FakeDsDeviceFactory(control));
    auto frames = [](MethodScript& s) {
        s.Global("SceneBegin", {});
        s.Global("SceneEnd", {});
        s.Global("SceneBeginAbs", {VInt(0), VInt(0), VInt(100), VInt(50), VInt(0)});
        s.Global("SceneEnd", {});
        s.Global("SceneBeginRel", {VReal(0), VReal(0), VReal(1), VReal(1), VInt(0)});
        s.Global("SceneEnd", {});
    };
    // Before the first sound nothing runs to take the listener.
    MethodScript before("MAIN");
    before.Global("CameraLinkToListener", {});
    frames(before);
    EXPECT_EQ(Run(before), "");
    EXPECT_TRUE(control->log.empty());

    const int32_t slot = AudioAcquireSource();
    ASSERT_GE(slot, 0);
    control->log.clear();
    MethodScript linked("MAIN");
    linked.Global("CameraSetPosition", {VInt(1), VInt(2), VInt(3)});
    frames(linked);
    EXPECT_EQ(Run(linked), "");
    EXPECT_EQ(control->Count("Listener.SetPosition"), 3);
    EXPECT_EQ(control->Count("Listener.SetOrientation"), 3);
    EXPECT_EQ(std::vector<float>(control->listenerPosition, control->listenerPosition + 3),
              (std::vector<float>{1, 2, 3}));
    // Front: where the camera looks; top: its Y axis.
    EXPECT_EQ(std::vector<float>(control->listenerOrientation, control->listenerOrientation + 6),
              (std::vector<float>{0, 0, -1, 0, 1, 0}));

    // A refusal is a script error without text.
    control->answers["Listener.SetOrientation"] = kDsInvalidArg;
    MethodScript refused("MAIN");
    refused.Global("SceneBegin", {});
    EXPECT_EQ(FirstError(Run(refused)), "SCENEBEGIN: ");

    // Unlinked, the listener stays.
    control->answers.clear();
    control->log.clear();
    MethodScript unlinked("MAIN");
    unlinked.Global("CameraLinkToListener", {Bool(false)});
    frames(unlinked);
    Run(unlinked);
    EXPECT_TRUE(control->log.empty());
    AudioReleaseSource(slot);
    VRAlibReset();
    DSSetDeviceFactory(DsDeviceFactory());
}

TEST_F(CameraFunctions, CameraAnimationFromTheWorkingFolder) {
    // Camera 0 free with two sampled positions, camera 1 a target camera.
    FILE* f = std::fopen(scratch.Make("cam.txt").c_str(), "wb");
    std::fputs("CAMERA\n{ 2 {\n"
               "Type: Free PosCam: 0 0 0 RotCam: 1 0 0 0\n"
               "Animation: { 0 1 2\nAnimCam: { Anim_Ctrl: Y\nPsSam: 2\n0 1 2 3\n1 4 5 6\n}\n}\n"
               "Type: Target PosCam: 1 2 3 PosTarget: 4 5 6\nAnim_Ctrl: N\n",
               f);
    std::fclose(f);
    MethodScript s("MAIN");
    s.Record(s.Global("GetCameraFrames", {VInt(0)}));
    s.Global("ReadCameraAnimation", {VStr("cam.txt")});
    s.Record(s.Global("CameraGetFrames", {VInt(0)}));
    s.Record(s.Global("CameraGetFrames", {VInt(5)}));
    const Opnd position = s.Local(VStr("unchanged"));
    const Opnd out = s.Local(VStr("unchanged"));
    s.Record(s.Global("GetCameraAnimation", {VInt(1), VInt(0), position, out}, {{3, position}, {4, out}}));
    s.Record(position);
    s.Record(out);
    const Opnd matrix = s.Local(VInt(0));
    s.Record(s.Global("CameraGetAnimation", {VInt(0), VInt(1), position, matrix}, {{3, position}, {4, matrix}}));
    s.Record(position);
    s.Record(matrix);
    const Opnd keep = s.Local(VStr("unchanged"));
    s.Record(s.Global("CameraGetAnimation", {VInt(5), VInt(0), keep, keep}, {{3, keep}, {4, keep}}));
    s.Record(keep);
    s.Global("ScaleCameraSamples", {VInt(2), VInt(1), VInt(1)});
    s.Global("GetCameraAnimation", {VInt(0), VInt(1), position}, {{3, position}});
    s.Record(position);
    s.Global("SetCameraBounds", {VInt(0), VInt(-2)});
    s.Global("CameraSetBounds", {VFloats({-1, 1, -2, 2, -3, 3, 99})});
    s.Global("SetCameraAnimation", {VInt(1), VInt(0)});
    s.Record(s.Global("GetCameraPosition"));
    s.Record(s.Global("GetCameraTarget"));
    const std::string text = Run(s);
    // File (x, y, z) is (x, z, -y); the target camera answers 0 with its
    // target, the free one 1 with its matrix. Scaled samples, then a pose
    // clamped into the bounds.
    const std::string head = "-2\n2\n-1\n0\n[ 1 , 3 , -2 ]\n[ 4 , 6 , -5 ]\n1\n[ 4 , 6 , -5 ]\n";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    std::istringstream rest(text.substr(head.size()));
    std::string line;
    std::getline(rest, line);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 15) << "a 4x4 matrix: " << line;
    std::getline(rest, line);
    EXPECT_EQ(line, "-1");
    std::getline(rest, line);
    EXPECT_EQ(line, "unchanged");
    for (const char* expected : {"[ 8 , 6 , -5 ]", "[ 1 , 2 , -2 ]", "[ 4 , 6 , -5 ]"}) {
        std::getline(rest, line);
        EXPECT_EQ(line, expected);
    }
    float bounds[6];
    std::copy(scene->cameraAnimation.bounds, scene->cameraAnimation.bounds + 6, bounds);
    EXPECT_EQ(std::vector<float>(bounds, bounds + 6), (std::vector<float>{-1, 1, -2, 2, -3, 3}));
}

TEST_F(CameraFunctions, TheSceneCallbackCallsTheNamedFunctionOnTheCallingThreadsMachine) {
    ProgramBuilder b;
    b.Return();
    b.Function("PROGRESS", 2);
    b.CallNative("OUTPUT", {VStr("progress "), L(-1), VStr(" "), L(-2), VStr("\n")}, None());
    b.Return();
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("SCENESETCALLBACK", {VStr("Progress")}, None());
    b.CallNative("FAKELOAD", {VInt(7)}, L(1));
    b.CallNative("OUTPUT", {VStr("load answered "), L(1), VStr("\n")}, None());
    b.Return(L(1));
    std::ostringstream out;
    vm.SetOutputStream(&out, false);
    ASSERT_TRUE(vm.StartProgram(b.Build()));
    vm.CallFunctionByName("MAIN");
    EXPECT_FALSE(vm.HasError());
    // The loader's own parameter is still its own after the nested calls.
    EXPECT_EQ(out.str(), "progress 0 50\nprogress 0 100\nload answered 7\n");
    ASSERT_EQ(SceneLoadCallback, &CVmCameraFunctions::SceneCallbackTrampoline);

    // A loader thread has no machine: nothing is called.
    std::thread loader([] { SceneLoadCallback(0, 1); });
    loader.join();
    EXPECT_EQ(out.str(), "progress 0 50\nprogress 0 100\nload answered 7\n");
    SceneLoadCallback = nullptr;
}
