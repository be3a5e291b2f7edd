// One tracker sensor's record, as the VR-configuration listener fills it
// from the network and the script's tracker functions read and write it.
#pragma once

#include <cstdint>
#include <mutex>

struct TrackerSensorRecord {
    float position[3] = {0.0f, 0.0f, 1.0f};
    float rotation[3] = {0.0f, 0.0f, 0.0f};
    float quaternion[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z, w
    float joystick[2] = {0.0f, 0.0f};
    int32_t buttons = 0;
};

// Which fields of a record a write changes.
enum class TrackerFields { Position, Rotation, Quaternion, Joystick, Buttons, Whole };

// The machine's tracker records: 10 sensors (0 to 9).
constexpr int kTrackerSensors = 10;

// The records, each read and written whole under its own lock: the listener
// thread writes them while scripts read them, and a reader never sees a
// record half written.
class TrackerRecords {
public:
    static bool Valid(int sensor) { return sensor >= 0 && sensor < kTrackerSensors; }

    // A copy of the sensor's record (the defaults for a number outside 0..9).
    TrackerSensorRecord Read(int sensor) const;
    // Copies the fields from `values` into the sensor's record; nothing for a
    // number outside 0..9.
    void Write(int sensor, TrackerFields fields, const TrackerSensorRecord& values);

private:
    mutable std::mutex m_locks[kTrackerSensors];
    TrackerSensorRecord m_records[kTrackerSensors];
};
