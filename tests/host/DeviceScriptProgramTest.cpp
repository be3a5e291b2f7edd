// Trackers, serial ports, engine information and application windows end to
// end: qem runs scripts whose OnInit prints "label value" lines, COM1 on a
// pseudo-terminal and another program's window placed in the engine's.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/MethodScript.h"
#include "support/PseudoTerminal.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// label then name(args) on a line.
Opnd Show(MethodScript& s, const char* label, const std::string& name, const std::vector<Opnd>& args = {}) {
    s.Print((std::string(label) + " ").c_str());
    const Opnd r = s.Global(name, args);
    s.Record(r);
    return r;
}

}  // namespace

TEST(DeviceScriptProgram, TrackersSerialPortsAndEngineInformation) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    PseudoTerminal com1;
    ASSERT_TRUE(com1.IsOpen());
    ASSERT_TRUE(com1.Write("pong"));  // waits for the script's read
    const termios before = com1.Settings();

    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    Show(s, "fresh", "GetTrackerPos", {VInt(4)});
    s.Global("SetTrackerPos", {VInt(2), VInt(1), VInt(2), VInt(3)});
    Show(s, "pos", "GetTrackerPos", {VInt(2)});
    s.Global("SetTrackerQuaternion", {VInt(1), VFloats({0.125f, 0.25f, 0.5f, 0.75f})});
    Show(s, "quaternion", "GetTrackerQuaternion", {VInt(1)});
    s.Global("SetTrackerJoy", {VInt(7), VFloats({0.5f, -0.5f})});
    Show(s, "joy", "GetTrackerJoy", {VInt(7)});
    s.Global("SetTrackerButton", {VInt(7), VInt(12)});
    Show(s, "buttons", "GetTrackerButton", {VInt(7)});
    s.Global("SetTrackerRot", {VInt(5), VFloats({10, 20})});
    Show(s, "rot", "GetTrackerRot", {VInt(5)});
    Show(s, "none", "GetTrackerPos", {VInt(10)});
    s.Global("SetScene", {VInt(1)});
    Show(s, "\ninfo", "GetEngineInfo");
    Show(s, "write", "WriteComm", {VInt(1), VStr("ping")});
    Show(s, "read", "ReadComm", {VInt(1)});
    Show(s, "speed", "SetCommParameters", {VInt(1), VFloats({9600, -1, -1, -1, -1, -1})});
    s.Global("ReadComm", {VInt(17)});
    s.Print("DONE\n");  // not reached
    const std::string error = "\nVirtualMachine ERROR (line 0): READCOMM: Serial port number must be between 1 and 16.\n";
    const std::string out = RunScript(QEM_PROGRAM, scratch, s, "devices", error, {{"QEM_COM1", com1.Device()}});
    EXPECT_EQ(AfterBegin(out, error),
              "fresh [ 0 , 0 , 1 ]\n"
              "pos [ 1 , 2 , 3 ]\n"
              "quaternion [ 0.125 , 0.25 , 0.5 , 0.75 ]\n"
              "joy [ 0.5 , -0.5 ]\n"
              "buttons 12\n"
              "rot [ 10 , 20 , 0 ]\n"
              "none Void\n"
              "\nVirtualMachine WARNING (line 0): SETSCENE: This function is obsolete.\n"
              "info Engine n.: 0154 - Version: 154.0.0.1\n"
              "write True\n"
              "read pong\n"
              "speed True\n");
    EXPECT_EQ(out.find("DONE"), std::string::npos);

    EXPECT_EQ(com1.Read(4), "ping");
    // Only the speed changed (the pair was raw 8N1 before the program opened it).
    const termios after = com1.Settings();
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(after.c_cflag & ~CBAUD, (before.c_cflag & ~CBAUD) | CLOCAL | CREAD);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
}

namespace {

// The X window whose WM_CLASS instance is the name, or "".
std::string WindowByInstance(const std::string& name) {
    return Shell("xdotool search --classname '^" + name + "$' 2>/dev/null | head -1");
}

// A line of what xwininfo tells of the window, from its label on.
std::string WindowInfo(const std::string& id, const std::string& label, const std::string& options = "") {
    return Shell("xwininfo -id " + id + " " + options + " | grep -m1 '" + label + "' | sed 's/^ *//'");
}

std::string Geometry(const std::string& id) {
    std::string g;
    for (const char* label : {"Relative upper-left X", "Relative upper-left Y", "Width", "Height", "Map State"})
        g += WindowInfo(id, label) + "\n";
    return g;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

TEST(DeviceScriptProgram, AnotherProgramsWindowLivesInTheEngineWindow) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;

    // The script shows the handle, waits for the file "go" to move the
    // window and for "close" to close it, and tries a program that does not
    // exist.
    ProgramBuilder b;
    b.Return();
    b.Function("ONINIT", 0);
    b.Emit(OP_RESERVE, I(3));
    b.CallNative("SETCURRENTDIR", {VStr(scratch.Path().c_str())}, None());
    b.CallNative("SHELLEXEC", {VStr("xmessage"), VStr("-name qemembedded 'hello there'"), VInt(10), VInt(12), VInt(90),
                               VInt(50)},
                 L(1));
    b.CallNative("OUTPUTLN", {VStr("handle "), L(1)}, None());
    b.Emit(OP_COPY, VInt(0), None(), L(3));
    const Label wait = b.NewLabel(), go = b.NewLabel();
    b.Bind(wait);
    b.CallNative("FILEEXIST", {VStr("go")}, L(2));
    b.Emit(OP_JUMP_TRUE, L(2), None(), At(go));
    b.CallNative("SLEEP", {VInt(20)}, None());
    b.Emit(OP_ADD, L(3), VInt(1), L(3));
    b.Emit(OP_JUMP_LT, L(3), VInt(1000), At(wait));
    b.Bind(go);
    b.CallNative("SETAPPPOSITION", {L(1), VInt(20), VInt(22), VInt(80), VInt(40)}, None());
    b.CallNative("OUTPUTLN", {VStr("moved")}, None());
    b.Emit(OP_COPY, VInt(0), None(), L(3));
    const Label wait2 = b.NewLabel(), go2 = b.NewLabel();
    b.Bind(wait2);
    b.CallNative("FILEEXIST", {VStr("close")}, L(2));
    b.Emit(OP_JUMP_TRUE, L(2), None(), At(go2));
    b.CallNative("SLEEP", {VInt(20)}, None());
    b.Emit(OP_ADD, L(3), VInt(1), L(3));
    b.Emit(OP_JUMP_LT, L(3), VInt(1000), At(wait2));
    b.Bind(go2);
    b.CallNative("CLOSEAPP", {L(1)}, None());
    b.CallNative("OUTPUTLN", {VStr("closed")}, None());
    b.CallNative("SHELLEXEC", {VStr("qem-no-such-program"), VStr(""), VInt(0), VInt(0), VInt(10), VInt(10)}, L(1));
    b.CallNative("OUTPUTLN", {VStr("missing "), L(1)}, None());
    b.Return();
    const std::vector<uint8_t> bytes = b.WriteFile();
    const std::string path = scratch.Make("apps.bin");
    ASSERT_TRUE(WriteFile(path, std::string(bytes.begin(), bytes.end())));
    QemProcess qem(QEM_PROGRAM, {path, "-w", "160", "-h", "120"}, path + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.Started());
    ASSERT_TRUE(qem.WaitFor("handle 1\n", std::chrono::seconds(30))) << qem.Output() << qem.Errors();

    const std::string app = WindowByInstance("qemembedded");
    ASSERT_NE(app, "");
    // Its parent is the engine's window.
    EXPECT_NE(WindowInfo(app, "Parent window id", "-tree").find("\"qem <" + path + ">\""), std::string::npos)
        << WindowInfo(app, "Parent window id", "-tree");
    EXPECT_EQ(Geometry(app),
              "Relative upper-left X:  10\nRelative upper-left Y:  12\nWidth: 90\nHeight: 50\nMap State: IsViewable\n");

    ASSERT_TRUE(WriteFile(scratch.Path() + "go", ""));
    ASSERT_TRUE(qem.WaitFor("moved\n"));
    EXPECT_EQ(Geometry(app),
              "Relative upper-left X:  20\nRelative upper-left Y:  22\nWidth: 80\nHeight: 40\nMap State: IsViewable\n");

    ASSERT_TRUE(WriteFile(scratch.Path() + "close", ""));
    ASSERT_TRUE(qem.WaitFor("closed\n"));
    // The program closes its window when asked.
    EXPECT_TRUE(WaitUntil([&] { return WindowByInstance("qemembedded").empty(); }));
    EXPECT_TRUE(qem.WaitFor("missing 0\n")) << qem.Output();
}
