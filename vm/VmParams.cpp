// Reading the parameters of the running call: each reader checks that the
// call has the parameter and that it has the type the handler needs, and
// reports in the script's words.
#include <cstring>
#include <ostream>

#include "VirtualMachine.h"
#include "VmRegister.h"

CVmValue* CVmRegisterClass::GetParam(int32_t k) {
    CVirtualMachine* vm = g_currentVM;
    if (!vm || k <= 0 || k > m_call.argCount) return nullptr;
    CVmValue* p = vm->ReturnSlot() - k;
    return p > vm->StackBase() ? p : nullptr;
}

CVmValue* CVmRegisterClass::PresentParam(int32_t k, bool report) {
    if (CVmValue* p = GetParam(k)) return p;
    if (report) {
        if (k <= 0)
            VmErrorStream() << "Internal Error: request for param n. " << k << " (< 0).";
        else
            VmErrorStream() << "Mandatory param n. " << k << " was not supplied.";
    }
    return nullptr;
}

bool CVmRegisterClass::CheckParam(int32_t k, bool report) { return PresentParam(k, report) != nullptr; }

bool CVmRegisterClass::WrongType(int32_t k, const char* what, bool report) {
    if (report) VmErrorStream() << "The param n. " << k << " must be " << what << ".";
    return false;
}

bool CVmRegisterClass::WrongObject(int32_t k, const char* className, bool report) {
    if (report) VmErrorStream() << "The param n. " << k << " must be a '" << (className ? className : "") << "' object.";
    return false;
}

namespace {

// An Integer or a Real as a number of the target's type: an int truncates a
// Real toward zero.
bool IsNumber(const CVmValue& p) { return p.type == VmValueType::Integer || p.type == VmValueType::Real; }

bool AsNumber(const CVmValue& p, int32_t& out) {
    if (!IsNumber(p)) return false;
    out = p.type == VmValueType::Integer ? p.asInt : VmTruncate(p.asReal);
    return true;
}

bool AsNumber(const CVmValue& p, float& out) {
    if (!IsNumber(p)) return false;
    out = p.type == VmValueType::Real ? p.asReal : static_cast<float>(p.asInt);
    return true;
}

}  // namespace

bool CVmRegisterClass::ReadParam(int32_t k, int32_t& out, bool report) {
    const CVmValue* p = PresentParam(k, report);
    return p && (AsNumber(*p, out) || WrongType(k, "a number", report));
}

bool CVmRegisterClass::ReadParam(int32_t k, float& out, bool report) {
    const CVmValue* p = PresentParam(k, report);
    return p && (AsNumber(*p, out) || WrongType(k, "a number", report));
}

bool CVmRegisterClass::ReadParam(int32_t k, bool& out, bool report) {
    const CVmValue* p = PresentParam(k, report);
    if (!p) return false;
    if (p->type != VmValueType::Bool) return WrongType(k, "a boolean", report);
    out = p->asBool != 0;
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, const CVmString*& out, bool report) {
    const CVmValue* p = PresentParam(k, report);
    if (!p) return false;
    if (p->type != VmValueType::String) return WrongType(k, "a string", report);
    out = p->asString;
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, const char*& out, bool report) {
    const CVmString* s = nullptr;
    if (!ReadParam(k, s, report)) return false;
    out = s->CStr();
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, std::string& out, bool report) {
    const CVmString* s = nullptr;
    if (!ReadParam(k, s, report)) return false;
    out.assign(s->CStr(), static_cast<size_t>(s->Length()));
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, CVmArray*& out, bool report) {
    const CVmValue* p = PresentParam(k, report);
    if (!p) return false;
    if (p->type != VmValueType::Array || !p->asArray) return WrongType(k, "a array", report);
    out = p->asArray;
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, VmVectorParam& out, bool report) {
    CVmValue* p = PresentParam(k, report);
    if (!p) return false;
    const int32_t need = out.MinCount();
    if (p->type != VmValueType::Vector) {
        if (need <= 0) return WrongType(k, "a vector", report);
        if (report) VmErrorMsg(2012, k);
        return false;
    }
    if (p->asVector->count < need) {
        if (report) VmErrorMsg(2027, k, need);
        return false;
    }
    out.Set(p->asVector);
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, CVmClassBase*& out, bool report) {
    CVmClassBase* object = GetParamObject(k, nullptr, report);
    if (!object) return false;
    out = object;
    return true;
}

bool CVmRegisterClass::ReadParam(int32_t k, CVmValue*& out, bool report) {
    CVmValue* p = PresentParam(k, report);
    if (!p) return false;
    out = p;
    return true;
}

// The single readers of the registration's interface: the neutral value
// when the parameter does not fit.

int32_t CVmRegisterClass::GetParamInt(int32_t k, bool report) {
    int32_t v = 0;
    ReadParam(k, v, report);
    return v;
}

float CVmRegisterClass::GetParamFloat(int32_t k, bool report) {
    float v = 0.0f;
    ReadParam(k, v, report);
    return v;
}

const CVmString* CVmRegisterClass::GetParamCVmString(int32_t k, bool report) {
    const CVmString* v = nullptr;
    ReadParam(k, v, report);
    return v;
}

const char* CVmRegisterClass::GetParamString(int32_t k, bool report) {
    const char* v = nullptr;
    ReadParam(k, v, report);
    return v;
}

bool CVmRegisterClass::GetParamBool(int32_t k, bool report) {
    bool v = false;
    ReadParam(k, v, report);
    return v;
}

CVmArray* CVmRegisterClass::GetParamArray(int32_t k, bool report) {
    CVmArray* v = nullptr;
    ReadParam(k, v, report);
    return v;
}

CVmVector* CVmRegisterClass::GetParamVector(int32_t k, bool report) {
    VmVectorParam v;
    ReadParam(k, v, report);
    return v.Vector();
}

CVmClassBase* CVmRegisterClass::GetParamObject(int32_t k, const char* className, bool report) {
    const CVmValue* p = PresentParam(k, report);
    if (!p) return nullptr;
    if (p->type == VmValueType::Object && p->asObject &&
        (!className || std::strcmp(p->asObject->ClassName(), className) == 0))
        return p->asObject;
    WrongObject(k, className, report);
    return nullptr;
}
