// Whole-mesh transforms: every vertex moved, then the boxes, sphere,
// normals and tangents made valid again and the subsets' display lists
// deleted (drawing records them again).
#include <algorithm>
#include <cmath>

#include "meshes/MeshLoader.h"
#include "meshes/VRNewMesh.h"
#include "scene/EngineMath.h"

namespace {

// The angle whose tangent, over half the screen, makes a mesh of the
// normalised size look its reference size: pi / 48.
constexpr double kReferenceAngle = 0.065449846949775;

}  // namespace

void VRNewMesh::AfterVertexChange(const std::function<void(float*)>& turnNormal) {
    MeshLoader::ComputeFaceNormals(*this);
    if (geometryGiven || separateNormalIndexes) {
        // Normals that came from outside cannot be computed again: they
        // turn with the geometry.
        if (turnNormal) {
            const size_t normals = HeldEntries(vertexNormalCount, vertexNormals.size(), 3);
            for (size_t i = 0; i < normals; ++i) {
                turnNormal(&vertexNormals[i * 3]);
                NormalizeIfNonZero(&vertexNormals[i * 3]);
            }
        }
    } else {
        MeshLoader::ComputeVertexNormals(*this);
    }
    if (shaderFlag) MeshLoader::ComputeTangents(*this);
    ComputeSubsetBoundingBoxes();
    ComputeBoundingSphere();
    DeleteSubsetDLists(-1, 1);
}

void VRNewMesh::Translate(float dx, float dy, float dz) {
    const float d[3] = {dx, dy, dz};
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    for (size_t i = 0; i < v * 3; ++i) positions[i] += d[i % 3];
    for (int i = 0; i < 3; ++i) {
        box.max[i] += d[i];
        box.min[i] += d[i];
    }
    ComputeSubsetBoundingBoxes();
    ComputeBoundingSphere();
    DeleteSubsetDLists(-1, 1);
}

std::array<float, 3> VRNewMesh::CenterBoundingBox() {
    const std::array<float, 3> d = {-(box.min[0] + box.max[0]) / 2.0f, -(box.min[1] + box.max[1]) / 2.0f,
                                    -(box.min[2] + box.max[2]) / 2.0f};
    Translate(d[0], d[1], d[2]);
    return d;
}

void VRNewMesh::Rotate(float angleDegrees, float x, float y, float z) {
    float axis[3] = {x, y, z};
    NormalizeIfNonZero(axis);
    if (axis[0] == 0.0f && axis[1] == 0.0f && axis[2] == 0.0f) return;
    auto turn = [&](float* p) { VectorRotateAxisAngle(angleDegrees, axis[0], axis[1], axis[2], p); };
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    for (size_t i = 0; i < v; ++i) turn(&positions[i * 3]);
    ComputeBoundingBox();
    AfterVertexChange(turn);
}

void VRNewMesh::Scale(float sx, float sy, float sz) {
    const float s[3] = {sx, sy, sz};
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    for (size_t i = 0; i < v * 3; ++i) positions[i] *= s[i % 3];
    if (sx < 0.0f || sy < 0.0f || sz < 0.0f) {
        ComputeBoundingBox();  // a negative factor swaps the corners
    } else {
        for (int i = 0; i < 3; ++i) {
            box.max[i] *= s[i];
            box.min[i] *= s[i];
        }
    }
    // Normals take the inverse transpose of the scale; its multiple by the
    // determinant's size has no division, so a flattening factor of 0 gives
    // the normal of the plane it flattens to.
    const float det = sx * sy * sz;
    const float sign = det < 0.0f ? -1.0f : 1.0f;
    const float factor[3] = {sign * sy * sz, sign * sx * sz, sign * sx * sy};
    AfterVertexChange([&](float* n) {
        for (int i = 0; i < 3; ++i) n[i] *= factor[i];
    });
}

float VRNewMesh::Normalize(float size) {
    float smallest = 0.0f;
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        const float extent = box.max[i] - box.min[i];
        if (extent == 0.0f) continue;  // no size along this axis
        const float inverse = 1.0f / extent;
        if (!any || inverse < smallest) smallest = inverse;
        any = true;
    }
    if (!any) return 1.0f;
    const float s = size * smallest;

    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    for (size_t i = 0; i < v * 3; ++i) positions[i] *= s;
    if (s < 0.0f) {
        ComputeBoundingBox();
    } else {
        for (int i = 0; i < 3; ++i) {
            box.max[i] *= s;
            box.min[i] *= s;
        }
    }
    AfterVertexChange([&](float* n) {
        if (s < 0.0f)
            for (int i = 0; i < 3; ++i) n[i] = -n[i];
    });
    const double reference = sphereRadius / (0.5 * std::tan(kReferenceAngle));
    referenceDistanceSquared = static_cast<float>(reference * reference);
    return s;
}

void VRNewMesh::Mirror(int32_t axis) {
    if (axis < 0 || axis > 2) return;
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    for (size_t i = 0; i < v; ++i) positions[i * 3 + static_cast<size_t>(axis)] *= -1.0f;
    // The winding reverses; the corners' texture and normal indexes go with
    // their corners, and quads keep their first corner.
    for (std::vector<int32_t>* corners : {&triangles, &textureIndexes, &normalIndexes})
        for (size_t i = 0; i + 2 < corners->size(); i += 3) std::swap((*corners)[i + 1], (*corners)[i + 2]);
    for (size_t i = 0; i + 3 < quads.size(); i += 4) std::swap(quads[i + 1], quads[i + 3]);
    ComputeBoundingBox();
    AfterVertexChange([axis](float* n) { n[axis] = -n[axis]; });
}
