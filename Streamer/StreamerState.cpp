#include "Streamer/StreamerState.h"

#include <chrono>
#include <cstring>
#include <mutex>

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Hands the new thread its role and waits until it has taken it.
std::thread StartRole(StreamerState& state, int32_t role) {
    state.selector = role;
    std::thread thread(StreamerThreadEntry, &state);
    while (state.selector != 0) SleepMs(1);
    return thread;
}

}  // namespace

void StreamFrameHeader::Write(uint8_t* to) const {
    for (int i = 0; i < 4; ++i) to[i] = static_cast<uint8_t>(frameNumber >> (8 * i));
    std::memset(to + 4, 0, kStreamFrameHeaderBytes - 4);
}

int StreamerConnect(StreamerState& state, const char* host, uint16_t port) {
    {
        std::lock_guard<CCriticalSection> lock(state.lock);
        state.reconnect = 1;
        state.serverHost = host;
        state.serverPort = port;
        if (state.peer.Startup()) {
            state.peer.Connect(host, port);
            state.peer.SetOccasionalPing(true);
        }
    }
    SleepMs(1000);
    state.receiveThread = StartRole(state, 1);
    state.statsThread = StartRole(state, 2);
    return 1;
}

void StreamerStop(StreamerState& state) {
    state.run = 0;
    if (state.receiveThread.joinable()) state.receiveThread.join();
    if (state.statsThread.joinable()) state.statsThread.join();
    std::lock_guard<CCriticalSection> lock(state.lock);
    state.peer.Shutdown();
    state.streamingState = 0;
}

int StreamerThreadEntry(StreamerState* state) {
    if (state->selector == 1) {
        state->selector = 0;
        StreamerReceiveLoop(*state);
    }
    if (state->selector == 2) {
        state->selector = 0;
        StreamerStatsLoop(*state);
    }
    return 0;
}

void StreamerReceiveLoop(StreamerState& state) {
    StreamPeerPacket packet;
    while (state.run) {
        bool received;
        {
            std::lock_guard<CCriticalSection> lock(state.lock);
            received = state.peer.Receive(packet);
            if (received) StreamerHandleMessage(state, packet.Data(), packet.Length(), packet.Sender());
            packet.Release();
        }
        // Packets are drained without pause; an idle peer is asked every ms.
        if (!received) SleepMs(1);
    }
}

void StreamerStatsLoop(StreamerState& state) {
    uint32_t tick = 0;
    while (state.run) {
        SleepMs(100);
        std::lock_guard<CCriticalSection> lock(state.lock);
        ++tick;
        if (tick % 5 == 0) {
            // Over 500 ms windows: converges on the rate in kbit/s.
            state.receiveRate = static_cast<float>(state.bytesReceived) * 4 / 500 + state.receiveRate * 0.5f;
            state.sendRate = static_cast<float>(state.bytesSent) * 4 / 500 + state.sendRate * 0.5f;
            state.bytesReceived = 0;
            state.bytesSent = 0;
        }
        // About every 3 s while no stream flows, unless a connection stands
        // or an attempt is still under way (the peer has one slot).
        if (state.reconnect && state.streamingState == 0 && tick % 30 == 0 && !state.peer.Busy()) {
            state.peer.Connect(state.serverHost.c_str(), state.serverPort);
            state.peer.SetOccasionalPing(true);
        }
        state.statisticsText = state.peer.StatisticsText();
    }
}

void StreamerHandleMessage(StreamerState& state, const uint8_t* data, size_t length, const StreamPeerAddress& sender) {
    if (length == 0) return;
    switch (data[0]) {
    case MSG_CONNECTION_ACCEPTED:
        state.serverAddress = sender;
        break;
    case MSG_CONNECTION_LOST:
        state.streamingState = 0;
        state.streamMode = 0;
        break;
    case MSG_STREAM_DATA: {
        // A chunk's length is kept in 16 bits: a longer one is dropped
        // rather than cut.
        if (length < 3 || length - 3 > 0xFFFF) return;
        std::unique_ptr<StreamQueue>& queue = state.queues[data[2]];
        if (!queue) queue.reset(new StreamQueue(state.queueCapacity));
        queue->Push(static_cast<uint16_t>(length - 3), data + 3);
        state.bytesReceived += static_cast<uint32_t>(length);
        break;
    }
    case MSG_STREAM_CONTROL:
        if (length < 3) return;
        state.streamMode = data[1];
        state.streamingState = data[2];
        break;
    case MSG_STREAM_PARAM:
        if (length < 5) return;
        state.streamParam = static_cast<int32_t>(static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8 |
                                                 static_cast<uint32_t>(data[3]) << 16 |
                                                 static_cast<uint32_t>(data[4]) << 24);
        break;
    default:
        break;
    }
}
