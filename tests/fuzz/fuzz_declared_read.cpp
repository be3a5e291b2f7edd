// Decodes arbitrary bytes as a script value on a machine whose program
// declares classes with members and base parts; a decoded value must encode,
// decode again and encode to the same bytes.
#include <cstdlib>
#include <sstream>

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
    CVirtualMachine& vm = Machine();
    ByteReader in(data, size);
    CVmValue v;
    if (v.ReadFrom(in, &vm)) {
        std::vector<uint8_t> once;
        ByteWriter w1(once);
        v.WriteTo(w1);
        ByteReader again(once);
        CVmValue back;
        if (!back.ReadFrom(again, &vm)) std::abort();
        std::vector<uint8_t> twice;
        ByteWriter w2(twice);
        back.WriteTo(w2);
        if (once != twice) std::abort();
    } else if (!v.IsVoid()) {
        std::abort();
    }
    return 0;
}
