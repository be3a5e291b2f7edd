// The engine's polygon mesh: one pool of vertices shared by its triangles,
// the triangles grouped into subsets (each with its material, shader,
// visibility, winding and display lists), the materials, per-vertex normals
// and optional colours, tangents and generic attributes, an axis-aligned box
// and a bounding sphere. Scene nodes, characters, procedural shapes and the
// script class hold meshes by pointer and draw them.
//
// The record is plain data: every array is an owning container (empty for
// "none"), and the counts of the geometry are fields of their own, since
// some of them legitimately differ from their array's length (vertex
// normals given through separate indexes, texture indexes for only the
// first triangles). Code that walks an array by a count takes no more than
// the array holds (HeldEntries). The subsets, the materials and the shader
// table are counted by their containers.
//
// Every constructor counts a live engine object; the destructor uncounts it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "meshes/VRBoundingBox.h"
#include "meshes/VRMaterial.h"
#include "meshes/VRMeshSubset.h"

class ShaderPassList;
class VRVertexAttribSet;

// The materials of a mesh. A character's meshes may share their character's
// array; the last holder frees it.
using VRMaterialArray = std::vector<VRMaterial>;

// Crease angle of the default constructor and of LoadNewMesh (radians).
constexpr float kDefaultCreaseAngle = 1.532f;
// Crease smoothing runs only for angles above this.
constexpr float kCreaseSmoothingLimit = -0.99f;

// Finalize flags.
constexpr int32_t kFinalizePlainNormals = 0x4;       // no smoothing-group split, no crease smoothing
constexpr int32_t kFinalizeRecomputeNormals = 0x20;  // vertex normals even when the file gave them

// Entries of `width` values that an array of `size` values really holds of
// the `count` it is said to have (a negative count holds none).
inline size_t HeldEntries(int32_t count, size_t size, size_t width) {
    if (count <= 0 || width == 0) return 0;
    const size_t held = size / width;
    return static_cast<size_t>(count) < held ? static_cast<size_t>(count) : held;
}

// Read-only view of values given to SetGeometry: a pointer and how many
// values are really there.
template <class T>
struct VRDataView {
    const T* data = nullptr;
    size_t size = 0;
    VRDataView() = default;
    VRDataView(const T* values, size_t n) : data(values), size(n) {}
    VRDataView(const std::vector<T>& values) : data(values.data()), size(values.size()) {}  // NOLINT
};

// What SetGeometry builds a mesh from: each count with the data behind it,
// which may hold more than the count needs.
struct VRMeshGeometry {
    int32_t vertexCount = 0;
    VRDataView<float> positions;  // 3 per vertex
    int32_t texCoordCount = 0;
    VRDataView<float> texCoords;  // u, v per coordinate
    int32_t triangleCount = 0;
    VRDataView<int32_t> triangles;  // 3 vertex indexes per triangle
    // Triangles with texture indexes: 0, or at least the triangle count.
    int32_t textureIndexCount = 0;
    VRDataView<int32_t> textureIndexes;  // 3 per triangle
    int32_t normalCount = 0;
    VRDataView<float> normals;  // 3 per vertex
    int32_t groupCount = 0;
    VRDataView<int32_t> groupRanges;  // (first triangle, triangle count) per group
    // One name per group; at most 255 bytes of each are read, up to its
    // first zero byte.
    VRDataView<std::string> groupNames;
    // One bit mask per triangle, or none.
    VRDataView<int32_t> smoothingGroups;
};

class VRNewMesh {
public:
    // --- Construction and reset (VRNewMesh.cpp) ----------------------------

    // An empty mesh with the default crease angle.
    VRNewMesh();
    ~VRNewMesh();
    VRNewMesh(const VRNewMesh&) = delete;
    VRNewMesh& operator=(const VRNewMesh&) = delete;

    // Every field at its reset value, the crease angle excepted: no
    // geometry, subsets or materials; smoothing-groups flag 1, frame count
    // 0, modulation (1, 1, 1, 1), size-culling factor 1, opacity 1.
    void Init();

    // --- Geometry (VRNewMesh.cpp, VRNewMeshAppend.cpp, VRNewMeshNormals.cpp) --

    // Replaces the geometry, one subset and one default material per group,
    // then finalizes with flags 0. Checks what it is given: counts of 0 or
    // more backed by their data, vertex indexes below the vertex count,
    // texture indexes below the texture-coordinate count, a texture-index
    // count of 0 or at least the triangle count, normals for every vertex
    // when any, group ranges inside the triangles. 0, or -1 with the mesh
    // unchanged.
    int32_t SetGeometry(const VRMeshGeometry& geometry);
    // Appends the other mesh's geometry, subsets (their materials, shaders,
    // triangle and texture offsets moved past this mesh's), materials and
    // shaders; per-vertex arrays only one of the two has are padded. With
    // `finalize`, Finalize(0); with `release`, the other mesh gives up its
    // geometry and subsets (it is left empty of them).
    void Append(VRNewMesh& other, uint8_t finalize, uint8_t release);
    // The normal pipeline after a load: subset marks, boxes and sphere,
    // smoothing groups, face normals, vertex normals (kept, plain or crease
    // smoothed), tangents when shaders are on.
    void Finalize(int32_t flags);
    // Gives every vertex one copy per smoothing group of its triangles and
    // moves each triangle onto the copy of its groups; only while the
    // smoothing-groups flag is set and the mesh has groups.
    void SplitSmoothingGroups();
    // Crease-angle smoothing: every triangle corner gets a vertex whose
    // normal averages the faces around it within the crease angle.
    void SmoothNormals();
    // Negates the vertex and triangle face normals; with `swap` also swaps
    // x and z of every position (boxes recomputed). 0.
    int32_t FlipNormals(uint8_t swap);

    // --- Bounding volumes (VRNewMesh.cpp) -----------------------------------

    // 0, or -1 without vertices (the box stays).
    int32_t ComputeBoundingBox();
    // The sphere around the box; returns its radius.
    float ComputeBoundingSphere();
    // One box per subset over its triangles and quads.
    void ComputeSubsetBoundingBoxes();
    // 0 with the radius and centre of subset i's box; -1, nothing written,
    // for a subset outside 0..S-1 or without a box.
    int32_t SubsetGetBoundingSphere(int32_t i, float* radius, float* centre) const;

    // --- Transforms (VRNewMeshTransform.cpp) --------------------------------
    // Each keeps boxes, sphere and normals valid and deletes the subsets'
    // display lists.

    void Translate(float dx, float dy, float dz);
    // Moves the box's centre to the origin; returns the translation.
    std::array<float, 3> CenterBoundingBox();
    // About the axis through the origin (made unit; a zero axis turns
    // nothing).
    void Rotate(float angleDegrees, float x, float y, float z);
    void Scale(float sx, float sy, float sz);
    // Scales so that the largest extent becomes `size`; returns the factor
    // (1, nothing changed, for a mesh without extent).
    float Normalize(float size);
    // Negates coordinate `axis` (0, 1 or 2; any other does nothing) and
    // reverses the winding.
    void Mirror(int32_t axis);

    // --- Drawing (VRNewMeshDraw.cpp) ----------------------------------------

    // Deletes the first display list of subset i (-1: of every subset), and
    // with `both` the second one; 0, or -1 for i below -1 or not below S.
    // GL is called only for lists that exist. (Defined in VRNewMesh.cpp.)
    int32_t DeleteSubsetDLists(int32_t i, uint8_t both);

    // --- Queries and subset control (VRNewMeshQuery.cpp) --------------------

    // --- Collisions (VRNewMeshCollide.cpp) ----------------------------------

    // --- Binary dump (VRNewMeshDump.cpp) ------------------------------------

    // --- Shader passes and vertex attributes (VRNewMeshShader.cpp) ----------

    // --- Loading from model files (VRNewMeshLoad.cpp) -----------------------

    // --- Counts of the containers -------------------------------------------

    int32_t SubsetCount() const { return static_cast<int32_t>(subsets.size()); }
    int32_t MaterialCount() const { return materials ? static_cast<int32_t>(materials->size()) : 0; }
    int32_t ShaderCount() const { return static_cast<int32_t>(shaders.size()); }
    // Material i, or null outside 0..M-1.
    VRMaterial* Material(int32_t i) const {
        return i >= 0 && i < MaterialCount() ? &(*materials)[static_cast<size_t>(i)] : nullptr;
    }

    // --- The record -----------------------------------------------------------
    // In the order of the data model; the scene node's fields last.

    // Depth-sorted drawing: S keys and the draw order, made on first use.
    std::vector<float> depthKeys;
    std::vector<int32_t> drawOrder;
    // Triangle corners take their normal through normalIndexes instead of
    // their vertex index.
    uint8_t separateNormalIndexes;
    std::vector<float> positions;  // 3 per vertex
    std::vector<float> vertexNormals;  // 3 per normal
    int32_t vertexNormalCount;
    std::vector<float> colours;  // red, green, blue per vertex, or none
    std::vector<float> tangents;  // x, y, z, handedness (exactly 1 or -1) per vertex
    std::vector<float> bitangents;  // 3 per vertex
    // Subsets are drawn with their shaders.
    uint8_t shaderFlag;
    // Indexed by the subsets' shader indexes; an entry may be none.
    std::vector<std::unique_ptr<ShaderPassList>> shaders;
    std::vector<int32_t> triangles;  // 3 vertex indexes per triangle, in winding order
    std::vector<int32_t> normalIndexes;  // 3 per triangle, or none
    std::vector<int32_t> quads;  // 4 vertex indexes per quad; not drawn
    std::vector<int32_t> textureIndexes;  // 3 per textured triangle (6 in two-set subsets)
    std::vector<float> faceNormals;  // 3 per triangle
    std::vector<float> quadNormals;  // 3 per quad
    std::vector<int32_t> smoothingGroups;  // a bit mask per triangle, or none
    // The smoothing groups are yet to be applied.
    uint8_t smoothingGroupsFlag;
    std::shared_ptr<VRMaterialArray> materials;
    std::vector<VRMeshSubset> subsets;
    std::vector<float> texCoords;  // u, v per coordinate
    int32_t vertexCount;  // V
    int32_t triangleCount;  // T
    int32_t textureIndexCount;  // triangles covered by textureIndexes
    int32_t quadCount;  // Q
    int32_t texCoordCount;  // K
    int32_t colourCount;
    // 1 at the start of every draw, 0 once a material has been applied.
    int32_t drawState;
    float modelView[16];  // captured by drawing before its view-volume test
    // Used for every subset while forcedMaterialFlag is 1; its giver keeps
    // it alive.
    const VRMaterial* forcedMaterial;
    int32_t forcedMaterialFlag;
    float sphereRadius;
    float sphereCentre[3];
    float referenceDistanceSquared;  // written by Normalize
    // F frames of geometry one after another; frame k is subsets k*S/F to
    // (k+1)*S/F - 1.
    int32_t frameCount;
    int32_t spare;  // 4 at reset, carried in dumps
    std::vector<int32_t> translucent;  // per subset: drawn in the translucent pass
    std::vector<int32_t> subsetScratch;  // per subset
    float modulation[4];
    // The vertex normals are final: no crease smoothing.
    int32_t normalsPresent;
    VRBoundingBox box;
    float creaseAngle;  // radians
    uint32_t displayList;  // the whole mesh's list, 0 for none
    // The geometry came through SetGeometry.
    uint8_t geometryGiven;
    uint8_t mirrored;
    // Subsets drawn smaller than this many pixels are skipped.
    int32_t sizeCullingFactor;
    // Set by box tests that hit the mesh's box (scene nodes, characters);
    // cleared by whoever shows it.
    int32_t collisionMark;
    std::unique_ptr<VRVertexAttribSet> vertexAttribs;
    // The node asks for its world matrix at every draw.
    uint8_t worldMatrixRequest;
    // Multiplied by the node's transparency.
    float opacity;

private:
    // New translucency marks and scratch list, S zeros each; the depth
    // keys and draw order are made again on first use.
    void ResetPerSubsetArrays();
    // Keeps only the new vertices, vertex k being a copy of old vertex
    // source[k]: positions, colours, tangents, bitangents and attribute data
    // follow, and the vertex normals when they are per vertex.
    void RemapVertices(const std::vector<int32_t>& source);
    // After the positions moved: face normals; vertex normals that came
    // from outside (given with the geometry or through normal indexes)
    // turned by `turnNormal` and made unit again (left as they are without
    // it), others computed again; tangents when shaders are on; subset
    // boxes and sphere; the subsets' display lists go.
    void AfterVertexChange(const std::function<void(float*)>& turnNormal);
    // The normal indexes cover every triangle and name given normals.
    bool NormalIndexesValid() const;
    // Drops every vertex, face, subset and shader (Append's release); the
    // materials and settings stay.
    void ReleaseGeometry();
};

// Divides the vector by its length when that is above 0.
void NormalizeIfNonZero(float* v);
