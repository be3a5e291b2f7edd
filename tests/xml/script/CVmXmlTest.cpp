#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ScriptFile.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "vm/VirtualMachine.h"
#include "xml/script/CVmXml.h"

using namespace qemtest;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A buffer's text: up to its zero byte (all of it when it has none).
std::string Text(const CVmValue& v) {
    std::ostringstream s;
    if (v.type == VmValueType::String)
        s << std::string(v.asString->CStr(), static_cast<size_t>(v.asString->Length())).c_str();
    else
        s << v;
    return s.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class XmlScriptTest : public ::testing::Test {
protected:
    XmlScriptTest() {
        vm.SetOutputStream(&out, false);
        vm.RegisterClass(new CVmXml::CRegister(&folder));
        xml = s.New("CVMXML");
    }

    // Runs MAIN; the texts of its records.
    std::vector<std::string> Run() {
        std::shared_ptr<VmProgram> p = s.Program();
        EXPECT_TRUE(p);
        std::vector<std::string> texts;
        if (!p || !vm.StartProgram(p)) return texts;
        const CVmValue* r = vm.CallFunctionByName("MAIN");
        EXPECT_TRUE(r && r->type == VmValueType::Array) << out.str();
        if (!r || r->type != VmValueType::Array) return texts;
        for (int32_t i = 0; i < r->asArray->count; ++i) texts.push_back(Text(*r->asArray->GetAt(i)));
        EXPECT_FALSE(vm.HasError()) << out.str();
        return texts;
    }

    // Records h's method with the arguments and, with a buffer parameter,
    // the buffer after the call.
    void Record(const std::string& method, const std::vector<Opnd>& args, int bufferParam = 0, int32_t blanks = 200) {
        if (bufferParam == 0) return s.Record(s.Call(xml, method, args));
        std::vector<Opnd> withBuffer = args;
        const Opnd buffer = s.Blanks(blanks);
        withBuffer.insert(withBuffer.begin() + (bufferParam - 1), buffer);
        s.Record(s.Call(xml, method, withBuffer, bufferParam, buffer));
        s.Record(buffer);
    }

    ScratchFolder scratch;
    std::string folder = scratch.Path();
    std::ostringstream out;
    CVirtualMachine vm;
    MethodScript s{"MAIN"};
    Opnd xml;
};

}  // namespace

TEST_F(XmlScriptTest, NodesAreSetReadCountedListedAndDeleted) {
    const Opnd h = s.Call(xml, "NEWXML", {});
    s.Record(h);
    Record("PUTNODE", {h, VStr("a/b"), VStr("5")});
    Record("GETNODE", {h, VStr("a/b"), VInt(200)}, 3);
    Record("GETNODE", {h, VStr("a/q"), VInt(200)}, 3);
    Record("GETNODE", {h, VStr("a/b"), VInt(1)}, 3);
    Record("COUNTNODES", {h, VStr("a")});
    Record("COUNTNODES", {h, VStr("a/b")});
    Record("COUNTNODES", {h, VStr("nowhere")});
    for (const char* key : {"r/x", "r/y", "r/x"}) s.Call(xml, "APPENDNODE", {h, VStr(key), VStr("1")});
    Record("ENUMNODES", {h, VStr("r"), VInt(200)}, 3);
    Record("ENUMNODES", {h, VStr("r"), VInt(8)}, 3);  // one byte short
    Record("PUTNODE", {h, VStr("/r/x[0]"), VStr("both")});
    Record("GETNODE", {h, VStr("r/x[2]"), VInt(200)}, 3);
    Record("DELETENODE", {h, VStr("r/x[2]")});
    Record("ENUMNODES", {h, VStr("r"), VInt(200)}, 3);
    Record("ENUMNODES", {h, VStr("missing"), VInt(200)}, 3);
    Record("DUMP", {h, VStr(""), VInt(200)}, 3);
    Record("DUMP", {h, VStr("a"), VInt(4)}, 3);  // "b\t5\n" and the zero need 5
    Record("GETXMLERROR", {});
    const std::string blanks(200, ' ');
    const std::string dump = "a\t\t {\n  b\t5\n}\nr\t\t {\n  x\tboth\n  y\t1\n}\n";
    const std::vector<std::string> expected = {
        "1", "1",    "1", "5",   "-1", blanks, "0", "",   "1", "0", "0", "9", "x|y|x[2]", "0",
        blanks, "1", "4", "both", "1", "4", "x|y", "1", "", std::to_string(dump.size() + 1), dump, "0", blanks,
        "buffer overflow"};
    EXPECT_EQ(Run(), expected);
}

TEST_F(XmlScriptTest, TreesAreWrittenAsText) {
    const Opnd h = s.Call(xml, "NEWXML", {});
    s.Call(xml, "PUTNODE", {h, VStr("a/@id"), VStr("7")});
    Record("SAVEXMLSTRING", {h, VInt(200)}, 2);
    Record("GETXMLERROR", {});
    Record("SAVEXMLSTRING", {h, VInt(52)}, 2);  // exactly the text and its zero
    Record("SAVEXMLSTRING", {h, VInt(51)}, 2);
    Record("GETXMLERROR", {});
    Record("SAVEXMLSTRING", {h, VInt(0)}, 2);
    Record("SAVEXMLSTRING", {h, VInt(-5)}, 2);
    // a size beyond the String's storage (32 bytes for 3 blanks) is cut to it
    Record("SAVEXMLSTRING", {h, VInt(100000)}, 2, 3);
    std::string digits;
    for (int i = 0; i < 10; ++i) digits += "0123456789";
    s.Call(xml, "PUTNODE", {h, VStr("long"), VStr(digits.c_str())});
    Record("GETNODE", {h, VStr("long"), VInt(100000)}, 3, 3);
    const Opnd e = s.Call(xml, "NEWXML", {});
    s.Call(xml, "PUTNODE", {e, VStr("a"), VStr("x&y")});
    s.Call(xml, "PUTNODE", {e, VStr("a/@v"), VStr("say \"hi\"")});
    Record("SAVEXMLSTRING", {e, VInt(200)}, 2);
    const std::string text = kDeclaration + "<a id=\"7\"/>\n";
    ASSERT_EQ(text.size() + 1, 52u);
    const std::string escaped = kDeclaration + "<a v=\"say &quot;hi&quot;\">x&amp;y</a>\n";
    const std::string blanks(200, ' ');
    const std::vector<std::string> expected = {
        "52", text,   "", "52",  text, "0", blanks,
        "error during writing", "0", blanks, "0", blanks, "0", "   ", "31", "012",
        std::to_string(escaped.size() + 1), escaped};
    EXPECT_EQ(Run(), expected);
}

TEST_F(XmlScriptTest, TextIsReadIntoTrees) {
    const Opnd a = s.Call(xml, "LOADXMLSTRING", {VStr("<a x=\"1\">t<b/>u</a>")});
    Record("GETNODE", {a, VStr("a"), VInt(200)}, 3);
    Record("GETNODE", {a, VStr("a/@x"), VInt(200)}, 3);
    Record("ENUMNODES", {a, VStr("a"), VInt(200)}, 3);
    const Opnd c = s.Call(xml, "LOADXMLSTRING", {VStr("<a><![CDATA[<x>&amp;]]></a>")});
    Record("GETNODE", {c, VStr("a/<xmlcdata>"), VInt(200)}, 3);
    Record("LOADXMLSTRING", {VStr("<a>1</b>")});
    Record("GETXMLERROR", {});
    const Opnd empty = s.Call(xml, "LOADXMLSTRING", {VStr("")});
    Record("ENUMNODES", {empty, VStr(""), VInt(200)}, 3);
    Record("GETXMLERROR", {});
    std::string deep;
    for (int i = 0; i < 131072; ++i) deep += "<a>";
    Record("LOADXMLSTRING", {VStr(deep.c_str())});
    Record("GETXMLERROR", {});
    Record("LOADXMLSTRING", {VStr("<a x=\"1")});
    Record("GETXMLERROR", {});
    const std::vector<std::string> expected = {
        "2", "tu", "1", "1", "12", "<xmlattr>|b", "8", "<x>&amp;", "0", "bad closing tag. Expecting a found b",
        "1", "",   "",  "0", "elements nested deeper than 1000 levels", "0", "missing > after attributes"};
    EXPECT_EQ(Run(), expected);
}

TEST_F(XmlScriptTest, FilesLiveInTheWorkingFolder) {
    const Opnd h = s.Call(xml, "LOADXMLSTRING", {VStr("<r k=\"v\"><a>1</a><b>two\nlines</b></r>")});
    Record("SAVEXML", {h, VStr("w..x.xml")});
    Record("GETXMLERROR", {});
    const Opnd back = s.Call(xml, "LOADXML", {VStr("w..x.xml")});
    Record("SAVEXMLSTRING", {back, VInt(200)}, 2);
    Record("SAVEXMLSTRING", {h, VInt(200)}, 2);
    Record("LOADXML", {VStr("missing.xml")});
    Record("GETXMLERROR", {});
    Record("LOADXML", {VStr("")});  // the folder itself
    Record("SAVEXML", {h, VStr("no/such/folder.xml")});
    Record("GETXMLERROR", {});
    Record("LOADXML", {VStr("bad.xml")});
    Record("GETXMLERROR", {});
    const Opnd crlf = s.Call(xml, "LOADXML", {VStr("crlf.xml")});
    Record("GETNODE", {crlf, VStr("a"), VInt(200)}, 3);
    std::ofstream(folder + "bad.xml") << "<a>1</b>";
    std::ofstream(folder + "crlf.xml") << "<a>x\r\ny\r</a>\r\n";
    std::ostringstream console;
    std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
    const std::vector<std::string> got = Run();
    std::cout.rdbuf(saved);

    const std::string xml = kDeclaration + "<r k=\"v\">\n <a>1</a>\n <b>two\nlines</b>\n</r>\n";
    const std::string size = std::to_string(xml.size() + 1);
    const std::vector<std::string> expected = {
        "True", "", size, xml,  size, xml, "0", "cannot open file", "0", "False", "cannot open file", "0",
        "bad closing tag. Expecting a found b", "4", "x\ny\r"};
    EXPECT_EQ(got, expected);
    std::string written;
    for (const char c : xml) written += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ReadFile(folder + "w__x.xml"), written);
    EXPECT_EQ(console.str(), "cannot open file " + folder + "missing.xml temp is " + folder + "\n" +
                                 "cannot open file " + folder + " temp is " + folder + "\n");
}

TEST_F(XmlScriptTest, UnknownHandlesAnswerLikeNone) {
    const Opnd h = s.Call(xml, "NEWXML", {});
    s.Call(xml, "PUTNODE", {h, VStr("a"), VStr("1")});
    s.Call(xml, "DELETEXML", {h});
    for (const Opnd& bad : {h, VInt(0), VInt(-1), VInt(12345), VStr("1")}) {
        Record("PUTNODE", {bad, VStr("a"), VStr("1")});
        Record("APPENDNODE", {bad, VStr("a"), VStr("1")});
        Record("DELETENODE", {bad, VStr("a")});
        Record("COUNTNODES", {bad, VStr("")});
        Record("GETNODE", {bad, VStr("a"), VInt(200)}, 3, 3);
        Record("ENUMNODES", {bad, VStr(""), VInt(200)}, 3, 3);
        Record("DUMP", {bad, VStr(""), VInt(200)}, 3, 3);
        Record("SAVEXMLSTRING", {bad, VInt(200)}, 2, 3);
        Record("SAVEXML", {bad, VStr("bad.xml")});
        s.Call(xml, "DELETEXML", {bad});
    }
    Record("NEWXML", {});  // deleted handles are not handed out again at once
    const std::vector<std::string> once = {"0", "0", "0", "0", "0", "   ", "0", "   ", "0", "   ", "0", "   ", "False"};
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) expected.insert(expected.end(), once.begin(), once.end());
    expected.push_back("2");
    EXPECT_EQ(Run(), expected);
    EXPECT_FALSE(std::ifstream(folder + "bad.xml").good());
}

// loadXML takes regular files of its folder only: a FIFO would hold it for
// ever, and a web script's link may not lead out of its folder.
TEST(XmlScriptFiles, LoadXmlReadsRegularFilesOfItsFolderOnly) {
    ScratchFolder scratch;
    const std::string folder = scratch.Make("work/");
    std::ofstream(scratch.Path() + "secret.xml") << "<a>1</a>";
    ASSERT_EQ(mkfifo((folder + "pipe.xml").c_str(), 0600), 0);
    ASSERT_EQ(symlink((scratch.Path() + "secret.xml").c_str(), (folder + "link.xml").c_str()), 0);
    const struct {
        const char* name;
        bool web;
        const char* error;
    } cases[] = {
        {"pipe.xml", false, "pipe.xml' is not a regular file"},
        {"link.xml", true, "link.xml' lies outside the script's folder"},
    };
    for (const auto& c : cases) {
        ConfineScriptFiles(c.web ? folder : std::string());
        std::string base = folder;
        std::ostringstream out;
        CVirtualMachine vm;
        vm.SetOutputStream(&out, false);
        vm.RegisterClass(new CVmXml::CRegister(&base));
        MethodScript s("MAIN");
        s.Record(s.Call(s.New("CVMXML"), "LOADXML", {VStr(c.name)}));
        std::shared_ptr<VmProgram> p = s.Program();
        ASSERT_TRUE(p && vm.StartProgram(p));
        vm.CallFunctionByName("MAIN");
        EXPECT_TRUE(vm.HasError()) << c.name;
        EXPECT_NE(out.str().find(c.error), std::string::npos) << out.str();
    }
    ConfineScriptFiles(std::string());
}
