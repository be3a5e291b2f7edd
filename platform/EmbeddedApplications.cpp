#include "EmbeddedApplications.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/GlutWindow.h"
#include "platform/XErrors.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

// This file's own connection, opened at first use and kept; every use holds
// the lock.
std::mutex g_lock;
Display* g_display = nullptr;
bool g_tried = false;

Display* Connection() {
    if (!g_tried) {
        g_tried = true;
        InstallXErrorHandler();
        g_display = XOpenDisplay(nullptr);
    }
    return g_display;
}

// A 32-bit property's first item, or 0.
unsigned long CardinalProperty(Display* d, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(d, w, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

bool HasProperty(Display* d, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(d, w, property, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                                        &data) == Success &&
                     type != None;
    if (data) XFree(data);
    return has;
}

std::vector<Window> Children(Display* d, Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::vector<Window> list;
    if (XQueryTree(d, w, &root, &parent, &children, &count) && children) {
        list.assign(children, children + count);
        XFree(children);
    }
    return list;
}

// The application's own window in a top-level window: the top-level window
// itself, or, under a window manager, the client window in its frame (the
// one with WM_STATE).
Window ClientWindow(Display* d, Window top, Atom wmState, int depth = 2) {
    if (HasProperty(d, top, wmState)) return top;
    if (depth > 0) {
        for (Window child : Children(d, top)) {
            const Window found = ClientWindow(d, child, wmState, depth - 1);
            if (HasProperty(d, found, wmState)) return found;
        }
    }
    return top;
}

// The process of the client that made the window, as the display knows it
// (local clients only); 0 when unknown.
unsigned long ClientProcess(Display* d, Window w) {
    int event = 0, error = 0;
    if (!XResQueryExtension(d, &event, &error)) return 0;
    XResClientIdSpec spec{w, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    unsigned long pid = 0;
    if (XResQueryClientIds(d, 1, &spec, &count, &values) == Success) {
        for (long i = 0; i < count; ++i) {
            if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID) {
                const pid_t p = XResGetClientPid(&values[i]);
                if (p > 0) pid = static_cast<unsigned long>(p);
            }
        }
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

// One look over the top-level windows for the process's window: one the
// process owns first, else a new one that names no process.
Window FindWindow(Display* d, unsigned long pid, const std::vector<Window>& before) {
    const Atom netWmPid = XInternAtom(d, "_NET_WM_PID", False);
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    Window unnamed = 0;
    for (Window top : Children(d, DefaultRootWindow(d))) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, top, &a) || a.override_redirect || a.map_state != IsViewable) continue;
        const Window client = ClientWindow(d, top, wmState);
        unsigned long owner = CardinalProperty(d, client, netWmPid);
        if (!owner) owner = ClientProcess(d, client);
        if (owner == pid) return client;
        if (!owner && !unnamed && std::find(before.begin(), before.end(), top) == before.end()) unnamed = client;
    }
    return unnamed;
}

// Runs the requests on the window under the lock; false without a display
// or when one of them failed (the window gone, say).
template <class Requests>
bool OnWindow(unsigned long window, Requests requests) {
    std::lock_guard<std::mutex> lock(g_lock);
    Display* d = Connection();
    if (!d || !window) return false;
    return XRequestsSucceed(d, [&] { requests(d, static_cast<Window>(window)); });
}

}  // namespace

unsigned long EngineXWindow() {
    if (const unsigned long host = HostWindowId()) return host;
    return static_cast<unsigned long>(glXGetCurrentDrawable());
}

unsigned long StartEmbeddedApplication(const std::string& file, const std::string& parameters, int x, int y,
                                       int width, int height, std::chrono::milliseconds wait) {
    const Window parent = static_cast<Window>(EngineXWindow());
    std::vector<Window> before;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        Display* d = Connection();
        if (!d || !parent || !XWindowAlive(d, parent)) return 0;
        before = Children(d, DefaultRootWindow(d));
    }
    const StartedChild child = StartChildProcess({"/bin/sh", "-c", "exec \"$0\" " + parameters, file});
    if (!child.Started()) return 0;

    const auto deadline = std::chrono::steady_clock::now() + wait;
    Window found = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(g_lock);
            Display* d = Connection();
            XRequestsSucceed(d, [&] { found = FindWindow(d, static_cast<unsigned long>(child.pid), before); });
        }
        // Its window counts only while the program runs.
        if (child.Ended()) return 0;
        if (found || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kPollInterval);
    }
    if (!found) return 0;
    const bool placed = OnWindow(found, [&](Display* d, Window w) {
        XUnmapWindow(d, w);
        XReparentWindow(d, w, parent, x, y);
        XMoveResizeWindow(d, w, x, y, static_cast<unsigned>(std::max(width, 1)),
                          static_cast<unsigned>(std::max(height, 1)));
        XMapWindow(d, w);
    });
    return placed ? found : 0;
}

bool EmbeddedWindowExists(unsigned long window) {
    std::lock_guard<std::mutex> lock(g_lock);
    Display* d = Connection();
    return d && window && XWindowAlive(d, window);
}

bool ShowEmbeddedWindow(unsigned long window, bool show) {
    return OnWindow(window, [&](Display* d, Window w) {
        if (show)
            XMapWindow(d, w);
        else
            XUnmapWindow(d, w);
    });
}

bool PlaceEmbeddedWindow(unsigned long window, int x, int y, int width, int height) {
    return OnWindow(window, [&](Display* d, Window w) {
        XMoveResizeWindow(d, w, x, y, static_cast<unsigned>(std::max(width, 1)),
                          static_cast<unsigned>(std::max(height, 1)));
        XRaiseWindow(d, w);
    });
}

bool CloseEmbeddedWindow(unsigned long window) {
    return OnWindow(window, [&](Display* d, Window w) {
        const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
        const Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
        Atom* list = nullptr;
        int count = 0;
        bool takesDelete = false;
        if (XGetWMProtocols(d, w, &list, &count)) {
            takesDelete = std::find(list, list + count, deleteWindow) != list + count;
            XFree(list);
        }
        if (!takesDelete) {
            XDestroyWindow(d, w);
            return;
        }
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(deleteWindow);
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &e);
    });
}
