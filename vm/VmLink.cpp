// Linking a program for the run loop: the handler of each instruction
// (specialised for its operand kinds, or fused with the next one), constant
// jump and call targets as instruction addresses, divisors' reciprocals, and
// the frames in which each stretch of code may run without checking its
// frame slots.
#include <algorithm>
#include <climits>

#include "VirtualMachine.h"
#include "VmHandlers.h"
#include "VmProgram.h"

namespace {

// Per family, the specialised handler of each mode (-1: none).
struct FastByMode {
#define VM_FAMILY_MEMBER(F) int16_t F[kVmModeCount] = {};
    VM_FAST_FAMILIES(VM_FAMILY_MEMBER)
#undef VM_FAMILY_MEMBER
    constexpr FastByMode() {
#define VM_FAMILY_NONE(F) \
    for (int16_t & h : F) h = -1;
        VM_FAST_FAMILIES(VM_FAMILY_NONE)
#undef VM_FAMILY_NONE
#define VM_FAMILY_FILL(F, mode, a, b, t) F[mode] = VMF_##F##_##mode;
        VM_FAST_SHAPED(VM_FAMILY_FILL)
#undef VM_FAMILY_FILL
    }
};

constexpr FastByMode kByMode;

bool IsTemp(VmOperandKind k) { return k == VmOperandKind::Temp1 || k == VmOperandKind::Temp2; }

// What the relational jumps test. Integers (bits 8 to 10): jump when A is
// less than, equal to, greater than B. Other numbers (bits 0 to 2): bits 0-1
// select the less (0), greater (1) or equal (2) outcome, bit 2 inverts it,
// so that a NaN compares as the type rules say.
uint16_t RelationTest(int opcode) {
    switch (opcode) {
    case OP_JUMP_EQ: return (0b010 << 8) | 2;
    case OP_JUMP_NE: return (0b101 << 8) | 2 | 4;
    case OP_JUMP_LT: return (0b001 << 8) | 0;
    case OP_JUMP_GT: return (0b100 << 8) | 1;
    case OP_JUMP_LE: return (0b011 << 8) | 1 | 4;  // not greater
    default: return (0b110 << 8) | 0 | 4;          // not less
    }
}

// The operand that is a jump's target, or -1 for instructions that do not
// jump.
int JumpTargetOperand(int opcode) {
    if (opcode == OP_JUMP) return 0;
    if ((opcode >= OP_JUMP_EQ && opcode <= OP_JUMP_FALSE) || opcode == OP_JUMP_VOID || opcode == OP_JUMP_NOT_VOID)
        return 2;
    return -1;
}

class Linker {
public:
    explicit Linker(VmProgram& p) : m_p(p), m_n(static_cast<int32_t>(p.code.size())), m_fast(m_n + 1, -1) {}

    void Run() {
        VmInstruction end;
        end.Set(78, 57, VmInstruction::kNoFields);  // no such opcode: the general way reports it
        m_p.code.push_back(end);
        m_p.linked = true;
        m_code = m_p.code.data();
        Use(m_n, VMF_FALL_OFF);
        // The entries of stretches of code (see FrameRanges): the start-up
        // code, functions, methods, and (found while specialising) calls'
        // targets.
        m_entry.assign(static_cast<size_t>(m_n) + 1, 0);
        m_entry[0] = 1;
        for (const VmFunctionRecord& f : m_p.functions) MarkEntry(f.start);
        for (const VmClassDeclaration& c : m_p.classes)
            for (const VmClassMethodDecl& method : c.methods) MarkEntry(method.start);
        // Backwards: an instruction fuses with the next one, which is done.
        for (int32_t i = m_n; i-- > 0;) {
            Specialise(i);
            Fuse(i);
        }
        FrameRanges();
        // A call with a constant target carries its callee's frame range in
        // its otherwise unused operands B and T.
        for (const int32_t i : m_calls) {
            const VmFrameRange& r = m_p.frameRanges[static_cast<size_t>(m_code[i].field[0])];
            m_code[i].field[1] = r.low;
            m_code[i].field[2] = r.span;
        }
    }

private:
    void MarkEntry(int64_t at) {
        if (at >= 0 && at < m_n) m_entry[static_cast<size_t>(at)] = 1;
    }

    void Use(int32_t i, int id) {
        m_fast[static_cast<size_t>(i)] = static_cast<int16_t>(id);
        m_code[i].handler = CVirtualMachine::FastHandler(id);
    }
    int Fast(int32_t i) const { return m_fast[static_cast<size_t>(i)]; }

    // A constant target inside the code: its address.
    bool Target(VmInstruction& in, int k, const VmModeInfo& info) {
        if (!IsTemp(info.kind[k]) || in.field[k] < 0 || in.field[k] >= m_n) return false;
        in.x.target = m_code + in.field[k];
        return true;
    }

    void Specialise(int32_t i) {
        VmInstruction& in = m_code[i];
        const int op = in.opcode;
        const VmModeInfo* info = VmModeInfoOf(in.mode);
        if (!info || !VmOpcodeInfoOf(op).assigned) return;
        const int m = in.mode;
        for (int k = 0; k < 3; ++k) {
            // The general way reports a global outside the table.
            if (info->kind[k] == VmOperandKind::Global &&
                static_cast<size_t>(in.field[k] / static_cast<int32_t>(sizeof(CVmValue))) >= m_p.globals.size())
                return;
        }
        int id = -1;
        switch (op) {
        case OP_ADD: id = kByMode.ADD[m]; break;
        case OP_SUB: id = kByMode.SUB[m]; break;
        case OP_MUL: id = kByMode.MUL[m]; break;
        case OP_MOD:
        case OP_DIV:
            // A divisor of 2 or more: its reciprocal, rounded up, in 64 bits
            // gives the exact quotient of any 32-bit magnitude.
            if (info->kind[1] == VmOperandKind::Temp1 && in.field[1] >= 2) {
                id = op == OP_MOD ? kByMode.MODK[m] : kByMode.DIVK[m];
                in.x.magic = UINT64_MAX / static_cast<uint64_t>(in.field[1]) + 1;
            }
            break;
        case OP_INDEX_READ: id = kByMode.INDEX_READ[m]; break;
        case OP_INDEX_WRITE: id = kByMode.INDEX_WRITE[m]; break;
        case OP_JUMP_EQ:
        case OP_JUMP_NE:
        case OP_JUMP_LT:
        case OP_JUMP_GT:
        case OP_JUMP_LE:
        case OP_JUMP_GE:
            if (Target(in, 2, *info)) {
                const int16_t* const alone[] = {kByMode.REL_EQ, kByMode.REL_NE, kByMode.REL_LT,
                                                kByMode.REL_GT, kByMode.REL_LE, kByMode.REL_GE};
                id = alone[op - OP_JUMP_EQ][m] >= 0 ? alone[op - OP_JUMP_EQ][m] : kByMode.RELATION[m];
                // The general test too: the handler of one relation leaves
                // other pairs than Integers to it.
                in.aux = RelationTest(op);
            }
            break;
        case OP_JUMP_TRUE:
        case OP_JUMP_FALSE:
            if (Target(in, 2, *info)) {
                id = kByMode.TEST[m];
                in.aux = op == OP_JUMP_TRUE ? 1 : 0;
            }
            break;
        case OP_COPY: id = kByMode.COPY[m]; break;
        case OP_ADD_TO: id = kByMode.ADD_TO[m]; break;
        case OP_SUB_FROM: id = kByMode.SUB_FROM[m]; break;
        case OP_MUL_BY: id = kByMode.MUL_BY[m]; break;
        case OP_ARRAY_APPEND: id = kByMode.ARRAY_APPEND[m]; break;
        case OP_LEN: id = kByMode.LEN[m]; break;
        case OP_METHOD_CALL: id = kByMode.METHOD_CALL[m]; break;
        case OP_MEMBER_READ: id = kByMode.MEMBER_READ[m]; break;
        case OP_MEMBER_WRITE: id = kByMode.MEMBER_WRITE[m]; break;
        case OP_PUSH: id = kByMode.PUSH[m]; break;
        case OP_RETURN: id = m == 57 ? static_cast<int>(VMF_RETURN_VOID) : kByMode.RETURN[m]; break;
        case OP_POP_INTO: id = kByMode.POP_INTO[m]; break;
        case OP_INC:
        case OP_DEC:
            id = kByMode.STEP[m];
            in.aux = static_cast<uint16_t>(static_cast<int16_t>(op == OP_INC ? 1 : -1));
            break;
        case OP_CALL:
            if (m == 56 && Target(in, 0, *info)) {
                id = VMF_CALL;
                MarkEntry(in.field[0]);
                m_calls.push_back(i);
            } else if (IsTemp(info->kind[0])) {
                MarkEntry(in.field[0]);
            }
            break;
        case OP_JUMP:
            if (m == 56 && Target(in, 0, *info)) id = VMF_JUMP;
            break;
        case OP_POP:
            if (m == 56) id = VMF_POP;
            break;
        case OP_RESERVE:
            if (m == 56) id = VMF_RESERVE;
            break;
        default:
            break;
        }
        if (id >= 0) Use(i, id);
        const bool cached = op == OP_METHOD_CALL || op == OP_MEMBER_READ || op == OP_MEMBER_WRITE;
        if (id >= 0 && cached && m_p.cacheSites < UINT16_MAX) in.aux = static_cast<uint16_t>(++m_p.cacheSites);
    }

    // Pairs the compilers emit, run as one: the second instruction keeps its
    // own handler, so a jump to it still runs it alone.
    void Fuse(int32_t i) {
        const int id = Fast(i);
        const int next = Fast(i + 1);
        VmInstruction& in = m_code[i];
        const int m = in.mode;
        if (next == VMF_CALL && id >= 0 && id == kByMode.PUSH[m]) Use(i, kByMode.PUSH_CALL[m]);
        if (next == VMF_POP && id >= 0 && id == kByMode.POP_INTO[m]) Use(i, kByMode.POP_INTO_POP[m]);
        if (id >= 0 && id == kByMode.STEP[m]) {
            if (next == VMF_JUMP) Use(i, kByMode.STEP_JUMP[m]);
            const int nextMode = m_code[i + 1].mode;
            if (m == 53 && next >= 0 && nextMode >= 0 && nextMode < kVmModeCount) {
                const int16_t* const alone[] = {kByMode.REL_EQ, kByMode.REL_NE, kByMode.REL_LT,
                                                kByMode.REL_GT, kByMode.REL_LE, kByMode.REL_GE};
                const int16_t* const stepped[] = {kByMode.STEP_EQ, kByMode.STEP_NE, kByMode.STEP_LT,
                                                  kByMode.STEP_GT, kByMode.STEP_LE, kByMode.STEP_GE};
                if (next == kByMode.RELATION[nextMode] && kByMode.STEP_REL[nextMode] >= 0)
                    Use(i, kByMode.STEP_REL[nextMode]);
                for (int r = 0; r < 6; ++r)
                    if (next == alone[r][nextMode] && stepped[r][nextMode] >= 0) Use(i, stepped[r][nextMode]);
            }
        }
        if (id == VMF_CALL) {
            // The callee's first instruction reserves its locals: the call
            // reserves them itself.
            const VmInstruction& start = *in.x.target;
            if (start.opcode == OP_RESERVE && start.mode == 56 && start.field[0] >= 1 &&
                start.field[0] <= CVirtualMachine::kMaxStackSlots)
                in.aux = static_cast<uint16_t>(start.field[0] + 1);
        }
    }

    // The frame slots each stretch of code uses, as the frames it may run in
    // unchecked. A stretch runs from one entry (the start-up code, a function,
    // a method, a call's target) to the next; it is entered only there and
    // leaves only by returning, unless it jumps elsewhere or falls through into
    // the next stretch. A stretch that falls through also uses the slots of
    // the next one; one that jumps out, or to a target known only at run time,
    // may run any code of the program: it gets the slots of the whole program.
    void FrameRanges() {
        struct Stretch {
            int32_t start, end;
            int32_t lo = 0, hi = 0;  // frame slots used, the marker's 0 included
            int32_t farthest = -1;   // the farthest constant jump target
            bool leaves = false, fallsThrough = true;
        };
        std::vector<Stretch> stretches;
        int32_t lo = 0, hi = 0;
        for (int32_t i = 0; i < m_n; ++i) {
            if (m_entry[static_cast<size_t>(i)]) stretches.push_back({i, i});
            Stretch& s = stretches.back();
            s.end = i + 1;
            const VmInstruction& in = m_code[i];
            const VmModeInfo* info = VmModeInfoOf(in.mode);
            if (!info) continue;
            for (int k = 0; k < 3; ++k) {
                if (info->kind[k] != VmOperandKind::Local) continue;
                const int32_t slot = in.field[k] / static_cast<int32_t>(sizeof(CVmValue));
                s.lo = std::min(s.lo, slot);
                s.hi = std::max(s.hi, slot);
            }
            const int t = JumpTargetOperand(in.opcode);
            if (t >= 0) {
                if (!IsTemp(info->kind[t]) || in.field[t] < s.start)
                    s.leaves = true;
                else
                    s.farthest = std::max(s.farthest, in.field[t]);
            }
            s.fallsThrough = in.opcode != OP_RETURN && in.opcode != OP_JUMP;
            lo = std::min(lo, s.lo);
            hi = std::max(hi, s.hi);
        }
        for (Stretch& s : stretches) s.leaves = s.leaves || s.farthest >= s.end;
        for (size_t k = stretches.size(); k-- > 1;) {
            Stretch& s = stretches[k - 1];
            const Stretch& after = stretches[k];
            if (!s.fallsThrough) continue;
            s.lo = std::min(s.lo, after.lo);
            s.hi = std::max(s.hi, after.hi);
            s.leaves = s.leaves || after.leaves;
        }
        m_p.frameRanges.resize(static_cast<size_t>(m_n) + 1);
        m_p.frameRanges[static_cast<size_t>(m_n)] = {0, CVirtualMachine::kMaxStackSlots};
        for (const Stretch& s : stretches) {
            const int32_t useLo = s.leaves ? lo : s.lo;
            const int32_t useHi = s.leaves ? hi : s.hi;
            // Frame index f may run the code when f + useLo >= 0 and
            // f + useHi < the stack's slots.
            const int32_t low = -useLo;
            const int32_t span = std::max(0, CVirtualMachine::kMaxStackSlots - useHi - low);
            for (int32_t i = s.start; i < s.end; ++i) m_p.frameRanges[static_cast<size_t>(i)] = {low, span};
        }
    }

    VmProgram& m_p;
    const int32_t m_n;
    VmInstruction* m_code = nullptr;
    std::vector<int16_t> m_fast;
    std::vector<char> m_entry;
    std::vector<int32_t> m_calls;  // the calls with a constant target
};

}  // namespace

void VmProgram::Link() {
    if (linked) return;
    Linker(*this).Run();
}
