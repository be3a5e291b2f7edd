// CVmCamera and CVmLight through scripts run in a machine of the test, with
// a scene over the test window: the camera setters' wrong forms, which
// leave the camera as it was; cameras the scene draws with going away; the
// lights' call modes, GL parameters and the pool they return to.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "scene/EngineServices.h"
#include "scene/VRScene.h"
#include "scene/script/CVmCamera.h"
#include "scene/script/CVmLight.h"
#include "support/GlWindowFixture.h"
#include "support/MethodScript.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

VRCamera shown;  // TESTCAMERA() shows it

// TESTCAMERA(): a CVmCamera showing `shown`; DRAWWITH(camera): a frame
// begin of the scene with the object's camera.
class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("TESTCAMERA", &TestFunctions::TestCamera);
        AddFunction("DRAWWITH", &TestFunctions::DrawWith);
        return true;
    }

private:
    void TestCamera(CVmClassBase*, int) { ReturnObject(new CVmCamera(&shown)); }
    void DrawWith(CVmClassBase*, int) {
        CVmCamera* camera;
        if (ReadParams(camera)) g_scene->SceneBegin(camera->Camera(), 0);
    }
};

Opnd Vector(MethodScript& s, std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VRifVec(s.Builder().Constant(v));
}

int Quiet(const char*) { return 0; }

class CameraLightScript : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        SetEngineErrorHandler(Quiet);
        scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
        state.Scene().scene = scene.get();
        g_engineState = &state;
        shown = VRCamera();
    }
    void TearDown() override {
        if (!IsSkipped()) {
            g_engineState = nullptr;
            scene.reset();
            SetEngineErrorHandler(nullptr);
            glPopClientAttrib();
            glPopAttrib();
        }
        GlWindowFixture::TearDown();
    }

    // Runs MAIN as `build` writes it in a new machine; its output.
    std::string Run(const std::function<void(MethodScript&)>& build) {
        return RunMain(build, {new CVmCamera::CRegister(), new CVmLight::CRegister()}, new TestFunctions());
    }

    // The text of an output's first error after its prefix, or "".
    static std::string Error(const std::string& output) {
        return FirstError(output);
    }

    std::unique_ptr<VRScene> scene;
    EngineState state;
};

}  // namespace

TEST_F(CameraLightScript, CameraSettersRefuseWrongFormsAndKeepTheCamera) {
    using Args = std::function<std::vector<Opnd>(MethodScript&)>;
    struct Row {
        const char* method;
        Args args;
        std::string error;  // "" for a call that quietly does nothing
    };
    auto values = [](std::vector<Opnd> v) -> Args { return [v](MethodScript&) { return v; }; };
    auto vector = [](int n) -> Args {
        return [n](MethodScript& s) { return std::vector<Opnd>{Vector(s, std::vector<float>(n, 5))}; };
    };
    const Row rows[] = {
        {"SETFOVY", values({}), "Wrong number of parameters in function SetFovY"},
        {"SETZFAR", values({VInt(1), VInt(2)}), "Wrong number of parameters in function SetZFar"},
        {"SETID", values({VInt(1), VInt(2)}), "Wrong number of parameters in function SetId"},
        {"SETMATRIX", values({VInt(5)}), "Wrong parameter in function SetMatrix"},
        {"SETMATRIX", vector(15), "Wrong parameter in function SetMatrix"},
        {"SETROTATIONMATRIX", vector(12), "Wrong parameter in function SetRotationMatrix"},
        {"SETROTATIONMATRIX3", vector(8), "Wrong parameter in function SetRotationMatrix3"},
        {"SETPOSITION", values({VInt(1), VInt(2)}), "Wrong parameters in function SetPosition"},
        {"SETPOSITION", vector(2), "Wrong parameter in function SetPosition"},
        {"SETTARGET", values({}), "Wrong parameters in function SetTarget"},
        {"SETUPVECTOR", vector(1), "Wrong parameter in function SetUpVector"},
        {"SETROTATION", values({VInt(30), VInt(1)}), "Wrong parameters in function SetRotation"},
        {"ROTATELOCAL", values({VInt(30)}), "Wrong parameters in function RotateLocal"},
        {"ROTATEGLOBAL",
         [](MethodScript& s) { return std::vector<Opnd>{VInt(30), Vector(s, {0, 1})}; },
         "Wrong parameter in function RotateGlobal"},
        {"SETMATRIX", [](MethodScript& s) { return std::vector<Opnd>{Vector(s, std::vector<float>(16, 5)), VInt(1)}; },
         ""},
        {"SETDIRECTION", values({VStr("x")}), ""},
    };
    for (const Row& row : rows) {
        const std::string out = Run([&row](MethodScript& s) {
            const Opnd c = s.New("TESTCAMERA");
            s.Record(s.Call(c, row.method, row.args(s)));
        });
        const std::string name = row.method;
        EXPECT_EQ(Error(out), row.error.empty() ? "" : name + ": " + row.error) << out;
        EXPECT_EQ(shown.fovy, 60) << name;
        EXPECT_EQ(shown.zFar, 1000) << name;
        EXPECT_EQ(shown.id, 0) << name;
        EXPECT_EQ(shown.mode, kCameraFree) << name;
        EXPECT_EQ(shown.position[0], 0) << name;
        EXPECT_EQ(shown.up[1], 1) << name;
        EXPECT_EQ(shown.matrix[0], 1) << name;
        EXPECT_EQ(shown.matrix[5], 1) << name;
    }

    // Members are no calls: a setter read as one does nothing.
    const std::string out = Run([](MethodScript& s) {
        const Opnd c = s.New("TESTCAMERA");
        const Opnd v = s.Local(VInt(-1));
        s.Builder().Emit(OP_MEMBER_READ, c, I(s.Builder().MethodName("FREE")), v);
        s.Record(s.Call(c, "SETID", {VReal(7.9f)}));
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_EQ(shown.id, 7);
}

TEST_F(CameraLightScript, CamerasTheSceneDrawsWithMayGo) {
    // The script lets its camera go in the middle of a frame: the scene
    // takes its own slot back.
    std::string out = Run([](MethodScript& s) {
        const Opnd own = s.New("CVMCAMERA");
        s.Builder().CallNative("DRAWWITH", {own}, None());
        s.Builder().Emit(OP_COPY, VInt(0), None(), own);
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_EQ(scene->currentCamera, &scene->cameras[0]);
    scene->SceneEnd();

    // A view never deletes what it shows.
    out = Run([](MethodScript& s) {
        const Opnd view = s.New("TESTCAMERA");
        s.Builder().CallNative("DRAWWITH", {view}, None());
        s.Builder().Emit(OP_COPY, VInt(0), None(), view);
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_EQ(scene->currentCamera, &shown);
    scene->SceneEnd();
    EXPECT_EQ(scene->currentCamera, &scene->cameras[0]);
}

TEST_F(CameraLightScript, LightsSetTheirGLParametersAndGoBackToThePool) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd a = s.New("CVMLIGHT");
        const Opnd b = s.New("CVMLIGHT");
        s.Call(b, "ENABLE", {});
        s.Call(b, "SETAMBIENT", {Vector(s, {0.25f, 0.5f})});
        s.Call(b, "SETDIFFUSE", {VReal(0.5f), VInt(0), VInt(1)});
        s.Call(b, "SETSPOTDIRECTION", {VInt(0), VInt(0), VInt(-1)});
        s.Call(b, "SETPARAMETER", {VInt(GL_SPOT_CUTOFF), VReal(45.7f)});
        const Opnd v = s.Local(VInt(-1));
        s.Builder().Emit(OP_MEMBER_READ, a, I(s.Builder().MethodName("GETDIRECTION")), v);
        s.Record(v);
        s.Builder().Emit(OP_MEMBER_READ, a, I(s.Builder().MethodName("DISABLE")), v);
    });
    EXPECT_EQ(out.substr(0, out.find('\n')), "[ 40 , 20 , 20 ]") << out;
    EXPECT_EQ(Error(out), "DISABLE: ") << out;

    float v[4];
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, v);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{0.25f, 0.5f, 0, 1}));
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, v);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{0.5f, 0, 1, 1}));
    glGetLightfv(GL_LIGHT1, GL_SPOT_CUTOFF, v);
    EXPECT_EQ(v[0], 45);
    glGetLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, v);
    EXPECT_EQ(v[2], -1);
    // The machine's end let both lights go: back in the pool, switched off.
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    EXPECT_EQ(scene->lightEnabled[1], 0);
    EXPECT_EQ(state.Scene().lightInUse[0] + state.Scene().lightInUse[1], 0);
    EXPECT_EQ(state.Scene().AllocLight(), 0);
}

TEST_F(CameraLightScript, LightsNeedTheScene) {
    state.Scene().scene = nullptr;
    scene.reset();
    const std::string out = Run([](MethodScript& s) {
        const Opnd light = s.New("CVMLIGHT");
        s.Print("made\n");
        s.Call(light, "ENABLE", {});
    });
    EXPECT_EQ(out.substr(0, 5), "made\n") << out;
    EXPECT_EQ(Error(out), "ENABLE: The scene is not created yet.") << out;
    EXPECT_EQ(state.Scene().lightInUse[0], 0);
}
