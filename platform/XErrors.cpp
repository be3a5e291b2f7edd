#include "XErrors.h"

#include <X11/Xlib.h>

#include <unistd.h>

#include <atomic>
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

std::atomic<void (*)()> g_displayLost{nullptr};
std::atomic<bool> g_lost{false};

// Xlib ends the process when this returns: it never does.
int DisplayLost(Display*) {
    if (g_lost.exchange(true)) {
        // Another thread is ending the program.
        for (;;) pause();
    }
    if (void (*handler)() = g_displayLost.load()) handler();
    std::fprintf(stderr, "The connection to the display was lost.\n");
    std::fflush(nullptr);
    _exit(1);
}

}  // namespace

void InstallXErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(LogXError);
        XSetIOErrorHandler(DisplayLost);
    });
}

void SetDisplayLostHandler(void (*handler)()) { g_displayLost.store(handler); }

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
