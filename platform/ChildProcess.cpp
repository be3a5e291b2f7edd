#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/BlockingWait.h"

extern char** environ;

namespace {

// This process's environment with the changes applied.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& change : changes) replaced = replaced || change.compare(0, name.size(), name) == 0;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), changes.begin(), changes.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the program with its input from /dev/null, its output to
// `output` (-1: /dev/null) and its errors to /dev/null or ours, and nothing
// else of ours open; posix_spawnp's answer.
int Spawn(std::vector<std::string>& arguments, std::vector<std::string>& environment, int output, bool quiet,
          pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output >= 0)
        posix_spawn_file_actions_adddup2(&actions, output, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Sockets, the debugger's channels and open files stay ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

int ExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// One read from the pipe into the output (up to the limit, the rest
// dropped); read's answer.
ssize_t ReadInto(int fd, std::string& output, size_t limit) {
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
        const size_t room = output.size() < limit ? limit - output.size() : 0;
        output.append(chunk, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
    }
    return n;
}

}  // namespace

ChildProcessRun RunChildProcess(const std::vector<std::string>& arguments, const ChildProcessOptions& options) {
    ChildProcessRun run;
    if (arguments.empty()) {
        run.error = "no program";
        return run;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        run.error = std::strerror(errno);
        return run;
    }

    std::vector<std::string> argumentCopy = arguments;
    std::vector<std::string> environment = ChildEnvironment(options.environment);
    pid_t pid = -1;
    const int spawned = Spawn(argumentCopy, environment, pipeFds[1], true, pid);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        run.error = std::strerror(spawned);
        return run;
    }
    run.started = true;

    const int tick = options.tickMilliseconds > 0 ? options.tickMilliseconds : 20;
    bool reading = true;
    for (;;) {
        if (reading) {
            pollfd p{pipeFds[0], POLLIN, 0};
            const int ready = poll(&p, 1, tick);
            if (ready > 0) {
                const ssize_t n = ReadInto(pipeFds[0], run.output, options.outputLimit);
                reading = n > 0 || (n < 0 && errno == EINTR);
            } else if (ready < 0 && errno != EINTR)
                reading = false;
        } else {
            poll(nullptr, 0, tick);
        }
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            run.exitCode = ExitCode(status);
            break;
        }
        if (done < 0 && errno != EINTR) break;  // reaped elsewhere: the code is unknown
        if (BlockingWaitStopped()) {
            kill(pid, SIGTERM);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            run.stopped = true;
            break;
        }
        if (options.whileWaiting) options.whileWaiting();
    }
    // What the child wrote just before it ended; a descendant that keeps the
    // pipe open is not waited for.
    if (reading) {
        fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        while (ReadInto(pipeFds[0], run.output, options.outputLimit) > 0) {
        }
    }
    close(pipeFds[0]);
    return run;
}

StartedChild StartChildProcess(const std::vector<std::string>& arguments) {
    StartedChild child;
    if (arguments.empty()) {
        child.error = "no program";
        return child;
    }
    std::vector<std::string> argumentCopy = arguments;
    std::vector<std::string> environment = ChildEnvironment({});
    pid_t pid = -1;
    const int spawned = Spawn(argumentCopy, environment, -1, false, pid);
    if (spawned != 0) {
        child.error = std::strerror(spawned);
        return child;
    }
    child.pid = pid;
    child.ended = std::make_shared<std::atomic<bool>>(false);
    std::thread([pid, ended = child.ended] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ended->store(true);
    }).detach();
    return child;
}
