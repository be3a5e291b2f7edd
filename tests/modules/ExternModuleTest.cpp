#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <sstream>

#include "engine/EngineMachine.h"
#include "engine/ModulePackage.h"
#include "platform/ScriptFile.h"
#include "platform/SharedLibrary.h"
#include "support/PackageMaker.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;
namespace fs = std::filesystem;

namespace {

// A program that uses the test module's classes:
//   GREET()  Greeter("Ann").Greet()
//   ADD()    Greeter("x").Add(2, 40)
//   COUNT()  c = Counter(); c.Next(); c.Next()
//   LOAD()   LoadModule("greeter.dll")
std::vector<uint8_t> ModuleUserProgram() {
    ProgramBuilder b;
    b.Return();
    b.Function("LOAD", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("LOADMODULE", {VStr("greeter.dll")}, L(1));
    b.Return(L(1));
    b.Function("GREET", 0);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("GREETER", {VStr("Ann")}, L(1));
    b.CallMethod(L(1), "GREET", {}, L(2));
    b.Return(L(2));
    b.Function("ADD", 0);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("GREETER", {VStr("x")}, L(1));
    b.CallMethod(L(1), "ADD", {VInt(2), VInt(40)}, L(2));
    b.Return(L(2));
    b.Function("COUNT", 0);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("COUNTER", {}, L(1));
    b.CallMethod(L(1), "NEXT", {}, L(2));
    b.CallMethod(L(1), "NEXT", {}, L(2));
    b.Return(L(2));
    return b.WriteFile();
}

std::string Printed(const CVmValue* v) {
    if (!v) return "(no result)";
    std::ostringstream os;
    os << v;
    return os.str();
}

const TestSigningKey& ProgramKey() {
    static const TestSigningKey key;
    return key;
}

class ExternModuleTest : public ::testing::Test {
protected:
    ExternModuleTest() : keyOverride(ProgramKey().Blob().data()) {
        vm.reset(new CVRMachine(-1, 0, nullptr, 0, false, -1));
        vm->SetOutputStream(&out, false);
        vm->SetWorkingFolder(scratch.Path());
        WriteBytes(scratch.Path() + "user.bin", ModuleUserProgram());
        EXPECT_TRUE(vm->LoadProgram(scratch.Path() + "user.bin")) << out.str();
    }

    // A built variant of the test module, as its bytes.
    static Bytes Module(const char* variant) { return ReadBytes(std::string(QEM_TEST_MODULE_DIR) + variant + ".so"); }
    // Puts a variant into the working folder under `name`; its path.
    std::string Place(const char* variant, const std::string& name) {
        WriteBytes(scratch.Path() + name, Module(variant));
        return scratch.Path() + name;
    }

    std::string Call(const char* function) {
        return Printed(vm->CallScriptFunction(0, vm->FindFunction(function), nullptr));
    }

    ProgramKeyOverride keyOverride;
    ScratchFolder scratch;
    std::ostringstream out;
    std::unique_ptr<CVRMachine> vm;
};

}  // namespace

TEST_F(ExternModuleTest, ModuleClassesServeTheLoadedProgram) {
    const std::string path = Place("good", "greeter.dll");
    const fs::path folderBefore = fs::current_path();
    // The script's LoadModule reaches the machine's loader.
    Call("LOAD");
    ASSERT_FALSE(vm->HasError()) << out.str();
    EXPECT_EQ(fs::current_path(), folderBefore);
    EXPECT_NE(out.str().find("\nGreeter module: Greeter(name).Greet(), Add(a, b)"), std::string::npos) << out.str();
    EXPECT_EQ(Call("GREET"), "Hello, Ann") << out.str();
    EXPECT_EQ(Call("ADD"), "42") << out.str();
    ASSERT_EQ(vm->ExternModules().size(), 1u);
    EXPECT_NE(vm->ExternModules()[0].module, nullptr);

    // __QEM_INIT was given the working folder for 1 and null for 2.
    void* handle = SharedLibrary::Open(path);
    auto seen = reinterpret_cast<const char* (*)()>(SharedLibrary::Symbol(handle, "QemTestSeen"));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(std::string(seen()), scratch.Path() + "|null");
    SharedLibrary::Close(handle);

    vm.reset();
    EXPECT_FALSE(SharedLibrary::IsLoaded(path));
}

TEST_F(ExternModuleTest, TwoClassesMakeTwoRecordsAndOneUnload) {
    const std::string path = Place("two", "two.dll");
    ASSERT_TRUE(vm->LoadExternModule("two.dll")) << out.str();
    ASSERT_EQ(vm->ExternModules().size(), 2u);
    EXPECT_NE(vm->ExternModules()[0].module, nullptr);
    EXPECT_EQ(vm->ExternModules()[1].module, nullptr);
    EXPECT_EQ(Call("COUNT"), "2") << out.str();
    EXPECT_EQ(Call("GREET"), "Hello, Ann") << out.str();
    EXPECT_TRUE(SharedLibrary::IsLoaded(path));
    vm.reset();
    EXPECT_FALSE(SharedLibrary::IsLoaded(path));
}

TEST_F(ExternModuleTest, RefusedModulesAreUnloadedAndKeepNoRecord) {
    WriteBytes(scratch.Path() + "text.dll", Bytes{'h', 'e', 'l', 'l', 'o'});
    fs::create_directory(scratch.Path() + "folder.dll");
    fs::create_symlink("loop.dll", scratch.Path() + "loop.dll");  // cannot be opened: too many links
    const struct {
        const char* variant;  // null: nothing placed
        const char* name;
        std::string text;
    } cases[] = {
        {"nohelp", "nohelp.dll", "The file 'nohelp.dll' is an invalid external module."},
        {"v203", "v203.dll", "The module 'v203.dll' has an invalid version code."},
        {"nullversion", "nullversion.dll", "The module 'nullversion.dll' has an invalid version code."},
        {nullptr, "absent.dll", "The 'absent.dll' module could not be found."},
        {nullptr, "sub/absent.dll", "The 'sub/absent.dll' module could not be found."},
        {nullptr, "text.dll", "The 'text.dll'module exists but could not be loaded. Check DLLs dependencies"},
        {nullptr, "folder.dll", "The 'folder.dll'module exists but could not be loaded. Check DLLs dependencies"},
        {nullptr, "loop.dll", "The 'loop.dll' could not loaded  (error " + std::to_string(ELOOP) + ")."},
    };
    for (const auto& c : cases) {
        out.str("");
        vm->ClearError();
        const std::string path = c.variant ? Place(c.variant, c.name) : scratch.Path() + c.name;
        EXPECT_FALSE(vm->LoadExternModule(c.name)) << c.name;
        const std::string written = out.str();
        EXPECT_GE(written.size(), c.text.size());
        EXPECT_EQ(written.substr(written.size() - std::min(written.size(), c.text.size())), c.text) << written;
        EXPECT_EQ(written.find("VirtualMachine ERROR"), 1u) << written;
        EXPECT_EQ(written.find("Greeter module"), std::string::npos) << c.name;
        EXPECT_TRUE(vm->HasError()) << c.name;
        EXPECT_TRUE(vm->ExternModules().empty()) << c.name;
        EXPECT_FALSE(SharedLibrary::IsLoaded(path)) << c.name;
    }
}

TEST_F(ExternModuleTest, PackagedModulesLoadOnlyWhenTheirSignatureHolds) {
    const Bytes module = Module("good");
    WriteBytes(scratch.Path() + "lib.pak", MakePackage(module, ProgramKey()));
    ASSERT_TRUE(vm->LoadExternModule("lib.pak")) << out.str();
    EXPECT_EQ(ReadBytes(scratch.Path() + "lib.pak.dll"), module);
    EXPECT_TRUE(SharedLibrary::IsLoaded(scratch.Path() + "lib.pak.dll"));
    EXPECT_EQ(Call("ADD"), "42") << out.str();

    Bytes tamperedPayload = MakePackage(module, ProgramKey());
    tamperedPayload[tamperedPayload.size() / 2] ^= 0x10;
    Bytes tamperedSignature = MakePackage(module, ProgramKey());
    tamperedSignature[100] ^= 0x01;
    const struct {
        const char* name;
        Bytes package;
    } refused[] = {
        {"one byte short of its stated size", MakePackage(module, ProgramKey(), PackageKind::Compressed, 1)},
        {"tampered payload", tamperedPayload},
        {"tampered signature", tamperedSignature},
    };
    for (const auto& r : refused) {
        out.str("");
        vm->ClearError();
        WriteBytes(scratch.Path() + "bad.PAK", r.package);
        EXPECT_FALSE(vm->LoadExternModule("bad.PAK")) << r.name;
        EXPECT_EQ(out.str().substr(out.str().find("): ") + 3), "module 'bad.PAK' certification check fail.") << r.name;
        EXPECT_FALSE(fs::exists(scratch.Path() + "bad.PAK.dll")) << r.name;
        EXPECT_FALSE(fs::exists(scratch.Path() + "bad.PAK.dll.unverified")) << r.name;
    }
    EXPECT_EQ(vm->ExternModules().size(), 1u);
}

TEST_F(ExternModuleTest, ContainersHandTheirLibraryOver) {
    const TestSigningKey certificateKey;
    WriteBytes(scratch.Path() + "set.qmd", MakeContainer({{"readme.txt", Bytes{'r'}}, {"greeter.dll", Module("two")}},
                                                         ProgramKey(), certificateKey));
    ASSERT_TRUE(vm->LoadExternModule("set.qmd")) << out.str();
    EXPECT_EQ(Call("COUNT"), "2") << out.str();
    EXPECT_TRUE(SharedLibrary::IsLoaded(scratch.Path() + "greeter.dll"));
}

// A module file that is no regular file would hold the loader for ever (a
// FIFO); one outside a web script's folder is not the script's to load.
TEST_F(ExternModuleTest, ModulesAreRegularFilesOfTheScriptsFolder) {
    ASSERT_EQ(mkfifo((scratch.Path() + "pipe.dll").c_str(), 0600), 0);
    const std::string outside = scratch.Path() + "../outside-" + std::to_string(getpid()) + ".dll";
    WriteBytes(outside, Module("good"));
    const struct {
        std::string name;
        bool web;
        std::string text;
    } cases[] = {
        {"pipe.dll", false, "pipe.dll' is not a regular file."},
        {"../outside-" + std::to_string(getpid()) + ".dll", true, "dll' lies outside the script's folder."},
    };
    for (const auto& c : cases) {
        ConfineScriptFiles(c.web ? scratch.Path() : std::string());
        out.str("");
        vm->ClearError();
        EXPECT_FALSE(vm->LoadExternModule(c.name)) << c.name;
        EXPECT_NE(out.str().find(c.text), std::string::npos) << out.str();
        EXPECT_TRUE(vm->ExternModules().empty());
        const NativeLibraryLoad load = vm->LoadNativeLibrary(c.name);
        EXPECT_EQ(load.outcome, NativeLibraryLoad::NotLoaded) << c.name;
        EXPECT_NE(load.reason.find(c.text.substr(0, c.text.size() - 1)), std::string::npos) << load.reason;
    }
    ConfineScriptFiles(std::string());
    fs::remove(outside);
}
