#include "platform/RawMouse.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/XErrors.h"

struct RawMouseConnection {
    std::mutex lock;
    // Compared by the I/O error handler, which other connections' threads
    // may run.
    std::atomic<Display*> display{nullptr};
    int opcode = 0;
    bool lost = false;
    std::vector<RawMouse*> devices;

    bool Open();
    void Close();
    // Adds the raw motion of the events that wait to every device; false
    // when the connection was lost.
    bool Drain();
    static void AddMotion(const XIRawEvent& raw, const std::vector<RawMouse*>& devices);
};

namespace {

RawMouseConnection& Shared() {
    static RawMouseConnection connection;
    return connection;
}

// Xlib ends the process when a connection breaks. This connection's loss is
// only a failed read: the handler returns for it, and its exit handler ends
// nothing; other connections go to the handler that was there before.
XIOErrorHandler g_previousIOHandler = nullptr;

int OnIOError(Display* display) {
    if (display == Shared().display.load()) {
        Shared().lost = true;
        return 0;
    }
    return g_previousIOHandler ? g_previousIOHandler(display) : 0;
}

void OnIOErrorExit(Display*, void*) {}

void InstallIOHandler() {
    static std::once_flag once;
    std::call_once(once, [] { g_previousIOHandler = XSetIOErrorHandler(OnIOError); });
}

// A whole count from the sum, leaving the fraction, held to Integers.
int32_t TakeWhole(double& sum) {
    const double whole = std::trunc(sum);
    sum -= whole;
    return static_cast<int32_t>(std::clamp(whole, double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

bool RawMouseConnection::Open() {
    if (display.load()) return true;
    InstallXErrorHandler();
    InstallIOHandler();
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    XSetIOErrorExitHandler(d, OnIOErrorExit, nullptr);
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(d, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(d, &major, &minor) != Success || major < 2) {
        XCloseDisplay(d);
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XSync(d, False);
    lost = false;
    display = d;
    return true;
}

void RawMouseConnection::Close() {
    if (Display* d = display.exchange(nullptr)) XCloseDisplay(d);
    lost = false;
}

void RawMouseConnection::AddMotion(const XIRawEvent& raw, const std::vector<RawMouse*>& devices) {
    // Valuators 0 and 1 are the pointer's x and y; raw_values holds one
    // value per set bit of the mask, in order.
    const double* value = raw.raw_values;
    double dx = 0, dy = 0;
    const int count = std::min(raw.valuators.mask_len * 8, 2);
    for (int i = 0; i < count; ++i) {
        if (!XIMaskIsSet(raw.valuators.mask, i)) continue;
        (i == 0 ? dx : dy) = *value++;
    }
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    for (RawMouse* device : devices) {
        device->m_x += dx;
        device->m_y += dy;
    }
}

bool RawMouseConnection::Drain() {
    Display* d = display.load();
    while (!lost && XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != opcode || !XGetEventData(d, &cookie)) continue;
        if (cookie.evtype == XI_RawMotion) AddMotion(*static_cast<const XIRawEvent*>(cookie.data), devices);
        XFreeEventData(d, &cookie);
    }
    return !lost;
}

RawMouse::RawMouse() {
    RawMouseConnection& c = Shared();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.Open()) return;
    c.devices.push_back(this);
    m_opened = true;
}

RawMouse::~RawMouse() {
    if (!m_opened) return;
    RawMouseConnection& c = Shared();
    std::lock_guard<std::mutex> guard(c.lock);
    c.devices.erase(std::remove(c.devices.begin(), c.devices.end(), this), c.devices.end());
    // Nobody reads the events any more: they would pile up at the server.
    if (c.devices.empty()) c.Close();
}

bool RawMouse::Poll() {
    if (!m_opened) return false;
    RawMouseConnection& c = Shared();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.Open()) return false;
    Display* d = c.display.load();
    Window root, child;
    int rootX, rootY, x, y;
    unsigned int mask = 0;
    if (c.Drain()) XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask);
    if (c.lost) {
        c.Close();
        return false;
    }
    m_buttons = (mask & Button1Mask ? kLeft : 0) | (mask & Button3Mask ? kRight : 0) | (mask & Button2Mask ? kMiddle : 0);
    return true;
}

int32_t RawMouse::TakeX() {
    std::lock_guard<std::mutex> guard(Shared().lock);
    return TakeWhole(m_x);
}

int32_t RawMouse::TakeY() {
    std::lock_guard<std::mutex> guard(Shared().lock);
    return TakeWhole(m_y);
}

int RawMouse::ConnectionSocket() {
    RawMouseConnection& c = Shared();
    std::lock_guard<std::mutex> guard(c.lock);
    Display* d = c.display.load();
    return d ? ConnectionNumber(d) : -1;
}
