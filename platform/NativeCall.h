// Calls into functions of native libraries whose argument and result types
// are known only at run time, in the platform's C calling convention. A
// signature is prepared once and then used for any number of calls; each
// call runs under the fault guard, so a fault inside the library ends the
// call instead of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/FaultGuard.h"

enum class NativeType : uint8_t { Void, Int32, Float, Double, Pointer };

// An argument's storage: the call reads the member of the parameter's type.
union NativeValue {
    int32_t asInt;
    float asFloat;
    double asDouble;
    void* asPointer;
};

class NativeSignature {
public:
    NativeSignature();
    ~NativeSignature();
    NativeSignature(const NativeSignature&) = delete;
    NativeSignature& operator=(const NativeSignature&) = delete;

    // Describes a function of these parameter and result types; false when
    // the platform cannot call one (nothing is prepared then).
    bool Prepare(NativeType result, const std::vector<NativeType>& params);
    bool Prepared() const;
    size_t ParamCount() const;

    // Calls `function` with one value per parameter; `result` receives the
    // member of the result type (nothing for Void). When the guard reports a
    // fault the result means nothing.
    ScriptFault Call(void* function, NativeValue* args, NativeValue& result) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
