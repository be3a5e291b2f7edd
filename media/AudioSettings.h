// The sound library's settings file, "VRAlib.ini": words separated by white
// space; a word that names a setting is followed by its value, any other
// word is skipped. A word is at most 51 characters; the rest of a longer one
// is dropped.
#pragma once

#include <cstdint>
#include <cstdio>

// The default back end's settings, with their defaults. A read changes only
// the settings the file names.
struct DSSettings {
    float freqFactor = 1.0f;      // DS_FREQ_FACTOR: factor of the Rpm frequency rule
    float dopplerFactor = 2.0f;   // DS_DOPPLER_FACTOR
    float rolloffFactor = 1.0f;   // DS_ROLLOFF_FACTOR
    float distanceFactor = 1.0f;  // DS_DISTANCE_FACTOR
    int32_t minRpm = 950;         // MINRPM
    int32_t sampleRpm = 6800;     // SAMPLERPM: the Rpm at which a sample plays at its own rate
    int32_t maxRpm = 6800;        // MAXRPM
    int32_t allowRpmVolumeShift = 1;
    int32_t useImmediateMode = 1;  // 0: 3D changes are deferred and committed after each one
};

constexpr const char* kAudioSettingsFile = "VRAlib.ini";
constexpr int kAudioSettingsWordSize = 51;

// Reads the settings from an open text stream.
void ReadAudioSettings(FILE* stream, DSSettings& settings);
// Reads the file, which is only read (the shared path resolver finds it): 0,
// or -1 when it cannot be opened.
int32_t ReadAudioSettingsFile(const char* path, DSSettings& settings);
