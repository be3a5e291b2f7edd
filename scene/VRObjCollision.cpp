// The segment and box tests of scene-graph nodes. Segments arrive in the
// parent's frame and are taken into the node's frame by the inverse of its
// local transform; hits go back out with the transform itself.
#include <cfloat>
#include <cstring>

#include "scene/EngineMath.h"
#include "scene/VRObj.h"

namespace {

void TransformPoint(const float* m, const float* p, float* out) {
    const float in[4] = {p[0], p[1], p[2], 1.0f};
    float r[4];
    MatrixMultiplyVector4(m, in, r);
    std::memcpy(out, r, 3 * sizeof(float));
}

struct SegmentHit {
    float point[3] = {0, 0, 0};
    float normal[3] = {0, 0, 0};
    int32_t face = -1;
    int32_t id = -1;
};

}  // namespace

bool VRObj::IntersectSegment(const float* start, const float* end, float* hitPoint, float* hitNormal,
                             int32_t* faceIndex, int32_t* hitId, uint8_t skipHidden, float* nearest) {
    if (skipHidden && hidden) return false;
    float m[16], inverse[16];
    LocalMatrix(m);
    float scratch[16];
    std::memcpy(scratch, m, sizeof scratch);
    // A zero scale flattens the node: nothing can be hit in it.
    if (MatrixInverse4(scratch, inverse) != 0) return false;
    float localStart[3], localEnd[3];
    TransformPoint(inverse, start, localStart);
    TransformPoint(inverse, end, localEnd);

    bool childHit = false;
    float childDistance = 0.0f;
    SegmentHit best;
    for (int32_t k = 0; k < childCount; ++k) {
        SegmentHit hit;
        hit.face = faceIndex ? *faceIndex : -1;
        if (!children[k]->IntersectSegment(localStart, localEnd, hit.point, hit.normal, &hit.face, &hit.id,
                                           skipHidden, nearest))
            continue;
        const float d = VectorDistanceSquared(localStart, hit.point);
        if (!childHit || d < childDistance) {
            childHit = true;
            childDistance = d;
            best = hit;
        }
    }

    SegmentHit own;
    bool ownHit = false;
    if (newMesh) {
        ownHit = newMesh->IsColliding(localStart, localEnd, own.point, own.normal, &own.face, skipHidden, nearest);
    } else if (currentLod >= 0 && currentLod < kObjLodLevels && lodMeshes[currentLod]) {
        ownHit = lodMeshes[currentLod]->IsColliding(localStart, localEnd, own.point, own.normal, &own.face, nearest);
    } else if (billboard) {
        ownHit = billboard->IntersectSegment(localStart, localEnd, own.point, own.normal);
    }
    own.id = id;
    // A child's hit stands unless the node's own geometry lies nearer.
    if (ownHit && (!childHit || VectorDistanceSquared(localStart, own.point) < childDistance)) best = own;
    if (!childHit && !ownHit) return false;

    TransformPoint(m, best.point, hitPoint);
    const float n[3] = {m[0] * best.normal[0] + m[4] * best.normal[1] + m[8] * best.normal[2],
                        m[1] * best.normal[0] + m[5] * best.normal[1] + m[9] * best.normal[2],
                        m[2] * best.normal[0] + m[6] * best.normal[1] + m[10] * best.normal[2]};
    std::memcpy(hitNormal, n, sizeof n);
    VectorNormalize(hitNormal, 3);
    if (faceIndex) *faceIndex = best.face;
    if (hitId) *hitId = best.id;
    return true;
}

bool VRObj::IsColliding(const float* start, const float* end, float* hitPoint, float* hitNormal,
                        int32_t* faceIndex, int32_t* hitId, uint8_t skipHidden) {
    float nearest = FLT_MAX;
    int32_t face = -1, hit = -1;
    return IntersectSegment(start, end, hitPoint, hitNormal, faceIndex ? faceIndex : &face, hitId ? hitId : &hit,
                            skipHidden, &nearest);
}

bool VRObj::IsCollidingBBoxOnly(const float* start, const float* end, uint8_t skipHidden) {
    if (skipHidden && hidden) return false;
    float m[16], inverse[16];
    LocalMatrix(m);
    if (MatrixInverse4(m, inverse) != 0) return false;
    float localStart[3], localEnd[3];
    TransformPoint(inverse, start, localStart);
    TransformPoint(inverse, end, localEnd);
    bool hit = false;
    for (int32_t k = 0; k < childCount; ++k)
        if (children[k]->IsCollidingBBoxOnly(localStart, localEnd, skipHidden)) hit = true;
    if (newMesh && newMesh->IsCollidingBBoxOnly(localStart, localEnd)) hit = true;
    return hit;
}

bool VRObj::IntersectBox(const float* max, const float* min, const float* world) {
    if (!newMesh) return false;
    if (newMesh->BoxOverlaps(worldMatrix, max, min, world)) {
        newMesh->SetBoxHit();
        return true;
    }
    for (int32_t k = 0; k < childCount; ++k)
        if (children[k]->IntersectBox(max, min, world)) return true;
    return false;
}

bool VRObj::IsCollidingBBox(VRObj* other) {
    if (!other || !other->newMesh) return false;
    float max[3], min[3];
    other->newMesh->GetBoundingBox(max, min);
    if (IntersectBox(max, min, other->worldMatrix)) {
        other->newMesh->SetBoxHit();
        return true;
    }
    for (int32_t k = 0; k < other->childCount; ++k)
        if (IsCollidingBBox(other->children[k])) return true;
    return false;
}
