#include "support/SoundFiles.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "media/WaveFileReader.h"

namespace qemtest {

namespace {

std::string Le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kFormatFloat = 3;

}  // namespace

std::string RiffChunkBytes(const std::string& id, const std::string& data) {
    std::string chunk = id + Le32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() & 1) chunk += '\0';
    return chunk;
}

std::string PcmFormatData(const PcmFormat& f) {
    const uint32_t block = f.channels * (f.bits / 8u);
    return Le16(1) + Le16(f.channels) + Le32(f.rate) + Le32(f.rate * block) + Le16(block) + Le16(f.bits);
}

std::string RiffBytes(const std::string& form, const std::string& chunks) {
    return "RIFF" + Le32(static_cast<uint32_t>(4 + chunks.size())) + form + chunks;
}

std::string WaveBytes(const PcmFormat& format, const std::string& data) {
    return RiffBytes("WAVE", RiffChunkBytes("fmt ", PcmFormatData(format)) + RiffChunkBytes("data", data));
}

std::string ToneData(const PcmFormat& format, double seconds, double hz, double amplitude) {
    const uint32_t frames = static_cast<uint32_t>(seconds * format.rate);
    std::string data;
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * hz * i / format.rate);
        for (uint16_t c = 0; c < format.channels; ++c) {
            if (format.bits == 8)
                data += static_cast<char>(static_cast<uint8_t>(std::lround(128 + 127 * v)));
            else
                data += Le16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767 * v))));
        }
    }
    return data;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

SoundCapture& SoundCapture::Process() {
    static SoundCapture capture;
    return capture;
}

SoundCapture::SoundCapture() {
    char pattern[] = "/tmp/qem-sound-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for the sound output");
    m_folder = pattern;
    m_output = m_folder + "/out.wav";
    const std::string config = m_folder + "/alsoft.conf";
    WriteBytes(config, "[general]\ndrivers = wave\n[wave]\nfile = " + m_output + "\n");
    setenv("ALSOFT_CONF", config.c_str(), 1);
}

// The process's leftovers go when it ends.
SoundCapture::~SoundCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

bool ReadSoundMix(const std::string& path, SoundMix& mix) {
    WaveFileReader reader;
    WaveFormat format;
    if (!reader.Open(path.c_str()) || !reader.GetFormat(&format) || format.channels != 2) return false;
    const bool isFloat = format.bitsPerSample == 32 &&
                         (format.formatTag == kFormatFloat || format.formatTag == kFormatExtensible);
    const bool is16 = format.bitsPerSample == 16;
    if (!isFloat && !is16) return false;
    std::string data(reader.DataSize(), '\0');
    if (!reader.Read(data.data(), reader.DataSize())) return false;
    mix.rate = format.samplesPerSec;
    mix.left.clear();
    mix.right.clear();
    const size_t width = format.bitsPerSample / 8;
    for (size_t at = 0; at + 2 * width <= data.size(); at += 2 * width) {
        for (int c = 0; c < 2; ++c) {
            float v;
            if (isFloat) {
                std::memcpy(&v, &data[at + c * width], 4);
            } else {
                int16_t s;
                std::memcpy(&s, &data[at + c * width], 2);
                v = s / 32768.0f;
            }
            (c == 0 ? mix.left : mix.right).push_back(v);
        }
    }
    return true;
}

Audible AudibleIn(const std::vector<float>& channel, uint32_t rate, float threshold) {
    Audible a;
    size_t first = channel.size(), last = 0;
    for (size_t i = 0; i < channel.size(); ++i) {
        const float m = std::fabs(channel[i]);
        if (m > a.peak) a.peak = m;
        if (m > threshold) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first < channel.size() && rate) {
        a.start = static_cast<double>(first) / rate;
        a.seconds = static_cast<double>(last - first + 1) / rate;
    }
    return a;
}

}  // namespace qemtest
