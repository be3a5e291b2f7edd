// A level-of-detail mesh for tests of scene nodes: its draw and inspection
// answer its tag, its box is the cube from -1 to 1, and segments miss it.
#pragma once

#include <cstdint>

#include "scene/VRObjLinks.h"

namespace qemtest {

class TaggedLodMesh : public VRObjLodMesh {
public:
    explicit TaggedLodMesh(int32_t tag) : tag(tag) {}
    int32_t Draw(int32_t, int32_t, int32_t) override { return tag; }
    void DrawBoundingBox(int32_t) override {}
    void GetBoundingBox(float* max, float* min) const override {
        max[0] = max[1] = max[2] = 1;
        min[0] = min[1] = min[2] = -1;
    }
    bool IsColliding(const float*, const float*, float*, float*, int32_t*, float*) override { return false; }
    int32_t Inspect(float, float, float) override { return tag; }
    void ForceMaterial(const VRMaterial*) override {}

    int32_t tag;
};

}  // namespace qemtest
