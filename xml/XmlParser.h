// Reading and writing property trees as XML, and their indented dump form.
//
// The reader is deliberately lenient (unclosed elements, several top-level
// elements, unchecked names are all accepted), so it is its own small parser
// rather than a conforming one. Elements become children keyed by their name,
// attributes the children of a child "<xmlattr>", CDATA sections children
// "<xmlcdata>" holding the raw text, and the text of an element its value;
// comments, processing instructions and DOCTYPE declarations are dropped.
// Text is bytes: no character-set conversion happens either way.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>

#include "PropertyTree.h"

namespace Mirrow {

// A parse error; what() answers the message.
class xml_parser_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    const char* message() const { return what(); }
};

// Elements nested deeper than this are refused with an xml_parser_error.
constexpr int kMaxXmlDepth = 1000;

// Parses the stream into the tree's children. Throws xml_parser_error; the
// partly built tree then stays with the caller.
void read_xml(std::istream& in, ptree& tree);

// Writes the tree's children as XML, after the declaration line unless the
// tree has a child "?xml".
void write_xml(std::ostream& out, const ptree& tree);

// The indented text form: "key\tvalue\n" for a leaf, "key\tvalue\t {\n" ...
// "}\n" around a node's children, two spaces per level.
void write_dump(std::ostream& out, const ptree& tree, int depth);

// Decodes the references &amp; &lt; &gt; &apos; &quot;; others stay as they are.
std::string decode_entities(const std::string& text);
// Writes the text with < > " ' & escaped.
void encode_entities(std::ostream& out, const std::string& text);

}  // namespace Mirrow
