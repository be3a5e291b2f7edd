// The chunks the streaming server sent on one channel, kept in a ring of
// fixed capacity. A chunk is stored as its 16-bit length (native byte
// order) and its bytes; a zero length marks the wrap, after which the next
// chunk starts at the start of the storage. The streamer only fills its
// queues; Pop is the reader's side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CriticalSection.h"
#include "platform/Event.h"

class StreamQueue {
public:
    explicit StreamQueue(int32_t capacity);
    StreamQueue(const StreamQueue&) = delete;
    StreamQueue& operator=(const StreamQueue&) = delete;

    // 1 when the chunk was stored, 0 when it was refused (an inactive queue,
    // or fewer free bytes than the chunk and its length take).
    int Push(uint16_t length, const uint8_t* data);
    // Takes the oldest chunk into `chunk`; false when there is none.
    bool Pop(std::vector<uint8_t>& chunk);

    int32_t Capacity() const { return m_capacity; }
    int32_t ChunkCount();
    int32_t BytesUsed();
    // The storage, for looking at how chunks lie in it.
    const uint8_t* Storage() const { return m_storage.get(); }
    // Set by every stored chunk.
    CEvent& Ready() { return m_ready; }

private:
    std::unique_ptr<uint8_t[]> m_storage;
    uint8_t* m_read;
    uint8_t* m_write;
    uint8_t* m_end;
    int32_t m_active = 1;
    int32_t m_chunks = 0;
    int32_t m_capacity;
    // Every stored chunk's length plus 2, and the bytes a wrap skipped at
    // the end of the storage, until a reader takes them.
    int32_t m_used = 0;
    CCriticalSection m_lock;
    CEvent m_ready{false};
};
