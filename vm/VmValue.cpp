#include "VmValue.h"

#include <cmath>
#include <cstring>
#include <new>
#include <ostream>
#include <vector>

// ---------------------------------------------------------------------------
// Type names

const char* VmTypeName(int32_t code) {
    static const char* const kNames[] = {"Void",  "VmStatus", "Integer", "Real",     "Bool",  "String", "VmRifStr", "Array",
                                         "Vector", "Object",  "????",    "VmMethod", "VmVar", "????",   "VectorInt"};
    if (code < 0 || code >= static_cast<int32_t>(sizeof(kNames) / sizeof(kNames[0]))) return "????";
    return kNames[code];
}

// ---------------------------------------------------------------------------
// Buffers

namespace {

// Clamps a requested length to what a string may hold.
int32_t ClampLength(int64_t n) {
    if (n < 0) return 0;
    return n > CVmString::kMaxLength ? CVmString::kMaxLength : static_cast<int32_t>(n);
}

char* AllocChars(int32_t bytes, int32_t& capacity) { return static_cast<char*>(VmBlockMgr().Alloc(bytes, &capacity)); }

template <class T>
T* AllocItems(int32_t n, int32_t& capacity) {
    int32_t granted = 0;
    T* p = static_cast<T*>(VmBlockMgr().Alloc(static_cast<int64_t>(n) * static_cast<int64_t>(sizeof(T)), &granted));
    capacity = granted / static_cast<int32_t>(sizeof(T));
    return p;
}

// A vector's elements become a copy of n values (none: no buffer). The new
// buffer is filled before the old one goes: the values may be its own.
template <class V, class T>
void AssignElements(V& v, const T* values, int32_t n) {
    if (n <= 0 || !values) {
        v.Free();
        v.count = v.capacity = 0;
        return;
    }
    if (n > CVmArray::kMaxCount) n = CVmArray::kMaxCount;
    int32_t cap = 0;
    T* p = AllocItems<T>(n, cap);
    std::memcpy(p, values, static_cast<size_t>(n) * sizeof(T));
    v.Free();
    v.data = p;
    v.capacity = cap;
    v.count = n;
}

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

// ---------------------------------------------------------------------------
// CVmString

void CVmString::InitCount(int32_t n) {
    if (n <= -1) {
        Clear();
        return;
    }
    n = ClampLength(n);
    data = AllocChars(n + 1, capacity);
    std::memset(data, ' ', static_cast<size_t>(n));
    data[n] = '\0';
    length = n;
}

void CVmString::Init(const char* text, int32_t len) {
    if (!text) text = "";
    if (len < 0) len = ClampLength(static_cast<int64_t>(std::strlen(text)));
    len = ClampLength(len);
    data = AllocChars(len + 1, capacity);
    std::memcpy(data, text, static_cast<size_t>(len));
    data[len] = '\0';
    length = len;
}

void CVmString::InitConcat(const CVmString& a, const CVmString& b) {
    const int32_t la = a.Length(), lb = b.Length();
    if (la == 0 && lb == 0) {
        length = 0;
        capacity = 0;
        data = nullptr;
        return;
    }
    const int32_t total = ClampLength(static_cast<int64_t>(la) + lb);
    data = AllocChars(total + 1, capacity);
    std::memcpy(data, a.CStr(), static_cast<size_t>(la));
    std::memcpy(data + la, b.CStr(), static_cast<size_t>(total - la));
    data[total] = '\0';
    length = total;
}

void CVmString::Assign(const char* text, int32_t len) {
    if (!text) text = "";
    if (len < 0) len = ClampLength(static_cast<int64_t>(std::strlen(text)));
    len = ClampLength(len);
    if (capacity < len + 1 || !data) {
        // The new buffer is filled before the old one goes, so the text may
        // come from this string's own characters.
        int32_t cap = 0;
        char* p = AllocChars(len + 1, cap);
        std::memcpy(p, text, static_cast<size_t>(len));
        VmBlockMgr().FreeIfSet(data);
        data = p;
        capacity = cap;
    } else {
        std::memmove(data, text, static_cast<size_t>(len));
    }
    data[len] = '\0';
    length = len;
}

void CVmString::Append(const char* text, int32_t len) {
    if (!text) return;
    if (len < 0) len = ClampLength(static_cast<int64_t>(std::strlen(text)));
    if (len == 0) return;
    const int32_t old = Length();
    const int32_t total = ClampLength(static_cast<int64_t>(old) + len);
    len = total - old;
    if (capacity < total + 1 || !data) {
        // Growing by half again keeps repeated appends linear.
        int64_t want = static_cast<int64_t>(total) + 1;
        if (old > 0) want += old / 2;
        int32_t cap = 0;
        const int32_t bytes = ClampLength(want) > total ? ClampLength(want) : total + 1;
        char* p = AllocChars(bytes, cap);
        if (old) std::memcpy(p, data, static_cast<size_t>(old));
        std::memcpy(p + old, text, static_cast<size_t>(len));
        VmBlockMgr().FreeIfSet(data);
        data = p;
        capacity = cap;
    } else {
        std::memmove(data + old, text, static_cast<size_t>(len));
    }
    data[total] = '\0';
    length = total;
}

void CVmString::Reserve(int32_t n) {
    if (length < 0) length = 0;
    n = ClampLength(n);
    if (capacity < n || !data) {
        int32_t cap = 0;
        char* p = AllocChars(n < length + 1 ? length + 1 : n, cap);
        if (length) std::memcpy(p, data, static_cast<size_t>(length));
        p[length] = '\0';
        VmBlockMgr().FreeIfSet(data);
        data = p;
        capacity = cap;
    }
}

void CVmString::Truncate(int32_t pos) {
    pos = ClampLength(pos);
    const int32_t old = Length();
    Reserve(pos + 1);
    // Growing past the old end fills with blanks rather than exposing stale bytes.
    if (pos > old) std::memset(data + old, ' ', static_cast<size_t>(pos - old));
    data[pos] = '\0';
    length = pos;
}

int32_t CVmString::UpdateLength() {
    if (!data || capacity <= 0) return -1;
    const void* nul = std::memchr(data, '\0', static_cast<size_t>(capacity));
    if (!nul) return -1;
    const int32_t n = static_cast<int32_t>(static_cast<const char*>(nul) - data);
    if (n >= capacity) return -1;
    length = n;
    return n;
}

void CVmString::MakeUpper() {
    for (int32_t i = 0; i < length; ++i) data[i] = FoldUpper(data[i]);
}

void CVmString::MakeLower() {
    for (int32_t i = 0; i < length; ++i)
        if (data[i] >= 'A' && data[i] <= 'Z') data[i] = static_cast<char>(data[i] - 'A' + 'a');
}

int CVmString::Compare(const CVmString& other, bool ignoreCase) const {
    const char* a = CStr();
    const char* b = other.CStr();
    const int32_t la = Length(), lb = other.Length();
    const int32_t n = (la < lb ? la : lb) + 1;  // the shorter string's NUL takes part
    for (int32_t i = 0; i < n; ++i) {
        if (ignoreCase) {
            const signed char ca = static_cast<signed char>(FoldUpper(a[i]));
            const signed char cb = static_cast<signed char>(FoldUpper(b[i]));
            if (ca != cb) return ca < cb ? -1 : 1;
        } else {
            const unsigned char ca = static_cast<unsigned char>(a[i]);
            const unsigned char cb = static_cast<unsigned char>(b[i]);
            if (ca != cb) return ca < cb ? -1 : 1;
        }
    }
    return 0;
}

int CVmString::CompareText(const char* text, bool ignoreCase) const {
    if (!text) text = "";
    const char* a = CStr();
    const int32_t n = Length() + 1;
    for (int32_t i = 0; i < n; ++i) {
        if (ignoreCase) {
            const signed char ca = static_cast<signed char>(FoldUpper(a[i]));
            const signed char cb = static_cast<signed char>(FoldUpper(text[i]));
            if (ca != cb) return ca < cb ? -1 : 1;
        } else {
            const unsigned char ca = static_cast<unsigned char>(a[i]);
            const unsigned char cb = static_cast<unsigned char>(text[i]);
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        if (text[i] == '\0') break;
    }
    return 0;
}

void CVmString::Free() {
    VmBlockMgr().FreeIfSet(data);
    data = nullptr;
}

// ---------------------------------------------------------------------------
// CVmVector

void CVmVector::Assign(const float* values, int32_t n) { AssignElements(*this, values, n); }

void CVmVector::Init(int32_t n, uint8_t fillByte) {
    if (n <= 0) {
        Clear();
        return;
    }
    if (n > CVmArray::kMaxCount) n = CVmArray::kMaxCount;
    data = AllocItems<float>(n, capacity);
    std::memset(data, fillByte, static_cast<size_t>(n) * sizeof(float));
    count = n;
}

void CVmVector::Reserve(int32_t n) {
    if (n < 0) n = 0;
    if (n > CVmArray::kMaxCount) n = CVmArray::kMaxCount;
    if (n <= capacity && (data || n == 0)) return;
    int32_t cap = 0;
    float* p = AllocItems<float>(n, cap);
    if (count > 0) std::memcpy(p, data, static_cast<size_t>(count) * sizeof(float));
    Free();
    data = p;
    capacity = cap;
}

void CVmVector::Add(const CVmVector& other) {
    const int32_t n = count < other.count ? count : other.count;
    for (int32_t i = 0; i < n; ++i) data[i] += other.data[i];
}

void CVmVector::Sub(const CVmVector& other) {
    const int32_t n = count < other.count ? count : other.count;
    for (int32_t i = 0; i < n; ++i) data[i] -= other.data[i];
}

void CVmVector::Scale(float f) {
    for (int32_t i = 0; i < count; ++i) data[i] *= f;
}

void CVmVector::Negate() {
    for (int32_t i = 0; i < count; ++i) data[i] = -data[i];
}

float CVmVector::Norm() const {
    long double sum = 0;
    for (int32_t i = 0; i < count; ++i) sum += static_cast<long double>(data[i]) * data[i];
    return static_cast<float>(std::sqrt(sum));
}

float CVmVector::Dot(const CVmVector& other) const {
    const int32_t n = count < other.count ? count : other.count;
    float sum = 0.0f;
    for (int32_t i = 0; i < n; ++i) sum += data[i] * other.data[i];
    return sum;
}

void CVmVector::Cross(const CVmVector& other) {
    // Missing components of a shorter vector count as 0.
    const float tx = GetAt(0), ty = GetAt(1), tz = GetAt(2);
    const float ox = other.GetAt(0), oy = other.GetAt(1), oz = other.GetAt(2);
    if (capacity < 3 || !data) {
        Reserve(3);
    }
    data[0] = ty * oz - tz * oy;
    data[1] = tz * ox - tx * oz;
    data[2] = tx * oy - ty * ox;
    count = 3;
}

void CVmVector::Free() {
    VmBlockMgr().FreeIfSet(data);
    data = nullptr;
}

void CVmVectorInt::Assign(const int32_t* values, int32_t n) { AssignElements(*this, values, n); }

void CVmVectorInt::Free() {
    VmBlockMgr().FreeIfSet(data);
    data = nullptr;
}

// ---------------------------------------------------------------------------
// Releasing arrays and objects
//
// Destroying an array releases its elements, which may destroy further arrays
// and objects. Scripts can nest arrays arbitrarily deep, so beyond a fixed
// depth the destruction is queued and run by the outermost release instead of
// recursing.

namespace {

struct PendingRelease {
    CVmArray* array;
    CVmClassBase* object;
};

constexpr int kReleaseDepth = 32;
thread_local int t_releaseDepth = 0;

std::vector<PendingRelease>& PendingReleases() {
    thread_local std::vector<PendingRelease> pending;
    return pending;
}

void Destroy(const PendingRelease& r) {
    if (r.array) {
        delete r.array;
    } else {
        r.object->m_refCount = 0;
        r.object->Release();
    }
}

void DestroyOrDefer(const PendingRelease& r) {
    if (t_releaseDepth >= kReleaseDepth) {
        PendingReleases().push_back(r);
        return;
    }
    ++t_releaseDepth;
    Destroy(r);
    --t_releaseDepth;
    if (t_releaseDepth == 0) {
        std::vector<PendingRelease>& pending = PendingReleases();
        while (!pending.empty()) {
            const PendingRelease next = pending.back();
            pending.pop_back();
            ++t_releaseDepth;
            Destroy(next);
            --t_releaseDepth;
        }
    }
}

}  // namespace

void CVmValue::ReleasePayload() {
    switch (type) {
    case VmValueType::String:
        asString.Free();
        break;
    case VmValueType::Vector:
        asVector.Free();
        break;
    case VmValueType::VectorInt:
        asVectorInt.Free();
        break;
    case VmValueType::Array: {
        CVmArray* a = asArray;
        asArray = nullptr;
        if (!a) break;
        if (a->refCount > 1) {
            --a->refCount;
            break;
        }
        a->refCount = 0;
        DestroyOrDefer({a, nullptr});
        break;
    }
    case VmValueType::Object: {
        CVmClassBase* o = asObject;
        asObject = nullptr;
        if (!o) break;
        if (o->m_refCount > 1) {
            --o->m_refCount;
            break;
        }
        DestroyOrDefer({nullptr, o});
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// CVmValue

void CVmValue::SetString(const char* text, int32_t len) {
    // Built before the old payload goes: the text may be this value's own.
    CVmString s;
    s.Init(text, len);
    SetType(VmValueType::String);
    asString = s;
}

void CVmValue::AdoptString(CVmString& s) {
    const CVmString taken = s;
    s.Clear();
    SetType(VmValueType::String);
    asString = taken;
}

void CVmValue::SetVector(const float* values, int32_t n) {
    CVmVector v;
    v.Clear();
    v.Assign(values, n);
    SetType(VmValueType::Vector);
    asVector = v;
}

void CVmValue::SetVectorInt(const int32_t* values, int32_t n) {
    CVmVectorInt v{0, 0, nullptr};
    v.Assign(values, n);
    SetType(VmValueType::VectorInt);
    asVectorInt = v;
}

void CVmValue::SetArray(CVmArray* a) {
    if (a) ++a->refCount;
    SetType(VmValueType::Array);
    asArray = a;
}

void CVmValue::SetObject(CVmClassBase* o) {
    if (o) ++o->m_refCount;
    SetType(VmValueType::Object);
    asObject = o;
}

void CVmValue::AssignSlow(const CVmValue& other) {
    if (IsContainer(type)) {
        // The source may live inside this array or object: copy it out before
        // the old payload is released.
        CVmValue copy;
        copy.AssignSlow(other);
        Move(copy);
        return;
    }
    switch (other.type) {
    case VmValueType::String:
        if (other.asString.HasBuffer()) {
            SetString(other.asString.data, other.asString.Length());
        } else {
            SetType(VmValueType::String);
            asString.length = other.asString.length;
            asString.capacity = 0;
            asString.data = nullptr;
        }
        break;
    case VmValueType::Vector:
        SetVector(other.asVector.data, other.asVector.count);
        break;
    case VmValueType::VectorInt:
        SetVectorInt(other.asVectorInt.data, other.asVectorInt.count);
        break;
    case VmValueType::Array:
        SetArray(other.asArray);
        break;
    case VmValueType::Object:
        SetObject(other.asObject);
        break;
    default:
        SetType(other.type);
        CopyPayload(other);
        break;
    }
}

// ---------------------------------------------------------------------------
// CVmArray

CVmArray::CVmArray(int32_t n) {
    if (n > 0) Resize(n);
}

CVmArray::~CVmArray() {
    for (int32_t i = 0; i < count; ++i) {
        items[i]->~CVmValue();
        VmBlockMgr().Free(items[i]);
    }
    VmBlockMgr().FreeIfSet(items);
    items = nullptr;
    count = capacity = 0;
}

void CVmArray::Reserve(int32_t n) {
    if (n <= capacity) return;
    int32_t cap = 0;
    CVmValue** p = AllocItems<CVmValue*>(n, cap);
    if (count) std::memcpy(p, items, static_cast<size_t>(count) * sizeof(CVmValue*));
    VmBlockMgr().FreeIfSet(items);
    items = p;
    capacity = cap;
}

void CVmArray::Resize(int32_t n) {
    if (n < 0) n = 0;
    if (n > kMaxCount) n = kMaxCount;
    if (n > count) {
        Reserve(n);
        for (int32_t i = count; i < n; ++i) items[i] = new (VmBlockMgr().Alloc(sizeof(CVmValue))) CVmValue();
        count = n;
    } else {
        // Detach the surplus first: releasing an element may run code that
        // looks at this array.
        while (count > n) {
            CVmValue* v = items[--count];
            v->~CVmValue();
            VmBlockMgr().Free(v);
        }
    }
}

CVmValue* CVmArray::Append(const CVmValue& v) {
    if (count >= kMaxCount) return nullptr;
    // Appends grow the table geometrically, so filling an array is linear.
    if (count + 1 > capacity) {
        const int64_t grown = static_cast<int64_t>(capacity) + capacity / 2 + 8;
        Reserve(static_cast<int32_t>(grown > kMaxCount ? kMaxCount : grown));
    }
    CVmValue* e = new (VmBlockMgr().Alloc(sizeof(CVmValue))) CVmValue();
    e->Assign(v);
    items[count++] = e;
    return e;
}

CVmValue* CVmArray::SetAt(int32_t i, const CVmValue& v) {
    if (i < 0 || i >= count) return nullptr;
    CVmValue* e = items[i];
    e->Assign(v);
    return e;
}

void CVmArray::RemoveAt(int32_t i) {
    if (i < 0 || i >= count) return;
    CVmValue* v = items[i];
    std::memmove(items + i, items + i + 1, static_cast<size_t>(count - i - 1) * sizeof(CVmValue*));
    --count;
    v->~CVmValue();
    VmBlockMgr().Free(v);
}

// ---------------------------------------------------------------------------
// Byte encoding

namespace {

VmObjectFactory* g_objectFactory = nullptr;
thread_local int t_codingDepth = 0;

struct NestingGuard {
    NestingGuard() { ++t_codingDepth; }
    ~NestingGuard() { --t_codingDepth; }
    bool TooDeep() const { return t_codingDepth > CVmValue::kMaxNesting; }
};

}  // namespace

VmObjectFactory* VmSetObjectFactory(VmObjectFactory* factory) {
    VmObjectFactory* old = g_objectFactory;
    g_objectFactory = factory;
    return old;
}

VmObjectFactory* VmCurrentObjectFactory() { return g_objectFactory; }

bool CVmValue::WriteTo(ByteWriter& out) const {
    out.PutByte(static_cast<uint8_t>(static_cast<int32_t>(type)));
    switch (type) {
    case VmValueType::Void:
        return true;
    case VmValueType::Integer:
    case VmValueType::VmRifStr:
    case VmValueType::VmRifVec:
        out.PutInt32(asInt);
        return true;
    case VmValueType::Real:
        out.PutFloat(asReal);
        return true;
    case VmValueType::Bool:
        out.PutByte(asBool ? 1 : 0);
        return true;
    case VmValueType::String:
        out.PutString(asString.CStr(), asString.Length());
        return true;
    case VmValueType::Vector:
        out.PutInt32(asVector.count);
        for (int32_t i = 0; i < asVector.count; ++i) out.PutFloat(asVector.data[i]);
        return true;
    case VmValueType::Array: {
        NestingGuard guard;
        if (!asArray || guard.TooDeep()) {
            out.PutInt32(0);
            return !asArray;
        }
        const CVmArray* a = asArray;
        out.PutInt32(a->count);
        bool ok = true;
        for (int32_t i = 0; i < a->count; ++i) ok = a->items[i]->WriteTo(out) && ok;
        return ok;
    }
    case VmValueType::Object: {
        NestingGuard guard;
        std::string name = asObject ? asObject->ClassName() : "";
        for (char& c : name) c = FoldUpper(c);
        out.PutString(name.data(), static_cast<int32_t>(name.size()));
        if (!asObject || guard.TooDeep()) return false;
        return asObject->Serialize(out);
    }
    default:
        return false;
    }
}

bool CVmValue::ReadFrom(ByteReader& in, VmObjectFactory* factory) {
    SetVoid();
    uint8_t code;
    if (!in.GetByte(code)) return false;
    switch (static_cast<VmValueType>(code)) {
    case VmValueType::Void:
        return true;
    case VmValueType::Integer:
    case VmValueType::VmRifStr:
    case VmValueType::VmRifVec: {
        int32_t v;
        if (!in.GetInt32(v)) return false;
        SetType(static_cast<VmValueType>(code));
        asInt = v;
        return true;
    }
    case VmValueType::Real: {
        float f;
        if (!in.GetFloat(f)) return false;
        SetReal(f);
        return true;
    }
    case VmValueType::Bool: {
        uint8_t b;
        if (!in.GetByte(b)) return false;
        SetBool(static_cast<signed char>(b) > 0);
        return true;
    }
    case VmValueType::String: {
        int32_t n;
        if (!in.GetInt32(n)) return false;
        if (n < 0) return in.Fail();
        const uint8_t* p = in.Take(static_cast<size_t>(n));
        if (!p) return false;
        SetString(reinterpret_cast<const char*>(p), n);
        return true;
    }
    case VmValueType::Vector: {
        int32_t n;
        if (!in.GetInt32(n)) return false;
        if (n < 0 || static_cast<uint64_t>(n) * 4 > in.Remaining() || n > CVmArray::kMaxCount) return in.Fail();
        SetType(VmValueType::Vector);
        asVector.Clear();
        asVector.Init(n, 0);
        for (int32_t i = 0; i < n; ++i) in.GetFloat(asVector.data[i]);
        return true;
    }
    case VmValueType::Array: {
        NestingGuard guard;
        int32_t n;
        if (!in.GetInt32(n)) return false;
        // Every element takes at least its type byte.
        if (n < 0 || guard.TooDeep() || static_cast<uint64_t>(n) > in.Remaining() || n > CVmArray::kMaxCount)
            return in.Fail();
        CVmArray* a = new CVmArray(n);
        SetArray(a);
        for (int32_t i = 0; i < n; ++i) {
            if (!a->items[i]->ReadFrom(in, factory)) {
                SetVoid();
                return false;
            }
        }
        return true;
    }
    case VmValueType::Object: {
        NestingGuard guard;
        std::string name;
        if (!in.GetString(name)) return false;
        if (guard.TooDeep() || !factory) return false;
        for (char& c : name) c = FoldUpper(c);
        CVmClassBase* o = factory->CreateObjectFromStream(name, in);
        if (!o) return false;
        SetObject(o);
        return true;
    }
    default:
        return in.Fail();
    }
}

// ---------------------------------------------------------------------------
// Text form

namespace {

// Arrays being printed on this thread, to print a self-containing array
// without recursing forever.
thread_local std::vector<const CVmArray*>* t_printing = nullptr;

void WriteText(std::ostream& os, const CVmValue* v);

void WriteArray(std::ostream& os, const CVmArray* a) {
    if (!a) {
        os << "{  }";
        return;
    }
    std::vector<const CVmArray*> local;
    std::vector<const CVmArray*>*& stack = t_printing;
    const bool outermost = stack == nullptr;
    if (outermost) stack = &local;
    bool cycle = static_cast<int>(stack->size()) >= CVmValue::kMaxNesting;
    for (const CVmArray* p : *stack) cycle = cycle || p == a;
    if (cycle) {
        os << "{ ... }";
    } else {
        stack->push_back(a);
        os << "{ ";
        for (int32_t i = 0; i < a->count; ++i) {
            if (i) os << " , ";
            WriteText(os, a->items[i]);
        }
        os << " }";
        stack->pop_back();
    }
    if (outermost) stack = nullptr;
}

void WriteText(std::ostream& os, const CVmValue* v) {
    if (!v) {
        os << "NULL";
        return;
    }
    switch (v->type) {
    case VmValueType::Void:
        os << "Void";
        break;
    case VmValueType::VmStatus:
        os << "<Status>";
        break;
    case VmValueType::Integer:
        os << v->asInt;
        break;
    case VmValueType::Real:
        os << v->asReal;
        break;
    case VmValueType::Bool:
        os << (v->asBool ? "True" : "False");
        break;
    case VmValueType::String: {
        const CVmString& s = v->asString;
        if (!s.HasBuffer()) {
            if (s.length <= 0) os << "<null>";
            break;
        }
        std::string text(s.data, static_cast<size_t>(s.Length()));
        for (char& c : text)
            if (!IsPrintable(static_cast<unsigned char>(c)) && c != '\r' && c != '\n') c = '?';
        os << text;
        break;
    }
    case VmValueType::VmRifStr:
        os << "sr" << v->asInt;
        break;
    case VmValueType::Array:
        WriteArray(os, v->asArray);
        break;
    case VmValueType::Vector:
        os << "[ ";
        for (int32_t i = 0; i < v->asVector.count; ++i) {
            if (i) os << " , ";
            os << v->asVector.data[i];
        }
        os << " ]";
        break;
    case VmValueType::Object:
        os << "(Obj:" << (v->asObject ? v->asObject->ClassName() : "") << ")";
        break;
    default:
        break;
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const CVmValue* v) {
    WriteText(os, v);
    return os;
}
