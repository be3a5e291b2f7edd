// Messages posted to the engine window: any thread posts a (message, wParam,
// lParam) triple, and the thread that owns the window drains them between
// frames, in the order they were posted. Posting never waits for the owner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

struct WindowMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

class WindowMessageQueue {
public:
    WindowMessageQueue() = default;
    WindowMessageQueue(const WindowMessageQueue&) = delete;
    WindowMessageQueue& operator=(const WindowMessageQueue&) = delete;

    // The queue of the engine's window, for the whole process.
    static WindowMessageQueue& EngineWindow();

    void Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    // Hands every message that was waiting when the call began to `handler`,
    // on the calling thread, and answers how many there were. Messages that
    // the handler itself causes wait for the next drain, so one drain always
    // ends. The handler runs without the queue's lock held.
    size_t Drain(const std::function<void(const WindowMessage&)>& handler);

    // Waits until a message is waiting or the time-out passes; answers
    // whether one is waiting.
    bool WaitForMessage(std::chrono::milliseconds timeout);

    size_t Size() const;
    void Discard();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<WindowMessage> m_messages;
};
