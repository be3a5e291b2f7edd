// The math functions end to end: qem runs a script whose OnInit prints
// "label value" lines for what the functions give, and ends on a bad
// parameter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "vm/VmRegister.h"

using namespace qemtest;

namespace {

// An Array local holding the points (0, 0, 0), (1, 2, 0), (2, 0, 0).
Opnd Arch(MethodScript& s) {
    const Opnd arch = s.Local(VInt(0));
    s.Builder().Emit(OP_ARRAY, I(0), None(), arch);
    for (const std::vector<float>& p : {std::vector<float>{0, 0, 0}, {1, 2, 0}, {2, 0, 0}})
        s.Builder().Emit(OP_ARRAY_APPEND, VFloats(p), None(), arch);
    return arch;
}

// Runs the script (which printed BEGIN first) in qem until the error line;
// the output between the two.
std::string RunUntilError(const ScratchFolder& scratch, MethodScript& s, const std::string& name,
                          const std::string& message) {
    s.Print("DONE\n");  // not reached
    const std::string error = "\nVirtualMachine ERROR (line 0): " + message + "\n";
    const std::string out = RunScript(QEM_PROGRAM, scratch, s, name, error);
    EXPECT_EQ(out.find("DONE"), std::string::npos);
    return AfterBegin(out, error);
}

}  // namespace

TEST(MathScriptProgram, ScriptsComputeWithTheMathFunctions) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    auto show = [&](const char* label, const std::string& name, const std::vector<Opnd>& args = {}) {
        s.Print((std::string(label) + " ").c_str());
        const Opnd r = s.Global(name, args);
        s.Record(r);
        return r;
    };
    // name(variable), the variable taken back afterwards as a compiled
    // script takes a parameter the function writes.
    auto inPlace = [&](const char* label, const std::string& name, const Opnd& value) {
        const Opnd variable = s.Local(value);
        const Opnd answer = s.Local(VInt(0));
        ProgramBuilder& b = s.Builder();
        b.Push(variable);
        b.Emit(OP_CALL_NATIVE, I(b.Native(VmUpperName(name.c_str()))), None(), I(1));
        b.Emit(OP_POP_INTO, answer);
        b.Emit(OP_POP_INTO, variable);
        s.Print((std::string(label) + " ").c_str());
        s.Record(answer);
        s.Print((std::string(label) + " holds ").c_str());
        s.Record(variable);
    };
    show("atan2", "Atan2", {VInt(1), VInt(1)});
    show("ceil", "Ceil", {VReal(1.2f)});
    show("floor", "Floor", {VReal(-1.5f)});
    show("tofloat", "ToFloat", {VReal(2.7f)});
    show("rand0", "Rand", {VInt(0)});
    show("singular", "MatrixInverse_3", {VFloats({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    show("inverse", "MatrixInverse_4", {VFloats({2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1})});
    show("transpose", "MatrixTranspose_3", {VFloats({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    show("det", "MatrixDet_3", {VFloats({2, 0, 0, 0, 3, 0, 0, 0, 4})});
    const Opnd q = show("euler", "EulerToQuaternion", {VFloats({90, 0, 0})});
    show("product", "QuaternionProduct", {q, VFloats({0, 0, 0, 1})});
    show("matrix3", "QuaternionToMatrix3", {VFloats({0, 0, 0, 1})});
    inPlace("identity", "InvertMatrix", VFloats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    inPlace("ones", "InvertMatrix", VFloats(std::vector<float>(16, 1.0f)));
    inPlace("norm", "Norm", VFloats({3, 4, 0}));
    const Opnd arch = Arch(s);
    for (const float t : {0.5f, 1.0f, 0.0f}) show("bezier", "SetBezierCurve", {arch, VReal(t)});
    show("rand", "Rand", {VInt(32768)});
    EXPECT_EQ(RunUntilError(scratch, s, "math", "RAND: This numeric value must be between 0 and 32767."),
              "atan2 0.785398\n"
              "ceil 2\n"
              "floor -2\n"
              "tofloat 2\n"
              "rand0 0\n"
              "singular [ 0 , 0 , 0 , 0 , 0 , 0 , 0 , 0 , 0 ]\n"
              "inverse [ 0.5 , 0 , 0 , 0 , 0 , 0.25 , 0 , 0 , 0 , 0 , 2 , 0 , 0 , 0 , 0 , 1 ]\n"
              "transpose [ 1 , 4 , 7 , 2 , 5 , 8 , 3 , 6 , 9 ]\n"
              "det 24\n"
              "euler [ 0.707107 , 0 , 0 , 0.707107 ]\n"
              "product [ 0.707107 , 0 , 0 , 0.707107 ]\n"
              "matrix3 [ 1 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 1 ]\n"
              "identity True\n"
              "identity holds [ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 ]\n"
              "ones False\n"
              "ones holds [ 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 , 1 ]\n"
              "norm [ 0.6 , 0.8 , 0 ]\n"
              "norm holds [ 0.6 , 0.8 , 0 ]\n"
              "bezier [ 1 , 1 , 0 ]\n"
              "bezier [ 2 , 0 , 0 ]\n"
              "bezier [ 0 , 0 , 0 ]\n"
              "rand ");
}

TEST(MathScriptProgram, BadParametersStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    struct Row {
        const char* name;
        std::vector<Opnd> (*args)(MethodScript& s);
        const char* message;
    } rows[] = {
        {"MatrixSum_4",
         [](MethodScript&) {
             return std::vector<Opnd>{VFloats(std::vector<float>(16, 1.0f)), VFloats(std::vector<float>(15, 1.0f))};
         },
         "MATRIXSUM_4: Param n. 2 must be a vector of 16 components length."},
        {"SetBezierCurve", [](MethodScript& s) { return std::vector<Opnd>{Arch(s), VReal(1.5f)}; },
         "SETBEZIERCURVE: This numeric value must be between 0.000000 and 1.000000."},
        {"QuaternionProduct", [](MethodScript&) { return std::vector<Opnd>{VFloats({0, 0, 0, 1}), VInt(2)}; },
         "QUATERNIONPRODUCT: Param n. 2 must be a vector."},
    };
    for (const Row& row : rows) {
        MethodScript s("ONINIT");
        s.Print("BEGIN\n");
        s.Global(row.name, row.args(s));
        EXPECT_EQ(RunUntilError(scratch, s, row.name, row.message), "");
    }
}
