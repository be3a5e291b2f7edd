#include "MillisecondClock.h"

#include <atomic>

#include "platform/Thread.h"

namespace {

std::atomic<MillisecondSource> g_source{nullptr};

}  // namespace

uint32_t timeGetTime() {
    if (MillisecondSource source = g_source.load(std::memory_order_acquire)) return source();
    return static_cast<uint32_t>(MonotonicMicroseconds() / 1000);
}

void SetMillisecondSource(MillisecondSource source) { g_source.store(source, std::memory_order_release); }
