// The engine's millisecond clock for frame timing: a 32-bit count that
// wraps like the multimedia timer it stands for. Tests put their own source
// in, so that frame rates and pacing can be driven without waiting.
#pragma once

#include <cstdint>

// Milliseconds of the monotonic clock (or of the source set below).
uint32_t timeGetTime();

// Replaces the clock's source; null puts the monotonic clock back.
typedef uint32_t (*MillisecondSource)();
void SetMillisecondSource(MillisecondSource source);
