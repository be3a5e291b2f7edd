// Files, folders, downloads and the cookie end to end: qem runs scripts with
// TMPDIR set to a scratch folder, and their callbacks print what the
// functions give.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "functions/CookieStore.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// Label, then what the function answers for the arguments (in L(1)).
void Show(ProgramBuilder& b, const char* label, const char* function, const std::vector<Opnd>& args = {}) {
    b.CallNative(function, args, L(1));
    b.CallNative("OUTPUTLN", {VStr(label), VStr(" "), L(1)}, None());
}

// OnDownload and OnInit running the two parts; DownloadReady shows the
// request's id with the progress and the pending count.
std::vector<uint8_t> Script(const std::function<void(ProgramBuilder&)>& download,
                            const std::function<void(ProgramBuilder&)>& init) {
    ProgramBuilder b;
    b.Return();
    b.Function("DOWNLOADREADY", 1);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("PROGRESSDOWNLOAD", {}, L(1));
    b.CallNative("PENDINGDOWNLOAD", {}, L(2));
    b.CallNative("OUTPUTLN", {VStr("ready "), L(-1), VStr(" "), L(1), VStr(" "), L(2)}, None());
    b.Return();
    b.Function("ONDOWNLOAD", 0);
    b.Emit(OP_RESERVE, I(1));
    download(b);
    b.Return();
    b.Function("ONINIT", 0);
    b.Emit(OP_RESERVE, I(1));
    init(b);
    b.Return();
    return b.WriteFile();
}

// Runs the script (in the scratch folder) until `until` is in the output;
// the output from "begin" on.
std::string RunQem(const ScratchFolder& scratch, const std::vector<uint8_t>& bytes, const std::string& name,
                   const std::string& until) {
    const std::string script = scratch.Path() + name + ".bin";
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    EXPECT_TRUE(qem.Started());
    EXPECT_TRUE(qem.WaitFor(until, std::chrono::seconds(20))) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    const size_t at = out.find("begin");
    return at == std::string::npos ? out : out.substr(at);
}

// The cookie folder of the script at that path.
std::string CookieFolderOf(const ScratchFolder& scratch, const std::string& script) {
    return CookieFolder(scratch.Path(), "Orbanel/QemClient/", "file://" + script);
}

}  // namespace

TEST(FileFunctionsScriptProgram, FilesDownloadsAndTheCookie) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteFile(scratch.Path() + "lf.txt", "a\nb\n");
    WriteFile(scratch.Path() + "crlf.txt", "a\r\nb");
    WriteFile(scratch.Path() + "empty.txt", "");
    WriteFile(scratch.Path() + "x.txt", "x");
    WriteFile(scratch.Path() + "fetched.txt", "data");
    CVmValue yes;
    yes.SetBool(true);
    const std::vector<uint8_t> bytes = Script(
        [](ProgramBuilder& b) {
            b.CallNative("OUTPUTLN", {VStr("begin")}, None());
            Show(b, "progress", "PROGRESSDOWNLOAD");
            Show(b, "pending", "PENDINGDOWNLOAD");
            Show(b, "id", "FILEDOWNLOAD", {VStr("fetched.txt")});
            Show(b, "id", "FILEDOWNLOAD", {VStr("x.txt"), VStr("copy.txt"), VInt(-1)});
            Show(b, "pending", "PENDINGDOWNLOAD");
        },
        [&](ProgramBuilder& b) {
            Show(b, "progress", "PROGRESSDOWNLOAD");
            Show(b, "pending", "PENDINGDOWNLOAD");
            b.CallNative("SETLOCALDIR", {}, None());
            Show(b, "lf", "LOADFILE", {VStr("lf.txt")});
            Show(b, "crlf", "LOADFILE", {VStr("CRLF.txt")});
            Show(b, "empty", "LOADFILE", {VStr("empty.txt")});
            Show(b, "missing", "LOADFILE", {VStr("missing.txt")});
            Show(b, "read", "FILEREAD", {VStr("data/sub/x.txt")});
            Show(b, "binary", "FILEREAD", {VStr("crlf.txt")});
            Show(b, "text", "FILEREAD", {VStr("crlf.txt"), VValue(yes)});
            Show(b, "exists", "FILEEXIST", {VStr("x.txt")});
            Show(b, "exists", "FILEEXIST", {VStr("y.txt")});
            Show(b, "cookie", "LOADCOOKIE");
            b.CallNative("SAVECOOKIE", {VStr("abc")}, None());
            Show(b, "cookie", "LOADCOOKIE");
            b.CallNative("SAVECOOKIE", {VInt(5)}, None());
            Show(b, "cookie", "LOADCOOKIE");
            b.CallNative("OUTPUTLN", {VStr("done")}, None());
        });
    const std::string out = RunQem(scratch, bytes, "files", "done\n");
    // The script itself was request 1. The last request's end empties the
    // batch; the module's log runs between, at its own pace.
    EXPECT_EQ(out.find("begin\nprogress 0\npending 0\nid 2\nid 3\npending 2\nready 2 50 1\n"), 0u) << out;
    EXPECT_NE(out.find("ready 3 0 0\n"), std::string::npos) << out;
    const size_t init = out.find("Init Data...");
    ASSERT_NE(init, std::string::npos) << out;
    EXPECT_EQ(out.substr(init + 12, out.find("done\n") + 5 - init - 12),
              "progress 0\npending 0\nlf { a , b ,  }\ncrlf { a , b }\nempty {  }\nmissing Void\n"
              "read x\nbinary a\r\nb\ntext a\nb\nexists True\nexists False\n"
              "cookie Void\ncookie abc\ncookie 5\ndone\n");

    const std::string key = "file://" + scratch.Path() + "files.bin";
    const std::string cookie = ReadFile(CookieFolderOf(scratch, scratch.Path() + "files.bin") + "00000001.nfo");
    const std::string length = {0, 0, static_cast<char>(key.size() >> 8), static_cast<char>(key.size())};
    EXPECT_EQ(cookie, length + key + std::string("\x02\0\0\0\x05", 5));
}

TEST(FileFunctionsScriptProgram, BadInputStopsTheScriptOrIsSkipped) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    // A damaged cookie file in the script's cookie folder.
    const std::string folder = CookieFolderOf(scratch, scratch.Path() + "bad0.bin");
    WriteFile(scratch.Make(folder.substr(scratch.Path().size()) + "00000001.nfo"), std::string("\x7F\xFF\xFF\xFF", 4));
    const auto nothing = [](ProgramBuilder&) {};
    std::string out = RunQem(scratch,
                             Script(nothing,
                                    [](ProgramBuilder& b) {
                                        b.CallNative("OUTPUTLN", {VStr("begin")}, None());
                                        b.CallNative("SAVECOOKIE", {VInt(7)}, None());
                                        Show(b, "cookie", "LOADCOOKIE");
                                        b.CallNative("FILEREAD", {VStr("dir/none.txt")}, None());
                                        b.CallNative("OUTPUTLN", {VStr("went on")}, None());
                                    }),
                             "bad0", "none.txt");
    EXPECT_NE(out.find("begin\ncookie 7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ERROR (line 0): FILEREAD: Cannot load the 'none.txt' file."), std::string::npos) << out;
    EXPECT_EQ(out.find("went on"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(folder + "00000001.nfo"), std::string("\x7F\xFF\xFF\xFF", 4));
    EXPECT_EQ(ReadFile(folder + "00000002.nfo").substr(4 + 7 + scratch.Path().size() + 8),
              std::string("\x02\0\0\0\x07", 5));

    out = RunQem(scratch,
                 Script(nothing,
                        [](ProgramBuilder& b) {
                            b.CallNative("OUTPUTLN", {VStr("begin")}, None());
                            b.CallNative("CVMXML", {}, L(1));
                            b.CallNative("SAVECOOKIE", {L(1)}, None());
                            b.CallNative("OUTPUTLN", {VStr("went on")}, None());
                        }),
                 "bad1", "Object.");
    EXPECT_NE(out.find("ERROR (line 0): SAVECOOKIE: Param 1 cannot be a Object."), std::string::npos) << out;
    EXPECT_EQ(out.find("went on"), std::string::npos) << out;
}

// A request counts as done once it is handed over: while a large local file
// is still being copied, the batch stands at 100; its end empties the batch.
TEST(FileFunctionsScriptProgram, ADownloadInHandStandsAtOneHundred) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    // Large enough that its copy outlasts the step to the next frame.
    const std::string big = scratch.Path() + "big.bin";
    {
        std::FILE* file = std::fopen(big.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::vector<char> block(1 << 20, 'x');
        for (int i = 0; i < 192; ++i) std::fwrite(block.data(), 1, block.size(), file);
        std::fclose(file);
    }
    ProgramBuilder b;
    b.SetGlobalCount(1);
    b.Return();
    b.Function("DOWNLOADREADY", 1);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("PROGRESSDOWNLOAD", {}, L(1));
    b.CallNative("PENDINGDOWNLOAD", {}, L(2));
    b.CallNative("OUTPUTLN", {VStr("ready "), L(-1), VStr(" "), L(1), VStr(" "), L(2)}, None());
    b.Return();
    // The first frame queues the file; the next one polls until the
    // progress is not 0 (or gives up after about five seconds).
    b.Function("ONFRAME", 0);
    b.Emit(OP_RESERVE, I(2));
    const Label poll = b.NewLabel(), loop = b.NewLabel(), found = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_JUMP_NOT_VOID, G(0), None(), At(poll));
    b.Emit(OP_COPY, VInt(1), None(), G(0));
    b.CallNative("OUTPUTLN", {VStr("begin")}, None());
    Show(b, "id", "FILEDOWNLOAD", {VStr("big.bin")});
    Show(b, "pending", "PENDINGDOWNLOAD");
    Show(b, "progress", "PROGRESSDOWNLOAD");
    b.Return();
    b.Bind(poll);
    b.Emit(OP_JUMP_NE, G(0), VInt(1), At(done));
    b.Emit(OP_COPY, VInt(2), None(), G(0));
    b.Emit(OP_COPY, VInt(0), None(), L(2));
    b.Bind(loop);
    b.CallNative("PROGRESSDOWNLOAD", {}, L(1));
    b.Emit(OP_JUMP_NE, L(1), VInt(0), At(found));
    b.CallNative("SLEEP", {VInt(1)}, None());
    b.Emit(OP_INC, L(2));
    b.Emit(OP_JUMP_LT, L(2), VInt(5000), At(loop));
    b.Bind(found);
    b.CallNative("OUTPUTLN", {VStr("in hand "), L(1)}, None());
    b.Bind(done);
    b.Return();
    const std::vector<uint8_t> bytes = b.WriteFile();
    const std::string out = RunQem(scratch, bytes, "progress", "ready 2");
    EXPECT_EQ(out.find("begin\nid 2\npending 1\nprogress 0\nin hand 100\n"), 0u) << out;
    EXPECT_NE(out.find("ready 2 0 0\n"), std::string::npos) << out;
}
