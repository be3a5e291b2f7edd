#include "support/PseudoTerminal.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace qemtest {

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_device = name;
    termios t{};
    tcgetattr(m_slave, &t);
    cfmakeraw(&t);
    tcsetattr(m_slave, TCSANOW, &t);
}

PseudoTerminal::~PseudoTerminal() {
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
}

bool PseudoTerminal::Write(const std::string& bytes) {
    return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string PseudoTerminal::Read(size_t count, std::chrono::milliseconds time) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{m_master, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[256];
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

termios PseudoTerminal::Settings() const {
    termios t{};
    tcgetattr(m_slave, &t);
    return t;
}

}  // namespace qemtest
