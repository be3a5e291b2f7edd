// The format record of a RIFF wave file's "fmt " chunk (its first 18 bytes,
// little-endian on disk), as sound buffers are described with it.
#pragma once

#include <cstdint>

constexpr uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

// A PCM format record: block and byte rate follow from the others.
inline WaveFormat MakePcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(channels * (bits / 8));
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// True for what a sound device plays: PCM, 8 or 16 bits, one or two
// channels, a rate, and a block of one sample frame.
inline bool IsPlayablePcm(const WaveFormat& f) {
    return f.formatTag == kWaveFormatPcm && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
           (f.channels == 1 || f.channels == 2) && f.samplesPerSec > 0 &&
           f.blockAlign == f.channels * (f.bitsPerSample / 8);
}
