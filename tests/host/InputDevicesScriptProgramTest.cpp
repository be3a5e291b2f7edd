// Input devices end to end: qem runs scripts whose OnInit makes joystick
// objects and reads them, where no game controller is plugged in.
#include <glob.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

bool AnyEventDevice() {
    glob_t found{};
    const bool any = glob("/dev/input/event*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

Opnd Member(MethodScript& s, const Opnd& object, const char* member) {
    const Opnd v = s.Local(VInt(-1));
    s.Builder().Emit(OP_MEMBER_READ, object, I(s.Builder().MethodName(member)), v);
    return v;
}

}  // namespace

TEST(InputDevicesScriptProgram, JoysticksWithoutAController) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    if (AnyEventDevice()) GTEST_SKIP() << "this machine has input devices";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    const std::vector<std::pair<const char*, Opnd>> made = {
        {"new", s.Global("NEWJOYSTICK")},
        {"class", s.New("CVMJOYSTICK")},
        {"id0", s.New("CVMJOYSTICK", {VInt(0)})},
        {"id20", s.New("CVMJOYSTICK", {VInt(20)})},
    };
    for (const auto& m : made) {
        t.Show(m.first, m.second);
        for (const char* name : {"ENABLED", "X", "V", "POV", "BUTTONS", "BUTTON1", "BUTTON15"}) {
            t.Show(name, s.Call(m.second, name, {}));
            t.Show(name, Member(s, m.second, name));
        }
    }
    s.Builder().Line(12);
    Member(s, made[0].second, "SET");
    s.Print("DONE\n");  // not reached

    const std::string error = "\nVirtualMachine ERROR (line 12): SET: \n";
    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "joysticks", error), error);
    std::string expected;
    for (const auto& m : made) {
        expected += std::string(m.first) + " (Obj:CVmJoystick)\n";
        for (const char* line : {"ENABLED False\n", "X 0\n", "V 0\n", "POV 0\n", "BUTTONS 0\n", "BUTTON1 False\n",
                                 "BUTTON15 False\n"})
            expected += std::string(line) + line;
    }
    EXPECT_EQ(out, expected);
}
