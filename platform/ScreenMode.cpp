#include "platform/ScreenMode.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdlib>
#include <mutex>

#include "platform/XErrors.h"

namespace {

std::mutex g_lock;
// The mode before the first change.
bool g_changed = false;
SizeID g_savedSize = 0;
Rotation g_savedRotation = RR_Rotate_0;
short g_savedRate = 0;

// The screen configuration of the default display's first screen, for as
// long as it lives.
class ScreenConfig {
public:
    ScreenConfig() {
        InstallXErrorHandler();
        m_display = XOpenDisplay(nullptr);
        int events, errors;
        if (m_display && XRRQueryExtension(m_display, &events, &errors))
            m_config = XRRGetScreenInfo(m_display, DefaultRootWindow(m_display));
    }
    ~ScreenConfig() {
        if (m_config) XRRFreeScreenConfigInfo(m_config);
        if (m_display) XCloseDisplay(m_display);
    }
    ScreenConfig(const ScreenConfig&) = delete;
    ScreenConfig& operator=(const ScreenConfig&) = delete;

    Display* display() const { return m_display; }
    XRRScreenConfiguration* config() const { return m_config; }

    bool Set(SizeID size, Rotation rotation, std::optional<short> rate) {
        const Window root = DefaultRootWindow(m_display);
        const Status status =
            rate ? XRRSetScreenConfigAndRate(m_display, m_config, root, size, rotation, *rate, CurrentTime)
                 : XRRSetScreenConfig(m_display, m_config, root, size, rotation, CurrentTime);
        XSync(m_display, False);
        return status == RRSetConfigSuccess;
    }

private:
    Display* m_display = nullptr;
    XRRScreenConfiguration* m_config = nullptr;
};

// Whether the screen's pixels are of that many bits: its depth, or the size
// a pixel of that depth takes.
bool ScreenHasBits(Display* d, int32_t bits) {
    const int depth = DefaultDepth(d, DefaultScreen(d));
    if (bits == depth) return true;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(d, &count);
    bool found = false;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth && formats[i].bits_per_pixel == bits) found = true;
    if (formats) XFree(formats);
    return found;
}

}  // namespace

bool ChangeScreenMode(int32_t width, int32_t height, std::optional<int32_t> bitsPerPixel,
                      std::optional<int32_t> refreshRate) {
    std::lock_guard<std::mutex> guard(g_lock);
    ScreenConfig screen;
    if (!screen.config()) return false;
    if (bitsPerPixel && !ScreenHasBits(screen.display(), *bitsPerPixel)) return false;
    int count = 0;
    const XRRScreenSize* sizes = XRRConfigSizes(screen.config(), &count);
    int size = -1;
    for (int i = 0; i < count && size < 0; ++i)
        if (sizes[i].width == width && sizes[i].height == height) size = i;
    if (size < 0) return false;
    std::optional<short> rate;
    if (refreshRate) {
        int rateCount = 0;
        const short* rates = XRRConfigRates(screen.config(), size, &rateCount);
        for (int i = 0; i < rateCount; ++i)
            if (!rate || std::abs(rates[i] - *refreshRate) < std::abs(*rate - *refreshRate)) rate = rates[i];
    }
    Rotation rotation = RR_Rotate_0;
    const SizeID current = XRRConfigCurrentConfiguration(screen.config(), &rotation);
    const short currentRate = XRRConfigCurrentRate(screen.config());
    if (!screen.Set(static_cast<SizeID>(size), rotation, rate)) return false;
    if (!g_changed) {
        g_changed = true;
        g_savedSize = current;
        g_savedRotation = rotation;
        g_savedRate = currentRate;
    }
    return true;
}

void RestoreScreenMode() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_changed) return;
    ScreenConfig screen;
    if (!screen.config()) return;
    screen.Set(g_savedSize, g_savedRotation, g_savedRate > 0 ? std::optional<short>(g_savedRate) : std::nullopt);
    g_changed = false;
}
