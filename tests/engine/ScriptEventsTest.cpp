// The script's own events and the functions that need the engine machine,
// in a module without a window: EventPost through the window's message
// queue, EventSend before it returns (also from another thread, with the
// script lock handed over), Quit and KeyPressed's warning.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "engine/EngineModule.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

class RecordingHost : public CVmContainer {
public:
    int DataOut(const char* text) override {
        received += std::string(text) + ";";
        return 1;
    }
    int HostRequest(int, int, int) override { return 0; }
    std::string received;
};

class ScriptEvents : public ::testing::Test {
protected:
    void SetUp() override {
        CVRModule3D::ResetErrorPending();
        HostQuitFlag = false;
        ProgramBuilder b;
        b.Return();
        b.Function("ONEVENT", 3);  // prints "id a b;"; event 2031 sends 2033 from inside
        b.Emit(OP_OUTPUT, L(-1));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-2));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-3));
        b.Emit(OP_OUTPUT, VStr(";"));
        const Label done = b.NewLabel();
        b.Emit(OP_JUMP_NE, L(-1), VInt(2031), At(done));
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("EVENTSEND", {VInt(2033), VStr("inner")}, L(1));
        Print(b, "inner sent ", L(1));
        b.Bind(done);
        b.Return();
        b.Function("ONINIT", 0);
        b.Emit(OP_RESERVE, I(1));
        b.Emit(OP_OUTPUT, VStr("init;"));
        b.CallNative("EVENTPOST", {VInt(2030), VInt(7), VStr("x")}, L(1));
        Print(b, "posted ", L(1));
        b.CallNative("EVENTPOST", {VInt(32767)}, L(1));
        Print(b, "posted ", L(1));
        b.Return();
        b.Function("SENDNOW", 1);
        b.CallNative("EVENTPOST", {VInt(2030), VInt(1), VStr("p")}, None());
        b.CallNative("EVENTSEND", {VInt(2031), VInt(2), VStr("two")}, None());
        b.Emit(OP_OUTPUT, VStr("sent;"));
        b.Return();
        b.Function("TIMERSEND", 0);
        b.Emit(OP_OUTPUT, VStr("timer;"));
        b.CallNative("EVENTSEND", {VInt(2040), VInt(1), VStr("t")}, None());
        b.Emit(OP_OUTPUT, VStr("after;"));
        b.Return();
        b.Function("SLEEPLONG", 0);
        b.CallNative("SLEEP", {VInt(20000)}, None());
        b.Emit(OP_OUTPUT, VStr("woke;"));
        b.Return();
        b.Function("QUITNOW", 1);
        b.CallNative("QUIT", {VStr("bye"), VInt(2)}, None());
        b.Emit(OP_OUTPUT, VStr("went on;"));
        b.Return();
        b.Function("BADPOST", 1);
        b.CallNative("EVENTPOST", {VInt(2023)}, None());
        b.Return();
        b.Function("CHANNEL", 1);  // data in twice, two keys, the focus; data out
        b.Emit(OP_RESERVE, I(5));
        b.CallNative("DATAIN", {}, L(1));
        b.CallNative("DATAIN", {}, L(2));
        b.CallNative("KEYBOARD", {}, L(3));
        b.CallNative("KEYBOARD", {}, L(4));
        b.CallNative("HASFOCUS", {}, L(5));
        b.CallNative("OUTPUTLN", {L(1), VStr("|"), L(2), VStr("|"), L(3), VStr("|"), L(4), VStr("|"), L(5)}, None());
        b.CallNative("DATAOUT", {VStr("out")}, None());
        b.CallNative("DATAOUT", {VInt(5)}, None());
        b.Return();
        b.Function("POSTMANY", 1);  // 60 posts in one call, printing each answer
        b.Emit(OP_RESERVE, I(2));
        b.Emit(OP_COPY, VInt(0), None(), L(1));
        const Label next = b.NewLabel();
        b.Bind(next);
        b.CallNative("EVENTPOST", {VInt(2024), L(1)}, L(2));
        b.Emit(OP_OUTPUT, L(2));
        b.Emit(OP_INC, L(1));
        b.Emit(OP_JUMP_LT, L(1), VInt(60), At(next));
        b.Emit(OP_OUTPUT, VStr(";"));
        b.Return();
        b.Function("PLUSKEY", 1);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("KEYPRESSED", {VStr("+")}, L(1));
        Print(b, "plus ", L(1));
        b.Return();
        const std::vector<uint8_t> bytes = b.WriteFile();
        const std::string script = scratch.Make("events.bin");
        WriteFile(script, std::string(bytes.begin(), bytes.end()));
        module.reset(new CVRModule3D(script.c_str(), "", &container, 0, 0, nullptr, 0));
        module->Machine()->SetOutputStream(&out, false);
        for (int i = 0; i < 200 && module->CurrentState() != CVRModule3D::Running; ++i) module->Frame();
        ASSERT_EQ(module->CurrentState(), CVRModule3D::Running);
        const std::string all = out.str();
        initOutput = all.substr(all.find("init;"));
        out.str("");
    }
    void TearDown() override {
        module.reset();
        HostQuitFlag = false;
    }
    static void Print(ProgramBuilder& b, const char* label, const Opnd& v) {
        b.Emit(OP_OUTPUT, VStr(label));
        b.Emit(OP_OUTPUT, v);
        b.Emit(OP_OUTPUT, VStr(";"));
    }
    // Runs a script function on another thread, as the timer thread runs
    // OnTimer, while this thread goes on with frames until it has ended.
    void RunOnOtherThread(const char* function, bool frames, const std::function<void()>& meanwhile = {}) {
        CVRMachine* m = module->Machine();
        std::atomic<bool> done{false};
        std::thread other([&] {
            m->CallScriptFunction(0, m->FindFunction(function), nullptr);
            done = true;
        });
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < end) {
            if (frames) module->Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (meanwhile) meanwhile();
        }
        other.join();
    }

    ScratchFolder scratch;
    RecordingHost container;
    std::ostringstream out;
    std::string initOutput;
    std::unique_ptr<CVRModule3D> module;
};

}  // namespace

TEST_F(ScriptEvents, PostedEventsReachOnEventAfterTheCallReturns) {
    EXPECT_EQ(initOutput, "init;posted 1;posted 1;");
    module->Frame();
    EXPECT_EQ(out.str(), "2030 7 x;32767 Void Void;");
}

TEST_F(ScriptEvents, SentEventsRunBeforeTheSendReturnsAfterThoseQueuedBefore) {
    module->Frame();
    out.str("");
    module->CallFunction("SendNow", "");
    EXPECT_EQ(out.str(), "2030 1 p;2031 2 two;2033 inner Void;inner sent 0;sent;");
    EXPECT_FALSE(module->Machine()->HasError());
}

TEST_F(ScriptEvents, ASendFromAnotherThreadRunsOnTheWindowThreadWhileTheSenderWaits) {
    module->Frame();
    out.str("");
    // The sender holds the script lock when it sends: unless it hands the
    // lock over, the window thread could never run OnEvent.
    RunOnOtherThread("TimerSend", true);
    EXPECT_EQ(out.str(), "timer;2040 1 t;after;");
    EXPECT_FALSE(module->Machine()->HasError());
}

TEST_F(ScriptEvents, StoppingReleasesWaitingSendersAndSleepers) {
    module->Frame();
    out.str("");
    const auto start = std::chrono::steady_clock::now();
    // The host's quit request (set from a signal handler) ends a sleep.
    RunOnOtherThread("SleepLong", false, [] { HostQuitFlag = true; });
    HostQuitFlag = false;
    RunOnOtherThread("TimerSend", false, [this] { module->Machine()->CancelScriptSends(); });
    RunOnOtherThread("SleepLong", false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(out.str(), "woke;timer;after;woke;");
}

TEST_F(ScriptEvents, QuitStopsTheScriptAndTheModule) {
    module->CallFunction("QuitNow", "");
    EXPECT_NE(out.str().find("ERROR (line 0): QUIT: bye2"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("went on"), std::string::npos);
    EXPECT_EQ(module->CurrentState(), CVRModule3D::Stopped);
}

TEST_F(ScriptEvents, EventIdsOutsideTheScriptRangeStopTheScript) {
    module->CallFunction("BadPost", "");
    EXPECT_NE(out.str().find("EVENTPOST: invalid Event value."), std::string::npos) << out.str();
    EXPECT_EQ(module->CurrentState(), CVRModule3D::Stopped);
}

TEST_F(ScriptEvents, KeyPressedWarnsOfCharactersOtherThanDigitsAndLetters) {
    module->CallFunction("PlusKey", "");
    EXPECT_NE(out.str().find("KEYPRESSED: '+' is an invalid char."), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("plus False;"), std::string::npos) << out.str();
    EXPECT_FALSE(module->Machine()->HasError());
}

TEST_F(ScriptEvents, TheHostsTextsKeysAndFocus) {
    CVRMachine* m = module->Machine();
    m->SetDataIn("hello");
    m->PutKey('k');
    m->Input().hasFocus = 0;
    out.str("");
    module->CallFunction("Channel", "");
    EXPECT_NE(out.str().find("hello||k||False\n"), std::string::npos) << out.str();
    EXPECT_EQ(container.received, "out;");  // a value that is no String is not sent
    EXPECT_NE(out.str().find("DataOut: \"out\""), std::string::npos) << out.str();
    m->Input().hasFocus = 1;
    out.str("");
    module->CallFunction("Channel", "");
    EXPECT_NE(out.str().find("|||True\n"), std::string::npos) << out.str();
}

TEST_F(ScriptEvents, PostsIntoAFullQueueAnswerZero) {
    module->Frame();
    out.str("");
    module->CallFunction("PostMany", "");
    EXPECT_EQ(out.str(), std::string(50, '1') + std::string(10, '0') + ";");
    out.str("");
    module->Frame();
    EXPECT_NE(out.str().find("2024 49 Void;"), std::string::npos);
    EXPECT_EQ(out.str().find("2024 50 "), std::string::npos);
}
