#include "EngineMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// --- Vectors ---------------------------------------------------------------

float FloatSqrt(float x) { return std::sqrt(x); }

float VectorLength(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

float VectorDot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void VectorCross(const float* a, const float* b, float* out) {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - b[0] * a[1];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

float VectorDistanceSquared(const float* a, const float* b) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

float VectorDistance(const float* a, const float* b) { return std::sqrt(VectorDistanceSquared(a, b)); }

float VectorNormalize(float* v, int n) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += v[i] * v[i];
    const float length = std::sqrt(sum);
    if (length == 0.0f) return 0.0f;
    for (int i = 0; i < n; ++i) v[i] /= length;
    return length;
}

void VectorNormalize3(float* v) {
    const float length = VectorLength(v);
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void TriangleNormal(const float* a, const float* b, const float* c, float* out) {
    const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    VectorCross(e1, e2, out);
    VectorNormalize(out, 3);
}

void VectorRotateAxisAngle(float angleDegrees, float ax, float ay, float az, float* p) {
    const float theta = angleDegrees * kDegreesToRadians;
    const float cosT = std::cos(theta), sinT = std::sin(theta);
    const float axis[3] = {ax, ay, az};
    const float along = VectorDot(p, axis);
    const float c[3] = {along * ax, along * ay, along * az};
    float turn[3];
    VectorCross(axis, p, turn);
    for (int i = 0; i < 3; ++i) p[i] = c[i] + (p[i] - c[i]) * cosT + turn[i] * sinT;
}

// --- Matrices --------------------------------------------------------------

void MatrixIdentity4(float* out) {
    for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void MatrixIdentity3(float* out) {
    for (int i = 0; i < 9; ++i) out[i] = (i % 4 == 0) ? 1.0f : 0.0f;
}

void MatrixTranspose4(const float* m, float* out) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) out[c * 4 + r] = m[r * 4 + c];
}

void MatrixTranspose3(const float* m, float* out) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) out[c * 3 + r] = m[r * 3 + c];
}

void MatrixSum4(const float* a, const float* b, float* out) {
    for (int i = 0; i < 16; ++i) out[i] = a[i] + b[i];
}

void MatrixSum3(const float* a, const float* b, float* out) {
    for (int i = 0; i < 9; ++i) out[i] = a[i] + b[i];
}

void MatrixMultiply4(const float* a, const float* b, float* out) {
    // Column c of the product is A times column c of B: four columns of A
    // scaled and summed. The product goes to a local first, so no store can
    // alias A or B and the compiler keeps them in vector registers.
    float r[16];
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 4; ++i)
            r[c * 4 + i] = a[i] * b[c * 4] + a[4 + i] * b[c * 4 + 1] + a[8 + i] * b[c * 4 + 2] +
                           a[12 + i] * b[c * 4 + 3];
    std::memcpy(out, r, sizeof r);
}

void MatrixMultiply3(const float* a, const float* b, float* out) {
    float r[9];  // local for the same reason as in MatrixMultiply4
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i) r[c * 3 + i] = a[i] * b[c * 3] + a[3 + i] * b[c * 3 + 1] + a[6 + i] * b[c * 3 + 2];
    std::memcpy(out, r, sizeof r);
}

void MatrixMultiplyVector4(const float* m, const float* v, float* out) {
    float r[4];
    for (int i = 0; i < 4; ++i) r[i] = m[i] * v[0] + m[4 + i] * v[1] + m[8 + i] * v[2] + m[12 + i] * v[3];
    std::memcpy(out, r, sizeof r);
}

void MatrixTransposeMultiplyVector4(const float* m, const float* v, float* out) {
    float r[4];
    for (int i = 0; i < 4; ++i) r[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2] + m[4 * i + 3] * v[3];
    std::memcpy(out, r, sizeof r);
}

void MatrixMultiplyVector3(const float* m, const float* v, float* out) {
    float r[3];
    for (int i = 0; i < 3; ++i) r[i] = m[i] * v[0] + m[3 + i] * v[1] + m[6 + i] * v[2];
    std::memcpy(out, r, sizeof r);
}

namespace {

// The cofactors of a 3x3 matrix, laid out as its adjugate. A determinant and
// an inverse do not depend on whether the array is read by rows or by
// columns (the inverse of the transpose is the transpose of the inverse),
// so the formulas below read a[r][c] = m[r * 3 + c] throughout.
void Adjugate3(const float* m, float* adj) {
    adj[0] = m[4] * m[8] - m[5] * m[7];
    adj[1] = m[2] * m[7] - m[1] * m[8];
    adj[2] = m[1] * m[5] - m[2] * m[4];
    adj[3] = m[5] * m[6] - m[3] * m[8];
    adj[4] = m[0] * m[8] - m[2] * m[6];
    adj[5] = m[2] * m[3] - m[0] * m[5];
    adj[6] = m[3] * m[7] - m[4] * m[6];
    adj[7] = m[1] * m[6] - m[0] * m[7];
    adj[8] = m[0] * m[4] - m[1] * m[3];
}

// The 2x2 minors of the upper (s) and lower (c) two rows of a 4x4 matrix,
// from which its determinant and every cofactor follow (Laplace expansion
// along the first two rows). Same row-or-column freedom as above.
struct Minors4 {
    float s[6], c[6];
    explicit Minors4(const float* a) {
        s[0] = a[0] * a[5] - a[4] * a[1];
        s[1] = a[0] * a[6] - a[4] * a[2];
        s[2] = a[0] * a[7] - a[4] * a[3];
        s[3] = a[1] * a[6] - a[5] * a[2];
        s[4] = a[1] * a[7] - a[5] * a[3];
        s[5] = a[2] * a[7] - a[6] * a[3];
        c[5] = a[10] * a[15] - a[14] * a[11];
        c[4] = a[9] * a[15] - a[13] * a[11];
        c[3] = a[9] * a[14] - a[13] * a[10];
        c[2] = a[8] * a[15] - a[12] * a[11];
        c[1] = a[8] * a[14] - a[12] * a[10];
        c[0] = a[8] * a[13] - a[12] * a[9];
    }
    float Determinant() const {
        return s[0] * c[5] - s[1] * c[4] + s[2] * c[3] + s[3] * c[2] - s[4] * c[1] + s[5] * c[0];
    }
};

// The inverse of a into out (16 floats, may be a); -1 when singular.
int Inverse4(const float* a, float* out) {
    const Minors4 k(a);
    const float det = k.Determinant();
    if (det == 0.0f) return -1;
    const float f = 1.0f / det;
    const float* s = k.s;
    const float* c = k.c;
    float b[16];
    b[0] = (a[5] * c[5] - a[6] * c[4] + a[7] * c[3]) * f;
    b[1] = (-a[1] * c[5] + a[2] * c[4] - a[3] * c[3]) * f;
    b[2] = (a[13] * s[5] - a[14] * s[4] + a[15] * s[3]) * f;
    b[3] = (-a[9] * s[5] + a[10] * s[4] - a[11] * s[3]) * f;
    b[4] = (-a[4] * c[5] + a[6] * c[2] - a[7] * c[1]) * f;
    b[5] = (a[0] * c[5] - a[2] * c[2] + a[3] * c[1]) * f;
    b[6] = (-a[12] * s[5] + a[14] * s[2] - a[15] * s[1]) * f;
    b[7] = (a[8] * s[5] - a[10] * s[2] + a[11] * s[1]) * f;
    b[8] = (a[4] * c[4] - a[5] * c[2] + a[7] * c[0]) * f;
    b[9] = (-a[0] * c[4] + a[1] * c[2] - a[3] * c[0]) * f;
    b[10] = (a[12] * s[4] - a[13] * s[2] + a[15] * s[0]) * f;
    b[11] = (-a[8] * s[4] + a[9] * s[2] - a[11] * s[0]) * f;
    b[12] = (-a[4] * c[3] + a[5] * c[1] - a[6] * c[0]) * f;
    b[13] = (a[0] * c[3] - a[1] * c[1] + a[2] * c[0]) * f;
    b[14] = (-a[12] * s[3] + a[13] * s[1] - a[14] * s[0]) * f;
    b[15] = (a[8] * s[3] - a[9] * s[1] + a[10] * s[0]) * f;
    std::memcpy(out, b, sizeof b);
    return 0;
}

}  // namespace

float MatrixDeterminant3(const float* m) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) + m[1] * (m[5] * m[6] - m[3] * m[8]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

float MatrixDeterminant4(const float* m) { return Minors4(m).Determinant(); }

int MatrixInverse3(const float* m, float* out) {
    float adj[9];
    Adjugate3(m, adj);
    const float det = m[0] * adj[0] + m[1] * adj[3] + m[2] * adj[6];
    if (det == 0.0f) return -1;
    const float f = 1.0f / det;
    for (int i = 0; i < 9; ++i) out[i] = adj[i] * f;
    return 0;
}

int MatrixInverseTranspose3(const float* m, float* out) {
    float inverse[9];
    if (MatrixInverse3(m, inverse) != 0) return -1;
    MatrixTranspose3(inverse, out);
    return 0;
}

int MatrixInverse4(float* m, float* out) { return Inverse4(m, out ? out : m); }

int MatrixInverseTranspose4(const float* m, float* out) {
    float inverse[16];
    if (Inverse4(m, inverse) != 0) return -1;
    MatrixTranspose4(inverse, out);
    return 0;
}

void EulerToMatrix4(float* out, float a, float b, float c) {
    const float ca = std::cos(a), sa = std::sin(a);
    const float cb = std::cos(b), sb = std::sin(b);
    const float cc = std::cos(c), sc = std::sin(c);
    // Rows in memory order: these arrays are row-major on purpose.
    const float rx[16] = {1, 0, 0, 0, 0, ca, -sa, 0, 0, sa, ca, 0, 0, 0, 0, 1};
    const float ry[16] = {cb, 0, sb, 0, 0, 1, 0, 0, -sb, 0, cb, 0, 0, 0, 0, 1};
    const float rz[16] = {cc, -sc, 0, 0, sc, cc, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float zy[16];
    MatrixMultiply4(rz, ry, zy);
    MatrixMultiply4(zy, rx, out);
}

// --- Quaternions -----------------------------------------------------------

void AxisAngleToQuaternion(const float* axisAngle, float* out) {
    const float half = axisAngle[3] * 0.5f;
    const float s = std::sin(half);
    out[0] = axisAngle[0] * s;
    out[1] = axisAngle[1] * s;
    out[2] = axisAngle[2] * s;
    out[3] = std::cos(half);
}

void AngleAxisToQuaternion(const float* angleAxis, float* out) {
    const float axisAngle[4] = {angleAxis[1], angleAxis[2], angleAxis[3], angleAxis[0]};
    AxisAngleToQuaternion(axisAngle, out);
}

void QuaternionToAxisAngle(const float* q, float* out) {
    // w is clamped: for a quaternion a rounding step off unit length, acos
    // and the square root would otherwise give NaN.
    const float w = std::clamp(q[3], -1.0f, 1.0f);
    float s = std::sqrt(1.0f - w * w);
    if (std::fabs(s) < 0.0005f) s = 1.0f;
    const float angle = 2.0f * std::acos(w);
    out[0] = q[0] / s;
    out[1] = q[1] / s;
    out[2] = q[2] / s;
    out[3] = angle;
}

void QuaternionToAngleAxis(const float* q, float* out) {
    float axisAngle[4];
    QuaternionToAxisAngle(q, axisAngle);
    out[0] = axisAngle[3];
    out[1] = axisAngle[0];
    out[2] = axisAngle[1];
    out[3] = axisAngle[2];
}

void QuaternionProduct(float* out, const float* q1, const float* q2) {
    const float x1 = q1[0], y1 = q1[1], z1 = q1[2], w1 = q1[3];
    const float x2 = q2[0], y2 = q2[1], z2 = q2[2], w2 = q2[3];
    out[0] = w1 * x2 + w2 * x1 + (y1 * z2 - z1 * y2);
    out[1] = w1 * y2 + w2 * y1 + (z1 * x2 - x1 * z2);
    out[2] = w1 * z2 + w2 * z1 + (x1 * y2 - y1 * x2);
    out[3] = w1 * w2 - (x1 * x2 + y1 * y2 + z1 * z2);
}

void QuaternionSum(const float* q1, const float* q2, float* out) {
    for (int i = 0; i < 4; ++i) out[i] = q1[i] + q2[i];
}

void QuaternionDiff(const float* q1, const float* q2, float* out) {
    for (int i = 0; i < 4; ++i) out[i] = q1[i] - q2[i];
}

void QuaternionToMatrix3(const float* q, float* out) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    // Dividing by the squared norm keeps the result a rotation for a
    // quaternion that has drifted off unit length.
    const float s = 2.0f / (x * x + y * y + z * z + w * w);
    out[0] = 1.0f - s * (y * y + z * z);
    out[1] = s * (x * y + z * w);
    out[2] = s * (x * z - y * w);
    out[3] = s * (x * y - z * w);
    out[4] = 1.0f - s * (x * x + z * z);
    out[5] = s * (y * z + w * x);
    out[6] = s * (x * z + y * w);
    out[7] = s * (y * z - w * x);
    out[8] = 1.0f - s * (x * x + y * y);
}

void Matrix3ToQuaternion(const float* m, float* out) {
    const float trace = m[0] + m[4] + m[8];
    if (trace > 0.0f) {
        const float r = std::sqrt(trace + 1.0f);
        const float f = 0.5f / r;
        out[0] = (m[5] - m[7]) * f;
        out[1] = (m[6] - m[2]) * f;
        out[2] = (m[1] - m[3]) * f;
        out[3] = r * 0.5f;
        return;
    }
    // Start from the largest diagonal element, which keeps r away from 0.
    int i = (m[0] < m[4]) ? 1 : 0;
    if (m[8] > m[4 * i]) i = 2;
    const int j = (i + 1) % 3, k = (j + 1) % 3;
    const float r = std::sqrt(m[4 * i] - m[4 * j] - m[4 * k] + 1.0f);
    const float f = 0.5f / r;
    out[i] = r * 0.5f;
    out[j] = (m[i + 3 * j] + m[3 * i + j]) * f;
    out[k] = (m[i + 3 * k] + m[3 * i + k]) * f;
    out[3] = (m[3 * j + k] - m[j + 3 * k]) * f;
}

void QuaternionToEuler(const float* q, float* out, uint8_t radians) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    // At gimbal lock rounding can push the sine just past +-1.
    const float sinY = std::clamp(2.0f * (w * y - z * x), -1.0f, 1.0f);
    out[0] = std::atan2(2.0f * (y * z + w * x), 1.0f - 2.0f * (x * x + y * y));
    out[1] = std::asin(sinY);
    out[2] = std::atan2(2.0f * (x * y + w * z), 1.0f - 2.0f * (y * y + z * z));
    if (!radians) {
        out[0] *= kRadiansToDegrees;
        out[1] *= kRadiansToDegrees;
        out[2] *= kRadiansToDegrees;
    }
}

void EulerToQuaternion(float x, float y, float z, float* out, uint8_t order, uint8_t radians) {
    if (!radians) {
        x *= kDegreesToRadians;
        y *= kDegreesToRadians;
        z *= kDegreesToRadians;
    }
    const float qx[4] = {std::sin(x * 0.5f), 0.0f, 0.0f, std::cos(x * 0.5f)};
    const float qy[4] = {0.0f, std::sin(y * 0.5f), 0.0f, std::cos(y * 0.5f)};
    const float qz[4] = {0.0f, 0.0f, std::sin(z * 0.5f), std::cos(z * 0.5f)};
    float first[4];
    if (order) {
        QuaternionProduct(first, qx, qy);
        QuaternionProduct(out, first, qz);
    } else {
        QuaternionProduct(first, qz, qy);
        QuaternionProduct(out, first, qx);
    }
}

void QuaternionSlerp(const float* q1, const float* q2, double t, float* out) {
    const double d = double(q1[0]) * q2[0] + double(q1[1]) * q2[1] + double(q1[2]) * q2[2] +
                     double(q1[3]) * q2[3];
    if (std::fabs(d) >= 1.0) {
        std::memmove(out, q1, 4 * sizeof(float));
        return;
    }
    const double theta = std::acos(d);
    const double s = std::sqrt(1.0 - d * d);
    double f1 = 0.5, f2 = 0.5;  // nearly parallel: a plain mix is exact enough
    if (std::fabs(s) >= 0.001) {
        f1 = std::sin((1.0 - t) * theta) / s;
        f2 = std::sin(t * theta) / s;
    }
    for (int i = 0; i < 4; ++i) out[i] = float(f1 * q1[i] + f2 * q2[i]);
}

// --- Others ----------------------------------------------------------------

int SegmentTriangleIntersect(const float* p0, const float* p1, const float* a, const float* b,
                             const float* c, float* hit, const float* n) {
    if (std::isnan(n[0]) || std::isnan(n[1]) || std::isnan(n[2])) return -1;
    const float d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float den = VectorDot(n, d);
    if (den * den < 1e-8f) return 0;
    const float fromA[3] = {p0[0] - a[0], p0[1] - a[1], p0[2] - a[2]};
    const float num = -VectorDot(n, fromA);
    if (den > 0.0f && (num < 0.0f || num > den)) return 0;
    if (den < 0.0f && (num > 0.0f || num < den)) return 0;
    const float r = num / den;
    for (int i = 0; i < 3; ++i) hit[i] = p0[i] + r * d[i];

    const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const float w[3] = {hit[0] - a[0], hit[1] - a[1], hit[2] - a[2]};
    const float uv = VectorDot(e1, e2), vv = VectorDot(e2, e2), uu = VectorDot(e1, e1);
    const float q = uv * uv - vv * uu;
    if (q == 0.0f) return 0;  // degenerate triangle
    const float we1 = VectorDot(w, e1), we2 = VectorDot(w, e2);
    const float s = (uv * we2 - vv * we1) / q;
    if (s < -1e-8f || s > 1.00000001f) return 0;
    const float t = (uv * we1 - uu * we2) / q;
    return (t >= -1e-8f && s + t <= 1.00000001f) ? 1 : 0;
}

int SortIndicesByDepth(int mode, int n, const float* keys, int* indices) {
    if (n <= 0) return 0;
    for (int i = 0; i < n; ++i) indices[i] = i;
    // NaN keys go to the back first, so that the sort itself sees only
    // numbers and a plain < or > is a strict weak order (std::partition, as
    // std::sort, works in place).
    int* numbers = std::partition(indices, indices + n, [keys](int i) { return !std::isnan(keys[i]); });
    if (mode == 1)
        std::sort(indices, numbers, [keys](int i, int j) { return keys[i] < keys[j]; });
    else
        std::sort(indices, numbers, [keys](int i, int j) { return keys[i] > keys[j]; });
    return 0;
}

namespace {

// cos(i * pi / 128), i = 0 .. 127: decreasing from 1 to just above -1.
struct DirectionTable {
    float cosine[128];
    DirectionTable() {
        for (int i = 0; i < 128; ++i) cosine[i] = float(std::cos(i * 3.141592653589 / 128));
    }
};

// The table index whose cosine is nearest below or above h: five halving
// steps from the middle of the half the sign of h selects.
int DirectionIndex(const DirectionTable& table, float h) {
    int index = (h < 0.0f) ? 96 : 32;
    for (int step = 16; step >= 1; step /= 2) index += (table.cosine[index] > h) ? step : -step;
    return index;
}

}  // namespace

uint16_t EncodeDirection16(const float* v) {
    static const DirectionTable table;  // built once, thread-safe
    const float x = v[0], y = v[1], z = v[2];
    unsigned code = 0;

    const float planar = std::sqrt(x * x + y * y);
    float h = (planar != 0.0f) ? x / planar : x;
    if (y < 0.0f) {
        h = -h;
        code |= 0x80;
    }
    code += unsigned(DirectionIndex(table, h));

    const float length = std::sqrt(x * x + y * y + z * z);
    float g = (length != 0.0f) ? z / length : z;
    if (y < 0.0f) {
        g = -g;
        code |= 0x8000;
    }
    code += unsigned(DirectionIndex(table, g)) << 8;
    return uint16_t(code & 0xF0F0);
}

float TcbTangent(int which, float tension, float continuity, float bias, float previous, float current,
                 float next) {
    const float in = current - previous, out = next - current;
    const float t = 1.0f - tension;
    if (which == 0)
        return in * t * (1.0f + continuity) * (1.0f + bias) * 0.5f +
               out * t * (1.0f - continuity) * (1.0f - bias) * 0.5f;
    if (which == 1)
        return in * t * (1.0f - continuity) * (1.0f + bias) * 0.5f +
               out * t * (1.0f + continuity) * (1.0f - bias) * 0.5f;
    return 0.0f;
}

float TcbEase(float a, float b, float t) { return (t * t * (b - a) + 2.0f * a * t) / (a + b); }
