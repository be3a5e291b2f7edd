// The clocks of the script's timing functions: a millisecond tick count that
// wraps at 2^32 like the system tick it stands for, and a high-resolution
// counter with its frequency. Both run on the monotonic clock, so setting
// the wall clock moves neither.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, modulo 2^32.
uint32_t TickMilliseconds();

// Ticks of the high-resolution counter (nanoseconds).
int64_t PerformanceCounter();
constexpr int64_t kPerformanceFrequency = 1000000000;
