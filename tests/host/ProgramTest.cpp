// The program end to end under the test display: qem runs a generated
// script, xdotool types and clicks, the script prints what OnEvent gets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/EngineFixtures.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/WindowClose.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
        // ONEVENT(id, a, b) prints "<id a b>"; ONINIT prints READY.
        ProgramBuilder b;
        b.Return();
        b.Function("ONINIT", 0);
        b.Emit(OP_OUTPUT, VStr("READY\n"));
        b.Return();
        b.Function("ONEVENT", 3);
        b.Emit(OP_OUTPUT, VStr("<"));
        b.Emit(OP_OUTPUT, L(-1));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-2));
        b.Emit(OP_OUTPUT, VStr(" "));
        b.Emit(OP_OUTPUT, L(-3));
        b.Emit(OP_OUTPUT, VStr(">\n"));
        b.Return();
        script = WriteProgram(scratch, "events.bin", b);
    }

    // The X window of the program (by its title), with the pointer inside it
    // so that it has the focus.
    std::string Window(const std::string& title) {
        const std::string id = Shell("timeout 10 xdotool search --sync --name '^" + title + "$' | head -1");
        if (!id.empty()) Shell("xdotool mousemove --window " + id + " 40 40");
        return id;
    }

    ScratchFolder scratch;
    std::string script;
};

}  // namespace

TEST_F(ProgramTest, KeysClicksAndTheWheelReachOnEvent) {
    QemProcess qem(QEM_PROGRAM, {script, "-w", "200", "-h", "150"}, scratch.Make("out.txt"));
    ASSERT_TRUE(qem.Started());
    ASSERT_TRUE(qem.WaitFor("READY")) << qem.Output();
    const std::string title = "qem <" + script + ">";
    const std::string id = Window(title);
    ASSERT_FALSE(id.empty()) << "no window titled " << title;
    EXPECT_EQ(Shell("xdotool getwindowname " + id), title);

    Shell("xdotool key a");
    EXPECT_TRUE(qem.WaitFor("<256 65 ")) << qem.Output();
    EXPECT_TRUE(qem.WaitFor("<258 97 "));
    Shell("xdotool click 1");
    EXPECT_TRUE(qem.WaitFor("<513 1 "));
    EXPECT_TRUE(qem.WaitFor("<514 0 "));
    Shell("xdotool click 4");
    EXPECT_TRUE(qem.WaitFor("<522 7864320 ")) << qem.Output();  // 120 in the high word

    // Shift+F9: OnEvent sees the key, then the program stops and ends with 0.
    Shell("xdotool key shift+F9");
    EXPECT_EQ(qem.WaitExit(), 0) << qem.Output();
    const std::string out = qem.Output();
    EXPECT_NE(out.find("<256 120 "), std::string::npos);
    EXPECT_NE(out.find("\nOstrel Stopped!\n"), std::string::npos);
}

TEST_F(ProgramTest, BorderlessWindowCarriesTheHints) {
    QemProcess qem(QEM_PROGRAM, {script, "-b"}, scratch.Make("out.txt"));
    ASSERT_TRUE(qem.WaitFor("READY")) << qem.Output();
    const std::string id = Window("qem <" + script + ">");
    ASSERT_FALSE(id.empty());
    const std::string hints = Shell("xprop -id " + id + " _MOTIF_WM_HINTS");
    EXPECT_NE(hints.find("= 0x2, 0x0, 0x0"), std::string::npos) << hints;
}

TEST_F(ProgramTest, ClosingTheWindowEndsThroughTheExitRoutine) {
    QemProcess qem(QEM_PROGRAM, {script}, scratch.Make("out.txt"));
    ASSERT_TRUE(qem.WaitFor("READY")) << qem.Output();
    const std::string id = Window("qem <" + script + ">");
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(RequestWindowClose(id));
    EXPECT_EQ(qem.WaitExit(), 0);
    EXPECT_NE(qem.Output().find("\nOstrel Stopped!\n"), std::string::npos) << qem.Output();
}
