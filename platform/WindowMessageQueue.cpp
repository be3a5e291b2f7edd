#include "platform/WindowMessageQueue.h"

WindowMessageQueue& WindowMessageQueue::EngineWindow() {
    static WindowMessageQueue queue;
    return queue;
}

void WindowMessageQueue::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_messages.push_back(WindowMessage{message, wParam, lParam});
    }
    m_posted.notify_all();
}

size_t WindowMessageQueue::Drain(const std::function<void(const WindowMessage&)>& handler) {
    std::deque<WindowMessage> batch;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        batch.swap(m_messages);
    }
    for (const WindowMessage& m : batch) handler(m);
    return batch.size();
}

bool WindowMessageQueue::WaitForMessage(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_posted.wait_for(lock, timeout, [this] { return !m_messages.empty(); });
}

size_t WindowMessageQueue::Size() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_messages.size();
}

void WindowMessageQueue::Discard() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_messages.clear();
}
