// Bytecode files shared by the loader tests, the load benchmark and the
// fuzz seeds, and a machine that opens its files from memory.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

namespace qemtest {

// A program that fills every section: globals set by the start-up code,
// string and vector constants, named values, the natives TESTADD, TWICE (from
// the module "module.bin") and NOSUCH (unknown), the method names XY (a
// swizzle) and POS (no class has it), two declared classes, a line table
// with its third column. MAIN returns TESTADD(G0, 5) * 2 = 14 and writes
// "sum=7"; VEC returns the XY swizzle of the global vector [1, 2, 3].
std::vector<uint8_t> SampleProgramFile();
// The module "module.bin": TWICE(n) returns n * 2.
std::vector<uint8_t> SampleModuleFile();
// The same program without the extension marker, as version 2.0.7.
std::vector<uint8_t> SampleOldFormatFile();

// The worked example of the format (461 bytes): ADD, MAIN, the class POINT
// with its constructor and GETX, natives TESTADD and POINT, a line table.
std::vector<uint8_t> WorkedExampleFile(FileLayout* layout = nullptr);

// Roughly targetBytes of bytecode: many functions with arithmetic, jumps,
// calls, constants and native calls.
std::vector<uint8_t> LargeProgramFile(size_t targetBytes);

// TESTADD(a, b) = a + b.
class SampleFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override;

private:
    void TestAdd(CVmClassBase* object, int mode);
};

// A machine whose files are the entries of a map (any other path does not
// open), with SampleFunctions registered.
class MemoryFileMachine : public CVirtualMachine {
public:
    explicit MemoryFileMachine(bool debug = false);
    std::unique_ptr<std::istream> OpenFile(const std::string& path) override;
    std::map<std::string, std::vector<uint8_t>> files;
};

}  // namespace qemtest
