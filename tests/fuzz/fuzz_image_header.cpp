// Reads arbitrary bytes as the header of a PNG, JPEG or TIFF file (the
// first byte chooses which): the size and byte count it gives must be
// plausible for the pictures it says there are.
#include <cstdlib>

#include "scene/ImageLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const ImageFileType types[3] = {ImageFileType::Png, ImageFileType::Jpeg, ImageFileType::Tiff};
    ImageHeader header;
    if (!ReadImageHeader(data + 1, size - 1, types[data[0] % 3], header)) return 0;
    if (header.width <= 0 || header.height <= 0 || header.decodedBytes < header.width ||
        header.decodedBytes < header.height)
        std::abort();
    ImageFits(header);
    return 0;
}
