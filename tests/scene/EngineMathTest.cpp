#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "scene/EngineMath.h"

namespace {

constexpr float kTolerance = 1e-5f;
const float kSin45 = std::sin(0.785398163f);
const float kCos45 = std::cos(0.785398163f);
const float kNaN = std::numeric_limits<float>::quiet_NaN();

using Floats = std::vector<float>;

void ExpectNear(const Floats& actual, const Floats& expected, const std::string& what, float tolerance = kTolerance) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " [" << i << "]";
}

Floats Translation(float x, float y, float z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

// Triangle (0,0,0) (1,0,0) (0,1,0) in the z = 0 plane, hit by a segment
// from (x, y, 1) to (x, y, -1), or by the given segment.
float Intersect(const Floats& p0, const Floats& p1, const Floats& n, Floats* hitOut = nullptr) {
    const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    float hit[3] = {-7, -7, -7};
    const int result = SegmentTriangleIntersect(p0.data(), p1.data(), a, b, c, hit, n.data());
    if (hitOut) *hitOut = Floats(hit, hit + 3);
    return float(result);
}

}  // namespace

// The edge cases every caller relies on, each a small computation with the
// floats it must give.
TEST(EngineMath, EdgeCaseTable) {
    struct Case {
        const char* name;
        std::function<Floats()> run;
        Floats expected;
    };
    const Floats up = {0, 0, 1};
    const std::vector<Case> cases = {
        {"translation x scale puts the translation in 12..14",
         [] {
             const Floats a = Translation(1, 2, 3);
             const Floats b = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
             Floats out(16);
             MatrixMultiply4(a.data(), b.data(), out.data());
             return out;
         },
         {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1}},
        {"QuaternionToEuler of 90 degrees about z",
         [] {
             const float q[4] = {0, 0, kSin45, kCos45};
             Floats out(3);
             QuaternionToEuler(q, out.data(), 0);
             return out;
         },
         {0, 0, 90}},
        {"EulerToQuaternion(90, 0, 0), order set",
         [] {
             Floats q(4);
             EulerToQuaternion(90, 0, 0, q.data(), 1, 0);
             return q;
         },
         {kSin45, 0, 0, kCos45}},
        {"EulerToQuaternion(90, 0, 0), order clear",
         [] {
             Floats q(4);
             EulerToQuaternion(90, 0, 0, q.data(), 0, 0);
             return q;
         },
         {kSin45, 0, 0, kCos45}},
        {"identity quaternion to axis-angle",
         [] {
             const float q[4] = {0, 0, 0, 1};
             Floats out(4, 9.0f);
             QuaternionToAxisAngle(q, out.data());
             return out;
         },
         {0, 0, 0, 0}},
        {"identity quaternion to angle-axis",
         [] {
             const float q[4] = {0, 0, 0, 1};
             Floats out(4, 9.0f);
             QuaternionToAngleAxis(q, out.data());
             return out;
         },
         {0, 0, 0, 0}},
        {"slerp of two equal quaternions gives the first",
         [] {
             const float k = 1.0f / std::sqrt(30.0f);
             const float q[4] = {1 * k, 2 * k, 3 * k, 4 * k};
             const float same[4] = {q[0], q[1], q[2], q[3]};
             Floats out(4);
             QuaternionSlerp(q, same, 0.3, out.data());
             return out;
         },
         {1 / std::sqrt(30.0f), 2 / std::sqrt(30.0f), 3 / std::sqrt(30.0f), 4 / std::sqrt(30.0f)}},
        {"slerp halfway to 90 degrees about z is 45 degrees",
         [] {
             const float from[4] = {0, 0, 0, 1};
             const float to[4] = {0, 0, kSin45, kCos45};
             Floats out(4);
             QuaternionSlerp(from, to, 0.5, out.data());
             return out;
         },
         {0, 0, std::sin(0.392699082f), std::cos(0.392699082f)}},
        {"coplanar segment", [up] { return Floats{Intersect({0.2f, 0.2f, 0}, {0.4f, 0.4f, 0}, up)}; }, {0}},
        {"segment through an edge", [up] { return Floats{Intersect({0.5f, 0, 1}, {0.5f, 0, -1}, up)}; }, {1}},
        {"segment through a vertex", [up] { return Floats{Intersect({0, 1, 1}, {0, 1, -1}, up)}; }, {1}},
        {"segment inside", [up] { return Floats{Intersect({0.2f, 0.2f, -1}, {0.2f, 0.2f, 1}, up)}; }, {1}},
        {"segment outside the triangle", [up] { return Floats{Intersect({0.6f, 0.6f, 1}, {0.6f, 0.6f, -1}, up)}; }, {0}},
        {"segment ending before the plane", [up] { return Floats{Intersect({0.2f, 0.2f, 2}, {0.2f, 0.2f, 1}, up)}; }, {0}},
        {"NaN normal", [] { return Floats{Intersect({0.2f, 0.2f, 1}, {0.2f, 0.2f, -1}, {0, kNaN, 1})}; }, {-1}},
        {"Catmull-Rom outgoing tangent", [] { return Floats{TcbTangent(0, 0, 0, 0, 1, 4, 9)}; }, {4}},
        {"Catmull-Rom incoming tangent", [] { return Floats{TcbTangent(1, 0, 0, 0, 1, 4, 9)}; }, {4}},
        {"tangent of an unknown side", [] { return Floats{TcbTangent(2, 0, 0, 0, 1, 4, 9)}; }, {0}},
        {"TcbEase end points", [] { return Floats{TcbEase(0.3f, 0.7f, 0), TcbEase(0.3f, 0.7f, 1)}; }, {0, 1}},
        {"rotate (1, 0, 0) by 90 degrees about z",
         [] {
             Floats p = {1, 0, 0};
             VectorRotateAxisAngle(90, 0, 0, 1, p.data());
             return p;
         },
         {0, 1, 0}},
        {"normalising a zero vector keeps it and returns 0",
         [] {
             Floats v = {0, 0, 0, 0};
             const float length = VectorNormalize(v.data(), 4);
             v.push_back(length);
             return v;
         },
         {0, 0, 0, 0, 0}},
        {"degenerate triangle has a zero normal",
         [] {
             const float a[3] = {1, 1, 1};
             Floats out(3, 5.0f);
             TriangleNormal(a, a, a, out.data());
             return out;
         },
         {0, 0, 0}},
    };
    for (const Case& c : cases) ExpectNear(c.run(), c.expected, c.name);
}

TEST(EngineMath, SingularInverseLeavesTheOutputUntouched) {
    float singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 5, 5, 5};  // column 1 = 2 x column 0
    float out[16];
    std::fill(out, out + 16, 42.0f);
    EXPECT_EQ(MatrixInverse4(singular, out), -1);
    EXPECT_TRUE(std::all_of(out, out + 16, [](float v) { return v == 42.0f; }));
    float inPlace[16];
    std::copy(singular, singular + 16, inPlace);
    EXPECT_EQ(MatrixInverse4(inPlace, nullptr), -1);
    EXPECT_TRUE(std::equal(inPlace, inPlace + 16, singular));
    EXPECT_EQ(MatrixInverseTranspose4(singular, out), -1);
    EXPECT_EQ(out[0], 42.0f);

    const float singular3[9] = {1, 2, 3, 2, 4, 6, 0, 1, 0};
    float out3[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(MatrixInverse3(singular3, out3), -1);
    EXPECT_EQ(MatrixInverseTranspose3(singular3, out3), -1);
    EXPECT_EQ(out3[4], 7.0f);
}

// The inverse times the matrix is the identity, also inverted in place; the
// determinant and the inverse-transpose agree with it.
TEST(EngineMath, InversesUndoTheMatrix) {
    float rotation[16];
    EulerToMatrix4(rotation, 0.3f, -1.1f, 2.0f);
    rotation[12] = 4;
    rotation[13] = -2;
    rotation[14] = 7;
    const float general[16] = {2, 1, 0, 3, -1, 3, 2, 0, 0.5f, 0, 4, 1, 1, -2, 0, 5};
    for (const float* m : {static_cast<const float*>(rotation), general}) {
        float inverse[16], product[16], identity[16];
        ASSERT_EQ(MatrixInverse4(const_cast<float*>(m), inverse), 0);
        MatrixMultiply4(inverse, m, product);
        MatrixIdentity4(identity);
        ExpectNear(Floats(product, product + 16), Floats(identity, identity + 16), "inverse x m");

        float copy[16];
        std::copy(m, m + 16, copy);
        ASSERT_EQ(MatrixInverse4(copy, nullptr), 0);
        ExpectNear(Floats(copy, copy + 16), Floats(inverse, inverse + 16), "in place");

        float inverseTranspose[16], transposed[16];
        ASSERT_EQ(MatrixInverseTranspose4(m, inverseTranspose), 0);
        MatrixTranspose4(inverse, transposed);
        ExpectNear(Floats(inverseTranspose, inverseTranspose + 16), Floats(transposed, transposed + 16), "transpose");
        EXPECT_NEAR(MatrixDeterminant4(m) * MatrixDeterminant4(inverse), 1.0f, 1e-4f);
    }
    const float m3[9] = {2, 1, 0, -1, 3, 2, 0.5f, 0, 4};
    float inverse3[9], product3[9], identity3[9];
    ASSERT_EQ(MatrixInverse3(m3, inverse3), 0);
    MatrixMultiply3(m3, inverse3, product3);
    MatrixIdentity3(identity3);
    ExpectNear(Floats(product3, product3 + 9), Floats(identity3, identity3 + 9), "3x3");
    EXPECT_NEAR(MatrixDeterminant3(m3) * MatrixDeterminant3(inverse3), 1.0f, 1e-5f);
}

// EulerToMatrix4 is row-major: read by rows it is Rx Ry Rz, which is also
// the column-major matrix of the quaternion (qx qy) qz.
TEST(EngineMath, EulerMatrixIsTheRowMajorFormOfTheOrderedQuaternion) {
    const float a = 0.4f, b = -0.9f, c = 1.3f;
    float m4[16], q[4], m3[9];
    EulerToMatrix4(m4, a, b, c);
    EulerToQuaternion(a, b, c, q, 1, 1);
    QuaternionToMatrix3(q, m3);
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row) EXPECT_NEAR(m3[col * 3 + row], m4[row * 4 + col], kTolerance);
    EXPECT_EQ(m4[15], 1.0f);
    EXPECT_EQ(m4[3], 0.0f);
    EXPECT_EQ(m4[12], 0.0f);
}

// Quaternion -> matrix -> quaternion gives the same rotation (up to sign),
// through both branches of Matrix3ToQuaternion (positive trace and each
// largest diagonal element), and back to Euler angles.
TEST(EngineMath, QuaternionMatrixRoundTrips) {
    const std::vector<Floats> quaternions = {
        {0.1f, 0.2f, 0.3f, 0.927f}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0.6f, 0.5f, -0.4f, 0.1f}};
    for (Floats q : quaternions) {
        const float norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (float& v : q) v /= norm;
        float m[9], back[4];
        QuaternionToMatrix3(q.data(), m);
        Matrix3ToQuaternion(m, back);
        const float sign = (back[0] * q[0] + back[1] * q[1] + back[2] * q[2] + back[3] * q[3]) < 0 ? -1.0f : 1.0f;
        ExpectNear({sign * back[0], sign * back[1], sign * back[2], sign * back[3]}, q, "round trip");
    }
    // A non-unit quaternion still yields a rotation (determinant 1).
    const float scaled[4] = {0.2f, 0.4f, 0.6f, 1.6f};
    float m[9];
    QuaternionToMatrix3(scaled, m);
    EXPECT_NEAR(MatrixDeterminant3(m), 1.0f, kTolerance);

    float q[4], euler[3];
    EulerToQuaternion(20, -35, 50, q, 0, 0);
    QuaternionToEuler(q, euler, 0);
    ExpectNear(Floats(euler, euler + 3), {20, -35, 50}, "euler", 1e-3f);
}

// Gimbal lock and slightly non-unit input stay finite.
TEST(EngineMath, ConversionsStayFiniteAtTheirLimits) {
    for (float y : {90.0f, -90.0f}) {
        float q[4], euler[3];
        EulerToQuaternion(0, y, 0, q, 1, 0);
        q[1] *= 1.0001f;  // rounding drift past unit length
        QuaternionToEuler(q, euler, 0);
        EXPECT_NEAR(euler[1], y, 1e-3f);
    }
    for (float w : {1.0000001f, -1.0000001f, 1.001f}) {
        const float q[4] = {0, 0, 0, w};
        float out[4];
        QuaternionToAxisAngle(q, out);
        for (float v : out) EXPECT_FALSE(std::isnan(v)) << w;
    }
}

TEST(EngineMath, SortIndicesByDepthOrdersByKey) {
    struct Case {
        int mode;
        Floats keys;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {1, {3, 1, 2}, {1, 2, 0}},
        {0, {3, 1, 2}, {0, 2, 1}},
        {7, {3, 1, 2}, {0, 2, 1}},
        {1, {}, {}},
        {1, {5}, {0}},
        {1, {kNaN, 2, kNaN, 1}, {3, 1}},  // numbers first, then the NaNs
        {0, {kNaN, 2, kNaN, 1}, {1, 3}},
    };
    for (const Case& c : cases) {
        std::vector<int> indices(c.keys.size(), -1);
        EXPECT_EQ(SortIndicesByDepth(c.mode, int(c.keys.size()), c.keys.data(), indices.data()), 0);
        ASSERT_GE(indices.size(), c.expected.size());
        EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), indices.begin())) << "mode " << c.mode;
        std::vector<int> sorted = indices;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], int(i));
    }
}

// Many ties and NaNs: a permutation comes out, ordered, NaNs last (an
// inconsistent comparison would corrupt memory here under the sanitizers).
TEST(EngineMath, SortIndicesByDepthWithTiesAndNaNs) {
    std::mt19937 random(7);
    Floats keys(1000);
    for (float& k : keys) {
        const int r = int(random() % 10);
        k = (r == 0) ? kNaN : float(r % 4);
    }
    for (int mode : {0, 1}) {
        std::vector<int> indices(keys.size());
        SortIndicesByDepth(mode, int(keys.size()), keys.data(), indices.data());
        std::vector<int> sorted = indices;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], int(i));
        bool seenNaN = false;
        for (size_t i = 0; i < indices.size(); ++i) {
            const float k = keys[indices[i]];
            if (std::isnan(k)) {
                seenNaN = true;
                continue;
            }
            ASSERT_FALSE(seenNaN) << "number after a NaN at " << i;
            if (i > 0 && !std::isnan(keys[indices[i - 1]])) {
                if (mode == 1) ASSERT_LE(keys[indices[i - 1]], k);
                else ASSERT_GE(keys[indices[i - 1]], k);
            }
        }
        EXPECT_TRUE(seenNaN);
    }
}

TEST(EngineMath, EncodeDirection16OfTheAxes) {
    struct Case {
        Floats v;
        uint16_t code;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0}, 0x3000}, {{-1, 0, 0}, 0x3070}, {{0, 1, 0}, 0x3030},
        {{0, -1, 0}, 0xB0B0}, {{0, 0, 1}, 0x0030}, {{0, 0, -1}, 0x7030},
        {{0, 0, 0}, 0x3030},  // no direction: both angles at the middle
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeDirection16(c.v.data()), c.code) << c.v[0] << " " << c.v[1] << " " << c.v[2];
    // Length does not matter, only direction.
    const float shortV[3] = {0.3f, 0.4f, 0.5f}, longV[3] = {3, 4, 5};
    EXPECT_EQ(EncodeDirection16(shortV), EncodeDirection16(longV));
}
