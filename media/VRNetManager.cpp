#include "media/VRNetManager.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/Ipv4Socket.h"
#include "scene/EngineServices.h"

namespace {

constexpr int kMulticastTtl = 8;
constexpr int kListenBacklog = 5;

void Warn(const char* text) { ReportWarning(text, nullptr); }

// The local address of a channel: none (or empty) is any; false when the
// text names no address.
bool LocalAddress(const char* text, uint32_t& address) {
    address = 0;  // INADDR_ANY
    return !text || !*text || Ipv4Socket::Resolve(text, address);
}

}  // namespace

int32_t NetSocketNode::Reserve(int32_t n) {
    if (capacity >= n) return capacity;
    std::unique_ptr<uint8_t[]> grown(new uint8_t[static_cast<size_t>(n)]);
    if (received > 0) std::memcpy(grown.get(), buffer.get(), static_cast<size_t>(std::min(received, capacity)));
    buffer = std::move(grown);
    capacity = n;
    return capacity;
}

// ---------------------------------------------------------------------------
// Life

VRNetManager::VRNetManager() {
    IncrementLiveObjects();
    m_outputSocket = Ipv4Socket::OpenUdp();
    if (m_outputSocket < 0)
        Warn("UDP Output Socket creation error");
    else
        Ipv4Socket::SetMulticastTtl(m_outputSocket, kMulticastTtl);
}

VRNetManager::~VRNetManager() {
    // The accepts first: their listening sockets must stay open until their
    // threads have left them.
    for (const std::unique_ptr<NetSocketNode>& pending : m_pendingAccepts) EndAccept(*pending);
    m_pendingAccepts.clear();
    Ipv4Socket::Close(m_outputSocket);
    for (const std::unique_ptr<NetSocketNode>& node : m_sockets) Ipv4Socket::Close(node->socket);
    m_sockets.clear();
    DecrementLiveObjects();
}

void VRNetManager::EndAccept(NetSocketNode& pending) {
    // Its listening socket is closed next either way.
    Ipv4Socket::Shutdown(pending.socket);
    if (pending.acceptThread.joinable()) pending.acceptThread.join();
    // A connection nobody collected.
    Ipv4Socket::Close(pending.acceptedSocket.exchange(-1));
}

// ---------------------------------------------------------------------------
// The list

void VRNetManager::AddSocket(int socket, int32_t value) {
    auto node = std::make_unique<NetSocketNode>();
    node->socket = socket;
    node->value = value;
    m_sockets.push_front(std::move(node));
}

NetSocketNode* VRNetManager::FindSocket(int socket) {
    for (const std::unique_ptr<NetSocketNode>& node : m_sockets)
        if (node->socket == socket) return node.get();
    return nullptr;
}

void VRNetManager::Close(int socket) {
    if (!FindSocket(socket)) return;
    for (auto it = m_pendingAccepts.begin(); it != m_pendingAccepts.end();) {
        if ((*it)->socket != socket) {
            ++it;
            continue;
        }
        EndAccept(**it);
        it = m_pendingAccepts.erase(it);
    }
    m_sockets.remove_if([socket](const std::unique_ptr<NetSocketNode>& node) { return node->socket == socket; });
    Ipv4Socket::Close(socket);
}

// ---------------------------------------------------------------------------
// Datagrams

void VRNetManager::SendTo(const char* host, int32_t port, const void* data, size_t length) {
    uint32_t address = 0;
    if (!Ipv4Socket::Resolve(host, address)) return Warn("SendTo: failed to send variable");
    if (Ipv4Socket::SendTo(m_outputSocket, address, static_cast<uint16_t>(port), data, length) >= 0) return;
    Warn(Ipv4Socket::LastFailureTooLarge() ? "SendTo: Variable is too large to be sent on a UDP datagram"
                                           : "SendTo: failed to send variable");
}

std::string VRNetManager::ReceiveFrom(int socket, void* buffer, size_t size, long* length) {
    uint32_t sender = 0;
    const long n = FindSocket(socket) ? Ipv4Socket::ReceiveFrom(socket, buffer, size, &sender) : -1;
    if (length) *length = n;
    return n >= 0 ? Ipv4Socket::Dotted(sender) : std::string();
}

int32_t VRNetManager::SetMulticastIP(int socket, const char* group) {
    return FindSocket(socket) ? Ipv4Socket::JoinMulticast(socket, group) : -1;
}

int VRNetManager::CreateChannel(int32_t port, const char* address, int32_t flags) {
    const int socket = Ipv4Socket::OpenUdp();
    if (socket < 0) Warn("UDP Input Socket creation error");
    uint32_t local = 0;
    if (!LocalAddress(address, local) || Ipv4Socket::Bind(socket, local, static_cast<uint16_t>(port)) != 0) {
        Warn("Failed to bind to UDP port");
        Ipv4Socket::Close(socket);
        return -1;
    }
    if (flags & kNetNonBlocking) Ipv4Socket::SetNonBlocking(socket);
    AddSocket(socket, flags);
    return socket;
}

// ---------------------------------------------------------------------------
// Streams

int VRNetManager::CreateChannelTCP(int32_t port, const char* address) {
    const int socket = Ipv4Socket::OpenTcp();
    if (socket < 0) Warn("TCP Input Socket creation error");
    uint32_t local = 0;
    if (!LocalAddress(address, local) ||
        Ipv4Socket::BindListening(socket, local, static_cast<uint16_t>(port)) != 0) {
        Warn("Can't bind TCP socket to the port!");
        Ipv4Socket::Close(socket);
        return -1;
    }
    AddSocket(socket, 0);
    Ipv4Socket::Listen(socket, kListenBacklog);
    return socket;
}

int VRNetManager::AcceptTCP(int socket, int32_t flags) {
    if (!FindSocket(socket)) return -1;
    auto it = std::find_if(m_pendingAccepts.begin(), m_pendingAccepts.end(),
                           [socket](const std::unique_ptr<NetSocketNode>& node) { return node->socket == socket; });
    if (it != m_pendingAccepts.end()) {
        NetSocketNode& pending = **it;
        if (!pending.acceptEnded) return -1;
        pending.acceptThread.join();
        const int accepted = pending.acceptedSocket.exchange(-1);
        m_pendingAccepts.erase(it);
        if (accepted >= 0) {
            AddSocket(accepted, flags);
            if (flags & kNetNonBlocking) Ipv4Socket::SetNonBlocking(accepted);
            return accepted;
        }
        // The accept failed: this poll starts the next one.
    }
    auto pending = std::make_unique<NetSocketNode>();
    NetSocketNode* node = pending.get();
    node->socket = socket;
    node->acceptThread = std::thread([node] {
        node->acceptedSocket = Ipv4Socket::Accept(node->socket);
        node->acceptEnded = true;
    });
    m_pendingAccepts.push_front(std::move(pending));
    return -1;
}

int VRNetManager::ConnectTCP(const char* host, int32_t port, int32_t flags) {
    const int socket = Ipv4Socket::OpenTcp();
    if (socket < 0) Warn("TCP Output Socket creation error");
    uint32_t address = 0;
    if (!Ipv4Socket::Resolve(host, address) ||
        Ipv4Socket::Connect(socket, address, static_cast<uint16_t>(port)) != 0) {
        ReportError("ConnectTCP: Can't connect", nullptr);
        Ipv4Socket::Close(socket);
        return -1;
    }
    if (flags & kNetNonBlocking) Ipv4Socket::SetNonBlocking(socket);
    AddSocket(socket, flags);
    if (Ipv4Socket::SetNoDelay(socket) != 0) ReportError("setsockopt error", nullptr);
    Warn("setsockopt TCP_NODELAY");
    return socket;
}

void VRNetManager::SendTCP(int socket, const void* data, size_t length) {
    if (!FindSocket(socket) || Ipv4Socket::Send(socket, data, length) < 0) Warn("SendTCP: failed to send variable");
}

int32_t VRNetManager::ReceiveTCP(int socket, void* buffer, size_t size, long* length) {
    const long n = FindSocket(socket) ? Ipv4Socket::Receive(socket, buffer, size) : -1;
    if (length) *length = n;
    return 0;
}

long VRNetManager::PeekTCP(int socket, void* buffer, size_t size) {
    return FindSocket(socket) ? Ipv4Socket::Peek(socket, buffer, size) : -1;
}

bool VRNetManager::WaitReadable(int socket, int32_t milliseconds) {
    return FindSocket(socket) && Ipv4Socket::WaitReadable(socket, milliseconds) == 1;
}

// ---------------------------------------------------------------------------
// The process's manager

namespace {

std::mutex g_managerLock;
std::atomic<VRNetManager*> g_manager{nullptr};

}  // namespace

VRNetManager* NetManager() {
    if (VRNetManager* manager = g_manager) return manager;
    CreateNetManager();
    return g_manager;
}

void CreateNetManager() {
    std::lock_guard<std::mutex> guard(g_managerLock);
    if (!g_manager) g_manager = new VRNetManager();
}

void DeleteNetManager() {
    std::lock_guard<std::mutex> guard(g_managerLock);
    delete g_manager.exchange(nullptr);
}
