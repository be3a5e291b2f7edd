// The per-channel chunk ring: chunks behind their lengths, refusal when
// full, and the wrap behind a zero marker once a reader has made room.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Streamer/StreamQueue.h"

namespace {

int Push(StreamQueue& q, const std::string& chunk) {
    return q.Push(static_cast<uint16_t>(chunk.size()), reinterpret_cast<const uint8_t*>(chunk.data()));
}

std::string Pop(StreamQueue& q) {
    std::vector<uint8_t> chunk;
    if (!q.Pop(chunk)) return "<none>";
    return std::string(chunk.begin(), chunk.end());
}

std::string Stored(const StreamQueue& q, size_t from, size_t count) {
    return std::string(reinterpret_cast<const char*>(q.Storage()) + from, count);
}

}  // namespace

TEST(StreamQueue, StoresChunksBehindTheirLengthsUntilFull) {
    StreamQueue q(16);
    EXPECT_FALSE(q.Ready().IsSet());
    EXPECT_EQ(Push(q, "abc"), 1);
    EXPECT_TRUE(q.Ready().Wait(0));
    EXPECT_EQ(Push(q, "defg"), 1);
    EXPECT_EQ(Stored(q, 0, 11), std::string("\x03\x00" "abc" "\x04\x00" "defg", 11));
    EXPECT_EQ(q.ChunkCount(), 2);
    EXPECT_EQ(q.BytesUsed(), 11);

    EXPECT_EQ(Push(q, "1234"), 0);  // 6 bytes, 5 free
    EXPECT_EQ(Push(q, ""), 0);      // nothing to store; its zero would read as a wrap
    EXPECT_EQ(Push(q, "123"), 1);   // exactly the 5 free bytes
    EXPECT_EQ(Push(q, "x"), 0);
    EXPECT_EQ(q.ChunkCount(), 3);
    EXPECT_EQ(q.BytesUsed(), 16);
    EXPECT_EQ(Pop(q), "abc");
    EXPECT_EQ(Pop(q), "defg");
    EXPECT_EQ(Pop(q), "123");
    EXPECT_EQ(Pop(q), "<none>");
}

TEST(StreamQueue, AChunkThatDoesNotFitBeforeTheEndStartsAgainAtTheStart) {
    // 20 bytes: two chunks end at 18, the reader takes the first; the
    // third chunk leaves a zero length at 18 and starts at 0.
    StreamQueue q(20);
    ASSERT_EQ(Push(q, "AAAAAAAA"), 1);
    ASSERT_EQ(Push(q, "BBBBBB"), 1);
    ASSERT_EQ(Pop(q), "AAAAAAAA");
    EXPECT_EQ(Push(q, "CCCCCCCCC"), 0);  // after the skipped 2 bytes only 10 are free before the reader
    EXPECT_EQ(Push(q, "CCCCCC"), 1);
    EXPECT_EQ(Stored(q, 18, 2), std::string(2, '\0'));
    EXPECT_EQ(Stored(q, 0, 8), std::string("\x06\x00" "CCCCCC", 8));
    EXPECT_EQ(q.BytesUsed(), 18);
    EXPECT_EQ(Pop(q), "BBBBBB");
    EXPECT_EQ(Pop(q), "CCCCCC");
    EXPECT_EQ(q.BytesUsed(), 0);
    EXPECT_EQ(Pop(q), "<none>");

    // With fewer than two bytes left at the end there is no marker: the
    // reader wraps there by itself.
    for (int capacity : {11, 12}) {
        StreamQueue r(capacity);
        ASSERT_EQ(Push(r, "abc"), 1);   // 0..4
        ASSERT_EQ(Push(r, "dddd"), 1);  // 5..10: 0 or 1 byte left
        ASSERT_EQ(Pop(r), "abc");
        EXPECT_EQ(Push(r, "ff"), 1) << capacity;
        EXPECT_EQ(Stored(r, 0, 4), std::string("\x02\x00" "ff", 4)) << capacity;
        EXPECT_EQ(Pop(r), "dddd") << capacity;
        EXPECT_EQ(Pop(r), "ff") << capacity;
        EXPECT_EQ(r.BytesUsed(), 0) << capacity;
    }
}
