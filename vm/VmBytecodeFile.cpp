#include "VmBytecodeFile.h"

#include <cstring>
#include <sstream>

#include "VmBytecode.h"

VmHeaderStatus VmReadBytecodeHeader(ByteReader& in, VmBytecodeHeader& h) {
    h = VmBytecodeHeader();
    in.Seek(0);
    const uint8_t* magic = in.Take(kVmMagicSize);
    if (!magic || std::memcmp(magic, kVmBytecodeMagic, kVmMagicSize) != 0) return VmHeaderStatus::NotBytecode;
    if (in.Size() < kVmHeaderSize) return VmHeaderStatus::Truncated;
    in.Seek(14);
    for (int16_t& v : h.version) in.GetInt16(v);
    in.Seek(28);
    int32_t* const words[] = {&h.codeOffset,     &h.instructionCount, &h.constantOffset, &h.constantCount,
                              &h.methodNameOffset, &h.methodNameCount, &h.functionOffset, &h.functionCount,
                              &h.nativeOffset,   &h.nativeCount,      &h.globalCount,    &h.namedOffset,
                              &h.namedCount,     &h.lineOffset,       &h.hasLineTable,   &h.classOffset,
                              &h.classCount};
    for (int32_t* w : words) in.GetInt32(*w);
    const uint8_t* marker = in.Take(kVmMarkerSize);
    h.extended = marker && std::memcmp(marker, kVmHeaderMarker, kVmMarkerSize) == 0;
    if (h.extended && !(in.GetInt32(h.importOffset) && in.GetInt32(h.importCount))) return VmHeaderStatus::Truncated;
    return VmHeaderStatus::Ok;
}

namespace {

// Reads the sections of one file, keeping the first fault.
class SectionReader {
public:
    SectionReader(ByteReader& in, std::string& error) : m_in(in), m_error(error) {}

    // Moves to a section of count records, each at least minRecord bytes
    // long; false (with the fault) when the section cannot be in the file.
    bool Begin(const char* section, int32_t offset, int32_t count, size_t minRecord) {
        m_section = section;
        if (offset < 0 || static_cast<size_t>(offset) > m_in.Size()) {
            std::ostringstream why;
            why << "the " << section << " section starts outside the file (offset " << offset << ").";
            return Fault(why.str());
        }
        m_in.Seek(static_cast<size_t>(offset));
        return Fits(count, minRecord);
    }

    // Whether count more records of at least minRecord bytes can follow.
    bool Fits(int32_t count, size_t minRecord) {
        if (count >= 0 && static_cast<uint64_t>(count) * minRecord <= m_in.Remaining()) return true;
        std::ostringstream why;
        why << "the " << m_section << " section claims " << count << " entries, more than the file holds.";
        return Fault(why.str());
    }

    // Reports a read that failed: the data ended early or held a bad value.
    bool Broken() {
        return Fault(std::string("the ") + m_section + " section ends early or holds a malformed entry.");
    }

    bool Fault(const std::string& why) {
        if (m_error.empty()) m_error = why;
        return false;
    }

    bool String(std::string& s) { return m_in.GetString(s) || Broken(); }
    bool Int32(int32_t& v) { return m_in.GetInt32(v) || Broken(); }
    bool Int16(int16_t& v) { return m_in.GetInt16(v) || Broken(); }
    bool Value(CVmValue& v) {
        // Objects cannot be constants: no class factory.
        return v.ReadFrom(m_in, nullptr) || Broken();
    }
    // An int32 stored little-endian.
    bool Int32LittleEndian(int32_t& v) {
        const uint8_t* b = m_in.Take(4);
        if (!b) return Broken();
        v = static_cast<int32_t>(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                                 (uint32_t(b[3]) << 24));
        return true;
    }
    bool Strings(const char* section, int32_t offset, int32_t count, std::vector<std::string>& out) {
        if (count <= 0) return true;
        if (!Begin(section, offset, count, 4)) return false;
        out.resize(static_cast<size_t>(count));
        for (std::string& s : out)
            if (!String(s)) return false;
        return true;
    }

    ByteReader& In() { return m_in; }

private:
    ByteReader& m_in;
    std::string& m_error;
    const char* m_section = "";
};

// Smallest encodings: a string is its int32 length, a value its type byte.
constexpr size_t kMinFunction = 4 + 4 + 2;
constexpr size_t kMinNamed = 4 + 1;
constexpr size_t kMinClass = 4 + 4 + 4 + 4 + 4 + 4;

bool ReadFunctions(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.functionCount <= 0) return true;
    if (!r.Begin("function table", h.functionOffset, h.functionCount, kMinFunction)) return false;
    p.functions.resize(static_cast<size_t>(h.functionCount));
    for (VmFunctionRecord& f : p.functions)
        if (!r.String(f.name) || !r.Int32(f.start) || !r.Int16(f.paramCount)) return false;
    return true;
}

bool ReadConstants(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.constantCount <= 0) return true;
    if (!r.Begin("constant", h.constantOffset, h.constantCount, 1)) return false;
    p.values.resize(static_cast<size_t>(h.constantCount));
    p.constantCount = p.values.size();
    for (CVmValue& v : p.values)
        if (!r.Value(v)) return false;
    return true;
}

bool ReadNamedValues(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.namedCount <= 0) return true;
    if (!r.Begin("named value", h.namedOffset, h.namedCount, kMinNamed)) return false;
    p.namedValues.resize(static_cast<size_t>(h.namedCount));
    for (VmNamedValue& nv : p.namedValues)
        if (!r.String(nv.name) || !r.Value(nv.value)) return false;
    return true;
}

bool ReadClass(SectionReader& r, VmClassDeclaration& c) {
    int32_t n = 0;
    if (!r.String(c.name) || !r.Int32(n) || !r.Fits(n, 4)) return false;
    c.members.resize(static_cast<size_t>(n));
    for (std::string& m : c.members)
        if (!r.String(m)) return false;
    if (!r.Int32(c.constructor) || !r.Int32(c.destructor) || !r.Int32(n) || !r.Fits(n, kMinFunction)) return false;
    c.methods.resize(static_cast<size_t>(n));
    for (VmClassMethodDecl& m : c.methods)
        if (!r.String(m.name) || !r.Int32(m.start) || !r.Int16(m.paramCount)) return false;
    if (!r.Int32(n) || !r.Fits(n, 4)) return false;
    c.bases.resize(static_cast<size_t>(n));
    for (int32_t& b : c.bases)
        if (!r.Int32LittleEndian(b)) return false;
    return true;
}

bool ReadClasses(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.classCount <= 0) return true;
    if (!r.Begin("class declaration", h.classOffset, h.classCount, kMinClass)) return false;
    p.classes.resize(static_cast<size_t>(h.classCount));
    for (VmClassDeclaration& c : p.classes)
        if (!ReadClass(r, c)) return false;
    // Newer compilers append each class's fallback method before the
    // imported modules; older files end the section here.
    if (h.extended && h.importOffset > 0 && r.In().Position() < static_cast<size_t>(h.importOffset)) {
        for (VmClassDeclaration& c : p.classes)
            if (!r.Int32(c.fallback)) return false;
    }
    return true;
}

bool ReadLineTable(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.hasLineTable == 0) return true;
    p.hasLineTable = true;
    int32_t hasThird = 0, n = 0;
    if (!r.Begin("line table", h.lineOffset, 0, 0) || !r.Int32(hasThird) || !r.Int32(n)) return false;
    if (n <= 0) return true;
    if (!r.Fits(n, hasThird > 0 ? 6 : 4)) return false;
    p.lines.resize(static_cast<size_t>(n));
    uint16_t instruction = 0;
    for (VmLineEntry& e : p.lines) {
        int16_t delta = 0, line = 0;
        if (!r.Int16(delta) || !r.Int16(line)) return false;
        // The index is the running sum of the deltas in 16-bit arithmetic.
        instruction = static_cast<uint16_t>(instruction + static_cast<uint16_t>(delta));
        e = {instruction, static_cast<uint16_t>(line), 0};
    }
    if (hasThird > 0) {
        for (VmLineEntry& e : p.lines) {
            int16_t third = 0;
            if (!r.Int16(third)) return false;
            e.third = static_cast<uint16_t>(third);
        }
    }
    return true;
}

bool ReadCode(SectionReader& r, const VmBytecodeHeader& h, VmProgram& p) {
    if (h.instructionCount <= 0) return true;  // refused by validation: nothing to run
    if (!r.Begin("code", h.codeOffset, h.instructionCount, 2)) return false;
    // One more for the end of the code that linking adds.
    const size_t n = static_cast<size_t>(h.instructionCount);
    p.code.reserve(n + 1);
    for (size_t i = 0; i < n; ++i) {
        std::string bad;
        p.code.emplace_back(VmInstruction::kUndecoded);
        if (!VmReadInstruction(r.In(), p.code.back(), p, bad)) {
            std::ostringstream why;
            if (bad.empty())
                why << "instruction " << i << " is truncated or holds a malformed value.";
            else
                why << "instruction " << i << " " << bad;
            return r.Fault(why.str());
        }
    }
    return true;
}

}  // namespace

std::string VmReadBytecodeSections(ByteReader& in, const VmBytecodeHeader& h, VmProgram& p) {
    std::string error;
    SectionReader r(in, error);
    if (h.globalCount > kVmMaxGlobals) {
        std::ostringstream why;
        why << "the program declares " << h.globalCount << " globals; at most " << kVmMaxGlobals
            << " can be addressed.";
        return why.str();
    }
    const bool ok = ReadFunctions(r, h, p) && r.Strings("native-function name", h.nativeOffset, h.nativeCount,
                                                         p.nativeNames) &&
                    ReadConstants(r, h, p) &&
                    r.Strings("method name", h.methodNameOffset, h.methodNameCount, p.methodNames) &&
                    ReadNamedValues(r, h, p) && ReadClasses(r, h, p) &&
                    (!h.extended || r.Strings("imported module", h.importOffset, h.importCount, p.imports)) &&
                    ReadLineTable(r, h, p) && ReadCode(r, h, p);
    if (!ok) return error.empty() ? "the file is malformed." : error;
    p.globals.resize(h.globalCount > 0 ? static_cast<size_t>(h.globalCount) : 0);
    return "";
}
