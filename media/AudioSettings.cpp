#include "media/AudioSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/PathResolver.h"

namespace {

// The next word into `word` (cut at its size); false at the end.
bool NextWord(FILE* stream, char (&word)[kAudioSettingsWordSize + 1]) {
    int c;
    do c = std::fgetc(stream);
    while (c != EOF && std::isspace(c));
    if (c == EOF) return false;
    int n = 0;
    for (; c != EOF && !std::isspace(c); c = std::fgetc(stream))
        if (n < kAudioSettingsWordSize) word[n++] = static_cast<char>(c);
    word[n] = '\0';
    return true;
}

// "%f" and "%d" of the value word: no number leaves the setting as it was;
// an integer past the 32-bit range stops at its end.
void ParseFloat(const char* word, float& value) {
    char* end = nullptr;
    const float v = std::strtof(word, &end);
    if (end != word) value = v;
}

void ParseInt(const char* word, int32_t& value) {
    char* end = nullptr;
    const long long v = std::strtoll(word, &end, 10);
    if (end != word) value = static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

struct FloatKey {
    const char* name;
    float DSSettings::*field;
};
struct IntKey {
    const char* name;
    int32_t DSSettings::*field;
};

constexpr FloatKey kFloatKeys[] = {
    {"DS_FREQ_FACTOR", &DSSettings::freqFactor},
    {"DS_DOPPLER_FACTOR", &DSSettings::dopplerFactor},
    {"DS_ROLLOFF_FACTOR", &DSSettings::rolloffFactor},
    {"DS_DISTANCE_FACTOR", &DSSettings::distanceFactor},
};
constexpr IntKey kIntKeys[] = {
    {"MINRPM", &DSSettings::minRpm},
    {"SAMPLERPM", &DSSettings::sampleRpm},
    {"MAXRPM", &DSSettings::maxRpm},
    {"AllowRpmVolumeShift", &DSSettings::allowRpmVolumeShift},
    {"UseImmediateMode", &DSSettings::useImmediateMode},
};

}  // namespace

void ReadAudioSettings(FILE* stream, DSSettings& settings) {
    char word[kAudioSettingsWordSize + 1];
    while (NextWord(stream, word)) {
        for (const FloatKey& key : kFloatKeys) {
            if (std::strcmp(word, key.name) != 0) continue;
            char value[kAudioSettingsWordSize + 1];
            if (NextWord(stream, value)) ParseFloat(value, settings.*key.field);
        }
        for (const IntKey& key : kIntKeys) {
            if (std::strcmp(word, key.name) != 0) continue;
            char value[kAudioSettingsWordSize + 1];
            if (NextWord(stream, value)) ParseInt(value, settings.*key.field);
        }
    }
}

int32_t ReadAudioSettingsFile(const char* path, DSSettings& settings) {
    FILE* stream = std::fopen(PathResolver::Shared().Resolve(path).c_str(), "r");
    if (!stream) return -1;
    ReadAudioSettings(stream, settings);
    std::fclose(stream);
    return 0;
}
