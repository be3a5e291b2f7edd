// One TCP connection of the debugger: a listener on the loopback address that
// takes a single client and then stops listening. The script's output already
// goes to 127.0.0.1, so a client runs on this machine anyway, and a debugger
// reachable from the network would let anyone drive the script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class DebugConnection {
public:
    DebugConnection();
    ~DebugConnection();
    DebugConnection(const DebugConnection&) = delete;
    DebugConnection& operator=(const DebugConnection&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port). On failure writes
    // "debugger: cannot listen on port N: <reason>" to the standard output.
    bool Listen(int port);
    // The port listened on, once Listen succeeded (0 before).
    uint16_t Port() const;
    // Waits for the one client. On failure writes a message as Listen does.
    bool Accept();

    // Writes all bytes; false when the connection is gone.
    bool Write(const std::string& bytes);
    // Waits for bytes from the client; 0 once the connection has ended.
    size_t Read(char* buffer, size_t size);
    // Ends the connection both ways, which wakes a Read or an Accept blocked
    // in another thread; from any thread.
    void Shutdown();
    // Wakes an Accept blocked in another thread (it fails); a connection
    // already made stays. From any thread.
    void StopAccepting();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
