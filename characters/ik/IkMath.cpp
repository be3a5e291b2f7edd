#include "characters/ik/IkMath.h"

#include <cmath>

VRMatrix4 VRMatrix4::Identity() {
    VRMatrix4 m{};
    m[0] = m[5] = m[10] = m[15] = 1;
    return m;
}

VRMatrix4 VRMatrix4::Translation(float x, float y, float z) {
    VRMatrix4 m = Identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

float IkNormalize(float* v) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
    return length;
}

float IkDot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void IkCross(const float* a, const float* b, float* out) {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

namespace {

// out = B A over the upper 3x4 part (rotation and translation); the result
// is built aside so that out may be either input.
void ComposeAffine(const VRMatrix4& a, const VRMatrix4& b, bool withTranslation, VRMatrix4& out) {
    VRMatrix4 r{};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            r[4 * c + row] = b[row] * a[4 * c] + b[4 + row] * a[4 * c + 1] + b[8 + row] * a[4 * c + 2];
    if (withTranslation)
        for (int row = 0; row < 3; ++row)
            r[12 + row] = b[row] * a[12] + b[4 + row] * a[13] + b[8 + row] * a[14] + b[12 + row];
    r[15] = 1;
    out = r;
}

}  // namespace

void IkCompose(const VRMatrix4& a, const VRMatrix4& b, VRMatrix4& out) { ComposeAffine(a, b, true, out); }

void IkComposeRotation(const VRMatrix4& a, const VRMatrix4& b, VRMatrix4& out) { ComposeAffine(a, b, false, out); }

VRMatrix4 IkPrincipalRotation(char axis, float angle) {
    VRMatrix4 m = VRMatrix4::Identity();
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    if (axis == 'x' || axis == 'X') {
        m[5] = m[10] = c;
        m[6] = s;
        m[9] = -s;
    } else if (axis == 'y' || axis == 'Y') {
        m[0] = m[10] = c;
        m[8] = s;
        m[2] = -s;
    } else {
        m[0] = m[5] = c;
        m[1] = s;
        m[4] = -s;
    }
    return m;
}

void IkLerp(const float* a, const float* b, float t, float* out) {
    for (int i = 0; i < 3; ++i) out[i] = a[i] + t * (b[i] - a[i]);
}

void IkGetTranslation(const VRMatrix4& m, float* out) {
    out[0] = m[12];
    out[1] = m[13];
    out[2] = m[14];
}

void IkTransformPoint(const VRMatrix4& m, const float* p, float* out) {
    float r[3];
    for (int row = 0; row < 3; ++row) r[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

bool LawOfCosines(float a, float b, float c, float* angle) {
    const float cosine = (a * a + b * b - c * c) / (2 * a * b);
    if (!(std::fabs(cosine) <= 1)) return false;
    *angle = std::acos(cosine);
    return true;
}

int SolveCosSin(float a, float b, float c, float* roots) {
    const float d = a * a + b * b - c * c;
    if (d < 0) {
        // Just past tangency by rounding: the single touching root, from
        // tan(t / 2) = b / (a + c).
        if (std::fabs(d / (a * a + b * b + c * c)) < 1e-6f) {
            roots[0] = 2 * std::atan(b / (a + c));
            return 1;
        }
        return 0;
    }
    const float delta = std::atan2(std::sqrt(d), c);
    const float phi = std::atan2(b, a);
    if (delta * delta < 1e-6f) {
        roots[0] = phi;
        return 1;
    }
    roots[0] = WrapAngle(phi + delta);
    roots[1] = WrapAngle(phi - delta);
    return 2;
}

float WrapAngle(float angle) { return std::remainder(angle, kIkTwoPi); }

float NormalizeAngle(float angle) {
    if (std::fabs(angle - kIkTwoPi) < 1e-5f) return kIkTwoPi;
    // Within [0, 2 pi) the remainder is the angle itself.
    float a = angle >= 0 && angle < kIkTwoPi ? angle : std::fmod(angle, kIkTwoPi);
    if (std::fabs(a) < 1e-5f) return 0;
    if (a < 0) a += kIkTwoPi;
    return a;
}
