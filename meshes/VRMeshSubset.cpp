#include "meshes/VRMeshSubset.h"

#include <algorithm>
#include <cstring>

namespace {

// A copy into a 256-byte buffer keeps at most 255 bytes.
std::string Bounded(const std::string& text) { return text.substr(0, kSubsetStringSize); }

}  // namespace

void VRMeshSubset::Init() {
    materialIndex = 0;
    shaderIndex = -1;
    triangleCount = 0;
    quadCount = 0;
    textureTriangleCount = 0;
    textureQuadCount = 0;
    spare = 0;
    firstIndex = 0;
    firstTextureIndex = 0;
    wrapMode = kWrapRepeat;
    Free();
    displayList = 0;
    secondDisplayList = 0;
    visible = 1;
    pixelSize = 0;
    twoCoordinateSets = 0;
    std::fill(std::begin(modulation), std::end(modulation), 1.0f);
    forced = 0;
    forcedMaterial = nullptr;
    frontFace = kSubsetFrontCCW;
    doubleSided = 0;
    alpha = 1;
}

void VRMeshSubset::Free() {
    box.reset();
    url.reset();
    description.reset();
    userProperties.reset();
}

void VRMeshSubset::CopyFrom(const VRMeshSubset& other) {
    if (&other == this) return;
    materialIndex = other.materialIndex;
    shaderIndex = other.shaderIndex;
    triangleCount = other.triangleCount;
    quadCount = other.quadCount;
    textureTriangleCount = other.textureTriangleCount;
    textureQuadCount = other.textureQuadCount;
    spare = other.spare;
    firstIndex = other.firstIndex;
    firstTextureIndex = other.firstTextureIndex;
    wrapMode = other.wrapMode;
    if (box && other.box) box->CopyFrom(*other.box);
    if (other.url) url = Bounded(*other.url);
    if (other.description) description = Bounded(*other.description);
    if (other.userProperties) userProperties = *other.userProperties;
    displayList = other.displayList;
    secondDisplayList = other.secondDisplayList;
    visible = other.visible;
    pixelSize = other.pixelSize;
    twoCoordinateSets = other.twoCoordinateSets;
    std::copy_n(other.modulation, 4, modulation);
    forced = other.forced;
    forcedMaterial = other.forcedMaterial;
}

void VRMeshSubset::SetDescription(const char* text, size_t size) {
    const size_t n = text ? strnlen(text, std::min(size, kSubsetStringSize)) : 0;
    description = std::string(text ? text : "", n);
}
