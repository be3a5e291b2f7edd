#include "support/LoopbackPeer.h"

#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace qemtest {

struct LoopbackPeer::Impl {
    asio::io_context io;
    tcp::socket socket{io};
    asio::streambuf pending;  // bytes read past the last line

    // Runs one asynchronous read for at most `timeout`; cancels it then.
    void RunFor(std::chrono::milliseconds timeout, const bool& done) {
        io.restart();
        io.run_for(timeout);
        if (!done) {
            boost::system::error_code ignored;
            socket.cancel(ignored);
            io.restart();
            io.run();
        }
    }
};

LoopbackPeer::LoopbackPeer() : m_impl(std::make_unique<Impl>()) {}

LoopbackPeer::LoopbackPeer(uint16_t port) : LoopbackPeer() {
    m_impl->socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
}

LoopbackPeer::~LoopbackPeer() = default;

std::unique_ptr<LoopbackPeer> LoopbackPeer::ConnectWithin(uint16_t port, std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    for (;;) {
        std::unique_ptr<LoopbackPeer> peer(new LoopbackPeer());
        boost::system::error_code ec;
        peer->m_impl->socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), ec);
        if (!ec) return peer;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void LoopbackPeer::Send(const std::string& bytes) { asio::write(m_impl->socket, asio::buffer(bytes)); }

std::string LoopbackPeer::Read(size_t size, std::chrono::milliseconds timeout) {
    std::string bytes;
    // Bytes already read ahead by ReadLine come first.
    const size_t ahead = std::min(size, m_impl->pending.size());
    bytes.assign(asio::buffers_begin(m_impl->pending.data()), asio::buffers_begin(m_impl->pending.data()) + ahead);
    m_impl->pending.consume(ahead);
    if (bytes.size() == size) return bytes;
    std::string rest(size - bytes.size(), '\0');
    size_t got = 0;
    bool done = false;
    asio::async_read(m_impl->socket, asio::buffer(rest), [&](const boost::system::error_code&, size_t n) {
        got = n;
        done = true;
    });
    m_impl->RunFor(timeout, done);
    rest.resize(got);
    return bytes + rest;
}

std::string LoopbackPeer::ReadLine(std::chrono::milliseconds timeout) {
    bool done = false;
    bool ok = false;
    size_t length = 0;
    asio::async_read_until(m_impl->socket, m_impl->pending, '\n',
                           [&](const boost::system::error_code& ec, size_t n) {
                               ok = !ec;
                               length = n;
                               done = true;
                           });
    m_impl->RunFor(timeout, done);
    if (!ok) return std::string();
    std::string line(asio::buffers_begin(m_impl->pending.data()),
                     asio::buffers_begin(m_impl->pending.data()) + length);
    m_impl->pending.consume(length);
    return line;
}

void LoopbackPeer::Close() {
    boost::system::error_code ignored;
    m_impl->socket.close(ignored);
}

struct LoopbackListener::Impl {
    asio::io_context io;
    tcp::acceptor acceptor{io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)};
};

LoopbackListener::LoopbackListener() : m_impl(std::make_unique<Impl>()) {}

LoopbackListener::~LoopbackListener() = default;

uint16_t LoopbackListener::Port() const { return m_impl->acceptor.local_endpoint().port(); }

std::unique_ptr<LoopbackPeer> LoopbackListener::Accept(std::chrono::milliseconds time) {
    std::unique_ptr<LoopbackPeer> peer(new LoopbackPeer());
    bool done = false;
    bool ok = false;
    m_impl->acceptor.async_accept(peer->m_impl->socket, [&](const boost::system::error_code& ec) {
        ok = !ec;
        done = true;
    });
    m_impl->io.restart();
    m_impl->io.run_for(time);
    if (!done) {
        m_impl->acceptor.cancel();
        m_impl->io.restart();
        m_impl->io.run();
    }
    return ok ? std::move(peer) : nullptr;
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
