#include "runtime/script/sharedByteBuffer.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "platform/SharedBlock.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr uint8_t kItemInteger = 2;
constexpr uint8_t kItemReal = 3;
constexpr uint8_t kItemBool = 4;
constexpr uint8_t kItemString = 5;
constexpr uint8_t kItemVector = 8;
constexpr int kTryLockMs = 100;

void PutBigEndian(uint8_t* at, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    at[0] = static_cast<uint8_t>(u >> 24);
    at[1] = static_cast<uint8_t>(u >> 16);
    at[2] = static_cast<uint8_t>(u >> 8);
    at[3] = static_cast<uint8_t>(u);
}

int32_t GetBigEndian(const uint8_t* at) {
    return static_cast<int32_t>((static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
                                (static_cast<uint32_t>(at[2]) << 8) | static_cast<uint32_t>(at[3]));
}

// Where the class writes: the machine's output, so that its lines keep
// their place among the script's.
std::ostream& Out() {
    CVirtualMachine* vm = g_currentVM;
    std::ostream* os = vm ? vm->GetOutputStream() : nullptr;
    return os ? *os : std::cout;
}

sharedByteBuffer* BufferOf(CVmClassBase* object) { return dynamic_cast<sharedByteBuffer*>(object); }

}  // namespace

// ---------------------------------------------------------------------------
// The layout

// A mutex held for a scope, when there is one.
class SharedBlockCodec::Held {
public:
    Held(SharedBlockCodec& codec, PbmMemoryMutex* mutex) : m_mutex(mutex) { m_ok = codec.Lock(mutex); }
    ~Held() {
        if (m_ok && m_mutex) m_mutex->Unlock();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    bool Ok() const { return m_ok; }

private:
    PbmMemoryMutex* m_mutex;
    bool m_ok = false;
};

SharedBlockCodec::SharedBlockCodec(SharedBlock& block)
    : m_data(block.Data()), m_size(block.Data() ? block.Size() : 0), m_block(&block) {}

bool SharedBlockCodec::Lock(PbmMemoryMutex* mutex) {
    if (!mutex) return true;
    switch (mutex->Acquire()) {
    case PbmMemoryMutex::Acquired: return true;
    case PbmMemoryMutex::TimedOut: return Fail(Failure::TimedOut);
    case PbmMemoryMutex::Stopped: return Fail(Failure::Stopped);
    case PbmMemoryMutex::Broken: return Fail(Failure::Broken);
    }
    return Fail(Failure::Broken);
}

bool SharedBlockCodec::Copy(int32_t at, void* out, size_t n) {
    if (m_block) return m_block->Read(at, out, n) || Fail(Failure::Broken);
    if (at < 0 || at > m_size || n > static_cast<size_t>(m_size - at)) return Fail(Failure::BadData);
    if (n) std::memcpy(out, m_data + at, n);
    return true;
}

bool SharedBlockCodec::Put(int32_t at, const void* in, size_t n) {
    if (m_block) return m_block->Write(at, in, n) || Fail(Failure::Broken);
    if (at < 0 || at > m_size || n > static_cast<size_t>(m_size - at)) return Fail(Failure::DoesNotFit);
    if (n) std::memcpy(m_data + at, in, n);
    return true;
}

int64_t SharedBlockCodec::ItemSize(const CVmValue& v, bool single) {
    switch (v.type) {
    case VmValueType::Integer:
    case VmValueType::Real:
        return 5;
    case VmValueType::VmRifStr:
    case VmValueType::VmRifVec:
        return single ? 5 : -1;  // as an Integer
    case VmValueType::Bool:
        return 2;
    case VmValueType::String:
        return 5 + static_cast<int64_t>(v.asString->Length());
    case VmValueType::Vector:
        return 5 + 4 * static_cast<int64_t>(v.asVector->count);
    default:
        return -1;
    }
}

bool SharedBlockCodec::PutCount(int32_t count) {
    uint8_t bytes[4];
    PutBigEndian(bytes, count);
    Held low(*this, m_block ? &m_block->Low() : nullptr);
    return low.Ok() && Put(0, bytes, 4);
}

bool SharedBlockCodec::PutItem(int32_t at, const CVmValue& v) {
    // The item is made here, then copied in one piece under the mutex.
    std::vector<uint8_t> item(static_cast<size_t>(ItemSize(v, true) > 0 ? ItemSize(v, true) : 5));
    uint8_t* p = item.data();
    switch (v.type) {
    case VmValueType::Real:
        p[0] = kItemReal;
        std::memcpy(p + 1, &v.asReal, 4);
        break;
    case VmValueType::Bool:
        p[0] = kItemBool;
        p[1] = v.asBool ? 1 : 0;
        break;
    case VmValueType::String:
        p[0] = kItemString;
        PutBigEndian(p + 1, v.asString->Length());
        std::memcpy(p + 5, v.asString->CStr(), static_cast<size_t>(v.asString->Length()));
        break;
    case VmValueType::Vector:
        p[0] = kItemVector;
        PutBigEndian(p + 1, v.asVector->count);
        if (v.asVector->count > 0) std::memcpy(p + 5, v.asVector->data, 4 * static_cast<size_t>(v.asVector->count));
        break;
    default:  // an Integer, or a value stored as one
        p[0] = kItemInteger;
        PutBigEndian(p + 1, v.asInt);
        break;
    }
    Held low(*this, m_block ? &m_block->Low() : nullptr);
    return low.Ok() && Put(at, item.data(), item.size());
}

bool SharedBlockCodec::Encode(const CVmValue& value, bool* wroteArray) {
    m_failure = Failure::None;
    if (wroteArray) *wroteArray = false;
    if (m_block && !m_block->Intact()) return Fail(Failure::Broken);
    if (value.type != VmValueType::Array) {
        const int64_t size = ItemSize(value, true);
        if (size < 0 || 4 + size > m_size) return Fail(Failure::DoesNotFit);
        return PutItem(4, value) && PutCount(1);
    }
    const CVmArray* array = value.asArray;
    const int32_t n = array ? array->count : 0;
    int64_t total = 4;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t size = ItemSize(*array->GetAt(i), false);
        if (size > 0) total += size;
    }
    if (total > m_size) return Fail(Failure::DoesNotFit);
    if (!PutCount(0)) return false;
    Held high(*this, m_block ? &m_block->High() : nullptr);
    if (!high.Ok()) return false;
    int32_t position = 4;
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        const CVmValue& e = *array->GetAt(i);
        const int64_t size = ItemSize(e, false);
        if (size < 0) continue;
        if (!PutItem(position, e) || !PutCount(++count)) return false;
        position += static_cast<int32_t>(size);
    }
    if (wroteArray) *wroteArray = true;
    return true;
}

bool SharedBlockCodec::GetItem(int32_t at, CVmValue& out, int32_t& size, DecodeBudget& budget) {
    if (at < 4 || at >= m_size) return Fail(Failure::BadData);
    const int64_t left = static_cast<int64_t>(m_size) - at;  // the type byte included
    uint8_t head[5] = {};
    std::vector<uint8_t> payload;
    {
        // The type and the payload are read under one hold of the mutex,
        // each once: what is checked is what is used.
        Held low(*this, m_block ? &m_block->Low() : nullptr);
        if (!low.Ok() || !Copy(at, head, static_cast<size_t>(left < 5 ? left : 5))) return false;
        int64_t bytes = 0;
        switch (head[0]) {
        case kItemInteger:
        case kItemReal: size = 5; break;
        case kItemBool: size = 2; break;
        case kItemString:
        case kItemVector: {
            const int32_t n = GetBigEndian(head + 1);
            bytes = head[0] == kItemString ? int64_t{n} : int64_t{n} * 4;
            if (left < 5 || n < 0 || bytes > left - 5 || (head[0] == kItemString && n > CVmString::kMaxLength))
                return Fail(Failure::BadData);
            size = static_cast<int32_t>(5 + bytes);
            break;
        }
        default: return Fail(Failure::BadData);
        }
        if (size > left || !budget.TakeElements(1) || !budget.TakeBytes(bytes)) return Fail(Failure::BadData);
        payload.resize(static_cast<size_t>(bytes));
        if (bytes > 0 && !Copy(at + 5, payload.data(), payload.size())) return false;
    }
    switch (head[0]) {
    case kItemInteger: out.SetInteger(GetBigEndian(head + 1)); break;
    case kItemReal: {
        float f;
        std::memcpy(&f, head + 1, 4);
        out.SetReal(f);
        break;
    }
    case kItemBool: out.SetBool(head[1] != 0); break;
    case kItemString:
        out.SetString(reinterpret_cast<const char*>(payload.data()), static_cast<int32_t>(payload.size()));
        break;
    default: {
        const int32_t n = static_cast<int32_t>(payload.size() / 4);
        std::vector<float> values(static_cast<size_t>(n));
        if (n > 0) std::memcpy(values.data(), payload.data(), payload.size());
        out.SetVector(values.data(), n);
        break;
    }
    }
    return true;
}

bool SharedBlockCodec::Decode(CVmValue& out) {
    m_failure = Failure::None;
    if (!m_data || m_size < 4) return Fail(Failure::Empty);
    if (m_block && !m_block->Intact()) return Fail(Failure::Broken);
    uint8_t head[4];
    {
        Held low(*this, m_block ? &m_block->Low() : nullptr);
        if (!low.Ok() || !Copy(0, head, 4)) return false;
    }
    const int32_t count = GetBigEndian(head);
    // Each item takes a byte of the block at least, whatever the count says.
    DecodeBudget budget(static_cast<uint64_t>(m_size - 4));
    int32_t size = 0;
    if (count < 1) return Fail(Failure::Empty);
    if (count == 1) return GetItem(4, out, size, budget);
    // The smallest item has two bytes.
    if (count > CVmArray::kMaxCount || count > (m_size - 4) / 2) return Fail(Failure::BadData);
    CVmValue result;
    result.SetArray(new CVmArray());
    Held high(*this, m_block ? &m_block->High() : nullptr);
    if (!high.Ok()) return false;
    int32_t position = 4;
    CVmValue item;
    for (int32_t i = 0; i < count; ++i) {
        if (!GetItem(position, item, size, budget)) return false;
        result.asArray->Append(item);
        position += size;
    }
    out.Move(result);
    return true;
}

// ---------------------------------------------------------------------------
// The script object

sharedByteBuffer::sharedByteBuffer(const std::string& name, int32_t size) : m_name(name.substr(0, 499)) {
    SharedBlock::Outcome outcome;
    m_block = SharedBlock::Attach(m_name, size, outcome);
    std::ostream& out = Out();
    if (outcome == SharedBlock::CreateFailed) {
        out << " Unable to create a shared memory file.\n";
        return;
    }
    if (outcome == SharedBlock::MapFailed) {
        out << "Unable to create a view on shared memory.\n";
        return;
    }
    out << "Shared memory " << m_name << " has been successfully "
        << (outcome == SharedBlock::Connected ? "connected" : "created") << "....\n";
    out << m_block->MessageId() << "\n";
}

sharedByteBuffer::~sharedByteBuffer() {
    std::ostream& out = Out();
    if (m_block) {
        // Locks the script still holds go back before the mutexes are let go.
        for (; m_locks > 0; --m_locks) m_block->Low().Unlock();
        m_block.reset();
    } else {
        out << "Could not unmap view of shared memoryfile.\n";
    }
    out << "Shared memory " << m_name << " has been successfully destroyed....\n";
}

void sharedByteBuffer::ReportFailure(SharedBlockCodec::Failure failure) const {
    // Empty or unreadable content and values that do not fit answer as the
    // methods say; another process that keeps a mutex or cut the block
    // short is an error of the call.
    if (failure == SharedBlockCodec::Failure::TimedOut)
        VmErrorStream() << "Timed out waiting for the lock of shared memory " << m_name << " (another process keeps it).";
    else if (failure == SharedBlockCodec::Failure::Broken)
        VmErrorStream() << "Shared memory " << m_name << " cannot be used: another process cut it short.";
}

bool sharedByteBuffer::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Lock", &CRegister::Lock);
    AddMethod("Unlock", &CRegister::Unlock);
    AddMethod("TryLock", &CRegister::TryLock);
    AddMethod("VarDecode", &CRegister::VarDecode);
    AddMethod("VarEncode", &CRegister::VarEncode);
    AddMethod("GetEventID", &CRegister::GetEventID);
    return true;
}

void sharedByteBuffer::CRegister::Create(CVmClassBase*, int) {
    std::string name;
    int32_t size;
    if (!ReadParams(name, size)) return;
    auto* buffer = new sharedByteBuffer(name, size);
    // The engine hands the last buffer's message to OnEvent.
    if (buffer->m_block && g_engineState)
        g_engineState->Input().sharedBufferMessage = static_cast<int32_t>(buffer->m_block->MessageId());
    ReturnObject(buffer);
}

void sharedByteBuffer::CRegister::Lock(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (!b || !b->m_block) return;
    // A block cut short is no use to lock.
    if (!b->m_block->Intact()) return b->ReportFailure(SharedBlockCodec::Failure::Broken);
    switch (b->m_block->Low().Acquire()) {
    case PbmMemoryMutex::Acquired: ++b->m_locks; break;
    case PbmMemoryMutex::TimedOut: b->ReportFailure(SharedBlockCodec::Failure::TimedOut); break;
    case PbmMemoryMutex::Broken: b->ReportFailure(SharedBlockCodec::Failure::Broken); break;
    case PbmMemoryMutex::Stopped: break;  // the stop request ends the script
    }
}

void sharedByteBuffer::CRegister::Unlock(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (b && b->m_block && b->m_block->Low().Unlock() && b->m_locks > 0) --b->m_locks;
}

void sharedByteBuffer::CRegister::TryLock(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (!b || !b->m_block) {
        VmReturnBool(false);
        return;
    }
    std::ostream& out = Out();
    out << "Acquiring TryLock...\n";
    out.flush();
    const bool acquired = b->m_block->Low().TryLock(kTryLockMs);
    if (acquired) ++b->m_locks;
    out << (acquired ? "TryLock acquired...\n" : "TryLock not acquired.\n");
    VmReturnBool(acquired);
}

void sharedByteBuffer::CRegister::VarDecode(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (!b || !b->m_block) return;
    SharedBlockCodec codec(*b->m_block);
    CVmValue value;
    if (!codec.Decode(value)) return b->ReportFailure(codec.LastFailure());
    if (CVmValue* r = VmGetReturnSlot()) r->Move(value);
}

void sharedByteBuffer::CRegister::VarEncode(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    CVmValue* value = nullptr;
    if (!b || !ReadParams(value)) return;
    if (!b->m_block) {
        VmReturnBool(false);
        return;
    }
    SharedBlockCodec codec(*b->m_block);
    bool array = false;
    const bool written = codec.Encode(*value, &array);
    if (array) b->m_block->Notify();
    if (!written) b->ReportFailure(codec.LastFailure());
    VmReturnBool(written);
}

void sharedByteBuffer::CRegister::GetEventID(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (b) VmReturnInteger(b->m_block ? static_cast<int32_t>(b->m_block->MessageId()) : 0);
}
