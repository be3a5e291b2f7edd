// Angle ranges and the self-merging lists of them: the tolerances, the seam
// at 0 and 2 pi, and intersection and union checked against a dense
// sampling of the circle.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "characters/ik/AngleRange.h"
#include "characters/ik/IkMath.h"
#include "characters/ik/LimbNodeList.h"

namespace {

const float kTwoPi = 6.2831855f;

struct Span {
    float lo, hi;
};

std::string Describe(const LimbNodeList& list) {
    std::ostringstream out;
    for (const AngleRange& r : list.Ranges()) out << "[" << r.Lo() << ", " << r.Hi() << "] ";
    return out.str();
}

void ExpectList(const LimbNodeList& list, const std::vector<Span>& expected, const std::string& name) {
    ASSERT_EQ(list.Size(), expected.size()) << name << ": " << Describe(list);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(list.Ranges()[i].Lo(), expected[i].lo, 1e-5f) << name << ": " << Describe(list);
        EXPECT_NEAR(list.Ranges()[i].Hi(), expected[i].hi, 1e-5f) << name << ": " << Describe(list);
    }
}

LimbNodeList MakeList(const std::vector<Span>& spans, float t = 0.01f) {
    LimbNodeList list;
    for (const Span& s : spans) list.Insert(s.lo, s.hi, t);
    return list;
}

}  // namespace

TEST(AngleRange, WidthMidpointAndContainment) {
    const AngleRange plain(1, 2), wrapping(6, 0.5f);
    EXPECT_FLOAT_EQ(plain.Width(), 1);
    EXPECT_NEAR(wrapping.Width(), 0.5f + kTwoPi - 6, 1e-6f);
    EXPECT_FLOAT_EQ(plain.Midpoint(), 1.5f);
    EXPECT_NEAR(wrapping.Midpoint(), NormalizeAngle(3.25f + kIkPi), 1e-6f);
    EXPECT_TRUE(AngleRange(-0.5f, 0.5f).Wraps());  // ends are normalised

    const struct {
        AngleRange range;
        float angle, t;
        bool inside;
    } cases[] = {
        {plain, 1.5f, 0, true},
        {plain, 2.005f, 0.01f, true},       // the tolerance stretches the ends
        {plain, 2.02f, 0.01f, false},
        {plain, 1.5f + kTwoPi, 0, true},    // the angle is normalised
        {wrapping, 0.2f, 0, true},
        {wrapping, 6.1f, 0, true},
        {wrapping, 3.0f, 0, false},
        {wrapping, 0, 0, true},             // the seam: inside any wrapping range
        {AngleRange(0, 1), kTwoPi, 0, true},
        {AngleRange(0.005f, 1), 0, 0.01f, false},   // no tolerance at the seam
        {AngleRange(5, kTwoPi), 0, 0, true},
        {AngleRange(1, 1.005f), 1.002f, 0.01f, false},  // narrower than 0.01: holds nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.range.Contains(c.angle, c.t), c.inside)
            << "[" << c.range.Lo() << ", " << c.range.Hi() << "] " << c.angle;
}

TEST(AngleRange, SignedDistance) {
    const struct {
        AngleRange range;
        float angle, distance;
    } cases[] = {
        {AngleRange(1, 2), 1.5f, -0.5f},
        {AngleRange(1, 2), 2.5f, 0.5f},
        {AngleRange(1, 2), 6.0f, 1 + kTwoPi - 6.0f},     // round the circle to lo
        {AngleRange(6, 0.5f), 0.1f, -(kTwoPi - 6 + 0.1f)},  // lo end nearer than hi end
        {AngleRange(6, 0.5f), 3.0f, 2.5f},
        {AngleRange(0.5f, 6.0f), 0, kTwoPi - 6.0f},        // at the seam: lo or 2 pi - hi
        {AngleRange(6, 0.5f), 0, 6.0f - kTwoPi},          // lo - 2 pi or -hi
        {AngleRange(6, 0.28318548f), 0, -0.28318548f},    // equal magnitudes: the second
        {AngleRange(0, kTwoPi), 1.0f, -kIkPi},             // the whole circle
        {AngleRange(1, 1), 1.0f, kTwoPi},                  // empty
    };
    for (const auto& c : cases)
        EXPECT_NEAR(c.range.SignedDistance(c.angle), c.distance, 2e-6f)
            << "[" << c.range.Lo() << ", " << c.range.Hi() << "] " << c.angle;
}

TEST(AngleRange, OverlapUnionAndHull) {
    AngleRange u;
    ASSERT_TRUE(OverlapUnion(AngleRange(1, 2), AngleRange(1.5f, 3), 0.01f, &u));
    EXPECT_FLOAT_EQ(u.Lo(), 1);
    EXPECT_FLOAT_EQ(u.Hi(), 3);
    ASSERT_TRUE(OverlapUnion(AngleRange(1.5f, 3), AngleRange(1, 2), 0.01f, &u));
    EXPECT_FLOAT_EQ(u.Lo(), 1);
    EXPECT_FLOAT_EQ(u.Hi(), 3);
    EXPECT_FALSE(OverlapUnion(AngleRange(1, 2), AngleRange(2.5f, 3), 0.01f, &u));
    // Both ends of a wrapping range inside a plain one, the other way round:
    // together they cover the circle.
    ASSERT_TRUE(OverlapUnion(AngleRange(1, 5), AngleRange(4, 2), 0.01f, &u));
    EXPECT_TRUE(u.IsFullCircle(0.01f));

    AngleRange pieces[2];
    ASSERT_EQ(SplitAtZero(AngleRange(6, 0.5f), pieces), 2);
    EXPECT_FLOAT_EQ(pieces[0].Lo(), 0);
    EXPECT_FLOAT_EQ(pieces[0].Hi(), 0.5f);
    EXPECT_FLOAT_EQ(pieces[1].Lo(), 6);
    EXPECT_FLOAT_EQ(pieces[1].Hi(), kTwoPi);
    EXPECT_EQ(SplitAtZero(AngleRange(1, 2), pieces), 1);
}

// The list cases: inserts (tolerance 0.01 unless given), then an optional
// join across 0, and the list that results.
TEST(LimbNodeList, InsertMergeAndJoin) {
    const struct {
        const char* name;
        std::vector<Span> inserts;
        float join;  // 0: no join
        std::vector<Span> expected;
    } cases[] = {
        {"near full circle", {{0.001f, 6.282f}}, 0, {{0, 6.2831755f}}},
        {"full circle replaces the list", {{1, 2}, {4, 5}, {0, kTwoPi}}, 0, {{0, 6.2831755f}}},
        {"sliver dropped", {{2, 3}, {1.0f, 1.005f}}, 0, {{2, 3}}},
        {"touching within tolerance", {{1, 2}, {1.995f, 3}}, 0, {{1, 3}}},
        {"gap beyond tolerance", {{1, 2}, {2.02f, 3}}, 0, {{1, 2}, {2.02f, 3}}},
        {"contained", {{1, 3}, {1.5f, 2}}, 0, {{1, 3}}},
        {"containing", {{1.5f, 2}, {4, 5}, {1, 3}}, 0, {{4, 5}, {1, 3}}},
        {"bridging two ranges", {{1, 2}, {3, 4}, {1.5f, 3.5f}}, 0, {{1, 4}}},
        // Inserting merges across the seam too: 2 pi and 0 are one angle.
        {"merged across 0", {{0, 0.5f}, {6.0f, kTwoPi}}, 0, {{6.0f, 0.5f}}},
        {"join needs both ends", {{0.1f, 0.5f}, {6.0f, kTwoPi}}, 0.01f, {{0.1f, 0.5f}, {6.0f, kTwoPi}}},
        // A plain range ending at 2 pi taking in a wrapping one that starts
        // inside it: the union runs on through 0.
        {"wrapping into a range ending at 2 pi", {{1, kTwoPi}, {6.0f, 0.005f}}, 0, {{1, 0.005f}}},
        {"wrapping merged with a plain one", {{6, 0.5f}, {0.4f, 1}}, 0, {{6, 1}}},
    };
    for (const auto& c : cases) {
        LimbNodeList list = MakeList(c.inserts);
        if (c.join > 0) list.JoinAcrossZero(c.join);
        ExpectList(list, c.expected, c.name);
    }
    // Ranges appended as they are, then joined across 0.
    LimbNodeList list;
    list.Append(3, 4);
    list.Append(0, 0.5f);
    list.Append(6.0f, kTwoPi);
    list.JoinAcrossZero(0.01f);
    ExpectList(list, {{3, 4}, {6.0f, 0.5f}}, "joined across 0");
}

TEST(LimbNodeList, WidestDistanceAndCopies) {
    LimbNodeList list = MakeList({{1, 2}, {3, 4}, {5, 5.5f}});
    ASSERT_NE(list.Widest(), nullptr);
    EXPECT_FLOAT_EQ(list.Widest()->Lo(), 1);  // the first of equal widths
    EXPECT_NEAR(list.MinSignedDistance(3.2f), -0.2f, 1e-6f);
    EXPECT_NEAR(list.MinSignedDistance(2.4f), 0.4f, 1e-6f);
    EXPECT_EQ(LimbNodeList().Widest(), nullptr);
    EXPECT_FLOAT_EQ(LimbNodeList().MinSignedDistance(1), kTwoPi);

    // Copies merge, with tolerance 0.01 or the one given.
    LimbNodeList source;
    source.Append(0, 1);
    source.Append(1.03f, 2);
    source.Append(6, kTwoPi);
    LimbNodeList copy = MakeList({{4, 4.5f}});
    source.CopyInto(copy);
    ExpectList(copy, {{1.03f, 2}, {6, 1}}, "plain copy");
    LimbNodeList joined;
    source.CopyInto(joined, 0.05f);
    ExpectList(joined, {{6, 2}}, "copy with tolerance");
}

TEST(LimbNodeList, ChoosePsi) {
    float psi = -1;
    EXPECT_EQ(ChoosePsi(&psi, MakeList({{0.5f, 1.5f}}), MakeList({{1.0f, 3.0f}})), 2);
    EXPECT_NEAR(psi, 1.75f, 1e-6f);
    EXPECT_EQ(ChoosePsi(&psi, MakeList({{0.5f, 2.5f}}), MakeList({{1.0f, 3.0f}})), 1);
    // The widest range of the union wraps across 0; its middle lies in the
    // second list's piece.
    EXPECT_EQ(ChoosePsi(&psi, MakeList({{6.0f, kTwoPi}, {2, 2.5f}}), MakeList({{0, 0.5f}})), 2);
    EXPECT_NEAR(psi, 0.25f - (kTwoPi - 6.0f) / 2, 1e-5f);
    // Gaps under 0.05 close in the union; psi may then lie in neither list,
    // and the nearer list's family is taken.
    EXPECT_EQ(ChoosePsi(&psi, MakeList({{1, 2.47f}}), MakeList({{2.52f, 4}})), 2);
    EXPECT_NEAR(psi, 2.5f, 1e-6f);
    EXPECT_EQ(ChoosePsi(&psi, MakeList({{1, 1.98f}}), MakeList({{2.02f, 3}})), 1);  // a tie: family 1
    EXPECT_NEAR(psi, 2.0f, 1e-6f);
    psi = -1;
    EXPECT_EQ(ChoosePsi(&psi, LimbNodeList(), LimbNodeList()), 0);
    EXPECT_EQ(psi, -1);
}

TEST(LimbNodeList, IntersectionAndUnionOfSingleRanges) {
    const struct {
        const char* name;
        Span x, y;
        std::vector<Span> intersection, united;
    } cases[] = {
        {"overlap", {1, 3}, {2, 4}, {{2, 3}}, {{1, 4}}},
        {"disjoint", {1, 2}, {3, 4}, {}, {{1, 2}, {3, 4}}},
        {"full circle", {0, kTwoPi}, {2, 4}, {{2, 4}}, {{0, 6.2831755f}}},
        {"sliver", {1, 1.005f}, {0, 2}, {}, {{0, 2}}},
        {"two wrapping", {5, 1}, {6, 2}, {{6, 1}}, {{5, 2}}},
        {"intersection under 0.01", {1, 2}, {1.995f, 3}, {}, {{1, 3}}},
    };
    for (const auto& c : cases) {
        LimbNodeList out;
        IntersectIntervals(AngleRange(c.x.lo, c.x.hi), AngleRange(c.y.lo, c.y.hi), out);
        ExpectList(out, c.intersection, std::string(c.name) + " intersection");
        out.Clear();
        UniteIntervals(out, AngleRange(c.x.lo, c.x.hi), AngleRange(c.y.lo, c.y.hi));
        ExpectList(out, c.united, std::string(c.name) + " union");
    }
}

// Random lists of a few ranges (some wrapping) against membership tested
// angle by angle: away from every end of the inputs (where tolerances and
// dropped slivers decide), an angle is in the intersection exactly when it
// is in both lists, and in the union when it is in either.
TEST(LimbNodeList, ListOperationsMatchADenseSampling) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> angle(0, kTwoPi), width(0.02f, 2.5f);
    std::uniform_int_distribution<int> count(1, 4);
    auto randomList = [&] {
        LimbNodeList list;
        for (int n = count(random); n > 0; --n) {
            const float lo = angle(random);
            list.Insert(lo, lo + width(random), 0.01f);
        }
        return list;
    };
    auto inside = [](const LimbNodeList& list, float a) {
        for (const AngleRange& r : list.Ranges()) {
            if (r.Wraps() ? (a >= r.Lo() || a <= r.Hi()) : (a >= r.Lo() && a <= r.Hi())) return true;
        }
        return false;
    };
    auto nearAnEnd = [](const LimbNodeList& list, float a) {
        for (const AngleRange& r : list.Ranges()) {
            for (float end : {r.Lo(), r.Hi()}) {
                const float d = std::fabs(a - end);
                if (std::fmin(d, kTwoPi - d) < 0.03f) return true;
            }
        }
        return false;
    };
    int checked = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const LimbNodeList a = randomList(), b = randomList();
        LimbNodeList both, either;
        IntersectLists(a, b, both);
        UniteLists(a, b, either);
        for (int i = 0; i < 2000; ++i) {
            const float x = kTwoPi * (i + 0.5f) / 2000;
            if (nearAnEnd(a, x) || nearAnEnd(b, x)) continue;
            ++checked;
            ASSERT_EQ(inside(both, x), inside(a, x) && inside(b, x))
                << "trial " << trial << " at " << x << "\nA " << Describe(a) << "\nB " << Describe(b) << "\n= "
                << Describe(both);
            ASSERT_EQ(inside(either, x), inside(a, x) || inside(b, x))
                << "trial " << trial << " at " << x << "\nA " << Describe(a) << "\nB " << Describe(b) << "\n= "
                << Describe(either);
        }
    }
    EXPECT_GT(checked, 100000);
}
