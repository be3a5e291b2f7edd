#include "VmProgram.h"

#include <algorithm>
#include <sstream>

void VmProgram::SortFunctions() {
    std::stable_sort(functions.begin(), functions.end(),
                     [](const VmFunctionRecord& a, const VmFunctionRecord& b) { return a.name < b.name; });
}

namespace {

bool InRange(int64_t v, size_t count) { return v >= 0 && static_cast<uint64_t>(v) < count; }

}  // namespace

std::string VmProgram::Validate() const {
    std::ostringstream why;
    const size_t codeCount = static_cast<size_t>(CodeCount());
    if (codeCount == 0) return "the program has no code.";
    for (size_t i = 1; i < functions.size(); ++i)
        if (!(functions[i - 1].name < functions[i].name)) return "the function table is not sorted by name.";
    for (const VmFunctionRecord& f : functions) {
        if (!InRange(f.start, codeCount)) {
            why << "function '" << f.name << "' starts outside the code (" << f.start << ").";
            return why.str();
        }
        if (f.paramCount < 0) {
            why << "function '" << f.name << "' has a negative parameter count.";
            return why.str();
        }
    }
    for (size_t i = 0; i < codeCount; ++i) {
        const VmInstruction& in = code[i];
        const VmOpcodeInfo& op = VmOpcodeInfoOf(in.opcode);
        const VmModeInfo* mode = VmModeInfoOf(in.mode);
        if (!op.assigned || !mode) {
            why << "instruction " << i << " has an unsupported opcode " << int(in.opcode) << " or mode " << int(in.mode) << ".";
            return why.str();
        }
        for (int k = 0; k < 3; ++k) {
            const VmOperandKind kind = mode->kind[k];
            const bool reads = (op.reads & (1 << k)) != 0;
            const bool mayBeNull = k == 0 && (op.reads & VM_A_MAY_BE_NULL);
            if (reads && !mayBeNull && (kind == VmOperandKind::Null || kind == VmOperandKind::Keep)) {
                why << "instruction " << i << " (opcode " << int(in.opcode) << ") lacks operand " << k + 1 << " in mode "
                    << int(in.mode) << ".";
                return why.str();
            }
            if (kind == VmOperandKind::Global && !InRange(in.Operand(k).index, globals.size())) {
                why << "instruction " << i << " uses global " << in.Operand(k).index << " of " << globals.size() << ".";
                return why.str();
            }
        }
        // Constant operands must name what exists: call and jump targets,
        // native functions, method names and class declarations.
        auto immediate = [&](int k, int64_t& v) {
            const VmOperand o = in.Operand(k);
            if (o.kind == VmOperandKind::Temp1 || o.kind == VmOperandKind::Temp2) {
                v = o.index;
                return true;
            }
            if (o.kind == VmOperandKind::Value && InRange(o.index, values.size()) &&
                values[static_cast<size_t>(o.index)].type == VmValueType::Integer) {
                v = values[static_cast<size_t>(o.index)].asInt;
                return true;
            }
            return false;
        };
        int64_t v = 0;
        const char* bad = nullptr;
        switch (in.opcode) {
        case 5:
        case 37:
            if (immediate(0, v) && !InRange(v, codeCount)) bad = "call or jump target";
            break;
        case 29: case 30: case 31: case 32: case 33: case 34: case 35: case 36: case 71: case 72:
            if (immediate(2, v) && !InRange(v, codeCount)) bad = "jump target";
            break;
        case 6:
            if (immediate(0, v) && !InRange(v, nativeNames.size())) bad = "native function";
            break;
        case 59: case 60: case 61:
            if (immediate(1, v) && !InRange(v, methodNames.size())) bad = "method name";
            break;
        case 76:
            if (immediate(1, v) && !InRange(v, classes.size())) bad = "class declaration";
            break;
        default:
            break;
        }
        if (bad) {
            why << "instruction " << i << " names " << bad << " " << v << ", which does not exist.";
            return why.str();
        }
    }
    return ValidateClasses();
}

std::string VmProgram::ValidateClasses() const {
    std::ostringstream why;
    const size_t codeCount = static_cast<size_t>(CodeCount());
    for (size_t c = 0; c < classes.size(); ++c) {
        const VmClassDeclaration& d = classes[c];
        const size_t methodCount = d.methods.size();
        auto methodIndexOk = [&](int32_t m) { return m == -1 || InRange(m, methodCount); };
        if (!methodIndexOk(d.constructor) || !methodIndexOk(d.destructor) || !methodIndexOk(d.fallback)) {
            why << "class '" << d.name << "' names a constructor, destructor or fallback method it lacks.";
            return why.str();
        }
        for (const VmClassMethodDecl& m : d.methods) {
            if (!InRange(m.start, codeCount) || m.paramCount < 0) {
                why << "method '" << d.name << "::" << m.name << "' starts outside the code.";
                return why.str();
            }
        }
        for (int32_t b : d.bases) {
            if (!InRange(b, classes.size()) || static_cast<size_t>(b) == c) {
                why << "class '" << d.name << "' has an invalid base class " << b << ".";
                return why.str();
            }
        }
    }
    // No class may reach itself through its bases.
    std::vector<int> state(classes.size(), 0);  // 0 new, 1 on the path, 2 done
    std::vector<std::pair<size_t, size_t>> stack;
    // Per class: the longest chain of bases, the objects one instance is made
    // of (itself and a part per base, recursively) and the member values of
    // all of them. A class is checked as soon as its bases are, so the sums
    // only ever add figures that are within the limits.
    std::vector<size_t> depth(classes.size(), 0), parts(classes.size(), 0), values(classes.size(), 0);
    for (size_t root = 0; root < classes.size(); ++root) {
        if (state[root]) continue;
        stack.push_back({root, 0});
        state[root] = 1;
        while (!stack.empty()) {
            auto& [c, next] = stack.back();
            if (next < classes[c].bases.size()) {
                const size_t b = static_cast<size_t>(classes[c].bases[next++]);
                if (state[b] == 1) {
                    why << "class '" << classes[b].name << "' is its own base class.";
                    return why.str();
                }
                if (state[b] == 0) {
                    state[b] = 1;
                    stack.push_back({b, 0});
                }
            } else {
                // Every base is done: the sizes of an object of c are known.
                const VmClassDeclaration& d = classes[c];
                depth[c] = 1;
                parts[c] = 1;
                values[c] = d.members.size();
                for (int32_t b : d.bases) {
                    const size_t k = static_cast<size_t>(b);
                    depth[c] = std::max(depth[c], depth[k] + 1);
                    parts[c] += parts[k];
                    values[c] += values[k];
                }
                if (depth[c] > kMaxClassDepth || parts[c] > kMaxClassParts || values[c] > kMaxObjectValues) {
                    why << "class '" << d.name << "' has too deep or too large a set of base classes.";
                    return why.str();
                }
                state[c] = 2;
                stack.pop_back();
            }
        }
    }
    // Every class keeps a slot per method name.
    if (static_cast<uint64_t>(classes.size()) * methodNames.size() > kMaxClassSlots) {
        why << classes.size() << " classes with " << methodNames.size() << " method names are too many.";
        return why.str();
    }
    return "";
}
