// Builds script programs for tests, instruction by instruction, in the
// bytecode's own encoding: each instruction is written as the file has it
// and decoded by the machine's own decoder, so programs built here run
// exactly as loaded ones do.
//
//   ProgramBuilder b;
//   b.Function("FACT", 1);
//   b.Emit(OP_RESERVE, I(1));
//   ...
//   std::shared_ptr<VmProgram> p = b.Build();
//
// WriteFile writes the program as a complete bytecode file in the exact
// format the loader reads.
//
// Operands: L(k) frame slot, G(k) global, I(n) immediate (or At(label)), and
// embedded values VInt, VReal, VStr, VBool, VFloats (a Vector), VValue,
// VRifStr. Emit picks the addressing mode whose operand kinds match; EmitMode
// forces one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vm/VmInstruction.h"
#include "vm/VmProgram.h"
#include "vm/VmValue.h"

namespace qemtest {

struct Label {
    int id = -1;
};

struct Opnd {
    enum Kind { None, Local, Global, Immediate, Value };
    Kind kind = None;
    int32_t n = 0;
    int label = -1;  // an immediate that is a label's instruction index
    CVmValue value;
};

Opnd L(int32_t k);
Opnd G(int32_t k);
Opnd I(int32_t n);
Opnd At(Label label);
Opnd VValue(const CVmValue& v);
Opnd VInt(int32_t n);
Opnd VReal(float f);
Opnd VStr(const char* s);
Opnd VBool(bool b);
Opnd VFloats(const std::vector<float>& values);  // a Vector
Opnd VRifStr(int32_t constantIndex);
Opnd VRifVec(int32_t constantIndex);
inline Opnd None() { return Opnd(); }

// How WriteFile writes a program.
struct FileOptions {
    int16_t version[3] = {2, 0, 4};
    // The extension marker "HEAD_1_8_1" with the imported modules' offset and
    // count, and the fallback word of each class after the declarations.
    bool marker = true;
    bool sortFunctions = true;  // false: the function table in the order given
    bool thirdLineColumn = false;
};

// Where the sections of a written file start (fallbacks: the fallback
// words after the class declarations), and its size.
struct FileLayout {
    size_t functions = 0, natives = 0, constants = 0, methods = 0, named = 0, classes = 0, fallbacks = 0,
           imports = 0, lines = 0, code = 0, size = 0;
};

// Big-endian stores into written bytes, for tests that damage files.
void PatchInt16(std::vector<uint8_t>& bytes, size_t offset, int32_t value);
void PatchInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t value);

class ProgramBuilder {
public:
    ProgramBuilder();

    // Instructions; each returns the instruction's index.
    int Emit(int opcode, const Opnd& a = None(), const Opnd& b = None(), const Opnd& t = None());
    int EmitMode(int opcode, int mode, const Opnd& a = None(), const Opnd& b = None(), const Opnd& t = None());
    // An instruction given as raw bytes after the opcode and mode bytes.
    int EmitRaw(int opcode, int mode, const std::vector<uint8_t>& operandBytes);
    int Here() const { return static_cast<int>(m_code.size()); }

    Label NewLabel();
    void Bind(Label label);

    // The calling convention of compiled scripts.
    void Push(const Opnd& v) { Emit(OP_PUSH, v); }
    // Pushes the arguments (last first), calls, pops the result into target
    // and drops the arguments.
    void CallScript(const std::string& function, const std::vector<Opnd>& args, const Opnd& target);
    void CallNative(const std::string& name, const std::vector<Opnd>& args, const Opnd& target);
    void CallMethod(const Opnd& object, const std::string& method, const std::vector<Opnd>& args, const Opnd& target);
    void Return(const Opnd& v = None());

    // Tables.
    void Function(const std::string& name, int16_t params);  // starts at Here()
    int FunctionStart(const std::string& name) const;
    int Native(const std::string& name);      // index, added when new
    int MethodName(const std::string& name);  // index, added when new
    int Constant(const CVmValue& v);
    int AddGlobal();
    void SetGlobalCount(int n) { m_globalCount = n; }
    void Named(const std::string& name, const CVmValue& v);
    // Source line of the instructions from Here() on, with the line table's
    // third word.
    void Line(int line, int third = 0);
    VmClassDeclaration& DeclareClass(const std::string& name);
    void Import(const std::string& path) { m_imports.push_back(path); }

    // The program as the loader would make it; null (and a reason in
    // LastError) when the machine's validation refuses it.
    std::shared_ptr<VmProgram> Build();
    // Builds without validation.
    std::shared_ptr<VmProgram> BuildUnchecked();
    const std::string& LastError() const { return m_error; }

    // The encoded instructions (after labels are resolved).
    std::vector<uint8_t> EncodeCode();

    // The program as a bytecode file.
    std::vector<uint8_t> WriteFile(const FileOptions& options = FileOptions());
    const FileLayout& Layout() const { return m_layout; }

    // Raw access for file writing.
    struct Instruction {
        int opcode;
        int mode;
        std::vector<Opnd> fields;  // in file order
        std::vector<uint8_t> raw;  // used instead of fields when set
        bool isRaw = false;
    };
    const std::vector<Instruction>& Instructions() const { return m_code; }
    std::vector<VmFunctionRecord> m_functions;
    std::vector<std::string> m_natives;
    std::vector<CVmValue> m_constants;
    std::vector<std::string> m_methods;
    int m_globalCount = 0;
    std::vector<VmNamedValue> m_named;
    std::vector<VmClassDeclaration> m_classes;
    std::vector<std::string> m_imports;
    std::vector<std::pair<int, int>> m_lines;  // (instruction, line)
    std::vector<int> m_lineThirds;             // the third word of each line entry

private:
    int32_t Resolve(const Opnd& o) const;
    std::vector<Instruction> m_code;
    std::vector<int> m_labels;
    std::string m_error;
    FileLayout m_layout;
};

}  // namespace qemtest
