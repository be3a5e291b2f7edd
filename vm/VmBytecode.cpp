#include "VmBytecode.h"

#include <sstream>

#include "VirtualMachine.h"

namespace {

// The value table slot of an embedded value: a constant reference designates
// the constant (a copy when the instruction writes the operand, so that the
// constant stays as it is), any other value a slot of its own.
bool PlaceValue(CVmValue& v, bool written, VmProgram& program, int32_t& slot, std::string& error) {
    const VmValueType t = v.type;
    if (t != VmValueType::VmRifStr && t != VmValueType::VmRifVec) {
        slot = static_cast<int32_t>(program.values.size());
        program.values.emplace_back();
        program.values.back().Move(v);
        return true;
    }
    const int32_t index = v.asInt;
    const VmValueType want = t == VmValueType::VmRifStr ? VmValueType::String : VmValueType::Vector;
    if (index < 0 || static_cast<size_t>(index) >= program.constantCount ||
        program.values[static_cast<size_t>(index)].type != want) {
        std::ostringstream why;
        why << "refers to constant " << index << ", which is not a "
            << (want == VmValueType::String ? "string" : "vector") << " constant of the program.";
        error = why.str();
        return false;
    }
    slot = index;
    if (written) {
        slot = static_cast<int32_t>(program.values.size());
        program.values.emplace_back(program.values[static_cast<size_t>(index)]);
    }
    return true;
}

}  // namespace

bool VmReadInstruction(ByteReader& in, VmInstruction& out, VmProgram& program, std::string& error) {
    uint8_t opcode, mode;
    if (!in.GetByte(opcode) || !in.GetByte(mode)) return false;
    const int op = static_cast<signed char>(opcode);
    const int m = static_cast<signed char>(mode);
    const VmModeInfo* info = VmModeInfoOf(m);
    const VmOpcodeInfo& opInfo = VmOpcodeInfoOf(op);
    out.opcode = static_cast<int8_t>(op);
    out.mode = static_cast<int8_t>(m);
    out.aux = 0;
    out.x.magic = 0;
    out.field[0] = out.field[1] = out.field[2] = 0;
    out.handler = CVirtualMachine::GeneralHandler(opInfo.assigned && info ? op : -1);
    if (!info) return true;
    for (int f = 0; f < info->fieldCount; ++f) {
        const int k = info->fieldOperand[f];
        switch (info->fields[f].type) {
        case VmFieldType::Int16: {
            int16_t v;
            if (!in.GetInt16(v)) return false;
            out.field[k] = info->kind[k] == VmOperandKind::Temp1 || info->kind[k] == VmOperandKind::Temp2
                               ? v
                               : v * static_cast<int32_t>(sizeof(CVmValue));
            break;
        }
        case VmFieldType::Int32: {
            int32_t v;
            if (!in.GetInt32(v)) return false;
            out.field[k] = v;
            break;
        }
        case VmFieldType::Value: {
            // Objects cannot be constants: no factory.
            CVmValue v;
            if (!v.ReadFrom(in, nullptr)) return false;
            const bool written = k == 0 && (opInfo.reads & VM_WRITES_A);
            int32_t slot = 0;
            if (!PlaceValue(v, written, program, slot, error)) return false;
            out.field[k] = slot * static_cast<int32_t>(sizeof(CVmValue));
            break;
        }
        }
    }
    return true;
}
