#include "CVmBillboard.h"

#include "meshes/script/CVmMaterial.h"
#include "scene/script/CVmTexture.h"
#include "scene/script/SceneDrawCheck.h"
#include "vm/VirtualMachine.h"

bool CVmBillboard::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Draw", &CRegister::Draw);
    AddMethod("SetPosition", &CRegister::SetPosition);
    AddMethod("GetPosition", &CRegister::GetPosition);
    AddMethod("SetSize", &CRegister::SetSize);
    AddMethod("SetRotation", &CRegister::SetRotation);
    AddMethod("Rotate", &CRegister::Rotate);
    AddMethod("SetAviFrame", &CRegister::SetAviFrame);
    AddMethod("GetAviFrame", &CRegister::GetAviFrame);
    AddMethod("GetAviTotalFrame", &CRegister::GetAviTotalFrame);
    AddMethod("SetAviFlags", &CRegister::SetAviFlags);
    AddMethod("ResetAviFlags", &CRegister::ResetAviFlags);
    AddMethod("SetMaterial", &CRegister::SetMaterial);
    AddMethod("SetTexture", &CRegister::SetTexture);
    return true;
}

VRBillboard* CVmBillboard::CRegister::Target(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return &static_cast<CVmBillboard*>(object)->m_billboard;
}

void CVmBillboard::Make(CVmRegisterClass& call, bool sized) {
    const char* name = call.GetParamString(1, false);
    if (!sized) return call.ReturnObject(new CVmBillboard(name, 1, 1, 0, 0, 0));
    call.ReturnObject(new CVmBillboard(name, call.GetParamFloat(2, false), call.GetParamFloat(3, false),
                                       call.GetParamFloat(4, false), call.GetParamFloat(5, false),
                                       call.GetParamFloat(6, false)));
}

// CVmBillboard(texture name, width, height, x, y, z); with one argument or
// none 1 x 1 at the origin.
void CVmBillboard::CRegister::Create(CVmClassBase*, int) { Make(*this, ArgCount() > 1); }

void CVmBillboard::CRegister::Draw(CVmClassBase* object, int mode) {
    VRBillboard* b = Target(object, mode);
    if (!b || !RequireInScene()) return;
    b->Draw(GetParamInt(1, false), GetParamInt(2, false));
}

// A Vector (components it lacks are 0) or x, y, z.
void CVmBillboard::CRegister::SetPosition(CVmClassBase* object, int mode) {
    VRBillboard* b = Target(object, mode);
    if (!b) return;
    VmVectorParam v;
    if (ReadParam(1, v, false))
        b->SetPosition(v[0], v[1], v[2]);
    else
        b->SetPosition(GetParamFloat(1, false), GetParamFloat(2, false), GetParamFloat(3, false));
}

// Answers in every call mode.
void CVmBillboard::CRegister::GetPosition(CVmClassBase* object, int) {
    if (!object) return;
    float p[3];
    static_cast<CVmBillboard*>(object)->m_billboard.GetPosition(p);
    VmReturnVector(p, 3);
}

void CVmBillboard::CRegister::SetSize(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->SetSize(GetParamFloat(1, false), GetParamFloat(2, false));
}

void CVmBillboard::CRegister::SetRotation(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->SetRotation(GetParamFloat(1, false));
}

void CVmBillboard::CRegister::Rotate(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->Rotate(GetParamFloat(1, false));
}

void CVmBillboard::CRegister::SetAviFrame(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->SetAviFrame(GetParamInt(1, false));
}

void CVmBillboard::CRegister::GetAviFrame(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) VmReturnInteger(b->GetAviFrame());
}

void CVmBillboard::CRegister::GetAviTotalFrame(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) VmReturnInteger(b->GetAviTotalFrame());
}

void CVmBillboard::CRegister::SetAviFlags(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->SetAviFlags(GetParamInt(1, false));
}

void CVmBillboard::CRegister::ResetAviFlags(CVmClassBase* object, int mode) {
    if (VRBillboard* b = Target(object, mode)) b->ResetAviFlags();
}

void CVmBillboard::CRegister::SetMaterial(CVmClassBase* object, int mode) {
    VRBillboard* b = Target(object, mode);
    if (!b) return;
    CVmMaterial* material = nullptr;
    if (!ReadParam(1, material, false)) {
        VmErrorStream();
        return;
    }
    static_cast<CVmBillboard*>(object)->m_materialHolder.SetObject(material);
    b->SetMaterial(&material->Material());
}

// A texture object without a record (never loaded, or freed) is no texture.
void CVmBillboard::CRegister::SetTexture(CVmClassBase* object, int mode) {
    VRBillboard* b = Target(object, mode);
    if (!b) return;
    CVmTexture* texture = nullptr;
    if (!ReadParam(1, texture, false)) {
        VmErrorStream();
        return;
    }
    static_cast<CVmBillboard*>(object)->m_textureHolder.SetObject(texture);
    b->SetTexture(texture->Record());
}
