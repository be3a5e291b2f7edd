// Reads arbitrary bytes as a value file: without the header nothing is read;
// with it, the value that follows must be what the value reader makes of
// those bytes.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/script/CFileManager.h"
#include "support/TestObjects.h"
#include "vm/ByteStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qemtest::CountingObjectFactory factory;
    VmObjectFactory* previous = VmSetObjectFactory(&factory);
    // Most inputs get the header, so that the value behind it is explored.
    std::vector<uint8_t> file;
    if (size > 0 && data[0] == 0) {
        file.assign(data + 1, data + size);
    } else {
        file.assign(CFileManager::kHeader, CFileManager::kHeader + CFileManager::kHeaderSize);
        file.insert(file.end(), data, data + size);
    }
    CVmValue value;
    const bool read = CFileManager::DecodeValueFile(file.data(), file.size(), value);
    const bool header = file.size() >= CFileManager::kHeaderSize &&
                        std::memcmp(file.data(), CFileManager::kHeader, CFileManager::kHeaderSize) == 0;
    if (read != header) std::abort();
    if (read) {
        ByteReader in(file.data() + CFileManager::kHeaderSize, file.size() - CFileManager::kHeaderSize);
        CVmValue direct;
        direct.ReadFrom(in, &factory);
        std::vector<uint8_t> a, b;
        ByteWriter wa(a), wb(b);
        value.WriteTo(wa);
        direct.WriteTo(wb);
        if (a != b) std::abort();
    }
    VmSetObjectFactory(previous);
    return 0;
}
