#include "VmInstruction.h"

#include <cstring>

#include "VirtualMachine.h"

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

VmInstruction VmTrapInstruction() {
    VmInstruction trap;
    int32_t fields[32] = {};
    fields[8] = 1;
    trap.Set(OP_TRAP, 56, fields);
    return trap;
}
