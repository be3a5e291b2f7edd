// The default back end's process-wide state, shared by its two source files.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/AudioSettings.h"
#include "platform/DsDevice.h"

struct DSSlot {
    std::shared_ptr<DsBuffer> buffer;
    std::shared_ptr<Ds3DBuffer> buffer3D;       // 3D buffers
    std::shared_ptr<DsPropertySet> propertySet;  // 3D buffers while EAX is active
    uint32_t size = 0;
    std::string path;  // the loaded file, for refilling a lost buffer
    uint8_t loop = 0;
    int32_t type = 0;  // 0 unset, 1 plain, 2 3D
    uint8_t is3D = 0;
    int32_t rpm = 0;
    // As read right after loading.
    int32_t frequency = 0;
    int32_t volume = 0;
};

struct DSState {
    std::shared_ptr<DsDevice> device;
    std::shared_ptr<DsBuffer> primary;
    std::shared_ptr<DsListener> listener;
    // What the EAX start's probe made.
    std::shared_ptr<DsBuffer> probeBuffer;
    std::shared_ptr<Ds3DBuffer> probe3D;
    std::shared_ptr<DsPropertySet> probeSet;
    uint32_t placement = kDsbcapsLocHardware;  // of 3D buffers
    uint8_t eaxActive = 0;
    int32_t logFlag = 1;
    WaveFormat format;
    DSSettings settings;
    std::vector<DSSlot> slots;  // one per source while started
};

DSState& DS();

// A float as the int it truncates to; NaN gives 0 and values past the range
// stop at its ends.
inline int32_t DSTruncate(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}
