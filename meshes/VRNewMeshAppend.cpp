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

}  // namespace

void VRNewMesh::Append(VRNewMesh& other, uint8_t finalize, uint8_t release) {
    const bool self = &other == this;
    if (self) release = 0;
    const Held a(*this), b(other);
    if (a.v == 0 && other.geometryGiven) geometryGiven = 1;

    std::vector<float> p, uv, faces, quadFaces;
    std::vector<int32_t> tri, tex, quad;
    AppendPadded(p, positions, a.v, 3, kZero);
    AppendPadded(p, other.positions, b.v, 3, kZero);
    AppendPadded(uv, texCoords, a.k, 2, kZero);
    AppendPadded(uv, other.texCoords, b.k, 2, kZero);
    AppendShifted(tri, triangles, a.t * 3, 0);
    AppendShifted(tri, other.triangles, b.t * 3, a.v);
    // Texture indexes, whole: a subset's offset counts in this array.
    const size_t texturePlace = textureIndexes.size();
    AppendShifted(tex, textureIndexes, texturePlace, 0);
    AppendShifted(tex, other.textureIndexes, other.textureIndexes.size(), a.k);
    AppendShifted(quad, quads, a.q * 4, 0);
    AppendShifted(quad, other.quads, b.q * 4, a.v);
    AppendPadded(faces, faceNormals, a.t, 3, kZero);
    AppendPadded(faces, other.faceNormals, b.t, 3, kZero);
    AppendPadded(quadFaces, quadNormals, a.q, 3, kZero);
    AppendPadded(quadFaces, other.quadNormals, b.q, 3, kZero);

    // Normals: through indexes when either mesh has them so (a mesh with
    // per-vertex normals indexes them by its vertex indexes), else per
    // vertex.
    const bool aSeparate = separateNormalIndexes && NormalIndexesValid();
    const bool bSeparate = other.separateNormalIndexes && other.NormalIndexesValid();
    std::vector<float> normals;
    std::vector<int32_t> normalIdx;
    if (aSeparate || bSeparate) {
        const size_t aCount = aSeparate ? a.normals : a.v;
        AppendPadded(normals, vertexNormals, aCount, 3, kZero);
        AppendPadded(normals, other.vertexNormals, bSeparate ? b.normals : b.v, 3, kZero);
        AppendShifted(normalIdx, aSeparate ? normalIndexes : triangles, a.t * 3, 0);
        AppendShifted(normalIdx, bSeparate ? other.normalIndexes : other.triangles, b.t * 3, aCount);
    } else if (a.normals > 0 || b.normals > 0) {
        AppendPadded(normals, vertexNormals, a.v, 3, kZero);
        AppendPadded(normals, other.vertexNormals, b.v, 3, kZero);
    }

    std::vector<int32_t> groups;
    if (!smoothingGroups.empty()) {
        AppendShifted(groups, smoothingGroups, a.t, 0);
        AppendShifted(groups, other.smoothingGroups, b.t, 0);
    }
    std::vector<float> colour, tangent, bitangent;
    if (!colours.empty() || !other.colours.empty()) {
        AppendPadded(colour, colours, a.v, 3, kWhite);
        AppendPadded(colour, other.colours, b.v, 3, kWhite);
    }
    if (!tangents.empty() || !other.tangents.empty()) {
        AppendPadded(tangent, tangents, a.v, 4, kNoTangent);
        AppendPadded(tangent, other.tangents, b.v, 4, kNoTangent);
        AppendPadded(bitangent, bitangents, a.v, 3, kZero);
        AppendPadded(bitangent, other.bitangents, b.v, 3, kZero);
    }
    if (vertexAttribs && vertexAttribs->floatsPerVertex > 0) {
        const size_t width = static_cast<size_t>(vertexAttribs->floatsPerVertex);
        std::vector<float> data;
        const bool alike = other.vertexAttribs && other.vertexAttribs->floatsPerVertex == vertexAttribs->floatsPerVertex;
        AppendPadded(data, vertexAttribs->data, a.v, width, std::vector<float>(width, 0.0f).data());
        AppendPadded(data, alike ? other.vertexAttribs->data : std::vector<float>(), b.v, width,
                     std::vector<float>(width, 0.0f).data());
        vertexAttribs->data = std::move(data);
    }

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
        to.firstTextureIndex += static_cast<int32_t>(texturePlace);
        if (to.shaderIndex >= 0) to.shaderIndex += static_cast<int32_t>(aShaders);
    }
    for (size_t i = 0; i < aS; ++i) subset[i] = std::move(subsets[i]);
    std::vector<int32_t> marks = translucent;
    marks.resize(aS, 0);
    marks.insert(marks.end(), other.translucent.begin(), other.translucent.begin() +
                                                             static_cast<ptrdiff_t>(std::min(bS, other.translucent.size())));
    marks.resize(aS + bS, 0);

    vertexCount = static_cast<int32_t>(a.v + b.v);
    triangleCount = static_cast<int32_t>(a.t + b.t);
    quadCount = static_cast<int32_t>(a.q + b.q);
    texCoordCount = static_cast<int32_t>(a.k + b.k);
    textureIndexCount += other.textureIndexCount;
    vertexNormalCount = static_cast<int32_t>(normals.size() / 3);
    separateNormalIndexes = aSeparate || bSeparate;
    colourCount = static_cast<int32_t>(colour.size() / 3);
    if (groups.empty()) smoothingGroupsFlag = 0;
    positions = std::move(p);
    texCoords = std::move(uv);
    triangles = std::move(tri);
    textureIndexes = std::move(tex);
    quads = std::move(quad);
    faceNormals = std::move(faces);
    quadNormals = std::move(quadFaces);
    vertexNormals = std::move(normals);
    normalIndexes = std::move(normalIdx);
    smoothingGroups = std::move(groups);
    colours = std::move(colour);
    tangents = std::move(tangent);
    bitangents = std::move(bitangent);
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
