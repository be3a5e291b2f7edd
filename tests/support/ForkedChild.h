// A forked copy of the test process that runs one function and talks to the
// parent through a pair of pipes, one byte at a time. The child ends with
// _exit (no destructors, no test-framework output of its own); a child still
// running when the object goes is killed.
#pragma once

#include <sys/types.h>

#include <functional>

namespace qemtest {

class ForkedChild {
public:
    // The pipe ends that the child's function talks through.
    class Channel {
    public:
        Channel(int in, int out) : m_in(in), m_out(out) {}
        void Tell(char c) const;
        // False when the other side is gone or said something else.
        bool Await(char expected) const;

    private:
        int m_in, m_out;
    };

    // Runs body(channel) in the child; its answer is the child's exit code.
    explicit ForkedChild(const std::function<int(const Channel&)>& body);
    ~ForkedChild();
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    void Tell(char c) const { m_channel.Tell(c); }
    // Waits at most 10 s for the child to say `expected`.
    bool Await(char expected) const;
    // Ends the child at once (SIGKILL) and waits for it.
    void Kill();
    // The exit code, or -1 when it did not end within 10 s or was killed.
    int Wait();

private:
    pid_t m_pid = -1;
    int m_fromChild = -1;
    int m_toChild = -1;
    Channel m_channel{-1, -1};
};

}  // namespace qemtest
