#include "platform/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <streambuf>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void SetError(std::string* error, int code) {
    if (error) *error = std::strerror(code);
}

}  // namespace

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

Socket Socket::Listen(uint16_t port, std::string* error) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) {
        SetError(error, errno);
        return Socket();
    }
    const int yes = 1;
    ::setsockopt(s.m_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in address = Loopback(port);
    if (::bind(s.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s.m_fd, SOMAXCONN) != 0) {
        SetError(error, errno);
        return Socket();
    }
    return s;
}

Socket Socket::Connect(uint16_t port, std::string* error) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) {
        SetError(error, errno);
        return Socket();
    }
    const sockaddr_in address = Loopback(port);
    int result;
    do {
        result = ::connect(s.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        SetError(error, errno);
        return Socket();
    }
    // Lines of a protocol go out as they are written.
    const int yes = 1;
    ::setsockopt(s.m_fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return s;
}

uint16_t Socket::LocalPort() const {
    if (!Valid()) return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

Socket Socket::Accept(std::string* error) {
    if (!Valid()) {
        SetError(error, EBADF);
        return Socket();
    }
    int fd;
    do {
        fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && (errno == EINTR || errno == ECONNABORTED));
    if (fd < 0) {
        // A listener shut down from another thread ends the wait with EINVAL.
        SetError(error, errno == EINVAL ? ECANCELED : errno);
        return Socket();
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return Socket(fd);
}

bool Socket::WriteAll(const void* data, size_t size) {
    if (!Valid()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

size_t Socket::ReadSome(void* buffer, size_t size) {
    if (!Valid() || size == 0) return 0;
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) return 0;
    }
}

bool Socket::WaitReadable(int timeoutMs) const {
    if (!Valid()) return false;
    pollfd p{m_fd, POLLIN, 0};
    for (;;) {
        const int n = ::poll(&p, 1, timeoutMs);
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

void Socket::Shutdown() {
    if (Valid()) ::shutdown(m_fd, SHUT_RDWR);
}

void Socket::ShutdownWrite() {
    if (Valid()) ::shutdown(m_fd, SHUT_WR);
}

void Socket::Close() {
    if (Valid()) ::close(m_fd);
    m_fd = -1;
}

namespace {

// Buffers what is written and sends it on flush (and when the buffer fills).
class SocketBuffer : public std::streambuf {
public:
    explicit SocketBuffer(Socket socket) : m_socket(std::move(socket)) { setp(m_buffer, m_buffer + sizeof m_buffer); }
    ~SocketBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (!Send()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Send() ? 0 : -1; }

private:
    bool Send() {
        const size_t n = static_cast<size_t>(pptr() - pbase());
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return n == 0 || m_socket.WriteAll(m_buffer, n);
    }

    Socket m_socket;
    char m_buffer[4096];
};

class SocketStream : public std::ostream {
public:
    explicit SocketStream(Socket socket) : std::ostream(nullptr), m_buffer(std::move(socket)) { rdbuf(&m_buffer); }

private:
    SocketBuffer m_buffer;
};

}  // namespace

std::unique_ptr<std::ostream> ConnectOutputStream(uint16_t port) {
    Socket socket = Socket::Connect(port);
    if (!socket.Valid()) return nullptr;
    return std::make_unique<SocketStream>(std::move(socket));
}
