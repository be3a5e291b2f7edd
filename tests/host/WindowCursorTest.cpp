// The cursor table and the pointer over a window of this process, read back
// from the X server: the cursor shown (XFixes) and the pointer's place.
// (With the program tests: the display's pointer is shared.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>

#include "platform/WindowCursor.h"
#include "support/GlWindowFixture.h"

// After the test framework, whose names the X headers' macros would take.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

using namespace qemtest;

namespace {

class WindowCursor : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        window = NoteDrawingWindow();
        ASSERT_NE(window, 0u);
        // Away from the corner where the other test programs' windows open,
        // on top.
        XMoveWindow(display, window, 600, 400);
        XRaiseWindow(display, window);
        XSync(display, False);
        XWindowAttributes a;
        ASSERT_TRUE(XGetWindowAttributes(display, window, &a));
        Window child;
        for (int i = 0; i < 100 && left != 600; ++i) {
            XTranslateCoordinates(display, window, a.root, 0, 0, &left, &top, &child);
            if (left != 600) usleep(10000);
        }
        ASSERT_EQ(left, 600);
        width = a.width;
        height = a.height;
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
        GlWindowFixture::TearDown();
    }

    void Pointer(int& x, int& y) {
        Window root, child;
        int wx, wy;
        unsigned mask;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
    }

    Display* display = nullptr;
    unsigned long window = 0;
    int left = 0, top = 0, width = 0, height = 0;
};

}  // namespace

TEST_F(WindowCursor, ThePointerMovesWithinTheRectangleWithYUpward) {
    struct Case {
        float x, y;
        int expectX, expectY;
    } cases[] = {
        {0, 0, left, top + height},
        {1, 1, left + width, top},
        {0.5f, 0.5f, left + width / 2, top + height - height / 2},
        {0.25f, 0.75f, left + static_cast<int>(0.25f * width), top + height - static_cast<int>(0.75f * height)},
        {NAN, NAN, left, top + height},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(MovePointerOver(window, c.x, c.y));
        int x = -1, y = -1;
        Pointer(x, y);
        EXPECT_EQ(x, c.expectX) << c.x << ", " << c.y;
        EXPECT_EQ(y, c.expectY) << c.x << ", " << c.y;
    }
    // Far off: the server keeps the pointer on the screen.
    EXPECT_TRUE(MovePointerOver(window, 1e30f, -1e30f));
    EXPECT_FALSE(MovePointerOver(0, 0.5f, 0.5f));
}

TEST_F(WindowCursor, TheHandTheEmptyCursorAndShapesOutsideTheTable) {
    ASSERT_TRUE(MovePointerOver(window, 0.5f, 0.5f));
    ASSERT_TRUE(ShowCursorOver(window, 3, false));
    XFixesCursorImage* hand = XFixesGetCursorImage(display);
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(hand->width, 32);
    EXPECT_EQ(hand->height, 32);
    EXPECT_EQ(hand->xhot, 8);
    EXPECT_EQ(hand->yhot, 5);
    // White under the hot spot, a black outline above it, clear around.
    EXPECT_EQ(hand->pixels[5 * 32 + 8] & 0xFFFFFFFF, 0xFFFFFFFFu);
    EXPECT_EQ(hand->pixels[4 * 32 + 8] & 0xFFFFFFFF, 0xFF000000u);
    EXPECT_EQ(hand->pixels[0] & 0xFF000000, 0u);
    XFree(hand);

    // Hidden, any shape shows the empty cursor (entry 14).
    for (bool hidden : {true, false}) {
        ASSERT_TRUE(ShowCursorOver(window, hidden ? 3 : 14, hidden));
        XFixesCursorImage* empty = XFixesGetCursorImage(display);
        ASSERT_NE(empty, nullptr);
        bool clear = true;
        for (int i = 0; i < empty->width * empty->height; ++i) clear = clear && (empty->pixels[i] & 0xFF000000) == 0;
        EXPECT_TRUE(clear) << "hidden " << hidden;
        XFree(empty);
    }

    for (int shape : {-1, 15}) EXPECT_FALSE(ShowCursorOver(window, shape, false)) << shape;
    EXPECT_FALSE(ShowCursorOver(0, 3, false));
    // Every entry of the table can be shown.
    for (int shape = 0; shape < kCursorShapeCount; ++shape) EXPECT_TRUE(ShowCursorOver(window, shape, false)) << shape;
}
