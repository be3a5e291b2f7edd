// Reads arbitrary bytes as a DDS file, with and without the vertical flip,
// and lays the result out as the texture upload reads it.
#include <cstdlib>

#include "scene/DdsImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool flip : {false, true}) {
        DDSImage image;
        if (!image.LoadFromMemory(data, size, flip)) continue;
        uint8_t* all = image.GetContiguousData();
        // Touch the last byte so that a short buffer shows.
        if (all && image.GetContiguousSize() > 0) {
            volatile uint8_t last = all[image.GetContiguousSize() - 1];
            (void)last;
        }
        std::free(all);
    }
    return 0;
}
