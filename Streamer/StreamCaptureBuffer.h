// The frames the host captures for streaming: 640 x 480 pixels of 3 bytes
// (blue, green, red), rows from the bottom of the window up. Three buffers
// take turns, so a capture never lands in the frame being converted and the
// converter always gets the latest complete capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class StreamCaptureBuffer {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr size_t kBytes = static_cast<size_t>(kWidth) * kHeight * 3;

    StreamCaptureBuffer();
    StreamCaptureBuffer(const StreamCaptureBuffer&) = delete;
    StreamCaptureBuffer& operator=(const StreamCaptureBuffer&) = delete;

    // The buffer to capture into (neither the latest capture nor the one
    // being converted); EndCapture makes it the latest.
    uint8_t* BeginCapture();
    void EndCapture();
    // The latest capture (all zero before the first), kept from the
    // capturing side until EndConvert.
    const uint8_t* BeginConvert();
    void EndConvert();

private:
    static constexpr int kBuffers = 3;
    std::unique_ptr<uint8_t[]> m_frames[kBuffers];
    std::mutex m_mutex;
    int m_latest = 0;
    int m_writing = -1;
    int m_reading = -1;
};

// The process's capture buffer: the host fills it, StreamerEncodeFrame
// converts it.
StreamCaptureBuffer& ProcessCaptureBuffer();
