#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "xml/PropertyTree.h"
#include "xml/XmlParser.h"

namespace {

std::string Dump(const Mirrow::ptree& tree) {
    std::ostringstream out;
    Mirrow::write_dump(out, tree, 0);
    return out.str();
}

bool Misses(const Mirrow::ptree& tree, const std::string& path) {
    return &tree.get_child(path) == &Mirrow::ptree::shared_empty();
}

// r with the children x=1, y=2, x=3, in that order.
void MakeXYX(Mirrow::ptree& t) {
    t.add("r/x", "1");
    t.add("r/y", "2");
    t.add("r/x", "3");
}

}  // namespace

TEST(XmlPaths, WritesFollowThePathGrammar) {
    struct Row {
        void (*edit)(Mirrow::ptree&);
        const char* dump;
    };
    const Row rows[] = {
        {[](Mirrow::ptree& t) { t.put("a/b", "5"); }, "a\t\t {\n  b\t5\n}\n"},
        {[](Mirrow::ptree& t) { t.put("a/b/", "5"); }, "a\t\t {\n  b\t5\n}\n"},
        // put replaces the first, add always appends
        {[](Mirrow::ptree& t) {
             t.put("a/b", "1");
             t.put("a/b", "2");
             t.add("a/b", "3");
         },
         "a\t\t {\n  b\t2\n  b\t3\n}\n"},
        // [2] appends a second b; [0] then sets both; new children go last
        {[](Mirrow::ptree& t) {
             t.put("a/b", "1");
             t.put("a/c", "c");
             t.put("a/b[2]", "2");
             t.put("a/b[0]", "0");
         },
         "a\t\t {\n  b\t0\n  c\tc\n  b\t0\n}\n"},
        {[](Mirrow::ptree& t) { t.put("a/b[0]", "new"); }, "a\t\t {\n  b\tnew\n}\n"},
        // a missing intermediate node is created, whatever its position
        {[](Mirrow::ptree& t) { t.put("a[3]/b", "1"); }, "a\t\t {\n  b\t1\n}\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             t.put("r/x[2]", "two");
         },
         "r\t\t {\n  x\t1\n  y\t2\n  x\ttwo\n}\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             t.put("r/x[0]", "all");
         },
         "r\t\t {\n  x\tall\n  y\t2\n  x\tall\n}\n"},
        // a negative position names no child: put appends, erase removes none
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             t.put("r/x[-1]", "neg");
             EXPECT_EQ(t.erase("r/x[-2]"), 0);
         },
         "r\t\t {\n  x\t1\n  y\t2\n  x\t3\n  x\tneg\n}\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             EXPECT_EQ(t.erase("r/x[2]"), 1);
         },
         "r\t\t {\n  x\t1\n  y\t2\n}\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             EXPECT_EQ(t.erase("r/x[0]"), 2);
             EXPECT_EQ(t.erase("r/x"), 0);
             EXPECT_EQ(t.erase("q/x"), 0);
             EXPECT_EQ(t.erase(""), 0);
         },
         "r\t\t {\n  y\t2\n}\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             EXPECT_EQ(t.erase("r/[0]"), 3);  // an empty key: every child
         },
         "r\t\n"},
        {[](Mirrow::ptree& t) {
             MakeXYX(t);
             EXPECT_EQ(t.erase("r//"), 1);  // the first in key order
         },
         "r\t\t {\n  y\t2\n  x\t3\n}\n"},
        // the empty path names the tree itself
        {[](Mirrow::ptree& t) {
             t.put("", "self");
             EXPECT_EQ(t.data(), "self");
         },
         ""},
        // brackets make a position only in "key[n]" form
        {[](Mirrow::ptree& t) {
             t.put("[]", "1");
             t.put("x[2]y", "2");
             t.put("z[ 1]", "3");
         },
         "[]\t1\nx[2]y\t2\nz\t3\n"},
    };
    for (const Row& r : rows) {
        Mirrow::ptree tree;
        r.edit(tree);
        EXPECT_EQ(Dump(tree), r.dump);
    }
}

TEST(XmlPaths, ReadsFollowThePathGrammar) {
    Mirrow::ptree t;
    t.add("r/z", "z");
    t.add("r/a", "a1");
    t.add("r/m", "m");
    t.add("r/a", "a2");
    t.add("r/B", "B");
    t.add("r/\xE9", "e");
    struct Row {
        const char* path;
        const char* value;  // null: a miss
    };
    const Row rows[] = {
        {"r/a", "a1"},  {"r/a[1]", "a1"}, {"r/a[0]", "a1"}, {"r/a[2]", "a2"}, {"r/a[3]", nullptr},
        {"r/a[-1]", nullptr}, {"r/A", nullptr}, {"r/a/", "a1"}, {"/a", "a1"}, {"/r/a", nullptr}, {"r/q", nullptr},
        // empty segments go in key order: bytes, case-sensitive, equal keys as added
        {"r//", "B"},   {"r/[2]", "a1"},  {"r/[3]", "a2"},  {"r/[6]", "e"},   {"r/[7]", nullptr},
        {"r/[99999999999]", nullptr},
    };
    for (const Row& r : rows) {
        if (r.value) {
            ASSERT_FALSE(Misses(t, r.path)) << r.path;
            EXPECT_EQ(t.get_child(r.path).data(), r.value) << r.path;
        } else {
            EXPECT_TRUE(Misses(t, r.path)) << r.path;
        }
    }
    EXPECT_EQ(&t.get_child(""), &t);
    EXPECT_EQ(t.get_child("r").count("a"), 2);
    EXPECT_EQ(t.get_child("r").count("q"), 0);
    EXPECT_TRUE(Mirrow::ptree::shared_empty().empty());
    EXPECT_TRUE(Mirrow::ptree::shared_empty().data().empty());
}
