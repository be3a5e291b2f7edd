#include "functions/GLPixels.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>

namespace {

// Components of the formats scripts count; 0 for the others.
int32_t CountedComponents(int32_t format) {
    switch (format) {
    case GL_RGB:
    case GL_BGR_EXT: return 3;
    case GL_RGBA:
    case GL_BGRA_EXT: return 4;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_DEPTH_COMPONENT:
    case GL_RED:
    case GL_GREEN:
    case GL_BLUE:
    case GL_ALPHA:
    case GL_LUMINANCE: return 1;
    default: return 0;
    }
}

// Components the GL takes for the formats scripts do not count (at most
// four for one it does not know either).
int32_t OtherComponents(int32_t format) {
    switch (format) {
    case GL_COLOR_INDEX:
    case GL_STENCIL_INDEX:
    case GL_RED_INTEGER:
    case GL_GREEN_INTEGER:
    case GL_BLUE_INTEGER:
    case GL_ALPHA_INTEGER:
    case GL_LUMINANCE_INTEGER_EXT: return 1;
    case GL_RG:
    case GL_RG_INTEGER:
    case GL_LUMINANCE_ALPHA_INTEGER_EXT:
    case GL_DEPTH_STENCIL: return 2;
    case GL_RGB_INTEGER:
    case GL_BGR_INTEGER: return 3;
    default: return 4;
    }
}

// Bytes of a whole pixel for a packed type, 0 for the others.
int32_t PackedPixelBytes(int32_t type) {
    switch (type) {
    case GL_UNSIGNED_BYTE_3_3_2:
    case GL_UNSIGNED_BYTE_2_3_3_REV: return 1;
    case GL_UNSIGNED_SHORT_4_4_4_4:
    case GL_UNSIGNED_SHORT_5_5_5_1:
    case GL_UNSIGNED_SHORT_5_6_5:
    case GL_UNSIGNED_SHORT_5_6_5_REV:
    case GL_UNSIGNED_SHORT_4_4_4_4_REV:
    case GL_UNSIGNED_SHORT_1_5_5_5_REV:
    case GL_UNSIGNED_SHORT_8_8_MESA:
    case GL_UNSIGNED_SHORT_8_8_REV_MESA: return 2;
    case GL_UNSIGNED_INT_8_8_8_8:
    case GL_UNSIGNED_INT_10_10_10_2:
    case GL_UNSIGNED_INT_8_8_8_8_REV:
    case GL_UNSIGNED_INT_2_10_10_10_REV:
    case GL_UNSIGNED_INT_24_8:
    case GL_UNSIGNED_INT_10F_11F_11F_REV:
    case GL_UNSIGNED_INT_5_9_9_9_REV: return 4;
    case GL_FLOAT_32_UNSIGNED_INT_24_8_REV: return 8;
    default: return 0;
    }
}

// Bytes per component the GL takes for a plain type (8, the most, for one
// it does not know).
int32_t ComponentBytes(int32_t type) {
    switch (type) {
    case GL_BITMAP:  // bits, fewer than bytes
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_HALF_FLOAT: return 2;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT: return 4;
    default: return 8;
    }
}

const uint32_t kPackSettings[] = {GL_PACK_ALIGNMENT,   GL_PACK_ROW_LENGTH,   GL_PACK_SKIP_PIXELS,
                                  GL_PACK_SKIP_ROWS,   GL_PACK_IMAGE_HEIGHT, GL_PACK_SKIP_IMAGES};
const uint32_t kUnpackSettings[] = {GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH,   GL_UNPACK_SKIP_PIXELS,
                                    GL_UNPACK_SKIP_ROWS, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES};

}  // namespace

int32_t GLFormatComponents(int32_t format, GLFormatList list) {
    const int32_t counted = CountedComponents(format);
    switch (list) {
    case GLFormatList::ReadPixels: return counted;
    case GLFormatList::GetTexImage: return format == GL_DEPTH_COMPONENT ? 0 : counted;
    case GLFormatList::Any: return counted ? counted : 1;
    }
    return 0;
}

int32_t GLTypeFactor(int32_t type) {
    switch (type) {
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_UNSIGNED_BYTE_3_3_2:
    case GL_UNSIGNED_SHORT_4_4_4_4:
    case GL_UNSIGNED_SHORT_5_5_5_1:
    case GL_UNSIGNED_BYTE_2_3_3_REV:
    case GL_UNSIGNED_SHORT_5_6_5:
    case GL_UNSIGNED_SHORT_5_6_5_REV:
    case GL_UNSIGNED_SHORT_4_4_4_4_REV:
    case GL_UNSIGNED_SHORT_1_5_5_5_REV: return 2;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case GL_UNSIGNED_INT_8_8_8_8:
    case GL_UNSIGNED_INT_10_10_10_2:
    case GL_UNSIGNED_INT_8_8_8_8_REV:
    case GL_UNSIGNED_INT_2_10_10_10_REV: return 4;
    default: return 1;
    }
}

int64_t GLPixelBytes(int32_t format, int32_t type) {
    const int64_t counted = int64_t{GLFormatComponents(format, GLFormatList::Any)} * GLTypeFactor(type);
    const int32_t components = CountedComponents(format) ? CountedComponents(format) : OtherComponents(format);
    const int32_t packed = PackedPixelBytes(type);
    const int64_t taken = packed ? packed : int64_t{components} * ComponentBytes(type);
    return std::max(counted, taken);
}

int64_t GLImageBytes(int64_t width, int64_t height, int64_t depth, int64_t pixelBytes) {
    if (width < 1 || height < 1 || depth < 1) return -1;
    int64_t bytes = pixelBytes;
    for (const int64_t n : {width, height, depth}) {
        if (bytes > INT64_MAX / n) return INT64_MAX;
        bytes *= n;
    }
    return bytes;
}

GLPixelStoreScope::GLPixelStoreScope(Direction direction)
    : m_names(direction == Pack ? kPackSettings : kUnpackSettings) {
    for (int i = 0; i < kSettings; ++i) {
        glGetIntegerv(m_names[i], &m_saved[i]);
        glPixelStorei(m_names[i], i == 0 ? 1 : 0);
    }
}

GLPixelStoreScope::~GLPixelStoreScope() {
    for (int i = 0; i < kSettings; ++i) glPixelStorei(m_names[i], m_saved[i]);
}
