#include "platform/Ipv4Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/BlockingWait.h"

namespace {

sockaddr_in Address(uint32_t address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

// The failure of the last send, kept apart from errno, which later calls
// (a warning's output) may change.
thread_local int t_sendError = 0;

template <class F>
long Retrying(F call) {
    long n;
    do n = call();
    while (n < 0 && errno == EINTR);
    return n;
}

bool NonBlocking(int socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK);
}

// One call that a blocking socket would wait for: made without waiting, and
// when nothing is there yet the wait happens here, where a stop request
// ends it (answered -1 with errno EINTR). A non-blocking socket answers at
// once, as ever.
template <class F>
long Waiting(int socket, short events, F call) {
    for (;;) {
        const long n = call(MSG_DONTWAIT);
        if (n >= 0 || errno == EINTR) {
            if (n >= 0) return n;
            continue;
        }
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || NonBlocking(socket)) return n;
        switch (WaitForDescriptor(socket, events, -1)) {
        case WaitResult::Ready: break;
        case WaitResult::Stopped: errno = EINTR; return -1;
        default: return -1;
        }
    }
}

}  // namespace

int Ipv4Socket::OpenUdp() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

int Ipv4Socket::OpenTcp() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool Ipv4Socket::Resolve(const char* host, uint32_t& address) {
    if (!host) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
}

std::string Ipv4Socket::Dotted(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    return ::inet_ntop(AF_INET, &a, text, sizeof text) ? text : "";
}

std::string Ipv4Socket::HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

int Ipv4Socket::Bind(int socket, uint32_t address, uint16_t port) {
    const sockaddr_in a = Address(address, port);
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

int Ipv4Socket::BindListening(int socket, uint32_t address, uint16_t port) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    return Bind(socket, address, port);
}

int Ipv4Socket::Listen(int socket, int backlog) { return ::listen(socket, backlog); }

int Ipv4Socket::Accept(int socket) {
    return static_cast<int>(Retrying([&] { return long(::accept4(socket, nullptr, nullptr, SOCK_CLOEXEC)); }));
}

int Ipv4Socket::Connect(int socket, uint32_t address, uint16_t port) {
    const sockaddr_in a = Address(address, port);
    // Made without waiting, then waited for here, where a stop request ends
    // the wait (a host that does not answer takes minutes to give up).
    const int flags = ::fcntl(socket, F_GETFL);
    const bool wasBlocking = flags >= 0 && !(flags & O_NONBLOCK);
    if (wasBlocking) ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    const int connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    const int connectError = errno;
    bool waited = false;
    if (connected != 0 && (connectError == EINPROGRESS || connectError == EINTR) && wasBlocking)
        waited = WaitForDescriptor(socket, POLLOUT, -1) == WaitResult::Ready;
    if (wasBlocking) ::fcntl(socket, F_SETFL, flags);
    if (connected == 0) return 0;
    if (!waited) {
        errno = connectError;
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return -1;
    return 0;
}

int Ipv4Socket::StartConnect(int socket, uint32_t address, uint16_t port) {
    const sockaddr_in a = Address(address, port);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return 0;
    // An interrupted connect goes on in the background like one under way.
    return errno == EINPROGRESS || errno == EINTR ? 1 : -1;
}

int Ipv4Socket::ConnectResult(int socket) {
    pollfd p{socket, POLLOUT, 0};
    int n;
    do n = ::poll(&p, 1, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    if (n == 0) return 0;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return -1;
    return 1;
}

int Ipv4Socket::AcceptWaiting(int socket) {
    return static_cast<int>(
        Retrying([&] { return long(::accept4(socket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)); }));
}

int Ipv4Socket::SetNonBlocking(int socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    return flags < 0 ? -1 : ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

int Ipv4Socket::SetMulticastTtl(int socket, int ttl) {
    return ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
}

int Ipv4Socket::JoinMulticast(int socket, const char* group) {
    ip_mreq request{};
    if (!group || ::inet_aton(group, &request.imr_multiaddr) == 0) return -1;
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
}

int Ipv4Socket::SetNoDelay(int socket) {
    const int yes = 1;
    return ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

long Ipv4Socket::SendTo(int socket, uint32_t address, uint16_t port, const void* data, size_t size) {
    const sockaddr_in a = Address(address, port);
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&a);
    const long n = Retrying([&] { return long(::sendto(socket, data, size, MSG_NOSIGNAL, to, sizeof a)); });
    t_sendError = n < 0 ? errno : 0;
    return n;
}

long Ipv4Socket::ReceiveFrom(int socket, void* buffer, size_t size, uint32_t* sender) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    sockaddr* source = reinterpret_cast<sockaddr*>(&from);
    const long n = Waiting(socket, POLLIN, [&](int flags) {
        length = sizeof from;
        return long(::recvfrom(socket, buffer, size, flags, source, &length));
    });
    if (sender) *sender = n >= 0 ? from.sin_addr.s_addr : 0;
    return n;
}

long Ipv4Socket::Send(int socket, const void* data, size_t size) {
    // A blocking socket sends everything, however slowly the peer reads.
    const bool blocking = !NonBlocking(socket);
    const char* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    long n = 0;
    do {
        n = Waiting(socket, POLLOUT,
                    [&](int flags) { return long(::send(socket, bytes + sent, size - sent, flags | MSG_NOSIGNAL)); });
        if (n > 0) sent += static_cast<size_t>(n);
    } while (blocking && n > 0 && sent < size);
    t_sendError = n < 0 ? errno : 0;
    return n < 0 && sent == 0 ? n : static_cast<long>(sent);
}

long Ipv4Socket::Receive(int socket, void* buffer, size_t size) {
    return Waiting(socket, POLLIN, [&](int flags) { return long(::recv(socket, buffer, size, flags)); });
}

long Ipv4Socket::Peek(int socket, void* buffer, size_t size) {
    return Waiting(socket, POLLIN, [&](int flags) { return long(::recv(socket, buffer, size, flags | MSG_PEEK)); });
}

int Ipv4Socket::WaitReadable(int socket, int milliseconds) {
    if (milliseconds < 0) return -1;
    // A peer that closed or a failed socket reads at once too (its end or
    // its error).
    switch (WaitForDescriptor(socket, POLLIN, milliseconds)) {
    case WaitResult::Ready: return 1;
    case WaitResult::TimedOut:
    case WaitResult::Stopped: return 0;
    default: return -1;
    }
}

uint16_t Ipv4Socket::LocalPort(int socket) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
    return ntohs(a.sin_port);
}

void Ipv4Socket::Shutdown(int socket) { ::shutdown(socket, SHUT_RDWR); }

void Ipv4Socket::Close(int socket) {
    if (socket >= 0) ::close(socket);
}

bool Ipv4Socket::LastFailureTooLarge() { return t_sendError == EMSGSIZE; }

bool Ipv4Socket::WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
