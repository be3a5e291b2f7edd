// Frame streaming: the engine sends what it draws to a streaming server as
// VP8 frames over one peer connection, and keeps what the server sends
// back: control (mode and streaming state), a parameter, and chunks of data
// per channel. Two threads of its own serve the connection: one receives,
// one keeps the rates and statistics and reconnects while there is no
// stream.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "Streamer/Raknet/StreamPeer.h"
#include "Streamer/StreamQueue.h"
#include "platform/CriticalSection.h"

class StreamerVideoEncoder;

// The messages on the connection (byte 0 is the id; values little-endian).
constexpr uint8_t MSG_CONNECTION_ACCEPTED = kPeerConnectionAccepted;
constexpr uint8_t MSG_CONNECTION_LOST = kPeerConnectionLost;
// 112, 0, channel, chunk: data on a channel, both ways.
constexpr uint8_t MSG_STREAM_DATA = 112;
// 113, mode, streaming state: from the server.
constexpr uint8_t MSG_STREAM_CONTROL = 113;
// 114, signed 32-bit value: from the server.
constexpr uint8_t MSG_STREAM_PARAM = 114;

// The streaming server: a fixed address (a relay on this machine may
// forward it).
constexpr const char* kStreamServerHost = "127.0.0.1";
constexpr uint16_t kStreamServerPort = 59999;

constexpr int kStreamChannels = 256;
constexpr int32_t kStreamQueueCapacity = 256000;
// The most bytes one data message carries after its 3-byte header.
constexpr size_t kStreamMaxPayload = 64000;
// A frame message's payload starts with this header: the frame number
// (unsigned 32-bit) and 16 zero bytes; the VP8 frame follows.
constexpr size_t kStreamFrameHeaderBytes = 20;

struct StreamFrameHeader {
    uint32_t frameNumber = 0;
    // The 20 bytes as they go on the wire.
    void Write(uint8_t* to) const;
};

struct StreamerState {
    StreamerState() = default;
    StreamerState(const StreamerState&) = delete;
    StreamerState& operator=(const StreamerState&) = delete;

    // Both threads loop while it is non-zero.
    std::atomic<int32_t> run{1};
    // The role handed to a starting thread: 0 none, 1 receive, 2 statistics.
    std::atomic<int32_t> selector{0};
    // Set once connecting was asked for: only then does the statistics
    // loop reconnect.
    int32_t reconnect = 0;
    std::thread receiveThread;
    std::thread statsThread;

    // Guards the peer and every field below that the threads change.
    CCriticalSection lock;
    StreamPeer peer;
    StreamPeerAddress serverAddress;
    std::string statisticsText;
    std::string serverHost;
    uint16_t serverPort = kStreamServerPort;
    uint8_t sendBuffer[3 + kStreamMaxPayload] = {};
    std::unique_ptr<StreamQueue> queues[kStreamChannels];
    int32_t queueCapacity = kStreamQueueCapacity;
    // Byte 2 of the last control message: frames go out while it is above
    // 1. Read without the lock by the encoding side.
    std::atomic<int32_t> streamingState{0};
    int32_t streamMode = -1;
    uint32_t bytesSent = 0;
    uint32_t bytesReceived = 0;
    // Smoothed, in kbit/s.
    float sendRate = 0;
    float receiveRate = 0;
    int32_t streamParam = 0;
};

// The number of the next frame sent, and the presentation time of every
// encode: it advances only when a frame message is built.
extern std::atomic<uint32_t> StreamFrameCounter;

// Start-up in streaming mode, once: makes the process's state, connects
// (StreamerConnect), waits a second, and sets the encoder up. Answers 0.
int StreamerInit();
// Converts the latest capture (ProcessCaptureBuffer), encodes it, and sends
// the frames while the server asks for them. Answers 0.
int StreamerEncodeFrame();
// The end: stops the two threads and closes the connection. The state
// itself stays.
void StreamerShutdown();
// The process's state, or null before StreamerInit.
StreamerState* Streamer();

// Starts the peer, connects to the server, pings, waits a second, then
// starts the two threads one after the other. Answers 1.
int StreamerConnect(StreamerState& state, const char* host = kStreamServerHost, uint16_t port = kStreamServerPort);
// Stops the threads and destroys the peer.
void StreamerStop(StreamerState& state);
// The start routine of both threads: runs the role the selector gives.
int StreamerThreadEntry(StreamerState* state);
void StreamerReceiveLoop(StreamerState& state);
void StreamerStatsLoop(StreamerState& state);
// Acts on one message from the peer (the state lock held). Messages
// shorter than their layout are dropped, so is a data message whose chunk
// passes 65,535 bytes.
void StreamerHandleMessage(StreamerState& state, const uint8_t* data, size_t length, const StreamPeerAddress& sender);

// One data message on channel 1: the length sent, or 0 when refused (no
// streaming state, an empty or too long payload, or the peer refusing).
int StreamerSend(StreamerState& state, uint16_t length, const uint8_t* data);
// One encoded frame, while the server asks for frames: it takes the next
// frame number, and is sent behind its header when the payload fits in a
// message (a larger one is not sent; its number stays used).
void StreamerSendFrame(StreamerState& state, uint8_t* frameBuffer, const uint8_t* frame, size_t size);
// Converts the capture into the encoder's picture, encodes it, and sends
// its frames.
int StreamerEncodeFrame(StreamerState& state, StreamerVideoEncoder& encoder, const uint8_t* capture);
