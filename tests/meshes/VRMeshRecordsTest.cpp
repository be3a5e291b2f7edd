// The subset and box records, and the mesh record at reset: defaults,
// partial copies, the owned strings, the live-object count.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "meshes/VRBoundingBox.h"
#include "meshes/VRMeshSubset.h"
#include "meshes/VRNewMesh.h"
#include "scene/EngineServices.h"

namespace {

TEST(VRMeshSubsetTest, NewSubsetHasItsDefaults) {
    VRMeshSubset s;
    EXPECT_EQ(s.materialIndex, 0);
    EXPECT_EQ(s.shaderIndex, -1);
    EXPECT_EQ(s.triangleCount + s.quadCount + s.textureTriangleCount + s.textureQuadCount, 0);
    EXPECT_EQ(s.firstIndex + s.firstTextureIndex + s.wrapMode + s.spare, 0);
    EXPECT_EQ(s.visible, 1);
    for (float m : s.modulation) EXPECT_EQ(m, 1.0f);
    EXPECT_EQ(s.frontFace, kSubsetFrontCCW);
    EXPECT_EQ(s.doubleSided, 0);
    EXPECT_FALSE(s.box);
    EXPECT_FALSE(s.url || s.description || s.userProperties);
    EXPECT_EQ(s.displayList + s.secondDisplayList, 0u);
    EXPECT_EQ(s.forcedMaterial, nullptr);
    EXPECT_STREQ(s.Name(), "");
}

TEST(VRMeshSubsetTest, CopyFromTakesPartOfTheRecord) {
    VRMeshSubset from;
    from.materialIndex = 3;
    from.shaderIndex = 1;
    from.triangleCount = 7;
    from.firstIndex = 9;
    from.wrapMode = kWrapClampT;
    from.displayList = 11;
    from.visible = 0;
    from.modulation[2] = 0.5f;
    from.frontFace = kSubsetFrontCW;
    from.doubleSided = 1;
    from.box = std::make_unique<VRBoundingBox>();
    from.box->max[0] = 5;
    from.url = std::string(300, 'u');
    from.description = "Arm@Body";
    from.userProperties = std::string(400, 'p');

    VRMeshSubset boxless;
    boxless.CopyFrom(from);
    EXPECT_EQ(boxless.materialIndex, 3);
    EXPECT_EQ(boxless.shaderIndex, 1);
    EXPECT_EQ(boxless.triangleCount, 7);
    EXPECT_EQ(boxless.firstIndex, 9);
    EXPECT_EQ(boxless.wrapMode, kWrapClampT);
    EXPECT_EQ(boxless.displayList, 11u);
    EXPECT_EQ(boxless.visible, 0);
    EXPECT_EQ(boxless.modulation[2], 0.5f);
    EXPECT_FALSE(boxless.box);                      // made only by the mesh
    EXPECT_EQ(boxless.frontFace, kSubsetFrontCCW);  // winding and sides stay
    EXPECT_EQ(boxless.doubleSided, 0);
    EXPECT_EQ(boxless.url->size(), kSubsetStringSize);  // a 256-byte buffer
    EXPECT_STREQ(boxless.Name(), "Arm@Body");
    EXPECT_EQ(boxless.userProperties->size(), 400u);  // exactly its length

    VRMeshSubset boxed;
    boxed.box = std::make_unique<VRBoundingBox>();
    boxed.CopyFrom(from);
    EXPECT_EQ(boxed.box->max[0], 5.0f);
    from.description->assign("changed");
    EXPECT_STREQ(boxed.Name(), "Arm@Body");  // a copy, not a share
}

TEST(VRMeshSubsetTest, DescriptionsStopAt255BytesOrTheFirstZero) {
    VRMeshSubset s;
    const std::string full(255, 'n');
    s.SetDescription((full + "overflow").c_str(), 400);
    EXPECT_EQ(std::string(s.Name()), full);
    s.SetDescription("ab\0cd", 5);
    EXPECT_STREQ(s.Name(), "ab");
    s.Free();
    EXPECT_FALSE(s.description);
}

TEST(VRBoundingBoxTest, CentreAndHalfDiagonal) {
    VRBoundingBox b;
    const float lo[3] = {0, 0, 0}, hi[3] = {2, 2, 2};
    b.StartAt(lo);
    b.Grow(hi);
    float c[3];
    b.Centre(c);
    EXPECT_EQ(c[0] + c[1] + c[2], 3.0f);
    EXPECT_FLOAT_EQ(b.HalfDiagonal(), std::sqrt(3.0f));
    b.Init();
    EXPECT_EQ(b.max[0] + b.min[2] + b.radius, 0.0f);
}

TEST(VRNewMeshTest, NewMeshIsEmptyAtItsResetValues) {
    const int32_t before = LiveObjectCount;
    {
        VRNewMesh m;
        EXPECT_EQ(LiveObjectCount, before + 1);
        EXPECT_EQ(m.creaseAngle, kDefaultCreaseAngle);
        EXPECT_EQ(m.vertexCount + m.triangleCount + m.quadCount + m.texCoordCount + m.vertexNormalCount, 0);
        EXPECT_EQ(m.SubsetCount() + m.MaterialCount() + m.ShaderCount(), 0);
        EXPECT_EQ(m.Material(0), nullptr);
        EXPECT_EQ(m.smoothingGroupsFlag, 1);
        EXPECT_EQ(m.frameCount, 0);
        EXPECT_EQ(m.spare, 4);
        EXPECT_EQ(m.sizeCullingFactor, 1);
        EXPECT_EQ(m.opacity, 1.0f);
        for (float c : m.modulation) EXPECT_EQ(c, 1.0f);
        EXPECT_EQ(m.box.max[0] + m.box.min[0] + m.sphereRadius + m.referenceDistanceSquared, 0.0f);
        EXPECT_EQ(m.DeleteSubsetDLists(-1, 1), 0);
        EXPECT_EQ(m.DeleteSubsetDLists(0, 1), -1);
        EXPECT_EQ(m.DeleteSubsetDLists(-2, 1), -1);
    }
    EXPECT_EQ(LiveObjectCount, before);
}

TEST(VRNewMeshTest, MeshesShareOneMaterialArray) {
    auto shared = std::make_shared<VRMaterialArray>(2);
    {
        VRNewMesh a, b;
        a.materials = shared;
        b.materials = shared;
        a.Material(1)->shininess = 7;
        EXPECT_EQ(b.Material(1)->shininess, 7.0f);
        EXPECT_EQ(b.MaterialCount(), 2);
    }
    EXPECT_EQ(shared.use_count(), 1);  // the meshes gave it up, nobody freed it twice
}

}  // namespace
