// Scripts as VRPN servers: CVmVRPNServer's range errors in a machine of the
// test, and end to end qem on port 3883 with test clients (wire bytes,
// pings, a call-back over UDP, bad clients) and the script's own CVmVRPN
// client. The program's tests run one at a time, so port 3883 is theirs.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/script/CVmVRPNServer.h"
#include "media/VrpnTrackerServer.h"
#include "platform/Ipv4Socket.h"
#include "support/LoopbackPeer.h"
#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/VrpnStream.h"
#include "support/ZipWriter.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

const std::string kCookie("vrpn: ver. 07.35  0\0\0\0\0\0", 24);

// Whether this machine lets the program listen on 3883 (nothing else holds it).
bool PortFree() {
    const int socket = Ipv4Socket::OpenTcp();
    const bool free = Ipv4Socket::BindListening(socket, 0, 3883) == 0;
    Ipv4Socket::Close(socket);
    return free;
}

}  // namespace

TEST(VrpnServerScript, TrackerNumbersChannelsAndTheirRangeErrors) {
    struct Case {
        const char* what;
        std::function<void(MethodScript&, const Opnd&)> calls;
        std::string error;
    } cases[] = {
        {"ninth tracker",
         [](MethodScript& s, const Opnd& v) {
             for (int k = 0; k < 9; ++k) s.Record(s.Call(v, "ADDTRACKERDEVICE", {VStr("T"), VInt(60)}));
         },
         "Reached the maximum number of trackers device for the Qem VRPN Server"},
        {"channel 48 then 49",
         [](MethodScript& s, const Opnd& v) {
             s.Call(v, "SETTRACKERANALOGDATA", {VInt(48), VReal(1.5f)});
             s.Print("accepted\n");
             s.Call(v, "SETTRACKERANALOGDATA", {VInt(49), VReal(1.5f)});
         },
         "The first parameter should in range [0, 48]"},
        {"channel -1",
         [](MethodScript& s, const Opnd& v) { s.Call(v, "SETTRACKERANALOGDATA", {VInt(-1), VReal(1)}); },
         "The first parameter should in range [0, 48]"},
        {"position of tracker 8",
         [](MethodScript& s, const Opnd& v) { s.Call(v, "SETTRACKERPOS", {VInt(8), VFloats({1, 2, 3})}); },
         "The first parameter should in range [0, 7]"},
        {"rotation of tracker -1",
         [](MethodScript& s, const Opnd& v) { s.Call(v, "SETTRACKERROT", {VInt(-1), VFloats({90})}); },
         "The first parameter should in range [0, 7]"},
    };
    for (const Case& c : cases) {
        const std::string out = RunMain(
            [&](MethodScript& s) {
                const Opnd v = s.New("CVMVRPNSERVER");
                c.calls(s, v);
                s.Print("not reached\n");
            },
            {new CVmVRPNServer::CRegister()});
        EXPECT_NE(out.find(c.error), std::string::npos) << c.what << ": " << out;
        EXPECT_EQ(out.find("not reached"), std::string::npos) << c.what << ": " << out;
        if (c.what == std::string("ninth tracker")) {
            EXPECT_EQ(out.substr(0, out.find("\nVirtualMachine")), "0\n1\n2\n3\n4\n5\n6\n7\n") << out;
        }
        if (c.what == std::string("channel 48 then 49")) {
            EXPECT_NE(out.find("accepted\n"), std::string::npos) << out;
        }
    }
}

// Positions and rotations that are no vector, or short, count as zeros.
TEST(VrpnServerScript, VectorsMissingOrShortCountAsZeros) {
    const std::string out = RunMain(
        [](MethodScript& s) {
            const Opnd v = s.New("CVMVRPNSERVER");
            s.Call(v, "SETTRACKERPOS", {VInt(0), VStr("x")});
            s.Call(v, "SETTRACKERROT", {VInt(7)});
            s.Call(v, "SETTRACKERPOS", {VInt(1), VFloats({5})});
            s.Print("reached\n");
        },
        {new CVmVRPNServer::CRegister()});
    EXPECT_EQ(out, "reached\n");
}

TEST(VrpnServerScript, ClientsOfPort3883ReadWhatTheScriptPublishes) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    if (!PortFree()) GTEST_SKIP() << "port 3883 is taken on this machine";
    ScratchFolder scratch;
    const std::string go = scratch.Make("go");

    MethodScript s("ONINIT");
    ProgramBuilder& b = s.Builder();
    auto show = [&](const char* label, const Opnd& value) {
        s.Print((std::string(label) + " ").c_str());
        s.Record(value);
    };
    s.Global("SetCurrentDir", {VStr(scratch.Path().c_str())});
    s.Print("BEGIN\n");
    const Opnd server = s.New("CVMVRPNSERVER");
    show("tracker", s.Call(server, "ADDTRACKERDEVICE", {VStr("Tracker0")}));
    s.Call(server, "SETTRACKERPOS", {VInt(0), VFloats({1, 2, 3})});
    s.Call(server, "SETTRACKERROT", {VInt(0), VFloats({0, 0, 90})});
    s.Call(server, "SETTRACKERANALOGDATA", {VInt(47), VReal(7.5f)});
    const Opnd client = s.New("CVMVRPN");
    s.Call(client, "ADDTRACKERDEVICE", {VStr("Tracker0@127.0.0.1")});
    s.Print("SERVING\n");
    // Serves until the test makes the file "go" beside the script.
    const Opnd turns = s.Local(VInt(0));
    const Label serving = b.NewLabel(), served = b.NewLabel();
    b.Bind(serving);
    s.Call(server, "MAINLOOP", {});
    s.Call(client, "UPDATE", {});
    s.Global("Sleep", {VInt(5)});
    b.Emit(OP_INC, turns);
    b.Emit(OP_JUMP_TRUE, s.Global("FileExist", {VStr("go")}), None(), At(served));
    b.Emit(OP_JUMP_LT, turns, VInt(6000), At(serving));
    b.Bind(served);
    show("pos", s.Call(client, "GETTRACKERREPORTPOS", {VInt(0)}));
    s.Call(server, "SETTRACKERROT", {VInt(0), VFloats({10, 20, 30})});
    const Opnd more = s.Local(VInt(0));
    const Label turning = b.NewLabel();
    b.Bind(turning);
    s.Call(server, "MAINLOOP", {});
    s.Call(client, "UPDATE", {});
    s.Global("Sleep", {VInt(5)});
    b.Emit(OP_INC, more);
    b.Emit(OP_JUMP_LT, more, VInt(60), At(turning));
    show("euler", s.Call(client, "GETTRACKERREPORTEULER", {VInt(0)}));
    s.Print("END\n");

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("vrpnserver.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.WaitFor("SERVING\n", 30s)) << qem.Output() << qem.Errors();

    // Bad clients first: garbage, another version, and one that never reads.
    std::unique_ptr<LoopbackPeer> garbage = LoopbackPeer::ConnectWithin(3883, 10s);
    std::unique_ptr<LoopbackPeer> old = LoopbackPeer::ConnectWithin(3883, 10s);
    std::unique_ptr<LoopbackPeer> deaf = LoopbackPeer::ConnectWithin(3883, 10s);
    ASSERT_TRUE(garbage && old && deaf);
    garbage->Send(std::string(40, 'x'));
    old->Send("vrpn: ver. 06.00  0" + std::string(5, '\0'));
    deaf->Send(kCookie);
    EXPECT_TRUE(garbage->WaitClosed(10s));
    EXPECT_TRUE(old->WaitClosed(10s));

    std::unique_ptr<LoopbackPeer> peer = LoopbackPeer::ConnectWithin(3883, 10s);
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->Read(24), kCookie);
    peer->Send(kCookie);
    VrpnReceived got;
    const auto until = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < end) got.Add(peer->Read(1 << 16, 20ms));
        return done();
    };
    ASSERT_TRUE(until([&] { return got.Last("Tracker0", "vrpn_Tracker Pos_Quat") != nullptr; }));
    ASSERT_TRUE(until([&] { return got.Last("QemAnalogServer", "vrpn_Analog Channel") != nullptr; }));
    EXPECT_FALSE(got.undescribed);
    const VrpnReadMessage* analog = got.Last("QemAnalogServer", "vrpn_Analog Channel");
    ASSERT_EQ(analog->body.size(), 49u * 8);
    EXPECT_EQ(VrpnDouble(analog->body, 0), 48);
    const double first[6] = {1, 2, 3, 0, 0, 0.25};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(VrpnDouble(analog->body, 8 + 8 * i), first[i]) << i;
    EXPECT_EQ(VrpnDouble(analog->body, 8 * 48), 7.5);
    const VrpnReadMessage* tracker = got.Last("Tracker0", "vrpn_Tracker Pos_Quat");
    ASSERT_EQ(tracker->body.size(), 64u);
    EXPECT_EQ(VrpnInt(tracker->body, 0), 0);
    const double pose[7] = {1, 2, 3, 0, 0, 0.7071, 0.7071};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(VrpnDouble(tracker->body, 8 + 8 * i), pose[i], 1e-4) << i;

    peer->Send(VrpnStream().Sender(0, "Tracker0").Type(0, "vrpn_Base ping_message").Message(0, 0, {}).Take());
    EXPECT_TRUE(until([&] { return got.Last("Tracker0", "vrpn_Base pong_message") != nullptr; }));

    LoopbackListener callBack;
    LoopbackDatagrams udp;
    udp.SendTo(3883, "127.0.0.1 " + std::to_string(callBack.Port()) + std::string(1, '\0'));
    std::unique_ptr<LoopbackPeer> called = callBack.Accept(10s);
    ASSERT_TRUE(called);
    EXPECT_EQ(called->Read(24), kCookie);

    // The deaf client held nothing up: reports still come.
    const size_t reports = got.Count("QemAnalogServer", "vrpn_Analog Channel");
    EXPECT_TRUE(until([&] { return got.Count("QemAnalogServer", "vrpn_Analog Channel") > reports + 5; }));

    WriteFile(go, "");
    ASSERT_TRUE(qem.WaitFor("END\n", 30s)) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    const std::string shown = out.substr(out.find("BEGIN\n") + 6);
    EXPECT_EQ(shown.substr(0, shown.find("pos")),
              "tracker 0\nAddTrackerDevice:  Added Tracker0@127.0.0.1 with 1 sensors\nSERVING\n");
    EXPECT_NE(shown.find("pos [ 1 , 2 , 3 ]\n"), std::string::npos) << shown;
    const size_t at = shown.find("euler [ ");
    ASSERT_NE(at, std::string::npos) << shown;
    double euler[3];
    ASSERT_EQ(std::sscanf(shown.c_str() + at, "euler [ %lf , %lf , %lf ]", &euler[0], &euler[1], &euler[2]), 3)
        << shown;
    EXPECT_NEAR(euler[0], 10, 1e-3);
    EXPECT_NEAR(euler[1], 20, 1e-3);
    EXPECT_NEAR(euler[2], 30, 1e-3);
}
