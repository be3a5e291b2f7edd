#include "media/VrpnTrackerServer.h"

#include <algorithm>
#include <cmath>

#include "media/VrpnQuaternion.h"

const char kQemAnalogServer[] = "QemAnalogServer";
const char kQemAnalogServerLocal[] = "*QemAnalogServer";

namespace {

constexpr double kTwoPi = 2 * 3.14159265358979323846;

// "*name" names the device on the tracker's own connection.
std::string LocalDevice(const std::string& name) { return !name.empty() && name[0] == '*' ? name.substr(1) : name; }

}  // namespace

VrpnAnalogServer::VrpnAnalogServer(VrpnServerConnection& connection, const std::string& name, int32_t channels)
    : m_connection(connection), m_name(name), m_count(std::min(channels, kVrpnMaxAnalogChannels)) {
    m_connection.Sender(m_name);
}

void VrpnAnalogServer::Report(VrpnTime time) {
    m_connection.Send(m_name, kVrpnAnalogChannel, time, VrpnAnalogChannelBody(m_channels, m_count));
}

VrpnAnalogFlyTracker::VrpnAnalogFlyTracker(VrpnServerConnection& connection, const std::string& name,
                                           const std::string& analog, const int32_t channels[6], double rate)
    : VrpnDeviceListener(LocalDevice(analog)), m_connection(connection), m_name(name) {
    std::copy(channels, channels + 6, m_axes);
    m_interval = rate > 0 && std::isfinite(rate)
                     ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(1 / rate))
                     : std::chrono::steady_clock::duration::zero();
    m_connection.Sender(m_name);
    m_connection.AddListener(this);
}

VrpnAnalogFlyTracker::~VrpnAnalogFlyTracker() { m_connection.RemoveListener(this); }

void VrpnAnalogFlyTracker::OnAnalogChannel(int32_t count, const double* values) {
    m_valueCount = std::min(count, kVrpnMaxAnalogChannels);
    std::copy(values, values + m_valueCount, m_values);
}

void VrpnAnalogFlyTracker::Pose(double position[3], double quaternion[4]) const {
    double axis[6];
    for (int i = 0; i < 6; ++i) axis[i] = m_axes[i] >= 0 && m_axes[i] < m_valueCount ? m_values[m_axes[i]] : 0;
    for (int i = 0; i < 3; ++i) position[i] = axis[i];
    q_from_euler(quaternion, kTwoPi * axis[5], kTwoPi * axis[4], kTwoPi * axis[3]);
}

void VrpnAnalogFlyTracker::Mainloop() {
    const auto now = std::chrono::steady_clock::now();
    if (m_reported && now - m_last < m_interval) return;
    m_reported = true;
    m_last = now;
    double position[3], quaternion[4];
    Pose(position, quaternion);
    m_connection.Send(m_name, kVrpnTrackerPosQuat, VrpnNow(), VrpnPosQuatBody(0, position, quaternion));
}

VrpnTrackerServer::VrpnTrackerServer(VrpnServerConnection& connection)
    : m_connection(connection), m_analog(connection, kQemAnalogServer, kChannels) {}

VrpnTrackerServer::~VrpnTrackerServer() = default;

int32_t VrpnTrackerServer::AddTracker(const std::string& name, double rate) {
    const int32_t k = TrackerCount();
    if (k >= kMaxTrackers) return -1;
    const int32_t channels[6] = {6 * k, 6 * k + 1, 6 * k + 2, 6 * k + 3, 6 * k + 4, 6 * k + 5};
    m_trackers.emplace_back(new VrpnAnalogFlyTracker(m_connection, name, kQemAnalogServerLocal, channels, rate));
    return k;
}

bool VrpnTrackerServer::SetPosition(int32_t tracker, const double position[3]) {
    if (tracker < 0 || tracker >= kMaxTrackers) return false;
    std::copy(position, position + 3, m_analog.Channels() + 6 * tracker);
    return true;
}

bool VrpnTrackerServer::SetRotation(int32_t tracker, const double degrees[3]) {
    if (tracker < 0 || tracker >= kMaxTrackers) return false;
    for (int i = 0; i < 3; ++i) m_analog.Channels()[6 * tracker + 3 + i] = degrees[i] / 360;
    return true;
}

bool VrpnTrackerServer::SetChannel(int32_t channel, double value) {
    if (channel < 0 || channel > kChannels) return false;
    m_analog.Channels()[channel] = value;
    return true;
}

void VrpnTrackerServer::MainLoop() {
    m_analog.Report(VrpnNow());
    for (auto& t : m_trackers) t->Mainloop();
    m_connection.Mainloop();
}

VrpnServerConnection& VrpnSharedServerConnection() {
    // Never ended: script objects may outlive every static.
    static VrpnServerConnection* connection = new VrpnServerConnection(kVrpnDefaultPort);
    return *connection;
}
