// The limb solver beside a numeric solver: the same 2 + 2 arm reaching the
// same goals, in closed form (without and with the arm's joint limits) and
// as a seven-joint chain solved by KDL's Levenberg-Marquardt solver
// (position only, to 1e-5). The failures counter is the share of goals not
// solved.
#include <benchmark/benchmark.h>

#include <kdl/chain.hpp>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/chainiksolverpos_lma.hpp>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "characters/ik/IkMath.h"
#include "characters/ik/Limb.h"

namespace {

constexpr float kUpper = 2, kLower = 2;
constexpr float kDegree = 1 / 57.29577951308232f;
constexpr int kGoals = 256;

// The arm as the skeleton sets it up: segments along x, each turned half
// round z; the arm's joint ranges.
struct Arm {
    VRMatrix4 t, s;
    Limb limb;
    Arm() {
        const VRMatrix4 half = IkPrincipalRotation('z', 3.1415927f);
        IkCompose(half, VRMatrix4::Translation(kUpper, 0, 0), t);
        IkCompose(VRMatrix4::Translation(kLower, 0, 0), half, s);
        const float a[3] = {1, 0, 0}, p[3] = {0, 0, -1};
        const float lower[7] = {-135, -85, -85, 1, 0, 0, 0}, upper[7] = {45, 95, 95, 165, 360, 360, 360};
        float lo[7], hi[7];
        for (int i = 0; i < 7; ++i) {
            lo[i] = lower[i] * kDegree;
            hi[i] = upper[i] * kDegree;
        }
        limb.Init(t, s, 0, 1, a, p, lo, hi);
    }
};

// Reachable goals: the arm posed with random root angles and elbow bends.
std::vector<std::array<float, 3>> MakeGoals() {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> angle(-3, 3), bend(10 * kDegree, 150 * kDegree);
    Arm arm;
    std::vector<std::array<float, 3>> goals(kGoals);
    for (auto& goal : goals) {
        VRMatrix4 m;
        IkCompose(arm.s, IkPrincipalRotation('y', bend(random)), m);
        IkCompose(m, arm.t, m);
        IkCompose(m, IkPrincipalRotation('z', angle(random)), m);
        IkCompose(m, IkPrincipalRotation('x', angle(random)), m);
        IkCompose(m, IkPrincipalRotation('y', angle(random)), m);
        IkGetTranslation(m, goal.data());
    }
    return goals;
}

const std::vector<std::array<float, 3>>& Goals() {
    static const std::vector<std::array<float, 3>> goals = MakeGoals();
    return goals;
}

// One goal and one solve per iteration; with limits, the feasible swivel
// angles are worked out for every goal. Goals the arm's limits forbid count
// as failures (and cost as much).
void LimbSolve(benchmark::State& state, int limits) {
    Arm arm;
    const auto& goals = Goals();
    const VRMatrix4 end = VRMatrix4::Identity();
    float x[4];
    std::size_t next = 0;
    int64_t failures = 0;
    for (auto _ : state) {
        const int ok =
            arm.limb.SetGoalPos(goals[next].data(), end, limits) && arm.limb.SolveBestPsi(x, nullptr, nullptr);
        failures += !ok;
        benchmark::DoNotOptimize(x);
        next = (next + 1) % goals.size();
    }
    state.counters["failures"] = benchmark::Counter(static_cast<double>(failures), benchmark::Counter::kAvgIterations);
}

void BM_LimbSolve(benchmark::State& state) { LimbSolve(state, 0); }
BENCHMARK(BM_LimbSolve);

void BM_LimbSolveLimits(benchmark::State& state) { LimbSolve(state, 1); }
BENCHMARK(BM_LimbSolveLimits);

// The same arm as a KDL chain: shoulder Ry Rx Rz, upper segment, elbow Ry,
// lower segment, wrist Rz Rx Ry.
KDL::Chain KdlArm() {
    using KDL::Frame;
    using KDL::Joint;
    using KDL::Rotation;
    using KDL::Segment;
    using KDL::Vector;
    KDL::Chain chain;
    chain.addSegment(Segment(Joint(Joint::RotY)));
    chain.addSegment(Segment(Joint(Joint::RotX)));
    chain.addSegment(Segment(Joint(Joint::RotZ), Frame(Rotation::RotZ(M_PI), Vector(kUpper, 0, 0))));
    chain.addSegment(Segment(Joint(Joint::RotY), Frame(Rotation::RotZ(M_PI), Vector(-kLower, 0, 0))));
    chain.addSegment(Segment(Joint(Joint::RotZ)));
    chain.addSegment(Segment(Joint(Joint::RotX)));
    chain.addSegment(Segment(Joint(Joint::RotY)));
    return chain;
}

void BM_KdlSolve(benchmark::State& state) {
    const KDL::Chain chain = KdlArm();
    Eigen::Matrix<double, 6, 1> weights;
    weights << 1, 1, 1, 0, 0, 0;
    KDL::ChainIkSolverPos_LMA solver(chain, weights, 1e-5);
    KDL::JntArray start(chain.getNrOfJoints()), result(chain.getNrOfJoints());
    for (unsigned i = 0; i < start.rows(); ++i) start(i) = 0.3;
    const auto& goals = Goals();
    std::size_t next = 0;
    int64_t failures = 0;
    for (auto _ : state) {
        const auto& g = goals[next];
        const KDL::Frame goal(KDL::Vector(g[0], g[1], g[2]));
        failures += solver.CartToJnt(start, goal, result) < 0;
        benchmark::DoNotOptimize(result.data.data());
        next = (next + 1) % goals.size();
    }
    state.counters["failures"] = benchmark::Counter(static_cast<double>(failures), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_KdlSolve);

}  // namespace

BENCHMARK_MAIN();
