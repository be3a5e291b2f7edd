#include "platform/NativeCall.h"

#include <ffi.h>

struct NativeSignature::Impl {
    ffi_cif cif;
    std::vector<ffi_type*> params;
    NativeType result = NativeType::Void;
};

namespace {

ffi_type* FfiType(NativeType t) {
    switch (t) {
    case NativeType::Int32:
        return &ffi_type_sint32;
    case NativeType::Float:
        return &ffi_type_float;
    case NativeType::Double:
        return &ffi_type_double;
    case NativeType::Pointer:
        return &ffi_type_pointer;
    case NativeType::Void:
    default:
        return &ffi_type_void;
    }
}

}  // namespace

NativeSignature::NativeSignature() = default;
NativeSignature::~NativeSignature() = default;

bool NativeSignature::Prepare(NativeType result, const std::vector<NativeType>& params) {
    std::unique_ptr<Impl> impl(new Impl());
    impl->result = result;
    for (NativeType t : params) {
        if (t == NativeType::Void) return false;
        impl->params.push_back(FfiType(t));
    }
    if (ffi_prep_cif(&impl->cif, FFI_DEFAULT_ABI, static_cast<unsigned>(impl->params.size()), FfiType(result),
                     impl->params.empty() ? nullptr : impl->params.data()) != FFI_OK)
        return false;
    m_impl = std::move(impl);
    return true;
}

bool NativeSignature::Prepared() const { return m_impl != nullptr; }

size_t NativeSignature::ParamCount() const { return m_impl ? m_impl->params.size() : 0; }

ScriptFault NativeSignature::Call(void* function, NativeValue* args, NativeValue& result) const {
    if (!m_impl || !function) return ScriptFault::Access;
    const size_t n = m_impl->params.size();
    std::vector<void*> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = &args[i];
    // Integer results narrower than a register come back widened to ffi_arg.
    union {
        ffi_arg word;
        float f;
        double d;
        void* p;
    } raw{};
    void (*entry)() = reinterpret_cast<void (*)()>(function);
    ffi_cif* cif = &m_impl->cif;
    void** argv = n ? values.data() : nullptr;
    const ScriptFault fault = ScriptFaultGuard::Run([&] { ffi_call(cif, entry, &raw, argv); });
    if (fault != ScriptFault::NoFault) return fault;
    switch (m_impl->result) {
    case NativeType::Int32:
        result.asInt = static_cast<int32_t>(raw.word);
        break;
    case NativeType::Float:
        result.asFloat = raw.f;
        break;
    case NativeType::Double:
        result.asDouble = raw.d;
        break;
    case NativeType::Pointer:
        result.asPointer = raw.p;
        break;
    case NativeType::Void:
        break;
    }
    return fault;
}
