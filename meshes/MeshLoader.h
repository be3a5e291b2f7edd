// The scene's mesh loader: the geometry every mesh path needs once it has
// positions and indexes (unit face normals, smooth vertex normals, tangent
// frames for normal mapping), with the model readers that use them.
//
// The geometry functions keep no state: each reads the mesh's arrays and
// replaces the arrays it derives, one allocation per array. They are the
// last line over data read from files and built by scripts: a triangle
// whose vertex or texture-coordinate index is out of range contributes
// nothing, and nothing is read or written outside the arrays. Counts are
// taken as no more than their arrays hold; a negative count is 0.
#pragma once

#include <cstdint>

class VRNewMesh;

class MeshLoader {
public:
    // Counts a live engine object.
    MeshLoader();
    ~MeshLoader();
    MeshLoader(const MeshLoader&) = delete;
    MeshLoader& operator=(const MeshLoader&) = delete;

    // Triangle face normals (the shortest edge dropped; edges in double,
    // the normal in float) and quad face normals (from corners 0, 1 and 3).
    // A degenerate face's normal is (0, 0, 0).
    static void ComputeFaceNormals(VRNewMesh& mesh);
    // Per vertex, the unit sum of the face normals of the triangles using
    // it (quads take no part); (0, 0, 0) for a vertex no triangle uses. The
    // vertex-normal count becomes the vertex count. Needs the face normals.
    static void ComputeVertexNormals(VRNewMesh& mesh);
    // Unit tangents with their handedness (exactly 1 or -1) and the
    // bitangents, from the texture coordinates of the triangles that have
    // them. A vertex no such triangle reaches gets (0, 0, 0), handedness 1.
    // Needs the vertex normals.
    static void ComputeTangents(VRNewMesh& mesh);

    // The face normals of the older mesh, all in float: a triangle's and a
    // quad's (corners 0, 1, 3), written to `out`.
    static void ShapeTriangleNormal(const float* p0, const float* p1, const float* p2, float* out);
    static void ShapeQuadNormal(const float* p0, const float* p1, const float* p3, float* out);

    // Divides the vector by its length. A zero length leaves it as it is,
    // reporting "MeshLoader->Normalize : Vettore nullo." first when `report`
    // is set.
    static void Normalize(float* v, bool report);
    static void Normalize(double* v, bool report);
    // out = a x b, written as floats.
    static void Cross(const float* a, const float* b, float* out);
    static void Cross(const double* a, const double* b, float* out);
};

// The scene's one loader: made and ended with the scene (null outside).
MeshLoader* SceneMeshLoader();
void CreateMeshLoader();
void DeleteMeshLoader();
