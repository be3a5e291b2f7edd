// Reads arbitrary bytes as messages from the streaming server, each behind
// a 16-bit length (high byte first), and hands them to the streamer's
// receive handling, with small queues so that they fill and wrap. A message
// whose first byte is 0xFF (an id the streamer ignores) also makes a reader
// take a chunk from the channel its second byte names. What the reader
// takes must be exactly what was stored, in order, and no queue may ever
// hold more than its capacity.
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "Streamer/StreamerState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    StreamerState state;
    state.queueCapacity = 8 + data[0] * 4;
    std::map<int, std::deque<std::string>> stored;
    std::vector<uint8_t> chunk;
    size_t at = 1;
    while (at + 2 <= size) {
        size_t n = static_cast<size_t>(data[at]) << 8 | data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        const uint8_t* m = data + at;
        at += n;

        const int channel = n >= 3 ? m[2] : -1;
        const int32_t before = channel >= 0 && state.queues[channel] ? state.queues[channel]->ChunkCount() : 0;
        StreamerHandleMessage(state, m, n, StreamPeerAddress());
        if (channel >= 0 && m[0] == MSG_STREAM_DATA && state.queues[channel] &&
            state.queues[channel]->ChunkCount() > before)
            stored[channel].emplace_back(reinterpret_cast<const char*>(m + 3), n - 3);

        if (n >= 2 && m[0] == 0xFF && state.queues[m[1]]) {
            std::deque<std::string>& expected = stored[m[1]];
            const bool taken = state.queues[m[1]]->Pop(chunk);
            if (taken != !expected.empty()) std::abort();
            if (taken) {
                if (std::string(chunk.begin(), chunk.end()) != expected.front()) std::abort();
                expected.pop_front();
            }
        }
        if (state.streamingState < 0 || state.streamingState > 255 || state.streamMode < -1 || state.streamMode > 255)
            std::abort();
    }
    for (int c = 0; c < kStreamChannels; ++c) {
        if (!state.queues[c]) continue;
        StreamQueue& q = *state.queues[c];
        if (q.BytesUsed() < 0 || q.BytesUsed() > q.Capacity()) std::abort();
        if (q.ChunkCount() != static_cast<int32_t>(stored[c].size())) std::abort();
        while (q.Pop(chunk)) {
            if (std::string(chunk.begin(), chunk.end()) != stored[c].front()) std::abort();
            stored[c].pop_front();
        }
        if (q.BytesUsed() != 0) std::abort();
    }
    return 0;
}
