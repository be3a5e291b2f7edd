#include "KeyboardState.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <mutex>

#include "platform/GlutMessages.h"

namespace {

std::atomic<bool> g_pressed[256];

// A virtual key and the X key symbols that stand for it (a second for the
// right-hand one of a pair), or a pointer button mask.
struct KeyRow {
    int vk;
    KeySym sym;
    KeySym sym2;
    unsigned int buttonMask;
};

const KeyRow kKeys[] = {
    {0x01, NoSymbol, NoSymbol, Button1Mask},  {0x02, NoSymbol, NoSymbol, Button3Mask},
    {0x04, NoSymbol, NoSymbol, Button2Mask},  {0x08, XK_BackSpace, NoSymbol, 0},
    {0x09, XK_Tab, NoSymbol, 0},              {0x0D, XK_Return, XK_KP_Enter, 0},
    {0x10, XK_Shift_L, XK_Shift_R, 0},        {0x11, XK_Control_L, XK_Control_R, 0},
    {0x12, XK_Alt_L, XK_Alt_R, 0},            {0x13, XK_Pause, NoSymbol, 0},
    {0x14, XK_Caps_Lock, NoSymbol, 0},        {0x1B, XK_Escape, NoSymbol, 0},
    {0x20, XK_space, NoSymbol, 0},            {0x21, XK_Prior, XK_KP_Prior, 0},
    {0x22, XK_Next, XK_KP_Next, 0},           {0x23, XK_End, XK_KP_End, 0},
    {0x24, XK_Home, XK_KP_Home, 0},           {0x25, XK_Left, XK_KP_Left, 0},
    {0x26, XK_Up, XK_KP_Up, 0},               {0x27, XK_Right, XK_KP_Right, 0},
    {0x28, XK_Down, XK_KP_Down, 0},           {0x2D, XK_Insert, XK_KP_Insert, 0},
    {0x2E, XK_Delete, XK_KP_Delete, 0},       {0x5B, XK_Super_L, NoSymbol, 0},
    {0x5C, XK_Super_R, NoSymbol, 0},          {0x6A, XK_KP_Multiply, NoSymbol, 0},
    {0x6B, XK_KP_Add, NoSymbol, 0},           {0x6D, XK_KP_Subtract, NoSymbol, 0},
    {0x6E, XK_KP_Decimal, NoSymbol, 0},       {0x6F, XK_KP_Divide, NoSymbol, 0},
    {0x90, XK_Num_Lock, NoSymbol, 0},         {0x91, XK_Scroll_Lock, NoSymbol, 0},
    {0xA0, XK_Shift_L, NoSymbol, 0},          {0xA1, XK_Shift_R, NoSymbol, 0},
    {0xA2, XK_Control_L, NoSymbol, 0},        {0xA3, XK_Control_R, NoSymbol, 0},
    {0xA4, XK_Alt_L, NoSymbol, 0},            {0xA5, XK_Alt_R, NoSymbol, 0},
    {0xBA, XK_semicolon, NoSymbol, 0},        {0xBB, XK_equal, NoSymbol, 0},
    {0xBC, XK_comma, NoSymbol, 0},            {0xBD, XK_minus, NoSymbol, 0},
    {0xBE, XK_period, NoSymbol, 0},           {0xBF, XK_slash, NoSymbol, 0},
    {0xC0, XK_grave, NoSymbol, 0},            {0xDB, XK_bracketleft, NoSymbol, 0},
    {0xDC, XK_backslash, NoSymbol, 0},        {0xDD, XK_bracketright, NoSymbol, 0},
    {0xDE, XK_apostrophe, NoSymbol, 0},
};

// The rows that follow a pattern: digits, letters, the keypad's digits and
// the function keys.
KeyRow RowOf(int vk) {
    if (vk >= '0' && vk <= '9') return {vk, static_cast<KeySym>(XK_0 + (vk - '0')), NoSymbol, 0};
    if (vk >= 'A' && vk <= 'Z') return {vk, static_cast<KeySym>(XK_a + (vk - 'A')), NoSymbol, 0};
    if (vk >= 0x60 && vk <= 0x69) return {vk, static_cast<KeySym>(XK_KP_0 + (vk - 0x60)), NoSymbol, 0};
    if (vk >= 0x70 && vk <= 0x87) return {vk, static_cast<KeySym>(XK_F1 + (vk - 0x70)), NoSymbol, 0};
    for (const KeyRow& row : kKeys)
        if (row.vk == vk) return row;
    return {vk, NoSymbol, NoSymbol, 0};
}

// A connection of its own, so that any thread may ask without touching the
// window's; one query at a time.
std::mutex g_displayMutex;
Display* g_display = nullptr;
bool g_displayTried = false;

bool SymbolDown(Display* display, const char keys[32], KeySym sym) {
    if (sym == NoSymbol) return false;
    const KeyCode code = XKeysymToKeycode(display, sym);
    return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

bool DownNow(const KeyRow& row) {
    if (row.sym == NoSymbol && row.buttonMask == 0) return false;
    std::lock_guard<std::mutex> lock(g_displayMutex);
    if (!g_displayTried) {
        g_displayTried = true;
        g_display = XOpenDisplay(nullptr);
    }
    if (!g_display) return false;
    if (row.buttonMask != 0) {
        Window root, child;
        int rx, ry, wx, wy;
        unsigned int mask = 0;
        XQueryPointer(g_display, DefaultRootWindow(g_display), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return (mask & row.buttonMask) != 0;
    }
    char keys[32];
    XQueryKeymap(g_display, keys);
    return SymbolDown(g_display, keys, row.sym) || SymbolDown(g_display, keys, row.sym2);
}

}  // namespace

void NoteKeyPressed(int vk) {
    if (vk > 0 && vk < 256) g_pressed[vk] = true;  // 0 is "no key"
}

void NoteInputMessage(uint32_t message, uintptr_t wParam) {
    switch (message) {
    case kWmKeyDown:
    case kWmSysKeyDown:
        NoteKeyPressed(static_cast<int>(wParam));
        break;
    case kWmLButtonDown:
    case kWmLButtonDblClk:
        NoteKeyPressed(0x01);
        break;
    case kWmRButtonDown:
    case kWmRButtonDblClk:
        NoteKeyPressed(0x02);
        break;
    case kWmMButtonDown:
    case kWmMButtonDblClk:
        NoteKeyPressed(0x04);
        break;
    default:
        break;
    }
}

bool QueryKeyState(int vk) {
    if (vk < 0 || vk > 255) return false;
    const bool pressed = g_pressed[vk].exchange(false);
    return DownNow(RowOf(vk)) || pressed;
}
