#include "support/HttpTestServer.h"

#include <boost/asio.hpp>

#include <deque>

namespace qemtest {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

std::string ResponseHead(int status, size_t length) {
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
}

}  // namespace

struct HttpTestServer::Impl {
    struct Session : std::enable_shared_from_this<Session> {
        Session(Impl& impl, tcp::socket s) : owner(impl), socket(std::move(s)) {}

        void Begin() {
            auto self = shared_from_this();
            asio::async_read_until(socket, input, "\r\n\r\n",
                                   [self](boost::system::error_code ec, size_t n) { self->Answer(ec, n); });
        }

        void Answer(boost::system::error_code ec, size_t n) {
            if (ec) return;
            auto begin = asio::buffers_begin(input.data());
            const std::string head(begin, begin + static_cast<std::ptrdiff_t>(n));
            const size_t sp1 = head.find(' ');
            const size_t sp2 = head.find(' ', sp1 + 1);
            const std::string path =
                sp1 == std::string::npos || sp2 == std::string::npos ? "" : head.substr(sp1 + 1, sp2 - sp1 - 1);
            owner.server->Record(path, head);
            Route route;
            if (!owner.server->Lookup(path, route)) route = Route{"not found", 404, false};
            std::string out = ResponseHead(route.status, route.body.size());
            if (route.held) {
                const size_t half = route.body.size() / 2;
                out += route.body.substr(0, half);
                rest = route.body.substr(half);
                owner.held.push_back(shared_from_this());
                Write(std::move(out), false);
            } else {
                Write(out + route.body, true);
            }
        }

        // Writes go out one after the other; `close` ends the connection
        // once its data is sent.
        void Write(std::string data, bool close) {
            outbox.push_back({std::move(data), close});
            if (outbox.size() == 1) SendNext();
        }

        void SendNext() {
            auto self = shared_from_this();
            asio::async_write(socket, asio::buffer(outbox.front().first), [self](boost::system::error_code ec, size_t) {
                const bool close = self->outbox.front().second;
                self->outbox.pop_front();
                if (ec || close) {
                    boost::system::error_code ignored;
                    self->socket.shutdown(tcp::socket::shutdown_both, ignored);
                    self->socket.close(ignored);
                    return;
                }
                if (!self->outbox.empty()) self->SendNext();
            });
        }

        Impl& owner;
        tcp::socket socket;
        asio::streambuf input;
        std::string rest;
        std::deque<std::pair<std::string, bool>> outbox;
    };

    void Accept() {
        acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
            if (ec) return;
            auto session = std::make_shared<Session>(*this, std::move(socket));
            sessions.push_back(session);
            session->Begin();
            Accept();
        });
    }

    HttpTestServer* server = nullptr;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    // Touched on the server thread only, or after it ended.
    std::vector<std::shared_ptr<Session>> held;
    std::vector<std::weak_ptr<Session>> sessions;
};

HttpTestServer::HttpTestServer() : m_impl(std::make_unique<Impl>()) {
    m_impl->server = this;
    tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    m_impl->acceptor.open(endpoint.protocol());
    m_impl->acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_impl->acceptor.bind(endpoint);
    m_impl->acceptor.listen();
    m_port = m_impl->acceptor.local_endpoint().port();
    m_impl->Accept();
    m_thread = std::thread([this] { m_impl->io.run(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
    if (!m_thread.joinable()) return;
    m_impl->io.stop();
    m_thread.join();
    // Handlers that never ran still own their sessions: close the sockets
    // now so that clients see the end at once.
    boost::system::error_code ignored;
    for (auto& weak : m_impl->sessions)
        if (auto session = weak.lock()) session->socket.close(ignored);
    m_impl->held.clear();
    m_impl->acceptor.close(ignored);
}

void HttpTestServer::Serve(const std::string& path, std::string body, int status) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_routes[path] = Route{std::move(body), status, false};
}

void HttpTestServer::Hold(const std::string& path, std::string body) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_routes[path] = Route{std::move(body), 200, true};
}

void HttpTestServer::Release() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (auto& entry : m_routes) entry.second.held = false;
    }
    asio::post(m_impl->io, [impl = m_impl.get()] {
        for (auto& session : impl->held) session->Write(session->rest, true);
        impl->held.clear();
    });
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::Record(const std::string& path, const std::string& head) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_heads[path].push_back(head);
    }
    m_hit.notify_all();
}

bool HttpTestServer::Lookup(const std::string& path, Route& route) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_routes.find(path);
    if (it == m_routes.end()) return false;
    route = it->second;
    return true;
}

int HttpTestServer::Hits(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_heads.find(path);
    return it == m_heads.end() ? 0 : static_cast<int>(it->second.size());
}

std::vector<std::string> HttpTestServer::RequestHeads(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_heads.find(path);
    return it == m_heads.end() ? std::vector<std::string>{} : it->second;
}

bool HttpTestServer::WaitForHits(const std::string& path, int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_hit.wait_for(lock, timeout, [&] {
        auto it = m_heads.find(path);
        return it != m_heads.end() && static_cast<int>(it->second.size()) >= count;
    });
}

}  // namespace qemtest
