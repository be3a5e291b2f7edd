// Screen modes on the test display, which offers its one size only.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ScreenMode.h"

// After the test framework, whose names the X headers' macros would take.
#include <X11/Xlib.h>

TEST(ScreenMode, OnlyAModeTheDisplayHasIsTaken) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const int width = DisplayWidth(d, DefaultScreen(d));
    const int height = DisplayHeight(d, DefaultScreen(d));
    const int depth = DefaultDepth(d, DefaultScreen(d));
    XCloseDisplay(d);

    EXPECT_TRUE(ChangeScreenMode(width, height, std::nullopt, std::nullopt));
    EXPECT_TRUE(ChangeScreenMode(width, height, depth, 60)) << "the closest rate";
    EXPECT_FALSE(ChangeScreenMode(width, height, 7, std::nullopt)) << "bits the screen does not have";
    EXPECT_FALSE(ChangeScreenMode(width + 1, height, std::nullopt, std::nullopt));
    EXPECT_FALSE(ChangeScreenMode(-800, 0, std::nullopt, std::nullopt));
    RestoreScreenMode();
    RestoreScreenMode();  // nothing left to give back
}
