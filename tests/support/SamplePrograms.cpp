#include "support/SamplePrograms.h"

#include <cstdio>
#include <sstream>

#include "support/ProgramBuilder.h"

namespace qemtest {

namespace {

void BuildSample(ProgramBuilder& b) {
    b.SetGlobalCount(3);
    const int hello = b.Constant(VStr("hello").value);
    CVmValue vector;
    const float xyz[3] = {1, 2, 3};
    vector.SetVector(xyz, 3);
    const int vec = b.Constant(vector);
    const int sum = b.Constant(VStr("sum=").value);  // written by a mode-55 output
    b.Named("SCENE_FOV", VReal(45.0f).value);
    b.Named("COUNT", VInt(3).value);
    b.Import("module.bin");

    // Start-up code.
    b.Line(1, 7);
    b.Emit(OP_COPY, VInt(2), None(), G(0));
    b.Emit(OP_COPY, VRifStr(hello), None(), G(1));
    b.Emit(OP_COPY, VRifVec(vec), None(), G(2));
    b.Return();

    b.Function("MAIN", 0);
    b.Line(3, 8);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("TESTADD", {G(0), I(5)}, L(1));
    b.Emit(OP_OUTPUT, VRifStr(sum));
    b.Emit(OP_OUTPUT, L(1));
    Label big = b.NewLabel();
    b.Emit(OP_JUMP_GT, L(1), I(6), At(big));
    b.Line(4, 9);
    b.CallNative("NOSUCH", {}, L(2));
    b.Bind(big);
    b.Line(5, 9);
    b.CallNative("TWICE", {L(1)}, L(2));
    b.Return(L(2));

    b.Function("VEC", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, G(2), I(b.MethodName("XY")), L(1));
    b.Return(L(1));

    b.Function("UNUSED", 1);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("POS")), L(1));
    b.Return(L(1));

    const int init = b.Here();
    b.Return();
    VmClassDeclaration& box = b.DeclareClass("BOX");
    box.members = {"W"};
    box.methods = {{"$$BOX", init, 1}};
    box.constructor = 0;
    VmClassDeclaration& crate = b.DeclareClass("CRATE");
    crate.bases = {0};
    crate.methods = {{"OPEN", init, 1}};
    crate.fallback = 0;
}

}  // namespace

std::vector<uint8_t> SampleProgramFile() {
    ProgramBuilder b;
    BuildSample(b);
    FileOptions options;
    options.thirdLineColumn = true;
    return b.WriteFile(options);
}

std::vector<uint8_t> SampleOldFormatFile() {
    ProgramBuilder b;
    BuildSample(b);
    FileOptions options;
    options.marker = false;
    options.version[2] = 7;
    return b.WriteFile(options);
}

std::vector<uint8_t> SampleModuleFile() {
    ProgramBuilder b;
    b.Return();
    b.Function("TWICE", 1);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MUL, L(-1), I(2), L(1));
    b.Return(L(1));
    return b.WriteFile();
}

std::vector<uint8_t> WorkedExampleFile(FileLayout* layout) {
    ProgramBuilder b;
    b.SetGlobalCount(2);
    b.Constant(VStr("sum=").value);
    CVmValue v;
    const float xyz[3] = {1, 2, 3};
    v.SetVector(xyz, 3);
    b.Constant(v);
    b.MethodName("X");
    b.MethodName("GETX");
    b.Native("TESTADD");
    b.Native("POINT");
    b.Named("SCENE_FOV", VReal(45.0f).value);
    b.Line(1);
    b.Emit(OP_COPY, VInt(0), None(), G(0));
    b.Return();
    b.Function("ADD", 2);
    b.Line(10);
    b.Emit(OP_RESERVE, I(1));
    b.Line(20);
    b.Emit(OP_ADD, L(-1), L(-2), L(1));
    b.Return(L(1));
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("POINT", {I(7)}, L(1));
    b.Emit(OP_METHOD_CALL, L(1), I(1), I(0));
    b.Emit(OP_POP_INTO, L(2));
    b.Emit(OP_OUTPUT, VRifStr(0));
    b.Emit(OP_OUTPUT, L(2));
    b.CallNative("TESTADD", {L(2), I(1)}, G(0));
    b.Return(G(0));
    b.Emit(OP_MEMBER_WRITE, L(-2), I(0), L(-1));
    b.Return();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(0), L(1));
    b.Return(L(1));
    VmClassDeclaration& point = b.DeclareClass("POINT");
    point.members = {"X"};
    point.constructor = 0;
    point.methods = {{"$$POINT", 20, 2}, {"GETX", 22, 1}};

    std::vector<uint8_t> file = b.WriteFile();
    if (layout) *layout = b.Layout();
    return file;
}

std::vector<uint8_t> LargeProgramFile(size_t targetBytes) {
    ProgramBuilder b;
    b.SetGlobalCount(100);
    for (int i = 0; i < 200; ++i) b.Constant(VStr(("constant string " + std::to_string(i)).c_str()).value);
    for (int i = 0; i < 100; ++i) b.MethodName("M" + std::to_string(i));
    b.Line(1);
    b.Return();
    auto addFunction = [&b](int f) {
        char name[16];
        std::snprintf(name, sizeof name, "F%06d", f);
        b.Function(name, 2);
        b.Line(f * 10 + 2);
        b.Emit(OP_RESERVE, I(4));
        Label loop = b.NewLabel(), done = b.NewLabel();
        b.Emit(OP_COPY, I(0), None(), L(1));
        b.Bind(loop);
        b.Emit(OP_JUMP_GE, L(1), L(-1), At(done));
        b.Emit(OP_ADD, L(1), L(-2), L(2));
        b.Emit(OP_MUL, L(2), VReal(1.5f), L(3));
        b.Emit(OP_COPY, VRifStr(f % 200), None(), L(4));
        b.Emit(OP_ADD, L(4), VStr("suffix"), L(4));
        b.Emit(OP_COPY, L(3), None(), G(f % 100));
        b.CallNative("TESTADD", {L(1), I(f)}, L(2));
        b.Emit(OP_INC, L(1));
        b.Emit(OP_JUMP, At(loop));
        b.Bind(done);
        b.Return(L(2));
    };
    // Every function encodes to the same size: measure a few, then add
    // enough of them.
    constexpr int kProbe = 16;
    for (int f = 0; f < kProbe; ++f) addFunction(f);
    const size_t perFunction = b.EncodeCode().size() / kProbe;
    const size_t count = targetBytes / (perFunction ? perFunction : 1);
    for (size_t f = kProbe; f < count; ++f) addFunction(static_cast<int>(f));
    return b.WriteFile();
}

bool SampleFunctions::RegisterMethods(int32_t n) {
    CVmRegisterFunction::RegisterMethods(n);
    AddFunction("TestAdd", &SampleFunctions::TestAdd);
    return true;
}

void SampleFunctions::TestAdd(CVmClassBase*, int) {
    int32_t a, b;
    if (ReadParams(a, b)) VmReturnInteger(a + b);
}

MemoryFileMachine::MemoryFileMachine(bool debug) : CVirtualMachine(debug) {
    RegisterFunctions(new SampleFunctions());
}

std::unique_ptr<std::istream> MemoryFileMachine::OpenFile(const std::string& path) {
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    return std::unique_ptr<std::istream>(
        new std::istringstream(std::string(it->second.begin(), it->second.end()), std::ios::binary));
}

}  // namespace qemtest
