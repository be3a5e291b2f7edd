// One end of a TCP connection on 127.0.0.1 for tests, with reads that give
// up after a while, so that a missing reply fails a test instead of hanging
// it. Made by connecting to a port, or by accepting on a listener.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace qemtest {

class LoopbackPeer {
public:
    // Connects to the port; throws std::runtime_error when refused.
    explicit LoopbackPeer(uint16_t port);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    // Connects, trying again until the port listens or the time is up; null then.
    static std::unique_ptr<LoopbackPeer> ConnectWithin(uint16_t port, std::chrono::milliseconds time);

    void Send(const std::string& bytes);
    // Exactly `size` bytes, or what arrived before the time-out.
    std::string Read(size_t size, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The next line with its "\n" (and a CR before it), or "" at the time-out.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the other end closes the stream within the time (bytes
    // before its end are kept for Read).
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Close();
    // Ends the sending side only: the other end reads the end of the stream.
    void CloseSending();

    struct Impl;

private:
    friend class LoopbackListener;
    LoopbackPeer();
    std::unique_ptr<Impl> m_impl;
};

// Listens on a free port of 127.0.0.1 from construction on.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    uint16_t Port() const;
    // The next peer that connected, or null when none came in time.
    std::unique_ptr<LoopbackPeer> Accept(std::chrono::milliseconds time = std::chrono::seconds(5));

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A UDP socket on a free port of 127.0.0.1, from construction on.
class LoopbackDatagrams {
public:
    LoopbackDatagrams();
    ~LoopbackDatagrams();
    LoopbackDatagrams(const LoopbackDatagrams&) = delete;
    LoopbackDatagrams& operator=(const LoopbackDatagrams&) = delete;

    uint16_t Port() const { return m_port; }
    // The next datagram, or "" when none came in time.
    std::string Receive(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void SendTo(uint16_t port, const std::string& bytes);

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};

// A port that was free a moment ago (bound to 0, then closed).
uint16_t FreeLoopbackPort();

// A debugger client: it listens for the script's output and connects to the
// command port, then the event port.
struct DebugClient {
    std::unique_ptr<LoopbackPeer> output;
    std::unique_ptr<LoopbackPeer> commands;
    std::unique_ptr<LoopbackPeer> events;

    // Accepts the output connection, connects both ports and reads the
    // "Started" event; false when any step fails.
    bool Connect(LoopbackListener& outputListener, uint16_t commandPort, uint16_t eventPort);
    // Sends a command line; true when it is acknowledged with "ok".
    bool Command(const std::string& line);
    std::string Event(std::chrono::milliseconds timeout = std::chrono::seconds(5)) { return events->ReadLine(timeout); }
    std::string Reply() { return commands->ReadLine(); }
};

}  // namespace qemtest
