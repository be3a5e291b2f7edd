// A game controller for tests: a uinput device where /dev/uinput opens and
// its node appears, else a fake behind JoystickDevices. Either way it is
// controller 0 of Devices(), and the fake is also the engine's (shared)
// devices while it lives.
//
// It starts as: X on -100..100 at 100, Y on 0..255 at 0, Z on 0..1024 at 256,
// the hat right, and 16 buttons (BTN_SOUTH to BTN_THUMBR, then
// BTN_TRIGGER_HAPPY1) of which the fourth, BTN_NORTH, is held.
#pragma once

#include <map>
#include <memory>
#include <utility>

#include "platform/JoystickDevices.h"

struct libevdev;
struct libevdev_uinput;

namespace qemtest {

// The gamepad's codes with their values, by (type, code).
using GamepadValues = std::map<std::pair<unsigned, unsigned>, int>;

// A libevdev record of the gamepad holding the values (no device behind
// it); the caller frees it.
libevdev* NewGamepadRecord(const GamepadValues& values);

class VirtualGamepad {
public:
    VirtualGamepad();
    ~VirtualGamepad();
    VirtualGamepad(const VirtualGamepad&) = delete;
    VirtualGamepad& operator=(const VirtualGamepad&) = delete;

    bool IsUinput() const { return !m_fake; }
    // An event from the gamepad (followed by a report).
    void Set(unsigned type, unsigned code, int value);
    // Unplugging makes the next poll fail; plugging brings it back with the
    // values it had.
    void Unplug();
    void Plug();
    JoystickDevices& Devices();

    struct Fake;

private:
    bool CreateUinput();

    GamepadValues m_values;
    libevdev_uinput* m_uinput = nullptr;
    std::shared_ptr<Fake> m_fake;  // null for a uinput gamepad
    JoystickDevices* m_devices = nullptr;
};

}  // namespace qemtest
