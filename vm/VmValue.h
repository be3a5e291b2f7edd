// Script values: the type code, the payloads with their own storage (strings,
// float vectors, integer vectors, reference-counted arrays and objects), the
// copy and move rules, the text form and the byte encoding.
//
// A CVmValue is a 16-byte record of a type code and a payload, usable in
// contiguous arrays (the value stack, globals, constants, array elements).
// Strings and vectors are owned by their value and deep-copied; arrays and
// objects are shared and reference-counted.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "ByteStream.h"
#include "VmBlockMgr.h"

enum class VmValueType : int32_t {
    Void = 0,
    VmStatus = 1,
    Integer = 2,
    Real = 3,
    Bool = 4,
    String = 5,
    VmRifStr = 6,
    Array = 7,
    Vector = 8,
    Object = 9,
    VmRifVec = 10,
    VmMethod = 11,
    VmVar = 12,
    VectorInt = 14,
};

// Name of a type code as run-time messages print it ("????" for unknown codes).
const char* VmTypeName(int32_t code);
inline const char* VmTypeName(VmValueType t) { return VmTypeName(static_cast<int32_t>(t)); }

// Integer arithmetic wraps like the 32-bit machine it was written for,
// without the undefined behaviour of signed overflow.
inline int32_t VmWrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

// Real to integer, truncating toward zero and saturating (NaN gives 0).
inline int32_t VmTruncate(float f) {
    if (f != f) return 0;
    if (f >= 2147483648.0f) return INT32_MAX;
    if (f <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(f);
}

class CVmValue;
class CVmArray;
class CVmClassBase;
class CVmRegisterClass;

// Characters of a String value. Length -1 (and a null buffer) mean "no
// buffer yet" and read as the empty string. The buffer comes from VmBlockMgr
// and is always NUL-terminated when present. A plain record: the holder calls
// Free. A String value keeps its record in a box of its own (see CVmValue).
struct CVmString {
    int32_t length;
    int32_t capacity;
    char* data;

    // Longest string the machine builds; longer requests are cut here.
    static constexpr int32_t kMaxLength = 0x3FFFFFDF;

    void Clear() {
        length = -1;
        capacity = 0;
        data = nullptr;
    }
    // n blanks (n = 0: empty with a buffer); n <= -1: no buffer.
    void InitCount(int32_t n);
    // A new buffer with length bytes of text (length -1: up to the NUL).
    void Init(const char* text, int32_t length);
    // a followed by b; the empty string without buffer when both are empty.
    void InitConcat(const CVmString& a, const CVmString& b);

    void Assign(const char* text, int32_t length);
    void Assign(const CVmString& other) { Assign(other.CStr(), other.Length()); }
    void Append(const char* text, int32_t length);
    void Append(const CVmString& other) { Append(other.CStr(), other.Length()); }
    void Reserve(int32_t n);
    void Truncate(int32_t pos);
    // After foreign code wrote into the buffer: the length of the NUL-terminated
    // text, or -1 (length unchanged) when the text fills the whole buffer.
    int32_t UpdateLength();
    void MakeUpper();
    void MakeLower();
    int Compare(const CVmString& other, bool ignoreCase) const;
    int CompareText(const char* text, bool ignoreCase) const;
    bool Equals(const CVmString& other) const { return Compare(other, false) == 0; }
    void Free();

    int32_t Length() const { return length < 0 ? 0 : length; }
    const char* CStr() const { return data ? data : ""; }
    bool HasBuffer() const { return data != nullptr; }
};

// Floats of a Vector value; count 0 and no buffer when empty. A Vector value
// keeps its record in a box of its own.
struct CVmVector {
    int32_t count;
    int32_t capacity;
    float* data;

    void Clear() {
        count = 0;
        capacity = 0;
        data = nullptr;
    }
    void Assign(const float* values, int32_t n);
    void Init(int32_t n, uint8_t fillByte);
    void Reserve(int32_t n);
    float GetAt(int32_t i) const { return (i >= 0 && i < count) ? data[i] : 0.0f; }
    void Add(const CVmVector& other);
    void Sub(const CVmVector& other);
    void Scale(float f);
    void Negate();
    float Norm() const;
    float Dot(const CVmVector& other) const;
    void Cross(const CVmVector& other);
    void Free();
};

// Integers of a VectorInt value; owned and copied like a Vector.
struct CVmVectorInt {
    int32_t count;
    int32_t capacity;
    int32_t* data;

    void Clear() {
        count = 0;
        capacity = 0;
        data = nullptr;
    }
    void Assign(const int32_t* values, int32_t n);
    void Free();
};

// Base of every script object. Every Object value that holds the object
// counts one reference; the last release calls Release, which destroys it.
class CVmClassBase : public CVmMemManager {
public:
    CVmClassBase() = default;
    CVmClassBase(const CVmClassBase&) = delete;
    CVmClassBase& operator=(const CVmClassBase&) = delete;

    // Called when the last Object value lets the object go.
    virtual void Release() { delete this; }
    // Script class name.
    virtual const char* ClassName() { return ""; }
    // Part of the object that belongs to a base class (script-declared classes).
    virtual CVmClassBase* PartForClass(int32_t classIndex) {
        (void)classIndex;
        return nullptr;
    }
    // Writes the object's own data; false when the class cannot be encoded.
    virtual bool Serialize(ByteWriter& out) {
        (void)out;
        return false;
    }
    virtual ~CVmClassBase() = default;

    CVmRegisterClass* m_registration = nullptr;
    uint8_t m_flag = 1;
    int32_t m_refCount = 0;
};

// Rebuilds an object from its encoded class name and data; the machine
// provides this (its registered classes), tests may provide their own.
class VmObjectFactory {
public:
    virtual CVmClassBase* CreateObjectFromStream(const std::string& upperName, ByteReader& in) = 0;

protected:
    ~VmObjectFactory() = default;
};

// The factory used by CVmValue::ReadFrom when none is passed: the current
// machine's. Returns the previous one.
VmObjectFactory* VmSetObjectFactory(VmObjectFactory* factory);
VmObjectFactory* VmCurrentObjectFactory();

// A value is 16 bytes: the type code, a spare word (the third word of a
// call-frame marker) and an 8-byte payload. Strings, vectors and integer
// vectors live in a box of their own (a record from VmBlockMgr, never null in
// a value of that type) that the value owns; arrays and objects are shared
// and reference-counted. All-zero bytes are a Void value.
//
// Every write releases the old payload only after the new one is in place,
// so a release that runs script code (an object's destructor) never sees a
// half-written value, and may even move the value's storage.
class CVmValue {
public:
    CVmValue() : head(0), asRaw(0) {}
    ~CVmValue() {
        if (NeedsRelease(type)) ReleasePayload();
    }
    CVmValue(const CVmValue& other) : CVmValue() { Assign(other); }
    CVmValue(CVmValue&& other) noexcept : CVmValue() { Move(other); }
    CVmValue& operator=(const CVmValue& other) {
        Assign(other);
        return *this;
    }
    CVmValue& operator=(CVmValue&& other) noexcept {
        Move(other);
        return *this;
    }

    // Releases the payload of the old type and stores the new type code with
    // an empty payload (an empty box for String, Vector and VectorInt) for the
    // caller to fill.
    void SetType(VmValueType t);
    void SetVoid() {
        if (NeedsRelease(type)) {
            ReplaceScalar(VmValueType::Void, 0);
            return;
        }
        type = VmValueType::Void;
    }
    void SetInteger(int32_t v) {
        if (NeedsRelease(type)) {
            ReplaceScalar(VmValueType::Integer, static_cast<uint32_t>(v));
            return;
        }
        PutScalar(VmValueType::Integer, static_cast<uint32_t>(v));
    }
    void SetReal(float v) {
        uint32_t bits;
        __builtin_memcpy(&bits, &v, 4);
        if (NeedsRelease(type)) {
            ReplaceScalar(VmValueType::Real, bits);
            return;
        }
        PutScalar(VmValueType::Real, bits);
    }
    void SetBool(bool v) {
        if (NeedsRelease(type)) {
            ReplaceScalar(VmValueType::Bool, v ? 1 : 0);
            return;
        }
        PutScalar(VmValueType::Bool, v ? 1 : 0);
    }
    // Stores a scalar over a value whose payload needs no release.
    void PutScalar(VmValueType t, uint64_t raw) { PutWords(static_cast<uint32_t>(t), raw); }
    // The same with the type word and the spare word as one (head).
    //
    // Values are written and read as two 8-byte words, never as one 16-byte
    // block: a read that a processor can take straight from an earlier write
    // must lie within that write, and reading the type or the payload just
    // after a write is what the run loop does all the time.
    void PutWords(uint64_t headWord, uint64_t raw) {
        head = headWord;
        asRaw = raw;
    }
    void CopyWords(const CVmValue& from) {
        uint64_t h = from.head, r = from.asRaw;
#ifdef __GNUC__
        // Two registers, so that the compiler does not make one 16-byte copy.
        asm("" : "+r"(h), "+r"(r));
#endif
        head = h;
        asRaw = r;
    }
    // A new buffer with the text (length -1: up to the NUL). The text may be
    // this value's own characters.
    void SetString(const char* text, int32_t length = -1);
    void SetStringCopy(const CVmString& s) { SetString(s.CStr(), s.Length()); }
    // Takes over a string buffer (the caller's record is left without one).
    void AdoptString(CVmString& s);
    void SetVector(const float* values, int32_t count);
    void SetVectorCopy(const CVmVector& v) { SetVector(v.data, v.count); }
    void SetVectorInt(const int32_t* values, int32_t count);
    void SetArray(CVmArray* a);
    void SetObject(CVmClassBase* o);
    // A call-frame marker: the saved instruction index, the saved frame
    // index and the flag word.
    void SetStatus(int32_t w0, int32_t w1, int32_t w2) {
        if (NeedsRelease(type)) ReplaceScalar(VmValueType::Void, 0);
        type = VmValueType::VmStatus;
        asWords[0] = w0;
        asWords[1] = w1;
        aux = w2;
    }
    // Word k (0 to 2) of a frame marker.
    int32_t StatusWord(int k) const { return k < 2 ? asWords[k] : aux; }

    // Copy: deep for strings and vectors, shared for arrays and objects. Safe
    // when the source lives inside the target (an element of the target's
    // own array).
    void Assign(const CVmValue& other) {
        if (!NeedsRelease(type) && !NeedsRelease(other.type)) {
            CopyWords(other);
            return;
        }
        if (&other != this) AssignSlow(other);
    }
    // Passes ownership: the target takes the payload bytes, the source is
    // left Void. Safe when the source lives inside the target.
    void Move(CVmValue& other) {
        if (&other == this) return;
        if (NeedsRelease(type)) {
            MoveSlow(other);
            return;
        }
        CopyWords(other);
        other.PutWords(0, 0);
    }

    // Byte encoding. WriteTo answers false for types without an encoding
    // (their type byte is still written) and for objects that cannot be
    // encoded. ReadFrom answers false on bad or truncated input and then
    // leaves the value Void.
    //
    // Arrays may share elements and hold themselves: the encoding writes
    // them as trees, so it stops after kMaxEncodedElements elements in all
    // and then answers false, with the reason in *error when error is given.
    bool WriteTo(ByteWriter& out) const { return WriteTo(out, nullptr); }
    bool WriteTo(ByteWriter& out, std::string* error) const;
    bool ReadFrom(ByteReader& in, VmObjectFactory* factory);
    bool ReadFrom(ByteReader& in) { return ReadFrom(in, VmCurrentObjectFactory()); }

    bool IsVoid() const { return type == VmValueType::Void; }
    bool IsNumber() const { return type == VmValueType::Integer || type == VmValueType::Real; }

    // Deepest nesting of arrays and objects that the encoding and the text form
    // follow.
    static constexpr int kMaxNesting = 128;
    // Most array elements and objects one encoding writes.
    static constexpr int64_t kMaxEncodedElements = int64_t(1) << 22;

    // Whether values of type t own or share a payload that a write must release.
    static bool NeedsRelease(VmValueType t) { return In(kContainers | kDeepCopied, t); }

    // The type and the spare word are also one 64-bit word, so that values
    // are written and copied as two full words: a copy that reads what was
    // just written then takes it straight from the store.
    union {
        struct {
            VmValueType type;
            int32_t aux;
        };
        uint64_t head;
    };
    union {
        int32_t asInt;
        float asReal;
        uint8_t asBool;
        CVmString* asString;
        CVmVector* asVector;
        CVmVectorInt* asVectorInt;
        CVmArray* asArray;
        CVmClassBase* asObject;
        int32_t asWords[2];
        uint64_t asRaw;
    };

private:
    // Type sets as bit masks over the type codes (all below 32).
    static constexpr uint32_t kContainers = (1u << 7) | (1u << 9);
    static constexpr uint32_t kDeepCopied = (1u << 5) | (1u << 8) | (1u << 14);
    static bool In(uint32_t set, VmValueType t) { return (set >> (static_cast<uint32_t>(t) & 31u)) & 1u; }
    static bool IsContainer(VmValueType t) { return In(kContainers, t); }
    void ReleasePayload();
    // Stores a scalar over a payload that needs releasing, releasing it last.
    void ReplaceScalar(VmValueType t, uint64_t raw);
    // Takes a payload made elsewhere (raw bytes of a value), releasing the old one last.
    void Replace(VmValueType t, uint64_t raw);
    void AssignSlow(const CVmValue& other);
    void MoveSlow(CVmValue& other);
};

static_assert(sizeof(CVmValue) == 16, "a value is a type word, a spare word and an 8-byte payload");

// An array: reference-counted, its elements stored contiguously. An
// element's address is valid until the array grows, shrinks or loses an
// element; code that may run script code in between finds the element again
// by its index.
class CVmArray {
public:
    explicit CVmArray(int32_t n = 0);
    ~CVmArray();
    CVmArray(const CVmArray&) = delete;
    CVmArray& operator=(const CVmArray&) = delete;

    // Grows with Void elements or releases the surplus.
    void Resize(int32_t n);
    // Appends a copy of v (which may be one of this array's own elements).
    CVmValue* Append(const CVmValue& v);
    // Element i becomes a copy of v; null when i is outside the array.
    CVmValue* SetAt(int32_t i, const CVmValue& v);
    void RemoveAt(int32_t i);
    CVmValue* GetAt(int32_t i) const {
        return static_cast<uint32_t>(i) < static_cast<uint32_t>(count) ? items + i : nullptr;
    }

    int32_t count = 0;
    int32_t capacity = 0;
    CVmValue* items = nullptr;
    int32_t refCount = 0;

    static constexpr int32_t kMaxCount = 0x0FFFFFFF;

private:
    void Reserve(int32_t n);
};

// Text form of a value, as the output statement and messages print it.
std::ostream& operator<<(std::ostream& os, const CVmValue* v);
inline std::ostream& operator<<(std::ostream& os, const CVmValue& v) { return os << &v; }
