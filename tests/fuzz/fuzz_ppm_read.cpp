// Reads arbitrary bytes as a PPM picture, as the texture manager does.
#include <cstdio>
#include <cstdlib>

#include "scene/VRTextureManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    int32_t width = 0, height = 0, channels = 0;
    uint8_t* pixels = ReadPpm(f, &width, &height, &channels);
    if (pixels) {
        volatile uint8_t last = pixels[static_cast<size_t>(width) * static_cast<size_t>(height) * 3 - 1];
        (void)last;
    }
    std::free(pixels);
    std::fclose(f);
    return 0;
}
