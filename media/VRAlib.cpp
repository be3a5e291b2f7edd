#include "media/VRAlib.h"

#include <algorithm>
#include <string>
#include <vector>

#include "media/DSBackEnd.h"
#include "scene/EngineServices.h"

namespace {

struct VRAlibState {
    bool directSound = true;
    int32_t total = kAudioDefaultSources;
    int32_t streaming = 0;
    std::vector<uint8_t> staticInUse = std::vector<uint8_t>(kAudioDefaultSources, 0);
    std::vector<uint8_t> streamingInUse;
    intptr_t window = 0;
    int32_t mode = 1;
    int32_t eax = 0;
    int32_t openAL = 0;
    bool running = false;
};

VRAlibState g;
const AudioBackEnd* g_openAL = nullptr;
void (*g_warningWriter)(const char*) = nullptr;

const AudioBackEnd* Selected() { return g.directSound ? &DirectSoundBackEnd() : g_openAL; }

void Warn(const char* text) {
    if (g_warningWriter)
        g_warningWriter(text);
    else
        ReportWarning(text, nullptr);
}

// S within 0..N, said when it had to move.
void HoldStreamingCount() {
    const int32_t held = std::clamp(g.streaming, 0, g.total);
    if (held == g.streaming) return;
    ReportWarning(("VRAlib: AUDIO_STREAMING_BUFFERS " + std::to_string(g.streaming) + " held to " +
                   std::to_string(held)).c_str(),
                  nullptr);
    g.streaming = held;
}

// Resizes a flag table, keeping the flags of the slots that remain.
void Size(std::vector<uint8_t>& flags, int32_t count) { flags.resize(static_cast<size_t>(std::max(count, 0)), 0); }

bool AnyHeld(const std::vector<uint8_t>& flags) {
    return std::any_of(flags.begin(), flags.end(), [](uint8_t f) { return f != 0; });
}

int32_t Acquire(std::vector<uint8_t>& flags) {
    const auto free = std::find(flags.begin(), flags.end(), 0);
    if (free == flags.end()) return kAudioNoDevice;
    if (!g.running) {
        const int32_t started = AudioStart();
        if (started < 0) return started;
        g.running = true;
    }
    *free = 1;
    return static_cast<int32_t>(free - flags.begin());
}

int32_t Release(std::vector<uint8_t>& flags, int32_t slot) {
    if (slot < 0 || slot >= static_cast<int32_t>(flags.size())) return kAudioOutOfRange;
    flags[static_cast<size_t>(slot)] = 0;
    if (!g.running || AnyHeld(g.staticInUse) || AnyHeld(g.streamingInUse)) return kAudioOk;
    g.running = false;
    const AudioBackEnd* backEnd = Selected();
    return backEnd && backEnd->shutdown ? backEnd->shutdown() : kAudioOk;
}

}  // namespace

void AudioSetOpenAlBackEnd(const AudioBackEnd* backEnd) { g_openAL = backEnd; }

void AudioSetModes(int32_t mode, int32_t eax, int32_t openAL) {
    g.mode = mode;
    g.eax = eax;
    g.openAL = openAL;
}

int32_t AudioMode() { return g.mode; }

void AudioSetStreamingCount(int32_t count) { g.streaming = count; }

void AudioAllocSlots() {
    g.total = kAudioDefaultSources;
    HoldStreamingCount();
    Size(g.staticInUse, g.total - g.streaming);
    Size(g.streamingInUse, g.streaming);
}

void AudioSetSourceCount(int32_t n) {
    const int32_t held = std::clamp(n, 1, kAudioMaxSources);
    if (held != n)
        ReportWarning(("VRAlib: AUDIO_BUFFERS " + std::to_string(n) + " held to " + std::to_string(held)).c_str(),
                      nullptr);
    g.total = held;
    HoldStreamingCount();
    Size(g.staticInUse, g.total - g.streaming);
    Size(g.streamingInUse, g.streaming);
}

int32_t AudioSourceCount() { return g.total; }
int32_t AudioStreamingCount() { return g.streaming; }

int32_t VRAlibSetWindow(intptr_t window) {
    g.window = window;
    return kAudioOk;
}

intptr_t VRAlibWindow() { return g.window; }

void VRAlibSetWarningWriter(void (*writer)(const char*)) { g_warningWriter = writer; }

int32_t AudioAcquireSource() { return Acquire(g.staticInUse); }

int32_t AudioReleaseSource(int32_t slot) { return Release(g.staticInUse, slot); }

int32_t AudioAcquireStreamingSource() {
    if (g.streaming == 0) return 0;
    return Acquire(g.streamingInUse);
}

int32_t AudioReleaseStreamingSource(int32_t slot) {
    if (g.streaming == 0) return 0;
    return Release(g.streamingInUse, slot);
}

int32_t AudioStart() {
    if (g.openAL == 1) g.directSound = false;
    const AudioBackEnd* backEnd = Selected();
    if (!backEnd || !backEnd->start) return kAudioLoadOpenAl;
    if (g.eax != 1 || !backEnd->startEAX) return backEnd->start(g.mode);
    const int32_t eax = backEnd->startEAX(g.mode);
    if (eax >= 0) return eax;
    Warn("Cannot start EAX.");
    return backEnd->start(g.mode);
}

bool AudioUsesDirectSound() { return g.directSound; }
bool AudioRunning() { return g.running; }

// Each operation goes to the selected back end, or answers that it has none.
#define QEM_AUDIO_DISPATCH(op, ...)                         \
    const AudioBackEnd* backEnd = Selected();               \
    if (!backEnd || !backEnd->op) return kAudioNotSupported; \
    return backEnd->op(__VA_ARGS__)

int32_t AudioSetSample(int32_t index, const char* name, const char* path) {
    QEM_AUDIO_DISPATCH(setSample, index, name, path);
}
int32_t AudioSetLoop(int32_t index, const char* name, uint8_t loop) { QEM_AUDIO_DISPATCH(setLoop, index, name, loop); }
int32_t AudioSetScalar(int32_t index, const char* name, int32_t value) {
    QEM_AUDIO_DISPATCH(setScalar, index, name, value);
}
int32_t AudioGetScalar(int32_t index, const char* name, int32_t* value) {
    QEM_AUDIO_DISPATCH(getScalar, index, name, value);
}
int32_t AudioSetVector(int32_t index, const char* name, const float* values) {
    QEM_AUDIO_DISPATCH(setVector, index, name, values);
}
int32_t AudioGetStatus(int32_t index, const char* name, uint8_t* playing) {
    QEM_AUDIO_DISPATCH(getStatus, index, name, playing);
}
int32_t AudioPlay(int32_t index) { QEM_AUDIO_DISPATCH(play, index); }
int32_t AudioStop(int32_t index, int32_t pause) { QEM_AUDIO_DISPATCH(stop, index, pause); }
int32_t AudioSeek(int32_t index, float fraction) { QEM_AUDIO_DISPATCH(seek, index, fraction); }
int32_t AudioGetSeekPosition(int32_t index, float* fraction) { QEM_AUDIO_DISPATCH(getSeekPosition, index, fraction); }
int32_t AudioSet3DParam(const char* name, float value) { QEM_AUDIO_DISPATCH(set3DParam, name, value); }
int32_t AudioOpenCaptureSource(int32_t slot, int32_t device) {
    QEM_AUDIO_DISPATCH(openCaptureSource, slot, device);
}
int32_t AudioUpdateStreamingSource(int32_t slot) { QEM_AUDIO_DISPATCH(updateStreamingSource, slot); }
int32_t AudioPlayStreamingSource(int32_t slot) { QEM_AUDIO_DISPATCH(playStreamingSource, slot); }
int32_t AudioStopStreamingSource(int32_t slot) { QEM_AUDIO_DISPATCH(stopStreamingSource, slot); }
int32_t AudioSetStreamingVector(int32_t slot, const char* name, const float* values) {
    QEM_AUDIO_DISPATCH(setStreamingVector, slot, name, values);
}

#define QEM_AUDIO_EAX_DISPATCH(op, ...)                    \
    const AudioBackEnd* backEnd = Selected();               \
    if (!backEnd || !backEnd->op) return kAudioEaxInactive; \
    return backEnd->op(__VA_ARGS__)

int32_t AudioEAXSetEnvironment(int32_t slot, int32_t preset) { QEM_AUDIO_EAX_DISPATCH(eaxSetEnvironment, slot, preset); }
int32_t AudioEAXSetOcclusion(int32_t slot, int32_t level, float lfRatio, float roomRatio) {
    QEM_AUDIO_EAX_DISPATCH(eaxSetOcclusion, slot, level, lfRatio, roomRatio);
}
int32_t AudioEAXSetObstruction(int32_t slot, int32_t level, float lfRatio) {
    QEM_AUDIO_EAX_DISPATCH(eaxSetObstruction, slot, level, lfRatio);
}
int32_t AudioEAXApplyEnvironment(int32_t slot, int32_t record) {
    QEM_AUDIO_EAX_DISPATCH(eaxApplyEnvironment, slot, record);
}
int32_t AudioEAXApplySource(int32_t slot, int32_t record) { QEM_AUDIO_EAX_DISPATCH(eaxApplySource, slot, record); }
int32_t AudioEAXSetSourceProperty(int32_t slot, const char* name, float value) {
    QEM_AUDIO_EAX_DISPATCH(eaxSetSourceProperty, slot, name, value);
}
int32_t AudioEAXSetEnvironmentProperty(int32_t slot, const char* name, float value) {
    QEM_AUDIO_EAX_DISPATCH(eaxSetEnvironmentProperty, slot, name, value);
}
int32_t AudioEAXLoadEnvironments(const char* path) { QEM_AUDIO_EAX_DISPATCH(eaxLoadEnvironments, path); }
int32_t AudioEAXLoadMaterials(const char* path) { QEM_AUDIO_EAX_DISPATCH(eaxLoadMaterials, path); }
int32_t AudioEAXLoadSources(const char* path) { QEM_AUDIO_EAX_DISPATCH(eaxLoadSources, path); }
int32_t AudioEAXLoadListener(const char* path) { QEM_AUDIO_EAX_DISPATCH(eaxLoadListener, path); }
int32_t AudioEAXLoadAll(const char* environments, const char* materials, const char* sources, const char* listener) {
    QEM_AUDIO_EAX_DISPATCH(eaxLoadAll, environments, materials, sources, listener);
}

#undef QEM_AUDIO_DISPATCH
#undef QEM_AUDIO_EAX_DISPATCH

uint8_t AudioIsEAXActive() {
    const AudioBackEnd* backEnd = Selected();
    return backEnd && backEnd->isEAXActive ? backEnd->isEAXActive() : 0;
}

void VRAlibReset() {
    if (g.running) {
        const AudioBackEnd* backEnd = Selected();
        if (backEnd && backEnd->shutdown) backEnd->shutdown();
    }
    g = VRAlibState();
    g_warningWriter = nullptr;
}
