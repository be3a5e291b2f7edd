#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "xml/XmlParser.h"

namespace {

std::string Dump(const Mirrow::ptree& tree) {
    std::ostringstream out;
    Mirrow::write_dump(out, tree, 0);
    return out.str();
}

std::string ReadDump(const std::string& xml) {
    std::istringstream in(xml);
    Mirrow::ptree tree;
    Mirrow::read_xml(in, tree);
    return Dump(tree);
}

// The message of the error reading the text throws, or "" when it reads.
std::string ReadError(const std::string& xml) {
    std::istringstream in(xml);
    Mirrow::ptree tree;
    try {
        Mirrow::read_xml(in, tree);
    } catch (const Mirrow::xml_parser_error& e) {
        return e.message();
    }
    return "";
}

std::string Nested(int levels) {
    std::string xml;
    for (int i = 0; i < levels; ++i) xml += "<a>";
    return xml;
}

}  // namespace

TEST(XmlReader, MapsMarkupToTheTree) {
    struct Row {
        const char* xml;
        const char* dump;
    };
    const Row rows[] = {
        // text of the element's own level joined; attributes first, as read
        {"<a x=\"1\">t<b/>u</a>", "a\ttu\t {\n  <xmlattr>\t\t {\n    x\t1\n  }\n  b\t\n}\n"},
        // a blank before ">" opens an (empty) attribute list
        {"<a >v</a>", "a\tv\t {\n  <xmlattr>\t\n}\n"},
        {"<a>v</a>", "a\tv\n"},
        {"<a/ x='1'>", "a\t\t {\n  <xmlattr>\t\t {\n    x\t1\n  }\n}\n"},
        {"<b />", "b\t\t {\n  <xmlattr>\t\n}\n"},
        // entities decode in place, unknown and numeric references stay
        {"<a>1&lt;2&amp;&amp;3&#65;&bogus;</a>", "a\t1<2&&3&#65;&bogus;\n"},
        {"<a>x &amp y</a>", "a\tx &amp y\n"},
        {"<a v='&quot;&lt;&bogus;&gt' w=\"&apos;\"/>",
         "a\t\t {\n  <xmlattr>\t\t {\n    v\t\"<&bogus;&gt\n    w\t'\n  }\n}\n"},
        // an entity name longer than 19 characters stays as text
        {"<a v='&abcdefghijklmnopqrstu;&abcdefghijklmnopqrs;'/>",
         "a\t\t {\n  <xmlattr>\t\t {\n    v\t&abcdefghijklmnopqrstu;&abcdefghijklmnopqrs;\n  }\n}\n"},
        // CDATA is kept raw, empty CDATA gives an empty value
        {"<a><![CDATA[<x>]]><![CDATA[]]><![CDATA[&amp;]]></a>",
         "a\t\t {\n  <xmlcdata>\t<x>\n  <xmlcdata>\t\n  <xmlcdata>\t&amp;\n}\n"},
        // declarations, comments, instructions and DOCTYPE are dropped
        {"<?xml version=\"1.0\"?><!DOCTYPE a [<!ELEMENT a ANY>]><!-- <b/> --><a><?pi x='1'?>v</a>", "a\tv\n"},
        // "<!" and one more character are dropped, not what follows them
        {"<a>v<!x></a>", "a\tv>\n"},
        {"<?go><a/>", "a\t\n"},
        {"<!-x><a/>", "a\t\n"},
        // white space alone is no value; text outside the roots is ignored
        {"<a>  \n <b/> \r\n</a>", "a\t\t {\n  b\t\n}\n"},
        {"x<a/>y<c>z</c>w", "a\t\nc\tz\n"},
        // unclosed elements are accepted; their text is stored only on closing
        {"<a><b>t", "a\t\t {\n  b\t\n}\n"},
        // names are not checked
        {"< a>v</ a>", " a\tv\n"},
        {"<a\x01\xE9>v</a\x01\xE9>", "a\x01\xE9\tv\n"},
        {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(ReadDump(r.xml), r.dump) << r.xml;
}

TEST(XmlReader, ErrorsCarryTheirTexts) {
    struct Row {
        const char* xml;
        const char* error;
    };
    const Row rows[] = {
        {"<a>1</b>", "bad closing tag. Expecting a found b"},
        {"<a><b>1</b></a ></a>", "bad closing tag. Expecting a found a "},
        {"x</y>", "bad closing tag. Expecting  found y"},
        {"<!DOCTYP a>", "bad <!DOCTYPE"},
        {"<![CDAT[x]]>", "bad <!CDATA["},
        {"<a x='1'", "missing > after attributes"},
        {"<a", "missing > after attributes"},
        {"<a x='1'/ >", "missing > after /"},
        {"<a x y='1'/>", "missing = after attribute name x"},
        {"<a x=1/>", "missing quote before attribute value for attribute x"},
        {"<?pi bare?>", "missing = after attribute name bare?>"},
    };
    for (const Row& r : rows) EXPECT_EQ(ReadError(r.xml), r.error) << r.xml;
}

TEST(XmlReader, NestingIsBounded) {
    EXPECT_EQ(ReadError(Nested(Mirrow::kMaxXmlDepth)), "");
    EXPECT_EQ(ReadError(Nested(Mirrow::kMaxXmlDepth + 1)), "elements nested deeper than 1000 levels");
    EXPECT_EQ(ReadError(Nested(131072)), "elements nested deeper than 1000 levels");
    // empty elements do not nest
    std::string flat;
    for (int i = 0; i < 5000; ++i) flat += "<e/>";
    EXPECT_EQ(ReadError("<a>" + flat + "</a>"), "");
}

// Every prefix of a document that exercises each inner scan reads or fails
// with a parse error: no scan runs past the end.
TEST(XmlReader, CutInputEndsCleanly) {
    const std::string doc =
        "<?xml version=\"1.0\" encoding='UTF-8'?><!DOCTYPE r [<!ENTITY e \"x\">]><!-- note -->"
        "<r a=\"1&amp;2\" b='&abcdefghijklmnopqrstuvw;'>t&lt;<![CDATA[raw]]><c/><d x=\"y\">z</d></r>";
    for (size_t n = 0; n <= doc.size(); ++n) {
        std::istringstream in(doc.substr(0, n));
        Mirrow::ptree tree;
        try {
            Mirrow::read_xml(in, tree);
        } catch (const Mirrow::xml_parser_error&) {
        }
    }
    EXPECT_EQ(ReadDump(doc.substr(0, doc.find("raw") + 2)),
              "r\t\t {\n  <xmlattr>\t\t {\n    a\t1&2\n    b\t&abcdefghijklmnopqrstuvw;\n  }\n  <xmlcdata>\tra\n}\n");
    EXPECT_EQ(ReadDump(doc.substr(0, doc.find("note"))), "");
}

TEST(XmlReader, DecodesEntitiesInText) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"a&lt;b&amp;c&amp;d", "a<b&c&d"}, {"&quot;&apos;&gt;", "\"'>"}, {"&#60;&x;", "&#60;&x;"},
        {"&amp;lt;", "&lt;"},              {"x&amp", "x&amp"},           {"&lt;&amp", "<&amp"},
        {"&a&amp;", "&a&amp;"},            {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(Mirrow::decode_entities(r.in), r.out) << r.in;
}
