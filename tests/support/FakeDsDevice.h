// A sound device for tests of the default sound back end: it records every
// call by name in a shared log and answers each call as its script says
// (kDsOk unless told otherwise). Buffers keep their values, bytes and a
// cursor, so reads give back what was set.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/DsDevice.h"

namespace qemtest {

struct FakeDsControl {
    // "Class.Call" (e.g. "Buffer.SetVolume", "Listener.CommitDeferredSettings",
    // "Device.CreateSoundBuffer") -> the answer of every such call.
    std::map<std::string, int32_t> answers;
    DsCaps caps;
    DsEaxCreateResult eaxCreateResult = kDsEaxLibraryMissing;
    uint32_t eaxSupport = kKsPropertySupportGet | kKsPropertySupportSet;
    // Buffers made from now on report themselves lost until restored.
    bool lose = false;
    // What the listener was last given.
    float listenerPosition[3] = {};
    float listenerOrientation[6] = {};
    // What a 3D buffer was last placed at.
    float sourcePosition[3] = {};

    std::vector<std::string> log;
    // Every buffer description the device was given, and the devices made.
    std::vector<DsBufferDesc> descriptions;
    int devicesMade = 0;
    int devicesAlive = 0;
    int buffersAlive = 0;

    int32_t Answer(const std::string& call) {
        log.push_back(call);
        const auto it = answers.find(call);
        return it == answers.end() ? kDsOk : it->second;
    }
    int Count(const std::string& call) const;
};

// A factory whose devices report to `control`.
DsDeviceFactory FakeDsDeviceFactory(const std::shared_ptr<FakeDsControl>& control);

}  // namespace qemtest
