// TCP on the loopback address: the debugger's channels, the script output
// sent to a debugger, and (later) the network classes all go through this
// one owner of a socket descriptor. Writes never raise SIGPIPE; reads and
// accepts that a signal interrupts go on waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A socket listening on 127.0.0.1:port (0 picks a free port); invalid,
    // with the reason in `error`, when that fails.
    static Socket Listen(uint16_t port, std::string* error = nullptr);
    // A connection to 127.0.0.1:port; invalid, with the reason, when refused.
    static Socket Connect(uint16_t port, std::string* error = nullptr);

    bool Valid() const { return m_fd >= 0; }
    // The local port (0 when invalid).
    uint16_t LocalPort() const;

    // The next client of a listening socket; invalid, with the reason, when
    // the socket was shut down or failed.
    Socket Accept(std::string* error = nullptr);

    // Writes all bytes; false when the connection is gone.
    bool WriteAll(const void* data, size_t size);
    bool WriteAll(const std::string& bytes) { return WriteAll(bytes.data(), bytes.size()); }
    // Waits for bytes and reads what arrived, at most `size`; 0 once the
    // peer has ended its side, the socket was shut down or failed.
    size_t ReadSome(void* buffer, size_t size);
    // Waits at most `timeoutMs` (-1: no limit) until a read or an accept
    // would not block; true then.
    bool WaitReadable(int timeoutMs) const;

    // Ends the connection both ways (a listening socket stops listening);
    // a read or accept blocked on another thread returns at once. The
    // descriptor stays open until Close or destruction, so that no other
    // thread can be handed a reused descriptor meanwhile.
    void Shutdown();
    // Ends our sending side only: the peer reads the end of the stream.
    void ShutdownWrite();
    void Close();

private:
    explicit Socket(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// An output stream whose bytes go to a connection; null when the connection
// to 127.0.0.1:port cannot be made.
std::unique_ptr<std::ostream> ConnectOutputStream(uint16_t port);
