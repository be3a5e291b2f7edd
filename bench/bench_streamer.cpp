// Streaming's frame work: 150 moving 640 x 480 captures converted to YV12
// and VP8-encoded with the streamer's settings, beside vpxenc encoding the
// same YV12 frames with the same settings (its time includes starting the
// program and reading the file). Prints the time-per-frame ratio and each
// encoder's bandwidth at the host's capture spacing of 66 ms, against the
// configured 512 kbit/s, from the median of five runs of each: the real-time
// encoder chooses its own speed from how long its frames took (it may use
// most of a frame's 33 ms at its default 30 frames a second), so single runs
// vary with the machine's load.
#include <benchmark/benchmark.h>

#include <algorithm>
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

constexpr int kRuns = 5;

// Per run of 150 frames.
struct Results {
    std::vector<double> msPerFrame;
    std::vector<double> bytesPerFrame;
};
Results g_qem, g_vpxenc;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

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

void Record(Results& into, double ms, double bytes) {
    into.msPerFrame.push_back(ms / kFrames);
    into.bytesPerFrame.push_back(bytes / kFrames);
}

void Report(benchmark::State& state, const Results& results) {
    state.counters["ms_per_frame"] = Median(results.msPerFrame);
    state.counters["bytes_per_frame"] = Median(results.bytesPerFrame);
    state.counters["kbit_s_at_66ms"] = Median(results.bytesPerFrame) * 8 / kCaptureSpacingMs;
}

void BM_StreamFrames_Qem(benchmark::State& state) {
    std::vector<uint8_t> capture;
    for (auto _ : state) {
        double totalMs = 0, bytes = 0;
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
        Record(g_qem, totalMs, bytes);
    }
    Report(state, g_qem);
}
BENCHMARK(BM_StreamFrames_Qem)->Iterations(kRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        const double ms = Milliseconds(std::chrono::steady_clock::now() - start);
        if (status != 0) throw std::runtime_error("vpxenc failed: " + command);
        // The IVF file: a 32-byte header, then 12 bytes before each frame.
        Record(g_vpxenc, ms, static_cast<double>(fs::file_size(output)) - 32 - 12.0 * kFrames);
    }
    fs::remove_all(dir);
    Report(state, g_vpxenc);
}
BENCHMARK(BM_StreamFrames_Vpxenc)->Iterations(kRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double qemMs = Median(g_qem.msPerFrame), vpxencMs = Median(g_vpxenc.msPerFrame);
    if (qemMs > 0 && vpxencMs > 0) {
        std::printf("\nper frame (median of %d runs): streamer %.2f ms, vpxenc %.2f ms; streamer / vpxenc = %.2f\n",
                    kRuns, qemMs, vpxencMs, qemMs / vpxencMs);
        std::printf("bandwidth at one frame every %.0f ms (configured 512 kbit/s): streamer %.0f kbit/s, vpxenc %.0f "
                    "kbit/s\n",
                    kCaptureSpacingMs, Median(g_qem.bytesPerFrame) * 8 / kCaptureSpacingMs,
                    Median(g_vpxenc.bytesPerFrame) * 8 / kCaptureSpacingMs);
        std::printf("runs, ms per frame: streamer");
        for (double ms : g_qem.msPerFrame) std::printf(" %.1f", ms);
        std::printf("; vpxenc");
        for (double ms : g_vpxenc.msPerFrame) std::printf(" %.1f", ms);
        std::printf("\n");
    }
    return 0;
}
