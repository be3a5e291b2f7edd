#include "VRTextureManager.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "scene/ImageLimits.h"
#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "scene/PixelStoreScope.h"

namespace {

std::atomic<uint32_t> g_nextSerial{1};

constexpr size_t kUnknownBytes = SIZE_MAX;

// Largest client buffer a procedural or resized texture may need.
constexpr int64_t kMaxTextureBytes = int64_t{1} << 31;

// Upper-case ASCII letters of what follows the last '.', at most 15.
std::string ExtensionOf(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) return {};
    std::string ext(dot + 1);
    if (ext.size() > 15) ext.resize(15);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

// The largest file of a texture source: a video is streamed, whatever its
// size; the other sources are read whole.
uint64_t TextureFileLimit(const std::string& ext) { return ext == "AVI" ? UINT64_MAX : kMaxImageFileBytes; }

int64_t NextPowerOfTwo(int64_t v) {
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

// The byte a value truncated to an integer leaves in its low 8 bits; values
// no 32-bit integer holds (and NaN) give 0, as the processor's conversion does.
uint8_t TruncatedLowByte(float v) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
    return static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(v)) & 0xFF);
}

}  // namespace

// ---- records

VRTexture::VRTexture() : serial(g_nextSerial.fetch_add(1)) {}

void VRTexture::Free() {
    if (glName == 0) {
        std::free(pixels);
        pixels = nullptr;
        std::free(floatPixels);
        floatPixels = nullptr;
    }
    currentFrame = 0.0f;
    imageWidth = imageHeight = 0;
    frameCount = 0;
    delete frameDecoder;
    frameDecoder = nullptr;
    lastFrameTime = framePeriod = 0;
}

bool VRTexture::IsCompressed() const {
    switch (format) {
    case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return true;
    default: return false;
    }
}

namespace {

// Bytes of one picture of the record, or false when they overflow.
bool PictureBytes(const VRTexture& t, size_t& bytes) {
    if (t.width <= 0 || t.height <= 0 || t.channels <= 0) return false;
    return !__builtin_mul_overflow(static_cast<size_t>(t.width), static_cast<size_t>(t.height), &bytes) &&
           !__builtin_mul_overflow(bytes, static_cast<size_t>(t.channels), &bytes);
}

}  // namespace

bool VRTexture::HasPixmap() const {
    size_t picture = 0, all = 0;
    if (glName != 0 || !pixels || IsCompressed() || slices < 1 || !PictureBytes(*this, picture)) return false;
    return !__builtin_mul_overflow(picture, static_cast<size_t>(slices), &all) && all <= pixelBytes;
}

TextureSliceResult AppendTextureSlice(VRTexture& texture, const VRTexture& slice) {
    if (!texture.HasPixmap() || !slice.HasPixmap()) return TextureSliceResult::kNoPixmap;
    if (slice.width != texture.width || slice.height != texture.height || slice.channels != texture.channels)
        return TextureSliceResult::kOtherSize;
    size_t picture = 0, held = 0, total = 0;
    PictureBytes(texture, picture);
    held = picture * static_cast<size_t>(texture.slices);  // HasPixmap checked it
    if (__builtin_add_overflow(held, picture, &total)) return TextureSliceResult::kNoPixmap;
    auto* stacked = static_cast<uint8_t*>(std::malloc(total));
    if (!stacked) return TextureSliceResult::kNoPixmap;
    std::memcpy(stacked, texture.pixels, held);
    // The slice may be the texture itself: its pixels go only after the copy.
    std::memcpy(stacked + held, slice.pixels, picture);
    std::free(texture.pixels);
    texture.pixels = stacked;
    texture.pixelBytes = total;
    ++texture.slices;
    return TextureSliceResult::kAppended;
}

void VRTexture::SetName(const char* text) {
    std::strncpy(name, text ? text : "", kTextureNameSize - 1);
    name[kTextureNameSize - 1] = 0;
}

void VRTextureRetain(VRTexture* texture) { ++texture->references; }

void VRTextureRelease(VRTexture* texture) {
    if (--texture->references > 0) return;
    std::free(texture->pixels);
    std::free(texture->floatPixels);
    delete texture->frameDecoder;
    delete texture;
}

// ---- size rule and resizing

TextureSize ComputeTextureSize(int32_t w, int32_t h, float tolerance, int32_t maxSize) {
    int64_t W = NextPowerOfTwo(w);
    int64_t H = NextPowerOfTwo(h);
    if (static_cast<float>(W - w) / static_cast<float>(w) > tolerance && W > 1) W /= 2;
    if (static_cast<float>(H - h) / static_cast<float>(h) > tolerance && H > 1) H /= 2;
    TextureSize s;
    s.widthExcess = static_cast<float>(W - w) / static_cast<float>(w);
    s.heightExcess = static_cast<float>(H - h) / static_cast<float>(h);
    const int64_t limit = std::max(maxSize, 1);
    s.reduced = W > limit || H > limit;
    s.width = static_cast<int32_t>(std::min(W, limit));
    s.height = static_cast<int32_t>(std::min(H, limit));
    return s;
}

uint8_t* ResizeImageNearest(uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t width,
                            int32_t height, int32_t bytesPerTexel, bool keepSource) {
    const int64_t w = std::max(width, 1), h = std::max(height, 1), bpp = std::max(bytesPerTexel, 1);
    auto* out = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(w * h * bpp), 1));
    if (out && source && sourceWidth > 0 && sourceHeight > 0) {
        if (sourceWidth == w && sourceHeight == h) {
            std::memcpy(out, source, static_cast<size_t>(w * h * bpp));
        } else {
            // 16.16 fixed point in 64 bits: sides of 32768 and more do not overflow.
            const int64_t stepX = (int64_t{sourceWidth} << 16) / w;
            const int64_t stepY = (int64_t{sourceHeight} << 16) / h;
            for (int64_t y = 0; y < h; ++y) {
                const int64_t sy = (y * stepY) >> 16;
                for (int64_t x = 0; x < w; ++x) {
                    const int64_t sx = (x * stepX) >> 16;
                    std::memcpy(out + (y * w + x) * bpp, source + (sy * sourceWidth + sx) * bpp,
                                static_cast<size_t>(bpp));
                }
            }
        }
    }
    if (!keepSource) std::free(source);
    return out;
}

// ---- manager

VRTextureManager::VRTextureManager() {
    IncrementLiveObjects();
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version) {
        char text[4] = {};
        std::strncpy(text, version, 3);
        m_glVersion = static_cast<float>(std::atof(text));
    }
    m_glVersion += 0.01f;
    m_nameRandom.seed(static_cast<std::minstd_rand::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ std::random_device()()));
}

VRTextureManager::~VRTextureManager() {
    VRTexture* t = m_head;
    while (t) {
        VRTexture* next = t->next;
        t->Free();
        t->next = t->prev = nullptr;
        t->owner = nullptr;
        t->removed = true;
        VRTextureRelease(t);
        t = next;
    }
    m_head = m_tail = nullptr;
    DecrementLiveObjects();
}

void VRTextureManager::Append(VRTexture* t) {
    t->owner = this;
    t->prev = m_tail;
    t->next = nullptr;
    if (m_tail) {
        m_tail->next = t;
    } else {
        m_head = t;
    }
    m_tail = t;
}

void VRTextureManager::Unlink(VRTexture* t) {
    if (t->prev) {
        t->prev->next = t->next;
    } else {
        m_head = t->next;
    }
    if (t->next) {
        t->next->prev = t->prev;
    } else {
        m_tail = t->prev;
    }
    t->next = t->prev = nullptr;
    t->owner = nullptr;
}

VRTexture* VRTextureManager::BoundTexture(int32_t unit) const {
    return unit >= 0 && unit < kTextureUnits ? m_bound[unit] : nullptr;
}

void VRTextureManager::ClearBoundTexture(int32_t unit) {
    if (unit >= 0 && unit < kTextureUnits) m_bound[unit] = nullptr;
}

int32_t VRTextureManager::RemoveTexture(VRTexture* texture, bool destroy) {
    if (!texture || texture->owner != this) return -1;
    Unlink(texture);
    // A record freed while the table still named it would make a later record
    // at the same place look bound already.
    for (VRTexture*& bound : m_bound)
        if (bound == texture) bound = nullptr;
    if (destroy) {
        if (texture->glName) {
            glDeleteTextures(1, &texture->glName);
            texture->glName = 0;
        }
        texture->Free();
        texture->removed = true;
        VRTextureRelease(texture);
    }
    return 0;
}

void VRTextureManager::BeginFrame() {
    for (VRTexture* t = m_head; t; t = t->next) t->usedThisFrame = 0;
    m_frameBytes = 0;
}

VRTexture* VRTextureManager::GetTexture(const char* name, int32_t flags) {
    if (!name) name = "";
    const std::string full = std::string(BaseDirectory()) + name;
    std::string path;
    ScriptFile::Status found = ScriptFile::NotFound;
    std::string refused;
    if (full.size() < kTextureNameSize) {
        path = PathResolver::Shared().Resolve(full);
        if (path.size() < kTextureNameSize) {
            // Each reader opens the file again by the same rules.
            const ScriptFile probe = ScriptFile::Open(path, TextureFileLimit(ExtensionOf(name)));
            found = probe.GetStatus();
            refused = probe.Reason();
        }
    }
    if (found == ScriptFile::NotFound) {
        const std::string detail = "\"" + std::string(name) + "\"\n";
        ReportWarning("VRTextureManager : Texture not found:", detail.c_str());
        return nullptr;
    }
    if (found != ScriptFile::Opened) {
        ReportWarning("VRTextureManager : Texture refused:", refused.c_str());
        return nullptr;
    }

    const std::string ext = ExtensionOf(name);
    if (ext != "AVI") {
        for (VRTexture* t = m_head; t; t = t->next)
            if (path == t->name) return t;
    }
    int32_t width = 0, height = 0, channels = 0;
    uint8_t* pixels = LoadImageFile(path.c_str(), &width, &height, &channels);
    if (ext == "EMF" || ext == "WMF") flags |= kTexBgr;
    if (pixels) {
        // A picture is one level of one face, whatever the flags ask for.
        const size_t bytes =
            static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(std::max(channels, 0));
        return CreateTextureFromBytes(path.c_str(), pixels, bytes, width, height, channels, flags, 0, 0);
    }
    if (ext == "AVI") return LoadAvi(path.c_str());
    if (ext == "SWF") {
        if (VRTexture* movie = LoadSwf(path.c_str(), flags)) return movie;
        ReportWarning("VRTextureManager : Unsupported format:", name);
        return nullptr;
    }
    if (ext == "DDS") return LoadDds(path, flags);
    if (ext == "HDR") return std::strncmp(name, "HDRC", 4) == 0 ? LoadHdrCube(path, name, flags) : LoadHdr(path, flags);
    ReportWarning("VRTextureManager : Unsupported format:", name);
    return nullptr;
}

uint8_t* VRTextureManager::LoadImageFile(const char* path, int32_t* width, int32_t* height, int32_t* channels) {
    const std::string ext = ExtensionOf(path);
    if (ext == "PPM" || ext == "PBM" || ext == "XXM") return LoadPpm(path, width, height, channels);
    if (ext == "JPG" || ext == "JPEG" || ext == "PNG" || ext == "TIF" || ext == "TIFF")
        return LoadImageLibrary(path, width, height, channels);
    if (ext == "WMF" || ext == "EMF") return LoadMetafile(path, width, height, channels);
    return nullptr;
}

VRTexture* VRTextureManager::CreateTextureFromBuffer(const char* name, uint8_t* pixels, int32_t w, int32_t h,
                                                     int32_t channels, int32_t flags, int32_t mipCount,
                                                     int32_t depth) {
    // The caller vouches for the layout its flags describe.
    return CreateTextureFromBytes(name, pixels, kUnknownBytes, w, h, channels, flags, mipCount, depth);
}

VRTexture* VRTextureManager::CreateTextureFromBytes(const char* name, uint8_t* pixels, size_t bytes, int32_t w,
                                                    int32_t h, int32_t channels, int32_t flags, int32_t mipCount,
                                                    int32_t depth) {
    if (w <= 0 || h <= 0 || channels <= 0) {
        std::free(pixels);
        return nullptr;
    }
    auto* t = new VRTexture;
    t->flags = flags & kTexNoMipmaps;
    if (flags & kTexDepth) t->kind = kTextureDepth;
    if (flags & kTexCubeMap) t->kind = kTextureCubeMap;
    if (flags & kTex3D) {
        t->kind = kTexture3D;
        t->depth = depth;
    }
    t->SetName(name);
    t->imageWidth = w;
    t->imageHeight = h;
    t->mipCount = std::max(mipCount, 0);
    t->channels = channels;

    uint32_t compressed = 0;
    if (flags & kTexDxt1) {
        compressed = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
    } else if (flags & kTexDxt1Alpha) {
        compressed = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
    } else if (flags & kTexDxt3) {
        compressed = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    } else if (flags & kTexDxt5) {
        compressed = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    }
    const bool canCompress = (GLExtensionFlags & 0x1) != 0;
    if (compressed) {
        t->format = t->internalFormat = compressed;
    } else if (channels == 4) {
        t->format = GL_RGBA;
        t->internalFormat = TextureQuality == 0 ? GL_RGBA4
                            : TextureQuality == 1 && canCompress ? GL_COMPRESSED_RGBA_S3TC_DXT5_EXT
                                                                 : GL_RGBA8;
    } else if (channels == 3) {
        t->format = (flags & kTexBgr) ? GL_BGR : GL_RGB;
        t->internalFormat = TextureQuality == 0 ? GL_RGB5
                            : TextureQuality == 1 && canCompress ? GL_COMPRESSED_RGB_S3TC_DXT1_EXT
                                                                 : GL_RGB8;
    } else if (channels == 2) {
        t->format = GL_LUMINANCE_ALPHA;
        t->internalFormat = TextureQuality == 0 ? GL_LUMINANCE4_ALPHA4 : GL_LUMINANCE8_ALPHA8;
    } else {
        t->channels = 1;
        t->format = GL_ALPHA;
        t->internalFormat = TextureQuality == 0 ? GL_ALPHA8 : GL_ALPHA16;
    }

    if (compressed || t->kind == kTextureCubeMap || t->kind == kTexture3D || (flags & kTexKeepSize)) {
        t->width = w;
        t->height = h;
        t->pixels = pixels;
        t->pixelBytes = bytes;
    } else if (bytes < static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(t->channels)) {
        std::free(pixels);
        delete t;
        return nullptr;
    } else {
        const TextureSize size = ComputeTextureSize(w, h, TextureRoundingTolerance, MaxTextureSize);
        if (size.reduced) ReportWarning("The texture is too large and will be reduced:", name);
        t->width = size.width;
        t->height = size.height;
        t->widthExcess = size.widthExcess;
        t->heightExcess = size.heightExcess;
        t->imageWidth = std::min(w, size.width);
        t->imageHeight = std::min(h, size.height);
        const int64_t bpp = t->channels;
        t->pixelBytes = static_cast<size_t>(int64_t{size.width} * size.height * bpp);
        if (int64_t{size.width} * size.height * bpp > kMaxTextureBytes) {
            std::free(pixels);
        } else if (size.width == w && size.height == h) {
            t->pixels = pixels;
            t->pixelBytes = bytes;
        } else if (flags & kTexTopLeft) {
            // The picture unscaled in the top-left corner, cut where the
            // texture is smaller.
            t->pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size.width * size.height * bpp), 1));
            if (t->pixels) {
                const size_t row = static_cast<size_t>(t->imageWidth * bpp);
                for (int32_t y = 0; y < t->imageHeight; ++y)
                    std::memcpy(t->pixels + y * size.width * bpp, pixels + y * w * bpp, row);
            }
            std::free(pixels);
        } else if (t->channels == 4) {
            t->pixels = ResizeImageNearest(pixels, w, h, size.width, size.height, 4, false);
        } else {
            t->pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size.width * size.height * bpp)));
            if (t->pixels) {
                PixelStoreScope packed;
                if (gluScaleImage(t->format, w, h, GL_UNSIGNED_BYTE, pixels, size.width, size.height,
                                  GL_UNSIGNED_BYTE, t->pixels) != 0) {
                    std::free(t->pixels);
                    t->pixels = nullptr;
                }
            }
            std::free(pixels);
        }
        if (!t->pixels) {
            delete t;
            return nullptr;
        }
    }
    Append(t);
    return t;
}

VRTexture* VRTextureManager::CreateFloatTexture(const char* name, float* data, int32_t w, int32_t h,
                                                int32_t channels, int32_t flags) {
    auto* t = new VRTexture;
    t->flags = kTexNoMipmaps;
    t->kind = (flags & kTexFloatCubeMap) ? kTextureFloatCubeMap : kTextureFloat2D;
    t->SetName(name);
    t->width = t->imageWidth = w;
    t->height = t->imageHeight = h;
    t->channels = channels;
    t->floatPixels = data;
    if (channels == 3) {
        t->format = GL_RGB;
        t->internalFormat = GL_RGB32F_ARB;
    } else {
        t->format = GL_RGBA;
        t->internalFormat = GL_RGBA32F_ARB;
    }
    Append(t);
    return t;
}

std::string VRTextureManager::ProceduralName() {
    std::string name(8, 'a');
    for (char& c : name) c = static_cast<char>('a' + m_nameRandom() % 26);
    return name;
}

VRTexture* VRTextureManager::CreateProceduralTexture(int32_t w, int32_t h, int32_t type, const float* values,
                                                     int32_t count) {
    if (type < 1 || type > 6 || w <= 0 || h <= 0) return nullptr;
    const int64_t texels = int64_t{w} * h;
    const int64_t bytesPerTexel = type == 6 ? 4 * int64_t{sizeof(float)} : type == 5 ? 5 : type;
    if (texels * bytesPerTexel > kMaxTextureBytes) return nullptr;
    if (!values) count = 0;
    count = std::max(count, 0);
    const std::string name = ProceduralName();

    if (type == 6) {
        auto* data = static_cast<float*>(std::calloc(static_cast<size_t>(texels * 4), sizeof(float)));
        if (!data) return nullptr;
        if (count == 3 || count == 4) {
            const float alpha = count == 4 ? values[3] : 1.0f;
            for (int64_t i = 0; i < texels; ++i) {
                float* p = data + i * 4;
                p[0] = values[0];
                p[1] = values[1];
                p[2] = values[2];
                p[3] = alpha;
            }
        } else {
            std::copy_n(values, std::min<int64_t>(count, texels * 4), data);
        }
        return CreateFloatTexture(name.c_str(), data, w, h, 4, 0);
    }
    if (type == 5) {
        auto* depth = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(texels * 5), 1));
        if (!depth) return nullptr;
        return CreateTextureFromBuffer(name.c_str(), depth, w, h, 5, kTexDepth | kTexKeepSize | kTexNoMipmaps, 0, 0);
    }
    auto* bytes = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(texels * type), 1));
    if (!bytes) return nullptr;
    if (count == 3 || count == 4) {
        const uint8_t colour[4] = {TruncatedLowByte(values[0] * 255.0f), TruncatedLowByte(values[1] * 255.0f),
                                   TruncatedLowByte(values[2] * 255.0f),
                                   count == 4 ? TruncatedLowByte(values[3] * 255.0f) : uint8_t{255}};
        for (int64_t i = 0; i < texels; ++i) std::memcpy(bytes + i * type, colour, static_cast<size_t>(type));
    } else {
        const int64_t n = std::min<int64_t>(count, texels * type);
        for (int64_t i = 0; i < n; ++i) bytes[i] = TruncatedLowByte(values[i]);
    }
    return CreateTextureFromBuffer(name.c_str(), bytes, w, h, type, kTexKeepSize | kTexNoMipmaps, 0, 0);
}
