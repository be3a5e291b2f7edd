// Reads arbitrary bytes as an AVI file and decodes frames from it in and out
// of order, as a video texture's binds do.
#include <cstdio>

#include "scene/VideoTexture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    AviDecoder decoder;
    // Small pictures only: the point is the reading, not the memory of large frames.
    if (decoder.Open(f, 64) != AviOpenResult::kOpened) return 0;
    const int32_t last = decoder.FrameCount() - 1;
    for (int32_t frame : {0, 1, last, last / 2, 0, 1}) decoder.DecodeFrame(frame);
    return 0;
}
