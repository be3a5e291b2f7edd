// Runs arbitrary bytes as one VR-configuration datagram, the way the
// listener's thread takes it (at most the buffer less one byte, then a
// terminator), through the parse and into the stereo values and the
// tracker records.
#include <cstdint>
#include <string>

#include "engine/VRConfigListener.h"
#include "scene/VRScene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VRMutex mutex;
    static VRStereoSettings stereo;
    static VRConfigListener listener;
    static TrackerSensorRecord records[kTrackerSensors];
    static bool once = [] {
        listener.SetStereoTarget(&mutex, &stereo);
        listener.SetTrackerWriter([](int sensor, TrackerFields, const TrackerSensorRecord& r) {
            if (sensor < 0 || sensor >= kTrackerSensors) __builtin_trap();
            records[sensor] = r;
        });
        return true;
    }();
    (void)once;
    if (size > VRConfigListener::kBufferSize - 1) size = VRConfigListener::kBufferSize - 1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Alternate the tracking mode so that both paths of sensor 0 run.
    stereo.trackingMode = static_cast<int32_t>(size & 1);
    listener.Apply(VRConfigMessage::Parse(text.c_str()));
    return 0;
}
