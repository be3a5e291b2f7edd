// The math, vector, matrix, quaternion and Bezier functions called as
// scripts call them, with the engine's message texts. End to end through
// qem: tests/host/MathScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "functions/CVmFunction.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

namespace {

class MathFunctions : public ::testing::Test {
protected:
    MathFunctions() { vm.RegisterFunctions(new CVmFunction()); }
    EngineMessagesMachine vm;
};

Opnd Bool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return VValue(v);
}

// The numbers of a Vector's text form "[ a , b , ... ]".
std::vector<float> Numbers(const std::string& text) {
    std::vector<float> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token)
        if (token != "[" && token != "]" && token != ",") out.push_back(std::stof(token));
    return out;
}

void ExpectNear(const std::string& text, const std::vector<float>& expected, const std::string& what) {
    const std::vector<float> got = Numbers(text);
    ASSERT_EQ(got.size(), expected.size()) << what << ": " << text;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-5f) << what << "[" << i << "]: " << text;
}

std::vector<float> Diagonal4(float a, float b, float c, float d) {
    return {a, 0, 0, 0, 0, b, 0, 0, 0, 0, c, 0, 0, 0, 0, d};
}

const std::vector<float> kIdentity4 = Diagonal4(1, 1, 1, 1);

// name(args) with parameter 1 taken back into its variable afterwards, as a
// compiled script takes a parameter the function writes: the records are
// the answer, then the variable.
CallOutcome CallWritingParam1(CVirtualMachine& vm, const std::string& name, const Opnd& param1) {
    MethodScript s("MAIN");
    const Opnd variable = s.Local(param1);
    const Opnd answer = s.Local(VInt(0));
    ProgramBuilder& b = s.Builder();
    b.Push(variable);
    b.Emit(OP_CALL_NATIVE, I(b.Native(VmUpperName(name.c_str()))), None(), I(1));
    b.Emit(OP_POP_INTO, answer);
    b.Emit(OP_POP_INTO, variable);
    s.Record(answer);
    s.Record(variable);
    return RunScript(vm, s);
}

}  // namespace

TEST_F(MathFunctions, NumbersAndRounding) {
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* result;
        VmValueType type;
    } cases[] = {
        {"Atan2", {VInt(1), VInt(1)}, "0.785398", VmValueType::Real},
        {"Atan2", {VReal(-1.0f), VInt(-1)}, "-2.35619", VmValueType::Real},
        {"Ceil", {VReal(1.2f)}, "2", VmValueType::Real},
        {"Floor", {VReal(-1.5f)}, "-2", VmValueType::Real},
        {"ToFloat", {VReal(2.7f)}, "2", VmValueType::Real},
        {"ToFloat", {VReal(-2.7f)}, "-2", VmValueType::Real},
        {"Rand", {VInt(0)}, "0", VmValueType::Integer},
        {"GetBezierPoint", {VInt(1)}, "Void", VmValueType::Void},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_FALSE(o.error) << c.name << o.output;
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_EQ(o.type, c.type) << c.name;
    }
}

TEST_F(MathFunctions, RandDrawsUpToItsMaximum) {
    EXPECT_FALSE(CallGlobal(vm, "Rand").error);  // starts a program to call in
    bool highSeen = false;
    for (int i = 0; i < 300; ++i) {
        const CVmValue* v = vm.CallNativeFunction("RAND");
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(v->type, VmValueType::Integer);
        ASSERT_GE(v->asInt, 0);
        ASSERT_LE(v->asInt, 1000);
        highSeen |= v->asInt > 500;
    }
    EXPECT_TRUE(highSeen) << "the default maximum is 1000";
    for (int i = 0; i < 50; ++i) {
        const CallOutcome o = CallGlobal(vm, "Rand", {VInt(1)});
        ASSERT_TRUE(o.result == "0" || o.result == "1") << o.result;
    }
}

TEST_F(MathFunctions, MatricesGiveVectorsOfTheirSize) {
    const std::vector<float> ones9(9, 1.0f);
    const std::vector<float> oneToNine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<float> translation = kIdentity4;
    translation[12] = 5;
    translation[13] = 6;
    translation[14] = 7;
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        std::vector<float> result;
    } cases[] = {
        {"MatrixIdentity_4", {}, kIdentity4},
        {"MatrixIdentity_3", {}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"MatrixInverse_3", {VFloats(oneToNine)}, std::vector<float>(9, 0.0f)},
        {"MatrixInverse_4", {VFloats(Diagonal4(2, 4, 0.5f, 1))}, Diagonal4(0.5f, 0.25f, 2, 1)},
        {"MatrixInverse_4", {VFloats(std::vector<float>(16, 1.0f))}, std::vector<float>(16, 0.0f)},
        {"MatrixInverseTranspose_3", {VFloats(ones9)}, std::vector<float>(9, 0.0f)},
        {"MatrixInverseTranspose_4", {VFloats(translation)}, {1, 0, 0, -5, 0, 1, 0, -6, 0, 0, 1, -7, 0, 0, 0, 1}},
        {"MatrixTranspose_3", {VFloats(oneToNine)}, {1, 4, 7, 2, 5, 8, 3, 6, 9}},
        {"MatrixSum_3", {VFloats(oneToNine), VFloats(ones9)}, {2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"MatrixMultiplyMatrix_4", {VFloats(translation), VFloats(Diagonal4(2, 2, 2, 1))},
         {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 5, 6, 7, 1}},
        {"MatrixMultiplyVector_4", {VFloats(translation), VFloats({1, 1, 1, 1, 99})}, {6, 7, 8, 1}},
        {"MatrixMultiplyVector_3", {VFloats(oneToNine), VFloats({1, 0, 0})}, {1, 2, 3}},
        // Only the first nine or sixteen components are read.
        {"MatrixTranspose_3", {VFloats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})}, {1, 4, 7, 2, 5, 8, 3, 6, 9}},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_FALSE(o.error) << c.name << o.output;
        ExpectNear(o.result, c.result, c.name);
    }
    EXPECT_EQ(CallGlobal(vm, "MatrixDet_3", {VFloats({2, 0, 0, 0, 3, 0, 0, 0, 4})}).result, "24");
    EXPECT_EQ(CallGlobal(vm, "MatrixDet_4", {VFloats(Diagonal4(2, 4, 0.5f, 3))}).result, "12");
}

TEST_F(MathFunctions, InvertMatrixAndNormWriteTheirParameter) {
    struct Case {
        const char* name;
        std::vector<float> param;
        const char* answer;
        std::vector<float> after;
    } cases[] = {
        {"InvertMatrix", kIdentity4, "True", kIdentity4},
        {"InvertMatrix", std::vector<float>(16, 1.0f), "False", std::vector<float>(16, 1.0f)},
        {"InvertMatrix", Diagonal4(2, 4, 0.5f, 1), "True", Diagonal4(0.5f, 0.25f, 2, 1)},
        {"Norm", {3, 4, 0}, "[ 0.6 , 0.8 , 0 ]", {0.6f, 0.8f, 0}},
        {"Norm", {0, 0, 0, 2}, "[ 0 , 0 , 0 , 1 ]", {0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallWritingParam1(vm, c.name, VFloats(c.param));
        EXPECT_FALSE(o.error) << c.name << o.output;
        const size_t split = o.output.find('\n');
        ASSERT_NE(split, std::string::npos) << o.output;
        EXPECT_EQ(o.output.substr(0, split), c.answer) << c.name;
        ExpectNear(o.output.substr(split + 1), c.after, c.name);
    }
    // A zero Vector has no direction.
    const CallOutcome zero = CallGlobal(vm, "Norm", {VFloats({0, 0, 0})});
    EXPECT_NE(zero.result.find("nan"), std::string::npos) << zero.result;
}

TEST_F(MathFunctions, Quaternions) {
    const float h = std::sqrt(0.5f);
    const std::vector<float> q = {0.1f, 0.2f, 0.3f, 0.927362f};
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        std::vector<float> result;
    } cases[] = {
        {"EulerToQuaternion", {VFloats({90, 0, 0})}, {h, 0, 0, h}},
        // x first, then y: 90 about x then 90 about y.
        {"EulerToQuaternion", {VFloats({90, 90, 0})}, {0.5f, 0.5f, 0.5f, 0.5f}},
        {"QuaternionToEuler", {VFloats({0, 0.5f, 0, std::sqrt(0.75f)})}, {0, 60, 0}},
        {"QuaternionToEuler", {VFloats({0, 0, -h, h})}, {0, 0, -90}},
        {"QuaternionProduct", {VFloats({0, 0, 0, 1}), VFloats(q)}, q},
        {"QuaternionProduct", {VFloats(q), VFloats({0, 0, 0, 1})}, q},
        {"QuaternionProduct", {VFloats({1, 0, 0, 0}), VFloats({0, 1, 0, 0})}, {0, 0, 1, 0}},
        {"QuaternionSum", {VFloats(q), VFloats({1, 1, 1, 1})}, {1.1f, 1.2f, 1.3f, 1.927362f}},
        {"QuaternionDiff", {VFloats(q), VFloats({1, 1, 1, 1})}, {-0.9f, -0.8f, -0.7f, -0.072638f}},
        {"QuaternionToMatrix3", {VFloats({0, 0, 0, 1})}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"Matrix3ToQuaternion", {VFloats({0, 1, 0, -1, 0, 0, 0, 0, 1})}, {0, 0, h, h}},
        {"AxisAngleToQuaternion", {VFloats({0, 0, 1, float(M_PI / 2)})}, {0, 0, h, h}},
        {"AngleAxisToQuaternion", {VFloats({float(M_PI / 2), 0, 0, 1})}, {0, 0, h, h}},
        {"QuaternionToAxisAngle", {VFloats({0, 0, h, h})}, {0, 0, 1, float(M_PI / 2)}},
        {"QuaternionToAngleAxis", {VFloats({0, 0, h, h})}, {float(M_PI / 2), 0, 0, 1}},
        {"QuaternionSlerp", {VFloats({0, 0, 0, 1}), VFloats({0, 0, 1, 0}), VReal(0.5f)}, {0, 0, h, h}},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_FALSE(o.error) << c.name << o.output;
        ExpectNear(o.result, c.result, c.name);
    }
    EXPECT_EQ(CallGlobal(vm, "EulerToQuaternion", {VFloats({90, 0, 0})}).result, "[ 0.707107 , 0 , 0 , 0.707107 ]");
}

TEST_F(MathFunctions, VectorRotateTakesTheAxisEitherWay) {
    struct Case {
        std::vector<Opnd> args;
        std::vector<float> result;
    } cases[] = {
        {{VInt(90), VFloats({0, 0, 1}), VFloats({1, 0, 0})}, {0, 1, 0}},
        {{VInt(90), VInt(0), VInt(0), VInt(1), VFloats({1, 0, 0})}, {0, 1, 0}},
        // The axis need not be a unit vector; missing components are 0.
        {{VInt(90), VFloats({0, 0, 5}), VFloats({2, 0})}, {0, 2, 0}},
        {{VInt(90), VFloats({0, 0, 5}), VFloats({2, 0, 0}), Bool(true)}, {0, 1, 0}},
        {{VInt(-90), VInt(1), VInt(0), VInt(0), VFloats({0, 1, 0}), Bool(false)}, {0, 0, -1}},
        // About no axis the point stays where it is.
        {{VInt(90), VFloats({0, 0, 0}), VFloats({1, 2, 3})}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, "VectorRotate", c.args);
        EXPECT_FALSE(o.error) << o.output;
        ExpectNear(o.result, c.result, "VectorRotate");
    }
}

TEST_F(MathFunctions, BezierPoints) {
    auto curve = [&](const std::vector<std::vector<float>>& points, float t) {
        MethodScript s("MAIN");
        const Opnd array = s.Local(VInt(0));
        s.Builder().Emit(OP_ARRAY, I(0), None(), array);
        for (const std::vector<float>& p : points) s.Builder().Emit(OP_ARRAY_APPEND, VFloats(p), None(), array);
        s.Record(s.Global("SetBezierCurve", {array, VReal(t)}));
        const CallOutcome o = RunScript(vm, s);
        EXPECT_FALSE(o.error) << o.output;
        return o.output.substr(0, o.output.find('\n'));
    };
    const std::vector<std::vector<float>> arch = {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}};
    EXPECT_EQ(curve(arch, 0.5f), "[ 1 , 1 , 0 ]");
    EXPECT_EQ(curve(arch, 1.0f), "[ 2 , 0 , 0 ]");
    EXPECT_EQ(curve(arch, 0.0f), "[ 0 , 0 , 0 ]");
    ExpectNear(curve({{0, 0}, {1, 2, 0, 7}, {2}}, 0.25f), {0.5f, 0.75f, 0}, "short and long points");
    // Binomial weights of many points stay finite and add up to 1.
    for (int n : {200, 2000}) {
        const std::vector<std::vector<float>> same(n, {1, 2, 3});
        ExpectNear(curve(same, 0.3f), {1, 2, 3}, "many points");
    }
}

TEST_F(MathFunctions, BadParametersStopTheScriptWithTheirMessage) {
    const Opnd m16 = VFloats(std::vector<float>(16, 1.0f));
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* message;
    } cases[] = {
        {"Rand", {VInt(32768)}, "RAND: This numeric value must be between 0 and 32767."},
        {"Rand", {VInt(-1)}, "RAND: This numeric value must be between 0 and 32767."},
        {"MatrixSum_4", {m16, VFloats(std::vector<float>(15, 1.0f))},
         "MATRIXSUM_4: Param n. 2 must be a vector of 16 components length."},
        {"MatrixSum_4", {VFloats({1}), VInt(3)}, "MATRIXSUM_4: Param n. 1 must be a vector of 16 components length."},
        {"QuaternionProduct", {VFloats({0, 0, 0, 1}), VInt(3)}, "QUATERNIONPRODUCT: Param n. 2 must be a vector."},
        {"MatrixMultiplyVector_4", {m16, VFloats({1, 1, 1})},
         "MATRIXMULTIPLYVECTOR_4: Param n. 2 must be a vector of 4 components length."},
        {"InvertMatrix", {VFloats({1, 0, 0, 1})}, "INVERTMATRIX: Param n. 1 must be a vector of 16 components length."},
        {"EulerToQuaternion", {VInt(90)}, "EULERTOQUATERNION: Param n. 1 must be a vector."},
        {"VectorRotate", {VInt(90), VFloats({0, 0, 1}), VInt(1)}, "VECTORROTATE: Param n. 3 must be a vector."},
        {"VectorRotate", {VInt(90), VInt(0), VInt(0), VInt(1), VStr("p")},
         "VECTORROTATE: Param n. 5 must be a vector."},
        {"SetBezierCurve", {VFloats({1, 2, 3}), VReal(0.5f)}, "SETBEZIERCURVE: Param 1 must be an array of vectors."},
        {"Norm", {VInt(3)}, "NORM: "},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_TRUE(o.error) << c.name;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.name << ": " << o.output;
    }
}

TEST_F(MathFunctions, SetBezierCurveChecksItsPointsAndT) {
    struct Case {
        std::vector<Opnd> points;
        float t;
        const char* message;
    } cases[] = {
        {{VFloats({0, 0, 0}), VFloats({1, 1, 1})}, 0.5f, "Array lenght must be >= 3 elements."},
        {{VFloats({0, 0, 0}), VInt(1), VFloats({1, 1, 1})}, 0.5f, "Param 1 must be an array of vectors."},
        {{VFloats({0, 0, 0}), VFloats({1, 1, 1}), VFloats({2, 2, 2})}, 1.5f,
         "This numeric value must be between 0.000000 and 1.000000."},
        {{VFloats({0, 0, 0}), VFloats({1, 1, 1}), VFloats({2, 2, 2})}, -0.01f,
         "This numeric value must be between 0.000000 and 1.000000."},
    };
    for (const Case& c : cases) {
        MethodScript s("MAIN");
        const Opnd array = s.Local(VInt(0));
        s.Builder().Emit(OP_ARRAY, I(0), None(), array);
        for (const Opnd& p : c.points) s.Builder().Emit(OP_ARRAY_APPEND, p, None(), array);
        s.Record(s.Global("SetBezierCurve", {array, VReal(c.t)}));
        const CallOutcome o = RunScript(vm, s);
        EXPECT_TRUE(o.error);
        EXPECT_NE(o.output.find(std::string("SETBEZIERCURVE: ") + c.message), std::string::npos) << o.output;
    }
}
