#include "VmValue.h"

#include <cmath>
#include <cstring>
#include <new>
#include <ostream>
#include <unordered_set>
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
// Initial-exec (see VmBlockMgr.cpp): touched on every release of an array or object.
__attribute__((tls_model("initial-exec"))) thread_local int t_releaseDepth = 0;

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

namespace {

template <class Box>
Box* NewBox() {
    Box* b = static_cast<Box*>(VmBlockMgr().Alloc(sizeof(Box)));
    b->Clear();
    return b;
}

template <class Box>
void DeleteBox(Box* b) {
    if (!b) return;
    b->Free();
    VmBlockMgr().Free(b);
}

template <class Box>
uint64_t RawOf(Box* b) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(b));
}

template <class T>
T* PointerOf(uint64_t raw) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(raw));
}

// Releases a payload that no value holds any more.
void ReleaseRaw(VmValueType t, uint64_t raw) {
    switch (t) {
    case VmValueType::String:
        DeleteBox(PointerOf<CVmString>(raw));
        break;
    case VmValueType::Vector:
        DeleteBox(PointerOf<CVmVector>(raw));
        break;
    case VmValueType::VectorInt:
        DeleteBox(PointerOf<CVmVectorInt>(raw));
        break;
    case VmValueType::Array: {
        CVmArray* a = PointerOf<CVmArray>(raw);
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
        CVmClassBase* o = PointerOf<CVmClassBase>(raw);
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

}  // namespace

void CVmValue::ReleasePayload() {
    const VmValueType t = type;
    const uint64_t raw = asRaw;
    type = VmValueType::Void;
    asRaw = 0;
    ReleaseRaw(t, raw);
}

void CVmValue::ReplaceScalar(VmValueType t, uint64_t raw) { Replace(t, raw); }

void CVmValue::Replace(VmValueType t, uint64_t raw) {
    const VmValueType oldType = type;
    const uint64_t oldRaw = asRaw;
    type = t;
    aux = 0;
    asRaw = raw;
    ReleaseRaw(oldType, oldRaw);
}

// ---------------------------------------------------------------------------
// CVmValue

void CVmValue::SetType(VmValueType t) {
    uint64_t raw = 0;
    switch (t) {
    case VmValueType::String:
        raw = RawOf(NewBox<CVmString>());
        break;
    case VmValueType::Vector:
        raw = RawOf(NewBox<CVmVector>());
        break;
    case VmValueType::VectorInt:
        raw = RawOf(NewBox<CVmVectorInt>());
        break;
    default:
        break;
    }
    Replace(t, raw);
}

void CVmValue::SetString(const char* text, int32_t len) {
    // Built before the old payload goes: the text may be this value's own.
    CVmString* s = NewBox<CVmString>();
    s->Init(text, len);
    Replace(VmValueType::String, RawOf(s));
}

void CVmValue::AdoptString(CVmString& taken) {
    CVmString* s = NewBox<CVmString>();
    *s = taken;
    taken.Clear();
    Replace(VmValueType::String, RawOf(s));
}

void CVmValue::SetVector(const float* values, int32_t n) {
    CVmVector* v = NewBox<CVmVector>();
    v->Assign(values, n);
    Replace(VmValueType::Vector, RawOf(v));
}

void CVmValue::SetVectorInt(const int32_t* values, int32_t n) {
    CVmVectorInt* v = NewBox<CVmVectorInt>();
    v->Assign(values, n);
    Replace(VmValueType::VectorInt, RawOf(v));
}

void CVmValue::SetArray(CVmArray* a) {
    if (a) ++a->refCount;
    Replace(VmValueType::Array, RawOf(a));
}

void CVmValue::SetObject(CVmClassBase* o) {
    if (o) ++o->m_refCount;
    Replace(VmValueType::Object, RawOf(o));
}

void CVmValue::AssignSlow(const CVmValue& other) {
    // The copy of the source is made before the old payload goes: the source
    // may live inside this value's array or object.
    uint64_t raw = other.asRaw;
    switch (other.type) {
    case VmValueType::String: {
        CVmString* s = NewBox<CVmString>();
        if (other.asString->HasBuffer())
            s->Init(other.asString->data, other.asString->Length());
        else
            s->length = other.asString->length;
        raw = RawOf(s);
        break;
    }
    case VmValueType::Vector: {
        CVmVector* v = NewBox<CVmVector>();
        v->Assign(other.asVector->data, other.asVector->count);
        raw = RawOf(v);
        break;
    }
    case VmValueType::VectorInt: {
        CVmVectorInt* v = NewBox<CVmVectorInt>();
        v->Assign(other.asVectorInt->data, other.asVectorInt->count);
        raw = RawOf(v);
        break;
    }
    case VmValueType::Array:
        if (other.asArray) ++other.asArray->refCount;
        break;
    case VmValueType::Object:
        if (other.asObject) ++other.asObject->m_refCount;
        break;
    default:
        break;
    }
    const int32_t otherAux = other.aux;
    Replace(other.type, raw);
    aux = otherAux;
}

void CVmValue::MoveSlow(CVmValue& other) {
    const VmValueType t = other.type;
    const int32_t otherAux = other.aux;
    const uint64_t raw = other.asRaw;
    other.type = VmValueType::Void;
    other.aux = 0;
    other.asRaw = 0;
    Replace(t, raw);
    aux = otherAux;
}

// ---------------------------------------------------------------------------
// CVmArray

namespace {

void MakeVoid(CVmValue* from, int32_t n) { std::memset(static_cast<void*>(from), 0, static_cast<size_t>(n) * sizeof(CVmValue)); }

}  // namespace

CVmArray::CVmArray(int32_t n) {
    if (n > 0) Resize(n);
}

CVmArray::~CVmArray() {
    Resize(0);
    VmBlockMgr().FreeIfSet(items);
    items = nullptr;
    capacity = 0;
}

void CVmArray::Reserve(int32_t n) {
    if (n <= capacity) return;
    int32_t granted = 0;
    // Values hold no pointers to themselves: they move as plain bytes.
    items = static_cast<CVmValue*>(VmBlockMgr().Realloc(items, static_cast<size_t>(count) * sizeof(CVmValue),
                                                         static_cast<int64_t>(n) * sizeof(CVmValue), &granted));
    capacity = granted / static_cast<int32_t>(sizeof(CVmValue));
}

void CVmArray::Resize(int32_t n) {
    if (n < 0) n = 0;
    if (n > kMaxCount) n = kMaxCount;
    if (n > count) {
        Reserve(n);
        MakeVoid(items + count, n - count);
        count = n;
        return;
    }
    // Each surplus element leaves the array before it is released: releasing
    // it may run code that looks at this array.
    while (count > n) {
        CVmValue gone;
        gone.Move(items[--count]);
    }
}

CVmValue* CVmArray::Append(const CVmValue& v) {
    if (count >= kMaxCount) return nullptr;
    if (&v >= items && &v < items + count) {
        // One of this array's own elements: growing would move it.
        const CVmValue copy(v);
        return Append(copy);
    }
    // Appends grow the table geometrically, so filling an array is linear.
    if (count + 1 > capacity) {
        const int64_t grown = static_cast<int64_t>(capacity) + capacity / 2 + 8;
        Reserve(static_cast<int32_t>(grown > kMaxCount ? kMaxCount : grown));
    }
    CVmValue* e = items + count;
    MakeVoid(e, 1);
    e->Assign(v);
    ++count;
    return e;
}

CVmValue* CVmArray::SetAt(int32_t i, const CVmValue& v) {
    if (i < 0 || i >= count) return nullptr;
    CVmValue* e = items + i;
    e->Assign(v);
    return e;
}

void CVmArray::RemoveAt(int32_t i) {
    if (i < 0 || i >= count) return;
    CVmValue gone;
    gone.Move(items[i]);
    std::memmove(static_cast<void*>(items + i), items + i + 1, static_cast<size_t>(count - i - 1) * sizeof(CVmValue));
    --count;
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

// What an encoding may still write. Objects encode their members with nested
// WriteTo calls, which draw on the budget of the outermost one.
//
// Arrays and objects reached a second time (shared, or holding themselves)
// are written again as trees: the bytes written for such repeats are counted
// and bounded, so that sharing cannot multiply the output without end. Bytes
// written once per payload are bounded by what the value holds in memory.
struct EncodeBudget {
    int64_t left = CVmValue::kMaxEncodedElements;
    bool spent = false;
    bool repeatsSpent = false;
    const ByteWriter* writer = nullptr;
    std::unordered_set<const void*> seen;
    int repeatDepth = 0;
    size_t repeatStart = 0;
    int64_t repeatedBytes = 0;

    int64_t Repeated(const ByteWriter& out) const {
        if (&out != writer || repeatDepth == 0) return repeatedBytes;
        return repeatedBytes + static_cast<int64_t>(out.Size() - repeatStart);
    }
    // Whether `more` bytes may still be written at this point.
    bool Allows(const ByteWriter& out, int64_t more) {
        if (repeatDepth == 0 || &out != writer) return true;
        if (Repeated(out) + more <= CVmValue::kMaxRepeatedBytes) return true;
        spent = repeatsSpent = true;
        return false;
    }
};
thread_local EncodeBudget* t_encodeBudget = nullptr;

// Takes one element from the budget; false once it is spent.
bool Spend(const ByteWriter& out) {
    EncodeBudget& b = *t_encodeBudget;
    if (b.left <= 0) {
        b.spent = true;
        return false;
    }
    --b.left;
    return b.Allows(out, 0);
}

// Notes an array or object as reached; one reached before starts a repeat,
// whose bytes are counted when the outermost repeat's scope ends.
class RepeatScope {
public:
    RepeatScope(const ByteWriter& out, const void* payload) : m_out(out) {
        EncodeBudget& b = *t_encodeBudget;
        if (&out != b.writer || b.seen.insert(payload).second) {
            if (b.repeatDepth == 0) return;
        } else if (b.repeatDepth == 0) {
            b.repeatStart = out.Size();
        }
        ++b.repeatDepth;
        m_counted = true;
    }
    ~RepeatScope() {
        if (!m_counted) return;
        EncodeBudget& b = *t_encodeBudget;
        if (--b.repeatDepth == 0) b.repeatedBytes += static_cast<int64_t>(m_out.Size() - b.repeatStart);
    }
    RepeatScope(const RepeatScope&) = delete;
    RepeatScope& operator=(const RepeatScope&) = delete;

private:
    const ByteWriter& m_out;
    bool m_counted = false;
};

}  // namespace

VmObjectFactory* VmSetObjectFactory(VmObjectFactory* factory) {
    VmObjectFactory* old = g_objectFactory;
    g_objectFactory = factory;
    return old;
}

VmObjectFactory* VmCurrentObjectFactory() { return g_objectFactory; }

bool CVmValue::WriteTo(ByteWriter& out, std::string* error) const {
    if (!t_encodeBudget) {
        EncodeBudget budget;
        budget.writer = &out;
        struct Outermost {
            explicit Outermost(EncodeBudget* b) { t_encodeBudget = b; }
            ~Outermost() { t_encodeBudget = nullptr; }
        } outermost(&budget);
        const bool ok = WriteTo(out, nullptr);
        if (budget.spent && error) {
            if (budget.repeatsSpent)
                *error = "the value writes more than " + std::to_string(kMaxRepeatedBytes) +
                         " bytes again for arrays and objects it holds more than once (arrays shared many times).";
            else
                *error = "the value has more than " + std::to_string(kMaxEncodedElements) +
                         " array elements and objects to write (an array that holds itself, or arrays shared many "
                         "times).";
        }
        return ok && !budget.spent;
    }
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
        if (!t_encodeBudget->Allows(out, 4 + int64_t(asString->Length()))) return false;
        out.PutString(asString->CStr(), asString->Length());
        return true;
    case VmValueType::Vector:
        if (!t_encodeBudget->Allows(out, 4 + 4 * int64_t(asVector->count))) return false;
        out.PutInt32(asVector->count);
        for (int32_t i = 0; i < asVector->count; ++i) out.PutFloat(asVector->data[i]);
        return true;
    case VmValueType::Array: {
        NestingGuard guard;
        if (!asArray || guard.TooDeep()) {
            out.PutInt32(0);
            return !asArray;
        }
        const CVmArray* a = asArray;
        RepeatScope repeat(out, a);
        out.PutInt32(a->count);
        bool ok = true;
        for (int32_t i = 0; i < a->count; ++i) {
            if (!Spend(out)) return false;
            ok = a->items[i].WriteTo(out, nullptr) && ok;
        }
        return ok;
    }
    case VmValueType::Object: {
        NestingGuard guard;
        std::string name = asObject ? asObject->ClassName() : "";
        for (char& c : name) c = FoldUpper(c);
        out.PutString(name.data(), static_cast<int32_t>(name.size()));
        if (!asObject || guard.TooDeep() || !Spend(out)) return false;
        RepeatScope repeat(out, asObject);
        return asObject->Serialize(out) && t_encodeBudget->Allows(out, 0);
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
        type = static_cast<VmValueType>(code);
        asRaw = 0;
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
        if (n < 0 || !in.Budget().TakeBytes(n)) return in.Fail();
        const uint8_t* p = in.Take(static_cast<size_t>(n));
        if (!p) return false;
        SetString(reinterpret_cast<const char*>(p), n);
        return true;
    }
    case VmValueType::Vector: {
        int32_t n;
        if (!in.GetInt32(n)) return false;
        if (n < 0 || static_cast<uint64_t>(n) * 4 > in.Remaining() || n > CVmArray::kMaxCount ||
            !in.Budget().TakeBytes(int64_t{n} * 4))
            return in.Fail();
        SetType(VmValueType::Vector);
        asVector->Init(n, 0);
        for (int32_t i = 0; i < n; ++i) in.GetFloat(asVector->data[i]);
        return true;
    }
    case VmValueType::Array: {
        NestingGuard guard;
        int32_t n;
        if (!in.GetInt32(n)) return false;
        // Every element takes at least its type byte: of what is left here,
        // and of what the whole decode may still make (nested arrays would
        // otherwise each reserve what is left).
        if (n < 0 || guard.TooDeep() || static_cast<uint64_t>(n) > in.Remaining() || n > CVmArray::kMaxCount ||
            !in.ReserveElements(n))
            return in.Fail();
        CVmArray* a = new CVmArray(n);
        SetArray(a);
        for (int32_t i = 0; i < n; ++i) {
            if (!a->items[i].ReadFrom(in, factory)) {
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
// without recursing forever, and the elements the outermost print may still
// write (arrays shared many times over would print for ever).
thread_local std::vector<const CVmArray*>* t_printing = nullptr;
thread_local int64_t t_printBudget = 0;

void WriteText(std::ostream& os, const CVmValue* v);

void WriteArray(std::ostream& os, const CVmArray* a) {
    if (!a) {
        os << "{  }";
        return;
    }
    std::vector<const CVmArray*> local;
    std::vector<const CVmArray*>*& stack = t_printing;
    const bool outermost = stack == nullptr;
    if (outermost) {
        stack = &local;
        t_printBudget = CVmValue::kMaxEncodedElements;
    }
    t_printBudget -= a->count;
    bool cycle = static_cast<int>(stack->size()) >= CVmValue::kMaxNesting || t_printBudget < 0;
    for (const CVmArray* p : *stack) cycle = cycle || p == a;
    if (cycle) {
        os << "{ ... }";
    } else {
        stack->push_back(a);
        os << "{ ";
        for (int32_t i = 0; i < a->count; ++i) {
            if (i) os << " , ";
            WriteText(os, a->items + i);
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
        const CVmString& s = *v->asString;
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
        for (int32_t i = 0; i < v->asVector->count; ++i) {
            if (i) os << " , ";
            os << v->asVector->data[i];
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
