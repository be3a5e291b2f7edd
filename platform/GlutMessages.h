// Turns GLUT's input callbacks into the window messages the engine handles:
// WM_KEYDOWN/WM_CHAR/WM_KEYUP (and the WM_SYS forms with Alt) with virtual
// key codes and lParam bits of a US keyboard, the mouse messages with MK_
// flags, the wheel, WM_WINDOWPOSCHANGED, focus and close. The translation is
// pure: a sink receives the messages, in order.
//
// GLUT reports no double clicks: a second press of a button within 500 ms
// and 4 pixels of its first press becomes the button's double-click message
// in place of its down message (down, up, double click, up); the press
// after a double click starts a new pair.
#pragma once

#include <cstdint>
#include <functional>

enum WindowMessageId : uint32_t {
    kWmSetFocus = 7,
    kWmKillFocus = 8,
    kWmClose = 16,
    kWmEraseBackground = 20,
    kWmWindowPosChanged = 71,
    kWmKeyDown = 256,
    kWmKeyUp = 257,
    kWmChar = 258,
    kWmSysKeyDown = 260,
    kWmSysKeyUp = 261,
    kWmSysChar = 262,
    kWmMouseMove = 512,
    kWmLButtonDown = 513,
    kWmLButtonUp = 514,
    kWmLButtonDblClk = 515,
    kWmRButtonDown = 516,
    kWmRButtonUp = 517,
    kWmRButtonDblClk = 518,
    kWmMButtonDown = 519,
    kWmMButtonUp = 520,
    kWmMButtonDblClk = 521,
    kWmMouseWheel = 522,
    kWmMouseLeave = 675,
    kMmMciNotify = 953,  // a media device's notification, for the multimedia worker
};

enum MouseKeyFlags : uint32_t { kMkLButton = 0x1, kMkRButton = 0x2, kMkShift = 0x4, kMkControl = 0x8, kMkMButton = 0x10 };

enum VirtualKey : int { kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12, kVkF4 = 0x73, kVkF9 = 0x78 };

// GLUT's modifier bits, as glutGetModifiers gives them.
enum GlutModifiers : int { kGlutShift = 1, kGlutCtrl = 2, kGlutAlt = 4 };

class GlutMessageAdapter {
public:
    using Sink = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
    // Milliseconds, for the time between presses.
    using Clock = uint32_t (*)();

    static constexpr uint32_t kDoubleClickTime = 500;  // milliseconds
    static constexpr int kDoubleClickDistance = 4;     // pixels, on each axis

    // clock null: the system's millisecond clock.
    explicit GlutMessageAdapter(Sink sink, Clock clock = nullptr);

    void Keyboard(unsigned char key, int modifiers, bool down);
    void Special(int key, int modifiers, bool down);
    // GLUT buttons 0 left, 1 middle, 2 right; state 0 down, 1 up.
    void Mouse(int button, int state, int x, int y, int modifiers);
    // windowX/windowY: the window's origin on the screen (the wheel's lParam
    // holds screen coordinates).
    void Wheel(int direction, int x, int y, int modifiers, int windowX, int windowY);
    void Motion(int x, int y);
    void Reshape();
    void Position();
    void Focus(bool has);
    void Close();

    // Whether a virtual key is down (the key-state table).
    bool KeyDown(int vk) const { return vk >= 0 && vk < 256 && m_down[vk]; }
    uint32_t MouseFlags() const { return m_buttons; }

    // The virtual key and scan code of a character (US layout); 0 when none.
    static int VirtualKeyOfChar(unsigned char c, int* scan, bool* extended);
    // The virtual key of a GLUT special key; 0 when none.
    static int VirtualKeyOfSpecial(int key, int* scan, bool* extended);

private:
    void Key(int vk, int scan, bool extended, bool down, bool alt, int charCode);
    void SyncModifiers(int modifiers);

    // Whether a press of the button at (x, y) completes a double click.
    bool SecondPress(int button, int x, int y);

    Sink m_sink;
    Clock m_clock;
    bool m_down[256] = {};
    uint32_t m_buttons = 0;  // MK_ button flags held
    // The press that a double click would complete (button -1: none).
    struct Press {
        int button = -1;
        uint32_t time = 0;
        int x = 0, y = 0;
    } m_firstPress;
};
