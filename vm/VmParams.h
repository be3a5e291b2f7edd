// The targets a native handler reads its parameters into with
// CVmRegisterClass::ReadParams (see VmRegister.h):
//
//   int32_t, float, bool        a number (an Integer or a Real; an int
//                               truncates a Real toward zero) or a Bool
//   const char*, std::string,   a String (the characters in place, a copy,
//   const CVmString*            or the script string with its length)
//   CVmArray*                   an Array
//   VmVectorParam               a Vector, optionally of at least a length
//   X* (X a script object)      an Object of class X (X::kClassName, exactly)
//   CVmClassBase*               any Object
//   CVmValue*                   any value
//   Optional(target[, value])   a parameter the script may leave out
//
// Parameters are read in order, parameter 1 into the first target; the first
// one missing or of the wrong type is reported in the script's words and
// ends the reading.
#pragma once

#include <cstdint>
#include <type_traits>

#include "VmValue.h"

// A Vector parameter, read in place: the handler may change its components,
// which belong to the script's value. With a least length, a value that is
// no Vector is "Param n. k must be a vector." and a shorter one "Param n. k
// must be a vector of n components length." (messages 2012 and 2027);
// without one, any Vector passes and anything else is the parameter
// readers' "The param n. k must be a vector.".
class VmVectorParam {
public:
    explicit VmVectorParam(int32_t minCount = 0) : m_minCount(minCount) {}

    int32_t MinCount() const { return m_minCount; }
    int32_t Count() const { return m_vector ? m_vector->count : 0; }
    // Component i, 0 past the end.
    float operator[](int32_t i) const { return m_vector ? m_vector->GetAt(i) : 0.0f; }
    float* Data() const { return m_vector ? m_vector->data : nullptr; }
    CVmVector* Vector() const { return m_vector; }
    void Set(CVmVector* v) { m_vector = v; }

private:
    int32_t m_minCount;
    CVmVector* m_vector = nullptr;
};

// A parameter the script may leave out: when the call has fewer arguments
// than its position, the target takes the fallback (by default the value it
// had); when it is there, it is read like any other.
template <class T>
struct VmOptional {
    T& target;
    T fallback;
};

template <class T>
struct VmNoDeduce {
    using type = T;
};

template <class T>
VmOptional<T> Optional(T& target) {
    return {target, target};
}

template <class T>
VmOptional<T> Optional(T& target, const typename VmNoDeduce<T>::type& fallback) {
    return {target, fallback};
}

template <class T>
struct VmIsOptional : std::false_type {};
template <class T>
struct VmIsOptional<VmOptional<T>> : std::true_type {};
