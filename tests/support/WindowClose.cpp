#include "support/WindowClose.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace qemtest {

bool RequestWindowClose(const std::string& windowId) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const Window window = static_cast<Window>(std::strtoul(windowId.c_str(), nullptr, 0));
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XCloseDisplay(display);
    return sent;
}

bool DestroyForeignWindow(const std::string& windowId) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XDestroyWindow(display, static_cast<Window>(std::strtoul(windowId.c_str(), nullptr, 0)));
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

}  // namespace qemtest
