// The mouse as a device of its own: raw relative movement and the pointer's
// buttons, read through XInput 2.
//
// All devices share one display connection of their own, which selects raw
// motion (XI_RawMotion) on the root window for every master device. Raw
// motion is the pointing devices' movement before acceleration, so it goes
// on past the screen's edges, and the pointer's warps (a script re-centring
// the cursor) make none. A poll of any device drains the connection and adds
// the movement to every device, so each device sees all movement from its
// creation on and reading one never resets another.
//
// A lost connection fails the poll (the devices keep what they had); the
// next poll opens a new connection.
#pragma once

#include <cstdint>

class RawMouse {
public:
    // The button flags: left, right and middle.
    static constexpr uint32_t kLeft = 0x1, kRight = 0x2, kMiddle = 0x10;

    // Registers the device with the shared connection, which opens when no
    // device had it open. Without a display or XInput 2 the device is not
    // opened and reads nothing.
    RawMouse();
    ~RawMouse();
    RawMouse(const RawMouse&) = delete;
    RawMouse& operator=(const RawMouse&) = delete;

    bool Opened() const { return m_opened; }

    // Drains the connection into every device's movement and reads the
    // pointer's buttons; false (nothing changed) without a device or when
    // the connection failed.
    bool Poll();
    // The movement on one axis since it was last taken (whole pixels; a
    // fraction waits for the next take), reset to 0.
    int32_t TakeX();
    int32_t TakeY();
    // The buttons at the last successful poll.
    uint32_t Buttons() const { return m_buttons; }

    // The shared connection's socket, -1 while it is closed (tests cut it).
    static int ConnectionSocket();

private:
    friend struct RawMouseConnection;

    bool m_opened = false;
    double m_x = 0, m_y = 0;
    uint32_t m_buttons = 0;
};
