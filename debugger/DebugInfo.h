// The debug information that ties compiled code back to its source: line
// tables per source file, the nested lexical scopes with their variables and
// the members and bases of the script classes. The compiler writes it as a
// JSON file beside the bytecode ("scene.bin" gives "scene.bin.dbg"); the
// loader reads it when the machine debugs. The model is read-only once built;
// its names keep the bytes of the file (Windows-1252, as the compiler writes
// them), so they compare with the engine's own text as they are.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Json {
class Value;
}

struct DebugVariable {
    std::string name;
    int32_t offset = 0;  // frame slot of a local (negative: a parameter); global number + 1 otherwise
    int32_t line = 0;    // declaration line; visible on later lines only
    bool isStatic = false;
    bool isGlobal = false;
    bool opt = false;  // optimized away: a local without a slot
};

// Orders variable names without regard to the case of ASCII letters, the way
// the scripts' identifiers compare.
struct DebugNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class DebugLexicalScope {
public:
    using ScopeList = std::vector<std::unique_ptr<DebugLexicalScope>>;
    using VariableList = std::vector<std::unique_ptr<DebugVariable>>;

    virtual ~DebugLexicalScope() = default;

    void AddChild(std::unique_ptr<DebugLexicalScope> child);
    // Appends a declared variable; the first declaration of a name is the one
    // FindVariable returns.
    void AppendVariable(std::unique_ptr<DebugVariable> variable);
    void SetLines(int32_t startLine, int32_t endLine);

    virtual bool IsGlobal() const { return false; }
    virtual bool IsMethod() const { return false; }
    virtual bool IsFunction() const { return false; }
    virtual bool IsBlock() const { return false; }

    // The deepest scope at or below this one whose lines hold the line.
    const DebugLexicalScope* FindInnermost(int32_t line) const;
    const DebugLexicalScope* GetParent() const { return m_parent; }
    // A variable declared directly in this scope, letter case ignored.
    const DebugVariable* FindVariable(const std::string& name) const;
    // "f(a, b)" for a function, "Class::method(a)" for a method, "" otherwise.
    virtual std::string GetDescription() const { return std::string(); }

    int32_t StartLine() const { return m_startLine; }
    int32_t EndLine() const { return m_endLine; }
    // In declaration order, duplicate names included.
    const VariableList& Variables() const { return m_variables; }
    // In ascending order of their first lines, not overlapping.
    const ScopeList& Children() const { return m_children; }

protected:
    // "(a, b)": the names of the parameters (negative offsets) in order.
    std::string ParameterList() const;

private:
    int32_t m_startLine = -1;
    int32_t m_endLine = -1;
    ScopeList m_children;
    std::map<std::string, const DebugVariable*, DebugNameLess> m_variablesByName;
    VariableList m_variables;
    const DebugLexicalScope* m_parent = nullptr;
};

class DebugGlobalScope : public DebugLexicalScope {
public:
    bool IsGlobal() const override { return true; }
};

class DebugBlockScope : public DebugLexicalScope {
public:
    bool IsBlock() const override { return true; }
};

class DebugFunctionScope : public DebugLexicalScope {
public:
    DebugFunctionScope(std::string functionName, int32_t paramCount);
    bool IsFunction() const override { return true; }
    std::string GetDescription() const override;
    const std::string& FunctionName() const { return m_functionName; }
    int32_t ParamCount() const { return m_paramCount; }

private:
    std::string m_functionName;
    int32_t m_paramCount;
};

class DebugMethodScope : public DebugLexicalScope {
public:
    // A method name such as "$$Init" (the compiler's prefix for special
    // methods) is kept without its first two characters.
    DebugMethodScope(std::string className, const std::string& methodName, int32_t paramCount);
    bool IsMethod() const override { return true; }
    std::string GetDescription() const override;
    const std::string& ClassName() const { return m_className; }
    const std::string& MethodName() const { return m_methodName; }
    int32_t ParamCount() const { return m_paramCount; }

private:
    std::string m_className;
    std::string m_methodName;
    int32_t m_paramCount;
};

struct DebugRange {
    int32_t start;  // both ends inclusive, instruction indexes
    int32_t end;
};

// The line table of one source file.
class DebugFileTable {
public:
    void AddRange(int32_t start, int32_t end) { m_ranges.push_back({start, end}); }
    // Records that `line` starts at `instruction`; for a line or an
    // instruction given twice the first entry stays.
    void AddLine(int32_t line, int32_t instruction);

    // The line of an instruction, or -1. Exact: only a line's first
    // instruction has one. Nearest: an instruction between two line starts
    // belongs to the earlier line; one before the first or after the last
    // line start has none.
    int32_t FindLine(int32_t instruction, bool nearest) const;
    // The first instruction of a line, or -1.
    int32_t FindInstruction(int32_t line) const;

    const std::vector<DebugRange>& Ranges() const { return m_ranges; }
    const std::map<int32_t, int32_t>& LineToInstruction() const { return m_lineToInstruction; }
    const std::map<int32_t, int32_t>& InstructionToLine() const { return m_instructionToLine; }

private:
    std::map<int32_t, int32_t> m_lineToInstruction;
    std::map<int32_t, int32_t> m_instructionToLine;
    std::vector<DebugRange> m_ranges;
};

struct DebugClassDeclaration {
    std::string name;
    std::vector<int32_t> parents;  // class indexes of the bases, all valid, never a cycle
    std::vector<std::string> variables;
};

struct DebugLocation {
    std::string file;  // "" and -1 when unknown
    int32_t line = -1;
};

struct DebugFileLine {
    int32_t file = -1;  // index into FileNames(); -1 and -1 when unknown
    int32_t line = -1;
};

class DebugInfo {
public:
    // The file and line of an instruction: files are tried from the last to
    // the first, and within a file its ranges in order; the first range that
    // holds the instruction and whose table gives a line decides.
    DebugFileLine LineOf(int32_t instruction, bool nearest) const;
    DebugLocation LocationOf(int32_t instruction, bool nearest) const;
    // The first instruction of a line of the file of that exact name, or -1.
    int32_t InstructionAt(const std::string& file, int32_t line) const;
    // The innermost scope at an instruction, or null when the instruction has
    // no line or its file has no scope.
    const DebugLexicalScope* ScopeAt(int32_t instruction) const;

    const std::vector<std::string>& FileNames() const { return m_fileNames; }
    const std::vector<DebugFileTable>& FileTables() const { return m_fileTables; }
    const std::vector<DebugClassDeclaration>& ClassDeclarations() const { return m_classes; }
    // By class index or by exact name (the first declaration of a name); null
    // when there is none.
    const DebugClassDeclaration* ClassAt(int32_t index) const;
    const DebugClassDeclaration* FindClass(const std::string& name) const;
    const std::vector<std::unique_ptr<DebugGlobalScope>>& FileScopes() const { return m_fileScopes; }

private:
    friend std::unique_ptr<DebugInfo> LoadDebugInfo(const Json::Value& root);

    std::vector<std::string> m_fileNames;
    std::vector<DebugFileTable> m_fileTables;  // one per file name
    std::vector<DebugClassDeclaration> m_classes;
    std::map<std::string, size_t> m_classByName;
    std::vector<std::unique_ptr<DebugGlobalScope>> m_fileScopes;
};

// Builds the model from the file's JSON value. Never fails: a key that is
// missing or holds a value of another kind reads as empty, 0 or false.
std::unique_ptr<DebugInfo> LoadDebugInfo(const Json::Value& root);

// Parses the text of a debug-information file. A text that breaks off gives
// the model of the part that was read. Null, with the reason in *error, only
// when the text cannot be parsed at all (nesting too deep).
std::unique_ptr<DebugInfo> ParseDebugInfo(const std::string& text, std::string* error = nullptr);

// Reads the file beside a bytecode file: the path as given with ".dbg"
// appended. Null when the file cannot be opened (the program then runs
// without a debugger), or when it opens but cannot be read or parsed, which is
// reported on the standard output.
std::unique_ptr<DebugInfo> LoadDebugInfoFile(const std::string& bytecodePath);
// The same for the debug-information file itself.
std::unique_ptr<DebugInfo> ReadDebugInfoFile(const std::string& path);
