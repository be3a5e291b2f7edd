// The run loop: one case per opcode, operands resolved from the decoded
// instruction, everything slow (type rules beyond the common pairs, errors,
// calls into native code) out of line in VmOperations.cpp.
#include <cstring>

#include "VirtualMachine.h"

namespace {

// Integer arithmetic wraps like the 32-bit machine it was written for,
// without the undefined behaviour of signed overflow.
inline int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

}  // namespace

// Operand k of the running instruction. A frame slot outside the stack is a
// run-time error; the handler then works on a scratch value.
#define OPERAND(k) ResolveOperand(in.op[k], in)
#define A OPERAND(0)
#define B OPERAND(1)
#define T OPERAND(2)

inline CVmValue* CVirtualMachine::ResolveOperand(const VmOperand& o, VmInstruction& in) {
    switch (o.kind) {
    case VmOperandKind::Local: {
        CVmValue* p = m_frame + o.index;
        if (static_cast<size_t>(p - m_stack.get()) >= static_cast<size_t>(kMaxStackSlots)) return ReportBadLocal(o.index);
        return p;
    }
    case VmOperandKind::Global:
        return m_globals + o.index;
    case VmOperandKind::Value:
        return &in.value;
    case VmOperandKind::Temp1:
        m_temp1.SetInteger(o.index);
        return &m_temp1;
    case VmOperandKind::Temp2:
        m_temp2.SetInteger(o.index);
        return &m_temp2;
    default:
        return nullptr;
    }
}

void CVirtualMachine::Run() {
    while (!m_stop) {
        if (static_cast<uint32_t>(m_ip) >= static_cast<uint32_t>(m_codeCount)) {
            Error() << "FatalError! OP CODE UNSUPPORTED";
            break;
        }
        m_currentIp = m_ip;
        VmInstruction& in = m_code[m_ip];
        if (m_stepHook) m_stepHook(m_ip, this);
        ++m_ip;
        Execute(in);
        if (m_debugger && !m_stepHook) DebuggerPoll();
    }
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
}

void CVirtualMachine::StepInstruction() {
    if (static_cast<uint32_t>(m_ip) >= static_cast<uint32_t>(m_codeCount)) {
        Error() << "FatalError! OP CODE UNSUPPORTED";
        return;
    }
    m_currentIp = m_ip;
    VmInstruction& in = m_code[m_ip];
    if (m_stepHook) m_stepHook(m_ip, this);
    ++m_ip;
    Execute(in);
}

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

void CVirtualMachine::Execute(VmInstruction& in) {
    switch (in.dispatch) {
    case OP_POP_INTO: {
        CVmValue* a = A;
        a->Move(*m_top);
        PopTo(m_top - 1);
        break;
    }
    case OP_POP: {
        int32_t n;
        if (!ReadCount(A, n)) break;
        if (n < 0 || n > m_top - m_stack.get()) {
            Error() << "stack underflow.";
            break;
        }
        PopTo(m_top - n);
        break;
    }
    case OP_PUSH: {
        CVmValue* a = A;
        if (!GrowFor(m_top + 1)) break;
        ++m_top;
        m_top->Assign(*a);
        break;
    }
    case OP_NOP3:
    case OP_NOP67:
    case OP_NOP77:
        break;
    case OP_RESERVE: {
        int32_t n;
        if (!ReadCount(A, n)) break;
        if (n <= 0) break;
        if (n > kMaxStackSlots || !GrowFor(m_top + n)) {
            if (n > kMaxStackSlots) Error() << "stack overflow.";
            break;
        }
        for (int32_t i = 0; i < n; ++i) (++m_top)->SetVoid();
        break;
    }
    case OP_CALL: {
        const CVmValue* a = A;
        const int32_t start = a->asInt;
        if (a->type != VmValueType::Integer || static_cast<uint32_t>(start) >= static_cast<uint32_t>(m_codeCount)) {
            Error() << "Invalid call target " << start << ".";
            break;
        }
        CallHook(BeforeCode(start & 0xFFFF));
        EnterCall(start, false);
        break;
    }
    case OP_CALL_NATIVE: {
        const int32_t index = A->asInt;
        const int32_t argc = T->asInt;
        CallNative(index, argc);
        break;
    }
    case OP_RETURN: {
        CVmValue* a = in.op[0].kind == VmOperandKind::Null ? nullptr : A;
        Return(a);
        break;
    }
    case OP_COPY: {
        CVmValue* a = A;
        T->Assign(*a);
        break;
    }
    case OP_ADD_TO: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer && t->type == VmValueType::Integer)
            t->asInt = Wrap(static_cast<int64_t>(t->asInt) + a->asInt);
        else if (a->type == VmValueType::Real && t->type == VmValueType::Real)
            t->asReal += a->asReal;
        else
            Arithmetic(in.opcode, t, a, t, a, nullptr, t);
        break;
    }
    case OP_ADD: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
            t->SetInteger(Wrap(static_cast<int64_t>(a->asInt) + b->asInt));
        else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
            t->SetReal(a->asReal + b->asReal);
        else
            Arithmetic(in.opcode, a, b, t, a, b, t);
        break;
    }
    case OP_SUB_FROM: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer && t->type == VmValueType::Integer)
            t->asInt = Wrap(static_cast<int64_t>(t->asInt) - a->asInt);
        else
            Arithmetic(in.opcode, t, a, t, a, nullptr, t);
        break;
    }
    case OP_SUB: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
            t->SetInteger(Wrap(static_cast<int64_t>(a->asInt) - b->asInt));
        else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
            t->SetReal(a->asReal - b->asReal);
        else
            Arithmetic(in.opcode, a, b, t, a, b, t);
        break;
    }
    case OP_MUL: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer && b->type == VmValueType::Integer)
            t->SetInteger(Wrap(static_cast<int64_t>(a->asInt) * b->asInt));
        else if (a->type == VmValueType::Real && b->type == VmValueType::Real)
            t->SetReal(a->asReal * b->asReal);
        else
            Arithmetic(in.opcode, a, b, t, a, b, t);
        break;
    }
    case OP_MUL_BY:
    case OP_DIV_BY:
    case OP_MOD_BY:
    case OP_OR_WITH:
    case OP_AND_WITH:
    case OP_POW_BY: {
        CVmValue* a = A;
        CVmValue* t = T;
        Arithmetic(in.opcode, t, a, t, a, nullptr, t);
        break;
    }
    case OP_DIV:
    case OP_MOD:
    case OP_OR:
    case OP_AND:
    case OP_POW: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        Arithmetic(in.opcode, a, b, t, a, b, t);
        break;
    }
    case OP_INC:
    case OP_DEC: {
        CVmValue* a = A;
        const int32_t step = in.opcode == OP_INC ? 1 : -1;
        if (a->type == VmValueType::Integer)
            a->asInt = Wrap(static_cast<int64_t>(a->asInt) + step);
        else if (a->type == VmValueType::Real)
            a->asReal += static_cast<float>(step);
        else
            ReportTypeMismatch(a, nullptr, nullptr);
        break;
    }
    case OP_NEG: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer) {
            t->SetInteger(Wrap(-static_cast<int64_t>(a->asInt)));
        } else if (a->type == VmValueType::Real) {
            t->SetReal(-a->asReal);
        } else if (a->type == VmValueType::Vector) {
            t->Assign(*a);
            t->asVector.Negate();
        } else {
            ReportTypeMismatch(a, nullptr, t);
        }
        break;
    }
    case OP_NOT: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type == VmValueType::Bool)
            t->SetBool(!a->asBool);
        else
            ReportTypeMismatch(a, nullptr, t);
        break;
    }
    case OP_JUMP_EQ:
    case OP_JUMP_NE:
    case OP_JUMP_LT:
    case OP_JUMP_GT:
    case OP_JUMP_LE:
    case OP_JUMP_GE: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        int result;
        if (a->type == VmValueType::Integer && b->type == VmValueType::Integer) {
            const int32_t x = a->asInt, y = b->asInt;
            switch (in.opcode) {
            case OP_JUMP_EQ: result = x == y; break;
            case OP_JUMP_NE: result = x != y; break;
            case OP_JUMP_LT: result = x < y; break;
            case OP_JUMP_GT: result = x > y; break;
            case OP_JUMP_LE: result = x <= y; break;
            default: result = x >= y; break;
            }
        } else {
            result = Compare(in.opcode, a, b);
        }
        if (result > 0)
            Jump(t);
        else if (result < 0)
            ReportTypeMismatch(a, b, t);
        break;
    }
    case OP_JUMP_TRUE:
    case OP_JUMP_FALSE: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type != VmValueType::Bool) {
            ReportTypeMismatch(a, nullptr, t);
            break;
        }
        if ((a->asBool != 0) == (in.opcode == OP_JUMP_TRUE)) Jump(t);
        break;
    }
    case OP_JUMP:
        Jump(A);
        break;
    case OP_JUMP_VOID:
    case OP_JUMP_NOT_VOID: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->IsVoid() == (in.opcode == OP_JUMP_VOID)) Jump(t);
        break;
    }
    case OP_SET_VOID:
        A->SetVoid();
        break;
    case OP_METHOD_CALL: {
        CVmValue* a = A;
        const int32_t nameIndex = B->asInt;
        const int32_t argc = T->asInt;
        CallMethodOn(a, nameIndex, argc);
        break;
    }
    case OP_MEMBER_READ: {
        CVmValue* a = A;
        const int32_t nameIndex = B->asInt;
        ReadMember(a, nameIndex, T);
        break;
    }
    case OP_MEMBER_WRITE: {
        CVmValue* a = A;
        const int32_t nameIndex = B->asInt;
        WriteMember(a, nameIndex, T);
        break;
    }
    case OP_INDEX_READ: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        if (a->type == VmValueType::Array && b->type == VmValueType::Integer &&
            static_cast<uint32_t>(b->asInt) < static_cast<uint32_t>(a->asArray->count)) {
            t->Assign(*a->asArray->items[b->asInt]);
        } else {
            ReadIndex(a, b, t);
        }
        break;
    }
    case OP_INDEX_WRITE: {
        CVmValue* a = A;
        CVmValue* b = B;
        CVmValue* t = T;
        if (t->type == VmValueType::Array && b->type == VmValueType::Integer &&
            static_cast<uint32_t>(b->asInt) < static_cast<uint32_t>(t->asArray->count)) {
            t->asArray->items[b->asInt]->Assign(*a);
        } else {
            WriteIndex(a, b, t);
        }
        break;
    }
    case OP_ARRAY_REMOVE:
    case OP_ARRAY_RESIZE:
    case OP_ARRAY_APPEND: {
        CVmValue* a = A;
        CVmValue* t = T;
        ArrayOperation(in.opcode, a, t);
        break;
    }
    case OP_ABS: {
        CVmValue* a = A;
        CVmValue* t = T;
        if (a->type == VmValueType::Integer)
            t->SetInteger(a->asInt < 0 ? Wrap(-static_cast<int64_t>(a->asInt)) : a->asInt);
        else if (a->type == VmValueType::Real)
            t->SetReal(a->asReal < 0 ? -a->asReal : a->asReal);
        else
            ReportTypeMismatch(a, nullptr, t);
        break;
    }
    case OP_OUTPUT:
        *m_out << A;
        m_out->flush();
        break;
    case OP_BASE_PART: {
        CVmValue* a = A;
        const int32_t decl = B->asInt;
        BasePart(a, decl, T);
        break;
    }
    case OP_TRAP:
        m_debugRequest |= A->asInt;
        break;
    case OP_SIN:
    case OP_COS:
    case OP_TAN:
    case OP_LOG:
    case OP_ASIN:
    case OP_ACOS:
    case OP_ATAN:
    case OP_LN:
    case OP_SQRT:
    case OP_LEN:
    case OP_INT:
    case OP_VAL:
    case OP_TYPE_LETTER:
    case OP_STR:
    case OP_UPPER:
    case OP_LOWER:
    case OP_SPACE:
    case OP_ASC:
    case OP_CHAR:
    case OP_VECTOR:
    case OP_MODULUS:
    case OP_ARRAY:
    case OP_VECTOR_INT: {
        CVmValue* a = A;
        BuiltIn(in.opcode, a, nullptr, T);
        break;
    }
    case OP_LEFT:
    case OP_RIGHT: {
        CVmValue* a = A;
        CVmValue* b = B;
        BuiltIn(in.opcode, a, b, T);
        break;
    }
    default:
        Error() << "FatalError! OP CODE UNSUPPORTED";
        break;
    }
}

#undef A
#undef B
#undef T
#undef OPERAND
