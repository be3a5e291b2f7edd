#include "platform/BlockingWait.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

std::atomic<BlockingWaitStopCheck> g_check{nullptr};

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, at most one slice; the deadline of
// a wait without limit is never reached.
int NextSlice(bool limited, Clock::time_point deadline) {
    if (!limited) return kBlockingWaitSliceMs;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, kBlockingWaitSliceMs));
}

}  // namespace

void SetBlockingWaitStopCheck(BlockingWaitStopCheck check) { g_check.store(check); }

bool BlockingWaitStopped() {
    const BlockingWaitStopCheck check = g_check.load();
    return check && check();
}

WaitResult WaitForDescriptor(int fd, short events, int timeoutMs) {
    if (fd < 0) return WaitResult::Failed;
    const bool limited = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, NextSlice(limited, deadline));
        if (n < 0 && errno != EINTR) return WaitResult::Failed;
        if (n > 0) return (p.revents & POLLNVAL) ? WaitResult::Failed : WaitResult::Ready;
        if (BlockingWaitStopped()) return WaitResult::Stopped;
        if (limited && Clock::now() >= deadline) return WaitResult::TimedOut;
    }
}

bool SleepUnlessStopped(int64_t ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    for (;;) {
        if (BlockingWaitStopped()) return false;
        const int slice = NextSlice(true, deadline);
        if (slice <= 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
}
