// Decodes arbitrary bytes as a script value on a machine whose program
// declares classes with members and base parts; a decoded value must encode,
// decode again and encode to the same bytes.
#include <cstdlib>
#include <sstream>

#include "ValueRoundTrip.h"
#include "support/TestObjects.h"
#include "vm/VirtualMachine.h"

namespace {

CVirtualMachine& Machine() {
    static std::ostringstream sink;
    static CVirtualMachine* vm = [] {
        CVirtualMachine* m = new CVirtualMachine();
        m->SetOutputStream(&sink, true);
        if (!m->StartProgram(qemtest::DeclaredClassProgram())) std::abort();
        return m;
    }();
    sink.str("");
    return *vm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVmValue v;
    qemtest::CheckValueRoundTrip(v, data, size, &Machine());
    return 0;
}
