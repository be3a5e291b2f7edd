#include "VmInstruction.h"

#include <cstring>

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

const ModeRow kModeRows[] = {
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

VmOperandKind KindOf(char c) {
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
uint8_t ReadNumber(const char*& p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
    return static_cast<uint8_t>(n);
}

struct ModeTable {
    VmModeInfo modes[kVmModeCount];
    ModeTable() {
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
                VmField& field = m.fields[m.fieldCount++];
                field.type = t == 'h' ? VmFieldType::Int16 : t == 'i' ? VmFieldType::Int32 : VmFieldType::Value;
                field.position = ReadNumber(f);
            }
        }
    }
};

const ModeTable& Modes() {
    static const ModeTable table;
    return table;
}

struct OpcodeTable {
    VmOpcodeInfo ops[kVmOpcodeCount];
    uint8_t handler[kVmOpcodeCount];
    OpcodeTable() {
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

const OpcodeTable& Opcodes() {
    static const OpcodeTable table;
    return table;
}

}  // namespace

const VmOpcodeInfo& VmOpcodeInfoOf(int opcode) {
    static const VmOpcodeInfo none = {false, "", "", 0};
    return (opcode >= 0 && opcode < kVmOpcodeCount) ? Opcodes().ops[opcode] : none;
}

const VmModeInfo* VmModeInfoOf(int mode) {
    if (mode < 0 || mode >= kVmModeCount) return nullptr;
    return &Modes().modes[mode];
}

bool VmInstruction::Set(int code, int m, const int32_t fieldsByPosition[32]) {
    const VmModeInfo* info = VmModeInfoOf(m);
    opcode = code;
    mode = m;
    const bool known = VmOpcodeInfoOf(code).assigned;
    dispatch = (known && info) ? Opcodes().handler[code] : static_cast<uint8_t>(H_UNSUPPORTED);
    if (!info) {
        for (VmOperand& o : op) o = {VmOperandKind::Null, 0};
        return false;
    }
    const uint8_t writes = VmOpcodeInfoOf(code).reads;
    for (int k = 0; k < 3; ++k) {
        VmOperand& o = op[k];
        o.kind = info->kind[k];
        const uint8_t pos = info->position[k];
        o.index = 0;
        o.self = 0;
        o.offset = 0;
        switch (o.kind) {
        case VmOperandKind::Local:
            o.index = fieldsByPosition[pos];
            o.offset = o.index * static_cast<int32_t>(sizeof(CVmValue));
            o.access = VmAccess::Local;
            break;
        case VmOperandKind::Global:
            o.index = fieldsByPosition[pos];
            o.offset = o.index * static_cast<int32_t>(sizeof(CVmValue));
            o.access = VmAccess::Global;
            break;
        case VmOperandKind::Value:
            o.access = VmAccess::Self;
            break;
        case VmOperandKind::Temp1:
        case VmOperandKind::Temp2: {
            o.index = fieldsByPosition[pos];
            const bool written = (k == 0 && (writes & VM_WRITES_A)) || (k == 2 && (writes & VM_WRITES_T));
            if (written) {
                // Writes land in the machine's temporary, which is reloaded
                // each time, so the immediate itself never changes.
                o.access = o.kind == VmOperandKind::Temp1 ? VmAccess::Temp1 : VmAccess::Temp2;
            } else {
                o.self = o.kind == VmOperandKind::Temp1 ? 1 : 2;
                o.access = VmAccess::Self;
                self[o.self].SetInteger(o.index);
            }
            break;
        }
        default:
            o.access = VmAccess::Null;
            break;
        }
    }
    return known;
}

VmInstruction VmTrapInstruction() {
    VmInstruction trap;
    int32_t fields[32] = {};
    fields[8] = 1;
    trap.Set(OP_TRAP, 56, fields);
    return trap;
}
