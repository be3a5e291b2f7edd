// What the streamer does with each message from its server: control and
// parameter values stored, data chunks queued per channel, connection
// events, and bad messages dropped without a trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Streamer/StreamerState.h"

namespace {

void Handle(StreamerState& state, const std::string& message, StreamPeerAddress sender = {}) {
    StreamerHandleMessage(state, reinterpret_cast<const uint8_t*>(message.data()), message.size(), sender);
}

std::string Data(int channel, const std::string& chunk) {
    return std::string("\x70\x09", 2) + static_cast<char>(channel) + chunk;
}

}  // namespace

TEST(StreamerMessages, ControlParameterAndConnectionMessagesChangeTheState) {
    struct Step {
        std::string message;
        int32_t streamingState, mode, param;
    };
    const Step steps[] = {
        {std::string("\x71\x05\x02", 3), 2, 5, 0},
        {std::string("\x71\x07", 2), 2, 5, 0},  // short: dropped
        {std::string("\x71", 1), 2, 5, 0},
        {std::string("\x72\x01\x02\x03\x04", 5), 2, 5, 0x04030201},
        {std::string("\x72\xFE\xFF\xFF\xFF\x55", 6), 2, 5, -2},
        {std::string("\x72\x01\x02\x03", 4), 2, 5, -2},  // short: dropped
        {"", 2, 5, -2},
        {std::string("\x63\x01\x01", 3), 2, 5, -2},  // not ours: ignored
        {std::string("\x71\xFF\x01", 3), 1, 255, -2},
        {std::string("\x16", 1), 0, 0, -2},  // the connection lost
    };
    StreamerState state;
    EXPECT_EQ(state.streamingState, 0);
    EXPECT_EQ(state.streamMode, -1);
    for (const Step& step : steps) {
        Handle(state, step.message);
        EXPECT_EQ(state.streamingState, step.streamingState) << testing::PrintToString(step.message);
        EXPECT_EQ(state.streamMode, step.mode) << testing::PrintToString(step.message);
        EXPECT_EQ(state.streamParam, step.param) << testing::PrintToString(step.message);
    }

    StreamPeerAddress server;
    server.host = 0x0100007F;
    server.port = 59999;
    server.index = 0;
    Handle(state, std::string("\x10", 1), server);
    EXPECT_EQ(state.serverAddress.host, 0x0100007Fu);
    EXPECT_EQ(state.serverAddress.port, 59999);
}

TEST(StreamerMessages, DataGoesToTheQueueOfItsChannelAndOversizedChunksAreDropped) {
    StreamerState state;
    Handle(state, Data(7, "abc"));
    ASSERT_TRUE(state.queues[7]);
    EXPECT_EQ(state.queues[7]->Capacity(), 256000);
    std::vector<uint8_t> chunk;
    ASSERT_TRUE(state.queues[7]->Pop(chunk));
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), "abc");
    EXPECT_EQ(state.bytesReceived, 6u);

    // A header without a channel is dropped; the largest chunk a 16-bit
    // length holds is kept, one byte more is dropped, and so are 70,000.
    Handle(state, std::string("\x70\x00", 2));
    Handle(state, Data(8, std::string(65535, 'x')));
    Handle(state, Data(9, std::string(65536, 'x')));
    Handle(state, Data(10, std::string(70000 - 3, 'x')));
    ASSERT_TRUE(state.queues[8]);
    EXPECT_EQ(state.queues[8]->BytesUsed(), 65537);
    EXPECT_FALSE(state.queues[9]);
    EXPECT_FALSE(state.queues[10]);
    EXPECT_EQ(state.bytesReceived, 6u + 65538u);

    // A full queue refuses; its channel's next chunks are lost, the others'
    // are not.
    for (int i = 0; i < 3; ++i) Handle(state, Data(8, std::string(65535, 'y')));
    EXPECT_EQ(state.queues[8]->ChunkCount(), 3);
    Handle(state, Data(7, "next"));
    EXPECT_EQ(state.queues[7]->ChunkCount(), 1);

    // Every channel gets its own queue on its first chunk.
    StreamerState all;
    for (int channel = 0; channel < 256; ++channel) Handle(all, Data(channel, "c"));
    for (int channel = 0; channel < 256; ++channel) {
        ASSERT_TRUE(all.queues[channel]) << channel;
        EXPECT_EQ(all.queues[channel]->ChunkCount(), 1) << channel;
    }
}
