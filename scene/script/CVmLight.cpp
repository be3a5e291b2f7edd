#include "CVmLight.h"

#include <GL/gl.h>

#include "state/EngineState.h"
#include "scene/VRScene.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kNoScene = "The scene is not created yet.";
constexpr int32_t kNoLightLeft = 2018;

}  // namespace

CVmLight::~CVmLight() {
    // The pool goes with its machine: after that there is nothing to give
    // back.
    if (m_state && m_state == g_engineState) m_state->Scene().FreeLight(m_light);
}

bool CVmLight::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Enable", &CRegister::Enable);
    AddMethod("Disable", &CRegister::Disable);
    AddMethod("GetPosition", &CRegister::GetPosition);
    AddMethod("SetPosition", &CRegister::SetPosition);
    AddMethod("SetAmbient", &CRegister::SetAmbient);
    AddMethod("SetDiffuse", &CRegister::SetDiffuse);
    AddMethod("SetSpecular", &CRegister::SetSpecular);
    AddMethod("SetDirection", &CRegister::SetDirection);
    AddMethod("GetDirection", &CRegister::GetPosition);
    AddMethod("SetParameter", &CRegister::SetParameter);
    AddMethod("SetSpotDirection", &CRegister::SetSpotDirection);
    return true;
}

int32_t CVmLight::CRegister::LightOf(CVmClassBase* object, int mode) {
    if (mode != VM_CALL_METHOD || !object) {
        VmErrorStream();
        return -1;
    }
    if (!g_scene) {
        VmErrorStream() << kNoScene;
        return -1;
    }
    return static_cast<CVmLight*>(object)->m_light;
}

bool CVmLight::CRegister::ReadValues(float* v) {
    VmVectorParam vector;
    if (ReadParam(1, vector, false)) {
        for (int i = 0; i < 3; ++i) v[i] = vector[i];
        return true;
    }
    return ReadParams(v[0], v[1], v[2]);
}

CVmLight* CVmLight::FromPool() {
    EngineState* state = g_engineState;
    const int32_t light = state ? state->Scene().AllocLight() : -1;
    if (light < 0) {
        VmErrorMsg(kNoLightLeft);
        return nullptr;
    }
    return new CVmLight(state, light);
}

void CVmLight::CRegister::Create(CVmClassBase*, int) {
    if (CVmLight* light = FromPool()) ReturnObject(light);
}

void CVmLight::CRegister::Enable(CVmClassBase* object, int mode) {
    const int32_t light = LightOf(object, mode);
    if (light >= 0) g_scene->Enable(light);
}

void CVmLight::CRegister::Disable(CVmClassBase* object, int mode) {
    const int32_t light = LightOf(object, mode);
    if (light >= 0) g_scene->Disable(light);
}

void CVmLight::CRegister::GetPosition(CVmClassBase* object, int mode) {
    const int32_t light = LightOf(object, VM_CALL_METHOD);
    (void)mode;  // answered in every mode
    float p[3];
    if (light >= 0 && g_scene->GetLightPosition(light, p)) VmReturnVector(p, 3);
}

void CVmLight::CRegister::SetPlace(CVmClassBase* object, int mode, float w) {
    const int32_t light = LightOf(object, mode);
    float v[3];
    if (light >= 0 && ReadValues(v)) g_scene->SetLightPosition(light, v[0], v[1], v[2], w);
}

void CVmLight::CRegister::SetValues(CVmClassBase* object, int mode, uint32_t name) {
    const int32_t light = LightOf(object, mode);
    float v[3];
    if (light >= 0 && ReadValues(v)) g_scene->SetLightParameter(light, name, v[0], v[1], v[2]);
}

void CVmLight::CRegister::SetPosition(CVmClassBase* object, int mode) { SetPlace(object, mode, 1.0f); }

void CVmLight::CRegister::SetDirection(CVmClassBase* object, int mode) { SetPlace(object, mode, 0.0f); }

void CVmLight::CRegister::SetAmbient(CVmClassBase* object, int mode) { SetValues(object, mode, GL_AMBIENT); }

void CVmLight::CRegister::SetDiffuse(CVmClassBase* object, int mode) { SetValues(object, mode, GL_DIFFUSE); }

void CVmLight::CRegister::SetSpecular(CVmClassBase* object, int mode) { SetValues(object, mode, GL_SPECULAR); }

void CVmLight::CRegister::SetSpotDirection(CVmClassBase* object, int mode) {
    SetValues(object, mode, GL_SPOT_DIRECTION);
}

void CVmLight::CRegister::SetParameter(CVmClassBase* object, int mode) {
    const int32_t light = LightOf(object, mode);
    int32_t name;
    float value;
    if (light >= 0 && ReadParams(name, value)) g_scene->SetLightParameter(light, uint32_t(name), value, 0, 0);
}
