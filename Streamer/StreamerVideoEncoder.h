// The streamer's VP8 encoder: one 640 x 480 YV12 picture with packed rows,
// filled from a capture by StreamerConvertYUV, and a real-time encoder set
// for 512 kbit/s, four threads, error resilience, no look-ahead and a key
// frame at least every 45 frames.
#pragma once

#include <vpx/vpx_encoder.h>
#include <vpx/vpx_image.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class StreamerVideoEncoder {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    // Room for a frame's header and data while it is sent.
    static constexpr size_t kFrameBufferBytes = 256000;

    StreamerVideoEncoder();
    ~StreamerVideoEncoder();
    StreamerVideoEncoder(const StreamerVideoEncoder&) = delete;
    StreamerVideoEncoder& operator=(const StreamerVideoEncoder&) = delete;

    // Allocates the picture and starts the encoder; false, with one line on
    // standard error, when libvpx refuses.
    bool Init();
    bool Ready() const { return m_ready; }
    vpx_image_t* Image() { return m_imageReady ? &m_image : nullptr; }
    // Encodes the picture at the presentation time (duration 1, real-time
    // deadline); false when the encoder is not ready or fails (a failure
    // writes one line, until an encode succeeds again).
    bool Encode(int64_t pts);
    // The next frame of the last encode (other packets are skipped); false
    // when there are no more.
    bool NextFrame(const uint8_t*& data, size_t& size);

    uint8_t* FrameBuffer() { return m_frameBuffer.get(); }

private:
    vpx_image_t m_image;
    vpx_codec_enc_cfg_t m_config;
    vpx_codec_ctx_t m_codec;
    vpx_codec_iter_t m_iterator = nullptr;
    bool m_imageReady = false;
    bool m_ready = false;
    bool m_failing = false;
    std::unique_ptr<uint8_t[]> m_frameBuffer;
};

// Fills the picture's planes from a capture (640 x 480 pixels of blue,
// green, red, bottom row first) in integer arithmetic:
//   Y = (299 R + 587 G + 114 B) >> 10 for every pixel,
//   U = (500 B - 331 G - 169 R + 128000) >> 10 and
//   V = (500 R - 419 G - 81 B + 128000) >> 10 from the first pixel of each
// 2 x 2 block. Capture row 0 becomes picture row 0. Answers 1.
int StreamerConvertYUV(const uint8_t* capture, vpx_image_t& image);
