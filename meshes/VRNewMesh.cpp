#include "meshes/VRNewMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "meshes/VRVertexAttribSet.h"
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

void NormalizeIfNonZero(float* v) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f)
        for (int i = 0; i < 3; ++i) v[i] /= length;
}
