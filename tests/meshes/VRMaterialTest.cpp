// The material record: defaults, equality, partial copies, dumps, the
// texture-coordinate transform and the parameters and textures of its two
// layers. No GL needed: texture records are made by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "meshes/VRMaterial.h"
#include "scene/EngineServices.h"

namespace {

std::vector<float> Four(const float* c) { return {c[0], c[1], c[2], c[3]}; }

// A record with every field away from its default.
void Scramble(VRMaterial& m, VRTexture* t) {
    for (float* c : {m.ambient, m.diffuse, m.specular, m.emission})
        for (int i = 0; i < 4; ++i) c[i] = 0.25f + 0.125f * i;
    m.shininess = 12;
    m.transparency = 0.5f;
    for (VRTextureTransform& l : m.layer) l = {{0.1f, 0.2f}, {3, 4}, {0.3f, 0.4f, 0.5f}};
    std::strcpy(m.textureName, "a.png");
    std::strcpy(m.secondTextureName, "b.png");
    std::strcpy(m.name, "box_1");
    for (float& a : m.passAlpha) a = 0.5f;
    for (int level = 0; level < kMaterialTextureLevels; ++level) {
        m.texture[level] = VRTextureRef(t);
        m.secondTexture[level] = VRTextureRef(t);
    }
    m.secondChannel = kMaterialSphereMapChannel;
    m.displayList = 7;
    m.displayListState = kMaterialListValid;
    m.recordedResult = 3;
    m.diffuseKeys = {{0, 1, 0, 0}, {10, 0, 1, 0}};
    m.opacityKeys = {{0, 1}};
    m.inUse = 0;
}

void ExpectDefaults(const VRMaterial& m) {
    EXPECT_EQ(Four(m.ambient), (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));
    EXPECT_EQ(Four(m.diffuse), (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));
    EXPECT_EQ(Four(m.specular), (std::vector<float>{0.05f, 0.05f, 0.05f, 1}));
    EXPECT_EQ(Four(m.emission), (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(m.shininess, 0);
    EXPECT_EQ(m.transparency, 0);
    for (const VRTextureTransform& l : m.layer) {
        EXPECT_EQ(l.offset[0], 0);
        EXPECT_EQ(l.offset[1], 0);
        EXPECT_EQ(l.tiling[0], 1);
        EXPECT_EQ(l.tiling[1], 1);
        EXPECT_EQ(l.rotation[0] + l.rotation[1] + l.rotation[2], 0);
    }
    EXPECT_STREQ(m.textureName, "");
    EXPECT_STREQ(m.secondTextureName, "");
    EXPECT_EQ(Four(m.passAlpha), (std::vector<float>{1, 1, 1, 1}));
    for (int level = 0; level < kMaterialTextureLevels; ++level) {
        EXPECT_FALSE(m.texture[level].Held());
        EXPECT_FALSE(m.secondTexture[level].Held());
    }
    EXPECT_EQ(m.secondChannel, 5);
    EXPECT_EQ(m.displayList, 0u);
    EXPECT_EQ(m.displayListState, kMaterialNoList);
    EXPECT_EQ(m.DiffuseKeyCount(), 0);
    EXPECT_EQ(m.OpacityKeyCount(), 0);
    EXPECT_EQ(m.inUse, 1);
}

}  // namespace

TEST(MaterialRecord, NewAndReinitialisedRecordsHoldTheDefaults) {
    VRMaterial fresh;
    ExpectDefaults(fresh);
    EXPECT_STREQ(fresh.name, "");

    VRTexture t;
    VRMaterial used;
    Scramble(used, &t);
    used.Init();
    ExpectDefaults(used);
    EXPECT_STREQ(used.name, "box_1");  // the readers' name stays
    EXPECT_EQ(t.references, 1);        // the texture references went
}

TEST(MaterialRecord, EqualsComparesColoursShininessAndTransparency) {
    struct Row {
        const char* change;
        std::function<void(VRMaterial&)> apply;
        bool equal;
    };
    VRTexture t;
    const Row rows[] = {
        {"nothing", [](VRMaterial&) {}, true},
        {"an alpha", [](VRMaterial& m) { m.diffuse[3] = 0.2f; }, true},
        {"a texture", [&t](VRMaterial& m) { m.SetLayerTexture(0, &t); }, true},
        {"a tiling", [](VRMaterial& m) { m.layer[1].tiling[0] = 2; }, true},
        {"a name", [](VRMaterial& m) { std::strcpy(m.textureName, "x.png"); }, true},
        {"the shininess", [](VRMaterial& m) { m.shininess = 1; }, false},
        {"the transparency", [](VRMaterial& m) { m.transparency = 0.1f; }, false},
        {"an ambient blue", [](VRMaterial& m) { m.ambient[2] = 0.4f; }, false},
        {"an emission red", [](VRMaterial& m) { m.emission[0] = 0.4f; }, false},
    };
    for (const Row& row : rows) {
        VRMaterial a, b;
        row.apply(b);
        EXPECT_EQ(a.Equals(b), row.equal) << row.change;
        EXPECT_EQ(b.Equals(a), row.equal) << row.change;
    }
}

TEST(MaterialRecord, CopyFromKeepsTheTargetsKeysChannelFlagAndName) {
    VRTexture t;
    VRMaterial source;
    Scramble(source, &t);
    VRMaterial target;
    target.diffuseKeys = {{5, 0.1f, 0.2f, 0.3f}};
    std::strcpy(target.name, "mine");
    target.CopyFrom(source);

    EXPECT_TRUE(target.Equals(source));
    EXPECT_EQ(Four(target.diffuse), Four(source.diffuse));  // with the alpha
    EXPECT_EQ(target.layer[1].rotation[2], 0.5f);
    EXPECT_EQ(target.layer[0].offset[1], 0.2f);
    EXPECT_EQ(Four(target.passAlpha), Four(source.passAlpha));
    EXPECT_STREQ(target.textureName, "a.png");
    EXPECT_STREQ(target.secondTextureName, "b.png");
    EXPECT_EQ(target.texture[3].Get(), &t);
    EXPECT_EQ(target.secondTexture[0].Get(), &t);
    EXPECT_EQ(target.displayList, 7u);
    EXPECT_EQ(target.displayListState, kMaterialListValid);
    EXPECT_EQ(target.recordedResult, 3);

    EXPECT_EQ(target.DiffuseKeyCount(), 1);
    EXPECT_EQ(target.diffuseKeys[0][0], 5);
    EXPECT_EQ(target.OpacityKeyCount(), 0);
    EXPECT_EQ(target.secondChannel, kMaterialDefaultChannel);
    EXPECT_EQ(target.inUse, 1);
    EXPECT_STREQ(target.name, "mine");
}

TEST(MaterialRecord, DumpIs72BytesAndRestoresOverDefaults) {
    VRTexture t;
    VRMaterial source;
    Scramble(source, &t);
    source.emission[0] = 2;
    source.shininess = -3;
    std::stringstream stream;
    ASSERT_TRUE(source.Dump(stream));
    const std::string bytes = stream.str();
    ASSERT_EQ(bytes.size(), 72u);
    auto word = [&bytes](int i) {
        float f;
        std::memcpy(&f, bytes.data() + 4 * i, 4);
        return f;
    };
    // Colours first, then shininess and transparency; little-endian words.
    EXPECT_EQ(word(12), 2.0f);
    EXPECT_EQ(word(16), -3.0f);
    EXPECT_EQ(word(17), 0.5f);
    EXPECT_EQ(bytes.substr(64, 4), std::string("\x00\x00\x40\xC0", 4));

    VRMaterial restored;
    Scramble(restored, &t);
    ASSERT_TRUE(restored.Restore(stream));
    EXPECT_TRUE(restored.Equals(source));
    EXPECT_EQ(Four(restored.specular), Four(source.specular));
    EXPECT_EQ(restored.transparency, 0.5f);
    // Everything else is back at the defaults.
    EXPECT_FALSE(restored.texture[0].Held());
    EXPECT_EQ(restored.layer[0].tiling[0], 1);
    EXPECT_EQ(restored.passAlpha[2], 1);
    EXPECT_EQ(restored.secondChannel, 5);
    EXPECT_EQ(restored.DiffuseKeyCount(), 0);
    EXPECT_EQ(restored.displayListState, kMaterialNoList);
    EXPECT_EQ(restored.inUse, 1);

    // A dump cut short restores nothing.
    std::stringstream cut(bytes.substr(0, 71));
    VRMaterial kept;
    kept.shininess = 9;
    EXPECT_FALSE(kept.Restore(cut));
    EXPECT_EQ(kept.shininess, 9);
    EXPECT_EQ(kept.ambient[0], 0.5f);
}

TEST(MaterialRecord, TransformTexCoordRotatesThenTiles) {
    const float halfTurn = 1.5707963267948966f;
    struct Row {
        const char* what;
        std::function<void(VRMaterial&)> set;
        uint8_t layer;
        float u, v, expectU, expectV;
    };
    const Row rows[] = {
        {"tiling 2 2", [](VRMaterial& m) { m.layer[0].tiling[0] = m.layer[0].tiling[1] = 2; }, 0, 0.75f, 0.25f, 1, 0},
        {"tiling keeps the centre", [](VRMaterial& m) { m.layer[0].tiling[0] = m.layer[0].tiling[1] = 2; }, 0, 0.5f,
         0.5f, 0.5f, 0.5f},
        {"offset in u", [](VRMaterial& m) { m.layer[0].offset[0] = 0.1f; }, 0, 0.3f, 0.7f, 0.2f, 0.7f},
        {"offset in tiled units", [](VRMaterial& m) { m.layer[0] = {{0, 0.1f}, {1, 3}, {0, 0, 0}}; }, 0, 0.5f, 0.5f,
         0.5f, 0.2f},
        {"layer 1 ignores layer 0", [](VRMaterial& m) { m.layer[0].tiling[0] = 2; }, 1, 0.75f, 0.25f, 0.75f, 0.25f},
        {"layer 1 uses its own", [](VRMaterial& m) { m.layer[1].offset[0] = 0.1f; }, 7, 0.3f, 0.3f, 0.2f, 0.3f},
        {"turn about z", [=](VRMaterial& m) { m.layer[0].rotation[2] = halfTurn; }, 0, 1, 0.5f, 0.5f, 1},
        // The point lies half a unit behind the plane: a turn about x moves
        // even the centre.
        {"turn about x", [=](VRMaterial& m) { m.layer[0].rotation[0] = halfTurn; }, 0, 0.5f, 0.5f, 0.5f, 1},
        {"turn then tile", [=](VRMaterial& m) { m.layer[1] = {{0, 0}, {2, 1}, {0, 0, halfTurn}}; }, 1, 0.5f, 0.75f,
         0, 0.5f},
    };
    for (const Row& row : rows) {
        VRMaterial m;
        row.set(m);
        float u = row.u, v = row.v;
        m.TransformTexCoord(u, v, row.layer);
        EXPECT_NEAR(u, row.expectU, 1e-6) << row.what;
        EXPECT_NEAR(v, row.expectV, 1e-6) << row.what;
    }
}

TEST(MaterialRecord, TextureParamsNameEightValuesPerLayer) {
    VRMaterial m;
    for (int layer : {0, 1}) {
        const VRTextureTransform& l = m.layer[layer];
        const float* expected[kTextureParamCount] = {&l.offset[0], &l.offset[1], &l.tiling[0], &l.tiling[1],
                                                     &l.rotation[0], &l.rotation[1], &l.rotation[2],
                                                     &m.passAlpha[layer]};
        for (int i = 0; i < kTextureParamCount; ++i) EXPECT_EQ(m.TextureParam(layer, i), expected[i]) << layer << i;
        EXPECT_EQ(m.TextureParam(layer, -1), nullptr);
        EXPECT_EQ(m.TextureParam(layer, 8), nullptr);
    }
    EXPECT_EQ(m.TextureParam(5, 7), &m.passAlpha[1]);  // any other layer is the second
}

// A layer's texture replaces its level-of-detail copies; a record removed
// from its manager reads as none, while the material keeps its memory.
TEST(MaterialRecord, LayerTexturesFollowTheirRecords) {
    auto* t = new VRTexture();
    VRTexture copy;
    VRMaterial m;
    for (int level = 1; level < kMaterialTextureLevels; ++level) m.secondTexture[level] = VRTextureRef(&copy);
    m.SetLayerTexture(1, t);
    EXPECT_EQ(m.LayerTexture(1), t);
    EXPECT_EQ(m.LayerTexture(0), nullptr);
    for (int level = 1; level < kMaterialTextureLevels; ++level) EXPECT_FALSE(m.secondTexture[level].Held());

    t->removed = true;
    VRTextureRelease(t);  // the owner lets it go; the material holds it still
    EXPECT_EQ(m.LayerTexture(1), nullptr);
    m.SetLayerTexture(1, nullptr);  // frees the record
    EXPECT_EQ(copy.references, 1);
}

TEST(MaterialRecord, FreeAndResizeLeaveNoKeysBehind) {
    VRMaterial m;
    m.diffuseKeys = {{0, 1, 1, 1}};
    m.opacityKeys = {{0, 1}, {5, 0}};
    m.Free();
    EXPECT_EQ(m.DiffuseKeyCount(), 0);  // no count without its keys
    EXPECT_EQ(m.OpacityKeyCount(), 0);

    VRTexture t;
    VRMaterial* materials = ResizeMaterialArray<VRMaterial>(nullptr, 2);
    materials[1].opacityKeys = {{0, 0.5f}};
    materials[1].SetLayerTexture(0, &t);
    std::strcpy(materials[1].name, "part_1");
    materials = ResizeMaterialArray(materials, 3);
    EXPECT_EQ(materials[1].OpacityKeyCount(), 1);
    EXPECT_EQ(materials[1].opacityKeys[0][1], 0.5f);
    EXPECT_EQ(materials[1].LayerTexture(0), &t);
    EXPECT_STREQ(materials[1].name, "part_1");
    EXPECT_EQ(t.references, 2);
    ExpectDefaults(materials[2]);
    EXPECT_EQ(ResizeMaterialArray(materials, 0), nullptr);
    EXPECT_EQ(t.references, 1);
}
