// An OpenGL context of its own for a worker thread: a 300 x 300 pbuffer on a
// second connection to the display, sharing nothing with the window's
// context; EGL on Mesa's surfaceless platform when GLX offers no pbuffer.
#pragma once

#include <memory>
#include <string>

class OffscreenGlContext {
public:
    // Creates the context and makes it current on the calling thread; Valid()
    // tells whether that worked.
    OffscreenGlContext(int width = 300, int height = 300);
    ~OffscreenGlContext();
    OffscreenGlContext(const OffscreenGlContext&) = delete;
    OffscreenGlContext& operator=(const OffscreenGlContext&) = delete;

    bool Valid() const;
    // "GLX pbuffer", "EGL surfaceless" or the reason there is none.
    const std::string& Description() const { return m_description; }

private:
    struct Glx;
    struct Egl;
    bool CreateGlx(int width, int height);
    bool CreateEgl(int width, int height);

    std::unique_ptr<Glx> m_glx;
    std::unique_ptr<Egl> m_egl;
    std::string m_description;
};
