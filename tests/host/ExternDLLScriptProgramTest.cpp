// CVmExternDLL end to end: qem runs scripts that declare functions of a
// native test library and call them, printing "label value" lines for what
// each call gives.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/PackageMaker.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

const char* const kLibrary = QEM_NATIVE_TEST_LIBRARY;

class DllTranscript {
public:
    DllTranscript() { s.Print("BEGIN\n"); }

    Opnd Open(const std::string& library, const std::vector<Opnd>& more = {}) {
        std::vector<Opnd> args = {VStr(library.c_str())};
        args.insert(args.end(), more.begin(), more.end());
        return s.New("CVMEXTERNDLL", args);
    }
    // dll.__AddFunction(result, export, name, types...).
    Opnd Declare(const Opnd& dll, int32_t result, const char* exported, const char* name,
                 const std::vector<int32_t>& types) {
        std::vector<Opnd> args = {VInt(result), VStr(exported), VStr(name)};
        for (int32_t t : types) args.push_back(VInt(t));
        return s.Call(dll, "__ADDFUNCTION", args);
    }
    Opnd Show(const char* label, const Opnd& v) {
        s.Print((std::string(label) + " ").c_str());
        s.Record(v);
        return v;
    }
    Opnd Vector(const std::vector<float>& values) { return s.Local(VFloats(values)); }

    MethodScript s{"ONINIT"};
};

// Runs the script in qem until `until` is in the output; the output from
// BEGIN on.
std::string RunDll(const ScratchFolder& scratch, DllTranscript& t, const std::string& name, const std::string& until) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, until));
}

std::string ErrorLine(const std::string& text) { return "\nVirtualMachine ERROR (line 0): " + text + "\n"; }

}  // namespace

TEST(ExternDLLScriptProgram, ScriptsCallTheLibrarysFunctions) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    DllTranscript t;
    MethodScript& s = t.s;
    const Opnd dll = t.Open(kLibrary);
    t.Show("bound", t.Declare(dll, 1, "add", "Add", {1, 1}));
    t.Show("add", s.Call(dll, "ADD", {VInt(2), VInt(40)}));
    t.Show("add", s.Call(dll, "ADD", {VReal(2.9f), VInt(1)}));
    t.Declare(dll, 2, "fmul", "FMul", {2, 2});
    t.Show("fmul", s.Call(dll, "FMUL", {VReal(1.5f), VInt(4)}));
    t.Declare(dll, 3, "ddiv", "DDiv", {3, 3});
    t.Show("ddiv", s.Call(dll, "DDIV", {VInt(1), VInt(4)}));
    t.Declare(dll, 4, "greet", "Greet", {4});
    t.Show("greet", s.Call(dll, "GREET", {VStr("qem")}));
    t.Declare(dll, 11, "vec4", "Vec4", {0});  // a 0 declares no parameters
    t.Show("vec4", s.Call(dll, "VEC4", {}));
    t.Declare(dll, 2, "sum3", "Sum3", {10});
    const Opnd three = t.Vector({1, 2, 3});
    t.Show("sum3", s.Call(dll, "SUM3", {three}));
    // Null results.
    t.Declare(dll, 4, "nullstr", "NullStr", {});
    t.Show("nullstr", s.Call(dll, "NULLSTR", {}));
    t.Declare(dll, 11, "nullvec", "NullVec", {});
    t.Show("nullvec", s.Call(dll, "NULLVEC", {}));

    // What the library writes is in the argument's slot, where the script
    // takes its output parameters from, and nowhere else.
    t.Declare(dll, 0, "scale", "Scale", {7, 1});
    const Opnd doubled = t.Vector({1, 2.5f, 3});
    s.Call(dll, "SCALE", {doubled, VInt(3)}, 1, doubled);
    t.Show("scale", doubled);
    t.Declare(dll, 0, "incr", "Incr", {5});
    const Opnd n = s.Local(VInt(41));
    const Opnd kept = s.Local(VInt(41));
    s.Call(dll, "INCR", {n}, 1, n);
    s.Call(dll, "INCR", {kept});
    t.Show("incr", n);
    t.Show("kept", kept);
    t.Declare(dll, 0, "negate3", "Negate3", {10});
    const Opnd negated = t.Vector({1, 2, 3});
    s.Call(dll, "NEGATE3", {negated}, 1, negated);
    s.Call(dll, "NEGATE3", {three});
    t.Show("negate3", negated);
    t.Show("kept", three);

    t.Declare(dll, 1, "firstbyte", "FirstByte", {25});
    const Opnd buffer = s.New("BYTEBUFFER", {});
    s.Call(buffer, "FILLBUFFER", {VStr("abc")});
    s.Call(buffer, "SETOFFSET", {VInt(1)});
    t.Show("firstbyte", s.Call(dll, "FIRSTBYTE", {buffer}));

    t.Declare(dll, 4, "seen", "Seen", {});
    t.Show("folder", s.Global("GetCurrentDir"));
    t.Show("seen", s.Call(dll, "SEEN", {}));

    // A library that is not there, with the warn-only flag: no object, and
    // the script goes on.
    t.Show("absent", t.Open("absent.so", {VBool(true)}));
    t.Declare(dll, 2, "sum4", "Sum4", {11});
    s.Call(dll, "SUM4", {three});
    s.Print("DONE\n");  // not reached

    const std::string stop = ErrorLine("SUM4: param 1 must be a Vector of 4 len");
    const std::string out = RunDll(scratch, t, "calls", stop);
    const size_t folderAt = out.find("folder ") + 7;
    const std::string folder = out.substr(folderAt, out.find('\n', folderAt) - folderAt);
    EXPECT_FALSE(folder.empty());
    const std::string expected =
        "bound True\nadd 42\nadd 3\nfmul 6\nddiv 0.25\ngreet hello, qem\nvec4 [ 1 , 2 , 3 , 4 ]\nsum3 6\n"
        "nullstr \nnullvec Void\nscale [ 2 , 5 , 6 ]\nincr 42\nkept 41\nnegate3 [ -1 , -2 , -3 ]\n"
        "kept [ 1 , 2 , 3 ]\nfirstbyte 98\nfolder " + folder + "\nseen " + folder + "|null\n" +
        "\nVirtualMachine WARNING (line 0): CVMEXTERNDLL: The 'absent.so' module could not be found.(error 2: 'No "
        "such file or directory').absent Void\n" + stop;
    EXPECT_EQ(out.substr(0, out.find(stop) + stop.size()), expected);
}

// Each case stops its script with the line shown.
TEST(ExternDLLScriptProgram, RefusedDeclarationsAndCallsStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteBytes(scratch.Path() + "text.so", Bytes{'h', 'e', 'l', 'l', 'o'});
    const std::string text = scratch.Path() + "text.so";
    const struct {
        const char* name;
        std::function<void(DllTranscript&, const Opnd&)> script;
        std::string error;
    } cases[] = {
        {"count", [](DllTranscript& t, const Opnd& dll) {
             t.Declare(dll, 1, "add", "Add", {1, 1});
             t.s.Call(dll, "ADD", {VInt(1), VInt(2), VInt(3)});
         }, "ADD: Method needs 2 param(s)."},
        {"type", [](DllTranscript& t, const Opnd& dll) {
             t.Declare(dll, 1, "add", "Add", {1, 1});
             t.s.Call(dll, "ADD", {VStr("2"), VInt(3)});
         }, "ADD: param 1 must be a integer"},
        {"buffer", [](DllTranscript& t, const Opnd& dll) {
             t.Declare(dll, 1, "firstbyte", "FirstByte", {25});
             t.s.Call(dll, "FIRSTBYTE", {t.Vector({1})});
         }, "FIRSTBYTE: param 1 must be a byteBuffer object."},
        {"object", [](DllTranscript& t, const Opnd& dll) {
             t.Declare(dll, 1, "firstbyte", "FirstByte", {24});
             t.s.Call(dll, "FIRSTBYTE", {t.s.New("BYTEBUFFER", {VInt(4)})});
         }, "FIRSTBYTE: param 1 must be a CVmObj, CVmCharacter, CVmMesh or CVmNewMesh object."},
        {"pfloat", [](DllTranscript& t, const Opnd& dll) { t.Declare(dll, 6, "add", "Add", {1, 1}); },
         "__ADDFUNCTION: 'C_PFLOAT' is an unsupported return type."},
        {"code", [](DllTranscript& t, const Opnd& dll) { t.Declare(dll, 1, "add", "Add", {1, 26}); },
         "__ADDFUNCTION: '26' is an unsupported parameter type."},
        {"absent", [](DllTranscript& t, const Opnd&) { t.Open("absent.so"); },
         "CVMEXTERNDLL: The 'absent.so' module could not be found.(error 2: 'No such file or directory')."},
        {"text", [text](DllTranscript& t, const Opnd&) { t.Open(text, {VBool(false)}); },
         "CVMEXTERNDLL: The '" + text + "'module exists but could not be loaded. Check DLLs dependencies(error "
         "126: '" + text},
    };
    for (const auto& c : cases) {
        DllTranscript t;
        c.script(t, t.Open(kLibrary));
        t.s.Print("DONE\n");  // not reached
        const std::string line = "\nVirtualMachine ERROR (line 0): " + c.error;
        const std::string out = RunDll(scratch, t, c.name, line);
        EXPECT_EQ(out.substr(0, line.size()), line) << c.name;
        EXPECT_EQ(out.find("DONE"), std::string::npos) << c.name;
    }
}

// After an error the script's OnError may go on with the same object: a
// function the library does not export stays declared but is never called,
// faults inside the library end only the call, and the engine keeps running.
TEST(ExternDLLScriptProgram, FaultsInTheLibraryEndOnlyTheCall) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    for (const bool missing : {false, true}) {
        DllTranscript t;
        MethodScript& s = t.s;
        const int global = s.Builder().AddGlobal();
        const Opnd dll = t.Open(kLibrary);
        s.Builder().Emit(OP_COPY, dll, None(), G(global));
        t.Declare(dll, 1, "add", "Add", {1, 1});
        t.Declare(dll, 1, "divz", "Divz", {1, 1});
        if (missing) {
            t.Declare(dll, 1, "nothere", "NotHere", {});
        } else {
            t.Declare(dll, 1, "crash", "Crash", {});
            s.Call(dll, "CRASH", {});
        }
        s.Then("ONERROR");
        s.Print("ONERROR\n");
        const Opnd same = s.Local(G(global));
        if (missing) s.Call(same, "NOTHERE", {});
        t.Show("add", s.Call(same, "ADD", {VInt(2), VInt(40)}));
        s.Call(same, "DIVZ", {VInt(1), VInt(0)});

        const std::string path = scratch.Make(std::string(missing ? "missing" : "faults") + ".bin");
        WriteBytes(path, s.File());
        QemProcess qem(QEM_PROGRAM, {path, "-w", "160", "-h", "120"}, path + ".out", {{"TMPDIR", scratch.Path()}});
        const std::string library(kLibrary);
        const std::string notExported = "The function 'nothere' is not exported by the DLL.";
        // The first error stops OnInit; OnError goes on with the object.
        const std::string first = ErrorLine(missing ? "__ADDFUNCTION: " + notExported
                                                    : "CRASH: Fatal error in module '" + library + "'");
        const std::string after = missing ? "ONERROR\n" + ErrorLine("NOTHERE: " + notExported)
                                          : "ONERROR\nadd 42\n" +
                                                ErrorLine("DIVZ: Division by zero in module '" + library + "'");
        ASSERT_TRUE(qem.WaitFor(after, std::chrono::seconds(30))) << qem.Output() << qem.Errors();
        const std::string out = AfterBegin(qem.Output());
        EXPECT_EQ(out.find(first), 0u) << out;
        EXPECT_TRUE(qem.Running());
    }
}

// A package whose signature does not verify loads nothing and leaves no
// library behind.
TEST(ExternDLLScriptProgram, APackageThatFailsItsSignatureIsRefused) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const TestSigningKey key;  // not the program's
    const std::string package = scratch.Path() + "native.pak";
    WriteBytes(package, MakePackage(ReadBytes(kLibrary), key));
    DllTranscript t;
    t.Open(package);
    t.s.Print("DONE\n");  // not reached
    const std::string line = ErrorLine("CVMEXTERNDLL: module '" + package + "' certification check fail.");
    EXPECT_EQ(RunDll(scratch, t, "package", line).substr(0, line.size()), line);
    EXPECT_FALSE(std::filesystem::exists(package + ".dll"));
}
