#include "functions/CVmMathFunctions.h"

#include <cmath>
#include <cstring>

#include "functions/ScriptRandom.h"
#include "scene/EngineMath.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kRandDefaultMax = 1000;
constexpr int32_t kRandMax = 32767;

// The library's functions in the shapes the shared handlers take.
void Inverse4(const float* m, float* out) {
    // A singular matrix leaves out as it is: all zeros.
    float copy[16];
    std::memcpy(copy, m, sizeof copy);
    MatrixInverse4(copy, out);
}
void Inverse3(const float* m, float* out) { MatrixInverse3(m, out); }
void InverseTranspose4(const float* m, float* out) { MatrixInverseTranspose4(m, out); }
void InverseTranspose3(const float* m, float* out) { MatrixInverseTranspose3(m, out); }
void Product(const float* q1, const float* q2, float* out) { QuaternionProduct(out, q1, q2); }
void ToEuler(const float* q, float* out) { QuaternionToEuler(q, out, 0); }

// The first three components of a Vector, 0 for those it lacks.
void FirstThree(const CVmVector& v, float* out) {
    for (int32_t i = 0; i < 3; ++i) out[i] = v.GetAt(i);
}

}  // namespace

void CVmMathFunctions::AddFunctions() {
    using M = CVmMathFunctions;
    AddFunction("Atan2", &M::Atan2);
    AddFunction("Ceil", &M::Ceil);
    AddFunction("Floor", &M::Floor);
    AddFunction("ToFloat", &M::ToFloat);
    AddFunction("Rand", &M::Rand);
    AddFunction("Norm", &M::Norm);
    AddFunction("VectorRotate", &M::VectorRotate);
    AddFunction("MatrixIdentity_4", &M::Constant<16, MatrixIdentity4>);
    AddFunction("MatrixIdentity_3", &M::Constant<9, MatrixIdentity3>);
    AddFunction("MatrixDet_4", &M::Scalar<16, MatrixDeterminant4>);
    AddFunction("MatrixDet_3", &M::Scalar<9, MatrixDeterminant3>);
    AddFunction("MatrixInverse_4", &M::Unary<16, 16, Inverse4>);
    AddFunction("MatrixInverse_3", &M::Unary<9, 9, Inverse3>);
    AddFunction("MatrixTranspose_4", &M::Unary<16, 16, MatrixTranspose4>);
    AddFunction("MatrixTranspose_3", &M::Unary<9, 9, MatrixTranspose3>);
    AddFunction("MatrixInverseTranspose_4", &M::Unary<16, 16, InverseTranspose4>);
    AddFunction("MatrixInverseTranspose_3", &M::Unary<9, 9, InverseTranspose3>);
    AddFunction("MatrixSum_4", &M::Binary<16, 16, MatrixSum4>);
    AddFunction("MatrixSum_3", &M::Binary<9, 9, MatrixSum3>);
    AddFunction("MatrixMultiplyMatrix_4", &M::Binary<16, 16, MatrixMultiply4>);
    AddFunction("MatrixMultiplyMatrix_3", &M::Binary<9, 9, MatrixMultiply3>);
    AddFunction("MatrixMultiplyVector_4", &M::Binary<16, 4, MatrixMultiplyVector4>);
    AddFunction("MatrixMultiplyVector_3", &M::Binary<9, 3, MatrixMultiplyVector3>);
    AddFunction("InvertMatrix", &M::InvertMatrix);
    AddFunction("AxisAngleToQuaternion", &M::Unary<4, 4, AxisAngleToQuaternion>);
    AddFunction("QuaternionToAxisAngle", &M::Unary<4, 4, QuaternionToAxisAngle>);
    AddFunction("AngleAxisToQuaternion", &M::Unary<4, 4, AngleAxisToQuaternion>);
    AddFunction("QuaternionToAngleAxis", &M::Unary<4, 4, QuaternionToAngleAxis>);
    AddFunction("QuaternionToMatrix3", &M::Unary<4, 9, QuaternionToMatrix3>);
    AddFunction("Matrix3ToQuaternion", &M::Unary<9, 4, Matrix3ToQuaternion>);
    AddFunction("EulerToQuaternion", &M::EulerToQuaternion);
    AddFunction("QuaternionToEuler", &M::Unary<4, 3, ToEuler>);
    AddFunction("QuaternionSum", &M::Binary<4, 4, QuaternionSum>);
    AddFunction("QuaternionDiff", &M::Binary<4, 4, QuaternionDiff>);
    AddFunction("QuaternionProduct", &M::Binary<4, 4, Product>);
    AddFunction("QuaternionSlerp", &M::QuaternionSlerp);
    AddFunction("SetBezierCurve", &M::SetBezierCurve);
    AddFunction("GetBezierPoint", &M::GetBezierPoint);
}

// ---------------------------------------------------------------------------
// The shared shapes

template <int Out, void (*F)(float*)>
void CVmMathFunctions::Constant(CVmClassBase*, int) {
    float out[Out];
    F(out);
    VmReturnVector(out, Out);
}

template <int In, int Out, void (*F)(const float*, float*)>
void CVmMathFunctions::Unary(CVmClassBase*, int) {
    VmVectorParam a(In);
    if (!ReadParams(a)) return;
    float out[Out] = {};
    F(a.Data(), out);
    VmReturnVector(out, Out);
}

// Two Vectors of at least In and Second components; the result has Second
// components (a matrix times a vector gives a vector).
template <int In, int Second, void (*F)(const float*, const float*, float*)>
void CVmMathFunctions::Binary(CVmClassBase*, int) {
    VmVectorParam a(In), b(Second);
    if (!ReadParams(a, b)) return;
    float out[Second] = {};
    F(a.Data(), b.Data(), out);
    VmReturnVector(out, Second);
}

template <int In, float (*F)(const float*)>
void CVmMathFunctions::Scalar(CVmClassBase*, int) {
    VmVectorParam a(In);
    if (ReadParams(a)) VmReturnReal(F(a.Data()));
}

// ---------------------------------------------------------------------------
// Numbers

void CVmMathFunctions::Atan2(CVmClassBase*, int) {
    float y, x;
    if (ReadParams(y, x)) VmReturnReal(std::atan2(y, x));
}

void CVmMathFunctions::Ceil(CVmClassBase*, int) {
    float x;
    if (ReadParams(x)) VmReturnReal(std::ceil(x));
}

void CVmMathFunctions::Floor(CVmClassBase*, int) {
    float x;
    if (ReadParams(x)) VmReturnReal(std::floor(x));
}

// The parameter is read as an Integer: a Real loses its fraction first.
void CVmMathFunctions::ToFloat(CVmClassBase*, int) {
    int32_t x;
    if (ReadParams(x)) VmReturnReal(static_cast<float>(x));
}

void CVmMathFunctions::Rand(CVmClassBase*, int) {
    int32_t max;
    if (!ReadParams(Optional(max, kRandDefaultMax))) return;
    if (max < 0 || max > kRandMax) return VmErrorMsg(2015, 0, kRandMax);
    VmReturnInteger(ScriptRandom() % (max + 1));
}

// ---------------------------------------------------------------------------
// Vectors

// Scales the script's Vector itself (the variable passed holds the unit
// vector afterwards) and answers a copy. A zero Vector divides by zero.
void CVmMathFunctions::Norm(CVmClassBase*, int) {
    CVmVector* v = GetParamVector(1, false);
    if (!v) {
        VmErrorStream();
        return;
    }
    float sum = 0.0f;
    for (int32_t i = 0; i < v->count; ++i) sum += v->data[i] * v->data[i];
    const float scale = 1.0f / std::sqrt(sum);
    for (int32_t i = 0; i < v->count; ++i) v->data[i] *= scale;
    VmReturnVector(v->data, v->count);
}

// VectorRotate(angle, axis, point [, normalise]) or
// VectorRotate(angle, ax, ay, az, point [, normalise]).
void CVmMathFunctions::VectorRotate(CVmClassBase*, int) {
    float angle;
    if (!ReadParam(1, angle)) return;
    float axis[3];
    int32_t pointParam = 3;
    if (const CVmVector* v = GetParamVector(2, false)) {
        FirstThree(*v, axis);
    } else {
        if (!ReadParam(2, axis[0]) || !ReadParam(3, axis[1]) || !ReadParam(4, axis[2])) return;
        pointParam = 5;
    }
    VmVectorParam pointValue;
    if (!ReadParam(pointParam, pointValue, false)) {
        if (CheckParam(pointParam)) VmErrorMsg(2012, pointParam);
        return;
    }
    float point[3];
    FirstThree(*pointValue.Vector(), point);
    bool normalise = false;
    if (!ReadParam(pointParam + 1, Optional(normalise))) return;
    if (normalise) VectorNormalize(point, 3);
    // The rotation needs a unit axis; about no axis at all the point stays.
    if (VectorNormalize(axis, 3) != 0.0f) VectorRotateAxisAngle(angle, axis[0], axis[1], axis[2], point);
    VmReturnVector(point, 3);
}

// ---------------------------------------------------------------------------
// Matrices and quaternions

// Inverts the script's matrix itself; a singular one stays as it is.
void CVmMathFunctions::InvertMatrix(CVmClassBase*, int) {
    VmVectorParam m(16);
    if (ReadParams(m)) VmReturnBool(MatrixInverse4(m.Data(), nullptr) == 0);
}

// Euler angles in degrees, applied x first: q = (qx qy) qz.
void CVmMathFunctions::EulerToQuaternion(CVmClassBase*, int) {
    VmVectorParam angles(3);
    if (!ReadParams(angles)) return;
    float q[4];
    ::EulerToQuaternion(angles[0], angles[1], angles[2], q, 1, 0);
    VmReturnVector(q, 4);
}

void CVmMathFunctions::QuaternionSlerp(CVmClassBase*, int) {
    VmVectorParam q1(4), q2(4);
    float t;
    if (!ReadParams(q1, q2, t)) return;
    float q[4];
    ::QuaternionSlerp(q1.Data(), q2.Data(), t, q);
    VmReturnVector(q, 4);
}

// ---------------------------------------------------------------------------
// Bezier curves

// The point at t of the Bezier curve of the Array's control points: the
// sum of binomial(n, i) t^i (1 - t)^(n - i) P_i, added up in floats.
void CVmMathFunctions::SetBezierCurve(CVmClassBase*, int) {
    CVmArray* points = GetParamArray(1, false);
    if (!points) return VmErrorMsg(2009);
    if (points->count < 3) return VmErrorMsg(2010);
    for (int32_t i = 0; i < points->count; ++i) {
        const CVmValue* p = points->GetAt(i);
        if (!p || p->type != VmValueType::Vector) return VmErrorMsg(2009);
    }
    float t;
    if (!ReadParam(2, t)) return;
    if (!(t >= 0.0f && t <= 1.0f)) return VmErrorMsg(2016, 0.0, 1.0);
    const int32_t n = points->count - 1;
    float out[3];
    if (t == 1.0f) {
        FirstThree(*points->GetAt(n)->asVector, out);
        return VmReturnVector(out, 3);
    }
    // Each weight from the one before, in logarithms: the binomial
    // coefficients and the powers of a curve of thousands of points would
    // overflow and underflow on their own, their products never do.
    const double logRatio = std::log(static_cast<double>(t)) - std::log1p(-static_cast<double>(t));
    double logWeight = n * std::log1p(-static_cast<double>(t));
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i <= n; ++i) {
        const double weight = std::exp(logWeight);
        FirstThree(*points->GetAt(i)->asVector, out);
        for (int c = 0; c < 3; ++c) sum[c] += static_cast<float>(weight * out[c]);
        logWeight += std::log(static_cast<double>(n - i) / (i + 1)) + logRatio;
    }
    VmReturnVector(sum, 3);
}

void CVmMathFunctions::GetBezierPoint(CVmClassBase*, int) {}
