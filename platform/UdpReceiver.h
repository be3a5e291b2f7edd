// A UDP socket bound to a port on all addresses, read by one thread with
// blocking receives, and woken from another thread to stop.
#pragma once

#include <cstddef>
#include <cstdint>

class UdpReceiver {
public:
    UdpReceiver() = default;
    ~UdpReceiver();
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Binds the port (0: any free one) on all addresses; false, with no
    // socket kept, when no socket can be had or the port is taken. The port
    // is not shared with other sockets.
    bool Bind(uint16_t port);
    bool IsOpen() const { return m_fd >= 0; }
    // The bound port, or 0.
    uint16_t Port() const { return m_port; }

    // Waits for one datagram and copies at most `capacity` bytes of it (the
    // rest is dropped). The byte count; 0 for an empty datagram or once
    // Wake was called; -1 on an error.
    long Receive(char* buffer, size_t capacity);
    // Makes a Receive that waits now, and every later one, return at once.
    // Any thread may call it.
    void Wake();
    // Closes the socket; its reader must have finished.
    void Close();

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};
