// A recursive lock that its holders enter and leave around their critical
// code. The same thread may enter it again while it holds it, so code that
// reports from inside a locked region can call helpers that lock too.
#pragma once

#include <mutex>

class CCriticalSection {
public:
    CCriticalSection() = default;
    virtual ~CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }
    bool TryEnter() { return m_mutex.try_lock(); }

    // Lockable, so std::lock_guard, std::unique_lock and
    // std::condition_variable_any work with it.
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex m_mutex;
};
