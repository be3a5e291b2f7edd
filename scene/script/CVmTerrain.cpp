#include "CVmTerrain.h"

#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"

namespace {

// A String parameter's text; empty when it is missing or of another type.
std::string TextOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

bool CVmTerrain::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("LoadAsc", &CRegister::LoadAsc);
    AddMethod("SetRes", &CRegister::SetRes);
    AddMethod("ComputeLighting", &CRegister::ComputeLighting);
    AddMethod("Draw", &CRegister::Draw);
    AddMethod("GetTextureShadow", &CRegister::GetTextureShadow);
    AddMethod("GetTextureHeight", &CRegister::GetTextureHeight);
    return true;
}

VRTerrain* CVmTerrain::CRegister::Target(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return &static_cast<CVmTerrain*>(object)->m_terrain;
}

void CVmTerrain::CRegister::Create(CVmClassBase*, int) {
    ReturnObject(new CVmTerrain(TextOrEmpty(GetParamString(1, false)), TextOrEmpty(GetParamString(2, false)),
                                TextOrEmpty(GetParamString(3, false))));
}

void CVmTerrain::CRegister::LoadAsc(CVmClassBase* object, int mode) {
    if (VRTerrain* t = Target(object, mode)) t->LoadAsc(TextOrEmpty(GetParamString(1, false)));
}

void CVmTerrain::CRegister::SetRes(CVmClassBase* object, int mode) {
    if (VRTerrain* t = Target(object, mode)) t->SetRes(GetParamFloat(1, false));
}

// A Vector is normalised where the script keeps it; three numbers are read
// as a direction of their own.
void CVmTerrain::CRegister::ComputeLighting(CVmClassBase* object, int mode) {
    VRTerrain* t = Target(object, mode);
    if (!t) return;
    VmVectorParam v;
    if (!ReadParam(1, v, false)) {
        float direction[3] = {GetParamFloat(1, false), GetParamFloat(2, false), GetParamFloat(3, false)};
        return t->ComputeLighting(direction);
    }
    // A Vector shorter than 3 has zeros after its end; only its own
    // components are written back.
    float direction[3] = {v[0], v[1], v[2]};
    t->ComputeLighting(direction);
    for (int32_t k = 0; k < 3 && k < v.Count(); ++k) v.Data()[k] = direction[k];
}

// Draw(texture [, second texture], flags 1, flags 2) draws the mesh; without
// a texture object first it draws the point cloud.
void CVmTerrain::CRegister::Draw(CVmClassBase* object, int mode) {
    VRTerrain* t = Target(object, mode);
    if (!t) return;
    CVmTexture* first = nullptr;
    CVmTexture* second = nullptr;
    const bool textured = ReadParam(1, first, false);
    ReadParam(2, second, false);
    const int32_t flags1 = GetParamInt(3, false), flags2 = GetParamInt(4, false);
    if (!textured) return t->DrawPoints(flags1);
    t->Draw(first->Record(), second ? second->Record() : nullptr, flags1, flags2);
}

void CVmTerrain::CRegister::GetTextureShadow(CVmClassBase* object, int mode) {
    if (VRTerrain* t = Target(object, mode)) ReturnObject(new CVmTexture(t->GetTextureShadow(GetParamString(1, false)), 0));
}

void CVmTerrain::CRegister::GetTextureHeight(CVmClassBase* object, int mode) {
    if (VRTerrain* t = Target(object, mode)) ReturnObject(new CVmTexture(t->GetTextureHeight(), 0));
}
