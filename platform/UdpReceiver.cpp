#include "platform/UdpReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

UdpReceiver::~UdpReceiver() { Close(); }

bool UdpReceiver::Bind(uint16_t port) {
    Close();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return false;
    }
    m_fd = fd;
    m_port = ntohs(address.sin_port);
    return true;
}

long UdpReceiver::Receive(char* buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = recv(m_fd, buffer, capacity, 0);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

void UdpReceiver::Wake() {
    // On an unconnected datagram socket shutdown answers ENOTCONN, yet it
    // marks the socket shut and wakes its blocked reader, whose receives
    // then return 0.
    if (m_fd >= 0) shutdown(m_fd, SHUT_RDWR);
}

void UdpReceiver::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_port = 0;
}
