// An event object: signalled or not, with automatic reset (one waiter is
// released and the event clears) or manual reset (it stays signalled until
// reset). Private to the process.
#pragma once

#include <condition_variable>
#include <mutex>

class CEvent {
public:
    explicit CEvent(bool manualReset, bool initiallySet = false) : m_manual(manualReset), m_set(initiallySet) {}
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_set = true;
        }
        if (m_manual)
            m_changed.notify_all();
        else
            m_changed.notify_one();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = false;
    }
    // True when the event was signalled within the time (a negative time
    // waits without limit).
    bool Wait(int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (timeoutMs < 0) {
            m_changed.wait(lock, [this] { return m_set; });
        } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; })) {
            return false;
        }
        if (!m_manual) m_set = false;
        return true;
    }
    bool IsSet() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_set;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manual;
    bool m_set;
};
