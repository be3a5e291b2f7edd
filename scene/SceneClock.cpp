#include "SceneClock.h"

#include "platform/Thread.h"

namespace {

uint32_t MonotonicMs() { return static_cast<uint32_t>(MonotonicMicroseconds() / 1000u); }

SceneClockSource g_source = MonotonicMs;

}  // namespace

uint32_t SceneTimeMs() { return g_source(); }

void SetSceneClock(SceneClockSource source) { g_source = source ? source : MonotonicMs; }
