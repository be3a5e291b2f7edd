// CVmJoystick through scripts run in a machine of the test, over a virtual
// gamepad (uinput where the kernel offers it, else a fake) or over no
// controller at all: the factory's ids, the values as method calls and
// member reads, objects going away, an unplugged controller, call modes.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "media/JoystickTable.h"
#include "media/script/CVmJoystick.h"
#include "support/MethodScript.h"
#include "support/VirtualGamepad.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

VirtualGamepad* pad = nullptr;

// POLL(): the frame's poll; PAD(type, code, value): an event of the
// gamepad; UNPLUG(), PLUG().
class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("POLL", &TestFunctions::Poll);
        AddFunction("PAD", &TestFunctions::Pad);
        AddFunction("UNPLUG", &TestFunctions::Unplug);
        AddFunction("PLUG", &TestFunctions::Plug);
        return true;
    }

private:
    void Poll(CVmClassBase*, int) { JoystickPollAll(); }
    void Pad(CVmClassBase*, int) {
        int32_t type, code, value;
        if (ReadParams(type, code, value)) pad->Set(type, code, value);
    }
    void Unplug(CVmClassBase*, int) { pad->Unplug(); }
    void Plug(CVmClassBase*, int) { pad->Plug(); }
};

std::string RunScript(const std::function<void(MethodScript&)>& build) {
    return RunMain(build, {new CVmJoystick::CRegister()}, new TestFunctions());
}

std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

Opnd Member(MethodScript& s, const Opnd& object, const char* member) {
    const Opnd v = s.Local(VInt(-1));
    s.Builder().Emit(OP_MEMBER_READ, object, I(s.Builder().MethodName(member)), v);
    return v;
}

const char* const kValues[] = {"ENABLED", "X",       "Y",        "Z",       "R", "U", "V",
                               "POV",     "BUTTONS", "BUTTON1", "BUTTON4", "BUTTON15"};

// Records each value of kValues as a method call, then as a member read.
void RecordValues(MethodScript& s, const Opnd& j) {
    for (const char* name : kValues) s.Record(s.Call(j, name, {}));
    for (const char* name : kValues) s.Record(Member(s, j, name));
}

std::vector<std::string> Twice(const std::vector<std::string>& values) {
    std::vector<std::string> both = values;
    both.insert(both.end(), values.begin(), values.end());
    return both;
}

const std::vector<std::string> kNothing = {"False", "0", "0", "0", "0", "0", "0",
                                           "0",     "0", "False", "False", "False"};

}  // namespace

TEST(JoystickScript, WithoutAControllerEveryFormGivesAnObjectThatReadsNothing) {
    JoystickDevices::ReplaceShared(std::make_unique<JoystickDevices>("/nonexistent"));
    const std::string out = RunScript([](MethodScript& s) {
        for (const std::vector<Opnd>& args : {std::vector<Opnd>{}, {VInt(0)}, {VInt(20)}, {VInt(-3)}}) {
            const Opnd j = s.New("CVMJOYSTICK", args);
            s.Record(s.Global("GETCLASSNAME", {j}));
            RecordValues(s, j);
        }
    });
    JoystickDevices::ReplaceShared(nullptr);
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) {
        expected.push_back("CVmJoystick");
        for (const std::string& v : Twice(kNothing)) expected.push_back(v);
    }
    EXPECT_EQ(Lines(out), expected) << out;
    EXPECT_EQ(SharedJoysticks().UseCount(0), 0);
}

TEST(JoystickScript, ReadsTheGamepadAndFollowsItWhileAnObjectHoldsIt) {
    VirtualGamepad gamepad;
    pad = &gamepad;
    const std::string out = RunScript([](MethodScript& s) {
        const Opnd j = s.New("CVMJOYSTICK", {VInt(0)});
        RecordValues(s, j);
        // A second object on the controller, gone again: the first one is
        // still polled.
        const Opnd other = s.New("CVMJOYSTICK", {});
        s.Record(s.Call(other, "ENABLED", {}));
        s.Builder().Emit(OP_SET_VOID, other);
        s.Global("PAD", {VInt(EV_ABS), VInt(ABS_HAT0X), VInt(0)});
        s.Global("PAD", {VInt(EV_ABS), VInt(ABS_X), VInt(-100)});
        s.Global("PAD", {VInt(EV_KEY), VInt(BTN_SOUTH), VInt(1)});
        s.Global("PAD", {VInt(EV_KEY), VInt(BTN_TRIGGER_HAPPY1), VInt(1)});
        s.Global("POLL", {});
        for (const char* name : {"POV", "X", "BUTTON1", "BUTTON15", "BUTTONS"}) s.Record(s.Call(j, name, {}));
    });
    pad = nullptr;
    std::vector<std::string> expected =
        Twice({"True", "1", "0", "0.25", "0", "0", "0", "90", "8", "False", "True", "False"});
    for (const char* v : {"True", "655.35", "0", "True", "False", "32777"}) expected.push_back(v);
    EXPECT_EQ(Lines(out), expected) << out;
    EXPECT_EQ(SharedJoysticks().UseCount(0), 0);
}

TEST(JoystickScript, UnpluggedControllerReadsZerosAndANewObjectFindsItWhenBack) {
    VirtualGamepad gamepad;
    pad = &gamepad;
    const std::string out = RunScript([](MethodScript& s) {
        const Opnd j = s.New("CVMJOYSTICK", {});
        s.Global("UNPLUG", {});
        s.Global("POLL", {});
        RecordValues(s, j);
        s.Record(s.Call(s.New("CVMJOYSTICK", {}), "ENABLED", {}));  // not there
        s.Global("PLUG", {});
        s.Global("POLL", {});
        s.Record(s.Call(j, "Z", {}));  // nobody opened it again yet
        const Opnd again = s.New("CVMJOYSTICK", {VInt(0)});
        s.Record(s.Call(again, "ENABLED", {}));
        s.Record(s.Call(again, "Z", {}));
        s.Record(s.Call(j, "Z", {}));
    });
    pad = nullptr;
    std::vector<std::string> unplugged = Twice(kNothing);
    unplugged[0] = unplugged[kNothing.size()] = "True";  // it still holds its id
    std::vector<std::string> expected = unplugged;
    for (const char* v : {"False", "0", "True", "0.25", "0.25"}) expected.push_back(v);
    EXPECT_EQ(Lines(out), expected) << out;
    EXPECT_EQ(SharedJoysticks().UseCount(0), 0);
}

TEST(JoystickScript, CallModes) {
    JoystickDevices::ReplaceShared(std::make_unique<JoystickDevices>("/nonexistent"));
    struct Row {
        std::function<void(MethodScript&, const Opnd&)> call;
        std::string error;
    };
    const Row rows[] = {
        {[](MethodScript& s, const Opnd& j) { Member(s, j, "SET"); }, "SET: "},
        {[](MethodScript& s, const Opnd& j) {
             s.Builder().Emit(OP_MEMBER_WRITE, s.Local(VInt(1)), I(s.Builder().MethodName("X")), j);
         },
         "X: "},
        {[](MethodScript& s, const Opnd& j) { s.Call(j, "SET", {VInt(1), VInt(2), VInt(3)}); },
         "SET: Mandatory param n. 4 was not supplied."},
        {[](MethodScript& s, const Opnd& j) { s.Call(j, "BUTTON16", {}); },
         "Method 'BUTTON16' doesn't belong to class 'CVmJoystick'."},
    };
    for (const Row& r : rows) {
        const std::string out = RunScript([&r](MethodScript& s) {
            const Opnd j = s.New("CVMJOYSTICK", {});
            s.Call(j, "SET", {VInt(1), VInt(2), VInt(3), VInt(4)});  // no machine: nothing stored
            r.call(s, j);
            s.Print("NOT REACHED");
        });
        EXPECT_EQ(FirstError(out), r.error) << out;
        EXPECT_EQ(out.find("NOT REACHED"), std::string::npos) << out;
    }
    JoystickDevices::ReplaceShared(nullptr);
}
