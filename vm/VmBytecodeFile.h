// The bytecode file: a fixed header with the offsets and counts of its
// sections, and the reader that turns a file's bytes into program tables.
//
// Integers are big-endian, except the floats inside values (little-endian)
// and the base-class lists of class declarations (little-endian, as the
// compiler wrote them raw). Sections are reached by their offsets, in any
// order; a section whose count is 0 or negative is not read.
//
// Bytecode arrives from disk and from URLs: the reader checks every count,
// length and offset against the bytes that are really there before it
// allocates or reads, and says what is wrong when a file does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ByteStream.h"
#include "VmProgram.h"

// "BYTECODE" and a NUL: the first bytes of every bytecode file. One byte of
// any value follows them.
constexpr char kVmBytecodeMagic[] = "BYTECODE";
constexpr size_t kVmMagicSize = 9;
// The optional extension marker; with it the header also carries the offset
// and count of the imported modules.
constexpr char kVmHeaderMarker[] = "HEAD_1_8_1";
constexpr size_t kVmMarkerSize = 10;
constexpr size_t kVmHeaderSize = 96;           // up to the marker
constexpr size_t kVmExtendedHeaderSize = 114;  // with marker and import words
// Global indexes are int16 in the instructions: more globals are unreachable.
constexpr int32_t kVmMaxGlobals = 32768;

struct VmBytecodeHeader {
    int16_t version[3] = {0, 0, 0};
    int32_t codeOffset = 0, instructionCount = 0;       // W2, W3
    int32_t constantOffset = 0, constantCount = 0;      // W4, W5
    int32_t methodNameOffset = 0, methodNameCount = 0;  // W6, W7
    int32_t functionOffset = 0, functionCount = 0;      // W8, W9
    int32_t nativeOffset = 0, nativeCount = 0;          // W10, W11
    int32_t globalCount = 0;                            // W12
    int32_t namedOffset = 0, namedCount = 0;            // W13, W14
    int32_t lineOffset = 0, hasLineTable = 0;           // W15, W16
    int32_t classOffset = 0, classCount = 0;
    bool extended = false;  // the marker is there
    int32_t importOffset = 0, importCount = 0;
};

enum class VmHeaderStatus { Ok, NotBytecode, Truncated };

// Reads the header from the start of the input.
VmHeaderStatus VmReadBytecodeHeader(ByteReader& in, VmBytecodeHeader& header);

// Reads every section that the header names into program, creates its
// globals (Void) and decodes the code with its constant fix-ups. Returns ""
// when the sections fit the file, else what is wrong; the program must still
// pass VmProgram::Validate before it runs.
std::string VmReadBytecodeSections(ByteReader& in, const VmBytecodeHeader& header, VmProgram& program);
