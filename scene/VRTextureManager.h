// The texture registry of the engine library: texture records made from
// image files, pixel and float buffers and procedural requests, kept in one
// list so that a file loaded twice is one record, uploaded to the GL at
// their first bind, and the record bound on every texture unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

// Creation flags of GetTexture and CreateTextureFromBuffer.
constexpr int32_t kTexNoMipmaps = 0x4;
constexpr int32_t kTexDxt1 = 0x100;
constexpr int32_t kTexDxt3 = 0x200;
constexpr int32_t kTexTopLeft = 0x400;
constexpr int32_t kTexDxt5 = 0x800;
constexpr int32_t kTexDxt1Alpha = 0x1000;
constexpr int32_t kTexCubeMap = 0x2000;
constexpr int32_t kTex3D = 0x4000;
constexpr int32_t kTexDepth = 0x10000;
constexpr int32_t kTexKeepSize = 0x40000;
constexpr int32_t kTexFloatCubeMap = 0x80000;  // CreateFloatTexture only
constexpr int32_t kTexBgr = 0x100000;

// Bind flags of BindTexture.
constexpr int32_t kBindLinear = 0x2;
constexpr int32_t kBindAgain = 0x8000;

// Record kinds.
enum VRTextureKind : int32_t {
    kTextureBytes2D = 0,
    kTextureCubeMap = 1,
    kTexture3D = 2,
    kTextureDepth = 3,
    kTextureFloat2D = 4,
    kTextureFloatRect = 5,
    kTextureFloatCubeMap = 6,
};

constexpr int kTextureUnits = 32;
// Names (full paths) are kept in 260 bytes with their terminating zero.
constexpr size_t kTextureNameSize = 260;

// The frame source of a video texture; the video reader derives from it.
// A record with one is a video texture.
struct VRVideoDecoder {
    virtual ~VRVideoDecoder() = default;
    // Frame `index` (0 to the frame count - 1) as rows of the record's image
    // width x 3 bytes, blue, green, red, the bottom row first; null when it
    // cannot be decoded. Valid until the next call.
    virtual const uint8_t* DecodeFrame(int32_t index) = 0;
    // False until the first frame has been shown: that one is due at the
    // first bind, whatever the clock says.
    bool started = false;
};

class VRTextureManager;

// A texture record. Records are shared by everything that shows them
// (script objects, materials, shader passes, the scene background), so their
// memory is reference-counted: the owner (the manager's list, or whoever
// made an unlisted record) holds one reference, each other holder one more
// through VRTextureRef. Removing a record from the manager frees its pixels
// and GL texture at once and marks it removed; holders then see no record.
struct VRTexture {
    char name[kTextureNameSize] = {};
    int32_t channels = 0;
    int32_t width = 0;
    int32_t height = 0;
    float widthExcess = 0.0f;
    float heightExcess = 0.0f;
    uint32_t format = 0;
    uint32_t internalFormat = 0;
    int32_t flags = 0;  // kTexNoMipmaps only (and 2 for shader samplers)
    uint8_t* pixels = nullptr;      // malloc, until the upload
    // Bytes in `pixels` when known (SIZE_MAX when the creator vouched for the
    // layout): the upload reads no further.
    size_t pixelBytes = SIZE_MAX;
    float* floatPixels = nullptr;   // malloc, until the upload
    uint32_t glName = 0;
    int32_t usedThisFrame = 0;
    VRTexture* next = nullptr;
    VRTexture* prev = nullptr;
    int32_t mipCount = 0;
    int32_t kind = kTextureBytes2D;
    int32_t depth = 0;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    // Video textures.
    int32_t playState = 1;
    int32_t rewindPending = 1;
    float speed = 1.0f;
    float currentFrame = 0.0f;
    int32_t frameCount = 0;
    uint32_t lastFrameTime = 0;
    uint32_t framePeriod = 0;
    int32_t videoFlags = 0;
    VRVideoDecoder* frameDecoder = nullptr;
    // Non-zero when the picture changes while playing: display lists must not
    // capture it.
    int32_t dynamic = 0;
    // Pictures of width x height stacked one after the other in `pixels`
    // (see AppendTextureSlice).
    int32_t slices = 1;

    // Identifies the record to scripts: unique in the process, never reused.
    uint32_t serial = 0;
    int32_t references = 1;
    VRTextureManager* owner = nullptr;  // the manager whose list holds it
    bool removed = false;

    VRTexture();
    VRTexture(const VRTexture&) = delete;
    VRTexture& operator=(const VRTexture&) = delete;

    // Frees the client pixels unless the GL texture holds them, closes the
    // video source and zeroes the picture and video fields.
    void Free();
    bool IsVideo() const { return frameDecoder != nullptr; }
    bool IsCompressed() const;
    // The record still holds its pictures as plain bytes (not uploaded yet,
    // not compressed), all `slices` of them.
    bool HasPixmap() const;
    void SetName(const char* text);
};

void VRTextureRetain(VRTexture* texture);
// Drops one reference; the last one frees the record.
void VRTextureRelease(VRTexture* texture);

// A holder's reference to a record. Get() answers null once the record has
// been removed, so a holder never reaches a freed texture.
class VRTextureRef {
public:
    VRTextureRef() = default;
    explicit VRTextureRef(VRTexture* texture) : m_texture(texture) {
        if (m_texture) VRTextureRetain(m_texture);
    }
    VRTextureRef(const VRTextureRef& o) : VRTextureRef(o.m_texture) {}
    VRTextureRef& operator=(const VRTextureRef& o) {
        VRTextureRef copy(o);
        std::swap(m_texture, copy.m_texture);
        return *this;
    }
    ~VRTextureRef() {
        if (m_texture) VRTextureRelease(m_texture);
    }
    VRTexture* Get() const { return m_texture && !m_texture->removed ? m_texture : nullptr; }
    // True when a record was given, even if it has been removed since.
    bool Held() const { return m_texture != nullptr; }

private:
    VRTexture* m_texture = nullptr;
};

class iVRBase {
protected:
    ~iVRBase() = default;
};

// The manager's operations that other engine code calls, in this order.
class iVRTextureManager : public iVRBase {
public:
    virtual void BindTexture(VRTexture* texture, int32_t flags, int32_t unit) = 0;
    virtual uint8_t* LoadImageFile(const char* path, int32_t* width, int32_t* height, int32_t* channels) = 0;
    virtual VRTexture* GetTexture(const char* name, int32_t flags) = 0;
    virtual VRTexture* CreateProceduralTexture(int32_t width, int32_t height, int32_t type, const float* values,
                                               int32_t count) = 0;
    virtual void Reserved(int32_t, int32_t) = 0;
    virtual VRTexture* CreateTextureFromBuffer(const char* name, uint8_t* pixels, int32_t width, int32_t height,
                                               int32_t channels, int32_t flags, int32_t mipCount, int32_t depth) = 0;
    virtual VRTexture* CreateFloatTexture(const char* name, float* data, int32_t width, int32_t height,
                                          int32_t channels, int32_t flags) = 0;
    virtual int32_t RemoveTexture(VRTexture* texture, bool destroy) = 0;

protected:
    ~iVRTextureManager() = default;
};

// Sides of a texture made from a w x h picture (see CreateTextureFromBuffer).
struct TextureSize {
    int32_t width, height;            // of the texture
    float widthExcess, heightExcess;  // padding fractions, negative when rounded down
    bool reduced;                     // a side was over the maximum
};
TextureSize ComputeTextureSize(int32_t w, int32_t h, float tolerance, int32_t maxSize);

// A new buffer (malloc) of width x height texels, each the nearest texel of
// the source; frees the source unless `keepSource`.
uint8_t* ResizeImageNearest(uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t width,
                            int32_t height, int32_t bytesPerTexel, bool keepSource);

// Stacks the picture of `slice` after the pictures `texture` holds, in a new
// pixel buffer of the texture (what a 3D upload of it takes as its slices).
enum class TextureSliceResult {
    kAppended,
    kNoPixmap,   // one of the two no longer holds its picture as bytes
    kOtherSize,  // width, height or channels differ
};
TextureSliceResult AppendTextureSlice(VRTexture& texture, const VRTexture& slice);

// Reads a PPM (P3 decimal, any other magic raw bytes) as RGB bytes (malloc).
// Null when a read fails or the size is not plausible for the file.
uint8_t* ReadPpm(FILE* file, int32_t* width, int32_t* height, int32_t* channels);

class VRTextureManager final : public iVRTextureManager {
public:
    // Needs the GL context current (reads the GL version).
    VRTextureManager();
    ~VRTextureManager();
    VRTextureManager(const VRTextureManager&) = delete;
    VRTextureManager& operator=(const VRTextureManager&) = delete;

    void BindTexture(VRTexture* texture, int32_t flags, int32_t unit) override;
    uint8_t* LoadImageFile(const char* path, int32_t* width, int32_t* height, int32_t* channels) override;
    VRTexture* GetTexture(const char* name, int32_t flags) override;
    VRTexture* CreateProceduralTexture(int32_t width, int32_t height, int32_t type, const float* values,
                                       int32_t count) override;
    void Reserved(int32_t, int32_t) override {}
    VRTexture* CreateTextureFromBuffer(const char* name, uint8_t* pixels, int32_t width, int32_t height,
                                       int32_t channels, int32_t flags, int32_t mipCount, int32_t depth) override;
    VRTexture* CreateFloatTexture(const char* name, float* data, int32_t width, int32_t height, int32_t channels,
                                  int32_t flags) override;
    // Takes a record out of the list and the unit table; with `destroy` its GL
    // texture and pixels go and it is marked removed, otherwise the list's
    // reference passes to the caller. -1 for a record this manager does not
    // list.
    int32_t RemoveTexture(VRTexture* texture, bool destroy) override;

    VRTexture* CreateHalfSizeCopy(VRTexture* source, int32_t flags);
    void BeginFrame();
    void UploadLevels(VRTexture* texture, int32_t unit);

    static uint8_t* LoadImageLibrary(const char* path, int32_t* width, int32_t* height, int32_t* channels);
    static uint8_t* LoadPpm(const char* path, int32_t* width, int32_t* height, int32_t* channels);

    // The video source: refreshes the frame of a video texture bound on
    // GL_TEXTURE_2D and sets its filters and texture matrix.
    void UpdateAviFrame(VRTexture* texture);
    // A new video texture record of an AVI file (never shared), or null after
    // the error that says why.
    VRTexture* LoadAvi(const char* path);
    // The picture of a metafile (EMF by its extension, else a placeable WMF):
    // 24-bit blue-green-red rows, bottom row first (malloc), or null.
    static uint8_t* LoadMetafile(const char* path, int32_t* width, int32_t* height, int32_t* channels);
    // Flash movies have no player on this platform: always null.
    VRTexture* LoadSwf(const char* path, int32_t flags);

    // The record last bound on a unit; clearing it makes the next bind there
    // bind afresh.
    VRTexture* BoundTexture(int32_t unit) const;
    void ClearBoundTexture(int32_t unit);
    // The wrap mode (0 to 3) last applied by mesh drawing.
    int32_t GetWrapMode() const { return m_wrapMode; }
    void SetWrapMode(int32_t mode) { m_wrapMode = mode; }

    VRTexture* First() const { return m_head; }
    VRTexture* Last() const { return m_tail; }
    int64_t UploadedBytes() const { return m_uploadedBytes; }
    int64_t FrameBytes() const { return m_frameBytes; }
    float GlVersion() const { return m_glVersion; }

private:
    void Append(VRTexture* texture);
    void Unlink(VRTexture* texture);
    void SetFilters(const VRTexture* texture, int32_t flags);
    void ApplyKindSettings(VRTexture* texture, int32_t flags);
    void Upload(VRTexture* texture, int32_t unit);
    void UploadCubeFace(VRTexture* texture, uint32_t face, int32_t level, int32_t w, int32_t h, uint32_t format,
                        const uint8_t* data);
    std::string ProceduralName();
    // CreateTextureFromBuffer with the byte count of the buffer.
    VRTexture* CreateTextureFromBytes(const char* name, uint8_t* pixels, size_t bytes, int32_t width, int32_t height,
                                      int32_t channels, int32_t flags, int32_t mipCount, int32_t depth);
    VRTexture* LoadDds(const std::string& path, int32_t flags);
    VRTexture* LoadHdr(const std::string& path, int32_t flags);
    VRTexture* LoadHdrCube(const std::string& path, const char* name, int32_t flags);

    VRTexture* m_head = nullptr;
    VRTexture* m_tail = nullptr;
    VRTexture* m_bound[kTextureUnits] = {};
    int32_t m_lastUnit = -1;
    int32_t m_lastFlags = -1;
    int64_t m_uploadedBytes = 0;
    int64_t m_frameBytes = 0;
    float m_savedTextureMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float m_glVersion = 0.0f;
    int32_t m_wrapMode = 0;
    std::minstd_rand m_nameRandom;
};
