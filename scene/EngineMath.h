// Vector, matrix and quaternion functions shared by the whole engine: the
// scene, nodes, cameras, meshes, characters and the script math functions.
//
// Plain free functions over caller-provided float arrays. Nothing here
// allocates, touches GL or keeps state (apart from the cosine table of
// EncodeDirection16, built once on first use, thread-safe).
//
// Conventions:
// - Vectors are 3 floats (x, y, z); four-float vectors carry w last.
// - 4x4 matrices are 16 floats in OpenGL column-major order: element
//   [c * 4 + r] is row r of column c, the translation sits in 12, 13, 14.
//   3x3 matrices are 9 floats, column-major the same way ([c * 3 + r]).
//   EulerToMatrix4 is the one builder whose arrays are row-major.
// - Quaternions are 4 floats x, y, z, w (w last), not necessarily unit.
// - Axis-angle arrays come in two layouts, [x, y, z, angle] ("AxisAngle")
//   and [angle, x, y, z] ("AngleAxis"); their angle is in radians.
// - Euler conversions take and return degrees unless their radians flag is
//   set; VectorRotateAxisAngle takes degrees.
// - Results go through the last pointer argument unless stated. Inputs and
//   outputs must not overlap, except where a function says so.
#pragma once

#include <cstdint>

// Degrees to radians and back, as every engine rotation converts them.
constexpr float kDegreesToRadians = 0.0174532925199433f;
constexpr float kRadiansToDegrees = 57.29577951308232f;

// --- Vectors ---------------------------------------------------------------

float FloatSqrt(float x);
float VectorLength(const float* v);
float VectorDot(const float* a, const float* b);
// out = a x b. out may be a or b.
void VectorCross(const float* a, const float* b, float* out);
float VectorDistance(const float* a, const float* b);
// Squared distance: no square root, for comparisons.
float VectorDistanceSquared(const float* a, const float* b);
// Normalises the n floats of v in place and returns their former length;
// a zero vector stays as it is (and 0 is returned).
float VectorNormalize(float* v, int n);
// Divides v by its length in place without a zero test: the fast form for
// vectors known not to be zero (a zero vector becomes NaN).
void VectorNormalize3(float* v);
// out = normalised (b - a) x (c - a); a degenerate triangle gives (0, 0, 0).
void TriangleNormal(const float* a, const float* b, const float* c, float* out);
// Rotates p in place by angleDegrees about the unit axis (ax, ay, az)
// through the origin (Rodrigues' form).
void VectorRotateAxisAngle(float angleDegrees, float ax, float ay, float az, float* p);

// --- Matrices --------------------------------------------------------------

void MatrixIdentity4(float* out);
void MatrixIdentity3(float* out);
void MatrixTranspose4(const float* m, float* out);
void MatrixTranspose3(const float* m, float* out);
void MatrixSum4(const float* a, const float* b, float* out);
void MatrixSum3(const float* a, const float* b, float* out);
// out = A B (apply B first, then A).
void MatrixMultiply4(const float* a, const float* b, float* out);
void MatrixMultiply3(const float* a, const float* b, float* out);
// out = M v for a 4-vector.
void MatrixMultiplyVector4(const float* m, const float* v, float* out);
// out[i] = sum over j of M[4 i + j] v[j]: the transpose of M times v (for a
// rotation, the inverse rotation).
void MatrixTransposeMultiplyVector4(const float* m, const float* v, float* out);
void MatrixMultiplyVector3(const float* m, const float* v, float* out);
float MatrixDeterminant3(const float* m);
float MatrixDeterminant4(const float* m);
// Inverse into out; -1 when the determinant is exactly 0 (out untouched),
// else 0.
int MatrixInverse3(const float* m, float* out);
// The transpose of the inverse (the normal matrix); -1 when singular.
int MatrixInverseTranspose3(const float* m, float* out);
// Inverse by cofactors into out, or into m itself when out is null; -1 when
// the determinant is exactly 0 (nothing written), else 0.
int MatrixInverse4(float* m, float* out);
// The transpose of MatrixInverse4's result; -1 when singular.
int MatrixInverseTranspose4(const float* m, float* out);
// The rotation Rx(a) Ry(b) Rz(c) (radians) as 16 row-major floats: read in
// the column-major convention it is the transpose, (Rz Ry Rx) transposed.
void EulerToMatrix4(float* out, float a, float b, float c);

// --- Quaternions -----------------------------------------------------------

// From [x, y, z, angle] or [angle, x, y, z] (radians, unit axis).
void AxisAngleToQuaternion(const float* axisAngle, float* out);
void AngleAxisToQuaternion(const float* angleAxis, float* out);
// To [x, y, z, angle] or [angle, x, y, z]. A (near) zero rotation keeps the
// quaternion's own x, y, z as axis (the identity gives axis (0, 0, 0)).
void QuaternionToAxisAngle(const float* q, float* out);
void QuaternionToAngleAxis(const float* q, float* out);
// out = q1 q2 (Hamilton product: rotate by q2 first, then q1). out may be
// q1 or q2.
void QuaternionProduct(float* out, const float* q1, const float* q2);
void QuaternionSum(const float* q1, const float* q2, float* out);
void QuaternionDiff(const float* q1, const float* q2, float* out);
// A column-major 3x3 rotation; a non-unit quaternion still gives a rotation.
void QuaternionToMatrix3(const float* q, float* out);
// The quaternion of a column-major 3x3 rotation.
void Matrix3ToQuaternion(const float* m, float* out);
// Euler angles (x, y, z) of q, in degrees unless radians is set; y stays
// finite at gimbal lock.
void QuaternionToEuler(const float* q, float* out, uint8_t radians);
// The quaternion of the Euler angles (degrees unless radians is set): with
// order set (qx qy) qz, otherwise (qz qy) qx.
void EulerToQuaternion(float x, float y, float z, float* out, uint8_t order, uint8_t radians);
// Spherical interpolation from q1 (t = 0) to q2 (t = 1). No sign flip for
// a negative dot product: it may take the longer arc, as the animation
// tracks expect.
void QuaternionSlerp(const float* q1, const float* q2, double t, float* out);

// --- Others ----------------------------------------------------------------

// Segment p0..p1 against triangle (a, b, c) with plane normal n: -1 when n
// has a NaN; 0 when the segment is parallel to the plane, does not cross it
// between p0 and p1, or crosses it outside the triangle; 1 on a hit. The
// plane crossing is written to hit whenever the plane is crossed, also when
// the result is 0 because it lies outside the triangle.
int SegmentTriangleIntersect(const float* p0, const float* p1, const float* a, const float* b,
                             const float* c, float* hit, const float* n);
// Writes 0 .. n - 1 to indices, ordered by keys[index]: ascending for mode
// 1 (near first), descending for any other mode (far first). Keys that are
// NaN come last in either mode; the order of equal keys is unspecified.
// Re-entrant; returns 0.
int SortIndicesByDepth(int mode, int n, const float* keys, int* indices);
// A 16-bit code of a direction: two quantised angles (three bits and a sign
// each, masked with 0xF0F0), found by a binary search in a cosine table.
uint16_t EncodeDirection16(const float* v);
// Kochanek-Bartels tangent of one value at `current`: which 0 gives the
// outgoing tangent, 1 the incoming one, anything else 0. Tension,
// continuity and bias 0 give the Catmull-Rom tangent (next - previous) / 2.
float TcbTangent(int which, float tension, float continuity, float bias, float previous,
                 float current, float next);
// Ease curve mapping 0 to 0 and 1 to 1 with start slope 2a / (a + b) and end
// slope 2b / (a + b); a + b must not be 0.
float TcbEase(float a, float b, float t);
