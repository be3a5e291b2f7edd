// The tables of a loaded program: what the bytecode loader reads and the
// machine runs. Built by the loader from a file, or directly by tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VmInstruction.h"
#include "VmValue.h"

struct VmFunctionRecord {
    std::string name;  // upper case
    int32_t start = 0;
    int16_t paramCount = 0;
};

struct VmNamedValue {
    std::string name;
    CVmValue value;
};

struct VmLineEntry {
    uint16_t instruction;
    uint16_t line;
    uint16_t third;
};

struct VmClassMethodDecl {
    std::string name;
    int32_t start = 0;
    int16_t paramCount = 0;
};

struct VmClassDeclaration {
    std::string name;
    std::vector<std::string> members;
    int32_t constructor = -1;  // index into methods, -1 none
    int32_t destructor = -1;
    std::vector<VmClassMethodDecl> methods;
    std::vector<int32_t> bases;  // class-declaration indexes
    int32_t fallback = -1;       // index into methods, -1 none
};

// The frames in which the code of a region may run without checking its frame
// slots: frame indexes from low to low + span (exclusive).
struct VmFrameRange {
    int32_t low;
    int32_t span;
};

struct VmProgram {
    std::vector<VmFunctionRecord> functions;  // ascending byte order of names
    std::vector<std::string> nativeNames;
    // The constant table (its first constantCount entries), then the values
    // embedded in instructions, which address them by their index here.
    std::vector<CVmValue> values;
    size_t constantCount = 0;
    std::vector<std::string> methodNames;
    std::vector<CVmValue> globals;
    std::vector<VmNamedValue> namedValues;
    std::vector<VmClassDeclaration> classes;
    std::vector<std::string> imports;
    bool hasLineTable = false;
    std::vector<VmLineEntry> lines;
    // The instructions; once linked, followed by one more that ends a run
    // falling off the end.
    std::vector<VmInstruction> code;
    bool linked = false;
    // Per instruction (and the end): the frames its code may run in unchecked.
    std::vector<VmFrameRange> frameRanges;
    // Method calls and member accesses that remember, per machine, the
    // script-declared class they last reached and what they found there
    // (their number in aux, from 1).
    int32_t cacheSites = 0;

    int32_t CodeCount() const { return static_cast<int32_t>(code.size()) - (linked ? 1 : 0); }

    // Prepares the code for the run loop, once: picks each instruction's
    // specialised or fused handler, resolves constant jump and call targets,
    // works out the frame ranges and appends the end of the code.
    void Link();

    // Checks every index and count the machine relies on: opcodes and modes,
    // operands each opcode reads, global, native and method-name indexes,
    // constant jump and call targets, function starts, class declarations
    // (indexes, and no base-class cycles). Returns "" when the program is
    // sound, else a description of the first fault.
    std::string Validate() const;
    // The class-declaration part of Validate: indexes, no base-class cycles
    // and the limits below.
    std::string ValidateClasses() const;

    // Limits on declared classes that keep construction, binding and
    // encoding bounded: the longest chain of base classes, the objects an
    // instance is made of (itself and one part per base, recursively), their
    // member values together, and the method slots of all classes.
    static constexpr size_t kMaxClassDepth = 32;
    static constexpr size_t kMaxClassParts = 256;
    static constexpr size_t kMaxObjectValues = 1 << 16;
    static constexpr uint64_t kMaxClassSlots = 1 << 21;

    // Sorts the function table into ascending byte order of the names.
    void SortFunctions();
};
