#include "ByteBufferContent.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

// The live buffers by handle. Buffers are made and dropped on any thread
// (the timer's scripts too), so the table has a lock.
struct HandleTable {
    std::mutex lock;
    std::unordered_map<int32_t, ByteBufferContent*> buffers;
    int32_t last = 0;
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable();  // outlives every static buffer
    return *table;
}

}  // namespace

ByteBufferContent::~ByteBufferContent() {
    if (!m_handle) return;
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    t.buffers.erase(m_handle);
}

bool ByteBufferContent::ByteAt(int32_t pos, uint8_t& value) const {
    if (pos < 0 || pos > ViewSize()) return false;
    value = View()[pos];  // the zero that follows the bytes at pos == ViewSize()
    return true;
}

int32_t ByteBufferContent::SetOffset(int32_t offset) {
    m_offset = std::max(0, std::min(offset, Length() - 1));
    return m_offset;
}

void ByteBufferContent::Fill(uint8_t value) { std::memset(View(), value, static_cast<size_t>(ViewSize())); }

int32_t ByteBufferContent::CopyToView(const void* source, size_t n) {
    const size_t count = std::min(n, static_cast<size_t>(ViewSize()));
    if (count) std::memmove(View(), source, count);
    return static_cast<int32_t>(count);
}

bool ByteBufferContent::Reset(int64_t n, uint8_t fill) {
    if (!ValidSize(n)) return false;
    m_bytes.assign(static_cast<size_t>(n), static_cast<char>(fill));
    return true;
}

bool ByteBufferContent::Assign(const void* source, size_t n) {
    if (n > static_cast<size_t>(kMaxSize)) return false;
    m_bytes.assign(static_cast<const char*>(source), n);
    return true;
}

bool ByteBufferContent::Append(const void* source, size_t n) {
    if (n > static_cast<size_t>(kMaxSize - Length())) return false;
    m_bytes.append(static_cast<const char*>(source), n);
    return true;
}

bool ByteBufferContent::Resize(int64_t n) {
    if (!ValidSize(n)) return false;
    m_bytes.resize(static_cast<size_t>(n), '\0');
    return true;
}

int32_t ByteBufferContent::Handle() {
    if (m_handle) return m_handle;
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    // The next number that is not in use, from 1 to INT32_MAX and round.
    do {
        t.last = t.last == INT32_MAX ? 1 : t.last + 1;
    } while (t.buffers.count(t.last));
    m_handle = t.last;
    t.buffers[m_handle] = this;
    return m_handle;
}

bool ByteBufferContent::WithHandle(int32_t handle, const std::function<void(ByteBufferContent&)>& f) {
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.buffers.find(handle);
    if (it == t.buffers.end()) return false;
    f(*it->second);
    return true;
}
