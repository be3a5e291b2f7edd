#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "bindings/ScriptBindings.h"
#include "engine/EngineMachine.h"
#include "engine/ModuleHooks.h"
#include "media/JoystickTable.h"
#include "support/EngineFixtures.h"
#include "support/MethodScript.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// Functions for the tests: a handler that dereferences null, and one that
// calls back into the script through CallScriptFunction.
class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("Crash", &TestFunctions::Crash);
        AddFunction("Divide", &TestFunctions::Divide);
        AddFunction("Nested", &TestFunctions::Nested);
        return true;
    }
    void Crash(CVmClassBase*, int) {
        volatile int* p = nullptr;
        VmReturnInteger(*p);
    }
    void Divide(CVmClassBase*, int) {
        volatile int zero = 0;
        VmReturnInteger(7 / zero);
    }
    void Nested(CVmClassBase*, int) {
        CVRMachine* vm = g_engineMachine;
        nestedResult = vm->CallScriptFunction(0, vm->FindFunction("ONFRAME"), nullptr);
        VmReturnInteger(1);
    }
    static CVmValue* nestedResult;
};
CVmValue* TestFunctions::nestedResult = reinterpret_cast<CVmValue*>(1);

class EngineMachineTest : public ::testing::Test {
protected:
    EngineMachineTest() : vm(-1, 0, &container, 0, false, -1) {
        vm.SetOutputStream(&out, false);
        vm.RegisterFunctions(new TestFunctions());
    }

    // A program with every callback but the ones left out; ONFRAME returns
    // 42 and the others return 0.
    std::string WriteProgram(const std::string& name, const std::vector<std::string>& without = {}) {
        ProgramBuilder b;
        b.Return();
        for (const char* cb : CVRMachine::kCallbackNames) {
            const std::string upper = VmUpperName(cb);
            bool skip = false;
            for (const std::string& w : without) skip = skip || w == cb;
            if (skip) continue;
            b.Function(upper, 0);
            b.Return(VInt(upper == "ONFRAME" ? 42 : 0));
        }
        for (const char* f : {"CRASH", "DIVIDE", "NESTED"}) {
            b.Function(std::string("CALL") + f, 0);
            b.Emit(OP_RESERVE, I(1));
            b.CallNative(f, {}, L(1));
            b.Return(L(1));
        }
        return qemtest::WriteProgram(scratch, name, b);
    }

    size_t Count(const std::string& needle) const {
        size_t n = 0;
        const std::string s = out.str();
        for (size_t at = s.find(needle); at != std::string::npos; at = s.find(needle, at + 1)) ++n;
        return n;
    }

    ScratchFolder scratch;
    RecordingContainer container;
    std::ostringstream out;
    CVRMachine vm;
};

}  // namespace

TEST_F(EngineMachineTest, RegistersTheClassesInTheirOrder) {
    EXPECT_EQ(g_engineMachine, &vm);
    for (size_t i = 0; i < kScriptClassCount; ++i)
        EXPECT_STREQ(vm.GetClassNameByIndex(static_cast<int32_t>(i + 1)), kScriptClasses[i].name) << i;
    EXPECT_STREQ(vm.GetClassNameByIndex(14), "CVmObj");
}

TEST_F(EngineMachineTest, MissingCallbackWarnsOnceAndTheScriptRuns) {
    ASSERT_TRUE(vm.LoadProgram(WriteProgram("noTimer.bin", {"OnTimer"})));
    EXPECT_EQ(Count("Function 'OnTimer' not found!"), 1u) << out.str();
    EXPECT_EQ(Count("not found!"), 1u);
    EXPECT_EQ(vm.CallbackIndex(CVRMachine::OnTimer), -1);
    CVmValue* r = vm.CallScriptFunction(0, vm.CallbackIndex(CVRMachine::OnFrame), nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 42);
    EXPECT_EQ(vm.CallScriptFunction(0, -1, nullptr), nullptr);
}

TEST_F(EngineMachineTest, ScriptPackedAsASingleEntryZip) {
    const std::string plain = WriteProgram("plain.bin", {"OnTimer"});
    const std::string bytes = ReadFile(plain);
    const std::string zipped = scratch.Make("script.zip.bin");
    ASSERT_TRUE(WriteZip(zipped, {{"script.bin", bytes}}));
    ASSERT_TRUE(vm.LoadProgram(zipped)) << out.str();
    EXPECT_EQ(vm.CallScriptFunction(0, vm.CallbackIndex(CVRMachine::OnFrame), nullptr)->asInt, 42);

    // Two entries: read as a plain file, which is no bytecode.
    const std::string two = scratch.Make("two.bin");
    ASSERT_TRUE(WriteZip(two, {{"a.bin", bytes}, {"b.bin", bytes}}));
    out.str("");
    EXPECT_FALSE(vm.LoadProgram(two));
    EXPECT_NE(out.str().find("This file is not a bytecode for the Virtual Machine."), std::string::npos);

    // An entry whose stated size is not what it holds fails with 2003.
    std::string lying = ReadFile(zipped);
    const size_t local = lying.find("PK\x03\x04");
    ASSERT_NE(local, std::string::npos);
    lying[local + 22] = static_cast<char>(lying[local + 22] + 1);  // uncompressed size, local header
    const size_t central = lying.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    lying[central + 24] = static_cast<char>(lying[central + 24] + 1);  // and in the central directory
    const std::string lyingPath = scratch.Make("lying.bin");
    WriteFile(lyingPath, lying);
    out.str("");
    EXPECT_FALSE(vm.LoadProgram(lyingPath));
    EXPECT_NE(out.str().find("Cannot open the script file '" + lyingPath + "'."), std::string::npos) << out.str();

    out.str("");
    EXPECT_FALSE(vm.LoadProgram(scratch.Path() + "missing.bin"));
    EXPECT_NE(out.str().find("Cannot open the script file"), std::string::npos);
}

TEST_F(EngineMachineTest, NestedCallsAreRefusedAndOtherThreadsWait) {
    ASSERT_TRUE(vm.LoadProgram(WriteProgram("nested.bin")));
    TestFunctions::nestedResult = reinterpret_cast<CVmValue*>(1);
    CVmValue* r = vm.CallScriptFunction(0, vm.FindFunction("CALLNESTED"), nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 1);
    EXPECT_EQ(TestFunctions::nestedResult, nullptr);

    // While this thread holds the script lock, another thread's call waits.
    std::atomic<bool> done{false};
    vm.ScriptLock().Enter();
    std::thread other([&] {
        vm.CallScriptFunction(0, vm.CallbackIndex(CVRMachine::OnFrame), nullptr);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    vm.ScriptLock().Leave();
    other.join();
    EXPECT_TRUE(done);
}

TEST_F(EngineMachineTest, FaultsInHandlersStopTheScriptNotTheProcess) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers own the fault signals";
#else
    ASSERT_TRUE(vm.LoadProgram(WriteProgram("faults.bin")));
    EXPECT_EQ(vm.CallScriptFunction(0, vm.FindFunction("CALLCRASH"), nullptr), nullptr);
    EXPECT_NE(out.str().find("\nVirtualMachine ERROR (line 0): Fatal error."), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\nCalled from: CALLCRASH(0)"), std::string::npos);
    EXPECT_EQ(vm.StackDepth(), 0);
    EXPECT_EQ(vm.CallScriptFunction(0, vm.CallbackIndex(CVRMachine::OnFrame), nullptr), nullptr);  // in error

    ASSERT_TRUE(vm.LoadProgram(WriteProgram("faults2.bin")));
    out.str("");
    EXPECT_EQ(vm.CallScriptFunction(0, vm.FindFunction("CALLDIVIDE"), nullptr), nullptr);
    EXPECT_NE(out.str().find("Division by zero"), std::string::npos) << out.str();
    // A new program runs again.
    ASSERT_TRUE(vm.LoadProgram(WriteProgram("faults3.bin")));
    EXPECT_EQ(vm.CallScriptFunction(0, vm.CallbackIndex(CVRMachine::OnFrame), nullptr)->asInt, 42);
#endif
}

TEST_F(EngineMachineTest, FrameRateAndTimeStepClamps) {
    struct Row {
        bool frameRate;
        int32_t value;
        uint64_t period;
    };
    const Row rows[] = {{true, 2000, 1000},     {true, 100, 10000},       {true, -5, 10000000},
                        {true, 1, 1000000},     {false, 20000, 10000000}, {false, 0, 1000},
                        {false, 15, 15000},     {false, -1, 10000000},    {false, 2147483647, 10000000}};
    for (const Row& r : rows) {
        if (r.frameRate) {
            vm.SetFrameRate(r.value);
            EXPECT_EQ(vm.Timing().framePeriod.load(), r.period) << r.value;
        } else {
            vm.SetTimeStep(r.value);
            EXPECT_EQ(vm.Timing().timeStep.load(), r.period) << r.value;
        }
    }
}

TEST_F(EngineMachineTest, KeyboardRingHolds19) {
    for (int i = 0; i < 19; ++i) EXPECT_TRUE(vm.PutKey('a' + i));
    EXPECT_FALSE(vm.PutKey('!'));
    for (int i = 0; i < 19; ++i) EXPECT_EQ(vm.ReadKey(), 'a' + i);
    EXPECT_EQ(vm.ReadKey(), -1);
}

TEST_F(EngineMachineTest, DataInAndDataOut) {
    vm.SetDataIn("");
    EXPECT_EQ(out.str(), "");
    vm.SetDataIn("in");
    EXPECT_EQ(out.str(), "\nDataIn: \"in\"");
    EXPECT_STREQ(vm.GetDataIn(), "in");
    out.str("");
    vm.DataOut("x");
    EXPECT_EQ(out.str(), "\nDataOut: \"x\"");
    EXPECT_EQ(container.received, "x");
}

TEST_F(EngineMachineTest, WebScriptsAndWorkingFolder) {
    const std::pair<const char*, bool> rows[] = {{"file:///a/b.bin", false}, {"FILE://x", false},
                                                 {"c:\\x\\y.bin", false},    {"/home/x.bin", false},
                                                 {"http://h/x.bin", true},   {"x.bin", true}};
    for (const auto& r : rows) {
        vm.Paths().scriptLocation = r.first;
        EXPECT_EQ(vm.IsWebScript(), r.second) << r.first;
    }
    vm.SetWorkingFolder("a\\b");
    EXPECT_EQ(vm.Paths().workingFolder, "a/b/");
}

TEST_F(EngineMachineTest, EngineLibraryMessagesGoToTheScriptStreams) {
    g_moduleMachine = &vm;
    EngineWarningHandler("careful");
    EXPECT_EQ(out.str(), "\nVirtualMachine WARNING (line 0): careful");
    EXPECT_FALSE(vm.HasError());
    out.str("");
    EngineErrorHandler("broken");
    EXPECT_EQ(out.str(), "\nVirtualMachine ERROR (line 0): broken");
    EXPECT_TRUE(vm.HasError());
    g_moduleMachine = nullptr;
}

TEST_F(EngineMachineTest, GlGetEvaluationKeepsTheErrorFlag) {
    vm.SetErrorFlag(true);
    CVmValue name;
    name.SetString("glget");
    CVmValue* r = vm.EvaluateExpression(&name, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(vm.HasError());
    delete r;
}

TEST_F(EngineMachineTest, JoystickSetStoresTheSecondInputRecordLastFirst) {
    MethodScript s("SETRECORD");
    s.Call(s.New("CVMJOYSTICK", {}), "SET", {VInt(1), VInt(2), VInt(3), VInt(4)});
    const std::string path = scratch.Make("record.bin");
    const std::vector<uint8_t> bytes = s.File();
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(vm.LoadProgram(path)) << out.str();
    ASSERT_NE(vm.CallScriptFunction(0, vm.FindFunction("SETRECORD"), nullptr), nullptr) << out.str();
    EXPECT_EQ(vm.GetRecordA(), 4);
    EXPECT_EQ(vm.GetRecordB(), 1);
    EXPECT_EQ(vm.GetRecordC(), 2);
    EXPECT_EQ(vm.GetRecordD(), 3);
    // The frame's joystick poll is the table's.
    EXPECT_EQ(EngineModuleHooks().pollJoysticks, &JoystickPollAll);
}

TEST_F(EngineMachineTest, AMouseWithoutADisplayWarns4013) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    setenv("DISPLAY", ":59999", 1);
    MethodScript s("MAKEMOUSE");
    s.Record(s.Global("NEWMOUSE"));
    const std::string path = scratch.Make("mouse.bin");
    const std::vector<uint8_t> bytes = s.File();
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(vm.LoadProgram(path)) << out.str();
    out.str("");
    vm.CallScriptFunction(0, vm.FindFunction("MAKEMOUSE"), nullptr);
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
    EXPECT_EQ(out.str(), "\nVirtualMachine WARNING (line 0): Could not find mouse.(Obj:CVmMouse)\n");
}
