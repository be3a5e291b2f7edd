// Binding and uploading texture records: the GL texture is made at the first
// bind, filled from the client pixels, which are then freed.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "scene/EngineServices.h"
#include "scene/PixelStoreScope.h"
#include "scene/SceneGlobals.h"
#include "scene/VRTextureManager.h"

namespace {

GLenum TargetOf(int32_t kind) {
    switch (kind) {
    case kTextureCubeMap:
    case kTextureFloatCubeMap: return GL_TEXTURE_CUBE_MAP;
    case kTexture3D: return GL_TEXTURE_3D;
    case kTextureFloatRect: return GL_TEXTURE_RECTANGLE_ARB;
    default: return GL_TEXTURE_2D;
    }
}

size_t BlockBytes(uint32_t format) {
    return format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT || format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ? 8 : 16;
}

size_t CompressedBytes(int32_t w, int32_t h, int32_t d, size_t block) {
    return static_cast<size_t>((w + 3) / 4) * static_cast<size_t>((h + 3) / 4) * static_cast<size_t>(d) * block;
}

// Cube maps and 3D textures take their uncompressed data in blue-green-red order.
GLenum BgrOrder(GLenum format) {
    if (format == GL_RGB) return GL_BGR;
    if (format == GL_RGBA) return GL_BGRA;
    return format;
}

// The sides of the levels of a chain: each halves the one before; a side
// that reaches 0 counts as 1, and the chain ends when both have.
struct LevelChain {
    int32_t w, h;
    bool Done() const { return w == 0 && h == 0; }
    int32_t Width() const { return std::max(w, 1); }
    int32_t Height() const { return std::max(h, 1); }
    void Next() {
        w >>= 1;
        h >>= 1;
    }
};

// Hands out the client pixels in order and never past what the record
// holds; once a read fails every later one fails too.
class PixelReader {
public:
    PixelReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}
    const uint8_t* Take(size_t n) {
        if (m_failed || n > m_size - m_at) {
            m_failed = true;
            return nullptr;
        }
        const uint8_t* p = m_data + m_at;
        m_at += n;
        return p;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
    bool m_failed = false;
};

void SetFilterPair(GLenum target, GLint min, GLint mag) {
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, min);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, mag);
}

}  // namespace

void VRTextureManager::SetFilters(const VRTexture* t, int32_t flags) {
    const GLint mag = (flags & kBindLinear) ? GL_LINEAR : GL_NEAREST;
    SetFilterPair(GL_TEXTURE_2D, (t->flags & kTexNoMipmaps) ? mag : GL_LINEAR_MIPMAP_LINEAR, mag);
}

void VRTextureManager::BindTexture(VRTexture* t, int32_t flags, int32_t unit) {
    if (!t || unit < 0 || unit >= kTextureUnits) return;
    VRTexture* const previous = m_bound[unit];
    // Video textures flip the texture matrix: keep the one in force before
    // them and put it back after them.
    if (previous != t) {
        const bool wasVideo = previous && previous->IsVideo();
        if (wasVideo && !t->IsVideo()) {
            glMatrixMode(GL_TEXTURE);
            glLoadMatrixf(m_savedTextureMatrix);
            glMatrixMode(GL_MODELVIEW);
        } else if (!wasVideo && t->IsVideo()) {
            glMatrixMode(GL_TEXTURE);
            glGetFloatv(GL_TEXTURE_MATRIX, m_savedTextureMatrix);
            glMatrixMode(GL_MODELVIEW);
        }
    }
    const int32_t unitName = static_cast<int32_t>(GL_TEXTURE0) + unit;
    if (previous != t || (flags & kBindAgain) || m_lastUnit != unitName) {
        m_bound[unit] = t;
        const GLenum target = TargetOf(t->kind);
        glActiveTexture(static_cast<GLenum>(unitName));
        m_lastUnit = unitName;
        if (t->glName) {
            glBindTexture(target, t->glName);
            glEnable(target);
            if (!t->usedThisFrame) {
                t->usedThisFrame = 1;
                m_frameBytes += int64_t{t->channels} * t->width * t->height;
                SceneFrameTextureLoad += static_cast<float>(t->width) * static_cast<float>(t->height) * 0.000002f;
            }
        } else {
            glGenTextures(1, &t->glName);
            glBindTexture(target, t->glName);
            if (target == GL_TEXTURE_2D) glEnable(GL_TEXTURE_2D);
            if (GLExtensionFlags & 0x2) glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, MaxTextureAnisotropy);
            Upload(t, unit);
        }
        SetFilters(t, flags);
    }
    if (flags != m_lastFlags) {
        m_lastFlags = flags;
        SetFilters(t, flags);
    }
    ApplyKindSettings(t, flags);
}

void VRTextureManager::ApplyKindSettings(VRTexture* t, int32_t flags) {
    switch (t->kind) {
    case kTextureCubeMap:
    case kTextureFloatCubeMap:
        for (GLenum coord : {GL_S, GL_T, GL_R}) glTexGeni(coord, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        glEnable(GL_TEXTURE_GEN_R);
        if (flags & kBindLinear) {
            SetFilterPair(GL_TEXTURE_CUBE_MAP, (t->flags & kTexNoMipmaps) ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR,
                          GL_LINEAR);
        } else {
            SetFilterPair(GL_TEXTURE_CUBE_MAP, GL_NEAREST, GL_NEAREST);
        }
        break;
    case kTexture3D:
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        glEnable(GL_TEXTURE_GEN_R);
        SetFilterPair(GL_TEXTURE_3D, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_REPEAT);
        break;
    case kTextureDepth: SetFilterPair(GL_TEXTURE_2D, GL_LINEAR, GL_LINEAR); break;
    default: break;
    }
    if (t->IsVideo()) UpdateAviFrame(t);
}

void VRTextureManager::Upload(VRTexture* t, int32_t unit) {
    PixelStoreScope tight;
    if (t->IsCompressed() || t->kind == kTextureCubeMap || t->kind == kTextureFloatCubeMap || t->kind == kTexture3D) {
        UploadLevels(t, unit);
    } else if (t->kind == kTextureDepth) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, t->width, t->height, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_BYTE, nullptr);
    } else if (t->kind == kTextureFloat2D || t->kind == kTextureFloatRect) {
        glTexImage2D(TargetOf(t->kind), 0, static_cast<GLint>(t->internalFormat), t->width, t->height, 0, t->format,
                     GL_FLOAT, t->floatPixels);
    } else {
        PixelReader reader(t->pixels, t->pixelBytes);
        const uint8_t* data = reader.Take(static_cast<size_t>(t->channels) * static_cast<size_t>(t->width) *
                                          static_cast<size_t>(t->height));
        if (m_glVersion >= 1.4f) {
            if (!(t->flags & kTexNoMipmaps)) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(t->internalFormat), t->width, t->height, 0, t->format,
                         GL_UNSIGNED_BYTE, data);
        } else if ((t->flags & kTexNoMipmaps) || !data) {
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(t->internalFormat), t->width, t->height, 0, t->format,
                         GL_UNSIGNED_BYTE, data);
        } else {
            gluBuild2DMipmaps(GL_TEXTURE_2D, static_cast<GLint>(t->internalFormat), t->width, t->height, t->format,
                              GL_UNSIGNED_BYTE, data);
        }
    }
    std::free(t->pixels);
    t->pixels = nullptr;
    std::free(t->floatPixels);
    t->floatPixels = nullptr;
    m_uploadedBytes += int64_t{t->channels} * t->width * t->height;
}

void VRTextureManager::UploadLevels(VRTexture* t, int32_t unit) {
    PixelStoreScope tight;
    const bool compressed = t->IsCompressed();
    const bool cube = t->kind == kTextureCubeMap || t->kind == kTextureFloatCubeMap;
    const int32_t dataLevels = t->mipCount + 1;  // what the buffer holds per face
    int32_t levels = dataLevels;
    if ((t->flags & kTexNoMipmaps) || (t->mipCount == 0 && ((compressed && t->kind == kTextureBytes2D) || cube))) {
        levels = 1;
        if (VRTexture* bound = BoundTexture(unit)) bound->flags |= kTexNoMipmaps;
    }
    PixelReader reader = t->kind == kTextureFloatCubeMap
                             ? PixelReader(reinterpret_cast<const uint8_t*>(t->floatPixels), SIZE_MAX)
                             : PixelReader(t->pixels, t->pixelBytes);
    const size_t block = BlockBytes(t->format);

    if (t->kind == kTexture3D) {
        glBindTexture(GL_TEXTURE_3D, t->glName);
        const size_t bpp = static_cast<size_t>(t->channels);
        int32_t d = std::max(t->depth, 1);
        LevelChain c{t->width, t->height};
        for (int32_t level = 0; level < levels && !c.Done(); ++level, c.Next(), d = std::max(d >> 1, 1)) {
            const size_t size =
                compressed ? CompressedBytes(c.Width(), c.Height(), d, block)
                           : bpp * static_cast<size_t>(c.Width()) * static_cast<size_t>(c.Height()) * static_cast<size_t>(d);
            const uint8_t* data = reader.Take(size);
            if (!data) return;
            if (compressed) {
                glCompressedTexImage3D(GL_TEXTURE_3D, level, t->format, c.Width(), c.Height(), d, 0,
                                       static_cast<GLsizei>(size), data);
            } else {
                glTexImage3D(GL_TEXTURE_3D, level, t->channels, c.Width(), c.Height(), d, 0, BgrOrder(t->format),
                             GL_UNSIGNED_BYTE, data);
            }
        }
        return;
    }
    if (!cube) {
        LevelChain c{t->width, t->height};
        for (int32_t level = 0; level < levels && !c.Done(); ++level, c.Next()) {
            const size_t size = CompressedBytes(c.Width(), c.Height(), 1, block);
            const uint8_t* data = reader.Take(size);
            if (!data) return;
            glCompressedTexImage2D(GL_TEXTURE_2D, level, t->format, c.Width(), c.Height(), 0,
                                   static_cast<GLsizei>(size), data);
        }
        return;
    }
    // Cube maps: six faces, each with its whole chain of levels.
    const GLenum format = BgrOrder(t->format);
    const size_t texelBytes =
        static_cast<size_t>(t->channels) * (t->kind == kTextureFloatCubeMap ? sizeof(float) : size_t{1});
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z; ++face) {
        LevelChain c{t->width, t->height};
        // Levels past the ones uploaded are still stepped over: the next face follows them.
        for (int32_t level = 0; level < dataLevels && !c.Done(); ++level, c.Next()) {
            const size_t size = compressed ? CompressedBytes(c.Width(), c.Height(), 1, block)
                                           : texelBytes * static_cast<size_t>(c.Width()) * static_cast<size_t>(c.Height());
            const uint8_t* data = reader.Take(size);
            if (!data) return;
            if (level >= levels) continue;
            if (compressed) {
                glCompressedTexImage2D(face, level, t->format, c.Width(), c.Height(), 0, static_cast<GLsizei>(size),
                                       data);
            } else {
                UploadCubeFace(t, face, level, c.Width(), c.Height(), format, data);
            }
        }
    }
}

// One face of a cube map: a level of its data, or level 0 of data without
// levels, with the levels made by the GL for bytes.
void VRTextureManager::UploadCubeFace(VRTexture* t, uint32_t face, int32_t level, int32_t w, int32_t h,
                                      uint32_t format, const uint8_t* data) {
    const GLint internal = static_cast<GLint>(t->internalFormat);
    if (t->mipCount > 0) {
        glTexImage2D(face, level, internal, w, h, 0, format, GL_UNSIGNED_BYTE, data);
    } else if (t->kind == kTextureFloatCubeMap) {
        glTexImage2D(face, 0, internal, t->width, t->height, 0, format, GL_FLOAT, data);
    } else if (m_glVersion >= 1.4f) {
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_GENERATE_MIPMAP, GL_TRUE);
        glTexImage2D(face, 0, internal, t->width, t->height, 0, format, GL_UNSIGNED_BYTE, data);
    } else {
        gluBuild2DMipmaps(face, internal, t->width, t->height, format, GL_UNSIGNED_BYTE, data);
    }
}

VRTexture* VRTextureManager::CreateHalfSizeCopy(VRTexture* source, int32_t /*flags*/) {
    if (!source) return nullptr;
    const int32_t w = std::max(source->width / 2, 1);
    const int32_t h = std::max(source->height / 2, 1);
    const size_t bpp = static_cast<size_t>(std::max(source->channels, 1));
    uint8_t* pixels = nullptr;
    int32_t mipCount = 0;
    if (source->IsCompressed()) {
        // The source's chain from level 1 on becomes the copy's chain.
        if (!source->pixels || source->mipCount < 1) return nullptr;
        const size_t block = BlockBytes(source->format);
        const size_t skip = CompressedBytes(source->width, source->height, 1, block);
        size_t size = 0;
        LevelChain c{source->width >> 1, source->height >> 1};
        for (int32_t level = 1; level <= source->mipCount && !c.Done(); ++level, c.Next())
            size += CompressedBytes(c.Width(), c.Height(), 1, block);
        pixels = static_cast<uint8_t*>(std::malloc(std::max<size_t>(size, 1)));
        if (!pixels) return nullptr;
        std::memcpy(pixels, source->pixels + skip, size);
        mipCount = source->mipCount - 1;
    } else if (source->kind != kTextureBytes2D) {
        return nullptr;
    } else if (source->glName) {
        GLint previous = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glBindTexture(GL_TEXTURE_2D, source->glName);
        PixelStoreScope tight;
        if (source->flags & kTexNoMipmaps) {
            auto* full = static_cast<uint8_t*>(
                std::calloc(static_cast<size_t>(source->width) * static_cast<size_t>(source->height) * bpp, 1));
            if (full) glGetTexImage(GL_TEXTURE_2D, 0, source->format, GL_UNSIGNED_BYTE, full);
            pixels = full ? ResizeImageNearest(full, source->width, source->height, w, h, static_cast<int32_t>(bpp),
                                               false)
                          : nullptr;
        } else {
            pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(w) * static_cast<size_t>(h) * bpp, 1));
            if (pixels) glGetTexImage(GL_TEXTURE_2D, 1, source->format, GL_UNSIGNED_BYTE, pixels);
        }
        // The unit keeps showing what the table says it shows.
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    } else {
        if (!source->pixels) return nullptr;
        pixels = ResizeImageNearest(source->pixels, source->width, source->height, w, h, static_cast<int32_t>(bpp),
                                    true);
    }
    if (!pixels) return nullptr;
    auto* t = new VRTexture;
    std::memcpy(t->name, source->name, sizeof t->name);
    t->width = w;
    t->height = h;
    t->imageWidth = std::max(source->imageWidth / 2, 1);
    t->imageHeight = std::max(source->imageHeight / 2, 1);
    t->channels = source->channels;
    t->format = source->format;
    t->internalFormat = source->internalFormat;
    t->flags = source->flags;
    t->mipCount = mipCount;
    t->pixels = pixels;
    Append(t);
    return t;
}
