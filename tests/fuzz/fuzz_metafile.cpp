// Reads arbitrary bytes as a metafile and draws it as a texture picture; the
// first byte chooses the kind (even EMF, odd placeable WMF).
#include <cstdlib>

#include "scene/MetafileTexture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const MetafileKind kind = data[0] & 1 ? MetafileKind::kPlaceable : MetafileKind::kEnhanced;
    int32_t width = 0, height = 0;
    // Small pictures keep the runs quick; the readers see the same bytes at any size.
    std::free(RenderMetafile(data + 1, size - 1, kind, 64, &width, &height));
    return 0;
}
