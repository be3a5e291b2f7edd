// Runs the pack routines on arbitrary formats and data: the first byte is
// the format's length, the format follows, the rest is the data (and, as
// floats, the input of packing). Every buffer is exactly as large as its
// bounds say, so that the sanitizer sees any byte read or written past them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "runtime/PackFormat.h"

namespace {

// Nothing larger is made here, whatever a format asks for.
constexpr int32_t kMostMade = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t formatSize = std::min<size_t>(data[0], size - 1);
    const std::unique_ptr<char[]> format(new char[formatSize]);
    std::memcpy(format.get(), data + 1, formatSize);
    const std::string_view f(format.get(), formatSize);
    const size_t dataSize = size - 1 - formatSize;
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[dataSize]);
    std::memcpy(bytes.get(), data + 1 + formatSize, dataSize);

    const int32_t count = PackFormatValueCount(f);
    const int32_t unpackSize = PackFormatByteSize(f, false);
    const int32_t packSize = PackFormatByteSize(f, true);
    if (count < -1 || unpackSize < -1 || packSize < -1) std::abort();

    const int32_t capacity = count < 0 ? kMostMade : std::min(count, kMostMade);
    const std::unique_ptr<float[]> values(new float[static_cast<size_t>(capacity)]);
    const int32_t unpacked = UnpackBytesToVector(f, bytes.get(), dataSize, values.get(), capacity);
    if (unpacked < 0 || unpacked > capacity) std::abort();

    const int32_t inputCount = static_cast<int32_t>(dataSize / sizeof(float));
    const std::unique_ptr<float[]> input(new float[static_cast<size_t>(inputCount)]);
    if (inputCount) std::memcpy(input.get(), bytes.get(), static_cast<size_t>(inputCount) * sizeof(float));
    // An output of the format's size, then one cut short.
    const int32_t outputSize = packSize < 0 ? kMostMade : std::min(packSize, kMostMade);
    for (const int32_t room : {outputSize, outputSize / 2}) {
        const std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(room)]);
        const int32_t packed = PackVectorToBytes(input.get(), f, out.get(), inputCount, static_cast<size_t>(room));
        if (packed < 0 || packed > room) std::abort();
        // Every field of the format fits an output of its size.
        if (room == packSize && packed != packSize) std::abort();
    }
    return 0;
}
