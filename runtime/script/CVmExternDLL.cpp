#include "runtime/script/CVmExternDLL.h"

#include <cstring>
#include <mutex>
#include <ostream>
#include <utility>

#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "platform/FileSystem.h"
#include "platform/SharedLibrary.h"
#include "runtime/script/byteBuffer.h"
#include "vm/VirtualMachine.h"

namespace {

// Message ids of the machine's string table.
constexpr int32_t kMsgFatalInModule = 2096;     // "Fatal error in module '%s'"
constexpr int32_t kMsgDivisionInModule = 2097;  // "Division by zero in module '%s'"
constexpr int32_t kMsgCertification = 2098;     // "module '%s' certification check fail."

constexpr int32_t kTypeVoid = 0;
constexpr int32_t kTypeInt = 1;
constexpr int32_t kTypeFloat = 2;
constexpr int32_t kTypeDouble = 3;
constexpr int32_t kTypeString = 4;
constexpr int32_t kTypeIntPointer = 5;
constexpr int32_t kTypeFloatPointer = 6;
constexpr int32_t kTypeDoubles = 7;
constexpr int32_t kTypeFirstVector = 8;
constexpr int32_t kTypeLastVector = 23;
constexpr int32_t kTypeEngineObject = 24;
constexpr int32_t kTypeByteBuffer = 25;

constexpr bool IsVectorType(int32_t t) { return t >= kTypeFirstVector && t <= kTypeLastVector; }
// The components a Vector type needs.
constexpr int32_t VectorLength(int32_t t) { return t - kTypeFirstVector + 1; }

NativeType ParamType(int32_t t) {
    switch (t) {
    case kTypeInt:
        return NativeType::Int32;
    case kTypeFloat:
        return NativeType::Float;
    case kTypeDouble:
        return NativeType::Double;
    default:
        return NativeType::Pointer;
    }
}

// Results of types 5, 6, 7, 24 and 25 are not taken.
NativeType ResultType(int32_t t) {
    if (t == kTypeInt) return NativeType::Int32;
    if (t == kTypeFloat) return NativeType::Float;
    if (t == kTypeDouble) return NativeType::Double;
    if (t == kTypeString || IsVectorType(t)) return NativeType::Pointer;
    return NativeType::Void;
}

struct EngineObjectClass {
    std::string name;
    CVmExternDLL::EngineObjectLookup lookup;
};

std::mutex& EngineObjectClassesLock() {
    static std::mutex lock;
    return lock;
}

std::vector<EngineObjectClass>& EngineObjectClasses() {
    static std::vector<EngineObjectClass> classes;
    return classes;
}

void* EngineObjectOf(CVmClassBase* object) {
    std::lock_guard<std::mutex> lock(EngineObjectClassesLock());
    for (const EngineObjectClass& c : EngineObjectClasses())
        if (SameIgnoringCase(c.name, object->ClassName())) return c.lookup(object);
    return nullptr;
}

// A non-zero number or true.
bool IsSet(const CVmValue* v) {
    if (!v) return false;
    switch (v->type) {
    case VmValueType::Bool:
        return v->asBool != 0;
    case VmValueType::Integer:
        return v->asInt != 0;
    case VmValueType::Real:
        return v->asReal != 0.0f;
    default:
        return false;
    }
}

// What a type-k parameter must be, for "param n must be a ...".
std::string Expected(int32_t type) {
    switch (type) {
    case kTypeInt:
    case kTypeIntPointer:
        return "integer";
    case kTypeFloat:
    case kTypeDouble:
        return "float";
    case kTypeString:
        return "string";
    case kTypeFloatPointer:
    case kTypeDoubles:
        return "vector";
    case kTypeEngineObject:
        return "CVmObj, CVmCharacter, CVmMesh or CVmNewMesh object.";
    case kTypeByteBuffer:
        return "byteBuffer object.";
    default:
        return "Vector of " + std::to_string(VectorLength(type)) + " len";
    }
}

// The object of a type-25 parameter: a byteBuffer (the class name in any
// letter case), or null.
byteBuffer* ByteBufferOf(const CVmValue& v) {
    if (v.type != VmValueType::Object || !v.asObject) return nullptr;
    if (!SameIgnoringCase(v.asObject->ClassName(), byteBuffer::kClassName)) return nullptr;
    return dynamic_cast<byteBuffer*>(v.asObject);
}

float AsFloat(const CVmValue& v) { return v.type == VmValueType::Real ? v.asReal : static_cast<float>(v.asInt); }

// One argument made native. Pointers reach into the argument's slot; the
// doubles of a type-7 Vector live here until they are copied back.
struct Argument {
    NativeValue value{};
    std::vector<double> doubles;
};

// Converts the argument in `slot` for a parameter of the type; false when it
// does not fit.
bool Convert(int32_t type, CVmValue& slot, Argument& arg) {
    const bool number = slot.type == VmValueType::Integer || slot.type == VmValueType::Real;
    const bool vector = slot.type == VmValueType::Vector;
    switch (type) {
    case kTypeInt:
        if (!number) return false;
        arg.value.asInt = slot.type == VmValueType::Integer ? slot.asInt : VmTruncate(slot.asReal);
        return true;
    case kTypeFloat:
        if (!number) return false;
        arg.value.asFloat = AsFloat(slot);
        return true;
    case kTypeDouble:
        if (!number) return false;
        arg.value.asDouble = AsFloat(slot);
        return true;
    case kTypeString:
        if (slot.type != VmValueType::String) return false;
        if (!slot.asString->HasBuffer()) slot.SetString("", 0);
        arg.value.asPointer = slot.asString->data;
        return true;
    case kTypeIntPointer:
        if (slot.type != VmValueType::Integer) return false;
        arg.value.asPointer = &slot.asInt;
        return true;
    case kTypeFloatPointer:
        if (vector) {
            if (slot.asVector->count < 1) return false;
            arg.value.asPointer = slot.asVector->data;
            return true;
        }
        if (!number) return false;
        slot.SetReal(AsFloat(slot));
        arg.value.asPointer = &slot.asReal;
        return true;
    case kTypeDoubles:
        if (!vector || slot.asVector->count < 1) return false;
        arg.doubles.assign(slot.asVector->data, slot.asVector->data + slot.asVector->count);
        arg.value.asPointer = arg.doubles.data();
        return true;
    case kTypeEngineObject:
        if (slot.type != VmValueType::Object || !slot.asObject) return false;
        arg.value.asPointer = EngineObjectOf(slot.asObject);
        return arg.value.asPointer != nullptr;
    case kTypeByteBuffer: {
        byteBuffer* buffer = ByteBufferOf(slot);
        if (!buffer) return false;
        arg.value.asPointer = buffer->Content().View();
        return true;
    }
    default:  // a Vector type
        if (!vector || slot.asVector->count < VectorLength(type)) return false;
        arg.value.asPointer = slot.asVector->data;
        return true;
    }
}

// Reads what a library's result points to under the fault guard: a fault
// counts as the call's own.
ScriptFault CopyString(const char* text, std::string& out) {
    size_t n = 0;
    const ScriptFault fault = ScriptFaultGuard::Run([&] { n = std::strlen(text); });
    if (fault != ScriptFault::NoFault) return fault;
    out.resize(n);
    return ScriptFaultGuard::Run([&] { std::memcpy(&out[0], text, n); });
}

ScriptFault CopyFloats(const float* values, int32_t n, float* out) {
    return ScriptFaultGuard::Run([&] { std::memcpy(out, values, static_cast<size_t>(n) * sizeof(float)); });
}

}  // namespace

void CVmExternDLL::RegisterEngineObjectClass(const char* className, EngineObjectLookup lookup) {
    if (!className || !lookup) return;
    std::lock_guard<std::mutex> lock(EngineObjectClassesLock());
    for (EngineObjectClass& c : EngineObjectClasses()) {
        if (SameIgnoringCase(c.name, className)) {
            c.lookup = lookup;
            return;
        }
    }
    EngineObjectClasses().push_back({className, lookup});
}

CVmExternDLL::CVmExternDLL(void* module, std::string name, const CVirtualMachine* machine, const VmProgram* program,
                           size_t methodCount)
    : m_byMethod(methodCount, nullptr),
      m_module(module),
      m_name(std::move(name)),
      m_machine(machine),
      m_program(program) {}

CVmExternDLL::BoundFunction* CVmExternDLL::Bound(int32_t methodIndex) {
    CVirtualMachine* vm = g_currentVM;
    if (!vm || methodIndex < 0) return nullptr;
    const size_t i = static_cast<size_t>(methodIndex);
    if (vm == m_machine && vm->Program() == m_program) return i < m_byMethod.size() ? m_byMethod[i] : nullptr;
    // A call from another machine's program (a module's): by name.
    const VmProgram* program = vm->Program();
    if (!program || i >= program->methodNames.size()) return nullptr;
    return BoundByName(VmUpperName(program->methodNames[i].c_str()));
}

// ---------------------------------------------------------------------------
// Registration

CVmExternDLL::CRegister::ProgramNames* CVmExternDLL::CRegister::NamesFor(const CVirtualMachine* machine, bool make) {
    for (ProgramNames& p : m_programNames)
        if (p.machine == machine) return &p;
    if (!make) return nullptr;
    m_programNames.push_back({machine, {}, {}});
    return &m_programNames.back();
}

bool CVmExternDLL::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("__AddFunction", &CRegister::AddFunction);
    ProgramNames* names = NamesFor(g_currentVM, true);
    names->names.assign(static_cast<size_t>(n > 0 ? n : 0), std::string());
    names->taken.assign(names->names.size(), false);
    return true;
}

bool CVmExternDLL::CRegister::BindMethod(const char* name, int32_t index) {
    const bool taken = CVmRegisterClass::BindMethod(name, index);
    ProgramNames* names = NamesFor(g_currentVM, false);
    if (names && index >= 0 && static_cast<size_t>(index) < names->names.size()) {
        names->names[static_cast<size_t>(index)] = VmUpperName(name);
        names->taken[static_cast<size_t>(index)] = taken;
    }
    return taken;
}

void CVmExternDLL::CRegister::ClearSlots(const CVirtualMachine* machine) {
    CVmRegisterClass::ClearSlots(machine);
    for (size_t i = 0; i < m_programNames.size(); ++i) {
        if (m_programNames[i].machine == machine) {
            m_programNames.erase(m_programNames.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

bool CVmExternDLL::CRegister::CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) {
    const ProgramNames* names = NamesFor(g_currentVM, false);
    const bool own = names && index >= 0 && static_cast<size_t>(index) < names->taken.size() &&
                     names->taken[static_cast<size_t>(index)];
    auto* dll = dynamic_cast<CVmExternDLL*>(object);
    BoundFunction* f = !own && dll ? dll->Bound(index) : nullptr;
    if (!f) return CVmRegisterClass::CallMethod(object, index, argCount);
    CallScope call(*this, argCount, -1);
    CallBoundMethod(*dll, *f);
    return call.Ok();
}

bool CVmExternDLL::CRegister::CallByName(CVmClassBase* object, const char* upperName, int mode) {
    if (FindEntry(upperName ? upperName : "")) return CVmRegisterClass::CallByName(object, upperName, mode);
    auto* dll = dynamic_cast<CVmExternDLL*>(object);
    BoundFunction* f = dll && mode == VM_CALL_METHOD ? dll->BoundByName(upperName ? upperName : "") : nullptr;
    if (!f) return false;
    CallScope call(*this, ArgCount(), -1);
    CallBoundMethod(*dll, *f);
    return call.Ok();
}

// ---------------------------------------------------------------------------
// Handlers

void CVmExternDLL::CRegister::Create(CVmClassBase*, int) {
    std::string name;
    if (!ReadParams(name)) return;
    const bool warnOnly = IsSet(GetParam(2));
    MachineServices* services = g_engineState ? g_engineState->Services() : nullptr;
    if (!services) {
        VmErrorStream() << "The engine is not running.";
        return;
    }
    const NativeLibraryLoad load = services->LoadNativeLibrary(name);
    switch (load.outcome) {
    case NativeLibraryLoad::Loaded:
        break;
    case NativeLibraryLoad::PackageRejected:
        VmErrorMsg(kMsgCertification, name.c_str());
        return;
    case NativeLibraryLoad::WebScript:
        VmErrorStream() << "Cannot use external module in an web based script application";
        return;
    case NativeLibraryLoad::NotLoaded: {
        std::ostream& os = warnOnly ? WarningStream() : VmErrorStream();
        os << "The '" << name;
        if (load.error == 2)
            os << "' module could not be found.";
        else if (load.error == 126)
            os << "'module exists but could not be loaded. Check DLLs dependencies";
        else
            os << "' could not be loaded.";
        os << "(error " << load.error << ": '" << load.reason << "').";
        return;
    }
    }
    const ProgramNames* names = NamesFor(g_currentVM, false);
    ReturnObject(new CVmExternDLL(load.handle, name, g_currentVM, g_currentVM ? g_currentVM->Program() : nullptr,
                                  names ? names->names.size() : 0));
}

void CVmExternDLL::CRegister::AddFunction(CVmClassBase* object, int) {
    auto* dll = dynamic_cast<CVmExternDLL*>(object);
    int32_t returnType;
    std::string exportName;
    if (!dll || !ReadParams(returnType, exportName)) return;
    std::string scriptName = exportName;
    int32_t first = 3;
    if (const CVmValue* p = GetParam(3); p && p->type == VmValueType::String) {
        scriptName = p->asString->CStr();
        first = 4;
    }
    std::unique_ptr<BoundFunction> f(new BoundFunction());
    f->name = scriptName;
    f->exportName = exportName;
    f->returnType = returnType;
    f->owner = this;
    bool none = false;
    for (int32_t k = first; k <= ArgCount(); ++k) {
        int32_t type;
        if (!ReadParam(k, type)) return;
        if (type < 0 || type > kTypeByteBuffer) {
            VmErrorStream() << "'" << type << "' is an unsupported parameter type.";
            return;
        }
        if (type == kTypeVoid) none = true;
        f->paramTypes.push_back(type);
    }
    if (none) f->paramTypes.clear();  // any 0 declares a function without parameters
    if (returnType < 0 || returnType > kTypeByteBuffer) {
        VmErrorStream() << "'" << returnType << "' is an unsupported return type.";
        return;
    }
    std::vector<NativeType> params;
    for (int32_t t : f->paramTypes) params.push_back(ParamType(t));
    if (!f->signature.Prepare(ResultType(returnType), params)) {
        VmErrorStream() << "The function '" << exportName << "' cannot be called with these types.";
        return;
    }
    f->entry = SharedLibrary::Symbol(dll->m_module, exportName.c_str());

    // Entered before the checks below: it stays bound whatever they find.
    const std::string upper = VmUpperName(scriptName.c_str());
    BoundFunction* bound = f.get();
    if (BoundFunction* old = dll->m_functions.Find(upper.c_str())) {
        for (BoundFunction*& entry : dll->m_byMethod)
            if (entry == old) entry = nullptr;
        dll->m_functions.Remove(upper.c_str());
    }
    dll->m_functions.Insert(upper.c_str(), f.release());
    if (const ProgramNames* names = NamesFor(dll->m_machine, false); names && g_currentVM == dll->m_machine) {
        for (size_t i = 0; i < names->names.size() && i < dll->m_byMethod.size(); ++i)
            if (names->names[i] == upper) dll->m_byMethod[i] = bound;
    }

    if (!bound->entry) VmErrorStream() << "The function '" << exportName << "' is not exported by the DLL.";
    if (returnType == kTypeFloatPointer) VmErrorStream() << "'C_PFLOAT' is an unsupported return type.";
    if (returnType == kTypeDoubles) VmErrorStream() << "'C_PDOUBLE' is an unsupported return type.";
    VmReturnBool(!VmHasError());
}

void CVmExternDLL::CRegister::CallBoundMethod(CVmExternDLL& dll, BoundFunction& f) {
    const int32_t count = static_cast<int32_t>(f.paramTypes.size());
    if (ArgCount() != count) {
        VmErrorStream() << "Method needs " << count << " param(s).";
        return;
    }
    if (!f.entry) {
        VmErrorStream() << "The function '" << f.exportName << "' is not exported by the DLL.";
        return;
    }
    std::vector<Argument> args(static_cast<size_t>(count));
    for (int32_t k = 1; k <= count; ++k) {
        CVmValue* slot = GetParam(k);
        const int32_t type = f.paramTypes[static_cast<size_t>(k - 1)];
        if (!slot || !Convert(type, *slot, args[static_cast<size_t>(k - 1)])) {
            VmErrorStream() << "param " << k << " must be a " << Expected(type);
            return;
        }
    }
    std::vector<NativeValue> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) values[i] = args[i].value;

    NativeValue result{};
    ScriptFault fault = f.signature.Call(f.entry, values.data(), result);
    // The result is read before anything else can run.
    std::string text;
    float floats[VectorLength(kTypeLastVector)];
    const int32_t type = f.returnType;
    if (fault == ScriptFault::NoFault && type == kTypeString && result.asPointer)
        fault = CopyString(static_cast<const char*>(result.asPointer), text);
    if (fault == ScriptFault::NoFault && IsVectorType(type) && result.asPointer)
        fault = CopyFloats(static_cast<const float*>(result.asPointer), VectorLength(type), floats);
    if (fault != ScriptFault::NoFault) {
        VmErrorMsg(fault == ScriptFault::Division ? kMsgDivisionInModule : kMsgFatalInModule, dll.m_name.c_str());
        return;
    }

    // The doubles of type-7 arguments go back into their Vectors as floats.
    for (int32_t k = 1; k <= count; ++k) {
        if (f.paramTypes[static_cast<size_t>(k - 1)] != kTypeDoubles) continue;
        CVmValue* slot = GetParam(k);
        const std::vector<double>& d = args[static_cast<size_t>(k - 1)].doubles;
        for (int32_t i = 0; i < slot->asVector->count && static_cast<size_t>(i) < d.size(); ++i)
            slot->asVector->data[i] = static_cast<float>(d[static_cast<size_t>(i)]);
    }

    if (type == kTypeInt) {
        VmReturnInteger(result.asInt);
    } else if (type == kTypeFloat) {
        VmReturnReal(result.asFloat);
    } else if (type == kTypeDouble) {
        VmReturnReal(static_cast<float>(result.asDouble));
    } else if (type == kTypeString) {
        VmReturnString(text.data(), static_cast<int32_t>(text.size()));
    } else if (IsVectorType(type) && result.asPointer) {
        VmReturnVector(floats, VectorLength(type));
    }
}
