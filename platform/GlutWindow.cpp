#include "GlutWindow.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include <algorithm>
#include <memory>

#include "platform/GlutMessages.h"
#include "platform/KeyboardState.h"
#include "platform/XErrors.h"

namespace {

std::unique_ptr<GlutMessageAdapter> g_adapter;
WindowMessageHandler g_handler;
bool g_hasFocus = false;
Window g_hostWindow = 0;

// The X connection and window of the GLUT window, found through its
// current GL context (freeglut does not expose them).
bool NativeWindow(Display*& display, Window& window) {
    display = glXGetCurrentDisplay();
    window = static_cast<Window>(glXGetCurrentDrawable());
    return display && window;
}

struct MotifHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};

void OnKeyboard(unsigned char key, int, int) { g_adapter->Keyboard(key, glutGetModifiers(), true); }
void OnKeyboardUp(unsigned char key, int, int) { g_adapter->Keyboard(key, glutGetModifiers(), false); }
void OnSpecial(int key, int, int) { g_adapter->Special(key, glutGetModifiers(), true); }
void OnSpecialUp(int key, int, int) { g_adapter->Special(key, glutGetModifiers(), false); }
void OnMouse(int button, int state, int x, int y) { g_adapter->Mouse(button, state, x, y, glutGetModifiers()); }
void OnWheel(int, int direction, int x, int y) {
    g_adapter->Wheel(direction, x, y, glutGetModifiers(), glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y));
}
void OnMotion(int x, int y) { g_adapter->Motion(x, y); }
void OnReshape(int, int) { g_adapter->Reshape(); }
void OnPosition(int, int) { g_adapter->Position(); }
void OnClose() { g_adapter->Close(); }

}  // namespace

int CreateHostWindow(const char* title, bool borderless) {
    InstallXErrorHandler();
    const int window = glutCreateWindow(title);
    Display* display;
    Window xwindow;
    if (NativeWindow(display, xwindow)) g_hostWindow = xwindow;
    if (borderless && NativeWindow(display, xwindow)) {
        MotifHints hints{2 /* decorations */, 0, 0 /* none */, 0, 0};
        const Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", False);
        XChangeProperty(display, xwindow, property, property, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&hints), 5);
        XFlush(display);
    }
    return window;
}

bool WindowIsBorderless(int) {
    Display* display;
    Window xwindow;
    if (!NativeWindow(display, xwindow)) return false;
    const Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", True);
    if (property == None) return false;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, xwindow, property, 0, 5, False, property, &type, &format, &count, &after, &data) !=
            Success ||
        !data)
        return false;
    const long* words = reinterpret_cast<const long*>(data);
    const bool borderless = count >= 3 && (words[0] & 2) && words[2] == 0;
    XFree(data);
    return borderless;
}

void InstallWindowMessages(WindowMessageHandler handler) {
    g_handler = std::move(handler);
    g_adapter.reset(new GlutMessageAdapter([](uint32_t m, uintptr_t w, intptr_t l) {
        NoteInputMessage(m, w);
        if (g_handler) g_handler(m, w, l);
    }));
    // Held keys repeat as presses without releases, as on Windows.
    Display* display;
    Window xwindow;
    if (NativeWindow(display, xwindow)) XkbSetDetectableAutoRepeat(display, True, nullptr);
    glutKeyboardFunc(OnKeyboard);
    glutKeyboardUpFunc(OnKeyboardUp);
    glutSpecialFunc(OnSpecial);
    glutSpecialUpFunc(OnSpecialUp);
    glutMouseFunc(OnMouse);
    glutMouseWheelFunc(OnWheel);
    glutMotionFunc(OnMotion);
    glutPassiveMotionFunc(OnMotion);
    glutReshapeFunc(OnReshape);
    glutPositionFunc(OnPosition);
    glutCloseFunc(OnClose);
}

void PollWindowFocus() {
    Display* display;
    Window xwindow;
    if (!g_adapter || !NativeWindow(display, xwindow)) return;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    bool has = focus == xwindow;
    if (focus == PointerRoot) {
        // Without a window manager the focus follows the pointer.
        Window root, child;
        int rx, ry, wx, wy;
        unsigned int mask;
        XWindowAttributes attributes;
        has = XQueryPointer(display, xwindow, &root, &child, &rx, &ry, &wx, &wy, &mask) &&
              XGetWindowAttributes(display, xwindow, &attributes) && wx >= 0 && wy >= 0 && wx < attributes.width &&
              wy < attributes.height;
    }
    if (has != g_hasFocus) {
        g_hasFocus = has;
        g_adapter->Focus(has);
    }
}

bool IsVirtualKeyDown(int vk) { return g_adapter && g_adapter->KeyDown(vk); }

void FocusEngineWindow() {
    Display* display;
    Window xwindow;
    if (!NativeWindow(display, xwindow)) return;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, xwindow, &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(display, xwindow, RevertToParent, CurrentTime);
}

unsigned long HostWindowId() { return g_hostWindow; }

// ---------------------------------------------------------------------------
// Modal pauses

namespace {

// The events a pause takes from the window's queue: presses and movement
// (dropped) and exposures (repainted). Everything else waits for GLUT.
Bool TakenDuringPause(Display*, XEvent* event, XPointer window) {
    if (event->xany.window != *reinterpret_cast<Window*>(window)) return False;
    switch (event->type) {
    case KeyPress:
    case ButtonPress:
    case MotionNotify:
    case Expose:
        return True;
    default:
        return False;
    }
}

}  // namespace

// The window and the picture it showed when the pause began, kept by the X
// server's side of things: the GL buffers are left alone, so the frame being
// drawn is not touched.
struct ModalWindowPause::Saved {
    Display* display = nullptr;
    Window window = 0;
    XImage* picture = nullptr;  // the part of the window on the screen
    int x = 0, y = 0;           // where that part starts in the window
    GC gc = nullptr;
};

ModalWindowPause::ModalWindowPause() {
    Display* display;
    Window window;
    if (!g_hostWindow || !NativeWindow(display, window) || window != g_hostWindow) return;
    m_saved.reset(new Saved);
    Saved& s = *m_saved;
    s.display = display;
    s.window = window;
    // The last frame is on the screen once GL has finished with it.
    glFinish();
    XWindowAttributes attributes;
    int rootX, rootY;
    Window child;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable ||
        !XTranslateCoordinates(display, window, attributes.root, 0, 0, &rootX, &rootY, &child))
        return;
    // Only what is on the screen can be read.
    s.x = std::max(0, -rootX);
    s.y = std::max(0, -rootY);
    const int right = std::min(attributes.width, WidthOfScreen(attributes.screen) - rootX);
    const int bottom = std::min(attributes.height, HeightOfScreen(attributes.screen) - rootY);
    if (right <= s.x || bottom <= s.y) return;
    s.picture = XGetImage(display, window, s.x, s.y, static_cast<unsigned>(right - s.x),
                          static_cast<unsigned>(bottom - s.y), AllPlanes, ZPixmap);
    if (s.picture) s.gc = XCreateGC(display, window, 0, nullptr);
}

ModalWindowPause::~ModalWindowPause() {
    if (!m_saved) return;
    if (m_saved->gc) XFreeGC(m_saved->display, m_saved->gc);
    if (m_saved->picture) XDestroyImage(m_saved->picture);
}

void ModalWindowPause::Service() {
    if (!m_saved) return;
    Saved& s = *m_saved;
    XEvent event;
    bool painted = false;
    while (XCheckIfEvent(s.display, &event, TakenDuringPause, reinterpret_cast<XPointer>(&s.window))) {
        if (event.type != Expose || !s.picture) continue;
        const XExposeEvent& e = event.xexpose;
        const int left = std::max(e.x, s.x), top = std::max(e.y, s.y);
        const int right = std::min(e.x + e.width, s.x + s.picture->width);
        const int bottom = std::min(e.y + e.height, s.y + s.picture->height);
        if (right <= left || bottom <= top) continue;
        XPutImage(s.display, s.window, s.gc, s.picture, left - s.x, top - s.y, left, top,
                  static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
        painted = true;
    }
    if (painted) XFlush(s.display);
}
