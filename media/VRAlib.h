// The engine's 3D sound library: a pool of sound source slots and one
// listener, driven through one of two back ends, the default one
// (DSBackEnd.h) or the OpenAL one. Script sound objects hold one slot each;
// the back end runs exactly while slots are held: the first acquisition of
// either kind starts it, the release of the last slot of either kind shuts
// it down.
//
// Slots: static ones are numbered 0 .. N - S - 1, streaming ones 0 .. S - 1
// (N = AUDIO_BUFFERS, S = AUDIO_STREAMING_BUFFERS); kAudioListener addresses
// the listener in the set-vector operations. Every operation answers a
// VRAlibResult. Property names are compared exactly.
//
// Process-wide state, used from the script thread only.
#pragma once

#include <cstdint>

enum VRAlibResult : int32_t {
    kAudioOk = 0,
    kAudioNoDevice = -1,  // the device could not be made; from acquisition: no free slot
    kAudioCooperativeLevel = -2,
    kAudioPrimaryFormat = -3,
    kAudioPrimaryBuffer = -4,
    kAudioNoListenerInterface = -5,
    kAudioListenerProperty = -6,
    kAudioSourceProperty = -7,
    kAudioCreateBuffer = -8,
    kAudioLock = -9,
    kAudioNoBuffer = -10,
    kAudioUnlock = -11,
    kAudioOpenFile = -12,
    kAudioReadData = -13,
    kAudioRestore = -14,
    kAudioGetFrequency = -15,
    kAudioSetFrequency = -16,
    kAudioGetVolume = -17,
    kAudioSetVolume = -18,
    kAudioSetPan = -19,
    kAudioGetStatus = -20,
    kAudioStop = -21,
    kAudioBadProperty = -22,
    kAudioOutOfRange = -23,
    kAudioCommit = -25,
    kAudioNoListener = -26,
    kAudioLoadOpenAl = -30,
    kAudioDeleteNames = -31,
    kAudioAttachBuffer = -32,
    kAudioSetLoop = -33,
    kAudioNotSupported = -34,
    kAudioPlay = -35,
    kAudioNoEaxLibrary = -50,
    kAudioNoEaxEntry = -51,
    kAudioNoEaxListener = -52,
    kAudioEaxEnvironment = -53,
    kAudioEaxOcclusion = -54,
    kAudioEaxObstruction = -55,
    kAudioEaxEnvironmentProperty = -56,
    kAudioEaxSourceProperty = -57,
    kAudioSceneFile = -58,
    kAudioEaxInactive = -59,
};

constexpr int32_t kAudioListener = 256;
// AUDIO_BUFFERS is held to 1..255, so that no slot is the listener.
constexpr int32_t kAudioMaxSources = 255;
constexpr int32_t kAudioDefaultSources = 32;

// The operations of one back end. The operations of slots take the slot
// index; a back end leaves out what it does not have (null), and the
// library answers kAudioNotSupported for it.
struct AudioBackEnd {
    int32_t (*start)(int32_t mode);
    int32_t (*startEAX)(int32_t mode);
    int32_t (*shutdown)();
    int32_t (*setSample)(int32_t index, const char* name, const char* path);
    int32_t (*setLoop)(int32_t index, const char* name, uint8_t loop);
    int32_t (*setScalar)(int32_t index, const char* name, int32_t value);
    int32_t (*getScalar)(int32_t index, const char* name, int32_t* value);
    // "Position" and "Velocity" read 3 floats, the listener's "Orientation" 6
    // (front, then top), "Cones" 3.
    int32_t (*setVector)(int32_t index, const char* name, const float* values);
    int32_t (*getStatus)(int32_t index, const char* name, uint8_t* playing);
    int32_t (*play)(int32_t index);
    int32_t (*stop)(int32_t index, int32_t pause);
    int32_t (*seek)(int32_t index, float fraction);
    int32_t (*getSeekPosition)(int32_t index, float* fraction);
    int32_t (*set3DParam)(const char* name, float value);
    uint8_t (*isEAXActive)();
    // Streaming slots.
    int32_t (*openCaptureSource)(int32_t slot, int32_t device);
    int32_t (*updateStreamingSource)(int32_t slot);
    int32_t (*playStreamingSource)(int32_t slot);
    int32_t (*stopStreamingSource)(int32_t slot);
    int32_t (*setStreamingVector)(int32_t slot, const char* name, const float* values);
    // EAX 2.0 (a back end without them has EAX inactive: the library
    // answers kAudioEaxInactive).
    int32_t (*eaxSetEnvironment)(int32_t slot, int32_t preset);
    int32_t (*eaxSetOcclusion)(int32_t slot, int32_t level, float lfRatio, float roomRatio);
    int32_t (*eaxSetObstruction)(int32_t slot, int32_t level, float lfRatio);
    int32_t (*eaxApplyEnvironment)(int32_t slot, int32_t record);
    int32_t (*eaxApplySource)(int32_t slot, int32_t record);
    int32_t (*eaxSetSourceProperty)(int32_t slot, const char* name, float value);
    int32_t (*eaxSetEnvironmentProperty)(int32_t slot, const char* name, float value);
    int32_t (*eaxLoadEnvironments)(const char* path);
    int32_t (*eaxLoadMaterials)(const char* path);
    int32_t (*eaxLoadSources)(const char* path);
    int32_t (*eaxLoadListener)(const char* path);
    int32_t (*eaxLoadAll)(const char* environments, const char* materials, const char* sources,
                          const char* listener);
};

// The OpenAL back end's table (null: not there, its start answers
// kAudioLoadOpenAl).
void AudioSetOpenAlBackEnd(const AudioBackEnd* backEnd);

// --- Configuration -----------------------------------------------------------

// AUDIO_MODE, AUDIO_EAX and AUDIO_OPENAL as the script defines them.
void AudioSetModes(int32_t mode, int32_t eax, int32_t openAL);
int32_t AudioMode();
// S, before AudioAllocSlots; held to 0..N when the tables are sized.
void AudioSetStreamingCount(int32_t count);
// Sizes the tables for the default N of 32 (32 - S static slots, S
// streaming ones); slots held stay held.
void AudioAllocSlots();
// N = n, held to 1..255; the static table becomes N - S slots, keeping the
// flags of the slots that remain.
void AudioSetSourceCount(int32_t n);
int32_t AudioSourceCount();
int32_t AudioStreamingCount();
// The window the default back end binds to; 0.
int32_t VRAlibSetWindow(intptr_t window);
intptr_t VRAlibWindow();

// Where "Cannot start EAX." goes: the running script's warning stream once
// the script classes set it, else the engine library's warning channel.
void VRAlibSetWarningWriter(void (*writer)(const char* text));

// --- Slots -------------------------------------------------------------------

// A static slot: its index, -1 when all are held, or the negative result of
// the back end's start.
int32_t AudioAcquireSource();
// Gives a slot back; the shut-down result when it was the last slot held,
// else 0. An index that is not a static slot changes nothing (-23).
int32_t AudioReleaseSource(int32_t slot);
// The same for streaming slots; with S = 0 both answer 0 and do nothing.
int32_t AudioAcquireStreamingSource();
int32_t AudioReleaseStreamingSource(int32_t slot);

// Starts the selected back end (the EAX start first when AUDIO_EAX is 1,
// the plain start after it fails). Selecting OpenAL (AUDIO_OPENAL 1) lasts
// for the rest of the process.
int32_t AudioStart();
// True while the default back end is selected.
bool AudioUsesDirectSound();
// True while slots are held (the back end runs).
bool AudioRunning();

// --- The selected back end's operations --------------------------------------

int32_t AudioSetSample(int32_t index, const char* name, const char* path);
int32_t AudioSetLoop(int32_t index, const char* name, uint8_t loop);
int32_t AudioSetScalar(int32_t index, const char* name, int32_t value);
int32_t AudioGetScalar(int32_t index, const char* name, int32_t* value);
int32_t AudioSetVector(int32_t index, const char* name, const float* values);
int32_t AudioGetStatus(int32_t index, const char* name, uint8_t* playing);
int32_t AudioPlay(int32_t index);
int32_t AudioStop(int32_t index, int32_t pause);
int32_t AudioSeek(int32_t index, float fraction);
int32_t AudioGetSeekPosition(int32_t index, float* fraction);
int32_t AudioSet3DParam(const char* name, float value);
uint8_t AudioIsEAXActive();
int32_t AudioOpenCaptureSource(int32_t slot, int32_t device);
int32_t AudioUpdateStreamingSource(int32_t slot);
int32_t AudioPlayStreamingSource(int32_t slot);
int32_t AudioStopStreamingSource(int32_t slot);
int32_t AudioSetStreamingVector(int32_t slot, const char* name, const float* values);
int32_t AudioEAXSetEnvironment(int32_t slot, int32_t preset);
int32_t AudioEAXSetOcclusion(int32_t slot, int32_t level, float lfRatio, float roomRatio);
int32_t AudioEAXSetObstruction(int32_t slot, int32_t level, float lfRatio);
int32_t AudioEAXApplyEnvironment(int32_t slot, int32_t record);
int32_t AudioEAXApplySource(int32_t slot, int32_t record);
int32_t AudioEAXSetSourceProperty(int32_t slot, const char* name, float value);
int32_t AudioEAXSetEnvironmentProperty(int32_t slot, const char* name, float value);
int32_t AudioEAXLoadEnvironments(const char* path);
int32_t AudioEAXLoadMaterials(const char* path);
int32_t AudioEAXLoadSources(const char* path);
int32_t AudioEAXLoadListener(const char* path);
int32_t AudioEAXLoadAll(const char* environments, const char* materials, const char* sources, const char* listener);

// Back to the state of a new process (back end stopped and deselected,
// default configuration, no slot held); for tests.
void VRAlibReset();
