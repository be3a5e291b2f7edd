// VRPN devices end to end: qem runs a script whose OnInit adds CVmVRPN
// devices on a test server of 127.0.0.1, updates until the server's last
// report has come, and prints the reports; the server speaks the wire bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/LoopbackPeer.h"
#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/VrpnStream.h"
#include "support/ZipWriter.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// The numbers of each "label [ a , b ]" or "label n" line of the output.
std::map<std::string, std::vector<double>> Values(const std::string& output) {
    std::map<std::string, std::vector<double>> values;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        std::istringstream words(line.substr(blank + 1));
        std::string word;
        std::vector<double> numbers;
        while (words >> word)
            if (word != "[" && word != "]" && word != ",") numbers.push_back(std::strtod(word.c_str(), nullptr));
        values[line.substr(0, blank)] = numbers;
    }
    return values;
}

// The script updates its devices, 5 ms apart, until button 0 reads 7 (the
// server's last report), 4000 times at most.
void UpdateUntilPressed(MethodScript& s, const Opnd& v) {
    ProgramBuilder& b = s.Builder();
    const Opnd turns = s.Local(VInt(0));
    const Label loop = b.NewLabel(), done = b.NewLabel();
    b.Bind(loop);
    s.Call(v, "UPDATE", {});
    s.Global("Sleep", {VInt(5)});
    b.Emit(OP_INC, turns);
    b.Emit(OP_JUMP_EQ, s.Call(v, "GETBUTTONREPORT", {VInt(0)}), VInt(7), At(done));
    b.Emit(OP_JUMP_LT, turns, VInt(4000), At(loop));
    b.Bind(done);
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << what << " [" << i << "]";
}

}  // namespace

TEST(VrpnScriptProgram, ScriptsReadTrackersButtonsAndDialsOfAServer) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    LoopbackListener server;
    const std::string at = "@127.0.0.1:" + std::to_string(server.Port());
    const std::string nowhere = "@127.0.0.1:" + std::to_string(FreeLoopbackPort());
    auto name = [](const std::string& text) { return VStr(text.c_str()); };

    MethodScript s("ONINIT");
    auto show = [&](const char* label, const Opnd& value) {
        s.Print((std::string(label) + " ").c_str());
        s.Record(value);
    };
    s.Print("BEGIN\n");
    const Opnd v = s.New("CVMVRPN");
    show("tracker", s.Call(v, "ADDTRACKERDEVICE", {name("Tracker0" + at), VInt(3)}));
    show("second", s.Call(v, "ADDTRACKERDEVICE", {name("Tracker1" + at), VInt(1)}));
    show("mapped", s.Call(v, "ADDTRACKERDEVICE", {name("Mapped" + at), VInt(1), VFloats({1, -3, 2})}));
    show("unnamed", s.Call(v, "ADDTRACKERDEVICE", {VStr("")}));
    show("buttons", s.Call(v, "ADDBUTTONDEVICE", {name("Buttons" + at), VInt(2)}));
    show("unnamedbuttons", s.Call(v, "ADDBUTTONDEVICE", {VStr(""), VInt(2)}));
    show("dials", s.Call(v, "ADDANALOGDEVICE", {name("Dials" + at), VInt(3)}));
    show("nodials", s.Call(v, "ADDANALOGDEVICE", {name("Dials" + at), VInt(0)}));
    s.Call(v, "SETSENSOROFFSET", {VInt(3), VFloats({0, 0, 0.1f})});
    // Updates until the server's last report (button 0 pressed as 7).
    UpdateUntilPressed(s, v);
    show("pos0", s.Call(v, "GETTRACKERREPORTPOS", {VInt(0)}));
    show("quat0", s.Call(v, "GETTRACKERREPORTQUAT", {VInt(0)}));
    show("euler1", s.Call(v, "GETTRACKERREPORTEULER", {VInt(1)}));
    show("axisangle2", s.Call(v, "GETTRACKERREPORTAXISANGLE", {VInt(2)}));
    show("angleaxis3", s.Call(v, "GETTRACKERREPORTANGLEAXIS", {VInt(3)}));
    show("pos3", s.Call(v, "GETTRACKERREPORTPOS", {VInt(3)}));
    show("pos4", s.Call(v, "GETTRACKERREPORTPOS", {VInt(4)}));
    show("quat4", s.Call(v, "GETTRACKERREPORTQUAT", {VInt(4)}));
    show("button1", s.Call(v, "GETBUTTONREPORT", {VInt(1)}));
    show("dial2", s.Call(v, "GETANALOGREPORT", {VInt(2)}));
    show("outside", s.Call(v, "GETBUTTONREPORT", {VInt(-1)}));
    s.Call(v, "CLOSE", {});
    s.Print("CLOSED\n");
    show("kept", s.Call(v, "GETTRACKERREPORTPOS", {VInt(0)}));
    show("late", s.Call(v, "ADDTRACKERDEVICE", {name("Late" + nowhere)}));
    s.Call(v, "UPDATE", {});
    s.Print("END\n");

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("vrpn.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    std::unique_ptr<LoopbackPeer> peer = server.Accept(30s);
    ASSERT_TRUE(peer) << qem.Output() << qem.Errors();
    EXPECT_EQ(peer->Read(24), std::string("vrpn: ver. 07.35  0\0\0\0\0\0", 24));
    VrpnStream stream;
    stream.Cookie().Sender(0, "Tracker0").Sender(1, "Tracker1").Sender(2, "Mapped").Sender(3, "Buttons");
    stream.Sender(4, "Dials").Type(0, "vrpn_Tracker Pos_Quat").Type(1, "vrpn_Button Change");
    stream.Type(2, "vrpn_Analog Channel");
    stream.PosQuat(0, 0, 0, {1, 2, 3}, {0, 0, 0, 1});
    // roll 10, pitch 20, yaw 30
    stream.PosQuat(0, 0, 1, {0, 0, 0}, VrpnEulerTurn(10, 20, 30));
    stream.PosQuat(1, 0, 0, {1, 2, 3}, VrpnTurn(90, 1, 0, 0));
    stream.PosQuat(2, 0, 0, {1, 2, 3}, {0.1, 0.2, 0.3, 0.9});
    stream.PosQuat(0, 0, -1, {9, 9, 9}, {1, 0, 0, 0}).PosQuat(0, 0, 3, {9, 9, 9}, {1, 0, 0, 0});
    stream.Analog(4, 2, 1e9, {});
    stream.Analog(4, 2, {0.5, 1.5, 2.5}).Button(3, 1, 1, 1).Button(3, 1, 0, 7);
    peer->Send(stream.Take());
    ASSERT_TRUE(qem.WaitFor("END\n", 30s)) << qem.Output() << qem.Errors();
    EXPECT_TRUE(peer->WaitClosed(5s));  // by Close

    const std::string out = qem.Output();
    const size_t begin = out.find("BEGIN\n");
    ASSERT_NE(begin, std::string::npos) << out;
    const std::string shown = out.substr(begin + 6);
    // Each call runs before its label is printed.
    EXPECT_EQ(shown.substr(0, shown.find("pos0")),
              "AddTrackerDevice:  Added Tracker0" + at + " with 3 sensors\ntracker 2\n" +
                  "AddTrackerDevice:  Added Tracker1" + at + " with 1 sensors\nsecond 3\n" +
                  "AddTrackerDevice:  Added Mapped" + at + " with 1 sensors\nmapped 4\n" + "unnamed -1\n" +
                  "AddButtonDevice:  Added Buttons" + at + " with 2 buttons\nbuttons 1\n" + "unnamedbuttons -1\n" +
                  "AddAnalogDevice:  Added Dials" + at + " with 3 analog sensors\ndials 2\n" + "nodials -1\n");
    std::map<std::string, std::vector<double>> values = Values(shown);
    ExpectNear(values["pos0"], {1, 2, 3}, "pos0");
    ExpectNear(values["quat0"], {0, 0, 0, 1}, "quat0");
    ExpectNear(values["euler1"], {10, 20, 30}, "euler1");
    ExpectNear(values["axisangle2"], {0, 0, 1, 0}, "never reported");
    ExpectNear(values["angleaxis3"], {90, 1, 0, 0}, "angleaxis3");
    ExpectNear(values["pos3"], {1, 1.9, 3}, "offset turned");
    ExpectNear(values["pos4"], {1, -3, 2}, "mapped");
    ExpectNear(values["quat4"], {0.1, -0.3, 0.2, 0.9}, "mapped");
    ExpectNear(values["button1"], {1}, "button1");
    ExpectNear(values["dial2"], {2.5}, "dial2");
    ExpectNear(values["outside"], {0}, "outside");
    ExpectNear(values["kept"], {1, 2, 3}, "kept after Close");
    EXPECT_NE(shown.find("AddTrackerDevice:  Added Late" + nowhere + " with 1 sensors\nlate 5\n"), std::string::npos)
        << shown;
    const std::string errors = qem.Errors();
    EXPECT_NE(errors.find("Error in AddTrackerDevice():  No tracker name given.\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Error in GetButtonReport():  Index out of bounds.\n"), std::string::npos) << errors;
}

// A server of another version and a server sending bad framing are both
// hung up on; the client tries again and reads the third.
TEST(VrpnScriptProgram, BadServersAreDroppedAndTriedAgain) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    LoopbackListener server;
    const std::string device = "Buttons@127.0.0.1:" + std::to_string(server.Port());

    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    const Opnd v = s.New("CVMVRPN");
    s.Call(v, "ADDBUTTONDEVICE", {VStr(device.c_str())});
    UpdateUntilPressed(s, v);
    s.Print("button ");
    s.Record(s.Call(v, "GETBUTTONREPORT", {VInt(0)}));
    s.Print("END\n");

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("vrpnbad.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    const std::string framing[] = {
        VrpnStream().Cookie("vrpn: ver. 06.00  0").Take(),
        VrpnStream().Cookie().Raw(std::string("\0\0\0\x08", 4) + std::string(20, '\0')).Take(),
    };
    for (const std::string& bad : framing) {
        std::unique_ptr<LoopbackPeer> peer = server.Accept(30s);
        ASSERT_TRUE(peer) << qem.Output() << qem.Errors();
        peer->Send(bad);
        EXPECT_TRUE(peer->WaitClosed(5s));
    }
    std::unique_ptr<LoopbackPeer> peer = server.Accept(30s);
    ASSERT_TRUE(peer) << qem.Output() << qem.Errors();
    peer->Send(VrpnStream().Cookie().Sender(0, "Buttons").Type(0, "vrpn_Button Change").Button(0, 0, 0, 7).Take());
    ASSERT_TRUE(qem.WaitFor("END\n", 30s)) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    EXPECT_NE(out.find("button 7\nEND\n"), std::string::npos) << out;
}
