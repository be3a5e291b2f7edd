#include "platform/WindowCursor.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/cursorfont.h>

#include <cmath>
#include <mutex>
#include <string>

#include "platform/XErrors.h"

namespace {

// A hand with the index finger raised: 'X' black, 'o' white, '.' clear.
constexpr int kHandSize = 32;
constexpr int kHandHotX = 8, kHandHotY = 5;
const char* const kHand[kHandSize] = {
    "................................",
    "................................",
    "................................",
    "................................",
    ".......XXX......................",
    "......XoooX.....................",
    "......XoooX.....................",
    "......XoooX.....................",
    "......XoooX.....................",
    "......XoooXXXX..................",
    "......XoooXoooXXXX..............",
    "......XoooXoooXoooXXX...........",
    "......XoooXoooXoooXooX..........",
    "..XXX.XoooXoooXoooXooX..........",
    ".XoooXXoooooooooooooooX.........",
    ".XooooooooooooooooooooX.........",
    "..XoooooooooooooooooooX.........",
    "...XooooooooooooooooooX.........",
    "....XoooooooooooooooooX.........",
    ".....XooooooooooooooooX.........",
    ".....XooooooooooooooooX.........",
    "......XooooooooooooooX..........",
    "......XooooooooooooooX..........",
    ".......XoooooooooooooX..........",
    ".......XoooooooooooooX..........",
    ".......XXXXXXXXXXXXXXX..........",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

// The table's entries: a shape of the X cursor font, or one of our own.
constexpr unsigned kHandCursor = 1000;
constexpr unsigned kEmptyCursor = 1001;
constexpr unsigned kShapes[kCursorShapeCount] = {
    XC_left_ptr,          XC_left_ptr,        XC_crosshair,          kHandCursor,
    XC_question_arrow,    XC_xterm,           XC_pirate,             XC_fleur,
    XC_top_right_corner,  XC_sb_v_double_arrow, XC_top_left_corner,  XC_sb_h_double_arrow,
    XC_sb_up_arrow,       XC_watch,           kEmptyCursor,
};
constexpr int kEmptyEntry = 14;

// The connection of this file, to the display of the window noted last.
std::mutex g_lock;
std::string g_displayName;
bool g_named = false;
Display* g_display = nullptr;
Cursor g_cursors[kCursorShapeCount] = {};

Display* Connection() {
    if (!g_display) {
        InstallXErrorHandler();
        g_display = XOpenDisplay(g_named ? g_displayName.c_str() : nullptr);
    }
    return g_display;
}

// A 32 x 32 cursor from the picture (null: every pixel clear).
Cursor BitmapCursor(Display* d, const char* const* picture, int hotX, int hotY) {
    constexpr int kRowBytes = kHandSize / 8;
    unsigned char source[kHandSize * kRowBytes] = {};
    unsigned char mask[kHandSize * kRowBytes] = {};
    for (int y = 0; picture && y < kHandSize; ++y) {
        for (int x = 0; x < kHandSize; ++x) {
            const char c = picture[y][x];
            const unsigned char bit = static_cast<unsigned char>(1u << (x % 8));  // bitmaps are LSB first
            if (c == 'o') source[y * kRowBytes + x / 8] |= bit;
            if (c != '.') mask[y * kRowBytes + x / 8] |= bit;
        }
    }
    const Window root = DefaultRootWindow(d);
    Pixmap sourceMap = XCreateBitmapFromData(d, root, reinterpret_cast<char*>(source), kHandSize, kHandSize);
    Pixmap maskMap = XCreateBitmapFromData(d, root, reinterpret_cast<char*>(mask), kHandSize, kHandSize);
    XColor white{}, black{};
    white.red = white.green = white.blue = 0xFFFF;
    white.flags = black.flags = DoRed | DoGreen | DoBlue;
    const Cursor cursor = XCreatePixmapCursor(d, sourceMap, maskMap, &white, &black, hotX, hotY);
    XFreePixmap(d, sourceMap);
    XFreePixmap(d, maskMap);
    return cursor;
}

Cursor TableCursor(Display* d, int shape) {
    Cursor& cursor = g_cursors[shape];
    if (cursor == 0) {
        const unsigned kind = kShapes[shape];
        if (kind == kHandCursor)
            cursor = BitmapCursor(d, kHand, kHandHotX, kHandHotY);
        else if (kind == kEmptyCursor)
            cursor = BitmapCursor(d, nullptr, 0, 0);
        else
            cursor = XCreateFontCursor(d, kind);
    }
    return cursor;
}

// A product of a fraction and a span in whole pixels, truncated, within the
// coordinates the protocol carries.
int Scaled(float fraction, int span) {
    double p = static_cast<double>(fraction) * span;
    if (std::isnan(p)) p = 0;
    if (p > 65535) p = 65535;
    if (p < -65535) p = -65535;
    return static_cast<int>(p);
}

// The frame extents (left, right, top, bottom) a window manager put around
// the window; zero without one.
void FrameExtents(Display* d, Window w, long extents[4]) {
    for (int i = 0; i < 4; ++i) extents[i] = 0;
    const Atom property = XInternAtom(d, "_NET_FRAME_EXTENTS", True);
    if (property == None) return;
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32 && count == 4) {
        const long* words = reinterpret_cast<const long*>(data);
        for (int i = 0; i < 4; ++i) extents[i] = words[i];
    }
    if (data) XFree(data);
}

// The window's outer rectangle on its root window: its own with the frame
// extents around it. False when its attributes cannot be read.
struct ScreenRect {
    Window root;
    int left, top, right, bottom;
};
bool OuterRect(Display* d, Window window, ScreenRect& r) {
    XWindowAttributes attributes;
    int clientX = 0, clientY = 0;
    Window child;
    if (!XGetWindowAttributes(d, window, &attributes) ||
        !XTranslateCoordinates(d, window, attributes.root, 0, 0, &clientX, &clientY, &child))
        return false;
    long frame[4];
    FrameExtents(d, window, frame);
    r.root = attributes.root;
    r.left = clientX - static_cast<int>(frame[0]);
    r.right = clientX + attributes.width + static_cast<int>(frame[1]);
    r.top = clientY - static_cast<int>(frame[2]);
    r.bottom = clientY + attributes.height + static_cast<int>(frame[3]);
    return true;
}

}  // namespace

unsigned long NoteDrawingWindow() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable || !XWindowAlive(display, drawable)) return 0;
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_display) {
        g_displayName = DisplayString(display);
        g_named = true;
    }
    return drawable;
}

bool ShowCursorOver(unsigned long window, int32_t shape, bool hidden) {
    if (shape < 0 || shape >= kCursorShapeCount || window == 0) return false;
    std::lock_guard<std::mutex> guard(g_lock);
    Display* d = Connection();
    if (!d || !XWindowAlive(d, window)) return false;
    const Cursor cursor = TableCursor(d, hidden ? kEmptyEntry : shape);
    if (cursor == 0) return false;
    XDefineCursor(d, window, cursor);
    XSync(d, False);
    return true;
}

bool MovePointerOver(unsigned long window, float x, float y) {
    if (window == 0) return false;
    std::lock_guard<std::mutex> guard(g_lock);
    Display* d = Connection();
    ScreenRect r;
    if (!d || !XWindowAlive(d, window) || !OuterRect(d, window, r)) return false;
    XWarpPointer(d, None, r.root, 0, 0, 0, 0, r.left + Scaled(x, r.right - r.left),
                 r.bottom + Scaled(y, r.top - r.bottom));
    XSync(d, False);
    return true;
}

bool PointerOutside(unsigned long window) {
    if (window == 0) return false;
    std::lock_guard<std::mutex> guard(g_lock);
    Display* d = Connection();
    ScreenRect r;
    if (!d || !XWindowAlive(d, window) || !OuterRect(d, window, r)) return false;
    Window root, child;
    int x = 0, y = 0, windowX, windowY;
    unsigned int mask;
    if (!XQueryPointer(d, r.root, &root, &child, &x, &y, &windowX, &windowY, &mask)) return true;
    return x < r.left || x >= r.right || y < r.top || y >= r.bottom;
}
