#include "Clock.h"

#include <time.h>

namespace {

int64_t MonotonicNanoseconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

uint32_t TickMilliseconds() { return static_cast<uint32_t>(static_cast<uint64_t>(MonotonicNanoseconds() / 1000000)); }

int64_t PerformanceCounter() { return MonotonicNanoseconds(); }
