// Streaming's frame work: 150 moving 640 x 480 captures converted to YV12
// and VP8-encoded with the streamer's settings, beside vpxenc encoding the
// same YV12 frames with the same settings (its time includes starting the
// program and reading the file). Prints the time-per-frame ratio and each
// encoder's bandwidth at the host's capture spacing of 66 ms, against the
// configured 512 kbit/s.
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "Streamer/StreamCaptureBuffer.h"
#include "Streamer/StreamerVideoEncoder.h"

namespace {

constexpr int kFrames = 150;
constexpr double kCaptureSpacingMs = 66;

struct Result {
    double msPerFrame = 0;
    double bytesPerFrame = 0;
};
Result g_qem, g_vpxenc;

// Frame t: diagonal colour bands sliding 4 pixels a frame, and a grey
// square crossing them.
void MakeCapture(int t, std::vector<uint8_t>& capture) {
    capture.resize(StreamCaptureBuffer::kBytes);
    for (int y = 0; y < 480; ++y) {
        uint8_t* p = &capture[static_cast<size_t>(y) * 640 * 3];
        for (int x = 0; x < 640; ++x, p += 3) {
            const int band = (x + y + 4 * t) & 255;
            p[0] = static_cast<uint8_t>(band);
            p[1] = static_cast<uint8_t>(255 - band);
            p[2] = static_cast<uint8_t>((x * 255) / 639);
            const int sx = 40 + 3 * t, sy = 60 + 2 * t;
            if (x >= sx && x < sx + 120 && y >= sy && y < sy + 120) p[0] = p[1] = p[2] = 160;
        }
    }
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(benchmark::State& state, Result& into, double totalMs, double bytes, int64_t runs) {
    into.msPerFrame = totalMs / (static_cast<double>(runs) * kFrames);
    into.bytesPerFrame = bytes / (static_cast<double>(runs) * kFrames);
    state.counters["ms_per_frame"] = into.msPerFrame;
    state.counters["bytes_per_frame"] = into.bytesPerFrame;
    state.counters["kbit_s_at_66ms"] = into.bytesPerFrame * 8 / kCaptureSpacingMs;
}

void BM_StreamFrames_Qem(benchmark::State& state) {
    std::vector<uint8_t> capture;
    double totalMs = 0, bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StreamerVideoEncoder encoder;
        if (!encoder.Init()) throw std::runtime_error("encoder");
        state.ResumeTiming();
        for (int t = 0; t < kFrames; ++t) {
            state.PauseTiming();
            MakeCapture(t, capture);
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            StreamerConvertYUV(capture.data(), *encoder.Image());
            if (!encoder.Encode(t)) throw std::runtime_error("encode");
            const uint8_t* frame;
            size_t size;
            while (encoder.NextFrame(frame, size)) bytes += static_cast<double>(size);
            totalMs += Milliseconds(std::chrono::steady_clock::now() - start);
        }
    }
    Report(state, g_qem, totalMs, bytes, state.iterations());
}
BENCHMARK(BM_StreamFrames_Qem)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StreamFrames_Vpxenc(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("qem-bench-stream-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const fs::path input = dir / "frames.yuv", output = dir / "frames.ivf";
    {
        // The same frames, converted as the streamer converts them.
        StreamerVideoEncoder converter;
        if (!converter.Init()) throw std::runtime_error("encoder");
        vpx_image_t& image = *converter.Image();
        std::ofstream out(input, std::ios::binary);
        std::vector<uint8_t> capture;
        for (int t = 0; t < kFrames; ++t) {
            MakeCapture(t, capture);
            StreamerConvertYUV(capture.data(), image);
            // YV12 on disk: Y, then V, then U.
            out.write(reinterpret_cast<const char*>(image.planes[VPX_PLANE_Y]), 640 * 480);
            out.write(reinterpret_cast<const char*>(image.planes[VPX_PLANE_V]), 320 * 240);
            out.write(reinterpret_cast<const char*>(image.planes[VPX_PLANE_U]), 320 * 240);
        }
    }
    const std::string command = std::string(VPXENC_PROGRAM) +
                                " --codec=vp8 --yv12 --width=640 --height=480 --rt --threads=4"
                                " --error-resilient=1 --lag-in-frames=0 --target-bitrate=512 --kf-max-dist=45"
                                " --quiet -o " +
                                output.string() + " " + input.string() + " 2>/dev/null";
    double totalMs = 0, bytes = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        totalMs += Milliseconds(std::chrono::steady_clock::now() - start);
        if (status != 0) throw std::runtime_error("vpxenc failed: " + command);
        // The IVF file: a 32-byte header, then 12 bytes before each frame.
        bytes += static_cast<double>(fs::file_size(output)) - 32 - 12.0 * kFrames;
    }
    fs::remove_all(dir);
    Report(state, g_vpxenc, totalMs, bytes, state.iterations());
}
BENCHMARK(BM_StreamFrames_Vpxenc)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_qem.msPerFrame > 0 && g_vpxenc.msPerFrame > 0) {
        std::printf("\nper frame: streamer %.2f ms, vpxenc %.2f ms; streamer / vpxenc = %.2f\n", g_qem.msPerFrame,
                    g_vpxenc.msPerFrame, g_qem.msPerFrame / g_vpxenc.msPerFrame);
        std::printf("bandwidth at one frame every %.0f ms (configured 512 kbit/s): streamer %.0f kbit/s, vpxenc %.0f "
                    "kbit/s\n",
                    kCaptureSpacingMs, g_qem.bytesPerFrame * 8 / kCaptureSpacingMs,
                    g_vpxenc.bytesPerFrame * 8 / kCaptureSpacingMs);
    }
    return 0;
}
