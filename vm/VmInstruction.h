// Instructions: the opcode and addressing-mode tables, and the decoded form
// in which the machine runs them.
//
// In the bytecode an instruction is an opcode byte, a mode byte and the
// operands that the mode needs. The loader decodes each one into a 32-byte
// VmInstruction: the address of the run loop's handler for it, and per
// operand one field whose meaning the mode gives (a frame slot or global as
// a byte offset, an embedded value as a byte offset into the program's value
// table, an immediate as itself). The linker (VmLink.cpp) then picks, per
// instruction, a handler specialised for its operand kinds, and fuses common
// pairs of instructions.
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
// VM_WRITES_A / VM_WRITES_T: the handler writes that operand.
enum : uint8_t {
    VM_READS_A = 1,
    VM_READS_B = 2,
    VM_READS_T = 4,
    VM_A_MAY_BE_NULL = 8,
    VM_WRITES_A = 16,
    VM_WRITES_T = 32
};
#define VM_RT (VM_READS_T | VM_WRITES_T)

// The opcode table: code, enumerator, label of the type-mismatch report,
// operands read.
#define VM_OPCODES(X)                                          \
    X(0, POP_INTO, "", VM_READS_A | VM_WRITES_A)                             \
    X(1, POP, "", VM_READS_A)                                  \
    X(2, PUSH, "", VM_READS_A)                                 \
    X(3, NOP3, "", 0)                                          \
    X(4, RESERVE, "", VM_READS_A)                              \
    X(5, CALL, "", VM_READS_A)                                 \
    X(6, CALL_NATIVE, "", VM_READS_A | VM_READS_T)             \
    X(7, RETURN, "", VM_READS_A | VM_A_MAY_BE_NULL)            \
    X(8, COPY, "", VM_READS_A | VM_READS_T | VM_WRITES_T)                    \
    X(9, ADD_TO, " + ", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(10, ADD, " + ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(11, SUB_FROM, " - ", VM_READS_A | VM_READS_T | VM_WRITES_T)            \
    X(12, SUB, " - ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(13, MUL_BY, " * ", VM_READS_A | VM_READS_T | VM_WRITES_T)              \
    X(14, MUL, " * ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(15, DIV_BY, " / ", VM_READS_A | VM_READS_T | VM_WRITES_T)              \
    X(16, DIV, " / ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(17, MOD_BY, " % ", VM_READS_A | VM_READS_T | VM_WRITES_T)              \
    X(18, MOD, " % ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(19, OR_WITH, " | ", VM_READS_A | VM_READS_T | VM_WRITES_T)             \
    X(20, OR, " | ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)     \
    X(21, AND_WITH, " & ", VM_READS_A | VM_READS_T | VM_WRITES_T)            \
    X(22, AND, " & ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(23, POW_BY, " ^ ", VM_READS_A | VM_READS_T | VM_WRITES_T)              \
    X(24, POW, " ^ ", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)    \
    X(25, INC, " +1 ", VM_READS_A | VM_WRITES_A)                             \
    X(26, DEC, " -1 ", VM_READS_A | VM_WRITES_A)                             \
    X(27, NEG, " - ", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(28, NOT, " ! ", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(29, JUMP_EQ, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(30, JUMP_NE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(31, JUMP_LT, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(32, JUMP_GT, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(33, JUMP_LE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(34, JUMP_GE, " RelOp ", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(35, JUMP_TRUE, " BoolOp ", VM_READS_A | VM_READS_T)      \
    X(36, JUMP_FALSE, " BoolOp ", VM_READS_A | VM_READS_T)     \
    X(37, JUMP, "", VM_READS_A)                                \
    X(38, SIN, "SIN", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(39, COS, "COS", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(40, TAN, "TAN", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(41, LOG, "LOG", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(42, ASIN, "ASIN", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(43, ACOS, "ACOS", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(44, ATAN, "ATAN", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(45, LN, "LN", VM_READS_A | VM_READS_T | VM_WRITES_T)                   \
    X(46, SQRT, "SQRT", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(47, LEN, "LEN", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(48, INT, "INT", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(49, VAL, "VAL", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(50, TYPE_LETTER, "", VM_READS_A | VM_READS_T | VM_WRITES_T)            \
    X(51, STR, "STR", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(52, UPPER, "UPPER", VM_READS_A | VM_READS_T | VM_WRITES_T)             \
    X(53, LOWER, "LOWER", VM_READS_A | VM_READS_T | VM_WRITES_T)             \
    X(54, SPACE, "SPACE", VM_READS_A | VM_READS_T | VM_WRITES_T)             \
    X(55, LEFT, "LEFT", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T)  \
    X(56, RIGHT, "RIGHT", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(57, ASC, "ASC", VM_READS_A | VM_READS_T | VM_WRITES_T)                 \
    X(58, CHAR, "CHAR", VM_READS_A | VM_READS_T | VM_WRITES_T)               \
    X(59, METHOD_CALL, "", VM_READS_A | VM_READS_B | VM_READS_T) \
    X(60, MEMBER_READ, "", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(61, MEMBER_WRITE, "", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(62, VECTOR, "VECTOR", VM_READS_A | VM_READS_T | VM_WRITES_T)           \
    X(63, MODULUS, "MODULUS", VM_READS_A | VM_READS_T | VM_WRITES_T)         \
    X(64, ARRAY, "ARRAY", VM_READS_A | VM_READS_T | VM_WRITES_T)             \
    X(65, INDEX_READ, "[", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(66, INDEX_WRITE, "[", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(67, NOP67, "", 0)                                        \
    X(68, ARRAY_REMOVE, "", VM_READS_A | VM_READS_T | VM_WRITES_T)           \
    X(69, ARRAY_RESIZE, "", VM_READS_A | VM_READS_T | VM_WRITES_T)           \
    X(70, ARRAY_APPEND, "", VM_READS_A | VM_READS_T | VM_WRITES_T)           \
    X(71, JUMP_VOID, "", VM_READS_A | VM_READS_T)              \
    X(72, JUMP_NOT_VOID, "", VM_READS_A | VM_READS_T)          \
    X(73, SET_VOID, "", VM_READS_A | VM_WRITES_A)                            \
    X(74, ABS, "", VM_READS_A | VM_READS_T | VM_WRITES_T)                    \
    X(75, OUTPUT, "", VM_READS_A)                              \
    X(76, BASE_PART, "", VM_READS_A | VM_READS_B | VM_READS_T | VM_WRITES_T) \
    X(77, NOP77, "", 0)                                        \
    X(80, TRAP, "", VM_READS_A)                                \
    X(81, VECTOR_INT, "", VM_READS_A | VM_READS_T | VM_WRITES_T)

enum VmOpcode : uint8_t {
#define VM_OPCODE_ENUM(code, name, label, reads) OP_##name = code,
    VM_OPCODES(VM_OPCODE_ENUM)
#undef VM_OPCODE_ENUM
};

// Dense numbers of the run loop's general handlers, in table order, and one
// for every opcode or mode without a handler.
enum VmHandler : uint8_t {
#define VM_HANDLER_ENUM(code, name, label, reads) H_##name,
    VM_OPCODES(VM_HANDLER_ENUM)
#undef VM_HANDLER_ENUM
    H_UNSUPPORTED
};

constexpr int kVmOpcodeCount = 82;
constexpr int kVmModeCount = 58;

// The general handler of each opcode byte (as unsigned).
struct VmHandlerByOpcode {
    uint8_t handler[256];
    constexpr VmHandlerByOpcode() : handler() {
        for (uint8_t& h : handler) h = H_UNSUPPORTED;
#define VM_HANDLER_ROW(code, name, label, reads) handler[code] = H_##name;
        VM_OPCODES(VM_HANDLER_ROW)
#undef VM_HANDLER_ROW
    }
};
inline constexpr VmHandlerByOpcode kVmHandlerByOpcode{};

struct VmOpcodeInfo {
    bool assigned = false;
    const char* name = "";
    const char* label = "";
    uint8_t reads = 0;
};

// An operand field of the file encoding: its type and its position in the
// original 32-byte instruction record (positions name the fields; the decoded
// form does not keep the record).
enum class VmFieldType : uint8_t { Int16, Int32, Value };
struct VmField {
    VmFieldType type = VmFieldType::Int16;
    uint8_t position = 0;
};

struct VmModeInfo {
    VmOperandKind kind[3] = {};
    uint8_t position[3] = {};  // where each operand's index, immediate or value is
    uint8_t fieldCount = 0;
    VmField fields[3] = {};         // the operands in file order
    uint8_t fieldOperand[3] = {};  // the operand (0 A, 1 B, 2 T) each field fills
};
// The tables of opcodes and modes, built at compile time (no initialisation
// order to care about) and looked up inline.
//
// The addressing modes: per mode the kind and position of operands 1, 2 and
// 3, then the operand fields in file order (h int16, i int32, v value, each
// with its position). Kinds: L local, G global, V embedded value, 1 and 2
// the temporaries, - not set, 0 null.
struct VmModeRow {
    int mode;
    const char* operands;  // "L8 G10 L12"
    const char* fields;    // "h8 h10 h12"
};

inline constexpr VmModeRow kVmModeRows[] = {
    {0, "L8 L10 L12", "h8 h10 h12"},   {1, "L8 L10 G12", "h8 h10 h12"},   {2, "L8 G10 L12", "h8 h10 h12"},
    {3, "L8 G10 G12", "h8 h10 h12"},   {4, "G8 L10 L12", "h8 h10 h12"},   {5, "G8 L10 G12", "h8 h10 h12"},
    {6, "G8 G10 L12", "h8 h10 h12"},   {7, "G8 G10 G12", "h8 h10 h12"},   {8, "L8 L10 112", "h8 h10 i12"},
    {9, "L8 G10 112", "h8 h10 i12"},    {10, "G8 L10 112", "h8 h10 i12"},   {11, "G8 G10 112", "h8 h10 i12"},
    {12, "L8 V12 L28", "h8 h28 v12"},  {13, "L8 V12 G28", "h8 h28 v12"},  {14, "G8 V12 L28", "h8 h28 v12"},
    {15, "G8 V12 G28", "h8 h28 v12"},  {16, "L8 V12 128", "h8 i28 v12"},  {17, "G8 V12 128", "h8 i28 v12"},
    {18, "L8 112 L16", "h8 i12 h16"},  {19, "L8 112 G16", "h8 i12 h16"},  {20, "G8 112 L16", "h8 i12 h16"},
    {21, "G8 112 G16", "h8 i12 h16"},  {22, "L8 112 216", "h8 i12 i16"},  {23, "G8 112 216", "h8 i12 i16"},
    {24, "V8 L24 L26", "h24 h26 v8"},  {25, "V8 L24 G26", "h24 h26 v8"},  {26, "V8 G24 L26", "h24 h26 v8"},
    {27, "V8 G24 G26", "h24 h26 v8"},  {28, "V8 L24 128", "h24 i28 v8"},  {29, "V8 G24 128", "h24 i28 v8"},
    {30, "V8 124 L28", "i24 h28 v8"},  {31, "V8 124 G28", "i24 h28 v8"},  {32, "18 L12 L14", "i8 h12 h14"},
    {33, "18 L12 G14", "i8 h12 h14"},  {34, "18 G12 L14", "i8 h12 h14"},  {35, "18 G12 G14", "i8 h12 h14"},
    {36, "18 L12 216", "i8 h12 i16"},  {37, "18 G12 216", "i8 h12 i16"},  {38, "18 212 L16", "i8 i12 h16"},
    {39, "18 212 G16", "i8 i12 h16"},  {40, "18 V12 L28", "i8 v12 h28"},  {41, "18 V12 G28", "i8 v12 h28"},
    {42, "L8 - L10", "h8 h10"},        {43, "L8 - G10", "h8 h10"},        {44, "G8 - L10", "h8 h10"},
    {45, "G8 - G10", "h8 h10"},        {46, "L8 - 112", "h8 i12"},        {47, "G8 - 112", "h8 i12"},
    {48, "V8 - L24", "h24 v8"},        {49, "V8 - G24", "h24 v8"},        {50, "18 - L12", "i8 h12"},
    {51, "18 - G12", "i8 h12"},        {52, "18 - 212", "i8 i12"},        {53, "L8 - -", "h8"},
    {54, "G8 - -", "h8"},              {55, "V8 - -", "v8"},              {56, "18 - -", "i8"},
    {57, "0 0 0", ""},
};

constexpr VmOperandKind VmKindOf(char c) {
    switch (c) {
    case 'L':
        return VmOperandKind::Local;
    case 'G':
        return VmOperandKind::Global;
    case 'V':
        return VmOperandKind::Value;
    case '1':
        return VmOperandKind::Temp1;
    case '2':
        return VmOperandKind::Temp2;
    case '-':
        return VmOperandKind::Keep;
    default:
        return VmOperandKind::Null;
    }
}

// Reads the decimal number at p (0 when there is none) and moves p past it.
constexpr uint8_t VmReadNumber(const char*& p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
    return static_cast<uint8_t>(n);
}

struct VmModeTable {
    VmModeInfo modes[kVmModeCount];
    constexpr VmModeTable() : modes() {
        for (const VmModeRow& row : kVmModeRows) {
            VmModeInfo& m = modes[row.mode];
            const char* p = row.operands;
            for (int k = 0; k < 3; ++k) {
                while (*p == ' ') ++p;
                m.kind[k] = VmKindOf(*p++);
                m.position[k] = VmReadNumber(p);
            }
            m.fieldCount = 0;
            for (const char* f = row.fields; *f;) {
                while (*f == ' ') ++f;
                if (!*f) break;
                const char t = *f++;
                VmField& field = m.fields[m.fieldCount];
                field.type = t == 'h' ? VmFieldType::Int16 : t == 'i' ? VmFieldType::Int32 : VmFieldType::Value;
                field.position = VmReadNumber(f);
                for (uint8_t k = 0; k < 3; ++k)
                    if (m.kind[k] != VmOperandKind::Null && m.kind[k] != VmOperandKind::Keep &&
                        m.position[k] == field.position)
                        m.fieldOperand[m.fieldCount] = k;
                ++m.fieldCount;
            }
        }
    }
};

inline constexpr VmModeTable kVmModes;

struct VmOpcodeTable {
    VmOpcodeInfo ops[kVmOpcodeCount];
    VmOpcodeInfo none = {false, "", "", 0};
    constexpr VmOpcodeTable() : ops() {
#define VM_OPCODE_ROW(code, name, label, reads) ops[code] = {true, #name, label, static_cast<uint8_t>(reads)};
        VM_OPCODES(VM_OPCODE_ROW)
#undef VM_OPCODE_ROW
    }
};

inline constexpr VmOpcodeTable kVmOpcodes;

inline const VmOpcodeInfo& VmOpcodeInfoOf(int opcode) {
    return (opcode >= 0 && opcode < kVmOpcodeCount) ? kVmOpcodes.ops[opcode] : kVmOpcodes.none;
}

// Null for modes without a routine (negative or 58 and above).
inline const VmModeInfo* VmModeInfoOf(int mode) {
    if (mode < 0 || mode >= kVmModeCount) return nullptr;
    return &kVmModes.modes[mode];
}

// An operand as its kind and index: the slot index (frame slot, global,
// entry of the program's value table) or the immediate.
struct VmOperand {
    VmOperandKind kind;
    int32_t index;
};

struct VmInstruction {
    // The handler the run loop jumps to: the opcode's general handler, or
    // (after linking) one specialised for the operand kinds or fused with the
    // next instruction. Every instruction has one.
    const void* handler;
    // Operands A, B and T: a frame slot, a global or an embedded value as a
    // byte offset (from the frame base, the globals, the program's value
    // table), an immediate as itself, 0 for none.
    int32_t field[3];
    int8_t opcode;
    int8_t mode;
    // Data of the specialised handler (a comparison's test, a reserve the call
    // makes for its callee).
    uint16_t aux;
    // More of it: a constant jump or call target, a divisor's reciprocal.
    union {
        const VmInstruction* target;
        uint64_t magic;
        int32_t word[2];
    } x;

    VmInstruction() { Set(OP_NOP3, 57, kNoFields); }
    // An instruction to be decoded into: nothing set.
    enum Undecoded { kUndecoded };
    explicit VmInstruction(Undecoded) {}

    // Sets opcode and mode and fills the operands from the mode's table for
    // raw field contents given by position (int16 and int32 fields, already
    // sign-extended); an embedded value's field is set apart. The handler is
    // the opcode's general one. False for an opcode or mode without a handler
    // or routine.
    bool Set(int opcode, int mode, const int32_t fieldsByPosition[32]);
    // Operand k (0 A, 1 B, 2 T) as its kind and index.
    VmOperand Operand(int k) const {
        const VmModeInfo* info = VmModeInfoOf(mode);
        const VmOperandKind kind = info ? info->kind[k] : VmOperandKind::Null;
        switch (kind) {
        case VmOperandKind::Local:
        case VmOperandKind::Global:
        case VmOperandKind::Value:
            return {kind, field[k] / static_cast<int32_t>(sizeof(CVmValue))};
        case VmOperandKind::Temp1:
        case VmOperandKind::Temp2:
            return {kind, field[k]};
        default:
            return {kind, 0};
        }
    }

    static constexpr int32_t kNoFields[32] = {};
};

static_assert(sizeof(VmInstruction) == 32, "a decoded instruction takes 32 bytes");

// The debugger's trap instruction: opcode 80, mode 56, immediate 1.
VmInstruction VmTrapInstruction();
