#include "GlWindowFixture.h"

#include <GL/freeglut.h>

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>

#include "platform/GlutMainLoop.h"
#include "platform/GlutWindow.h"

namespace qemtest {

namespace {

int g_window = 0;

void DrawNothing() {}

}  // namespace

// The GL library unloads its driver at exit, before the leak checker runs;
// the driver's memory then looks leaked, and its frames cannot be named to
// suppress them. Pinning every library loaded so far keeps the driver (and
// what it loaded) resident to the end.
void PinLoadedLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) -> int {
            if (info->dlpi_name && *info->dlpi_name)
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

namespace {

// The leak checker's switches, present only in sanitizer builds.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

// The window and its context live as long as the test program and are never
// closed, so what the driver allocates for them is not reported as leaked.
void OpenWindow() {
    if (__lsan_disable) __lsan_disable();
    int argc = 1;
    char name[] = "qem_tests";
    char* argv[] = {name, nullptr};
    {
        DisplayServerHold hold;
        glutInit(&argc, argv);
    }
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(GlWindowFixture::kWidth, GlWindowFixture::kHeight);
    // Away from the screen's corner, where the program's own tests open
    // their windows and point at them: tests run side by side on one
    // display, and a window on top would take their input.
    glutInitWindowPosition(900, 700);
    // The engine's own window, as the program makes it.
    g_window = CreateHostWindow("qem tests", false);
    // freeglut refuses to handle a window without a display callback.
    glutDisplayFunc(DrawNothing);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    PinLoadedLibraries();
    if (__lsan_enable) __lsan_enable();
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const RgbPixel& p) {
    return os << "rgb(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ")";
}

void GlWindowFixture::TearDown() {
    // Contexts made during the test (on other threads too) loaded more of
    // the driver.
    PinLoadedLibraries();
}

void GlWindowFixture::SetUp() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display (run under xvfb-run)";
    if (g_window == 0) OpenWindow();
    glutSetWindow(g_window);
    glViewport(0, 0, kWidth, kHeight);
    ClearWindow(0, 0, 0);
}

void GlWindowFixture::ClearWindow(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

RgbPixel GlWindowFixture::ReadPixel(int x, int y) { return ReadPixels(x, y, 1, 1)[0]; }

std::vector<RgbPixel> GlWindowFixture::ReadPixels(int x, int y, int w, int h) {
    std::vector<RgbPixel> pixels(static_cast<size_t>(w) * h);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace qemtest
