#include "XErrors.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <mutex>

namespace {

// Set while this thread asks something that may fail on purpose.
thread_local bool t_quiet = false;
thread_local bool t_failed = false;

int LogXError(Display* display, XErrorEvent* event) {
    if (t_quiet) {
        t_failed = true;
        return 0;
    }
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

bool XRequestsSucceed(void* display, const std::function<void()>& requests) {
    Display* d = static_cast<Display*>(display);
    InstallXErrorHandler();
    // Errors of earlier requests are reported (and logged) first.
    XSync(d, False);
    t_quiet = true;
    t_failed = false;
    requests();
    XSync(d, False);
    t_quiet = false;
    return !t_failed;
}

bool XWindowAlive(void* display, unsigned long window) {
    Status found = 0;
    const bool ok = XRequestsSucceed(display, [&] {
        XWindowAttributes attributes;
        found = XGetWindowAttributes(static_cast<Display*>(display), static_cast<Window>(window), &attributes);
    });
    return found && ok;
}
