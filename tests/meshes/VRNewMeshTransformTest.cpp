// Whole-mesh transforms: positions, boxes, spheres, normals and tangents
// after Translate, CenterBoundingBox, Rotate, Scale, Normalize and Mirror,
// and the degenerate cases (no extent, negative factors, bad axes).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "MeshFixtures.h"
#include "meshes/VRNewMesh.h"

using namespace meshtest;

namespace {

void ExpectNear(const Floats& got, const Floats& want, float tolerance = 1e-5f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
}

Floats Max(const VRBoundingBox& b) { return Floats(b.max, b.max + 3); }
Floats Min(const VRBoundingBox& b) { return Floats(b.min, b.min + 3); }

// A box-shaped mesh from `lo` to `hi` given by SetGeometry: two triangles on
// the diagonal plane, with normals (0, 0, 1) and texture coordinates.
void MakeSpan(VRNewMesh& m, const Floats& lo, const Floats& hi) {
    Geometry g;
    g.positions = {lo[0], lo[1], lo[2], hi[0], lo[1], lo[2], hi[0], hi[1], hi[2], lo[0], hi[1], hi[2]};
    g.triangles = {0, 1, 2, 0, 2, 3};
    g.texCoords = {0, 0, 1, 0, 1, 1, 0, 1};
    g.textureIndexes = g.triangles;
    g.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    g.ranges = {0, 2};
    g.names = {"Span"};
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
}

TEST(VRNewMeshTransformTest, NormalizeScalesTheLargestExtentToTheSize) {
    VRNewMesh m;
    MakeSpan(m, {0, 0, 0}, {4, 2, 1});
    EXPECT_EQ(m.Normalize(2), 0.5f);
    EXPECT_EQ(Max(m.box), (Floats{2, 1, 0.5f}));
    EXPECT_EQ(Entry(m.positions, 2), (Floats{2, 1, 0.5f}));
    EXPECT_EQ(Max(*m.subsets[0].box), (Floats{2, 1, 0.5f}));
    const float radius = std::sqrt(1 + 0.25f + 0.0625f);
    EXPECT_FLOAT_EQ(m.sphereRadius, radius);
    const double reference = radius / (0.5 * std::tan(0.065449846949775));
    EXPECT_FLOAT_EQ(m.referenceDistanceSquared, float(reference * reference));
    ExpectNear(Entry(m.vertexNormals, 0), {0, 0, 1});

    VRNewMesh flat;  // no extent along z: the other two decide
    MakeSpan(flat, {0, 0, 0}, {4, 2, 0});
    EXPECT_EQ(flat.Normalize(1), 0.25f);
}

TEST(VRNewMeshTransformTest, NormalizeOfAPointChangesNothing) {
    VRNewMesh m;
    Geometry g;
    g.positions = {3, 3, 3};
    g.triangles = {0, 0, 0};
    g.ranges = {0, 1};
    g.names = {"Point"};
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    EXPECT_EQ(m.Normalize(2), 1.0f);
    EXPECT_EQ(m.positions, (Floats{3, 3, 3}));
    for (float v : m.vertexNormals) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(m.sphereRadius));
}

TEST(VRNewMeshTransformTest, CenterBoundingBoxMovesTheCentreToTheOrigin) {
    VRNewMesh m;
    MakeSpan(m, {1, 1, 1}, {3, 5, 7});
    const std::array<float, 3> moved = m.CenterBoundingBox();
    EXPECT_EQ(Floats(moved.begin(), moved.end()), (Floats{-2, -3, -4}));
    EXPECT_EQ(Min(m.box), (Floats{-1, -2, -3}));
    EXPECT_EQ(Max(m.box), (Floats{1, 2, 3}));
    EXPECT_EQ(Min(*m.subsets[0].box), (Floats{-1, -2, -3}));
    EXPECT_EQ(Floats(m.sphereCentre, m.sphereCentre + 3), (Floats{0, 0, 0}));
    EXPECT_EQ(Entry(m.positions, 0), (Floats{-1, -2, -3}));
}

TEST(VRNewMeshTransformTest, MirrorReversesTheWindingWithItsCorners) {
    VRNewMesh m;
    MakeSpan(m, {0, 0, 0}, {1, 1, 0});
    m.textureIndexes = {0, 1, 2, 0, 2, 3};
    m.normalIndexes = {4, 5, 6, 7, 8, 9};
    m.Mirror(1);
    EXPECT_EQ(m.triangles, (Ints{0, 2, 1, 0, 3, 2}));
    EXPECT_EQ(m.textureIndexes, (Ints{0, 2, 1, 0, 3, 2}));
    EXPECT_EQ(m.normalIndexes, (Ints{4, 6, 5, 7, 9, 8}));
    EXPECT_EQ(Entry(m.positions, 2), (Floats{1, -1, 0}));
    EXPECT_EQ(Min(m.box), (Floats{0, -1, 0}));
    // The faces keep facing +z: negated y and reversed winding cancel.
    ExpectNear(Entry(m.faceNormals, 0), {0, 0, 1});
    ExpectNear(Entry(m.vertexNormals, 0), {0, 0, 1});

    const Floats before = m.positions;
    const Ints order = m.triangles;
    for (int32_t bad : {3, -1}) m.Mirror(bad);
    EXPECT_EQ(m.positions, before);
    EXPECT_EQ(m.triangles, order);
}

TEST(VRNewMeshTransformTest, GivenNormalsTurnWithTheGeometry) {
    VRNewMesh m;
    MakeSpan(m, {0, 0, 0}, {1, 1, 0});
    const float d = std::sqrt(0.5f);
    m.vertexNormals = {d, 0, d, 0, 0, 1, 0, 0, 1, 0, 0, 1};

    m.Rotate(90, 0, 2, 0);  // the axis is made unit
    ExpectNear(Entry(m.positions, 1), {0, 0, -1});
    ExpectNear(Entry(m.vertexNormals, 0), {d, 0, -d});
    ExpectNear(Entry(m.vertexNormals, 1), {1, 0, 0});
    ExpectNear(Max(m.box), {0, 1, 0});
    ExpectNear(Min(m.box), {0, 0, -1});

    m.Rotate(-90, 0, 1, 0);
    m.Scale(1, 1, 2);  // normals take the inverse transpose
    ExpectNear(Entry(m.vertexNormals, 0), {2 / std::sqrt(5.0f), 0, 1 / std::sqrt(5.0f)});
    m.Mirror(0);
    ExpectNear(Entry(m.vertexNormals, 0), {-2 / std::sqrt(5.0f), 0, 1 / std::sqrt(5.0f)});

    const Floats before = m.positions;
    m.Rotate(45, 0, 0, 0);  // no axis: nothing turns
    EXPECT_EQ(m.positions, before);
}

TEST(VRNewMeshTransformTest, NegativeScaleKeepsMaxAboveMin) {
    VRNewMesh m;
    MakeSpan(m, {0, 0, 0}, {1, 1, 1});
    m.Scale(-2, 1, 1);
    EXPECT_EQ(m.box.min[0], -2.0f);
    EXPECT_EQ(m.box.max[0], 0.0f);
    EXPECT_EQ(m.subsets[0].box->min[0], -2.0f);
    EXPECT_FLOAT_EQ(m.sphereCentre[0], -1.0f);
    // A flattening factor leaves finite normals.
    m.Scale(1, 0, 1);
    for (float v : m.vertexNormals) EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(m.box.max[1], 0.0f);
}

TEST(VRNewMeshTransformTest, ComputedNormalsAndTangentsAreMadeAgain) {
    VRNewMesh cube;
    LoadCube(cube);
    cube.Finalize(4);  // plain vertex normals, not given
    cube.texCoords = {0, 0, 1, 0, 1, 1, 0, 1};
    cube.texCoordCount = 4;
    cube.textureIndexes.clear();
    for (size_t t = 0; t < 12; ++t) cube.textureIndexes.insert(cube.textureIndexes.end(), {0, 1, 2});
    cube.textureIndexCount = 12;
    cube.shaderFlag = 1;
    cube.Translate(-0.5f, -0.5f, -0.5f);
    EXPECT_EQ(Min(cube.box), (Floats{-0.5f, -0.5f, -0.5f}));
    EXPECT_FLOAT_EQ(cube.sphereRadius, std::sqrt(0.75f));
    cube.Rotate(90, 1, 0, 0);
    ASSERT_EQ(cube.tangents.size(), 32u);
    const float d = 1 / std::sqrt(3.0f);
    // Vertex 6 was (0.5, 0.5, 0.5): about x it goes to (0.5, -0.5, 0.5).
    ExpectNear(Entry(cube.positions, 6), {0.5f, -0.5f, 0.5f});
    ExpectNear(Entry(cube.vertexNormals, 6), {d, -d, d});
    for (size_t v = 0; v < 8; ++v) {
        const float w = cube.tangents[v * 4 + 3];
        EXPECT_TRUE(w == 1.0f || w == -1.0f);
    }
}

}  // namespace
