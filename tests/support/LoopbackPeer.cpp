#include "support/LoopbackPeer.h"

#include <stdexcept>
#include <thread>

#include "platform/Ipv4Socket.h"
#include "platform/Socket.h"

namespace qemtest {

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

struct LoopbackPeer::Impl {
    Socket socket;
    std::string pending;  // bytes read past the last line

    // Reads more into `pending` before the end; false at the end of the
    // stream or the time-out.
    bool ReadMore(std::chrono::steady_clock::time_point end) {
        if (!socket.WaitReadable(MillisecondsLeft(end))) return false;
        char buffer[4096];
        const size_t n = socket.ReadSome(buffer, sizeof buffer);
        pending.append(buffer, n);
        return n > 0;
    }
};

LoopbackPeer::LoopbackPeer() : m_impl(std::make_unique<Impl>()) {}

LoopbackPeer::LoopbackPeer(uint16_t port) : LoopbackPeer() {
    std::string error;
    m_impl->socket = Socket::Connect(port, &error);
    if (!m_impl->socket.Valid()) throw std::runtime_error("cannot connect to port " + std::to_string(port) + ": " + error);
}

LoopbackPeer::~LoopbackPeer() = default;

std::unique_ptr<LoopbackPeer> LoopbackPeer::ConnectWithin(uint16_t port, std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    for (;;) {
        std::unique_ptr<LoopbackPeer> peer(new LoopbackPeer());
        peer->m_impl->socket = Socket::Connect(port);
        if (peer->m_impl->socket.Valid()) return peer;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void LoopbackPeer::Send(const std::string& bytes) { m_impl->socket.WriteAll(bytes); }

std::string LoopbackPeer::Read(size_t size, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (m_impl->pending.size() < size && m_impl->ReadMore(end)) {
    }
    const std::string bytes = m_impl->pending.substr(0, size);
    m_impl->pending.erase(0, bytes.size());
    return bytes;
}

std::string LoopbackPeer::ReadLine(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    size_t at;
    while ((at = m_impl->pending.find('\n')) == std::string::npos)
        if (!m_impl->ReadMore(end)) return std::string();
    const std::string line = m_impl->pending.substr(0, at + 1);
    m_impl->pending.erase(0, at + 1);
    return line;
}

bool LoopbackPeer::WaitClosed(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!m_impl->socket.WaitReadable(MillisecondsLeft(end))) return false;
        char buffer[4096];
        const size_t n = m_impl->socket.ReadSome(buffer, sizeof buffer);
        if (n == 0) return true;
        m_impl->pending.append(buffer, n);
    }
}

void LoopbackPeer::Close() { m_impl->socket.Close(); }

void LoopbackPeer::CloseSending() { m_impl->socket.ShutdownWrite(); }

struct LoopbackListener::Impl {
    Socket socket = Socket::Listen(0);
};

LoopbackListener::LoopbackListener() : m_impl(std::make_unique<Impl>()) {}

LoopbackListener::~LoopbackListener() = default;

uint16_t LoopbackListener::Port() const { return m_impl->socket.LocalPort(); }

std::unique_ptr<LoopbackPeer> LoopbackListener::Accept(std::chrono::milliseconds time) {
    if (!m_impl->socket.WaitReadable(static_cast<int>(time.count()))) return nullptr;
    std::unique_ptr<LoopbackPeer> peer(new LoopbackPeer());
    peer->m_impl->socket = m_impl->socket.Accept();
    return peer->m_impl->socket.Valid() ? std::move(peer) : nullptr;
}

LoopbackDatagrams::LoopbackDatagrams() : m_socket(Ipv4Socket::OpenUdp()) {
    uint32_t loopback = 0;
    if (!Ipv4Socket::Resolve("127.0.0.1", loopback) || Ipv4Socket::Bind(m_socket, loopback, 0) != 0) {
        Ipv4Socket::Close(m_socket);
        throw std::runtime_error("cannot bind a UDP socket on 127.0.0.1");
    }
    m_port = Ipv4Socket::LocalPort(m_socket);
}

LoopbackDatagrams::~LoopbackDatagrams() { Ipv4Socket::Close(m_socket); }

std::string LoopbackDatagrams::Receive(std::chrono::milliseconds timeout) {
    if (Ipv4Socket::WaitReadable(m_socket, static_cast<int>(timeout.count())) != 1) return std::string();
    std::string bytes(65536, '\0');
    const long n = Ipv4Socket::ReceiveFrom(m_socket, &bytes[0], bytes.size(), nullptr);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

void LoopbackDatagrams::SendTo(uint16_t port, const std::string& bytes) {
    uint32_t loopback = 0;
    Ipv4Socket::Resolve("127.0.0.1", loopback);
    Ipv4Socket::SendTo(m_socket, loopback, port, bytes.data(), bytes.size());
}

uint16_t FreeLoopbackPort() { return LoopbackListener().Port(); }

bool DebugClient::Connect(LoopbackListener& outputListener, uint16_t commandPort, uint16_t eventPort) {
    output = outputListener.Accept(std::chrono::seconds(10));
    if (!output) return false;
    commands = LoopbackPeer::ConnectWithin(commandPort, std::chrono::seconds(10));
    if (!commands) return false;
    // The event port listens once the command client is in.
    events = LoopbackPeer::ConnectWithin(eventPort, std::chrono::seconds(10));
    return events && events->ReadLine() == "Started\r\n";
}

bool DebugClient::Command(const std::string& line) {
    commands->Send(line + "\r\n");
    return commands->ReadLine() == "ok\n";
}

}  // namespace qemtest
