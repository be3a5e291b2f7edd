#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Event.h"
#include "platform/FaultGuard.h"
#include "platform/OffscreenGlContext.h"
#include "platform/PeriodicTimer.h"
#include "platform/Thread.h"
#include "support/GlWindowFixture.h"

TEST(Events, AutomaticAndManualReset) {
    CEvent automatic(false);
    EXPECT_FALSE(automatic.Wait(0));
    automatic.Set();
    automatic.Set();  // setting a set event does not count twice
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0));

    CEvent manual(true);
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(10));

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        automatic.Set();
    });
    EXPECT_TRUE(automatic.Wait(-1));
    setter.join();
}

TEST(Threads, IdsAreNonZeroAndPerThread) {
    const uint32_t mine = CurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(CurrentThreadId(), mine);
    uint32_t other = 0;
    std::thread([&] { other = CurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
    const uint64_t a = MonotonicMicroseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(MonotonicMicroseconds() - a, 4000u);
}

TEST(Timer, TicksAtItsPeriodAndStops) {
    std::atomic<int> ticks{0};
    PeriodicTimer timer;
    ASSERT_TRUE(timer.Start(1, [&] { ++ticks; }));
    EXPECT_FALSE(timer.Start(1, [] {}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    timer.Stop();
    const int seen = ticks;
    EXPECT_GT(seen, 50);  // loose: 200 expected
    EXPECT_LT(seen, 260);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ticks, seen);
}

TEST(FaultGuard, AccessViolationAndDivisionEndTheCallOnly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers own the fault signals";
#else
    int after = 0;
    EXPECT_EQ(ScriptFaultGuard::Run([&] {
                  volatile int* p = nullptr;
                  after = *p;
              }),
              ScriptFault::Access);
    volatile int zero = 0;
    EXPECT_EQ(ScriptFaultGuard::Run([&] { after = 7 / zero; }), ScriptFault::Division);
    EXPECT_EQ(ScriptFaultGuard::Run([&] { after = 1; }), ScriptFault::NoFault);
    EXPECT_EQ(after, 1);
    // On another thread, and nested.
    ScriptFault inner = ScriptFault::NoFault, outer = ScriptFault::NoFault;
    std::thread([&] {
        outer = ScriptFaultGuard::Run([&] {
            inner = ScriptFaultGuard::Run([] {
                volatile int* p = nullptr;
                *p = 1;
            });
        });
    }).join();
    EXPECT_EQ(inner, ScriptFault::Access);
    EXPECT_EQ(outer, ScriptFault::NoFault);
#endif
}

TEST(OffscreenContext, HasItsOwnContextOnAWorkerThread) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    std::string kind;
    bool valid = false;
    GLubyte pixel[4] = {};
    std::thread([&] {
        OffscreenGlContext context;
        valid = context.Valid();
        kind = context.Description();
        if (!valid) return;
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    }).join();
    qemtest::PinLoadedLibraries();
    ASSERT_TRUE(valid) << kind;
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[0], 0);
}
