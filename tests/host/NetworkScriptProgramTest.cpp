// Networking end to end: qem runs scripts whose OnInit exchanges datagrams
// and packets with the script's own channel and with peers of the test over
// loopback, and prints what the functions give.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackPeer.h"
#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// "same" or "other" as the two values are equal or not.
Opnd Same(MethodScript& s, const Opnd& a, const Opnd& b) {
    ProgramBuilder& p = s.Builder();
    const Opnd answer = s.Local(VStr("same"));
    const Label done = p.NewLabel();
    p.Emit(OP_JUMP_EQ, a, b, At(done));
    p.Emit(OP_COPY, VStr("other"), None(), answer);
    p.Bind(done);
    return answer;
}

Opnd Length(MethodScript& s, const Opnd& text) {
    const Opnd n = s.Local(VInt(0));
    s.Builder().Emit(OP_LEN, text, None(), n);
    return n;
}

const char* const kNotAVariable = "Invalid data. The data received from network is not an Qem variable.";

}  // namespace

TEST(NetworkScriptProgram, ScriptsSendAndReceiveDatagramsAndVariables) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    LoopbackDatagrams peer;
    const Opnd peerPort = VInt(peer.Port());
    const Opnd own = VInt(FreeLoopbackPort());
    const Opnd here = VStr("127.0.0.1");

    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    const Opnd c = s.Global("NetCreateChannel", {own, here, VInt(1)});
    const Opnd from = s.Local(VStr("kept"));
    const Opnd name = s.Local(VStr("kept"));
    s.Print("nothing ");
    s.Record(s.Global("NetVarReceiveFrom", {c, from, name}, {{2, from}, {3, name}}));
    s.Record(from);
    s.Record(name);
    s.Print("ready ");
    s.Record(s.Global("NetDataReady", {c, VInt(50)}));
    s.Global("NetVarSendTo", {here, peerPort, VInt(5)});

    const float xyz[3] = {1, 2, 3};
    CVmValue vector;
    vector.SetVector(xyz, 3);
    s.Global("NetVarSendTo", {here, own, VValue(vector), VStr("pos")});
    s.Print("ready ");
    s.Record(s.Global("NetDataReady", {c, VInt(5000)}));
    s.Record(s.Global("NetVarReceiveFrom", {c, from, name}, {{2, from}, {3, name}}));
    s.Record(from);
    s.Record(Same(s, name, VStr("pos")));
    s.Record(Length(s, name));

    s.Global("NetVarSendTo", {here, own, VInt(5)});
    s.Global("NetDataReady", {c, VInt(5000)});
    const Opnd sender = s.Local(VStr(""));
    s.Print("raw ");
    s.Record(Length(s, s.Global("NetReceiveFrom", {c, sender}, {{2, sender}})));
    s.Record(sender);

    s.Global("NetSendTo", {here, own, VStr("hello")});
    s.Global("NetDataReady", {c, VInt(5000)});
    const Opnd untouched = s.Local(VStr("kept"));
    s.Print("hello ");
    s.Record(s.Global("NetVarReceiveFrom", {c, untouched}, {{2, untouched}}));
    s.Record(untouched);

    s.Global("NetSendTo", {here, peerPort, s.New("BYTEBUFFER", {VInt(70000)})});
    s.Global("NetSendTo", {here, peerPort, VStr("raw bytes")});
    s.Print("END\n");
    s.Global("NetVarSendTo", {here, peerPort});
    s.Print("DONE\n");  // not reached

    const std::string error = "\nVirtualMachine ERROR (line 0): NETVARSENDTO: invalid param n.3\n";
    const std::string out = RunScript(QEM_PROGRAM, scratch, s, "udp", error);
    std::string shown = AfterBegin(out, "END\n");
    EXPECT_EQ(StripWarnings(shown, std::string("NETVARRECEIVEFROM: ") + kNotAVariable), 1) << shown;
    EXPECT_EQ(StripWarnings(shown, "SendTo: Variable is too large to be sent on a UDP datagram "), 1) << shown;
    EXPECT_EQ(shown,
              "nothing Void\nkept\nkept\n"
              "ready False\n"
              "ready True\n[ 1 , 2 , 3 ]\n127.0.0.1\nsame\n4\n"
              "raw 20\n127.0.0.1\n"
              "hello Void\nkept\n");
    EXPECT_NE(out.find(error), std::string::npos);
    EXPECT_EQ(out.find("DONE"), std::string::npos);

    EXPECT_EQ(peer.Receive(),
              std::string("\xFF\x51\x45\x4D\x5F\x30\x32\xFF\x00\x00\x00\x14\xFF\x00\xFF\x02\x00\x00\x00\x05", 20));
    EXPECT_EQ(peer.Receive(), "raw bytes");
    EXPECT_EQ(peer.Receive(100ms), "");
}

TEST(NetworkScriptProgram, ScriptsAcceptConnectionsAndReassemblePackets) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const uint16_t port = FreeLoopbackPort();

    MethodScript s("ONINIT");
    ProgramBuilder& b = s.Builder();
    s.Print("BEGIN\n");
    const Opnd listening = s.Global("NetCreateChannelTCP", {VInt(port)});
    const Opnd accepted = s.Local(VInt(0));
    b.CallNative("NETACCEPTTCP", {listening, VInt(1)}, accepted);
    s.Print("first ");
    s.Record(accepted);
    s.Print("LISTENING\n");
    const Label poll = b.NewLabel();
    b.Bind(poll);
    b.CallNative("NETDATAREADY", {listening, VInt(20)}, None());
    b.CallNative("NETACCEPTTCP", {listening, VInt(1)}, accepted);
    b.Emit(OP_JUMP_EQ, accepted, VInt(-1), At(poll));

    const Opnd name = s.Local(VStr("none"));
    const Label receive = b.NewLabel();
    b.Bind(receive);
    b.CallNative("NETDATAREADY", {accepted, VInt(50)}, None());
    const Opnd value = s.Global("NetVarReceiveFromTCP", {accepted, name}, {{2, name}});
    b.Emit(OP_JUMP_VOID, value, None(), At(receive));
    s.Print("packet ");
    s.Record(value);
    s.Record(Same(s, name, VStr("nm")));
    s.Record(Length(s, name));

    s.Global("NetVarSendToTCP", {accepted, VStr("ab"), VStr("x")});
    s.Global("NetSendToTCP", {accepted, VStr("raw")});
    s.Print("SENT\n");
    s.Global("NetDataReady", {accepted, VInt(10000)});
    s.Print("reply ");
    s.Record(s.Global("NetReceiveFromTCP", {accepted}));
    s.Global("NetClose", {accepted});
    s.Global("NetClose", {listening});
    s.Print("END\n");

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("tcp.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.WaitFor("LISTENING\n", 30s)) << qem.Output() << qem.Errors();
    LoopbackPeer peer(port);
    // 42 named "nm": 23 bytes, after 5 bytes of garbage, in three pieces.
    const std::string packet("\xFFQEM_02\xFF\x00\x00\x00\x17\xFF\x03nm\x00\xFF\x02\x00\x00\x00\x2A", 23);
    peer.Send("xxxxx" + packet.substr(0, 12));
    std::this_thread::sleep_for(100ms);
    peer.Send(packet.substr(12, 6));
    std::this_thread::sleep_for(100ms);
    peer.Send(packet.substr(18));

    ASSERT_TRUE(qem.WaitFor("SENT\n", 30s)) << qem.Output() << qem.Errors();
    EXPECT_EQ(peer.Read(24 + 3), std::string("\xFFQEM_02\xFF\x00\x00\x00\x18\xFF\x02x\x00\xFF\x05\x00\x00\x00\x02"
                                             "ab",
                                             24) +
                                     "raw");
    peer.Send("reply");
    ASSERT_TRUE(qem.WaitFor("END\n", 30s)) << qem.Output() << qem.Errors();
    EXPECT_EQ(peer.Read(1, 5s), "");  // the script closed the connection

    std::string shown = AfterBegin(qem.Output(), "END\n");
    EXPECT_EQ(StripWarnings(shown, std::string("NETVARRECEIVEFROMTCP: ") + kNotAVariable), 1) << shown;
    EXPECT_EQ(shown, "first -1\nLISTENING\npacket 42\nsame\n3\nSENT\nreply reply\n");
}

// A channel opened in OnDownload, before the scene exists, is still open in
// OnInit; a failed connect there stops the script, not the program.
TEST(NetworkScriptProgram, ChannelsOpenBeforeTheSceneAndOutliveItsCreation) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const Opnd here = VStr("127.0.0.1");
    auto script = [&](bool failingConnect) {
        const Opnd own = VInt(FreeLoopbackPort());
        ProgramBuilder b;
        b.SetGlobalCount(1);
        b.Return();
        b.Function("ONDOWNLOAD", 0);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("NETCREATECHANNEL", {own, here, VInt(1)}, G(0));
        if (failingConnect) b.CallNative("NETCONNECTTCP", {here, VInt(FreeLoopbackPort())}, L(1));
        b.Return();
        b.Function("ONINIT", 0);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("NETVARSENDTO", {here, own, VStr("early")}, None());
        b.CallNative("NETDATAREADY", {G(0), VInt(5000)}, None());
        b.CallNative("NETVARRECEIVEFROM", {G(0)}, L(1));
        b.CallNative("OUTPUTLN", {VStr("received "), L(1)}, None());
        b.Return();
        const std::vector<uint8_t> bytes = b.WriteFile();
        const std::string path = scratch.Make(failingConnect ? "connect.bin" : "early.bin");
        WriteFile(path, std::string(bytes.begin(), bytes.end()));
        return path;
    };

    const std::string early = script(false);
    QemProcess opened(QEM_PROGRAM, {early, "-w", "160", "-h", "120"}, early + ".out", {{"TMPDIR", scratch.Path()}});
    EXPECT_TRUE(opened.WaitFor("received early\n", 30s)) << opened.Output() << opened.Errors();

    const std::string connect = script(true);
    QemProcess failed(QEM_PROGRAM, {connect, "-w", "160", "-h", "120"}, connect + ".out",
                      {{"TMPDIR", scratch.Path()}});
    EXPECT_TRUE(failed.WaitFor("VirtualMachine ERROR (line 0): ConnectTCP: Can't connect", 30s))
        << failed.Output() << failed.Errors();
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(failed.Running());
    EXPECT_EQ(failed.Errors().find("E R R O R"), std::string::npos) << failed.Errors();
}
