// The limb solver's helpers: transforms, angle wrapping, the trigonometric
// equation and its root choice, and the Euler codes' extraction.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "IkTestSupport.h"
#include "characters/ik/EulerCodeTable.h"
#include "characters/ik/IkMath.h"
#include "characters/ik/Limb.h"

using iktest::ComposeEuler;
using iktest::MaxDifference;

namespace {

const float kTwoPi = 6.2831855f;

}  // namespace

TEST(IkMath, PrincipalRotationsFollowTheColumnMajorLayout) {
    const VRMatrix4 x = IkPrincipalRotation('X', 0.5f), y = IkPrincipalRotation('y', 0.5f);
    const VRMatrix4 z = IkPrincipalRotation('q', 0.5f);  // any other letter: z
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    EXPECT_FLOAT_EQ(x[5], c);
    EXPECT_FLOAT_EQ(x[6], s);
    EXPECT_FLOAT_EQ(x[9], -s);
    EXPECT_FLOAT_EQ(y[8], s);
    EXPECT_FLOAT_EQ(y[2], -s);
    EXPECT_FLOAT_EQ(z[1], s);
    EXPECT_FLOAT_EQ(z[4], -s);
    // Right-handed: a quarter turn about z carries x onto y.
    float p[3] = {1, 0, 0};
    IkTransformPoint(IkPrincipalRotation('z', 1.5707964f), p, p);
    EXPECT_NEAR(p[1], 1, 1e-6f);
}

TEST(IkMath, ComposeAppliesTheFirstTransformFirstAndMayWriteOverEitherInput) {
    const VRMatrix4 turn = IkPrincipalRotation('z', 1.5707964f);
    const VRMatrix4 move = VRMatrix4::Translation(2, 0, 0);
    VRMatrix4 expected;
    IkCompose(turn, move, expected);
    const float unit[3] = {1, 0, 0};
    float p[3];
    IkTransformPoint(expected, unit, p);
    EXPECT_NEAR(p[0], 2, 1e-6f);
    EXPECT_NEAR(p[1], 1, 1e-6f);
    EXPECT_EQ(expected[15], 1);

    VRMatrix4 a = turn, b = move;
    IkCompose(a, b, a);
    EXPECT_EQ(MaxDifference(a, expected), 0);
    a = turn;
    IkCompose(a, b, b);
    EXPECT_EQ(MaxDifference(b, expected), 0);

    VRMatrix4 rotationOnly = move;
    IkComposeRotation(turn, rotationOnly, rotationOnly);
    EXPECT_EQ(MaxDifference(rotationOnly, turn), 0);  // translation dropped
}

TEST(IkMath, NormalizeAndWrapAngles) {
    const struct {
        float in, normalized;
    } cases[] = {
        {1.0f, 1.0f},
        {kTwoPi - 5e-6f, kTwoPi},  // near 2 pi becomes 2 pi
        {kTwoPi, kTwoPi},
        {kTwoPi + 1.0f, 1.0f},
        {-1e-6f, 0},               // near 0 becomes 0
        {2 * kTwoPi + 2e-6f, 0},   // whole turns, then near 0
        {-0.5f, kTwoPi - 0.5f},
        {-kTwoPi - 0.5f, kTwoPi - 0.5f},
    };
    for (const auto& c : cases) EXPECT_NEAR(NormalizeAngle(c.in), c.normalized, 2e-6f) << c.in;
    EXPECT_NEAR(WrapAngle(4.0f), 4.0f - kTwoPi, 1e-6f);
    EXPECT_NEAR(WrapAngle(-4.0f), kTwoPi - 4.0f, 1e-6f);
    EXPECT_NEAR(WrapAngle(3 * kTwoPi + 0.25f), 0.25f, 1e-5f);
}

TEST(IkMath, IkNormalizeLeavesTheZeroVector) {
    float v[3] = {3, 0, 4}, zero[3] = {0, 0, 0};
    EXPECT_FLOAT_EQ(IkNormalize(v), 5);
    EXPECT_FLOAT_EQ(v[2], 0.8f);
    EXPECT_EQ(IkNormalize(zero), 0);
    EXPECT_EQ(zero[0], 0);
    const float a[3] = {1, 2, 3}, b[3] = {3, 2, 1};
    float mid[3];
    IkLerp(a, b, 0.25f, mid);
    EXPECT_FLOAT_EQ(mid[0], 1.5f);
}

TEST(IkMath, LawOfCosinesFailsWithoutATriangle) {
    float angle = -1;
    ASSERT_TRUE(LawOfCosines(3, 4, 5, &angle));
    EXPECT_NEAR(angle, 1.5707964f, 1e-6f);
    angle = -1;
    EXPECT_FALSE(LawOfCosines(1, 1, 3, &angle));
    EXPECT_EQ(angle, -1);
}

TEST(IkMath, SolveCosSinRoots) {
    float roots[2];
    // cos t = 0.5: phi 0, delta pi/3, in the order phi + delta, phi - delta.
    ASSERT_EQ(SolveCosSin(1, 0, 0.5f, roots), 2);
    EXPECT_NEAR(roots[0], 1.0471976f, 1e-6f);
    EXPECT_NEAR(roots[1], -1.0471976f, 1e-6f);
    // Roots past pi are wrapped.
    ASSERT_EQ(SolveCosSin(std::cos(3.0f), std::sin(3.0f), std::cos(0.5f), roots), 2);
    EXPECT_NEAR(roots[0], 3.5f - kTwoPi, 1e-5f);
    EXPECT_NEAR(roots[1], 2.5f, 1e-5f);
    // Tangent: one root, phi.
    ASSERT_EQ(SolveCosSin(0, 2, 2, roots), 1);
    EXPECT_NEAR(roots[0], 1.5707964f, 1e-6f);
    // Just past tangency (relative 1e-7): still the touching root.
    ASSERT_EQ(SolveCosSin(0, 1, 1.00000005f, roots), 1);
    EXPECT_NEAR(roots[0], 1.5707964f, 1e-3f);
    EXPECT_EQ(SolveCosSin(0, 1, 1.01f, roots), 0);
}

// |m0 + Ry(theta) s| = |g| with m0 = (1, 0, 0) and s = (cos beta, 0, sin beta):
// 2 cos(theta - beta) = |g|^2 - 2, so the roots are beta +- delta.
TEST(IkMath, MiddleAngleTakesTheFirstPositiveRoot) {
    const struct {
        float beta, delta;
        bool found;
        float theta;
    } cases[] = {
        {0.2f, 0.5f, true, 0.7f},   // first root positive
        {2.5f, 1.0f, true, 1.5f},   // first wraps below 0, second positive
        {-2.0f, 0.5f, false, 0},    // both negative
        {0.0f, 0.0f, true, 0.0f},   // one root at 0 (full stretch)
        {-0.5f, 0.0f, false, 0},    // one root below 0
    };
    const float m0[3] = {1, 0, 0};
    for (const auto& c : cases) {
        const float s[3] = {std::cos(c.beta), 0, std::sin(c.beta)};
        const float g[3] = {std::sqrt(2 + 2 * std::cos(c.delta)), 0, 0};
        float theta = -9;
        EXPECT_EQ(MiddleAngle(m0, g, s, VRMatrix4::Identity(), &theta), c.found) << c.beta;
        if (c.found) {
            EXPECT_NEAR(theta, c.theta, 2e-3f) << c.beta;
        }
    }
}

TEST(IkMath, MapIntoLimits) {
    const struct {
        float min, max, angle, mapped;
    } cases[] = {
        {-1.48f, 1.13f, 6.0f, 6.0f - kTwoPi},  // a turn brings it in
        {0, 1, 3.5f, 3.5f},                     // nearer than 3.5 - 2 pi
        {0, 1, 5.0f, 5.0f - kTwoPi},            // the shifted one is nearer
        {0, 1, 0.5f, 0.5f},
        {-2.0f, 2.0f, kIkPi + 2.0f + 1.0f, kIkPi + 2.0f + 1.0f - kTwoPi},
    };
    for (const auto& c : cases) EXPECT_NEAR(MapIntoLimits(c.min, c.max, c.angle), c.mapped, 1e-6f) << c.angle;
    // Equally near: the shifted angle.
    EXPECT_NEAR(MapIntoLimits(-1, 1, kIkPi), kIkPi - kTwoPi, 1e-6f);
}

// For every code, the angles of both families rebuild the matrix through the
// code's composition, also at the gimbal lock of the middle angle.
TEST(IkMath, EulerCodesRebuildTheirMatrixFromEitherFamily) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), middle(-1.5f, 1.5f);
    for (int code = 0; code < 4; ++code) {
        for (int trial = 0; trial < 60; ++trial) {
            float x[3] = {angle(random), middle(random), angle(random)};
            if (trial == 0) x[1] = 1.5707964f;   // gimbal lock, both signs
            if (trial == 1) x[1] = -1.5707964f;
            if (trial == 2) x[0] = x[1] = x[2] = 0;
            const VRMatrix4 m = ComposeEuler(code, x);
            for (int family = 1; family <= 2; ++family) {
                float slots[3];
                ASSERT_TRUE(EulerExtract(code, m.m, family, slots));
                for (float a : slots) {
                    EXPECT_GE(a, 0);
                    EXPECT_LE(a, kTwoPi);
                }
                const float rebuilt[3] = {slots[2], slots[1], slots[0]};  // exchange slots 0 and 2
                EXPECT_LT(MaxDifference(ComposeEuler(code, rebuilt), m), 2e-5f)
                    << "code " << code << " family " << family << " trial " << trial;
            }
        }
    }
    // An exact gimbal matrix (zeros in every atan2 pair) rebuilds too.
    VRMatrix4 quarter = VRMatrix4::Identity();
    quarter[5] = quarter[10] = 0;
    quarter[6] = 1;
    quarter[9] = -1;
    for (int family = 1; family <= 2; ++family) {
        float slots[3];
        ASSERT_TRUE(EulerExtract(0, quarter.m, family, slots));
        const float rebuilt[3] = {slots[2], slots[1], slots[0]};
        EXPECT_LT(MaxDifference(ComposeEuler(0, rebuilt), quarter), 1e-6f) << family;
    }
}

TEST(IkMath, BadEulerCodeIsReportedNotFatal) {
    float slots[3] = {-1, -1, -1};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(EulerExtract(4, VRMatrix4::Identity().m, 1, slots));
    EXPECT_EQ(FindEulerCode(-1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad euler entry 4 detected\nbad euler entry -1 detected\n");
    EXPECT_EQ(slots[0], -1);
    for (int code = 0; code < kEulerCodeCount; ++code) EXPECT_EQ(FindEulerCode(code)->jointType, 0);
}
