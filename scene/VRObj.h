// The node of the scene graph: a transform (position, rotation matrix about
// a pivot, scale) with an ordered list of child nodes and links to what it
// draws: up to ten level-of-detail meshes, one new-style mesh, a terrain, a
// text, a text page and a billboard. A node owns neither its children nor
// what it links; the array of child pointers is its only allocation.
//
// Matrices are column-major 4x4. The local transform is T(position) R
// S(scale), where R already holds the pivot (rotations are built as T(p)
// Rot T(-p)). Drawing, the rotation setters and the segment tests compute
// on the GL model-view stack: they need a current GL context and leave the
// stack as they found it (except Draw with kDrawKeepPushed).
#pragma once

#include <cstdint>
#include <iosfwd>

#include "scene/VRObjLinks.h"

// Flags that VRObj::Draw reads itself; every other flag passes through to
// the meshes.
enum VRObjDrawFlag : int32_t {
    kDrawStoreModelView = 0x1,     // keep the model-view matrix as the draw matrix
    kDrawStoreLocal = 0x2,         // keep the local transform as the draw matrix
    kDrawNoChildren = 0x20,
    kDrawNoList = 0x40,            // issue the transform, never record it
    kDrawBoxOnly = 0x100,          // the LOD mesh's box instead of the mesh
    kDrawAxis = 0x200,
    kDrawForceLevel = 0x4000,      // the level argument is the LOD to draw
    kDrawKeepPushed = 0x10000,     // leave the model-view matrix pushed
    kDrawWorldIfNoId = 0x4040000,  // with ID -1: compute the world matrix
    kDrawCompileMesh = 0x100000,   // compile the new mesh's list once
    kDrawSkipChildren = 0x10000000,
    kDrawComputeWorld = 0x40000000,
};

// The transform display list: none, compiled, or to be recompiled.
enum VRObjListState : int32_t { kListNone = 0, kListCompiled = 1, kListDirty = 2 };

constexpr int kObjLodLevels = 10;
// Size of the node record of object dumps.
constexpr int kNodeRecordSize = 288;

// A draw callback: called with the script function index and its argument.
typedef void (*VRObjCallback)(int32_t index, void* argument);

class VRObj {
public:
    float lodThresholds[kObjLodLevels] = {};  // squared camera distances
    int32_t lodCount = 0;
    int32_t currentLod = 0;
    VRObjText* text = nullptr;
    VRObjPage* page = nullptr;
    VRObjBillboard* billboard = nullptr;
    int32_t reserved1 = 0;  // carried by the dump only
    VRObj** children = nullptr;
    int32_t childCount = 0;
    int32_t childCapacity = 0;
    float rotation[16];
    float drawMatrix[16] = {};
    float worldMatrix[16];
    const float* parentMatrix = nullptr;
    float pivot[3] = {0, 0, 0};
    int32_t reserved2 = 0;  // carried by the dump only
    int32_t meshCompiled = 0;
    int32_t hidden = 0;
    float position[3] = {0, 0, 0};
    float scale[3] = {1, 1, 1};
    VRObjLodMesh* lodMeshes[kObjLodLevels] = {};
    VRObjNewMesh* newMesh = nullptr;
    VRObjTerrain* terrain = nullptr;
    int32_t id = -1;
    uint32_t displayList = 0;
    int32_t listState = kListNone;
    uint8_t pivotScale = 0;         // rotations scale the pivot first
    uint8_t matrixCalculation = 1;  // every draw computes the world matrix
    VRObjCallback postCallback = nullptr;
    int32_t postIndex = 0;
    void* postArgument = nullptr;
    VRObjCallback preCallback = nullptr;
    int32_t preIndex = 0;
    void* preArgument = nullptr;

    VRObj();
    // The mesh forms fill LOD slot 0 without raising the LOD count.
    explicit VRObj(VRObjLodMesh* mesh);
    explicit VRObj(VRObjNewMesh* mesh);
    explicit VRObj(VRObjTerrain* terrain);
    ~VRObj();
    VRObj(const VRObj&) = delete;
    VRObj& operator=(const VRObj&) = delete;

    // The defaults above (the children array is freed). 0.
    int32_t Reset();
    void EnableMatrixCalculation(uint8_t flag) { matrixCalculation = flag; }

    // --- Children ---
    // Capacity becomes ((n - 1) / 8) * 8 + 8 when it is smaller.
    void ReserveChildren(int32_t n);
    // Appends the child and sets its position; the new child count. The
    // node itself, one of its ancestors (a cycle), null, or a node that
    // already is a child is refused: -1, nothing changed.
    int32_t AddChild(VRObj* child, float x, float y, float z);
    // The child's former index, -1 when it is not a child.
    int32_t RemoveChild(VRObj* child);
    // True when `node` is this node or lies below it.
    bool Contains(const VRObj* node) const;
    void SetParentMatrix(const float* matrix) { parentMatrix = matrix; }
    void Invalidate() { listState = kListDirty; }

    // --- Links ---
    // Distance 0: slot 0 (the count raised to 1 when it was 0); otherwise
    // the next slot with the threshold distance². With ten levels taken: -1,
    // nothing changed; otherwise the LOD count.
    int32_t LinkToMesh(VRObjLodMesh* mesh, float distance);
    void LinkToNewMesh(VRObjNewMesh* mesh) { newMesh = mesh; }
    void LinkToTerrain(VRObjTerrain* t) { terrain = t; }
    void LinkToText(VRObjText* t) { text = t; }
    void LinkToHtmlPage(VRObjPage* p) { page = p; }
    void LinkToBillboard(VRObjBillboard* b) { billboard = b; }
    void LinkToCallback(VRObjCallback function, int32_t index, void* argument);
    void LinkToPreCallback(VRObjCallback function, int32_t index, void* argument);

    // --- Transform ---
    void SetPosition(float x, float y, float z);
    void SetPosition(const float* p) { SetPosition(p[0], p[1], p[2]); }
    int32_t GetPosition(float* out) const;
    int32_t GetScale(float* out) const;
    void Translate(float dx, float dy, float dz);
    // Moves along the node's own axes.
    void Move(float dx, float dy, float dz);
    void SetScale(float sx, float sy, float sz);
    // Rotation = T(p) Rot(angle, axis) T(-p), from identity.
    void SetRotation(float angle, float ax, float ay, float az);
    // Rotation = R T(p) Rot T(-p): about an axis of the node's frame.
    void Rotate(float angle, float ax, float ay, float az);
    // Rotate about an axis given in the parent's frame.
    void RotateABS(float angle, float ax, float ay, float az);
    // Leaves the display list as it is: the next setter marks it.
    void SetPivotPoint(float x, float y, float z);
    float* GetPivotPoint(float* out) const;
    void GetRotationMatrix(float* out) const;
    void SetRotationMatrix(const float* m);
    // The world matrix of the last draw that computed it.
    void GetModelMatrix(float* out) const;
    // T(position) R S(scale) of this node (not its parents).
    void LocalMatrix(float* out) const;
    // out = LocalMatrix x in (4 floats each).
    void LocalToWorld(const float* in, float* out) const;

    // --- Materials (recursive over the children) ---
    void ModulateMaterials(float r, float g, float b, float a);
    void ApplyTransparency(float t);
    void ForceMaterial(const VRMaterial* material, uint8_t recursive);
    void TexturePrefetch();
    // Scales the node so that the new mesh's largest extent becomes `size`
    // and centres the pivot; the scale, -2 without a new mesh, -1 (with the
    // warning "Cannot normalize object") for an empty extent or x scale 0.
    float Normalize(float size);
    int32_t Inspect(float x, float y, float z);

    // --- Drawing ---
    // The mesh draw result, -1 when no mesh drew, 0 for a hidden node.
    int32_t Draw(int32_t flags, int32_t level, int32_t billboardFlags);
    int32_t DrawBoundingBox(int32_t flags, uint8_t applyTransform);
    void DrawAxis(uint8_t applyTransform);
    // A draw runs the nodes' callbacks, which may let go of nodes that are
    // drawing on this thread, or of what those link. Their owners hand such
    // releases here: `release(object)` runs at once when no node is drawing
    // on this thread, otherwise once the outermost draw has returned.
    static void ReleaseAfterDraw(void (*release)(void*), void* object);

    // --- Collisions (segments in the parent's frame) ---
    bool IntersectSegment(const float* start, const float* end, float* hitPoint, float* hitNormal,
                          int32_t* faceIndex, int32_t* hitId, uint8_t skipHidden, float* nearest);
    bool IsColliding(const float* start, const float* end, float* hitPoint, float* hitNormal,
                     int32_t* faceIndex, int32_t* hitId, uint8_t skipHidden);
    bool IsCollidingBBoxOnly(const float* start, const float* end, uint8_t skipHidden);
    // The new mesh's box in world space against the box (max, min) placed
    // by `world`, then the children's; last-draw world matrices.
    bool IntersectBox(const float* max, const float* min, const float* world);
    bool IsCollidingBBox(VRObj* other);

    // --- Node record of object dumps ---
    bool Dump(std::ostream& stream) const;
    // Resets the node and reads the record; false on a short read (the node
    // is then left reset).
    bool Restore(std::istream& stream);

private:
    void AllocateChildren(int32_t capacity);
    // The rotation T(p) Rot(angle, axis) T(-p), multiplied onto `base`.
    void BuildRotation(const float* base, float angle, float ax, float ay, float az);
    void ApplyTransform() const;
    void SetTransform(int32_t flags, bool computeWorld);
};
