#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/CriticalSection.h"
#include "platform/WindowMessageQueue.h"

using namespace std::chrono_literals;

TEST(WindowMessageQueue, DeliversEachPostersMessagesInOrderOnTheDrainingThread) {
    WindowMessageQueue queue;
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&queue, t] {
            for (int i = 0; i < kEach; ++i) queue.Post(1000 + t, static_cast<uintptr_t>(i), -i);
        });

    std::vector<int> next(kThreads, 0);
    const auto owner = std::this_thread::get_id();
    int total = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (total < kThreads * kEach && std::chrono::steady_clock::now() < deadline) {
        queue.WaitForMessage(10ms);
        total += static_cast<int>(queue.Drain([&](const WindowMessage& m) {
            EXPECT_EQ(std::this_thread::get_id(), owner);
            int t = static_cast<int>(m.message) - 1000;
            ASSERT_TRUE(t >= 0 && t < kThreads);
            EXPECT_EQ(m.wParam, static_cast<uintptr_t>(next[t]));
            EXPECT_EQ(m.lParam, -next[t]);
            ++next[t];
        }));
    }
    for (std::thread& p : posters) p.join();
    EXPECT_EQ(total, kThreads * kEach);
}

TEST(WindowMessageQueue, MessagesPostedWhileDrainingWaitForTheNextDrain) {
    WindowMessageQueue queue;
    queue.Post(1);
    EXPECT_EQ(queue.Drain([&](const WindowMessage& m) { queue.Post(m.message + 1); }), 1u);
    EXPECT_EQ(queue.Size(), 1u);
    uint32_t got = 0;
    EXPECT_EQ(queue.Drain([&](const WindowMessage& m) { got = m.message; }), 1u);
    EXPECT_EQ(got, 2u);
    EXPECT_FALSE(queue.WaitForMessage(10ms));
}

TEST(CriticalSection, TheHolderMayEnterAgainOthersMayNot) {
    CCriticalSection lock;
    lock.Enter();
    ASSERT_TRUE(lock.TryEnter());
    std::atomic<bool> otherGot{true};
    std::thread([&] { otherGot = lock.TryEnter(); }).join();
    EXPECT_FALSE(otherGot);
    lock.Leave();
    lock.Leave();
    std::thread([&] {
        otherGot = lock.TryEnter();
        if (otherGot) lock.Leave();
    }).join();
    EXPECT_TRUE(otherGot);
}
