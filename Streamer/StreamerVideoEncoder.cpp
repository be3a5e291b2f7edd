#include "Streamer/StreamerVideoEncoder.h"

#include <vpx/vp8cx.h>

#include <cstdio>
#include <cstring>

namespace {

void LogFailure(const char* what, vpx_codec_ctx_t* codec) {
    std::fprintf(stderr, "Streamer: %s failed: %s\n", what, codec ? vpx_codec_error(codec) : "no memory");
}

}  // namespace

StreamerVideoEncoder::StreamerVideoEncoder() : m_frameBuffer(new uint8_t[kFrameBufferBytes]()) {
    // A refused initialisation may leave the context as it was: zero, so
    // that its error reads as none rather than as garbage.
    std::memset(&m_image, 0, sizeof m_image);
    std::memset(&m_config, 0, sizeof m_config);
    std::memset(&m_codec, 0, sizeof m_codec);
}

StreamerVideoEncoder::~StreamerVideoEncoder() {
    if (m_ready) vpx_codec_destroy(&m_codec);
    if (m_imageReady) vpx_img_free(&m_image);
}

bool StreamerVideoEncoder::Init() {
    if (m_ready) return true;
    if (!m_imageReady) {
        // Alignment 0: rows packed, 640 bytes of Y and 320 of U and V.
        m_imageReady = vpx_img_alloc(&m_image, VPX_IMG_FMT_YV12, kWidth, kHeight, 0) != nullptr;
        if (!m_imageReady) {
            LogFailure("the VP8 picture", nullptr);
            return false;
        }
    }
    vpx_codec_err_t result = vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &m_config, 0);
    if (result != VPX_CODEC_OK) {
        std::fprintf(stderr, "Streamer: the VP8 encoder's settings failed: %s\n", vpx_codec_err_to_string(result));
        return false;
    }
    m_config.g_threads = 4;
    m_config.g_w = kWidth;
    m_config.g_h = kHeight;
    m_config.g_error_resilient = 1;
    m_config.g_lag_in_frames = 0;
    m_config.rc_target_bitrate = 512;
    m_config.kf_max_dist = 45;
    // The macro passes the ABI version of the headers built against.
    if (vpx_codec_enc_init(&m_codec, vpx_codec_vp8_cx(), &m_config, 0) != VPX_CODEC_OK) {
        LogFailure("the VP8 encoder", &m_codec);
        return false;
    }
    m_ready = true;
    return true;
}

bool StreamerVideoEncoder::Encode(int64_t pts) {
    m_iterator = nullptr;
    if (!m_ready) return false;
    if (vpx_codec_encode(&m_codec, &m_image, pts, 1, 0, VPX_DL_REALTIME) != VPX_CODEC_OK) {
        if (!m_failing) LogFailure("VP8 encoding", &m_codec);
        m_failing = true;
        return false;
    }
    m_failing = false;
    return true;
}

bool StreamerVideoEncoder::NextFrame(const uint8_t*& data, size_t& size) {
    if (!m_ready) return false;
    while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&m_codec, &m_iterator)) {
        if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
        data = static_cast<const uint8_t*>(packet->data.frame.buf);
        size = packet->data.frame.sz;
        return true;
    }
    return false;
}

int StreamerConvertYUV(const uint8_t* capture, vpx_image_t& image) {
    const int width = StreamerVideoEncoder::kWidth, height = StreamerVideoEncoder::kHeight;
    for (int row = 0; row < height; ++row) {
        const uint8_t* p = capture + static_cast<size_t>(row) * width * 3;
        uint8_t* y = image.planes[VPX_PLANE_Y] + static_cast<ptrdiff_t>(row) * image.stride[VPX_PLANE_Y];
        for (int col = 0; col < width; ++col, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            y[col] = static_cast<uint8_t>((299 * r + 587 * g + 114 * b) >> 10);
        }
    }
    // Chroma is point-sampled: the block's first pixel, no averaging.
    for (int row = 0; row < height / 2; ++row) {
        const uint8_t* p = capture + static_cast<size_t>(row) * 2 * width * 3;
        uint8_t* u = image.planes[VPX_PLANE_U] + static_cast<ptrdiff_t>(row) * image.stride[VPX_PLANE_U];
        uint8_t* v = image.planes[VPX_PLANE_V] + static_cast<ptrdiff_t>(row) * image.stride[VPX_PLANE_V];
        for (int col = 0; col < width / 2; ++col, p += 6) {
            const int b = p[0], g = p[1], r = p[2];
            u[col] = static_cast<uint8_t>((500 * b - 331 * g - 169 * r + 128000) >> 10);
            v[col] = static_cast<uint8_t>((500 * r - 419 * g - 81 * b + 128000) >> 10);
        }
    }
    return 1;
}
