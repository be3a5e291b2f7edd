// Decodes arbitrary bytes as a script value; a decoded value must encode,
// decode again and encode to the same bytes, and print.
#include <sstream>

#include "ValueRoundTrip.h"
#include "support/TestObjects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qemtest::CountingObjectFactory factory;
    CVmValue v;
    qemtest::CheckValueRoundTrip(v, data, size, &factory);
    std::ostringstream os;
    os << v;
    return 0;
}
