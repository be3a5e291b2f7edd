// How geometry enters a mesh and the normal pipeline after it: SetGeometry
// and what it refuses, Finalize's normals (given, plain, smoothing groups,
// crease smoothing), subset boxes and spheres, Append.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "MeshFixtures.h"
#include "meshes/VRNewMesh.h"
#include "meshes/VRVertexAttribSet.h"
#include "scene/ShaderPass.h"

using namespace meshtest;

namespace {

void ExpectNear(const Floats& got, const Floats& want, float tolerance = 1e-5f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
}

TEST(VRNewMeshGeometryTest, AQuadWithNormalsKeepsThemAndGetsItsBoxes) {
    VRNewMesh m;
    const Geometry quad = Quad();
    ASSERT_EQ(m.SetGeometry(quad.View()), 0);
    EXPECT_EQ(m.SubsetCount(), 1);
    EXPECT_EQ(m.vertexCount, 4);
    EXPECT_EQ(m.triangleCount, 2);
    EXPECT_EQ(m.MaterialCount(), 1);
    EXPECT_EQ(m.frameCount, 1);
    EXPECT_EQ(m.geometryGiven, 1);
    EXPECT_EQ(m.normalsPresent, 1);
    EXPECT_EQ(m.vertexNormals, quad.normals);
    const VRMeshSubset& s = m.subsets[0];
    EXPECT_STREQ(s.Name(), "Quad");
    EXPECT_EQ(s.materialIndex, 0);
    EXPECT_EQ(s.triangleCount, 2);
    EXPECT_EQ(s.textureTriangleCount, 2);
    ASSERT_TRUE(s.box);
    EXPECT_EQ(Floats(s.box->max, s.box->max + 3), Floats(m.box.max, m.box.max + 3));
    EXPECT_EQ(Floats(s.box->min, s.box->min + 3), (Floats{-2, -1, 0}));

    float radius = 0, centre[3] = {9, 9, 9};
    ASSERT_EQ(m.SubsetGetBoundingSphere(0, &radius, centre), 0);
    ExpectNear(Floats(centre, centre + 3), {0, 1, 0});
    EXPECT_NEAR(radius, 2.82843f, 1e-5f);
    EXPECT_NEAR(m.sphereRadius, 2.82843f, 1e-5f);
    for (int32_t bad : {1, -1}) EXPECT_EQ(m.SubsetGetBoundingSphere(bad, &radius, centre), -1);
    EXPECT_EQ(centre[0], 0.0f);  // untouched
    EXPECT_EQ(m.translucent, Ints({0}));
    ExpectNear(m.faceNormals, {0, 0, 1, 0, 0, 1});
}

TEST(VRNewMeshGeometryTest, BadGeometryIsRefusedAndChangesNothing) {
    struct Case {
        const char* name;
        void (*spoilData)(Geometry&);
        void (*spoilView)(VRMeshGeometry&);
    };
    auto none = [](Geometry&) {};
    auto asIs = [](VRMeshGeometry&) {};
    const Case cases[] = {
        {"vertex index = V", [](Geometry& g) { g.triangles[4] = 4; }, asIs},
        {"negative vertex index", [](Geometry& g) { g.triangles[0] = -1; }, asIs},
        {"texture index = K", [](Geometry& g) { g.textureIndexes[5] = 4; }, asIs},
        {"group past the triangles", [](Geometry& g) { g.ranges = {1, 2}; }, asIs},
        {"negative group start", [](Geometry& g) { g.ranges = {-1, 1}; }, asIs},
        {"negative group count", [](Geometry& g) { g.ranges = {0, -1}; }, asIs},
        {"smoothing groups short of the triangles",
         [](Geometry& g) {
             g.normals.clear();
             g.smoothing = {1};
         },
         asIs},
        {"negative count", none, [](VRMeshGeometry& v) { v.vertexCount = -1; }},
        {"count beyond the data", none, [](VRMeshGeometry& v) { v.vertexCount = 5; }},
        {"triangles beyond the data", none, [](VRMeshGeometry& v) { v.triangleCount = 3; }},
        {"texture indexes for some triangles only", none, [](VRMeshGeometry& v) { v.textureIndexCount = 1; }},
        {"fewer normals than vertices", none, [](VRMeshGeometry& v) { v.normalCount = 3; }},
        {"a group without its name", none, [](VRMeshGeometry& v) { v.groupNames = {}; }},
        {"no data behind a count", none, [](VRMeshGeometry& v) { v.texCoords = {}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VRNewMesh m;
        const Geometry first = Quad();
        ASSERT_EQ(m.SetGeometry(first.View()), 0);
        Geometry g = Quad();
        g.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        ASSERT_EQ(VRNewMesh().SetGeometry(g.View()), 0);  // sound before it is spoilt
        c.spoilData(g);
        VRMeshGeometry view = g.View();
        c.spoilView(view);
        EXPECT_EQ(m.SetGeometry(view), -1);
        EXPECT_EQ(m.positions, first.positions);
        EXPECT_EQ(m.triangles, first.triangles);
        EXPECT_EQ(m.vertexNormals, first.normals);
        EXPECT_EQ(m.SubsetCount(), 1);
        EXPECT_STREQ(m.subsets[0].Name(), "Quad");
    }
}

TEST(VRNewMeshGeometryTest, NamesAreReadUpTo255Bytes) {
    Geometry g = Quad();
    g.ranges = {0, 1, 1, 1};
    g.names = {std::string(255, 'x') + "tail", std::string("ab\0cd", 5)};
    VRNewMesh m;
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    EXPECT_EQ(std::string(m.subsets[0].Name()), std::string(255, 'x'));
    EXPECT_STREQ(m.subsets[1].Name(), "ab");
    EXPECT_EQ(m.subsets[1].firstIndex, 3);
    EXPECT_EQ(m.subsets[1].materialIndex, 1);
    EXPECT_EQ(m.MaterialCount(), 2);
}

TEST(VRNewMeshGeometryTest, NeitherNormalsNorGroupsGivesPlainVertexNormals) {
    Geometry g = Quad();
    g.normals.clear();
    VRNewMesh m;
    LoadCube(m);  // what the mesh had: none of it may name the new vertices
    m.Finalize(0);
    m.colours = Floats(size_t(m.vertexCount) * 3, 0.5f);
    m.colourCount = m.vertexCount;
    m.quads = {20, 21, 22, 23};
    m.quadCount = 1;
    m.normalIndexes = Ints(36, 30);
    m.separateNormalIndexes = 1;
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    EXPECT_TRUE(m.colours.empty() && m.quads.empty() && m.normalIndexes.empty());
    EXPECT_EQ(m.colourCount + m.quadCount + m.separateNormalIndexes, 0);
    EXPECT_TRUE(m.tangents.empty());
    EXPECT_EQ(m.vertexNormalCount, 4);
    for (size_t v = 0; v < 4; ++v) ExpectNear(Entry(m.vertexNormals, v), {0, 0, 1});
    EXPECT_EQ(m.vertexCount, 4);  // no crease smoothing of given geometry
}

// Four triangles round vertex 0 with the smoothing groups 1, 2, 4 and 6.
Geometry Fan(const Ints& groups) {
    Geometry g;
    g.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0, 0, 0, -1, 0};
    g.triangles = {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1};
    g.ranges = {0, 4};
    g.names = {"Fan"};
    g.smoothing = groups;
    return g;
}

TEST(VRNewMeshGeometryTest, SmoothingGroupsSplitVerticesByTheirBits) {
    VRNewMesh m;
    const Geometry g = Fan({1, 2, 4, 6});
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    // Vertex 0 has bits 0-2: copies 5 (bit 1) and 6 (bit 2); vertex 1 has
    // bits 0-2: 7, 8; vertex 2 bits 0-1: 9; vertex 3 bits 1-2: 10; vertex 4
    // bits 1-2: 11.
    EXPECT_EQ(m.vertexCount, 12);
    EXPECT_EQ(m.triangles, (Ints{0, 1, 2, 5, 9, 3, 6, 10, 11, 5, 11, 7}));
    for (auto [copy, of] : {std::pair{5, 0}, {6, 0}, {7, 1}, {8, 1}, {9, 2}, {10, 3}, {11, 4}})
        EXPECT_EQ(Entry(m.positions, size_t(copy)), Entry(g.positions, size_t(of)));
    EXPECT_EQ(m.vertexNormalCount, 12);
    EXPECT_EQ(m.normalsPresent, 1);
}

TEST(VRNewMeshGeometryTest, OverlappingGroupsShareTheCopyOfTheirLowestExtraBit) {
    VRNewMesh m;
    const Geometry g = Fan({1, 2, 3, 1});
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    // Vertex 0: masks 1, 2, 3 and 1 → one copy (5), taken by the triangles
    // with masks 2 and 3; vertices 2, 3 and 4 (bits 0 and 1) get one each
    // (6, 7, 8), taken by their triangles with bit 1.
    EXPECT_EQ(m.vertexCount, 9);
    EXPECT_EQ(m.triangles, (Ints{0, 1, 2, 5, 6, 7, 5, 7, 8, 0, 4, 1}));
}

// (position, normal) pairs of the mesh's vertices, rounded.
std::set<std::vector<int>> DistinctVertices(const VRNewMesh& m) {
    std::set<std::vector<int>> out;
    for (size_t v = 0; v < size_t(m.vertexCount); ++v) {
        std::vector<int> key;
        for (size_t i = 0; i < 3; ++i) key.push_back(int(std::lround(m.positions[v * 3 + i] * 1000)));
        for (size_t i = 0; i < 3; ++i) key.push_back(int(std::lround(m.vertexNormals[v * 3 + i] * 1000)));
        out.insert(key);
    }
    return out;
}

TEST(VRNewMeshGeometryTest, CreaseSmoothingGivesACubeItsFaceNormals) {
    VRNewMesh cube;
    LoadCube(cube);
    cube.Finalize(0);
    // Every corner's vertex carries its own face's normal: 24 different
    // vertices. The first face round a vertex shares one vertex; every
    // other triangle there gets one of its own, so a vertex on the diagonal
    // of a later face has two equal copies for it: 32 vertices in all.
    EXPECT_EQ(DistinctVertices(cube).size(), 24u);
    EXPECT_EQ(cube.vertexCount, 32);
    EXPECT_EQ(cube.vertexNormalCount, 32);
    for (size_t t = 0; t < 12; ++t)
        for (size_t k = 0; k < 3; ++k)
            ExpectNear(Entry(cube.vertexNormals, size_t(cube.triangles[t * 3 + k])), Entry(cube.faceNormals, t));
    EXPECT_EQ(Floats(cube.box.max, cube.box.max + 3), (Floats{1, 1, 1}));

    VRNewMesh plain;
    LoadCube(plain);
    plain.creaseAngle = -1.0f;
    plain.Finalize(0);
    EXPECT_EQ(plain.vertexCount, 8);
    const float d = 1.0f / std::sqrt(3.0f);
    ExpectNear(Entry(plain.vertexNormals, 0), {-d, -d, -d});
    ExpectNear(Entry(plain.vertexNormals, 6), {d, d, d});
}

TEST(VRNewMeshGeometryTest, CreaseSmoothingCarriesQuadsColoursAndAttributes) {
    VRNewMesh m;
    LoadCube(m);
    // A ninth vertex used only by a quad, and the cube's bottom as a quad.
    m.positions.insert(m.positions.end(), {5, 5, 5});
    m.vertexCount = 9;
    m.quads = {8, 0, 1, 2};
    m.quadCount = 1;
    m.subsets[0].quadCount = 1;
    m.colours.clear();
    for (int v = 0; v < 9; ++v) m.colours.insert(m.colours.end(), {float(v), 0, 0});
    m.colourCount = 9;
    m.vertexAttribs = std::make_unique<VRVertexAttribSet>();
    m.vertexAttribs->floatsPerVertex = 1;
    for (int v = 0; v < 9; ++v) m.vertexAttribs->data.push_back(float(v) * 10);
    const Floats original = m.positions;
    m.Finalize(0);

    ASSERT_EQ(m.colours.size(), size_t(m.vertexCount) * 3);
    ASSERT_EQ(m.vertexAttribs->data.size(), size_t(m.vertexCount));
    // Every vertex keeps the colour and attribute of the vertex it came from.
    for (size_t v = 0; v < size_t(m.vertexCount); ++v) {
        const size_t from = size_t(m.colours[v * 3]);
        ASSERT_LT(from, 9u);
        EXPECT_EQ(Entry(m.positions, v), Entry(original, from));
        EXPECT_EQ(m.vertexAttribs->data[v], float(from) * 10);
    }
    // The quad still names the vertices at its old corners.
    ASSERT_EQ(m.quads.size(), 4u);
    const Floats corners[4] = {{5, 5, 5}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    for (size_t k = 0; k < 4; ++k) {
        ASSERT_LT(size_t(m.quads[k]), size_t(m.vertexCount));
        EXPECT_EQ(Entry(m.positions, size_t(m.quads[k])), corners[k]);
    }
    EXPECT_EQ(Entry(m.vertexNormals, size_t(m.quads[0])), (Floats{0, 0, 0}));
}

TEST(VRNewMeshGeometryTest, NormalIndexesThatNameNoNormalAreNotUsed) {
    for (int spoil : {0, 1}) {
        VRNewMesh m;
        LoadCube(m);
        m.vertexNormals = {0, 0, 1, 0, 1, 0};
        m.vertexNormalCount = 2;
        m.separateNormalIndexes = 1;
        m.normalIndexes = spoil ? Ints(36, 2) : Ints(30, 1);  // past the normals, or short of the triangles
        m.Finalize(0);
        EXPECT_EQ(m.separateNormalIndexes, 0);
        EXPECT_EQ(m.vertexNormalCount, m.vertexCount);
        EXPECT_EQ(m.vertexCount, 32);  // computed and crease smoothed
    }
    VRNewMesh kept;  // sound indexes: the file's normals stay
    LoadCube(kept);
    kept.vertexNormals = {0, 0, 1, 0, 1, 0};
    kept.vertexNormalCount = 2;
    kept.separateNormalIndexes = 1;
    kept.normalIndexes = Ints(36, 1);
    kept.Finalize(0);
    EXPECT_EQ(kept.separateNormalIndexes, 1);
    EXPECT_EQ(kept.vertexNormals, (Floats{0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(kept.vertexCount, 8);
}

TEST(VRNewMeshGeometryTest, SubsetBoxesWalkTrianglesThenQuads) {
    VRNewMesh m;
    m.positions = {0, 0, 0, 2, 0, 0, 0, 2, 0, 5, 5, 5, 7, 5, 5, 7, 7, 5, 5, 7, 9};
    m.vertexCount = 7;
    m.triangles = {0, 1, 2};
    m.triangleCount = 1;
    m.quads = {3, 4, 5, 6};
    m.quadCount = 1;
    m.subsets.resize(3);
    m.subsets[0].triangleCount = 1;  // triangles only
    m.subsets[1].quadCount = 1;      // quads only
    m.subsets[2].triangleCount = 4;  // says more than there is
    m.ComputeSubsetBoundingBoxes();
    const VRBoundingBox &a = *m.subsets[0].box, &b = *m.subsets[1].box, &c = *m.subsets[2].box;
    EXPECT_EQ(Floats(a.max, a.max + 3), (Floats{2, 2, 0}));
    EXPECT_FLOAT_EQ(a.radius, std::sqrt(2.0f));
    EXPECT_EQ(Floats(b.min, b.min + 3), (Floats{5, 5, 5}));
    EXPECT_EQ(Floats(b.max, b.max + 3), (Floats{7, 7, 9}));
    EXPECT_FLOAT_EQ(b.radius, std::sqrt(6.0f));
    EXPECT_EQ(c.max[0] + c.min[0] + c.radius, 0.0f);  // nothing left: seven zeros

    m.subsets.emplace_back();  // no box yet
    float radius = 7, centre[3] = {7, 7, 7};
    EXPECT_EQ(m.SubsetGetBoundingSphere(3, &radius, centre), -1);
    EXPECT_EQ(radius, 7.0f);
    EXPECT_EQ(m.SubsetGetBoundingSphere(1, &radius, centre), 0);
    EXPECT_EQ(Floats(centre, centre + 3), (Floats{6, 6, 7}));
}

TEST(VRNewMeshGeometryTest, AppendShiftsIndexesAndMaterials) {
    VRNewMesh a, b;
    Geometry g;
    g.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    g.texCoords = {0, 0, 1, 0};
    g.triangles = {0, 1, 2};
    g.textureIndexes = {0, 1, 1};
    g.ranges = {0, 1};
    g.names = {"A"};
    ASSERT_EQ(a.SetGeometry(g.View()), 0);
    g.names = {"B"};
    g.positions = {0, 0, 1, 1, 0, 1, 0, 1, 1};
    ASSERT_EQ(b.SetGeometry(g.View()), 0);
    b.Material(0)->shininess = 9;

    a.Append(b, 1, 0);
    EXPECT_EQ(a.vertexCount, 6);
    EXPECT_EQ(a.triangles, (Ints{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(a.textureIndexes, (Ints{0, 1, 1, 2, 3, 3}));
    EXPECT_EQ(a.texCoordCount, 4);
    ASSERT_EQ(a.SubsetCount(), 2);
    EXPECT_EQ(a.subsets[1].materialIndex, 1);
    EXPECT_EQ(a.subsets[1].firstIndex, 3);
    EXPECT_EQ(a.subsets[1].firstTextureIndex, 3);
    EXPECT_STREQ(a.subsets[1].Name(), "B");
    EXPECT_EQ(a.MaterialCount(), 2);
    EXPECT_EQ(a.Material(1)->shininess, 9.0f);
    EXPECT_EQ(a.vertexNormalCount, 6);
    EXPECT_EQ(a.box.max[2], 1.0f);  // finalized
    EXPECT_EQ(a.frameCount, 1);
    EXPECT_EQ(b.vertexCount, 3);  // the other is left as it was
    EXPECT_EQ(b.SubsetCount(), 1);
}

TEST(VRNewMeshGeometryTest, AppendKeepsEveryArrayCoveringEveryVertex) {
    VRNewMesh a, b;
    LoadCube(a);
    a.Finalize(4);
    a.colours = Floats(size_t(a.vertexCount) * 3, 0.25f);
    a.colourCount = a.vertexCount;
    a.subsets[0].doubleSided = 1;
    a.subsets[0].frontFace = kSubsetFrontCW;

    LoadCube(b);
    b.quads = {0, 1, 2, 3};
    b.quadCount = 1;
    b.subsets[0].quadCount = 1;
    b.subsets[0].shaderIndex = 0;
    b.shaders.push_back(std::make_unique<ShaderPassList>());
    b.shaders[0]->AddPass(nullptr, std::make_unique<ShaderUniformList>(), std::make_unique<GLStateList>());
    // b's normals come through separate indexes: two normals for all.
    b.Finalize(4);
    b.vertexNormals = {0, 0, 1, 0, 0, -1};
    b.vertexNormalCount = 2;
    b.normalIndexes = Ints(36, 1);
    b.separateNormalIndexes = 1;
    a.shaders.push_back(nullptr);

    a.Append(b, 0, 0);
    EXPECT_EQ(a.vertexCount, 16);
    EXPECT_EQ(a.colours.size(), 48u);
    EXPECT_EQ(Entry(a.colours, 15), (Floats{1, 1, 1}));  // padded
    EXPECT_EQ(a.quads, (Ints{8, 9, 10, 11}));
    EXPECT_EQ(a.quadCount, 1);
    EXPECT_EQ(a.quadNormals.size(), 3u);
    // Normals through indexes for both: this mesh's 8 per-vertex ones, then
    // the other's 2.
    EXPECT_EQ(a.separateNormalIndexes, 1);
    EXPECT_EQ(a.vertexNormalCount, 10);
    ASSERT_EQ(a.normalIndexes.size(), 72u);
    EXPECT_EQ(Ints(a.normalIndexes.begin(), a.normalIndexes.begin() + 3), (Ints{0, 2, 1}));
    EXPECT_EQ(a.normalIndexes[36], 9);
    EXPECT_EQ(a.faceNormals.size(), 72u);
    // Shaders: the other's table after this one's, its index moved.
    EXPECT_EQ(a.ShaderCount(), 2);
    ASSERT_TRUE(a.shaders[1]);
    EXPECT_EQ(a.shaders[1]->Count(), 1);
    EXPECT_NE(a.shaders[1].get(), b.shaders[0].get());
    EXPECT_EQ(a.subsets[1].shaderIndex, 1);
    // This mesh's subset keeps all it had.
    EXPECT_EQ(a.subsets[0].doubleSided, 1);
    EXPECT_EQ(a.subsets[0].frontFace, kSubsetFrontCW);
    EXPECT_EQ(a.translucent.size(), 2u);

    a.Finalize(0);  // the merged mesh goes through the pipeline
    EXPECT_EQ(a.vertexNormalCount, 10);
}

TEST(VRNewMeshGeometryTest, AppendWithReleaseEmptiesTheOtherAndToItselfDoubles) {
    VRNewMesh a, b;
    const Geometry quad = Quad();
    ASSERT_EQ(a.SetGeometry(quad.View()), 0);
    ASSERT_EQ(b.SetGeometry(quad.View()), 0);
    a.Append(b, 1, 1);
    EXPECT_EQ(a.vertexCount, 8);
    EXPECT_EQ(b.vertexCount + b.triangleCount + b.SubsetCount(), 0);
    EXPECT_TRUE(b.positions.empty() && b.triangles.empty());
    EXPECT_EQ(b.MaterialCount(), 1);  // materials stay

    a.Append(a, 1, 1);
    EXPECT_EQ(a.vertexCount, 16);
    EXPECT_EQ(a.SubsetCount(), 4);
    EXPECT_EQ(a.subsets[3].firstIndex, 18);
    EXPECT_EQ(a.MaterialCount(), 4);
}

TEST(VRNewMeshGeometryTest, FlipNormalsNegatesAndSwapRecomputesTheBoxes) {
    VRNewMesh m;
    Geometry g = Quad();
    ASSERT_EQ(m.SetGeometry(g.View()), 0);
    EXPECT_EQ(m.FlipNormals(0), 0);
    ExpectNear(Entry(m.vertexNormals, 0), {0, 0, -1});
    ExpectNear(Entry(m.faceNormals, 1), {0, 0, -1});
    m.FlipNormals(1);
    EXPECT_EQ(Floats(m.box.min, m.box.min + 3), (Floats{0, -1, -2}));
    EXPECT_EQ(Floats(m.box.max, m.box.max + 3), (Floats{0, 3, 2}));
    EXPECT_EQ(m.subsets[0].box->min[2], -2.0f);
}

}  // namespace
