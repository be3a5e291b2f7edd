// The instruction work that stays out of the run loop: calls, frames,
// members and swizzles, indexing, the type rules of arithmetic and
// comparison, and the built-in functions.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "VirtualMachine.h"

namespace {

bool IsNumber(const CVmValue* v) { return v->type == VmValueType::Integer || v->type == VmValueType::Real; }
double AsDouble(const CVmValue* v) { return v->type == VmValueType::Integer ? v->asInt : v->asReal; }
float AsFloat(const CVmValue* v) { return v->type == VmValueType::Integer ? static_cast<float>(v->asInt) : v->asReal; }

// target := left changed by op, in place when the target is the left
// operand, else through a copy of it.
template <class F>
void VectorResult(const CVmValue* left, CVmValue* target, F op) {
    if (target == left) {
        op(*target->asVector);
        return;
    }
    CVmValue copy(*left);
    op(*copy.asVector);
    target->Move(copy);
}

// The biggest string, vector or array one instruction creates.
constexpr int32_t kMaxCreatedSize = 1 << 26;

}  // namespace

// ---------------------------------------------------------------------------
// Stack and frames

bool CVirtualMachine::GrowStack(CVmValue* newTop) {
    const int64_t t = newTop - m_stack.get();
    int64_t size = m_stackSize;
    do {
        size *= 2;
    } while (size <= t);
    if (size > 32767 || t < 0) {
        Error() << "stack overflow.";
        return false;
    }
    // The slots are allocated once at the largest size and are Void above
    // the top, so growing only moves the limit.
    m_stackSize = static_cast<int32_t>(size);
    m_stackLimit = m_stackBase + m_stackSize - 1;
    return true;
}

bool CVirtualMachine::PushVoid() {
    if (!GrowFor(m_top + 1)) return false;
    (++m_top)->SetVoid();
    return true;
}

bool CVirtualMachine::Push(const CVmValue& v) {
    if (!GrowFor(m_top + 1)) return false;
    (++m_top)->Assign(v);
    return true;
}

CVmValue* CVirtualMachine::ReportBadLocal(int32_t index) {
    Error() << "Invalid access to the local variable " << index << ".";
    m_badOperand.SetVoid();
    return &m_badOperand;
}

void CVirtualMachine::ReportBadFrame() { Error() << "Invalid call frame."; }

void CVirtualMachine::ReportBadJump(int32_t to) { Error() << "Invalid jump target " << to << "."; }

bool CVirtualMachine::ReadCountSlow(const CVmValue* a, int32_t& n) {
    if (a->type == VmValueType::Real) {
        n = VmTruncate(a->asReal);
        return true;
    }
    ReportTypeMismatch(a, nullptr, nullptr);
    n = 0;
    return false;
}

const char* CVirtualMachine::MethodName(int32_t index) const {
    if (!m_program || index < 0 || index >= static_cast<int32_t>(m_program->methodNames.size())) return "";
    return m_program->methodNames[static_cast<size_t>(index)].c_str();
}

// ---------------------------------------------------------------------------
// Native calls, methods and members

void CVirtualMachine::CallNative(int32_t index, int32_t argCount) {
    const VmMethodSlot* slot = m_registry.Slot(index);
    const char* name = (m_program && index >= 0 && index < static_cast<int32_t>(m_program->nativeNames.size()))
                           ? m_program->nativeNames[static_cast<size_t>(index)].c_str()
                           : "";
    if (!slot || argCount < 0 || argCount > m_top - m_stack.get()) {
        Error() << "Function '" << name << "' is an unknown function.";
        return;
    }
    CallHook(BeforeCode(static_cast<int32_t>(static_cast<uint32_t>(index) | 0xFFFF0000u)));
    if (!PushVoid()) return;
    const char* savedName = m_runningName;
    m_runningName = name;
    const bool ok = CVmRegisterClass::InvokeSlot(*slot, nullptr, VM_CALL_FUNCTION, argCount);
    m_runningName = savedName;
    if (!ok || m_error) Error() << "Function '" << name << "' is an unknown function.";
    CallHook(0);
}

CVmRegisterClass* CVirtualMachine::RegistrationOf(CVmClassBase* object) {
    if (!object->m_registration) object->m_registration = FindClass(object->ClassName());
    return object->m_registration;
}

void CVirtualMachine::CallMethodOn(CVmValue* a, int32_t nameIndex, int32_t argCount) {
    const char* name = MethodName(nameIndex);
    if (a->type != VmValueType::Object || !a->asObject) {
        Error() << "Uncorrect use of method '" << name
                << "'. The variable is neither an object nor a vector. The requested field do not exist.";
        return;
    }
    if (argCount < 0 || argCount > m_top - m_stack.get()) argCount = 0;
    // The object is held for the time of the call: the method may drop the
    // script's last reference to it.
    CVmValue hold;
    hold.SetObject(a->asObject);
    CVmClassBase* object = hold.asObject;
    CVmRegisterClass* reg = RegistrationOf(object);
    if (!PushVoid()) return;
    if (!reg) {
        Error() << "Method '" << name << "' doesn't belong to class '" << object->ClassName() << "'.";
        return;
    }
    CallHook(BeforeCode((reg->m_classIndex << 16) | (nameIndex & 0xFFFF)));
    const char* savedName = m_runningName;
    m_runningName = name;
    const bool ok = reg->CallMethod(object, nameIndex, argCount);
    m_runningName = savedName;
    if (!ok) Error() << "Method '" << name << "' doesn't belong to class '" << reg->GetClassName() << "'.";
    CallHook(0);
}

bool CVirtualMachine::SwizzleOf(int32_t nameIndex, uint8_t components[4]) const {
    if (nameIndex < 0 || nameIndex >= static_cast<int32_t>(m_swizzles.size())) return false;
    const int32_t packed = m_swizzles[static_cast<size_t>(nameIndex)];
    if (packed == -1) return false;
    for (int i = 0; i < 4; ++i) components[i] = static_cast<uint8_t>(static_cast<uint32_t>(packed) >> (8 * i));
    return true;
}

void CVirtualMachine::ReadMember(CVmValue* a, int32_t nameIndex, CVmValue* t) {
    const char* name = MethodName(nameIndex);
    if (a->type == VmValueType::Object && a->asObject) {
        CVmValue hold;
        hold.SetObject(a->asObject);
        CVmRegisterClass* reg = RegistrationOf(hold.asObject);
        if (!PushVoid()) return;
        CVmValue* slot = m_top;
        const char* savedName = m_runningName;
        m_runningName = name;
        const bool ok = reg && reg->CallGet(hold.asObject, nameIndex);
        m_runningName = savedName;
        if (ok)
            t->Move(*slot);
        else
            Error() << "Member '" << name << "' doesn't belong to class '"
                    << (reg ? reg->GetClassName() : hold.asObject->ClassName()) << "'.";
        PopTo(slot - 1);
        return;
    }
    if (a->type == VmValueType::Vector) {
        uint8_t c[4];
        if (!SwizzleOf(nameIndex, c)) {
            Error() << " Variable is a vector and '" << name << "' is a invalid swizzle name.";
            return;
        }
        float out[4];
        int n = 0;
        for (; n < 4 && c[n] != 255; ++n) {
            if (c[n] == 0) {
                out[n] = 0.0f;
            } else if (c[n] > a->asVector->count) {
                Error() << " Swizzle '" << name << "' not valid to access the vector";
                return;
            } else {
                out[n] = a->asVector->data[c[n] - 1];
            }
        }
        if (n == 1)
            t->SetReal(out[0]);
        else
            t->SetVector(out, n);
        return;
    }
    Error() << " '" << name << "'. The variable is neither an object nor a vector. The requested field do not exist.";
}

void CVirtualMachine::WriteMember(CVmValue* a, int32_t nameIndex, CVmValue* t) {
    const char* name = MethodName(nameIndex);
    if (t->type == VmValueType::Object && t->asObject) {
        CVmValue hold;
        hold.SetObject(t->asObject);
        CVmRegisterClass* reg = RegistrationOf(hold.asObject);
        CVmValue* base = m_top;
        if (!Push(*a) || !PushVoid()) {
            PopTo(base);
            return;
        }
        const char* savedName = m_runningName;
        m_runningName = name;
        const bool ok = reg && reg->CallSet(hold.asObject, nameIndex);
        m_runningName = savedName;
        if (!ok)
            Error() << "Member '" << name << "' doesn't belong to class '"
                    << (reg ? reg->GetClassName() : hold.asObject->ClassName()) << "'.";
        PopTo(base);
        return;
    }
    if (t->type == VmValueType::Vector) {
        uint8_t c[4];
        if (!SwizzleOf(nameIndex, c)) {
            Error() << " Variable is a vector and '" << name << "' is a invalid swizzle name.";
            return;
        }
        float source[4];
        int sourceCount;
        if (a->type == VmValueType::Vector) {
            sourceCount = a->asVector->count < 4 ? a->asVector->count : 4;
            for (int i = 0; i < sourceCount; ++i) source[i] = a->asVector->data[i];
            if (a->asVector->count > 4) sourceCount = a->asVector->count;  // counted for the mismatch check
        } else if (IsNumber(a)) {
            source[0] = AsFloat(a);
            sourceCount = 1;
        } else {
            Error() << "incorrect vector assignment.";
            return;
        }
        int n = 0;
        while (n < 4 && c[n] != 255) ++n;
        // Components are checked before anything is written, so a bad
        // swizzle leaves the vector as it was.
        for (int i = 0; i < n; ++i) {
            if (c[i] != 0 && c[i] > t->asVector->count) {
                Error() << " Swizzle '" << name << "' not valid to access the vector";
                return;
            }
        }
        if (n != sourceCount) {
            Error() << "incorrect number of component in vector assignment.";
            return;
        }
        for (int i = 0; i < n; ++i)
            if (c[i] != 0) t->asVector->data[c[i] - 1] = source[i];
        return;
    }
    Error() << " '" << name << "'. The variable is neither an object nor a vector. The requested field do not exist.";
}

void CVirtualMachine::BasePart(const CVmValue* a, int32_t declIndex, CVmValue* t) {
    const char* className =
        (m_program && declIndex >= 0 && declIndex < static_cast<int32_t>(m_program->classes.size()))
            ? m_program->classes[static_cast<size_t>(declIndex)].name.c_str()
            : "";
    if (a->type != VmValueType::Object || !a->asObject) {
        Error() << "ITA: la variabile dopo '" << className << "::' non \xE8 un  oggetto";
        return;
    }
    CVmClassBase* part = a->asObject->PartForClass(declIndex);
    if (!part) {
        Error() << "ITA:'" << className << "' non \xE8 una classe base di '" << a->asObject->ClassName() << "'";
        return;
    }
    t->SetObject(part);
}

// ---------------------------------------------------------------------------
// Indexing and arrays

void CVirtualMachine::ReadIndex(const CVmValue* a, const CVmValue* b, CVmValue* t) {
    int32_t n = -1;
    if (IsNumber(b)) {
        n = b->type == VmValueType::Integer ? b->asInt : VmTruncate(b->asReal);
    } else {
        ReportTypeMismatch(a, b, t);
        return;
    }
    switch (a->type) {
    case VmValueType::String: {
        const char c = (n >= 0 && n < a->asString->Length()) ? a->asString->data[n] : '\0';
        t->SetString(&c, 1);
        break;
    }
    case VmValueType::Array:
        if (n < 0 || n >= a->asArray->count)
            Error() << "Index " << n << " not valid to access the array";
        else
            t->Assign(a->asArray->items[n]);
        break;
    case VmValueType::Vector:
        t->SetReal(a->asVector->GetAt(n));
        break;
    default:
        ReportTypeMismatch(a, b, t);
        break;
    }
}

void CVirtualMachine::WriteIndex(const CVmValue* a, const CVmValue* b, CVmValue* t) {
    if (!IsNumber(b)) {
        ReportTypeMismatch(a, b, t);
        return;
    }
    const int32_t n = b->type == VmValueType::Integer ? b->asInt : VmTruncate(b->asReal);
    switch (t->type) {
    case VmValueType::String: {
        int32_t code;
        if (a->type == VmValueType::Integer)
            code = a->asInt;
        else if (a->type == VmValueType::Real)
            code = VmTruncate(a->asReal);
        else if (a->type == VmValueType::String)
            code = a->asString->Length() ? static_cast<unsigned char>(a->asString->data[0]) : 0;
        else {
            Error() << "not possible to assign a value '" << VmTypeName(a->type) << "' to string.";
            return;
        }
        if (code < 0 || code > 255) {
            Error() << "cannot assign ASCII value " << code << ".";
            return;
        }
        if (n >= 0 && n < t->asString->Length()) t->asString->data[n] = static_cast<char>(code);
        break;
    }
    case VmValueType::Array:
        if (n < 0 || n >= t->asArray->count)
            Error() << "Index " << n << " not valid to access the array";
        else
            t->asArray->items[n].Assign(*a);
        break;
    case VmValueType::Vector:
        if (!IsNumber(a)) {
            Error() << "not possible to assign a value '" << VmTypeName(a->type) << "' to vector.";
            return;
        }
        if (n >= 0 && n < t->asVector->count) t->asVector->data[n] = AsFloat(a);
        break;
    default:
        ReportTypeMismatch(a, b, t);
        break;
    }
}

void CVirtualMachine::ArrayOperation(int opcode, const CVmValue* a, CVmValue* t) {
    if (t->type != VmValueType::Array || !t->asArray) {
        ReportTypeMismatch(a, nullptr, t);
        return;
    }
    CVmArray* arr = t->asArray;
    if (opcode == OP_ARRAY_APPEND) {
        if (arr->count >= CVmArray::kMaxCount) {
            Error() << "The size " << arr->count << " is too large.";
            return;
        }
        arr->Append(*a);
        return;
    }
    int32_t n;
    if (!ReadCount(a, n)) return;
    if (opcode == OP_ARRAY_REMOVE) {
        // Held while the element goes: releasing it may release the array.
        CVmValue hold;
        hold.SetArray(arr);
        arr->RemoveAt(n);
        return;
    }
    if (n < 0) n = 0;
    if (n > kMaxCreatedSize) {
        Error() << "The size " << n << " is too large.";
        return;
    }
    CVmValue hold;
    hold.SetArray(arr);
    arr->Resize(n);
}

// ---------------------------------------------------------------------------
// Arithmetic and comparisons

void CVirtualMachine::DivisionByZero() {
    if (StringForId(2002))
        ErrorMsg(2002);
    else
        Error() << "Division by zero";
}

bool CVirtualMachine::Arithmetic(int opcode, const CVmValue* left, const CVmValue* right, CVmValue* target,
                                 const CVmValue* a, const CVmValue* b, const CVmValue* t) {
    const VmValueType lt = left->type, rt = right->type;
    const bool ints = lt == VmValueType::Integer && rt == VmValueType::Integer;
    const bool nums = IsNumber(left) && IsNumber(right);
    switch (opcode) {
    case OP_ADD_TO:
    case OP_ADD:
        if (ints) return target->SetInteger(VmWrap(static_cast<int64_t>(left->asInt) + right->asInt)), true;
        if (nums) return target->SetReal(AsFloat(left) + AsFloat(right)), true;
        if (lt == VmValueType::String && rt == VmValueType::String) {
            if (target == left) {
                target->asString->Append(*right->asString);
            } else {
                CVmString s;
                s.InitConcat(*left->asString, *right->asString);
                target->AdoptString(s);
            }
            return true;
        }
        if (lt == VmValueType::Vector && rt == VmValueType::Vector)
            return VectorResult(left, target, [&](CVmVector& v) { v.Add(*right->asVector); }), true;
        break;
    case OP_SUB_FROM:
    case OP_SUB:
        if (ints) return target->SetInteger(VmWrap(static_cast<int64_t>(left->asInt) - right->asInt)), true;
        if (nums) return target->SetReal(AsFloat(left) - AsFloat(right)), true;
        if (lt == VmValueType::Vector && rt == VmValueType::Vector)
            return VectorResult(left, target, [&](CVmVector& v) { v.Sub(*right->asVector); }), true;
        break;
    case OP_MUL_BY:
    case OP_MUL:
        if (ints) return target->SetInteger(VmWrap(static_cast<int64_t>(left->asInt) * right->asInt)), true;
        if (nums) return target->SetReal(AsFloat(left) * AsFloat(right)), true;
        if (lt == VmValueType::Vector && IsNumber(right))
            return VectorResult(left, target, [&](CVmVector& v) { v.Scale(AsFloat(right)); }), true;
        if (IsNumber(left) && rt == VmValueType::Vector)
            return VectorResult(right, target, [&](CVmVector& v) { v.Scale(AsFloat(left)); }), true;
        if (lt == VmValueType::Vector && rt == VmValueType::Vector)
            return target->SetReal(left->asVector->Dot(*right->asVector)), true;
        break;
    case OP_DIV_BY:
    case OP_DIV:
        if (ints) {
            if (right->asInt == 0) return DivisionByZero(), true;
            if (right->asInt == -1) return target->SetInteger(VmWrap(-static_cast<int64_t>(left->asInt))), true;
            return target->SetInteger(left->asInt / right->asInt), true;
        }
        if (nums) return target->SetReal(AsFloat(left) / AsFloat(right)), true;
        if (lt == VmValueType::Vector && IsNumber(right)) {
            const float inverse = 1.0f / AsFloat(right);
            return VectorResult(left, target, [&](CVmVector& v) { v.Scale(inverse); }), true;
        }
        break;
    case OP_MOD_BY:
    case OP_MOD:
        if (ints) {
            if (right->asInt == 0) return DivisionByZero(), true;
            if (right->asInt == -1) return target->SetInteger(0), true;
            return target->SetInteger(left->asInt % right->asInt), true;
        }
        if (nums) return target->SetReal(static_cast<float>(std::fmod(AsDouble(left), AsDouble(right)))), true;
        break;
    case OP_OR_WITH:
    case OP_OR:
        if (ints) return target->SetInteger(left->asInt | right->asInt), true;
        break;
    case OP_AND_WITH:
    case OP_AND:
        if (ints) return target->SetInteger(left->asInt & right->asInt), true;
        break;
    case OP_POW_BY:
    case OP_POW:
        if (nums) return target->SetReal(static_cast<float>(std::pow(AsDouble(left), AsDouble(right)))), true;
        if (lt == VmValueType::Vector && rt == VmValueType::Vector)
            return VectorResult(left, target, [&](CVmVector& v) { v.Cross(*right->asVector); }), true;
        break;
    default:
        break;
    }
    ReportTypeMismatch(a, b, t);
    return false;
}

int CVirtualMachine::Compare(int opcode, const CVmValue* a, const CVmValue* b) {
    const bool equalityOnly = opcode == OP_JUMP_EQ || opcode == OP_JUMP_NE;
    int order;  // -1, 0, 1 as a compared with b
    bool equal;
    if (IsNumber(a) && IsNumber(b)) {
        const double x = AsDouble(a), y = AsDouble(b);
        order = x < y ? -1 : (x > y ? 1 : 0);
        equal = x == y;
    } else if (a->type == VmValueType::String && b->type == VmValueType::String) {
        order = a->asString->Compare(*b->asString, false);
        equal = order == 0;
    } else if (!equalityOnly) {
        return -1;
    } else if (a->type == VmValueType::Bool && b->type == VmValueType::Bool) {
        equal = (a->asBool != 0) == (b->asBool != 0);
        order = 0;
    } else if (a->type == VmValueType::Vector && b->type == VmValueType::Vector) {
        if (a->asVector->count != b->asVector->count) return -1;
        equal = true;
        for (int32_t i = 0; i < a->asVector->count && equal; ++i) equal = a->asVector->data[i] == b->asVector->data[i];
        order = 0;
    } else if (a->type == VmValueType::Object && b->type == VmValueType::Object) {
        equal = a->asObject == b->asObject;
        order = 0;
    } else if (a->type == VmValueType::Object && b->type == VmValueType::Void) {
        equal = false;
        order = 0;
    } else {
        return -1;
    }
    switch (opcode) {
    case OP_JUMP_EQ: return equal ? 1 : 0;
    case OP_JUMP_NE: return equal ? 0 : 1;
    case OP_JUMP_LT: return order < 0 ? 1 : 0;
    case OP_JUMP_GT: return order > 0 ? 1 : 0;
    case OP_JUMP_LE: return order <= 0 ? 1 : 0;
    default: return order >= 0 ? 1 : 0;
    }
}

// ---------------------------------------------------------------------------
// Built-in functions

namespace {

// VAL reads numbers the same way whatever the process locale is.
double ParseNumber(const char* text) {
    static locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    char* end = nullptr;
    const double d = strtod_l(text, &end, c);
    return end == text ? 0.0 : d;
}

}  // namespace

bool CVirtualMachine::BuiltIn(int opcode, const CVmValue* a, const CVmValue* b, CVmValue* t) {
    switch (opcode) {
    case OP_SIN:
    case OP_COS:
    case OP_TAN:
    case OP_LOG:
    case OP_ASIN:
    case OP_ACOS:
    case OP_ATAN:
    case OP_LN:
    case OP_SQRT: {
        if (!IsNumber(a)) break;
        const double x = AsDouble(a);
        double r = 0;
        switch (opcode) {
        case OP_SIN: r = std::sin(x); break;
        case OP_COS: r = std::cos(x); break;
        case OP_TAN: r = std::tan(x); break;
        case OP_LOG: r = std::log10(x); break;
        case OP_ASIN: r = std::asin(x); break;
        case OP_ACOS: r = std::acos(x); break;
        case OP_ATAN: r = std::atan(x); break;
        case OP_LN: r = std::log(x); break;
        default: r = std::sqrt(x); break;
        }
        t->SetReal(static_cast<float>(r));
        return true;
    }
    case OP_LEN:
        if (a->type == VmValueType::String) return t->SetInteger(a->asString->Length()), true;
        if (a->type == VmValueType::Vector) return t->SetInteger(a->asVector->count), true;
        if (a->type == VmValueType::Array) return t->SetInteger(a->asArray ? a->asArray->count : 0), true;
        break;
    case OP_INT:
        if (a->type == VmValueType::Integer) return t->SetInteger(a->asInt), true;
        if (a->type == VmValueType::Real) return t->SetInteger(VmTruncate(a->asReal)), true;
        break;
    case OP_VAL:
        if (a->type == VmValueType::String) return t->SetReal(static_cast<float>(ParseNumber(a->asString->CStr()))), true;
        break;
    case OP_TYPE_LETTER: {
        const char* letter;
        switch (a->type) {
        case VmValueType::Void: letter = ""; break;
        case VmValueType::Integer: letter = "I"; break;
        case VmValueType::Real: letter = "R"; break;
        case VmValueType::Bool: letter = "B"; break;
        case VmValueType::String:
        case VmValueType::VmRifStr: letter = "S"; break;
        case VmValueType::Array: letter = "A"; break;
        case VmValueType::Vector: letter = "V"; break;
        case VmValueType::Object: letter = "O"; break;
        default: letter = "?"; break;
        }
        t->SetString(letter);
        return true;
    }
    case OP_STR: {
        char buf[64];
        if (a->type == VmValueType::Integer) {
            std::snprintf(buf, sizeof buf, "%d", a->asInt);
            t->SetString(buf);
            return true;
        }
        if (a->type == VmValueType::Real) {
            std::snprintf(buf, sizeof buf, "%g", static_cast<double>(a->asReal));
            t->SetString(buf);
            return true;
        }
        if (a->type == VmValueType::Vector) {
            std::string text = "[ ";
            for (int32_t i = 0; i < a->asVector->count; ++i) {
                if (i) text += ", ";
                std::snprintf(buf, sizeof buf, "%g", static_cast<double>(a->asVector->data[i]));
                text += buf;
            }
            text += " ]";
            t->SetString(text.c_str(), static_cast<int32_t>(text.size()));
            return true;
        }
        break;
    }
    case OP_UPPER:
    case OP_LOWER:
        if (a->type == VmValueType::String) {
            CVmValue copy;
            copy.SetStringCopy(*a->asString);
            if (opcode == OP_UPPER)
                copy.asString->MakeUpper();
            else
                copy.asString->MakeLower();
            t->Move(copy);
            return true;
        }
        break;
    case OP_SPACE:
    case OP_VECTOR:
    case OP_ARRAY:
    case OP_VECTOR_INT: {
        int32_t n;
        if (!ReadCount(a, n)) return false;
        if (n < 0) n = 0;
        if (n > kMaxCreatedSize) {
            Error() << "The size " << n << " is too large.";
            return false;
        }
        if (opcode == OP_SPACE) {
            CVmString s;
            s.InitCount(n);
            t->AdoptString(s);
        } else if (opcode == OP_VECTOR) {
            CVmValue v;
            v.SetType(VmValueType::Vector);
            v.asVector->Init(n, 0);
            t->Move(v);
        } else if (opcode == OP_ARRAY) {
            t->SetArray(new CVmArray(n));
        } else {
            std::vector<int32_t> zeros(static_cast<size_t>(n), 0);
            t->SetVectorInt(zeros.data(), n);
        }
        return true;
    }
    case OP_LEFT:
    case OP_RIGHT: {
        if (a->type != VmValueType::String || !IsNumber(b)) break;
        int32_t n = b->type == VmValueType::Integer ? b->asInt : VmTruncate(b->asReal);
        const int32_t len = a->asString->Length();
        if (n < 0) n = 0;
        if (n > len) n = len;
        const char* from = a->asString->CStr() + (opcode == OP_LEFT ? 0 : len - n);
        t->SetString(from, n);
        return true;
    }
    case OP_ASC:
        if (a->type == VmValueType::String)
            return t->SetInteger(a->asString->Length() ? static_cast<unsigned char>(a->asString->data[0]) : 0), true;
        break;
    case OP_CHAR: {
        int32_t n;
        if (!IsNumber(a)) break;
        n = a->type == VmValueType::Integer ? a->asInt : VmTruncate(a->asReal);
        const char c = static_cast<char>(n & 0xFF);
        t->SetString(&c, 1);
        return true;
    }
    case OP_MODULUS:
        if (a->type == VmValueType::Vector) return t->SetReal(a->asVector->Norm()), true;
        break;
    default:
        break;
    }
    ReportTypeMismatch(a, b, t);
    return false;
}
