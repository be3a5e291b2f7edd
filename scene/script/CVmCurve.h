// The script class CVmCurve: a path of 1000 samples through a script's
// control points (VRCurve), made with CVmCurve(...) or NewCurve(...) from a
// Vector of (key, x, y, z) points, three optional scales (1) and an optional
// tension (5). GetPosition(i) answers sample i mod 999.
#pragma once

#include <cstdint>

#include "scene/VRCurve.h"
#include "vm/VmRegister.h"

class CVmCurve : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmCurve";
    static constexpr float kDefaultScale = 1.0f;
    static constexpr int32_t kDefaultTension = 5;

    CVmCurve(int32_t count, const float* points, float scaleX, float scaleY, float scaleZ, int32_t tension)
        : m_curve(count, points, scaleX, scaleY, scaleZ, tension) {}
    const char* ClassName() override { return kClassName; }

    const VRCurve& Curve() const { return m_curve; }

    // The constructor call running on `call` (the class's factory and the
    // global NewCurve alike): answers the new curve, or reports why there
    // is none (no Vector: message 2012; fewer than two points).
    static void Make(CVmRegisterClass& call);

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase*, int) { Make(*this); }
        void GetPosition(CVmClassBase* object, int mode);
    };

private:
    VRCurve m_curve;
};
