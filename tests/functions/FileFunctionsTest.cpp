// Files, folders, downloads and the cookie store, on a machine whose engine
// state is a stand-in that records what the functions ask of the engine.
// Through qem: tests/host/FileFunctionsScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "functions/CVmFunction.h"
#include "functions/CookieStore.h"
#include "platform/ScriptFile.h"
#include "support/GlobalCalls.h"
#include "support/ScratchFolder.h"
#include "support/StandInEngine.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// The engine as the file functions see it.
class FakeEngine : public StandInEngine {
public:
    int32_t QueueDownload(const std::string& url, const char* localName, int32_t priority) override {
        downloads.push_back(url + "|" + (localName ? localName : "(none)") + "|" + std::to_string(priority));
        return static_cast<int32_t>(downloads.size());
    }
    void RefreshDownloads() override { refresh = true; }
    int32_t DownloadProgress() override { return 42; }
    int32_t PendingDownloads() override { return 3; }
    bool LoadExternModule(const std::string& name) override {
        modules.push_back(name);
        return true;
    }
    void SetWorkingFolder(const std::string& folder) override { Paths().workingFolder = "set:" + folder; }
    bool IsWebScript() const override { return web; }

    std::vector<std::string> downloads;
    std::vector<std::string> modules;
    bool refresh = false;
    bool web = false;
};

class FileFunctions : public ::testing::Test {
protected:
    FileFunctions() {
        vm.RegisterFunctions(new CVmFunction());
        engine.Paths().workingFolder = scratch.Path();
        engine.Paths().scriptFolder = "/scripts/here/";
        engine.Paths().scriptLocation = "file:///scripts/here/s.bin";
    }

    ScratchFolder scratch;
    FakeEngine engine;
    CVirtualMachine vm;
};

}  // namespace

TEST_F(FileFunctions, LoadFileGivesTheLinesOfTheFile) {
    struct Case {
        std::string content;
        const char* lines;
    } cases[] = {
        {"a\nb\n", "{ a , b ,  }"},      {"a\r\nb", "{ a , b }"}, {"", "{  }"},
        {"a\rb\xFF" "c", "{ a , b , c }"}, {"a\r\r\nb", "{ a ,  , b }"},
    };
    for (const Case& c : cases) {
        WriteFile(scratch.Path() + "Lines.txt", c.content);
        const CallOutcome o = CallGlobal(vm, "LoadFile", {VStr("lines.TXT")});
        EXPECT_FALSE(o.error) << o.output;
        EXPECT_EQ(o.result, c.lines) << c.content;
    }
    scratch.Make("folder/");
    for (const char* name : {"missing.txt", "folder"}) {
        const CallOutcome o = CallGlobal(vm, "LoadFile", {VStr(name)});
        EXPECT_FALSE(o.error);
        EXPECT_EQ(o.type, VmValueType::Void) << name;
    }
    EXPECT_TRUE(CallGlobal(vm, "LoadFile", {VInt(1)}).error);
}

TEST_F(FileFunctions, FileReadTakesTheLastPartOfTheName) {
    WriteFile(scratch.Path() + "x.txt", "a\r\nb");
    CVmValue yes;
    yes.SetBool(true);
    struct Case {
        std::vector<Opnd> args;
        const char* result;
    } cases[] = {
        {{VStr("data/sub/x.txt")}, "a\r\nb"},
        {{VStr("c:x.txt")}, "a\r\nb"},
        {{VStr("data\\x.txt"), VValue(yes)}, "a\nb"},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, "FileRead", c.args);
        EXPECT_FALSE(o.error) << o.output;
        EXPECT_EQ(o.result, c.result);
    }
    const CallOutcome o = CallGlobal(vm, "FileRead", {VStr("dir/none.txt")});
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.type, VmValueType::Void);
    EXPECT_TRUE(CallGlobal(vm, "FileRead", {}).error) << "the name is mandatory";
}

TEST_F(FileFunctions, FileExistAnswersForFilesOnly) {
    WriteFile(scratch.Path() + "Here.txt", "");
    scratch.Make("folder/");
    EXPECT_EQ(CallGlobal(vm, "FileExist", {VStr("here.txt")}).result, "True");
    EXPECT_EQ(CallGlobal(vm, "FileExist", {VStr("gone.txt")}).result, "False");
    EXPECT_EQ(CallGlobal(vm, "FileExist", {VStr("folder")}).result, "False");
    const CallOutcome o = CallGlobal(vm, "FileExist", {VInt(3)});
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.type, VmValueType::Void);
}

TEST_F(FileFunctions, DownloadsAndModulesGoToTheEngine) {
    EXPECT_EQ(CallGlobal(vm, "FileDownload", {VStr("http://h/a.zip")}).result, "1");
    EXPECT_EQ(CallGlobal(vm, "FileDownload", {VStr("b.txt"), VStr("c.txt"), VInt(5)}).result, "2");
    EXPECT_EQ(CallGlobal(vm, "FileDownload", {}).type, VmValueType::Void);
    EXPECT_EQ(engine.downloads, (std::vector<std::string>{"http://h/a.zip|(none)|0", "b.txt|c.txt|5"}));
    EXPECT_FALSE(CallGlobal(vm, "EraseCache").error);
    EXPECT_TRUE(engine.refresh);
    EXPECT_EQ(CallGlobal(vm, "ProgressDownload").result, "42");
    EXPECT_EQ(CallGlobal(vm, "PendingDownload").result, "3");
    CallGlobal(vm, "LoadModule", {VStr("m.so")});
    CallGlobal(vm, "LoadModule", {VInt(1)});
    EXPECT_EQ(engine.modules, std::vector<std::string>{"m.so"});
}

TEST_F(FileFunctions, LocationsAndTheWorkingFolder) {
    EXPECT_EQ(CallGlobal(vm, "GetScriptUrl").result, "file:///scripts/here/s.bin");
    EXPECT_EQ(CallGlobal(vm, "GetScriptDir").result, "/scripts/here/");
    EXPECT_EQ(CallGlobal(vm, "DefaultDir").result, scratch.Path());
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* folder;
    } cases[] = {
        {"SetLocalDir", {}, "set:/scripts/here/"},
        {"SetLocalDir", {VStr("")}, "set:/scripts/here/"},
        {"SetLocalDir", {VStr("data\\sub")}, "set:/scripts/here/data/sub/"},
        {"SetLocalDir", {VStr("data/")}, "set:/scripts/here/data/"},
        {"SetCurrentDir", {VStr("c:\\x")}, "set:c:\\x"},
        {"SetCurrentDir", {VInt(1)}, "unchanged"},
    };
    for (const Case& c : cases) {
        engine.Paths().workingFolder = "unchanged";
        EXPECT_FALSE(CallGlobal(vm, c.name, c.args).error);
        EXPECT_EQ(engine.Paths().workingFolder, c.folder);
        EXPECT_EQ(CallGlobal(vm, "GetCurrentDir").result, c.folder);
    }
    // Long texts have no limit.
    const std::string deep(700, 'd');
    CallGlobal(vm, "SetLocalDir", {VStr(deep.c_str())});
    EXPECT_EQ(engine.Paths().workingFolder, "set:/scripts/here/" + deep + "/");

    engine.web = true;
    engine.Paths().workingFolder = "unchanged";
    struct Refusal {
        const char* name;
        const char* text;
    } refusals[] = {{"SetLocalDir", "SETLOCALDIR: Cannot use SETLOCALDIR in a web based script application.\n"},
                    {"SetCurrentDir", "SETCURRENTDIR: Cannot use SETCURRENTDIR in a web based script application\n"}};
    for (const Refusal& r : refusals) {
        const CallOutcome o = CallGlobal(vm, r.name, {VStr("x")});
        EXPECT_TRUE(o.error);
        EXPECT_NE(o.output.find(r.text), std::string::npos) << o.output;
    }
    EXPECT_EQ(engine.Paths().workingFolder, "unchanged");
}

TEST(CookieNumber, SumsSignedBytesTimes31Modulo101) {
    EXPECT_EQ(CookieNumber("abc"), 24);
    EXPECT_EQ(CookieNumber("\xE9"), 62);
    EXPECT_EQ(CookieNumber(""), 0);
    EXPECT_EQ(CookieFolder("/t/", "Orbanel\\QemClient\\", "abc"), "/t/Orbanel/QemClient/Cookie_0024/");
}

TEST(CookieStore, FilesAreFoundByKeyRewrittenAndNumbered) {
    ScratchFolder scratch;
    const std::string folder = scratch.Path();
    CVmValue value, read;
    EXPECT_FALSE(CookieStoreRun(folder, "k1", read, false, nullptr)) << "nothing kept yet";
    EXPECT_FALSE(CookieStoreRun(folder + "none/", "k1", read, true, nullptr)) << "no folder";

    value.SetString("abc");
    ASSERT_TRUE(CookieStoreRun(folder, "k1", value, true, nullptr));
    EXPECT_EQ(ReadFile(folder + "00000001.nfo"), std::string("\0\0\0\x02k1\x05\0\0\0\x03" "abc", 14));
    value.SetInteger(5);
    ASSERT_TRUE(CookieStoreRun(folder, "k1", value, true, nullptr));
    EXPECT_EQ(ReadFile(folder + "00000001.nfo"), std::string("\0\0\0\x02k1\x02\0\0\0\x05", 11));
    // Another key in the same folder gets the next number.
    value.SetString("other");
    ASSERT_TRUE(CookieStoreRun(folder, "k2", value, true, nullptr));
    ASSERT_TRUE(CookieStoreRun(folder, "k1", read, false, nullptr));
    EXPECT_EQ(read.type, VmValueType::Integer);
    EXPECT_EQ(read.asInt, 5);
    ASSERT_TRUE(CookieStoreRun(folder, "k2", read, false, nullptr));
    EXPECT_EQ(read.type, VmValueType::String);
    EXPECT_FALSE(CookieStoreRun(folder, "k", read, false, nullptr));
}

TEST(CookieStore, ForeignAndDamagedFilesAreSkipped) {
    ScratchFolder scratch;
    const std::string folder = scratch.Path();
    WriteFile(folder + "00000007.nfo", std::string("\x7F\xFF\xFF\xFFk1", 6));
    WriteFile(folder + "00000003.nfo", std::string("\xFF\xFF\xFF\xFE", 4));
    WriteFile(folder + "00000004.nfo", std::string("\0\0", 2));
    WriteFile(folder + "00000005.nfo", std::string("\0\0\0\x02k1\x09", 7));  // a type that does not exist
    CVmValue value, read;
    EXPECT_TRUE(CookieStoreRun(folder, "k1", read, false, nullptr));
    EXPECT_EQ(read.type, VmValueType::Void) << "the key matched, the value is unreadable";
    value.SetInteger(1);
    ASSERT_TRUE(CookieStoreRun(folder, "k2", value, true, nullptr));
    EXPECT_EQ(ReadFile(folder + "00000008.nfo"), std::string("\0\0\0\x02k2\x02\0\0\0\x01", 11));
    ASSERT_TRUE(CookieStoreRun(folder, "k2", read, false, nullptr));
    EXPECT_EQ(read.asInt, 1);
}

TEST(CookieStore, AFailedRewriteKeepsTheOldCookie) {
    ScratchFolder scratch;
    const std::string folder = scratch.Path();
    CVmValue value;
    value.SetInteger(1);
    ASSERT_TRUE(CookieStoreRun(folder, "k", value, true, nullptr));
    const std::string before = ReadFile(folder + "00000001.nfo");
    scratch.Make("00000001.nfo.tmp/");  // the rewrite's temporary file cannot be made
    value.SetInteger(2);
    EXPECT_FALSE(CookieStoreRun(folder, "k", value, true, nullptr));
    EXPECT_EQ(ReadFile(folder + "00000001.nfo"), before);
}

TEST_F(FileFunctions, SaveAndLoadCookieKeepOneValuePerScript) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", scratch.Path().c_str(), 1);
    EXPECT_EQ(CallGlobal(vm, "LoadCookie").type, VmValueType::Void);
    EXPECT_FALSE(CallGlobal(vm, "SaveCookie", {VStr("abc")}).error);
    EXPECT_EQ(CallGlobal(vm, "LoadCookie").result, "abc");
    char number[16];
    snprintf(number, sizeof number, "Cookie_%04i/", CookieNumber(engine.Paths().scriptLocation));
    EXPECT_EQ(ReadFile(scratch.Path() + number + "00000001.nfo").substr(4, 26), engine.Paths().scriptLocation);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// Every function that reads a file the script names refuses what is no
// regular file (a FIFO would hold it for ever, /dev/zero never end) and,
// for a web script, whatever lies outside its folder, with a clear error.
TEST_F(FileFunctions, NamedFilesAreRegularFilesOfTheScriptsOwnFolder) {
    const std::string work = scratch.Make("work/");
    engine.Paths().workingFolder = work;
    WriteFile(scratch.Path() + "outside.txt", "secret");
    ASSERT_EQ(mkfifo((work + "pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (work + "zero.txt").c_str()), 0);
    struct Case {
        bool web;
        const char* function;
        const char* name;
        const char* error;  // null: no error, and no result but False
    } cases[] = {
        {false, "LoadFile", "pipe.txt", "/work/pipe.txt' is not a regular file"},
        {false, "LoadFile", "zero.txt", "/work/zero.txt' is not a regular file"},
        {false, "FileRead", "pipe.txt", "/work/pipe.txt' is not a regular file"},
        {false, "GetAamType", "zero.txt", "/work/zero.txt' is not a regular file"},
        {false, "FileExist", "pipe.txt", nullptr},
        {true, "LoadFile", "../outside.txt", "/work/../outside.txt' lies outside the script's folder"},
        {true, "GetAamType", "../outside.txt", "lies outside the script's folder"},
        {true, "FileRead", "../outside.txt", "Cannot load the 'outside.txt' file."},
        {true, "FileExist", "../outside.txt", nullptr},
    };
    EngineMessagesMachine machine;  // with the engine's message texts
    machine.RegisterFunctions(new CVmFunction());
    for (const Case& c : cases) {
        ConfineScriptFiles(c.web ? work : std::string());
        const auto start = std::chrono::steady_clock::now();
        const CallOutcome o = CallGlobal(machine, c.function, {VStr(c.name)});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.function << " " << c.name;
        if (c.error) {
            EXPECT_TRUE(o.error) << c.function << " " << c.name;
            EXPECT_NE(o.output.find(c.error), std::string::npos) << c.function << " " << c.name << ":\n" << o.output;
        } else {
            EXPECT_FALSE(o.error) << o.output;
            EXPECT_EQ(o.result, "False") << c.function << " " << c.name;
        }
    }
    ConfineScriptFiles(std::string());
}
