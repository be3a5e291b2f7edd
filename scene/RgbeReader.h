// Reader of Radiance RGBE (.hdr) images: the text header, then texels of
// four bytes (red, green, blue mantissas and a shared exponent), flat or
// run-length encoded per scanline. Texels become three floats (red, green,
// blue). Errors are written to standard error and answered with -1.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int32_t kRGBEValidProgramType = 0x1;
constexpr int32_t kRGBEValidGamma = 0x2;
constexpr int32_t kRGBEValidExposure = 0x4;

struct RGBEHeaderInfo {
    int32_t valid = 0;         // which fields below were in the header
    char programtype[16] = {};  // the text after "#?" on the first line
    float gamma = 1.0f;
    float exposure = 1.0f;
};

// Reads the header up to and with the size line "-Y height +X width".
// `info` may be null. 0, or -1 after reporting the error.
int RGBEReadHeader(FILE* file, int32_t* width, int32_t* height, RGBEHeaderInfo* info);

// Reads width x height texels into `data` (3 floats each): run-length
// encoded scanlines, or flat texels when the file is not encoded that way
// or the width does not allow it (below 8 or above 32767).
int RGBEReadPixelsRLE(FILE* file, float* data, int32_t width, int32_t height);

// Reads `count` flat texels into `data`.
int RGBEReadPixels(FILE* file, float* data, int32_t count);

// One texel to three floats: each mantissa x 2^(e - 136), or zeros for e = 0.
void RGBEToFloat(uint8_t r, uint8_t g, uint8_t b, uint8_t e, float* rgb);

// Texels per image the readers take on: a header naming more (or a side of
// 0 or less) is refused before anything is allocated.
constexpr int64_t kRGBEMaxTexels = int64_t{1} << 25;

// A buffer (malloc) for `images` pictures of width x height texels of three
// floats, or null after reporting "unable to allocate buffer space" when
// the size is out of range or the memory is not there.
float* RGBEAllocatePixels(int32_t width, int32_t height, int32_t images);
