// Reads arbitrary bytes as a Radiance RGBE file: header, then the pixels
// into a buffer of the size the header gives, as the texture manager does.
#include <cstdio>
#include <cstdlib>

#include "scene/RgbeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    RGBEHeaderInfo info;
    int32_t width = 0, height = 0;
    if (RGBEReadHeader(f, &width, &height, &info) == 0) {
        if (float* pixels = RGBEAllocatePixels(width, height, 1)) {
            RGBEReadPixelsRLE(f, pixels, width, height);
            std::free(pixels);
        }
    }
    std::fclose(f);
    return 0;
}
