#include "debugger/DebugInfo.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>

#include <json/reader.h>
#include <json/value.h>

#include "debugger/DebugJson.h"

// ---- scopes ----

namespace {

unsigned char LowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

bool DebugNameLess::operator()(const std::string& a, const std::string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = LowerAscii(static_cast<unsigned char>(a[i]));
        const unsigned char cb = LowerAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

void DebugLexicalScope::AddChild(std::unique_ptr<DebugLexicalScope> child) {
    child->m_parent = this;
    m_children.push_back(std::move(child));
}

void DebugLexicalScope::AppendVariable(std::unique_ptr<DebugVariable> variable) {
    m_variablesByName.emplace(variable->name, variable.get());
    m_variables.push_back(std::move(variable));
}

void DebugLexicalScope::SetLines(int32_t startLine, int32_t endLine) {
    m_startLine = startLine;
    m_endLine = endLine;
}

const DebugLexicalScope* DebugLexicalScope::FindInnermost(int32_t line) const {
    if (m_children.empty()) return this;
    // Binary search for the last child that starts at or before the line.
    int64_t lo = 0;
    int64_t hi = static_cast<int64_t>(m_children.size()) - 1;
    int64_t found = -1;
    while (lo <= hi) {
        const int64_t mid = (lo + hi) / 2;
        const int32_t start = m_children[static_cast<size_t>(mid)]->m_startLine;
        if (line > start) {
            lo = mid + 1;
        } else if (line == start) {
            found = mid;
            break;
        } else {
            hi = mid - 1;
        }
    }
    if (found < 0) found = lo - 1;
    if (found < 0) return this;
    const DebugLexicalScope* child = m_children[static_cast<size_t>(found)].get();
    if (line > child->m_endLine) return this;
    return child->FindInnermost(line);
}

const DebugVariable* DebugLexicalScope::FindVariable(const std::string& name) const {
    const auto it = m_variablesByName.find(name);
    return it == m_variablesByName.end() ? nullptr : it->second;
}

std::string DebugLexicalScope::ParameterList() const {
    std::string list = "(";
    bool first = true;
    for (const auto& v : m_variables) {
        if (v->offset >= 0) continue;
        if (!first) list += ", ";
        list += v->name;
        first = false;
    }
    return list + ")";
}

DebugFunctionScope::DebugFunctionScope(std::string functionName, int32_t paramCount)
    : m_functionName(std::move(functionName)), m_paramCount(paramCount) {}

std::string DebugFunctionScope::GetDescription() const { return m_functionName + ParameterList(); }

DebugMethodScope::DebugMethodScope(std::string className, const std::string& methodName, int32_t paramCount)
    : m_className(std::move(className)),
      m_methodName(methodName.size() > 2 && methodName[0] == '$' ? methodName.substr(2) : methodName),
      m_paramCount(paramCount) {}

std::string DebugMethodScope::GetDescription() const {
    return m_className + "::" + m_methodName + ParameterList();
}

// ---- line tables ----

void DebugFileTable::AddLine(int32_t line, int32_t instruction) {
    m_instructionToLine.emplace(instruction, line);
    m_lineToInstruction.emplace(line, instruction);
}

int32_t DebugFileTable::FindLine(int32_t instruction, bool nearest) const {
    if (!nearest) {
        const auto it = m_instructionToLine.find(instruction);
        return it == m_instructionToLine.end() ? -1 : it->second;
    }
    // Deliberately no line past the last line start: the table does not say
    // where the file's last line ends.
    auto it = m_instructionToLine.lower_bound(instruction);
    if (it == m_instructionToLine.end()) return -1;
    if (it->first == instruction) return it->second;
    if (it == m_instructionToLine.begin()) return -1;
    return std::prev(it)->second;
}

int32_t DebugFileTable::FindInstruction(int32_t line) const {
    const auto it = m_lineToInstruction.find(line);
    return it == m_lineToInstruction.end() ? -1 : it->second;
}

// ---- the model ----

DebugFileLine DebugInfo::LineOf(int32_t instruction, bool nearest) const {
    for (size_t file = m_fileTables.size(); file-- > 0;) {
        const DebugFileTable& table = m_fileTables[file];
        for (const DebugRange& range : table.Ranges()) {
            if (instruction < range.start || instruction > range.end) continue;
            const int32_t line = table.FindLine(instruction, nearest);
            if (line != -1) return {static_cast<int32_t>(file), line};
        }
    }
    return {};
}

DebugLocation DebugInfo::LocationOf(int32_t instruction, bool nearest) const {
    const DebugFileLine at = LineOf(instruction, nearest);
    if (at.file < 0) return {};
    return {m_fileNames[static_cast<size_t>(at.file)], at.line};
}

int32_t DebugInfo::InstructionAt(const std::string& file, int32_t line) const {
    for (size_t i = 0; i < m_fileNames.size(); ++i) {
        if (m_fileNames[i] == file) return m_fileTables[i].FindInstruction(line);
    }
    return -1;
}

const DebugLexicalScope* DebugInfo::ScopeAt(int32_t instruction) const {
    const DebugFileLine at = LineOf(instruction, true);
    if (at.file < 0 || static_cast<size_t>(at.file) >= m_fileScopes.size()) return nullptr;
    return m_fileScopes[static_cast<size_t>(at.file)]->FindInnermost(at.line);
}

const DebugClassDeclaration* DebugInfo::ClassAt(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_classes.size()) return nullptr;
    return &m_classes[static_cast<size_t>(index)];
}

const DebugClassDeclaration* DebugInfo::FindClass(const std::string& name) const {
    const auto it = m_classByName.find(name);
    return it == m_classByName.end() ? nullptr : &m_classes[it->second];
}

// ---- reading ----

namespace {

// Each key is read only when it holds the kind of value it should; anything
// else reads as absent, so that a malformed file loads as far as it makes
// sense and never makes jsoncpp throw.
int32_t IntOf(const Json::Value& v) { return v.isInt() ? v.asInt() : 0; }
std::string StringOf(const Json::Value& v) { return v.isString() ? v.asString() : std::string(); }
bool BoolOf(const Json::Value& v) { return v.isBool() && v.asBool(); }

int32_t IntMember(const Json::Value& o, const char* key) { return IntOf(JsonMember(o, key)); }
std::string StringMember(const Json::Value& o, const char* key) { return StringOf(JsonMember(o, key)); }
bool BoolMember(const Json::Value& o, const char* key) { return BoolOf(JsonMember(o, key)); }

DebugFileTable ReadFileTable(const Json::Value& object) {
    DebugFileTable table;
    for (const Json::Value& range : JsonArrayMember(object, "offsets")) {
        if (!range.isObject()) continue;
        table.AddRange(IntMember(range, "startoffset"), IntMember(range, "endoffset"));
    }
    for (const Json::Value& entry : JsonArrayMember(object, "code")) {
        if (!entry.isObject()) continue;
        table.AddLine(IntMember(entry, "line"), IntMember(entry, "offset"));
    }
    return table;
}

// Fills a scope from its object. The recursion follows the nesting of the
// JSON text, which the parser already limits.
void ReadScope(const Json::Value& object, DebugLexicalScope& scope) {
    scope.SetLines(IntMember(object, "startLine"), IntMember(object, "endLine"));
    for (const Json::Value& v : JsonArrayMember(object, "variables")) {
        if (!v.isObject()) continue;
        auto variable = std::make_unique<DebugVariable>();
        variable->name = StringMember(v, "name");
        variable->opt = BoolMember(v, "opt");
        variable->isGlobal = BoolMember(v, "global");
        variable->isStatic = BoolMember(v, "static");
        variable->line = IntMember(v, "line");
        variable->offset = IntMember(v, "offset");
        scope.AppendVariable(std::move(variable));
    }
    for (const Json::Value& s : JsonArrayMember(object, "scopes")) {
        if (!s.isObject()) continue;
        const std::string type = StringMember(s, "type");
        std::unique_ptr<DebugLexicalScope> child;
        if (type == "function") {
            child = std::make_unique<DebugFunctionScope>(StringMember(s, "functionname"), IntMember(s, "params"));
        } else if (type == "method") {
            child = std::make_unique<DebugMethodScope>(StringMember(s, "classname"), StringMember(s, "methodname"),
                                                       IntMember(s, "params"));
        } else {
            child = std::make_unique<DebugBlockScope>();
        }
        ReadScope(s, *child);
        scope.AddChild(std::move(child));
    }
}

// Base-class links are followed when an object's members are listed, so an
// index that names no class, or a link that closes a cycle, is dropped here.
// A depth-first walk in class order drops every link back into the current
// path; what stays is acyclic, and the same file always keeps the same links.
void DropBadParents(std::vector<DebugClassDeclaration>& classes) {
    const int64_t count = static_cast<int64_t>(classes.size());
    for (DebugClassDeclaration& c : classes) {
        std::vector<int32_t> valid;
        for (const int32_t p : c.parents) {
            if (p >= 0 && p < count) valid.push_back(p);
        }
        c.parents.swap(valid);
    }
    enum : uint8_t { kUnseen, kOnPath, kDone };
    std::vector<uint8_t> state(classes.size(), kUnseen);
    struct Step {
        size_t cls;
        size_t next;  // index into its parents
    };
    std::vector<Step> path;
    for (size_t root = 0; root < classes.size(); ++root) {
        if (state[root] != kUnseen) continue;
        state[root] = kOnPath;
        path.push_back({root, 0});
        while (!path.empty()) {
            Step& top = path.back();
            std::vector<int32_t>& parents = classes[top.cls].parents;
            if (top.next == parents.size()) {
                state[top.cls] = kDone;
                path.pop_back();
                continue;
            }
            const size_t parent = static_cast<size_t>(parents[top.next]);
            if (state[parent] == kOnPath) {
                parents.erase(parents.begin() + static_cast<std::ptrdiff_t>(top.next));
            } else {
                ++top.next;
                if (state[parent] == kUnseen) {
                    state[parent] = kOnPath;
                    path.push_back({parent, 0});
                }
            }
        }
    }
}

}  // namespace

std::unique_ptr<DebugInfo> LoadDebugInfo(const Json::Value& root) {
    auto info = std::make_unique<DebugInfo>();
    const Json::Value& names = JsonArrayMember(root, "filenames");
    const Json::Value& tables = JsonArrayMember(root, "filetables");
    for (Json::ArrayIndex i = 0; i < names.size(); ++i) {
        info->m_fileNames.push_back(StringOf(names[i]));
        info->m_fileTables.push_back(i < tables.size() ? ReadFileTable(tables[i]) : DebugFileTable());
    }
    for (const Json::Value& c : JsonArrayMember(root, "classdeclarations")) {
        DebugClassDeclaration declaration;
        declaration.name = StringMember(c, "name");
        for (const Json::Value& p : JsonArrayMember(c, "parents")) {
            if (p.isInt()) declaration.parents.push_back(p.asInt());
        }
        for (const Json::Value& v : JsonArrayMember(c, "variables")) {
            if (v.isString()) declaration.variables.push_back(v.asString());
        }
        info->m_classByName.emplace(declaration.name, info->m_classes.size());
        info->m_classes.push_back(std::move(declaration));
    }
    DropBadParents(info->m_classes);
    for (const Json::Value& s : JsonArrayMember(root, "filescopes")) {
        auto scope = std::make_unique<DebugGlobalScope>();
        ReadScope(s, *scope);
        info->m_fileScopes.push_back(std::move(scope));
    }
    return info;
}

std::unique_ptr<DebugInfo> ParseDebugInfo(const std::string& text, std::string* error) {
    // The result of the parse is not checked on purpose: a text that breaks
    // off gives the part that was read. The reader only throws when the
    // nesting passes its depth limit.
    Json::Value root;
    try {
        Json::Reader reader;
        reader.parse(text, root, true);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return nullptr;
    }
    return LoadDebugInfo(root);
}

std::unique_ptr<DebugInfo> LoadDebugInfoFile(const std::string& bytecodePath) {
    return ReadDebugInfoFile(bytecodePath + ".dbg");
}

std::unique_ptr<DebugInfo> ReadDebugInfoFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return nullptr;
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) text.append(chunk, static_cast<size_t>(in.gcount()));
    std::string error;
    if (in.bad()) {
        error = "read error";
    } else if (auto info = ParseDebugInfo(text, &error)) {
        return info;
    }
    std::cout << "debugger: cannot read " << path << ": " << error << std::endl;
    return nullptr;
}
