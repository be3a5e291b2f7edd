#include "GlWindowFixture.h"

#include <GL/freeglut.h>

#include <cstdlib>

namespace qemtest {

namespace {

int g_window = 0;

void DrawNothing() {}

}  // namespace

std::ostream& operator<<(std::ostream& os, const RgbPixel& p) {
    return os << "rgb(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ")";
}

void GlWindowFixture::SetUp() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display (run under xvfb-run)";
    if (g_window == 0) {
        int argc = 1;
        char name[] = "qem_tests";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(kWidth, kHeight);
        g_window = glutCreateWindow("qem tests");
        // freeglut refuses to handle a window without a display callback.
        glutDisplayFunc(DrawNothing);
    }
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
