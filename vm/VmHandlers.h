// The run loop's specialised handlers, listed once: the run loop expands the
// lists into its handlers and their address table, the linker (VmLink.cpp)
// into the choice of a handler per instruction.
//
// A specialised handler serves one family of opcodes in one addressing mode:
// it knows where each operand is (no per-operand decoding, no range check of
// frame slots: the frame was checked when it was entered) and does the
// common case inline. Some fuse an instruction with the one after it, which
// keeps its own handler, so that a jump to it still runs it alone.
#pragma once

#include <cstdint>

// Operand kinds of a mode: L frame slot, G global, V embedded value, I the
// first immediate, J the second immediate, N none.
//
// Shapes: the modes whose operands are of the kinds a family needs, each as
// X(family, mode, kind A, kind B, kind T).

// Two operands and a slot that receives the result.
#define VM_SHAPES_ABT(X, F)                                                                                     \
    X(F, 0, L, L, L) X(F, 1, L, L, G) X(F, 2, L, G, L) X(F, 3, L, G, G) X(F, 4, G, L, L) X(F, 5, G, L, G)     \
    X(F, 6, G, G, L) X(F, 7, G, G, G) X(F, 12, L, V, L) X(F, 13, L, V, G) X(F, 14, G, V, L) X(F, 15, G, V, G) \
    X(F, 18, L, I, L) X(F, 19, L, I, G) X(F, 20, G, I, L) X(F, 21, G, I, G) X(F, 24, V, L, L)                 \
    X(F, 25, V, L, G) X(F, 26, V, G, L) X(F, 27, V, G, G) X(F, 30, V, I, L) X(F, 31, V, I, G)                 \
    X(F, 32, I, L, L) X(F, 33, I, L, G) X(F, 34, I, G, L) X(F, 35, I, G, G) X(F, 38, I, J, L)                 \
    X(F, 39, I, J, G) X(F, 40, I, V, L) X(F, 41, I, V, G)
// Two operands compared and an immediate jump target.
#define VM_SHAPES_ABJ(X, F)                                                                                   \
    X(F, 8, L, L, I) X(F, 9, L, G, I) X(F, 10, G, L, I) X(F, 11, G, G, I) X(F, 16, L, V, I) X(F, 17, G, V, I) \
    X(F, 22, L, I, J) X(F, 23, G, I, J) X(F, 28, V, L, I) X(F, 29, V, G, I) X(F, 36, I, L, J) X(F, 37, I, G, J)
// A slot or global divided by an immediate, into a slot.
#define VM_SHAPES_AKT(X, F) X(F, 18, L, I, L) X(F, 19, L, I, G) X(F, 20, G, I, L) X(F, 21, G, I, G)
// One operand and a slot that receives the result.
#define VM_SHAPES_AT(X, F)                                                                                    \
    X(F, 42, L, N, L) X(F, 43, L, N, G) X(F, 44, G, N, L) X(F, 45, G, N, G) X(F, 48, V, N, L) X(F, 49, V, N, G) \
    X(F, 50, I, N, L) X(F, 51, I, N, G)
// A slot tested and an immediate jump target.
#define VM_SHAPES_AJ(X, F) X(F, 46, L, N, I) X(F, 47, G, N, I)
// A value, an immediate member name and a slot (an object, or the target).
#define VM_SHAPES_AIT(X, F)                                                                                   \
    X(F, 18, L, I, L) X(F, 19, L, I, G) X(F, 20, G, I, L) X(F, 21, G, I, G) X(F, 30, V, I, L) X(F, 31, V, I, G) \
    X(F, 38, I, J, L) X(F, 39, I, J, G)
// An object, an immediate method name and an immediate argument count.
#define VM_SHAPES_OIJ(X, F) X(F, 22, L, I, J) X(F, 23, G, I, J)
// One slot.
#define VM_SHAPES_S(X, F) X(F, 53, L, N, N) X(F, 54, G, N, N)
// One operand.
#define VM_SHAPES_A(X, F) X(F, 53, L, N, N) X(F, 54, G, N, N) X(F, 55, V, N, N) X(F, 56, I, N, N)
// A slot compared with a slot or an immediate, and an immediate jump target
// (each relational jump on its own: the compilers' loops and tests).
#define VM_SHAPES_LJ(X, F) X(F, 8, L, L, I) X(F, 22, L, I, J)
// Increment or decrement of a slot, then the comparison after it (the shape
// named is the comparison's).
#define VM_SHAPES_STEP_REL(X, F) X(F, 8, L, L, I) X(F, 16, L, V, I) X(F, 22, L, I, J)

// Families and their shapes. ADD, SUB, MUL: arithmetic (10, 12, 14); MODK and
// DIVK: remainder and division by a constant (18, 16); RELATION: the
// relational jumps (29 to 34), and REL_EQ to REL_GE each of them alone; TEST:
// the Bool jumps (35, 36); STEP: increment and decrement (25, 26); the others
// are named after their opcode. Fused: PUSH_CALL (push, then a call),
// POP_INTO_POP (pop into, then a pop), STEP_JUMP (a step, then a jump),
// STEP_REL and STEP_EQ to STEP_GE (a step, then a relational jump).
#define VM_FAST_SHAPED(X)                                                                                     \
    VM_SHAPES_ABT(X, ADD) VM_SHAPES_ABT(X, SUB) VM_SHAPES_ABT(X, MUL) VM_SHAPES_ABT(X, INDEX_READ)            \
    VM_SHAPES_ABT(X, INDEX_WRITE) VM_SHAPES_AKT(X, MODK) VM_SHAPES_AKT(X, DIVK) VM_SHAPES_ABJ(X, RELATION)    \
    VM_SHAPES_AT(X, COPY) VM_SHAPES_AT(X, ADD_TO) VM_SHAPES_AT(X, SUB_FROM) VM_SHAPES_AT(X, MUL_BY)           \
    VM_SHAPES_AT(X, ARRAY_APPEND) VM_SHAPES_AT(X, LEN) VM_SHAPES_AJ(X, TEST) VM_SHAPES_OIJ(X, METHOD_CALL)     \
    VM_SHAPES_AIT(X, MEMBER_READ) VM_SHAPES_AIT(X, MEMBER_WRITE)                                             \
    VM_SHAPES_A(X, PUSH) VM_SHAPES_A(X, PUSH_CALL) VM_SHAPES_A(X, RETURN) VM_SHAPES_S(X, POP_INTO)            \
    VM_SHAPES_S(X, POP_INTO_POP) VM_SHAPES_S(X, STEP) VM_SHAPES_S(X, STEP_JUMP) VM_SHAPES_STEP_REL(X, STEP_REL)    \
    VM_SHAPES_LJ(X, REL_EQ) VM_SHAPES_LJ(X, REL_NE) VM_SHAPES_LJ(X, REL_LT) VM_SHAPES_LJ(X, REL_GT)            \
    VM_SHAPES_LJ(X, REL_LE) VM_SHAPES_LJ(X, REL_GE) VM_SHAPES_LJ(X, STEP_EQ) VM_SHAPES_LJ(X, STEP_NE)          \
    VM_SHAPES_LJ(X, STEP_LT) VM_SHAPES_LJ(X, STEP_GT) VM_SHAPES_LJ(X, STEP_LE) VM_SHAPES_LJ(X, STEP_GE)

// The families above, once each.
#define VM_FAST_FAMILIES(X)                                                                                 \
    X(ADD) X(SUB) X(MUL) X(INDEX_READ) X(INDEX_WRITE) X(MODK) X(DIVK) X(RELATION) X(COPY) X(ADD_TO) X(SUB_FROM) \
    X(MUL_BY) X(ARRAY_APPEND) X(LEN) X(TEST) X(METHOD_CALL) X(MEMBER_READ) X(MEMBER_WRITE) X(PUSH) X(PUSH_CALL) X(RETURN) X(POP_INTO)        \
    X(POP_INTO_POP) X(STEP) X(STEP_JUMP) X(STEP_REL) X(REL_EQ) X(REL_NE) X(REL_LT) X(REL_GT) X(REL_LE) X(REL_GE)    \
    X(STEP_EQ) X(STEP_NE) X(STEP_LT) X(STEP_GT) X(STEP_LE) X(STEP_GE)

// Handlers of one form each: a call, a jump, a pop and a reserve with
// immediate operands, a return without a value, and the end of the code.
#define VM_FAST_SINGLE(X) X(CALL) X(JUMP) X(POP) X(RESERVE) X(RETURN_VOID) X(FALL_OFF)

enum VmFast : uint16_t {
#define VM_FAST_SHAPED_ENUM(F, mode, a, b, t) VMF_##F##_##mode,
#define VM_FAST_SINGLE_ENUM(F) VMF_##F,
    VM_FAST_SHAPED(VM_FAST_SHAPED_ENUM) VM_FAST_SINGLE(VM_FAST_SINGLE_ENUM)
#undef VM_FAST_SHAPED_ENUM
#undef VM_FAST_SINGLE_ENUM
        kVmFastCount
};

// Frame-marker flags beyond the "return to host" byte. kVmFrameOfMethod: the
// frame is a script-declared class's method that the run loop entered
// itself, so its return also moves the result into the method call's return
// slot. kVmFrameCallerFast: the caller ran the fast way when it called, so
// its frame may run the code at the return address unchecked.
constexpr int32_t kVmFrameOfMethod = 0x100;
constexpr int32_t kVmFrameCallerFast = 0x200;
