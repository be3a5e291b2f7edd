// A GL test with a scene: the window's context, the GL state saved around
// the test, and a fresh scene (which becomes g_scene) with the model-view
// matrix at identity.
#pragma once

#include <GL/gl.h>

#include <memory>

#include "scene/VRScene.h"
#include "support/GlWindowFixture.h"

namespace qemtest {

class GlSceneFixture : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void TearDown() override {
        scene.reset();
        if (!IsSkipped()) glPopAttrib();
        GlWindowFixture::TearDown();
    }
    std::unique_ptr<VRScene> scene;
};

}  // namespace qemtest
