// Expands arbitrary bytes as a package stream. Input: a 2-byte
// little-endian capacity, then the stream. The output buffer
// is exactly the capacity, so any write or read past it is caught.
#include <cstdlib>
#include <vector>

#include "engine/PackageDecompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t capacity = data[0] | data[1] << 8;
    std::vector<uint8_t> out(capacity);
    std::vector<uint8_t> stream(data + 2, data + size);  // exact size, so over-reads are caught too
    const int64_t n = PackageDecompress(stream.data(), stream.size(), out.data(), out.size());
    if (n > static_cast<int64_t>(capacity) || n < -1) std::abort();
    return 0;
}
