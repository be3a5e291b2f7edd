// Window messages through the module's handler into the script's OnEvent.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/EngineModule.h"
#include "platform/GlutMessages.h"
#include "support/EngineFixtures.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// POSTMANY(n): queues n script events (id 2024, values n and "x") as an
// event post from inside a running call does.
class EventFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("PostMany", &EventFunctions::PostMany);
        AddFunction("PostValue", &EventFunctions::PostValue);
        return true;
    }
    void PostMany(CVmClassBase*, int) {
        const int32_t n = GetParamInt(1);
        for (int32_t i = 0; i < n; ++i) {
            CVRMachine::__Event e;
            e.id = 2024;
            e.first.SetInteger(i);
            g_engineMachine->Events().Push(e);
        }
    }
    // PostValue(a): a script event carrying a; the script's later change of
    // a must not reach the receiver.
    void PostValue(CVmClassBase*, int) {
        CVRMachine::__Event e;
        e.id = 2024;
        e.first.Assign(*GetParam(1));
        g_engineMachine->Events().Push(e);
    }
};

class WindowEvents : public ::testing::Test {
protected:
    void SetUp() override {
        CVRModule3D::ResetErrorPending();
        HostQuitFlag = false;
        // OnEvent(id, a, b) prints "id a b;" ; OnFrame calls POSTMANY(60).
        ProgramBuilder b;
        b.Return();
        b.Function("ONEVENT", 3);
        b.Emit(OP_OUTPUT, L(-1));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-2));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-3));
        b.Emit(OP_OUTPUT, VStr(";"));
        b.Return();
        b.Function("ONFRAME", 0);
        b.CallNative("POSTMANY", {VInt(60)}, None());
        b.Return();
        script = WriteProgram(scratch, "events.bin", b);
        module.reset(new CVRModule3D(script.c_str(), "", &container, 0, 0, nullptr, 0));
        module->Machine()->RegisterFunctions(new EventFunctions());
        module->Machine()->SetOutputStream(&out, true);
        ASSERT_TRUE(RunFramesUntil(*module, CVRModule3D::Running, 200));
        out.str("");
    }
    void TearDown() override {
        module.reset();
        HostQuitFlag = false;
    }
    int Send(uint32_t m, uintptr_t w, intptr_t l) {
        intptr_t result = 0;
        return module->HandleMessage(m, w, l, &result);
    }

    ScratchFolder scratch;
    RecordingContainer container;
    std::string script;
    std::ostringstream out;
    std::unique_ptr<CVRModule3D> module;
};

size_t Count(const std::string& s, const std::string& needle) {
    size_t n = 0;
    for (size_t at = s.find(needle); at != std::string::npos; at = s.find(needle, at + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(WindowEvents, KeysAndCharactersReachOnEventAndTheRing) {
    GlutMessageAdapter adapter([this](uint32_t m, uintptr_t w, intptr_t l) { Send(m, w, l); });
    adapter.Keyboard('a', 0, true);
    EXPECT_EQ(out.str(), "256 65 1966081;258 97 1966081;");
    EXPECT_EQ(module->Machine()->ReadKey(), 'a');
    EXPECT_EQ(Send(999, 1, 2), 0);  // not handled, but seen
    EXPECT_NE(out.str().find("999 1 2;"), std::string::npos);
}

TEST_F(WindowEvents, SixtyEventsInOneFrameDeliverFifty) {
    module->Frame();  // OnFrame posts 60 while it runs: 50 wait
    EXPECT_EQ(out.str(), "");
    Send(CVRMachine::kWakeUpMessage, 0, 0);
    EXPECT_EQ(Count(out.str(), "2024 "), 50u);
    EXPECT_NE(out.str().find("2024 49 Void;"), std::string::npos);
    EXPECT_EQ(out.str().find("2024 50 "), std::string::npos);
}

TEST_F(WindowEvents, OutsideMessagesInTheValueRangeCarryIntegers) {
    Send(32767, 5, 6);
    Send(2024, 7, 8);
    EXPECT_EQ(out.str(), "32767 5 6;2024 7 8;");
    CVmValue s;
    s.SetString("copied");
    module->Machine()->PostValueEvent(2030, s, CVmValue());
    s.SetString("changed");
    EXPECT_NE(out.str().find("2030 copied Void;"), std::string::npos);
}

TEST_F(WindowEvents, MouseWheelFocusAndQuitKeys) {
    CVRMachine* m = module->Machine();
    Send(kWmLButtonDown, kMkLButton, (20 << 16) | 10);
    EXPECT_EQ(m->GetMouseButtons(), 1);
    EXPECT_EQ(m->GetMouseX(), 10);
    EXPECT_EQ(m->GetMouseY(), 20);
    Send(kWmMouseMove, 0, (0xFFFF << 16) | 0xFFFE);  // signed 16-bit coordinates
    EXPECT_EQ(m->GetMouseX(), -2);
    EXPECT_EQ(m->GetMouseY(), -1);
    Send(kWmLButtonDblClk, kMkLButton, 5);
    EXPECT_EQ(m->GetMouseButtons(), 0x100);
    m->Input().wheelCount = 0;
    Send(kWmMouseWheel, 120u << 16, 0);
    Send(kWmMouseWheel, 60u << 16, 0);
    Send(kWmMouseWheel, static_cast<uint32_t>(static_cast<uint16_t>(-240)) << 16, 0);
    EXPECT_EQ(m->Input().wheelCount, -1);
    Send(kWmKillFocus, 0, 0);
    EXPECT_EQ(m->Input().hasFocus, 0);
    Send(kWmSetFocus, 0, 0);
    EXPECT_EQ(m->Input().hasFocus, 1);

    out.str("");
    Send(kWmKeyDown, kVkF9, 0);  // F9 alone only reaches OnEvent
    EXPECT_FALSE(HostQuitFlag);
    EXPECT_FALSE(m->HasError());
    Send(kWmSysKeyDown, kVkF4, 1 << 29);  // Alt+F4
    EXPECT_TRUE(HostQuitFlag);
    EXPECT_TRUE(m->HasError());
    EXPECT_EQ(out.str().rfind("120 0 0;", 0), std::string::npos);
    EXPECT_NE(out.str().find("260 115 536870912;"), std::string::npos);
    // In error, further messages empty the queue and reach nobody.
    out.str("");
    Send(999, 0, 0);
    EXPECT_EQ(out.str().find("999"), std::string::npos);
}
