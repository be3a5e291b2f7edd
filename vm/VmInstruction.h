// Instructions: the opcode and addressing-mode tables, and the decoded form
// in which the machine runs them.
//
// In the bytecode an instruction is an opcode byte, a mode byte and the
// operands that the mode needs. The loader decodes each one into a
// VmInstruction: per operand its kind (frame slot, global, embedded value,
// immediate in a temporary, null) and its index or immediate, plus the one
// embedded value some modes carry. The run loop resolves operands from that.
#pragma once

#include <cstdint>

#include "VmValue.h"

// Operand kinds.
enum class VmOperandKind : uint8_t {
    Null,    // the operand pointer is null
    Keep,    // not set by the mode (the opcodes used with it do not read it)
    Local,   // frame slot: frame base + index (parameters below, locals above)
    Global,  // global number index
    Value,   // the value embedded in the instruction
    Temp1,   // first integer temporary, loaded with the immediate
    Temp2,   // second integer temporary, loaded with the immediate
};

// Operands the opcode handlers read: A (operand 1), B (operand 2), T (operand 3).
enum : uint8_t { VM_READS_A = 1, VM_READS_B = 2, VM_READS_T = 4, VM_A_MAY_BE_NULL = 8 };

// The opcode table: code, enumerator, label of the type-mismatch report,
// operands read.
#define VM_OPCODES(X)                                          \
    X(0, POP_INTO, "", VM_READS_A)                             \
    X(1, POP, "", VM_READS_A)                                  \
    X(2, PUSH, "", VM_READS_A)                                 \
    X(3, NOP3, "", 0)                                          \
    X(4, RESERVE, "", VM_READS_A)                              \
    X(5, CALL, "", VM_READS_A)                                 \
    X(6, CALL_NATIVE, "", VM_READS_A | VM_READS_T)             \
    X(7, RETURN, "", VM_READS_A | VM_A_MAY_BE_NULL)            \
    X(8, COPY, "", VM_READS_A | VM_READS_T)                    \
    X(9, ADD_TO, " + ", VM_READS_A | VM_READS_T)               \
    X(10, ADD, " + ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(11, SUB_FROM, " - ", VM_READS_A | VM_READS_T)            \
    X(12, SUB, " - ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(13, MUL_BY, " * ", VM_READS_A | VM_READS_T)              \
    X(14, MUL, " * ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(15, DIV_BY, " / ", VM_READS_A | VM_READS_T)              \
    X(16, DIV, " / ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(17, MOD_BY, " % ", VM_READS_A | VM_READS_T)              \
    X(18, MOD, " % ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(19, OR_WITH, " | ", VM_READS_A | VM_READS_T)             \
    X(20, OR, " | ", VM_READS_A | VM_READS_B | VM_READS_T)     \
    X(21, AND_WITH, " & ", VM_READS_A | VM_READS_T)            \
    X(22, AND, " & ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(23, POW_BY, " ^ ", VM_READS_A | VM_READS_T)              \
    X(24, POW, " ^ ", VM_READS_A | VM_READS_B | VM_READS_T)    \
    X(25, INC, " +1 ", VM_READS_A)                             \
    X(26, DEC, " -1 ", VM_READS_A)                             \
    X(27, NEG, " - ", VM_READS_A | VM_READS_T)                 \
    X(28, NOT, " ! ", VM_READS_A | VM_READS_T)                 \
    X(29, JUMP_EQ, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(30, JUMP_NE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(31, JUMP_LT, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(32, JUMP_GT, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(33, JUMP_LE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(34, JUMP_GE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(35, JUMP_TRUE, " BoolOp ", VM_READS_A | VM_READS_T)      \
    X(36, JUMP_FALSE, " BoolOp ", VM_READS_A | VM_READS_T)     \
    X(37, JUMP, "", VM_READS_A)                                \
    X(38, SIN, "SIN", VM_READS_A | VM_READS_T)                 \
    X(39, COS, "COS", VM_READS_A | VM_READS_T)                 \
    X(40, TAN, "TAN", VM_READS_A | VM_READS_T)                 \
    X(41, LOG, "LOG", VM_READS_A | VM_READS_T)                 \
    X(42, ASIN, "ASIN", VM_READS_A | VM_READS_T)               \
    X(43, ACOS, "ACOS", VM_READS_A | VM_READS_T)               \
    X(44, ATAN, "ATAN", VM_READS_A | VM_READS_T)               \
    X(45, LN, "LN", VM_READS_A | VM_READS_T)                   \
    X(46, SQRT, "SQRT", VM_READS_A | VM_READS_T)               \
    X(47, LEN, "LEN", VM_READS_A | VM_READS_T)                 \
    X(48, INT, "INT", VM_READS_A | VM_READS_T)                 \
    X(49, VAL, "VAL", VM_READS_A | VM_READS_T)                 \
    X(50, TYPE_LETTER, "", VM_READS_A | VM_READS_T)            \
    X(51, STR, "STR", VM_READS_A | VM_READS_T)                 \
    X(52, UPPER, "UPPER", VM_READS_A | VM_READS_T)             \
    X(53, LOWER, "LOWER", VM_READS_A | VM_READS_T)             \
    X(54, SPACE, "SPACE", VM_READS_A | VM_READS_T)             \
    X(55, LEFT, "LEFT", VM_READS_A | VM_READS_B | VM_READS_T)  \
    X(56, RIGHT, "RIGHT", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(57, ASC, "ASC", VM_READS_A | VM_READS_T)                 \
    X(58, CHAR, "CHAR", VM_READS_A | VM_READS_T)               \
    X(59, METHOD_CALL, "", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(60, MEMBER_READ, "", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(61, MEMBER_WRITE, "", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(62, VECTOR, "VECTOR", VM_READS_A | VM_READS_T)           \
    X(63, MODULUS, "MODULUS", VM_READS_A | VM_READS_T)         \
    X(64, ARRAY, "ARRAY", VM_READS_A | VM_READS_T)             \
    X(65, INDEX_READ, "[", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(66, INDEX_WRITE, "[", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(67, NOP67, "", 0)                                        \
    X(68, ARRAY_REMOVE, "", VM_READS_A | VM_READS_T)           \
    X(69, ARRAY_RESIZE, "", VM_READS_A | VM_READS_T)           \
    X(70, ARRAY_APPEND, "", VM_READS_A | VM_READS_T)           \
    X(71, JUMP_VOID, "", VM_READS_A | VM_READS_T)              \
    X(72, JUMP_NOT_VOID, "", VM_READS_A | VM_READS_T)          \
    X(73, SET_VOID, "", VM_READS_A)                            \
    X(74, ABS, "", VM_READS_A | VM_READS_T)                    \
    X(75, OUTPUT, "", VM_READS_A)                              \
    X(76, BASE_PART, "", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(77, NOP77, "", 0)                                        \
    X(80, TRAP, "", VM_READS_A)                                \
    X(81, VECTOR_INT, "", VM_READS_A | VM_READS_T)

enum VmOpcode : uint8_t {
#define VM_OPCODE_ENUM(code, name, label, reads) OP_##name = code,
    VM_OPCODES(VM_OPCODE_ENUM)
#undef VM_OPCODE_ENUM
};

constexpr int kVmOpcodeCount = 82;
constexpr int kVmModeCount = 58;

struct VmOpcodeInfo {
    bool assigned;
    const char* name;
    const char* label;
    uint8_t reads;
};
const VmOpcodeInfo& VmOpcodeInfoOf(int opcode);

// An operand field of the file encoding: its type and its position in the
// original 32-byte instruction record (positions name the fields; the decoded
// form does not keep the record).
enum class VmFieldType : uint8_t { Int16, Int32, Value };
struct VmField {
    VmFieldType type;
    uint8_t position;
};

struct VmModeInfo {
    VmOperandKind kind[3];
    uint8_t position[3];  // where each operand's index, immediate or value is
    uint8_t fieldCount;
    VmField fields[3];    // the operands in file order
};
// Null for modes without a routine (negative or 58 and above).
const VmModeInfo* VmModeInfoOf(int mode);

struct VmOperand {
    VmOperandKind kind;
    int32_t index;  // slot index, global index or immediate
};

struct VmInstruction {
    VmInstruction() = default;
    VmInstruction(const VmInstruction& other) = default;
    VmInstruction& operator=(const VmInstruction& other) = default;

    int32_t opcode = 3;
    int32_t mode = 57;
    // What the run loop switches on: the opcode, or kUnsupported for an
    // opcode or mode without a handler or routine.
    uint8_t dispatch = 3;
    VmOperand op[3] = {{VmOperandKind::Null, 0}, {VmOperandKind::Null, 0}, {VmOperandKind::Null, 0}};
    CVmValue value;  // the embedded value of modes that carry one (the instruction's own copy)

    static constexpr uint8_t kUnsupported = 255;

    // Sets opcode and mode and fills the operands from the mode's table for
    // raw field contents given by position (int16 and int32 fields, already
    // sign-extended); the embedded value is set apart. False for an opcode or
    // mode without a handler or routine.
    bool Set(int opcode, int mode, const int32_t fieldsByPosition[32]);
};

// The debugger's trap instruction: opcode 80, mode 56, immediate 1.
VmInstruction VmTrapInstruction();
