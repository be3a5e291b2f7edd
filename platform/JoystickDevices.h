// Game controllers on the kernel's event devices, read through libevdev.
//
// The first 16 devices under /dev/input/event* that are game controllers (an
// absolute X axis and joystick or gamepad buttons), in the order of their
// event numbers, are controllers 0 to 15. A device is opened read-only and
// not blocking; it starts from the state the kernel reports at the open
// (axes, keys held), and each poll applies the events that wait.
//
// What a controller reports:
// - six axes X, Y, Z, R, U, V from ABS_X, ABS_Y, ABS_Z, ABS_RZ, ABS_RX and
//   ABS_RY, each with the device's minimum and maximum (0 and 0 for an axis
//   the device lacks);
// - buttons: the device's keys from BTN_JOYSTICK to BTN_THUMBR, then from
//   BTN_TRIGGER_HAPPY1 on, in code order; bit n of the mask for the n-th one
//   the device has (at most 32);
// - the point of view from the first hat (ABS_HAT0X, ABS_HAT0Y): hundredths
//   of a degree clockwise from up (0, 4500 ... 31500), or 65535 centred.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct libevdev;

enum JoystickAxis { kJoystickX, kJoystickY, kJoystickZ, kJoystickR, kJoystickU, kJoystickV, kJoystickAxisCount };

constexpr uint32_t kJoystickPovCentred = 65535;

struct JoystickRange {
    int32_t min = 0;
    int32_t max = 0;
};

struct JoystickCaps {
    JoystickRange axes[kJoystickAxisCount];
    uint32_t buttonCount = 0;  // the buttons the mask reports
};

struct JoystickPosition {
    int32_t axes[kJoystickAxisCount] = {};
    uint32_t buttons = 0;       // bit n: the n-th button is held
    uint32_t buttonsHeld = 0;   // how many are held
    uint32_t pov = kJoystickPovCentred;
};

// The point of view of a hat's two axes (negative x left, negative y up).
uint32_t JoystickPovFromHat(int32_t x, int32_t y);

// One controller: the state that libevdev keeps for it, brought up to date
// by each poll. The device is made from a libevdev record, which it owns.
class JoystickDevice {
public:
    explicit JoystickDevice(libevdev* device);
    virtual ~JoystickDevice();
    JoystickDevice(const JoystickDevice&) = delete;
    JoystickDevice& operator=(const JoystickDevice&) = delete;

    const JoystickCaps& Caps() const { return m_caps; }
    // Applies the events that wait and gives the state after them; false
    // when the device is gone (unplugged) or fails, with the position
    // untouched.
    bool Poll(JoystickPosition& position);
    // The state as it is, without reading events.
    JoystickPosition Position() const;

    // Whether the record describes a game controller.
    static bool IsGameController(const libevdev* device);

protected:
    // Brings the record's state up to date with what the device sent; false
    // when the device is gone. A record without a device has nothing to read.
    virtual bool ReadEvents() { return true; }
    libevdev* Record() const { return m_device; }

private:
    libevdev* m_device;
    JoystickCaps m_caps;
    std::vector<unsigned> m_buttonCodes;  // the n-th is button n
};

// Where controllers come from: the event devices of a folder.
class JoystickDevices {
public:
    static constexpr int kMaxDevices = 16;

    explicit JoystickDevices(std::string folder = "/dev/input") : m_folder(std::move(folder)) {}
    virtual ~JoystickDevices() = default;

    // Controller `id` (0 to 15), opened; null when there is no such
    // controller or its device cannot be opened (permissions).
    virtual std::unique_ptr<JoystickDevice> Open(int id);

    // The devices the engine reads; tests put others in their place (null:
    // back to /dev/input).
    static JoystickDevices& Shared();
    static void ReplaceShared(std::unique_ptr<JoystickDevices> devices);

private:
    std::string m_folder;
};
