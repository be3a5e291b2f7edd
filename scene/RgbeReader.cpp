#include "RgbeReader.h"

#include <cctype>
#include <cstddef>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

enum class RgbeError { Read, Format, Memory };

int ReportRgbeError(RgbeError kind, const char* reason) {
    switch (kind) {
    case RgbeError::Read: std::perror("RGBE read error"); break;
    case RgbeError::Format: std::fprintf(stderr, "RGBE bad file format: %s\n", reason); break;
    case RgbeError::Memory: std::fprintf(stderr, "RGBE error: %s\n", reason); break;
    }
    return -1;
}

constexpr int kLineLimit = 128;

}  // namespace

void RGBEToFloat(uint8_t r, uint8_t g, uint8_t b, uint8_t e, float* rgb) {
    if (e == 0) {
        rgb[0] = rgb[1] = rgb[2] = 0.0f;
        return;
    }
    const float f = std::ldexp(1.0f, static_cast<int>(e) - (128 + 8));
    rgb[0] = static_cast<float>(r) * f;
    rgb[1] = static_cast<float>(g) * f;
    rgb[2] = static_cast<float>(b) * f;
}

int RGBEReadHeader(FILE* file, int32_t* width, int32_t* height, RGBEHeaderInfo* info) {
    char line[kLineLimit];
    if (info) *info = RGBEHeaderInfo();
    if (!std::fgets(line, sizeof line, file)) return ReportRgbeError(RgbeError::Read, nullptr);
    if (line[0] == '#' && line[1] == '?') {
        if (info) {
            info->valid |= kRGBEValidProgramType;
            size_t i = 0;
            for (; i + 1 < sizeof info->programtype; ++i) {
                const char c = line[i + 2];
                if (c == 0 || std::isspace(static_cast<unsigned char>(c))) break;
                info->programtype[i] = c;
            }
            info->programtype[i] = 0;
        }
        if (!std::fgets(line, sizeof line, file)) return ReportRgbeError(RgbeError::Read, nullptr);
    }
    for (;;) {
        if (line[0] == 0 || line[0] == '\n') return ReportRgbeError(RgbeError::Format, "no FORMAT specifier found");
        if (std::strcmp(line, "FORMAT=32-bit_rle_rgbe\n") == 0) break;
        float value = 0;
        if (info && std::sscanf(line, "GAMMA=%g", &value) == 1) {
            info->gamma = value;
            info->valid |= kRGBEValidGamma;
        } else if (info && std::sscanf(line, "EXPOSURE=%g", &value) == 1) {
            info->exposure = value;
            info->valid |= kRGBEValidExposure;
        }
        if (!std::fgets(line, sizeof line, file)) return ReportRgbeError(RgbeError::Read, nullptr);
    }
    if (!std::fgets(line, sizeof line, file)) return ReportRgbeError(RgbeError::Read, nullptr);
    if (std::strcmp(line, "\n") != 0)
        return ReportRgbeError(RgbeError::Format, "missing blank line after FORMAT specifier");
    if (!std::fgets(line, sizeof line, file)) return ReportRgbeError(RgbeError::Read, nullptr);
    int h = 0, w = 0;
    if (std::sscanf(line, "-Y %d +X %d", &h, &w) < 2)
        return ReportRgbeError(RgbeError::Format, "missing image size specifier");
    *height = h;
    *width = w;
    return 0;
}

int RGBEReadPixels(FILE* file, float* data, int32_t count) {
    uint8_t rgbe[4];
    for (; count > 0; --count, data += 3) {
        if (std::fread(rgbe, sizeof rgbe, 1, file) < 1) return ReportRgbeError(RgbeError::Read, nullptr);
        RGBEToFloat(rgbe[0], rgbe[1], rgbe[2], rgbe[3], data);
    }
    return 0;
}

int RGBEReadPixelsRLE(FILE* file, float* data, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    if (int64_t{width} * height > kRGBEMaxTexels) return ReportRgbeError(RgbeError::Memory, "unable to allocate buffer space");
    if (width < 8 || width > 0x7fff) return RGBEReadPixels(file, data, width * height);
    uint8_t* scanline = nullptr;
    auto fail = [&scanline](RgbeError kind, const char* reason) {
        std::free(scanline);
        return ReportRgbeError(kind, reason);
    };
    for (int32_t remaining = height; remaining > 0; --remaining) {
        uint8_t rgbe[4];
        if (std::fread(rgbe, sizeof rgbe, 1, file) < 1) return fail(RgbeError::Read, nullptr);
        if (rgbe[0] != 2 || rgbe[1] != 2 || (rgbe[2] & 0x80)) {
            // Not run-length encoded: these bytes are the first texel and
            // the rest of the image follows flat.
            RGBEToFloat(rgbe[0], rgbe[1], rgbe[2], rgbe[3], data);
            std::free(scanline);
            return RGBEReadPixels(file, data + 3, width * remaining - 1);
        }
        if ((static_cast<int32_t>(rgbe[2]) << 8 | rgbe[3]) != width) return fail(RgbeError::Format, "wrong scanline width");
        if (!scanline) {
            scanline = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(4) * static_cast<size_t>(width)));
            if (!scanline) return ReportRgbeError(RgbeError::Memory, "unable to allocate buffer space");
        }
        uint8_t* at = scanline;
        for (int channel = 0; channel < 4; ++channel) {
            uint8_t* const end = scanline + static_cast<std::ptrdiff_t>(channel + 1) * width;
            while (at < end) {
                uint8_t pair[2];
                if (std::fread(pair, sizeof pair, 1, file) < 1) return fail(RgbeError::Read, nullptr);
                if (pair[0] > 128) {
                    const int count = pair[0] - 128;
                    if (count > end - at) return fail(RgbeError::Format, "bad scanline data");
                    std::memset(at, pair[1], static_cast<size_t>(count));
                    at += count;
                } else {
                    const int count = pair[0];
                    if (count == 0 || count > end - at) return fail(RgbeError::Format, "bad scanline data");
                    *at++ = pair[1];
                    if (count > 1) {
                        if (std::fread(at, static_cast<size_t>(count - 1), 1, file) < 1)
                            return fail(RgbeError::Read, nullptr);
                        at += count - 1;
                    }
                }
            }
        }
        for (int32_t i = 0; i < width; ++i, data += 3)
            RGBEToFloat(scanline[i], scanline[i + width], scanline[i + 2 * width], scanline[i + 3 * width], data);
    }
    std::free(scanline);
    return 0;
}

float* RGBEAllocatePixels(int32_t width, int32_t height, int32_t images) {
    float* data = nullptr;
    if (width > 0 && height > 0 && images > 0 && int64_t{width} * height <= kRGBEMaxTexels)
        data = static_cast<float*>(std::calloc(static_cast<size_t>(width) * static_cast<size_t>(height) *
                                                   static_cast<size_t>(images) * 3,
                                               sizeof(float)));
    if (!data) ReportRgbeError(RgbeError::Memory, "unable to allocate buffer space");
    return data;
}
