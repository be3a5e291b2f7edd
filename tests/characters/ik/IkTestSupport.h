// Shared by the limb solver's tests: the Euler compositions written out
// from the codes' definitions, forward kinematics of a limb, and the arm
// the skeleton's chains build (2 + 2 units, root code 0, end code 1).
#pragma once

#include <cmath>
#include <random>

#include "characters/ik/IkMath.h"
#include "characters/ik/Limb.h"

namespace iktest {

constexpr float kDegree = 1 / 57.29577951308232f;

// The rotation of root angles x (output order) for Euler codes 0-3.
inline VRMatrix4 ComposeEuler(int code, const float* x) {
    static const struct {
        char axes[3];
        float signs[3];
    } kOrders[4] = {{{'y', 'x', 'z'}, {1, 1, 1}},
                    {{'z', 'x', 'y'}, {1, 1, 1}},
                    {{'z', 'x', 'y'}, {-1, -1, 1}},
                    {{'y', 'x', 'z'}, {1, -1, -1}}};
    VRMatrix4 r = VRMatrix4::Identity();
    // Rightmost factor first: r := R(i) r for i = 2, 1, 0.
    for (int i = 2; i >= 0; --i)
        IkComposeRotation(r, IkPrincipalRotation(kOrders[code].axes[i], kOrders[code].signs[i] * x[i]), r);
    return r;
}

inline float MaxDifference(const VRMatrix4& a, const VRMatrix4& b) {
    float d = 0;
    for (int i = 0; i < 16; ++i) d = std::fmax(d, std::fabs(a[i] - b[i]));
    return d;
}

inline float Distance(const float* a, const float* b) {
    const float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(IkDot(d, d));
}

// Where the end joint lands: R1(x[0..2]) T Ry(x[3]) S applied to the origin.
inline void ForwardKinematics(int rootCode, const VRMatrix4& t, const VRMatrix4& s, const float* x, float* out) {
    VRMatrix4 m;
    IkCompose(s, IkPrincipalRotation('y', x[3]), m);
    IkCompose(m, t, m);
    IkCompose(m, ComposeEuler(rootCode, x), m);
    IkGetTranslation(m, out);
}

inline VRMatrix4 RandomRotation(std::mt19937& random) {
    std::normal_distribution<float> normal;
    float q[4];
    float length = 0;
    do {
        length = 0;
        for (float& c : q) {
            c = normal(random);
            length += c * c;
        }
    } while (length < 1e-6f);
    length = std::sqrt(length);
    const float w = q[0] / length, x = q[1] / length, y = q[2] / length, z = q[3] / length;
    VRMatrix4 m = VRMatrix4::Identity();
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y + w * z);
    m[2] = 2 * (x * z - w * y);
    m[4] = 2 * (x * y - w * z);
    m[5] = 1 - 2 * (x * x + z * z);
    m[6] = 2 * (y * z + w * x);
    m[8] = 2 * (x * z + w * y);
    m[9] = 2 * (y * z - w * x);
    m[10] = 1 - 2 * (x * x + y * y);
    return m;
}

// The arm as the skeleton sets it up: upper and lower segments along x,
// each turned half round z.
struct Arm {
    static constexpr float kUpper = 2, kLower = 2;
    VRMatrix4 t, s;
    Limb limb;

    // The arm's joint ranges (degrees: shoulder -135..45, -85..95, -85..95,
    // elbow 1..165), or none.
    explicit Arm(bool withRanges = true) {
        const VRMatrix4 half = IkPrincipalRotation('z', 3.1415927f);
        IkCompose(half, VRMatrix4::Translation(kUpper, 0, 0), t);
        IkCompose(VRMatrix4::Translation(kLower, 0, 0), half, s);
        const float lower[7] = {-135, -85, -85, 1, 0, 0, 0}, upper[7] = {45, 95, 95, 165, 360, 360, 360};
        if (withRanges) {
            SetRanges(lower, upper);
        } else {
            const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
            limb.Init(t, s, 0, 1, a, p);
        }
    }

    // Init again with these ranges, in degrees.
    void SetRanges(const float* lowerDegrees, const float* upperDegrees) {
        const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
        float lo[7], hi[7];
        for (int i = 0; i < 7; ++i) {
            lo[i] = lowerDegrees[i] * kDegree;
            hi[i] = upperDegrees[i] * kDegree;
        }
        limb.Init(t, s, 0, 1, a, p, lo, hi);
    }
};

}  // namespace iktest
