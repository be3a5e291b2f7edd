#include "debugger/DebugConnection.h"

#include <iostream>

#include "platform/Socket.h"

struct DebugConnection::Impl {
    Socket listener;
    Socket socket;
    int port = 0;
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
    m_impl->listener = Socket::Listen(static_cast<uint16_t>(port), &error);
    if (!m_impl->listener.Valid()) {
        Report("listen", port, error);
        return false;
    }
    m_impl->port = m_impl->listener.LocalPort();
    return true;
}

uint16_t DebugConnection::Port() const { return static_cast<uint16_t>(m_impl->port); }

bool DebugConnection::Accept() {
    std::string error;
    Socket client = m_impl->listener.Accept(&error);
    // One client only: a second one is refused instead of waiting unserved.
    m_impl->listener.Close();
    if (!client.Valid()) {
        Report("accept a client", m_impl->port, error);
        return false;
    }
    m_impl->socket = std::move(client);
    return true;
}

bool DebugConnection::Write(const std::string& bytes) { return m_impl->socket.WriteAll(bytes); }

size_t DebugConnection::Read(char* buffer, size_t size) { return m_impl->socket.ReadSome(buffer, size); }

void DebugConnection::Shutdown() { m_impl->socket.Shutdown(); }
