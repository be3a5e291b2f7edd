// Sound for tests: RIFF wave files written byte by byte, and the mix that
// OpenAL Soft's "wave" driver writes to a file, read back per channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qemtest {

// The "fmt " fields of a PCM file.
struct PcmFormat {
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
};

// A four-character chunk with its size and data, and its pad byte when the
// size is odd.
std::string RiffChunkBytes(const std::string& id, const std::string& data);
// The 16 bytes of a PCM "fmt " chunk's data.
std::string PcmFormatData(const PcmFormat& format);
// "RIFF", the size, the form type and the chunks.
std::string RiffBytes(const std::string& form, const std::string& chunks);
// A PCM wave file: "fmt " (16 bytes), then "data".
std::string WaveBytes(const PcmFormat& format, const std::string& data);
// A sine of `hz` at `amplitude` (0..1 of full scale) in every channel.
std::string ToneData(const PcmFormat& format, double seconds, double hz, double amplitude);

void WriteBytes(const std::string& path, const std::string& bytes);

// The process's sound output goes to a file: ALSOFT_CONF names a
// configuration whose driver is "wave". It must be set up before the first
// OpenAL call of the process (child processes inherit it); every opening of
// the device rewrites the file.
class SoundCapture {
public:
    static SoundCapture& Process();
    const std::string& OutputPath() const { return m_output; }

private:
    SoundCapture();
    ~SoundCapture();
    std::string m_folder;
    std::string m_output;
};

// The mix of a finished output file, channel by channel.
struct SoundMix {
    uint32_t rate = 0;
    std::vector<float> left;
    std::vector<float> right;
};
// False when the file is no readable 16-bit or float stereo wave file.
bool ReadSoundMix(const std::string& path, SoundMix& mix);

// What one channel holds above `threshold`: from the first to the last such
// sample, in seconds, and the largest magnitude.
struct Audible {
    double seconds = 0;
    double start = 0;
    float peak = 0;
};
Audible AudibleIn(const std::vector<float>& channel, uint32_t rate, float threshold = 1e-3f);

}  // namespace qemtest
