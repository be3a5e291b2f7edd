// Serial ports, trackers, application-window handles, engine information
// and the network-renderer entry points, on a machine with a bare engine
// state. Through qem: tests/host/DeviceScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "functions/CVmFunction.h"
#include "platform/SerialPort.h"
#include "scene/EngineServices.h"
#include "scene/VRScene.h"
#include "support/GlSceneFixture.h"
#include "support/GlobalCalls.h"
#include "support/PseudoTerminal.h"
#include "vm/VmRegister.h"

using namespace qemtest;

namespace {

class DeviceFunctions : public ::testing::Test {
protected:
    DeviceFunctions() {
        g_engineState = &state;
        vm.RegisterFunctions(new CVmFunction());
    }
    ~DeviceFunctions() override {
        for (int& port : state.Devices().serialPorts) CloseSerialPort(port);
        g_engineState = nullptr;
        unsetenv("QEM_COM1");
        unsetenv("QEM_COM5");
    }

    // The outcome of name(args), with the error's text when there was one.
    CallOutcome Call(const std::string& name, const std::vector<Opnd>& args = {}) {
        return CallGlobal(vm, name, args);
    }

    EngineState state;
    EngineMessagesMachine vm;
};

}  // namespace

TEST_F(DeviceFunctions, TrackerRecordsReadBackWhatWasSet) {
    MethodScript s("MAIN");
    s.Record(s.Global("GetTrackerPos", {VInt(4)}));
    s.Global("SetTrackerPos", {VInt(2), VInt(1), VInt(2), VInt(3)});
    s.Record(s.Global("GetTrackerPos", {VInt(2)}));
    s.Global("SetTrackerQuaternion", {VInt(1), VFloats({0.125f, 0.25f, 0.5f, 0.75f})});
    s.Record(s.Global("GetTrackerQuaternion", {VInt(1)}));
    s.Global("SetTrackerRot", {VInt(5), VFloats({10, 20})});  // missing components are 0
    s.Record(s.Global("GetTrackerRot", {VInt(5)}));
    s.Global("SetTrackerJoy", {VInt(9), VReal(-1), VReal(0.5f)});
    s.Record(s.Global("GetTrackerJoy", {VInt(9)}));
    s.Global("SetTrackerButton", {VInt(3), VInt(6)});
    s.Record(s.Global("GetTrackerButton", {VInt(3)}));
    // Outside 0..9 nothing is stored or answered, whatever follows.
    s.Global("SetTrackerPos", {VInt(10), VStr("x")});
    s.Global("SetTrackerButton", {VInt(-1), VInt(1)});
    s.Record(s.Global("GetTrackerPos", {VInt(10)}));
    s.Record(s.Global("GetTrackerButton", {VInt(-1)}));
    const CallOutcome o = RunScript(vm, s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.output,
              "[ 0 , 0 , 1 ]\n[ 1 , 2 , 3 ]\n[ 0.125 , 0.25 , 0.5 , 0.75 ]\n[ 10 , 20 , 0 ]\n[ -1 , 0.5 ]\n6\n"
              "Void\nVoid\n");
    EXPECT_EQ(state.Devices().trackers.Read(2).position[2], 3.0f);
}

TEST_F(DeviceFunctions, SerialPortErrors) {
    setenv("QEM_COM5", "/nonexistent/serial", 1);
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* error;
    } cases[] = {
        {"ReadComm", {VInt(0)}, "READCOMM: Serial port number must be between 1 and 16."},
        {"ReadComm", {VInt(17)}, "READCOMM: Serial port number must be between 1 and 16."},
        {"WriteComm", {VInt(17), VStr("x")}, "WRITECOMM: Serial port number must be between 1 and 16."},
        {"ReadComm", {VInt(5)}, "READCOMM: Cannot open serial port no 5."},
        {"SetCommParameters", {VInt(5), VFloats({1, 2, 3, 4, 5, 6})},
         "SETCOMMPARAMETERS: Cannot open serial port no 5."},
    };
    for (const Case& c : cases) {
        const CallOutcome o = Call(c.name, c.args);
        EXPECT_TRUE(o.error);
        EXPECT_EQ(FirstError(o.output), c.error);
    }
    EXPECT_EQ(state.Devices().serialPorts[4], -1);

    // The port is tried again at its next use.
    PseudoTerminal line;
    ASSERT_TRUE(line.IsOpen());
    setenv("QEM_COM5", line.Device().c_str(), 1);
    ASSERT_TRUE(line.Write("abc"));
    CallOutcome o = Call("ReadComm", {VInt(5)});
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.result, "abc");
    // Up to the first zero byte.
    ASSERT_TRUE(line.Write(std::string("de\0f", 4)));
    EXPECT_EQ(Call("ReadComm", {VInt(5)}).result, "de");

    o = Call("WriteComm", {VInt(5), VInt(7)});
    EXPECT_EQ(FirstError(o.output), "WRITECOMM: Param n. 2 must be a string.");
    const struct {
        Opnd settings;
        const char* error;
    } bad[] = {
        {VFloats({9600, -1, -1, -1, -1}), "SETCOMMPARAMETERS: Wrong parameters"},
        {VInt(9600), "SETCOMMPARAMETERS: Wrong parameters"},
        {VFloats({9600, 7, -1, -1, -1, -1}), "SETCOMMPARAMETERS:  SetCommParameters failed on COM %s5"},
    };
    for (const auto& b : bad) {
        o = Call("SetCommParameters", {VInt(5), b.settings});
        EXPECT_TRUE(o.error);
        EXPECT_EQ(FirstError(o.output), b.error);
    }
    o = Call("SetCommParameters", {VInt(5)});
    EXPECT_EQ(FirstError(o.output), "SETCOMMPARAMETERS: Wrong parameters");
    o = Call("SetCommParameters", {VInt(5), VFloats({4800, -1, -1, -1, -1, -1})});
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.result, "True");
    const termios t = line.Settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
}

TEST_F(DeviceFunctions, ApplicationWindowHandlesComeOnlyFromShellExec) {
    // No engine window here: nothing is started.
    CallOutcome o = Call("ShellExec", {VStr("true"), VStr(""), VInt(0), VInt(0), VInt(10), VInt(10)});
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.result, "0");
    EXPECT_TRUE(state.Devices().appWindows.empty());
    for (const char* name : {"ShowApp", "HideApp", "CloseApp"}) {
        for (int32_t handle : {0, 1, -5}) {
            o = Call(name, {VInt(handle)});
            EXPECT_EQ(FirstError(o.output), VmUpperName(name) + ": Invalid application window handle.");
        }
    }
    // A handle whose window has gone.
    state.Devices().appWindows.push_back(0x7ffffff0);
    o = Call("SetAppPosition", {VInt(1), VInt(0), VInt(0), VInt(5), VInt(5)});
    EXPECT_EQ(FirstError(o.output), "SETAPPPOSITION: The application window no longer exists.");
}

TEST_F(DeviceFunctions, EngineInformationAndTheObsoleteName) {
    const uint32_t saved[4] = {g_engineVersion[0], g_engineVersion[1], g_engineVersion[2], g_engineVersion[3]};
    const uint32_t version[4] = {154, 1, 0, 4000000000u};
    std::copy(version, version + 4, g_engineVersion);
    CallOutcome o = Call("GetEngineInfo");
    EXPECT_EQ(o.result, "Engine n.: 0154 - Version: 154.1.0.4000000000");
    std::copy(saved, saved + 4, g_engineVersion);

    o = Call("SetScene", {VInt(1), VStr("x")});
    EXPECT_FALSE(o.error);
    EXPECT_EQ(o.output, "\nVirtualMachine WARNING (line 0): SETSCENE: This function is obsolete.");
    EXPECT_EQ(o.result, "Void");
    o = Call("QemGetLoggingCallback");
    EXPECT_EQ(o.result, "0");
}

namespace {

// The network renderer's slots, replaced by recorders for one test.
struct RendererCall {
    int32_t id = 0;
    int32_t codes[6] = {};
    std::string data[6];  // what each pointer showed, by its code
};
std::vector<RendererCall> g_calls;
std::vector<std::string> g_other;

int32_t RecordFunc(int32_t id, int32_t t1, const void* d1, int32_t t2, const void* d2, int32_t t3, const void* d3,
                   int32_t t4, const void* d4, int32_t t5, const void* d5, int32_t t6, const void* d6) {
    RendererCall c;
    c.id = id;
    const int32_t codes[6] = {t1, t2, t3, t4, t5, t6};
    const void* data[6] = {d1, d2, d3, d4, d5, d6};
    for (int k = 0; k < 6; ++k) {
        c.codes[k] = codes[k];
        if (!data[k]) {
            c.data[k] = "null";
        } else if (codes[k] == 1) {
            c.data[k] = "int " + std::to_string(*static_cast<const int32_t*>(data[k]));
        } else if (codes[k] == 2) {
            c.data[k] = "real " + std::to_string(*static_cast<const float*>(data[k]));
        } else if (codes[k] == 4) {
            c.data[k] = std::string("text ") + static_cast<const char*>(data[k]);
        } else {
            const float* f = static_cast<const float*>(data[k]);
            c.data[k] = "floats " + std::to_string(f[0]) + " " + std::to_string(f[2]);
        }
    }
    g_calls.push_back(c);
    return 0;
}
int32_t RecordEnable(uint32_t cap) {
    g_other.push_back("enable " + std::to_string(cap));
    return 0;
}
int32_t RecordDisable(uint32_t cap) {
    g_other.push_back("disable " + std::to_string(cap));
    return 0;
}
void RecordRun(const char* name, int32_t value) {
    g_other.push_back(std::string("run ") + name + " " + std::to_string(value));
}
void RecordRunAll(int32_t value) { g_other.push_back("run all " + std::to_string(value)); }

}  // namespace

TEST_F(DeviceFunctions, NetworkRendererCallsCarryPointersToTheValues) {
    const NetworkRendererEntryPoints saved = NetworkRenderer;
    NetworkRenderer = {RecordEnable, RecordDisable, RecordFunc, nullptr, nullptr};
    g_calls.clear();
    g_other.clear();

    Call("QemNetworkRendererFunc", {VInt(43690), VInt(3), VFloats({1, 2, 3}), VInt(3), VFloats({4, 5, 6})});
    Call("QemNetworkRendererFunc",
         {VInt(7), VInt(1), VInt(42), VInt(2), VReal(0.5f), VInt(4), VStr("hi"), VInt(1), VStr("no"), VInt(9),
          VInt(3), VInt(3)});  // the last pair is cut: parameter 13 is missing
    Call("QemNetworkRendererFunc");
    std::vector<Opnd> fourteen(14, VInt(1));
    Call("QemNetworkRendererFunc", fourteen);
    // Short values read as zeros after their end.
    Call("QemNetworkRendererFunc", {VInt(43690), VInt(3), VFloats({5}), VInt(4), VStr("")});
    ASSERT_EQ(g_calls.size(), 5u);
    EXPECT_EQ(g_calls[0].id, 43690);
    EXPECT_EQ(g_calls[0].data[0], "floats 1.000000 3.000000");
    EXPECT_EQ(g_calls[0].data[1], "floats 4.000000 6.000000");
    EXPECT_EQ(g_calls[0].codes[2], 0);
    EXPECT_EQ(g_calls[0].data[2], "null");
    const RendererCall& mixed = g_calls[1];
    EXPECT_EQ(mixed.id, 7);
    const std::string expected[6] = {"int 42", "real 0.500000", "text hi", "null", "null", "null"};
    const int32_t codes[6] = {1, 2, 4, 1, 9, 0};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(mixed.data[k], expected[k]) << k;
        EXPECT_EQ(mixed.codes[k], codes[k]) << k;
    }
    for (int call : {2, 3}) {
        EXPECT_EQ(g_calls[call].id, 0);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(g_calls[call].data[k], "null");
    }
    EXPECT_EQ(g_calls[4].data[0], "floats 5.000000 0.000000");
    EXPECT_EQ(g_calls[4].data[1], "text ");

    // Without the plug-in's run slots nothing is run.
    Call("QemNetworkRendererSlavePluginRun", {VStr("a"), VInt(1)});
    Call("QemNetworkRendererSlavePluginRunAll", {VInt(2)});
    NetworkRenderer.QemNetworkRendererSlavePluginRun = RecordRun;
    NetworkRenderer.QemNetworkRendererSlavePluginRunAll = RecordRunAll;
    Call("QemNetworkRendererEnable", {VInt(3042)});
    Call("QemNetworkRendererDisable", {VInt(3042)});
    Call("QemNetworkRendererSlavePluginRun", {VInt(5), VInt(1)});  // no name: nothing
    Call("QemNetworkRendererSlavePluginRun", {VStr("slave"), VInt(3)});
    Call("QemNetworkRendererSlavePluginRunAll", {VInt(4)});
    EXPECT_EQ(g_other, (std::vector<std::string>{"enable 3042", "disable 3042", "run slave 3", "run all 4"}));
    NetworkRenderer = saved;
}

namespace {

class DeviceFunctionsWithScene : public GlSceneFixture {
protected:
    void SetUp() override {
        GlSceneFixture::SetUp();
        if (IsSkipped()) return;
        state.Scene().scene = scene.get();
        g_engineState = &state;
        vm.RegisterFunctions(new CVmFunction());
    }
    void TearDown() override {
        g_engineState = nullptr;
        GlSceneFixture::TearDown();
    }

    EngineState state;
    CVirtualMachine vm;
};

}  // namespace

TEST_F(DeviceFunctionsWithScene, TrackerZeroIsTheScenesTracker) {
    MethodScript s("MAIN");
    s.Global("SetTrackerPos", {VInt(0), VFloats({1, 2, 3})});
    s.Global("SetTrackerRot", {VInt(0), VInt(10), VInt(20), VInt(30)});
    s.Global("SetTrackerPos", {VInt(1), VFloats({7, 7, 7})});
    s.Global("SetTrackerRot", {VInt(1), VFloats({8, 8, 8})});
    ASSERT_FALSE(RunScript(vm, s).error);
    float position[3] = {}, orientation[3] = {};
    ASSERT_GE(scene->GetParamFloat(kParamTrackerPosition, position), 0);
    ASSERT_GE(scene->GetParamFloat(kParamTrackerOrientation, orientation), 0);
    EXPECT_EQ(std::vector<float>(position, position + 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(std::vector<float>(orientation, orientation + 3), (std::vector<float>{10, 20, 30}));
}

TEST_F(DeviceFunctionsWithScene, WithoutThePlugInTheRendererFunctionDrawsTheTwoPoints) {
    if (GLExtensionFlags & 0x1000) GTEST_SKIP() << "a network renderer is present";
    ClearWindow(0, 0, 0);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glColor3f(0, 1, 1);
    // The centres of the corner pixels.
    const float x = 1.0f - 1.0f / kWidth, y = 1.0f - 1.0f / kHeight;
    glBegin(GL_POINTS);
    const CallOutcome o = CallGlobal(vm, "QemNetworkRendererFunc",
                                     {VInt(43690), VInt(3), VFloats({-x, -y, 0}), VInt(3), VFloats({x, y, 0})});
    glEnd();
    EXPECT_FALSE(o.error) << o.output;
    while (glGetError() != GL_NO_ERROR) {
    }
    EXPECT_EQ(ReadPixel(0, 0), (RgbPixel{0, 255, 255}));
    EXPECT_EQ(ReadPixel(kWidth - 1, kHeight - 1), (RgbPixel{0, 255, 255}));
    EXPECT_EQ(ReadPixel(kWidth / 2, kHeight / 2), (RgbPixel{0, 0, 0}));
}
