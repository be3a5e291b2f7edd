#include "support/HttpTestServer.h"

#include <atomic>
#include <list>

#include "platform/Socket.h"

namespace qemtest {

namespace {

std::string ResponseHead(int status, size_t length) {
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
}

}  // namespace

// Each connection is answered on a thread of its own; Stop shuts every
// socket down, which ends their waits, and joins the threads.
struct HttpTestServer::Impl {
    Socket listener = Socket::Listen(0);
    std::atomic<bool> stopping{false};
    bool released = false;  // under the server's mutex
    std::mutex connectionsLock;
    std::list<Socket> sockets;
    std::vector<std::thread> threads;
};

HttpTestServer::HttpTestServer() : m_impl(std::make_unique<Impl>()) {
    m_port = m_impl->listener.LocalPort();
    m_thread = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Run() {
    while (!m_impl->stopping) {
        Socket client = m_impl->listener.Accept();
        if (!client.Valid()) return;
        std::lock_guard<std::mutex> guard(m_impl->connectionsLock);
        if (m_impl->stopping) return;
        m_impl->sockets.push_back(std::move(client));
        Socket* socket = &m_impl->sockets.back();
        m_impl->threads.emplace_back([this, socket] {
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const size_t n = socket->ReadSome(buffer, sizeof buffer);
                if (n == 0) return;
                head.append(buffer, n);
            }
            head.erase(head.find("\r\n\r\n") + 4);
            const size_t sp1 = head.find(' ');
            const size_t sp2 = head.find(' ', sp1 + 1);
            const std::string path =
                sp1 == std::string::npos || sp2 == std::string::npos ? "" : head.substr(sp1 + 1, sp2 - sp1 - 1);
            Record(path, head);
            Route route;
            if (!Lookup(path, route)) route = Route{"not found", 404, false};
            if (route.endless) {
                std::string out = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                  "Connection: close\r\n\r\n";
                const std::string chunk(65536, 'x');
                while (!m_impl->stopping && socket->WriteAll(out)) out = chunk;
                socket->Shutdown();
                return;
            }
            const std::string out = ResponseHead(route.status, route.body.size());
            if (route.held) {
                const size_t half = route.body.size() / 2;
                if (!socket->WriteAll(out + route.body.substr(0, half))) return;
                std::unique_lock<std::mutex> lock(m_mutex);
                m_hit.wait(lock, [this] { return m_impl->released || m_impl->stopping; });
                if (m_impl->stopping) return;
                lock.unlock();
                socket->WriteAll(route.body.substr(half));
            } else {
                socket->WriteAll(out + route.body);
            }
            socket->Shutdown();
        });
    }
}

void HttpTestServer::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_impl->stopping = true;
    }
    m_hit.notify_all();
    m_impl->listener.Shutdown();
    m_thread.join();
    {
        // Clients see the end at once, and waiting readers wake.
        std::lock_guard<std::mutex> guard(m_impl->connectionsLock);
        for (Socket& socket : m_impl->sockets) socket.Shutdown();
    }
    for (std::thread& thread : m_impl->threads) thread.join();
    m_impl->threads.clear();
    m_impl->sockets.clear();
    m_impl->listener.Close();
}

void HttpTestServer::Serve(const std::string& path, std::string body, int status) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_routes[path] = Route{std::move(body), status, false};
}

void HttpTestServer::Hold(const std::string& path, std::string body) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_routes[path] = Route{std::move(body), 200, true};
    m_impl->released = false;
}

void HttpTestServer::Endless(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_mutex);
    Route route;
    route.endless = true;
    m_routes[path] = route;
}

void HttpTestServer::Release() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (auto& entry : m_routes) entry.second.held = false;
        m_impl->released = true;
    }
    m_hit.notify_all();
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
