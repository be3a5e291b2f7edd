#include "DdsImage.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/ScriptFile.h"
#include "scene/ImageLimits.h"

namespace nv_dds {

CSurface::CSurface(int32_t width, int32_t height, int32_t depth, int32_t size) { Create(width, height, depth, size); }

void CSurface::Create(int32_t width, int32_t height, int32_t depth, int32_t size) {
    m_pixels.assign(static_cast<size_t>(std::max(size, 0)), 0);
    m_width = width;
    m_height = height;
    m_depth = depth;
    m_size = std::max(size, 0);
}

void CSurface::Clear() {
    std::vector<uint8_t>().swap(m_pixels);
    m_width = m_height = m_depth = m_size = 0;
}

void CSurface::SetPixels(std::vector<uint8_t> bytes) {
    m_pixels = std::move(bytes);
    m_size = static_cast<int32_t>(m_pixels.size());
}

void CTexture::Clear() {
    CSurface::Clear();
    m_mipmaps.clear();
}

}  // namespace nv_dds

namespace {

constexpr size_t kHeaderEnd = 128;  // magic (4) + header (124): the pixels follow
constexpr uint32_t kPixelFourCC = 0x4;
constexpr uint32_t kPixelAlpha = 0x2;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kPixelRgba = 0x41;
constexpr uint32_t kPixelLuminanceAlpha = 0x20001;
constexpr uint32_t kCaps2Cubemap = 0x200;
constexpr uint32_t kCaps2Volume = 0x200000;
// No side of a real picture comes near this; it keeps every product below in
// 64 bits.
constexpr uint32_t kMaxSide = 1u << 24;

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t FourCC(const char* s) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

struct PixelFormat {
    uint32_t gl = 0;
    int32_t components = 0;
    bool compressed = false;
    uint32_t blockBytes = 0;  // compressed only
};

bool ChoosePixelFormat(uint32_t flags, uint32_t fourCC, uint32_t bits, PixelFormat& f) {
    if (flags & kPixelFourCC) {
        if (fourCC == FourCC("DXT1")) {
            // Always the alpha variant: the texture manager relies on it.
            f = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 3, true, 8};
        } else if (fourCC == FourCC("DXT3")) {
            f = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 4, true, 16};
        } else if (fourCC == FourCC("DXT5")) {
            f = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4, true, 16};
        } else {
            return false;
        }
        return true;
    }
    if ((flags == kPixelRgba || flags == kPixelRgb) && bits == 32) {
        f = {GL_BGRA, 4, false, 0};
    } else if (flags == kPixelRgb && bits == 24) {
        f = {GL_BGR, 3, false, 0};
    } else if (flags == kPixelAlpha && bits == 8) {
        f = {GL_ALPHA, 1, false, 0};
    } else if (flags == kPixelLuminanceAlpha && bits == 16) {
        f = {GL_LUMINANCE_ALPHA, 2, false, 0};
    } else {
        return false;
    }
    return true;
}

uint64_t SurfaceBytes(const PixelFormat& f, uint32_t w, uint32_t h) {
    if (f.compressed) return uint64_t{(w + 3) / 4} * ((h + 3) / 4) * f.blockBytes;
    return uint64_t{w} * h * static_cast<uint32_t>(f.components);
}

uint32_t Halve(uint32_t v) { return std::max<uint32_t>(v >> 1, 1); }

// Levels of a full chain down to 1 x 1 x 1: further levels repeat 1 x 1 x 1
// and no texture can take them.
uint32_t FullChainLevels(uint32_t w, uint32_t h, uint32_t d) {
    uint32_t side = std::max({w, h, d});
    uint32_t levels = 1;
    while (side > 1) {
        side >>= 1;
        ++levels;
    }
    return levels;
}

struct Level {
    uint32_t w, h, d;
    size_t bytes;
};

// The row length level 0 of an uncompressed 2D image is padded to.
size_t PaddedRow(uint32_t w, int32_t components) {
    return static_cast<size_t>(((uint64_t{static_cast<uint32_t>(components)} * w * 8 + 31) >> 3) & ~uint64_t{3});
}

void FlipRows(nv_dds::CSurface& s) {
    const size_t depth = static_cast<size_t>(std::max(s.GetDepth(), 1));
    const size_t height = static_cast<size_t>(std::max(s.GetHeight(), 1));
    const size_t row = static_cast<size_t>(s.GetSize()) / depth / height;
    const size_t slice = row * height;
    uint8_t* p = s.GetPixels();
    if (!p || row == 0) return;
    std::vector<uint8_t> tmp(row);
    for (size_t z = 0; z < depth; ++z) {
        uint8_t* base = p + z * slice;
        for (size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            std::memcpy(tmp.data(), base + top * row, row);
            std::memcpy(base + top * row, base + bottom * row, row);
            std::memcpy(base + bottom * row, tmp.data(), row);
        }
    }
}

// The four texel rows of a colour block are its four index bytes.
void FlipColourBlock(uint8_t* block) {
    std::swap(block[4], block[7]);
    std::swap(block[5], block[6]);
}

void FlipDxt3Block(uint8_t* block) {
    // Explicit alpha: four rows of two bytes, then the colour block.
    std::swap(block[0], block[6]);
    std::swap(block[1], block[7]);
    std::swap(block[2], block[4]);
    std::swap(block[3], block[5]);
    FlipColourBlock(block + 8);
}

void FlipDxt5Block(uint8_t* block) {
    // Two alpha end points, then 16 three-bit indices: four rows of 12 bits.
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
    uint64_t flipped = 0;
    for (int row = 0; row < 4; ++row) flipped |= ((bits >> (12 * row)) & 0xFFF) << (12 * (3 - row));
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(flipped >> (8 * i));
    FlipColourBlock(block + 8);
}

void FlipBlocks(nv_dds::CSurface& s, uint32_t format) {
    uint8_t* p = s.GetPixels();
    if (!p) return;
    size_t blockBytes = 16;
    void (*flipBlock)(uint8_t*) = nullptr;
    switch (format) {
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
        blockBytes = 8;
        flipBlock = FlipColourBlock;
        break;
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: flipBlock = FlipDxt3Block; break;
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: flipBlock = FlipDxt5Block; break;
    default: return;
    }
    const size_t xBlocks = static_cast<size_t>(s.GetWidth()) / 4;
    const size_t yBlocks = static_cast<size_t>(s.GetHeight()) / 4;
    const size_t line = xBlocks * blockBytes;
    if (yBlocks < 2 || line == 0) return;
    std::vector<uint8_t> tmp(line);
    for (size_t j = 0; j < yBlocks / 2; ++j) {
        uint8_t* top = p + j * line;
        uint8_t* bottom = p + (yBlocks - j - 1) * line;
        for (size_t x = 0; x < xBlocks; ++x) {
            flipBlock(top + x * blockBytes);
            flipBlock(bottom + x * blockBytes);
        }
        std::memcpy(tmp.data(), bottom, line);
        std::memcpy(bottom, top, line);
        std::memcpy(top, tmp.data(), line);
    }
}

}  // namespace

bool DDSImage::Load(const std::string& name, bool flip) {
    Clear();
    // Every texel is in the file (padding aside): the file's cap bounds the
    // picture.
    std::vector<uint8_t> bytes;
    if (!ScriptFile::ReadAll(name, kMaxImageFileBytes, bytes, nullptr)) return false;
    return LoadFromMemory(bytes.data(), bytes.size(), flip);
}

bool DDSImage::LoadFromMemory(const uint8_t* data, size_t size, bool flip) {
    Clear();
    if (!data || size < 4 || std::memcmp(data, "DDS ", 4) != 0) return false;
    if (size < kHeaderEnd) return false;

    const uint32_t height = ReadLe32(data + 12);
    const uint32_t width = ReadLe32(data + 16);
    const uint32_t headerDepth = ReadLe32(data + 24);
    const uint32_t mipMapCount = ReadLe32(data + 28);
    const uint32_t pixelFlags = ReadLe32(data + 80);
    const uint32_t fourCC = ReadLe32(data + 84);
    const uint32_t bitCount = ReadLe32(data + 88);
    const uint32_t caps2 = ReadLe32(data + 112);

    PixelFormat format;
    if (!ChoosePixelFormat(pixelFlags, fourCC, bitCount, format)) return false;
    const bool cubemap = (caps2 & kCaps2Cubemap) != 0;
    const bool volume = (caps2 & kCaps2Volume) != 0 && headerDepth > 0;
    const uint32_t depth = std::max<uint32_t>(headerDepth, 1);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || depth > kMaxSide) return false;

    // The whole layout is measured against the bytes present before anything
    // is allocated.
    const uint32_t extraLevels =
        std::min(mipMapCount == 0 ? 0 : mipMapCount - 1, FullChainLevels(width, height, depth) - 1);
    const int images = cubemap ? 6 : 1;
    std::vector<Level> chain;
    uint64_t perImage = 0;
    {
        uint32_t w = width, h = height, d = depth;
        for (uint32_t i = 0; i <= extraLevels; ++i) {
            const uint64_t bytes = SurfaceBytes(format, w, h) * d;  // below 2^62 by kMaxSide
            perImage += bytes;
            if (perImage > size - kHeaderEnd) return false;
            chain.push_back({w, h, d, static_cast<size_t>(bytes)});
            w = Halve(w);
            h = Halve(h);
            d = Halve(d);
        }
    }
    if (perImage * static_cast<uint64_t>(images) > size - kHeaderEnd) return false;
    const bool pad = !format.compressed && !cubemap && !volume;
    const size_t paddedRow = PaddedRow(width, format.components);
    const uint64_t levelZeroBytes = pad ? uint64_t{paddedRow} * height * depth : chain[0].bytes;
    if (levelZeroBytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;

    const uint8_t* in = data + kHeaderEnd;
    m_images.resize(static_cast<size_t>(images));
    for (nv_dds::CTexture& image : m_images) {
        for (size_t i = 0; i < chain.size(); ++i) {
            const Level& l = chain[i];
            nv_dds::CSurface level(static_cast<int32_t>(l.w), static_cast<int32_t>(l.h), static_cast<int32_t>(l.d),
                                   static_cast<int32_t>(l.bytes));
            if (l.bytes > 0) std::memcpy(level.GetPixels(), in, l.bytes);
            in += l.bytes;
            if (i == 0 && pad && paddedRow != size_t{l.w} * static_cast<size_t>(format.components)) {
                const size_t row = size_t{l.w} * static_cast<size_t>(format.components);
                const size_t rows = size_t{l.h} * l.d;
                std::vector<uint8_t> padded(paddedRow * rows, 0);
                for (size_t r = 0; r < rows; ++r) std::memcpy(&padded[r * paddedRow], level.GetPixels() + r * row, row);
                level.SetPixels(std::move(padded));
            }
            if (flip) {
                if (format.compressed) {
                    FlipBlocks(level, format.gl);
                } else {
                    FlipRows(level);
                }
            }
            if (i == 0) {
                static_cast<nv_dds::CSurface&>(image) = std::move(level);
            } else {
                image.AddMipmap(std::move(level));
            }
        }
    }
    if (flip && cubemap) std::swap(m_images[2], m_images[3]);

    m_format = format.gl;
    m_components = format.components;
    m_compressed = format.compressed;
    m_cubemap = cubemap;
    m_volume = volume;
    m_valid = true;
    return true;
}

size_t DDSImage::GetContiguousSize() const {
    size_t total = 0;
    for (const nv_dds::CTexture& image : m_images) {
        total += static_cast<size_t>(image.GetSize());
        for (int32_t i = 0; i < image.GetNumMipmaps(); ++i) total += static_cast<size_t>(image.GetMipmap(i).GetSize());
    }
    return total;
}

uint8_t* DDSImage::GetContiguousData() const {
    if (!m_valid || m_images.empty()) return nullptr;
    const size_t total = GetContiguousSize();
    // calloc: a volume cube map copies fewer bytes than it counts.
    auto* out = static_cast<uint8_t*>(std::calloc(std::max<size_t>(total, 1), 1));
    if (!out) return nullptr;
    uint8_t* at = out;
    auto put = [&at](const nv_dds::CSurface& s) {
        if (s.GetSize() > 0) std::memcpy(at, s.GetPixels(), static_cast<size_t>(s.GetSize()));
        at += s.GetSize();
    };
    if (m_volume) {
        for (const nv_dds::CTexture& image : m_images) put(image);
        const nv_dds::CTexture& first = m_images[0];
        for (int32_t i = 0; i < first.GetNumMipmaps(); ++i) put(first.GetMipmap(i));
    } else {
        for (const nv_dds::CTexture& image : m_images) {
            put(image);
            for (int32_t i = 0; i < image.GetNumMipmaps(); ++i) put(image.GetMipmap(i));
        }
    }
    return out;
}

int32_t DDSImage::GetWidth() const { return m_images.empty() ? 0 : m_images[0].GetWidth(); }
int32_t DDSImage::GetHeight() const { return m_images.empty() ? 0 : m_images[0].GetHeight(); }
int32_t DDSImage::GetDepth() const { return m_images.empty() ? 0 : m_images[0].GetDepth(); }
int32_t DDSImage::GetMipCount() const { return m_images.empty() ? 0 : m_images[0].GetNumMipmaps(); }

void DDSImage::Clear() {
    m_images.clear();
    m_format = 0;
    m_components = 0;
    m_compressed = m_cubemap = m_volume = m_valid = false;
}
