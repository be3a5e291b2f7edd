#include "CVmXml.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "xml/PropertyTree.h"
#include "xml/XmlParser.h"
#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

// Process-wide state of the class: the last error text, and the folder file
// names are relative to (the working folder of the machine that made the
// last CVmXml object, read at each call so that later changes apply).
std::string g_lastError;
const std::string* g_baseFolder = nullptr;

const char* const kCannotOpen = "cannot open file";
const char* const kWriteFailed = "error during writing";
const char* const kOverflow = "buffer overflow";

std::string BaseFolder() {
    if (g_baseFolder) return *g_baseFolder;
    return g_engineState ? g_engineState->Paths().workingFolder : std::string();
}

// A script path: every "@" names the attribute list, and one leading "/" is
// dropped ("/a/@id" is "a/<xmlattr>/id").
std::string TreePath(const std::string& scriptPath) {
    std::string path;
    for (const char c : scriptPath) {
        if (c == '@')
            path += "<xmlattr>/";
        else
            path += c;
    }
    if (!path.empty() && path[0] == '/') path.erase(0, 1);
    return path;
}

// The base folder, a separator unless it ends with one, and the name, in
// which every ".." becomes "__" so that a script cannot climb out of the
// folder. The base folder itself is taken as it is.
std::string FullFileName(const std::string& name) {
    std::string safe = name;
    for (size_t at = safe.find(".."); at != std::string::npos; at = safe.find("..", at + 2)) safe.replace(at, 2, "__");
    std::string full = BaseFolder();
    if (!full.empty() && full.back() != '\\' && full.back() != '/') full += '/';
    return full + safe;
}

// A stream buffer that keeps at most `limit` bytes; the stream fails when
// more are written, so that the writers stop early.
class LimitedBuffer : public std::streambuf {
public:
    explicit LimitedBuffer(size_t limit) : m_limit(limit) {}
    const std::string& Text() const { return m_text; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (m_text.size() >= m_limit) return traits_type::eof();
        m_text += traits_type::to_char_type(c);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const size_t room = m_limit - m_text.size();
        const size_t taken = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
        m_text.append(s, taken);
        return static_cast<std::streamsize>(taken);
    }

private:
    size_t m_limit;
    std::string m_text;
};

// The bytes a String parameter's buffer can take: its storage, or 0 when the
// parameter is no String with a buffer.
int32_t BufferStorage(const CVmValue* buffer) {
    if (!buffer || buffer->type != VmValueType::String || !buffer->asString->data) return 0;
    return buffer->asString->capacity;
}

// Writes what `write` produces and a zero byte into the String of the buffer
// parameter, at most `size` bytes (cut to the String's storage). Answers the
// bytes written with the zero, or 0 when they did not fit (the buffer is then
// left as it was).
template <class Writer>
int32_t WriteToBuffer(CVmValue* buffer, int32_t size, Writer write) {
    const int32_t storage = BufferStorage(buffer);
    if (size > storage) size = storage;
    if (size <= 0) return 0;
    LimitedBuffer text(static_cast<size_t>(size));
    std::ostream out(&text);
    write(out);
    out.put('\0');
    if (!out) return 0;
    std::memcpy(buffer->asString->data, text.Text().data(), text.Text().size());
    return static_cast<int32_t>(text.Text().size());
}

// The keys of the node's children in order, separated by "|"; a key met
// again is written with "[n]", its occurrence number, so that each name is a
// path segment for that child.
void WriteKeys(std::ostream& out, const Mirrow::ptree& node) {
    std::map<std::string, int> seen;
    const char* separator = "";
    for (const Mirrow::ptree::value_type& child : node) {
        out << separator << child.first;
        const int n = ++seen[child.first];
        if (n > 1) out << '[' << n << ']';
        separator = "|";
    }
}

// The text with every line feed written as CR LF, as text mode writes it.
std::string CrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The largest XML file read.
constexpr uint64_t kMaxXmlFile = 64u << 20;

// The text of a file with the CR of every CR LF pair dropped, as text mode
// reads it; false when it cannot be opened.
bool ReadTextFile(const std::string& name, std::string& text) {
    ScriptFile file = ScriptFile::Open(PathResolver::Shared().Resolve(name), kMaxXmlFile);
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound)
        VmErrorStream() << "Cannot read the file: " << file.Reason() << ".";
    if (!file.IsOpen() || !file.ReadAll(text)) return false;
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[kept++] = text[i];
    }
    text.resize(kept);
    return true;
}

// Writes the tree as XML with CR LF line ends; false (and the last error)
// when the file cannot be opened or the writing fails (a full disk is not
// answered as done).
bool WriteTextFile(const std::string& name, const Mirrow::ptree& tree) {
    std::ofstream file(PathResolver::Shared().Resolve(name), std::ios::binary | std::ios::trunc);
    if (!file) {
        g_lastError = kCannotOpen;
        return false;
    }
    g_lastError.clear();
    std::ostringstream xml;
    Mirrow::write_xml(xml, tree);
    file << CrLf(xml.str());
    file.close();
    if (!file) g_lastError = kWriteFailed;
    return static_cast<bool>(file);
}

// Copies at most size - 1 characters of the text and a zero byte into the
// buffer (size cut to its storage); answers the characters copied, or -1 when
// not even the zero fits.
int32_t CopyToBuffer(CVmValue* buffer, int32_t size, const std::string& text) {
    const int64_t room = int64_t(std::min(size, BufferStorage(buffer))) - 1;
    if (room < 0) return -1;
    const int32_t copied = static_cast<int32_t>(std::min<int64_t>(room, static_cast<int64_t>(text.size())));
    std::memcpy(buffer->asString->data, text.data(), static_cast<size_t>(copied));
    buffer->asString->data[copied] = '\0';
    return copied;
}

// Reads XML text into a new tree; null (and the parser's message as the last
// error) when it does not parse.
std::unique_ptr<Mirrow::ptree> ParseTree(const std::string& text) {
    auto tree = std::make_unique<Mirrow::ptree>();
    std::istringstream in(text);
    try {
        Mirrow::read_xml(in, *tree);
    } catch (const Mirrow::xml_parser_error& e) {
        g_lastError = e.message();
        return nullptr;
    }
    return tree;
}

}  // namespace

CVmXml::CRegister::CRegister(const std::string* workingFolder) : m_workingFolder(workingFolder) {}

CVmXml::CRegister::~CRegister() {
    if (g_baseFolder == m_workingFolder) g_baseFolder = nullptr;
}

bool CVmXml::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("saveXML", &CRegister::SaveXML);
    AddMethod("newXML", &CRegister::NewXML);
    AddMethod("saveXMLString", &CRegister::SaveXMLString);
    AddMethod("loadXML", &CRegister::LoadXML);
    AddMethod("loadXMLString", &CRegister::LoadXMLString);
    AddMethod("deleteXML", &CRegister::DeleteXML);
    AddMethod("getNode", &CRegister::GetNode);
    AddMethod("putNode", &CRegister::PutNode);
    AddMethod("deleteNode", &CRegister::DeleteNode);
    AddMethod("countNodes", &CRegister::CountNodes);
    AddMethod("appendNode", &CRegister::AppendNode);
    AddMethod("enumNodes", &CRegister::EnumNodes);
    AddMethod("dump", &CRegister::Dump);
    AddMethod("getXMLError", &CRegister::GetXMLError);
    return true;
}

Mirrow::ptree* CVmXml::CRegister::TreeParam(int32_t k) {
    const auto it = m_trees.find(GetParamInt(k, false));
    return it == m_trees.end() ? nullptr : it->second.get();
}

std::string CVmXml::CRegister::TextParam(int32_t k) {
    const CVmString* text = GetParamCVmString(k, false);
    return text ? std::string(text->CStr(), static_cast<size_t>(text->Length())) : std::string();
}

std::string CVmXml::CRegister::PathParam(int32_t k) { return TreePath(TextParam(k)); }

CVmXml::CRegister::NodeOutput CVmXml::CRegister::ReadNodeOutput() {
    const Mirrow::ptree* tree = TreeParam(1);
    const std::string path = PathParam(2);
    return {tree ? &tree->get_child(path) : nullptr, GetParam(3), GetParamInt(4, false)};
}

int32_t CVmXml::CRegister::Keep(std::unique_ptr<Mirrow::ptree> tree) {
    // Handles are not reused soon, so that a deleted one stays unknown.
    do {
        m_lastHandle = m_lastHandle == INT32_MAX ? 1 : m_lastHandle + 1;
    } while (m_trees.count(m_lastHandle));
    m_trees[m_lastHandle] = std::move(tree);
    return m_lastHandle;
}

void CVmXml::CRegister::Create(CVmClassBase*, int) {
    g_baseFolder = m_workingFolder;
    ReturnObject(new CVmXml());
}

void CVmXml::CRegister::NewXML(CVmClassBase*, int) { VmReturnInteger(Keep(std::make_unique<Mirrow::ptree>())); }

void CVmXml::CRegister::LoadXML(CVmClassBase*, int) {
    const std::string name = FullFileName(TextParam(1));
    std::string text;
    if (!ReadTextFile(name, text)) {
        g_lastError = kCannotOpen;
        std::cout << "cannot open file " << name << " temp is " << BaseFolder() << '\n' << std::flush;
        return VmReturnInteger(0);
    }
    g_lastError.clear();
    std::unique_ptr<Mirrow::ptree> tree = ParseTree(text);
    VmReturnInteger(tree ? Keep(std::move(tree)) : 0);
}

void CVmXml::CRegister::LoadXMLString(CVmClassBase*, int) {
    const std::string text = TextParam(1);
    g_lastError.clear();
    std::unique_ptr<Mirrow::ptree> tree = ParseTree(text);
    VmReturnInteger(tree ? Keep(std::move(tree)) : 0);
}

void CVmXml::CRegister::SaveXML(CVmClassBase*, int) {
    const Mirrow::ptree* tree = TreeParam(1);
    const std::string name = FullFileName(TextParam(2));
    if (!tree) return VmReturnBool(false);
    VmReturnBool(WriteTextFile(name, *tree));
}

void CVmXml::CRegister::SaveXMLString(CVmClassBase*, int) {
    const Mirrow::ptree* tree = TreeParam(1);
    CVmValue* buffer = GetParam(2);
    const int32_t size = GetParamInt(3, false);
    if (!tree) return VmReturnInteger(0);
    g_lastError.clear();
    const int32_t written = WriteToBuffer(buffer, size, [tree](std::ostream& out) { Mirrow::write_xml(out, *tree); });
    if (written == 0) g_lastError = kWriteFailed;
    VmReturnInteger(written);
}

void CVmXml::CRegister::DeleteXML(CVmClassBase*, int) { m_trees.erase(GetParamInt(1, false)); }

void CVmXml::CRegister::GetNode(CVmClassBase*, int) {
    const NodeOutput p = ReadNodeOutput();
    if (!p.node) return VmReturnInteger(0);
    if (p.node == &Mirrow::ptree::shared_empty()) return VmReturnInteger(-1);
    VmReturnInteger(CopyToBuffer(p.buffer, p.size, p.node->data()));
}

void CVmXml::CRegister::SetNode(bool append) {
    Mirrow::ptree* tree = TreeParam(1);
    const std::string path = PathParam(2);
    const std::string value = TextParam(3);
    if (!tree) return VmReturnInteger(0);
    if (append)
        tree->add(path, value);
    else
        tree->put(path, value);
    VmReturnInteger(1);
}

void CVmXml::CRegister::PutNode(CVmClassBase*, int) { SetNode(false); }
void CVmXml::CRegister::AppendNode(CVmClassBase*, int) { SetNode(true); }

void CVmXml::CRegister::DeleteNode(CVmClassBase*, int) {
    Mirrow::ptree* tree = TreeParam(1);
    const std::string path = PathParam(2);
    if (!tree) return VmReturnInteger(0);
    tree->erase(path);
    VmReturnInteger(1);
}

void CVmXml::CRegister::CountNodes(CVmClassBase*, int) {
    const Mirrow::ptree* tree = TreeParam(1);
    const std::string path = PathParam(2);
    VmReturnInteger(tree && !tree->get_child(path).empty() ? 1 : 0);
}

void CVmXml::CRegister::EnumNodes(CVmClassBase*, int) {
    const NodeOutput p = ReadNodeOutput();
    if (!p.node) return VmReturnInteger(0);
    VmReturnInteger(WriteToBuffer(p.buffer, p.size, [&p](std::ostream& out) { WriteKeys(out, *p.node); }));
}

void CVmXml::CRegister::Dump(CVmClassBase*, int) {
    const NodeOutput p = ReadNodeOutput();
    if (!p.node) return VmReturnInteger(0);
    g_lastError.clear();
    const int32_t written = WriteToBuffer(p.buffer, p.size, [&p](std::ostream& out) { Mirrow::write_dump(out, *p.node, 0); });
    if (written == 0) g_lastError = kOverflow;
    VmReturnInteger(written);
}

void CVmXml::CRegister::GetXMLError(CVmClassBase*, int) {
    VmReturnString(g_lastError.c_str(), static_cast<int32_t>(g_lastError.size()));
}
