// The default back end of the sound library (VRAlib.h): one secondary
// buffer per static slot, plain (with pan) or placed in 3D around the
// listener of the primary buffer, on a DsDevice. It starts with the first
// slot and reads "VRAlib.ini" then; it has no streaming slots.
//
// Every operation answers a VRAlibResult; slot operations answer -23 while
// the back end is stopped (it has no slot tables then).
#pragma once

#include <cstdint>

#include "media/AudioSettings.h"
#include "media/VRAlib.h"
#include "platform/DsDevice.h"

// The log the capability report writes (AUDIO_MODE 2), in the current folder.
constexpr const char* kDSLogFile = "DSlog.txt";

int32_t DSStart(int32_t mode);
// Through the EAX library, which must offer the EAX 2.0 listener properties.
int32_t DSStartEAX(int32_t mode);
int32_t DSShutdown();

// "Sample": a buffer for the WAV file, plain or 3D by the slot's "Type"; it
// replaces the slot's buffer only once it is filled.
int32_t DSSetSample(int32_t index, const char* name, const char* path);
// "Loop": the flag the next DSPlay uses.
int32_t DSSetLoop(int32_t index, const char* name, uint8_t loop);
// "Rpm", "Type", "Volume" (0..10000), "Pan" (-10000..10000, plain slots),
// "Frequency" (0: the file's rate, or 100..100000).
int32_t DSSetScalar(int32_t index, const char* name, int32_t value);
// "Type", "Frequency", "Volume"; the value is -1 unless the read succeeds.
int32_t DSGetScalar(int32_t index, const char* name, int32_t* value);
// The listener (kAudioListener): "Position", "Velocity", "Orientation"; a
// slot: "Position", "Velocity", "Orientation" (of its cone), "Cones" (inside
// and outside angles in degrees, outside volume), which a plain slot takes
// and ignores.
int32_t DSSetVector(int32_t index, const char* name, const float* values);
int32_t DSGetStatus(int32_t index, const char* name, uint8_t* playing);
int32_t DSPlay(int32_t index);
// Stops; unless pausing, rewinds.
int32_t DSStop(int32_t index, int32_t pause);
int32_t DSSeek(int32_t index, float fraction);
int32_t DSGetSeekPosition(int32_t index, float* fraction);
// "DS_FREQ_FACTOR", "DS_DOPPLER_FACTOR", "DS_ROLLOFF_FACTOR",
// "DS_DISTANCE_FACTOR", "UseImmediateMode"; other names are ignored. Always 0.
int32_t DSSet3DParam(const char* name, float value);
uint8_t DSIsEAXActive();

// Reads "VRAlib.ini" into the settings: 0, or -1 without the file.
int32_t DSReadSettings();
// Writes the device's capabilities to kDSLogFile (with the log flag) and
// picks software buffers when the device has no free hardware memory.
void DSLogCaps(int32_t logFlag);
// The settings in force; they keep their values across starts.
DSSettings& DSCurrentSettings();

// How the back end makes its device (an empty factory: the system's).
void DSSetDeviceFactory(const DsDeviceFactory& factory);

const AudioBackEnd& DirectSoundBackEnd();
