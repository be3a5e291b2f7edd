// Runs another program and waits for it: started with posix_spawnp and an
// argument vector, never through a shell, so no argument can run a command.
// Its standard output is collected up to a bound; its input and errors are
// /dev/null, and it inherits no descriptor of ours beyond those three.
// Or starts one that goes on by itself (StartChildProcess).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ChildProcessRun {
    bool started = false;
    std::string error;   // why it could not be started (the system's text)
    int exitCode = -1;   // 128 + the signal when a signal ended it; -1 unknown
    bool stopped = false;  // a stop request (BlockingWait.h) ended it
    std::string output;  // the first outputLimit bytes of its standard output
};

struct ChildProcessOptions {
    // "NAME=value" pieces that add to or replace this process's environment.
    std::vector<std::string> environment;
    size_t outputLimit = 65536;
    // Called about every tickMilliseconds while the child runs (and between
    // reads of its output), on the waiting thread.
    std::function<void()> whileWaiting;
    int tickMilliseconds = 20;
};

// Runs arguments[0] (looked up on PATH when it has no '/') with the
// arguments and waits until it ends, or until a stop is requested: the
// child is then ended (SIGTERM) and the run answers `stopped`. Output beyond the limit is read and
// dropped, so that the child never blocks on a full pipe.
ChildProcessRun RunChildProcess(const std::vector<std::string>& arguments, const ChildProcessOptions& options = {});

// A program started to go on by itself.
struct StartedChild {
    int pid = -1;       // -1 when it could not be started
    std::string error;  // why not (the system's text)
    // Set once it has ended; a thread of its own waits for it, so that it
    // leaves no zombie behind.
    std::shared_ptr<std::atomic<bool>> ended;

    bool Started() const { return pid > 0; }
    bool Ended() const { return ended && ended->load(); }
};

// Starts arguments[0] (looked up on PATH when it has no '/') and does not
// wait: its input and output are /dev/null, its errors go where ours go, and
// it inherits no other descriptor of ours.
StartedChild StartChildProcess(const std::vector<std::string>& arguments);
