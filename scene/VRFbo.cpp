#include "VRFbo.h"

#include <string>

#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRTextureManager.h"

const VRFboErrorText kFboErrorTexts[10] = {
    {kFboNotSupported, 0, "Framebuffer Object not supported by your video card"},
    {kFboCubeNotSquare, 0, "Cubemap fbos must have square dimensions"},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT,
     "All framebuffer attachment points must be \"framebuffer attachment complete\""},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT,
     "There must be at least one image attached to the framebuffer."},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT,
     "All attached images must have the same width and height."},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT,
     "All images attached to the attachment points COLOR_ATTACHMENT0_EXT through COLOR_ATTACHMENTn_EXT must have "
     "the same internal format."},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT,
     "The value of FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT must not be NONE for any color attachment point(s) named "
     "by DRAW_BUFFERi."},
    {kFboIncomplete, GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT,
     "If READ_BUFFER is not NONE, then the value of FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT must not be NONE for the "
     "color attachment point named by READ_BUFFER."},
    {kFboIncomplete, GL_FRAMEBUFFER_UNSUPPORTED_EXT,
     "The combination of internal formats of the attached images violates an implementation-dependent set of "
     "restrictions."},
    // Last among the incomplete ones: any other status.
    {kFboIncomplete, 0, "Framebuffer Unknown (not standard) error"},
};

namespace {

constexpr uint32_t kFramebufferObjects = 0x200;
const char* const kUnknownError = "Unknown error";
const char* const kRecordName = "Framebuffer Object ";

int32_t g_created = 0;

// The mode flags of the script modes 1 to 6, in that order.
struct ModeFlags {
    bool depthTexture, depthRenderbuffer, depthStencil, cubeMap, shadowCompare;
};
constexpr ModeFlags kModes[] = {
    {false, false, false, false, false},  // plain 2D
    {true, false, false, false, false},   // depth texture
    {true, false, false, false, true},    // shadow map
    {false, true, false, false, false},   // 2D with depth
    {false, false, false, true, false},   // cube map
    {false, false, true, false, false},   // 2D with depth and stencil
};

const GLEntryPointTable& GL() { return GLEntryPoints; }

void DeleteRenderbuffer(GLuint& name) {
    if (name) GL().glDeleteRenderbuffersEXT(1, &name);
    name = 0;
}

void DeleteFramebuffer(GLuint& name) {
    if (name) GL().glDeleteFramebuffersEXT(1, &name);
    name = 0;
}

}  // namespace

VRFbo::VRFbo() {
    IncrementLiveObjects();
    if (!IsSupported()) error = kFboNotSupported;
    ++g_created;
}

VRFbo::~VRFbo() {
    if (IsSupported()) {
        DeleteMultisampleObjects();
        DeleteRenderbuffer(depthRenderbuffer);
        DeleteRenderbuffer(depthStencilRenderbuffer);
        DeleteFramebuffer(framebuffer);
    }
    if (colourTexture) glDeleteTextures(1, &colourTexture);
    if (texture) {
        // The manager's table of bound records must not keep naming it: a
        // record made later at the same address would look bound already.
        if (VRTextureManager* manager = ExistingTextureManager())
            for (int32_t unit = 0; unit < kTextureUnits; ++unit)
                if (manager->BoundTexture(unit) == texture) manager->ClearBoundTexture(unit);
        texture->glName = 0;
        texture->removed = true;
        VRTextureRelease(texture);
    }
    DecrementLiveObjects();
}

bool VRFbo::IsSupported() {
    return (GLExtensionFlags & kFramebufferObjects) && GL().glGenFramebuffersEXT && GL().glDeleteFramebuffersEXT;
}

int32_t VRFbo::CreatedCount() { return g_created; }

bool VRFbo::SetMode(int32_t mode) {
    if (mode < kModePlain || mode > kModeDepthStencil) return false;
    const ModeFlags& m = kModes[mode - kModePlain];
    depthTexture = m.depthTexture;
    depthRenderbufferMode = m.depthRenderbuffer;
    depthStencilMode = m.depthStencil;
    cubeMap = m.cubeMap;
    shadowCompare = m.shadowCompare;
    return true;
}

bool VRFbo::Init() {
    if (requestedWidth < 1 || requestedHeight < 1) return false;
    const bool depth = depthTexture;
    if (internalFormat == -1) internalFormat = depth ? GL_DEPTH_COMPONENT : GL_RGBA;
    if (pixelType == -1) pixelType = depth ? GL_UNSIGNED_BYTE : GL_INT;
    if (pixelFormat == -1) pixelFormat = depth ? GL_DEPTH_COMPONENT : GL_RGB;
    if (depth) return InitAsDepthTexture();
    if (cubeMap) {
        if (requestedWidth != requestedHeight) {
            error = kFboCubeNotSquare;
            return false;
        }
        return InitAsCubeMap();
    }
    return InitAs2D();
}

bool VRFbo::BeginInit(GLenum target) {
    if (!IsSupported()) return false;
    width = requestedWidth;
    height = requestedHeight;
    textureTarget = target;
    return true;
}

GLuint VRFbo::NewRenderbuffer(GLenum format, int32_t w, int32_t h, int32_t samples) {
    GLuint name = 0;
    GL().glGenRenderbuffersEXT(1, &name);
    GL().glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, name);
    if (samples > 0)
        GL().glRenderbufferStorageMultisampleEXT(GL_RENDERBUFFER_EXT, samples, format, w, h);
    else
        GL().glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, format, w, h);
    GL().glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    return name;
}

bool VRFbo::InitAs2D() {
    if (!BeginInit(GL_TEXTURE_2D)) return false;
    if (depthStencilMode)
        depthStencilRenderbuffer = NewRenderbuffer(GL_DEPTH_STENCIL_EXT, width, height, 0);
    else if (depthRenderbufferMode)
        depthRenderbuffer = NewRenderbuffer(GL_DEPTH_COMPONENT24, width, height, 0);
    glGenTextures(1, &colourTexture);
    glBindTexture(GL_TEXTURE_2D, colourTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, pixelFormat, pixelType, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    GL().glGenFramebuffersEXT(1, &framebuffer);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    GL().glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colourTexture, 0);
    if (depthStencilRenderbuffer) {
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                          depthStencilRenderbuffer);
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                          depthStencilRenderbuffer);
    } else if (depthRenderbuffer) {
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                          depthRenderbuffer);
    }
    if (!CheckFramebuffer()) return false;
    MakeRecord();
    return true;
}

bool VRFbo::InitAsDepthTexture() {
    if (!BeginInit(GL_TEXTURE_2D)) return false;
    glGenTextures(1, &colourTexture);
    glBindTexture(GL_TEXTURE_2D, colourTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, pixelFormat, pixelType, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (shadowCompare) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
    }
    GL().glGenFramebuffersEXT(1, &framebuffer);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    GL().glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, colourTexture, 0);
    // No colour image: neither drawn nor read.
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    if (!CheckFramebuffer()) return false;
    MakeRecord();
    return true;
}

bool VRFbo::InitAsCubeMap() {
    if (!BeginInit(GL_TEXTURE_CUBE_MAP)) return false;
    GL().glGenFramebuffersEXT(1, &framebuffer);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    depthRenderbuffer = NewRenderbuffer(GL_DEPTH_COMPONENT24, width, height, 0);
    GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                      depthRenderbuffer);
    glGenTextures(1, &colourTexture);
    glBindTexture(GL_TEXTURE_CUBE_MAP, colourTexture);
    for (GLenum face = 0; face < 6; ++face) {
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, internalFormat, width, height, 0, pixelFormat,
                     pixelType, nullptr);
        GL().glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + face,
                                       GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, colourTexture, 0);
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (!CheckFramebuffer()) return false;
    MakeRecord();
    return true;
}

bool VRFbo::CheckFramebuffer() {
    status = GL().glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    if (status == GL_FRAMEBUFFER_COMPLETE_EXT) return true;
    error = kFboIncomplete;
    return false;
}

void VRFbo::MakeRecord() {
    if (texture) return;
    texture = new VRTexture();
    texture->SetName((kRecordName + std::to_string(g_created)).c_str());
    texture->glName = colourTexture;
    texture->width = width;
    texture->height = height;
    texture->kind = cubeMap ? kTextureCubeMap : kTextureBytes2D;
    texture->flags = kTexNoMipmaps;
}

void VRFbo::DeleteMultisampleObjects() {
    DeleteFramebuffer(msFramebuffer);
    DeleteRenderbuffer(msColourRenderbuffer);
    DeleteRenderbuffer(msDepthRenderbuffer);
    DeleteRenderbuffer(msDepthStencilRenderbuffer);
    for (GLuint& face : msFaceRenderbuffers) DeleteRenderbuffer(face);
}

bool VRFbo::InitMultisampling(int32_t samples) {
    if (depthTexture || !IsSupported() || !GL().glRenderbufferStorageMultisampleEXT || !GL().glBlitFramebufferEXT)
        return EnableMultisampling(true);
    // A second call replaces the buffers of the first.
    multisampling = false;
    DeleteMultisampleObjects();
    GL().glGenFramebuffersEXT(1, &msFramebuffer);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, msFramebuffer);
    if (cubeMap) {
        msDepthRenderbuffer = NewRenderbuffer(GL_DEPTH_COMPONENT24, width, height, samples);
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                          msDepthRenderbuffer);
        for (GLenum face = 0; face < 6; ++face) {
            msFaceRenderbuffers[face] = NewRenderbuffer(internalFormat, width, height, samples);
            GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + face, GL_RENDERBUFFER_EXT,
                                              msFaceRenderbuffers[face]);
        }
    } else {
        msColourRenderbuffer = NewRenderbuffer(internalFormat, width, height, samples);
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                          msColourRenderbuffer);
        if (depthStencilMode) {
            msDepthStencilRenderbuffer = NewRenderbuffer(GL_DEPTH_STENCIL_EXT, width, height, samples);
            GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                              msDepthStencilRenderbuffer);
            GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                              msDepthStencilRenderbuffer);
        } else if (depthRenderbufferMode) {
            msDepthRenderbuffer = NewRenderbuffer(GL_DEPTH_COMPONENT24, width, height, samples);
            GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                              msDepthRenderbuffer);
        }
    }
    if (!CheckFramebuffer()) return false;
    return EnableMultisampling(true);
}

bool VRFbo::EnableMultisampling(bool enable) {
    multisampling = enable && msFramebuffer != 0;
    return multisampling;
}

void VRFbo::EnableMipmaps(bool enable) {
    if (enable == mipmaps || !texture) return;
    texture->flags = enable ? 0 : kTexNoMipmaps;
    texture->mipCount = enable ? 1 : 0;
    mipmaps = enable;
}

void VRFbo::Start() {
    if (!IsSupported()) return;
    glBindTexture(textureTarget, 0);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, multisampling ? msFramebuffer : framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glPushAttrib(GL_VIEWPORT_BIT);
    glViewport(0, 0, width, height);
}

void VRFbo::Stop() {
    if (!IsSupported()) return;
    glPopAttrib();
    if (multisampling) {
        GL().glBindFramebufferEXT(GL_READ_FRAMEBUFFER_EXT, msFramebuffer);
        GL().glBindFramebufferEXT(GL_DRAW_FRAMEBUFFER_EXT, framebuffer);
        const GLenum attachments = cubeMap ? 6 : 1;
        for (GLenum i = 0; i < attachments; ++i) {
            if (cubeMap) {
                glReadBuffer(GL_COLOR_ATTACHMENT0_EXT + i);
                glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT + i);
            }
            GL().glBlitFramebufferEXT(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
    }
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (mipmaps) {
        glBindTexture(textureTarget, colourTexture);
        GL().glGenerateMipmapEXT(textureTarget);
        glBindTexture(textureTarget, 0);
    }
}

const char* VRFbo::GetErrorText() const {
    for (const VRFboErrorText& e : kFboErrorTexts)
        if (e.state == error && (e.status == 0 || e.status == status)) return e.text;
    return kUnknownError;
}
