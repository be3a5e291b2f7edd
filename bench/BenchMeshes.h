// Meshes for the mesh benchmarks, and the way the same mesh is handed to
// Open Asset Import: an importer registered for a made-up extension copies
// the prepared mesh into the scene it is asked to read, so that each timed
// post-processing run starts from a fresh, indexed copy read without steps.
#pragma once

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/SceneCombiner.h>
#include <assimp/importerdesc.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "meshes/VRNewMesh.h"

namespace benchmesh {

// Positions, texture coordinates and triangles; a vertex's texture
// coordinate has its own index.
struct Shape {
    std::vector<float> positions, uv;
    std::vector<int32_t> triangles;
    size_t Triangles() const { return triangles.size() / 3; }
};

// A w x h grid of quads (2 triangles each) over a wavy height field.
inline Shape Grid(int w, int h) {
    Shape s;
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x) {
            const float fx = float(x) / float(w), fy = float(y) / float(h);
            s.positions.insert(s.positions.end(), {fx * 10.0f, 0.3f * std::sin(fx * 40.0f) * std::cos(fy * 30.0f),
                                                   fy * 10.0f});
            s.uv.insert(s.uv.end(), {fx * 8.0f, fy * 8.0f});
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int32_t a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
            s.triangles.insert(s.triangles.end(), {a, c, b, b, c, d});
        }
    return s;
}

// A sphere of `slices` x `stacks` quads with a bumpy surface (so that
// crease smoothing has creases to find); the rows at the poles hold
// degenerate triangles, as such spheres do.
inline Shape Sphere(int slices, int stacks) {
    Shape s;
    const float pi = 3.14159265f;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const float u = float(i) / float(slices), v = float(j) / float(stacks);
            const float theta = u * 2.0f * pi, phi = v * pi;
            const float r = 1.0f + ((i / 4 + j / 4) % 2 ? 0.08f : 0.0f);
            s.positions.insert(s.positions.end(), {r * std::sin(phi) * std::cos(theta), r * std::cos(phi),
                                                   r * std::sin(phi) * std::sin(theta)});
            s.uv.insert(s.uv.end(), {u, v});
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const int32_t a = j * (slices + 1) + i, b = a + 1, c = a + slices + 1, d = c + 1;
            s.triangles.insert(s.triangles.end(), {a, b, c, b, d, c});
        }
    return s;
}

// The shape as a model reader leaves a mesh: one subset, one material,
// texture indexes equal to the vertex indexes, no normals.
inline void Load(const Shape& s, VRNewMesh& m) {
    m.positions = s.positions;
    m.vertexCount = int32_t(s.positions.size() / 3);
    m.texCoords = s.uv;
    m.texCoordCount = int32_t(s.uv.size() / 2);
    m.triangles = s.triangles;
    m.triangleCount = int32_t(s.Triangles());
    m.textureIndexes = s.triangles;
    m.textureIndexCount = m.triangleCount;
    m.subsets.resize(1);
    m.subsets[0].triangleCount = m.triangleCount;
    m.subsets[0].textureTriangleCount = m.triangleCount;
    m.materials = std::make_shared<VRMaterialArray>(1);
    m.frameCount = 1;
}

// The shape as one indexed aiMesh with one UV channel and no normals.
inline std::unique_ptr<aiMesh> ToAssimp(const Shape& s) {
    auto mesh = std::make_unique<aiMesh>();
    const unsigned v = unsigned(s.positions.size() / 3), t = unsigned(s.Triangles());
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = v;
    mesh->mVertices = new aiVector3D[v];
    mesh->mTextureCoords[0] = new aiVector3D[v];
    mesh->mNumUVComponents[0] = 2;
    for (unsigned i = 0; i < v; ++i) {
        mesh->mVertices[i] = aiVector3D(s.positions[i * 3], s.positions[i * 3 + 1], s.positions[i * 3 + 2]);
        mesh->mTextureCoords[0][i] = aiVector3D(s.uv[i * 2], s.uv[i * 2 + 1], 0.0f);
    }
    mesh->mNumFaces = t;
    mesh->mFaces = new aiFace[t];
    for (unsigned f = 0; f < t; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3];
        for (unsigned k = 0; k < 3; ++k) mesh->mFaces[f].mIndices[k] = unsigned(s.triangles[f * 3 + k]);
    }
    return mesh;
}

// Reads "<anything>.qembench" as a scene holding a copy of one mesh.
class PreparedMeshImporter : public Assimp::BaseImporter {
public:
    explicit PreparedMeshImporter(const aiMesh* mesh) : m_mesh(mesh) {}
    bool CanRead(const std::string& file, Assimp::IOSystem*, bool) const override {
        return file.size() > 9 && file.compare(file.size() - 9, 9, ".qembench") == 0;
    }
    const aiImporterDesc* GetInfo() const override {
        static const aiImporterDesc desc = {"prepared mesh", "", "", "", 0, 0, 0, 0, 0, "qembench"};
        return &desc;
    }

protected:
    void InternReadFile(const std::string&, aiScene* scene, Assimp::IOSystem*) override {
        scene->mNumMeshes = 1;
        scene->mMeshes = new aiMesh*[1];
        Assimp::SceneCombiner::Copy(&scene->mMeshes[0], m_mesh);
        scene->mNumMaterials = 1;
        scene->mMaterials = new aiMaterial*[1];
        scene->mMaterials[0] = new aiMaterial();
        scene->mRootNode = new aiNode();
        scene->mRootNode->mNumMeshes = 1;
        scene->mRootNode->mMeshes = new unsigned[1]{0};
    }

private:
    const aiMesh* m_mesh;
};

// An importer that reads the prepared mesh afresh on each Read.
class AssimpSide {
public:
    explicit AssimpSide(const Shape& s) : m_mesh(ToAssimp(s)) {
        m_importer.RegisterLoader(new PreparedMeshImporter(m_mesh.get()));
    }
    Assimp::Importer& Importer() { return m_importer; }
    bool Read() {
        const char byte = 0;
        return m_importer.ReadFileFromMemory(&byte, 1, 0, "qembench") != nullptr;
    }
    const aiMesh* Result() { return m_importer.GetScene()->mMeshes[0]; }

private:
    std::unique_ptr<aiMesh> m_mesh;
    Assimp::Importer m_importer;
};

}  // namespace benchmesh
