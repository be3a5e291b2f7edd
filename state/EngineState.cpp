#include "state/EngineState.h"

#include "scene/VRScene.h"

EngineState* g_engineState = nullptr;
uint32_t g_engineVersion[4] = {0, 0, 0, 0};

int32_t SceneState::AllocLight() {
    for (int32_t light = 0; light < kPoolLights; ++light) {
        if (!lightInUse[light]) {
            lightInUse[light] = 1;
            return light;
        }
    }
    return -1;
}

void SceneState::FreeLight(int32_t light) {
    if (light < 0 || light >= kPoolLights) return;
    lightInUse[light] = 0;
    if (scene) scene->Disable(light);
}

namespace {

uint64_t ClampPeriod(int64_t us) {
    if (us < 0 || us > static_cast<int64_t>(TimingState::kMaxPeriod)) return TimingState::kMaxPeriod;
    if (us < static_cast<int64_t>(TimingState::kMinPeriod)) return TimingState::kMinPeriod;
    return static_cast<uint64_t>(us);
}

}  // namespace

void TimingState::SetFrameRate(int32_t fps) {
    if (fps == 0) return;
    framePeriod = ClampPeriod(1000000 / static_cast<int64_t>(fps));
}

void TimingState::SetTimeStep(int32_t ms) { timeStep = ClampPeriod(static_cast<int64_t>(ms) * 1000); }
