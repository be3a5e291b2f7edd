// Decodes arbitrary bytes as a shared block (what another process left in
// it); a decoded value must encode into a block of the same size and decode
// from there to the same text.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/script/sharedByteBuffer.h"

namespace {

std::string Text(const CVmValue& v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> block(data, data + size);
    SharedBlockCodec codec(block.data(), static_cast<int32_t>(size));
    CVmValue v;
    if (!codec.Decode(v)) return 0;
    std::vector<uint8_t> again(size, 0);
    SharedBlockCodec second(again.data(), static_cast<int32_t>(size));
    if (!second.Encode(v)) std::abort();  // what was read fits where it was read from
    CVmValue back;
    if (!second.Decode(back) || Text(back) != Text(v)) std::abort();
    return 0;
}
