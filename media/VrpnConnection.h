// A VRPN client's TCP connection to one host and port, shared by the
// devices named on it. It is opened without blocking and tried again at
// most once a second while down; every call of Mainloop moves it on by what
// can be done at once. Reports go to the devices whose name is the sender
// of the message.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/VrpnEndpoint.h"

// The default port of VRPN servers.
constexpr uint16_t kVrpnDefaultPort = 3883;

// A device name "Device@host[:port]" in its parts. A name without "@"
// names a device on this machine; a port that is no number from 1 to
// 65535 leaves a host that cannot be found.
struct VrpnDeviceAddress {
    std::string device;
    std::string host;
    uint16_t port = kVrpnDefaultPort;
};
VrpnDeviceAddress VrpnSplitDeviceName(const std::string& name);

// What a device receives: the reports of its kind sent under its name.
class VrpnDeviceListener {
public:
    explicit VrpnDeviceListener(std::string name) : m_name(std::move(name)) {}
    virtual ~VrpnDeviceListener() = default;
    const std::string& ListenerName() const { return m_name; }

    virtual void OnPosQuat(int32_t /*sensor*/, const double /*position*/[3], const double /*quaternion*/[4]) {}
    virtual void OnButtonChange(int32_t /*button*/, int32_t /*state*/) {}
    virtual void OnAnalogChannel(int32_t /*count*/, const double* /*values*/) {}

private:
    std::string m_name;
};

// Hands one message to the listeners named as its sender (a report whose
// body is short of its layout reaches nobody).
void VrpnDispatch(const std::vector<VrpnDeviceListener*>& listeners, const std::string& sender,
                  const std::string& type, const VrpnMessageView& message);

class VrpnConnection {
public:
    // The host as a dotted address or a name (looked up once, here).
    VrpnConnection(const std::string& host, uint16_t port);
    ~VrpnConnection();
    VrpnConnection(const VrpnConnection&) = delete;
    VrpnConnection& operator=(const VrpnConnection&) = delete;

    const std::string& Host() const { return m_host; }
    uint16_t Port() const { return m_port; }

    // Connects (a new try at most once a second), writes what waits, reads
    // what arrived and dispatches it; never waits.
    void Mainloop();
    // The cookies are exchanged.
    bool Connected() const { return m_endpoint && !m_connecting && m_endpoint->Connected(); }
    // Waits at most the time for bytes from the server; at once when not
    // connected.
    void WaitReadable(int milliseconds) const;

    void AddListener(VrpnDeviceListener* listener);
    void RemoveListener(VrpnDeviceListener* listener);
    // Hands one message to the listeners named as its sender.
    void Dispatch(const std::string& sender, const std::string& type, const VrpnMessageView& message) {
        VrpnDispatch(m_listeners, sender, type, message);
    }

private:
    void StartConnecting();
    void Drop();

    std::string m_host;
    uint16_t m_port;
    bool m_resolved = false;
    uint32_t m_address = 0;
    std::unique_ptr<VrpnEndpoint> m_endpoint;
    bool m_connecting = false;
    bool m_tried = false;
    std::chrono::steady_clock::time_point m_lastTry;
    std::vector<VrpnDeviceListener*> m_listeners;
};
