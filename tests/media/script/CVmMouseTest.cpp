// CVmMouse through scripts run in a machine of the test over a stand-in
// engine: the machine's mouse state as SetStatus, the double-click flags
// and the wheel leave it, and the call modes. (The raw device and the
// window's messages are in the program's tests.)
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "media/script/CVmMouse.h"
#include "support/MethodScript.h"
#include "support/StandInEngine.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

std::string RunScript(const std::function<void(MethodScript&)>& build) {
    return RunMain(build, {new CVmMouse::CRegister()});
}

std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.find("WARNING") == std::string::npos) lines.push_back(line);
    return lines;
}

Opnd Member(MethodScript& s, const Opnd& object, const char* member) {
    const Opnd v = s.Local(VInt(-1));
    s.Builder().Emit(OP_MEMBER_READ, object, I(s.Builder().MethodName(member)), v);
    return v;
}

}  // namespace

TEST(MouseScript, TheMachineStateAsSetStatusDoubleClicksAndTheWheelLeaveIt) {
    StandInEngine engine;
    engine.Input().wheelCount = 2;
    const std::string out = RunScript([](MethodScript& s) {
        const Opnd m = s.New("CVMMOUSE");
        for (const char* name : {"WHEEL", "WHEEL"}) s.Record(s.Call(m, name, {}));
        s.Call(m, "SETSTATUS", {VInt(10), VInt(20), VInt(1)});
        for (const char* name : {"X", "Y", "BUTTONL", "BUTTONR", "BUTTONS"}) {
            s.Record(s.Call(m, name, {}));
            s.Record(Member(s, m, name));
        }
        // Right and middle held, a double click of the left button, at
        // (-3, 7): each double-click flag reads true once.
        s.Call(m, "SETSTATUS", {VInt(-3), VInt(7), VInt(0x1312)});
        for (const char* name : {"BUTTONL", "BUTTONR", "BUTTONM", "DOUBLEL", "DOUBLEL", "DOUBLER", "BUTTONS",
                                 "DOUBLEM", "DOUBLEM", "DOUBLER", "BUTTONS", "X", "Y"})
            s.Record(s.Call(m, name, {}));
        s.Record(Member(s, m, "DOUBLEL"));
    });
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"2", "0", "10", "10", "20", "20", "True", "True", "False", "False",
                                                    "1", "1", "False", "True", "True", "True", "False", "True",
                                                    "4114", "True", "False", "False", "18", "-3", "7", "False"}))
        << out;
    EXPECT_EQ(engine.mouse[0], 18);
    EXPECT_EQ(engine.Input().wheelCount, 0);
}

TEST(MouseScript, WithoutAMachineItReadsNothing) {
    const std::string out = RunScript([](MethodScript& s) {
        const Opnd m = s.New("CVMMOUSE");
        s.Call(m, "SETSTATUS", {VInt(10), VInt(20), VInt(0x101)});
        for (const char* name : {"BUTTONL", "DOUBLEL", "WHEEL", "X", "Y", "BUTTONS", "ISOUT"})
            s.Record(s.Call(m, name, {}));
    });
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"False", "False", "0", "0", "0", "0", "False"})) << out;
}

TEST(MouseScript, CallModes) {
    StandInEngine engine;
    struct Row {
        std::function<void(MethodScript&, const Opnd&)> call;
        std::string error;
    };
    const Row rows[] = {
        {[](MethodScript& s, const Opnd& m) { Member(s, m, "SETSTATUS"); }, "SETSTATUS: "},
        {[](MethodScript& s, const Opnd& m) {
             s.Builder().Emit(OP_MEMBER_WRITE, s.Local(VInt(5)), I(s.Builder().MethodName("X")), m);
         },
         "X: "},
        {[](MethodScript& s, const Opnd& m) {
             s.Builder().Emit(OP_MEMBER_WRITE, s.Local(VInt(5)), I(s.Builder().MethodName("DELTAX")), m);
         },
         "DELTAX: "},
        {[](MethodScript& s, const Opnd& m) { s.Call(m, "SETSTATUS", {VInt(1), VInt(2)}); },
         "SETSTATUS: Mandatory param n. 3 was not supplied."},
        {[](MethodScript& s, const Opnd& m) { s.Call(m, "SETSTATUS", {VInt(1), VInt(2), VStr("x")}); },
         "SETSTATUS: The param n. 3 must be a number."},
    };
    for (const Row& r : rows) {
        const std::string out = RunScript([&r](MethodScript& s) {
            const Opnd m = s.New("CVMMOUSE");
            r.call(s, m);
            s.Print("NOT REACHED");
        });
        EXPECT_EQ(FirstError(out), r.error) << out;
        EXPECT_EQ(out.find("NOT REACHED"), std::string::npos) << out;
    }
    EXPECT_EQ(engine.mouse[0], 0);  // no SetStatus went through
}
