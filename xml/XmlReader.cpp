// The lenient XML reader. Every scan stops at the end of the input, and the
// nesting of elements is bounded, so no input can hang or exhaust the stack.
#include <cstring>
#include <istream>
#include <iterator>

#include "XmlParser.h"

namespace Mirrow {

namespace {

constexpr int kEnd = -1;
// Longest entity name an attribute value decodes; a longer one stays as text.
constexpr size_t kMaxEntityName = 19;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool HasNonBlank(const std::string& text) {
    for (const char c : text)
        if (!IsBlank(static_cast<unsigned char>(c))) return true;
    return false;
}

// The character of one of the five entity names, or 0.
char EntityChar(const char* name, size_t length) {
    static const struct {
        const char* name;
        char c;
    } kEntities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& e : kEntities)
        if (std::strlen(e.name) == length && std::memcmp(e.name, name, length) == 0) return e.c;
    return 0;
}

class Reader {
public:
    explicit Reader(const std::string& text) : m_at(text.data()), m_end(text.data() + text.size()) {}

    // Reads the content of an element up to its closing tag (or the end of
    // the input) into node.
    void Element(ptree& node, const std::string& closeName, int depth);

private:
    int Get() { return m_at == m_end ? kEnd : static_cast<unsigned char>(*m_at++); }
    int Peek() const { return m_at == m_end ? kEnd : static_cast<unsigned char>(*m_at); }
    void SkipBlanks() {
        while (m_at != m_end && IsBlank(static_cast<unsigned char>(*m_at))) ++m_at;
    }
    // Characters up to (not including) the first one of the stop set, or to the end.
    std::string Until(const char* stops) {
        const char* from = m_at;
        const size_t n = std::strlen(stops);
        while (m_at != m_end && !std::memchr(stops, *m_at, n)) ++m_at;
        return std::string(from, m_at);
    }
    // Characters up to the terminator, which is consumed; the rest of the
    // input when it never comes.
    std::string Through(const char* terminator) {
        const size_t n = std::strlen(terminator);
        const char* from = m_at;
        while (m_at != m_end && !(static_cast<size_t>(m_end - m_at) >= n && std::memcmp(m_at, terminator, n) == 0))
            ++m_at;
        std::string text(from, m_at);
        if (m_at != m_end) m_at += n;
        return text;
    }
    // The next n characters (fewer at the end) equal the text.
    bool Expect(const char* text) {
        for (const char* t = text; *t; ++t)
            if (Get() != static_cast<unsigned char>(*t)) return false;
        return true;
    }

    void StartTag(ptree& node, int first, int depth);
    void Declaration(ptree& node);
    void SkipDoctype();
    int Attributes(ptree& attrs);
    std::string AttributeValue(int quote);

    const char* m_at;
    const char* m_end;
};

void Reader::Element(ptree& node, const std::string& closeName, int depth) {
    std::string text;
    for (;;) {
        int c = Get();
        if (c == kEnd) return;  // unclosed elements are accepted
        if (c != '<') {
            text += static_cast<char>(c);
            continue;
        }
        c = Get();
        if (c == kEnd) return;
        if (c == '/') {
            const std::string name = Through(">");
            if (HasNonBlank(text)) node.put_value(decode_entities(text));
            if (name != closeName) throw xml_parser_error("bad closing tag. Expecting " + closeName + " found " + name);
            return;
        }
        if (c == '?') {
            Until(" \t\n\v\f\r>?");  // the target name
            if (Peek() == '>') {
                Get();
            } else {
                ptree scratch;
                Attributes(scratch);
            }
        } else if (c == '!') {
            Declaration(node);
        } else {
            StartTag(node, c, depth);
        }
    }
}

// After "<!": a comment, a DOCTYPE, a CDATA section, or two dropped characters.
void Reader::Declaration(ptree& node) {
    const int c = Get();
    if (c == '-') {
        if (Get() == '-') Through("-->");
    } else if (c == 'D') {
        if (!Expect("OCTYPE")) throw xml_parser_error("bad <!DOCTYPE");
        SkipDoctype();
    } else if (c == '[') {
        if (!Expect("CDATA[")) throw xml_parser_error("bad <!CDATA[");
        node.push_back("<xmlcdata>", Through("]]>"));
    }
}

void Reader::SkipDoctype() {
    for (;;) {
        const int c = Get();
        if (c == kEnd || c == '>') return;
        if (c == '[') Through("]");
    }
}

// A start tag whose name begins with first; reads the element's content too.
void Reader::StartTag(ptree& node, int first, int depth) {
    const std::string name = static_cast<char>(first) + Until(" \t\n\v\f\r>/");
    bool empty = false;
    if (Peek() == '/') {
        Get();
        empty = true;
    }
    ptree& child = node.push_back(name);
    int end;
    if (Peek() == '>') {
        end = Get();
    } else {
        end = Attributes(child.push_back("<xmlattr>"));
    }
    if (end == '/') {
        if (Get() != '>') throw xml_parser_error("missing > after /");
        return;
    }
    if (end != '>') throw xml_parser_error("missing > after attributes");
    if (empty) return;
    if (depth >= kMaxXmlDepth) throw xml_parser_error("elements nested deeper than 1000 levels");
    Element(child, name, depth + 1);
}

// Reads attributes into attrs; answers the character that ended the list
// ("/" or ">", or the one after a "?"), or kEnd.
int Reader::Attributes(ptree& attrs) {
    for (;;) {
        SkipBlanks();
        const int c = Peek();
        if (c == kEnd) return kEnd;
        if (c == '/' || c == '>') return Get();
        if (c == '?') {
            Get();
            return Get();
        }
        const std::string name = Until(" \t\n\v\f\r=");
        SkipBlanks();
        if (Get() != '=') throw xml_parser_error("missing = after attribute name " + name);
        SkipBlanks();
        const int quote = Get();
        if (quote != '\'' && quote != '"')
            throw xml_parser_error("missing quote before attribute value for attribute " + name);
        attrs.push_back(name, AttributeValue(quote));
    }
}

// The value up to the closing quote (consumed), with entity references
// decoded as they come. A reference whose name is longer than kMaxEntityName,
// or that meets the quote or the end first, stays as text.
std::string Reader::AttributeValue(int quote) {
    std::string value;
    for (;;) {
        const int c = Get();
        if (c == kEnd || c == quote) return value;
        if (c != '&') {
            value += static_cast<char>(c);
            continue;
        }
        std::string name;
        bool closed = false;
        for (;;) {
            const int d = Peek();
            if (d == kEnd || d == quote) break;
            if (d == ';') {
                Get();
                closed = true;
                break;
            }
            if (name.size() == kMaxEntityName) break;
            name += static_cast<char>(Get());
        }
        const char decoded = closed ? EntityChar(name.data(), name.size()) : 0;
        if (decoded)
            value += decoded;
        else
            value += "&" + name + (closed ? ";" : "");
    }
}

}  // namespace

void read_xml(std::istream& in, ptree& tree) {
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    Reader(text).Element(tree, std::string(), 0);
}

std::string decode_entities(const std::string& text) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t amp = text.find('&', pos);
        if (amp == std::string::npos) break;
        const size_t semi = text.find(';', amp + 1);
        if (semi == std::string::npos) break;  // the rest stays as it is
        out.append(text, pos, amp - pos);
        const char c = EntityChar(text.data() + amp + 1, semi - amp - 1);
        if (c)
            out += c;
        else
            out.append(text, amp, semi + 1 - amp);
        pos = semi + 1;
    }
    out.append(text, pos, std::string::npos);
    return out;
}

}  // namespace Mirrow
