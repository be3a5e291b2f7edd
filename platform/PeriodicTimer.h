// A thread that calls a function at a fixed period, on absolute deadlines of
// the monotonic clock (the multimedia timer of the engine module).
#pragma once

#include <atomic>
#include <functional>
#include <thread>

class PeriodicTimer {
public:
    PeriodicTimer() = default;
    ~PeriodicTimer() { Stop(); }
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts calling tick every periodMs milliseconds; false when running.
    bool Start(int periodMs, std::function<void()> tick);
    // Stops and joins the thread; the tick does not run afterwards.
    void Stop();
    bool Running() const { return m_thread.joinable(); }
    // The smallest period this timer offers, in milliseconds.
    static int MinimumPeriodMs() { return 1; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};
