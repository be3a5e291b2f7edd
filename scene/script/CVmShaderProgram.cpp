#include "CVmShaderProgram.h"

#include <string>

#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kNoParam = "CVmShaderProgram needs at least one param";
const char* const kNotBuilt = "The shader program was not built.";
const char* const kGone = "The shader program has been freed with the scene.";
const char* const kTooMany = "Too many parameters";
const char* const kWrongVector = "Wrong number of vector members";
const char* const kNoVector = "GetUniformValue needs a vector";
const char* const kShortVector = "The vector is too short for the uniform";
const char* const kDeprecated = "Active method is deprecated. Use Activate instead.";

// "param " n "must be ..." as the class words its parameter errors: no blank
// between the number and the rest.
void ParamError(int32_t k, const char* rest) { VmErrorStream() << "param " << k << rest; }

bool IsType(const CVmValue* v, VmValueType type) { return v && v->type == type; }

// The folder script file names are relative to.
std::string WorkingFolder() { return g_engineState ? g_engineState->Paths().workingFolder : std::string(); }

}  // namespace

CVmShaderProgram::CVmShaderProgram(VRShaderProgram* program) : m_program(program) {
    m_flag = 0;  // the program is the library's
}

bool CVmShaderProgram::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Activate", &CRegister::Activate);
    AddMethod("IsLinked", &CRegister::IsLinked);
    AddMethod("GetLinkerLog", &CRegister::GetLinkerLog);
    AddMethod("SetParameter", &CRegister::SetParameter);
    AddMethod("AddGeometryShader", &CRegister::AddGeometryShader);
    AddMethod("Start", &CRegister::Start);
    AddMethod("Stop", &CRegister::Stop);
    AddMethod("GetUniformCount", &CRegister::GetUniformCount);
    AddMethod("GetUniform", &CRegister::GetUniform);
    AddMethod("GetUniformValue", &CRegister::GetUniformValue);
    AddMethod("GetAttributeCount", &CRegister::GetAttributeCount);
    AddMethod("GetAttribute", &CRegister::GetAttribute);
    AddMethod("GetAttributeIndex", &CRegister::GetAttributeIndex);
    AddMethod("Active", &CRegister::Active);
    return true;
}

void CVmShaderProgram::CRegister::Create(CVmClassBase*, int) {
    if (ArgCount() < 1) {
        VmErrorStream() << kNoParam;
        return;
    }
    std::string vertex;
    if (!ReadParam(1, vertex, false)) {
        ParamError(1, "must be string");
        return;
    }
    std::string fragment;
    bool hasFragment = false, isSource = false;
    int32_t verboseAt = 3;
    const CVmValue* second = GetParam(2);
    if (IsType(second, VmValueType::String)) {
        hasFragment = ReadParam(2, fragment, false);
        if (const CVmValue* third = GetParam(3)) {
            if (third->type == VmValueType::Bool)
                isSource = third->asBool;
            else
                ParamError(3, "must be a boolean");
        }
        verboseAt = 5;  // parameter 4 is reserved
    } else if (IsType(second, VmValueType::Bool)) {
        isSource = second->asBool;
    } else if (second) {
        ParamError(2, "must be string or boolean");
    }
    const CVmValue* verboseParam = GetParam(verboseAt);
    const bool verbose = IsType(verboseParam, VmValueType::Bool) && verboseParam->asBool;

    if (!isSource) {
        const std::string folder = WorkingFolder();
        vertex = folder + vertex;
        if (hasFragment) fragment = folder + fragment;
    }
    VRShaderProgram* program = SharedShaderLibrary().GetProgram(
        vertex.c_str(), hasFragment ? fragment.c_str() : nullptr, isSource, false, verbose);
    ReturnObject(new CVmShaderProgram(program));
}

VRShaderProgram* CVmShaderProgram::CRegister::Viewed(CVmClassBase* object, int mode) {
    if (mode != VM_CALL_METHOD || !object) return nullptr;
    const auto* self = static_cast<CVmShaderProgram*>(object);
    VRShaderProgram* program = self->Program();
    if (!program) VmErrorStream() << (self->m_program.Held() ? kGone : kNotBuilt);
    return program;
}

void CVmShaderProgram::CRegister::Activate(CVmClassBase* object, int mode) {
    VRShaderProgram* p = Viewed(object, mode);
    bool enabled;
    if (p && ReadParams(enabled)) p->SetEnabled(enabled);
}

void CVmShaderProgram::CRegister::Active(CVmClassBase* object, int mode) {
    WarningStream() << kDeprecated;
    Activate(object, mode);
}

void CVmShaderProgram::CRegister::IsLinked(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) VmReturnBool(p->IsLinked());
}

void CVmShaderProgram::CRegister::GetLinkerLog(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) VmReturnString(p->GetInfoLog(p->Handle()));
}

void CVmShaderProgram::CRegister::SetParameter(CVmClassBase* object, int mode) {
    if (mode != VM_CALL_METHOD) {
        VmErrorStream();
        return;
    }
    std::string name;
    if (ArgCount() < 2 || !ReadParam(1, name, false)) {
        VmErrorStream();
        return;
    }
    VRShaderProgram* p = Viewed(object, mode);
    if (!p) return;
    const int32_t n = ArgCount() - 1;
    const CVmValue* first = GetParam(2);
    const char* u = name.c_str();
    switch (first->type) {
    case VmValueType::Integer:
    case VmValueType::Bool: {
        if (n > 4) {
            VmErrorStream() << kTooMany;
            return;
        }
        int32_t v[4] = {};
        for (int32_t i = 0; i < n; ++i) {
            const CVmValue* value = GetParam(2 + i);
            v[i] = value->type == VmValueType::Bool ? (value->asBool ? 1 : 0) : GetParamInt(2 + i);
        }
        if (n == 1) p->SetUniform1i(u, v[0]);
        if (n == 2) p->SetUniform2i(u, v[0], v[1]);
        if (n == 3) p->SetUniform3i(u, v[0], v[1], v[2]);
        if (n == 4) p->SetUniform4i(u, v[0], v[1], v[2], v[3]);
        return;
    }
    case VmValueType::Real: {
        if (n > 4) {
            VmErrorStream() << kTooMany;
            return;
        }
        float v[4] = {};
        for (int32_t i = 0; i < n; ++i) v[i] = GetParamFloat(2 + i);
        if (n == 1) p->SetUniform1f(u, v[0]);
        if (n == 2) p->SetUniform2f(u, v[0], v[1]);
        if (n == 3) p->SetUniform3f(u, v[0], v[1], v[2]);
        if (n == 4) p->SetUniform4f(u, v[0], v[1], v[2], v[3]);
        return;
    }
    case VmValueType::Vector: {
        VmVectorParam vector;
        if (!ReadParam(2, vector)) return;
        const float* v = vector.Data();
        switch (vector.Count()) {
        case 1: p->SetUniform1fv(u, 1, v); return;
        case 2: p->SetUniform2fv(u, 1, v); return;
        case 3: p->SetUniform3fv(u, 1, v); return;
        case 4: p->SetUniform4fv(u, 1, v); return;
        case 9:
        case 16: {
            // A lone matrix is taken as written row by row.
            bool transpose = true;
            if (n >= 2 && !ReadParam(3, transpose)) return;
            if (vector.Count() == 9)
                p->SetUniformMatrix3(u, 1, transpose, v);
            else
                p->SetUniformMatrix4(u, 1, transpose, v);
            return;
        }
        default: VmErrorStream() << kWrongVector; return;
        }
    }
    default: return;  // strings, arrays and the rest set nothing
    }
}

void CVmShaderProgram::CRegister::AddGeometryShader(CVmClassBase* object, int mode) {
    VRShaderProgram* p = Viewed(object, mode);
    if (!p) return;
    if (ArgCount() < 1) {
        VmErrorStream() << kNoParam;
        return;
    }
    std::string text;
    if (!ReadParam(1, text, false)) {
        ParamError(1, "must be string or boolean");
        return;
    }
    bool isSource = false;
    const CVmValue* second = GetParam(2);
    if (IsType(second, VmValueType::Bool))
        isSource = second->asBool;
    else if (second)
        ParamError(2, "must be boolean");
    const int32_t verticesOut = GetParamInt(3, false);
    const int32_t inputType = GetParamInt(4, false);
    const int32_t outputType = GetParamInt(5, false);
    const CVmValue* verboseParam = GetParam(6);
    const bool verbose = IsType(verboseParam, VmValueType::Bool) && verboseParam->asBool;
    if (!isSource) text = WorkingFolder() + text;
    VmReturnInteger(p->AddGeometryShader(text.c_str(), isSource, verticesOut, inputType, outputType, verbose));
}

void CVmShaderProgram::CRegister::Start(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) p->Start();
}

void CVmShaderProgram::CRegister::Stop(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) p->Stop();
}

void CVmShaderProgram::CRegister::GetUniformCount(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) VmReturnInteger(p->GetUniformCount());
}

void CVmShaderProgram::CRegister::GetAttributeCount(CVmClassBase* object, int mode) {
    if (VRShaderProgram* p = Viewed(object, mode)) VmReturnInteger(p->GetAttributeCount());
}

void CVmShaderProgram::CRegister::WriteActive(CVmClassBase* object, int mode, bool uniform) {
    VRShaderProgram* p = Viewed(object, mode);
    int32_t index;
    if (!p || !ReadParams(index)) return;
    std::string name, text;
    int32_t type = 0, size = 0;
    const bool found =
        uniform ? p->GetUniform(index, name, type, text, size) : p->GetAttribute(index, name, type, text, size);
    if (!found) return;
    if (CVmValue* out = GetParam(2)) out->SetString(name.c_str(), static_cast<int32_t>(name.size()));
    if (CVmValue* out = GetParam(3)) out->SetInteger(type);
    if (CVmValue* out = GetParam(4)) out->SetString(text.c_str(), static_cast<int32_t>(text.size()));
    if (CVmValue* out = GetParam(5)) out->SetInteger(size);
}

void CVmShaderProgram::CRegister::GetUniform(CVmClassBase* object, int mode) { WriteActive(object, mode, true); }

void CVmShaderProgram::CRegister::GetAttribute(CVmClassBase* object, int mode) { WriteActive(object, mode, false); }

void CVmShaderProgram::CRegister::GetUniformValue(CVmClassBase* object, int mode) {
    VRShaderProgram* p = Viewed(object, mode);
    std::string name;
    if (!p || !ReadParams(name)) return;
    VmVectorParam vector;
    if (!ReadParam(2, vector, false)) {
        VmErrorStream() << kNoVector;
        return;
    }
    // GL writes every float of the uniform: the vector must hold them all.
    if (vector.Count() < p->UniformFloatCount(name.c_str())) {
        VmErrorStream() << kShortVector;
        return;
    }
    p->GetUniformValue(name.c_str(), vector.Data());
}

void CVmShaderProgram::CRegister::GetAttributeIndex(CVmClassBase* object, int mode) {
    VRShaderProgram* p = Viewed(object, mode);
    std::string name;
    if (p && ReadParams(name)) VmReturnInteger(p->GetAttributeIndex(name.c_str()));
}
