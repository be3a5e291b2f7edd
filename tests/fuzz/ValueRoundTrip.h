// The check the value-reading fuzz targets share.
#pragma once

#include <cstdlib>
#include <vector>

#include "vm/VmValue.h"

namespace qemtest {

// Decodes the bytes as a value: a decoded value must encode, decode again
// and encode to the same bytes; a failed read must leave Void. Aborts
// otherwise.
inline void CheckValueRoundTrip(CVmValue& v, const uint8_t* data, size_t size, VmObjectFactory* factory) {
    ByteReader in(data, size);
    if (!v.ReadFrom(in, factory)) {
        if (!v.IsVoid()) std::abort();
        return;
    }
    std::vector<uint8_t> once;
    ByteWriter w1(once);
    v.WriteTo(w1);
    ByteReader again(once);
    CVmValue back;
    if (!back.ReadFrom(again, factory)) std::abort();
    std::vector<uint8_t> twice;
    ByteWriter w2(twice);
    back.WriteTo(w2);
    if (once != twice) std::abort();
}

}  // namespace qemtest
