#include "support/PrivateXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

extern char** environ;

namespace qemtest {

PrivateXServer::PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    // -displayfd: the server picks a free display and writes its number.
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "640x480x24",
                                     "-nolisten", "tcp", "-noreset"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        m_pid = -1;
        close(fds[0]);
        return;
    }
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        if (std::isdigit(static_cast<unsigned char>(c))) number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        Kill();
        return;
    }
    m_display = ":" + number;
}

PrivateXServer::~PrivateXServer() { Kill(); }

void PrivateXServer::Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

}  // namespace qemtest
