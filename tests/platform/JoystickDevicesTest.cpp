// Game controllers as the kernel's event devices describe them: which
// devices are controllers, their axis ranges, the order of their buttons and
// the hat's point of view, read from libevdev records made in the test; and
// folders without a controller.
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/JoystickDevices.h"
#include "support/ScratchFolder.h"

using namespace qemtest;

namespace {

struct Abs {
    unsigned code;
    int min, max, value;
};

// A record with the axes and keys (keys held when listed in `held`).
libevdev* Record(std::initializer_list<Abs> axes, const std::vector<unsigned>& keys,
                 const std::vector<unsigned>& held = {}) {
    libevdev* d = libevdev_new();
    for (const Abs& a : axes) {
        input_absinfo info{};
        info.minimum = a.min;
        info.maximum = a.max;
        libevdev_enable_event_code(d, EV_ABS, a.code, &info);
        libevdev_set_event_value(d, EV_ABS, a.code, a.value);
    }
    for (unsigned k : keys) libevdev_enable_event_code(d, EV_KEY, k, nullptr);
    for (unsigned k : held) libevdev_set_event_value(d, EV_KEY, k, 1);
    return d;
}

bool IsController(std::initializer_list<Abs> axes, const std::vector<unsigned>& keys) {
    libevdev* d = Record(axes, keys);
    const bool yes = JoystickDevice::IsGameController(d);
    libevdev_free(d);
    return yes;
}

}  // namespace

TEST(JoystickDevices, PovFromHatClockwiseFromUp) {
    struct Row {
        int x, y;
        uint32_t pov;
    };
    const Row rows[] = {{0, -1, 0},     {1, -1, 4500},   {1, 0, 9000},   {1, 1, 13500},
                        {0, 1, 18000},  {-1, 1, 22500},  {-1, 0, 27000}, {-1, -1, 31500},
                        {0, 0, 65535},  {7, 0, 9000},    {0, -127, 0},   {-32768, 32767, 22500}};
    for (const Row& r : rows) EXPECT_EQ(JoystickPovFromHat(r.x, r.y), r.pov) << r.x << "," << r.y;
}

TEST(JoystickDevices, GameControllersHaveAnAbsoluteXAndJoystickOrGamepadButtons) {
    const Abs x{ABS_X, 0, 255, 0};
    EXPECT_TRUE(IsController({x}, {BTN_SOUTH}));
    EXPECT_TRUE(IsController({x}, {BTN_TRIGGER}));
    EXPECT_TRUE(IsController({x}, {BTN_THUMBR}));
    EXPECT_FALSE(IsController({x}, {}));
    EXPECT_FALSE(IsController({}, {BTN_SOUTH}));
    EXPECT_FALSE(IsController({{ABS_Y, 0, 255, 0}}, {BTN_SOUTH}));
    EXPECT_FALSE(IsController({x}, {BTN_LEFT, BTN_TOUCH}));  // a tablet or a touch screen
    EXPECT_FALSE(IsController({x}, {BTN_TRIGGER_HAPPY1}));
}

TEST(JoystickDevices, AxesButtonsAndHatOfARecord) {
    // X, Y, Z, R (ABS_RZ), U (ABS_RX); no V (ABS_RY), no hat. Keys out of
    // order and a keyboard key among them.
    JoystickDevice device(Record({{ABS_RZ, -5, 5, -5},
                                  {ABS_X, -32768, 32767, 1000},
                                  {ABS_Y, 0, 255, 255},
                                  {ABS_Z, 0, 0, 0},
                                  {ABS_RX, 10, 20, 15}},
                                 {BTN_TRIGGER_HAPPY3, KEY_A, BTN_THUMB, BTN_TRIGGER_HAPPY1, BTN_TRIGGER},
                                 {BTN_THUMB, BTN_TRIGGER_HAPPY3, KEY_A}));
    const JoystickCaps& caps = device.Caps();
    const int32_t ranges[kJoystickAxisCount][2] = {{-32768, 32767}, {0, 255}, {0, 0}, {-5, 5}, {10, 20}, {0, 0}};
    for (int a = 0; a < kJoystickAxisCount; ++a) {
        EXPECT_EQ(caps.axes[a].min, ranges[a][0]) << a;
        EXPECT_EQ(caps.axes[a].max, ranges[a][1]) << a;
    }
    EXPECT_EQ(caps.buttonCount, 4u);  // TRIGGER, THUMB, HAPPY1, HAPPY3

    JoystickPosition p;
    ASSERT_TRUE(device.Poll(p));
    const int32_t axes[kJoystickAxisCount] = {1000, 255, 0, -5, 15, 0};
    for (int a = 0; a < kJoystickAxisCount; ++a) EXPECT_EQ(p.axes[a], axes[a]) << a;
    EXPECT_EQ(p.buttons, 0b1010u);
    EXPECT_EQ(p.buttonsHeld, 2u);
    EXPECT_EQ(p.pov, kJoystickPovCentred);
}

TEST(JoystickDevices, AtMost32ButtonsAndTheHatPov) {
    std::vector<unsigned> keys;
    for (unsigned k = BTN_TRIGGER; k <= BTN_THUMBR; ++k) keys.push_back(k);              // 31
    for (unsigned k = BTN_TRIGGER_HAPPY1; k <= BTN_TRIGGER_HAPPY40; ++k) keys.push_back(k);  // 40
    const unsigned last = BTN_TRIGGER_HAPPY1;                                             // the 32nd
    JoystickDevice device(Record({{ABS_X, 0, 1, 0}, {ABS_HAT0X, -1, 1, -1}, {ABS_HAT0Y, -1, 1, 1}}, keys,
                                 {BTN_TRIGGER, last, BTN_TRIGGER_HAPPY2}));
    EXPECT_EQ(device.Caps().buttonCount, 32u);
    const JoystickPosition p = device.Position();
    EXPECT_EQ(p.buttons, 0x80000001u);
    EXPECT_EQ(p.buttonsHeld, 2u);
    EXPECT_EQ(p.pov, 22500u);
}

TEST(JoystickDevices, FoldersWithoutControllers) {
    ScratchFolder scratch;
    for (const char* name : {"event0", "event1x", "event", "mouse0"}) std::ofstream(scratch.Path() + name) << "x";
    for (const std::string& folder : {scratch.Path(), scratch.Path() + "missing"}) {
        JoystickDevices devices(folder);
        for (int id : {-1, 0, 1, 15, 16}) EXPECT_EQ(devices.Open(id), nullptr) << folder << " " << id;
    }
}
