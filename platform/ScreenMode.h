// The screen's display mode: changed for a while by the script, given back
// when the engine ends.
#pragma once

#include <cstdint>
#include <optional>

// Changes the screen of the default display to its mode of exactly that
// pixel size, with the refresh rate closest to refreshRate when one is
// asked for. The bits per pixel cannot change on X: when asked for, they
// must be the screen's depth or its pixels' size. False, with nothing
// changed, when the display has no such mode (or no mode changes at all).
bool ChangeScreenMode(int32_t width, int32_t height, std::optional<int32_t> bitsPerPixel,
                      std::optional<int32_t> refreshRate);

// Gives the screen the mode it had before the first change made through
// ChangeScreenMode; nothing when none was made.
void RestoreScreenMode();
