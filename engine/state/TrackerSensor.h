// One tracker sensor's record, as the VR-configuration listener fills it
// from the network and the script's tracker functions read and write it.
#pragma once

#include <cstdint>

struct TrackerSensorRecord {
    float position[3] = {0.0f, 0.0f, 1.0f};
    float rotation[3] = {0.0f, 0.0f, 0.0f};
    float quaternion[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z, w
    float joystick[2] = {0.0f, 0.0f};
    int32_t buttons = 0;
};

// Which fields of a record a write changes.
enum class TrackerFields { Position, Rotation, Whole };

// The machine's tracker records: 10 sensors (0 to 9).
constexpr int kTrackerSensors = 10;
