#include "meshes/VRNewMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "meshes/MeshLoader.h"
#include "meshes/VRVertexAttribSet.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/ShaderPass.h"

namespace {

// Empties a container and gives up its storage.
template <class Container>
void Release(Container& c) {
    Container().swap(c);
}

}  // namespace

// --- Construction and reset ----------------------------------------------------

VRNewMesh::VRNewMesh() {
    IncrementLiveObjects();
    creaseAngle = kDefaultCreaseAngle;
    Init();
}

VRNewMesh::~VRNewMesh() {
    DeleteSubsetDLists(-1, 1);
    if (displayList) glDeleteLists(displayList, 1);
    DecrementLiveObjects();
}

void VRNewMesh::Init() {
    Release(depthKeys);
    Release(drawOrder);
    separateNormalIndexes = 0;
    Release(positions);
    Release(vertexNormals);
    vertexNormalCount = 0;
    Release(colours);
    Release(tangents);
    Release(bitangents);
    shaderFlag = 0;
    Release(shaders);
    Release(triangles);
    Release(normalIndexes);
    Release(quads);
    Release(textureIndexes);
    Release(faceNormals);
    Release(quadNormals);
    Release(smoothingGroups);
    smoothingGroupsFlag = 1;
    materials.reset();
    Release(subsets);
    Release(texCoords);
    vertexCount = 0;
    triangleCount = 0;
    textureIndexCount = 0;
    quadCount = 0;
    texCoordCount = 0;
    colourCount = 0;
    drawState = 0;
    std::fill(std::begin(modelView), std::end(modelView), 0.0f);
    forcedMaterial = nullptr;
    forcedMaterialFlag = 0;
    sphereRadius = 0.0f;
    std::fill(std::begin(sphereCentre), std::end(sphereCentre), 0.0f);
    referenceDistanceSquared = 0.0f;
    frameCount = 0;
    spare = 4;
    Release(translucent);
    Release(subsetScratch);
    std::fill(std::begin(modulation), std::end(modulation), 1.0f);
    normalsPresent = 0;
    box.Init();
    displayList = 0;
    geometryGiven = 0;
    mirrored = 0;
    sizeCullingFactor = 1;
    collisionMark = 0;
    vertexAttribs.reset();
    worldMatrixRequest = 0;
    opacity = 1.0f;
}

void VRNewMesh::ResetPerSubsetArrays() {
    translucent.assign(subsets.size(), 0);
    subsetScratch.assign(subsets.size(), 0);
    Release(depthKeys);
    Release(drawOrder);
}

// --- Drawing state -------------------------------------------------------------

int32_t VRNewMesh::DeleteSubsetDLists(int32_t i, uint8_t both) {
    if (i < -1 || i >= SubsetCount()) return -1;
    const size_t first = i < 0 ? 0 : static_cast<size_t>(i);
    const size_t end = i < 0 ? subsets.size() : first + 1;
    for (size_t s = first; s < end; ++s) {
        VRMeshSubset& subset = subsets[s];
        if (subset.displayList) glDeleteLists(subset.displayList, 1);
        subset.displayList = 0;
        if (both) {
            if (subset.secondDisplayList) glDeleteLists(subset.secondDisplayList, 1);
            subset.secondDisplayList = 0;
        }
    }
    return 0;
}

// --- Vector step ---------------------------------------------------------------

void NormalizeIfNonZero(float* v) { VectorNormalize(v, 3); }

// --- Geometry --------------------------------------------------------------------

namespace {

// `count` entries of `width` values are there.
template <class T>
bool Backed(int32_t count, const VRDataView<T>& view, size_t width) {
    return count >= 0 && (count == 0 || (view.data && view.size / width >= static_cast<size_t>(count)));
}

// Every one of the n values is in 0..limit-1.
bool AllBelow(const int32_t* values, size_t n, int32_t limit) {
    for (size_t i = 0; i < n; ++i)
        if (values[i] < 0 || values[i] >= limit) return false;
    return true;
}

template <class T>
std::vector<T> Copy(const VRDataView<T>& view, size_t n) {
    return n ? std::vector<T>(view.data, view.data + n) : std::vector<T>();
}

bool GeometryIsSound(const VRMeshGeometry& g) {
    const int32_t v = g.vertexCount, t = g.triangleCount;
    if (!Backed(v, g.positions, 3) || !Backed(g.texCoordCount, g.texCoords, 2) || !Backed(t, g.triangles, 3) ||
        !Backed(g.textureIndexCount, g.textureIndexes, 3) || !Backed(g.normalCount, g.normals, 3) ||
        !Backed(g.groupCount, g.groupRanges, 2) || !Backed(g.groupCount, g.groupNames, 1))
        return false;
    // Drawing takes a normal for every vertex and texture indexes for every
    // triangle of a textured subset.
    if (g.normalCount > 0 && g.normalCount < v) return false;
    if (g.textureIndexCount != 0 && g.textureIndexCount < t) return false;
    if (g.smoothingGroups.size > 0 && !Backed(t, g.smoothingGroups, 1)) return false;
    if (!AllBelow(g.triangles.data, size_t(t) * 3, v)) return false;
    if (!AllBelow(g.textureIndexes.data, size_t(g.textureIndexCount) * 3, g.texCoordCount)) return false;
    for (int32_t i = 0; i < g.groupCount; ++i) {
        const int64_t first = g.groupRanges.data[2 * i], count = g.groupRanges.data[2 * i + 1];
        if (first < 0 || count < 0 || first + count > t) return false;
    }
    return true;
}

}  // namespace

int32_t VRNewMesh::SetGeometry(const VRMeshGeometry& g) {
    if (!GeometryIsSound(g)) return -1;

    vertexCount = g.vertexCount;
    texCoordCount = g.texCoordCount;
    triangleCount = g.triangleCount;
    textureIndexCount = g.textureIndexCount;
    positions = Copy(g.positions, size_t(vertexCount) * 3);
    texCoords = Copy(g.texCoords, size_t(texCoordCount) * 2);
    triangles = Copy(g.triangles, size_t(triangleCount) * 3);
    textureIndexes = Copy(g.textureIndexes, size_t(textureIndexCount) * 3);

    smoothingGroupsFlag = 0;
    vertexNormalCount = g.normalCount;
    Release(smoothingGroups);
    if (g.normalCount >= 1) {
        vertexNormals = Copy(g.normals, size_t(g.normalCount) * 3);
        normalsPresent = 1;
    } else {
        // Normals for the new vertices come from Finalize: plain ones, or
        // per smoothing group.
        Release(vertexNormals);
        if (g.smoothingGroups.size > 0) {
            smoothingGroupsFlag = 1;
            smoothingGroups = Copy(g.smoothingGroups, size_t(triangleCount));
        }
    }
    // Per-vertex and per-face data of the old geometry would name vertices
    // and triangles that are gone.
    separateNormalIndexes = 0;
    Release(normalIndexes);
    Release(quads);
    Release(quadNormals);
    quadCount = 0;
    Release(colours);
    colourCount = 0;
    Release(tangents);
    Release(bitangents);
    if (vertexAttribs) vertexAttribs->RemapVertices(std::vector<int32_t>(size_t(vertexCount), -1));

    DeleteSubsetDLists(-1, 1);
    const size_t groups = size_t(g.groupCount);
    std::vector<VRMeshSubset> fresh(groups);
    materials = std::make_shared<VRMaterialArray>(groups);
    for (size_t i = 0; i < groups; ++i) {
        VRMeshSubset& s = fresh[i];
        s.wrapMode = kWrapRepeat;
        s.materialIndex = static_cast<int32_t>(i);
        s.firstIndex = 3 * g.groupRanges.data[2 * i];
        s.triangleCount = g.groupRanges.data[2 * i + 1];
        if (textureIndexCount != 0) {
            s.textureTriangleCount = s.triangleCount;
            s.firstTextureIndex = s.firstIndex;
        }
        const std::string& name = g.groupNames.data[i];
        s.SetDescription(name.data(), name.size());
        (*materials)[i].transparency = 0.0f;
    }
    subsets = std::move(fresh);
    translucent.assign(groups, 0);

    geometryGiven = 1;
    frameCount = 1;
    Finalize(0);
    return 0;
}

bool VRNewMesh::NormalIndexesValid() const {
    const size_t t = HeldEntries(triangleCount, triangles.size(), 3);
    if (normalIndexes.size() < t * 3) return false;
    const int32_t normals = static_cast<int32_t>(HeldEntries(vertexNormalCount, vertexNormals.size(), 3));
    return AllBelow(normalIndexes.data(), t * 3, normals);
}

void VRNewMesh::Finalize(int32_t flags) {
    ResetPerSubsetArrays();
    ComputeBoundingBox();
    ComputeBoundingSphere();
    ComputeSubsetBoundingBoxes();
    if (!(flags & kFinalizePlainNormals)) SplitSmoothingGroups();
    MeshLoader::ComputeFaceNormals(*this);

    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    if (flags & kFinalizePlainNormals) {
        MeshLoader::ComputeVertexNormals(*this);
        normalsPresent = 1;
    } else if (geometryGiven && !smoothingGroupsFlag) {
        // Given normals stay; a mesh given none gets plain ones.
        if (HeldEntries(vertexNormalCount, vertexNormals.size(), 3) < v) {
            MeshLoader::ComputeVertexNormals(*this);
            normalsPresent = 1;
        }
    } else {
        // Normals through indexes that name no normal are not used.
        if (!separateNormalIndexes || (flags & kFinalizeRecomputeNormals) || !NormalIndexesValid()) {
            separateNormalIndexes = 0;
            MeshLoader::ComputeVertexNormals(*this);
        } else {
            normalsPresent = 1;
        }
        if (!normalsPresent) {
            if (creaseAngle > kCreaseSmoothingLimit) SmoothNormals();
            normalsPresent = 1;
        }
    }
    if (shaderFlag) MeshLoader::ComputeTangents(*this);
}

// --- Bounding volumes --------------------------------------------------------------

int32_t VRNewMesh::ComputeBoundingBox() {
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    if (v == 0) return -1;
    box.StartAt(&positions[0]);
    for (size_t i = 1; i < v; ++i) box.Grow(&positions[i * 3]);
    return 0;
}

float VRNewMesh::ComputeBoundingSphere() {
    box.Centre(sphereCentre);
    float d[3];
    for (int i = 0; i < 3; ++i) d[i] = box.max[i] - sphereCentre[i];
    sphereRadius = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    return sphereRadius;
}

void VRNewMesh::ComputeSubsetBoundingBoxes() {
    // Subsets follow one another through the triangles and the quads: one
    // running position in each, bounded by what the mesh holds.
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    const size_t t = HeldEntries(triangleCount, triangles.size(), 3);
    const size_t q = HeldEntries(quadCount, quads.size(), 4);
    size_t triangle = 0, quad = 0;
    for (VRMeshSubset& s : subsets) {
        if (!s.box) s.box = std::make_unique<VRBoundingBox>();
        VRBoundingBox& b = *s.box;
        b.Init();
        bool started = false;
        auto take = [&](int32_t index) {
            if (index < 0 || static_cast<size_t>(index) >= v) return;
            const float* p = &positions[static_cast<size_t>(index) * 3];
            if (started) {
                b.Grow(p);
            } else {
                b.StartAt(p);
                started = true;
            }
        };
        const size_t triangleEnd = std::min(t, triangle + static_cast<size_t>(std::max(s.triangleCount, 0)));
        const size_t quadEnd = std::min(q, quad + static_cast<size_t>(std::max(s.quadCount, 0)));
        for (; triangle < triangleEnd; ++triangle)
            for (int k = 0; k < 3; ++k) take(triangles[triangle * 3 + k]);
        for (; quad < quadEnd; ++quad)
            for (int k = 0; k < 4; ++k) take(quads[quad * 4 + k]);
        b.radius = b.HalfDiagonal();
    }
}

int32_t VRNewMesh::SubsetGetBoundingSphere(int32_t i, float* radius, float* centre) const {
    if (i < 0 || i >= SubsetCount() || !subsets[static_cast<size_t>(i)].box) return -1;
    const VRBoundingBox& b = *subsets[static_cast<size_t>(i)].box;
    b.Centre(centre);
    *radius = b.HalfDiagonal();
    return 0;
}
