// The math functions end to end: qem runs a script whose OnInit prints
// "label value" lines for what the functions give, and ends on a bad
// parameter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

Opnd Floats(std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VValue(v);
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
    show("atan2", "Atan2", {VInt(1), VInt(1)});
    show("ceil", "Ceil", {VReal(1.2f)});
    show("floor", "Floor", {VReal(-1.5f)});
    show("tofloat", "ToFloat", {VReal(2.7f)});
    show("rand0", "Rand", {VInt(0)});
    show("singular", "MatrixInverse_3", {Floats({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    show("inverse", "MatrixInverse_4", {Floats({2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1})});
    show("transpose", "MatrixTranspose_3", {Floats({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    show("det", "MatrixDet_3", {Floats({2, 0, 0, 0, 3, 0, 0, 0, 4})});
    const Opnd q = show("euler", "EulerToQuaternion", {Floats({90, 0, 0})});
    show("product", "QuaternionProduct", {q, Floats({0, 0, 0, 1})});
    show("matrix3", "QuaternionToMatrix3", {Floats({0, 0, 0, 1})});
    const Opnd arch = s.Local(VInt(0));
    s.Builder().Emit(OP_ARRAY, I(0), None(), arch);
    for (const std::vector<float>& p : {std::vector<float>{0, 0, 0}, {1, 2, 0}, {2, 0, 0}})
        s.Builder().Emit(OP_ARRAY_APPEND, Floats(p), None(), arch);
    for (const float t : {0.5f, 1.0f, 0.0f}) show("bezier", "SetBezierCurve", {arch, VReal(t)});
    show("rand", "Rand", {VInt(32768)});
    s.Print("DONE\n");  // not reached

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("math.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.Started());
    const std::string error =
        "\nVirtualMachine ERROR (line 0): RAND: This numeric value must be between 0 and 32767.\n";
    ASSERT_TRUE(qem.WaitFor(error, std::chrono::seconds(30))) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    const size_t begin = out.find("BEGIN\n");
    ASSERT_NE(begin, std::string::npos) << out;
    EXPECT_EQ(out.substr(begin + 6, out.find(error) - begin - 6),
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
              "bezier [ 1 , 1 , 0 ]\n"
              "bezier [ 2 , 0 , 0 ]\n"
              "bezier [ 0 , 0 , 0 ]\n"
              "rand ");
    EXPECT_EQ(out.find("DONE"), std::string::npos);
}
