#include "state/TrackerSensor.h"

#include <algorithm>
#include <iterator>

namespace {

template <class T, size_t N>
void CopyArray(T (&to)[N], const T (&from)[N]) {
    std::copy(std::begin(from), std::end(from), to);
}

}  // namespace

TrackerSensorRecord TrackerRecords::Read(int sensor) const {
    if (!Valid(sensor)) return TrackerSensorRecord();
    std::lock_guard<std::mutex> lock(m_locks[sensor]);
    return m_records[sensor];
}

void TrackerRecords::Write(int sensor, TrackerFields fields, const TrackerSensorRecord& values) {
    if (!Valid(sensor)) return;
    std::lock_guard<std::mutex> lock(m_locks[sensor]);
    TrackerSensorRecord& r = m_records[sensor];
    switch (fields) {
    case TrackerFields::Position:
        CopyArray(r.position, values.position);
        break;
    case TrackerFields::Rotation:
        CopyArray(r.rotation, values.rotation);
        break;
    case TrackerFields::Quaternion:
        CopyArray(r.quaternion, values.quaternion);
        break;
    case TrackerFields::Joystick:
        CopyArray(r.joystick, values.joystick);
        break;
    case TrackerFields::Buttons:
        r.buttons = values.buttons;
        break;
    case TrackerFields::Whole:
        r = values;
        break;
    }
}
