// Texture sources read by the manager's own readers: DDS files (compressed,
// cube-map and volume textures with their levels) and Radiance HDR files
// (float textures, and cube maps of six files).
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "scene/DdsImage.h"
#include "scene/EngineServices.h"
#include "scene/ImageLimits.h"
#include "scene/RgbeReader.h"
#include "scene/VRTextureManager.h"

namespace {

// The bits that say how the data are laid out come from the file alone.
constexpr int32_t kLayoutFlags = kTexDxt1 | kTexDxt1Alpha | kTexDxt3 | kTexDxt5 | kTexCubeMap | kTex3D;

// Reads picture `index` of `count` (all of one size) into `data`, which it
// allocates with the first. A `width` of 0 takes the size of the file and
// gives it back; otherwise a file of another size sets `sizeDiffers`. False
// after the reader's message or for a file of another size.
bool ReadRgbe(const std::string& path, int32_t count, int32_t index, int32_t& width, int32_t& height, float*& data,
              bool& sizeDiffers) {
    // Run-length coding packs many texels into few bytes: the header's size
    // is what bounds the memory, not the file's.
    FILE* file = ScriptFile::Open(path, kMaxImageFileBytes).TakeStdio();
    if (!file) return false;
    int32_t w = 0, h = 0;
    bool ok = RGBEReadHeader(file, &w, &h, nullptr) == 0;
    if (ok && width != 0 && (w != width || h != height)) {
        sizeDiffers = true;
        ok = false;
    }
    if (ok && !ImageFits(w, h, 3 * sizeof(float), count)) {
        ReportWarning("VRTextureManager : Unsupported format:", ImageTooLargeDetail(path, w, h).c_str());
        ok = false;
    }
    if (ok && !data) {
        data = RGBEAllocatePixels(w, h, count);
        ok = data != nullptr;
    }
    if (ok) {
        const size_t offset = static_cast<size_t>(index) * static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
        ok = RGBEReadPixelsRLE(file, data + offset, w, h) == 0;
    }
    std::fclose(file);
    if (width == 0) {
        width = w;
        height = h;
    }
    return ok;
}

}  // namespace

VRTexture* VRTextureManager::LoadDds(const std::string& path, int32_t flags) {
    DDSImage image;
    if (!image.Load(path, false)) return nullptr;
    flags &= ~kLayoutFlags;
    switch (image.GetFormat()) {
    case GL_COMPRESSED_RGB_S3TC_DXT1_EXT: flags |= kTexDxt1; break;
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: flags |= kTexDxt1Alpha; break;
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: flags |= kTexDxt3; break;
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: flags |= kTexDxt5; break;
    default: break;
    }
    if (image.IsCubemap()) flags |= kTexCubeMap;
    if (image.IsVolume()) flags |= kTex3D;
    uint8_t* data = image.GetContiguousData();
    if (!data) return nullptr;
    return CreateTextureFromBytes(path.c_str(), data, image.GetContiguousSize(), image.GetWidth(), image.GetHeight(),
                                  image.GetComponents(), flags, image.GetMipCount(),
                                  image.IsVolume() ? image.GetDepth() : 0);
}

VRTexture* VRTextureManager::LoadHdr(const std::string& path, int32_t flags) {
    int32_t width = 0, height = 0;
    float* data = nullptr;
    bool sizeDiffers = false;
    if (!ReadRgbe(path, 1, 0, width, height, data, sizeDiffers)) {
        std::free(data);
        return nullptr;
    }
    // One picture is no cube map, whatever the flags say.
    return CreateFloatTexture(path.c_str(), data, width, height, 3, flags & ~kTexFloatCubeMap);
}

VRTexture* VRTextureManager::LoadHdrCube(const std::string& path, const char* name, int32_t flags) {
    // "<prefix>0.hdr" names face 0; the faces are <prefix>0.HDR to <prefix>5.HDR.
    const std::string given(name);
    if (given.size() <= 5) {
        ReportWarning("VRTextureManager : Unsupported format:", name);
        return nullptr;
    }
    const std::string prefix = std::string(BaseDirectory()) + given.substr(0, given.size() - 5);
    int32_t width = 0, height = 0;
    float* data = nullptr;
    for (int face = 0; face < 6; ++face) {
        const std::string faceName = prefix + std::to_string(face) + ".HDR";
        const std::string facePath = PathResolver::Shared().Resolve(faceName);
        const ScriptFile probe = ScriptFile::Open(facePath, kMaxImageFileBytes);
        bool sizeDiffers = false;
        bool ok = probe.IsOpen();
        if (ok) {
            ok = ReadRgbe(facePath, 6, face, width, height, data, sizeDiffers);
        } else if (probe.GetStatus() == ScriptFile::NotFound) {
            const std::string detail = "\"" + faceName + "\"\n";
            ReportWarning("VRTextureManager : Texture not found:", detail.c_str());
        } else {
            ReportWarning("VRTextureManager : Texture refused:", probe.Reason().c_str());
        }
        if (sizeDiffers) ReportWarning("VRTextureManager : Unsupported format:", faceName.c_str());
        if (!ok) {
            std::free(data);
            return nullptr;
        }
    }
    return CreateFloatTexture(path.c_str(), data, width, height, 3, flags | kTexFloatCubeMap);
}
