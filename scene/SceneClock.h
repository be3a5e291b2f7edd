// The scene's millisecond clock: what frame timing and video textures read
// as "now". It runs on the monotonic clock unless another source is set
// (tests drive time by hand through it).
#pragma once

#include <cstdint>

typedef uint32_t (*SceneClockSource)();

// Milliseconds of the current source; wraps after 49.7 days, so callers
// compare times by unsigned difference.
uint32_t SceneTimeMs();
// Replaces the source (null: the monotonic clock again).
void SetSceneClock(SceneClockSource source);
