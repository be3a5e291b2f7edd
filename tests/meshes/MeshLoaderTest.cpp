// Face normals, vertex normals and tangent frames of the mesh loader, over
// meshes made in the test: the shortest-edge rule, quads, unweighted sums,
// handedness, and what out-of-range or missing data gives (zeros, never
// non-numbers, nothing read outside the arrays).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "meshes/MeshLoader.h"
#include "meshes/VRNewMesh.h"
#include "scene/EngineServices.h"

namespace {

using Vec = std::vector<float>;

void SetPositions(VRNewMesh& m, const Vec& p) {
    m.positions = p;
    m.vertexCount = static_cast<int32_t>(p.size() / 3);
}

void SetTriangles(VRNewMesh& m, const std::vector<int32_t>& t) {
    m.triangles = t;
    m.triangleCount = static_cast<int32_t>(t.size() / 3);
}

void SetTexture(VRNewMesh& m, const Vec& uv, const std::vector<int32_t>& indexes) {
    m.texCoords = uv;
    m.texCoordCount = static_cast<int32_t>(uv.size() / 2);
    m.textureIndexes = indexes;
    m.textureIndexCount = static_cast<int32_t>(indexes.size() / 3);
}

Vec At(const std::vector<float>& a, size_t i, size_t width = 3) {
    return Vec(a.begin() + static_cast<ptrdiff_t>(i * width), a.begin() + static_cast<ptrdiff_t>(i * width + width));
}

void ExpectNear(const Vec& got, const Vec& want, float tolerance = 1e-5f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "component " << i;
}

// Normals, then tangents, as the mesh pipeline runs them.
void AllFrames(VRNewMesh& m) {
    MeshLoader::ComputeFaceNormals(m);
    MeshLoader::ComputeVertexNormals(m);
    MeshLoader::ComputeTangents(m);
}

struct TriangleCase {
    const char* name;
    Vec p;  // three corners
    Vec normal;
};

TEST(MeshLoaderTest, TriangleFaceNormals) {
    const TriangleCase cases[] = {
        {"right triangle", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1}},
        {"reversed", {0, 0, 0, 0, 1, 0, 1, 0, 0}, {0, 0, -1}},
        {"thin: the short edge is replaced", {0, 0, 0, 10, 0, 0, 0, 0.001f, 0}, {0, 0, 1}},
        {"thin, other corner short", {0, 0, 0, 0, 0.001f, 0, 10, 0, 0}, {0, 0, -1}},
        {"collinear", {0, 0, 0, 1, 1, 1, 2, 2, 2}, {0, 0, 0}},
        {"one point", {3, 3, 3, 3, 3, 3, 3, 3, 3}, {0, 0, 0}},
    };
    for (const TriangleCase& c : cases) {
        SCOPED_TRACE(c.name);
        VRNewMesh m;
        SetPositions(m, c.p);
        SetTriangles(m, {0, 1, 2});
        MeshLoader::ComputeFaceNormals(m);
        ExpectNear(m.faceNormals, c.normal);
        float shape[3];
        MeshLoader::ShapeTriangleNormal(&c.p[0], &c.p[3], &c.p[6], shape);
        ExpectNear(Vec(shape, shape + 3), c.normal);
    }
}

TEST(MeshLoaderTest, QuadNormalIgnoresItsThirdCorner) {
    for (float z : {0.0f, 5.0f, -40.0f}) {
        VRNewMesh m;
        SetPositions(m, {0, 0, 0, 1, 0, 0, 7, 3, z, 0, 1, 0});
        m.quads = {0, 1, 2, 3};
        m.quadCount = 1;
        MeshLoader::ComputeFaceNormals(m);
        ExpectNear(m.quadNormals, {0, 0, 1});
        EXPECT_TRUE(m.faceNormals.empty());
    }
}

TEST(MeshLoaderTest, VertexNormalsAreUnweightedSumsOfTriangles) {
    VRNewMesh m;
    // Two triangles on the edge (0,0,0)-(1,0,0): one in the plane z = 0
    // facing +z, one in the plane y = 0 facing +y. Vertex 4 is used by
    // nothing, vertex 5 by a quad only.
    SetPositions(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, -1, 9, 9, 9, 5, 5, 5});
    SetTriangles(m, {0, 1, 2, 0, 1, 3});
    m.quads = {5, 0, 1, 2};
    m.quadCount = 1;
    MeshLoader::ComputeFaceNormals(m);
    ExpectNear(At(m.faceNormals, 0), {0, 0, 1});
    ExpectNear(At(m.faceNormals, 1), {0, 1, 0});
    MeshLoader::ComputeVertexNormals(m);
    EXPECT_EQ(m.vertexNormalCount, 6);
    ExpectNear(At(m.vertexNormals, 0), {0, 0.70710678f, 0.70710678f});
    ExpectNear(At(m.vertexNormals, 1), {0, 0.70710678f, 0.70710678f});
    ExpectNear(At(m.vertexNormals, 2), {0, 0, 1});
    EXPECT_EQ(At(m.vertexNormals, 4), (Vec{0, 0, 0}));  // unused: zeros, not 0/0
    EXPECT_EQ(At(m.vertexNormals, 5), (Vec{0, 0, 0}));  // quads do not count
}

struct TangentCase {
    const char* name;
    Vec uv;
    Vec tangent;  // x, y, z, w
    Vec bitangent;
};

TEST(MeshLoaderTest, TangentFramesAndHandedness) {
    // A unit square in the xy plane facing +z, as two triangles.
    const TangentCase cases[] = {
        {"standard mapping", {0, 0, 1, 0, 1, 1, 0, 1}, {1, 0, 0, 1}, {0, 1, 0}},
        {"u mirrored", {1, 0, 0, 0, 0, 1, 1, 1}, {-1, 0, 0, -1}, {0, 1, 0}},
        {"v mirrored", {0, 1, 1, 1, 1, 0, 0, 0}, {1, 0, 0, -1}, {0, -1, 0}},
        {"collinear coordinates add nothing", {0, 0, 1, 1, 2, 2, 3, 3}, {0, 0, 0, 1}, {0, 0, 0}},
    };
    for (const TangentCase& c : cases) {
        SCOPED_TRACE(c.name);
        VRNewMesh m;
        SetPositions(m, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
        SetTriangles(m, {0, 1, 2, 0, 2, 3});
        SetTexture(m, c.uv, {0, 1, 2, 0, 2, 3});
        AllFrames(m);
        ASSERT_EQ(m.tangents.size(), 16u);
        ASSERT_EQ(m.bitangents.size(), 12u);
        for (size_t v = 0; v < 4; ++v) {
            ExpectNear(At(m.tangents, v, 4), c.tangent);
            EXPECT_EQ(m.tangents[v * 4 + 3], c.tangent[3]);  // exactly +1 or -1
            ExpectNear(At(m.bitangents, v), c.bitangent);
        }
    }
}

TEST(MeshLoaderTest, UnreachableVerticesGetZeroFramesNotNonNumbers) {
    VRNewMesh m;
    // Vertex 3 is used by no triangle, vertex 4 only by a quad.
    SetPositions(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 4, 4, 4, 6, 6, 6});
    SetTriangles(m, {0, 1, 2});
    m.quads = {4, 0, 1, 2};
    m.quadCount = 1;
    SetTexture(m, {0, 0, 1, 0, 0, 1}, {0, 1, 2});
    AllFrames(m);
    for (size_t v : {3u, 4u}) {
        EXPECT_EQ(At(m.vertexNormals, v), (Vec{0, 0, 0}));
        EXPECT_EQ(At(m.tangents, v, 4), (Vec{0, 0, 0, 1}));
        EXPECT_EQ(At(m.bitangents, v), (Vec{0, 0, 0}));
    }
    ExpectNear(At(m.tangents, 0, 4), {1, 0, 0, 1});
}

TEST(MeshLoaderTest, BadIndexesAndMissingTextureDataContributeNothing) {
    struct Case {
        const char* name;
        std::vector<int32_t> triangles;
        Vec uv;
        std::vector<int32_t> textureIndexes;
        int32_t textureIndexCount;
    };
    // Triangle 0 is good; triangle 1 is whatever the case makes bad. Only
    // triangle 0 may reach the vertices 0..2; the bad one would tilt them.
    const Case cases[] = {
        {"vertex index past the end", {0, 1, 2, 0, 1, 7}, {0, 0, 1, 0, 0, 1}, {0, 1, 2, 0, 1, 2}, 2},
        {"negative vertex index", {0, 1, 2, 0, -1, 3}, {0, 0, 1, 0, 0, 1}, {0, 1, 2, 0, 1, 2}, 2},
        {"texture index past the coordinates", {0, 1, 2, 0, 3, 1}, {0, 0, 1, 0, 0, 1}, {0, 1, 2, 0, 9, 1}, 2},
        {"texture indexes for the first triangle only", {0, 1, 2, 0, 3, 1}, {0, 0, 1, 0, 0, 1}, {0, 1, 2}, 1},
        {"count above the indexes held", {0, 1, 2, 0, 3, 1}, {0, 0, 1, 0, 0, 1}, {0, 1, 2}, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VRNewMesh m;
        SetPositions(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, -1});
        SetTriangles(m, c.triangles);
        SetTexture(m, c.uv, c.textureIndexes);
        m.textureIndexCount = c.textureIndexCount;
        AllFrames(m);
        ExpectNear(At(m.tangents, 2, 4), {1, 0, 0, 1});
        ExpectNear(At(m.bitangents, 2), {0, 1, 0});
    }

    VRNewMesh bare;  // no texture coordinates at all
    SetPositions(bare, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    SetTriangles(bare, {0, 1, 2});
    AllFrames(bare);
    EXPECT_EQ(bare.tangents, Vec({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(bare.bitangents, Vec(9, 0.0f));
    ExpectNear(At(bare.vertexNormals, 0), {0, 0, 1});
}

TEST(MeshLoaderTest, CountsAreBoundedByTheirArrays) {
    VRNewMesh m;
    SetPositions(m, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    SetTriangles(m, {0, 1, 2});
    m.vertexCount = 50;      // more than the positions hold
    m.triangleCount = 1000;  // more than the indexes hold
    m.quadCount = 3;         // no quad indexes at all
    AllFrames(m);
    EXPECT_EQ(m.faceNormals.size(), 3u);
    EXPECT_TRUE(m.quadNormals.empty());
    EXPECT_EQ(m.vertexNormalCount, 3);
    EXPECT_EQ(m.tangents.size(), 12u);

    m.vertexCount = -4;
    m.triangleCount = -1;
    AllFrames(m);
    EXPECT_TRUE(m.faceNormals.empty());
    EXPECT_TRUE(m.vertexNormals.empty());
    EXPECT_EQ(m.vertexNormalCount, 0);
    EXPECT_TRUE(m.tangents.empty() && m.bitangents.empty());
}

TEST(MeshLoaderTest, RepeatedCallsReplaceTheirArrays) {
    VRNewMesh m;
    SetPositions(m, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    SetTriangles(m, {0, 1, 2});
    SetTexture(m, {0, 0, 1, 0, 0, 1}, {0, 1, 2});
    AllFrames(m);
    const Vec first = m.tangents;
    m.positions[3] = -1;  // the mesh changes: the frames follow, no stale entries
    AllFrames(m);
    EXPECT_EQ(m.faceNormals.size(), 3u);
    EXPECT_EQ(m.vertexNormals.size(), 9u);
    EXPECT_EQ(m.tangents.size(), first.size());
    ExpectNear(At(m.faceNormals, 0), {0, 0, -1});
}

std::string g_reported;
int Capture(const char* text) {
    g_reported += text;
    return 0;
}

TEST(MeshLoaderTest, NormalizeLeavesAZeroVectorAndReportsOnlyWhenAsked) {
    SetEngineErrorHandler(Capture);
    g_reported.clear();
    float f[3] = {0, 0, 0};
    double d[3] = {0, 0, 0};
    MeshLoader::Normalize(f, false);
    MeshLoader::Normalize(d, false);
    EXPECT_EQ(g_reported, "");
    MeshLoader::Normalize(f, true);
    EXPECT_EQ(g_reported, "MeshLoader->Normalize : Vettore nullo. ");
    EXPECT_EQ(f[0] + f[1] + f[2], 0.0f);
    MeshLoader::Normalize(d, true);
    EXPECT_EQ(d[0] + d[1] + d[2], 0.0);
    SetEngineErrorHandler(nullptr);

    float g[3] = {3, 0, 4};
    MeshLoader::Normalize(g, true);
    ExpectNear(Vec(g, g + 3), {0.6f, 0, 0.8f});
    double x[3] = {1, 0, 0}, y[3] = {0, 1, 0};
    float z[3];
    MeshLoader::Cross(x, y, z);
    EXPECT_EQ(Vec(z, z + 3), (Vec{0, 0, 1}));
    const float fx[3] = {0, 1, 0}, fy[3] = {0, 0, 1};
    MeshLoader::Cross(fx, fy, z);
    EXPECT_EQ(Vec(z, z + 3), (Vec{1, 0, 0}));
}

TEST(MeshLoaderTest, TheSceneLoaderIsOneCountedObject) {
    const int32_t before = LiveObjectCount;
    EXPECT_EQ(SceneMeshLoader(), nullptr);
    CreateMeshLoader();
    MeshLoader* loader = SceneMeshLoader();
    ASSERT_NE(loader, nullptr);
    CreateMeshLoader();
    EXPECT_EQ(SceneMeshLoader(), loader);
    EXPECT_EQ(LiveObjectCount, before + 1);
    DeleteMeshLoader();
    EXPECT_EQ(SceneMeshLoader(), nullptr);
    EXPECT_EQ(LiveObjectCount, before);
}

}  // namespace
