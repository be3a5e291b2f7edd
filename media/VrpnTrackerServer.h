// The devices a VRPN server publishes for a script: an analog server whose
// channels the script writes, and trackers that turn six of its channels
// each into position and orientation reports.
//
// A tracker reads its axes in absolute mode from the reports of the analog
// server named after its "*" on its own connection, taking the values as
// they are (offset 0, threshold 0, scale 1, power 1): x, y, z position,
// then rotations about x, y and z in turns, composed as
// R = Rz(2 pi c5) Ry(2 pi c4) Rx(2 pi c3). It reports sensor 0 under its
// name at most at its update rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/VrpnServerConnection.h"

// Channels of an analog server: storage for the most a report can carry.
class VrpnAnalogServer {
public:
    VrpnAnalogServer(VrpnServerConnection& connection, const std::string& name, int32_t channels);

    double* Channels() { return m_channels; }
    const double* Channels() const { return m_channels; }
    int32_t ChannelCount() const { return m_count; }
    // Sends the channels' values.
    void Report(VrpnTime time);

private:
    VrpnServerConnection& m_connection;
    std::string m_name;
    int32_t m_count;
    double m_channels[kVrpnMaxAnalogChannels] = {};
};

class VrpnAnalogFlyTracker : VrpnDeviceListener {
public:
    // `analog` is "*" and the analog server's name; the channels of x, y, z
    // and of the rotations about x, y, z. A rate that is no positive number
    // reports on every Mainloop.
    VrpnAnalogFlyTracker(VrpnServerConnection& connection, const std::string& name, const std::string& analog,
                         const int32_t channels[6], double rate);
    ~VrpnAnalogFlyTracker() override;
    VrpnAnalogFlyTracker(const VrpnAnalogFlyTracker&) = delete;
    VrpnAnalogFlyTracker& operator=(const VrpnAnalogFlyTracker&) = delete;

    // Reports when its interval has passed since the last report.
    void Mainloop();
    // The report the axes give now.
    void Pose(double position[3], double quaternion[4]) const;

private:
    void OnAnalogChannel(int32_t count, const double* values) override;

    VrpnServerConnection& m_connection;
    std::string m_name;
    int32_t m_axes[6];
    std::chrono::steady_clock::duration m_interval;
    bool m_reported = false;
    std::chrono::steady_clock::time_point m_last;
    double m_values[kVrpnMaxAnalogChannels] = {};
    int32_t m_valueCount = 0;
};

// What one script server object publishes: the analog server
// "QemAnalogServer" of 48 channels and up to 8 trackers, tracker k on
// channels 6k to 6k + 5.
class VrpnTrackerServer {
public:
    static constexpr int32_t kChannels = 48;
    static constexpr int32_t kMaxTrackers = 8;
    static constexpr double kDefaultRate = 50;

    explicit VrpnTrackerServer(VrpnServerConnection& connection);
    ~VrpnTrackerServer();

    // The new tracker's number, or -1 with kMaxTrackers already.
    int32_t AddTracker(const std::string& name, double rate);
    int32_t TrackerCount() const { return static_cast<int32_t>(m_trackers.size()); }
    // A tracker's position, or its rotations about x, y and z in degrees;
    // false for a tracker number outside 0 to kMaxTrackers - 1.
    bool SetPosition(int32_t tracker, const double position[3]);
    bool SetRotation(int32_t tracker, const double degrees[3]);
    // A channel from 0 to kChannels (the one past the reported ones is kept
    // too); false outside.
    bool SetChannel(int32_t channel, double value);
    const double* Channels() const { return m_analog.Channels(); }

    // The analog report, then the trackers' turns, then the connection's.
    void MainLoop();

private:
    VrpnServerConnection& m_connection;
    VrpnAnalogServer m_analog;
    std::vector<std::unique_ptr<VrpnAnalogFlyTracker>> m_trackers;
};

// The analog server's name, and how trackers name it on their connection.
extern const char kQemAnalogServer[];
extern const char kQemAnalogServerLocal[];

// The connection of the whole process: port 3883, made at first use.
VrpnServerConnection& VrpnSharedServerConnection();
