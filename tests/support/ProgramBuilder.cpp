#include "support/ProgramBuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "vm/VmBytecode.h"
#include "vm/VmBytecodeFile.h"

namespace qemtest {

Opnd L(int32_t k) {
    Opnd o;
    o.kind = Opnd::Local;
    o.n = k;
    return o;
}

Opnd G(int32_t k) {
    Opnd o;
    o.kind = Opnd::Global;
    o.n = k;
    return o;
}

Opnd I(int32_t n) {
    Opnd o;
    o.kind = Opnd::Immediate;
    o.n = n;
    return o;
}

Opnd At(Label label) {
    Opnd o;
    o.kind = Opnd::Immediate;
    o.label = label.id;
    return o;
}

Opnd VValue(const CVmValue& v) {
    Opnd o;
    o.kind = Opnd::Value;
    o.value = v;
    return o;
}

Opnd VInt(int32_t n) {
    CVmValue v;
    v.SetInteger(n);
    return VValue(v);
}

Opnd VReal(float f) {
    CVmValue v;
    v.SetReal(f);
    return VValue(v);
}

Opnd VStr(const char* s) {
    CVmValue v;
    v.SetString(s);
    return VValue(v);
}

Opnd VFloats(const std::vector<float>& values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VValue(v);
}

Opnd VBool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return VValue(v);
}

Opnd VRifStr(int32_t constantIndex) {
    CVmValue v;
    v.SetType(VmValueType::VmRifStr);
    v.asInt = constantIndex;
    return VValue(v);
}

Opnd VRifVec(int32_t constantIndex) {
    CVmValue v;
    v.SetType(VmValueType::VmRifVec);
    v.asInt = constantIndex;
    return VValue(v);
}

ProgramBuilder::ProgramBuilder() = default;

namespace {

// Whether an operand given to Emit fits a mode's operand kind.
bool Fits(const Opnd& o, VmOperandKind kind) {
    switch (kind) {
    case VmOperandKind::Local:
        return o.kind == Opnd::Local;
    case VmOperandKind::Global:
        return o.kind == Opnd::Global;
    case VmOperandKind::Value:
        return o.kind == Opnd::Value;
    case VmOperandKind::Temp1:
    case VmOperandKind::Temp2:
        return o.kind == Opnd::Immediate;
    default:
        return o.kind == Opnd::None;
    }
}

void PutInt16(std::vector<uint8_t>& out, int32_t v) {
    const uint16_t u = static_cast<uint16_t>(v);
    out.push_back(static_cast<uint8_t>(u >> 8));
    out.push_back(static_cast<uint8_t>(u));
}

void PutInt32(std::vector<uint8_t>& out, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(u >> s));
}

}  // namespace

int ProgramBuilder::EmitMode(int opcode, int mode, const Opnd& a, const Opnd& b, const Opnd& t) {
    const VmModeInfo* info = VmModeInfoOf(mode);
    if (!info) throw std::logic_error("mode without a routine");
    const Opnd* operands[3] = {&a, &b, &t};
    Instruction in;
    in.opcode = opcode;
    in.mode = mode;
    // Fields in file order: find which operand owns each field's position.
    for (int f = 0; f < info->fieldCount; ++f) {
        const VmField& field = info->fields[f];
        const Opnd* owner = nullptr;
        for (int k = 0; k < 3; ++k)
            if (info->position[k] == field.position && info->kind[k] != VmOperandKind::Keep &&
                info->kind[k] != VmOperandKind::Null)
                owner = operands[k];
        in.fields.push_back(owner ? *owner : Opnd());
    }
    m_code.push_back(in);
    return Here() - 1;
}

int ProgramBuilder::Emit(int opcode, const Opnd& a, const Opnd& b, const Opnd& t) {
    for (int mode = 0; mode < kVmModeCount; ++mode) {
        const VmModeInfo* info = VmModeInfoOf(mode);
        if (Fits(a, info->kind[0]) && Fits(b, info->kind[1]) && Fits(t, info->kind[2]))
            return EmitMode(opcode, mode, a, b, t);
    }
    throw std::logic_error("no addressing mode has these operand kinds");
}

int ProgramBuilder::EmitRaw(int opcode, int mode, const std::vector<uint8_t>& operandBytes) {
    Instruction in;
    in.opcode = opcode;
    in.mode = mode;
    in.raw = operandBytes;
    in.isRaw = true;
    m_code.push_back(in);
    return Here() - 1;
}

Label ProgramBuilder::NewLabel() {
    m_labels.push_back(-1);
    return Label{static_cast<int>(m_labels.size()) - 1};
}

void ProgramBuilder::Bind(Label label) { m_labels.at(static_cast<size_t>(label.id)) = Here(); }

int32_t ProgramBuilder::Resolve(const Opnd& o) const {
    if (o.label >= 0) {
        const int at = m_labels.at(static_cast<size_t>(o.label));
        if (at < 0) throw std::logic_error("label used but never bound");
        return at;
    }
    return o.n;
}

void ProgramBuilder::CallScript(const std::string& function, const std::vector<Opnd>& args, const Opnd& target) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) Push(*it);
    const int start = FunctionStart(function);
    Emit(OP_CALL, I(start));
    Emit(OP_POP_INTO, target.kind == Opnd::None ? L(0) : target);
    if (!args.empty()) Emit(OP_POP, I(static_cast<int32_t>(args.size())));
}

void ProgramBuilder::CallNative(const std::string& name, const std::vector<Opnd>& args, const Opnd& target) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) Push(*it);
    Emit(OP_CALL_NATIVE, I(Native(name)), None(), I(static_cast<int32_t>(args.size())));
    if (target.kind == Opnd::None)
        Emit(OP_POP, I(1));
    else
        Emit(OP_POP_INTO, target);
    if (!args.empty()) Emit(OP_POP, I(static_cast<int32_t>(args.size())));
}

void ProgramBuilder::CallMethod(const Opnd& object, const std::string& method, const std::vector<Opnd>& args,
                                const Opnd& target) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) Push(*it);
    Emit(OP_METHOD_CALL, object, I(MethodName(method)), I(static_cast<int32_t>(args.size())));
    if (target.kind == Opnd::None)
        Emit(OP_POP, I(1));
    else
        Emit(OP_POP_INTO, target);
    if (!args.empty()) Emit(OP_POP, I(static_cast<int32_t>(args.size())));
}

void ProgramBuilder::Return(const Opnd& v) {
    if (v.kind == Opnd::None)
        EmitMode(OP_RETURN, 57);
    else
        Emit(OP_RETURN, v);
}

void ProgramBuilder::Function(const std::string& name, int16_t params) {
    VmFunctionRecord f;
    f.name = name;
    f.start = Here();
    f.paramCount = params;
    m_functions.push_back(f);
}

int ProgramBuilder::FunctionStart(const std::string& name) const {
    for (const VmFunctionRecord& f : m_functions)
        if (f.name == name) return f.start;
    throw std::logic_error("unknown function " + name);
}

int ProgramBuilder::Native(const std::string& name) {
    for (size_t i = 0; i < m_natives.size(); ++i)
        if (m_natives[i] == name) return static_cast<int>(i);
    m_natives.push_back(name);
    return static_cast<int>(m_natives.size()) - 1;
}

int ProgramBuilder::MethodName(const std::string& name) {
    for (size_t i = 0; i < m_methods.size(); ++i)
        if (m_methods[i] == name) return static_cast<int>(i);
    m_methods.push_back(name);
    return static_cast<int>(m_methods.size()) - 1;
}

int ProgramBuilder::Constant(const CVmValue& v) {
    m_constants.push_back(v);
    return static_cast<int>(m_constants.size()) - 1;
}

int ProgramBuilder::AddGlobal() { return m_globalCount++; }

void ProgramBuilder::Named(const std::string& name, const CVmValue& v) {
    VmNamedValue nv;
    nv.name = name;
    nv.value = v;
    m_named.push_back(std::move(nv));
}

void ProgramBuilder::Line(int line, int third) {
    m_lines.push_back({Here(), line});
    m_lineThirds.push_back(third);
}

VmClassDeclaration& ProgramBuilder::DeclareClass(const std::string& name) {
    m_classes.emplace_back();
    m_classes.back().name = name;
    return m_classes.back();
}

std::vector<uint8_t> ProgramBuilder::EncodeCode() {
    std::vector<uint8_t> out;
    for (const Instruction& in : m_code) {
        out.push_back(static_cast<uint8_t>(in.opcode));
        out.push_back(static_cast<uint8_t>(in.mode));
        if (in.isRaw) {
            out.insert(out.end(), in.raw.begin(), in.raw.end());
            continue;
        }
        const VmModeInfo* info = VmModeInfoOf(in.mode);
        for (int f = 0; f < info->fieldCount; ++f) {
            const Opnd& o = in.fields[static_cast<size_t>(f)];
            switch (info->fields[f].type) {
            case VmFieldType::Int16:
                PutInt16(out, Resolve(o));
                break;
            case VmFieldType::Int32:
                PutInt32(out, Resolve(o));
                break;
            case VmFieldType::Value: {
                ByteWriter w(out);
                o.value.WriteTo(w);
                break;
            }
            }
        }
    }
    return out;
}

std::shared_ptr<VmProgram> ProgramBuilder::BuildUnchecked() {
    auto p = std::make_shared<VmProgram>();
    p->functions = m_functions;
    p->SortFunctions();
    p->nativeNames = m_natives;
    p->values = m_constants;
    p->constantCount = m_constants.size();
    p->methodNames = m_methods;
    p->globals.resize(static_cast<size_t>(m_globalCount));
    p->namedValues = m_named;
    p->classes = m_classes;
    p->imports = m_imports;
    p->hasLineTable = !m_lines.empty();
    for (size_t i = 0; i < m_lines.size(); ++i)
        p->lines.push_back({static_cast<uint16_t>(m_lines[i].first), static_cast<uint16_t>(m_lines[i].second),
                            static_cast<uint16_t>(i < m_lineThirds.size() ? m_lineThirds[i] : 0)});
    const std::vector<uint8_t> bytes = EncodeCode();
    ByteReader in(bytes);
    p->code.resize(m_code.size());
    m_error.clear();
    for (VmInstruction& instruction : p->code) {
        if (!VmReadInstruction(in, instruction, *p, m_error)) {
            if (m_error.empty()) m_error = "an instruction is truncated";
            return nullptr;
        }
    }
    return p;
}

std::shared_ptr<VmProgram> ProgramBuilder::Build() {
    std::shared_ptr<VmProgram> p = BuildUnchecked();
    if (!p) return nullptr;
    m_error = p->Validate();
    return m_error.empty() ? p : nullptr;
}

void PatchInt16(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
    const uint16_t u = static_cast<uint16_t>(value);
    bytes.at(offset) = static_cast<uint8_t>(u >> 8);
    bytes.at(offset + 1) = static_cast<uint8_t>(u);
}

void PatchInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(u >> (24 - 8 * i));
}

namespace {

void WriteFunctionRecord(ByteWriter& w, const std::string& name, int32_t start, int16_t params) {
    w.PutString(name.data(), static_cast<int32_t>(name.size()));
    w.PutInt32(start);
    w.PutInt16(params);
}

void WriteString(ByteWriter& w, const std::string& s) { w.PutString(s.data(), static_cast<int32_t>(s.size())); }

}  // namespace

// Sections follow the header in the order the compiler writes them; the
// loader reaches each one by its offset.
std::vector<uint8_t> ProgramBuilder::WriteFile(const FileOptions& options) {
    std::vector<uint8_t> out(options.marker ? kVmExtendedHeaderSize : kVmHeaderSize, 0);
    ByteWriter w(out);
    FileLayout& at = m_layout;

    at.functions = w.Size();
    std::vector<VmFunctionRecord> functions = m_functions;
    if (options.sortFunctions)
        std::stable_sort(functions.begin(), functions.end(),
                         [](const VmFunctionRecord& a, const VmFunctionRecord& b) { return a.name < b.name; });
    for (const VmFunctionRecord& f : functions) WriteFunctionRecord(w, f.name, f.start, f.paramCount);

    at.natives = w.Size();
    for (const std::string& n : m_natives) WriteString(w, n);

    at.constants = w.Size();
    for (const CVmValue& v : m_constants) v.WriteTo(w);

    at.methods = w.Size();
    for (const std::string& n : m_methods) WriteString(w, n);

    at.named = w.Size();
    for (const VmNamedValue& nv : m_named) {
        WriteString(w, nv.name);
        nv.value.WriteTo(w);
    }

    at.classes = w.Size();
    for (const VmClassDeclaration& c : m_classes) {
        WriteString(w, c.name);
        w.PutInt32(static_cast<int32_t>(c.members.size()));
        for (const std::string& m : c.members) WriteString(w, m);
        w.PutInt32(c.constructor);
        w.PutInt32(c.destructor);
        w.PutInt32(static_cast<int32_t>(c.methods.size()));
        for (const VmClassMethodDecl& m : c.methods) WriteFunctionRecord(w, m.name, m.start, m.paramCount);
        w.PutInt32(static_cast<int32_t>(c.bases.size()));
        for (int32_t b : c.bases) {
            // Base-class indexes are the file's one little-endian field.
            const uint32_t u = static_cast<uint32_t>(b);
            for (int shift = 0; shift < 32; shift += 8) w.PutByte(static_cast<uint8_t>(u >> shift));
        }
    }
    at.fallbacks = w.Size();
    if (options.marker)
        for (const VmClassDeclaration& c : m_classes) w.PutInt32(c.fallback);

    // The imported modules start after the fallback words, even when there
    // are none: the loader reads fallback words only before that offset.
    at.imports = w.Size();
    if (options.marker)
        for (const std::string& path : m_imports) WriteString(w, path);

    at.lines = w.Size();
    if (!m_lines.empty()) {
        w.PutInt32(options.thirdLineColumn ? 1 : 0);
        w.PutInt32(static_cast<int32_t>(m_lines.size()));
        int previous = 0;
        for (const auto& l : m_lines) {
            w.PutInt16(static_cast<int16_t>(l.first - previous));
            w.PutInt16(static_cast<int16_t>(l.second));
            previous = l.first;
        }
        if (options.thirdLineColumn)
            for (size_t i = 0; i < m_lines.size(); ++i)
                w.PutInt16(static_cast<int16_t>(i < m_lineThirds.size() ? m_lineThirds[i] : 0));
    }

    at.code = w.Size();
    const std::vector<uint8_t> code = EncodeCode();
    w.PutBytes(code.data(), code.size());
    at.size = w.Size();

    std::memcpy(out.data(), kVmBytecodeMagic, kVmMagicSize);
    for (int i = 0; i < 3; ++i) PatchInt16(out, 14 + 2 * static_cast<size_t>(i), options.version[i]);
    const int32_t words[] = {static_cast<int32_t>(at.code),      Here(),
                             static_cast<int32_t>(at.constants), static_cast<int32_t>(m_constants.size()),
                             static_cast<int32_t>(at.methods),   static_cast<int32_t>(m_methods.size()),
                             static_cast<int32_t>(at.functions), static_cast<int32_t>(functions.size()),
                             static_cast<int32_t>(at.natives),   static_cast<int32_t>(m_natives.size()),
                             m_globalCount,
                             static_cast<int32_t>(at.named),     static_cast<int32_t>(m_named.size()),
                             m_lines.empty() ? 0 : static_cast<int32_t>(at.lines),
                             m_lines.empty() ? 0 : 1,
                             static_cast<int32_t>(at.classes),   static_cast<int32_t>(m_classes.size())};
    size_t offset = 28;  // W2, after the version and the unused W0 and W1
    for (int32_t v : words) {
        PatchInt32(out, offset, v);
        offset += 4;
    }
    if (options.marker) {
        std::memcpy(out.data() + 96, kVmHeaderMarker, kVmMarkerSize);
        PatchInt32(out, 106, static_cast<int32_t>(at.imports));
        PatchInt32(out, 110, static_cast<int32_t>(m_imports.size()));
    }
    return out;
}

}  // namespace qemtest
