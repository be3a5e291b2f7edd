#include "VRPBuffer.h"

#include <cstring>

#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/VRFbo.h"
#include "scene/VRTextureManager.h"

namespace {

const char* const kNoPBuffer = "PBuffer extensions not supported";
const char* const kNoFloatPBuffer = "Float bBuffer extensions not supported";

constexpr const char* kPBufferExtension = "WGL_ARB_pbuffer";
constexpr const char* kPixelFormatExtension = "WGL_ARB_pixel_format";
constexpr const char* kFloatFormatExtension = "WGL_ATI_pixel_format_float";

// The surface's capabilities and what offers them: framebuffer objects
// (null) or a GL extension.
struct Capability {
    const char* name;
    const char* glExtension;
};
constexpr Capability kCapabilities[] = {
    {kPBufferExtension, nullptr},
    {kPixelFormatExtension, nullptr},
    {kFloatFormatExtension, "GL_ARB_texture_float"},
};

const GLEntryPointTable& GL() { return GLEntryPoints; }

// The colour format for `bits` per channel: at least that many.
GLenum ColourFormat(int32_t bits) {
    if (bits > 16) return GL_RGBA32F_ARB;
    if (bits > 8) return GL_RGBA16F_ARB;
    return GL_RGBA8;
}

// The depth format for `bits` (0: none).
GLenum DepthFormat(int32_t bits) {
    if (bits > 24) return GL_DEPTH_COMPONENT32;
    if (bits > 16) return GL_DEPTH_COMPONENT24;
    return GL_DEPTH_COMPONENT16;
}

GLuint NewRenderbuffer(GLenum format, int32_t w, int32_t h) {
    GLuint name = 0;
    GL().glGenRenderbuffersEXT(1, &name);
    GL().glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, name);
    GL().glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, format, w, h);
    GL().glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    return name;
}

}  // namespace

VRPBuffer::VRPBuffer() {
    IncrementLiveObjects();
    LoadExtensions();
}

VRPBuffer::~VRPBuffer() {
    MakeWindowCurrent();
    Release();
    DecrementLiveObjects();
}

bool VRPBuffer::HasWglExtension(const char* name) {
    if (!name) return false;
    for (const Capability& c : kCapabilities) {
        if (std::strcmp(c.name, name) != 0) continue;
        if (!c.glExtension) return VRFbo::IsSupported();
        const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        return extensions && std::strstr(extensions, c.glExtension);
    }
    return false;
}

bool VRPBuffer::LoadExtensions() {
    if (!HasWglExtension(kPBufferExtension)) {
        ReportWarning(kNoPBuffer, nullptr);
        return false;
    }
    return HasWglExtension(kPixelFormatExtension);
}

bool VRPBuffer::Create(int32_t w, int32_t h, int32_t bits, int32_t depthBits) {
    if (!HasWglExtension(kPixelFormatExtension) || !HasWglExtension(kPBufferExtension)) {
        ReportWarning(bits >= 16 ? kNoFloatPBuffer : kNoPBuffer, nullptr);
        return false;
    }
    // No GL context current (the GL answers nothing then), or no surface of
    // that size or format: the object is left empty.
    if (!glGetString(GL_VERSION)) return false;
    MakeWindowCurrent();
    Release();
    if (w < 1 || h < 1 || bits < 0 || depthBits < 0) return false;
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previous);
    m_colour = NewRenderbuffer(ColourFormat(bits), w, h);
    if (depthBits > 0) m_depth = NewRenderbuffer(DepthFormat(depthBits), w, h);
    GL().glGenFramebuffersEXT(1, &m_framebuffer);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_framebuffer);
    GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, m_colour);
    if (m_depth)
        GL().glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, m_depth);
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    const GLenum status = GL().glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previous));
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        Release();
        return false;
    }
    width = w;
    height = h;
    return MakeCurrent() && MakeWindowCurrent();
}

bool VRPBuffer::MakeCurrent() {
    if (!m_framebuffer) return false;
    if (m_current) return true;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &m_windowFramebuffer);
    // A context of its own would start from the defaults: the window's
    // settings, viewport, scissor box and matrices are kept aside meanwhile.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_SCISSOR_TEST);
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_framebuffer);
    glViewport(0, 0, width, height);
    m_current = true;
    return true;
}

bool VRPBuffer::MakeWindowCurrent() {
    if (!m_framebuffer) return false;
    if (!m_current) return true;
    GL().glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(m_windowFramebuffer));
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();  // brings the window's matrix mode back too
    m_current = false;
    return true;
}

bool VRPBuffer::CopyToTexture(VRTexture* texture) {
    if (!texture) return false;
    const bool wasCurrent = m_current;
    if (!MakeCurrent()) return false;
    if (texture->glName == 0 || texture->width != width || texture->height != height) {
        // A failed copy never leaves the surface current behind the script's back.
        MakeWindowCurrent();
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, texture->glName);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    if (wasCurrent) return true;
    return MakeWindowCurrent();
}

void VRPBuffer::Release() {
    if (VRFbo::IsSupported()) {
        if (m_framebuffer) GL().glDeleteFramebuffersEXT(1, &m_framebuffer);
        if (m_colour) GL().glDeleteRenderbuffersEXT(1, &m_colour);
        if (m_depth) GL().glDeleteRenderbuffersEXT(1, &m_depth);
    }
    m_framebuffer = m_colour = m_depth = 0;
    width = height = 0;
}
