// Small meshes for the mesh tests, made by code.
#pragma once

#include <string>
#include <vector>

#include "meshes/VRNewMesh.h"

namespace meshtest {

using Floats = std::vector<float>;
using Ints = std::vector<int32_t>;

// The data of a SetGeometry call, kept alive while the view points at it.
struct Geometry {
    Floats positions, texCoords, normals;
    Ints triangles, textureIndexes, ranges, smoothing;
    std::vector<std::string> names;

    VRMeshGeometry View() const {
        VRMeshGeometry g;
        g.vertexCount = static_cast<int32_t>(positions.size() / 3);
        g.positions = positions;
        g.texCoordCount = static_cast<int32_t>(texCoords.size() / 2);
        g.texCoords = texCoords;
        g.triangleCount = static_cast<int32_t>(triangles.size() / 3);
        g.triangles = triangles;
        g.textureIndexCount = static_cast<int32_t>(textureIndexes.size() / 3);
        g.textureIndexes = textureIndexes;
        g.normalCount = static_cast<int32_t>(normals.size() / 3);
        g.normals = normals;
        g.groupCount = static_cast<int32_t>(ranges.size() / 2);
        g.groupRanges = ranges;
        g.groupNames = names;
        g.smoothingGroups = smoothing;
        return g;
    }
};

// The quad (-2,-1,0) (2,-1,0) (2,3,0) (-2,3,0) facing +z as two triangles,
// with texture coordinates and normals, one group "Quad".
inline Geometry Quad() {
    Geometry g;
    g.positions = {-2, -1, 0, 2, -1, 0, 2, 3, 0, -2, 3, 0};
    g.texCoords = {0, 0, 1, 0, 1, 1, 0, 1};
    g.triangles = {0, 1, 2, 0, 2, 3};
    g.textureIndexes = {0, 1, 2, 0, 2, 3};
    g.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    g.ranges = {0, 2};
    g.names = {"Quad"};
    return g;
}

// The unit cube (0..1) as a model reader leaves it: 8 shared vertices, 12
// outward triangles in one subset, no normals, not given by SetGeometry.
inline void LoadCube(VRNewMesh& m) {
    m.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
    m.vertexCount = 8;
    m.triangles = {0, 2, 1, 0, 3, 2,   // z = 0, facing -z
                   4, 5, 6, 4, 6, 7,   // z = 1
                   0, 1, 5, 0, 5, 4,   // y = 0
                   3, 7, 6, 3, 6, 2,   // y = 1
                   0, 4, 7, 0, 7, 3,   // x = 0
                   1, 2, 6, 1, 6, 5};  // x = 1
    m.triangleCount = 12;
    m.subsets.resize(1);
    m.subsets[0].triangleCount = 12;
    m.materials = std::make_shared<VRMaterialArray>(1);
    m.frameCount = 1;
}

inline Floats Entry(const Floats& values, size_t i, size_t width = 3) {
    return Floats(values.begin() + static_cast<ptrdiff_t>(i * width),
                  values.begin() + static_cast<ptrdiff_t>((i + 1) * width));
}

}  // namespace meshtest
