// Curves: the Hermite table through the control points, its scaling, and the
// treatment of points and keys that make no proper segment.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/VRCurve.h"

namespace {

struct Sample {
    uint32_t index;
    float x, y, z;
};

void ExpectSamples(const VRCurve& curve, const std::vector<Sample>& samples) {
    for (const Sample& s : samples) {
        const float* p = curve.GetPosition(s.index);
        EXPECT_FLOAT_EQ(p[0], s.x) << "sample " << s.index;
        EXPECT_FLOAT_EQ(p[1], s.y) << "sample " << s.index;
        EXPECT_FLOAT_EQ(p[2], s.z) << "sample " << s.index;
    }
}

const std::vector<float> kThreePoints = {0, 0, 0, 0, 50, 10, 0, 0, 100, 10, 10, 0};

}  // namespace

TEST(VRCurve, HermiteCoefficientsMeetTheEndsAndTangents) {
    float c[4];
    HermiteCoefficients(2, 1, 10, 3, c);
    EXPECT_FLOAT_EQ(c[3], 2);                          // value at 0
    EXPECT_FLOAT_EQ(c[0] + c[1] + c[2] + c[3], 10);    // value at 1
    EXPECT_FLOAT_EQ(c[2], 1);                          // slope at 0
    EXPECT_FLOAT_EQ(3 * c[0] + 2 * c[1] + c[2], 3);    // slope at 1
    EXPECT_FLOAT_EQ(c[0], 2 * 2 - 2 * 10 + 1 + 3);
}

TEST(VRCurve, ThreePointsPassTheirKeysSmoothly) {
    const int32_t before = LiveObjectCount;
    {
        VRCurve curve(3, kThreePoints.data(), 1, 1, 1, 5);
        EXPECT_EQ(LiveObjectCount, before + 1);
        ExpectSamples(curve, {{0, 0, 0, 0}, {25, 5, -0.125f, 0}, {50, 10, 0, 0}, {75, 10.125f, 5, 0}, {999, 0, 0, 0}});
        // Leaving sample 0 along +x; the last key's sample and those after it
        // are not written.
        EXPECT_GT(curve.GetPosition(1)[0], 0);
        EXPECT_LT(std::fabs(curve.GetPosition(1)[1]), curve.GetPosition(1)[0]);
        ExpectSamples(curve, {{100, 0, 0, 0}, {500, 0, 0, 0}});
        // The samples run smoothly: no step between neighbours is large.
        for (uint32_t i = 1; i < 100; ++i)
            EXPECT_LT(std::fabs(curve.GetPosition(i)[0] - curve.GetPosition(i - 1)[0]) +
                          std::fabs(curve.GetPosition(i)[1] - curve.GetPosition(i - 1)[1]),
                      0.5f)
                << i;
    }
    EXPECT_EQ(LiveObjectCount, before);
}

TEST(VRCurve, ScalesMultiplyEverySample) {
    VRCurve plain(3, kThreePoints.data(), 1, 1, 1, 5);
    VRCurve scaled(3, kThreePoints.data(), 2, 1, -3, 5);
    for (uint32_t i = 0; i < 999; ++i) {
        EXPECT_FLOAT_EQ(scaled.GetPosition(i)[0], 2 * plain.GetPosition(i)[0]) << i;
        EXPECT_FLOAT_EQ(scaled.GetPosition(i)[1], plain.GetPosition(i)[1]) << i;
    }
}

TEST(VRCurve, TwoPointsTakeTheFirstPointsTangentAtBothEnds) {
    const float points[] = {0, 0, 0, 0, 100, 10, 0, 0};
    VRCurve curve(2, points, 1, 1, 1, 5);
    ExpectSamples(curve, {{0, 0, 0, 0}, {25, 1.65625f, 0, 0}, {50, 5, 0, 0}, {75, 8.34375f, 0, 0}});
    // The tension weighs the tangents: 0 is the plain cubic ease.
    VRCurve tight(2, points, 1, 1, 1, 0);
    ExpectSamples(tight, {{50, 5, 0, 0}, {25, 10 * (3 * 0.0625f - 2 * 0.015625f), 0, 0}});
}

// Repeated points, keys out of order or out of range, fractions and NaN:
// nothing that is not a number, nothing written outside the table.
TEST(VRCurve, DegenerateKeysAndPointsStayFinite) {
    struct Case {
        const char* what;
        std::vector<float> points;
        std::vector<Sample> samples;
    };
    const float nan = std::nanf("");
    const Case cases[] = {
        {"equal consecutive points", {0, 1, 1, 1, 10, 1, 1, 1, 20, 3, 1, 1}, {{0, 1, 1, 1}, {5, 0.975f, 1, 1}, {10, 1, 1, 1}}},
        {"keys that do not increase skip their segment", {50, 1, 0, 0, 10, 2, 0, 0, 20, 3, 0, 0},
         {{30, 0, 0, 0}, {5, 0, 0, 0}, {10, 2, 0, 0}}},
        {"keys past the table", {990, 0, 0, 0, 2000, 1000, 0, 0}, {{990, 0, 0, 0}, {0, 0, 0, 0}}},
        {"negative keys", {-10, 0, 0, 0, 10, 20, 0, 0}, {{0, 10, 0, 0}}},
        {"fractional keys are truncated", {0.9f, 0, 0, 0, 10.7f, 10, 0, 0}, {{0, 0, 0, 0}, {10, 0, 0, 0}}},
        {"a NaN key skips its segments", {0, 0, 0, 0, nan, 5, 0, 0, 20, 5, 0, 0}, {{0, 0, 0, 0}, {10, 0, 0, 0}}},
        {"huge keys", {-3e38f, 0, 0, 0, 3e38f, 1, 0, 0}, {{0, 0.5f, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VRCurve curve(static_cast<int32_t>(c.points.size() / 4), c.points.data(), 1, 1, 1, 5);
        for (uint32_t i = 0; i < 1000; ++i)
            for (int k = 0; k < 3; ++k) ASSERT_TRUE(std::isfinite(curve.GetPosition(i)[k])) << i;
        ExpectSamples(curve, c.samples);
    }
}

TEST(VRCurve, FewerThanTwoPointsGiveAnEmptyTable) {
    const float one[] = {0, 1, 2, 3};
    VRCurve curve(1, one, 1, 1, 1, 5);
    ExpectSamples(curve, {{0, 0, 0, 0}, {500, 0, 0, 0}});
}
