// The sending side: data messages, frame messages, and the process's
// streamer with its encoder.
#include <chrono>
#include <cstring>
#include <mutex>

#include "Streamer/StreamCaptureBuffer.h"
#include "Streamer/StreamerState.h"
#include "Streamer/StreamerVideoEncoder.h"

std::atomic<uint32_t> StreamFrameCounter{0};

namespace {

std::atomic<StreamerState*> g_state{nullptr};
std::unique_ptr<StreamerVideoEncoder> g_encoder;

}  // namespace

int StreamerSend(StreamerState& state, uint16_t length, const uint8_t* data) {
    if (state.streamingState == 0 || length == 0 || length > kStreamMaxPayload) return 0;
    std::lock_guard<CCriticalSection> lock(state.lock);
    state.sendBuffer[0] = MSG_STREAM_DATA;
    state.sendBuffer[1] = 0;
    state.sendBuffer[2] = 1;
    std::memcpy(state.sendBuffer + 3, data, length);
    if (!state.peer.Send(state.sendBuffer, length + 3u)) return 0;
    state.bytesSent += length;
    return length;
}

void StreamerSendFrame(StreamerState& state, uint8_t* frameBuffer, const uint8_t* frame, size_t size) {
    if (state.streamingState <= 1) return;
    StreamFrameHeader header;
    header.frameNumber = StreamFrameCounter++;
    if (kStreamFrameHeaderBytes + size > kStreamMaxPayload) return;
    header.Write(frameBuffer);
    std::memcpy(frameBuffer + kStreamFrameHeaderBytes, frame, size);
    StreamerSend(state, static_cast<uint16_t>(kStreamFrameHeaderBytes + size), frameBuffer);
}

int StreamerEncodeFrame(StreamerState& state, StreamerVideoEncoder& encoder, const uint8_t* capture) {
    vpx_image_t* image = encoder.Image();
    if (!image) return 0;
    StreamerConvertYUV(capture, *image);
    // Frames encoded while none are sent share one presentation time.
    if (!encoder.Encode(StreamFrameCounter)) return 0;
    const uint8_t* frame;
    size_t size;
    while (encoder.NextFrame(frame, size)) StreamerSendFrame(state, encoder.FrameBuffer(), frame, size);
    return 0;
}

StreamerState* Streamer() { return g_state; }

int StreamerInit() {
    if (g_state) return 0;
    StreamerState* state = new StreamerState();  // lives as long as the process
    g_state = state;
    StreamerConnect(*state);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    g_encoder.reset(new StreamerVideoEncoder());
    g_encoder->Init();
    return 0;
}

int StreamerEncodeFrame() {
    StreamerState* state = g_state;
    if (!state || !g_encoder) return 0;
    StreamCaptureBuffer& capture = ProcessCaptureBuffer();
    StreamerEncodeFrame(*state, *g_encoder, capture.BeginConvert());
    capture.EndConvert();
    return 0;
}

void StreamerShutdown() {
    if (StreamerState* state = g_state) StreamerStop(*state);
    g_encoder.reset();
}
