// A wait that another thread can end early. A script's Sleep waits on one,
// so that stopping the engine does not wait for the sleep to run out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class InterruptibleWait {
public:
    // Waits up to ms milliseconds; false when Interrupt, or `stopped`
    // (polled every few milliseconds, for flags set where no lock may be
    // taken, as in a signal handler), ended the wait early.
    bool Wait(uint32_t ms, const std::function<bool()>& stopped = {});
    // Ends the current waits and every later one until Reset.
    void Interrupt();
    void Reset();

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_interrupted = false;
};
