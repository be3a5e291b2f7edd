// Writes debug-information files (the JSON beside a bytecode file) for
// tests: line tables, classes and the nested scopes with their variables, in
// the layout the compiler produces.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <json/value.h>

namespace qemtest {

// Flags of a variable.
enum DebugVariableFlags : unsigned {
    kDebugStatic = 1,
    kDebugGlobal = 2,
    kDebugOpt = 4,
};

class DebugScopeWriter {
public:
    DebugScopeWriter& Lines(int32_t startLine, int32_t endLine);
    // A variable declared in this scope: offset is the frame slot (negative
    // for a parameter) or, for a static or global, the global number + 1.
    DebugScopeWriter& Variable(const std::string& name, int32_t offset, int32_t line, unsigned flags = 0);

    // Nested scopes; add them in ascending order of their first lines.
    DebugScopeWriter& Function(const std::string& name, int32_t params, int32_t startLine, int32_t endLine);
    DebugScopeWriter& Method(const std::string& className, const std::string& methodName, int32_t params,
                             int32_t startLine, int32_t endLine);
    DebugScopeWriter& Block(int32_t startLine, int32_t endLine);

    Json::Value ToJson() const;

private:
    DebugScopeWriter& Child(Json::Value header, int32_t startLine, int32_t endLine);

    Json::Value m_header{Json::objectValue};  // "type" and the names of a nested scope
    int32_t m_startLine = 0;
    int32_t m_endLine = 0;
    Json::Value m_variables{Json::arrayValue};
    std::list<DebugScopeWriter> m_children;  // a list keeps references stable
};

class DebugInfoWriter {
public:
    // A source file with an empty line table and global scope; returns its
    // file index.
    int32_t AddFile(const std::string& name);
    void AddRange(int32_t file, int32_t start, int32_t end);
    // `offset` is the first instruction of source line `line`.
    void AddLine(int32_t file, int32_t line, int32_t offset);
    // Returns the class index.
    int32_t AddClass(const std::string& name, const std::vector<int32_t>& parents = {},
                     const std::vector<std::string>& variables = {});
    DebugScopeWriter& FileScope(int32_t file);

    Json::Value ToJson() const;
    // The file's text. Strings keep their bytes (Windows-1252 as the
    // compiler writes them).
    std::string ToText() const;
    // Writes bytecodePath + ".dbg".
    bool Write(const std::string& bytecodePath) const;

private:
    struct File {
        std::string name;
        Json::Value ranges{Json::arrayValue};
        Json::Value code{Json::arrayValue};
        DebugScopeWriter scope;
    };
    std::list<File> m_files;
    Json::Value m_classes{Json::arrayValue};
};

}  // namespace qemtest
