// The keyframe track under the camera animation: how key blocks are read
// and stored, Bezier positions around the keys, and scaling.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/VRAnimTrack.h"

namespace {

// Reads key blocks from the text until the closing brace or the end.
void ReadBlocks(VRAnimTrack& track, const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    ASSERT_NE(nullptr, f);
    TokenizerReset();
    while (!track.ReadKeyBlock(f) && !std::feof(f)) {
    }
    std::fclose(f);
}

}  // namespace

TEST(CameraAnimationTrack, KeyBlocksAreStoredInEngineAxes) {
    VRAnimTrack sampled;
    ReadBlocks(sampled, "PsSam: 2\n0 1 2 3\n1 4 5 6\nVsSam: 1\n7 0.5\n}\n");
    EXPECT_EQ(std::vector<float>({1, 3, -2, 4, 6, -5}), sampled.positionKeys);
    EXPECT_EQ(std::vector<float>({7, 0.5f}), sampled.visibilityKeys);

    VRAnimTrack bezier;
    ReadBlocks(bezier, "PsBez: 1\n0 1 2 3 4 5 6 7 8 9 1\n}");
    ASSERT_EQ(1, bezier.positionCount);
    ASSERT_EQ(11u, bezier.positionKeys.size());
    EXPECT_EQ(std::vector<float>({0, 1, 3, -2, 4, 6, -5, 7, 9, -8}),
              std::vector<float>(bezier.positionKeys.begin(), bezier.positionKeys.begin() + 10));
    int32_t flag;
    std::memcpy(&flag, &bezier.positionKeys[10], sizeof flag);
    EXPECT_EQ(1, flag);

    // A count the file cannot hold, and keys it breaks off in, keep only
    // the whole keys; a count that is no number gives none.
    VRAnimTrack broken;
    ReadBlocks(broken, "RtIPA: 99999\n0 10 20 30\n5 1 2");
    EXPECT_EQ(1, broken.rotationCount);
    EXPECT_EQ(kKeysEuler, broken.rotationKind);
    EXPECT_EQ(4u, broken.rotationKeys.size());
    ReadBlocks(broken, "RtIPA: many\n0 10 20 30\n}");
    EXPECT_EQ(0, broken.rotationCount);
}

TEST(CameraAnimationTrack, BezierPositionsAroundTheKeys) {
    VRAnimTrack track;
    // Keys at frames 0 and 3 with zero tangents: a smooth step from 0 to 1.
    ReadBlocks(track, "PsBez: 2\n10 0 0 0 0 0 0 0 0 0 0\n13 1 0 0 0 0 0 0 0 0 0\n}");
    track.defaultTransform[12] = 42;
    float out[3] = {-1, -1, -1};
    EXPECT_EQ(0, track.GetBezierPosition(5, out));
    EXPECT_FLOAT_EQ(42.0f, out[0]);
    EXPECT_EQ(0, track.GetBezierPosition(11, out));
    EXPECT_NEAR(3 * (1 / 9.0f) - 2 * (1 / 27.0f), out[0], 1e-6);
    EXPECT_EQ(0, track.GetBezierPosition(13, out));
    EXPECT_FLOAT_EQ(1.0f, out[0]);
    out[0] = -7;
    EXPECT_EQ(1, track.GetBezierPosition(14, out));
    EXPECT_FLOAT_EQ(-7.0f, out[0]);
    VRAnimTrack empty;
    EXPECT_EQ(-1, empty.GetBezierPosition(0, out));

    // A tangent of 1 puts the first control point 160 units above P0.
    const float p0 = 0, p1 = 0, t0 = 1, t1 = 0;
    InterpolateBezier(out, 1, 3, &p0, &p1, &t0, &t1, 1);
    EXPECT_NEAR(3 * (1 / 3.0f) * (4 / 9.0f) * 160.0f, out[0], 1e-3);

    track.ScalePositions(2, 0, 2);
    EXPECT_FLOAT_EQ(1.0f, track.positionKeys[11 + 1]);
    track.ScalePositions(2, 1, 1);
    EXPECT_FLOAT_EQ(2.0f, track.positionKeys[11 + 1]);
    EXPECT_FLOAT_EQ(13.0f, track.positionKeys[11]);
}

TEST(CameraAnimationTrack, FramesOfAnyFloatCompareWithoutOverflow) {
    EXPECT_EQ(INT32_MAX, TruncatedFrame(3e38f));
    EXPECT_EQ(INT32_MIN, TruncatedFrame(-3e38f));
    EXPECT_EQ(0, TruncatedFrame(std::nanf("")));
    EXPECT_EQ(-2, TruncatedFrame(-2.7f));
    EXPECT_EQ(INT32_MAX, AddFrames(INT32_MAX, 5));
    EXPECT_EQ(INT32_MIN, AddFrames(INT32_MIN, -5));

    VRAnimTrack track;
    ReadBlocks(track, "PsBez: 1\n3e38 1 2 3 0 0 0 0 0 0 0\n}");
    track.defaultTransform[12] = 4;
    float out[3] = {0, 0, 0};
    EXPECT_EQ(0, track.GetBezierPosition(INT32_MAX, out));
    EXPECT_FLOAT_EQ(4.0f, out[0]);
}
