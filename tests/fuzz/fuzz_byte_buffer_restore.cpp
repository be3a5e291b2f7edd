// Decodes arbitrary bytes as a script value on a machine that knows
// byteBuffer, so that encoded buffers (alone, in arrays, with lying lengths)
// are restored; a decoded value must encode, decode again and encode to the
// same bytes. The bytes are also restored as a buffer's own encoding.
#include <cstdlib>
#include <sstream>

#include "ValueRoundTrip.h"
#include "runtime/script/byteBuffer.h"
#include "vm/VirtualMachine.h"

namespace {

CVirtualMachine& Machine() {
    static std::ostringstream sink;
    static CVirtualMachine* vm = [] {
        CVirtualMachine* m = new CVirtualMachine();
        m->SetOutputStream(&sink, true);
        m->RegisterClass(new byteBuffer::CRegister());
        return m;
    }();
    sink.str("");
    return *vm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVirtualMachine& vm = Machine();
    CVmValue v;
    qemtest::CheckValueRoundTrip(v, data, size, &vm);

    ByteReader in(data, size);
    CVmValue buffer;
    if (CVmClassBase* restored = vm.FindClass("BYTEBUFFER")->CreateFromStream(in)) {
        buffer.SetObject(restored);
        // The length was taken from the input, and the bytes after it.
        const ByteBufferContent& c = static_cast<byteBuffer*>(restored)->Content();
        if (in.Position() != 4 + static_cast<size_t>(c.Length())) std::abort();
    }
    return 0;
}
