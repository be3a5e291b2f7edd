#include "VideoTexture.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/PixelStoreScope.h"
#include "platform/MillisecondClock.h"
#include "platform/ScriptFile.h"
#include "scene/ImageLimits.h"
#include "scene/SceneGlobals.h"

namespace {

constexpr int kIoBufferSize = 32768;
constexpr int32_t kLoopWhenPastEnd = 0x80;  // video flag: a frame past the end shows frame 0

// The file is read through these rather than by name: the library then
// never takes the name for a URL or a protocol.
int ReadFile(void* opaque, uint8_t* buffer, int size) {
    const size_t n = std::fread(buffer, 1, static_cast<size_t>(size), static_cast<std::FILE*>(opaque));
    return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int64_t SeekFile(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<std::FILE*>(opaque);
    if (whence == AVSEEK_SIZE) {
        const off_t here = ftello(file);
        if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
        const off_t size = ftello(file);
        fseeko(file, here, SEEK_SET);
        return size;
    }
    if (fseeko(file, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE) != 0) return -1;
    return ftello(file);
}

}  // namespace

struct AviDecoder::State {
    std::FILE* file = nullptr;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    int32_t width = 0, frameWidth = 0, height = 0, count = 0;
    uint32_t period = 1;
    int64_t firstPts = 0;  // of frame 0, in the stream's time base (one tick a frame)
    int32_t held = -1;     // frame in `pixels`
    int32_t next = -1;     // frame the decoder delivers next without a seek, -1 unknown
    int64_t lastPts = -1;
    std::vector<uint8_t> pixels;

    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (file) std::fclose(file);
    }

    bool Seek(int32_t index);
    bool DecodeUpTo(int64_t targetPts);
    bool Convert();
};

AviDecoder::AviDecoder() : m(new State) {}
AviDecoder::~AviDecoder() = default;

int32_t AviDecoder::FrameWidth() const { return m->frameWidth; }
int32_t AviDecoder::FrameHeight() const { return m->height; }
int32_t AviDecoder::FrameCount() const { return m->count; }
uint32_t AviDecoder::FramePeriodMs() const { return m->period; }

AviOpenResult AviDecoder::Open(std::FILE* file, int32_t maxSide) {
    static const bool quiet = [] {
        // Damaged files are answered by the texture manager's own messages.
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    m.reset(new State);
    m->file = file;
    if (!file) return AviOpenResult::kNoStream;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return AviOpenResult::kNoStream;
    m->io = avio_alloc_context(buffer, kIoBufferSize, 0, file, ReadFile, nullptr, SeekFile);
    if (!m->io) {
        av_free(buffer);
        return AviOpenResult::kNoStream;
    }
    m->format = avformat_alloc_context();
    if (!m->format) return AviOpenResult::kNoStream;
    m->format->pb = m->io;
    m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Only the AVI reader: whatever else the bytes might be taken for is not a video texture.
    if (avformat_open_input(&m->format, nullptr, av_find_input_format("avi"), nullptr) < 0) {
        m->format = nullptr;  // freed by the failed open
        return AviOpenResult::kNoStream;
    }
    for (unsigned i = 0; i < m->format->nb_streams; ++i) {
        AVStream* s = m->format->streams[i];
        if (m->stream < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            m->stream = static_cast<int>(i);
        } else {
            s->discard = AVDISCARD_ALL;
        }
    }
    if (m->stream < 0) return AviOpenResult::kNoStream;
    AVStream* stream = m->format->streams[m->stream];
    // An empty stream has no frame to show and no frame period.
    if (stream->nb_frames <= 0) return AviOpenResult::kNoStream;
    m->count = static_cast<int32_t>(std::min<int64_t>(stream->nb_frames, INT32_MAX));
    if (stream->time_base.num > 0 && stream->time_base.den > 0) {
        const int64_t total = av_rescale_q(m->count, stream->time_base, AVRational{1, 1000});
        m->period = static_cast<uint32_t>(std::clamp<int64_t>(total / m->count, 1, UINT32_MAX));
    }
    m->firstPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    const AVCodecParameters* par = stream->codecpar;
    if (par->width <= 0 || par->height <= 0) return AviOpenResult::kNoDecoder;
    // A frame takes its decoded planes and a copy in three bytes per texel.
    if (par->width > maxSide || par->height > maxSide || !ImageFits(par->width, par->height, 3, 2))
        return AviOpenResult::kTooLarge;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) return AviOpenResult::kNoDecoder;
    m->codec = avcodec_alloc_context3(decoder);
    if (!m->codec || avcodec_parameters_to_context(m->codec, par) < 0) return AviOpenResult::kNoDecoder;
    m->codec->thread_count = 1;
    // No frame may come out larger than the stream says it is.
    m->codec->max_pixels = par->width * par->height;
    if (avcodec_open2(m->codec, decoder, nullptr) < 0) return AviOpenResult::kNoDecoder;
    m->packet = av_packet_alloc();
    m->frame = av_frame_alloc();
    if (!m->packet || !m->frame) return AviOpenResult::kNoDecoder;

    m->width = par->width;
    m->height = par->height;
    m->frameWidth = (par->width + 1) & ~1;
    m->pixels.assign(static_cast<size_t>(m->frameWidth) * static_cast<size_t>(m->height) * 3, 0);
    m->next = 0;  // the file is read from its start
    return AviOpenResult::kOpened;
}

const uint8_t* AviDecoder::DecodeFrame(int32_t index) {
    State& s = *m;
    if (!s.codec || index < 0 || index >= s.count) return nullptr;
    if (index == s.held) return s.pixels.data();
    s.held = -1;
    // Frames in order decode on; any other one is reached from the key frame before it.
    if (index != s.next && !s.Seek(index)) return nullptr;
    s.next = -1;
    if (!s.DecodeUpTo(s.firstPts + index) || !s.Convert()) return nullptr;
    s.held = index;
    s.next = index + 1;
    return s.pixels.data();
}

bool AviDecoder::State::Seek(int32_t index) {
    if (av_seek_frame(format, stream, firstPts + index, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(codec);
    lastPts = -1;
    return true;
}

// Decodes until a frame at or past `targetPts` is in `frame`. The file is
// finite and every turn takes a packet or a frame, so this ends.
bool AviDecoder::State::DecodeUpTo(int64_t targetPts) {
    bool draining = false;
    for (;;) {
        const int got = avcodec_receive_frame(codec, frame);
        if (got == 0) {
            int64_t pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) pts = lastPts + 1;
            lastPts = pts;
            if (pts >= targetPts) return true;
            av_frame_unref(frame);
            continue;
        }
        if (got != AVERROR(EAGAIN)) return false;  // the end, or a decoder that gave up
        if (draining) return false;
        if (av_read_frame(format, packet) < 0) {
            // The end of the file: whatever the decoder still holds comes out now.
            draining = true;
            if (avcodec_send_packet(codec, nullptr) < 0) return false;
            continue;
        }
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(codec, packet);
            // A damaged packet is passed over, as the decoder would.
            (void)sent;
        }
        av_packet_unref(packet);
    }
}

bool AviDecoder::State::Convert() {
    if (frame->width <= 0 || frame->height <= 0) return false;
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  width, height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!scaler) {
        av_frame_unref(frame);
        return false;
    }
    const int stride = frameWidth * 3;
    uint8_t* planes[4] = {pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    const int rows = sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    av_frame_unref(frame);
    if (rows != height) return false;
    // Bottom row first, as the texture matrix of the upload expects.
    std::vector<uint8_t> row(static_cast<size_t>(stride));
    for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels.data() + static_cast<size_t>(top) * stride;
        uint8_t* b = pixels.data() + static_cast<size_t>(bottom) * stride;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, b, row.size());
        std::memcpy(b, row.data(), row.size());
    }
    return true;
}

// ---- the texture manager's video textures

VRTexture* VRTextureManager::LoadAvi(const char* path) {
    auto decoder = std::make_unique<AviDecoder>();
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    // Frames are decoded one at a time: any file size will do.
    switch (decoder->Open(ScriptFile::Open(path, UINT64_MAX).TakeStdio(), maxSize)) {
    case AviOpenResult::kOpened: break;
    case AviOpenResult::kNoStream: ReportError("Failed To Open The AVI Stream", nullptr); return nullptr;
    case AviOpenResult::kNoDecoder:
        ReportError("Failed To Open The AVI Frame. Make sure the appropriate VFW codec is installed.", nullptr);
        return nullptr;
    // Frames larger than the texture could never be uploaded into it.
    case AviOpenResult::kTooLarge: ReportError("AVI Resolution too high!", nullptr); return nullptr;
    }
    const int32_t w = decoder->FrameWidth(), h = decoder->FrameHeight();
    auto* blank = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 1));
    if (!blank) return nullptr;
    // The texture is never smaller than a frame: the largest size the GL
    // takes, the sides always rounded up, 8-bit texels.
    const int32_t savedMax = MaxTextureSize, savedQuality = TextureQuality;
    const float savedTolerance = TextureRoundingTolerance;
    MaxTextureSize = maxSize;
    TextureQuality = 2;
    TextureRoundingTolerance = 1.0f;
    VRTexture* t = CreateTextureFromBuffer(path, blank, w, h, 3, kTexNoMipmaps, 0, 0);
    MaxTextureSize = savedMax;
    TextureQuality = savedQuality;
    TextureRoundingTolerance = savedTolerance;
    if (!t) return nullptr;
    t->frameCount = decoder->FrameCount();
    t->framePeriod = decoder->FramePeriodMs();
    t->imageWidth = w;
    t->imageHeight = h;
    t->currentFrame = 0.0f;
    t->dynamic = 1;
    t->frameDecoder = decoder.release();
    return t;
}

namespace {

// `frame` modulo `count`, never negative.
int32_t WrapFrame(double frame, int32_t count) {
    double r = std::fmod(frame, static_cast<double>(count));
    if (r < 0) r += count;
    return static_cast<int32_t>(r);
}

}  // namespace

void VRTextureManager::UpdateAviFrame(VRTexture* t) {
    VRVideoDecoder* video = t->frameDecoder;
    const uint8_t* frame = nullptr;
    if (video && t->frameCount > 0) {
        const uint32_t now = timeGetTime();
        if (t->playState == 0 && t->rewindPending) {
            t->currentFrame = 0.0f;
            t->rewindPending = 0;
            frame = video->DecodeFrame(0);
            if (!frame) ReportError("VRTextureManager - Error in getting video frame (corrupted file?)", t->name);
        } else if (t->playState == 1) {
            const uint32_t elapsed = now - t->lastFrameTime;
            // A speed of 0 never reaches the next frame; a negative one plays backwards.
            const double period = static_cast<double>(t->framePeriod) / static_cast<double>(t->speed);
            if (!video->started || static_cast<double>(elapsed) >= period) {
                const double advance = video->started ? std::trunc(elapsed / period) : 0.0;
                video->started = true;
                double current = std::isfinite(t->currentFrame) ? std::trunc(t->currentFrame) : 0.0;
                const int32_t shown = (t->videoFlags & kLoopWhenPastEnd) && current >= t->frameCount
                                          ? 0
                                          : WrapFrame(current, t->frameCount);
                t->rewindPending = 1;
                t->lastFrameTime = now;
                frame = video->DecodeFrame(shown);
                if (!frame) ReportError("VRTextureManager - Error in getting video frame (corrupted file?)", t->name);
                t->currentFrame = static_cast<float>(WrapFrame(current + advance, t->frameCount));
            }
        }
    }
    if (frame) {
        PixelStoreScope tight;
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t->imageWidth, t->imageHeight, GL_BGR, GL_UNSIGNED_BYTE, frame);
    }
    // Whatever it shows, the picture is filtered linearly and shown upright
    // through the texture matrix.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const float w = static_cast<float>(t->imageWidth) / static_cast<float>(std::max(t->width, 1));
    const float h = static_cast<float>(t->imageHeight) / static_cast<float>(std::max(t->height, 1));
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslatef(0.0f, h + 1.0f, 0.0f);
    glScalef(w, -h, 1.0f);
    glMatrixMode(GL_MODELVIEW);
}

VRTexture* VRTextureManager::LoadSwf(const char* /*path*/, int32_t /*flags*/) {
    // Movies are drawn by a player component this platform does not have.
    return nullptr;
}
