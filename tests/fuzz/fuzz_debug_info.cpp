// Reads arbitrary text as a debug-information file and runs every lookup over
// the model. Base-class links must come out in range and acyclic, every
// lookup must answer within the model, and the text conversions must give
// back the bytes they started from.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "debugger/DebugInfo.h"
#include "debugger/DebugJson.h"

namespace {

#define Check(ok)                                                                   \
    do {                                                                            \
        if (!(ok)) {                                                                \
            std::fprintf(stderr, "fuzz_debug_info: check failed: %s (line %d)\n", #ok, __LINE__); \
            std::abort();                                                           \
        }                                                                           \
    } while (false)

bool Inside(const DebugLexicalScope* scope, const DebugLexicalScope* ancestor) {
    for (; scope; scope = scope->GetParent()) {
        if (scope == ancestor) return true;
    }
    return false;
}

void WalkScope(const DebugLexicalScope& scope) {
    for (const int32_t line : {scope.StartLine(), scope.EndLine(), scope.StartLine() + 1, -1}) {
        Check(Inside(scope.FindInnermost(line), &scope));
    }
    for (const auto& v : scope.Variables()) {
        std::string upper = v->name;
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        Check(scope.FindVariable(upper) != nullptr);
    }
    scope.GetDescription();
    for (const auto& child : scope.Children()) {
        Check(child->GetParent() == &scope);
        WalkScope(*child);
    }
}

// Depth-first walk of the base-class links; aborts on a cycle.
void CheckAcyclic(const DebugInfo& info) {
    const auto& classes = info.ClassDeclarations();
    std::vector<int> state(classes.size(), 0);  // 0 unseen, 1 on the path, 2 done
    struct Step {
        size_t cls, next;
    };
    for (size_t root = 0; root < classes.size(); ++root) {
        if (state[root]) continue;
        std::vector<Step> path{{root, 0}};
        state[root] = 1;
        while (!path.empty()) {
            Step& top = path.back();
            const auto& parents = classes[top.cls].parents;
            if (top.next == parents.size()) {
                state[top.cls] = 2;
                path.pop_back();
                continue;
            }
            const int32_t p = parents[top.next++];
            Check(p >= 0 && static_cast<size_t>(p) < classes.size());
            Check(state[static_cast<size_t>(p)] != 1);
            if (state[static_cast<size_t>(p)] == 0) {
                state[static_cast<size_t>(p)] = 1;
                path.push_back({static_cast<size_t>(p), 0});
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(Utf8ToCp1252(Cp1252ToUtf8(text)) == text);
    Utf8ToCp1252(text);

    const auto info = ParseDebugInfo(text);
    if (!info) return 0;
    Check(info->FileTables().size() == info->FileNames().size());

    std::set<int32_t> instructions{-1, 0, 1};
    for (const DebugFileTable& table : info->FileTables()) {
        for (const DebugRange& r : table.Ranges()) {
            instructions.insert({r.start, r.end, r.start - 1, r.end + 1});
        }
        for (const auto& entry : table.InstructionToLine()) instructions.insert({entry.first, entry.first + 1});
        if (instructions.size() > 512) break;
    }
    for (const int32_t i : instructions) {
        for (const bool nearest : {false, true}) {
            const DebugFileLine at = info->LineOf(i, nearest);
            Check(at.file == -1 || static_cast<size_t>(at.file) < info->FileNames().size());
            const DebugLocation loc = info->LocationOf(i, nearest);
            Check(loc.line == at.line);
        }
        if (const DebugLexicalScope* scope = info->ScopeAt(i)) scope->GetDescription();
    }
    for (size_t f = 0; f < info->FileNames().size() && f < 64; ++f) {
        for (const auto& entry : info->FileTables()[f].LineToInstruction()) {
            info->InstructionAt(info->FileNames()[f], entry.first);
        }
    }
    for (const auto& scope : info->FileScopes()) {
        Check(scope->GetParent() == nullptr);
        WalkScope(*scope);
    }
    CheckAcyclic(*info);
    for (const DebugClassDeclaration& c : info->ClassDeclarations()) Check(info->FindClass(c.name) != nullptr);
    return 0;
}
