// The run loop: the whole dispatch of the machine in one function.
//
// Two ways through it share the handlers:
// - The fast way jumps from handler to handler through the address each
//   instruction carries (VmInstruction::handler), mostly specialised ones
//   (VmHandlers.h). It keeps the instruction, the frame, the code and the
//   stack in locals (the globals and embedded values, seldom as hot as a
//   call, are read through the machine) and writes the machine's
//   instruction pointers only before work that may report an error, call
//   out or run script code (SAVE_IP). Frame slots are not checked per
//   operand: the frame was checked against the slots its code uses when it
//   was entered (FrameSafe).
// - The watched way (a step hook or a debugger attached, a single step, or a
//   frame too close to the ends of the stack) runs every instruction through
//   the general handler of its opcode: the instruction pointers kept up to
//   date, the step hook before and the debugger poll after each instruction,
//   every frame slot checked.
// Instructions without a specialised handler run their general handler on
// the fast way too; it returns to the fast way through the watched fetch.
//
// Everything slow (type rules beyond the common pairs, errors, calls into
// native code) stays out of line in VmOperations.cpp.
#include <cstring>
#include <typeinfo>

#include "VirtualMachine.h"
#include "VmDeclaredClass.h"
#include "VmHandlers.h"

namespace {

// The outcome of comparing two numbers, as the relational jumps test it:
// bit 0 less, bit 1 greater, bit 2 equal.
template <class T>
inline int Order(T x, T y) {
    return int(x < y) | (int(x > y) << 1) | (int(x == y) << 2);
}

// The type and flag words of a frame marker as one: a plain call's, and the
// one a call the fast way writes.
constexpr uint64_t kMarkerHead = static_cast<uint32_t>(VmValueType::VmStatus);
constexpr uint64_t kFastMarkerHead = kMarkerHead | (static_cast<uint64_t>(kVmFrameCallerFast) << 32);

inline bool IsNumber(VmValueType t) { return static_cast<uint32_t>(t) - 2u < 2u; }

// A Real's payload. A function of its own: the run loop's frame stays small
// when nothing is optimised (the loop nests in native calls).
inline uint32_t RealBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// 32-bit division of |v| by the divisor whose reciprocal is magic (see
// VmLink.cpp): the quotient, without a hardware divide.
inline uint32_t DivideByMagic(uint32_t u, uint64_t magic) {
    return static_cast<uint32_t>((static_cast<unsigned __int128>(magic) * u) >> 64);
}

}  // namespace

std::atomic<const void* const*> CVirtualMachine::s_generalHandlers{nullptr};
std::atomic<const void* const*> CVirtualMachine::s_fastHandlers{nullptr};

// The run loop's first call, made without a machine, publishes its handler
// addresses.
void CVirtualMachine::PublishHandlers() {
    static const bool published = (Execute(nullptr, false), true);
    (void)published;
}

void CVirtualMachine::Run() { Execute(this, false); }

void CVirtualMachine::StepInstruction() { Execute(this, true); }

// Operand k of the running instruction, for the general handlers. A frame
// slot outside the stack is a run-time error; the handler then works on a
// scratch value.
CVmValue* CVirtualMachine::GeneralOperand(int k, const VmInstruction* in, CVmValue* frame) {
    const VmModeInfo* info = VmModeInfoOf(in->mode);
    const int32_t f = in->field[k];
    switch (info ? info->kind[k] : VmOperandKind::Null) {
    case VmOperandKind::Local: {
        const int64_t slot = (frame - m_stackBase) + f / static_cast<int32_t>(sizeof(CVmValue));
        if (slot < 0 || slot >= kMaxStackSlots) return ReportBadLocal(f / static_cast<int32_t>(sizeof(CVmValue)));
        return m_stackBase + slot;
    }
    case VmOperandKind::Global:
        return m_globals + f / static_cast<int32_t>(sizeof(CVmValue));
    case VmOperandKind::Value:
        return m_values + f / static_cast<int32_t>(sizeof(CVmValue));
    case VmOperandKind::Temp1:
    case VmOperandKind::Temp2: {
        const uint8_t written = VmOpcodeInfoOf(in->opcode).reads;
        if ((k == 0 && (written & VM_WRITES_A)) || (k == 2 && (written & VM_WRITES_T))) {
            m_writtenTemp.SetInteger(f);
            return &m_writtenTemp;
        }
        CVmValue& temp = info->kind[k] == VmOperandKind::Temp1 ? m_temp1 : m_temp2;
        temp.asInt = f;
        return &temp;
    }
    default:
        return nullptr;
    }
}

// A cache site's class holds for the object while this machine runs that
// class's program (the sites are emptied when the program goes) as the
// current machine without an error, as CVmRegisterDeclaredClass::CanRun
// asks.
bool CVirtualMachine::CachedHit(const CacheSite& c, CVmClassBase* object) const {
    return c.reg && object->m_registration == c.reg && typeid(*object) == typeid(CVmClassDeclared) &&
           static_cast<CVmClassDeclared*>(object)->DeclaredClass() == c.reg && g_currentVM == this && !m_error;
}

bool CVirtualMachine::EnterScriptMethod(CVmValue* a, int32_t nameIndex, uint16_t site) {
    if (a->type != VmValueType::Object || !a->asObject || m_callHook) return false;
    CVmClassBase* const object = a->asObject;
    CacheSite* const cache = site ? &m_cacheSites[site - 1] : nullptr;
    int32_t start;
    if (cache && CachedHit(*cache, object)) {
        start = cache->value;
    } else {
        CVmRegisterClass* const reg = object->m_registration;
        CVmRegisterDeclaredClass* const declared = reg ? reg->AsDeclaredClass() : nullptr;
        const VmClassMethodDecl* const method = declared ? declared->ScriptMethodFor(object, nameIndex) : nullptr;
        if (!method) return false;
        start = method->start;
        if (cache) *cache = {reg, start};
    }
    CVmValue* const top = m_top;
    if (top + 2 >= m_stackLimit || CVmValue::NeedsRelease(top[1].type) || CVmValue::NeedsRelease(top[2].type))
        return false;
    // The object in the return slot is the method's parameter 1; the marker
    // sends the result there on return.
    top[1].SetObject(object);
    top[2].SetStatus(m_ip, static_cast<int32_t>(m_frame - m_stackBase), kVmFrameOfMethod);
    m_top = top + 2;
    m_frame = m_top;
    m_ip = start;
    return true;
}

CVmValue* CVirtualMachine::DeclaredMember(CVmClassBase* object, int32_t nameIndex, uint16_t site) {
    if (!object) return nullptr;
    CacheSite* const cache = site ? &m_cacheSites[site - 1] : nullptr;
    if (cache && CachedHit(*cache, object)) return static_cast<CVmClassDeclared*>(object)->Member(cache->value);
    CVmRegisterClass* const reg = object->m_registration;
    const CVmRegisterDeclaredClass* const declared = reg ? reg->AsDeclaredClass() : nullptr;
    int32_t own = -1;
    CVmValue* const member = declared ? declared->MemberFor(object, nameIndex, &own) : nullptr;
    // Only a class's own members are remembered: a base part's is reached
    // through that part.
    if (cache && member && own >= 0) *cache = {reg, own};
    return member;
}

bool CVirtualMachine::ClearAboveReleasing(CVmValue* end, int32_t ip) {
    bool released = false;
    for (CVmValue* p = m_top; p > end; --p) {
        if (__builtin_expect(CVmValue::NeedsRelease(p->type), 0)) {
            if (!released) {
                m_currentIp = ip;
                m_ip = ip + 1;
                released = true;
            }
            m_top = p - 1;
            p->SetVoid();
        } else {
            p->type = VmValueType::Void;
        }
    }
    m_top = end;
    return released;
}

void CVirtualMachine::Execute(CVirtualMachine* vm, bool singleStep) {
    // General handlers, by VmHandler.
    static const void* const kGeneral[] = {
#define VM_GENERAL_LABEL(code, name, label, reads) &&L_##name,
        VM_OPCODES(VM_GENERAL_LABEL)
#undef VM_GENERAL_LABEL
            && L_UNSUPPORTED};
    // Specialised handlers, by VmFast.
    static const void* const kFast[] = {
#define VM_FAST_SHAPED_LABEL(F, mode, a, b, t) &&F_##F##_##mode,
#define VM_FAST_SINGLE_LABEL(F) &&F_##F,
        VM_FAST_SHAPED(VM_FAST_SHAPED_LABEL) VM_FAST_SINGLE(VM_FAST_SINGLE_LABEL)
#undef VM_FAST_SHAPED_LABEL
#undef VM_FAST_SINGLE_LABEL
    };
    static_assert(sizeof(kFast) / sizeof(kFast[0]) == kVmFastCount, "one handler per VmFast");
    if (!vm) {
        s_generalHandlers.store(kGeneral, std::memory_order_release);
        s_fastHandlers.store(kFast, std::memory_order_release);
        return;
    }

    // The running instruction, the code, the frame its slot operands are
    // relative to, and the stack's base, top and limit. On the fast way the
    // locals are the truth: the machine's members get the top and the frame
    // base before anything else may look (SAVE_IP, SYNC) and give them back
    // afterwards (RELOAD).
    const VmInstruction* in = nullptr;
    const VmInstruction* code = vm->m_code;
    CVmValue* const stackBase = vm->m_stackBase;
    CVmValue* frame = vm->m_frame;
    CVmValue* top = vm->m_top;
    CVmValue* limit = vm->m_stackLimit;

// ---------------------------------------------------------------------------
// Dispatch

#define DISPATCH() goto* in->handler
#define NEXT_FAST()  \
    do {             \
        ++in;        \
        DISPATCH();  \
    } while (0)
#define SYNC() (vm->m_top = top, vm->m_frame = frame)
#define RELOAD() (top = vm->m_top, limit = vm->m_stackLimit, frame = vm->m_frame)
// The stack and the instruction pointers of the running instruction, for
// what may look.
#define SAVE_IP()                                                    \
    do {                                                             \
        SYNC();                                                      \
        vm->m_currentIp = static_cast<int32_t>(in - code);           \
        vm->m_ip = vm->m_currentIp + 1;                              \
    } while (0)
// After work that may have stopped the run or attached a watcher: on to the
// next instruction the fast way, or else through the watched fetch.
#define NEXT_AFTER_CALL()                                           \
    do {                                                            \
        RELOAD();                                                   \
        if (__builtin_expect(__atomic_load_n(&vm->m_runFlags, __ATOMIC_RELAXED) != 0, 0)) goto resume; \
        NEXT_FAST();                                                \
    } while (0)
// The watched fetch, from instruction in.
#define WATCH_FROM_HERE()                                   \
    do {                                                    \
        SYNC();                                             \
        vm->m_ip = static_cast<int32_t>(in - code);         \
        goto watched_fetch;                                 \
    } while (0)
// A frame entered or returned to: the fast way goes on only when the code
// at in may run in it unchecked.
#define ENTER_FRAME()                                                                  \
    do {                                                                               \
        if (__builtin_expect(!vm->FrameSafe(frame, static_cast<int32_t>(in - code)), 0)) \
            WATCH_FROM_HERE();                                                         \
        DISPATCH();                                                                    \
    } while (0)
// On a jump back and on a call: a stop requested from another thread ends the
// run there (a loop or a recursion meets one of them every turn).
#define POLL_STOP()                                                                   \
    do {                                                                              \
        if (__builtin_expect(__atomic_load_n(&vm->m_stopRequest, __ATOMIC_RELAXED), 0)) { \
            SYNC();                                                                   \
            vm->m_ip = static_cast<int32_t>(in - code);                               \
            goto resume;                                                              \
        }                                                                             \
    } while (0)
// Voids the slots above end and lowers the top to it; released_ becomes true
// when that released a payload (the instruction pointers are then set).
#define CLEAR_DOWN(end_, released_)                                                    \
    for (; top > (end_); --top) {                                                      \
        if (__builtin_expect(CVmValue::NeedsRelease(top->type), 0)) {                  \
            SYNC();                                                                    \
            released_ = vm->ClearAboveReleasing((end_), static_cast<int32_t>(in - code)); \
            top = vm->m_top;                                                           \
            break;                                                                     \
        }                                                                              \
        top->type = VmValueType::Void;                                                 \
    }

    if (singleStep) goto watched_fetch;
    if (vm->m_stop) goto finish;
    if (vm->StopRequested() && !vm->m_error) goto stop_requested;
    goto watched_fetch;


// The watched fetch: the next instruction from the machine's instruction
// pointer. Unless watched, or the frame is too close to the ends of the
// stack, the run goes back to the fast way.
watched_fetch : {
    const int32_t ip = vm->m_ip;
    code = vm->m_code;
    RELOAD();
    if (static_cast<uint32_t>(ip) >= static_cast<uint32_t>(vm->m_codeCount)) goto fall_off;
    in = code + ip;
    if (!singleStep && !vm->m_observed && vm->FrameSafe(frame, ip)) DISPATCH();
    vm->m_currentIp = ip;
    vm->m_ip = ip + 1;
    if (vm->m_stepHook) vm->m_stepHook(ip, vm);
    const bool modeKnown = static_cast<uint8_t>(in->mode) < kVmModeCount;
    goto* kGeneral[modeKnown ? kVmHandlerByOpcode.handler[static_cast<uint8_t>(in->opcode)]
                             : static_cast<uint8_t>(H_UNSUPPORTED)];
}

// After a general handler, and after a specialised one whose work stopped the
// run or attached a watcher (resume).
general_done:
    if (singleStep) return;
resume:
    if (__atomic_load_n(&vm->m_runFlags, __ATOMIC_RELAXED)) {
        if (vm->StopRequested() && !vm->m_error) goto stop_requested;
        if (vm->m_debugger && !vm->m_stepHook) vm->DebuggerPoll();
        if (vm->m_stop) goto finish;
    }
    goto watched_fetch;

stop_requested:
    // Also while the debugger evaluates: the run must end either way.
    vm->Error() << "Script stopped on request.";
    vm->m_stop = true;
    goto finish;

fall_off:
    vm->Error() << "FatalError! OP CODE UNSUPPORTED";
    if (singleStep) return;
    goto finish;

// ---------------------------------------------------------------------------
// Specialised handlers
//
// Operands by kind: a frame slot, a global or an embedded value in place; an
// immediate as itself where its value is all that counts, else loaded into
// the machine's temporary.

#define PTR_(base, f) reinterpret_cast<CVmValue*>(reinterpret_cast<char*>(base) + (f))
#define PTR_L(f) PTR_(frame, f)
#define PTR_G(f) PTR_(vm->m_globals, f)
#define PTR_V(f) PTR_(vm->m_values, f)
#define PTR_I(f) (vm->m_temp1.asRaw = static_cast<uint32_t>(f), &vm->m_temp1)
#define PTR_J(f) (vm->m_temp2.asRaw = static_cast<uint32_t>(f), &vm->m_temp2)
#define PTR_N(f) static_cast<CVmValue*>(nullptr)
#define OPND(K, k) PTR_##K(in->field[k])
// Whether an operand is an Integer (immediates are), its int32, whether it is
// a number, and its value as float and double.
#define IS_INT_(K, k) (OPND(K, k)->type == VmValueType::Integer)
#define IS_INT_L(k) IS_INT_(L, k)
#define IS_INT_G(k) IS_INT_(G, k)
#define IS_INT_V(k) IS_INT_(V, k)
#define IS_INT_I(k) true
#define IS_INT_J(k) true
#define IS_INT(K, k) IS_INT_##K(k)
#define INT_(K, k) (OPND(K, k)->asInt)
#define INT_L(k) INT_(L, k)
#define INT_G(k) INT_(G, k)
#define INT_V(k) INT_(V, k)
#define INT_I(k) (in->field[k])
#define INT_J(k) (in->field[k])
#define INT(K, k) INT_##K(k)
#define IS_NUM_(K, k) IsNumber(OPND(K, k)->type)
#define IS_NUM_L(k) IS_NUM_(L, k)
#define IS_NUM_G(k) IS_NUM_(G, k)
#define IS_NUM_V(k) IS_NUM_(V, k)
#define IS_NUM_I(k) true
#define IS_NUM_J(k) true
#define IS_NUM(K, k) IS_NUM_##K(k)
#define NUM_(K, k, T) \
    (OPND(K, k)->type == VmValueType::Integer ? static_cast<T>(OPND(K, k)->asInt) : static_cast<T>(OPND(K, k)->asReal))
#define NUM_L(k, T) NUM_(L, k, T)
#define NUM_G(k, T) NUM_(G, k, T)
#define NUM_V(k, T) NUM_(V, k, T)
#define NUM_I(k, T) static_cast<T>(in->field[k])
#define NUM_J(k, T) static_cast<T>(in->field[k])
#define FLT(K, k) NUM_##K(k, float)
#define DBL(K, k) NUM_##K(k, double)

// Stores a result. A target whose payload must be released goes the careful
// way: releasing it may run a script destructor.
#define SET_INT(target, v)                                          \
    do {                                                            \
        CVmValue* const t_ = (target);                              \
        const int32_t v_ = (v);                                     \
        if (__builtin_expect(CVmValue::NeedsRelease(t_->type), 0)) { \
            SAVE_IP();                                              \
            t_->SetInteger(v_);                                     \
            NEXT_AFTER_CALL();                                      \
        }                                                           \
        t_->PutScalar(VmValueType::Integer, static_cast<uint32_t>(v_)); \
        NEXT_FAST();                                                \
    } while (0)
#define SET_REAL(target, v)                                         \
    do {                                                            \
        CVmValue* const t_ = (target);                              \
        const float v_ = (v);                                       \
        if (__builtin_expect(CVmValue::NeedsRelease(t_->type), 0)) { \
            SAVE_IP();                                              \
            t_->SetReal(v_);                                        \
            NEXT_AFTER_CALL();                                      \
        }                                                           \
        t_->PutScalar(VmValueType::Real, RealBits(v_));             \
        NEXT_FAST();                                                \
    } while (0)
// Copies a value over a target, the careful way when the target's payload
// must be released.
#define SET_COPY(target, source)                                    \
    do {                                                            \
        CVmValue* const t_ = (target);                              \
        const CVmValue* const s_ = (source);                        \
        if (__builtin_expect(CVmValue::NeedsRelease(t_->type), 0)) { \
            SAVE_IP();                                              \
            t_->Assign(*s_);                                        \
            NEXT_AFTER_CALL();                                      \
        }                                                           \
        t_->Assign(*s_);                                            \
        NEXT_FAST();                                                \
    } while (0)
// The out-of-line rest of an instruction.
#define SLOW(call)          \
    do {                    \
        SAVE_IP();          \
        call;               \
        NEXT_AFTER_CALL();  \
    } while (0)

// T := A op B for Integer pairs (wrapping) and numbers (float); the type
// rules out of line.
#define ARITH(F, mode, KA, KB, KT, OPCODE, INTOP, REALOP)                                          \
    F_##F##_##mode : {                                                                             \
        if (IS_INT(KA, 0) && IS_INT(KB, 1))                                                        \
            SET_INT(OPND(KT, 2), VmWrap(static_cast<int64_t>(INT(KA, 0)) INTOP INT(KB, 1)));        \
        if (IS_NUM(KA, 0) && IS_NUM(KB, 1)) SET_REAL(OPND(KT, 2), FLT(KA, 0) REALOP FLT(KB, 1));   \
        CVmValue* const a = OPND(KA, 0);                                                           \
        CVmValue* const b = OPND(KB, 1);                                                           \
        CVmValue* const t = OPND(KT, 2);                                                           \
        SLOW(vm->Arithmetic(OPCODE, a, b, t, a, b, t));                                            \
    }
#define ADD_HANDLER(F, mode, KA, KB, KT) ARITH(F, mode, KA, KB, KT, OP_ADD, +, +)
#define SUB_HANDLER(F, mode, KA, KB, KT) ARITH(F, mode, KA, KB, KT, OP_SUB, -, -)
#define MUL_HANDLER(F, mode, KA, KB, KT) ARITH(F, mode, KA, KB, KT, OP_MUL, *, *)
    VM_SHAPES_ABT(ADD_HANDLER, ADD)
    VM_SHAPES_ABT(SUB_HANDLER, SUB)
    VM_SHAPES_ABT(MUL_HANDLER, MUL)

// T := A % B and A / B for a constant B of 2 or more (linked with its
// reciprocal): no hardware divide. The quotient truncates toward zero and the
// remainder takes the dividend's sign, as the hardware's would.
#define DIVISION_HANDLER(F, mode, KA, KB, KT)                                                      \
    F_##F##_##mode : {                                                                             \
        const CVmValue* const a = OPND(KA, 0);                                                     \
        if (a->type != VmValueType::Integer) goto L_##F;                                           \
        const int32_t v = a->asInt;                                                                \
        const uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);      \
        const uint32_t q = DivideByMagic(u, in->x.magic);                                          \
        const uint32_t r = DIVISION_RESULT_##F;                                                    \
        SET_INT(OPND(KT, 2), static_cast<int32_t>(v < 0 ? 0u - r : r));                            \
    }
#define DIVISION_RESULT_MODK (u - q * static_cast<uint32_t>(in->field[1]))
#define DIVISION_RESULT_DIVK q
#define L_MODK L_MOD
#define L_DIVK L_DIV
    VM_SHAPES_AKT(DIVISION_HANDLER, MODK)
    VM_SHAPES_AKT(DIVISION_HANDLER, DIVK)

// T := A[B] for an array and an index inside it.
#define INDEX_READ_HANDLER(F, mode, KA, KB, KT)                                                     \
    F_##F##_##mode : {                                                                              \
        const CVmValue* const a = OPND(KA, 0);                                                      \
        if (a->type == VmValueType::Array && a->asArray && IS_INT(KB, 1) &&                         \
            static_cast<uint32_t>(INT(KB, 1)) < static_cast<uint32_t>(a->asArray->count))           \
            SET_COPY(OPND(KT, 2), a->asArray->items + INT(KB, 1));                                  \
        CVmValue* const b = OPND(KB, 1);                                                            \
        SLOW(vm->ReadIndex(a, b, OPND(KT, 2)));                                                     \
    }
    VM_SHAPES_ABT(INDEX_READ_HANDLER, INDEX_READ)

// T[B] := A for an array and an index inside it.
#define INDEX_WRITE_HANDLER(F, mode, KA, KB, KT)                                                    \
    F_##F##_##mode : {                                                                              \
        CVmValue* const t = OPND(KT, 2);                                                            \
        if (t->type == VmValueType::Array && t->asArray && IS_INT(KB, 1) &&                         \
            static_cast<uint32_t>(INT(KB, 1)) < static_cast<uint32_t>(t->asArray->count))           \
            SET_COPY(t->asArray->items + INT(KB, 1), OPND(KA, 0));                                  \
        CVmValue* const a = OPND(KA, 0);                                                            \
        CVmValue* const b = OPND(KB, 1);                                                            \
        SLOW(vm->WriteIndex(a, b, t));                                                              \
    }
    VM_SHAPES_ABT(INDEX_WRITE_HANDLER, INDEX_WRITE)

// Jump to T when A and B compare as the instruction asks. Integers: aux bits
// 8 to 10 say whether to jump when A is less than, equal to or greater than
// B. Other numbers (a Real, so a NaN may come): bits 0 and 1 select the less,
// greater or equal outcome, bit 2 inverts it. Strings, the other pairs and
// type errors go the general way.
#define RELATION_HANDLER(F, mode, KA, KB, KT)                                                       \
    F_##F##_##mode : {                                                                              \
        int jump;                                                                                   \
        if (IS_INT(KA, 0) && IS_INT(KB, 1)) {                                                       \
            const int32_t x = INT(KA, 0), y = INT(KB, 1);                                           \
            jump = in->aux >> (8 + int(x >= y) + int(x > y));                                       \
        } else if (IS_NUM(KA, 0) && IS_NUM(KB, 1)) {                                                \
            jump = (Order(DBL(KA, 0), DBL(KB, 1)) >> (in->aux & 3)) ^ (in->aux >> 2);                \
        } else {                                                                                    \
            goto L_JUMP_EQ;                                                                         \
        }                                                                                           \
        const VmInstruction* const from = in;                                                       \
        in = jump & 1 ? in->x.target : in + 1;                                                      \
        if (in <= from) POLL_STOP();                                                                \
        DISPATCH();                                                                                 \
    }
    VM_SHAPES_ABJ(RELATION_HANDLER, RELATION)

// One relational jump alone: Integers inline, anything else by the general
// test above (aux holds it too).
#define REL_OP_HANDLER(F, mode, KA, KB, KT)                                                         \
    F_##F##_##mode : {                                                                              \
        if (!IS_INT(KA, 0) || !IS_INT(KB, 1)) goto F_RELATION_##mode;                               \
        const VmInstruction* const from = in;                                                       \
        in = INT(KA, 0) CMP_##F INT(KB, 1) ? in->x.target : in + 1;                                 \
        if (in <= from) POLL_STOP();                                                                \
        DISPATCH();                                                                                 \
    }
#define CMP_REL_EQ ==
#define CMP_REL_NE !=
#define CMP_REL_LT <
#define CMP_REL_GT >
#define CMP_REL_LE <=
#define CMP_REL_GE >=
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_EQ)
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_NE)
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_LT)
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_GT)
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_LE)
    VM_SHAPES_LJ(REL_OP_HANDLER, REL_GE)

// Jump to T when the Bool A is what aux says (1 true, 0 false).
#define TEST_HANDLER(F, mode, KA, KB, KT)                                     \
    F_##F##_##mode : {                                                        \
        const CVmValue* const a = OPND(KA, 0);                                \
        if (a->type != VmValueType::Bool) goto L_JUMP_TRUE;                   \
        const VmInstruction* const from = in;                                 \
        in = (a->asBool != 0) == (in->aux != 0) ? in->x.target : in + 1;      \
        if (in <= from) POLL_STOP();                                          \
        DISPATCH();                                                           \
    }
    VM_SHAPES_AJ(TEST_HANDLER, TEST)

// T := copy of A.
#define COPY_HANDLER(F, mode, KA, KB, KT) \
    F_##F##_##mode : SET_COPY(OPND(KT, 2), OPND(KA, 0));
    VM_SHAPES_AT(COPY_HANDLER, COPY)

// T op= A for Integer pairs and numbers; the type rules (strings, vectors)
// out of line.
#define COMPOUND(F, mode, KA, KB, KT, OPCODE, INTOP, REALOP)                                       \
    F_##F##_##mode : {                                                                             \
        CVmValue* const t = OPND(KT, 2);                                                           \
        if (t->type == VmValueType::Integer && IS_INT(KA, 0)) {                                    \
            t->asRaw = static_cast<uint32_t>(VmWrap(static_cast<int64_t>(t->asInt) INTOP INT(KA, 0))); \
            NEXT_FAST();                                                                           \
        }                                                                                          \
        if (IsNumber(t->type) && IS_NUM(KA, 0)) {                                                  \
            const float r = (t->type == VmValueType::Integer ? static_cast<float>(t->asInt) : t->asReal) \
                REALOP FLT(KA, 0);                                                                 \
            t->PutScalar(VmValueType::Real, RealBits(r));                                          \
            NEXT_FAST();                                                                           \
        }                                                                                          \
        CVmValue* const a = OPND(KA, 0);                                                           \
        SLOW(vm->Arithmetic(OPCODE, t, a, t, a, nullptr, t));                                      \
    }
#define ADD_TO_HANDLER(F, mode, KA, KB, KT) COMPOUND(F, mode, KA, KB, KT, OP_ADD_TO, +, +)
#define SUB_FROM_HANDLER(F, mode, KA, KB, KT) COMPOUND(F, mode, KA, KB, KT, OP_SUB_FROM, -, -)
#define MUL_BY_HANDLER(F, mode, KA, KB, KT) COMPOUND(F, mode, KA, KB, KT, OP_MUL_BY, *, *)
    VM_SHAPES_AT(ADD_TO_HANDLER, ADD_TO)
    VM_SHAPES_AT(SUB_FROM_HANDLER, SUB_FROM)
    VM_SHAPES_AT(MUL_BY_HANDLER, MUL_BY)

// Append a copy of A to the Array T.
#define ARRAY_APPEND_HANDLER(F, mode, KA, KB, KT)                                                  \
    F_##F##_##mode : {                                                                             \
        CVmValue* const t = OPND(KT, 2);                                                           \
        if (t->type == VmValueType::Array && t->asArray && t->asArray->count < CVmArray::kMaxCount) { \
            t->asArray->Append(*OPND(KA, 0));                                                      \
            NEXT_FAST();                                                                           \
        }                                                                                          \
        CVmValue* const a = OPND(KA, 0);                                                           \
        SLOW(vm->ArrayOperation(OP_ARRAY_APPEND, a, t));                                           \
    }
    VM_SHAPES_AT(ARRAY_APPEND_HANDLER, ARRAY_APPEND)

// T := the length of the String, Vector or Array A.
#define LEN_HANDLER(F, mode, KA, KB, KT)                                                           \
    F_##F##_##mode : {                                                                             \
        const CVmValue* const a = OPND(KA, 0);                                                     \
        if (a->type == VmValueType::String) SET_INT(OPND(KT, 2), a->asString->Length());            \
        if (a->type == VmValueType::Array) SET_INT(OPND(KT, 2), a->asArray ? a->asArray->count : 0); \
        if (a->type == VmValueType::Vector) SET_INT(OPND(KT, 2), a->asVector->count);               \
        goto L_LEN;                                                                                \
    }
    VM_SHAPES_AT(LEN_HANDLER, LEN)

// A += step (aux holds +1 or -1 as int16 bits).
#define STEP_BODY(K, next)                                                    \
    {                                                                         \
        CVmValue* const a = OPND(K, 0);                                       \
        const int32_t step = static_cast<int16_t>(in->aux);                   \
        if (a->type == VmValueType::Integer)                                  \
            a->asRaw = static_cast<uint32_t>(VmWrap(static_cast<int64_t>(a->asInt) + step)); \
        else if (a->type == VmValueType::Real)                                \
            a->asReal += static_cast<float>(step);                            \
        else                                                                  \
            goto L_INC;                                                       \
        next;                                                                 \
    }
#define STEP_HANDLER(F, mode, KA, KB, KT) F_##F##_##mode : STEP_BODY(KA, NEXT_FAST())
    VM_SHAPES_S(STEP_HANDLER, STEP)
// A step, then the jump after it.
#define STEP_JUMP_HANDLER(F, mode, KA, KB, KT)                                 \
    F_##F##_##mode : STEP_BODY(KA, if (in[1].handler != &&F_JUMP) NEXT_FAST(); \
                               in = in[1].x.target; POLL_STOP(); DISPATCH())
    VM_SHAPES_S(STEP_JUMP_HANDLER, STEP_JUMP)
// A step of a frame slot, then the relational jump after it.
#define STEP_REL_HANDLER(F, mode, KA, KB, KT)                                               \
    F_##F##_##mode : STEP_BODY(L, ++in; if (in->handler == &&F_RELATION_##mode) goto F_RELATION_##mode; \
                               DISPATCH())
    VM_SHAPES_STEP_REL(STEP_REL_HANDLER, STEP_REL)
// A step of a frame slot, then the one relational jump after it.
#define VM_PASTE(a, b) VM_PASTE_(a, b)
#define VM_PASTE_(a, b) a##b
#define REL_OF_STEP_EQ F_REL_EQ_
#define REL_OF_STEP_NE F_REL_NE_
#define REL_OF_STEP_LT F_REL_LT_
#define REL_OF_STEP_GT F_REL_GT_
#define REL_OF_STEP_LE F_REL_LE_
#define REL_OF_STEP_GE F_REL_GE_
#define STEP_OP_HANDLER(F, mode, KA, KB, KT)                                                          \
    F_##F##_##mode : STEP_BODY(L, ++in; if (in->handler == &&VM_PASTE(REL_OF_##F, mode))             \
                                  goto VM_PASTE(REL_OF_##F, mode);                                    \
                               DISPATCH())
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_EQ)
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_NE)
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_LT)
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_GT)
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_LE)
    VM_SHAPES_LJ(STEP_OP_HANDLER, STEP_GE)

// Push a copy of A.
#define PUSH_BODY(K)                                                                               \
    {                                                                                              \
        if (top + 1 >= limit || CVmValue::NeedsRelease(top[1].type)) goto L_PUSH;                  \
        top[1].Assign(*OPND(K, 0));                                                                \
        ++top;                                                                                     \
    }
#define PUSH_HANDLER(F, mode, KA, KB, KT) \
    F_##F##_##mode : PUSH_BODY(KA) NEXT_FAST();
    VM_SHAPES_A(PUSH_HANDLER, PUSH)
// Call the script function at x.target (in is the call, the stack has room
// for the marker above the top and the slot there needs no release): a frame
// marker above the top. When the function begins by reserving n slots, aux
// holds n + 1 and the call reserves them itself.
#define CALL_ENTER()                                                                               \
    {                                                                                              \
        const VmInstruction* const target = in->x.target;                                          \
        CVmValue* const marker = top + 1;                                                          \
        marker->PutWords(kFastMarkerHead, static_cast<uint32_t>(in - code + 1) |                   \
                                              (static_cast<uint64_t>(frame - stackBase) << 32));  \
        top = frame = marker;                                                                      \
        const int32_t n = in->aux - 1;                                                             \
        /* The callee's frame range (linked into B and T): it covers the reserve */               \
        /* too, which the callee falls through.                                  */               \
        const bool safe =                                                                          \
            static_cast<uint32_t>((marker - stackBase) - in->field[1]) < static_cast<uint32_t>(in->field[2]); \
        in = target;                                                                               \
        if (n > 0 && target->opcode == OP_RESERVE && marker + n < limit) {                         \
            /* Slots that hold something to release are left to the reserve */                    \
            /* itself; voiding the others first changes nothing.             */                   \
            CVmValue* p = marker + 1;                                                              \
            for (; p <= marker + n && !CVmValue::NeedsRelease(p->type); ++p) p->type = VmValueType::Void; \
            if (p > marker + n) {                                                                  \
                top = marker + n;                                                                  \
                ++in;                                                                              \
            }                                                                                      \
        }                                                                                          \
        if (__builtin_expect(!safe, 0)) WATCH_FROM_HERE();                                         \
        POLL_STOP();                                                                               \
        DISPATCH();                                                                                \
    }
// A push, then the call after it: the call's checks of the stack made
// once for both.
#define PUSH_CALL_HANDLER(F, mode, KA, KB, KT)                                                     \
    F_##F##_##mode : {                                                                             \
        if (in[1].handler != &&F_CALL || top + 2 >= limit || CVmValue::NeedsRelease(top[1].type) || \
            CVmValue::NeedsRelease(top[2].type))                                                   \
            goto F_PUSH_##mode;                                                                    \
        const CVmValue* const a = OPND(KA, 0);                                                     \
        if (CVmValue::NeedsRelease(a->type))                                                       \
            top[1].Assign(*a);                                                                     \
        else                                                                                       \
            top[1].CopyWords(*a);                                                                  \
        ++top;                                                                                     \
        ++in;                                                                                      \
        CALL_ENTER();                                                                              \
    }
    VM_SHAPES_A(PUSH_CALL_HANDLER, PUSH_CALL)

// A := the top value, moved; the top comes down.
#define POP_INTO_BODY(K)                                                                         \
    {                                                                                            \
        CVmValue* const a = OPND(K, 0);                                                          \
        if (CVmValue::NeedsRelease(a->type) || a == top || top == stackBase) goto L_POP_INTO;    \
        a->Move(*top);                                                                           \
        --top;                                                                                   \
    }
#define POP_INTO_HANDLER(F, mode, KA, KB, KT) \
    F_##F##_##mode : POP_INTO_BODY(KA) NEXT_FAST();
    VM_SHAPES_S(POP_INTO_HANDLER, POP_INTO)
// A pop into, then the pop after it.
#define POP_INTO_POP_HANDLER(F, mode, KA, KB, KT)   \
    F_##F##_##mode : POP_INTO_BODY(KA)              \
    if (in[1].handler != &&F_POP) NEXT_FAST();      \
    ++in;                                           \
    goto F_POP;
    VM_SHAPES_S(POP_INTO_POP_HANDLER, POP_INTO_POP)

// Pop n slots (n an immediate).
F_POP : {
    const int32_t n = in->field[0];
    if (n < 0 || n > top - stackBase) goto L_POP;
    bool released = false;
    CVmValue* const end = top - n;
    CLEAR_DOWN(end, released);
    if (released) NEXT_AFTER_CALL();
    NEXT_FAST();
}

// Reserve n Void slots (n an immediate).
F_RESERVE : {
    const int32_t n = in->field[0];
    if (n <= 0 || n > kMaxStackSlots || top + n >= limit) goto L_RESERVE;
    for (CVmValue* p = top + 1; p <= top + n; ++p)
        if (CVmValue::NeedsRelease(p->type)) goto L_RESERVE;
    for (CVmValue* p = top + 1; p <= top + n; ++p) p->type = VmValueType::Void;
    top += n;
    NEXT_FAST();
}

// Call the script function at x.target: a frame marker above the top. When
// the function begins by reserving n slots, aux holds n + 1 and the call
// reserves them itself.
F_CALL:
    if (top + 1 >= limit || CVmValue::NeedsRelease(top[1].type)) goto L_CALL;
    CALL_ENTER();
// Return A (or nothing) into the frame marker's slot; the frame's slots are
// voided. Frames of the host or of a method the run loop entered, and a
// damaged marker, go the general way. A call made the fast way marks its
// frame (kVmFrameCallerFast): the caller's frame was checked then and needs
// no check on the way back.
//
// When a value goes back to a plain call (a marker without flags, its
// caller's frame checked here, or one the fast way made) whose caller goes on
// by popping the result into a frame slot and then its arguments (the pair
// POP_INTO_POP, POP), the three instructions run as one (RETURN_FUSED): the
// result goes straight to its slot. The pops must end between the caller's
// frame and the marker, and the caller's slot lie at or below where they
// end. When something in the slots that go needs releasing, the return
// stops short of the pops, which then run one by one. Everything else goes
// the general way after it (RETURN_BODY).
#define RETURN_FUSED(a_)                                                                           \
    {                                                                                              \
        CVmValue* const marker = frame;                                                            \
        const uint32_t savedIp = static_cast<uint32_t>(marker->asWords[0]);                        \
        const uint32_t savedFrame = static_cast<uint32_t>(marker->asWords[1]);                     \
        const uint64_t head_ = marker->head;                                                       \
        if ((__builtin_expect(head_ == kFastMarkerHead, 1) || head_ == kMarkerHead) &&             \
            savedIp < static_cast<uint32_t>(vm->m_codeCount) && savedFrame < kMaxStackSlots) {     \
            const VmInstruction* const next = code + savedIp;                                      \
            const CVmValue* const a = (a_);                                                        \
            CVmValue* const caller = stackBase + savedFrame;                                       \
            if (next->handler == &&F_POP_INTO_POP_53 && next[1].handler == &&F_POP &&              \
                !CVmValue::NeedsRelease(a->type) &&                                                \
                (head_ == kFastMarkerHead || vm->FrameSafe(caller, static_cast<int32_t>(savedIp)))) { \
                CVmValue* const end = marker - 1 - next[1].field[0];                               \
                CVmValue* const t = PTR_(caller, next->field[0]);                                  \
                if (end < marker && end >= caller && t <= end && !CVmValue::NeedsRelease(t->type)) { \
                    const uint64_t head = a->head, raw = a->asRaw;                                 \
                    /* The frame's slots and the arguments voided, two at a time. */              \
                    CVmValue* p = top;                                                             \
                    for (; p - 1 > end; p -= 2) {                                                  \
                        if (CVmValue::NeedsRelease(p->type) || CVmValue::NeedsRelease(p[-1].type)) \
                            break;                                                                 \
                        p->type = VmValueType::Void;                                               \
                        p[-1].type = VmValueType::Void;                                            \
                    }                                                                              \
                    if (p > end && !CVmValue::NeedsRelease(p->type)) (p--)->type = VmValueType::Void; \
                    if (p == end) {                                                                \
                        t->PutWords(head, raw);                                                    \
                        top = end;                                                                 \
                        frame = caller;                                                            \
                        in = next + 2;                                                             \
                        DISPATCH();                                                                \
                    }                                                                              \
                    /* Something to release at p: the result goes to the marker's slot, */        \
                    /* the frame's slots above p are released, and the caller's pops */            \
                    /* run one by one from there.                                       */         \
                    marker->PutWords(head, raw);                                                   \
                    top = p > marker ? p : marker;                                                 \
                    bool released = false;                                                         \
                    CLEAR_DOWN(marker, released);                                                  \
                    frame = caller;                                                                \
                    in = next;                                                                     \
                    if (released && vm->m_runFlags) {                                              \
                        vm->m_stop = false;                                                        \
                        WATCH_FROM_HERE();                                                         \
                    }                                                                              \
                    DISPATCH();                                                                    \
                }                                                                                  \
            }                                                                                      \
        }                                                                                          \
    }
#define RETURN_BODY(a_, tag)                                                                       \
    {                                                                                              \
        CVmValue* const marker = frame;                                                            \
        const int32_t savedIp = marker->asWords[0];                                                \
        const int32_t savedFrame = marker->asWords[1];                                             \
        const int32_t flags = marker->aux;                                                         \
        if (marker->type != VmValueType::VmStatus || (flags & ~(kVmFrameCallerFast | kVmFrameOfMethod)) || \
            static_cast<uint32_t>(savedIp) >= static_cast<uint32_t>(vm->m_codeCount) ||            \
            static_cast<uint32_t>(savedFrame) >= kMaxStackSlots || marker == stackBase)            \
            goto L_RETURN;                                                                         \
        CVmValue* const a = (a_);                                                                  \
        CVmValue* const caller = stackBase + savedFrame;                                           \
        const bool callerSafe = (flags & kVmFrameCallerFast) || vm->FrameSafe(caller, savedIp);    \
        const VmInstruction* const next = code + savedIp;                                          \
        if (!a)                                                                                    \
            marker->type = VmValueType::Void;                                                      \
        else if (a > marker && a <= top)                                                           \
            marker->Move(*a);                                                                      \
        else                                                                                       \
            marker->Assign(*a);                                                                    \
        bool released = false;                                                                     \
        CLEAR_DOWN(marker, released);                                                              \
        frame = caller;                                                                            \
        if (flags == kVmFrameOfMethod) {                                                           \
            /* The result goes into the method call's return slot, over the object. */             \
            CVmValue* const r = marker - 1;                                                        \
            if (r->type == VmValueType::Object && r->asObject && r->asObject->m_refCount > 1) {    \
                --r->asObject->m_refCount;                                                         \
                r->CopyWords(*marker);                                                             \
                marker->PutWords(0, 0);                                                            \
            } else {                                                                               \
                SYNC();                                                                            \
                vm->m_currentIp = static_cast<int32_t>(in - code);                                 \
                vm->m_ip = savedIp;                                                                \
                r->Move(*marker);                                                                  \
                released = true;                                                                   \
            }                                                                                      \
            top = r;                                                                               \
        }                                                                                          \
        in = next;                                                                                 \
        if (released && vm->m_runFlags) {                                                          \
            vm->m_stop = false;                                                                    \
            WATCH_FROM_HERE();                                                                     \
        }                                                                                          \
        if (__builtin_expect(!callerSafe, 0)) WATCH_FROM_HERE();                                   \
        DISPATCH();                                                                                \
    }
#define RETURN_HANDLER(F, mode, KA, KB, KT) \
    F_##F##_##mode : RETURN_FUSED(OPND(KA, 0)) RETURN_BODY(OPND(KA, 0), mode)
    VM_SHAPES_A(RETURN_HANDLER, RETURN)
F_RETURN_VOID:
    RETURN_BODY(nullptr, void)

// Jump to x.target.
F_JUMP:
    in = in->x.target;
    POLL_STOP();
    DISPATCH();

// A method call on an object of a script-declared class whose method is
// script code: entered as a plain call (EnterScriptMethod). Everything else
// goes the general way.
#define METHOD_CALL_HANDLER(F, mode, KA, KB, KT)                                                    \
    F_##F##_##mode : {                                                                              \
        CVmValue* const a = OPND(KA, 0);                                                            \
        if (a->type != VmValueType::Object) goto L_METHOD_CALL;                                     \
        SAVE_IP();                                                                                  \
        if (!vm->EnterScriptMethod(a, INT(KB, 1), in->aux)) goto L_METHOD_CALL;                     \
        RELOAD();                                                                                   \
        in = code + vm->m_ip;                                                                       \
        POLL_STOP();                                                                                \
        ENTER_FRAME();                                                                              \
    }
    VM_SHAPES_OIJ(METHOD_CALL_HANDLER, METHOD_CALL)

// T := member B of the script-declared object A, and member B of the object T
// := A, in place. Everything else (native objects, swizzles, fallbacks) goes
// the general way.
#define MEMBER_READ_HANDLER(F, mode, KA, KB, KT)                                                     \
    F_##F##_##mode : {                                                                               \
        const CVmValue* const a = OPND(KA, 0);                                                       \
        CVmValue* const member = a->type == VmValueType::Object ? vm->DeclaredMember(a->asObject, INT(KB, 1), in->aux) : nullptr; \
        if (!member) goto L_MEMBER_READ;                                                             \
        SET_COPY(OPND(KT, 2), member);                                                               \
    }
    VM_SHAPES_AIT(MEMBER_READ_HANDLER, MEMBER_READ)
#define MEMBER_WRITE_HANDLER(F, mode, KA, KB, KT)                                                    \
    F_##F##_##mode : {                                                                               \
        const CVmValue* const t = OPND(KT, 2);                                                       \
        CVmValue* const member = t->type == VmValueType::Object ? vm->DeclaredMember(t->asObject, INT(KB, 1), in->aux) : nullptr; \
        if (!member) goto L_MEMBER_WRITE;                                                            \
        SET_COPY(member, OPND(KA, 0));                                                               \
    }
    VM_SHAPES_AIT(MEMBER_WRITE_HANDLER, MEMBER_WRITE)

// The end of the code: a run that falls off it.
F_FALL_OFF:
    SYNC();
    vm->m_currentIp = vm->m_codeCount - 1;
    vm->m_ip = vm->m_codeCount;
    goto fall_off;

// ---------------------------------------------------------------------------
// General handlers: every opcode in every mode, operands decoded and frame
// slots checked. Each one records the instruction pointers first (on the
// fast way they are not kept) and ends at general_done.

#define A vm->GeneralOperand(0, in, frame)
#define B vm->GeneralOperand(1, in, frame)
#define T vm->GeneralOperand(2, in, frame)
#define GENERAL_DONE() goto general_done

L_UNSUPPORTED:
    SAVE_IP();
    vm->Error() << "FatalError! OP CODE UNSUPPORTED";
    GENERAL_DONE();

L_POP_INTO : {
    SAVE_IP();
    CVmValue* a = A;
    a->Move(*vm->m_top);
    vm->PopTo(vm->m_top - 1);
    GENERAL_DONE();
}
L_POP : {
    SAVE_IP();
    int32_t n;
    CVmValue* a = A;
    if (a->type == VmValueType::Integer)
        n = a->asInt;
    else if (!vm->ReadCount(a, n))
        GENERAL_DONE();
    if (n < 0 || n > vm->m_top - stackBase)
        vm->Error() << "stack underflow.";
    else
        while (n-- > 0) (vm->m_top--)->SetVoid();
    GENERAL_DONE();
}
L_PUSH : {
    SAVE_IP();
    CVmValue* a = A;
    if (vm->GrowFor(vm->m_top + 1)) {
        ++vm->m_top;
        vm->m_top->Assign(*a);
    }
    GENERAL_DONE();
}
L_NOP3:
L_NOP67:
L_NOP77:
    SAVE_IP();
    GENERAL_DONE();
L_RESERVE : {
    SAVE_IP();
    int32_t n;
    if (vm->ReadCount(A, n) && n > 0) {
        if (n > kMaxStackSlots)
            vm->Error() << "stack overflow.";
        else if (vm->GrowFor(vm->m_top + n))
            for (int32_t i = 0; i < n; ++i) (++vm->m_top)->SetVoid();
    }
    GENERAL_DONE();
}
L_CALL : {
    SAVE_IP();
    const CVmValue* a = A;
    const int32_t start = a->asInt;
    if (a->type != VmValueType::Integer || static_cast<uint32_t>(start) >= static_cast<uint32_t>(vm->m_codeCount)) {
        vm->Error() << "Invalid call target " << start << ".";
        GENERAL_DONE();
    }
    if (vm->m_callHook) vm->CallHook(vm->BeforeCode(start & 0xFFFF));
    if (vm->GrowFor(vm->m_top + 1)) {
        ++vm->m_top;
        vm->m_top->SetStatus(vm->m_ip, static_cast<int32_t>(frame - stackBase), 0);
        vm->m_frame = vm->m_top;
        vm->m_ip = start;
    }
    GENERAL_DONE();
}
L_CALL_NATIVE : {
    SAVE_IP();
    const int32_t index = A->asInt;
    const int32_t argc = T->asInt;
    vm->CallNative(index, argc);
    GENERAL_DONE();
}
L_RETURN : {
    SAVE_IP();
    CVmValue* a = VmModeInfoOf(in->mode)->kind[0] == VmOperandKind::Null ? nullptr : A;
    vm->Return(a);
    GENERAL_DONE();
}
L_COPY : {
    SAVE_IP();
    CVmValue* a = A;
    T->Assign(*a);
    GENERAL_DONE();
}
L_ADD_TO:
L_SUB_FROM:
L_MUL_BY:
L_DIV_BY:
L_MOD_BY:
L_OR_WITH:
L_AND_WITH:
L_POW_BY : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* t = T;
    vm->Arithmetic(in->opcode, t, a, t, a, nullptr, t);
    GENERAL_DONE();
}
L_ADD:
L_SUB:
L_MUL:
L_DIV:
L_MOD:
L_OR:
L_AND:
L_POW : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* b = B;
    CVmValue* t = T;
    vm->Arithmetic(in->opcode, a, b, t, a, b, t);
    GENERAL_DONE();
}
L_INC:
L_DEC : {
    SAVE_IP();
    CVmValue* a = A;
    const int32_t step = in->opcode == OP_INC ? 1 : -1;
    if (a->type == VmValueType::Integer)
        a->asInt = VmWrap(static_cast<int64_t>(a->asInt) + step);
    else if (a->type == VmValueType::Real)
        a->asReal += static_cast<float>(step);
    else
        vm->ReportTypeMismatch(a, nullptr, nullptr);
    GENERAL_DONE();
}
L_NEG : {
    SAVE_IP();
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
        vm->ReportTypeMismatch(a, nullptr, t);
    }
    GENERAL_DONE();
}
L_NOT : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Bool)
        t->SetBool(!a->asBool);
    else
        vm->ReportTypeMismatch(a, nullptr, t);
    GENERAL_DONE();
}
L_JUMP_EQ:
L_JUMP_NE:
L_JUMP_LT:
L_JUMP_GT:
L_JUMP_LE:
L_JUMP_GE : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* b = B;
    const int result = vm->Compare(in->opcode, a, b);
    if (result > 0)
        vm->Jump(T);
    else if (result < 0)
        vm->ReportTypeMismatch(a, b, T);
    GENERAL_DONE();
}
L_JUMP_TRUE:
L_JUMP_FALSE : {
    SAVE_IP();
    CVmValue* a = A;
    if (a->type != VmValueType::Bool)
        vm->ReportTypeMismatch(a, nullptr, T);
    else if ((a->asBool != 0) == (in->opcode == OP_JUMP_TRUE))
        vm->Jump(T);
    GENERAL_DONE();
}
L_JUMP:
    SAVE_IP();
    vm->Jump(A);
    GENERAL_DONE();
L_JUMP_VOID:
L_JUMP_NOT_VOID : {
    SAVE_IP();
    CVmValue* a = A;
    if (a->IsVoid() == (in->opcode == OP_JUMP_VOID)) vm->Jump(T);
    GENERAL_DONE();
}
L_SET_VOID:
    SAVE_IP();
    A->SetVoid();
    GENERAL_DONE();
L_METHOD_CALL : {
    SAVE_IP();
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    const int32_t argc = T->asInt;
    if (!vm->EnterScriptMethod(a, nameIndex, 0)) vm->CallMethodOn(a, nameIndex, argc);
    GENERAL_DONE();
}
L_MEMBER_READ : {
    SAVE_IP();
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    vm->ReadMember(a, nameIndex, T);
    GENERAL_DONE();
}
L_MEMBER_WRITE : {
    SAVE_IP();
    CVmValue* a = A;
    const int32_t nameIndex = B->asInt;
    vm->WriteMember(a, nameIndex, T);
    GENERAL_DONE();
}
L_INDEX_READ : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* b = B;
    vm->ReadIndex(a, b, T);
    GENERAL_DONE();
}
L_INDEX_WRITE : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* b = B;
    vm->WriteIndex(a, b, T);
    GENERAL_DONE();
}
L_ARRAY_REMOVE:
L_ARRAY_RESIZE:
L_ARRAY_APPEND : {
    SAVE_IP();
    CVmValue* a = A;
    vm->ArrayOperation(in->opcode, a, T);
    GENERAL_DONE();
}
L_ABS : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* t = T;
    if (a->type == VmValueType::Integer)
        t->SetInteger(a->asInt < 0 ? VmWrap(-static_cast<int64_t>(a->asInt)) : a->asInt);
    else if (a->type == VmValueType::Real)
        t->SetReal(a->asReal < 0 ? -a->asReal : a->asReal);
    else
        vm->ReportTypeMismatch(a, nullptr, t);
    GENERAL_DONE();
}
L_OUTPUT:
    SAVE_IP();
    *vm->m_out << A;
    vm->m_out->flush();
    GENERAL_DONE();
L_BASE_PART : {
    SAVE_IP();
    CVmValue* a = A;
    const int32_t decl = B->asInt;
    vm->BasePart(a, decl, T);
    GENERAL_DONE();
}
L_TRAP:
    SAVE_IP();
    vm->m_debugRequest |= A->asInt;
    GENERAL_DONE();
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
    SAVE_IP();
    CVmValue* a = A;
    vm->BuiltIn(in->opcode, a, nullptr, T);
    GENERAL_DONE();
}
L_LEFT:
L_RIGHT : {
    SAVE_IP();
    CVmValue* a = A;
    CVmValue* b = B;
    vm->BuiltIn(in->opcode, a, b, T);
    GENERAL_DONE();
}

finish:
    if (vm->m_debugger && vm->m_stepHook) vm->DebuggerPoll();
    vm->m_stop = vm->m_error;
    // A run nested in a native call reports its error itself; the runs it
    // returns into only stop.
    if (vm->m_error && !vm->m_listingWritten) {
        vm->m_listingWritten = true;
        *vm->m_out << "\n";
        vm->m_out->flush();
        if (vm->m_debugger) vm->m_debugger->OnBreak();
        vm->WriteCallStack();
    }
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
