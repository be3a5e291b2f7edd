// Reads arbitrary bytes as a camera file, then asks every camera read for
// its frame count and scales its samples.
#include <cstdio>

#include "scene/VRCameraAnimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    VRCameraAnimation animation;
    animation.ReadFrom(f);
    std::fclose(f);
    for (int32_t n = 0; n < animation.cameraCount; ++n) {
        animation.Frames(n);
        float position[3];
        animation.positionTracks[n].GetBezierPosition(n, position);
    }
    animation.ScaleSamples(2, 0.5f, 3);
    return 0;
}
