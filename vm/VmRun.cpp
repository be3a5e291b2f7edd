// The run loop: one handler per opcode in one function, threaded: every
// handler ends with its own fetch and jump to the next handler, so each
// jump is predicted on its own. Operands are resolved from the decoded
// instruction; everything slow (type rules beyond the common pairs, errors,
// calls into native code) stays out of line in VmOperations.cpp.
#include <cstring>

#include "VirtualMachine.h"

CVmValue* CVirtualMachine::OtherOperand(const VmOperand& o) {
    switch (o.access) {
    case VmAccess::Global:
        return m_globals + o.index;
    case VmAccess::Temp1:
        m_temp1.SetInteger(o.index);
        return &m_temp1;
    case VmAccess::Temp2:
        m_temp2.SetInteger(o.index);
        return &m_temp2;
    default:
        return nullptr;
    }
}

// Operand k of the running instruction. A frame slot outside the stack is a
// run-time error; the handler then works on a scratch value.
inline __attribute__((always_inline)) CVmValue* CVirtualMachine::Operand(const VmOperand& o, VmInstruction* in,
                                                                         CVmValue* frame, CVmValue* stackBase) {
    if (__builtin_expect(o.access == VmAccess::Local, 1)) {
        CVmValue* p = reinterpret_cast<CVmValue*>(reinterpret_cast<char*>(frame) + o.offset);
        if (__builtin_expect(static_cast<size_t>(reinterpret_cast<char*>(p) - reinterpret_cast<char*>(stackBase)) >=
                                 static_cast<size_t>(kMaxStackSlots) * sizeof(CVmValue),
                             0))
            return ReportBadLocal(o.index);
        return p;
    }
    if (o.access == VmAccess::Self) return &in->self[o.self];
    return OtherOperand(o);
}

#define A Operand(in->op[0], in, frame, stackBase)
#define B Operand(in->op[1], in, frame, stackBase)
#define T Operand(in->op[2], in, frame, stackBase)

void CVirtualMachine::Run() { RunLoop<false>(); }

void CVirtualMachine::StepInstruction() { RunLoop<true>(); }

template <bool kSingleStep>
void CVirtualMachine::RunLoop() {
    static void* const kHandlers[] = {
#define VM_HANDLER_LABEL(code, name, label, reads) &&L_##name,
        VM_OPCODES(VM_HANDLER_LABEL)
#undef VM_HANDLER_LABEL
            && L_UNSUPPORTED};

    // The instruction pointer and frame base live in registers; the members
    // are written whenever these change (so errors, nested runs and the
    // debugger see them) and read back after anything that may move them.
    VmInstruction* in;
    int32_t ip = m_ip;
    CVmValue* frame = m_frame;
    CVmValue* const stackBase = m_stackBase;

// Fetches the instruction at ip and jumps to its handler.
#define FETCH()                                                                                 \
    do {                                                                                        \
        if (__builtin_expect(static_cast<uint32_t>(ip) >= static_cast<uint32_t>(m_codeCount), 0)) \
            goto fall_off;                                                                      \
        in = m_code + ip;                                                                       \
        m_currentIp = ip;                                                                       \
        m_ip = ++ip;                                                                            \
        goto* kHandlers[in->dispatch];                                                          \
    } while (0)
#define SET_IP(to) (m_ip = ip = (to))
#define SET_FRAME(f) (m_frame = frame = (f))

// After a handler: the next instruction, unless the run stops or someone
// watches (step hook, debugger, single step).
#define NEXT()                                                            \
    do {                                                                  \
        if (kSingleStep) return;                                          \
        if (__builtin_expect(m_runFlags != 0, 0)) goto after_observed;    \
        FETCH();                                                          \
    } while (0)

    if (!kSingleStep && m_stop) goto finish;
fetch_observed:
    ip = m_ip;
    frame = m_frame;
    if (m_stepHook && static_cast<uint32_t>(ip) < static_cast<uint32_t>(m_codeCount)) m_stepHook(ip, this);
    FETCH();

after_observed:
    if (m_debugger && !m_stepHook) DebuggerPoll();
    if (m_stop) goto finish;
    goto fetch_observed;

fall_off:
    Error() << "FatalError! OP CODE UNSUPPORTED";
    if (kSingleStep) return;
    goto finish;

L_UNSUPPORTED:
    Error() << "FatalError! OP CODE UNSUPPORTED";
    NEXT();

L_POP_INTO : {
    CVmValue* a = A;
    a->Move(*m_top);
    PopTo(m_top - 1);
    NEXT();
}
L_POP : {
    int32_t n;
    CVmValue* a = A;
    if (a->type == VmValueType::Integer)
        n = a->asInt;
    else if (!ReadCount(a, n))
        NEXT();
    if (__builtin_expect(n < 0 || n > m_top - m_stackBase, 0))
        Error() << "stack underflow.";
    else
        while (n-- > 0) (m_top--)->SetVoid();
    NEXT();
}
L_PUSH : {
    CVmValue* a = A;
    if (GrowFor(m_top + 1)) {
        ++m_top;
        // Scalars are copied without the copy rules.
        if (a->type == VmValueType::Integer || a->type == VmValueType::Real) {
            m_top->SetType(a->type);
            m_top->asInt = a->asInt;
        } else {
            m_top->Assign(*a);
        }
    }
    NEXT();
}
L_NOP3:
L_NOP67:
L_NOP77:
    NEXT();
L_RESERVE : {
    int32_t n;
    if (ReadCount(A, n) && n > 0) {
        if (n > kMaxStackSlots)
            Error() << "stack overflow.";
        else if (GrowFor(m_top + n))
            for (int32_t i = 0; i < n; ++i) (++m_top)->SetVoid();
    }
    NEXT();
}
L_CALL : {
    const CVmValue* a = A;
    const int32_t start = a->asInt;
    if (__builtin_expect(a->type != VmValueType::Integer ||
                             static_cast<uint32_t>(start) >= static_cast<uint32_t>(m_codeCount),
                         0)) {
        Error() << "Invalid call target " << start << ".";
        NEXT();
    }
    if (m_callHook) CallHook(BeforeCode(start & 0xFFFF));
    if (GrowFor(m_top + 1)) {
        ++m_top;
        m_top->SetStatus(ip, static_cast<int32_t>(frame - m_stackBase), 0);
        SET_FRAME(m_top);
        SET_IP(start);
    }
    NEXT();
}
L_CALL_NATIVE : {
    const int32_t index = A->asInt;
    const int32_t argc = T->asInt;
    CallNative(index, argc);
    NEXT();
}
L_RETURN : {
    CVmValue* a = in->op[0].access == VmAccess::Null ? nullptr : A;
    Return(a);
    ip = m_ip;
    frame = m_frame;
    NEXT();
}
L_COPY : {
    CVmValue* a = A;
    T->Assign(*a);
    NEXT();
}
L_ADD_TO : {
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && t->type == VmValueType::Integer)
        t->asInt = VmWrap(static_cast<int64_t>(t->asInt) + a->asInt);
    else if (a->type == VmValueType::Real && t->type == VmValueType::Real)
        t->asReal += a->asReal;
    else
        Arithmetic(in->opcode, t, a, t, a, nullptr, t);
    NEXT();
}
L_ADD : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
        t->SetInteger(VmWrap(static_cast<int64_t>(a->asInt) + b->asInt));
    else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
        t->SetReal(a->asReal + b->asReal);
    else
        Arithmetic(in->opcode, a, b, t, a, b, t);
    NEXT();
}
L_SUB_FROM : {
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && t->type == VmValueType::Integer)
        t->asInt = VmWrap(static_cast<int64_t>(t->asInt) - a->asInt);
    else
        Arithmetic(in->opcode, t, a, t, a, nullptr, t);
    NEXT();
}
L_SUB : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
        t->SetInteger(VmWrap(static_cast<int64_t>(a->asInt) - b->asInt));
    else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
        t->SetReal(a->asReal - b->asReal);
    else
        Arithmetic(in->opcode, a, b, t, a, b, t);
    NEXT();
}
L_MUL : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
        t->SetInteger(VmWrap(static_cast<int64_t>(a->asInt) * b->asInt));
    else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
        t->SetReal(a->asReal * b->asReal);
    else
        Arithmetic(in->opcode, a, b, t, a, b, t);
    NEXT();
}
L_MOD : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer && b->type == VmValueType::Integer && b->asInt > 0)
        t->SetInteger(a->asInt % b->asInt);
    else
        Arithmetic(in->opcode, a, b, t, a, b, t);
    NEXT();
}
L_MUL_BY:
L_DIV_BY:
L_MOD_BY:
L_OR_WITH:
L_AND_WITH:
L_POW_BY : {
    CVmValue* a = A;
    CVmValue* t = T;
    Arithmetic(in->opcode, t, a, t, a, nullptr, t);
    NEXT();
}
L_DIV:
L_OR:
L_AND:
L_POW : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    Arithmetic(in->opcode, a, b, t, a, b, t);
    NEXT();
}
L_INC:
L_DEC : {
    CVmValue* a = A;
    const int32_t step = in->opcode == OP_INC ? 1 : -1;
    if (a->type == VmValueType::Integer)
        a->asInt = VmWrap(static_cast<int64_t>(a->asInt) + step);
    else if (a->type == VmValueType::Real)
        a->asReal += static_cast<float>(step);
    else
        ReportTypeMismatch(a, nullptr, nullptr);
    NEXT();
}
L_NEG : {
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer) {
        t->SetInteger(VmWrap(-static_cast<int64_t>(a->asInt)));
    } else if (a->type == VmValueType::Real) {
        t->SetReal(-a->asReal);
    } else if (a->type == VmValueType::Vector) {
        t->Assign(*a);
        t->asVector->Negate();
    } else {
        ReportTypeMismatch(a, nullptr, t);
    }
    NEXT();
}
L_NOT : {
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Bool)
        t->SetBool(!a->asBool);
    else
        ReportTypeMismatch(a, nullptr, t);
    NEXT();
}

// Relational jumps: integers inline, everything else by the type rules.
#define RELATIONAL_JUMP(cmp)                                                 \
    {                                                                        \
        CVmValue* a = A;                                                     \
        CVmValue* b = B;                                                     \
        int result;                                                          \
        if (a->type == VmValueType::Integer && b->type == VmValueType::Integer) \
            result = a->asInt cmp b->asInt;                                  \
        else                                                                 \
            result = Compare(in->opcode, a, b);                              \
        if (result > 0) {                                                    \
            Jump(T);                                                         \
            ip = m_ip;                                                       \
        }                                                                    \
        else if (result < 0)                                                 \
            ReportTypeMismatch(a, b, T);                                     \
        NEXT();                                                              \
    }
L_JUMP_EQ:
    RELATIONAL_JUMP(==)
L_JUMP_NE:
    RELATIONAL_JUMP(!=)
L_JUMP_LT:
    RELATIONAL_JUMP(<)
L_JUMP_GT:
    RELATIONAL_JUMP(>)
L_JUMP_LE:
    RELATIONAL_JUMP(<=)
L_JUMP_GE:
    RELATIONAL_JUMP(>=)
#undef RELATIONAL_JUMP

L_JUMP_TRUE:
L_JUMP_FALSE : {
    CVmValue* a = A;
    if (a->type != VmValueType::Bool)
        ReportTypeMismatch(a, nullptr, T);
    else if ((a->asBool != 0) == (in->opcode == OP_JUMP_TRUE)) {
        Jump(T);
        ip = m_ip;
    }
    NEXT();
}
L_JUMP:
    Jump(A);
    ip = m_ip;
    NEXT();
L_JUMP_VOID:
L_JUMP_NOT_VOID : {
    CVmValue* a = A;
    if (a->IsVoid() == (in->opcode == OP_JUMP_VOID)) {
        Jump(T);
        ip = m_ip;
    }
    NEXT();
}
L_SET_VOID:
    A->SetVoid();
    NEXT();
L_METHOD_CALL : {
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    const int32_t argc = T->asInt;
    CallMethodOn(a, nameIndex, argc);
    NEXT();
}
L_MEMBER_READ : {
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    ReadMember(a, nameIndex, T);
    NEXT();
}
L_MEMBER_WRITE : {
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    WriteMember(a, nameIndex, T);
    NEXT();
}
L_INDEX_READ : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (a->type == VmValueType::Array && b->type == VmValueType::Integer &&
        static_cast<uint32_t>(b->asInt) < static_cast<uint32_t>(a->asArray->count))
        t->Assign(a->asArray->items[b->asInt]);
    else
        ReadIndex(a, b, t);
    NEXT();
}
L_INDEX_WRITE : {
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    if (t->type == VmValueType::Array && b->type == VmValueType::Integer &&
        static_cast<uint32_t>(b->asInt) < static_cast<uint32_t>(t->asArray->count))
        t->asArray->items[b->asInt].Assign(*a);
    else
        WriteIndex(a, b, t);
    NEXT();
}
L_ARRAY_REMOVE:
L_ARRAY_RESIZE:
L_ARRAY_APPEND : {
    CVmValue* a = A;
    ArrayOperation(in->opcode, a, T);
    NEXT();
}
L_ABS : {
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer)
        t->SetInteger(a->asInt < 0 ? VmWrap(-static_cast<int64_t>(a->asInt)) : a->asInt);
    else if (a->type == VmValueType::Real)
        t->SetReal(a->asReal < 0 ? -a->asReal : a->asReal);
    else
        ReportTypeMismatch(a, nullptr, t);
    NEXT();
}
L_OUTPUT:
    *m_out << A;
    m_out->flush();
    NEXT();
L_BASE_PART : {
    CVmValue* a = A;
    const int32_t decl = B->asInt;
    BasePart(a, decl, T);
    NEXT();
}
L_TRAP:
    m_debugRequest |= A->asInt;
    NEXT();
L_SIN:
L_COS:
L_TAN:
L_LOG:
L_ASIN:
L_ACOS:
L_ATAN:
L_LN:
L_SQRT:
L_LEN:
L_INT:
L_VAL:
L_TYPE_LETTER:
L_STR:
L_UPPER:
L_LOWER:
L_SPACE:
L_ASC:
L_CHAR:
L_VECTOR:
L_MODULUS:
L_ARRAY:
L_VECTOR_INT : {
    CVmValue* a = A;
    BuiltIn(in->opcode, a, nullptr, T);
    NEXT();
}
L_LEFT:
L_RIGHT : {
    CVmValue* a = A;
    CVmValue* b = B;
    BuiltIn(in->opcode, a, b, T);
    NEXT();
}

finish:
    if (m_debugger && m_stepHook) DebuggerPoll();
    m_stop = m_error;
    // A run nested in a native call reports its error itself; the runs it
    // returns into only stop.
    if (m_error && !m_listingWritten) {
        m_listingWritten = true;
        *m_out << "\n";
        m_out->flush();
        if (m_debugger) m_debugger->OnBreak();
        WriteCallStack();
    }
#undef NEXT
#undef FETCH
#undef SET_IP
#undef SET_FRAME
}

template void CVirtualMachine::RunLoop<false>();
template void CVirtualMachine::RunLoop<true>();

void CVirtualMachine::DebuggerPoll() {
    const int32_t requests = m_debugRequest & m_debugMask;
    if (requests & 1) {
        m_debugger->OnBreak();
    } else if (m_debugger->HasQueuedCommands()) {
        m_debugger->PollCommands();
    } else if (requests & 2) {
        m_stop = true;
    }
}

#undef A
#undef B
#undef T
