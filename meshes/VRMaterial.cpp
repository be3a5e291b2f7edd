#include "meshes/VRMaterial.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

#include "scene/EngineMath.h"
#include "scene/EngineServices.h"

namespace {

void SetColour(float* colour, float r, float g, float b, float a) {
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
}

bool SameRgb(const float* a, const float* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

}  // namespace

void VRMaterial::Init() {
    SetColour(ambient, 0.5f, 0.5f, 0.5f, 1.0f);
    SetColour(diffuse, 0.5f, 0.5f, 0.5f, 1.0f);
    SetColour(specular, 0.05f, 0.05f, 0.05f, 1.0f);
    shininess = 0.0f;
    SetColour(emission, 0.0f, 0.0f, 0.0f, 1.0f);
    transparency = 0.0f;
    for (VRTextureTransform& t : layer) t = {{0.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}};
    std::memset(textureName, 0, sizeof textureName);
    std::memset(secondTextureName, 0, sizeof secondTextureName);
    std::fill(std::begin(passAlpha), std::end(passAlpha), 1.0f);
    for (int level = 0; level < kMaterialTextureLevels; ++level) {
        texture[level] = VRTextureRef();
        secondTexture[level] = VRTextureRef();
    }
    secondChannel = kMaterialDefaultChannel;
    displayList = 0;
    displayListState = kMaterialNoList;
    recordedResult = 0;
    Free();
    inUse = 1;
}

void VRMaterial::Free() {
    // The counts are the arrays' sizes: no count can outlive its keys.
    diffuseKeys = {};
    opacityKeys = {};
}

bool VRMaterial::Equals(const VRMaterial& other) const {
    return SameRgb(ambient, other.ambient) && SameRgb(diffuse, other.diffuse) && SameRgb(specular, other.specular) &&
           SameRgb(emission, other.emission) && shininess == other.shininess && transparency == other.transparency;
}

void VRMaterial::CopyFrom(const VRMaterial& other) {
    if (&other == this) return;
    std::copy_n(other.ambient, 4, ambient);
    std::copy_n(other.diffuse, 4, diffuse);
    std::copy_n(other.specular, 4, specular);
    shininess = other.shininess;
    std::copy_n(other.emission, 4, emission);
    transparency = other.transparency;
    std::copy_n(other.layer, 2, layer);
    std::copy_n(other.passAlpha, kMaterialPassAlphas, passAlpha);
    std::memcpy(textureName, other.textureName, sizeof textureName);
    std::memcpy(secondTextureName, other.secondTextureName, sizeof secondTextureName);
    std::copy_n(other.texture, kMaterialTextureLevels, texture);
    std::copy_n(other.secondTexture, kMaterialTextureLevels, secondTexture);
    displayList = other.displayList;
    displayListState = other.displayListState;
    recordedResult = other.recordedResult;
}

namespace {

// The dumped words in their order, which is not the order in memory
// (shininess comes after the emission there).
struct DumpedMaterial {
    float words[kMaterialDumpWords];
};

}  // namespace

bool VRMaterial::Dump(std::ostream& out) const {
    DumpedMaterial d;
    std::copy_n(ambient, 4, d.words);
    std::copy_n(diffuse, 4, d.words + 4);
    std::copy_n(specular, 4, d.words + 8);
    std::copy_n(emission, 4, d.words + 12);
    d.words[16] = shininess;
    d.words[17] = transparency;
    return StreamWriteInts(out, d.words, kMaterialDumpWords);
}

bool VRMaterial::Restore(std::istream& in) {
    DumpedMaterial d;
    if (!StreamReadInts(in, d.words, kMaterialDumpWords)) return false;
    Init();
    std::copy_n(d.words, 4, ambient);
    std::copy_n(d.words + 4, 4, diffuse);
    std::copy_n(d.words + 8, 4, specular);
    std::copy_n(d.words + 12, 4, emission);
    shininess = d.words[16];
    transparency = d.words[17];
    return true;
}

void VRMaterial::TransformTexCoord(float& u, float& v, uint8_t which) const {
    const VRTextureTransform& t = layer[which ? 1 : 0];
    const float* angle = t.rotation;
    if (angle[0] != 0.0f || angle[1] != 0.0f || angle[2] != 0.0f) {
        // The point sits half a unit behind the texture plane, so turns about
        // x and y move it within the plane too.
        const float p[4] = {u - 0.5f, v - 0.5f, -0.5f, 0.5f};
        float r[16], q[4];
        EulerToMatrix4(r, angle[0], angle[1], angle[2]);
        MatrixTransposeMultiplyVector4(r, p, q);
        u = q[0] + 0.5f;
        v = q[1] + 0.5f;
    }
    if (t.offset[0] != 0.0f || t.tiling[0] != 1.0f) u = (u - 0.5f) * t.tiling[0] + 0.5f - t.tiling[0] * t.offset[0];
    if (t.offset[1] != 0.0f || t.tiling[1] != 1.0f) v = (v - 0.5f) * t.tiling[1] + 0.5f - t.tiling[1] * t.offset[1];
}

float* VRMaterial::TextureParam(int which, int index) {
    VRTextureTransform& t = layer[which ? 1 : 0];
    switch (index) {
    case 0:
    case 1: return &t.offset[index];
    case 2:
    case 3: return &t.tiling[index - 2];
    case 4:
    case 5:
    case 6: return &t.rotation[index - 4];
    case 7: return &passAlpha[which ? 1 : 0];
    default: return nullptr;
    }
}

VRTexture* VRMaterial::LayerTexture(int which) const { return (which ? secondTexture : texture)[0].Get(); }

void VRMaterial::SetLayerTexture(int which, VRTexture* record) {
    VRTextureRef* levels = which ? secondTexture : texture;
    levels[0] = VRTextureRef(record);
    for (int level = 1; level < kMaterialTextureLevels; ++level) levels[level] = VRTextureRef();
}
