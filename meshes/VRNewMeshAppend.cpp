// Appending one mesh to another. The result is a consistent mesh: every
// per-vertex array covers every vertex (padded where only one of the two
// had it), the other's quads, normal indexes, subsets, materials and
// shaders come along with their indexes moved past this mesh's, and display
// lists are never shared between the two meshes.
#include <algorithm>
#include <cstring>

#include "meshes/VRNewMesh.h"
#include "meshes/VRVertexAttribSet.h"
#include "scene/ShaderPass.h"

namespace {

const float kWhite[3] = {1.0f, 1.0f, 1.0f};
const float kNoTangent[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};

// Appends n entries of `width` values from `from`, `pad` beyond what it
// holds.
void AppendPadded(std::vector<float>& to, const std::vector<float>& from, size_t n, size_t width, const float* pad) {
    const size_t held = std::min(n, from.size() / width);
    to.insert(to.end(), from.begin(), from.begin() + static_cast<ptrdiff_t>(held * width));
    for (size_t i = held; i < n; ++i) to.insert(to.end(), pad, pad + width);
}

// Appends the first n indexes of `from` (0 beyond what it holds) plus
// `shift`.
void AppendShifted(std::vector<int32_t>& to, const std::vector<int32_t>& from, size_t n, size_t shift) {
    for (size_t i = 0; i < n; ++i) to.push_back((i < from.size() ? from[i] : 0) + static_cast<int32_t>(shift));
}

// All of a material, keys and name included; its display list stays with
// the original.
void CopyMaterial(VRMaterial& to, const VRMaterial& from) {
    to.CopyFrom(from);
    std::memcpy(to.name, from.name, sizeof to.name);
    to.diffuseKeys = from.diffuseKeys;
    to.opacityKeys = from.opacityKeys;
    to.secondChannel = from.secondChannel;
    to.inUse = from.inUse;
    to.displayList = 0;
    to.displayListState = kMaterialNoList;
}

std::unique_ptr<ShaderPassList> CopyPasses(ShaderPassList& from) {
    auto to = std::make_unique<ShaderPassList>();
    for (int32_t p = 0; p < from.Count(); ++p) {
        const ShaderPass& pass = *from.Pass(p);
        to->AddPass(pass.program.Get(), pass.uniforms ? std::make_unique<ShaderUniformList>(*pass.uniforms) : nullptr,
                    pass.states ? std::make_unique<GLStateList>(*pass.states) : nullptr);
    }
    return to;
}

// What one of the two meshes holds.
struct Held {
    size_t v, t, q, k, normals;
    explicit Held(const VRNewMesh& m)
        : v(HeldEntries(m.vertexCount, m.positions.size(), 3)),
          t(HeldEntries(m.triangleCount, m.triangles.size(), 3)),
          q(HeldEntries(m.quadCount, m.quads.size(), 4)),
          k(HeldEntries(m.texCoordCount, m.texCoords.size(), 2)),
          normals(HeldEntries(m.vertexNormalCount, m.vertexNormals.size(), 3)) {}
};

// The two meshes' geometry, one after the other, every index moved past
// this mesh's.
struct MergedArrays {
    std::vector<float> positions, texCoords, faceNormals, quadNormals, normals, colours, tangents, bitangents;
    std::vector<int32_t> triangles, textureIndexes, quads, normalIndexes, smoothingGroups;
    bool separateNormals = false;

    MergedArrays(const VRNewMesh& a, const Held& ha, bool aSeparate, const VRNewMesh& b, const Held& hb,
                 bool bSeparate) {
        AppendPadded(positions, a.positions, ha.v, 3, kZero);
        AppendPadded(positions, b.positions, hb.v, 3, kZero);
        AppendPadded(texCoords, a.texCoords, ha.k, 2, kZero);
        AppendPadded(texCoords, b.texCoords, hb.k, 2, kZero);
        AppendShifted(triangles, a.triangles, ha.t * 3, 0);
        AppendShifted(triangles, b.triangles, hb.t * 3, ha.v);
        // Texture indexes, whole: a subset's offset counts in this array.
        AppendShifted(textureIndexes, a.textureIndexes, a.textureIndexes.size(), 0);
        AppendShifted(textureIndexes, b.textureIndexes, b.textureIndexes.size(), ha.k);
        AppendShifted(quads, a.quads, ha.q * 4, 0);
        AppendShifted(quads, b.quads, hb.q * 4, ha.v);
        AppendPadded(faceNormals, a.faceNormals, ha.t, 3, kZero);
        AppendPadded(faceNormals, b.faceNormals, hb.t, 3, kZero);
        AppendPadded(quadNormals, a.quadNormals, ha.q, 3, kZero);
        AppendPadded(quadNormals, b.quadNormals, hb.q, 3, kZero);

        // Normals: through indexes when either mesh has them so (a mesh
        // with per-vertex normals indexes them by its vertex indexes), else
        // per vertex.
        separateNormals = aSeparate || bSeparate;
        if (separateNormals) {
            const size_t aCount = aSeparate ? ha.normals : ha.v;
            AppendPadded(normals, a.vertexNormals, aCount, 3, kZero);
            AppendPadded(normals, b.vertexNormals, bSeparate ? hb.normals : hb.v, 3, kZero);
            AppendShifted(normalIndexes, aSeparate ? a.normalIndexes : a.triangles, ha.t * 3, 0);
            AppendShifted(normalIndexes, bSeparate ? b.normalIndexes : b.triangles, hb.t * 3, aCount);
        } else if (ha.normals > 0 || hb.normals > 0) {
            AppendPadded(normals, a.vertexNormals, ha.v, 3, kZero);
            AppendPadded(normals, b.vertexNormals, hb.v, 3, kZero);
        }

        if (!a.smoothingGroups.empty()) {
            AppendShifted(smoothingGroups, a.smoothingGroups, ha.t, 0);
            AppendShifted(smoothingGroups, b.smoothingGroups, hb.t, 0);
        }
        if (!a.colours.empty() || !b.colours.empty()) {
            AppendPadded(colours, a.colours, ha.v, 3, kWhite);
            AppendPadded(colours, b.colours, hb.v, 3, kWhite);
        }
        if (!a.tangents.empty() || !b.tangents.empty()) {
            AppendPadded(tangents, a.tangents, ha.v, 4, kNoTangent);
            AppendPadded(tangents, b.tangents, hb.v, 4, kNoTangent);
            AppendPadded(bitangents, a.bitangents, ha.v, 3, kZero);
            AppendPadded(bitangents, b.bitangents, hb.v, 3, kZero);
        }
    }
};

// This mesh's attribute data for its vertices, then the other's when its
// attributes are laid out alike, else zeros.
void MergeAttributes(VRVertexAttribSet& set, const VRVertexAttribSet* other, size_t aVertices, size_t bVertices) {
    if (set.floatsPerVertex <= 0) return;
    const size_t width = static_cast<size_t>(set.floatsPerVertex);
    const std::vector<float> zeros(width, 0.0f);
    const bool alike = other && other->floatsPerVertex == set.floatsPerVertex;
    std::vector<float> data;
    AppendPadded(data, set.data, aVertices, width, zeros.data());
    AppendPadded(data, alike ? other->data : std::vector<float>(), bVertices, width, zeros.data());
    set.data = std::move(data);
}

}  // namespace

void VRNewMesh::Append(VRNewMesh& other, uint8_t finalize, uint8_t release) {
    const bool self = &other == this;
    if (self) release = 0;
    const Held a(*this), b(other);
    if (a.v == 0 && other.geometryGiven) geometryGiven = 1;
    MergedArrays merged(*this, a, separateNormalIndexes && NormalIndexesValid(), other, b,
                        other.separateNormalIndexes && other.NormalIndexesValid());
    if (vertexAttribs) MergeAttributes(*vertexAttribs, other.vertexAttribs.get(), a.v, b.v);

    // Records: the other's are copied first, so that appending a mesh to
    // itself reads them before this mesh's own are moved.
    const size_t aM = static_cast<size_t>(MaterialCount()), bM = static_cast<size_t>(other.MaterialCount());
    auto material = std::make_shared<VRMaterialArray>(aM + bM);
    for (size_t i = 0; i < bM; ++i) CopyMaterial((*material)[aM + i], (*other.materials)[i]);
    const bool ownMaterials = materials.use_count() == 1;
    for (size_t i = 0; i < aM; ++i) {
        if (ownMaterials)
            (*material)[i] = std::move((*materials)[i]);
        else
            CopyMaterial((*material)[i], (*materials)[i]);
    }

    const size_t aShaders = shaders.size(), bShaders = other.shaders.size();
    std::vector<std::unique_ptr<ShaderPassList>> shader(aShaders + bShaders);
    for (size_t i = 0; i < bShaders; ++i) {
        if (!other.shaders[i]) continue;
        shader[aShaders + i] = release ? std::move(other.shaders[i]) : CopyPasses(*other.shaders[i]);
    }
    for (size_t i = 0; i < aShaders; ++i) shader[i] = std::move(shaders[i]);

    DeleteSubsetDLists(-1, 1);
    const size_t aS = subsets.size(), bS = other.subsets.size();
    std::vector<VRMeshSubset> subset(aS + bS);
    for (size_t i = 0; i < bS; ++i) {
        const VRMeshSubset& from = other.subsets[i];
        VRMeshSubset& to = subset[aS + i];
        if (from.box) to.box = std::make_unique<VRBoundingBox>();
        to.CopyFrom(from);
        to.frontFace = from.frontFace;
        to.doubleSided = from.doubleSided;
        to.alpha = from.alpha;
        to.displayList = to.secondDisplayList = 0;  // the other's lists
        to.materialIndex += static_cast<int32_t>(aM);
        to.firstIndex += static_cast<int32_t>(a.t * 3);
        to.firstTextureIndex += static_cast<int32_t>(textureIndexes.size());
        if (to.shaderIndex >= 0) to.shaderIndex += static_cast<int32_t>(aShaders);
    }
    for (size_t i = 0; i < aS; ++i) subset[i] = std::move(subsets[i]);
    std::vector<int32_t> marks = translucent;
    marks.resize(aS, 0);
    marks.insert(marks.end(), other.translucent.begin(),
                 other.translucent.begin() + static_cast<ptrdiff_t>(std::min(bS, other.translucent.size())));
    marks.resize(aS + bS, 0);

    vertexCount = static_cast<int32_t>(a.v + b.v);
    triangleCount = static_cast<int32_t>(a.t + b.t);
    quadCount = static_cast<int32_t>(a.q + b.q);
    texCoordCount = static_cast<int32_t>(a.k + b.k);
    textureIndexCount += other.textureIndexCount;
    vertexNormalCount = static_cast<int32_t>(merged.normals.size() / 3);
    separateNormalIndexes = merged.separateNormals;
    colourCount = static_cast<int32_t>(merged.colours.size() / 3);
    if (merged.smoothingGroups.empty()) smoothingGroupsFlag = 0;
    positions = std::move(merged.positions);
    texCoords = std::move(merged.texCoords);
    triangles = std::move(merged.triangles);
    textureIndexes = std::move(merged.textureIndexes);
    quads = std::move(merged.quads);
    faceNormals = std::move(merged.faceNormals);
    quadNormals = std::move(merged.quadNormals);
    vertexNormals = std::move(merged.normals);
    normalIndexes = std::move(merged.normalIndexes);
    smoothingGroups = std::move(merged.smoothingGroups);
    colours = std::move(merged.colours);
    tangents = std::move(merged.tangents);
    bitangents = std::move(merged.bitangents);
    materials = std::move(material);
    shaders = std::move(shader);
    subsets = std::move(subset);
    ResetPerSubsetArrays();
    translucent = std::move(marks);

    if (release) other.ReleaseGeometry();
    if (finalize) Finalize(0);
}

void VRNewMesh::ReleaseGeometry() {
    DeleteSubsetDLists(-1, 1);
    for (auto* values : {&positions, &vertexNormals, &colours, &tangents, &bitangents, &faceNormals, &quadNormals,
                         &texCoords, &depthKeys})
        std::vector<float>().swap(*values);
    for (auto* indexes : {&triangles, &normalIndexes, &quads, &textureIndexes, &smoothingGroups, &drawOrder,
                          &translucent, &subsetScratch})
        std::vector<int32_t>().swap(*indexes);
    std::vector<VRMeshSubset>().swap(subsets);
    std::vector<std::unique_ptr<ShaderPassList>>().swap(shaders);
    vertexCount = triangleCount = quadCount = texCoordCount = textureIndexCount = 0;
    vertexNormalCount = colourCount = 0;
    separateNormalIndexes = 0;
    if (vertexAttribs) vertexAttribs->data.clear();
}
