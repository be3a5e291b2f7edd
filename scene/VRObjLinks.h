// What a scene-graph node asks of the things it links: the level-of-detail
// meshes, the new-style mesh, the terrain, the text, the text page and the
// billboard. The classes that draw those implement these interfaces in the
// libraries above; the node calls nothing else of them. A node never owns
// what it links.
//
// Boxes are given as maximum and minimum corners, 3 floats each; segments
// as start and end points in the node's own frame. A nearest-distance
// argument carries the squared distance of the nearest hit found so far
// from one test to the next.
#pragma once

#include <cstdint>

class VRMaterial;
class VRObj;

// A mesh of one level of detail.
class VRObjLodMesh {
public:
    virtual int32_t Draw(int32_t flags, int32_t level, int32_t billboardFlags) = 0;
    // Draws the mesh's bounding box as white lines.
    virtual void DrawBoundingBox(int32_t flags) = 0;
    virtual void GetBoundingBox(float* max, float* min) const = 0;
    // The nearest triangle hit of the segment closer than *nearest (which it
    // then lowers), with its point, face normal and triangle index.
    virtual bool IsColliding(const float* start, const float* end, float* hitPoint, float* hitNormal,
                             int32_t* faceIndex, float* nearest) = 0;
    // The first subset holding the point, or -1.
    virtual int32_t Inspect(float x, float y, float z) = 0;
    virtual void ForceMaterial(const VRMaterial* material) = 0;

protected:
    ~VRObjLodMesh() = default;
};

// The new-style mesh.
class VRObjNewMesh {
public:
    virtual int32_t Draw(int32_t flags, int32_t level, int32_t billboardFlags, VRObj* owner) = 0;
    virtual void CompileDisplayList(int32_t flags, int32_t level, int32_t billboardFlags) = 0;
    // True when the mesh wants its node's world matrix at every draw.
    virtual bool WantsWorldMatrix() const = 0;
    virtual void GetBoundingBox(float* max, float* min) const = 0;
    virtual int32_t DrawBoundingBox(int32_t flags) = 0;
    virtual bool IsColliding(const float* start, const float* end, float* hitPoint, float* hitNormal,
                             int32_t* faceIndex, uint8_t skipHidden, float* nearest) = 0;
    virtual bool IsCollidingBBoxOnly(const float* start, const float* end) = 0;
    // True when the mesh's box placed by `world` overlaps the box (max, min)
    // placed by `otherWorld` (oriented boxes).
    virtual bool BoxOverlaps(const float* world, const float* otherMax, const float* otherMin,
                             const float* otherWorld) = 0;
    // Marks the mesh's box as hit by a box test.
    virtual void SetBoxHit() = 0;
    virtual void ModulateMaterials(float r, float g, float b, float a) = 0;
    // Null clears the forced material.
    virtual void ForceMaterial(const VRMaterial* material) = 0;
    virtual void TexturePrefetch() = 0;
    // Multiplies the opacity factor by `opacity`; below 1 every subset's
    // integer alpha becomes the factor truncated, and a material with a
    // diffuse alpha of exactly 0 gets ambient, diffuse and specular alpha 1.
    virtual void ApplyOpacity(float opacity) = 0;

protected:
    ~VRObjNewMesh() = default;
};

class VRObjTerrain {
public:
    virtual void Draw(int32_t flags) = 0;

protected:
    ~VRObjTerrain() = default;
};

class VRObjText {
public:
    virtual void Draw(int32_t flags) = 0;

protected:
    ~VRObjText() = default;
};

class VRObjPage {
public:
    virtual void Draw(int32_t flags) = 0;

protected:
    ~VRObjPage() = default;
};

class VRObjBillboard {
public:
    // -1 when it left lighting alone, else 0 (the node ignores it).
    virtual int32_t Draw(int32_t level, int32_t billboardFlags) = 0;
    virtual bool IntersectSegment(const float* start, const float* end, float* hitPoint, float* hitNormal) = 0;

protected:
    ~VRObjBillboard() = default;
};
