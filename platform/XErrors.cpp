#include "XErrors.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <mutex>

namespace {

int LogXError(Display* display, XErrorEvent* event) {
    char text[256] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "X error: %s (request %d.%d)\n", text, event->request_code, event->minor_code);
    return 0;
}

}  // namespace

void InstallXErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(LogXError); });
}
