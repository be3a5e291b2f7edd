#include "scene/VRObj.h"

#include <GL/gl.h>

#include <cstring>
#include <utility>
#include <vector>

#include "scene/ShaderPass.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/ModelViewScope.h"
#include "scene/VRScene.h"

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Draws in progress on this thread (children and callbacks nest them), and
// the releases waiting for the outermost one to return.
struct DeferredRelease {
    void (*release)(void*);
    void* object;
};
thread_local int32_t t_drawDepth = 0;
thread_local std::vector<DeferredRelease> t_deferred;

class DrawDepthScope {
public:
    DrawDepthScope() { ++t_drawDepth; }
    ~DrawDepthScope() {
        if (--t_drawDepth > 0) return;
        // A release may let go of more: with no draw left those run at once.
        std::vector<DeferredRelease> due = std::move(t_deferred);
        t_deferred.clear();
        for (const DeferredRelease& d : due) d.release(d.object);
    }
    DrawDepthScope(const DrawDepthScope&) = delete;
    DrawDepthScope& operator=(const DrawDepthScope&) = delete;
};

}  // namespace

void VRObj::ReleaseAfterDraw(void (*release)(void*), void* object) {
    if (t_drawDepth > 0)
        t_deferred.push_back({release, object});
    else
        release(object);
}

VRObj::VRObj() {
    IncrementLiveObjects();
    Reset();
}

VRObj::VRObj(VRObjLodMesh* mesh) : VRObj() { lodMeshes[0] = mesh; }

VRObj::VRObj(VRObjNewMesh* mesh) : VRObj() { newMesh = mesh; }

VRObj::VRObj(VRObjTerrain* t) : VRObj() { terrain = t; }

VRObj::~VRObj() {
    delete[] children;
    // The list was made by a draw, so a context was current then; it is the
    // node's, and nothing else calls it.
    if (displayList) glDeleteLists(displayList, 1);
    DecrementLiveObjects();
}

int32_t VRObj::Reset() {
    // Thresholds past the first keep their values: LinkToMesh overwrites a
    // slot's threshold whenever it fills it.
    lodThresholds[0] = 0.0f;
    lodCount = 0;
    currentLod = 0;
    text = nullptr;
    page = nullptr;
    billboard = nullptr;
    reserved1 = 0;
    delete[] children;
    children = nullptr;
    childCount = 0;
    childCapacity = 0;
    std::memcpy(rotation, kIdentity, sizeof rotation);
    std::memcpy(worldMatrix, kIdentity, sizeof worldMatrix);
    parentMatrix = nullptr;
    pivot[0] = pivot[1] = pivot[2] = 0.0f;
    meshCompiled = 0;
    hidden = 0;
    position[0] = position[1] = position[2] = 0.0f;
    scale[0] = scale[1] = scale[2] = 1.0f;
    for (VRObjLodMesh*& m : lodMeshes) m = nullptr;
    newMesh = nullptr;
    terrain = nullptr;
    id = -1;
    // A list already made is kept and recompiled by the next draw that
    // records: its name stays the node's.
    listState = kListNone;
    pivotScale = 0;
    matrixCalculation = 1;
    postCallback = nullptr;
    postIndex = 0;
    postArgument = nullptr;
    preCallback = nullptr;
    preIndex = 0;
    preArgument = nullptr;
    return 0;
}

// --- Children ----------------------------------------------------------------

void VRObj::AllocateChildren(int32_t capacity) {
    VRObj** fresh = new VRObj*[size_t(capacity)]();
    for (int32_t k = 0; k < childCount; ++k) fresh[k] = children[k];
    delete[] children;
    children = fresh;
    childCapacity = capacity;
}

void VRObj::ReserveChildren(int32_t n) {
    if (n <= 0) return;
    const int32_t capacity = ((n - 1) / 8) * 8 + 8;
    if (childCapacity < capacity) AllocateChildren(capacity);
}

bool VRObj::Contains(const VRObj* node) const {
    if (node == this) return true;
    for (int32_t k = 0; k < childCount; ++k)
        if (children[k] && children[k]->Contains(node)) return true;
    return false;
}

int32_t VRObj::AddChild(VRObj* child, float x, float y, float z) {
    // A node below itself would make every walk over the tree endless.
    if (!child || child->Contains(this)) return -1;
    for (int32_t k = 0; k < childCount; ++k)
        if (children[k] == child) return -1;
    ReserveChildren(childCount + 1);
    children[childCount++] = child;
    child->SetPosition(x, y, z);
    return childCount;
}

int32_t VRObj::RemoveChild(VRObj* child) {
    for (int32_t k = 0; k < childCount; ++k) {
        if (children[k] != child) continue;
        for (int32_t j = k + 1; j < childCount; ++j) children[j - 1] = children[j];
        children[--childCount] = nullptr;
        return k;
    }
    return -1;
}

// --- Links -------------------------------------------------------------------

int32_t VRObj::LinkToMesh(VRObjLodMesh* mesh, float distance) {
    if (distance == 0.0f) {
        lodMeshes[0] = mesh;
        if (lodCount == 0) lodCount = 1;
        return lodCount;
    }
    if (lodCount >= kObjLodLevels) return -1;
    lodMeshes[lodCount] = mesh;
    lodThresholds[lodCount] = distance * distance;
    return ++lodCount;
}

void VRObj::LinkToCallback(VRObjCallback function, int32_t index, void* argument) {
    postCallback = function;
    postIndex = index;
    postArgument = argument;
}

void VRObj::LinkToPreCallback(VRObjCallback function, int32_t index, void* argument) {
    preCallback = function;
    preIndex = index;
    preArgument = argument;
}

// --- Transform ---------------------------------------------------------------

void VRObj::SetPosition(float x, float y, float z) {
    position[0] = x;
    position[1] = y;
    position[2] = z;
    Invalidate();
}

int32_t VRObj::GetPosition(float* out) const {
    std::memcpy(out, position, sizeof position);
    return 1;
}

int32_t VRObj::GetScale(float* out) const {
    std::memcpy(out, scale, sizeof scale);
    return 1;
}

void VRObj::Translate(float dx, float dy, float dz) {
    position[0] += dx;
    position[1] += dy;
    position[2] += dz;
    Invalidate();
}

void VRObj::Move(float dx, float dy, float dz) {
    const float* m = rotation;
    position[0] += m[0] * dx + m[4] * dy + m[8] * dz;
    position[1] += m[1] * dx + m[5] * dy + m[9] * dz;
    position[2] += m[2] * dx + m[6] * dy + m[10] * dz;
    Invalidate();
}

void VRObj::SetScale(float sx, float sy, float sz) {
    scale[0] = sx;
    scale[1] = sy;
    scale[2] = sz;
    Invalidate();
}

void VRObj::BuildRotation(const float* base, float angle, float ax, float ay, float az) {
    float p[3] = {pivot[0], pivot[1], pivot[2]};
    if (pivotScale)
        for (int k = 0; k < 3; ++k) p[k] *= scale[k];
    ModelViewScope stack;
    glLoadMatrixf(base);
    glTranslatef(p[0], p[1], p[2]);
    glRotatef(angle, ax, ay, az);
    glTranslatef(-p[0], -p[1], -p[2]);
    stack.ReadInto(rotation);
    Invalidate();
}

void VRObj::SetRotation(float angle, float ax, float ay, float az) { BuildRotation(kIdentity, angle, ax, ay, az); }

void VRObj::Rotate(float angle, float ax, float ay, float az) {
    float base[16];
    std::memcpy(base, rotation, sizeof base);
    BuildRotation(base, angle, ax, ay, az);
}

void VRObj::RotateABS(float angle, float ax, float ay, float az) {
    const float* m = rotation;
    Rotate(angle, m[0] * ax + m[1] * ay + m[2] * az + m[3], m[4] * ax + m[5] * ay + m[6] * az + m[7],
           m[8] * ax + m[9] * ay + m[10] * az + m[11]);
}

void VRObj::SetPivotPoint(float x, float y, float z) {
    pivot[0] = x;
    pivot[1] = y;
    pivot[2] = z;
}

float* VRObj::GetPivotPoint(float* out) const {
    std::memcpy(out, pivot, sizeof pivot);
    return out;
}

void VRObj::GetRotationMatrix(float* out) const { std::memcpy(out, rotation, sizeof rotation); }

void VRObj::SetRotationMatrix(const float* m) {
    std::memcpy(rotation, m, sizeof rotation);
    Invalidate();
}

void VRObj::GetModelMatrix(float* out) const { std::memcpy(out, worldMatrix, sizeof worldMatrix); }

void VRObj::LocalMatrix(float* out) const {
    float t[16];
    std::memcpy(t, kIdentity, sizeof t);
    t[12] = position[0];
    t[13] = position[1];
    t[14] = position[2];
    float s[16];
    std::memcpy(s, kIdentity, sizeof s);
    s[0] = scale[0];
    s[5] = scale[1];
    s[10] = scale[2];
    float tr[16];
    MatrixMultiply4(t, rotation, tr);
    MatrixMultiply4(tr, s, out);
}

void VRObj::LocalToWorld(const float* in, float* out) const {
    float m[16];
    LocalMatrix(m);
    MatrixMultiplyVector4(m, in, out);
}

// --- Materials ---------------------------------------------------------------

void VRObj::ModulateMaterials(float r, float g, float b, float a) {
    if (newMesh) newMesh->ModulateMaterials(r, g, b, a);
    for (int32_t k = 0; k < childCount; ++k) children[k]->ModulateMaterials(r, g, b, a);
}

void VRObj::ApplyTransparency(float t) {
    if (newMesh) newMesh->ApplyOpacity(1.0f - t);
    for (int32_t k = 0; k < childCount; ++k) children[k]->ApplyTransparency(t);
}

void VRObj::ForceMaterial(const VRMaterial* material, uint8_t recursive) {
    if (newMesh) {
        newMesh->ForceMaterial(material);
    } else if (currentLod >= 0 && currentLod < kObjLodLevels && lodMeshes[currentLod]) {
        lodMeshes[currentLod]->ForceMaterial(material);
    }
    if (recursive)
        for (int32_t k = 0; k < childCount; ++k) children[k]->ForceMaterial(material, recursive);
}

void VRObj::TexturePrefetch() {
    if (newMesh) newMesh->TexturePrefetch();
}

float VRObj::Normalize(float size) {
    if (!newMesh) return -2.0f;
    float max[3], min[3];
    newMesh->GetBoundingBox(max, min);
    float largest = 0.0f;
    if (scale[0] != 0.0f) {
        for (int k = 0; k < 3; ++k) {
            const float extent = (max[k] - min[k]) / scale[0];
            if (k == 0 || extent > largest) largest = extent;
        }
    }
    // A flat or empty box (or a zero scale) has no size to scale to.
    if (!(largest > 0.0f)) {
        ReportWarning("Cannot normalize object", nullptr);
        return -1.0f;
    }
    const float s = size / largest;
    SetScale(s, s, s);
    for (int k = 0; k < 3; ++k) pivot[k] = ((max[k] + min[k]) / 2.0f) / largest;
    return s;
}

int32_t VRObj::Inspect(float x, float y, float z) { return lodMeshes[0] ? lodMeshes[0]->Inspect(x, y, z) : -1; }

// --- Drawing -----------------------------------------------------------------

void VRObj::ApplyTransform() const {
    glTranslatef(position[0], position[1], position[2]);
    glMultMatrixf(rotation);
    glScalef(scale[0], scale[1], scale[2]);
}

void VRObj::SetTransform(int32_t flags, bool computeWorld) {
    if (listState == kListCompiled && displayList) {
        // The list holds the push and the transform.
        glCallList(displayList);
        return;
    }
    const bool record = !(flags & kDrawNoList) && id >= 0;
    if (record) {
        if (!displayList || listState == kListNone) {
            if (displayList) glDeleteLists(displayList, 1);
            displayList = glGenLists(1);
        }
        glNewList(displayList, GL_COMPILE_AND_EXECUTE);
        listState = kListCompiled;
    }
    glPushMatrix();
    if (flags & kDrawStoreLocal) {
        glLoadIdentity();
        ApplyTransform();
        glGetFloatv(GL_MODELVIEW_MATRIX, drawMatrix);
        glPopMatrix();
        glPushMatrix();
        glMultMatrixf(drawMatrix);
    } else if (computeWorld) {
        float local[16];
        glLoadIdentity();
        ApplyTransform();
        glGetFloatv(GL_MODELVIEW_MATRIX, local);
        if (parentMatrix) {
            glLoadMatrixf(parentMatrix);
            glMultMatrixf(local);
            glGetFloatv(GL_MODELVIEW_MATRIX, worldMatrix);
        } else {
            std::memcpy(worldMatrix, local, sizeof local);
        }
        glPopMatrix();
        glPushMatrix();
        glMultMatrixf(local);
    } else {
        ApplyTransform();
    }
    if (record) glEndList();
}

int32_t VRObj::Draw(int32_t flags, int32_t level, int32_t billboardFlags) {
    if (hidden) return 0;
    // The callbacks may release this node or others that draw: their owners
    // defer that until the outermost draw has returned (ReleaseAfterDraw),
    // so every node of this draw lives until then. Nothing of the node is
    // read after the scope ends.
    DrawDepthScope drawing;
    if (preCallback) preCallback(preIndex, preArgument);

    currentLod = 0;
    if (lodMeshes[0] && lodCount > 0) {
        float camera[3] = {0, 0, 0};
        if (g_scene && g_scene->currentCamera) g_scene->currentCamera->GetPosition(camera);
        const float d2 = VectorDistanceSquared(position, camera);
        for (int32_t k = 0; k < lodCount && k < kObjLodLevels; ++k)
            if (lodThresholds[k] < d2) currentLod = k;
    }
    if (flags & kDrawForceLevel) currentLod = level;

    const bool computeWorld = matrixCalculation || (newMesh && newMesh->WantsWorldMatrix()) ||
                              (flags & kDrawComputeWorld) ||
                              (id == -1 && (childCount > 0 || (flags & kDrawWorldIfNoId)));

    glMatrixMode(GL_MODELVIEW);
    SetTransform(flags, computeWorld);
    if (flags & kDrawStoreModelView) glGetFloatv(GL_MODELVIEW_MATRIX, drawMatrix);

    if (!(flags & (kDrawNoChildren | kDrawSkipChildren))) {
        for (int32_t k = 0; k < childCount; ++k) {
            children[k]->SetParentMatrix(worldMatrix);
            children[k]->Draw(flags, level, billboardFlags);
        }
    }

    int32_t result = -1;
    if (newMesh) {
        if (computeWorld) SetCurrentModelMatrix(worldMatrix);
        result = newMesh->Draw(flags, level, billboardFlags, this);
        if ((flags & kDrawCompileMesh) && !meshCompiled) {
            meshCompiled = 1;
            newMesh->CompileDisplayList(flags, level, billboardFlags);
        }
    }
    // A forced level outside the table draws no LOD mesh.
    if (currentLod >= 0 && currentLod < kObjLodLevels && lodMeshes[currentLod]) {
        if (flags & kDrawBoxOnly)
            DrawBoundingBox(flags, 0);
        else
            result = lodMeshes[currentLod]->Draw(flags, level, billboardFlags);
    }
    if (terrain) terrain->Draw(flags);
    if (flags & kDrawAxis) DrawAxis(0);
    if (text) text->Draw(flags);
    if (page) page->Draw(flags);
    if (billboard) billboard->Draw(level, billboardFlags);
    if (postCallback) postCallback(postIndex, postArgument);

    if (!(flags & kDrawKeepPushed)) glPopMatrix();
    return result;
}

int32_t VRObj::DrawBoundingBox(int32_t flags, uint8_t applyTransform) {
    if (applyTransform) {
        glPushMatrix();
        ApplyTransform();
    }
    int32_t result = 0;
    if (newMesh)
        result = newMesh->DrawBoundingBox(flags);
    else if (lodMeshes[0])
        lodMeshes[0]->DrawBoundingBox(flags);
    if (applyTransform) glPopMatrix();
    return result;
}

void VRObj::DrawAxis(uint8_t applyTransform) {
    if (applyTransform) {
        glPushMatrix();
        ApplyTransform();
    }
    glDisable(GL_LIGHTING);
    float ux = 1, uy = 1, uz = 1;
    float max[3], min[3];
    bool box = false;
    if (lodMeshes[0]) {
        lodMeshes[0]->GetBoundingBox(max, min);
        box = true;
    } else if (newMesh) {
        newMesh->GetBoundingBox(max, min);
        box = true;
    }
    if (box) {
        ux = (max[0] - min[0]) / 20.0f;
        uy = (max[1] - min[1]) / 20.0f;
        uz = (max[2] - min[2]) / 20.0f;
    }
    glColor3f(0.1f, 1.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(0, 0, 0);
    glVertex3f(15 * ux, 0, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 15 * uy, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, 15 * uz);
    glEnd();
    glColor3f(1.0f, 0.1f, 0.0f);
    glBegin(GL_LINES);
    // X: the diagonals of the rectangle (15 ux, -uy) to (17 ux, uy).
    glVertex3f(15 * ux, -uy, 0);
    glVertex3f(17 * ux, uy, 0);
    glVertex3f(15 * ux, uy, 0);
    glVertex3f(17 * ux, -uy, 0);
    // Y: two arms meeting at (ux, 15 uy) and the stem below.
    glVertex3f(0, 16 * uy, 0);
    glVertex3f(ux, 15 * uy, 0);
    glVertex3f(2 * ux, 16 * uy, 0);
    glVertex3f(ux, 15 * uy, 0);
    glVertex3f(ux, 15 * uy, 0);
    glVertex3f(ux, 14 * uy, 0);
    glEnd();
    glBegin(GL_LINE_STRIP);
    glVertex3f(0, uy, 15 * uz);
    glVertex3f(2 * ux, uy, 15 * uz);
    glVertex3f(0, -uy, 15 * uz);
    glVertex3f(2 * ux, -uy, 15 * uz);
    glEnd();
    glEnable(GL_LIGHTING);
    if (applyTransform) glPopMatrix();
}

// --- Node record -------------------------------------------------------------

bool VRObj::Dump(std::ostream& stream) const {
    return StreamWriteInts(stream, lodThresholds, kObjLodLevels) && StreamWriteInt(stream, &lodCount) &&
           StreamWriteInt(stream, &currentLod) && StreamWriteInt(stream, &reserved1) &&
           StreamWriteInts(stream, rotation, 16) && StreamWriteInts(stream, drawMatrix, 16) &&
           StreamWriteInts(stream, worldMatrix, 16) && StreamWriteInts(stream, pivot, 3) &&
           StreamWriteInts(stream, position, 3) && StreamWriteInts(stream, scale, 3) &&
           StreamWriteInt(stream, &reserved2) && StreamWriteInt(stream, &hidden);
}

bool VRObj::Restore(std::istream& stream) {
    Reset();
    VRObj read;
    const bool whole =
        StreamReadInts(stream, read.lodThresholds, kObjLodLevels) && StreamReadInt(stream, &read.lodCount) &&
        StreamReadInt(stream, &read.currentLod) && StreamReadInt(stream, &read.reserved1) &&
        StreamReadInts(stream, read.rotation, 16) && StreamReadInts(stream, read.drawMatrix, 16) &&
        StreamReadInts(stream, read.worldMatrix, 16) && StreamReadInts(stream, read.pivot, 3) &&
        StreamReadInts(stream, read.position, 3) && StreamReadInts(stream, read.scale, 3) &&
        StreamReadInt(stream, &read.reserved2) && StreamReadInt(stream, &read.hidden);
    if (!whole) return false;
    // The counts come from a file: a level count outside the table would
    // index past the ten slots when the node is drawn.
    if (read.lodCount < 0 || read.lodCount > kObjLodLevels) return false;
    std::memcpy(lodThresholds, read.lodThresholds, sizeof lodThresholds);
    lodCount = read.lodCount;
    currentLod = read.currentLod;
    reserved1 = read.reserved1;
    std::memcpy(rotation, read.rotation, sizeof rotation);
    std::memcpy(drawMatrix, read.drawMatrix, sizeof drawMatrix);
    std::memcpy(worldMatrix, read.worldMatrix, sizeof worldMatrix);
    std::memcpy(pivot, read.pivot, sizeof pivot);
    std::memcpy(position, read.position, sizeof position);
    std::memcpy(scale, read.scale, sizeof scale);
    reserved2 = read.reserved2;
    hidden = read.hidden;
    return true;
}
