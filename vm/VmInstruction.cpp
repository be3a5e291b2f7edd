#include "VmInstruction.h"

#include <cstring>

#include "VirtualMachine.h"

namespace {

// The addressing modes: per mode the kind and position of operands 1, 2 and
// 3, then the operand fields in file order (h int16, i int32, v value, each
// with its position). Kinds: L local, G global, V embedded value, 1 and 2
// the temporaries, - not set, 0 null.
struct ModeRow {
    int mode;
    const char* operands;  // "L8 G10 L12"
    const char* fields;    // "h8 h10 h12"
};

constexpr ModeRow kModeRows[] = {
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

constexpr VmOperandKind KindOf(char c) {
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
constexpr uint8_t ReadNumber(const char*& p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
    return static_cast<uint8_t>(n);
}

struct ModeTable {
    VmModeInfo modes[kVmModeCount];
    constexpr ModeTable() : modes() {
        for (const ModeRow& row : kModeRows) {
            VmModeInfo& m = modes[row.mode];
            const char* p = row.operands;
            for (int k = 0; k < 3; ++k) {
                while (*p == ' ') ++p;
                m.kind[k] = KindOf(*p++);
                m.position[k] = ReadNumber(p);
            }
            m.fieldCount = 0;
            for (const char* f = row.fields; *f;) {
                while (*f == ' ') ++f;
                if (!*f) break;
                const char t = *f++;
                VmField& field = m.fields[m.fieldCount];
                field.type = t == 'h' ? VmFieldType::Int16 : t == 'i' ? VmFieldType::Int32 : VmFieldType::Value;
                field.position = ReadNumber(f);
                for (uint8_t k = 0; k < 3; ++k)
                    if (m.kind[k] != VmOperandKind::Null && m.kind[k] != VmOperandKind::Keep &&
                        m.position[k] == field.position)
                        m.fieldOperand[m.fieldCount] = k;
                ++m.fieldCount;
            }
        }
    }
};

// Built at compile time: no initialisation order to care about.
constexpr ModeTable kModes;

struct OpcodeTable {
    VmOpcodeInfo ops[kVmOpcodeCount];
    uint8_t handler[kVmOpcodeCount];
    constexpr OpcodeTable() : ops(), handler() {
        for (int i = 0; i < kVmOpcodeCount; ++i) {
            ops[i] = {false, "", "", 0};
            handler[i] = H_UNSUPPORTED;
        }
#define VM_OPCODE_ROW(code, name, label, reads)                   \
    ops[code] = {true, #name, label, static_cast<uint8_t>(reads)}; \
    handler[code] = H_##name;
        VM_OPCODES(VM_OPCODE_ROW)
#undef VM_OPCODE_ROW
    }
};

constexpr OpcodeTable kOpcodes;

}  // namespace

const VmOpcodeInfo& VmOpcodeInfoOf(int opcode) {
    static const VmOpcodeInfo none = {false, "", "", 0};
    return (opcode >= 0 && opcode < kVmOpcodeCount) ? kOpcodes.ops[opcode] : none;
}

const VmModeInfo* VmModeInfoOf(int mode) {
    if (mode < 0 || mode >= kVmModeCount) return nullptr;
    return &kModes.modes[mode];
}

constexpr int32_t VmInstruction::kNoFields[32];

bool VmInstruction::Set(int code, int m, const int32_t fieldsByPosition[32]) {
    const VmModeInfo* info = VmModeInfoOf(m);
    const bool known = VmOpcodeInfoOf(code).assigned && info;
    opcode = static_cast<int8_t>(code);
    mode = static_cast<int8_t>(m);
    aux = 0;
    x.magic = 0;
    handler = CVirtualMachine::GeneralHandler(known ? code : -1);
    for (int k = 0; k < 3; ++k) {
        field[k] = 0;
        if (!info) continue;
        const int32_t raw = fieldsByPosition[info->position[k]];
        switch (info->kind[k]) {
        case VmOperandKind::Local:
        case VmOperandKind::Global:
            field[k] = raw * static_cast<int32_t>(sizeof(CVmValue));
            break;
        case VmOperandKind::Temp1:
        case VmOperandKind::Temp2:
            field[k] = raw;
            break;
        default:
            break;
        }
    }
    return known;
}

VmOperand VmInstruction::Operand(int k) const {
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

VmInstruction VmTrapInstruction() {
    VmInstruction trap;
    int32_t fields[32] = {};
    fields[8] = 1;
    trap.Set(OP_TRAP, 56, fields);
    return trap;
}
