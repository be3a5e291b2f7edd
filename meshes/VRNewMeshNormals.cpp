// The vertex-splitting steps of the normal pipeline (smoothing groups,
// crease-angle smoothing) and the renumbering they share, and the normal
// flip.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <array>
#include <cstring>
#include <string>
#include <unordered_map>

#include "meshes/MeshLoader.h"
#include "meshes/VRNewMesh.h"
#include "meshes/VRVertexAttribSet.h"
#include "scene/EngineMath.h"

namespace {

// For every vertex below v, the triangles using it in increasing order, in
// one array (`first[x]` to `first[x + 1]`). With `perCorner` a triangle
// appears once per corner on the vertex, else once. Corners outside 0..v-1
// are skipped.
struct Incidence {
    std::vector<size_t> first;
    std::vector<uint32_t> triangles;

    Incidence(const std::vector<int32_t>& indexes, size_t t, size_t v, bool perCorner) : first(v + 1, 0) {
        auto corners = [&](size_t f, auto&& visit) {
            const int32_t* c = &indexes[f * 3];
            for (int k = 0; k < 3; ++k) {
                if (c[k] < 0 || static_cast<size_t>(c[k]) >= v) continue;
                // Once per triangle: skip a corner repeating an earlier one.
                if (!perCorner && ((k >= 1 && c[k] == c[0]) || (k == 2 && c[2] == c[1]))) continue;
                visit(static_cast<size_t>(c[k]));
            }
        };
        // Counts, then each list's end, filled backwards to its start.
        for (size_t f = 0; f < t; ++f) corners(f, [&](size_t x) { ++first[x + 1]; });
        for (size_t x = 0; x < v; ++x) first[x + 1] += first[x];
        triangles.resize(first[v]);
        for (size_t f = t; f-- > 0;)
            corners(f, [&](size_t x) { triangles[--first[x + 1]] = static_cast<uint32_t>(f); });
        // first[x + 1] is now the start of list x.
        for (size_t x = 0; x < v; ++x) first[x] = first[x + 1];
        first[v] = triangles.size();
    }
    const uint32_t* begin(size_t x) const { return triangles.data() + first[x]; }
    const uint32_t* end(size_t x) const { return triangles.data() + first[x + 1]; }
};

// Array of `width` values per vertex, vertex k taking old vertex source[k]'s
// values, `pad` where the old array has none.
std::vector<float> Remapped(const std::vector<float>& old, size_t width, const std::vector<int32_t>& source,
                            const float* pad) {
    const size_t held = old.size() / width;
    std::vector<float> fresh;
    fresh.reserve(source.size() * width);
    for (int32_t from : source) {
        const size_t at = static_cast<size_t>(from);
        const float* values = from >= 0 && at < held ? &old[at * width] : pad;
        for (size_t i = 0; i < width; ++i) fresh.push_back(values[i]);
    }
    return fresh;
}

const float kWhite[3] = {1.0f, 1.0f, 1.0f};
const float kNoTangent[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace

void VRNewMesh::RemapVertices(const std::vector<int32_t>& source) {
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    positions = Remapped(positions, 3, source, kZero);
    if (!colours.empty()) {
        colours = Remapped(colours, 3, source, kWhite);
        colourCount = static_cast<int32_t>(source.size());
    }
    if (!tangents.empty()) tangents = Remapped(tangents, 4, source, kNoTangent);
    if (!bitangents.empty()) bitangents = Remapped(bitangents, 3, source, kZero);
    const bool normalsPerVertex = !separateNormalIndexes && !vertexNormals.empty() &&
                                  HeldEntries(vertexNormalCount, vertexNormals.size(), 3) >= v;
    if (normalsPerVertex) {
        vertexNormals = Remapped(vertexNormals, 3, source, kZero);
        vertexNormalCount = static_cast<int32_t>(source.size());
    }
    if (vertexAttribs) vertexAttribs->RemapVertices(source);
    vertexCount = static_cast<int32_t>(source.size());
}

void VRNewMesh::SplitSmoothingGroups() {
    if (!smoothingGroupsFlag || smoothingGroups.empty()) return;
    normalsPresent = 1;
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    const size_t t = HeldEntries(triangleCount, triangles.size(), 3);
    auto groups = [&](size_t f) {
        return f < smoothingGroups.size() ? static_cast<uint32_t>(smoothingGroups[f]) : 0u;
    };
    const Incidence around(triangles, t, v, false);

    // One copy of a vertex per group bit of its triangles; extra copies go
    // after the old vertices, vertex by vertex.
    std::vector<uint32_t> mask(v, 0);
    size_t total = v;
    for (size_t x = 0; x < v; ++x) {
        for (const uint32_t* f = around.begin(x); f != around.end(x); ++f) mask[x] |= groups(*f);
        const int copies = mask[x] ? __builtin_popcount(mask[x]) : 1;
        total += static_cast<size_t>(copies - 1);
    }
    if (total == v) return;
    if (total > static_cast<size_t>(INT32_MAX)) return;

    std::vector<int32_t> source(total);
    size_t extra = v;
    for (size_t x = 0; x < v; ++x) {
        source[x] = static_cast<int32_t>(x);
        uint32_t bits = mask[x];
        if (!bits) continue;
        bits &= bits - 1;  // the lowest bit keeps the vertex itself
        for (; bits; bits &= bits - 1, ++extra) {
            source[extra] = static_cast<int32_t>(x);
            // Triangles of this group not moved yet for a lower bit.
            const uint32_t bit = bits & (~bits + 1u);  // the lowest one left
            for (const uint32_t* f = around.begin(x); f != around.end(x); ++f) {
                if (!(groups(*f) & bit)) continue;
                for (int k = 0; k < 3; ++k) {
                    int32_t& corner = triangles[size_t(*f) * 3 + k];
                    if (corner == static_cast<int32_t>(x)) corner = static_cast<int32_t>(extra);
                }
            }
        }
    }
    RemapVertices(source);
}

void VRNewMesh::SmoothNormals() {
    const size_t v = HeldEntries(vertexCount, positions.size(), 3);
    const size_t t = std::min(HeldEntries(triangleCount, triangles.size(), 3), faceNormals.size() / 3);
    const size_t normals = HeldEntries(vertexNormalCount, vertexNormals.size(), 3);
    const float c1 = static_cast<float>(std::cos(static_cast<double>(creaseAngle)));
    const double c2 = std::cos(2.0 * static_cast<double>(creaseAngle) / 3.0);
    const Incidence around(triangles, t, v, true);
    auto face = [&](size_t f) { return &faceNormals[f * 3]; };

    std::vector<bool> inQuad(v, false);
    const size_t q = HeldEntries(quadCount, quads.size(), 4);
    for (size_t i = 0; i < q * 4; ++i)
        if (quads[i] >= 0 && static_cast<size_t>(quads[i]) < v) inQuad[static_cast<size_t>(quads[i])] = true;

    std::vector<int32_t> fresh(triangles.begin(), triangles.begin() + static_cast<ptrdiff_t>(t * 3));
    std::vector<int32_t> source;
    std::vector<float> freshNormals;
    std::vector<int32_t> firstMade(v, -1);  // where a quad corner on the vertex goes
    source.reserve(t * 3);
    freshNormals.reserve(t * 9);
    auto make = [&](size_t x, const float* n) {
        source.push_back(static_cast<int32_t>(x));
        for (int i = 0; i < 3; ++i) freshNormals.push_back(n[i]);
        if (firstMade[x] < 0) firstMade[x] = static_cast<int32_t>(source.size() - 1);
        return static_cast<int32_t>(source.size() - 1);
    };
    auto pointCorners = [&](size_t f, size_t x, int32_t to) {
        for (int k = 0; k < 3; ++k)
            if (triangles[f * 3 + k] == static_cast<int32_t>(x)) fresh[f * 3 + k] = to;
    };
    // The unit sum of the faces around x within the crease of face f. Many
    // faces around one vertex often share a normal (a fan): such sums are
    // made once.
    std::unordered_map<std::string, std::array<float, 3>> sums;
    auto sumAround = [&](size_t x, size_t f, float* out) {
        const bool remember = around.end(x) - around.begin(x) > 32;
        std::string key;
        if (remember) {
            key.assign(reinterpret_cast<const char*>(face(f)), sizeof(float) * 3);
            if (auto it = sums.find(key); it != sums.end()) return (void)std::copy_n(it->second.begin(), 3, out);
        }
        out[0] = out[1] = out[2] = 0.0f;
        for (const uint32_t* u = around.begin(x); u != around.end(x); ++u)
            if (VectorDot(face(f), face(*u)) > c2)
                for (int i = 0; i < 3; ++i) out[i] += face(*u)[i];
        NormalizeIfNonZero(out);
        if (remember) sums[key] = {out[0], out[1], out[2]};
    };

    for (size_t x = 0; x < v; ++x) {
        sums.clear();
        const float zero[3] = {0.0f, 0.0f, 0.0f};
        const float* n = x < normals ? &vertexNormals[x * 3] : zero;
        if (around.begin(x) == around.end(x)) {
            // Only quads use it (or nothing, and it goes).
            if (inQuad[x]) make(x, n);
            continue;
        }
        int32_t group = -1;
        float groupNormal[3];
        for (const uint32_t* f = around.begin(x); f != around.end(x); ++f) {
            const bool own = group < 0 ? VectorDot(face(*f), n) < c1 : VectorDot(face(*f), groupNormal) < c2;
            if (own) {
                float normal[3];
                sumAround(x, *f, normal);
                pointCorners(*f, x, make(x, normal));
            } else if (group < 0) {
                sumAround(x, *f, groupNormal);
                group = make(x, groupNormal);
                pointCorners(*f, x, group);
            } else {
                pointCorners(*f, x, group);
            }
        }
    }

    for (size_t i = 0; i < q * 4; ++i)
        if (quads[i] >= 0 && static_cast<size_t>(quads[i]) < v) quads[i] = firstMade[static_cast<size_t>(quads[i])];
    std::vector<float>().swap(vertexNormals);  // made afresh below
    RemapVertices(source);
    triangles = std::move(fresh);
    vertexNormals = std::move(freshNormals);
    vertexNormalCount = vertexCount;
    separateNormalIndexes = 0;
}

int32_t VRNewMesh::FlipNormals(uint8_t swap) {
    const size_t normals = HeldEntries(vertexNormalCount, vertexNormals.size(), 3);
    for (size_t i = 0; i < normals * 3; ++i) vertexNormals[i] = -vertexNormals[i];
    const size_t t = std::min(HeldEntries(triangleCount, triangles.size(), 3), faceNormals.size() / 3);
    for (size_t i = 0; i < t * 3; ++i) faceNormals[i] = -faceNormals[i];
    if (swap) {
        const size_t v = HeldEntries(vertexCount, positions.size(), 3);
        for (size_t i = 0; i < v; ++i) std::swap(positions[i * 3], positions[i * 3 + 2]);
        ComputeBoundingBox();
        ComputeSubsetBoundingBoxes();
        ComputeBoundingSphere();
    }
    DeleteSubsetDLists(-1, 1);
    return 0;
}
