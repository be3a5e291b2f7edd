// CFileManager end to end: qem runs a script whose OnInit writes and reads
// value files in its folder and opens dialogs, shown by a stand-in for the
// dialog program that records its arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/FakeZenity.h"
#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

const std::string kHeader("\xFF" "QEM_02" "\xFF\0\0\0\0\xFF\0\xFF\0", 16);

// Writes "label value\n" for each call's result.
class FileManagerTranscript {
public:
    FileManagerTranscript() : fm(s.New("CFILEMANAGER")) { s.Print("BEGIN\n"); }

    Opnd Call(const char* label, const std::string& method, const std::vector<Opnd>& args) {
        s.Print(label);
        s.Print(" ");
        const Opnd r = s.Call(fm, method, args);
        s.Record(r);
        return r;
    }

    // Runs the script in qem from the folder, with the environment; the
    // lines between BEGIN and DONE.
    std::string Run(const ScratchFolder& scratch, const std::map<std::string, std::string>& environment) {
        s.Print("DONE\n");
        const std::vector<uint8_t> bytes = s.File();
        const std::string script = scratch.Make("files.bin");
        WriteFile(script, std::string(bytes.begin(), bytes.end()));
        std::map<std::string, std::string> env = environment;
        env["TMPDIR"] = scratch.Path();
        // qem starts in this process's folder: the script's relative names
        // are taken against the scratch folder.
        const std::string folder = WorkingFolder();
        ChangeWorkingFolder(scratch.Path());
        QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, scratch.Make("out.txt"), env);
        ChangeWorkingFolder(folder);
        EXPECT_TRUE(qem.Started());
        EXPECT_TRUE(qem.WaitFor("DONE\n", std::chrono::seconds(30))) << qem.Output() << qem.Errors();
        const std::string out = qem.Output();
        const size_t begin = out.find("BEGIN\n");
        if (begin == std::string::npos) return out;
        return out.substr(begin + 6, out.find("DONE\n") - begin - 6);
    }

    MethodScript s{"ONINIT"};
    Opnd fm;
};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes) s += static_cast<char>(b);
    return s;
}

}  // namespace

TEST(FileManagerScriptProgram, ValueFilesKeepOneValue) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    // Files other programs made, and files that are no value files.
    const std::string int258 = kHeader + Bytes({2, 0, 0, 1, 2});
    WriteFile(scratch.Make("int.dat"), int258);
    WriteFile(scratch.Make("Sub/Int.dat"), int258);
    const std::pair<const char*, std::string> bad[] = {
        {"short.dat", kHeader.substr(0, 15)},
        {"foreign.dat", "\xFF" "QEM_03" + kHeader.substr(7) + Bytes({2, 0, 0, 1, 2})},
        {"lying-string.dat", kHeader + Bytes({5, 0x7F, 0xFF, 0xFF, 0xFF}) + "ab"},
        {"lying-array.dat", kHeader + Bytes({7, 0x7F, 0xFF, 0xFF, 0xF0, 2, 0, 0, 0, 1})},
        {"lying-vector.dat", kHeader + Bytes({8, 0x40, 0, 0, 0, 0, 0, 0x80, 0x3F})},
        {"header-only.dat", kHeader},
    };
    for (const auto& b : bad) WriteFile(scratch.Make(b.first), b.second);
    scratch.Make("folder.dat/");

    FileManagerTranscript t;
    MethodScript& s = t.s;
    const Opnd list = s.Local(VInt(0));
    s.Builder().Emit(OP_ARRAY, I(0), None(), list);
    CVmValue vector, yes;
    const float floats[] = {1.5f, 2.0f};
    vector.SetVector(floats, 2);
    yes.SetBool(true);
    for (const Opnd& v : {VInt(1), VStr("ab"), VValue(vector), VValue(yes)})
        s.Builder().Emit(OP_ARRAY_APPEND, v, None(), list);
    s.Print("wrote ");
    s.Record(list);
    t.Call("write", "WRITEVAR", {VStr("v.dat"), list});
    t.Call("read", "READVAR", {VStr("v.dat")});
    t.Call("write", "WRITEVAR", {VStr("list.dat"), list});
    t.Call("write", "WRITEVAR", {VStr("v.dat"), VInt(7)});
    t.Call("again", "READVAR", {VStr("v.dat")});
    t.Call("int", "READVAR", {VStr("int.dat")});
    t.Call("sub", "READVAR", {VStr("sub\\INT.dat")});
    for (const auto& b : bad) t.Call(b.first, "READVAR", {VStr(b.first)});
    t.Call("folder", "READVAR", {VStr("folder.dat")});
    t.Call("missing", "READVAR", {VStr("missing.dat")});
    t.Call("nowhere", "WRITEVAR", {VStr("no/such/folder/x.dat"), VInt(1)});
    s.Print("goes on\n");

    const std::string transcript = t.Run(scratch, {});
    std::string expected =
        "wrote { 1 , ab , [ 1.5 , 2 ] , True }\n"
        "write Void\nread { 1 , ab , [ 1.5 , 2 ] , True }\nwrite Void\nwrite Void\nagain 7\nint 258\nsub 258\n";
    for (const auto& b : bad) expected += std::string(b.first) + " Void\n";
    expected += "folder Void\nmissing Void\nnowhere Void\ngoes on\n";
    EXPECT_EQ(transcript, expected);

    EXPECT_EQ(ReadFile(scratch.Path() + "v.dat"), kHeader + Bytes({2, 0, 0, 0, 7}));
    EXPECT_EQ(ReadFile(scratch.Path() + "list.dat"),
              kHeader + Bytes({7, 0, 0, 0, 4, 2, 0, 0, 0, 1, 5, 0, 0, 0, 2, 'a', 'b', 8, 0, 0, 0, 2, 0, 0, 0xC0, 0x3F,
                               0, 0, 0, 0x40, 4, 1}));
}

TEST(FileManagerScriptProgram, DialogsRunTheDialogProgram) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    FakeZenity zenity(scratch.Make("bin/"));
    zenity.Reply("/home/u/a.txt\n", 0);
    zenity.Reply("/home/u/b.txt\n", 1);
    zenity.Reply("typed\n", 1);
    zenity.Reply("Ann\n", 0);

    FileManagerTranscript t;
    t.Call("open", "FILEBROWSEOPEN", {VStr("Open"), VStr("a.txt"), VStr("Text|*.txt;*.log|All|*.*")});
    t.Call("save", "FILEBROWSESAVE", {VStr("Save"), VStr(""), VStr("")});
    t.Call("input", "MESSAGEINPUT", {VStr("Name"), VStr("Your name:")});
    t.Call("input", "MESSAGEINPUT", {VStr("Name"), VStr("Your name:")});
    const std::string transcript = t.Run(scratch, {{"PATH", zenity.SearchPath()}});
    EXPECT_EQ(transcript, "open /home/u/a.txt\nsave \ninput Void\ninput Ann\n");

    const std::vector<std::vector<std::string>> calls = zenity.Calls();
    ASSERT_EQ(calls.size(), 4u);
    // Each dialog belongs to the engine window.
    for (const std::vector<std::string>& call : calls) {
        ASSERT_GE(call.size(), 2u);
        EXPECT_EQ(call[call.size() - 2], "--modal");
        EXPECT_EQ(call.back().rfind("--attach=", 0), 0u);
    }
    const auto head = [&calls](size_t i) {
        return std::vector<std::string>(calls[i].begin(), calls[i].end() - 2);
    };
    EXPECT_EQ(head(0), (std::vector<std::string>{"--file-selection", "--title=Open", "--filename=a.txt",
                                                 "--file-filter=Text | *.txt *.log", "--file-filter=All | *"}));
    EXPECT_EQ(head(1), (std::vector<std::string>{"--file-selection", "--save", "--confirm-overwrite", "--title=Save"}));
    EXPECT_EQ(head(2), (std::vector<std::string>{"--entry", "--title=Name", "--text=Your name:"}));
}

TEST(FileManagerScriptProgram, WithoutTheDialogProgramDialogsAnswerCancelled) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    FileManagerTranscript t;
    t.Call("open", "FILEBROWSEOPEN", {VStr("Open"), VStr(""), VStr("")});
    t.Call("input", "MESSAGEINPUT", {VStr("Name"), VStr("Your name:")});
    const std::string transcript = t.Run(scratch, {{"PATH", scratch.Make("empty/")}});
    // One warning line for each, then the answer of a cancel.
    const auto warning = [](const char* method) {
        return std::string("\nVirtualMachine WARNING (line 0): ") + method +
               ": the dialog cannot be shown: zenity cannot be started (No such file or directory); it answers as "
               "cancelled.";
    };
    EXPECT_EQ(transcript, "open " + warning("FILEBROWSEOPEN") + "\ninput " + warning("MESSAGEINPUT") + "Void\n");
}
