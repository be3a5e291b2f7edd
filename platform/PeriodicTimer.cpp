#include "PeriodicTimer.h"

#include <time.h>

bool PeriodicTimer::Start(int periodMs, std::function<void()> tick) {
    if (m_thread.joinable() || periodMs <= 0) return false;
    m_stop = false;
    m_thread = std::thread([this, periodMs, tick = std::move(tick)] {
        timespec next;
        clock_gettime(CLOCK_MONOTONIC, &next);
        while (!m_stop) {
            next.tv_nsec += static_cast<long>(periodMs) * 1000000L;
            while (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0 && !m_stop) {
            }
            if (m_stop) break;
            tick();
        }
    });
    return true;
}

void PeriodicTimer::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}
