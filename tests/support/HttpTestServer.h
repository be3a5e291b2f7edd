// A small HTTP/1.1 server on 127.0.0.1 for tests: it binds a free port,
// answers GET requests from a table of paths on its own thread, counts the
// requests per path and keeps their heads. Unknown paths get 404.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qemtest {

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Answers `path` (with its query, if any) with `status` and `body`.
    void Serve(const std::string& path, std::string body, int status = 200);
    // Answers `path` with the headers and the first half of `body`, then
    // holds the connection open until Release() or Stop().
    void Hold(const std::string& path, std::string body);
    void Release();
    // Answers `path` with a body that never ends (no length given), until
    // the client goes or the server stops.
    void Endless(const std::string& path);

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path) const;

    int Hits(const std::string& path) const;
    // The head (request line and headers) of every request for `path`.
    std::vector<std::string> RequestHeads(const std::string& path) const;
    bool WaitForHits(const std::string& path, int count, std::chrono::milliseconds timeout) const;

    // Closes every connection and ends the server's thread.
    void Stop();

private:
    struct Impl;
    struct Route {
        std::string body;
        int status = 200;
        bool held = false;
        bool endless = false;
    };

    void Record(const std::string& path, const std::string& head);
    bool Lookup(const std::string& path, Route& route) const;

    void Run();

    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_hit;
    std::map<std::string, Route> m_routes;
    std::map<std::string, std::vector<std::string>> m_heads;
};

}  // namespace qemtest
