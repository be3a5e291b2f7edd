// Reads arbitrary bytes as the sound library's settings file.
#include <cstdio>

#include "media/AudioSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!stream) return 0;
    DSSettings settings;
    ReadAudioSettings(stream, settings);
    std::fclose(stream);
    return 0;
}
