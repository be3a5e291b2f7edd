#include "GlContext.h"

#include <GL/freeglut.h>
#include <GL/glx.h>

#include <cstring>
#include <dlfcn.h>

bool WindowHasFocus(int window) {
    // freeglut tells no focus: the window is taken to have it while it
    // exists; the window layer keeps it up to date from then on.
    return window > 0;
}

void WindowClientSize(int window, int32_t& width, int32_t& height) {
    width = height = 0;
    if (window <= 0) return;
    const int previous = glutGetWindow();
    glutSetWindow(window);
    width = glutGet(GLUT_WINDOW_WIDTH);
    height = glutGet(GLUT_WINDOW_HEIGHT);
    if (previous > 0) glutSetWindow(previous);
}

namespace {

// An extension is present only when the display reports it: a lookup of its
// entry point always answers on GLX.
bool HasGlxExtension(Display* display, const char* name) {
    const char* list = glXQueryExtensionsString(display, DefaultScreen(display));
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[n] == '\0' || p[n] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

bool SetGlSwapInterval(int interval) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) return false;
    if (!HasGlxExtension(display, "GLX_EXT_swap_control")) {
        // The older extension sets the interval of the current drawable.
        if (interval < 0 || !HasGlxExtension(display, "GLX_MESA_swap_control")) return false;
        typedef int (*SwapIntervalMesa)(unsigned);
        const SwapIntervalMesa swapInterval = reinterpret_cast<SwapIntervalMesa>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        return swapInterval && swapInterval(static_cast<unsigned>(interval)) == 0;
    }
    typedef void (*SwapIntervalExt)(Display*, GLXDrawable, int);
    const SwapIntervalExt swapInterval =
        reinterpret_cast<SwapIntervalExt>(glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
    if (!swapInterval) return false;
    swapInterval(display, drawable, interval);
    return true;
}

void* GlEntryPoint(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

void* NetworkRendererEntry(const char* name) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!extensions || !std::strstr(extensions, "Qem_network_renderer")) return nullptr;
    return dlsym(RTLD_DEFAULT, name);
}
