// Run-time errors and warnings: the prefixes, message ids, the type-mismatch
// report and the call-stack listing.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "VirtualMachine.h"

std::ostream& CVirtualMachine::Error(int32_t lineMode) {
    if (m_debugger && m_evaluating) {
        m_error = true;
        *m_out << "\nVirtualMachine ERROR while evaluating expression: ";
        return *m_out;
    }
    m_stop = true;
    m_error = true;
    *m_out << "\nVirtualMachine ERROR ";
    if (lineMode == -1)
        *m_out << "(line " << GetCurrentLine() << "): ";
    else
        *m_out << ": ";
    return *m_out;
}

std::ostream& CVirtualMachine::Warning(int32_t lineMode) {
    if (m_quiet) return m_nullStream;
    *m_out << "\nVirtualMachine WARNING ";
    if (lineMode == -1)
        *m_out << "(line " << GetCurrentLine() << "): ";
    else
        *m_out << ": ";
    return *m_out;
}

const char* CVirtualMachine::FormatMessage(int32_t id, va_list args) {
    const char* text = StringForId(id);
    if (!text) {
        m_message[0] = '\0';
        return m_message;
    }
    // vsnprintf cuts what does not fit and always terminates.
    std::vsnprintf(m_message, sizeof m_message, text, args);
    return m_message;
}

void CVirtualMachine::ErrorMsg(int32_t id, ...) {
    va_list args;
    va_start(args, id);
    const char* text = FormatMessage(id, args);
    va_end(args);
    Error(-1) << text;
}

void CVirtualMachine::WarningMsg(int32_t id, ...) {
    if (m_quiet) return;
    va_list args;
    va_start(args, id);
    const char* text = FormatMessage(id, args);
    va_end(args);
    Warning(-1) << text;
}

namespace {

std::ostream& DiscardStream() {
    static std::ostream discard(nullptr);
    return discard;
}

void WriteValueLine(std::ostream& os, const char* head, const CVmValue* v) {
    os << head << v;
    if (v && v->IsVoid()) os << " (Variable is unitialized)";
}

const char* TypeNameOf(const CVmValue* v) { return v ? VmTypeName(v->type) : "Void"; }

}  // namespace

std::ostream& VmErrorStream() {
    CVirtualMachine* vm = g_currentVM;
    if (!vm) return DiscardStream();
    std::ostream& os = vm->Error(-1);
    os << (vm->RunningCallName() ? vm->RunningCallName() : "***") << ": ";
    return os;
}

void VmErrorMsg(int32_t id, ...) {
    CVirtualMachine* vm = g_currentVM;
    if (!vm) return;
    va_list args;
    va_start(args, id);
    const std::string text = vm->FormatMessage(id, args);
    va_end(args);
    VmErrorStream() << text;
}

void VmWarningMsg(CVmRegisterClass* registration, int32_t id, ...) {
    CVirtualMachine* vm = g_currentVM;
    if (!vm || vm->IsQuiet()) return;
    va_list args;
    va_start(args, id);
    const std::string text = vm->FormatMessage(id, args);
    va_end(args);
    if (registration)
        registration->WarningStream() << text;
    else
        vm->Warning(-1) << text;
}

void CVirtualMachine::ReportTypeMismatch(const CVmValue* a, const CVmValue* b, const CVmValue* t) {
    const int opcode = (m_currentIp >= 0 && m_currentIp < m_codeCount) ? m_code[m_currentIp].opcode : -1;
    std::ostream& os = Error(-1);
    os << "Valid operation but uncompatible data types:\n\t";
    const char* label = VmOpcodeInfoOf(opcode).label;

    const CVmValue* v1 = nullptr;
    const CVmValue* v2 = nullptr;
    if (opcode >= OP_ADD_TO && opcode <= OP_POW) {
        v1 = a;
        v2 = (opcode % 2 == 1) ? t : b;
    } else if ((opcode >= OP_JUMP_EQ && opcode <= OP_JUMP_GE) || opcode == OP_INDEX_READ) {
        v1 = a;
        v2 = b;
    } else if (opcode == OP_INDEX_WRITE) {
        v1 = t;
        v2 = b;
    }
    if (v1 || v2) {
        os << "Type1:" << TypeNameOf(v1) << label << "Type2:" << TypeNameOf(v2) << "\n";
        WriteValueLine(os, "\n\tVal1: ", v1);
        WriteValueLine(os, "\n\tVal2: ", v2);
        if (opcode == OP_INDEX_READ || opcode == OP_INDEX_WRITE) os << "]";
        return;
    }
    switch (opcode) {
    case OP_INC:
    case OP_DEC:
        os << "Type1:" << TypeNameOf(a) << label << "\n";
        WriteValueLine(os, "\n\tVal1: ", a);
        return;
    case OP_NEG:
    case OP_NOT:
        os << label << "Type2:" << TypeNameOf(t) << "\n";
        WriteValueLine(os, "\n\tVal2: ", t);
        return;
    case OP_JUMP_TRUE:
    case OP_JUMP_FALSE:
        os << label << "Type2:" << TypeNameOf(a) << "\n";
        WriteValueLine(os, "\n\tVal2: ", a);
        return;
    default:
        break;
    }
    const bool function = (opcode >= OP_SIN && opcode <= OP_VAL) || (opcode >= OP_STR && opcode <= OP_CHAR) ||
                          (opcode >= OP_VECTOR && opcode <= OP_ARRAY);
    if (!function) return;
    const bool twoArgs = opcode == OP_LEFT || opcode == OP_RIGHT;
    os << label << "( " << "Type1:" << TypeNameOf(a);
    if (twoArgs) os << " , " << "Type:<" << TypeNameOf(b);
    os << " ) \n";
    WriteValueLine(os, "\n\tVal1: ", a);
    if (twoArgs) WriteValueLine(os, "\n\tVal2: ", b);
}

void CVirtualMachine::WriteCallStack() {
    struct Range {
        int32_t start;
        std::string name;
    };
    std::vector<Range> ranges;
    ranges.push_back({0, "___INIT___"});
    if (m_program) {
        for (const VmFunctionRecord& f : m_program->functions) ranges.push_back({f.start, f.name});
        for (const VmClassDeclaration& c : m_program->classes) {
            for (const VmClassMethodDecl& m : c.methods) {
                std::string method = m.name;
                size_t drop = 0;
                while (drop < 2 && drop < method.size() && method[drop] == '$') ++drop;
                ranges.push_back({m.start, c.name + "::" + method.substr(drop)});
            }
        }
    }
    ranges.push_back({m_codeCount + 1, "___END___"});
    std::stable_sort(ranges.begin(), ranges.end(), [](const Range& x, const Range& y) { return x.start < y.start; });

    std::ostream& os = *m_out;
    os << "\n\nCall stack: " << "\n------------------";
    // The walk uses copies: the machine's own registers stay as they are, so
    // an error inside a nested run leaves the outer run intact.
    int32_t ip = m_ip;
    const CVmValue* frame = m_frame;
    int listed = 0;
    bool more = true;
    while (more && listed < kMaxListedFrames) {
        const int32_t at = ip > 0 ? ip - 1 : 0;
        auto it = std::upper_bound(ranges.begin(), ranges.end(), at,
                                   [](int32_t v, const Range& r) { return v < r.start; });
        const char* name = it == ranges.begin() ? "___INIT___" : (it - 1)->name.c_str();
        const int32_t line = LineAt(ip);
        os << "\nCalled from: " << name << "(" << line << ")";
        if (listed == 0) m_lastListingLine = line;
        ++listed;
        if (!frame || frame->type != VmValueType::VmStatus) break;
        ip = frame->asWords[0];
        const int32_t savedFrame = frame->asWords[1];
        if (ip == -1 || savedFrame < 0 || savedFrame >= kMaxStackSlots) {
            more = false;
            break;
        }
        frame = m_stack.get() + savedFrame;
    }
    if (more && listed >= kMaxListedFrames) os << "\n . . .";
    os << "\n------------------" << "\n";
    os.flush();
}
