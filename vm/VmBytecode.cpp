#include "VmBytecode.h"

#include <sstream>

bool VmReadInstruction(ByteReader& in, VmInstruction& out) {
    uint8_t opcode, mode;
    if (!in.GetByte(opcode) || !in.GetByte(mode)) return false;
    const int op = static_cast<signed char>(opcode);
    const int m = static_cast<signed char>(mode);
    int32_t fields[32] = {};
    out.value.SetVoid();
    if (const VmModeInfo* info = VmModeInfoOf(m)) {
        for (int f = 0; f < info->fieldCount; ++f) {
            const VmField& field = info->fields[f];
            switch (field.type) {
            case VmFieldType::Int16: {
                int16_t v;
                if (!in.GetInt16(v)) return false;
                fields[field.position] = v;
                break;
            }
            case VmFieldType::Int32: {
                int32_t v;
                if (!in.GetInt32(v)) return false;
                fields[field.position] = v;
                break;
            }
            case VmFieldType::Value:
                // Objects cannot be constants: no factory.
                if (!out.value.ReadFrom(in, nullptr)) return false;
                break;
            }
        }
    }
    out.Set(op, m, fields);
    return true;
}

bool VmFixConstant(VmInstruction& in, const std::vector<CVmValue>& constants, std::string& error) {
    const VmValueType t = in.value.type;
    if (t != VmValueType::VmRifStr && t != VmValueType::VmRifVec) return true;
    const int32_t index = in.value.asInt;
    const VmValueType want = t == VmValueType::VmRifStr ? VmValueType::String : VmValueType::Vector;
    if (index < 0 || static_cast<size_t>(index) >= constants.size() || constants[static_cast<size_t>(index)].type != want) {
        std::ostringstream why;
        why << "refers to constant " << index << ", which is not a "
            << (want == VmValueType::String ? "string" : "vector") << " constant of the program.";
        error = why.str();
        return false;
    }
    in.value.Assign(constants[static_cast<size_t>(index)]);
    return true;
}
