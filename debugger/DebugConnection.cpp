#include "debugger/DebugConnection.h"

#include <iostream>
#include <mutex>

#include "platform/Socket.h"

// The sockets change only under the lock, so that Shutdown and
// StopAccepting on another thread never meet a descriptor being replaced.
// The blocking calls run outside it.
struct DebugConnection::Impl {
    std::mutex lock;
    Socket listener;
    Socket socket;
    int port = 0;
    bool stopAccepting = false;
    bool shutDown = false;
};

namespace {

void Report(const char* what, int port, const std::string& reason) {
    std::cout << "debugger: cannot " << what << " on port " << port << ": " << reason << std::endl;
}

}  // namespace

DebugConnection::DebugConnection() : m_impl(std::make_unique<Impl>()) {}

DebugConnection::~DebugConnection() = default;

bool DebugConnection::Listen(int port) {
    if (port < 0 || port > 65535) {
        Report("listen", port, "not a port number");
        return false;
    }
    std::string error;
    Socket listener = Socket::Listen(static_cast<uint16_t>(port), &error);
    if (!listener.Valid()) {
        Report("listen", port, error);
        return false;
    }
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->port = listener.LocalPort();
    m_impl->listener = std::move(listener);
    if (m_impl->stopAccepting) m_impl->listener.Shutdown();
    return true;
}

uint16_t DebugConnection::Port() const { return static_cast<uint16_t>(m_impl->port); }

bool DebugConnection::Accept() {
    std::string error;
    Socket client = m_impl->listener.Accept(&error);
    std::lock_guard<std::mutex> guard(m_impl->lock);
    // One client only: a second one is refused instead of waiting unserved.
    m_impl->listener.Close();
    if (!client.Valid() || m_impl->stopAccepting) {
        if (error.empty()) error = "stopped";
        Report("accept a client", m_impl->port, error);
        return false;
    }
    m_impl->socket = std::move(client);
    if (m_impl->shutDown) m_impl->socket.Shutdown();
    return true;
}

bool DebugConnection::Write(const std::string& bytes) { return m_impl->socket.WriteAll(bytes); }

size_t DebugConnection::Read(char* buffer, size_t size) { return m_impl->socket.ReadSome(buffer, size); }

void DebugConnection::Shutdown() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->shutDown = m_impl->stopAccepting = true;
    m_impl->listener.Shutdown();
    m_impl->socket.Shutdown();
}

void DebugConnection::StopAccepting() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->stopAccepting = true;
    m_impl->listener.Shutdown();
}
