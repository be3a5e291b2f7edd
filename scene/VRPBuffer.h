// An off-screen drawing surface whose pixels are copied into an existing
// texture of the same size. It lives in the window's own GL context as a
// framebuffer (RGBA8, or 16/32-bit float colour for more than 8 bits per
// channel, and a depth renderbuffer): "making it current" binds it with the
// window's GL state saved by attribute and matrix pushes, so nothing a
// script draws into it changes the window's viewport, matrices or
// settings; "making the window current" pops them and rebinds what was
// bound before. Textures are therefore shared with the window as they must
// be for the copy.
//
// Used on the thread that owns the window's GL context.
#pragma once

#include <GL/gl.h>

#include <cstdint>

struct VRTexture;

class VRPBuffer {
public:
    VRPBuffer();
    // Makes the window current and releases the GL objects.
    ~VRPBuffer();
    VRPBuffer(const VRPBuffer&) = delete;
    VRPBuffer& operator=(const VRPBuffer&) = delete;

    // Whether the surface's capability of that name is offered: the
    // p-buffer and pixel-format capabilities come with framebuffer objects,
    // float pixel formats with float textures.
    static bool HasWglExtension(const char* name);
    // Warns "PBuffer extensions not supported" without framebuffer objects.
    static bool LoadExtensions();

    bool Create(int32_t width, int32_t height, int32_t bits, int32_t depthBits);
    bool MakeCurrent();
    bool MakeWindowCurrent();
    bool CopyToTexture(VRTexture* texture);

    // True between MakeCurrent and MakeWindowCurrent.
    bool IsCurrent() const { return m_current; }

    int32_t width = 0, height = 0;

private:
    void Release();

    GLuint m_framebuffer = 0;
    GLuint m_colour = 0;
    GLuint m_depth = 0;
    // What was bound when the surface was made current.
    GLint m_windowFramebuffer = 0;
    bool m_current = false;
};
