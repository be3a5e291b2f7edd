// Reading instructions in their file encoding: an opcode byte, a mode byte
// (both signed) and the operand fields the mode names, in file order.
#pragma once

#include <string>
#include <vector>

#include "ByteStream.h"
#include "VmInstruction.h"
#include "VmProgram.h"

// Decodes one instruction. An embedded value goes to the program's value
// table; an embedded constant reference (VmRifStr, VmRifVec) designates the
// constant itself, or a copy of it when the instruction writes that operand.
// False when the input ends early or an embedded value is malformed, and
// also (with the reason in error) when a constant reference's index or the
// constant's type is wrong. An unknown opcode or mode decodes (it reads no
// operands) and is left for VmProgram::Validate to refuse.
bool VmReadInstruction(ByteReader& in, VmInstruction& out, VmProgram& program, std::string& error);
