#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include "xml/XmlParser.h"

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string Write(const Mirrow::ptree& tree) {
    std::ostringstream out;
    Mirrow::write_xml(out, tree);
    return out.str();
}

}  // namespace

TEST(XmlWriter, WritesElementsAttributesAndSpecialKeys) {
    struct Row {
        void (*build)(Mirrow::ptree&);
        std::string xml;
    };
    const Row rows[] = {
        {[](Mirrow::ptree& t) {
             t.put("a", "x&y<");
             t.put("a/<xmlattr>/v", "say \"hi\" 'n' <&>");
         },
         kDeclaration + "<a v=\"say &quot;hi&quot; &apos;n&apos; &lt;&amp;&gt;\">x&amp;y&lt;</a>\n"},
        {[](Mirrow::ptree& t) {
             t.put("r/x/y", "1");
             t.add("r/z", "");
             t.put("r", "tail");
         },
         kDeclaration + "<r>\n <x>\n  <y>1</y>\n </x>\n <z/>\ntail</r>\n"},
        {[](Mirrow::ptree& t) {
             t.put("?xml/<xmlattr>/version", "1.0");
             t.put("!DOCTYPE", " r");
             t.put("r/<xmlcomment>", " c ");
             t.put("r/<xmltext>", "a<b");
             t.put("r/<xmlcdata>", "<raw>");
             t.put("r/?pi", "");
             t.put("r/<xmlattr>", "");
         },
         "<?xml version=\"1.0\" ?>\n<!DOCTYPE r>\n<r>\n<!-- c -->\na&lt;b<![CDATA[<raw>]]>\n <?pi ?>\n</r>\n"},
        {[](Mirrow::ptree& t) { t.put("", "root value is not written"); }, kDeclaration},
        // a second "<xmlattr>" counts as content but is not written
        {[](Mirrow::ptree& t) {
             t.put("a/<xmlattr>/k", "1");
             t.add("a/<xmlattr>", "");
         },
         kDeclaration + "<a k=\"1\">\n</a>\n"},
    };
    for (const Row& r : rows) {
        Mirrow::ptree tree;
        r.build(tree);
        EXPECT_EQ(Write(tree), r.xml);
    }
}

TEST(XmlWriter, IndentsOneSpacePerLevelModulo48) {
    Mirrow::ptree tree;
    std::string path = "e0";
    for (int i = 1; i < 50; ++i) path += "/e" + std::to_string(i);
    tree.put(path, "v");
    const std::string xml = Write(tree);
    EXPECT_NE(xml.find("\n <e1>\n"), std::string::npos);
    EXPECT_NE(xml.find("\n<e48>\n"), std::string::npos);
    EXPECT_NE(xml.find("\n <e49>v</e49>\n"), std::string::npos);
    EXPECT_NE(xml.find("\n" + std::string(47, ' ') + "</e47>\n"), std::string::npos);
}

TEST(XmlWriter, ReadBackGivesTheSameTree) {
    Mirrow::ptree tree;
    tree.put("doc/<xmlattr>/id", "a\"&'<>");
    tree.put("doc/item", "one & two");
    tree.add("doc/item", "<three>");
    tree.put("doc/item[2]/<xmlattr>/n", "2");
    tree.put("other", "\xE9\x01");
    std::istringstream in(Write(tree));
    Mirrow::ptree back;
    Mirrow::read_xml(in, back);
    std::ostringstream a, b;
    Mirrow::write_dump(a, tree, 0);
    Mirrow::write_dump(b, back, 0);
    EXPECT_EQ(b.str(), a.str());
}

TEST(XmlWriter, DumpsWithTabsAndBraces) {
    Mirrow::ptree tree;
    tree.put("a/b", "1");
    tree.put("a", "v");
    tree.add("c", "2");
    std::ostringstream out;
    Mirrow::write_dump(out, tree, 1);
    EXPECT_EQ(out.str(), "  a\tv\t {\n    b\t1\n  }\n  c\t2\n");
}

// Trees built from long paths are far deeper than the reader allows;
// writing, dumping and deleting them must not recurse.
TEST(XmlWriter, VeryDeepTreesAreWrittenAndDeleted) {
    for (const int depth : {100000, 3000}) {
        std::string path = "n";
        for (int i = 1; i < depth; ++i) path += "/n";
        auto tree = std::make_unique<Mirrow::ptree>();
        tree->put(path, "leaf");
        std::ostringstream xml;
        Mirrow::write_xml(xml, *tree);
        const std::string text = xml.str();
        EXPECT_NE(text.find("<n>leaf</n>"), std::string::npos);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * depth);
        // The dump's indentation counts levels modulo 48, as the XML's
        // does: it grows with the tree, not with the square of its depth.
        std::ostringstream dump;
        Mirrow::write_dump(dump, *tree, 0);
        EXPECT_NE(dump.str().find("\n" + std::string(2 * ((depth - 1) % 48), ' ') + "n\tleaf\n"), std::string::npos);
        EXPECT_LT(dump.str().size(), static_cast<size_t>(depth) * 2 * (2 * 47 + 5));
        tree.reset();
    }
}
