// Thread identity and the monotonic clock.
#pragma once

#include <cstdint>

// The kernel's id of the calling thread: a non-zero 32-bit number.
uint32_t CurrentThreadId();

// Microseconds of a clock that never goes back.
uint64_t MonotonicMicroseconds();
