#include "functions/ScriptRandom.h"

#include <atomic>

namespace {

// A linear congruential generator whose upper bits are the draw: its low
// bits repeat with short periods and are never handed out.
std::atomic<uint32_t> g_state{1};

uint32_t Next(uint32_t state) { return state * 1103515245u + 12345u; }

}  // namespace

void SeedScriptRandom(uint32_t seed) { g_state = seed; }

int32_t ScriptRandom() {
    uint32_t state = g_state.load();
    uint32_t next = Next(state);
    while (!g_state.compare_exchange_weak(state, next)) next = Next(state);
    return static_cast<int32_t>((next >> 16) & 0x7FFF);
}
