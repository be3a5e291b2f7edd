#include "meshes/MeshLoader.h"

#include <cmath>
#include <vector>

#include "meshes/VRNewMesh.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"

namespace {

MeshLoader* g_loader = nullptr;

constexpr char kNullVector[] = "MeshLoader->Normalize : Vettore nullo.";

template <class Real>
Real Dot(const Real* a, const Real* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The unit normal of a triangle: of its three edges the two longest are
// kept, oriented as P1 - P0 and P2 - P0 are, so that a sliver's short edge
// does not spoil the direction. Edges are formed, compared and made unit
// in Real; the cross product is stored and made unit in float.
template <class Real>
void TriangleNormal(const float* p0, const float* p1, const float* p2, float* out) {
    Real e1[3], e2[3], e3[3];
    for (int i = 0; i < 3; ++i) {
        e1[i] = static_cast<Real>(p1[i]) - static_cast<Real>(p0[i]);
        e2[i] = static_cast<Real>(p2[i]) - static_cast<Real>(p0[i]);
        e3[i] = static_cast<Real>(p2[i]) - static_cast<Real>(p1[i]);
    }
    const Real a = Dot(e1, e1), b = Dot(e2, e2), c = Dot(e3, e3);
    if (a > b && c > b) {
        for (int i = 0; i < 3; ++i) e2[i] = e3[i];  // P0P2 is the shortest
    } else if (c > a) {
        for (int i = 0; i < 3; ++i) e1[i] = -e3[i];  // P0P1 is: P1 - P2 instead
    }
    MeshLoader::Normalize(e1, false);
    MeshLoader::Normalize(e2, false);
    MeshLoader::Cross(e1, e2, out);
    MeshLoader::Normalize(out, false);
}

// Corners 0, 1 and 3 of a quad; corner 2 is not used.
template <class Real>
void QuadNormal(const float* p0, const float* p1, const float* p3, float* out) {
    Real e1[3], e2[3];
    for (int i = 0; i < 3; ++i) {
        e1[i] = static_cast<Real>(p1[i]) - static_cast<Real>(p0[i]);
        e2[i] = static_cast<Real>(p3[i]) - static_cast<Real>(p0[i]);
    }
    MeshLoader::Normalize(e1, false);
    MeshLoader::Normalize(e2, false);
    MeshLoader::Cross(e1, e2, out);
    MeshLoader::Normalize(out, false);
}

// n corners of face f, each a vertex index below v; null when one is not.
const int32_t* FaceCorners(const std::vector<int32_t>& indexes, size_t f, size_t n, size_t v) {
    const int32_t* corners = &indexes[f * n];
    for (size_t k = 0; k < n; ++k)
        if (corners[k] < 0 || static_cast<size_t>(corners[k]) >= v) return nullptr;
    return corners;
}

}  // namespace

MeshLoader::MeshLoader() { IncrementLiveObjects(); }

MeshLoader::~MeshLoader() { DecrementLiveObjects(); }

MeshLoader* SceneMeshLoader() { return g_loader; }

void CreateMeshLoader() {
    if (!g_loader) g_loader = new MeshLoader();
}

void DeleteMeshLoader() {
    delete g_loader;
    g_loader = nullptr;
}

// --- Vectors -----------------------------------------------------------------

void MeshLoader::Normalize(float* v, bool report) {
    if (VectorNormalize(v, 3) == 0.0f && report) ReportError(kNullVector, nullptr);
}

void MeshLoader::Normalize(double* v, bool report) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0) {
        if (report) ReportError(kNullVector, nullptr);
        return;
    }
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void MeshLoader::Cross(const float* a, const float* b, float* out) { VectorCross(a, b, out); }

void MeshLoader::Cross(const double* a, const double* b, float* out) {
    out[0] = static_cast<float>(a[1] * b[2] - a[2] * b[1]);
    out[1] = static_cast<float>(a[2] * b[0] - a[0] * b[2]);
    out[2] = static_cast<float>(a[0] * b[1] - a[1] * b[0]);
}

void MeshLoader::ShapeTriangleNormal(const float* p0, const float* p1, const float* p2, float* out) {
    TriangleNormal<float>(p0, p1, p2, out);
}

void MeshLoader::ShapeQuadNormal(const float* p0, const float* p1, const float* p3, float* out) {
    QuadNormal<float>(p0, p1, p3, out);
}

// --- Meshes ------------------------------------------------------------------

void MeshLoader::ComputeFaceNormals(VRNewMesh& mesh) {
    const size_t v = HeldEntries(mesh.vertexCount, mesh.positions.size(), 3);
    const size_t t = HeldEntries(mesh.triangleCount, mesh.triangles.size(), 3);
    const size_t q = HeldEntries(mesh.quadCount, mesh.quads.size(), 4);
    const float* p = mesh.positions.data();

    std::vector<float> faces(t * 3, 0.0f);
    for (size_t f = 0; f < t; ++f)
        if (const int32_t* c = FaceCorners(mesh.triangles, f, 3, v))
            TriangleNormal<double>(p + 3 * c[0], p + 3 * c[1], p + 3 * c[2], &faces[f * 3]);
    mesh.faceNormals = std::move(faces);

    std::vector<float> quads(q * 3, 0.0f);
    for (size_t f = 0; f < q; ++f)
        if (const int32_t* c = FaceCorners(mesh.quads, f, 4, v))
            QuadNormal<double>(p + 3 * c[0], p + 3 * c[1], p + 3 * c[3], &quads[f * 3]);
    mesh.quadNormals = std::move(quads);
}

void MeshLoader::ComputeVertexNormals(VRNewMesh& mesh) {
    const size_t v = HeldEntries(mesh.vertexCount, mesh.positions.size(), 3);
    size_t t = HeldEntries(mesh.triangleCount, mesh.triangles.size(), 3);
    if (mesh.faceNormals.size() / 3 < t) t = mesh.faceNormals.size() / 3;

    std::vector<float> normals(v * 3, 0.0f);
    for (size_t f = 0; f < t; ++f) {
        const int32_t* c = FaceCorners(mesh.triangles, f, 3, v);
        if (!c) continue;
        const float* n = &mesh.faceNormals[f * 3];
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 3; ++i) normals[static_cast<size_t>(c[k]) * 3 + i] += n[i];
    }
    for (size_t i = 0; i < v; ++i) Normalize(&normals[i * 3], false);
    mesh.vertexNormals = std::move(normals);
    mesh.vertexNormalCount = static_cast<int32_t>(v);
}

void MeshLoader::ComputeTangents(VRNewMesh& mesh) {
    const size_t v = HeldEntries(mesh.vertexCount, mesh.positions.size(), 3);
    const size_t t = HeldEntries(mesh.triangleCount, mesh.triangles.size(), 3);
    // Triangles with texture indexes, and the coordinates they may name.
    const size_t textured = HeldEntries(mesh.textureIndexCount, mesh.textureIndexes.size(), 3);
    const size_t k = HeldEntries(mesh.texCoordCount, mesh.texCoords.size(), 2);
    const size_t normals = HeldEntries(mesh.vertexNormalCount, mesh.vertexNormals.size(), 3);
    const float* p = mesh.positions.data();
    const float* uv = mesh.texCoords.data();

    std::vector<double> sdir(v * 3, 0.0), tdir(v * 3, 0.0);
    for (size_t f = 0; f < t && f < textured; ++f) {
        const int32_t* c = FaceCorners(mesh.triangles, f, 3, v);
        const int32_t* w = FaceCorners(mesh.textureIndexes, f, 3, k);
        if (!c || !w) continue;
        const float *p1 = p + 3 * c[0], *p2 = p + 3 * c[1], *p3 = p + 3 * c[2];
        const float *w1 = uv + 2 * w[0], *w2 = uv + 2 * w[1], *w3 = uv + 2 * w[2];
        double e1[3], e2[3];
        for (int i = 0; i < 3; ++i) {
            e1[i] = static_cast<double>(p2[i]) - p1[i];
            e2[i] = static_cast<double>(p3[i]) - p1[i];
        }
        const double s1 = static_cast<double>(w2[0]) - w1[0], s2 = static_cast<double>(w3[0]) - w1[0];
        const double t1 = static_cast<double>(w2[1]) - w1[1], t2 = static_cast<double>(w3[1]) - w1[1];
        const double d = s1 * t2 - s2 * t1;
        const double r = d == 0.0 ? 0.0 : 1.0 / d;
        for (int i = 0; i < 3; ++i) {
            const double sd = r * (t2 * e1[i] - t1 * e2[i]);
            const double td = r * (s1 * e2[i] - s2 * e1[i]);
            for (int j = 0; j < 3; ++j) {
                sdir[static_cast<size_t>(c[j]) * 3 + i] += sd;
                tdir[static_cast<size_t>(c[j]) * 3 + i] += td;
            }
        }
    }

    std::vector<float> tangents(v * 4, 0.0f), bitangents(v * 3, 0.0f);
    for (size_t i = 0; i < v; ++i) {
        float n[3] = {0.0f, 0.0f, 0.0f};
        if (i < normals)
            for (int j = 0; j < 3; ++j) n[j] = mesh.vertexNormals[i * 3 + j];
        const double* s = &sdir[i * 3];
        const double along = n[0] * s[0] + n[1] * s[1] + n[2] * s[2];
        float* tangent = &tangents[i * 4];
        for (int j = 0; j < 3; ++j) tangent[j] = static_cast<float>(s[j] - n[j] * along);
        Normalize(tangent, false);
        // Handedness from the raw sum, not the orthogonalised tangent.
        const double nd[3] = {n[0], n[1], n[2]};
        const double cross[3] = {nd[1] * s[2] - nd[2] * s[1], nd[2] * s[0] - nd[0] * s[2],
                                 nd[0] * s[1] - nd[1] * s[0]};
        const double hand = cross[0] * tdir[i * 3] + cross[1] * tdir[i * 3 + 1] + cross[2] * tdir[i * 3 + 2];
        const float w = hand < 0.0 ? -1.0f : 1.0f;
        tangent[3] = w;
        float* bitangent = &bitangents[i * 3];
        Cross(n, tangent, bitangent);
        for (int j = 0; j < 3; ++j) bitangent[j] *= w;
    }
    mesh.tangents = std::move(tangents);
    mesh.bitangents = std::move(bitangents);
}
