// The process's pseudo-random generator that scripts draw from: 15 bits
// (0 to 32767) a draw, the same sequence for the same seed on every
// platform. Any thread may draw.
#pragma once

#include <cstdint>

void SeedScriptRandom(uint32_t seed);
// The next number, 0 to 32767.
int32_t ScriptRandom();
