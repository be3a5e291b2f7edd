#include "engine/VRConfigListener.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/FileSystem.h"
#include "scene/VRScene.h"

namespace {

// float to int32 toward zero, with the x86 "integer indefinite" for what
// does not fit (a plain cast of such a value is undefined).
int32_t TruncateToInt32(float v) {
    if (!(v > -2147483649.0f && v < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void Copy3(float* to, const float* from) {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

}  // namespace

VRConfigMessage VRConfigMessage::Parse(const char* text) {
    VRConfigMessage m;
    const char* p = text;
    while (*p && *p != ',' && *p != ' ') ++p;
    m.name.assign(text, p);
    for (int i = 0; i < kNumbers && *p == ','; ++i) {
        ++p;
        while (std::isspace(static_cast<unsigned char>(*p))) ++p;
        char* end = nullptr;
        const float v = std::strtof(p, &end);
        if (end == p) break;
        m.numbers[i] = v;
        p = end;
    }
    return m;
}

TrackerSensorRecord VRConfigMessage::SensorRecord() const {
    TrackerSensorRecord r;
    const float* n = numbers;
    Copy3(r.position, n);
    Copy3(r.rotation, n + 3);
    r.joystick[0] = n[6];
    r.joystick[1] = n[7];
    r.buttons = TruncateToInt32(n[8]);
    r.quaternion[3] = n[9];
    Copy3(r.quaternion, n + 10);
    return r;
}

VRConfigListener::~VRConfigListener() { Stop(); }

template <class Change>
void VRConfigListener::UpdateStereo(Change change) {
    // The scene holds its mutex only for short parameter calls and frame
    // copies; a datagram that finds it held longer is dropped.
    if (!m_stereo || !m_stereoMutex || !m_stereoMutex->Lock(std::chrono::milliseconds(500))) return;
    change(*m_stereo);
    m_stereoMutex->Unlock();
}

bool VRConfigListener::Start() {
    if (Running()) return true;
    if (!m_receiver.Bind(m_port)) return false;
    m_stopping = false;
    m_thread = std::thread(VRConfigListenerThread, this);
    return true;
}

void VRConfigListener::Stop() {
    m_stopping = true;
    m_receiver.Wake();
    if (m_thread.joinable()) m_thread.join();
    m_receiver.Close();
}

void VRConfigListener::Apply(const VRConfigMessage& message) {
    const std::string& name = message.name;
    const float* n = message.numbers;
    const TrackerSensorRecord record = message.SensorRecord();
    auto writeSensor = [&](int sensor, TrackerFields fields) {
        if (m_trackerWriter) m_trackerWriter(sensor, fields, record);
    };

    if (SameIgnoringCase(name, "VR_EYE_SEPARATION")) {
        UpdateStereo([&](VRStereoSettings& v) {
            v.eyeSeparation = n[0];
            v.eyeOffsetY = n[1];
            v.eyeOffsetZ = n[2];
        });
    } else if (SameIgnoringCase(name, "VR_FOCAL_LENGHT")) {
        UpdateStereo([&](VRStereoSettings& v) { v.focalLength = n[0]; });
    } else if (SameIgnoringCase(name, "VR_SCREEN_SIZE")) {
        UpdateStereo([&](VRStereoSettings& v) {
            v.screenWidth = n[0];
            v.screenHeight = n[1];
        });
    } else if (SameIgnoringCase(name, "VR_TRACKER_POSITION")) {
        writeSensor(0, TrackerFields::Position);
        UpdateStereo([&](VRStereoSettings& v) {
            if (v.trackingMode == 1) Copy3(v.trackerPosition, n);
        });
    } else if (SameIgnoringCase(name, "VR_TRACKER_ORIENTATION")) {
        // The three numbers are the sensor's rotation.
        TrackerSensorRecord rotation;
        Copy3(rotation.rotation, n);
        if (m_trackerWriter) m_trackerWriter(0, TrackerFields::Rotation, rotation);
        UpdateStereo([&](VRStereoSettings& v) {
            if (v.trackingMode == 1) Copy3(v.trackerOrientation, n);
        });
    } else {
        for (int sensor = 0; sensor < 8; ++sensor) {
            if (!SameIgnoringCase(name, "VR_TRACKER_SENSOR_" + std::to_string(sensor))) continue;
            writeSensor(sensor, TrackerFields::Whole);
            if (sensor == 0) {
                UpdateStereo([&](VRStereoSettings& v) {
                    if (v.trackingMode != 1) return;
                    Copy3(v.trackerPosition, n);
                    Copy3(v.trackerOrientation, n + 3);
                });
            }
            break;
        }
    }
}

void VRConfigListenerThread(VRConfigListener* listener) {
    // One byte stays free, so the text always ends inside the buffer.
    std::vector<char> buffer(VRConfigListener::kBufferSize);
    while (!listener->m_stopping) {
        const long n = listener->m_receiver.Receive(buffer.data(), buffer.size() - 1);
        if (listener->m_stopping) break;
        if (n < 0) {
            // Not expected on a bound datagram socket; do not spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (n == 0) continue;
        buffer[static_cast<size_t>(n)] = '\0';
        listener->Apply(VRConfigMessage::Parse(buffer.data()));
    }
}
