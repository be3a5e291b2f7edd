// CVmXml end to end: qem runs a script whose OnInit works with property trees
// and prints what each call gives; the files land in the working folder (the
// download cache under the test's own temporary folder).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// Writes "label value\n" for a call's result and, with a buffer parameter,
// "label text\n" for the buffer's first `chars` characters (the result
// itself, or the result less the zero byte, as the method counts).
class XmlTranscript {
public:
    enum Cut { kNoBuffer, kCharacters, kBytesWithZero };

    XmlTranscript() : xml(s.New("CVMXML")) { s.Print("BEGIN\n"); }

    Opnd Call(const char* label, const std::string& method, std::vector<Opnd> args, Cut cut = kNoBuffer,
              int bufferParam = 0) {
        s.Print(label);
        s.Print(" ");
        if (cut == kNoBuffer) {
            const Opnd r = s.Call(xml, method, args);
            s.Record(r);
            return r;
        }
        const Opnd buffer = s.Blanks(300);
        args.insert(args.begin() + (bufferParam - 1), buffer);
        const Opnd r = s.Call(xml, method, args, bufferParam, buffer);
        s.Record(r);
        s.Print(label);
        s.Print(" ");
        s.Record(s.Left(buffer, cut == kCharacters ? r : s.Plus(r, -1)));
        return r;
    }

    MethodScript s{"ONINIT"};
    Opnd xml;
};

}  // namespace

TEST(XmlScriptProgram, ScriptsWorkWithPropertyTrees) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    XmlTranscript t;
    using T = XmlTranscript;

    const Opnd h = t.Call("new", "NEWXML", {});
    t.Call("put", "PUTNODE", {h, VStr("a/b"), VStr("5")});
    t.Call("get", "GETNODE", {h, VStr("a/b"), VInt(200)}, T::kCharacters, 3);
    // a miss leaves the buffer as it was
    const Opnd kept = t.s.Local(VStr("untouched"));
    t.s.Print("miss ");
    t.s.Record(t.s.Call(t.xml, "GETNODE", {h, VStr("a/q"), kept, VInt(200)}, 3, kept));
    t.s.Record(kept);
    t.Call("count a", "COUNTNODES", {h, VStr("a")});
    t.Call("count a/b", "COUNTNODES", {h, VStr("a/b")});
    for (const char* key : {"r/x", "r/y", "r/x"}) t.Call("append", "APPENDNODE", {h, VStr(key), VStr("1")});
    t.Call("enum", "ENUMNODES", {h, VStr("r"), VInt(200)}, T::kBytesWithZero, 3);
    t.Call("put all", "PUTNODE", {h, VStr("r/x[0]"), VStr("7")});
    t.Call("get x", "GETNODE", {h, VStr("r/x"), VInt(200)}, T::kCharacters, 3);
    t.Call("get x[2]", "GETNODE", {h, VStr("r/x[2]"), VInt(200)}, T::kCharacters, 3);
    t.Call("delete", "DELETENODE", {h, VStr("r/x[2]")});
    t.Call("enum", "ENUMNODES", {h, VStr("r"), VInt(200)}, T::kBytesWithZero, 3);

    const Opnd id = t.Call("new", "NEWXML", {});
    t.Call("put", "PUTNODE", {id, VStr("a/@id"), VStr("7")});
    t.Call("text", "SAVEXMLSTRING", {id, VInt(200)}, T::kBytesWithZero, 2);
    t.Call("short", "SAVEXMLSTRING", {id, VInt(20)}, T::kBytesWithZero, 2);
    t.Call("error", "GETXMLERROR", {});
    const Opnd esc = t.Call("new", "NEWXML", {});
    t.Call("put", "PUTNODE", {esc, VStr("a"), VStr("x&y")});
    t.Call("put", "PUTNODE", {esc, VStr("a/@v"), VStr("say \"hi\"")});
    t.Call("text", "SAVEXMLSTRING", {esc, VInt(200)}, T::kBytesWithZero, 2);

    const Opnd doc = t.Call("load", "LOADXMLSTRING", {VStr("<a x=\"1\">t<b/>u</a><c><![CDATA[<raw>&amp;]]></c>")});
    t.Call("a", "GETNODE", {doc, VStr("a"), VInt(200)}, T::kCharacters, 3);
    t.Call("x", "GETNODE", {doc, VStr("a/@x"), VInt(200)}, T::kCharacters, 3);
    t.Call("keys", "ENUMNODES", {doc, VStr("a"), VInt(200)}, T::kBytesWithZero, 3);
    t.Call("cdata", "GETNODE", {doc, VStr("c/<xmlcdata>"), VInt(200)}, T::kCharacters, 3);
    t.Call("bad", "LOADXMLSTRING", {VStr("<a>1</b>")});
    t.Call("error", "GETXMLERROR", {});
    const Opnd empty = t.Call("empty", "LOADXMLSTRING", {VStr("")});
    t.Call("keys", "ENUMNODES", {empty, VStr(""), VInt(200)}, T::kBytesWithZero, 3);

    const Opnd file = t.Call("load", "LOADXMLSTRING", {VStr("<r k=\"v\"><a>1</a><b>two</b></r>")});
    t.Call("save", "SAVEXML", {file, VStr("w..x.xml")});
    const Opnd back = t.Call("load", "LOADXML", {VStr("w..x.xml")});
    t.Call("text", "SAVEXMLSTRING", {back, VInt(300)}, T::kBytesWithZero, 2);
    t.Call("missing", "LOADXML", {VStr("missing.xml")});
    t.Call("error", "GETXMLERROR", {});

    t.Call("delete", "DELETEXML", {id});
    t.Call("deleted", "PUTNODE", {id, VStr("a"), VStr("1")});
    t.Call("forged", "GETNODE", {VInt(4711), VStr("a"), VInt(200)}, T::kCharacters, 3);
    std::string deep;
    for (int i = 0; i < 131072; ++i) deep += "<a>";
    t.Call("deep", "LOADXMLSTRING", {VStr(deep.c_str())});
    t.Call("error", "GETXMLERROR", {});
    for (const char* cut : {"<a x=\"1", "<a><!-- c", "<a><![CDATA[x", "<!DOCTYPE a [<!ENTITY", "<a", "<?pi"})
        t.Call("cut", "LOADXMLSTRING", {VStr(cut)});
    t.s.Print("DONE\n");

    const std::vector<uint8_t> bytes = t.s.File();
    const std::string script = scratch.Make("xml.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, scratch.Make("out.txt"),
                   {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.Started());
    ASSERT_TRUE(qem.WaitFor("DONE\n", std::chrono::seconds(30))) << qem.Output() << qem.Errors();

    std::string cache;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path()))
        if (entry.path().filename().string().rfind("Velm", 0) == 0) cache = entry.path().string() + "/";
    ASSERT_FALSE(cache.empty());
    const std::string out = qem.Output();
    const size_t begin = out.find("BEGIN\n");
    ASSERT_NE(begin, std::string::npos) << out;
    const std::string transcript = out.substr(begin + 6, out.find("DONE\n") - begin - 6);
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string saved = declaration + "<r k=\"v\">\n <a>1</a>\n <b>two</b>\n</r>\n";
    const std::string expected =
        "new 1\nput 1\nget 1\nget 5\nmiss -1\nuntouched\ncount a 1\ncount a/b 0\nappend 1\nappend 1\nappend 1\n"
        "enum 9\nenum x|y|x[2]\nput all 1\nget x 1\nget x 7\nget x[2] 1\nget x[2] 7\ndelete 1\nenum 4\nenum x|y\n"
        "new 2\nput 1\ntext 52\ntext " + declaration + "<a id=\"7\"/>\n\nshort 0\nshort \nerror error during writing\n"
        "new 3\nput 1\nput 1\ntext 78\ntext " + declaration + "<a v=\"say &quot;hi&quot;\">x&amp;y</a>\n\n"
        "load 4\na 2\na tu\nx 1\nx 1\nkeys 12\nkeys <xmlattr>|b\ncdata 10\ncdata <raw>&amp;\n"
        "bad 0\nerror bad closing tag. Expecting a found b\nempty 5\nkeys 1\nkeys \n"
        "load 6\nsave True\nload 7\ntext " + std::to_string(saved.size() + 1) + "\ntext " + saved + "\n"
        "missing cannot open file " + cache + "missing.xml temp is " + cache + "\n0\nerror cannot open file\n"
        "delete Void\ndeleted 0\nforged 0\nforged \ndeep 0\nerror elements nested deeper than 1000 levels\n"
        "cut 0\ncut 8\ncut 9\ncut 10\ncut 0\ncut 11\n";
    EXPECT_EQ(transcript, expected);

    std::string crlf;
    for (const char c : saved) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ReadFile(cache + "w__x.xml"), crlf);
}
