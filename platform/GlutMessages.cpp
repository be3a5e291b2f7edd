#include "GlutMessages.h"

#include <cstdlib>

#include "platform/Clock.h"

namespace {

// US set-1 scan codes of the printable characters and the control keys,
// with their virtual keys. One row per key; the shifted character shares it.
struct KeyRow {
    char plain;
    char shifted;
    int vk;
    int scan;
};

const KeyRow kCharKeys[] = {
    {'1', '!', 0x31, 0x02}, {'2', '@', 0x32, 0x03}, {'3', '#', 0x33, 0x04}, {'4', '$', 0x34, 0x05},
    {'5', '%', 0x35, 0x06}, {'6', '^', 0x36, 0x07}, {'7', '&', 0x37, 0x08}, {'8', '*', 0x38, 0x09},
    {'9', '(', 0x39, 0x0A}, {'0', ')', 0x30, 0x0B}, {'-', '_', 0xBD, 0x0C}, {'=', '+', 0xBB, 0x0D},
    {'q', 'Q', 0x51, 0x10}, {'w', 'W', 0x57, 0x11}, {'e', 'E', 0x45, 0x12}, {'r', 'R', 0x52, 0x13},
    {'t', 'T', 0x54, 0x14}, {'y', 'Y', 0x59, 0x15}, {'u', 'U', 0x55, 0x16}, {'i', 'I', 0x49, 0x17},
    {'o', 'O', 0x4F, 0x18}, {'p', 'P', 0x50, 0x19}, {'[', '{', 0xDB, 0x1A}, {']', '}', 0xDD, 0x1B},
    {'a', 'A', 0x41, 0x1E}, {'s', 'S', 0x53, 0x1F}, {'d', 'D', 0x44, 0x20}, {'f', 'F', 0x46, 0x21},
    {'g', 'G', 0x47, 0x22}, {'h', 'H', 0x48, 0x23}, {'j', 'J', 0x4A, 0x24}, {'k', 'K', 0x4B, 0x25},
    {'l', 'L', 0x4C, 0x26}, {';', ':', 0xBA, 0x27}, {'\'', '"', 0xDE, 0x28}, {'`', '~', 0xC0, 0x29},
    {'\\', '|', 0xDC, 0x2B}, {'z', 'Z', 0x5A, 0x2C}, {'x', 'X', 0x58, 0x2D}, {'c', 'C', 0x43, 0x2E},
    {'v', 'V', 0x56, 0x2F}, {'b', 'B', 0x42, 0x30}, {'n', 'N', 0x4E, 0x31}, {'m', 'M', 0x4D, 0x32},
    {',', '<', 0xBC, 0x33}, {'.', '>', 0xBE, 0x34}, {'/', '?', 0xBF, 0x35}, {' ', ' ', 0x20, 0x39},
    {'\b', '\b', 0x08, 0x0E}, {'\t', '\t', 0x09, 0x0F}, {'\r', '\r', 0x0D, 0x1C}, {27, 27, 0x1B, 0x01},
};

struct SpecialRow {
    int glutKey;
    int vk;
    int scan;
    bool extended;
};

// GLUT special keys: F1-F12 are 1-12, arrows 0x64-0x67, the editing keys
// 0x68-0x6F, the modifiers 0x70-0x77 (freeglut's numbering).
const SpecialRow kSpecialKeys[] = {
    {1, 0x70, 0x3B, false},    {2, 0x71, 0x3C, false},    {3, 0x72, 0x3D, false},    {4, 0x73, 0x3E, false},
    {5, 0x74, 0x3F, false},    {6, 0x75, 0x40, false},    {7, 0x76, 0x41, false},    {8, 0x77, 0x42, false},
    {9, 0x78, 0x43, false},    {10, 0x79, 0x44, false},   {11, 0x7A, 0x57, false},   {12, 0x7B, 0x58, false},
    {0x64, 0x25, 0x4B, true},  {0x65, 0x26, 0x48, true},  {0x66, 0x27, 0x4D, true},  {0x67, 0x28, 0x50, true},
    {0x68, 0x21, 0x49, true},  {0x69, 0x22, 0x51, true},  {0x6A, 0x24, 0x47, true},  {0x6B, 0x23, 0x4F, true},
    {0x6C, 0x2D, 0x52, true},  {0x6D, 0x90, 0x45, false},  {0x6E, 0x0C, 0x4C, false},  {0x6F, 0x2E, 0x53, true},
    {0x70, 0x10, 0x2A, false}, {0x71, 0x10, 0x36, false}, {0x72, 0x11, 0x1D, false}, {0x73, 0x11, 0x1D, true},
    {0x74, 0x12, 0x38, false}, {0x75, 0x12, 0x38, true},  {0x76, 0x5B, 0x5B, true},  {0x77, 0x5C, 0x5C, true},
};

intptr_t KeyParam(int scan, bool extended, bool alt, bool wasDown, bool up) {
    uint32_t l = 1u | (static_cast<uint32_t>(scan & 0xFF) << 16);
    if (extended) l |= 1u << 24;
    if (alt) l |= 1u << 29;
    if (wasDown || up) l |= 1u << 30;
    if (up) l |= 1u << 31;
    return static_cast<intptr_t>(static_cast<int32_t>(l));
}

intptr_t PointParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(x))) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

}  // namespace

GlutMessageAdapter::GlutMessageAdapter(Sink sink, Clock clock)
    : m_sink(std::move(sink)), m_clock(clock ? clock : TickMilliseconds) {}

int GlutMessageAdapter::VirtualKeyOfChar(unsigned char c, int* scan, bool* extended) {
    if (extended) *extended = false;
    if (scan) *scan = 0;
    if (c == 127) {  // Delete
        if (scan) *scan = 0x53;
        if (extended) *extended = true;
        return 0x2E;
    }
    // Ctrl with a letter gives its control code.
    if (c >= 1 && c <= 26 && c != '\b' && c != '\t' && c != '\r') c = static_cast<unsigned char>('a' + c - 1);
    for (const KeyRow& row : kCharKeys) {
        if (c == static_cast<unsigned char>(row.plain) || c == static_cast<unsigned char>(row.shifted)) {
            if (scan) *scan = row.scan;
            return row.vk;
        }
    }
    return 0;  // bytes of 0xA0 and above have no key of their own
}

int GlutMessageAdapter::VirtualKeyOfSpecial(int key, int* scan, bool* extended) {
    for (const SpecialRow& row : kSpecialKeys) {
        if (row.glutKey == key) {
            if (scan) *scan = row.scan;
            if (extended) *extended = row.extended;
            return row.vk;
        }
    }
    if (scan) *scan = 0;
    if (extended) *extended = false;
    return 0;
}

void GlutMessageAdapter::SyncModifiers(int modifiers) {
    m_down[kVkShift] = (modifiers & kGlutShift) != 0;
    m_down[kVkControl] = (modifiers & kGlutCtrl) != 0;
    m_down[kVkMenu] = (modifiers & kGlutAlt) != 0;
}

void GlutMessageAdapter::Key(int vk, int scan, bool extended, bool down, bool alt, int charCode) {
    const bool wasDown = KeyDown(vk);
    if (down) {
        const bool sys = alt || vk == kVkMenu || vk == 0x79;  // Alt held, Alt itself, F10
        m_sink(sys ? kWmSysKeyDown : kWmKeyDown, static_cast<uintptr_t>(vk), KeyParam(scan, extended, alt, wasDown, false));
        if (vk >= 0 && vk < 256) m_down[vk] = true;
        if (charCode >= 0)
            m_sink(sys ? kWmSysChar : kWmChar, static_cast<uintptr_t>(charCode),
                   KeyParam(scan, extended, alt, wasDown, false));
    } else {
        if (vk >= 0 && vk < 256) m_down[vk] = false;
        m_sink(alt ? kWmSysKeyUp : kWmKeyUp, static_cast<uintptr_t>(vk), KeyParam(scan, extended, alt, true, true));
    }
}

void GlutMessageAdapter::Keyboard(unsigned char key, int modifiers, bool down) {
    SyncModifiers(modifiers);
    int scan = 0;
    bool extended = false;
    const int vk = VirtualKeyOfChar(key, &scan, &extended);
    const bool alt = (modifiers & kGlutAlt) != 0;
    Key(vk, scan, extended, down, alt, key == 127 ? -1 : key);
}

void GlutMessageAdapter::Special(int key, int modifiers, bool down) {
    SyncModifiers(modifiers);
    int scan = 0;
    bool extended = false;
    const int vk = VirtualKeyOfSpecial(key, &scan, &extended);
    if (vk == 0) return;
    const bool alt = (modifiers & kGlutAlt) != 0;
    // A modifier key's own state follows its press, not the modifiers GLUT
    // reports with it.
    if (vk == kVkShift || vk == kVkControl || vk == kVkMenu) m_down[vk] = !down;
    Key(vk, scan, extended, down, alt, -1);
}

void GlutMessageAdapter::Mouse(int button, int state, int x, int y, int modifiers) {
    SyncModifiers(modifiers);
    uint32_t flag;
    uint32_t downMessage;
    switch (button) {
    case 0:
        flag = kMkLButton;
        downMessage = kWmLButtonDown;
        break;
    case 1:
        flag = kMkMButton;
        downMessage = kWmMButtonDown;
        break;
    case 2:
        flag = kMkRButton;
        downMessage = kWmRButtonDown;
        break;
    default:
        return;
    }
    const bool down = state == 0;
    if (down)
        m_buttons |= flag;
    else
        m_buttons &= ~flag;
    uint32_t w = m_buttons;
    if (modifiers & kGlutShift) w |= kMkShift;
    if (modifiers & kGlutCtrl) w |= kMkControl;
    // Up is the down message + 1, the double click + 2.
    const uint32_t message = !down ? downMessage + 1 : SecondPress(button, x, y) ? downMessage + 2 : downMessage;
    m_sink(message, w, PointParam(x, y));
}

bool GlutMessageAdapter::SecondPress(int button, int x, int y) {
    const uint32_t now = m_clock();
    const Press& first = m_firstPress;
    const bool second = first.button == button && now - first.time <= kDoubleClickTime &&
                        std::abs(x - first.x) <= kDoubleClickDistance && std::abs(y - first.y) <= kDoubleClickDistance;
    m_firstPress = second ? Press() : Press{button, now, x, y};
    return second;
}

void GlutMessageAdapter::Wheel(int direction, int x, int y, int modifiers, int windowX, int windowY) {
    SyncModifiers(modifiers);
    uint32_t w = m_buttons;
    if (modifiers & kGlutShift) w |= kMkShift;
    if (modifiers & kGlutCtrl) w |= kMkControl;
    const int16_t delta = static_cast<int16_t>(direction > 0 ? 120 : -120);
    w |= static_cast<uint32_t>(static_cast<uint16_t>(delta)) << 16;
    m_sink(kWmMouseWheel, w, PointParam(x + windowX, y + windowY));
}

void GlutMessageAdapter::Motion(int x, int y) {
    uint32_t w = m_buttons;
    if (m_down[kVkShift]) w |= kMkShift;
    if (m_down[kVkControl]) w |= kMkControl;
    m_sink(kWmMouseMove, w, PointParam(x, y));
}

void GlutMessageAdapter::Reshape() { m_sink(kWmWindowPosChanged, 0, 0); }

void GlutMessageAdapter::Position() { m_sink(kWmWindowPosChanged, 0, 0); }

void GlutMessageAdapter::Focus(bool has) { m_sink(has ? kWmSetFocus : kWmKillFocus, 0, 0); }

void GlutMessageAdapter::Close() { m_sink(kWmClose, 0, 0); }
