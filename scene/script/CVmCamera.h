// The script class CVmCamera: a camera that scripts configure and hand to
// the scene. An object made by the script owns its camera; one that shows a
// camera owned elsewhere (the scene's current camera) never deletes it.
// Methods answer method calls only; every setter answers the object itself,
// so calls chain.
#pragma once

#include <cstdint>

#include "scene/VRCamera.h"
#include "vm/VmRegister.h"

class CVmCamera : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmCamera";

    // A camera of its own, with the camera defaults.
    CVmCamera();
    // A view of a camera someone else owns.
    explicit CVmCamera(VRCamera* shown);
    ~CVmCamera() override;
    const char* ClassName() override { return kClassName; }

    VRCamera* Camera() const { return m_camera; }
    bool OwnsCamera() const { return m_owns; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void GetFovY(CVmClassBase* object, int mode);
        void GetZNear(CVmClassBase* object, int mode);
        void GetZFar(CVmClassBase* object, int mode);
        void SetFovY(CVmClassBase* object, int mode);
        void SetZNear(CVmClassBase* object, int mode);
        void SetZFar(CVmClassBase* object, int mode);
        void GetMatrix(CVmClassBase* object, int mode);
        void SetMatrix(CVmClassBase* object, int mode);
        void GetRotationMatrix(CVmClassBase* object, int mode);
        void SetRotationMatrix(CVmClassBase* object, int mode);
        void GetRotationMatrix3(CVmClassBase* object, int mode);
        void SetRotationMatrix3(CVmClassBase* object, int mode);
        void GetPosition(CVmClassBase* object, int mode);
        void SetPosition(CVmClassBase* object, int mode);
        void SetPivotPoint(CVmClassBase* object, int mode);
        void GetId(CVmClassBase* object, int mode);
        // GetXAxis, GetYAxis, GetZAxis, GetDirection.
        template <void (VRCamera::*Get)(float*) const>
        void Axis(CVmClassBase* object, int mode);
        void SetDirection(CVmClassBase* object, int mode);
        void GetUpVector(CVmClassBase* object, int mode);
        void SetUpVector(CVmClassBase* object, int mode);
        void SetId(CVmClassBase* object, int mode);
        void GetTarget(CVmClassBase* object, int mode);
        void SetTarget(CVmClassBase* object, int mode);
        void Free(CVmClassBase* object, int mode);
        void SetRotation(CVmClassBase* object, int mode);
        void RotateLocal(CVmClassBase* object, int mode);
        void RotateGlobal(CVmClassBase* object, int mode);

        // The object's camera in a method call; null (nothing to do) in any
        // other mode.
        static VRCamera* Target(CVmClassBase* object, int mode);
        // Exactly one number into the field; the object as the result.
        void SetNumber(CVmClassBase* object, int mode, float VRCamera::*field, const char* name);
        // Exactly one vector of at least n components into `values`; false
        // when the call gives none (reported unless it gives another count).
        bool ReadMatrix(int32_t n, float* values, const char* name);
        // A point: one vector of at least three components, or three
        // numbers. False when the call gives none: one parameter that is no
        // vector is quietly nothing, the rest is reported.
        bool ReadPoint(float* point, const char* name);
        // An angle and an axis given as a vector or three numbers.
        bool ReadAngleAxis(float& angle, float* axis, const char* name);
    };

private:
    VRCamera* m_camera;
    bool m_owns;
};
