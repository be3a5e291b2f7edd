// The console, display, cursor and pacing functions end to end: qem runs
// scripts that draw over their frames and place the cursor, and the test
// reads the window's pixels, the pointer and the cursor from the X server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "support/EngineFixtures.h"
#include "support/ImageFiles.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

// After the test framework and the script writer, whose names (None, Bool)
// the X headers' macros would take.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#undef None
#undef Bool

using namespace qemtest;

namespace {

// A script whose OnFrame runs `frame` every frame and prints "FRAME" on the
// first one.
ProgramBuilder FrameScript(const std::function<void(ProgramBuilder&)>& frame) {
    ProgramBuilder b;
    b.Return();
    b.SetGlobalCount(1);
    b.Function("ONFRAME", 0);
    b.Emit(OP_RESERVE, I(1));
    frame(b);
    const Label done = b.NewLabel();
    b.Emit(OP_JUMP_NOT_VOID, G(0), None(), At(done));
    b.Emit(OP_COPY, VInt(1), None(), G(0));
    b.CallNative("OUTPUTLN", {VStr("FRAME")}, None());
    b.Bind(done);
    b.Return();
    return b;
}

void Call(ProgramBuilder& b, const char* name, const std::vector<Opnd>& args) { b.CallNative(name, args, None()); }

Opnd Bool(bool value) {
    CVmValue v;
    v.SetBool(value);
    return VValue(v);
}

Opnd Floats(std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VValue(v);
}

class ConsoleScriptProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
    }

    // Starts qem on the script in a window of that size and waits for its
    // first frame; the window's id.
    Window Start(ProgramBuilder& b, const std::string& name, int width, int height) {
        const std::string script = WriteProgram(scratch, name + ".bin", b);
        qem.reset(new QemProcess(QEM_PROGRAM, {script, "-w", std::to_string(width), "-h", std::to_string(height)},
                                 script + ".out", {{"TMPDIR", scratch.Path()}}));
        EXPECT_TRUE(qem->WaitFor("FRAME", std::chrono::seconds(30))) << qem->Output() << qem->Errors();
        const std::string id = Shell("timeout 10 xdotool search --sync --name '^qem <" + script + ">$' | head -1");
        if (id.empty()) return 0;
        // Whole on the screen (its pixels can be read), away from the corner
        // where other test programs' windows open, on top.
        const Window w = std::stoul(id);
        XMoveWindow(display, w, kLeft, kTop);
        XRaiseWindow(display, w);
        XSync(display, False);
        for (int i = 0; i < 100; ++i) {
            int x, y, width, height;
            Rectangle(w, x, y, width, height);
            if (x == kLeft && y == kTop) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return w;
    }

    static constexpr int kLeft = 500, kTop = 300;

    // The window's client rectangle on the screen.
    void Rectangle(Window w, int& x, int& y, int& width, int& height) {
        XWindowAttributes a;
        ASSERT_TRUE(XGetWindowAttributes(display, w, &a));
        Window child;
        XTranslateCoordinates(display, w, a.root, 0, 0, &x, &y, &child);
        width = a.width;
        height = a.height;
    }

    // Waits until the window's pixels pass the check (they show a frame a
    // little after the script drew it); false after five seconds.
    bool PixelsBecome(Window w, const std::function<bool(XImage*, int width, int height)>& check) {
        int x, y, width, height;
        Rectangle(w, x, y, width, height);
        for (int i = 0; i < 50; ++i) {
            XImage* image = XGetImage(display, w, 0, 0, width, height, AllPlanes, ZPixmap);
            const bool ok = image && check(image, width, height);
            if (image) XDestroyImage(image);
            if (ok) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    ScratchFolder scratch;
    std::unique_ptr<QemProcess> qem;
    Display* display = nullptr;
};

// The pixel at (x, y), y counted upward from the bottom row, as 0xRRGGBB.
unsigned long Pixel(XImage* image, int height, int x, int y) {
    return XGetPixel(image, x, height - 1 - y) & 0xFFFFFF;
}

}  // namespace

TEST_F(ConsoleScriptProgram, ARectangleHangsDownFromItsCorner) {
    ProgramBuilder b = FrameScript([](ProgramBuilder& b) {
        // Red over the whole window, then green.
        Call(b, "CONSOLECOLOR", {VInt(1), VInt(0), VInt(0)});
        Call(b, "CONSOLEFILLEDRECT", {VInt(0), VInt(1), VInt(1), VInt(1)});
        Call(b, "CONSOLECOLOR", {VInt(0), VInt(1), VInt(0)});
        Call(b, "CONSOLEFILLEDRECT", {VReal(0.25f), VReal(0.25f), VReal(0.5f), VReal(0.5f)});
        Call(b, "CONSOLEFINISH", {});
    });
    const Window w = Start(b, "rect", 320, 240);
    ASSERT_NE(w, 0u);
    // Green from x 80 to 240 and from y 60 down to the bottom edge; red
    // everywhere else.
    unsigned long seen[4] = {};
    EXPECT_TRUE(PixelsBecome(w, [&](XImage* image, int width, int height) {
        const int probes[4][2] = {{160, 30}, {82, 2}, {160, 120}, {300, 30}};
        for (int i = 0; i < 4; ++i) seen[i] = Pixel(image, height, probes[i][0], probes[i][1]);
        return width == 320 && seen[0] == 0x00FF00 && seen[1] == 0x00FF00 && seen[2] == 0xFF0000 &&
               seen[3] == 0xFF0000 && Pixel(image, height, 160, 62) == 0xFF0000 &&
               Pixel(image, height, 78, 30) == 0xFF0000;
    })) << std::hex << seen[0] << " " << seen[1] << " " << seen[2] << " " << seen[3] << "\n"
        << qem->Output();
}

TEST_F(ConsoleScriptProgram, TextAtTheMiddleOfTheWindowStartsAtItsMiddlePixel) {
    ProgramBuilder b = FrameScript([](ProgramBuilder& b) {
        // Black under the text, whatever the frame held.
        Call(b, "CONSOLECOLOR", {VInt(0), VInt(0), VInt(0)});
        Call(b, "CONSOLEFILLEDRECT", {VInt(0), VInt(1), VInt(1), VInt(1)});
        Call(b, "CONSOLECOLOR", {VInt(1), VInt(1), VInt(1)});
        Call(b, "CONSOLETEXT", {VReal(0.5f), VReal(0.5f), VStr("X")});
        Call(b, "CONSOLEFINISH", {});
    });
    const Window w = Start(b, "text", 640, 480);
    ASSERT_NE(w, 0u);
    // The glyph's lit pixels: its left edge just right of x 320, its foot on
    // the baseline y 240.
    int left = 0, bottom = 0;
    EXPECT_TRUE(PixelsBecome(w, [&](XImage* image, int width, int height) {
        left = width;
        bottom = height;
        int lit = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (Pixel(image, height, x, y) == 0xFFFFFF) {
                    ++lit;
                    left = std::min(left, x);
                    bottom = std::min(bottom, y);
                }
        return width == 640 && lit > 4;
    })) << qem->Output();
    EXPECT_GE(left, 320);
    EXPECT_LE(left, 322);
    EXPECT_GE(bottom, 239);
    EXPECT_LE(bottom, 241);
}

TEST_F(ConsoleScriptProgram, TheHandCursorAndThePointerAtTheBottomLeftCorner) {
    // Once a key comes (the window in its place by then).
    ProgramBuilder b = FrameScript([](ProgramBuilder& b) {
        b.CallNative("KEYBOARD", {}, L(1));
        const Label none = b.NewLabel();
        b.Emit(OP_JUMP_EQ, L(1), VStr(""), At(none));
        Call(b, "SETCURSORSHAPE", {VInt(3)});
        Call(b, "SETCURSORPOS", {VInt(0), VInt(0)});
        Call(b, "OUTPUTLN", {VStr("PLACED")});
        b.Bind(none);
    });
    const Window w = Start(b, "cursor", 200, 150);
    ASSERT_NE(w, 0u);
    Shell("xdotool mousemove --window " + std::to_string(w) + " 20 20 key a");
    ASSERT_TRUE(qem->WaitFor("PLACED")) << qem->Output();
    int x, y, width, height;
    Rectangle(w, x, y, width, height);
    EXPECT_EQ(x, kLeft);
    // The bottom edge is the first row below the window.
    int rootX = -1, rootY = -1;
    Window root, child;
    int winX, winY;
    unsigned mask;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    EXPECT_EQ(rootX, x);
    EXPECT_EQ(rootY, y + height);

    // Over the window the hand shows.
    XWarpPointer(display, 0L, w, 0, 0, 0, 0, width / 2, height / 2);
    XSync(display, False);
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->width, 32);
    EXPECT_EQ(cursor->height, 32);
    EXPECT_EQ(cursor->xhot, 8);
    EXPECT_EQ(cursor->yhot, 5);
    XFree(cursor);
}

TEST_F(ConsoleScriptProgram, EverySetterRunsInOneScript) {
    const std::string sky = scratch.Make("sky.png");
    WriteFile(sky, PngBytes(2, 2, 3, std::vector<uint8_t>(12, 200)));
    ProgramBuilder b = FrameScript([&](ProgramBuilder& b) {
        Call(b, "CONSOLEFONT", {VStr("fixed"), VInt(13)});
        Call(b, "CONSOLEFONT", {});
        Call(b, "CONSOLECOLOR", {VInt(1)});
        Call(b, "CONSOLEWIDTH", {VInt(2)});
        Call(b, "CONSOLETEXT", {VReal(0.1f), VReal(0.9f), VStr("text")});
        Call(b, "CONSOLERECT", {VReal(0.1f), VReal(0.9f), VReal(0.5f), VReal(0.5f)});
        Call(b, "CONSOLELINES", {Floats({0, 0, 1, 1})});
        Call(b, "SETFADE", {VReal(1)});
        Call(b, "SETFADEVALUE", {VReal(1)});
        Call(b, "SETCLEARCOLOR", {VInt(0), VInt(0), VReal(0.5f)});
        Call(b, "SETAMBIENTLIGHT", {VReal(0.2f), VReal(0.2f), VReal(0.2f)});
        Call(b, "SETSCREENRATIO", {VReal(1.25f)});
        Call(b, "LOADBACKGROUND", {VStr(sky.c_str()), VInt(1)});
        Call(b, "SETFRAMERATE", {VInt(50)});
        Call(b, "SETTIMESTEP", {VInt(10)});
        Call(b, "SETCURSORSHAPE", {VInt(13)});
        Call(b, "SHOWCURSOR", {Bool(false)});
        Call(b, "SHOWCURSOR", {Bool(true)});
        Call(b, "SETCURSORPOS", {VReal(0.5f), VReal(0.5f)});
        Call(b, "CONSOLEFINISH", {});
        Call(b, "SWAPBUFFERS", {});
        b.CallNative("SETSCREENRESOLUTION", {VInt(800), VInt(600)}, L(1));
        Call(b, "OUTPUTLN", {VStr("resolution "), L(1)});
    });
    const Window w = Start(b, "setters", 160, 120);
    EXPECT_NE(w, 0u);
    const std::string out = qem->Output();
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    // A display without that mode (the test display has one size only).
    EXPECT_TRUE(out.find("resolution False") != std::string::npos || out.find("resolution True") != std::string::npos)
        << out;
}
