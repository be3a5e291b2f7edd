#include "media/VrpnServerConnection.h"

#include <algorithm>
#include <cstring>

#include "platform/Ipv4Socket.h"
#include "scene/EngineServices.h"

namespace {

constexpr std::chrono::seconds kListenRetry(1);
constexpr int kBacklog = 16;

// A decimal number of at most `digits` digits at `at`, moved past.
bool Number(const char*& at, const char* end, int digits, long& value) {
    const char* start = at;
    value = 0;
    while (at < end && *at >= '0' && *at <= '9' && at - start < digits) value = value * 10 + (*at++ - '0');
    return at > start;
}

}  // namespace

bool VrpnReadCallBackRequest(const uint8_t* data, size_t size, uint32_t& address, uint16_t& port) {
    const char* at = reinterpret_cast<const char*>(data);
    const char* end = at + ::strnlen(at, size);
    uint8_t parts[4];
    for (int i = 0; i < 4; ++i) {
        long part;
        if (!Number(at, end, 3, part) || part > 255) return false;
        parts[i] = static_cast<uint8_t>(part);
        if (i < 3 && (at == end || *at++ != '.')) return false;
    }
    long number;
    if (at == end || *at++ != ' ' || !Number(at, end, 5, number) || at != end || number < 1 || number > 65535)
        return false;
    std::memcpy(&address, parts, sizeof address);  // network order: the bytes as written
    port = static_cast<uint16_t>(number);
    return true;
}

VrpnServerConnection::VrpnServerConnection(uint16_t port) : m_port(port) { Listen(); }

VrpnServerConnection::~VrpnServerConnection() {
    Ipv4Socket::Close(m_listener);
    Ipv4Socket::Close(m_datagrams);
}

void VrpnServerConnection::Listen() {
    if (m_listener >= 0 && m_datagrams >= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_lastListen != std::chrono::steady_clock::time_point() && now - m_lastListen < kListenRetry) return;
    m_lastListen = now;
    if (m_listener < 0) {
        const int socket = Ipv4Socket::OpenTcp();
        if (socket >= 0 && Ipv4Socket::SetNonBlocking(socket) == 0 &&
            Ipv4Socket::BindListening(socket, 0, m_port) == 0 && Ipv4Socket::Listen(socket, kBacklog) == 0) {
            m_listener = socket;
            m_boundPort = Ipv4Socket::LocalPort(socket);
        } else {
            Ipv4Socket::Close(socket);
            if (!m_warned) ReportWarning("VRPN server: cannot listen on TCP port", std::to_string(m_port).c_str());
            m_warned = true;
            return;
        }
    }
    // Call-back requests come to the same port number over UDP; without
    // them clients that connect themselves are still served.
    const int socket = Ipv4Socket::OpenUdp();
    if (socket >= 0 && Ipv4Socket::SetNonBlocking(socket) == 0 && Ipv4Socket::Bind(socket, 0, m_boundPort) == 0)
        m_datagrams = socket;
    else
        Ipv4Socket::Close(socket);
}

void VrpnServerConnection::AcceptClients() {
    for (;;) {
        const int socket = Ipv4Socket::AcceptWaiting(m_listener);
        if (socket < 0) return;
        if (m_clients.size() >= kMaxClients) {
            Ipv4Socket::Close(socket);
            continue;
        }
        Ipv4Socket::SetNoDelay(socket);
        m_clients.emplace_back(new Client{std::unique_ptr<VrpnEndpoint>(new VrpnEndpoint(socket)), false});
    }
}

void VrpnServerConnection::TakeCallBackRequests() {
    uint8_t datagram[256];
    long n;
    while ((n = Ipv4Socket::ReceiveFrom(m_datagrams, datagram, sizeof datagram, nullptr)) >= 0) {
        uint32_t address;
        uint16_t port;
        if (!VrpnReadCallBackRequest(datagram, static_cast<size_t>(n), address, port) ||
            m_clients.size() >= kMaxClients)
            continue;
        const int socket = Ipv4Socket::OpenTcp();
        if (socket < 0) continue;
        int started = -1;
        if (Ipv4Socket::SetNonBlocking(socket) == 0) {
            Ipv4Socket::SetNoDelay(socket);
            started = Ipv4Socket::StartConnect(socket, address, port);
        }
        if (started < 0) {
            Ipv4Socket::Close(socket);
            continue;
        }
        m_clients.emplace_back(new Client{std::unique_ptr<VrpnEndpoint>(new VrpnEndpoint(socket)), started == 1});
    }
}

void VrpnServerConnection::Received(Client& client, const std::string& sender, const std::string& type) {
    if (type != kVrpnPing) return;
    // Only this side's own devices answer.
    const int32_t id = m_names.senders.Find(sender);
    if (id >= 0) client.endpoint->Send(m_names, id, m_names.types.Id(kVrpnPong), VrpnNow(), {});
}

bool VrpnServerConnection::Serve(Client& client) {
    if (client.connecting) {
        const int result = Ipv4Socket::ConnectResult(client.endpoint->Socket());
        if (result == 0) return true;
        if (result < 0) return false;
        client.connecting = false;
    }
    return client.endpoint->Flush() &&
           client.endpoint->Receive([&](const std::string& sender, const std::string& type, const VrpnMessageView&) {
               Received(client, sender, type);
           });
}

void VrpnServerConnection::Mainloop() {
    Listen();
    if (m_listener >= 0) AcceptClients();
    if (m_datagrams >= 0) TakeCallBackRequests();
    for (size_t i = 0; i < m_clients.size();) {
        if (Serve(*m_clients[i]))
            ++i;
        else
            m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void VrpnServerConnection::Send(const std::string& sender, const std::string& type, VrpnTime time,
                                const std::vector<uint8_t>& body) {
    const int32_t s = m_names.senders.Id(sender);
    const int32_t t = m_names.types.Id(type);
    for (auto& c : m_clients)
        if (!c->connecting && c->endpoint->Connected()) c->endpoint->Send(m_names, s, t, time, body);
    VrpnMessageView view;
    view.length = static_cast<uint32_t>(kVrpnHeaderSize + body.size());
    view.time = time;
    view.sender = s;
    view.type = t;
    view.body = body.data();
    view.bodySize = body.size();
    VrpnDispatch(m_listeners, sender, type, view);
}

void VrpnServerConnection::AddListener(VrpnDeviceListener* listener) { m_listeners.push_back(listener); }

void VrpnServerConnection::RemoveListener(VrpnDeviceListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}
