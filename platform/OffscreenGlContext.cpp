#include "OffscreenGlContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <cstdlib>
#include <cstring>

#include "platform/XErrors.h"

struct OffscreenGlContext::Glx {
    Display* display = nullptr;
    GLXPbuffer pbuffer = 0;
    GLXContext context = nullptr;
};

struct OffscreenGlContext::Egl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint color = 0;
    GLuint depth = 0;
};

OffscreenGlContext::OffscreenGlContext(int width, int height) {
    if (CreateGlx(width, height)) {
        m_description = "GLX pbuffer";
    } else if (CreateEgl(width, height)) {
        m_description = "EGL surfaceless";
    } else {
        m_description = "no OpenGL context";
    }
}

bool OffscreenGlContext::Valid() const { return m_glx || m_egl; }

namespace {

// The connection of offscreen contexts: not GLUT's, so these threads never
// share Xlib state with the window's. It stays open for the process, which
// also keeps the GL driver it loaded from being unloaded and loaded again.
Display* OffscreenDisplay() {
    static Display* display = [] {
        const char* name = std::getenv("DISPLAY");
        return (name && *name) ? XOpenDisplay(name) : nullptr;
    }();
    return display;
}

}  // namespace

bool OffscreenGlContext::CreateGlx(int width, int height) {
    InstallXErrorHandler();
    Display* display = OffscreenDisplay();
    if (!display) return false;
    const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_RED_SIZE, 8,
                              GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, GLX_DEPTH_SIZE, 16, None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (!configs || count == 0) {
        if (configs) XFree(configs);
        return false;
    }
    const int pbufferAttributes[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height, None};
    const GLXPbuffer pbuffer = glXCreatePbuffer(display, configs[0], pbufferAttributes);
    GLXContext context = pbuffer ? glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True) : nullptr;
    XFree(configs);
    if (!context || !glXMakeContextCurrent(display, pbuffer, pbuffer, context)) {
        if (context) glXDestroyContext(display, context);
        if (pbuffer) glXDestroyPbuffer(display, pbuffer);
        return false;
    }
    m_glx.reset(new Glx{display, pbuffer, context});
    return true;
}

bool OffscreenGlContext::CreateEgl(int width, int height) {
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!getPlatformDisplay || !clientExtensions || !std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless"))
        return false;
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) return false;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        return false;
    }
    const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count == 0) {
        eglTerminate(display);
        return false;
    }
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        eglTerminate(display);
        return false;
    }
    std::unique_ptr<Egl> egl(new Egl{display, context, 0, 0, 0});
    // Without a surface, drawing goes to a framebuffer object of the size a
    // pbuffer would have had.
    const auto genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
    const auto bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
    const auto genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
    const auto bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
    const auto storage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
    const auto attach =
        reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
    if (genFramebuffers && bindFramebuffer && genRenderbuffers && bindRenderbuffer && storage && attach) {
        genFramebuffers(1, &egl->framebuffer);
        bindFramebuffer(GL_FRAMEBUFFER, egl->framebuffer);
        genRenderbuffers(1, &egl->color);
        bindRenderbuffer(GL_RENDERBUFFER, egl->color);
        storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, egl->color);
        genRenderbuffers(1, &egl->depth);
        bindRenderbuffer(GL_RENDERBUFFER, egl->depth);
        storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
        attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, egl->depth);
        glViewport(0, 0, width, height);
    }
    m_egl = std::move(egl);
    return true;
}

OffscreenGlContext::~OffscreenGlContext() {
    if (m_glx) {
        glXMakeContextCurrent(m_glx->display, None, None, nullptr);
        glXDestroyContext(m_glx->display, m_glx->context);
        glXDestroyPbuffer(m_glx->display, m_glx->pbuffer);
        XSync(m_glx->display, False);
    }
    if (m_egl) {
        eglMakeCurrent(m_egl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_egl->display, m_egl->context);
        eglTerminate(m_egl->display);
    }
}
