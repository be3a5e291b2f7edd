// The material of a mesh subset: fixed-function colours, a transparency
// value, two texture layers with their texture-coordinate transforms and
// level-of-detail copies, per-pass alphas, animation keys for the diffuse
// colour and the opacity, and the state of the display list that records the
// material's GL state. Meshes keep arrays of these records by value; the
// script material object embeds one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "scene/VRTextureManager.h"

constexpr size_t kMaterialNameSize = 512;
// Textures of a layer: level of detail 0, then half-size copies.
constexpr int kMaterialTextureLevels = 4;
// Parameters of a layer reachable by index (TextureParam).
constexpr int kTextureParamCount = 8;
constexpr int kMaterialPassAlphas = 4;

// Display-list states.
constexpr int32_t kMaterialNoList = 0;
constexpr int32_t kMaterialListValid = 1;
constexpr int32_t kMaterialListStale = 2;  // to be recorded again

// Second-layer channel values.
constexpr int32_t kMaterialDefaultChannel = 5;
constexpr int32_t kMaterialSphereMapChannel = 9;

// Words of a material in an object dump.
constexpr int kMaterialDumpWords = 18;

// How one texture layer's coordinates are turned: rotated about the texture
// centre, then tiled about it with the offset in tiled units.
struct VRTextureTransform {
    float offset[2];    // u, v
    float tiling[2];    // u, v
    float rotation[3];  // radians about x, y, z
};

struct VRMaterial {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float shininess;
    float emission[4];
    // 0 opaque to 1 fully transparent; drawing takes a value above 0 as
    // translucent.
    float transparency;
    VRTextureTransform layer[2];
    char textureName[kMaterialNameSize];
    char secondTextureName[kMaterialNameSize];
    // Written by the model readers; Init and CopyFrom leave it alone.
    char name[kMaterialNameSize] = {};
    // Drawing pass p >= 1 puts entry p in the alpha of all four colours;
    // entries 0 and 1 are the two layers' amounts (texture parameter 7).
    float passAlpha[kMaterialPassAlphas];
    // Records of the texture manager, which owns them; a removed record
    // reads as none.
    VRTextureRef texture[kMaterialTextureLevels];
    VRTextureRef secondTexture[kMaterialTextureLevels];
    int32_t secondChannel;
    uint32_t displayList;
    int32_t displayListState;
    // What applying the material gave when its list was recorded; replaying
    // the list answers it again.
    int32_t recordedResult;
    // Animation keys: (frame, red, green, blue) and (frame, opacity).
    std::vector<std::array<float, 4>> diffuseKeys;
    std::vector<std::array<float, 2>> opacityKeys;
    // Cleared when a mesh moves the record's subset to an earlier equal
    // material.
    int32_t inUse;

    VRMaterial() { Init(); }
    ~VRMaterial() = default;
    // Copies of a material are made with CopyFrom, which takes only part of
    // it; moving a record (a resized array) takes all of it.
    VRMaterial(const VRMaterial&) = delete;
    VRMaterial& operator=(const VRMaterial&) = delete;
    VRMaterial(VRMaterial&&) = default;
    VRMaterial& operator=(VRMaterial&&) = default;

    // Every field at its default, the name excepted.
    void Init();
    // Gives up the animation keys.
    void Free();
    // The colours' red, green and blue, the shininess and the transparency
    // are all exactly equal.
    bool Equals(const VRMaterial& other) const;
    // Takes the colours, shininess, transparency, both layers' transforms,
    // the pass alphas, the texture names and records, and the display list
    // with its state and recorded result; keeps its own second-layer
    // channel, keys, in-use flag and name.
    void CopyFrom(const VRMaterial& other);

    // The four colours (ambient, diffuse, specular, emission), shininess and
    // transparency as 18 little-endian words. False when the stream fails.
    bool Dump(std::ostream& out) const;
    // Reads what Dump wrote into a record at its defaults. When the stream
    // ends or fails first, false and the record is left as it was.
    bool Restore(std::istream& in);

    // Turns a texture coordinate by the transform of layer 0 (layer 0) or of
    // layer 1 (any other value). The caller flips v afterwards.
    void TransformTexCoord(float& u, float& v, uint8_t layer) const;

    // Texture parameter `index` of layer 0 (layer 0) or layer 1 (any other
    // value): 0 offset u, 1 offset v, 2 tiling u, 3 tiling v, 4 to 6 the
    // rotations about x, y and z, 7 the layer's pass alpha. Null for an index
    // outside 0 to 7.
    float* TextureParam(int layer, int index);

    // The texture of a layer (level of detail 0), or null.
    VRTexture* LayerTexture(int layer) const;
    // Makes `texture` (or none) the layer's texture. The layer's smaller
    // copies were made of the texture it had, so they go.
    void SetLayerTexture(int layer, VRTexture* texture);

    // A recorded display list is to be recorded again.
    void InvalidateDisplayList() {
        if (displayListState == kMaterialListValid) displayListState = kMaterialListStale;
    }

    int32_t DiffuseKeyCount() const { return static_cast<int32_t>(diffuseKeys.size()); }
    int32_t OpacityKeyCount() const { return static_cast<int32_t>(opacityKeys.size()); }
};
