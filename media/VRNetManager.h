// The socket layer under the script's network functions: one UDP output
// socket for datagrams to any host, UDP input channels, TCP listening
// channels with a background accept, TCP connections, multicast groups, and
// the list of the sockets it opened, which it closes at its end. It moves
// bytes only; the packets that travel over it are the network functions'.
//
// Scripts hold sockets as the numbers these operations give. An operation
// acts only on a socket of the manager's list: any other number (made up, or
// one of the engine's own descriptors) fails as a closed socket would.
//
// Problems are reported through ReportWarning, and the failures of
// ConnectTCP through ReportError.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

// Bit 0 of a channel's flags: the socket does not block.
constexpr int32_t kNetNonBlocking = 0x1;

// One socket of the manager, or one accept in progress.
struct NetSocketNode {
    int socket = -1;
    // A pending accept: its thread, the socket it accepted (-1 while none)
    // and whether it has ended (without a socket when the accept failed).
    std::thread acceptThread;
    std::atomic<int> acceptedSocket{-1};
    std::atomic<bool> acceptEnded{false};
    // The flags the socket was made with (kNetNonBlocking).
    int32_t value = 0;
    // Packets arriving in pieces on a connection: the buffer of the packet
    // under way, how many of its bytes came, and its length (below 1: none
    // under way). The network functions fill and read them. The buffer is
    // not cleared, so memory the peer announces costs nothing before its
    // bytes arrive.
    std::unique_ptr<uint8_t[]> buffer;
    int32_t capacity = 0;
    int32_t received = 0;
    int32_t expected = -1;

    int32_t Capacity() const { return capacity; }
    // Grows the buffer to at least n bytes, keeping the bytes received; the
    // capacity.
    int32_t Reserve(int32_t n);
};

class VRNetManager {
public:
    VRNetManager();
    ~VRNetManager();
    VRNetManager(const VRNetManager&) = delete;
    VRNetManager& operator=(const VRNetManager&) = delete;

    // One datagram to host:port from the output socket.
    void SendTo(const char* host, int32_t port, const void* data, size_t length);
    // One datagram of a channel into the buffer; `length` gets the byte
    // count, -1 on a failure (a non-blocking channel without data too). The
    // sender's dotted address ("" after a failure).
    std::string ReceiveFrom(int socket, void* buffer, size_t size, long* length);
    // One receive on a connection; `length` gets its count (0: the peer
    // ended, -1: failed). Answers 0.
    int32_t ReceiveTCP(int socket, void* buffer, size_t size, long* length);
    // The bytes a ReceiveTCP would give, left in the stream (its count).
    long PeekTCP(int socket, void* buffer, size_t size);
    // One send on a connection.
    void SendTCP(int socket, const void* data, size_t length);
    // Waits at most the time for the socket to be readable; a negative time
    // or a socket not in the list answers false at once.
    bool WaitReadable(int socket, int32_t milliseconds);

    void AddSocket(int socket, int32_t value);
    // The newest node of the socket, or null.
    NetSocketNode* FindSocket(int socket);

    // Joins the multicast group on any interface: 0, or -1.
    int32_t SetMulticastIP(int socket, const char* group);
    // A UDP channel on the port and the local address (null or empty: any);
    // the socket, or -1.
    int CreateChannel(int32_t port, const char* address, int32_t flags);
    // A listening TCP socket; the socket, or -1.
    int CreateChannelTCP(int32_t port, const char* address);
    // Polls a listening socket: the first call starts a background accept
    // and answers -1, later ones answer the accepted socket once it came
    // (in the list from then on, made non-blocking by kNetNonBlocking) and
    // -1 before. After a failed accept the next poll starts a new one.
    int AcceptTCP(int socket, int32_t flags);
    // A blocking connect to host:port (TCP_NODELAY set); the socket, or -1.
    int ConnectTCP(const char* host, int32_t port, int32_t flags);
    // Closes a socket of the list, ending an accept in progress on it first.
    void Close(int socket);

private:
    using NodeList = std::list<std::unique_ptr<NetSocketNode>>;
    // Ends the pending accept (waking it), closing what it accepted.
    static void EndAccept(NetSocketNode& pending);

    NodeList m_sockets;         // newest first
    NodeList m_pendingAccepts;  // one per listening socket with an accept under way
    int m_outputSocket = -1;
};

// The process's manager. The scene makes it (CreateNetManager) and ends it
// (DeleteNetManager); a network call before the scene exists makes it
// itself, and the scene then keeps that one.
VRNetManager* NetManager();
void CreateNetManager();
void DeleteNetManager();
