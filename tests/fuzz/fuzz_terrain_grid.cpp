// Reads arbitrary bytes as a terrain's height grid file, then meshes and
// lights what was read (the lighting on one input in eight: it fills the
// whole shade map, which makes it the slow part).
#include <cstddef>
#include <cstdint>

#include "scene/EngineServices.h"
#include "scene/VRTerrain.h"

namespace {
int Quiet(const char*) { return 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        SetEngineErrorHandler(Quiet);
        SetEngineWarningHandler(Quiet);
        return true;
    }();
    (void)quiet;
    VRTerrain terrain;
    if (!terrain.ReadAsc(reinterpret_cast<const char*>(data), size, "fuzz.asc") || terrain.Empty()) return 0;
    const uint8_t last = size > 0 ? data[size - 1] : 0;
    terrain.SetRes(static_cast<float>(last % 16) / 4.0f);
    if ((last & 0xE0) == 0xE0) {
        float light[3] = {static_cast<float>(last % 3) - 1.0f, static_cast<float>(last % 5) - 2.0f, 1.0f};
        terrain.ComputeLighting(light);
    }
    return 0;
}
