// The streamer against a test server on a free port: the connection, the
// frame messages and their size limit, refusals, bad messages from the
// server, and a lost connection tried again.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Streamer/StreamerState.h"
#include "support/StreamTestServer.h"

using namespace std::chrono_literals;
using qemtest::StreamFrameMessage;
using qemtest::StreamTestServer;

namespace {

const std::string kStartStreaming("\x71\x00\x02", 3);

// Polls the condition (under the state's lock) for up to the time.
template <typename Condition>
bool WaitUntil(StreamerState& state, Condition condition, std::chrono::milliseconds time = 5s) {
    const auto until = std::chrono::steady_clock::now() + time;
    for (;;) {
        {
            std::lock_guard<CCriticalSection> lock(state.lock);
            if (condition()) return true;
        }
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(5ms);
    }
}

// A streamer connected to the server, which asked it to stream.
class StreamerConnection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Listening());
        EXPECT_EQ(StreamerConnect(state, "127.0.0.1", server.Port()), 1);
        ASSERT_TRUE(server.WaitConnections(1, 5s));
        ASSERT_TRUE(WaitUntil(state, [&] { return state.streamingState == 2; }));
        EXPECT_EQ(state.streamMode, 0);
    }
    void TearDown() override { StreamerStop(state); }

    void SendFrame(size_t size) {
        const std::vector<uint8_t> frame(size, 0xA5);
        StreamerSendFrame(state, frameBuffer.data(), frame.data(), frame.size());
    }

    StreamTestServer server{0, kStartStreaming};
    StreamerState state;
    std::vector<uint8_t> frameBuffer = std::vector<uint8_t>(64000);
};

}  // namespace

TEST(StreamerSend, RefusesWithoutAStreamAndOutsideItsSizes) {
    StreamerState state;
    const std::vector<uint8_t> bytes(64001, 1);
    EXPECT_EQ(StreamerSend(state, 10, bytes.data()), 0);  // streaming state 0
    state.streamingState = 1;
    EXPECT_EQ(StreamerSend(state, 0, bytes.data()), 0);
    EXPECT_EQ(StreamerSend(state, 64001, bytes.data()), 0);
    EXPECT_EQ(StreamerSend(state, 10, bytes.data()), 0);  // no connection
}

TEST_F(StreamerConnection, FramesGoOutNumberedUpToTheMessageLimit) {
    const uint32_t first = StreamFrameCounter;
    SendFrame(63980);  // a payload of 64,000 bytes
    SendFrame(63981);  // too large: not sent, its number used
    SendFrame(100);
    ASSERT_TRUE(server.WaitMessages(2, 5s));
    std::this_thread::sleep_for(100ms);
    const std::vector<std::string> messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    StreamFrameMessage a, b;
    ASSERT_TRUE(qemtest::ReadFrameMessage(messages[0], a));
    ASSERT_TRUE(qemtest::ReadFrameMessage(messages[1], b));
    EXPECT_EQ(messages[0].size(), 64003u);
    EXPECT_EQ(a.number, first);
    EXPECT_TRUE(a.zeroes);
    EXPECT_EQ(a.frame, std::string(63980, '\xA5'));
    EXPECT_EQ(b.number, first + 2);
    EXPECT_EQ(b.frame.size(), 100u);
    EXPECT_EQ(StreamFrameCounter, first + 3);

    // The rates follow what was sent; the statistics describe the connection.
    EXPECT_TRUE(WaitUntil(state, [&] { return state.sendRate > 0; }, 2s));
    EXPECT_TRUE(WaitUntil(state, [&] { return !state.statisticsText.empty(); }, 2s));

    // Streaming state 1: no frames (and no numbers), though StreamerSend
    // itself still sends.
    ASSERT_TRUE(server.Send(std::string("\x71\x03\x01", 3)));
    ASSERT_TRUE(WaitUntil(state, [&] { return state.streamingState == 1; }));
    SendFrame(50);
    EXPECT_EQ(StreamFrameCounter, first + 3);
    const uint8_t raw[4] = {1, 2, 3, 4};
    EXPECT_EQ(StreamerSend(state, 4, raw), 4);
    ASSERT_TRUE(server.WaitMessages(3, 5s));
    EXPECT_EQ(server.Messages()[2], std::string("\x70\x00\x01\x01\x02\x03\x04", 7));
}

TEST_F(StreamerConnection, BadMessagesFromTheServerAreDroppedAndTheStreamGoesOn) {
    for (const std::string& bad : {std::string("\x70\x00", 2), std::string("\x71\x00", 2),
                                   std::string("\x72\x01\x02\x03", 4), std::string("\x70\x00\x05", 3) +
                                   std::string(70000 - 3, 'z')})
        ASSERT_TRUE(server.Send(bad));
    // Messages arrive in order: once the parameter is there, so were they.
    ASSERT_TRUE(server.Send(std::string("\x72\x2A\x00\x00\x00", 5)));
    ASSERT_TRUE(WaitUntil(state, [&] { return state.streamParam == 42; }));
    {
        std::lock_guard<CCriticalSection> lock(state.lock);
        EXPECT_EQ(state.streamingState, 2);
        EXPECT_EQ(state.streamMode, 0);
        EXPECT_FALSE(state.queues[5]);
        EXPECT_EQ(state.bytesReceived, 0u);
    }
    const uint32_t next = StreamFrameCounter;
    SendFrame(10);
    ASSERT_TRUE(server.WaitMessages(1, 5s));
    StreamFrameMessage m;
    ASSERT_TRUE(qemtest::ReadFrameMessage(server.Messages()[0], m));
    EXPECT_EQ(m.number, next);
}

TEST_F(StreamerConnection, ALostConnectionStopsTheFramesAndIsTriedAgain) {
    server.Disconnect();
    ASSERT_TRUE(WaitUntil(state, [&] { return state.streamingState == 0 && state.streamMode == 0; }));
    const uint32_t counter = StreamFrameCounter;
    SendFrame(10);
    EXPECT_EQ(StreamFrameCounter, counter);
    // The statistics loop reconnects on its next 3-second mark; the server
    // greets again.
    EXPECT_TRUE(server.WaitConnections(2, 5s));
    EXPECT_TRUE(WaitUntil(state, [&] { return state.streamingState == 2; }));
    SendFrame(10);
    EXPECT_TRUE(server.WaitMessages(1, 5s));
}
