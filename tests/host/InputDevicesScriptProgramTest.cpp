// Input devices end to end: qem runs scripts whose OnInit makes joystick
// objects and reads them, where no game controller is plugged in; and a
// script whose frames read a mouse object, a step for each key that the test
// sends after moving and clicking the display's pointer with xdotool. (With
// the other program tests: the display's pointer is shared.)
#include <glob.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

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

namespace {

// Step `key` of a frame script: when the frame reads that key, the body runs
// and "END key" is printed.
void Step(MethodScript& s, const Opnd& key, const char* name, const std::function<void()>& body) {
    ProgramBuilder& b = s.Builder();
    const Label next = b.NewLabel();
    b.Emit(OP_JUMP_NE, key, VStr(name), At(next));
    body();
    s.Print((std::string("END ") + name + "\n").c_str());
    b.Bind(next);
}

}  // namespace

TEST(InputDevicesScriptProgram, AMouseReadsTheWindowsMessagesAndItsOwnDevice) {
    if (!std::getenv("DISPLAY") || Shell("command -v xdotool").empty()) GTEST_SKIP() << "no display or xdotool";
    MethodScript s("ONFRAME");
    ProgramBuilder& b = s.Builder();
    b.SetGlobalCount(1);
    const Opnd m = G(0);
    const Label made = b.NewLabel();
    b.Emit(OP_JUMP_NOT_VOID, m, None(), At(made));
    b.Emit(OP_COPY, s.New("CVMMOUSE"), None(), m);
    s.Print("BEGIN\n");
    b.Bind(made);
    const Opnd key = s.Global("KEYBOARD");
    auto show = [&s, &m](std::initializer_list<const char*> names) {
        for (const char* name : names) s.Record(s.Call(m, name, {}));
    };
    Step(s, key, "a", [&] {
        s.Record(s.Global("NEWMOUSE"));
        s.Record(m);
        show({"WHEEL", "DELTAX", "DELTAY"});
        s.Call(m, "SETSTATUS", {VInt(10), VInt(20), VInt(1)});
        for (const char* name : {"X", "Y", "BUTTONL"}) {
            s.Record(s.Call(m, name, {}));
            s.Record(Member(s, m, name));
        }
        show({"BUTTONS"});
        s.Call(m, "SETSTATUS", {VInt(0), VInt(0), VInt(0x112)});
        show({"BUTTONR", "BUTTONM", "DOUBLEL", "DOUBLEL", "BUTTONS"});
    });
    Step(s, key, "b", [&] { show({"DELTAX", "DELTAX", "DELTAY", "DELTAY"}); });
    Step(s, key, "c", [&] {
        s.Global("SETCURSORPOS", {VReal(0.25f), VReal(0.75f)});
        show({"DELTAX", "ISOUT"});
    });
    Step(s, key, "d", [&] {
        show({"X", "Y", "DELTAX", "DELTAY"});
        s.Global("SETCURSORPOS", {VReal(1.5f), VReal(-0.5f)});
        show({"ISOUT", "DELTAX", "DELTAY"});
    });
    Step(s, key, "e", [&] { show({"BUTTONL2", "BUTTONR2"}); });
    Step(s, key, "f", [&] { show({"BUTTONL2"}); });
    Step(s, key, "g", [&] { show({"DOUBLEL", "DOUBLEL"}); });
    Step(s, key, "h", [&] { show({"WHEEL", "WHEEL"}); });
    Step(s, key, "i", [&] {
        b.Line(12);
        Member(s, m, "SETSTATUS");
    });

    ScratchFolder scratch;
    const std::vector<uint8_t> bytes = s.File();
    const std::string path = scratch.Make("mouse.bin");
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {path, "-w", "640", "-h", "480"}, path + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.WaitFor("BEGIN", std::chrono::seconds(30))) << qem.Output() << qem.Errors();
    const std::string window = Shell("timeout 10 xdotool search --sync --name '^qem <" + path + ">$' | head -1");
    ASSERT_FALSE(window.empty());
    const std::string inside = "mousemove --window " + window + " ";
    const std::pair<const char*, std::string> steps[] = {
        {"a", inside + "320 240"},
        {"b", "mousemove_relative 15 0 mousemove_relative -- 0 -7"},
        {"c", ""},
        {"d", ""},
        {"e", inside + "320 240 mousedown 1"},
        {"f", "mouseup 1"},
        {"g", inside + "400 300 click --repeat 2 --delay 100 1"},
        {"h", "click --repeat 2 4"},
        {"i", ""},
    };
    for (const auto& step : steps) {
        Shell("xdotool " + step.second + " key " + step.first);
        const std::string end = step.first == std::string("i") ? "SETSTATUS" : std::string("END ") + step.first;
        ASSERT_TRUE(qem.WaitFor(end)) << step.first << "\n" << qem.Output();
    }
    EXPECT_TRUE(qem.WaitFor("\nVirtualMachine ERROR (line 12): SETSTATUS: \n")) << qem.Output();
    EXPECT_EQ(AfterBegin(qem.Output(), "\nVirtualMachine ERROR"),
              "(Obj:CVmMouse)\n(Obj:CVmMouse)\n0\n0\n0\n10\n10\n20\n20\nTrue\nTrue\n1\n"
              "True\nTrue\nTrue\nFalse\n18\nEND a\n"
              "15\n0\n-7\n0\nEND b\n"
              "0\nFalse\nEND c\n"
              "160\n120\n0\n0\nTrue\n0\n0\nEND d\n"
              "True\nFalse\nEND e\n"
              "False\nEND f\n"
              "True\nFalse\nEND g\n"
              "2\n0\nEND h\n");
}
