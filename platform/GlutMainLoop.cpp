#include "platform/GlutMainLoop.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/GlutWindow.h"
#include "platform/Thread.h"
#include "platform/XErrors.h"

namespace {

std::function<void()> g_turn;

void OnIdle() {
    if (g_turn) g_turn();
}

// freeglut insists on a display callback; the frames are the idle turns,
// which redraw the whole window anyway.
void OnDisplay() {}

}  // namespace

void PrepareWindowSystem() {
    XInitThreads();
    InstallXErrorHandler();
}

DisplayServerHold::DisplayServerHold() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if ((m_display = XOpenDisplay(nullptr))) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

DisplayServerHold::~DisplayServerHold() {
    if (m_display) XCloseDisplay(static_cast<Display*>(m_display));
}

void InitWindowSystem(int* argc, char** argv) {
    DisplayServerHold hold;
    glutInit(argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
}

void SetNextWindowMode(unsigned int mode) { glutInitDisplayMode(mode); }

void SetNextWindowSize(int width, int height) { glutInitWindowSize(width, height); }

bool NextWindowModePossible() { return glutGet(GLUT_DISPLAY_MODE_POSSIBLE) != 0; }

void MakeWindowFullScreen() { glutFullScreen(); }

int CurrentWindow() { return glutGetWindow(); }

void SwapWindowBuffers() {
    // freeglut ends the process when there is no window to swap.
    if (glutGet(GLUT_INIT_STATE) && glutGetWindow() > 0) glutSwapBuffers();
}

void RunWindowLoop(std::function<void()> turn) {
    g_turn = std::move(turn);
    glutDisplayFunc(OnDisplay);
    glutIdleFunc(OnIdle);
    glutMainLoop();
    g_turn = nullptr;
}

void LeaveWindowLoop() { glutLeaveMainLoop(); }

bool WindowStillExists() {
    static uint64_t lastLook = 0;
    static bool exists = true;
    const uint64_t now = MonotonicMicroseconds();
    if (!exists || now - lastLook < 250000) return exists;
    lastLook = now;
    Display* display = glXGetCurrentDisplay();
    const unsigned long window = HostWindowId();
    if (display && window) exists = XWindowAlive(display, window);
    return exists;
}
