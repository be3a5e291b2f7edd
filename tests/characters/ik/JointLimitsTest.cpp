// Joint limits over the swivel angle: the sinusoid roots, the arcsine and
// atan2 limit models, and the limb's feasible lists checked against a dense
// sweep of the root angles themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IkTestSupport.h"
#include "characters/ik/JointLimits.h"
#include "characters/ik/Limb.h"

using iktest::Arm;
using iktest::kDegree;

namespace {

const float kTwoPi = 6.2831855f;
const VRMatrix4 kNoEnd = VRMatrix4::Identity();

// Whether the angle lies in the range, exactly, 0 and 2 pi being one angle.
bool InRange(const AngleRange& r, float angle) {
    auto in = [&](float a) { return r.Wraps() ? (a >= r.Lo() || a <= r.Hi()) : (a >= r.Lo() && a <= r.Hi()); };
    const float a = NormalizeAngle(angle);
    return in(a) || (a < 1e-4f && in(a + kTwoPi)) || (a > kTwoPi - 1e-4f && in(a - kTwoPi));
}

bool InList(const LimbNodeList& list, float angle) {
    for (const AngleRange& r : list.Ranges())
        if (InRange(r, angle)) return true;
    return false;
}

std::string Describe(const LimbNodeList& list) {
    std::ostringstream out;
    for (const AngleRange& r : list.Ranges()) out << "[" << r.Lo() << ", " << r.Hi() << "] ";
    return out.str();
}

constexpr int kSweep = 6000;
float SweepPsi(int i) { return kTwoPi * (i + 0.5f) / kSweep; }

// The list against the truth on a dense circle of psi, ignoring samples
// within `margin` of a change of the truth (the lists' ends, and slivers
// narrower than that). Pieces between cuts narrower than 0.01 never enter a
// list, so a list may also miss a run narrower than `gap` (a zero root next
// to the seam, say); the solver's choice of psi bridges such runs. Returns
// the first disagreement, or "".
std::string CompareWithSweep(const LimbNodeList& list, const std::function<bool(float)>& truth, float margin,
                             float gap = 0.025f) {
    const float step = kTwoPi / kSweep;
    std::vector<char> value(kSweep), listed(kSweep);
    for (int i = 0; i < kSweep; ++i) {
        value[i] = truth(SweepPsi(i));
        listed[i] = InList(list, SweepPsi(i));
    }
    auto at = [](int i) { return ((i % kSweep) + kSweep) % kSweep; };
    const int reach = static_cast<int>(std::ceil(margin / step)) + 1;
    std::vector<char> settled(kSweep, 1);
    for (int i = 0; i < kSweep; ++i) {
        if (value[i] == value[at(i + 1)]) continue;
        for (int k = -reach; k <= reach; ++k) settled[at(i + k)] = 0;
    }
    for (int i = 0; i < kSweep; ++i) {
        if (!settled[i] || value[i] == listed[i]) continue;
        if (value[i] && !listed[i]) {
            int run = 1;
            while (run * step < gap && !listed[at(i + run)]) ++run;
            for (int k = 1; run * step < gap && !listed[at(i - k)]; ++k) ++run;
            if (run * step < gap) continue;
        }
        std::ostringstream out;
        out << "psi " << SweepPsi(i) << ": truth " << static_cast<int>(value[i]) << ", list " << Describe(list);
        return out.str();
    }
    return "";
}

// The root angles of a family at psi all lie in their ranges.
bool FamilyFeasible(const Limb& limb, int family, float psi) {
    float x[3];
    if (!limb.RootAngles(psi, family, x)) return false;
    for (int i = 0; i < 3; ++i)
        if (!InRange(limb.Range(i), x[i])) return false;
    return true;
}

// Random goals of the 2 + 2 arm with the middle angle inside 2..160 degrees.
std::vector<std::array<float, 3>> RandomGoals(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> normal;
    std::uniform_real_distribution<float> bend(2 * kDegree, 160 * kDegree);
    std::vector<std::array<float, 3>> goals(count);
    for (auto& g : goals) {
        float v[3] = {normal(random), normal(random), normal(random)};
        IkNormalize(v);
        const float distance = std::sqrt(8 + 8 * std::cos(bend(random)));
        for (int i = 0; i < 3; ++i) g[i] = v[i] * distance;
    }
    return goals;
}

// Sets the goal with limits on and checks both root lists against the sweep
// and the chosen psi against CheckRootAngles; returns whether any psi was
// feasible.
bool CheckGoal(Limb& limb, const float* goal, const std::string& what) {
    EXPECT_EQ(limb.SetGoalPos(goal, kNoEnd, 1), 1) << what;
    bool anyFeasible = false;
    for (int family = 1; family <= 2; ++family) {
        const std::string mismatch = CompareWithSweep(
            limb.RootList(family), [&](float psi) { return FamilyFeasible(limb, family, psi); }, 0.01f);
        EXPECT_EQ(mismatch, "") << what << ", family " << family;
        for (int i = 0; i < kSweep && !anyFeasible; i += 3) anyFeasible = FamilyFeasible(limb, family, SweepPsi(i));
    }
    float x[4], psi = -100, scratch[3];
    const int solved = limb.SolveBestPsi(x, &psi, nullptr);
    if (solved) {
        EXPECT_EQ(limb.CheckRootAngles(psi, scratch), 1) << what << " psi " << psi;
        EXPECT_NEAR(x[3], limb.LimitedMiddleAngle(), 0) << what;
    } else {
        EXPECT_FALSE(anyFeasible) << what << ": no psi chosen though the sweep finds one";
        for (int i = 0; i < limb.SingularPsiCount(); ++i)
            EXPECT_EQ(limb.CheckRootAngles(limb.SingularPsi()[i], scratch), 0) << what;
    }
    return anyFeasible;
}

}  // namespace

TEST(Sinusoid, RootsAndValues) {
    std::mt19937 random(2);
    std::uniform_real_distribution<float> coefficient(-1.5f, 1.5f);
    for (int trial = 0; trial < 300; ++trial) {
        const Sinusoid s(coefficient(random), coefficient(random), coefficient(random));
        const float v = coefficient(random);
        float roots[2];
        const int count = s.Roots(v, roots);
        // The roots against sign changes of s - v on a dense circle.
        int changes = 0;
        for (int i = 0; i < 4000; ++i) {
            const float p = kTwoPi * i / 4000, q = kTwoPi * (i + 1) / 4000;
            changes += (s.Value(p) - v > 0) != (s.Value(q) - v > 0);
        }
        if (changes == 2) {
            ASSERT_EQ(count, 2) << trial;
        }
        if (changes == 0 && count == 2) {
            EXPECT_LT(std::fabs(roots[1] - roots[0]), 0.01f) << trial;
        }
        for (int i = 0; i < count; ++i) {
            EXPECT_NEAR(s.Value(roots[i]), v, 1e-5f) << trial;
            const double exact = s.A() * std::cos(roots[i]) + s.B() * std::sin(roots[i]) + s.C();
            EXPECT_NEAR(exact, v, 1e-5) << trial;
        }
        if (count == 2) {
            EXPECT_LE(roots[0], roots[1]);
        }
    }
    // The value form holds past pi and for angles beyond a turn.
    const Sinusoid s(0.5f, -0.75f, 0.25f);
    for (float psi : {0.3f, 2.9f, 3.5f, 6.0f, -1.0f, 9.0f})
        EXPECT_NEAR(s.Value(psi), 0.5f * std::cos(psi) - 0.75f * std::sin(psi) + 0.25f, 1e-6f) << psi;
    float zeros[2];
    ASSERT_EQ(s.ZeroRoots(zeros), 2);
    EXPECT_NEAR(s.Value(zeros[0]), 0, 1e-6f);
    EXPECT_EQ(s.ZeroRoots(zeros), 2);  // cached
}

// The edge cases of the limit models, one row each.
TEST(JointLimits, EdgeCases) {
    const struct {
        const char* name;
        std::function<void()> check;
    } cases[] = {
        {"amplitude below |v - c|: no root",
         [] {
             float roots[2];
             EXPECT_EQ(Sinusoid(0.3f, 0.4f, 0.2f).Roots(0.8f, roots), 0);
             EXPECT_EQ(Sinusoid(0, 0, 0.5f).Roots(0.25f, roots), 0);  // zero amplitude
         }},
        {"tangent: one root, the phase, not normalised",
         [] {
             float roots[2];
             ASSERT_EQ(Sinusoid(0.75f, -1.0f, 0.5f).Roots(1.75f, roots), 1);
             EXPECT_NEAR(roots[0], std::atan2(-1.0f, 0.75f), 1e-6f);
         }},
        {"two singular values, ascending",
         [] {
             // The arcsine element cos(psi - 1): +1 at psi 1, -1 at 1 + pi.
             ComplexJtLimit limit;
             limit.Set(0, Sinusoid(1, 0, 0), Sinusoid(0, 1, 0), Sinusoid(std::cos(1.0f), std::sin(1.0f), 0), 0,
                       kTwoPi);
             float values[2];
             ASSERT_EQ(limit.SingularPsi(values), 2);
             EXPECT_NEAR(values[0], 1.0f, 1e-4f);
             EXPECT_NEAR(values[1], 1.0f + kIkPi, 1e-4f);
         }},
        {"a singular value next to 0 stays there",
         [] {
             // cos(psi) passes +0.9999 at both sides of 0: the lock is at 0,
             // not at pi where the plain mean of the roots lies.
             ComplexJtLimit limit;
             limit.Set(0, Sinusoid(1, 0, 0), Sinusoid(0, 1, 0), Sinusoid(1, 0, 0), 0, kTwoPi);
             float values[2];
             ASSERT_EQ(limit.SingularPsi(values), 2);
             EXPECT_NEAR(values[0], kIkPi, 1e-4f);
             EXPECT_TRUE(AnglesMatch(values[1], 0, 1e-4f)) << values[1];
         }},
        {"full-circle limits: [0, 2 pi - 1e-5] per family",
         [] {
             Arm arm;
             const float lower[7] = {0, 0, 0, 1, 0, 0, 0}, upper[7] = {360, 360, 360, 165, 360, 360, 360};
             arm.SetRanges(lower, upper);
             const float goal[3] = {1, -2, 1.5f};
             ASSERT_EQ(arm.limb.SetGoalPos(goal, kNoEnd, 1), 1);
             for (int family = 1; family <= 2; ++family) {
                 ASSERT_EQ(arm.limb.RootList(family).Size(), 1u) << Describe(arm.limb.RootList(family));
                 EXPECT_EQ(arm.limb.RootList(family).Ranges()[0].Lo(), 0);
                 EXPECT_EQ(arm.limb.RootList(family).Ranges()[0].Hi(), 6.2831755f);
             }
         }},
        {"[-30, 30] degrees on the arcsine angle: nothing for family 2",
         [] {
             SimpleJtLimit limit;
             limit.Set(0, Sinusoid(0.8f, 0.3f, 0.1f), -30 * kDegree, 30 * kDegree);
             LimbNodeList family1, family2;
             limit.PsiIntervals(family1, family2);
             // The lists stop just short of 0 and 2 pi; joining them is the
             // intersection's work.
             family1.JoinAcrossZero(0.01f);
             EXPECT_TRUE(family2.IsEmpty()) << Describe(family2);
             EXPECT_FALSE(family1.IsEmpty());
             const std::string mismatch = CompareWithSweep(
                 family1, [&](float psi) { return InRange(AngleRange(-30 * kDegree, 30 * kDegree), limit.Angle(1, psi)); },
                 0.01f);
             EXPECT_EQ(mismatch, "");
         }},
        {"zero roots closer than 0.004 form no range",
         [] {
             // The element just tops 0 between roots 0.003 apart.
             SimpleJtLimit limit;
             limit.Set(0, Sinusoid(std::cos(1.0f), std::sin(1.0f), -std::cos(0.0015f)), -30 * kDegree,
                       30 * kDegree);
             LimbNodeList family1, family2;
             limit.PsiIntervals(family1, family2);
             family1.JoinAcrossZero(0.01f);
             EXPECT_TRUE(InList(family1, 1.5f)) << Describe(family1);
             EXPECT_FALSE(InList(family1, 3.0f)) << Describe(family1);
             const std::string mismatch = CompareWithSweep(
                 family1, [&](float psi) { return InRange(AngleRange(-30 * kDegree, 30 * kDegree), limit.Angle(1, psi)); },
                 0.01f);
             EXPECT_EQ(mismatch, "");
         }},
        {"crossings next to psi 0 and pi are kept",
         [] {
             // Near a gimbal lock: x and y pass close to 0 (0.05 away) with
             // slope 1, and the angle meets the limit 1.0 at psi0, just past
             // 0 or just short of pi, where the element values must be
             // exact to 1e-4 / 20.
             for (float psi0 : {0.00025f, 3.1413f}) {
                 const float rho = 0.05f;
                 const float cx = rho * std::cos(1.0f) - std::cos(psi0), cy = rho * std::sin(1.0f) - std::sin(psi0);
                 ComplexJtLimit limit;
                 limit.Set(0, Sinusoid(1, 0, cx), Sinusoid(0, 1, cy), Sinusoid(0, 0, 0), 1.0f, 4.0f);
                 LimbNodeList family1, family2;
                 testing::internal::CaptureStdout();
                 limit.PsiIntervals(0, nullptr, family1, family2);
                 EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << psi0;
                 for (int family = 1; family <= 2; ++family) {
                     LimbNodeList& list = family == 1 ? family1 : family2;
                     list.JoinAcrossZero(0.01f);
                     const std::string mismatch = CompareWithSweep(
                         list, [&](float psi) { return InRange(AngleRange(1.0f, 4.0f), limit.Angle(family, psi)); },
                         0.01f, 0);
                     EXPECT_EQ(mismatch, "") << psi0 << " family " << family;
                 }
             }
         }},
        {"a crossing of neither family is reported and dropped",
         [] {
             // x and y vanish everywhere: atan2 gives 0 at the root.
             ComplexJtLimit limit;
             limit.Set(0, Sinusoid(0, 0, 0), Sinusoid(0, 0, 0), Sinusoid(0, 0, 0), 1.0f, 2.0f);
             LimbNodeList family1, family2;
             testing::internal::CaptureStdout();
             limit.PsiIntervals(0, nullptr, family1, family2);
             const std::string out = testing::internal::GetCapturedStdout();
             EXPECT_NE(out.find("1.000000 not equal to 0.000000 or 3.141593\n"), std::string::npos) << out;
             EXPECT_TRUE(family1.IsEmpty());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.check();
    }
}

// The strong check: for random goals, each family's root list is where the
// sweep finds all three root angles of that family within their ranges;
// the psi the solver picks passes CheckRootAngles, and it finds one
// whenever the sweep does.
TEST(JointLimits, FeasibleListsMatchADenseSweep) {
    Arm arm;
    int feasible = 0, infeasible = 0;
    const auto goals = RandomGoals(150, 21);
    for (std::size_t i = 0; i < goals.size(); ++i) {
        (CheckGoal(arm.limb, goals[i].data(), "arm goal " + std::to_string(i)) ? feasible : infeasible)++;
        if (testing::Test::HasFailure()) return;
    }
    // The arm's limits leave some goals without any swivel angle.
    EXPECT_GT(feasible, 0);
    EXPECT_GT(infeasible, 0);
}

TEST(JointLimits, RandomLimitSetsMatchADenseSweep) {
    std::mt19937 random(31);
    std::uniform_real_distribution<float> start(-180, 180), width(20, 360);
    std::uniform_int_distribution<int> full(0, 7);
    const auto goals = RandomGoals(200, 41);
    for (std::size_t i = 0; i < goals.size(); ++i) {
        float lower[7] = {0, 0, 0, 1, 0, 0, 0}, upper[7] = {0, 0, 0, 165, 360, 360, 360};
        for (int j = 0; j < 3; ++j) {
            lower[j] = start(random);
            upper[j] = full(random) == 0 ? lower[j] + 360 : lower[j] + width(random);
        }
        Arm arm;
        arm.SetRanges(lower, upper);
        std::ostringstream what;
        what << "goal " << i << " limits";
        for (int j = 0; j < 3; ++j) what << " " << lower[j] << ".." << upper[j];
        CheckGoal(arm.limb, goals[i].data(), what.str());
        if (testing::Test::HasFailure()) return;
    }
}

// A goal no shoulder angle allows: nothing feasible, no singular value that
// passes, and the solver says so.
TEST(JointLimits, GoalTheShoulderForbidsFailsToSolve) {
    Arm arm;
    const float lower[7] = {-10, -10, -10, 1, 0, 0, 0}, upper[7] = {10, 10, 10, 165, 360, 360, 360};
    arm.SetRanges(lower, upper);
    // Straight back along -x, far from the shoulder's rest direction.
    const float goal[3] = {-3, 0.2f, 0.1f};
    EXPECT_FALSE(CheckGoal(arm.limb, goal, "forbidden goal"));
    float x[4];
    EXPECT_EQ(arm.limb.SolveBestPsi(x, nullptr, nullptr), 0);
}
