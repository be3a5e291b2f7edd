// A textured rectangle that turns to face the active camera (trees, sprites,
// labels, video screens). It draws itself as one GL quad (optionally a back
// quad too) whose corners it rebuilds from the camera's axes at every draw;
// a texture larger than 32 x 32 may get half-size copies that distant
// billboards draw instead. Without a texture it draws its material.
//
// The texture records belong to the texture manager (the billboard holds
// references that the records' removal empties, so a freed texture draws as
// none); the default material belongs to the billboard, a material given to
// SetMaterial to its giver, who keeps it alive while the billboard uses it.
#pragma once

#include <cstdint>

#include "meshes/VRMaterial.h"
#include "scene/VRObjLinks.h"
#include "scene/VRTextureManager.h"

// Option of the constructor: make half-size copies of a large texture.
constexpr int32_t kBillboardHalfSizeCopies = 0x1;

// Billboard flags of Draw.
constexpr int32_t kBillboardFixedRight = 0x1;     // right = (width, 0, 0)
constexpr int32_t kBillboardUpright = 0x2;        // up = (0, height, 0): turns about y only
constexpr int32_t kBillboardKeepLighting = 0x4;   // lighting left as it is
constexpr int32_t kBillboardMirrorV = 0x8;
constexpr int32_t kBillboardMirrorU = 0x10;
constexpr int32_t kBillboardBackFace = 0x200000;  // a back quad too

// Draw flag: texture wrap clamped in both directions.
constexpr int32_t kBillboardDrawClamp = 0x10;

class VRBillboard final : public VRObjBillboard {
public:
    static constexpr int kHalfSizeCopies = 3;
    // Textures whose width and height both exceed this get copies.
    static constexpr int32_t kCopyThreshold = 32;

    float width;   // half the extent along the camera's right axis
    float height;  // half the extent along the camera's up axis
    float widthFactor = 1.0f;
    float heightFactor = 1.0f;
    float position[3];
    // (u, v) of corners 0 to 3.
    float texCoords[8] = {0, 1, 1, 1, 1, 0, 0, 0};
    float textureRotation = 0.0f;  // degrees about the texture's centre
    VRTextureRef texture;
    VRTextureRef halfSizeCopies[kHalfSizeCopies];
    // 0 = centre - right - up, 1 = centre + right - up, 2 = centre + right
    // + up, 3 = centre - right + up, as the last Draw built them.
    float corners[4][3];
    VRMaterial* material;

    // The texture of the name from the texture manager (no name or no
    // manager: none), with half-size copies when `options` has
    // kBillboardHalfSizeCopies and the texture is larger than 32 x 32. The
    // corners are built with the world axes.
    VRBillboard(const char* textureName, float width, float height, float x, float y, float z, int32_t options);
    ~VRBillboard();
    VRBillboard(const VRBillboard&) = delete;
    VRBillboard& operator=(const VRBillboard&) = delete;

    void SetPosition(float x, float y, float z);
    void SetPosition(const float* p) { SetPosition(p[0], p[1], p[2]); }
    int32_t GetPosition(float* out) const;
    void SetSize(float w, float h) {
        width = w;
        height = h;
    }
    void SetRotation(float degrees) { textureRotation = degrees; }
    void Rotate(float degrees) { textureRotation += degrees; }
    // The record (or none) replaces the texture.
    void SetTexture(VRTexture* record) { texture = VRTextureRef(record); }
    // Null keeps the material.
    void SetMaterial(VRMaterial* m) {
        if (m) material = m;
    }
    VRMaterial& DefaultMaterial() { return m_defaultMaterial; }

    // The video texture's frame and flags; without a video texture the
    // setters do nothing and the getters answer 0.
    void SetAviFrame(int32_t frame);
    int32_t GetAviFrame() const;
    int32_t GetAviTotalFrame() const;
    void SetAviFlags(int32_t bits);
    void ResetAviFlags();

    // Draws the quad facing the active camera (the scene's current camera;
    // the world axes without a scene). -1 when it left lighting alone
    // (kBillboardKeepLighting), else 0.
    int32_t Draw(int32_t drawFlags, int32_t billboardFlags) override;
    // The corners for a camera of the rotation matrix (column-major: its
    // first row is the camera's right axis, its second the up axis), after
    // the width and height factors are applied.
    void BuildCorners(const float* cameraMatrix, int32_t billboardFlags);
    // The segment against the two triangles of the last corners; on a hit
    // the point and the normal (0, 0, 1).
    bool IntersectSegment(const float* start, const float* end, float* hitPoint, float* hitNormal) override;
    // The record to draw for a quad whose diagonal spans sqrt(d2) pixels:
    // the first of the texture and its first two copies whose smaller
    // picture side is at most that, else the last copy.
    VRTexture* ChooseTexture(double d2) const;

private:
    VRMaterial m_defaultMaterial;
};
