#include "support/QemProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <thread>

#include "support/ZipWriter.h"

extern char** environ;

namespace qemtest {

QemProcess::QemProcess(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& outputFile, const std::map<std::string, std::string>& environment)
    : m_output(outputFile), m_errors(outputFile + ".err") {
    std::vector<std::string> all = arguments;
    all.insert(all.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) variables[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& v : environment) variables[v.first] = v.second;
    std::vector<std::string> entries;
    for (const auto& v : variables) entries.push_back(v.first + "=" + v.second);
    std::vector<char*> envp;
    for (std::string& e : entries) envp.push_back(&e[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

QemProcess::~QemProcess() {
    if (m_pid > 0 && !m_exited) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string QemProcess::Output() const { return ReadFile(m_output); }

std::string QemProcess::Errors() const { return ReadFile(m_errors); }

bool QemProcess::WaitFor(const std::string& text, std::chrono::milliseconds time) const {
    const auto end = std::chrono::steady_clock::now() + time;
    for (;;) {
        if (Output().find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool QemProcess::Running() {
    if (m_pid <= 0 || m_exited) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) != m_pid) return true;
    m_exited = true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

int QemProcess::WaitExit(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_status;
}

void QemProcess::Signal(int signal) const {
    if (m_pid > 0 && !m_exited) kill(m_pid, signal);
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace qemtest
