// The network manager over loopback: channels, the accept poll, connections,
// sends that fail, and what it closes; its warnings and errors recorded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/VRNetManager.h"
#include "scene/EngineServices.h"
#include "support/LoopbackPeer.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

std::vector<std::string>* g_messages = nullptr;

int RecordWarning(const char* text) {
    g_messages->push_back(std::string("warning: ") + text);
    return 0;
}

int RecordError(const char* text) {
    g_messages->push_back(std::string("error: ") + text);
    return 0;
}

class NetManager : public ::testing::Test {
protected:
    NetManager() {
        g_messages = &messages;
        SetEngineWarningHandler(RecordWarning);
        SetEngineErrorHandler(RecordError);
        manager = std::make_unique<VRNetManager>();
    }
    ~NetManager() override {
        manager.reset();
        SetEngineWarningHandler(nullptr);
        SetEngineErrorHandler(nullptr);
        g_messages = nullptr;
    }

    // Polls the listening socket until it gives a connection (5 s at most).
    int AcceptWithin(int listening, int32_t flags) {
        for (int k = 0; k < 500; ++k) {
            const int accepted = manager->AcceptTCP(listening, flags);
            if (accepted >= 0) return accepted;
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    std::vector<std::string> messages;
    std::unique_ptr<VRNetManager> manager;
};

bool NonBlocking(int socket) { return (fcntl(socket, F_GETFL) & O_NONBLOCK) != 0; }

}  // namespace

TEST_F(NetManager, TheFirstAcceptPollStartsTheAcceptEvenWithAClientWaiting) {
    const uint16_t port = FreeLoopbackPort();
    const int listening = manager->CreateChannelTCP(port, "127.0.0.1");
    ASSERT_GE(listening, 0);
    LoopbackPeer client(port);
    EXPECT_EQ(manager->AcceptTCP(listening, kNetNonBlocking), -1);
    const int accepted = AcceptWithin(listening, kNetNonBlocking);
    ASSERT_GE(accepted, 0);
    ASSERT_NE(manager->FindSocket(accepted), nullptr);
    EXPECT_EQ(manager->FindSocket(accepted)->value, kNetNonBlocking);
    EXPECT_EQ(manager->FindSocket(accepted)->expected, -1);
    EXPECT_TRUE(NonBlocking(accepted));

    client.Send("hi");
    long n = 0;
    char buffer[8] = {};
    for (int k = 0; k < 100 && !manager->WaitReadable(accepted, 50); ++k) {
    }
    EXPECT_EQ(manager->ReceiveTCP(accepted, buffer, sizeof buffer, &n), 0);
    EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "hi");

    // The poll after a collected connection starts the next accept.
    EXPECT_EQ(manager->AcceptTCP(listening, 0), -1);
    LoopbackPeer second(port);
    const int blocking = AcceptWithin(listening, 0);
    ASSERT_GE(blocking, 0);
    EXPECT_FALSE(NonBlocking(blocking));
    EXPECT_TRUE(messages.empty());
}

TEST_F(NetManager, ConnectionsHaveNoDelayAndSayIt) {
    LoopbackListener listener;
    const int socket = manager->ConnectTCP("127.0.0.1", listener.Port(), 0);
    ASSERT_GE(socket, 0);
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ASSERT_EQ(getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_EQ(noDelay, 1);
    EXPECT_EQ(messages, std::vector<std::string>{"warning: setsockopt TCP_NODELAY "});
    std::unique_ptr<LoopbackPeer> peer = listener.Accept();
    ASSERT_TRUE(peer);
    manager->SendTCP(socket, "abc", 3);
    EXPECT_EQ(peer->Read(3), "abc");

    messages.clear();
    const uint16_t closed = FreeLoopbackPort();
    EXPECT_EQ(manager->ConnectTCP("127.0.0.1", closed, 0), -1);
    EXPECT_EQ(manager->ConnectTCP("no-such-host.invalid", closed, 0), -1);
    EXPECT_EQ(messages, (std::vector<std::string>{"error: ConnectTCP: Can't connect ",
                                                  "error: ConnectTCP: Can't connect "}));
}

TEST_F(NetManager, ChannelsBindOncePerPortAndDoNotBlockWhenAsked) {
    LoopbackDatagrams taken;
    EXPECT_EQ(manager->CreateChannel(taken.Port(), "127.0.0.1", 0), -1);
    EXPECT_EQ(manager->CreateChannel(FreeLoopbackPort(), "not an address", 0), -1);
    EXPECT_EQ(messages, (std::vector<std::string>{"warning: Failed to bind to UDP port ",
                                                  "warning: Failed to bind to UDP port "}));

    const uint16_t port = FreeLoopbackPort();
    const int channel = manager->CreateChannel(port, nullptr, kNetNonBlocking);
    ASSERT_GE(channel, 0);
    EXPECT_TRUE(NonBlocking(channel));
    char buffer[16];
    long n = 0;
    manager->ReceiveFrom(channel, buffer, sizeof buffer, &n);
    EXPECT_EQ(n, -1);

    taken.SendTo(port, "ping");
    ASSERT_TRUE(manager->WaitReadable(channel, 5000));
    EXPECT_EQ(manager->ReceiveFrom(channel, buffer, sizeof buffer, &n), "127.0.0.1");
    EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "ping");
}

TEST_F(NetManager, FailedSendsAreWarningsAndNeverSignals) {
    LoopbackDatagrams peer;
    const std::string large(70000, 'x');
    manager->SendTo("127.0.0.1", peer.Port(), large.data(), large.size());
    manager->SendTo("no-such-host.invalid", peer.Port(), "a", 1);
    manager->SendTo("127.0.0.1", peer.Port(), "ok", 2);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"warning: SendTo: Variable is too large to be sent on a UDP datagram ",
                                        "warning: SendTo: failed to send variable "}));
    EXPECT_EQ(peer.Receive(), "ok");

    // A peer that went away: sends fail (without SIGPIPE ending the test).
    messages.clear();
    LoopbackListener listener;
    const int socket = manager->ConnectTCP("127.0.0.1", listener.Port(), 0);
    listener.Accept()->Close();
    for (int k = 0; k < 100 && messages.size() < 2; ++k) {
        manager->SendTCP(socket, "lost", 4);
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "warning: SendTCP: failed to send variable ");
}

TEST_F(NetManager, OnlyItsOwnSocketsAreTouched) {
    const int a = manager->CreateChannel(FreeLoopbackPort(), nullptr, 0);
    const int b = manager->CreateChannel(FreeLoopbackPort(), nullptr, 0);
    const int c = manager->CreateChannel(FreeLoopbackPort(), nullptr, 0);
    manager->Close(c);  // the newest, at the head of the list
    EXPECT_EQ(manager->FindSocket(c), nullptr);
    EXPECT_NE(manager->FindSocket(a), nullptr);
    EXPECT_NE(manager->FindSocket(b), nullptr);
    EXPECT_EQ(fcntl(c, F_GETFD), -1);

    // A descriptor the manager did not make: neither closed, read nor written.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    manager->Close(pipeEnds[1]);
    manager->SendTCP(pipeEnds[1], "x", 1);
    long n = 0;
    char byte;
    manager->ReceiveTCP(pipeEnds[0], &byte, 1, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(manager->AcceptTCP(pipeEnds[0], 0), -1);
    EXPECT_EQ(write(pipeEnds[1], "y", 1), 1);
    EXPECT_FALSE(manager->WaitReadable(pipeEnds[0], 0));
    EXPECT_EQ(messages, std::vector<std::string>{"warning: SendTCP: failed to send variable "});
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST_F(NetManager, ClosingEndsAcceptsInProgressAndWhatTheyAccepted) {
    const uint16_t port = FreeLoopbackPort();
    const int listening = manager->CreateChannelTCP(port, nullptr);
    ASSERT_EQ(manager->AcceptTCP(listening, 0), -1);  // blocked in the background
    const auto start = std::chrono::steady_clock::now();
    manager->Close(listening);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // The manager's end: a blocked accept wakes, and a connection that no
    // poll collected is closed (its peer reads the end).
    const uint16_t second = FreeLoopbackPort();
    const int other = manager->CreateChannelTCP(second, nullptr);
    ASSERT_EQ(manager->AcceptTCP(other, 0), -1);
    LoopbackPeer uncollected(second);
    const uint16_t third = FreeLoopbackPort();
    ASSERT_EQ(manager->AcceptTCP(manager->CreateChannelTCP(third, nullptr), 0), -1);
    std::this_thread::sleep_for(100ms);
    manager.reset();
    const auto end = std::chrono::steady_clock::now();
    EXPECT_EQ(uncollected.Read(1, 3s), "");
    EXPECT_LT(std::chrono::steady_clock::now() - end, 1s);
}

TEST_F(NetManager, ChannelsJoinMulticastGroups) {
    const uint16_t port = FreeLoopbackPort();
    const int channel = manager->CreateChannel(port, nullptr, 0);
    EXPECT_EQ(manager->SetMulticastIP(channel, "not a group"), -1);
    if (manager->SetMulticastIP(channel, "239.255.42.99") != 0) GTEST_SKIP() << "no multicast here";
    manager->SendTo("239.255.42.99", port, "group", 5);
    ASSERT_TRUE(manager->WaitReadable(channel, 5000));
    char buffer[16];
    long n = 0;
    manager->ReceiveFrom(channel, buffer, sizeof buffer, &n);
    EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "group");
}
