// The limb solver without joint limits: goals reached through forward
// kinematics of the returned angles, the pull-in of far goals, the swivel
// circle, the middle angle's range, and misuse that must not end the
// process.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "IkTestSupport.h"
#include "characters/ik/Limb.h"

using iktest::Arm;
using iktest::Distance;
using iktest::ForwardKinematics;
using iktest::kDegree;
using iktest::MaxDifference;
using iktest::RandomRotation;

namespace {

const float kTwoPi = 6.2831855f;
const VRMatrix4 kNoEnd = VRMatrix4::Identity();

// Solves for the goal and checks where the returned angles put the end joint.
void ExpectReached(Limb& limb, int rootCode, const VRMatrix4& t, const VRMatrix4& s, const float* goal, float reach,
                   const std::string& what) {
    ASSERT_EQ(limb.SetGoalPos(goal, kNoEnd, 0), 1) << what;
    float x[4], psi = -1, point[3];
    ASSERT_EQ(limb.SolveBestPsi(x, &psi, point), 1) << what;
    EXPECT_EQ(psi, 0) << what;
    float end[3];
    ForwardKinematics(rootCode, t, s, x, end);
    EXPECT_LT(Distance(end, limb.Goal()), 1e-4f * reach) << what;
    // The middle joint sits on the upper segment's end.
    EXPECT_NEAR(std::sqrt(IkDot(point, point)), limb.UpperLength(), 1e-4f * reach) << what;
}

}  // namespace

// Goals made by posing the arm at random: a random root rotation and a
// middle angle within the arm's range, once with the arm's ranges and once
// without any.
TEST(Limb, RandomReachableGoalsAreReached) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> bend(2 * kDegree, 164 * kDegree);
    for (bool ranges : {true, false}) {
        Arm arm(ranges);
        for (int trial = 0; trial < 1000; ++trial) {
            const VRMatrix4 rotation = RandomRotation(random);
            float pose[4] = {0, 0, 0, bend(random)};
            VRMatrix4 m;
            IkCompose(arm.s, IkPrincipalRotation('y', pose[3]), m);
            IkCompose(m, arm.t, m);
            IkCompose(m, rotation, m);
            float goal[3];
            IkGetTranslation(m, goal);
            ExpectReached(arm.limb, 0, arm.t, arm.s, goal, Arm::kUpper + Arm::kLower,
                          "trial " + std::to_string(trial) + (ranges ? " with ranges" : ""));
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

// A limb of any shape: T and S with rotations and offsets off the segment
// axes, every root Euler code, and an end transform.
TEST(Limb, GeneralLimbsReachPosedGoals) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> offset(-1, 1), bend(0.1f, 3.0f);
    for (int code = 0; code < 4; ++code) {
        for (int shape = 0; shape < 20; ++shape) {
            VRMatrix4 t = RandomRotation(random), s = RandomRotation(random);
            t[12] = 1.5f + offset(random), t[13] = offset(random), t[14] = offset(random);
            s[12] = 1.2f + offset(random), s[13] = offset(random), s[14] = offset(random);
            const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
            Limb limb;
            ASSERT_EQ(limb.Init(t, s, code, 1, a, p), 1);
            const float reach = std::sqrt(t[12] * t[12] + t[13] * t[13] + t[14] * t[14]) +
                                std::sqrt(s[12] * s[12] + s[13] * s[13] + s[14] * s[14]);
            for (int trial = 0; trial < 25; ++trial) {
                float pose[4] = {0, 0, 0, bend(random)};
                VRMatrix4 m;
                IkCompose(s, IkPrincipalRotation('y', pose[3]), m);
                IkCompose(m, t, m);
                IkCompose(m, RandomRotation(random), m);
                float goal[3];
                IkGetTranslation(m, goal);
                ExpectReached(limb, code, t, s, goal, reach,
                              "code " + std::to_string(code) + " shape " + std::to_string(shape));
                if (testing::Test::HasFatalFailure()) return;
            }
        }
    }
}

TEST(Limb, FarGoalIsPulledInToReachOverOnePointZeroOne) {
    Arm arm;
    const float reach = Arm::kUpper + Arm::kLower;
    const float direction[3] = {0.48f, -0.6f, 0.64f};  // unit
    const float goal[3] = {3 * reach * direction[0], 3 * reach * direction[1], 3 * reach * direction[2]};
    ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), 1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(arm.limb.Goal()[i], reach / 1.01f * direction[i], 1e-5f);
    float x[4], end[3];
    ASSERT_EQ(arm.limb.SolveBestPsi(x, nullptr, nullptr), 1);
    ForwardKinematics(0, arm.t, arm.s, x, end);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(end[i], reach / 1.01f * direction[i], 1e-4f * reach);
}

// At full stretch the swivel circle shrinks to a point: every psi gives the
// same middle joint, and the straight arm still reaches the goal. A goal
// along the projection axis (the rest pose) is the degenerate case of the
// circle's axes as well.
TEST(Limb, FullStretchGivesACircleOfRadiusZero) {
    Arm arm(false);
    const float reach = Arm::kUpper + Arm::kLower;
    const float goals[][3] = {{0, 0, -reach}, {0, reach, 0}, {reach, 0, 0}, {-reach, 0, 0}};
    for (const auto& goal : goals) {
        ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), 1);
        EXPECT_NEAR(arm.limb.CircleRadius(), 0, 1e-6f);
        EXPECT_NEAR(arm.limb.MiddleAngle(), 0, 1e-6f);
        float first[3], other[3];
        arm.limb.ElbowPoint(0, first);
        arm.limb.ElbowPoint(2.0f, other);
        EXPECT_LT(Distance(first, other), 1e-6f);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(first[i], goal[i] / 2, 1e-5f);
        float x[4], end[3];
        ASSERT_EQ(arm.limb.SolveBestPsi(x, nullptr, nullptr), 1);
        for (float a : x) EXPECT_TRUE(std::isfinite(a));
        ForwardKinematics(0, arm.t, arm.s, x, end);
        EXPECT_LT(Distance(end, goal), 1e-5f);
    }
    // The rest pose itself: the root rotation is the identity.
    const float rest[3] = {reach, 0, 0};
    ASSERT_EQ(arm.limb.SetGoalPos(rest, kNoEnd, 0), 1);
    VRMatrix4 r;
    arm.limb.RootRotation(0, r);
    EXPECT_LT(MaxDifference(r, VRMatrix4::Identity()), 1e-6f);
}

// Goals along the projection axis, bent: the circle needs another start for
// psi, and every psi stays on it.
TEST(Limb, GoalOnTheProjectionAxisKeepsAProperCircle) {
    Arm arm(false);
    const float goal[3] = {2.5f, 0, 0};
    ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), 1);
    EXPECT_GT(arm.limb.CircleRadius(), 1);
    for (float psi : {0.0f, 1.0f, 4.0f}) {
        float elbow[3];
        arm.limb.ElbowPoint(psi, elbow);
        EXPECT_NEAR(std::sqrt(IkDot(elbow, elbow)), Arm::kUpper, 1e-5f);
        EXPECT_NEAR(Distance(elbow, goal), Arm::kLower, 1e-5f);
    }
    float x[4], end[3];
    ASSERT_EQ(arm.limb.SolveBestPsi(x, nullptr, nullptr), 1);
    ForwardKinematics(0, arm.t, arm.s, x, end);
    EXPECT_LT(Distance(end, goal), 1e-5f);
}

// The middle angle 2.0 against three ranges of joint 3.
TEST(Limb, MiddleAngleRangeShiftsOrRefuses) {
    const struct {
        float min, max;
        int result;
        float limited;
    } cases[] = {
        {-6.0f, -3.5f, 1, 2.0f - kTwoPi},  // range [0.283, 2.783]: above max, a turn down
        {0.1f, 2.5f, 1, 2.0f},
        {3.0f, 4.0f, 0, 0},
        {-1.0f, 0.5f, 0, 0},
    };
    // |g|^2 = 8 + 8 cos(theta) for the 2 + 2 arm.
    const float goal[3] = {0, std::sqrt(8 + 8 * std::cos(2.0f)), 0};
    for (const auto& c : cases) {
        Arm arm(false);
        float lo[7] = {0, 0, 0, c.min, 0, 0, 0}, hi[7] = {kTwoPi, kTwoPi, kTwoPi, c.max, kTwoPi, kTwoPi, kTwoPi};
        const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
        ASSERT_EQ(arm.limb.Init(arm.t, arm.s, 0, 1, a, p, lo, hi), 1);
        EXPECT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), c.result) << c.min;
        EXPECT_NEAR(arm.limb.MiddleAngle(), 2.0f, 1e-3f);
        if (c.result) {
            float x[4];
            ASSERT_EQ(arm.limb.SolveBestPsi(x, nullptr, nullptr), 1);
            EXPECT_NEAR(x[3], c.limited, 1e-3f) << c.min;
            float end[3];
            ForwardKinematics(0, arm.t, arm.s, x, end);
            EXPECT_LT(Distance(end, goal), 1e-4f);
        }
    }
}

// R1(psi) = A cos psi + B sin psi + D, element by element, for a bent arm.
TEST(Limb, RootRotationTermsRebuildTheRotationAtAnyPsi) {
    Arm arm(false);
    const float goal[3] = {1.0f, -2.0f, 1.5f};
    ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), 1);
    VRMatrix4 a, b, d;
    arm.limb.RootRotationTerms(a, b, d);
    for (float psi = 0; psi < kTwoPi; psi += 0.3f) {
        VRMatrix4 r, sum;
        arm.limb.RootRotation(psi, r);
        for (int i = 0; i < 16; ++i) sum[i] = a[i] * std::cos(psi) + b[i] * std::sin(psi) + d[i];
        EXPECT_LT(MaxDifference(r, sum), 1e-5f) << psi;
        // The rotation carries the reference end onto the goal at any psi.
        float end[3];
        const float x[4] = {0, 0, 0, arm.limb.MiddleAngle()};
        ForwardKinematics(0, arm.t, arm.s, x, end);
        IkTransformPoint(r, end, end);
        EXPECT_LT(Distance(end, goal), 1e-5f) << psi;
    }
}

// Both families give the same rotation; the best one is the one nearer the
// ranges, and CheckRootAngles tells whether it lies within them.
TEST(Limb, RootAnglesOfBothFamiliesAndTheirCheck) {
    Arm arm;
    const float goal[3] = {0.5f, -2.5f, -1.0f};
    ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 0), 1);
    VRMatrix4 r;
    arm.limb.RootRotation(0, r);
    float best[3], family[2][3];
    ASSERT_EQ(arm.limb.RootAngles(0, 0, best), 1);
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(arm.limb.RootAngles(0, f + 1, family[f]), 1);
        EXPECT_LT(MaxDifference(iktest::ComposeEuler(0, family[f]), r), 1e-5f) << f + 1;
    }
    float sums[2] = {0, 0};
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < 3; ++i) sums[f] += std::fmax(0.0f, arm.limb.Range(i).SignedDistance(family[f][i]));
    const int nearer = sums[0] > sums[1] ? 1 : 0;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(best[i], family[nearer][i]);
    float checked[3];
    bool inside = true;
    for (int i = 0; i < 3; ++i) inside = inside && arm.limb.Range(i).Contains(best[i], 1e-5f);
    EXPECT_EQ(arm.limb.CheckRootAngles(0, checked), inside ? 1 : 0);
}

TEST(Limb, MisuseIsReportedAndTheProcessGoesOn) {
    Limb limb;
    float x[4] = {-1, -1, -1, -1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(limb.SolveBestPsi(x, nullptr, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "You forgot to call SetGoal or SetGoalPos in Limb::Solve\n");
    EXPECT_EQ(x[3], 0);  // the limited middle angle is written first
    EXPECT_EQ(x[0], -1);

    // Goals before Init fail quietly.
    const float goal[3] = {1, 1, 1};
    EXPECT_EQ(limb.SetGoalPos(goal, kNoEnd, 0), 0);

    Arm arm;
    const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(arm.limb.Init(arm.t, arm.s, 4, 1, a, p), 0);
    EXPECT_EQ(arm.limb.Init(arm.t, arm.s, 0, -1, a, p), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad euler entry 4 detected\nbad euler entry -1 detected\n");
    // A zero upper segment and a zero length are refused.
    EXPECT_EQ(arm.limb.Init(arm.s, arm.s, 0, 1, a, p), 1);
    EXPECT_EQ(arm.limb.Init(VRMatrix4::Identity(), arm.s, 0, 1, a, p), 0);
    EXPECT_EQ(arm.limb.SetUpperLength(0), 0);
    // The refused calls kept the working set-up.
    EXPECT_FLOAT_EQ(arm.limb.UpperLength(), 2);
    // A goal at the root joint fails, nothing is NaN afterwards.
    const float origin[3] = {0, 0, 1e-7f};
    EXPECT_EQ(arm.limb.SetGoalPos(origin, kNoEnd, 0), 0);
}

TEST(Limb, NewUpperLengthMovesTheReach) {
    Arm arm(false);
    ASSERT_EQ(arm.limb.SetUpperLength(3), 1);
    EXPECT_FLOAT_EQ(arm.limb.UpperLength(), 3);
    VRMatrix4 t = arm.t;
    t[12] = 3;
    const float goal[3] = {1, 3, -2};
    ExpectReached(arm.limb, 0, t, arm.s, goal, 5, "upper length 3");
}
