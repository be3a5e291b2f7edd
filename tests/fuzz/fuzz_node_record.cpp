// Restores arbitrary bytes as the node record of an object dump; a record
// that restores must dump back to the same 288 bytes.
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "scene/VRObj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes, std::ios::binary);
    VRObj node;
    if (!node.Restore(in)) return 0;
    std::ostringstream out(std::ios::binary);
    node.Dump(out);
    if (out.str() != bytes.substr(0, kNodeRecordSize)) std::abort();
    return 0;
}
