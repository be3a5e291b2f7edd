// Reading instructions in their file encoding: an opcode byte, a mode byte
// (both signed) and the operand fields the mode names, in file order.
#pragma once

#include <string>
#include <vector>

#include "ByteStream.h"
#include "VmInstruction.h"

// Decodes one instruction; false when the input ends early or an embedded
// value is malformed. An unknown opcode or mode decodes (it reads no
// operands) and is left for VmProgram::Validate to refuse.
bool VmReadInstruction(ByteReader& in, VmInstruction& out);

// Turns an embedded constant reference (VmRifStr, VmRifVec) into the
// instruction's own copy of that constant; false (with the reason) when the
// index or the constant's type is wrong.
bool VmFixConstant(VmInstruction& in, const std::vector<CVmValue>& constants, std::string& error);
