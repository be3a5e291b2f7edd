#include "CVmCurve.h"

#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kMsgNotAVector = 2012;  // "Param n. %i must be a vector."
constexpr int32_t kMsgOutOfRange = 2015;  // "This numeric value must be between %i and %i."

}  // namespace

bool CVmCurve::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("GetPosition", &CRegister::GetPosition);
    return true;
}

void CVmCurve::Make(CVmRegisterClass& call) {
    VmVectorParam points;
    if (!call.ReadParam(1, points, false)) return VmErrorMsg(kMsgNotAVector, 1);
    float sx, sy, sz;
    int32_t tension;
    if (!call.ReadParams(points, Optional(sx, kDefaultScale), Optional(sy, kDefaultScale),
                         Optional(sz, kDefaultScale), Optional(tension, kDefaultTension)))
        return;
    const int32_t count = points.Count() / VRCurve::kPointFloats;
    if (count < VRCurve::kMinPoints) {
        VmErrorStream() << "Sono necessari almeno due punti.";
        return;
    }
    call.ReturnObject(new CVmCurve(count, points.Data(), sx, sy, sz, tension));
}

// GetPosition(i), i from 0 to 999 (999 gives sample 0 again).
void CVmCurve::CRegister::GetPosition(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return;
    int32_t index;
    if (!ReadParams(index)) return;
    if (static_cast<uint32_t>(index) >= VRCurve::kSamples) return VmErrorMsg(kMsgOutOfRange, 1, 999);
    VmReturnVector(static_cast<CVmCurve*>(object)->m_curve.GetPosition(static_cast<uint32_t>(index)), 3);
}
