#include "CVmMaterial.h"

#include <algorithm>

#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kNotAVectorMessage = 2040;

// The call modes a handler answers, a bit per mode.
constexpr int kMethod = 1 << VM_CALL_METHOD;
constexpr int kMember = 1 << VM_GET_MEMBER | 1 << VM_SET_MEMBER;

}  // namespace

bool CVmMaterial::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Ambient", &CRegister::Colour<&VRMaterial::ambient>);
    AddMethod("Diffuse", &CRegister::Colour<&VRMaterial::diffuse>);
    AddMethod("Specular", &CRegister::Colour<&VRMaterial::specular>);
    AddMethod("Emission", &CRegister::Colour<&VRMaterial::emission>);
    AddMethod("Shininess", &CRegister::Shininess);
    AddMethod("Transparency", &CRegister::Transparency);
    AddMethod("GetDList", &CRegister::GetDList);
    AddMethod("GetTextureName", &CRegister::GetTextureName);
    AddMethod("SetTexture", &CRegister::SetTexture);
    AddMethod("ChangeTextureParams", &CRegister::ChangeTextureParams);
    return true;
}

VRMaterial* CVmMaterial::CRegister::Edited(CVmClassBase* object, int mode, int modes) {
    if (!(modes & (1 << mode)) || !object) {
        VmErrorStream();
        return nullptr;
    }
    return &static_cast<CVmMaterial*>(object)->m_material;
}

void CVmMaterial::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CVmMaterial()); }

template <float (VRMaterial::*Colour)[4]>
void CVmMaterial::CRegister::Colour(CVmClassBase* object, int mode) {
    VRMaterial* m = Edited(object, mode, kMember);
    if (!m) return;
    float* colour = m->*Colour;
    if (mode == VM_GET_MEMBER) {
        VmReturnVector(colour, 4);
        return;
    }
    VmVectorParam v;
    if (!ReadParam(1, v, false)) {
        VmErrorMsg(kNotAVectorMessage);
        return;
    }
    float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::copy_n(v.Data(), std::min(v.Count(), 4), value);
    std::copy_n(value, 4, colour);
    m->InvalidateDisplayList();
}

VRMaterial* CVmMaterial::CRegister::RealMember(CVmClassBase* object, int mode, float VRMaterial::*field) {
    VRMaterial* m = Edited(object, mode, kMember);
    if (!m) return nullptr;
    if (mode == VM_GET_MEMBER) {
        VmReturnReal(m->*field);
        return nullptr;
    }
    float value;
    if (!ReadParams(value)) return nullptr;
    m->*field = value;
    m->InvalidateDisplayList();
    return m;
}

void CVmMaterial::CRegister::Shininess(CVmClassBase* object, int mode) {
    RealMember(object, mode, &VRMaterial::shininess);
}

void CVmMaterial::CRegister::Transparency(CVmClassBase* object, int mode) {
    // The value is the alpha of the four colours too.
    if (VRMaterial* m = RealMember(object, mode, &VRMaterial::transparency))
        for (float* colour : {m->ambient, m->diffuse, m->specular, m->emission}) colour[3] = m->transparency;
}

void CVmMaterial::CRegister::GetDList(CVmClassBase* object, int mode) {
    if (const VRMaterial* m = Edited(object, mode, kMethod)) VmReturnInteger(static_cast<int32_t>(m->displayList));
}

void CVmMaterial::CRegister::GetTextureName(CVmClassBase* object, int mode) {
    const VRMaterial* m = Edited(object, mode, kMethod);
    int32_t layer;
    if (!m || !ReadParams(layer)) return;
    const VRTexture* t = m->LayerTexture(layer);
    VmReturnString(t ? t->name : "");
}

void CVmMaterial::CRegister::SetTexture(CVmClassBase* object, int mode) {
    VRMaterial* m = Edited(object, mode, kMethod);
    int32_t layer;
    if (!m || !ReadParam(2, layer)) return;
    VRTexture* record = nullptr;
    CVmTexture* texture = nullptr;
    if (ReadParam(1, texture, false)) {
        static_cast<CVmMaterial*>(object)->m_textureHolder.SetObject(texture);
        record = texture->Record();
    }
    m->SetLayerTexture(layer, record);
    m->InvalidateDisplayList();
}

void CVmMaterial::CRegister::ChangeTextureParams(CVmClassBase* object, int mode) {
    // The list is marked whatever the call turns out to be.
    if (object) static_cast<CVmMaterial*>(object)->m_material.InvalidateDisplayList();
    VRMaterial* m = Edited(object, mode, kMethod);
    int32_t index;
    float value;
    bool secondLayer;
    if (!m || !ReadParams(index, value, secondLayer)) return;
    if (float* param = m->TextureParam(secondLayer ? 1 : 0, index)) *param = value;
}
