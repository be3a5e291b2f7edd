#include "SharedTextureManager.h"

#include <GL/gl.h>

#include <memory>

#include "scene/VRTextureManager.h"

namespace {

std::unique_ptr<VRTextureManager> g_shared;

}  // namespace

VRTextureManager* SharedTextureManager() {
    // Without a current context the GL answers no version.
    if (!g_shared && glGetString(GL_VERSION)) g_shared = std::make_unique<VRTextureManager>();
    return g_shared.get();
}

VRTextureManager* ExistingTextureManager() { return g_shared.get(); }

void EndSharedTextureManager() { g_shared.reset(); }
