// The scene's frame: begin (viewport, clearing, projection, view, lights,
// GL state), the stereo and tracked frusta, the background, and the frame
// end (fade, frame rate, overlay, pacing, motion blur).
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>

#include "platform/MillisecondClock.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRScene.h"
#include "scene/VRText.h"

namespace {

constexpr int kFpsFrames = 100;
constexpr float kDegreesToRadiansFrustum = 0.01745329251994f;
const char* const kNoAccumulation = "Motion blur needs an accumulation buffer; this window has none.";

// A GL capability switched for a while and put back as it was.
class CapabilityScope {
public:
    CapabilityScope(GLenum cap, bool on) : m_cap(cap), m_was(glIsEnabled(cap) != GL_FALSE) {
        if (on != m_was) on ? glEnable(cap) : glDisable(cap);
        m_now = on;
    }
    ~CapabilityScope() {
        if (m_now != m_was) m_was ? glEnable(m_cap) : glDisable(m_cap);
    }
    CapabilityScope(const CapabilityScope&) = delete;
    CapabilityScope& operator=(const CapabilityScope&) = delete;

private:
    GLenum m_cap;
    bool m_was;
    bool m_now;
};

}  // namespace

// ---------------------------------------------------------------------------
// Frame begin

void VRScene::SceneBegin(VRCamera* camera, int32_t flags) {
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    BeginFrame(camera, flags);
}

void VRScene::SceneBeginAbs(VRCamera* camera, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags) {
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    glViewport(x, y, width, height);
    glScissor(x, y, width, height);
    glEnable(GL_SCISSOR_TEST);
    BeginFrame(camera, flags);
}

void VRScene::SceneBeginRel(VRCamera* camera, float x, float y, float width, float height, int32_t flags) {
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    const float w = float(savedViewport[2]), h = float(savedViewport[3]);
    SceneBeginAbs(camera, int32_t(w * x), int32_t(h * y), int32_t(w * width), int32_t(h * height), flags);
}

void VRScene::BeginFrame(VRCamera* camera, int32_t flags) {
    if (reinitialise) InitGL();
    g_scene = this;
    currentCamera = camera ? camera : &cameras[currentCameraIndex];
    VRCamera& cam = *currentCamera;
    frameFlags = flags;
    SnapshotStereo();
    const VRStereoSettings& stereo = m_frameStereo;

    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    aspect = (viewport[3] > 0 ? float(viewport[2]) / float(viewport[3]) : 1.0f) * screenRatio;

    const bool keepColour = (flags & kFrameKeepColour) || ((flags & kFrameFade) && fadeValue < 0.0f);
    VRTexture* backdrop = background.Get();
    GLbitfield mask = 0;
    if (!keepColour && !backdrop) {
        glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & kFrameClearStencil) mask |= GL_STENCIL_BUFFER_BIT;
    if (!(flags & kFrameKeepDepth)) mask |= GL_DEPTH_BUFFER_BIT;
    glClear(mask);
    if (backdrop && !keepColour && !(flags & kFrameClearStencil)) DrawBackground();

    float eye[3] = {stereo.eyeSeparation * 0.5f, stereo.eyeOffsetY, stereo.eyeOffsetZ};
    if (stereo.trackingMode == 1) {
        VectorRotateAxisAngle(stereo.trackerOrientation[2], 0, 0, -1, eye);
        VectorRotateAxisAngle(stereo.trackerOrientation[1], 1, 0, 0, eye);
        VectorRotateAxisAngle(stereo.trackerOrientation[0], 0, -1, 0, eye);
    }
    if (flags & kFrameKeepProjection) {
        Disable(kSceneFrustumCulling);
    } else if (flags & kFrameStereoFirst) {
        SetStereoFrustum(cam, 0, eye);
    } else if (flags & kFrameStereoSecond) {
        eye[1] = -eye[1];
        eye[2] = -eye[2];
        SetStereoFrustum(cam, 1, eye);
    } else {
        SetPerspective(cam);
    }
    glGetFloatv(GL_PROJECTION_MATRIX, SceneProjectionMatrix);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (cam.mode == kCameraTarget) {
        gluLookAt(cam.position[0], cam.position[1], cam.position[2], cam.target[0], cam.target[1], cam.target[2],
                  cam.up[0], cam.up[1], cam.up[2]);
        float view[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, view);
        cam.SetRotationMatrix(view);
    } else {
        const float* t = stereo.trackerPosition;
        if (stereo.trackingMode >= 4) {
            glTranslatef(t[0], t[1], t[2]);
            glMultMatrixf(cam.matrix);
            glTranslatef(-t[0], -t[1], -t[2]);
        } else {
            glMultMatrixf(cam.matrix);
        }
        glTranslatef(-cam.position[0], -cam.position[1], -cam.position[2]);
    }

    if (VRTextureManager* manager = SharedTextureManager()) manager->BeginFrame();
    if (VRSceneHooks& hooks = SceneHooks(); hooks.loadPendingMesh) hooks.loadPendingMesh();
    for (int k = 0; k < kSceneLights; ++k)
        if (lightEnabled[k]) glLightfv(GL_LIGHT0 + k, GL_POSITION, lightPositions[k]);

    if (!(flags & kFrameKeepGLState)) {
        glDepthMask(GL_TRUE);
        glEnable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glAlphaFunc(GL_GREATER, 0.01f);
        glEnable(GL_ALPHA_TEST);
    }

    primitiveCount = 0;
    SceneFrameTextureLoad = 0.0f;
    if (VRSceneHooks& hooks = SceneHooks(); hooks.captureImpostor) hooks.captureImpostor();
}

void VRScene::SetPerspective(const VRCamera& camera) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(camera.fovy, aspect, camera.zNear, camera.zFar);
}

void VRScene::SetStereoFrustum(const VRCamera& camera, uint8_t eye, const float* e) {
    const VRStereoSettings& stereo = m_frameStereo;
    const float s = eye == 0 ? 1.0f : -1.0f;
    const double n = camera.zNear, f = camera.zFar;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (stereo.trackingMode != 0) {
        const float* t = stereo.trackerPosition;
        const double w = stereo.screenWidth, h = stereo.screenHeight;
        const double k = n / (t[2] - s * e[2]);
        const double ex = t[0] - s * e[0], ey = t[1] - s * e[1];
        glFrustum(k * (-w / 2 - ex), k * (w / 2 - ex), k * (-h / 2 - ey), k * (h / 2 - ey), n, f);
        if (stereo.trackingMode == 1) {
            glTranslatef(s * e[0], s * e[1], s * e[2]);
            glTranslatef(-t[0], -t[1], -t[2]);
        }
        return;
    }
    const double top = n * std::tan(camera.fovy * kDegreesToRadiansFrustum / 2);
    const double shift = s * stereo.eyeSeparation * 0.5 * n / stereo.focalLength;
    glFrustum(-aspect * top + shift, aspect * top + shift, -top, top, n, f);
}

void VRScene::DrawBackground() {
    VRTexture* texture = background.Get();
    if (!texture) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    if (depthWrites) glDepthMask(GL_FALSE);
    CapabilityScope texturing(GL_TEXTURE_2D, true);
    CapabilityScope lighting(GL_LIGHTING, false);
    SetActiveTexture(texture, backgroundMode | kBindAgain, 0);
    glColor3f(1, 1, 1);
    const float u = texture->width > 0 ? float(texture->imageWidth) / float(texture->width) : 1.0f;
    const float v = texture->height > 0 ? float(texture->imageHeight) / float(texture->height) : 1.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(u, 0);
    glVertex3f(1, 1, 0);
    glTexCoord2f(0, 0);
    glVertex3f(-1, 1, 0);
    glTexCoord2f(0, v);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(u, v);
    glVertex3f(1, -1, 0);
    glEnd();
    if (depthWrites) glDepthMask(GL_TRUE);
}

// ---------------------------------------------------------------------------
// Frame end

int32_t VRScene::SceneEnd() {
    currentCamera = &cameras[currentCameraIndex];
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }

    if ((frameFlags & kFrameFade) && fadeValue < 0.0f) {
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        float colour[4];
        glGetFloatv(GL_CURRENT_COLOR, colour);
        glColor4f(0, 0, 0, -fadeValue);
        glBegin(GL_QUADS);
        glVertex3f(-1, -1, 0);
        glVertex3f(1, -1, 0);
        glVertex3f(1, 1, 0);
        glVertex3f(-1, 1, 0);
        glEnd();
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glColor4fv(colour);
    }

    const uint32_t now = timeGetTime();
    if (!m_frameClockStarted) {
        m_frameClockStarted = true;
        m_frameStart = now;
    }
    if (m_frameCounter++ == kFpsFrames) {
        const uint32_t elapsed = now - m_frameStart;
        // No time passed: no rate to tell, the last one stays.
        if (elapsed > 0) fps = static_cast<int32_t>(std::ceil(100000.0 / elapsed));
        m_frameCounter = 0;
        m_frameStart = now;
    }

    if (frameFlags & kFrameFpsOverlay) DrawFpsOverlay();

    glDisable(GL_SCISSOR_TEST);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
    glScissor(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);

    if (minFrameTime > 0)
        while (timeGetTime() - m_lastFrameEnd <= uint32_t(minFrameTime)) {
        }
    m_lastFrameEnd = timeGetTime();

    if ((frameFlags & kFrameFade) && fadeValue >= 0.0f) MotionBlur();
    return 0;
}

void VRScene::DrawFpsOverlay() {
    glDisable(GL_DEPTH_TEST);
    const bool texturing = glIsEnabled(GL_TEXTURE_2D) != GL_FALSE;
    glDisable(GL_TEXTURE_2D);
    glScalef(0.06f, 0.095f, 0.07f);
    glTranslatef(-15, -10, 0);
    if (!m_overlayText) {
        VRSceneHooks& hooks = SceneHooks();
        m_overlayText.reset(hooks.createOverlayText ? hooks.createOverlayText() : NewOverlayText());
    }
    if (m_overlayText) {
        char line[32];
        std::snprintf(line, sizeof line, "Fps: %i", fps);
        m_overlayText->SetText(line);
        if (VRTextureManager* manager = SharedTextureManager()) {
            manager->ClearBoundTexture(0);
            manager->ClearBoundTexture(1);
        }
        m_overlayText->Draw(0);
        m_overlayText->SetPosition(0, 18, 0);
        m_overlayText->SetText(overlayLine);
        m_overlayText->Draw(0);
        m_overlayText->SetPosition(0, 0, 0);
    }
    glEnable(GL_DEPTH_TEST);
    if (texturing) glEnable(GL_TEXTURE_2D);
}

void VRScene::MotionBlur() {
    GLint accumBits = 0;
    glGetIntegerv(GL_ACCUM_RED_BITS, &accumBits);
    if (accumBits <= 0) {
        if (!m_blurWarned) ReportWarning(kNoAccumulation, nullptr);
        m_blurWarned = true;
        return;
    }
    glAccum(GL_MULT, fadeValue);
    glAccum(GL_ACCUM, 1.0f - fadeValue);
    glAccum(GL_RETURN, 1.0f);
}
