// The global functions of math: rounding, random numbers, vectors, 3x3 and
// 4x4 matrices, quaternions and the point of a Bezier curve.
//
// Matrices, quaternions and points travel as script Vectors of at least 16,
// 9, 4 or 3 components (only those are read); every result is a new Vector of
// exactly that many. The arithmetic is the engine's (scene/EngineMath.h).
#pragma once

#include "functions/FunctionTable.h"

class CVmMathFunctions : public CVmFunctionGroup {
public:
    CVmMathFunctions() : CVmFunctionGroup(FunctionGroup::Math) {}

protected:
    void AddFunctions() override;

private:
    void Atan2(CVmClassBase* object, int mode);
    void Ceil(CVmClassBase* object, int mode);
    void Floor(CVmClassBase* object, int mode);
    void ToFloat(CVmClassBase* object, int mode);
    void Rand(CVmClassBase* object, int mode);
    void Norm(CVmClassBase* object, int mode);
    void VectorRotate(CVmClassBase* object, int mode);
    void InvertMatrix(CVmClassBase* object, int mode);
    void EulerToQuaternion(CVmClassBase* object, int mode);
    void QuaternionSlerp(CVmClassBase* object, int mode);
    void SetBezierCurve(CVmClassBase* object, int mode);
    void GetBezierPoint(CVmClassBase* object, int mode);

    // The shapes most functions share: no parameter, one or two Vectors of
    // at least the components they are read for, a result Vector or a Real.
    template <int Out, void (*F)(float*)>
    void Constant(CVmClassBase* object, int mode);
    template <int In, int Out, void (*F)(const float*, float*)>
    void Unary(CVmClassBase* object, int mode);
    template <int In, int Second, void (*F)(const float*, const float*, float*)>
    void Binary(CVmClassBase* object, int mode);
    template <int In, float (*F)(const float*)>
    void Scalar(CVmClassBase* object, int mode);
};
