// Reads arbitrary bytes as an AAM model file and tells its kind.
#include <cstdio>

#include "functions/AamFileKind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    const int32_t kind = AamFileKind(f);
    std::fclose(f);
    if (kind < -1 || kind > 4) __builtin_trap();
    return 0;
}
