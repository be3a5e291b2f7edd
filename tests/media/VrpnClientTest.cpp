// VRPN client devices against a test server on 127.0.0.1 that speaks the
// wire bytes: global indices, reports through axis maps and offsets,
// conversions, forged and broken input, the wait for required reports, and
// what Close keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/VrpnClient.h"
#include "media/VrpnQuaternion.h"
#include "support/LoopbackPeer.h"
#include "support/VrpnStream.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

constexpr double kPi = 3.14159265358979323846;

class VrpnClient : public ::testing::Test {
protected:
    VrpnClient() {
        m.out = &out;
        m.err = &err;
    }

    std::string On(const char* device, const LoopbackListener& server) const {
        return std::string(device) + "@127.0.0.1:" + std::to_string(server.Port());
    }

    // Updates until the condition holds, at most 5 s.
    bool UpdateUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            VrpnUpdate(m);
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // Takes the devices' connection on the server: reads the client's
    // cookie and answers with its own. Null when it does not come.
    std::unique_ptr<LoopbackPeer> Serve(LoopbackListener& server) {
        VrpnUpdate(m);
        std::unique_ptr<LoopbackPeer> peer = server.Accept(5s);
        if (!peer) return nullptr;
        std::string cookie;
        UpdateUntil([&] { return (cookie += peer->Read(24 - cookie.size(), 1ms)).size() == 24; });
        EXPECT_EQ(cookie, std::string("vrpn: ver. 07.35  0\0\0\0\0\0", 24));
        peer->Send(VrpnStream().Cookie().Take());
        return peer;
    }

    std::vector<float> Read(int32_t sensor, VrpnReportForm form) {
        float v[4];
        return std::vector<float>(v, v + VrpnReadReport(m, sensor, form, v));
    }

    VrpnModule m;
    std::ostringstream out, err;
};

void ExpectNear(const std::vector<float>& got, const std::vector<double>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << what << " [" << i << "]";
}

}  // namespace

TEST_F(VrpnClient, DevicesNumberTheirIndicesAfterTheLastAndRefuseBadCounts) {
    const std::string at = "@127.0.0.1:" + std::to_string(FreeLoopbackPort());
    struct Case {
        int kind;  // 0 tracker, 1 buttons, 2 analog
        std::string name;
        int32_t count;
        int32_t result;
    } cases[] = {
        {0, "Tracker0" + at, 3, 2}, {0, "Tracker1" + at, 1, 3}, {0, "", 2, -1},     {0, "T" + at, 0, -1},
        {0, "T" + at, 1025, -1},    {1, "Buttons" + at, 2, 1},  {1, "", 2, -1},     {1, "B" + at, 257, -1},
        {1, "B" + at, 256, 257},    {2, "Dials" + at, 128, 127}, {2, "D" + at, 129, -1}, {2, "D" + at, -1, -1},
    };
    for (const Case& c : cases) {
        const int32_t r = c.kind == 0   ? VrpnAddTracker(m, c.name, c.count, nullptr)
                          : c.kind == 1 ? VrpnAddButton(m, c.name, c.count)
                                        : VrpnAddAnalog(m, c.name, c.count);
        EXPECT_EQ(r, c.result) << c.kind << " " << c.name << " " << c.count;
    }
    EXPECT_EQ(m.trackers.size(), 2u);
    EXPECT_EQ(m.buttons.size(), 2u);
    EXPECT_EQ(m.analogs.size(), 1u);
    EXPECT_EQ(out.str(), "AddTrackerDevice:  Added Tracker0" + at + " with 3 sensors\n" +
                             "AddTrackerDevice:  Added Tracker1" + at + " with 1 sensors\n" +
                             "AddButtonDevice:  Added Buttons" + at + " with 2 buttons\n" +
                             "AddButtonDevice:  Added B" + at + " with 256 buttons\n" +
                             "AddAnalogDevice:  Added Dials" + at + " with 128 analog sensors\n");
    EXPECT_EQ(err.str(), "Error in AddTrackerDevice():  No tracker name given.\n");
}

// An entry names its source component by 1 to 3, its sign flips it; a map
// with an entry naming none is the identity.
TEST_F(VrpnClient, AxisMapsNameSourcesAndSigns) {
    const float nan = std::nanf("");
    struct Case {
        std::vector<float> map;
        int axes[3];
        double signs[3];
    } cases[] = {
        {{1, -3, 2}, {0, 2, 1}, {1, -1, 1}},     {{-1.9f, 2.5f, 3}, {0, 1, 2}, {-1, 1, 1}},
        {{3, 2, 1}, {2, 1, 0}, {1, 1, 1}},       {{0, 2, 3}, {0, 1, 2}, {1, 1, 1}},
        {{1, 2, 4}, {0, 1, 2}, {1, 1, 1}},       {{1, -4, 3}, {0, 1, 2}, {1, 1, 1}},
        {{1, -0.5f, 3}, {0, 1, 2}, {1, 1, 1}},   {{nan, 2, 3}, {0, 1, 2}, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        ASSERT_GE(VrpnAddTracker(m, "T@127.0.0.1:1", 1, c.map.data()), 0);
        const VrpnTrackerDevice& t = *m.trackers.back();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(t.axes[i], c.axes[i]) << c.map[0] << " " << c.map[1] << " " << c.map[2] << " [" << i << "]";
            EXPECT_EQ(t.signs[i], c.signs[i]) << c.map[0] << " " << c.map[1] << " " << c.map[2] << " [" << i << "]";
        }
    }
}

TEST_F(VrpnClient, ReportsReadAsSentThroughAxisMapsAndOffsets) {
    LoopbackListener server;
    const float map[3] = {1, -3, 2};
    const float offset[3] = {0, 0, 0.1f};
    ASSERT_EQ(VrpnAddTracker(m, On("Tracker0", server), 2, nullptr), 1);
    ASSERT_EQ(VrpnAddTracker(m, On("Mapped", server), 1, map), 2);
    ASSERT_EQ(VrpnAddTracker(m, On("Offset", server), 1, nullptr), 3);
    ASSERT_EQ(VrpnAddButton(m, On("Buttons", server), 4), 3);
    ASSERT_EQ(VrpnAddAnalog(m, On("Dials", server), 3), 2);
    ASSERT_TRUE(VrpnSetSensorOffset(m, 3, offset, nullptr));
    std::unique_ptr<LoopbackPeer> peer = Serve(server);
    ASSERT_TRUE(peer);
    // The devices of one host and port share one connection.
    EXPECT_FALSE(server.Accept(50ms));

    VrpnStream s;
    s.Sender(0, "Tracker0").Sender(1, "Mapped").Sender(2, "Buttons").Sender(3, "Dials").Sender(4, "Offset");
    s.Sender(5, "Other").Type(0, "vrpn_Tracker Pos_Quat").Type(1, "vrpn_Button Change");
    s.Type(2, "vrpn_Analog Channel").Type(3, "vrpn_Tracker Velocity");
    s.PosQuat(0, 0, 1, {1, 2, 3}, VrpnEulerTurn(10, 20, 30));
    s.PosQuat(1, 0, 0, {1, 2, 3}, {0.1, 0.2, 0.3, 0.9});
    s.PosQuat(4, 0, 0, {0, 0, 0}, VrpnTurn(90, 1, 0, 0));
    s.PosQuat(5, 0, 0, {9, 9, 9}, {0, 0, 0, 1});   // no device of that name
    s.PosQuat(0, 3, 0, {9, 9, 9}, {0, 0, 0, 1});   // a type no device reads
    s.Button(2, 1, 3, 1).Analog(3, 2, {0.5, -1, 2, 99});
    s.Button(2, 1, 0, 7);
    peer->Send(s.Take());
    ASSERT_TRUE(UpdateUntil([&] { return m.buttonStates[0] == 7; }));

    ExpectNear(Read(0, VrpnReportForm::Position), {0, 0, 0}, "never reported");
    ExpectNear(Read(0, VrpnReportForm::Quaternion), {0, 0, 0, 1}, "never reported");
    ExpectNear(Read(0, VrpnReportForm::AxisAngle), {0, 0, 1, 0}, "never reported");
    ExpectNear(Read(0, VrpnReportForm::AngleAxis), {0, 0, 0, 1}, "never reported");
    ExpectNear(Read(1, VrpnReportForm::Position), {1, 2, 3}, "as sent");
    ExpectNear(Read(1, VrpnReportForm::Euler), {10, 20, 30}, "roll, pitch, yaw");
    ExpectNear(Read(2, VrpnReportForm::Position), {1, -3, 2}, "mapped");
    ExpectNear(Read(2, VrpnReportForm::Quaternion), {0.1, -0.3, 0.2, 0.9}, "mapped");
    ExpectNear(Read(3, VrpnReportForm::Position), {0, -0.1, 0}, "offset turned");
    ExpectNear(Read(3, VrpnReportForm::AxisAngle), {1, 0, 0, 90}, "axis, angle");
    ExpectNear(Read(3, VrpnReportForm::AngleAxis), {90, 1, 0, 0}, "angle, axis");
    EXPECT_EQ(m.buttonStates, (std::vector<int32_t>{7, 0, 0, 1}));
    EXPECT_EQ(m.analogValues, (std::vector<double>{0.5, -1, 2}));
    EXPECT_EQ(err.str(), "");
}

TEST_F(VrpnClient, ForgedReportsChangeNothingAndBadFramingDropsTheConnection) {
    LoopbackListener server;
    ASSERT_EQ(VrpnAddTracker(m, On("T", server), 2, nullptr), 1);
    ASSERT_EQ(VrpnAddButton(m, On("B", server), 2), 1);
    ASSERT_EQ(VrpnAddAnalog(m, On("A", server), 2), 1);
    std::unique_ptr<LoopbackPeer> peer = Serve(server);
    ASSERT_TRUE(peer);

    VrpnStream s;
    s.Sender(0, "T").Sender(1, "B").Sender(2, "A");
    s.Type(0, "vrpn_Tracker Pos_Quat").Type(1, "vrpn_Button Change").Type(2, "vrpn_Analog Channel");
    s.PosQuat(0, 0, -1, {1, 1, 1}, {0, 0, 1, 0}).PosQuat(0, 0, 2, {1, 1, 1}, {0, 0, 1, 0});
    s.Message(0, 0, std::vector<uint8_t>(40, 0));  // shorter than a report
    s.Button(1, 1, -1, 5).Button(1, 1, 2, 5);
    s.Analog(2, 2, 1e9, {});  // announces 10^9, holds none
    s.Button(1, 1, 1, 9);
    peer->Send(s.Take());
    ASSERT_TRUE(UpdateUntil([&] { return m.buttonStates[1] == 9; }));
    for (int32_t sensor : {0, 1}) {
        ExpectNear(Read(sensor, VrpnReportForm::Position), {0, 0, 0}, "untouched");
        ExpectNear(Read(sensor, VrpnReportForm::Quaternion), {0, 0, 0, 1}, "untouched");
    }
    EXPECT_EQ(m.buttonStates, (std::vector<int32_t>{0, 9}));
    EXPECT_EQ(m.analogValues, (std::vector<double>{0, 0}));
    EXPECT_TRUE(m.trackers[0]->remote->Connected());

    // A header announcing 8 bytes: the client hangs up.
    peer->Send(VrpnStream().Raw(std::string("\0\0\0\x08", 4) + std::string(20, '\0')).Take());
    ASSERT_TRUE(UpdateUntil([&] { return !m.trackers[0]->remote->Connected(); }));
    EXPECT_TRUE(peer->WaitClosed(2s));
}

TEST_F(VrpnClient, AnOldCookieIsDroppedAndTheClientTriesAgainASecondLater) {
    LoopbackListener server;
    ASSERT_EQ(VrpnAddTracker(m, On("T", server), 1, nullptr), 0);
    const auto firstTry = std::chrono::steady_clock::now();
    VrpnUpdate(m);
    std::unique_ptr<LoopbackPeer> peer = server.Accept(5s);
    ASSERT_TRUE(peer);
    peer->Send(VrpnStream().Cookie("vrpn: ver. 06.00  0").Take());
    ASSERT_TRUE(UpdateUntil([&] { return peer->WaitClosed(1ms); }));
    EXPECT_FALSE(m.trackers[0]->remote->Connected());

    std::unique_ptr<LoopbackPeer> again;
    ASSERT_TRUE(UpdateUntil([&] { return (again = server.Accept(1ms)) != nullptr; }));
    EXPECT_GE(std::chrono::steady_clock::now() - firstTry, 900ms);
    again->Send(VrpnStream().Cookie().Take());
    ASSERT_TRUE(UpdateUntil([&] { return m.trackers[0]->remote->Connected(); }));
}

// A sensor flagged to require a new report holds Update until its report
// comes.
TEST_F(VrpnClient, UpdateWaitsForTheReportsOfRequiredSensors) {
    LoopbackListener server;
    ASSERT_EQ(VrpnAddTracker(m, On("T", server), 2, nullptr), 1);
    ASSERT_TRUE(VrpnRequireNewReport(m, 1, true));
    std::unique_ptr<LoopbackPeer> peer = Serve(server);
    ASSERT_TRUE(peer);
    ASSERT_TRUE(UpdateUntil([&] { return m.trackers[0]->remote->Connected(); }));

    std::thread late([&] {
        std::this_thread::sleep_for(100ms);
        peer->Send(VrpnStream().Sender(0, "T").Type(0, "vrpn_Tracker Pos_Quat").PosQuat(0, 0, 1, {4, 5, 6}, {0, 0, 0, 1}).Take());
    });
    VrpnUpdate(m);
    late.join();
    ExpectNear(Read(1, VrpnReportForm::Position), {4, 5, 6}, "awaited");
}

TEST_F(VrpnClient, CloseKeepsTheReportsAndLaterDevicesNumberAfterThem) {
    LoopbackListener server;
    ASSERT_EQ(VrpnAddTracker(m, On("T", server), 2, nullptr), 1);
    ASSERT_EQ(VrpnAddButton(m, On("B", server), 1), 0);
    std::unique_ptr<LoopbackPeer> peer = Serve(server);
    ASSERT_TRUE(peer);
    VrpnStream s;
    s.Sender(0, "T").Sender(1, "B").Type(0, "vrpn_Tracker Pos_Quat").Type(1, "vrpn_Button Change");
    peer->Send(s.PosQuat(0, 0, 1, {1, 2, 3}, {0, 0, 0, 1}).Button(1, 1, 0, 1).Take());
    ASSERT_TRUE(UpdateUntil([&] { return m.buttonStates[0] == 1; }));

    VrpnClose(m);
    EXPECT_TRUE(peer->WaitClosed(2s));
    ExpectNear(Read(1, VrpnReportForm::Position), {1, 2, 3}, "kept");
    EXPECT_EQ(VrpnButtonState(m, 0), 1);
    EXPECT_FALSE(VrpnSetSensorOffset(m, 1, nullptr, nullptr));
    EXPECT_EQ(err.str(), "Error in SetSensorOffset():  Index out of bounds.\n");

    // Nobody listens on the new device's port: its required sensor does
    // not hold Update.
    ASSERT_EQ(VrpnAddTracker(m, "T@127.0.0.1:" + std::to_string(FreeLoopbackPort()), 1, nullptr), 2);
    ASSERT_TRUE(VrpnRequireNewReport(m, 2, true));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) VrpnUpdate(m);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    ExpectNear(Read(1, VrpnReportForm::Position), {1, 2, 3}, "kept");
}

TEST_F(VrpnClient, IndicesOutsideTheListsWriteTheirMessage) {
    ASSERT_EQ(VrpnAddTracker(m, "T@127.0.0.1:1", 1, nullptr), 0);
    ASSERT_EQ(VrpnAddButton(m, "B@127.0.0.1:1", 1), 0);
    ASSERT_EQ(VrpnAddAnalog(m, "A@127.0.0.1:1", 1), 0);
    EXPECT_EQ(VrpnButtonState(m, -1), 0);
    EXPECT_EQ(VrpnAnalogValue(m, 1), 0.0);
    EXPECT_FALSE(VrpnRequireNewReport(m, 1, true));
    ExpectNear(Read(-1, VrpnReportForm::Position), {0, 0, 0}, "outside");
    ExpectNear(Read(1, VrpnReportForm::Quaternion), {0, 0, 0, 1}, "outside");
    ExpectNear(Read(5, VrpnReportForm::AxisAngle), {0, 0, 1, 0}, "outside");
    ExpectNear(Read(5, VrpnReportForm::AngleAxis), {0, 0, 0, 1}, "outside");
    ExpectNear(Read(5, VrpnReportForm::Euler), {0, 0, 0}, "outside");
    EXPECT_EQ(err.str(),
              "Error in GetButtonReport():  Index out of bounds.\n"
              "Error in GetAnalogReport():  Index out of bounds.\n"
              "Error in RequireNewReport():  Index out of bounds.\n"
              "Error in GetTrackerReportPos():  Index out of bounds.\n"
              "Error in GetTrackerReportQuat():  Index out of bounds.\n"
              "Error in GetTrackerReportAxisAngle():  Index out of bounds.\n"
              "Error in GetTrackerReportAngleAxis():  Index out of bounds.\n"
              "Error in GetTrackerReportEuler():  Index out of bounds.\n");
}

TEST(VrpnDeviceName, SplitsDeviceHostAndPort) {
    struct Case {
        const char* name;
        const char* device;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"Tracker0@127.0.0.1", "Tracker0", "127.0.0.1", 3883}, {"Tracker0@host:4000", "Tracker0", "host", 4000},
        {"Tracker0", "Tracker0", "localhost", 3883},          {"T@h:0", "T", "h:0", 3883},
        {"T@h:70000", "T", "h:70000", 3883},                  {"T@h:x1", "T", "h:x1", 3883},
        {"@h", "", "h", 3883},
    };
    for (const Case& c : cases) {
        const VrpnDeviceAddress a = VrpnSplitDeviceName(c.name);
        EXPECT_EQ(a.device, c.device) << c.name;
        EXPECT_EQ(a.host, c.host) << c.name;
        EXPECT_EQ(a.port, c.port) << c.name;
    }
}

TEST(VrpnQuaternion, EulerAnglesRoundTripAndVectorsTurn) {
    struct Case {
        double roll, pitch, yaw;
    } cases[] = {{10, 20, 30}, {0, 0, 0}, {-170, 45, 100}, {90, -89, -45}, {0, 0, 180}};
    for (const Case& c : cases) {
        const std::vector<double> built = VrpnEulerTurn(c.roll, c.pitch, c.yaw);
        double q[4], ypr[3];
        q_from_euler(q, c.yaw * kPi / 180, c.pitch * kPi / 180, c.roll * kPi / 180);
        const double sign = built[3] < 0 ? -1 : 1;
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], sign * built[i], 1e-12) << c.roll << " " << i;
        EXPECT_GE(q[3], 0);
        q_to_euler(ypr, built.data());
        EXPECT_NEAR(ypr[0] * 180 / kPi, c.yaw, 1e-6) << c.roll;
        EXPECT_NEAR(ypr[1] * 180 / kPi, c.pitch, 1e-6) << c.roll;
        EXPECT_NEAR(ypr[2] * 180 / kPi, c.roll, 1e-6) << c.roll;
    }
    // At pitch 90 only yaw - roll is fixed: the result still gives the
    // same rotation.
    const std::vector<double> locked = VrpnEulerTurn(30, 90, 50);
    double ypr[3], back[4];
    q_to_euler(ypr, locked.data());
    q_from_euler(back, ypr[0], ypr[1], ypr[2]);
    const double dot = back[0] * locked[0] + back[1] * locked[1] + back[2] * locked[2] + back[3] * locked[3];
    EXPECT_NEAR(std::fabs(dot), 1, 1e-9);

    const double v[3] = {0, 0, 0.1};
    double turned[3];
    q_xform(turned, VrpnTurn(90, 1, 0, 0).data(), v);
    EXPECT_NEAR(turned[1], -0.1, 1e-12);
    EXPECT_NEAR(turned[2], 0, 1e-12);
    // A quaternion of length 2 turns without scaling; a zero one leaves the
    // vector alone.
    const double twice[4] = {0, 0, 2 * std::sqrt(0.5), 2 * std::sqrt(0.5)};
    const double x[3] = {1, 0, 0};
    q_xform(turned, twice, x);
    EXPECT_NEAR(turned[0], 0, 1e-12);
    EXPECT_NEAR(turned[1], 1, 1e-12);
    const double zero[4] = {0, 0, 0, 0};
    q_xform(turned, zero, x);
    EXPECT_EQ(turned[0], 1);
    q_to_euler(ypr, zero);
    EXPECT_EQ(ypr[0], 0);

    // A forged quaternion longer than 1 gives an angle, not NaN.
    VrpnSensorReport forged;
    const double longer[4] = {0, 0, 2, 2};
    std::copy(longer, longer + 4, forged.quaternion);
    double axisAngle[4];
    VrpnAxisAngle(forged, axisAngle);
    EXPECT_EQ(axisAngle[2], 1);
    EXPECT_EQ(axisAngle[3], 0);
}
