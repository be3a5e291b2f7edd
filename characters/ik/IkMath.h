// The small math of the limb solver: 4x4 transforms, principal rotations,
// triangle and trigonometric equations, and angle wrapping. The library
// stands alone (no engine headers), so the skeleton's chains and the tests
// can use it as it is.
//
// Conventions:
// - A VRMatrix4 is 16 floats in column-major order: element (row r,
//   column c) is m[4 c + r], a point x maps to M x, and the translation
//   sits in 12, 13, 14.
// - Rx, Ry and Rz are the right-handed rotations of that convention.
// - Angles are radians; a normalised angle lies in [0, 2 pi].
// - Vectors are 3 floats.
#pragma once

// 2 pi and pi as the solver's single-precision code sees them.
constexpr float kIkTwoPi = 6.2831855f;
constexpr float kIkPi = 3.1415927f;

struct VRMatrix4 {
    float m[16];

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }

    static VRMatrix4 Identity();
    static VRMatrix4 Translation(float x, float y, float z);
};

// Normalises v in place and returns its former length; the zero vector stays
// and gives 0.
float IkNormalize(float* v);
float IkDot(const float* a, const float* b);
// out = a x b; out may be a or b.
void IkCross(const float* a, const float* b, float* out);

// The affine transform that applies A first, then B: B A in column-major
// terms, with bottom row (0, 0, 0, 1). out may be A or B.
void IkCompose(const VRMatrix4& a, const VRMatrix4& b, VRMatrix4& out);
// The same for the rotation parts only; the translation is zero.
void IkComposeRotation(const VRMatrix4& a, const VRMatrix4& b, VRMatrix4& out);
// Rx for 'x' or 'X', Ry for 'y' or 'Y', Rz for any other letter.
VRMatrix4 IkPrincipalRotation(char axis, float angle);
// out = a + t (b - a), 3 floats.
void IkLerp(const float* a, const float* b, float t, float* out);
// Elements 12-14.
void IkGetTranslation(const VRMatrix4& m, float* out);
// out = M p for a point (translation included).
void IkTransformPoint(const VRMatrix4& m, const float* p, float* out);

// The angle between sides a and b of a triangle whose third side is c:
// acos((a^2 + b^2 - c^2) / (2 a b)). False, angle untouched, when the
// cosine's magnitude exceeds 1 (no such triangle).
bool LawOfCosines(float a, float b, float c, float* angle);

// The roots t of a cos t + b sin t = c: 0, 1 or 2 of them in roots (two in
// the order phi + delta, phi - delta, each wrapped into [-pi, pi]). A
// discriminant slightly below 0 (relative 1e-6) is taken as a tangent.
int SolveCosSin(float a, float b, float c, float* roots);

// Into [-pi, pi] by whole turns.
float WrapAngle(float angle);
// Into [0, 2 pi]: a value within 1e-5 of 2 pi becomes 2 pi; otherwise whole
// turns are removed, a result within 1e-5 of 0 becomes 0 and a negative
// one gets a turn added.
float NormalizeAngle(float angle);
