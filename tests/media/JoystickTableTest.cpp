// The joystick table over a virtual gamepad (a uinput device where the
// kernel offers one, else a fake): the ids objects get, the record a poll
// fills, use counts, and a controller unplugged and plugged in again.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <climits>

#include "media/JoystickTable.h"
#include "support/VirtualGamepad.h"

using namespace qemtest;

TEST(JoystickTable, AxisValuesAreSignedAndFinite) {
    struct Row {
        int32_t position;
        JoystickRange range;
        float value;
    };
    const Row rows[] = {
        {100, {-100, 100}, 1.0f},        {-100, {-100, 100}, 0.0f},      {0, {-100, 100}, 0.5f},
        {-110, {-100, 100}, -0.05f},     {256, {0, 1024}, 0.25f},        {7, {5, 5}, 0.0f},
        {0, {0, 0}, 0.0f},               {INT32_MAX, {INT32_MIN, INT32_MAX}, 1.0f},
        {INT32_MIN, {INT32_MIN, INT32_MAX}, 0.0f}, {INT32_MIN, {0, 65535}, -32768.5f},
    };
    for (const Row& r : rows)
        EXPECT_FLOAT_EQ(JoystickAxisValue(r.position, r.range), r.value)
            << r.position << " in " << r.range.min << ".." << r.range.max;
}

TEST(JoystickTable, IdsCapabilitiesAndTheFirstRecord) {
    VirtualGamepad pad;
    JoystickTable table(&pad.Devices());
    JoystickCaps caps;
    EXPECT_EQ(table.Acquire(1, caps), -1);
    EXPECT_EQ(table.Acquire(16, caps), -1);
    EXPECT_EQ(table.Acquire(20, caps), -1);
    EXPECT_EQ(table.UseCount(0), 0);
    EXPECT_EQ(table.Polled(0), nullptr);

    ASSERT_EQ(table.Acquire(-1, caps), 0) << (pad.IsUinput() ? "uinput" : "fake");
    EXPECT_EQ(caps.axes[kJoystickX].min, -100);
    EXPECT_EQ(caps.axes[kJoystickX].max, 100);
    EXPECT_EQ(caps.axes[kJoystickZ].max, 1024);
    EXPECT_EQ(caps.axes[kJoystickV].max, 0);
    EXPECT_EQ(caps.buttonCount, 16u);
    const JoystickRecord* r = table.Polled(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->size, 52u);
    EXPECT_EQ(r->flags, 0xFFu);
    EXPECT_EQ(r->axes[kJoystickX], 100);
    EXPECT_EQ(r->axes[kJoystickY], 0);
    EXPECT_EQ(r->axes[kJoystickZ], 256);
    EXPECT_EQ(r->buttons, 8u);
    EXPECT_EQ(r->buttonNumber, 1u);
    EXPECT_EQ(r->pov, 9000u);
    EXPECT_EQ(table.UseCount(0), 1);
    EXPECT_EQ(table.Acquire(0, caps), 0);
    EXPECT_EQ(table.UseCount(0), 2);
}

TEST(JoystickTable, PolledWhileAnObjectHoldsTheId) {
    VirtualGamepad pad;
    JoystickTable table(&pad.Devices());
    JoystickCaps caps;
    ASSERT_EQ(table.Acquire(0, caps), 0);
    ASSERT_EQ(table.Acquire(-1, caps), 0);
    table.Release(0);
    pad.Set(EV_ABS, ABS_X, -40);
    pad.Set(EV_KEY, BTN_TRIGGER_HAPPY1, 1);
    table.PollAll();
    ASSERT_NE(table.Polled(0), nullptr);
    EXPECT_EQ(table.Polled(0)->axes[kJoystickX], -40);
    EXPECT_EQ(table.Polled(0)->buttons, 0x8008u);  // bit 15: the 16th button

    table.Release(0);
    EXPECT_EQ(table.UseCount(0), 0);
    EXPECT_EQ(table.Polled(0), nullptr);  // closed with its last object
    table.Release(0);
    table.Release(-1);
    table.Release(16);
    EXPECT_EQ(table.UseCount(0), 0);
}

TEST(JoystickTable, UnpluggedControllerReadsNothingUntilANewObjectFindsIt) {
    VirtualGamepad pad;
    JoystickTable table(&pad.Devices());
    JoystickCaps caps;
    ASSERT_EQ(table.Acquire(-1, caps), 0);
    pad.Unplug();
    table.PollAll();
    EXPECT_EQ(table.Polled(0), nullptr);
    EXPECT_EQ(table.UseCount(0), 1);  // the object still holds it
    table.PollAll();
    EXPECT_EQ(table.Acquire(-1, caps), -1);
    EXPECT_EQ(table.Acquire(0, caps), -1);

    pad.Plug();
    pad.Set(EV_ABS, ABS_Y, 255);
    ASSERT_EQ(table.Acquire(0, caps), 0);
    EXPECT_EQ(table.UseCount(0), 2);
    ASSERT_NE(table.Polled(0), nullptr);
    EXPECT_EQ(table.Polled(0)->axes[kJoystickY], 255);
    for (int i = 0; i < 3; ++i) table.Release(0);
    EXPECT_EQ(table.UseCount(0), 0);
}
