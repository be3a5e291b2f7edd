#include "SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/BlockingWait.h"

namespace {

constexpr int kByteWaitMs = 1;
constexpr int kWriteStallMs = 2000;

struct Speed {
    int32_t baud;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(int32_t baud, speed_t& code) {
    for (const Speed& s : kSpeeds) {
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    }
    return false;
}

// The control-flag bits the settings change.
constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

// The new termios, and the modem lines to raise (set) and lower (clear);
// false when a value is not one a port takes.
bool Plan(const SerialSettings& s, termios& t, int& raise, int& lower) {
    if (s.baud != -1) {
        speed_t code;
        if (!SpeedCode(s.baud, code)) return false;
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    if (s.byteSize != -1) {
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        if (s.byteSize < 5 || s.byteSize > 8) return false;
        t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[s.byteSize - 5];
    }
    if (s.parity != -1) {
        static constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
        if (s.parity < 0 || s.parity > 4) return false;
        t.c_cflag = (t.c_cflag & ~(PARENB | PARODD | CMSPAR)) | kParity[s.parity];
    }
    if (s.stopBits != -1) {
        if (s.stopBits == 0)
            t.c_cflag &= ~CSTOPB;
        else if (s.stopBits == 2)
            t.c_cflag |= CSTOPB;
        else if (s.stopBits != 1)  // one and a half: kept
            return false;
    }
    if (s.rtsControl != -1) {
        switch (s.rtsControl & 3) {
        case 0:
            t.c_cflag &= ~CRTSCTS;
            lower |= TIOCM_RTS;
            break;
        case 1:
            t.c_cflag &= ~CRTSCTS;
            raise |= TIOCM_RTS;
            break;
        case 2:
            t.c_cflag |= CRTSCTS;
            break;
        default:  // toggling: kept
            break;
        }
    }
    if (s.dtrControl != -1) {
        if ((s.dtrControl & 3) == 0) lower |= TIOCM_DTR;
        if ((s.dtrControl & 3) == 1) raise |= TIOCM_DTR;
    }
    return true;
}

// Whether the port keeps what was asked (a driver may silently drop a
// setting it cannot give).
bool Kept(int handle, const termios& asked) {
    termios now{};
    if (tcgetattr(handle, &now) != 0) return false;
    return (now.c_cflag & kLineBits) == (asked.c_cflag & kLineBits) && cfgetispeed(&now) == cfgetispeed(&asked) &&
           cfgetospeed(&now) == cfgetospeed(&asked);
}

// Waits up to ms for the port to have bytes (events POLLIN) or room
// (POLLOUT); false on time-out, error or a stop request.
bool WaitFor(int handle, short events, int ms) { return WaitForDescriptor(handle, events, ms) == WaitResult::Ready; }

}  // namespace

std::string SerialDevicePath(int port) {
    const std::string variable = "QEM_COM" + std::to_string(port);
    const char* mapped = std::getenv(variable.c_str());
    if (mapped && *mapped) return mapped;
    return "/dev/ttyS" + std::to_string(port - 1);
}

int OpenSerialPort(const std::string& device) {
    // Not blocking, so that a line without carrier does not hold the open.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    if (!isatty(fd) || tcgetattr(fd, &t) != 0) {
        ::close(fd);
        return -1;
    }
    ioctl(fd, TIOCEXCL);
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) | CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void CloseSerialPort(int handle) {
    if (handle >= 0) ::close(handle);
}

long ReadSerialPort(int handle, char* buffer, size_t size) {
    size_t got = 0;
    while (got < size && WaitFor(handle, POLLIN, kByteWaitMs)) {
        const ssize_t n = ::read(handle, buffer + got, size - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return got ? static_cast<long>(got) : -1;
        if (n == 0) break;  // the other side hung up
        got += static_cast<size_t>(n);
    }
    return static_cast<long>(got);
}

bool WriteSerialPort(int handle, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(handle, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        if (!WaitFor(handle, POLLOUT, kWriteStallMs)) return false;
    }
    return true;
}

SerialConfigResult ConfigureSerialPort(int handle, const SerialSettings& settings) {
    termios before{};
    if (tcgetattr(handle, &before) != 0) return SerialConfigResult::kCannotRead;
    termios after = before;
    int raise = 0, lower = 0;
    if (!Plan(settings, after, raise, lower)) return SerialConfigResult::kFailed;
    if (tcsetattr(handle, TCSANOW, &after) != 0 || !Kept(handle, after)) {
        tcsetattr(handle, TCSANOW, &before);
        return SerialConfigResult::kFailed;
    }
    if (raise | lower) {
        int lines = 0;
        const bool known = ioctl(handle, TIOCMGET, &lines) == 0;
        if (!known || (raise && ioctl(handle, TIOCMBIS, &raise) != 0) ||
            (lower && ioctl(handle, TIOCMBIC, &lower) != 0)) {
            if (known) ioctl(handle, TIOCMSET, &lines);
            tcsetattr(handle, TCSANOW, &before);
            return SerialConfigResult::kFailed;
        }
    }
    return SerialConfigResult::kOk;
}
