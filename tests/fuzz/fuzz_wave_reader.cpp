// Reads arbitrary bytes as a wave file: the format, then the data in the
// pieces a sound buffer takes, past its end too.
#include <cstdio>
#include <vector>

#include "media/WaveFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    WaveFileReader reader;
    if (!reader.Open(fmemopen(const_cast<uint8_t*>(data), size, "rb"))) return 0;
    WaveFormat format;
    reader.GetFormat(&format);
    const uint32_t total = reader.DataSize();
    std::vector<uint8_t> buffer(total / 2 + 1);
    reader.Read(buffer.data(), total / 2);
    reader.Read(buffer.data(), total / 2 + 1);
    reader.Read(buffer.data(), 1);
    return 0;
}
