#include "meshes/VRBillboard.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRScene.h"

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const float kFrontNormal[3] = {0, 0, 1};

// The rotation of the camera the billboard faces: the scene's current
// camera, or the world axes without one.
const float* CameraMatrix() {
    return g_scene && g_scene->currentCamera ? g_scene->currentCamera->matrix : kIdentity;
}

// The video texture of a record, or null.
VRTexture* Video(const VRTextureRef& ref) {
    VRTexture* t = ref.Get();
    return t && t->IsVideo() ? t : nullptr;
}

// Squared distance in window coordinates between two projected points.
double ProjectedDiagonal2(const float* a, const float* b) {
    GLdouble projection[16], modelview[16];
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble ax = 0, ay = 0, az = 0, bx = 0, by = 0, bz = 0;
    gluProject(a[0], a[1], a[2], modelview, projection, viewport, &ax, &ay, &az);
    gluProject(b[0], b[1], b[2], modelview, projection, viewport, &bx, &by, &bz);
    return (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
}

}  // namespace

VRBillboard::VRBillboard(const char* textureName, float w, float h, float x, float y, float z, int32_t options)
    : width(w), height(h), position{x, y, z}, material(&m_defaultMaterial) {
    IncrementLiveObjects();
    BuildCorners(kIdentity, 0);
    VRTextureManager* manager = textureName ? SharedTextureManager() : nullptr;
    VRTexture* record = manager ? manager->GetTexture(textureName, 0) : nullptr;
    texture = VRTextureRef(record);
    if ((options & kBillboardHalfSizeCopies) && record && record->width > kCopyThreshold &&
        record->height > kCopyThreshold) {
        VRTexture* source = record;
        for (VRTextureRef& copy : halfSizeCopies) {
            source = manager->CreateHalfSizeCopy(source, 0);
            if (!source) break;
            copy = VRTextureRef(source);
        }
    }
}

VRBillboard::~VRBillboard() {
    // The copies were made for this billboard alone: nobody else asks the
    // manager for them.
    for (VRTextureRef& copy : halfSizeCopies)
        if (VRTexture* t = copy.Get())
            if (t->owner) t->owner->RemoveTexture(t, true);
    m_defaultMaterial.Free();
    DecrementLiveObjects();
}

void VRBillboard::SetPosition(float x, float y, float z) {
    position[0] = x;
    position[1] = y;
    position[2] = z;
}

int32_t VRBillboard::GetPosition(float* out) const {
    std::copy_n(position, 3, out);
    return 1;
}

void VRBillboard::SetAviFrame(int32_t frame) {
    if (VRTexture* t = Video(texture)) t->currentFrame = static_cast<float>(frame);
}

int32_t VRBillboard::GetAviFrame() const {
    const VRTexture* t = Video(texture);
    return t ? static_cast<int32_t>(t->currentFrame) : 0;
}

int32_t VRBillboard::GetAviTotalFrame() const {
    const VRTexture* t = Video(texture);
    return t ? t->frameCount : 0;
}

void VRBillboard::SetAviFlags(int32_t bits) {
    if (VRTexture* t = Video(texture)) t->videoFlags |= bits;
}

void VRBillboard::ResetAviFlags() {
    if (VRTexture* t = Video(texture)) t->videoFlags = 0;
}

void VRBillboard::BuildCorners(const float* m, int32_t billboardFlags) {
    width *= widthFactor;
    height *= heightFactor;
    float right[3] = {width * m[0], width * m[4], width * m[8]};
    float up[3] = {height * m[1], height * m[5], height * m[9]};
    if (billboardFlags & kBillboardFixedRight) {
        right[0] = width;
        right[1] = right[2] = 0.0f;
    }
    if (billboardFlags & kBillboardUpright) {
        up[1] = height;
        up[0] = up[2] = 0.0f;
    }
    for (int k = 0; k < 3; ++k) {
        corners[0][k] = position[k] - right[k] - up[k];
        corners[1][k] = position[k] + right[k] - up[k];
        corners[2][k] = position[k] + right[k] + up[k];
        corners[3][k] = position[k] - right[k] + up[k];
    }
}

VRTexture* VRBillboard::ChooseTexture(double d2) const {
    VRTexture* const levels[] = {texture.Get(), halfSizeCopies[0].Get(), halfSizeCopies[1].Get()};
    for (VRTexture* t : levels) {
        if (!t) continue;
        const double side = std::min(t->imageWidth, t->imageHeight);
        if (d2 >= side * side) return t;
    }
    // A copy that could not be made (or was freed) leaves the largest record
    // there is.
    if (VRTexture* last = halfSizeCopies[2].Get()) return last;
    for (int k = kHalfSizeCopies - 2; k >= 0; --k)
        if (VRTexture* t = halfSizeCopies[k].Get()) return t;
    return texture.Get();
}

int32_t VRBillboard::Draw(int32_t drawFlags, int32_t billboardFlags) {
    BuildCorners(CameraMatrix(), billboardFlags);
    const GLboolean lightingWas = glIsEnabled(GL_LIGHTING);
    const GLboolean texturingWas = glIsEnabled(GL_TEXTURE_2D);
    const bool keepLighting = billboardFlags & kBillboardKeepLighting;
    const int32_t bindFlags = drawFlags | kBindAgain;

    VRTextureManager* manager = ExistingTextureManager();
    VRTexture* record = texture.Get();
    if (record && manager) {
        if (!halfSizeCopies[0].Held()) {
            manager->BindTexture(record, bindFlags, 0);
        } else {
            double d2 = ProjectedDiagonal2(corners[0], corners[2]);
            const double most = static_cast<double>(MaxTextureSize) * MaxTextureSize;
            if (d2 > most) d2 = most + 1.0;
            manager->BindTexture(ChooseTexture(d2), bindFlags, 0);
        }
    }
    if (drawFlags & kBillboardDrawClamp) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
    if (!keepLighting) glDisable(GL_LIGHTING);
    if (textureRotation != 0.0f) {
        glMatrixMode(GL_TEXTURE);
        glPushMatrix();
        glTranslatef(0.5f, 0.5f, 0.0f);
        glRotatef(-textureRotation, 0.0f, 0.0f, 1.0f);
        glTranslatef(-0.5f, -0.5f, 0.0f);
    }

    // 1 when texturing was switched on here, -1 switched off, 0 left to the
    // material's layer.
    int texturing = 0;
    if (record) {
        glEnable(GL_TEXTURE_2D);
        texturing = 1;
    } else {
        VRTexture* layer = material->LayerTexture(0);
        if (layer && manager) {
            manager->BindTexture(layer, bindFlags, 0);
        } else {
            glDisable(GL_TEXTURE_2D);
            texturing = -1;
        }
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material->ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material->diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material->specular);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, material->emission);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
    }

    const int mirrorU = (billboardFlags & kBillboardMirrorU) ? 1 : 0;
    const int mirrorV = (billboardFlags & kBillboardMirrorV) ? 1 : 0;
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (int c = 0; c < 4; ++c) {
        const int u = static_cast<int>(texCoords[2 * c]);
        const int v = static_cast<int>(texCoords[2 * c + 1]);
        glTexCoord2i(u ^ mirrorU, v ^ mirrorV);
        glVertex3fv(corners[c]);
    }
    glEnd();
    if (billboardFlags & kBillboardBackFace) {
        // Seen from behind: the corners of each side swapped.
        static const int kBackCorner[4] = {1, 0, 3, 2};
        glBegin(GL_QUADS);
        glNormal3f(0.0f, 0.0f, -1.0f);
        for (int c = 0; c < 4; ++c) {
            glTexCoord2fv(&texCoords[2 * c]);
            glVertex3fv(corners[kBackCorner[c]]);
        }
        glEnd();
    }

    if (textureRotation != 0.0f) {
        glMatrixMode(GL_TEXTURE);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    if (texturing > 0 && !texturingWas) glDisable(GL_TEXTURE_2D);
    if (texturing < 0 && texturingWas) glEnable(GL_TEXTURE_2D);
    if (keepLighting) return -1;
    if (lightingWas) glEnable(GL_LIGHTING);
    return 0;
}

bool VRBillboard::IntersectSegment(const float* start, const float* end, float* hitPoint, float* hitNormal) {
    float hit[3];
    if (SegmentTriangleIntersect(start, end, corners[0], corners[1], corners[2], hit, kFrontNormal) != 1 &&
        SegmentTriangleIntersect(start, end, corners[0], corners[2], corners[3], hit, kFrontNormal) != 1)
        return false;
    std::copy_n(hit, 3, hitPoint);
    std::copy_n(kFrontNormal, 3, hitNormal);
    return true;
}
