#include "media/VrpnConnection.h"

#include <algorithm>
#include <cstring>

#include "platform/Ipv4Socket.h"

namespace {

constexpr std::chrono::seconds kRetryInterval(1);

}  // namespace

VrpnDeviceAddress VrpnSplitDeviceName(const std::string& name) {
    VrpnDeviceAddress a;
    const size_t at = name.find('@');
    if (at == std::string::npos) {
        a.device = name;
        a.host = "localhost";
        return a;
    }
    a.device = name.substr(0, at);
    a.host = name.substr(at + 1);
    const size_t colon = a.host.rfind(':');
    if (colon == std::string::npos) return a;
    const std::string digits = a.host.substr(colon + 1);
    long port = 0;
    bool number = !digits.empty() && digits.size() <= 5;
    for (char c : digits) {
        if (c < '0' || c > '9') number = false;
        else port = port * 10 + (c - '0');
    }
    // A bad port stays in the host text, which then names no host.
    if (number && port >= 1 && port <= 65535) {
        a.port = static_cast<uint16_t>(port);
        a.host.resize(colon);
    }
    return a;
}

VrpnConnection::VrpnConnection(const std::string& host, uint16_t port) : m_host(host), m_port(port) {
    m_resolved = Ipv4Socket::Resolve(host.c_str(), m_address);
}

VrpnConnection::~VrpnConnection() = default;

void VrpnConnection::StartConnecting() {
    const auto now = std::chrono::steady_clock::now();
    if (!m_resolved || (m_tried && now - m_lastTry < kRetryInterval)) return;
    m_tried = true;
    m_lastTry = now;
    const int socket = Ipv4Socket::OpenTcp();
    if (socket < 0) return;
    if (Ipv4Socket::SetNonBlocking(socket) != 0) {
        Ipv4Socket::Close(socket);
        return;
    }
    Ipv4Socket::SetNoDelay(socket);
    const int started = Ipv4Socket::StartConnect(socket, m_address, m_port);
    if (started < 0) {
        Ipv4Socket::Close(socket);
        return;
    }
    m_endpoint.reset(new VrpnEndpoint(socket));
    m_connecting = started == 1;
}

void VrpnConnection::Drop() {
    m_endpoint.reset();
    m_connecting = false;
}

void VrpnConnection::Mainloop() {
    if (!m_endpoint) StartConnecting();
    if (!m_endpoint) return;
    if (m_connecting) {
        const int result = Ipv4Socket::ConnectResult(m_endpoint->Socket());
        if (result == 0) return;
        if (result < 0) {
            Drop();
            return;
        }
        m_connecting = false;
    }
    const auto dispatch = [this](const std::string& sender, const std::string& type, const VrpnMessageView& m) {
        Dispatch(sender, type, m);
    };
    if (!m_endpoint->Flush() || !m_endpoint->Receive(dispatch)) Drop();
}

void VrpnConnection::WaitReadable(int milliseconds) const {
    if (Connected()) Ipv4Socket::WaitReadable(m_endpoint->Socket(), milliseconds);
}

void VrpnConnection::AddListener(VrpnDeviceListener* listener) { m_listeners.push_back(listener); }

void VrpnConnection::RemoveListener(VrpnDeviceListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void VrpnDispatch(const std::vector<VrpnDeviceListener*>& listeners, const std::string& sender,
                  const std::string& type, const VrpnMessageView& m) {
    if (type == kVrpnTrackerPosQuat) {
        int32_t sensor;
        double position[3], quaternion[4];
        if (!VrpnReadPosQuat(m, sensor, position, quaternion)) return;
        for (VrpnDeviceListener* l : listeners)
            if (l->ListenerName() == sender) l->OnPosQuat(sensor, position, quaternion);
    } else if (type == kVrpnButtonChange) {
        int32_t button, state;
        if (!VrpnReadButtonChange(m, button, state)) return;
        for (VrpnDeviceListener* l : listeners)
            if (l->ListenerName() == sender) l->OnButtonChange(button, state);
    } else if (type == kVrpnAnalogChannel) {
        double values[kVrpnMaxAnalogChannels];
        const int32_t count = VrpnReadAnalogChannel(m, values);
        if (count < 0) return;
        for (VrpnDeviceListener* l : listeners)
            if (l->ListenerName() == sender) l->OnAnalogChannel(count, values);
    }
}
