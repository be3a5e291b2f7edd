// The VRPN server side on a free port of 127.0.0.1: what test clients read
// (cookie, descriptions before use, analog and tracker reports, pongs), the
// clients it calls back, the clients it drops, and its port being taken.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/VrpnClient.h"
#include "media/VrpnTrackerServer.h"
#include "platform/Ipv4Socket.h"
#include "scene/EngineServices.h"
#include "support/LoopbackPeer.h"
#include "support/VrpnStream.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

const std::string kCookie("vrpn: ver. 07.35  0\0\0\0\0\0", 24);

// Runs the loop until the condition holds, at most 5 s.
bool LoopUntil(const std::function<void()>& loop, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        loop();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A test client of the server.
struct TestClient {
    explicit TestClient(std::unique_ptr<LoopbackPeer> p) : peer(std::move(p)) {}

    // Reads the server's cookie and sends one.
    bool Greet(const std::string& cookie = kCookie) {
        if (peer->Read(24) != kCookie) return false;
        peer->Send(cookie);
        return true;
    }
    // Takes what has arrived.
    void Read() { got.Add(peer->Read(1 << 20, 1ms)); }
    const VrpnReadMessage* Last(const std::string& sender, const std::string& type) const {
        return got.Last(sender, type);
    }

    std::unique_ptr<LoopbackPeer> peer;
    VrpnReceived got;
};

class VrpnServer : public ::testing::Test {
protected:
    VrpnServer() : connection(0), server(connection) {}

    std::unique_ptr<TestClient> Connect() {
        std::unique_ptr<LoopbackPeer> peer = LoopbackPeer::ConnectWithin(connection.Port(), 5s);
        if (!peer) return nullptr;
        const size_t before = connection.ClientCount();
        LoopUntil([&] { server.MainLoop(); }, [&] { return connection.ClientCount() > before; });
        return std::unique_ptr<TestClient>(new TestClient(std::move(peer)));
    }

    VrpnServerConnection connection;
    VrpnTrackerServer server;
};

}  // namespace

TEST_F(VrpnServer, ClientsReadDescribedAnalogAndTrackerReports) {
    ASSERT_TRUE(connection.Listening());
    EXPECT_EQ(server.AddTracker("Tracker0", 50), 0);
    EXPECT_EQ(server.AddTracker("Tracker1", 50), 1);
    std::unique_ptr<TestClient> client = Connect();
    ASSERT_TRUE(client && client->Greet());
    const double position[3] = {1, 2, 3}, rotation[3] = {0, 0, 90};
    ASSERT_TRUE(server.SetPosition(0, position));
    ASSERT_TRUE(server.SetRotation(0, rotation));
    ASSERT_TRUE(server.SetChannel(47, 7.5));
    ASSERT_TRUE(LoopUntil([&] { server.MainLoop(), client->Read(); },
                          [&] { return client->Last("Tracker0", "vrpn_Tracker Pos_Quat") != nullptr; }));

    EXPECT_FALSE(client->got.undescribed);
    const VrpnReadMessage* analog = client->Last("QemAnalogServer", "vrpn_Analog Channel");
    ASSERT_TRUE(analog);
    ASSERT_EQ(analog->body.size(), 49u * 8);
    EXPECT_EQ(VrpnDouble(analog->body, 0), 48);
    const double first[6] = {1, 2, 3, 0, 0, 0.25};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(VrpnDouble(analog->body, 8 + 8 * i), first[i]) << i;
    EXPECT_EQ(VrpnDouble(analog->body, 8 * 48), 7.5);

    const VrpnReadMessage* tracker = client->Last("Tracker0", "vrpn_Tracker Pos_Quat");
    ASSERT_EQ(tracker->body.size(), 64u);
    EXPECT_EQ(VrpnInt(tracker->body, 0), 0);
    const double pose[7] = {1, 2, 3, 0, 0, std::sqrt(0.5), std::sqrt(0.5)};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(VrpnDouble(tracker->body, 8 + 8 * i), pose[i], 1e-12) << i;
    EXPECT_TRUE(LoopUntil([&] { server.MainLoop(), client->Read(); },
                          [&] { return client->Last("Tracker1", "vrpn_Tracker Pos_Quat") != nullptr; }));

    // A ping from a device of the server is answered by that device.
    client->peer->Send(VrpnStream().Sender(3, "Tracker1").Type(5, "vrpn_Base ping_message").Message(3, 5, {}).Take());
    ASSERT_TRUE(LoopUntil([&] { server.MainLoop(), client->Read(); },
                          [&] { return client->Last("Tracker1", "vrpn_Base pong_message") != nullptr; }));
    EXPECT_EQ(client->Last("Tracker1", "vrpn_Base pong_message")->body, "");
}

TEST_F(VrpnServer, TrackersReportAtTheirRateAndOurClientReadsThem) {
    EXPECT_EQ(server.AddTracker("Slow", 2), 0);
    VrpnModule m;
    std::ostringstream sink;
    m.out = m.err = &sink;
    ASSERT_EQ(VrpnAddTracker(m, "Slow@127.0.0.1:" + std::to_string(connection.Port()), 1, nullptr), 0);
    const double position[3] = {1, 2, 3}, rotation[3] = {10, 20, 30};
    server.SetPosition(0, position);
    server.SetRotation(0, rotation);
    std::unique_ptr<TestClient> watcher = Connect();
    ASSERT_TRUE(watcher && watcher->Greet());
    ASSERT_TRUE(LoopUntil(
        [&] { server.MainLoop(), VrpnUpdate(m), watcher->Read(); },
        [&] { return m.sensorReports[0].position[0] == 1; }));
    float euler[4];
    VrpnReadReport(m, 0, VrpnReportForm::Euler, euler);
    EXPECT_NEAR(euler[0], 10, 1e-4);
    EXPECT_NEAR(euler[1], 20, 1e-4);
    EXPECT_NEAR(euler[2], 30, 1e-4);

    // At 2 a second, 100 ms of loops give at most one more report.
    const size_t reports = watcher->got.Count("Slow", "vrpn_Tracker Pos_Quat");
    const auto end = std::chrono::steady_clock::now() + 100ms;
    while (std::chrono::steady_clock::now() < end) server.MainLoop(), watcher->Read();
    EXPECT_LE(watcher->got.Count("Slow", "vrpn_Tracker Pos_Quat") - reports, 1u);
}

TEST_F(VrpnServer, ChannelsAndTrackersStayInTheirRanges) {
    const double turn[3] = {90, 0, 0};
    EXPECT_TRUE(server.SetRotation(1, turn));
    EXPECT_EQ(server.Channels()[9], 0.25);
    EXPECT_EQ(server.Channels()[10], 0);
    EXPECT_EQ(server.Channels()[11], 0);
    EXPECT_TRUE(server.SetChannel(48, 1.5));  // kept past the reported channels
    EXPECT_EQ(server.Channels()[48], 1.5);
    EXPECT_FALSE(server.SetChannel(49, 1));
    EXPECT_FALSE(server.SetChannel(-1, 1));
    EXPECT_FALSE(server.SetPosition(8, turn));
    EXPECT_FALSE(server.SetRotation(-1, turn));
    for (int32_t k = 0; k < 8; ++k) EXPECT_EQ(server.AddTracker("T" + std::to_string(k), 50), k);
    EXPECT_EQ(server.AddTracker("T8", 50), -1);
    EXPECT_EQ(server.TrackerCount(), 8);
}

// Two servers on one connection report under the same name, each its own
// values; a server that goes stops reporting.
TEST_F(VrpnServer, ASecondServerSharesTheConnectionAndBothReport) {
    std::unique_ptr<VrpnTrackerServer> second(new VrpnTrackerServer(connection));
    std::unique_ptr<TestClient> client = Connect();
    ASSERT_TRUE(client && client->Greet());
    server.SetChannel(0, 1);
    second->SetChannel(0, 2);
    auto firsts = [&] {
        std::vector<double> values;
        for (const VrpnReadMessage& m : client->got.messages)
            if (m.type >= 0 && m.body.size() == 49 * 8) values.push_back(VrpnDouble(m.body, 8));
        return values;
    };
    ASSERT_TRUE(LoopUntil([&] { server.MainLoop(), second->MainLoop(), client->Read(); },
                          [&] { return firsts().size() >= 4; }));
    const std::vector<double> both = firsts();
    EXPECT_NE(std::find(both.begin(), both.end(), 1.0), both.end());
    EXPECT_NE(std::find(both.begin(), both.end(), 2.0), both.end());
    EXPECT_EQ(client->got.senders.size(), 1u);
}

TEST_F(VrpnServer, ClientsCalledBackOverUdpAreServed) {
    LoopbackListener callBack;
    LoopbackDatagrams udp;
    udp.SendTo(connection.Port(), "127.0.0.1 " + std::to_string(callBack.Port()) + std::string(1, '\0'));
    // Requests that are not an address and a port are passed over.
    udp.SendTo(connection.Port(), std::string("localhost 1\0", 12));
    udp.SendTo(connection.Port(), std::string("127.0.0.1 99999\0", 16));
    std::unique_ptr<LoopbackPeer> peer;
    ASSERT_TRUE(LoopUntil([&] { server.MainLoop(); }, [&] { return (peer = callBack.Accept(1ms)) != nullptr; }));
    TestClient client(std::move(peer));
    ASSERT_TRUE(client.Greet());
    ASSERT_TRUE(LoopUntil([&] { server.MainLoop(), client.Read(); },
                          [&] { return client.Last("QemAnalogServer", "vrpn_Analog Channel") != nullptr; }));
    EXPECT_EQ(connection.ClientCount(), 1u);

    struct Case {
        std::string text;
        bool valid;
    } cases[] = {
        {std::string("10.0.0.1 3883\0", 14), true}, {"10.0.0.1 3883", true},  {"10.0.0.256 1", false},
        {"10.0.0 1", false},                         {"10.0.0.1  1", false},   {"10.0.0.1 0", false},
        {"10.0.0.1 1x", false},                      {"", false},
    };
    for (const Case& c : cases) {
        uint32_t address;
        uint16_t port;
        EXPECT_EQ(VrpnReadCallBackRequest(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size(), address,
                                          port),
                  c.valid)
            << c.text;
    }
}

TEST_F(VrpnServer, BadClientsAreDroppedAndTheOthersGoOn) {
    std::unique_ptr<TestClient> good = Connect();
    std::unique_ptr<TestClient> garbage = Connect();
    std::unique_ptr<TestClient> old = Connect();
    std::unique_ptr<TestClient> deaf = Connect();
    ASSERT_TRUE(good && garbage && old && deaf);
    ASSERT_TRUE(good->Greet());
    garbage->peer->Send(std::string(64, 'x'));
    ASSERT_TRUE(old->Greet("vrpn: ver. 06.00  0" + std::string(5, '\0')));
    ASSERT_TRUE(deaf->Greet());
    EXPECT_TRUE(LoopUntil([&] { server.MainLoop(); }, [&] { return garbage->peer->WaitClosed(1ms); }));
    EXPECT_TRUE(LoopUntil([&] { server.MainLoop(); }, [&] { return old->peer->WaitClosed(1ms); }));

    // The deaf client reads nothing: the loop goes on until it is dropped.
    for (int32_t k = 0; k < 8; ++k) server.AddTracker("T" + std::to_string(k), 0);
    size_t loops = 0;
    while (connection.ClientCount() > 1 && loops < 500000) {
        server.MainLoop();
        if (++loops % 64 == 0) good->Read();
        good->got.messages.clear();
    }
    EXPECT_EQ(connection.ClientCount(), 1u) << loops << " loops";
    good->Read();
    server.MainLoop();
    good->got.messages.clear();
    EXPECT_TRUE(LoopUntil([&] { server.MainLoop(), good->Read(); }, [&] { return !good->got.messages.empty(); }));
}

TEST(VrpnServerPort, ATakenPortIsTriedAgainAfterOneWarning) {
    static std::vector<std::string> warnings;
    warnings.clear();
    SetEngineWarningHandler([](const char* text) {
        warnings.push_back(text);
        return 0;
    });
    const int blocker = Ipv4Socket::OpenTcp();
    ASSERT_EQ(Ipv4Socket::BindListening(blocker, 0, 0), 0);
    ASSERT_EQ(Ipv4Socket::Listen(blocker, 1), 0);
    const uint16_t port = Ipv4Socket::LocalPort(blocker);
    {
        VrpnServerConnection connection(port);
        VrpnTrackerServer server(connection);
        EXPECT_FALSE(connection.Listening());
        server.AddTracker("T", 0);
        server.MainLoop();  // sends to nobody
        Ipv4Socket::Close(blocker);
        ASSERT_TRUE(LoopUntil([&] { server.MainLoop(); }, [&] { return connection.Listening(); }));
        EXPECT_EQ(connection.Port(), port);
    }
    SetEngineWarningHandler(nullptr);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRPN server: cannot listen on TCP port " + std::to_string(port)});
}
