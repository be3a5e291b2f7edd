// A subset of a mesh: a run of triangles (and quads) that share a material,
// a shader, a visibility switch, a winding, a modulation colour and two
// cached display lists. Meshes keep their subsets by value, in the order of
// their triangles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "meshes/VRBoundingBox.h"

struct VRMaterial;

// The strings of a subset hold at most this many bytes (a 256-byte buffer
// with its terminator); the user properties have no limit.
constexpr size_t kSubsetStringSize = 255;

// Winding values of the front face (GL_CW, GL_CCW).
constexpr int32_t kSubsetFrontCW = 0x0900;
constexpr int32_t kSubsetFrontCCW = 0x0901;

// Texture wrap modes.
enum VRSubsetWrapMode : int32_t {
    kWrapRepeat = 0,        // repeat in s and t
    kWrapClamp = 1,         // clamp in s and t
    kWrapClampS = 2,        // clamp s, repeat t
    kWrapClampT = 3,        // repeat s, clamp t
};

struct VRMeshSubset {
    int32_t materialIndex;
    int32_t shaderIndex;  // into the mesh's shader table; -1 for none
    int32_t triangleCount;
    int32_t quadCount;
    // Triangles and quads with texture coordinates: the subset has some
    // when the two do not add up to 0.
    int32_t textureTriangleCount;
    int32_t textureQuadCount;
    int32_t spare;  // carried in dumps, read by nothing
    // Position of the first triangle in the mesh's triangle indexes, in
    // indexes (3 per triangle); likewise in its texture-coordinate indexes.
    int32_t firstIndex;
    int32_t firstTextureIndex;
    int32_t wrapMode;
    // None until the mesh computes the subset boxes.
    std::unique_ptr<VRBoundingBox> box;
    std::optional<std::string> url;
    // The subset's name: "name" or "name@group".
    std::optional<std::string> description;
    std::optional<std::string> userProperties;
    // GL lists: the geometry of the normal pass and of the second-layer
    // pass; drawing makes them, the mesh deletes them.
    uint32_t displayList;
    uint32_t secondDisplayList;
    uint8_t visible;
    int32_t pixelSize;  // projected size at the last draw
    // The subset's texture-coordinate indexes hold 6 entries per triangle:
    // the 3 of layer 0, then the 3 of layer 1.
    uint8_t twoCoordinateSets;
    float modulation[4];
    uint8_t forced;
    // Used instead of the subset's own material while `forced` is set; its
    // giver keeps it alive.
    const VRMaterial* forcedMaterial;
    int32_t frontFace;
    uint8_t doubleSided;
    // Set by a scene node's transparency: the node's opacity factor,
    // truncated.
    int32_t alpha;

    VRMeshSubset() { Init(); }
    ~VRMeshSubset() = default;
    // Copies are made with CopyFrom, which takes only part of a record;
    // moving a record (a resized array) takes all of it.
    VRMeshSubset(const VRMeshSubset&) = delete;
    VRMeshSubset& operator=(const VRMeshSubset&) = delete;
    VRMeshSubset(VRMeshSubset&&) = default;
    VRMeshSubset& operator=(VRMeshSubset&&) = default;

    // Every field at its default: material 0, no shader, visible,
    // modulation (1, 1, 1, 1), counter-clockwise and single-sided, no box,
    // no strings, no display lists. What the record owned is freed.
    void Init();
    // Frees the box and the strings (the display lists stay).
    void Free();
    // Takes the counts, offsets, material, shader, wrap mode, display-list
    // names, visibility, pixel size, two-set flag, modulation and forced
    // material; the box values only when this record has a box; copies of
    // the strings the other has. Keeps its own front face and sidedness.
    void CopyFrom(const VRMeshSubset& other);

    // The description, or "" for none.
    const char* Name() const { return description ? description->c_str() : ""; }
    // Sets the description from at most kSubsetStringSize bytes of `text`,
    // up to its first zero byte.
    void SetDescription(const char* text, size_t size);
};
