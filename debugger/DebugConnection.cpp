#include "debugger/DebugConnection.h"

#include <iostream>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

struct DebugConnection::Impl {
    asio::io_context io;
    tcp::acceptor acceptor{io};
    tcp::socket socket{io};
    int port = 0;
};

namespace {

void Report(const char* what, int port, const std::string& reason) {
    std::cout << "debugger: cannot " << what << " on port " << port << ": " << reason << std::endl;
}

}  // namespace

DebugConnection::DebugConnection() : m_impl(std::make_unique<Impl>()) {}

DebugConnection::~DebugConnection() {
    boost::system::error_code ignored;
    m_impl->socket.close(ignored);
    m_impl->acceptor.close(ignored);
}

bool DebugConnection::Listen(int port) {
    if (port < 0 || port > 65535) {
        Report("listen", port, "not a port number");
        return false;
    }
    boost::system::error_code ec;
    tcp::acceptor& acceptor = m_impl->acceptor;
    const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<uint16_t>(port));
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) m_impl->port = acceptor.local_endpoint(ec).port();
    if (ec) {
        boost::system::error_code ignored;
        acceptor.close(ignored);
        Report("listen", port, ec.message());
        return false;
    }
    return true;
}

uint16_t DebugConnection::Port() const { return static_cast<uint16_t>(m_impl->port); }

bool DebugConnection::Accept() {
    boost::system::error_code ec;
    m_impl->acceptor.accept(m_impl->socket, ec);
    // One client only: a second one is refused instead of waiting unserved.
    boost::system::error_code ignored;
    m_impl->acceptor.close(ignored);
    if (ec) {
        Report("accept a client", m_impl->port, ec.message());
        return false;
    }
    return true;
}

bool DebugConnection::Write(const std::string& bytes) {
    boost::system::error_code ec;
    asio::write(m_impl->socket, asio::buffer(bytes), ec);
    return !ec;
}

size_t DebugConnection::Read(char* buffer, size_t size) {
    boost::system::error_code ec;
    const size_t n = m_impl->socket.read_some(asio::buffer(buffer, size), ec);
    return ec ? 0 : n;
}

void DebugConnection::Shutdown() {
    boost::system::error_code ignored;
    m_impl->socket.shutdown(tcp::socket::shutdown_both, ignored);
}
