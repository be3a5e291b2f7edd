#include "Streamer/StreamQueue.h"

#include <cstring>
#include <mutex>

namespace {

constexpr int32_t kLengthBytes = 2;

uint16_t ReadLength(const uint8_t* at) {
    uint16_t n;
    std::memcpy(&n, at, sizeof n);
    return n;
}

void WriteLength(uint8_t* at, uint16_t n) { std::memcpy(at, &n, sizeof n); }

}  // namespace

StreamQueue::StreamQueue(int32_t capacity)
    : m_storage(new uint8_t[capacity > 0 ? capacity : 0]), m_capacity(capacity > 0 ? capacity : 0) {
    m_read = m_write = m_storage.get();
    m_end = m_storage.get() + m_capacity;
}

int StreamQueue::Push(uint16_t length, const uint8_t* data) {
    if (!m_active) return 0;
    // An empty chunk carries nothing, and its zero length would read as the
    // wrap marker.
    if (length == 0) return 0;
    std::lock_guard<CCriticalSection> lock(m_lock);
    const int32_t need = length + kLengthBytes;
    if (need > m_capacity - m_used) return 0;
    const int32_t tail = static_cast<int32_t>(m_end - m_write);
    if (tail < need) {
        // The bytes skipped at the end count as used until the reader
        // passes them, so the chunk never runs into unread ones. (Without a
        // reader the write position is where the used bytes end, so this
        // branch is never reached.)
        if (need > m_capacity - m_used - tail) return 0;
        if (tail >= kLengthBytes) WriteLength(m_write, 0);
        m_used += tail;
        m_write = m_storage.get();
    }
    WriteLength(m_write, length);
    std::memcpy(m_write + kLengthBytes, data, length);
    m_write += need;
    m_used += need;
    ++m_chunks;
    m_ready.Set();
    return 1;
}

bool StreamQueue::Pop(std::vector<uint8_t>& chunk) {
    std::lock_guard<CCriticalSection> lock(m_lock);
    if (m_chunks == 0) return false;
    // Fewer than two bytes before the end, or a zero length: the writer
    // wrapped there.
    if (m_end - m_read < kLengthBytes || ReadLength(m_read) == 0) {
        m_used -= static_cast<int32_t>(m_end - m_read);
        m_read = m_storage.get();
    }
    const uint16_t length = ReadLength(m_read);
    chunk.assign(m_read + kLengthBytes, m_read + kLengthBytes + length);
    m_read += length + kLengthBytes;
    m_used -= length + kLengthBytes;
    --m_chunks;
    return true;
}

int32_t StreamQueue::ChunkCount() {
    std::lock_guard<CCriticalSection> lock(m_lock);
    return m_chunks;
}

int32_t StreamQueue::BytesUsed() {
    std::lock_guard<CCriticalSection> lock(m_lock);
    return m_used;
}
