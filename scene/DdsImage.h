// Reader of DDS image files: compressed (DXT1, DXT3, DXT5) and uncompressed
// 2D images, cube maps and volumes, each with its chain of mip levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nv_dds {

// One picture: a level of a 2D image, of one cube face or of a volume (its
// depth slices one after the other).
class CSurface {
public:
    CSurface() = default;
    CSurface(int32_t width, int32_t height, int32_t depth, int32_t size);
    virtual ~CSurface() = default;
    CSurface(const CSurface&) = default;
    CSurface& operator=(const CSurface&) = default;
    CSurface(CSurface&&) noexcept = default;
    CSurface& operator=(CSurface&&) noexcept = default;

    // Allocates `size` bytes (zeroed) for a width x height x depth picture.
    void Create(int32_t width, int32_t height, int32_t depth, int32_t size);
    // Releases the pixels and zeroes the fields.
    virtual void Clear();

    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    int32_t GetDepth() const { return m_depth; }
    int32_t GetSize() const { return m_size; }
    uint8_t* GetPixels() { return m_pixels.empty() ? nullptr : m_pixels.data(); }
    const uint8_t* GetPixels() const { return m_pixels.empty() ? nullptr : m_pixels.data(); }

    // Replaces the pixels with `bytes` (the size follows them).
    void SetPixels(std::vector<uint8_t> bytes);

private:
    std::vector<uint8_t> m_pixels;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_depth = 0;
    int32_t m_size = 0;
};

// Level 0 of an image (the surface itself) and its further mip levels.
class CTexture : public CSurface {
public:
    using CSurface::CSurface;

    void Clear() override;
    void AddMipmap(CSurface level) { m_mipmaps.push_back(std::move(level)); }
    int32_t GetNumMipmaps() const { return static_cast<int32_t>(m_mipmaps.size()); }
    CSurface& GetMipmap(int32_t i) { return m_mipmaps[static_cast<size_t>(i)]; }
    const CSurface& GetMipmap(int32_t i) const { return m_mipmaps[static_cast<size_t>(i)]; }

private:
    std::vector<CSurface> m_mipmaps;
};

}  // namespace nv_dds

class DDSImage {
public:
    DDSImage() = default;
    ~DDSImage() { Clear(); }

    // Reads a DDS file; with `flip` every picture is turned upside down (and
    // the cube faces 2 and 3 exchanged) for bottom-up texture coordinates.
    // False for a missing, short or unsupported file, leaving the image empty.
    bool Load(const std::string& name, bool flip = true);
    // The same from bytes in memory.
    bool LoadFromMemory(const uint8_t* data, size_t size, bool flip = true);

    // A new buffer (malloc, owned by the caller) with every level of every
    // image one after the other: image after image, each as level 0 followed
    // by its further levels; for a volume level 0 of every image first, then
    // the further levels of the first image. Null when nothing is loaded.
    uint8_t* GetContiguousData() const;
    // The byte count of that buffer.
    size_t GetContiguousSize() const;

    // Of the first image: width, height, depth and the number of mip levels
    // beyond level 0.
    int32_t GetWidth() const;
    int32_t GetHeight() const;
    int32_t GetDepth() const;
    int32_t GetMipCount() const;

    uint32_t GetFormat() const { return m_format; }
    int32_t GetComponents() const { return m_components; }
    bool IsCompressed() const { return m_compressed; }
    bool IsCubemap() const { return m_cubemap; }
    bool IsVolume() const { return m_volume; }
    bool IsValid() const { return m_valid; }

    int32_t GetImageCount() const { return static_cast<int32_t>(m_images.size()); }
    const nv_dds::CTexture& GetImage(int32_t i) const { return m_images[static_cast<size_t>(i)]; }

    // Frees every image.
    void Clear();

private:
    std::vector<nv_dds::CTexture> m_images;
    uint32_t m_format = 0;
    int32_t m_components = 0;
    bool m_compressed = false;
    bool m_cubemap = false;
    bool m_volume = false;
    bool m_valid = false;
};
