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

// Runs f with the mutex held (when there is one).
template <class F>
void Holding(PbmMemoryMutex* mutex, F&& f) {
    const bool held = mutex && mutex->Lock();
    f();
    if (held) mutex->Unlock();
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

void SharedBlockCodec::PutCount(int32_t count) {
    Holding(m_low, [&] { PutBigEndian(m_data, count); });
}

void SharedBlockCodec::PutItem(int32_t at, const CVmValue& v) {
    Holding(m_low, [&] {
        uint8_t* p = m_data + at;
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
    });
}

bool SharedBlockCodec::Encode(const CVmValue& value, bool* wroteArray) {
    if (wroteArray) *wroteArray = false;
    if (value.type != VmValueType::Array) {
        const int64_t size = ItemSize(value, true);
        if (size < 0 || 4 + size > m_size) return false;
        PutItem(4, value);
        PutCount(1);
        return true;
    }
    const CVmArray* array = value.asArray;
    const int32_t n = array ? array->count : 0;
    int64_t total = 4;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t size = ItemSize(*array->GetAt(i), false);
        if (size > 0) total += size;
    }
    if (total > m_size) return false;
    PutCount(0);
    const bool high = m_high && m_high->Lock();
    int32_t position = 4;
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        const CVmValue& e = *array->GetAt(i);
        const int64_t size = ItemSize(e, false);
        if (size < 0) continue;
        PutItem(position, e);
        PutCount(++count);
        position += static_cast<int32_t>(size);
    }
    if (high) m_high->Unlock();
    if (wroteArray) *wroteArray = true;
    return true;
}

bool SharedBlockCodec::GetItem(int32_t at, CVmValue& out, int32_t& size) {
    if (at < 4 || at >= m_size) return false;
    uint8_t type = 0;
    Holding(m_low, [&] { type = m_data[at]; });
    const int64_t left = static_cast<int64_t>(m_size) - at;  // the type byte included
    bool ok = false;
    Holding(m_low, [&] {
        const uint8_t* p = m_data + at;
        switch (type) {
        case kItemInteger:
        case kItemReal:
            if (left < 5) return;
            if (type == kItemInteger) {
                out.SetInteger(GetBigEndian(p + 1));
            } else {
                float f;
                std::memcpy(&f, p + 1, 4);
                out.SetReal(f);
            }
            size = 5;
            ok = true;
            return;
        case kItemBool:
            if (left < 2) return;
            out.SetBool(p[1] != 0);
            size = 2;
            ok = true;
            return;
        case kItemString: {
            if (left < 5) return;
            const int32_t n = GetBigEndian(p + 1);
            if (n < 0 || n > left - 5 || n > CVmString::kMaxLength) return;
            out.SetString(reinterpret_cast<const char*>(p + 5), n);
            size = 5 + n;
            ok = true;
            return;
        }
        case kItemVector: {
            if (left < 5) return;
            const int32_t n = GetBigEndian(p + 1);
            if (n < 0 || n > (left - 5) / 4) return;
            std::vector<float> values(static_cast<size_t>(n));
            if (n > 0) std::memcpy(values.data(), p + 5, 4 * static_cast<size_t>(n));
            out.SetVector(values.data(), n);
            size = 5 + 4 * n;
            ok = true;
            return;
        }
        default:
            return;
        }
    });
    return ok;
}

bool SharedBlockCodec::Decode(CVmValue& out) {
    if (!m_data || m_size < 4) return false;
    int32_t count = 0;
    Holding(m_low, [&] { count = GetBigEndian(m_data); });
    int32_t size = 0;
    if (count < 1) return false;
    if (count == 1) return GetItem(4, out, size);
    // The smallest item has two bytes.
    if (count > (m_size - 4) / 2) return false;
    CVmValue result;
    result.SetArray(new CVmArray(count));
    const bool high = m_high && m_high->Lock();
    int32_t position = 4;
    bool ok = true;
    for (int32_t i = 0; i < count && ok; ++i) {
        ok = GetItem(position, *result.asArray->GetAt(i), size);
        position += size;
    }
    if (high) m_high->Unlock();
    if (ok) out.Move(result);
    return ok;
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
    if (b && b->m_block && b->m_block->Low().Lock()) ++b->m_locks;
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
    SharedBlockCodec codec(b->m_block->Data(), b->m_block->Size(), &b->m_block->Low(), &b->m_block->High());
    CVmValue value;
    if (!codec.Decode(value)) return;
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
    SharedBlockCodec codec(b->m_block->Data(), b->m_block->Size(), &b->m_block->Low(), &b->m_block->High());
    bool array = false;
    const bool written = codec.Encode(*value, &array);
    if (array) b->m_block->Notify();
    VmReturnBool(written);
}

void sharedByteBuffer::CRegister::GetEventID(CVmClassBase* object, int) {
    sharedByteBuffer* b = BufferOf(object);
    if (b) VmReturnInteger(b->m_block ? static_cast<int32_t>(b->m_block->MessageId()) : 0);
}
