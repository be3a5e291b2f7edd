#include "support/ForkedChild.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qemtest {

void ForkedChild::Channel::Tell(char c) const {
    if (write(m_out, &c, 1) != 1) return;
}

bool ForkedChild::Channel::Await(char expected) const {
    char c = 0;
    return read(m_in, &c, 1) == 1 && c == expected;
}

ForkedChild::ForkedChild(const std::function<int(const Channel&)>& body) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        close(toChild[1]);
        close(fromChild[0]);
        _exit(body(Channel(toChild[0], fromChild[1])));
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (m_pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return;
    }
    m_fromChild = fromChild[0];
    m_toChild = toChild[1];
    m_channel = Channel(m_fromChild, m_toChild);
}

ForkedChild::~ForkedChild() {
    Kill();
    if (m_fromChild >= 0) close(m_fromChild);
    if (m_toChild >= 0) close(m_toChild);
}

bool ForkedChild::Await(char expected) const {
    pollfd p{m_fromChild, POLLIN, 0};
    return m_fromChild >= 0 && poll(&p, 1, 10000) == 1 && m_channel.Await(expected);
}

void ForkedChild::Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int ForkedChild::Wait() {
    if (m_pid <= 0) return -1;
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace qemtest
