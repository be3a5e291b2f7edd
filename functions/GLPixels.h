// The sizes of the pixel data that the image functions exchange with the GL,
// and the pixel-store state they run under.
//
// Scripts count a pixel as components x bytes per component: the components
// from the format, the bytes from the type (a packed type counted per
// component, which is more than the GL takes). Formats and types outside
// those lists may make the GL take more than scripts count (a half-float
// type, a two-component integer format); GLPixelBytes is never less than
// what the GL reads or writes for a pixel, so a buffer of that size is
// always enough.
#pragma once

#include <cstdint>

// The formats a function accepts.
enum class GLFormatList {
    ReadPixels,   // glReadPixels, glTexSubImage2D
    GetTexImage,  // the same without GL_DEPTH_COMPONENT
    Any,          // every format; those not named count one component
};

// Components per pixel of the format; 0 when the list refuses it.
int32_t GLFormatComponents(int32_t format, GLFormatList list);
// Bytes per component of the type as scripts count them.
int32_t GLTypeFactor(int32_t type);
// Bytes of one pixel: components x factor, or more where the GL takes more.
int64_t GLPixelBytes(int32_t format, int32_t type);

// width x height x depth x pixelBytes, or -1 when a dimension is below 1;
// INT64_MAX when the product does not fit.
int64_t GLImageBytes(int64_t width, int64_t height, int64_t depth, int64_t pixelBytes);

// Pixel rows packed (reads) or unpacked (uploads) with alignment 1, no row
// length, no skips and no image height for the scope, so that an image of
// width x height x depth pixels is exactly that many pixels of bytes; the
// settings before come back at its end.
class GLPixelStoreScope {
public:
    enum Direction { Pack, Unpack };
    explicit GLPixelStoreScope(Direction direction);
    ~GLPixelStoreScope();
    GLPixelStoreScope(const GLPixelStoreScope&) = delete;
    GLPixelStoreScope& operator=(const GLPixelStoreScope&) = delete;

private:
    static constexpr int kSettings = 6;
    const uint32_t* m_names;
    int32_t m_saved[kSettings] = {};
};
