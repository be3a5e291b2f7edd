// Test fixture for GL tests: one small freeglut window per test program whose
// context is current during every test. Without a display the test is
// skipped. Pixels are read back from the back buffer, where drawing goes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

namespace qemtest {

struct RgbPixel {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const RgbPixel& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const RgbPixel& o) const { return !(*this == o); }
};
static_assert(sizeof(RgbPixel) == 3, "pixels are read as packed RGB bytes");
std::ostream& operator<<(std::ostream& os, const RgbPixel& p);

// Keeps every library loaded so far in memory until the process ends, so the
// leak checker can name the GL driver's frames.
void PinLoadedLibraries();

class GlWindowFixture : public ::testing::Test {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    // Clears the colour and depth buffers to the colour given.
    static void ClearWindow(float r, float g, float b);
    // The pixel at (x, y), y counted upward from the bottom row.
    static RgbPixel ReadPixel(int x, int y);
    // A w by h block of pixels from (x, y), rows bottom to top.
    static std::vector<RgbPixel> ReadPixels(int x, int y, int w, int h);

protected:
    // Opens the window on first use, makes its context current, sets the
    // viewport to the whole window and clears it to black.
    void SetUp() override;
    void TearDown() override;
};

}  // namespace qemtest
