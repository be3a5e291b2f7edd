// A modal pause of the engine window: uncovered parts show the last frame,
// presses are dropped, and the frame being drawn is left alone.
// gtest before X11, whose macros (None, Bool) clash with its names.
#include "support/GlWindowFixture.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

#include "platform/GlutWindow.h"

using namespace qemtest;

namespace {

// The window's pixel as the X server shows it, as 0xRRGGBB.
unsigned long ShownPixel(Display* display, Window window, int x, int y) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

Bool IsKeyPress(Display*, XEvent* event, XPointer) { return event->type == KeyPress; }

}  // namespace

using ModalWindowPauseTest = GlWindowFixture;

TEST_F(ModalWindowPauseTest, UncoveredPartsShowTheLastFrameAndPressesAreDropped) {
    Display* display = glXGetCurrentDisplay();
    const Window window = static_cast<Window>(glXGetCurrentDrawable());
    ClearWindow(1, 0, 0);
    glutSwapBuffers();
    ClearWindow(0, 1, 0);  // the frame being drawn when the dialog opens
    glFinish();
    XSync(display, False);
    ASSERT_EQ(ShownPixel(display, window, 10, 10), 0xFF0000u);
    {
        ModalWindowPause pause;
        // The dialog draws over the window, then uncovers it.
        GC gc = XCreateGC(display, window, 0, nullptr);
        XSetForeground(display, gc, 0x0000FF);
        XFillRectangle(display, window, gc, 0, 0, kWidth, kHeight);
        XFreeGC(display, gc);
        XClearArea(display, window, 0, 0, 0, 0, True);
        XEvent key{};
        key.xkey.type = KeyPress;
        key.xkey.display = display;
        key.xkey.window = window;
        key.xkey.keycode = 38;
        XSendEvent(display, window, False, 0, &key);
        XSync(display, False);
        EXPECT_EQ(ShownPixel(display, window, 10, 10), 0x0000FFu);
        pause.Service();
        XSync(display, False);
        EXPECT_EQ(ShownPixel(display, window, 10, 10), 0xFF0000u);
        EXPECT_EQ(ShownPixel(display, window, kWidth - 1, kHeight - 1), 0xFF0000u);
        XEvent left;
        EXPECT_FALSE(XCheckIfEvent(display, &left, IsKeyPress, nullptr));
    }
    EXPECT_EQ(ReadPixel(10, 10), (RgbPixel{0, 255, 0}));
}
