// Tightly packed client pixels for the texture uploads, scaling and
// read-backs inside it: byte alignment, no row length, no skipping. The GL's
// previous settings come back at the end of the scope.
#pragma once

#include <GL/gl.h>

#include <cstddef>

class PixelStoreScope {
public:
    PixelStoreScope() {
        for (size_t i = 0; i < kCount; ++i) {
            glGetIntegerv(kNames[i], &m_saved[i]);
            glPixelStorei(kNames[i], kTight[i]);
        }
    }
    ~PixelStoreScope() {
        for (size_t i = 0; i < kCount; ++i) glPixelStorei(kNames[i], m_saved[i]);
    }
    PixelStoreScope(const PixelStoreScope&) = delete;
    PixelStoreScope& operator=(const PixelStoreScope&) = delete;

private:
    static constexpr size_t kCount = 10;
    static constexpr GLenum kNames[kCount] = {
        GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS,
        GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES, GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH,
        GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS};
    static constexpr GLint kTight[kCount] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    GLint m_saved[kCount] = {};
};
