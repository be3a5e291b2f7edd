// Plain IPv4 socket calls on descriptors, for the network manager that
// scripts drive: UDP and TCP sockets, datagrams, streams, multicast groups.
// Each call answers what its system call answers (-1 on a failure, with
// errno kept for LastFailureTooLarge). Sockets are close-on-exec, sends never
// raise SIGPIPE, and waits use poll, so any descriptor number works.
//
// Addresses are IPv4 in network byte order; ports are in host order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Ipv4Socket {
    static int OpenUdp();
    static int OpenTcp();

    // The first IPv4 address of a host given as dotted text or as a name;
    // false when it has none.
    static bool Resolve(const char* host, uint32_t& address);
    static std::string Dotted(uint32_t address);
    // This machine's name ("" when it has none).
    static std::string HostName();

    // Binding to `address` (INADDR_ANY: every address) and the port. A
    // listening TCP socket may take a port whose old connections are still
    // closing; a port another socket holds stays refused.
    static int Bind(int socket, uint32_t address, uint16_t port);
    static int BindListening(int socket, uint32_t address, uint16_t port);
    static int Listen(int socket, int backlog);
    // Blocks until a connection arrives; the new socket, or -1 (also once
    // the listening socket was shut down).
    static int Accept(int socket);
    // A blocking connect.
    static int Connect(int socket, uint32_t address, uint16_t port);
    // A connect that does not wait, on a non-blocking socket: 0 connected
    // at once, 1 under way (ConnectResult tells how it ended), -1 failed.
    static int StartConnect(int socket, uint32_t address, uint16_t port);
    // How a connect under way stands, without waiting: 1 connected, 0 still
    // under way, -1 failed.
    static int ConnectResult(int socket);
    // The next connection waiting on a non-blocking listening socket, made
    // non-blocking itself; -1 when none waits (or the accept failed).
    static int AcceptWaiting(int socket);

    static int SetNonBlocking(int socket);
    static int SetMulticastTtl(int socket, int ttl);
    // Joins the group (dotted text) on any interface; -1 for a text that is
    // no address.
    static int JoinMulticast(int socket, const char* group);
    static int SetNoDelay(int socket);

    static long SendTo(int socket, uint32_t address, uint16_t port, const void* data, size_t size);
    // One datagram; `sender` gets its source address.
    static long ReceiveFrom(int socket, void* buffer, size_t size, uint32_t* sender);
    static long Send(int socket, const void* data, size_t size);
    static long Receive(int socket, void* buffer, size_t size);
    // The bytes a Receive would give, left in the stream.
    static long Peek(int socket, void* buffer, size_t size);
    // Waits at most `milliseconds` (0: just looks) for the socket to be
    // readable: 1 readable, 0 not, -1 failed (a negative time too).
    static int WaitReadable(int socket, int milliseconds);

    // The port the socket is bound to (0 when none).
    static uint16_t LocalPort(int socket);

    // Both directions ended; a blocked accept or receive returns.
    static void Shutdown(int socket);
    static void Close(int socket);

    // True when the last failed send was a datagram too large to go.
    static bool LastFailureTooLarge();
    // True when the call that just failed on a non-blocking socket only had
    // to wait (nothing to read, no room to write): ask right after it.
    static bool WouldBlock();
};
