// Scene-graph nodes: the child list and its cycles, the level-of-detail
// choice, the matrices a draw computes and the transform display list, and
// the segment test through a small tree. Meshes are test doubles.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/ShaderPass.h"
#include "scene/VRObj.h"
#include "scene/VRScene.h"
#include "support/GlSceneFixture.h"
#include "support/TaggedLodMesh.h"

using namespace qemtest;

namespace {

// A new mesh that is the square |x|, |y| <= 1 of the plane z = 0, with a
// box it reports for normalising.
class PlaneMesh : public VRObjNewMesh {
public:
    float boxMax[3] = {1, 1, 0};
    float boxMin[3] = {-1, -1, 0};
    int32_t Draw(int32_t, int32_t, int32_t, VRObj*) override { return 7; }
    void CompileDisplayList(int32_t, int32_t, int32_t) override {}
    bool WantsWorldMatrix() const override { return false; }
    void GetBoundingBox(float* max, float* min) const override {
        for (int k = 0; k < 3; ++k) max[k] = boxMax[k], min[k] = boxMin[k];
    }
    int32_t DrawBoundingBox(int32_t) override { return 0; }
    bool IsColliding(const float* s, const float* e, float* point, float* normal, int32_t* face, uint8_t,
                     float* nearest) override {
        if (s[2] == e[2]) return false;
        const float t = s[2] / (s[2] - e[2]);
        if (t < 0 || t > 1) return false;
        const float p[3] = {s[0] + t * (e[0] - s[0]), s[1] + t * (e[1] - s[1]), 0};
        if (std::fabs(p[0]) > 1 || std::fabs(p[1]) > 1) return false;
        const float d = (p[0] - s[0]) * (p[0] - s[0]) + (p[1] - s[1]) * (p[1] - s[1]) + s[2] * s[2];
        if (d >= *nearest) return false;
        *nearest = d;
        for (int k = 0; k < 3; ++k) point[k] = p[k];
        normal[0] = normal[1] = 0;
        normal[2] = 1;
        *face = 3;
        return true;
    }
    // The box test: the segment's end lies in the unit cube about the origin.
    bool IsCollidingBBoxOnly(const float*, const float* e) override {
        return std::fabs(e[0]) <= 1 && std::fabs(e[1]) <= 1 && std::fabs(e[2]) <= 1;
    }
    // Boxes overlap when their world positions are less than 1 apart in x.
    bool BoxOverlaps(const float* world, const float*, const float*, const float* otherWorld) override {
        return std::fabs(world[12] - otherWorld[12]) < 1;
    }
    void SetBoxHit() override { boxHit = 1; }
    int32_t boxHit = 0;
    void ModulateMaterials(float, float, float, float) override {}
    void ForceMaterial(const VRMaterial*) override {}
    void TexturePrefetch() override {}
    void ApplyOpacity(float) override {}
};

void ExpectTranslation(const float* m, float x, float y, float z) {
    EXPECT_NEAR(x, m[12], 1e-5);
    EXPECT_NEAR(y, m[13], 1e-5);
    EXPECT_NEAR(z, m[14], 1e-5);
}

class SceneNodeDraw : public GlSceneFixture {
protected:
    static int StackDepth() {
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        return depth;
    }
};

int g_callbacks = 0;
void CountCallback(int32_t, void*) { ++g_callbacks; }

}  // namespace

TEST(SceneNodeChildren, CapacityGrowsInEightsAndCyclesAreRefused) {
    VRObj parent, grandchild;
    std::vector<std::unique_ptr<VRObj>> kids;
    for (int k = 0; k < 9; ++k) {
        kids.push_back(std::make_unique<VRObj>());
        EXPECT_EQ(k + 1, parent.AddChild(kids.back().get(), float(k), 0, 0));
        EXPECT_EQ(k < 8 ? 8 : 16, parent.childCapacity) << k;
    }
    EXPECT_FLOAT_EQ(8.0f, kids[8]->position[0]);

    VRObj stranger;
    EXPECT_EQ(-1, parent.RemoveChild(&stranger));
    EXPECT_EQ(2, parent.RemoveChild(kids[2].get()));
    EXPECT_EQ(8, parent.childCount);
    EXPECT_EQ(kids[3].get(), parent.children[2]);

    // The node itself, its parent or grandparent, or a node already there.
    kids[0]->AddChild(&grandchild, 0, 0, 0);
    grandchild.SetPosition(5, 5, 5);
    EXPECT_EQ(-1, parent.AddChild(&parent, 0, 0, 0));
    EXPECT_EQ(-1, grandchild.AddChild(kids[0].get(), 0, 0, 0));
    EXPECT_EQ(-1, grandchild.AddChild(&parent, 0, 0, 0));
    EXPECT_EQ(-1, parent.AddChild(kids[1].get(), 9, 9, 9));
    EXPECT_EQ(8, parent.childCount);
    EXPECT_EQ(0, grandchild.childCount);
    EXPECT_FLOAT_EQ(1.0f, kids[1]->position[0]);
}

TEST(SceneNodeLinks, LevelZeroIsReplacedAndAnEleventhLevelRefused) {
    TaggedLodMesh meshes[11] = {TaggedLodMesh(0), TaggedLodMesh(1), TaggedLodMesh(2), TaggedLodMesh(3),
                                TaggedLodMesh(4), TaggedLodMesh(5), TaggedLodMesh(6), TaggedLodMesh(7),
                                TaggedLodMesh(8), TaggedLodMesh(9), TaggedLodMesh(10)};
    VRObj node;
    node.LinkToMesh(&meshes[0], 0);
    node.LinkToMesh(&meshes[1], 10);
    EXPECT_FLOAT_EQ(100.0f, node.lodThresholds[1]);
    EXPECT_EQ(2, node.LinkToMesh(&meshes[2], 0));
    EXPECT_EQ(&meshes[2], node.lodMeshes[0]);
    for (int k = 3; k <= 10; ++k) node.LinkToMesh(&meshes[k], float(k) * 10);
    EXPECT_EQ(10, node.lodCount);
    EXPECT_EQ(-1, node.LinkToMesh(&meshes[10], 200));
    EXPECT_EQ(10, node.lodCount);
    EXPECT_EQ(2, node.Inspect(0, 0, 0));
}

TEST(SceneNodeShape, NormalizeScalesToTheLargestExtentAndRefusesFlatBoxes) {
    VRObj bare;
    EXPECT_FLOAT_EQ(-2.0f, bare.Normalize(1));

    PlaneMesh mesh;
    VRObj node(&mesh);
    mesh.boxMax[0] = 4, mesh.boxMin[0] = 0;  // extents 4, 2, 0
    EXPECT_FLOAT_EQ(0.5f, node.Normalize(2));
    EXPECT_FLOAT_EQ(0.5f, node.scale[2]);
    EXPECT_FLOAT_EQ(0.5f, node.pivot[0]);  // ((4 + 0) / 2) / 4

    std::vector<std::string> warnings;
    static std::vector<std::string>* sink;
    sink = &warnings;
    SetEngineWarningHandler([](const char* text) {
        sink->push_back(text);
        return 0;
    });
    node.SetScale(0, 1, 1);
    EXPECT_FLOAT_EQ(-1.0f, node.Normalize(2));
    mesh.boxMax[0] = mesh.boxMax[1] = mesh.boxMax[2] = 0;
    mesh.boxMin[0] = mesh.boxMin[1] = mesh.boxMin[2] = 0;
    node.SetScale(1, 1, 1);
    EXPECT_FLOAT_EQ(-1.0f, node.Normalize(2));
    SetEngineWarningHandler(nullptr);
    EXPECT_EQ(2u, warnings.size());
    EXPECT_EQ("Cannot normalize object ", warnings.at(0));
    EXPECT_TRUE(std::isfinite(node.scale[0]));
}

TEST(SceneNodeCollision, TheNearerChildIsReportedInTheParentFrame) {
    // The parent at (10, 0, 0) turned 90 degrees about y: its z axis points
    // along world x. Two planes at local z = -5 (first child) and z = -2.
    PlaneMesh far, near;
    VRObj parent, a(&far), b(&near);
    parent.SetPosition(10, 0, 0);
    const float quarterY[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    parent.SetRotationMatrix(quarterY);
    parent.AddChild(&a, 0, 0, -5);
    parent.AddChild(&b, 0, 0, -2);
    a.id = 1;
    b.id = 2;
    parent.id = 9;

    const float start[3] = {20, 0, 0}, end[3] = {0, 0, 0};
    float point[3], normal[3];
    int32_t face = -1, id = -1;
    ASSERT_TRUE(parent.IsColliding(start, end, point, normal, &face, &id, 1));
    EXPECT_EQ(2, id);
    EXPECT_EQ(3, face);
    EXPECT_NEAR(8.0f, point[0], 1e-5);
    EXPECT_NEAR(0.0f, point[2], 1e-5);
    EXPECT_NEAR(1.0f, normal[0], 1e-5);
    EXPECT_NEAR(0.0f, normal[2], 1e-5);

    // Hidden children are skipped on request; a segment that misses fails.
    b.hidden = 1;
    ASSERT_TRUE(parent.IsColliding(start, end, point, normal, &face, &id, 1));
    EXPECT_EQ(1, id);
    EXPECT_NEAR(5.0f, point[0], 1e-5);
    const float away[3] = {20, 5, 0};
    EXPECT_FALSE(parent.IsColliding(away, away, point, normal, nullptr, nullptr, 1));
}

TEST_F(SceneNodeDraw, LevelOfDetailFollowsTheCameraDistance) {
    TaggedLodMesh near(10), middle(11), far(12);
    VRObj node;
    node.LinkToMesh(&near, 0);
    node.LinkToMesh(&middle, 10);
    node.LinkToMesh(&far, 20);
    scene->currentCamera->SetPosition(0, 0, 15);  // d² = 225
    EXPECT_EQ(11, node.Draw(0, 0, 0));
    EXPECT_EQ(1, node.currentLod);
    EXPECT_EQ(12, node.Draw(kDrawForceLevel, 2, 0));
    scene->currentCamera->SetPosition(0, 0, 30);
    EXPECT_EQ(12, node.Draw(0, 0, 0));
    // A forced level outside the table draws nothing.
    EXPECT_EQ(-1, node.Draw(kDrawForceLevel, 12, 0));

    g_callbacks = 0;
    node.LinkToPreCallback(CountCallback, 0, nullptr);
    node.LinkToCallback(CountCallback, 0, nullptr);
    EXPECT_EQ(12, node.Draw(0, 0, 0));
    EXPECT_EQ(2, g_callbacks);
    node.hidden = 1;
    EXPECT_EQ(0, node.Draw(0, 0, 0));
    EXPECT_EQ(2, g_callbacks);
}

TEST_F(SceneNodeDraw, WorldMatricesComposeDownTheTree) {
    VRObj parent, child;
    parent.SetPosition(1, 0, 0);
    parent.AddChild(&child, 0, 2, 0);
    parent.EnableMatrixCalculation(0);
    child.EnableMatrixCalculation(0);
    const int depth = StackDepth();
    parent.Draw(kDrawComputeWorld, 0, 0);
    EXPECT_EQ(depth, StackDepth());
    float m[16];
    child.GetModelMatrix(m);
    ExpectTranslation(m, 1, 2, 0);

    // ID -1 without children and without calculation keeps its matrix; the
    // parent (ID -1 with a child) still computes its own.
    parent.SetPosition(3, 0, 0);
    parent.Draw(0, 0, 0);
    parent.GetModelMatrix(m);
    ExpectTranslation(m, 3, 0, 0);
    child.GetModelMatrix(m);
    ExpectTranslation(m, 1, 2, 0);

    // Kept pushed for the caller, holding the parent's transform.
    parent.Draw(kDrawKeepPushed | kDrawNoChildren, 0, 0);
    EXPECT_EQ(depth + 1, StackDepth());
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    ExpectTranslation(m, 3, 0, 0);
    glPopMatrix();

    // Drawing a new mesh hands its world matrix to the shader passes.
    PlaneMesh mesh;
    VRObj meshNode(&mesh);
    meshNode.SetPosition(0, 0, 7);
    EXPECT_EQ(7, meshNode.Draw(0, 0, 0));
    ExpectTranslation(CurrentModelMatrix, 0, 0, 7);

    float local[4];
    const float origin[4] = {0, 0, 0, 1};
    parent.SetScale(2, 2, 2);
    child.LocalToWorld(origin, local);
    EXPECT_FLOAT_EQ(2.0f, local[1]);
}

TEST_F(SceneNodeDraw, IdNodesReplayTheirTransformFromAList) {
    VRObj node;
    node.id = 4;
    node.SetPosition(0, 0, -3);
    node.Draw(kDrawStoreModelView, 0, 0);
    EXPECT_EQ(kListCompiled, node.listState);
    EXPECT_TRUE(glIsList(node.displayList));
    ExpectTranslation(node.drawMatrix, 0, 0, -3);

    // The pivot alone leaves the list as it is; a replay gives the same
    // transform and stack depth.
    const int depth = StackDepth();
    node.SetPivotPoint(1, 1, 1);
    EXPECT_EQ(kListCompiled, node.listState);
    node.drawMatrix[14] = 0;
    node.Draw(kDrawStoreModelView, 0, 0);
    EXPECT_EQ(depth, StackDepth());
    ExpectTranslation(node.drawMatrix, 0, 0, -3);

    node.SetRotation(90, 0, 0, 1);
    EXPECT_EQ(kListDirty, node.listState);
    node.Draw(kDrawStoreModelView, 0, 0);
    EXPECT_EQ(kListCompiled, node.listState);
    // Turned about the pivot (1, 1): the origin lands on (2, 0).
    ExpectTranslation(node.drawMatrix, 2, 0, -3);

    // Flag 0x40 never records.
    VRObj unlisted;
    unlisted.id = 5;
    unlisted.Draw(kDrawNoList, 0, 0);
    EXPECT_EQ(kListNone, unlisted.listState);
}

TEST(SceneNodeCollision, BoxTestsWalkBothTreesAndMarkTheHitMesh) {
    PlaneMesh mine, theirs, theirChild;
    VRObj node(&mine), other(&theirs), otherChild(&theirChild);
    other.AddChild(&otherChild, 0, 0, 0);
    node.worldMatrix[12] = 5;
    other.worldMatrix[12] = 0;
    otherChild.worldMatrix[12] = 5.5f;
    EXPECT_TRUE(node.IsCollidingBBox(&other));
    EXPECT_EQ(0, theirs.boxHit);
    EXPECT_EQ(1, theirChild.boxHit);
    EXPECT_EQ(1, mine.boxHit);
    VRObj bare;
    EXPECT_FALSE(node.IsCollidingBBox(&bare));

    // The segment's end (5, 0, 0) in the parent frame is (0, 0, 0) in the
    // child's at (5, 0, 0): the box there is hit even when the parent's is not.
    VRObj parent(&theirs), child(&mine);
    parent.AddChild(&child, 5, 0, 0);
    const float start[3] = {0, 0, 0}, end[3] = {5, 0, 0};
    EXPECT_TRUE(parent.IsCollidingBBoxOnly(start, end, 1));
    child.hidden = 1;
    EXPECT_FALSE(parent.IsCollidingBBoxOnly(start, end, 1));
}

TEST_F(SceneNodeDraw, AxesAreGreenLinesWithRedLetters) {
    // 8 pixels a unit; the node lifts the axes to the middle of row 120.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-20, 20, -15, 15, -20, 20);
    glMatrixMode(GL_MODELVIEW);
    ClearWindow(0, 0, 0);
    VRObj node;
    node.SetPosition(0, 0.0625f, 0);
    node.DrawAxis(1);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    const RgbPixel axis = ReadPixel(240, 120);  // x = 10 on the x axis
    EXPECT_TRUE(axis.g == 255 && axis.r < 40 && axis.b == 0) << axis;
    // Around the middle of the X, where its diagonals cross.
    int red = 0;
    for (const RgbPixel& p : ReadPixels(285, 117, 7, 7)) red += p.r == 255 && p.g < 40 && p.b == 0;
    EXPECT_GE(red, 4);
    EXPECT_EQ(RgbPixel{}, ReadPixel(240, 140));
}

// A callback that lets go of nodes that are drawing (the drawing node's
// child, from the child's own callback): the release waits for the
// outermost draw, which goes on over whole nodes; outside a draw it is
// immediate.
namespace {

std::vector<VRObj*> g_released;

void ForgetNode(void* node) { g_released.push_back(static_cast<VRObj*>(node)); }

void ReleaseOwnNode(int32_t, void* node) {
    VRObj::ReleaseAfterDraw(ForgetNode, node);
    EXPECT_TRUE(g_released.empty());
}

}  // namespace

TEST_F(SceneNodeDraw, ReleasesFromCallbacksWaitForTheOutermostDraw) {
    VRObj parent, child;
    TaggedLodMesh mesh(5);
    parent.AddChild(&child, 0, 0, 0);
    child.LinkToMesh(&mesh, 0);
    child.LinkToPreCallback(ReleaseOwnNode, 0, &child);
    parent.LinkToCallback(ReleaseOwnNode, 0, &parent);
    g_released.clear();
    EXPECT_EQ(-1, parent.Draw(0, 0, 0));
    EXPECT_EQ((std::vector<VRObj*>{&child, &parent}), g_released);
    VRObj::ReleaseAfterDraw(ForgetNode, &child);
    EXPECT_EQ(3u, g_released.size());
}
