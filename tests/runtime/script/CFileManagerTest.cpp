// CFileManager in a machine of its own: the modes each method answers in,
// and its parameters. Files and dialogs end to end: tests/host.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/ScriptFile.h"
#include "runtime/script/CFileManager.h"
#include "support/FakeZenity.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

struct Outcome {
    bool error;
    std::string output;
    std::string result;  // the text of what the function answered
};

// Runs MAIN of a script that made a CFileManager first.
class FileManagerScript {
public:
    FileManagerScript() : fm(s.New("CFILEMANAGER")) {
        vm.SetOutputStream(&out, false);
        vm.RegisterClass(new CFileManager::CRegister());
    }

    Outcome Run() {
        std::shared_ptr<VmProgram> p = s.Program();
        Outcome o{true, "", ""};
        if (!p || !vm.StartProgram(p)) return o;
        std::ostringstream result;
        if (const CVmValue* r = vm.CallFunctionByName("MAIN")) result << r;
        return {vm.HasError(), out.str(), result.str()};
    }

    std::ostringstream out;
    CVirtualMachine vm;
    MethodScript s{"MAIN"};
    Opnd fm;
};

}  // namespace

TEST(FileManagerScript, MethodsAnswerOnlyTheirCallModes) {
    ScratchFolder scratch;
    FakeZenity zenity(scratch.Make("bin/"));
    zenity.Reply("read\n", 0);
    setenv("PATH", zenity.SearchPath().c_str(), 1);
    setenv("DISPLAY", ":97", 1);
    for (const char* method : {"FILEBROWSEOPEN", "FILEBROWSESAVE", "READVAR", "WRITEVAR", "MESSAGEINPUT"}) {
        for (const bool write : {false, true}) {
            FileManagerScript f;
            const Opnd t = f.s.Local(VStr("x"));
            // A read takes the object first; a write the value first.
            const int32_t name = f.s.Builder().MethodName(method);
            if (write)
                f.s.Builder().Emit(OP_MEMBER_WRITE, t, I(name), f.fm);
            else
                f.s.Builder().Emit(OP_MEMBER_READ, f.fm, I(name), t);
            f.s.Record(t);
            const Outcome o = f.Run();
            const bool answers = !write && std::string(method) == "MESSAGEINPUT";
            SCOPED_TRACE(std::string(method) + (write ? " write" : " read"));
            EXPECT_EQ(o.error, !answers) << o.output;
            if (answers) {
                EXPECT_EQ(o.result, "{ read }");
            } else {
                // The error prefix alone: nothing follows the line number.
                EXPECT_NE(o.output.find("VirtualMachine ERROR (line 0): \n"), std::string::npos) << o.output;
            }
        }
    }
    EXPECT_EQ(zenity.Calls().size(), 1u);
}

TEST(FileManagerScript, FileNamesAreMandatoryAndStrings) {
    const std::pair<std::vector<Opnd>, const char*> cases[] = {
        {{}, "Mandatory param n. 1 was not supplied."},
        {{VInt(3)}, "The param n. 1 must be a string."},
    };
    for (const char* method : {"READVAR", "WRITEVAR"}) {
        for (const auto& c : cases) {
            FileManagerScript f;
            f.s.Record(f.s.Call(f.fm, method, c.first));
            const Outcome o = f.Run();
            EXPECT_TRUE(o.error);
            EXPECT_NE(o.output.find(c.second), std::string::npos) << method << o.output;
        }
    }
}

TEST(FileManagerScript, AValueThatHoldsItselfIsNotWritten) {
    // a = ARRAY(0); append a to a twice: written as a tree it never ends.
    ScratchFolder scratch;
    const std::string path = scratch.Path() + "loop.var";
    FileManagerScript f;
    const Opnd a = f.s.Local(VInt(0));
    f.s.Builder().Emit(OP_ARRAY, I(0), None(), a);
    f.s.Builder().Emit(OP_ARRAY_APPEND, a, None(), a);
    f.s.Builder().Emit(OP_ARRAY_APPEND, a, None(), a);
    f.s.Call(f.fm, "WRITEVAR", {VStr(path.c_str()), a});
    // Breaks the cycle so that the array is freed.
    f.s.Builder().Emit(OP_ARRAY_RESIZE, I(0), None(), a);
    const Outcome o = f.Run();
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_NE(o.output.find("WARNING"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("is not written: the value has more than"), std::string::npos) << o.output;
    EXPECT_FALSE(std::ifstream(path).good());
}

// ReadVar reads regular files, within its cap, of a web script's own folder
// only; each refusal is an error that says why.
TEST(FileManagerScript, ReadVarRefusesWhatIsNoRegularFileOfTheFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch.Make("work/");
    ASSERT_EQ(mkfifo((folder + "pipe.var").c_str(), 0600), 0);
    std::ofstream(scratch.Path() + "secret.var") << "x";
    const struct {
        std::string path;
        bool web;
        const char* error;
    } cases[] = {
        {folder + "pipe.var", false, "pipe.var' is not a regular file"},
        {"/dev/zero", false, "'/dev/zero' is not a regular file"},
        {folder + "../secret.var", true, "secret.var' lies outside the script's folder"},
    };
    for (const auto& c : cases) {
        ConfineScriptFiles(c.web ? folder : std::string());
        FileManagerScript f;
        f.s.Record(f.s.Call(f.fm, "READVAR", {VStr(c.path.c_str())}));
        const Outcome o = f.Run();
        EXPECT_TRUE(o.error) << c.path;
        EXPECT_NE(o.output.find(c.error), std::string::npos) << o.output;
    }
    ConfineScriptFiles(std::string());
}
