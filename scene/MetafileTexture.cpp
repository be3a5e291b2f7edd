#include "MetafileTexture.h"

#include <cairo.h>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ScriptFile.h"
#include "scene/SceneGlobals.h"
#include "scene/VRTextureManager.h"

namespace {

constexpr size_t kEmfHeaderBytes = 44;        // through the signature
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr double kPointsPerInch = 72.0;
constexpr double kDefaultUnitsPerInch = 1440.0;  // twips, when the header names none
// The largest metafile read: its records are converted as a whole.
constexpr uint64_t kMaxMetafileBytes = uint64_t{64} << 20;

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The header record's description (UTF-16 characters at an offset) and
// pixel format (bytes at an offset, in headers of 100 bytes and more) lie
// inside the record: the converter reads them where the header says.
bool EmfHeaderFits(const std::vector<uint8_t>& b) {
    constexpr uint64_t kHeaderFields = 88, kPixelFormatFields = 100;
    const uint64_t record = Le32(&b[4]);
    const uint64_t nDescription = Le32(&b[60]), offDescription = Le32(&b[64]);
    if (nDescription != 0 &&
        (offDescription < kHeaderFields || offDescription > record || nDescription * 2 > record - offDescription))
        return false;
    if (record >= kPixelFormatFields) {
        const uint64_t cbPixelFormat = Le32(&b[88]), offPixelFormat = Le32(&b[92]);
        if (cbPixelFormat != 0 &&
            (offPixelFormat < kHeaderFields || offPixelFormat > record || cbPixelFormat > record - offPixelFormat))
            return false;
    }
    return true;
}

// The converters take the sizes in the records as they come, so every record
// is checked to lie inside the file first; the copy ends after the last good
// record (the end record, or the end of the file) and its header says so.
bool EmfRecordsFit(std::vector<uint8_t>& b) {
    constexpr uint32_t kHeaderType = 1, kEndType = 14, kSmallestHeader = 88;
    size_t at = 0;
    while (b.size() - at >= 8) {
        const uint32_t type = Le32(&b[at]), bytes = Le32(&b[at + 4]);
        if (bytes < 8 || bytes % 4 != 0 || bytes > b.size() - at) return false;
        if (at == 0 && (type != kHeaderType || bytes < kSmallestHeader)) return false;
        at += bytes;
        if (type == kEndType) break;
    }
    if (at == 0 || !EmfHeaderFits(b)) return false;
    b.resize(at);
    PutLe32(b, 48, static_cast<uint32_t>(at));  // the file's length in bytes
    return true;
}

bool WmfRecordsFit(std::vector<uint8_t>& b) {
    constexpr size_t kHeader = kPlaceableHeaderBytes, kHeaderBytes = 18;
    constexpr uint16_t kHeaderWords = 9, kEndFunction = 0;
    if (b.size() < kHeader + kHeaderBytes) return false;
    const uint16_t type = Le16(&b[kHeader]);
    if ((type != 1 && type != 2) || Le16(&b[kHeader + 2]) != kHeaderWords) return false;
    size_t at = kHeader + kHeaderBytes;
    uint32_t longest = 3;
    while (b.size() - at >= 6) {
        const uint32_t words = Le32(&b[at]);
        const uint16_t function = Le16(&b[at + 4]);
        if (words < 3 || words > (b.size() - at) / 2) return false;
        longest = std::max(longest, words);
        at += size_t{words} * 2;
        if (function == kEndFunction) break;
    }
    b.resize(at);
    PutLe32(b, kHeader + 6, static_cast<uint32_t>((at - kHeader) / 2));  // length in words
    PutLe32(b, kHeader + 12, longest);                                   // longest record in words
    return true;
}

// The enhanced metafile as SVG, its own size that of its bounds.
bool EmfToSvg(std::vector<uint8_t>& bytes, std::string& out) {
    if (!EmfRecordsFit(bytes)) return false;
    char* svg = nullptr;
    size_t length = 0;
    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.svgDelimiter = true;
    // The EMF+ records inside comments are not played: the plain records
    // after them draw the same picture.
    options.emfplus = false;
    const int ok = emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &svg, &length, &options);
    if (ok && svg) out.assign(svg, length);
    std::free(svg);
    return ok && !out.empty();
}

// The placeable metafile as SVG of width x height: its bounding box fills the picture.
bool WmfToSvg(std::vector<uint8_t>& bytes, int32_t boxWidth, int32_t boxHeight, int32_t width, int32_t height,
              std::string& out) {
    if (!WmfRecordsFit(bytes)) return false;
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_svg_function;
    wmfAPI* api = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api) wmf_api_destroy(api);
        return false;
    }
    bool ok = wmf_mem_open(api, bytes.data(), static_cast<long>(bytes.size())) == wmf_E_None;
    wmfD_Rect drawn;
    ok = ok && wmf_scan(api, 0, &drawn) == wmf_E_None;
    if (ok) {
        // The player's units are points from the window origin, which a
        // placeable file puts at the top left of its box.
        const uint16_t inch = Le16(&bytes[14]);
        const double scale = kPointsPerInch / (inch ? inch : kDefaultUnitsPerInch);
        wmf_svg_t* device = WMF_SVG_GetData(api);
        device->out = wmf_stream_create(api, nullptr);
        device->bbox.TL.x = 0;
        device->bbox.TL.y = 0;
        device->bbox.BR.x = static_cast<float>(boxWidth * scale);
        device->bbox.BR.y = static_cast<float>(boxHeight * scale);
        device->width = static_cast<unsigned>(width);
        device->height = static_cast<unsigned>(height);
        wmfD_Rect played;
        ok = device->out && wmf_play(api, 0, &played) == wmf_E_None;
        if (device->out) {
            char* text = nullptr;
            unsigned long length = 0;
            wmf_stream_destroy(api, device->out, &text, &length);
            device->out = nullptr;
            // The text belongs to the library, which frees it with the rest.
            if (ok && text) out.assign(text, length);
        }
    }
    wmf_api_destroy(api);
    return ok && !out.empty();
}

// Draws the SVG stretched over width x height texels, over black, into
// blue-green-red rows, bottom row first.
uint8_t* Rasterize(const std::string& svg, int32_t width, int32_t height) {
    GError* error = nullptr;
    RsvgHandle* handle =
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error);
    if (!handle) {
        if (error) g_error_free(error);
        return nullptr;
    }
    gdouble svgWidth = 0, svgHeight = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &svgWidth, &svgHeight) || svgWidth <= 0 ||
        svgHeight <= 0) {
        svgWidth = width;
        svgHeight = height;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    uint8_t* out = nullptr;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, width / svgWidth, height / svgHeight);
        const RsvgRectangle viewport{0, 0, svgWidth, svgHeight};
        const gboolean drawn = rsvg_handle_render_document(handle, cr, &viewport, &error);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        if (drawn) out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * height * 3));
        if (out) {
            const uint8_t* texels = cairo_image_surface_get_data(surface);
            const int stride = cairo_image_surface_get_stride(surface);
            for (int32_t y = 0; y < height; ++y) {
                const auto* from = reinterpret_cast<const uint32_t*>(texels + static_cast<size_t>(y) * stride);
                uint8_t* to = out + static_cast<size_t>(height - 1 - y) * width * 3;
                for (int32_t x = 0; x < width; ++x, to += 3) {
                    to[0] = static_cast<uint8_t>(from[x]);
                    to[1] = static_cast<uint8_t>(from[x] >> 8);
                    to[2] = static_cast<uint8_t>(from[x] >> 16);
                }
            }
        }
    }
    if (error) g_error_free(error);
    cairo_surface_destroy(surface);
    g_object_unref(handle);
    return out;
}

}  // namespace

void MetafileTextureSize(int64_t w, int64_t h, int32_t maxSide, int32_t* width, int32_t* height) {
    const int64_t longest = std::max(maxSide, 1);
    // The smallest power of two p with p / longest >= shorter / longer.
    auto share = [longest](int64_t shorter, int64_t longer) {
        int64_t p = 1;
        while (p < longest && p * longer < shorter * longest) p <<= 1;
        return static_cast<int32_t>(p);
    };
    if (h < w) {
        *width = static_cast<int32_t>(longest);
        *height = share(h, w);
    } else {
        *height = static_cast<int32_t>(longest);
        *width = share(w, h);
    }
}

uint8_t* RenderMetafile(const uint8_t* data, size_t size, MetafileKind kind, int32_t maxSide, int32_t* width,
                        int32_t* height) {
    if (!data) return nullptr;
    int64_t w = 0, h = 0;
    if (kind == MetafileKind::kEnhanced) {
        if (size < kEmfHeaderBytes || Le32(data + 40) != kEmfSignature) return nullptr;
        w = int64_t{static_cast<int32_t>(Le32(data + 16))} - static_cast<int32_t>(Le32(data + 8));
        h = int64_t{static_cast<int32_t>(Le32(data + 20))} - static_cast<int32_t>(Le32(data + 12));
    } else {
        if (size < kPlaceableHeaderBytes || Le32(data) != kPlaceableKey) return nullptr;
        w = int64_t{Le16(data + 10)} - Le16(data + 6);
        h = int64_t{Le16(data + 12)} - Le16(data + 8);
    }
    if (w <= 0 || h <= 0) return nullptr;
    int32_t tw = 0, th = 0;
    MetafileTextureSize(w, h, std::min(maxSide, kMetafileMaxSide), &tw, &th);
    std::vector<uint8_t> bytes(data, data + size);
    std::string svg;  // both kinds meet in SVG
    const bool converted = kind == MetafileKind::kEnhanced
                               ? EmfToSvg(bytes, svg)
                               : WmfToSvg(bytes, static_cast<int32_t>(w), static_cast<int32_t>(h), tw, th, svg);
    if (!converted) return nullptr;
    uint8_t* pixels = Rasterize(svg, tw, th);
    if (pixels) {
        *width = tw;
        *height = th;
    }
    return pixels;
}

uint8_t* VRTextureManager::LoadMetafile(const char* path, int32_t* width, int32_t* height, int32_t* channels) {
    std::vector<uint8_t> bytes;
    if (!ScriptFile::ReadAll(path, kMaxMetafileBytes, bytes, nullptr)) return nullptr;
    std::string ext;
    if (const char* dot = std::strrchr(path, '.'))
        for (const char* c = dot + 1; *c; ++c) ext += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    const MetafileKind kind = ext == "EMF" ? MetafileKind::kEnhanced : MetafileKind::kPlaceable;
    uint8_t* pixels = RenderMetafile(bytes.data(), bytes.size(), kind, MaxTextureSize, width, height);
    if (pixels) *channels = 3;
    return pixels;
}
