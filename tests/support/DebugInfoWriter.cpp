#include "support/DebugInfoWriter.h"

#include <fstream>
#include <iterator>

#include <json/writer.h>

namespace qemtest {

DebugScopeWriter& DebugScopeWriter::Lines(int32_t startLine, int32_t endLine) {
    m_startLine = startLine;
    m_endLine = endLine;
    return *this;
}

DebugScopeWriter& DebugScopeWriter::Variable(const std::string& name, int32_t offset, int32_t line, unsigned flags) {
    Json::Value v(Json::objectValue);
    v["name"] = name;
    v["offset"] = offset;
    v["line"] = line;
    v["static"] = (flags & kDebugStatic) != 0;
    v["global"] = (flags & kDebugGlobal) != 0;
    v["opt"] = (flags & kDebugOpt) != 0;
    m_variables.append(v);
    return *this;
}

DebugScopeWriter& DebugScopeWriter::Child(Json::Value header, int32_t startLine, int32_t endLine) {
    m_children.emplace_back();
    DebugScopeWriter& child = m_children.back();
    child.m_header = std::move(header);
    return child.Lines(startLine, endLine);
}

DebugScopeWriter& DebugScopeWriter::Function(const std::string& name, int32_t params, int32_t startLine,
                                             int32_t endLine) {
    Json::Value header(Json::objectValue);
    header["type"] = "function";
    header["functionname"] = name;
    header["params"] = params;
    return Child(header, startLine, endLine);
}

DebugScopeWriter& DebugScopeWriter::Method(const std::string& className, const std::string& methodName, int32_t params,
                                           int32_t startLine, int32_t endLine) {
    Json::Value header(Json::objectValue);
    header["type"] = "method";
    header["classname"] = className;
    header["methodname"] = methodName;
    header["params"] = params;
    return Child(header, startLine, endLine);
}

DebugScopeWriter& DebugScopeWriter::Block(int32_t startLine, int32_t endLine) {
    Json::Value header(Json::objectValue);
    header["type"] = "block";
    return Child(header, startLine, endLine);
}

Json::Value DebugScopeWriter::ToJson() const {
    Json::Value scope = m_header;
    scope["startLine"] = m_startLine;
    scope["endLine"] = m_endLine;
    scope["variables"] = m_variables;
    Json::Value children(Json::arrayValue);
    for (const DebugScopeWriter& child : m_children) children.append(child.ToJson());
    scope["scopes"] = children;
    return scope;
}

int32_t DebugInfoWriter::AddFile(const std::string& name) {
    m_files.emplace_back();
    m_files.back().name = name;
    return static_cast<int32_t>(m_files.size() - 1);
}

namespace {

template <typename T>
T& At(std::list<T>& list, int32_t index) {
    return *std::next(list.begin(), index);
}

}  // namespace

void DebugInfoWriter::AddRange(int32_t file, int32_t start, int32_t end) {
    Json::Value range(Json::objectValue);
    range["startoffset"] = start;
    range["endoffset"] = end;
    At(m_files, file).ranges.append(range);
}

void DebugInfoWriter::AddLine(int32_t file, int32_t line, int32_t offset) {
    Json::Value entry(Json::objectValue);
    entry["line"] = line;
    entry["offset"] = offset;
    At(m_files, file).code.append(entry);
}

int32_t DebugInfoWriter::AddClass(const std::string& name, const std::vector<int32_t>& parents,
                                  const std::vector<std::string>& variables) {
    Json::Value c(Json::objectValue);
    c["name"] = name;
    c["parents"] = Json::Value(Json::arrayValue);
    for (const int32_t p : parents) c["parents"].append(p);
    c["variables"] = Json::Value(Json::arrayValue);
    for (const std::string& v : variables) c["variables"].append(v);
    m_classes.append(c);
    return static_cast<int32_t>(m_classes.size() - 1);
}

DebugScopeWriter& DebugInfoWriter::FileScope(int32_t file) { return At(m_files, file).scope; }

Json::Value DebugInfoWriter::ToJson() const {
    Json::Value root(Json::objectValue);
    root["filenames"] = Json::Value(Json::arrayValue);
    root["filetables"] = Json::Value(Json::arrayValue);
    root["filescopes"] = Json::Value(Json::arrayValue);
    for (const File& f : m_files) {
        root["filenames"].append(f.name);
        Json::Value table(Json::objectValue);
        table["offsets"] = f.ranges;
        table["code"] = f.code;
        root["filetables"].append(table);
        root["filescopes"].append(f.scope.ToJson());
    }
    root["classdeclarations"] = m_classes;
    return root;
}

std::string DebugInfoWriter::ToText() const {
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;  // bytes as they are, not \u escapes of a UTF-8 reading
    return Json::writeString(builder, ToJson());
}

bool DebugInfoWriter::Write(const std::string& bytecodePath) const {
    std::ofstream out(bytecodePath + ".dbg", std::ios::binary);
    out << ToText();
    return static_cast<bool>(out);
}

}  // namespace qemtest
