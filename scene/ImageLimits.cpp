#include "scene/ImageLimits.h"

#include <cstring>
#include <set>

bool ImageFits(int64_t width, int64_t height, int64_t bytesPerTexel, int64_t images) {
    if (width <= 0 || height <= 0 || bytesPerTexel <= 0 || images <= 0) return false;
    if (width > kMaxImageSide || height > kMaxImageSide) return false;
    // Below 2^28 texels by the sides; the division keeps the rest in range.
    return width * height <= kMaxImageBytes / bytesPerTexel / images;
}

std::string ImageTooLargeDetail(const std::string& name, int64_t width, int64_t height) {
    return name + " (" + std::to_string(width) + " x " + std::to_string(height) + " texels, too large to read)";
}

bool ImageFits(const ImageHeader& header) {
    return header.width > 0 && header.height > 0 && header.width <= kMaxImageSide &&
           header.height <= kMaxImageSide && header.decodedBytes > 0 && header.decodedBytes <= kMaxImageBytes;
}

namespace {

// The texels the readers keep: 8-bit RGB or RGBA, copied from the decoder's.
constexpr int64_t kCopyBytes = 4;

// a x b, or INT64_MAX when that does not fit (both at least 0).
int64_t Times(int64_t a, int64_t b) { return a != 0 && b > INT64_MAX / a ? INT64_MAX : a * b; }
int64_t Plus(int64_t a, int64_t b) { return b > INT64_MAX - a ? INT64_MAX : a + b; }

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool PngHeader(const uint8_t* d, size_t size, ImageHeader& h) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // The signature, then IHDR, always the first chunk.
    if (size < 33 || std::memcmp(d, kSignature, 8) != 0 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
    h.width = Be32(d + 16);
    h.height = Be32(d + 20);
    // Both sides lie in 1 to 2^31 - 1.
    if (h.width == 0 || h.height == 0 || h.width > INT32_MAX || h.height > INT32_MAX) return false;
    const int depth = d[24], colour = d[25];
    int channels = 1;
    switch (colour) {
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: channels = 1; break;  // grey, or palette indices (expanded to 3 bytes below)
    }
    // The decoder expands palettes to RGB(A) and keeps 16-bit samples.
    const int64_t sample = depth == 16 ? 2 : 1;
    h.decodedBytes = Times(Times(h.width, h.height), sample * (colour == 3 ? 4 : channels) + kCopyBytes);
    return true;
}

bool JpegHeader(const uint8_t* d, size_t size, ImageHeader& h) {
    if (size < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= size) {
        if (d[at] != 0xFF) return false;
        const uint8_t marker = d[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        const size_t length = Be16(d + at + 2);
        if (length < 2) return false;
        // The frame header: any SOFn but DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (length < 8 || at + 2 + length > size) return false;
            h.height = Be16(d + at + 5);
            h.width = Be16(d + at + 7);
            const int64_t components = d[at + 9];
            // A progressive frame keeps every coefficient (two bytes per
            // sample) besides the texels.
            const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            h.decodedBytes = Times(Times(h.width, h.height), components * (progressive ? 3 : 1) + kCopyBytes);
            return h.width > 0 && h.height > 0 && components > 0;
        }
        if (marker == 0xDA || marker == 0xD9) return false;  // scan or end before any frame
        at += 2 + length;
    }
    return false;
}

// The directories of a TIFF file, classic (32-bit offsets, 12-byte entries)
// or big (64-bit offsets, 20-byte entries), either byte order.
class TiffReader {
public:
    TiffReader(const uint8_t* d, size_t size) : m_d(d), m_size(size) {}

    bool Read(ImageHeader& h) {
        if (m_size < 8) return false;
        if (m_d[0] == 'I' && m_d[1] == 'I')
            m_little = true;
        else if (m_d[0] != 'M' || m_d[1] != 'M')
            return false;
        const uint64_t version = Get(2, 2);
        uint64_t next;
        if (version == 42) {
            next = Get(4, 4);
        } else if (version == 43 && m_size >= 16 && Get(4, 2) == 8) {
            m_big = true;
            next = Get(8, 8);
        } else {
            return false;
        }
        std::set<uint64_t> seen;
        bool any = false;
        while (next != 0) {
            // A chain that loops, or one of more directories than any file
            // has, is broken.
            if (!seen.insert(next).second || seen.size() > 4096) return false;
            if (!Directory(next, h, next)) return false;
            any = true;
        }
        return any;
    }

private:
    uint64_t Get(uint64_t at, int bytes) const {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint64_t b = m_d[at + static_cast<uint64_t>(m_little ? bytes - 1 - i : i)];
            v = v << 8 | b;
        }
        return v;
    }
    bool Has(uint64_t at, uint64_t bytes) const { return at <= m_size && bytes <= m_size - at; }

    // One entry's first value, when it is a SHORT or LONG (or LONG8).
    bool Value(uint64_t entry, uint64_t& value) const {
        const uint64_t type = Get(entry + 2, 2);
        const uint64_t field = entry + (m_big ? 12 : 8);
        if (type == 3)
            value = Get(field, 2);
        else if (type == 4)
            value = Get(field, 4);
        else if (type == 16 && m_big)
            value = Get(field, 8);
        else
            return false;
        return true;
    }

    bool Directory(uint64_t at, ImageHeader& h, uint64_t& next) {
        const int countBytes = m_big ? 8 : 2, entryBytes = m_big ? 20 : 12, offsetBytes = m_big ? 8 : 4;
        if (!Has(at, static_cast<uint64_t>(countBytes))) return false;
        const uint64_t count = Get(at, countBytes);
        const uint64_t entries = at + static_cast<uint64_t>(countBytes);
        if (count > m_size / static_cast<uint64_t>(entryBytes) ||
            !Has(entries, count * static_cast<uint64_t>(entryBytes) + static_cast<uint64_t>(offsetBytes)))
            return false;
        uint64_t width = 0, height = 0, samples = 1, bits = 8;
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t e = entries + i * static_cast<uint64_t>(entryBytes);
            uint64_t v = 0;
            if (!Value(e, v)) continue;
            switch (Get(e, 2)) {
            case 256: width = v; break;
            case 257: height = v; break;
            case 258: bits = v; break;  // of the first sample: they are alike in what decoders take
            case 277: samples = v; break;
            default: break;
            }
        }
        if (width == 0 || height == 0 || samples == 0 || bits == 0 || width > UINT32_MAX || height > UINT32_MAX ||
            samples > 64 || bits > 64)
            return false;
        // The decoder makes RGBA texels of at least a byte per sample.
        const int64_t perTexel =
            static_cast<int64_t>((samples < 4 ? 4 : samples) * ((bits + 7) / 8)) + kCopyBytes;
        const int64_t w = static_cast<int64_t>(width), hh = static_cast<int64_t>(height);
        h.decodedBytes = Plus(h.decodedBytes, Times(Times(w, hh), perTexel));
        if (w > h.width) h.width = w;
        if (hh > h.height) h.height = hh;
        next = Get(entries + count * static_cast<uint64_t>(entryBytes), offsetBytes);
        return true;
    }

    const uint8_t* m_d;
    size_t m_size;
    bool m_little = false;
    bool m_big = false;
};

}  // namespace

bool ReadImageHeader(const uint8_t* data, size_t size, ImageFileType type, ImageHeader& header) {
    header = ImageHeader();
    if (!data) return false;
    switch (type) {
    case ImageFileType::Png: return PngHeader(data, size, header);
    case ImageFileType::Jpeg: return JpegHeader(data, size, header);
    case ImageFileType::Tiff: return TiffReader(data, size).Read(header);
    }
    return false;
}
