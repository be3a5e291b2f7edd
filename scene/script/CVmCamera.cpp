#include "CVmCamera.h"

#include <string>

#include "scene/VRScene.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kWrongCount = "Wrong number of parameters in function ";
const char* const kWrongParams = "Wrong parameters in function ";
const char* const kWrongParam = "Wrong parameter in function ";

void ReturnPoint(const float* p) { VmReturnVector(p, 3); }

}  // namespace

CVmCamera::CVmCamera() : m_camera(new VRCamera()), m_owns(true) {}

CVmCamera::CVmCamera(VRCamera* shown) : m_camera(shown), m_owns(false) {}

CVmCamera::~CVmCamera() {
    if (!m_owns) return;
    // The scene may be drawing with it: it takes its own slot back.
    if (g_scene) g_scene->ForgetCamera(m_camera);
    delete m_camera;
}

bool CVmCamera::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("GetFovY", &CRegister::GetFovY);
    AddMethod("GetZNear", &CRegister::GetZNear);
    AddMethod("GetZFar", &CRegister::GetZFar);
    AddMethod("SetFovY", &CRegister::SetFovY);
    AddMethod("SetZNear", &CRegister::SetZNear);
    AddMethod("SetZFar", &CRegister::SetZFar);
    AddMethod("GetMatrix", &CRegister::GetMatrix);
    AddMethod("SetMatrix", &CRegister::SetMatrix);
    AddMethod("GetRotationMatrix", &CRegister::GetRotationMatrix);
    AddMethod("SetRotationMatrix", &CRegister::SetRotationMatrix);
    AddMethod("GetRotationMatrix3", &CRegister::GetRotationMatrix3);
    AddMethod("SetRotationMatrix3", &CRegister::SetRotationMatrix3);
    AddMethod("GetPosition", &CRegister::GetPosition);
    AddMethod("SetPosition", &CRegister::SetPosition);
    AddMethod("SetPivotPoint", &CRegister::SetPivotPoint);
    AddMethod("GetId", &CRegister::GetId);
    AddMethod("GetXAxis", &CRegister::Axis<&VRCamera::GetXAxis>);
    AddMethod("GetYAxis", &CRegister::Axis<&VRCamera::GetYAxis>);
    AddMethod("GetZAxis", &CRegister::Axis<&VRCamera::GetZAxis>);
    AddMethod("GetDirection", &CRegister::Axis<&VRCamera::GetDirection>);
    AddMethod("SetDirection", &CRegister::SetDirection);
    AddMethod("GetUpVector", &CRegister::GetUpVector);
    AddMethod("SetUpVector", &CRegister::SetUpVector);
    AddMethod("SetId", &CRegister::SetId);
    AddMethod("GetTarget", &CRegister::GetTarget);
    AddMethod("SetTarget", &CRegister::SetTarget);
    AddMethod("Free", &CRegister::Free);
    AddMethod("SetRotation", &CRegister::SetRotation);
    AddMethod("RotateLocal", &CRegister::RotateLocal);
    AddMethod("RotateGlobal", &CRegister::RotateGlobal);
    return true;
}

// ---------------------------------------------------------------------------
// Parameter forms

VRCamera* CVmCamera::CRegister::Target(CVmClassBase* object, int mode) {
    if (mode != VM_CALL_METHOD || !object) return nullptr;
    return static_cast<CVmCamera*>(object)->m_camera;
}

void CVmCamera::CRegister::SetNumber(CVmClassBase* object, int mode, float VRCamera::*field, const char* name) {
    VRCamera* c = Target(object, mode);
    if (!c) return;
    float value;
    if (ArgCount() != 1) {
        VmErrorStream() << kWrongCount << name;
        return;
    }
    if (!ReadParams(value)) return;
    c->*field = value;
    ReturnObject(object);
}

bool CVmCamera::CRegister::ReadMatrix(int32_t n, float* values, const char* name) {
    if (ArgCount() != 1) return false;
    VmVectorParam v;
    if (!ReadParam(1, v, false) || v.Count() < n) {
        VmErrorStream() << kWrongParam << name;
        return false;
    }
    for (int32_t i = 0; i < n; ++i) values[i] = v[i];
    return true;
}

bool CVmCamera::CRegister::ReadPoint(float* point, const char* name) {
    if (ArgCount() == 1) {
        VmVectorParam v;
        if (!ReadParam(1, v, false)) return false;
        if (v.Count() < 3) {
            VmErrorStream() << kWrongParam << name;
            return false;
        }
        for (int i = 0; i < 3; ++i) point[i] = v[i];
        return true;
    }
    if (ArgCount() != 3) {
        VmErrorStream() << kWrongParams << name;
        return false;
    }
    return ReadParams(point[0], point[1], point[2]);
}

bool CVmCamera::CRegister::ReadAngleAxis(float& angle, float* axis, const char* name) {
    if (ArgCount() == 2) {
        VmVectorParam v;
        if (!ReadParam(2, v, false)) {
            VmErrorStream() << kWrongParams << name;
            return false;
        }
        if (v.Count() < 3) {
            VmErrorStream() << kWrongParam << name;
            return false;
        }
        for (int i = 0; i < 3; ++i) axis[i] = v[i];
        return ReadParams(angle);
    }
    if (ArgCount() != 4) {
        VmErrorStream() << kWrongParams << name;
        return false;
    }
    return ReadParams(angle, axis[0], axis[1], axis[2]);
}

// ---------------------------------------------------------------------------
// Handlers

void CVmCamera::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CVmCamera()); }

void CVmCamera::CRegister::GetFovY(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) VmReturnReal(c->fovy);
}

void CVmCamera::CRegister::GetZNear(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) VmReturnReal(c->zNear);
}

void CVmCamera::CRegister::GetZFar(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) VmReturnReal(c->zFar);
}

void CVmCamera::CRegister::SetFovY(CVmClassBase* object, int mode) {
    SetNumber(object, mode, &VRCamera::fovy, "SetFovY");
}

void CVmCamera::CRegister::SetZNear(CVmClassBase* object, int mode) {
    SetNumber(object, mode, &VRCamera::zNear, "SetZNear");
}

void CVmCamera::CRegister::SetZFar(CVmClassBase* object, int mode) {
    SetNumber(object, mode, &VRCamera::zFar, "SetZFar");
}

void CVmCamera::CRegister::GetMatrix(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    if (!c) return;
    float m[16];
    c->GetMatrix(m);
    VmReturnVector(m, 16);
}

void CVmCamera::CRegister::SetMatrix(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float m[16];
    if (!c || !ReadMatrix(16, m, "SetMatrix")) return;
    c->SetMatrix(m);
    ReturnObject(object);
}

void CVmCamera::CRegister::GetRotationMatrix(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) VmReturnVector(c->matrix, 16);
}

void CVmCamera::CRegister::SetRotationMatrix(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float m[16];
    if (!c || !ReadMatrix(16, m, "SetRotationMatrix")) return;
    c->SetRotationMatrix(m);
    ReturnObject(object);
}

void CVmCamera::CRegister::GetRotationMatrix3(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    if (!c) return;
    float m[9];
    c->GetRotationMatrix3(m);
    VmReturnVector(m, 9);
}

void CVmCamera::CRegister::SetRotationMatrix3(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float m[9];
    if (!c || !ReadMatrix(9, m, "SetRotationMatrix3")) return;
    c->SetRotationMatrix3(m);
    ReturnObject(object);
}

void CVmCamera::CRegister::GetPosition(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) ReturnPoint(c->position);
}

void CVmCamera::CRegister::SetPosition(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float p[3];
    if (!c || !ReadPoint(p, "SetPosition")) return;
    c->SetPosition(p[0], p[1], p[2]);
    ReturnObject(object);
}

void CVmCamera::CRegister::SetPivotPoint(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float p[3];
    if (!c || !ReadPoint(p, "SetPivotPoint")) return;
    c->SetPivotPoint(p);
    ReturnObject(object);
}

void CVmCamera::CRegister::GetId(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) VmReturnInteger(c->id);
}

template <void (VRCamera::*Get)(float*) const>
void CVmCamera::CRegister::Axis(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float a[3];
    if (!c) return;
    (c->*Get)(a);
    ReturnPoint(a);
}

void CVmCamera::CRegister::SetDirection(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float d[3];
    if (!c || !ReadPoint(d, "SetDirection")) return;
    c->SetDirection(d[0], d[1], d[2]);
    ReturnObject(object);
}

void CVmCamera::CRegister::GetUpVector(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) ReturnPoint(c->up);
}

void CVmCamera::CRegister::SetUpVector(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float up[3];
    if (!c || !ReadPoint(up, "SetUpVector")) return;
    for (int i = 0; i < 3; ++i) c->up[i] = up[i];
    ReturnObject(object);
}

void CVmCamera::CRegister::SetId(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    if (!c) return;
    int32_t id;
    if (ArgCount() != 1) {
        VmErrorStream() << kWrongCount << "SetId";
        return;
    }
    if (!ReadParams(id)) return;
    c->id = id;
    ReturnObject(object);
}

void CVmCamera::CRegister::GetTarget(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) ReturnPoint(c->target);
}

void CVmCamera::CRegister::SetTarget(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float t[3];
    if (!c || !ReadPoint(t, "SetTarget")) return;
    c->SetTarget(t[0], t[1], t[2]);
    ReturnObject(object);
}

void CVmCamera::CRegister::Free(CVmClassBase* object, int mode) {
    if (VRCamera* c = Target(object, mode)) c->Free();
}

void CVmCamera::CRegister::SetRotation(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float angle, axis[3];
    if (!c || !ReadAngleAxis(angle, axis, "SetRotation")) return;
    c->SetRotation(angle, axis[0], axis[1], axis[2]);
    ReturnObject(object);
}

void CVmCamera::CRegister::RotateLocal(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float angle, axis[3];
    if (!c || !ReadAngleAxis(angle, axis, "RotateLocal")) return;
    c->RotateLocal(angle, axis[0], axis[1], axis[2]);
    ReturnObject(object);
}

void CVmCamera::CRegister::RotateGlobal(CVmClassBase* object, int mode) {
    VRCamera* c = Target(object, mode);
    float angle, axis[3];
    if (!c || !ReadAngleAxis(angle, axis, "RotateGlobal")) return;
    c->RotateGlobal(angle, axis[0], axis[1], axis[2]);
    ReturnObject(object);
}
