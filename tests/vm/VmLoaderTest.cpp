#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "support/ProgramBuilder.h"
#include "support/SamplePrograms.h"
#include "support/ScratchFolder.h"
#include "vm/VmBytecodeFile.h"

using namespace qemtest;

namespace {

const char kMemberWarning[] =
    "\nVirtualMachine WARNING (line 0): Member 'POS' doesn't belong to any built in class (it might be referred to "
    "an external module).";
const char kNoSuchWarning[] = "\nVirtualMachine WARNING (line 0): 'NOSUCH' is an unknown function.";

// Ends a start-up run that a damaged file turned into an endless loop.
int g_stepBudget = 0;
void CountStep(int32_t, CVirtualMachine* vm) {
    if (--g_stepBudget < 0) vm->SetStopFlag(true);
}

class LoaderTest : public ::testing::Test {
protected:
    LoaderTest() {
        vm.SetOutputStream(&out, false);
        vm.files["main.bin"] = SampleProgramFile();
        vm.files["module.bin"] = SampleModuleFile();
    }

    bool LoadBytes(const std::vector<uint8_t>& bytes) {
        vm.files["other.bin"] = bytes;
        return vm.Load("other.bin");
    }

    CVmValue* Call(const char* name, std::initializer_list<int32_t> args = {}) {
        for (int32_t a : args) vm.AddArgInteger(a);
        return vm.CallFunctionByName(name);
    }

    std::ostringstream out;
    MemoryFileMachine vm;
};

}  // namespace

TEST_F(LoaderTest, GeneratedProgramLoadsBindsAndRuns) {
    ASSERT_TRUE(vm.Load("main.bin")) << out.str();
    // XY is a swizzle and gives no warning; POS and NOSUCH only warn.
    EXPECT_EQ(out.str(), std::string(kMemberWarning) + kNoSuchWarning);
    const VmProgram* p = vm.Program();
    ASSERT_TRUE(p);
    ASSERT_EQ(p->methodNames, (std::vector<std::string>{"XY", "POS"}));
    EXPECT_EQ(vm.Swizzles()[0], static_cast<int32_t>(0xFFFF0201u));
    EXPECT_EQ(vm.Swizzles()[1], -1);

    // The start-up code filled the globals, from constants too.
    ASSERT_EQ(vm.GlobalCount(), 3);
    EXPECT_EQ(vm.Globals()[0].asInt, 2);
    EXPECT_STREQ(vm.Globals()[1].asString->CStr(), "hello");
    EXPECT_EQ(vm.Globals()[2].asVector->count, 3);
    int32_t n = 0;
    float f = 0;
    EXPECT_TRUE(vm.GetNamedInt("count", n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(vm.GetNamedFloat("scene_fov", f));
    EXPECT_EQ(f, 45.0f);

    out.str("");
    CVmValue* r = Call("main");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, VmValueType::Integer);
    EXPECT_EQ(r->asInt, 14);  // TWICE of the imported module
    EXPECT_EQ(out.str(), "sum=7");
    r = Call("VEC");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->type, VmValueType::Vector);
    ASSERT_EQ(r->asVector->count, 2);
    EXPECT_EQ(r->asVector->data[0], 1.0f);
    EXPECT_EQ(r->asVector->data[1], 2.0f);

    // The host reaches the module's function by name as well.
    ASSERT_EQ(vm.ImportedMachines().size(), 1u);
    vm.AddArgInteger(21);
    r = vm.CallNativeFunction("twice");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 42);

    // Line table with its third column, class declarations with their
    // little-endian bases and the fallback words.
    ASSERT_EQ(p->lines.size(), 4u);
    EXPECT_EQ(p->lines[2].line, 4);
    EXPECT_EQ(p->lines[2].third, 9);
    ASSERT_EQ(p->classes.size(), 2u);
    EXPECT_EQ(p->classes[0].fallback, -1);
    EXPECT_EQ(p->classes[1].bases, std::vector<int32_t>{0});
    EXPECT_EQ(p->classes[1].fallback, 0);
}

TEST_F(LoaderTest, FileWithoutMarkerHasNoImportsNorFallbackWords) {
    // Version 2.0.7; the line table and code follow the class declarations.
    ASSERT_TRUE(LoadBytes(SampleOldFormatFile())) << out.str();
    EXPECT_TRUE(vm.Program()->imports.empty());
    EXPECT_TRUE(vm.ImportedMachines().empty());
    EXPECT_EQ(vm.Program()->classes[1].fallback, -1);
    EXPECT_NE(out.str().find("\nVirtualMachine WARNING (line 0): 'TWICE' is an unknown function."), std::string::npos);
}

TEST_F(LoaderTest, HeaderChecksKeepTheEarlierProgram) {
    ASSERT_TRUE(vm.Load("module.bin"));
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* message;  // null: the file loads
    };
    const Case cases[] = {
        {"magic", [](std::vector<uint8_t>& b) { b[3] = 'X'; },
         "\nVirtualMachine ERROR (line 0): This file is not a bytecode for the Virtual Machine."},
        {"magic NUL", [](std::vector<uint8_t>& b) { b[8] = ' '; },
         "\nVirtualMachine ERROR (line 0): This file is not a bytecode for the Virtual Machine."},
        {"short", [](std::vector<uint8_t>& b) { b.resize(5); },
         "\nVirtualMachine ERROR (line 0): This file is not a bytecode for the Virtual Machine."},
        {"2.1.0", [](std::vector<uint8_t>& b) { PatchInt16(b, 16, 1); },
         "\nVirtualMachine ERROR (line 0): Invalid version of bytecode."},
        {"3.0.0", [](std::vector<uint8_t>& b) { PatchInt16(b, 14, 3); },
         "\nVirtualMachine ERROR (line 0): Invalid version of bytecode."},
        {"truncated header", [](std::vector<uint8_t>& b) { b.resize(60); },
         "\nVirtualMachine ERROR (line 0): Invalid bytecode in 'other.bin': the header is truncated."},
        {"2.0.7", [](std::vector<uint8_t>& b) { PatchInt16(b, 18, 7); }, nullptr},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = SampleModuleFile();
        c.damage(bytes);
        out.str("");
        const bool loaded = LoadBytes(bytes);
        if (!c.message) {
            EXPECT_TRUE(loaded) << c.name << out.str();
            continue;
        }
        EXPECT_FALSE(loaded) << c.name;
        EXPECT_EQ(out.str(), c.message) << c.name;
        // The earlier program still runs.
        CVmValue* r = Call("TWICE", {4});
        ASSERT_NE(r, nullptr) << c.name;
        EXPECT_EQ(r->asInt, 8) << c.name;
    }
}

TEST_F(LoaderTest, LineTableDeltasGiveInstructionIndexes) {
    ProgramBuilder b;
    b.Line(10);
    b.Return();
    b.Function("F", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_COPY, I(1), None(), L(1));
    b.Line(20);
    b.Emit(OP_COPY, I(2), None(), L(1));
    b.Emit(OP_COPY, I(3), None(), L(1));
    b.Line(30);
    b.Emit(OP_INC, VStr("x"));
    b.Return();
    const std::vector<uint8_t> bytes = b.WriteFile();
    // The file holds deltas 0, 3 and 2.
    ByteReader table(bytes.data() + b.Layout().lines, bytes.size() - b.Layout().lines);
    int32_t hasThird, count;
    int16_t pairs[6];
    ASSERT_TRUE(table.GetInt32(hasThird) && table.GetInt32(count));
    for (int16_t& v : pairs) ASSERT_TRUE(table.GetInt16(v));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<int16_t>(pairs, pairs + 6), (std::vector<int16_t>{0, 10, 3, 20, 2, 30}));

    ASSERT_TRUE(LoadBytes(bytes)) << out.str();
    const std::vector<VmLineEntry>& lines = vm.Program()->lines;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].instruction, 0);
    EXPECT_EQ(lines[1].instruction, 3);
    EXPECT_EQ(lines[2].instruction, 5);
    Call("F");
    EXPECT_EQ(out.str().find("\nVirtualMachine ERROR (line 30): "), 0u) << out.str();
}

TEST_F(LoaderTest, ImportedModulesFromDiskAndMissingFiles) {
    ScratchFolder dir;
    const std::string module = dir.Make("module.bin"), missing = dir.Make("missing.bin");
    auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write(module, SampleModuleFile());
    ProgramBuilder b;
    b.Import(missing);
    b.Import(module);
    b.Return();
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("TWICE", {I(21)}, L(1));
    b.Return(L(1));
    const std::string main = dir.Make("main.bin");
    write(main, b.WriteFile());
    {
        CVirtualMachine disk;
        disk.SetOutputStream(&out, false);
        // A module that does not load stays listed and adds nothing.
        ASSERT_TRUE(disk.Load(main)) << out.str();
        EXPECT_EQ(out.str(), "\nVirtualMachine ERROR (line 0): cannot open file '" + missing + "'.");
        EXPECT_EQ(disk.Program()->imports.size(), 2u);
        EXPECT_EQ(disk.ImportedMachines().size(), 1u);
        CVmValue* r = disk.CallFunctionByName("MAIN");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->asInt, 42);

        out.str("");
        EXPECT_FALSE(disk.Load(missing));
        EXPECT_EQ(out.str(), "\nVirtualMachine ERROR (line 0): cannot open file '" + missing + "'.");
    }
}

TEST_F(LoaderTest, CyclicImportsAreRefused) {
    auto importing = [](std::vector<std::string> paths, const char* function) {
        ProgramBuilder b;
        for (const std::string& p : paths) b.Import(p);
        b.Return();
        b.Function(function, 0);
        b.Return(VInt(1));
        return b.WriteFile();
    };
    vm.files["a.bin"] = importing({"b.bin", "a.bin"}, "A");
    vm.files["b.bin"] = importing({"./a.bin"}, "B");
    ASSERT_TRUE(vm.Load("a.bin")) << out.str();
    EXPECT_NE(out.str().find("\nVirtualMachine ERROR (line 0): Cyclic import of './a.bin' refused."),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("\nVirtualMachine ERROR (line 0): Cyclic import of 'a.bin' refused."),
              std::string::npos);
    ASSERT_EQ(vm.ImportedMachines().size(), 1u);
    EXPECT_TRUE(vm.ImportedMachines()[0]->ImportedMachines().empty());
    ASSERT_NE(vm.CallNativeFunction("B"), nullptr);

    // However wide, one load makes a bounded number of modules.
    out.str("");
    vm.files["wide.bin"] = importing(std::vector<std::string>(100, "module.bin"), "W");
    ASSERT_TRUE(vm.Load("wide.bin"));
    EXPECT_EQ(vm.ImportedMachines().size(), static_cast<size_t>(CVirtualMachine::kMaxImportedModules));
    EXPECT_NE(out.str().find("Too many imported modules: 'module.bin' is not loaded."), std::string::npos);
}

TEST_F(LoaderTest, ReloadingReplacesProgramAndModules) {
    ASSERT_TRUE(vm.Load("main.bin"));
    ProgramBuilder b;
    b.Return();
    b.Function("OTHER", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("TWICE", {I(1)}, L(1));
    b.Return(L(1));
    out.str("");
    ASSERT_TRUE(LoadBytes(b.WriteFile()));
    // The old module's functions went with the old program.
    EXPECT_EQ(out.str(), "\nVirtualMachine WARNING (line 0): 'TWICE' is an unknown function.");
    EXPECT_TRUE(vm.ImportedMachines().empty());
    EXPECT_EQ(vm.FindFunction("MAIN"), -1);
    ASSERT_TRUE(vm.Load("main.bin"));
    EXPECT_EQ(Call("MAIN")->asInt, 14);

    // A declared class of the same name in the next program is the new one.
    auto declaring = [](int32_t value) {
        ProgramBuilder k;
        k.Return();
        k.Function("MAIN", 0);
        k.Emit(OP_RESERVE, I(2));
        k.CallNative("K", {}, L(1));
        k.CallMethod(L(1), "V", {}, L(2));
        k.Return(L(2));
        const int v = k.Here();
        k.Return(VInt(value));
        k.DeclareClass("K").methods = {{"V", v, 1}};
        return k.WriteFile();
    };
    ASSERT_TRUE(LoadBytes(declaring(1)));
    EXPECT_EQ(Call("MAIN")->asInt, 1);
    ASSERT_TRUE(LoadBytes(declaring(2)));
    EXPECT_EQ(Call("MAIN")->asInt, 2);
}

TEST_F(LoaderTest, DamagedFilesAreRefusedWithTheirFault) {
    ASSERT_TRUE(vm.Load("module.bin"));
    const std::vector<uint8_t> sample = SampleProgramFile();
    ProgramBuilder layout;
    // Faults in the sections of the sample file.
    struct FileCase {
        const char* fault;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const FileCase fileCases[] = {
        {"the function table section claims 100000 entries, more than the file holds.",
         [](std::vector<uint8_t>& b) { PatchInt32(b, 56, 100000); }},
        {"the constant section starts outside the file (offset 9999999).",
         [](std::vector<uint8_t>& b) { PatchInt32(b, 36, 9999999); }},
        {"the function table section ends early or holds a malformed entry.",
         [](std::vector<uint8_t>& b) { PatchInt32(b, kVmExtendedHeaderSize, -5); }},
        {"the code section claims 1000000 entries", [](std::vector<uint8_t>& b) { PatchInt32(b, 32, 1000000); }},
        {"the program has no code.", [](std::vector<uint8_t>& b) { PatchInt32(b, 32, 0); }},
        {"the program declares 40000 globals", [](std::vector<uint8_t>& b) { PatchInt32(b, 68, 40000); }},
        {"uses global 2 of 2.", [](std::vector<uint8_t>& b) { PatchInt32(b, 68, 2); }},
        {"instruction 10 refers to constant 2, which is not a string constant", [](std::vector<uint8_t>& b) { PatchInt32(b, 40, 2); }},
    };
    for (const FileCase& c : fileCases) {
        std::vector<uint8_t> bytes = sample;
        c.damage(bytes);
        out.str("");
        EXPECT_FALSE(LoadBytes(bytes)) << c.fault;
        EXPECT_EQ(out.str().find("\nVirtualMachine ERROR (line 0): Invalid bytecode in 'other.bin': "), 0u);
        EXPECT_NE(out.str().find(c.fault), std::string::npos) << out.str();
    }

    // Faults in what the instructions and declarations name.
    struct ProgramCase {
        const char* fault;
        std::function<void(ProgramBuilder&)> build;
        bool sorted;
    };
    const ProgramCase programCases[] = {
        {"refers to constant 5, which is not a string constant",
         [](ProgramBuilder& b) { b.Emit(OP_OUTPUT, VRifStr(5)); }, true},
        {"refers to constant 0, which is not a vector constant",
         [](ProgramBuilder& b) {
             b.Constant(VStr("text").value);
             b.Emit(OP_OUTPUT, VRifVec(0));
         },
         true},
        {"names jump target 99", [](ProgramBuilder& b) { b.Emit(OP_JUMP_EQ, L(1), L(1), I(99)); }, true},
        {"names call or jump target -1", [](ProgramBuilder& b) { b.Emit(OP_CALL, I(-1)); }, true},
        {"names native function 3", [](ProgramBuilder& b) { b.Emit(OP_CALL_NATIVE, I(3), None(), I(0)); }, true},
        {"names method name 7", [](ProgramBuilder& b) { b.Emit(OP_METHOD_CALL, L(1), I(7), I(0)); }, true},
        {"names class declaration 4", [](ProgramBuilder& b) { b.Emit(OP_BASE_PART, L(1), I(4), L(1)); }, true},
        {"unsupported opcode 78", [](ProgramBuilder& b) { b.EmitRaw(78, 57, {}); }, true},
        {"or mode 60", [](ProgramBuilder& b) { b.EmitRaw(OP_PUSH, 60, {}); }, true},
        {"function 'F' starts outside the code (50).",
         [](ProgramBuilder& b) { b.m_functions.push_back({"F", 50, 0}); }, true},
        {"the function table is not sorted by name.",
         [](ProgramBuilder& b) {
             b.Function("B", 0);
             b.Function("A", 0);
         },
         false},
        {"has an invalid base class 5.", [](ProgramBuilder& b) { b.DeclareClass("C").bases = {5}; }, true},
        {"is its own base class.",
         [](ProgramBuilder& b) {
             b.DeclareClass("C").bases = {1};
             b.DeclareClass("D").bases = {0};
         },
         true},
        {"names a constructor, destructor or fallback method it lacks.",
         [](ProgramBuilder& b) { b.DeclareClass("C").constructor = 0; }, true},
        {"names a constructor, destructor or fallback method it lacks.",
         [](ProgramBuilder& b) { b.DeclareClass("C").fallback = 2; }, true},
        {"method 'C::M' starts outside the code.",
         [](ProgramBuilder& b) { b.DeclareClass("C").methods = {{"M", 70, 0}}; }, true},
    };
    for (const ProgramCase& c : programCases) {
        ProgramBuilder b;
        c.build(b);
        b.Return();
        FileOptions options;
        options.sortFunctions = c.sorted;
        out.str("");
        EXPECT_FALSE(LoadBytes(b.WriteFile(options))) << c.fault;
        EXPECT_NE(out.str().find(c.fault), std::string::npos) << out.str();
        EXPECT_EQ(Call("TWICE", {3})->asInt, 6) << c.fault;
    }
}

TEST_F(LoaderTest, EveryTruncationAndSeededMutationLoadsOrFailsCleanly) {
    vm.SetStepHook(&CountStep);
    const std::vector<uint8_t> sample = SampleProgramFile();
    for (size_t size = 0; size < sample.size(); ++size) {
        g_stepBudget = 10000;
        LoadBytes(std::vector<uint8_t>(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(size)));
        out.str("");
    }
    std::mt19937 random(20240517);
    const int32_t interesting[] = {0, 1, -1, 2, 0x7FFF, 0x8000, 0x7FFFFFFF, INT32_MIN,
                                   static_cast<int32_t>(sample.size())};
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> bytes = sample;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % bytes.size();
            if (random() % 2 && at + 4 <= bytes.size())
                PatchInt32(bytes, at, interesting[random() % (sizeof interesting / sizeof interesting[0])]);
            else
                bytes[at] = static_cast<uint8_t>(random());
        }
        g_stepBudget = 10000;
        loaded += LoadBytes(bytes) ? 1 : 0;
        out.str("");
    }
    // Mutations of names, values and operands often still load.
    EXPECT_GT(loaded, 0);
    vm.SetStepHook(nullptr);
    ASSERT_TRUE(vm.Load("main.bin"));
    EXPECT_EQ(Call("MAIN")->asInt, 14);
}

namespace {

// Records what the loader asks of the debugger.
class RecordingDebugLoader : public VmDebugLoader {
public:
    bool ReadDebugInfo(CVirtualMachine&, const std::string& dbgPath) override {
        paths.push_back(dbgPath);
        return true;
    }
    void StartSession(CVirtualMachine& machine) override {
        // Bound, not yet started: the start-up code has not set G0.
        startedBeforeStartUp = machine.Program() && machine.Globals()[0].IsVoid();
        ++sessions;
    }
    std::vector<std::string> paths;
    bool startedBeforeStartUp = false;
    int sessions = 0;
};

}  // namespace

TEST(LoaderDebugSeam, DebugInformationIsAskedForOnlyWithDebugFlagAndLineTable) {
    std::ostringstream out;
    RecordingDebugLoader recorder;
    MemoryFileMachine debug(true);
    debug.SetOutputStream(&out, false);
    debug.SetDebugLoader(&recorder);
    debug.files["main.bin"] = SampleProgramFile();
    debug.files["module.bin"] = SampleModuleFile();
    ASSERT_TRUE(debug.Load("main.bin"));
    EXPECT_EQ(recorder.paths, std::vector<std::string>{"main.bin.dbg"});
    EXPECT_EQ(recorder.sessions, 1);
    EXPECT_TRUE(recorder.startedBeforeStartUp);
    ASSERT_TRUE(debug.Load("module.bin"));  // no line table
    EXPECT_EQ(recorder.paths.size(), 1u);

    MemoryFileMachine plain(false);
    plain.SetOutputStream(&out, false);
    plain.SetDebugLoader(&recorder);
    plain.files["main.bin"] = SampleProgramFile();
    ASSERT_TRUE(plain.Load("main.bin"));
    EXPECT_EQ(recorder.paths.size(), 1u);
    EXPECT_EQ(recorder.sessions, 1);
}

// The worked example of the file format: every section at its known offset
// and the code byte for byte as a compiler writes it.
TEST(BytecodeWriter, WritesTheWorkedExampleExactly) {
    FileLayout at;
    const std::vector<uint8_t> file = WorkedExampleFile(&at);
    EXPECT_EQ(std::vector<size_t>({at.functions, at.natives, at.constants, at.methods, at.named, at.classes,
                                   at.imports, at.lines, at.code, at.size}),
              std::vector<size_t>({114, 141, 161, 187, 200, 218, 287, 287, 307, 461}));
    std::ostringstream hex;
    for (size_t i = at.code; i < file.size(); ++i) {
        static const char digits[] = "0123456789abcdef";
        hex << digits[file[i] >> 4] << digits[file[i] & 15];
    }
    EXPECT_EQ(hex.str(),
              "083100000200000000"
              "0739"
              "043800000001"
              "0a00fffffffe0001"
              "07350001"
              "043800000002"
              "023800000007"
              "06340000000100000001"
              "00350001"
              "013800000001"
              "3b1600010000000100000000"
              "00350002"
              "4b370600000000"
              "4b350002"
              "023800000001"
              "02350002"
              "06340000000000000002"
              "00360000"
              "013800000002"
              "07360000"
              "3d12fffe00000000ffff"
              "0739"
              "043800000001"
              "3c12ffff000000000001"
              "07350001");

    std::ostringstream out;
    MemoryFileMachine vm;
    vm.SetOutputStream(&out, false);
    vm.files["example.bin"] = file;
    ASSERT_TRUE(vm.Load("example.bin")) << out.str();
    const VmClassDeclaration& read = vm.Program()->classes.at(0);
    EXPECT_EQ(read.name, "POINT");
    EXPECT_EQ(read.members, std::vector<std::string>{"X"});
    ASSERT_EQ(read.methods.size(), 2u);
    EXPECT_EQ(read.methods[1].name, "GETX");
    EXPECT_EQ(read.methods[1].start, 22);
    EXPECT_EQ(read.methods[1].paramCount, 1);
    EXPECT_EQ(read.fallback, -1);
    EXPECT_EQ(read.destructor, -1);
    // POINT(7).GETX() through the declared class, then TESTADD.
    out.str("");
    CVmValue* r = vm.CallFunctionByName("main");
    ASSERT_NE(r, nullptr) << out.str();
    EXPECT_EQ(r->asInt, 8);
    EXPECT_EQ(out.str(), "sum=7");
}
