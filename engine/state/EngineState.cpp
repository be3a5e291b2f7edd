#include "engine/state/EngineState.h"

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
