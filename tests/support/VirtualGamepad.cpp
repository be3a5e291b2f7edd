#include "support/VirtualGamepad.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qemtest {

namespace {

struct AbsAxis {
    unsigned code;
    int min;
    int max;
};
constexpr AbsAxis kAxes[] = {{ABS_X, -100, 100}, {ABS_Y, 0, 255}, {ABS_Z, 0, 1024}, {ABS_HAT0X, -1, 1},
                             {ABS_HAT0Y, -1, 1}};

GamepadValues StartValues() {
    GamepadValues v;
    v[{EV_ABS, ABS_X}] = 100;
    v[{EV_ABS, ABS_Y}] = 0;
    v[{EV_ABS, ABS_Z}] = 256;
    v[{EV_ABS, ABS_HAT0X}] = 1;
    v[{EV_ABS, ABS_HAT0Y}] = 0;
    for (unsigned code = BTN_SOUTH; code <= BTN_THUMBR; ++code) v[{EV_KEY, code}] = code == BTN_NORTH;
    v[{EV_KEY, BTN_TRIGGER_HAPPY1}] = 0;
    return v;
}

}  // namespace

libevdev* NewGamepadRecord(const GamepadValues& values) {
    libevdev* d = libevdev_new();
    libevdev_set_name(d, "qem test gamepad");
    libevdev_enable_event_type(d, EV_ABS);
    libevdev_enable_event_type(d, EV_KEY);
    for (const AbsAxis& a : kAxes) {
        input_absinfo info{};
        info.minimum = a.min;
        info.maximum = a.max;
        libevdev_enable_event_code(d, EV_ABS, a.code, &info);
    }
    for (const auto& v : values) {
        if (v.first.first == EV_KEY) libevdev_enable_event_code(d, EV_KEY, v.first.second, nullptr);
    }
    for (const auto& v : values) libevdev_set_event_value(d, v.first.first, v.first.second, v.second);
    return d;
}

// The fake: controller 0 while plugged in; a poll copies the gamepad's
// values into the device's record, as the events would.
struct VirtualGamepad::Fake {
    GamepadValues* values;
    bool plugged = true;
};

namespace {

class FakeJoystick : public JoystickDevice {
public:
    explicit FakeJoystick(std::shared_ptr<VirtualGamepad::Fake> fake)
        : JoystickDevice(NewGamepadRecord(*fake->values)), m_fake(std::move(fake)) {}

protected:
    bool ReadEvents() override {
        if (!m_fake->plugged) return false;
        for (const auto& v : *m_fake->values) libevdev_set_event_value(Record(), v.first.first, v.first.second, v.second);
        return true;
    }

private:
    std::shared_ptr<VirtualGamepad::Fake> m_fake;
};

class FakeDevices : public JoystickDevices {
public:
    explicit FakeDevices(std::shared_ptr<VirtualGamepad::Fake> fake) : m_fake(std::move(fake)) {}
    std::unique_ptr<JoystickDevice> Open(int id) override {
        if (id != 0 || !m_fake->plugged) return nullptr;
        return std::make_unique<FakeJoystick>(m_fake);
    }

private:
    std::shared_ptr<VirtualGamepad::Fake> m_fake;
};

}  // namespace

VirtualGamepad::VirtualGamepad() : m_values(StartValues()) {
    if (CreateUinput()) {
        m_devices = &JoystickDevices::Shared();
        return;
    }
    m_fake = std::make_shared<Fake>();
    m_fake->values = &m_values;
    JoystickDevices::ReplaceShared(std::make_unique<FakeDevices>(m_fake));
    m_devices = &JoystickDevices::Shared();
}

VirtualGamepad::~VirtualGamepad() {
    if (m_uinput) libevdev_uinput_destroy(m_uinput);
    if (m_fake) JoystickDevices::ReplaceShared(nullptr);
}

bool VirtualGamepad::CreateUinput() {
    const int probe = ::open("/dev/uinput", O_RDWR | O_CLOEXEC);
    if (probe < 0) return false;
    ::close(probe);
    libevdev* record = NewGamepadRecord(m_values);
    const int rc = libevdev_uinput_create_from_device(record, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_uinput);
    libevdev_free(record);
    if (rc != 0) {
        m_uinput = nullptr;
        return false;
    }
    // The node comes from the device manager, a little later.
    const char* node = libevdev_uinput_get_devnode(m_uinput);
    for (int i = 0; i < 100 && node && ::access(node, R_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!node || ::access(node, R_OK) != 0) {
        libevdev_uinput_destroy(m_uinput);
        m_uinput = nullptr;
        return false;
    }
    // The kernel's state starts at 0: the start values arrive as events.
    for (const auto& v : m_values) libevdev_uinput_write_event(m_uinput, v.first.first, v.first.second, v.second);
    libevdev_uinput_write_event(m_uinput, EV_SYN, SYN_REPORT, 0);
    return true;
}

void VirtualGamepad::Set(unsigned type, unsigned code, int value) {
    m_values[{type, code}] = value;
    if (!m_uinput) return;
    libevdev_uinput_write_event(m_uinput, type, code, value);
    libevdev_uinput_write_event(m_uinput, EV_SYN, SYN_REPORT, 0);
}

void VirtualGamepad::Unplug() {
    if (m_fake) m_fake->plugged = false;
    if (m_uinput) {
        libevdev_uinput_destroy(m_uinput);
        m_uinput = nullptr;
    }
}

void VirtualGamepad::Plug() {
    if (m_fake) {
        m_fake->plugged = true;
        return;
    }
    CreateUinput();
}

JoystickDevices& VirtualGamepad::Devices() { return *m_devices; }

}  // namespace qemtest
