// Decodes arbitrary bytes as a script value; a decoded value must encode,
// decode again and encode to the same bytes, and print.
#include <cstdlib>
#include <sstream>

#include "support/TestObjects.h"
#include "vm/VmValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qemtest::CountingObjectFactory factory;
    ByteReader in(data, size);
    CVmValue v;
    if (v.ReadFrom(in, &factory)) {
        std::vector<uint8_t> once;
        ByteWriter w1(once);
        v.WriteTo(w1);
        ByteReader again(once);
        CVmValue back;
        if (!back.ReadFrom(again, &factory)) std::abort();
        std::vector<uint8_t> twice;
        ByteWriter w2(twice);
        back.WriteTo(w2);
        if (once != twice) std::abort();
    } else if (!v.IsVoid()) {
        std::abort();
    }
    std::ostringstream os;
    os << v;
    return 0;
}
