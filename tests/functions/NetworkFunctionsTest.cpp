// The network functions called from script bytecode, against peers of the
// test over loopback: what bad parameters and hostile peers get. The
// exchange of packets between scripts: tests/host/NetworkScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "functions/CVmFunction.h"
#include "functions/NetworkPacket.h"
#include "media/VRNetManager.h"
#include "scene/EngineServices.h"
#include "support/GlobalCalls.h"
#include "support/LoopbackPeer.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

class Machine : public CVirtualMachine {
public:
    const char* StringForId(int32_t id) override {
        switch (id) {
        case 2013: return "Param n. %i must be a string.";
        case 2017: return "Param n. %i is invalid.";
        case 4009: return "Invalid data. The data received from network is not an Qem variable.";
        case 4011: return "The variable could not be send.";
        default: return nullptr;
        }
    }
};

// The network manager's messages go to the running script, as in the engine.
int ToScriptWarning(const char* text) {
    if (g_currentVM) g_currentVM->Warning(-1) << text;
    return 0;
}

class NetworkFunctions : public ::testing::Test {
protected:
    NetworkFunctions() {
        vm.RegisterFunctions(new CVmFunction());
        SetEngineWarningHandler(ToScriptWarning);
    }
    ~NetworkFunctions() override {
        DeleteNetManager();
        SetEngineWarningHandler(nullptr);
    }

    Machine vm;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }


}  // namespace

TEST_F(NetworkFunctions, BadParametersStopTheCallBeforeAnythingIsSent) {
    LoopbackDatagrams peer;
    const int32_t port = peer.Port();
    const std::string name255 = Repeat('n', 255);
    struct Case {
        const char* function;
        std::vector<Opnd> args;
        const char* error;
    } cases[] = {
        {"NetVarSendTo", {VStr("127.0.0.1"), VInt(port)}, "invalid param n.3"},
        {"NetVarSendToTCP", {VInt(5)}, "invalid param n.2"},
        {"NetVarSendTo", {VStr("127.0.0.1"), VInt(port), VInt(1), VStr(name255.c_str())}, "Param n. 4 is invalid."},
        {"NetVarSendTo", {VStr("127.0.0.1"), VInt(port), VInt(1), VInt(2)}, "The param n. 4 must be a string."},
        {"NetSendTo", {VStr("127.0.0.1"), VInt(port), VInt(5)}, "Param n. 3 must be a string."},
        {"NetSendToTCP", {VInt(5), VInt(7)}, "Param n. 2 must be a string."},
        {"NetVarSendTo", {VInt(1), VInt(port), VInt(1)}, "The param n. 1 must be a string."},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.function, c.args);
        EXPECT_TRUE(o.error) << c.function;
        EXPECT_EQ(FirstError(o.output), VmUpperName(c.function) + ": " + c.error);
    }
    EXPECT_EQ(peer.Receive(200ms), "");

    // The longest name goes.
    const std::string name254 = Repeat('n', 254);
    EXPECT_FALSE(CallGlobal(vm, "NetVarSendTo", {VStr("127.0.0.1"), VInt(port), VInt(1), VStr(name254.c_str())}).error);
    const std::string packet = peer.Receive();
    ASSERT_EQ(packet.size(), 15u + 255 + 5);
    EXPECT_EQ(static_cast<uint8_t>(packet[13]), 255);
}

TEST_F(NetworkFunctions, CallsWithoutASocketGiveEmptyResults) {
    MethodScript s("MAIN");
    const Opnd kept = s.Local(VStr("kept"));
    s.Record(s.Global("NetReceiveFrom", {VInt(0), kept}, {{2, kept}}));
    s.Record(kept);
    const Opnd kept2 = s.Local(VStr("kept"));
    s.Record(s.Global("NetVarReceiveFrom", {VInt(-1), kept2}, {{2, kept2}}));
    s.Record(kept2);
    s.Record(s.Global("NetReceiveFromTCP", {VInt(0)}));
    s.Record(s.Global("NetVarReceiveFromTCP", {VInt(0)}));
    s.Record(s.Global("NetDataReady", {VInt(0), VInt(10)}));
    // A socket the script did not get from these functions.
    s.Record(s.Global("NetDataReady", {VInt(1), VInt(10)}));
    s.Record(s.Global("NetAcceptTCP", {VInt(0), VInt(0)}));
    s.Record(s.Global("NetGetIP", {VStr("127.0.0.1")}));
    s.Record(s.Global("NetGetIP", {VStr("no-such-host.invalid")}));
    const CallOutcome o = RunScript(vm, s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.output, "\n\nVoid\n\n\nVoid\nFalse\nFalse\n-1\n127.0.0.1\n\n");
}

// A peer whose length field asks for 2 GB: a warning, no allocation, and the
// stream goes on with the next packet.
TEST_F(NetworkFunctions, AHugeLengthFieldIsBadDataNotAnAllocation) {
    LoopbackListener listener;
    std::thread peer([&] {
        std::unique_ptr<LoopbackPeer> connection = listener.Accept();
        if (!connection) return;
        std::vector<uint8_t> next;
        CVmValue four;
        four.SetInteger(4);
        WriteNetworkPacket(four, nullptr, next);
        connection->Send(std::string("\xFFQEM_02\xFF\x7F\xFF\xFF\xFF\xFF\x00\xFF\x02\x00", 15) +
                         std::string(next.begin(), next.end()));
    });
    MethodScript s("MAIN");
    const Opnd socket = s.Global("NetConnectTCP", {VStr("127.0.0.1"), VInt(listener.Port()), VInt(1)});
    s.Record(socket);
    s.Record(s.Global("NetDataReady", {socket, VInt(5000)}));
    s.Record(s.Global("NetVarReceiveFromTCP", {socket}));
    s.Record(s.Global("NetVarReceiveFromTCP", {socket}));
    CallOutcome o = RunScript(vm, s);
    peer.join();
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(StripWarnings(o.output, "setsockopt TCP_NODELAY "), 1);
    EXPECT_EQ(StripWarnings(o.output, "NETVARRECEIVEFROMTCP: " + std::string(vm.StringForId(4009))), 1);
    const size_t end = o.output.find('\n');
    ASSERT_NE(end, std::string::npos);
    const int socketNumber = std::atoi(o.output.substr(0, end).c_str());
    EXPECT_EQ(o.output.substr(end), "\nTrue\nVoid\n4\n");
    const NetSocketNode* node = NetManager()->FindSocket(socketNumber);
    ASSERT_NE(node, nullptr);
    EXPECT_LT(node->Capacity(), 64);
}
