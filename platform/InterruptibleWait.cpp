#include "InterruptibleWait.h"

#include <algorithm>
#include <chrono>

bool InterruptibleWait::Wait(uint32_t ms, const std::function<bool()>& stopped) {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kPoll(20);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_interrupted || (stopped && stopped())) return false;
        const Clock::time_point now = Clock::now();
        if (now >= end) return true;
        const Clock::time_point until = stopped ? std::min(end, now + kPoll) : end;
        m_wake.wait_until(lock, until);
    }
}

void InterruptibleWait::Interrupt() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
    }
    m_wake.notify_all();
}

void InterruptibleWait::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = false;
}
