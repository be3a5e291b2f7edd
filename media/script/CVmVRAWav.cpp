#include "CVmVRAWav.h"

#include <string>

#include "media/VRAlib.h"
#include "meshes/script/CVmObj.h"
#include "scene/EngineServices.h"
#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

// Message ids of the class's warnings. 2044 and 2090 to 2095 have no text:
// their warning ends after the method's name.
enum : int32_t {
    kCannotLoad = 2032,             // "Cannot load the '%s' file."
    kOverflow = 2033,               // "Multimedia Overflow."
    kCannotSetVolume = 2034,        // "Cannot set volume."
    kCannotLoop = 2035,             // "Could not LOOP the sound source."
    kCannotPlay = 2036,             // "Could not play the sound source."
    kCannotSetBalance = 2037,       // "Could not set BALANCE."
    kCannotSetFrequency = 2038,     // "Could not set frequency."
    kCannotCreateSource = 2039,     // "Could not create another source."
    kCannotSetAcoustics = 2043,     // "Cannot set acoustic parameters."
    kCannotSeek = 2044,
    kEaxEnvironment = 2090,
    kEaxOcclusion = 2091,
    kEaxObstruction = 2092,
    kEaxEnvironmentFile = 2093,
    kEaxSourceProperty = 2094,
    kEaxEnvironmentProperty = 2095,
    kCannotCreateObject = 4005,     // "Could not create a VRAWav object."
};

constexpr int32_t kNoSource = -1;
constexpr int32_t kEnvironmentRecords = 34;
constexpr int32_t kSourceRecords = 4;
constexpr int32_t kEnvironmentPresets = 26;

// The other kind's calls go to no source: a streaming object's number is no
// static source of its own, and the reverse.
int32_t StaticSlot(const CVmVRAWav& w) { return w.Streaming() ? kNoSource : w.Slot(); }
int32_t StreamingSlot(const CVmVRAWav& w) { return w.Streaming() ? w.Slot() : kNoSource; }

// Inclusive clamps; NaN takes the low end.
float Clamp(float v, float lo, float hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }
int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

std::string WorkingFolder() { return g_engineState ? g_engineState->Paths().workingFolder : std::string(); }

// "Cannot start EAX." on the running script's warning stream.
void ScriptWarning(const char* text) {
    if (g_currentVM)
        g_currentVM->Warning() << text;
    else
        ReportWarning(text, nullptr);
}

}  // namespace

CVmVRAWav::CVmVRAWav(bool streaming) : m_streaming(streaming) {
    m_slot = streaming ? AudioAcquireStreamingSource() : AudioAcquireSource();
    if (m_slot < 0 && g_currentVM) g_currentVM->WarningMsg(kCannotCreateObject);
}

int32_t CVmVRAWav::SetSoundPosition(CVmClassBase* sound, const float* position) {
    const CVmVRAWav* w = dynamic_cast<CVmVRAWav*>(sound);
    if (!w) return kAudioOutOfRange;
    if (!w->m_streaming) return AudioSetVector(w->m_slot, "Position", position);
    // A back end without streaming sources has nothing to move.
    const int32_t moved = AudioSetStreamingVector(w->m_slot, "Position", position);
    return moved == kAudioNotSupported ? kAudioOk : moved;
}

CVmVRAWav::~CVmVRAWav() {
    if (m_slot < 0) return;
    if (m_streaming)
        AudioReleaseStreamingSource(m_slot);
    else
        AudioReleaseSource(m_slot);
}

bool CVmVRAWav::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Load", &CRegister::Load);
    AddMethod("Play", &CRegister::Play);
    AddMethod("Stop", &CRegister::Stop);
    AddMethod("Seek", &CRegister::Seek);
    AddMethod("GetSeekPosition", &CRegister::GetSeekPosition);
    AddMethod("Pause", &CRegister::Pause);
    AddMethod("SetVolume", &CRegister::SetVolume);
    AddMethod("GetVolume", &CRegister::GetVolume);
    AddMethod("SetBalance", &CRegister::SetBalance);
    AddMethod("SetFrequency", &CRegister::SetFrequency);
    AddMethod("GetFrequency", &CRegister::GetFrequency);
    AddMethod("SetPosition", &CRegister::SetPosition);
    AddMethod("SetVelocity", &CRegister::SetVelocity);
    AddMethod("SetListenerOrientation", &CRegister::SetListenerOrientation);
    AddMethod("SetListenerPosition", &CRegister::SetListenerPosition);
    AddMethod("SetListenerVelocity", &CRegister::SetListenerVelocity);
    AddMethod("IsPlaying", &CRegister::IsPlaying);
    AddMethod("EAXIsActive", &CRegister::EAXIsActive);
    AddMethod("SetConeParams", &CRegister::SetConeParams);
    AddMethod("SetConeOrientation", &CRegister::SetConeOrientation);
    AddMethod("EAXInitEnvironmentFromFile", &CRegister::EAXInitEnvironmentFromFile);
    AddMethod("EAXInitMaterialFromFile", &CRegister::EAXInitMaterialFromFile);
    AddMethod("EAXInitSourceFromFile", &CRegister::EAXInitSourceFromFile);
    AddMethod("EAXInitListenerFromFile", &CRegister::EAXInitListenerFromFile);
    AddMethod("EAXInitEMSLFromFile", &CRegister::EAXInitEMSLFromFile);
    AddMethod("EAXSetEnvironmentFromFile", &CRegister::EAXSetEnvironmentFromFile);
    AddMethod("EAXSetSourceFromFile", &CRegister::EAXSetSourceFromFile);
    AddMethod("EAXSetEnvironmentProperty", &CRegister::EAXSetEnvironmentProperty);
    AddMethod("EAXSetSourceProperty", &CRegister::EAXSetSourceProperty);
    AddMethod("EAXSetEnvironment", &CRegister::EAXSetEnvironment);
    AddMethod("EAXSetOcclusion", &CRegister::EAXSetOcclusion);
    AddMethod("EAXSetObstruction", &CRegister::EAXSetObstruction);
    AddMethod("UpdateStreamingSource", &CRegister::UpdateStreamingSource);
    AddMethod("PlayStreamingSource", &CRegister::PlayStreamingSource);
    AddMethod("StopStreamingSource", &CRegister::StopStreamingSource);
    AddMethod("SetPositionStreamingSource", &CRegister::SetPositionStreamingSource);
    VRAlibSetWarningWriter(ScriptWarning);
    // Scene nodes carry linked sounds along.
    CVmObj::RegisterSoundClass({kClassName, &CVmVRAWav::SetSoundPosition});
    return true;
}

// ---------------------------------------------------------------------------
// Helpers

CVmVRAWav* CVmVRAWav::CRegister::Self(CVmClassBase* object, int mode) {
    CVmVRAWav* self = dynamic_cast<CVmVRAWav*>(object);
    if (!RequireMethodCall(mode)) return nullptr;
    if (!self && g_currentVM) g_currentVM->Error(-1);
    return self;
}

bool CVmVRAWav::CRegister::Failed(int32_t result, int32_t id) {
    if (result >= 0) return false;
    VmWarningMsg(this, id);
    return true;
}

void CVmVRAWav::CRegister::ReadFile(int32_t k, std::string& path, std::string& shown) {
    const char* name = GetParamString(k, false);
    path = WorkingFolder() + (name ? name : "");
    shown = name ? name : WorkingFolder();
}

void CVmVRAWav::CRegister::ReadPoint(float* v) {
    if (const CVmVector* vector = GetParamVector(1, false)) {
        for (int32_t i = 0; i < 3; ++i) v[i] = vector->GetAt(i);
        return;
    }
    for (int32_t i = 0; i < 3; ++i) v[i] = GetParamFloat(i + 1, false);
}

void CVmVRAWav::CRegister::SetVector(CVmClassBase* object, int mode, bool listener, const char* name) {
    float v[3];
    ReadPoint(v);
    CVmVRAWav* self = Self(object, mode);
    if (!self) return;
    Failed(AudioSetVector(listener ? kAudioListener : StaticSlot(*self), name, v), kCannotSetAcoustics);
}

void CVmVRAWav::CRegister::LoadSample(int32_t slot, const std::string& path, const std::string& shown, bool is3D) {
    AudioSetScalar(slot, "Type", is3D ? 2 : 1);
    if (AudioSetSample(slot, "Sample", path.c_str()) < 0) VmWarningMsg(this, kCannotLoad, shown.c_str());
}

void CVmVRAWav::CRegister::LoadEax(CVmClassBase* object, int mode, int32_t (*load)(const char*), int32_t id) {
    std::string path, shown;
    ReadFile(1, path, shown);
    if (Self(object, mode)) Failed(load(path.c_str()), id);
}

void CVmVRAWav::CRegister::Streaming(CVmClassBase* object, int mode, int32_t (*op)(int32_t)) {
    if (CVmVRAWav* self = Self(object, mode)) Failed(op(StreamingSlot(*self)), kCannotPlay);
}

// ---------------------------------------------------------------------------
// The factory

void CVmVRAWav::CRegister::Create(CVmClassBase*, int) {
    const CVmValue* first = ArgCount() >= 1 ? GetParam(1) : nullptr;
    if (!first) {
        ReturnObject(new CVmVRAWav(false));
        return;
    }
    if (first->type == VmValueType::Integer) {
        const int32_t device = first->asInt;
        CVmVRAWav* sound = new CVmVRAWav(true);
        if (sound->Slot() >= 0 && !AudioUsesDirectSound()) AudioOpenCaptureSource(sound->Slot(), device);
        ReturnObject(sound);
        return;
    }
    std::string path, shown;
    ReadFile(1, path, shown);
    const bool is3D = GetParamBool(2, false);
    CVmVRAWav* sound = new CVmVRAWav(false);
    LoadSample(sound->Slot(), path, shown, is3D);
    ReturnObject(sound);
}

// ---------------------------------------------------------------------------
// The sample

void CVmVRAWav::CRegister::Load(CVmClassBase* object, int mode) {
    std::string path, shown;
    ReadFile(1, path, shown);
    const bool is3D = GetParamBool(2, false);
    if (CVmVRAWav* self = Self(object, mode)) LoadSample(StaticSlot(*self), path, shown, is3D);
}

void CVmVRAWav::CRegister::Play(CVmClassBase* object, int mode) {
    const bool loop = GetParamBool(1, false);
    CVmVRAWav* self = Self(object, mode);
    if (!self) return;
    const int32_t slot = StaticSlot(*self);
    Failed(AudioSetLoop(slot, "Loop", loop ? 1 : 0), kCannotLoop);
    Failed(AudioPlay(slot), kCannotPlay);
}

void CVmVRAWav::CRegister::Stop(CVmClassBase* object, int mode) {
    if (CVmVRAWav* self = Self(object, mode)) AudioStop(StaticSlot(*self), 0);
}

void CVmVRAWav::CRegister::Pause(CVmClassBase* object, int mode) {
    if (CVmVRAWav* self = Self(object, mode)) AudioStop(StaticSlot(*self), 1);
}

// The OpenAL back end has no seeking: it answers that it cannot.
void CVmVRAWav::CRegister::Seek(CVmClassBase* object, int mode) {
    const float percent = GetParamFloat(1, false);
    if (CVmVRAWav* self = Self(object, mode)) Failed(AudioSeek(StaticSlot(*self), percent / 100.0f), kCannotSeek);
}

void CVmVRAWav::CRegister::GetSeekPosition(CVmClassBase* object, int mode) {
    CVmVRAWav* self = Self(object, mode);
    float fraction = 0;
    if (self && !Failed(AudioGetSeekPosition(StaticSlot(*self), &fraction), kCannotSeek)) VmReturnReal(fraction);
}

void CVmVRAWav::CRegister::SetVolume(CVmClassBase* object, int mode) {
    const float volume = Clamp(GetParamFloat(1, false), 0.0f, 1.0f);
    CVmVRAWav* self = Self(object, mode);
    if (self)
        Failed(AudioSetScalar(StaticSlot(*self), "Volume", static_cast<int32_t>(volume * 10000.0f)),
               kCannotSetVolume);
}

void CVmVRAWav::CRegister::GetVolume(CVmClassBase* object, int mode) {
    CVmVRAWav* self = Self(object, mode);
    int32_t volume = 0;
    if (self && !Failed(AudioGetScalar(StaticSlot(*self), "Volume", &volume), kCannotSetVolume))
        VmReturnReal(static_cast<float>(volume) / 10000.0f);
}

void CVmVRAWav::CRegister::SetBalance(CVmClassBase* object, int mode) {
    const float balance = Clamp(GetParamFloat(1, false), -1.0f, 1.0f);
    CVmVRAWav* self = Self(object, mode);
    if (self)
        Failed(AudioSetScalar(StaticSlot(*self), "Pan", static_cast<int32_t>(balance * 10000.0f)), kCannotSetBalance);
}

// 0 is the sample's own rate; other values are held to 100..100000 Hz.
void CVmVRAWav::CRegister::SetFrequency(CVmClassBase* object, int mode) {
    int32_t hz = GetParamInt(1, false);
    if (hz != 0) hz = Clamp(hz, 100, 100000);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioSetScalar(StaticSlot(*self), "Frequency", hz), kCannotSetFrequency);
}

void CVmVRAWav::CRegister::GetFrequency(CVmClassBase* object, int mode) {
    CVmVRAWav* self = Self(object, mode);
    int32_t hz = 0;
    if (self && !Failed(AudioGetScalar(StaticSlot(*self), "Frequency", &hz), kCannotSetFrequency))
        VmReturnInteger(hz);
}

void CVmVRAWav::CRegister::IsPlaying(CVmClassBase* object, int mode) {
    CVmVRAWav* self = Self(object, mode);
    uint8_t playing = 0;
    if (self && !Failed(AudioGetStatus(StaticSlot(*self), "Status", &playing), kCannotLoop))
        VmReturnBool(playing != 0);
}

// ---------------------------------------------------------------------------
// Places: the source's and the listener's

void CVmVRAWav::CRegister::SetPosition(CVmClassBase* object, int mode) { SetVector(object, mode, false, "Position"); }

void CVmVRAWav::CRegister::SetVelocity(CVmClassBase* object, int mode) { SetVector(object, mode, false, "Velocity"); }

void CVmVRAWav::CRegister::SetConeParams(CVmClassBase* object, int mode) { SetVector(object, mode, false, "Cones"); }

void CVmVRAWav::CRegister::SetConeOrientation(CVmClassBase* object, int mode) {
    SetVector(object, mode, false, "Orientation");
}

void CVmVRAWav::CRegister::SetListenerPosition(CVmClassBase* object, int mode) {
    SetVector(object, mode, true, "Position");
}

void CVmVRAWav::CRegister::SetListenerVelocity(CVmClassBase* object, int mode) {
    SetVector(object, mode, true, "Velocity");
}

// A front Vector and an optional top Vector, or six numbers; the top is
// (0, 1, 0) unless given.
void CVmVRAWav::CRegister::SetListenerOrientation(CVmClassBase* object, int mode) {
    float v[6] = {0, 0, 0, 0, 1, 0};
    if (const CVmVector* front = GetParamVector(1, false)) {
        for (int32_t i = 0; i < 3; ++i) v[i] = front->GetAt(i);
        if (const CVmVector* top = GetParamVector(2, false))
            for (int32_t i = 0; i < 3; ++i) v[3 + i] = top->GetAt(i);
    } else {
        for (int32_t i = 0; i < 3; ++i) v[i] = GetParamFloat(i + 1, false);
        if (ArgCount() >= 4)
            for (int32_t i = 0; i < 3; ++i) v[3 + i] = GetParamFloat(i + 4, false);
    }
    if (VmHasError()) return;
    if (Self(object, mode)) Failed(AudioSetVector(kAudioListener, "Orientation", v), kCannotSetAcoustics);
}

// ---------------------------------------------------------------------------
// EAX

void CVmVRAWav::CRegister::EAXIsActive(CVmClassBase* object, int mode) {
    if (Self(object, mode)) VmReturnBool(AudioIsEAXActive() != 0);
}

void CVmVRAWav::CRegister::EAXInitEnvironmentFromFile(CVmClassBase* object, int mode) {
    LoadEax(object, mode, AudioEAXLoadEnvironments, kEaxEnvironmentFile);
}

void CVmVRAWav::CRegister::EAXInitMaterialFromFile(CVmClassBase* object, int mode) {
    LoadEax(object, mode, AudioEAXLoadMaterials, kOverflow);
}

void CVmVRAWav::CRegister::EAXInitSourceFromFile(CVmClassBase* object, int mode) {
    LoadEax(object, mode, AudioEAXLoadSources, kOverflow);
}

void CVmVRAWav::CRegister::EAXInitListenerFromFile(CVmClassBase* object, int mode) {
    LoadEax(object, mode, AudioEAXLoadListener, kOverflow);
}

void CVmVRAWav::CRegister::EAXInitEMSLFromFile(CVmClassBase* object, int mode) {
    std::string paths[4], shown;
    for (int32_t k = 0; k < 4; ++k) ReadFile(k + 1, paths[k], shown);
    if (Self(object, mode))
        Failed(AudioEAXLoadAll(paths[0].c_str(), paths[1].c_str(), paths[2].c_str(), paths[3].c_str()), kOverflow);
}

void CVmVRAWav::CRegister::EAXSetEnvironmentFromFile(CVmClassBase* object, int mode) {
    const int32_t record = Clamp(GetParamInt(1, false), 0, kEnvironmentRecords - 1);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXApplyEnvironment(StaticSlot(*self), record), kEaxEnvironmentFile);
}

void CVmVRAWav::CRegister::EAXSetSourceFromFile(CVmClassBase* object, int mode) {
    const int32_t record = Clamp(GetParamInt(1, false), 0, kSourceRecords - 1);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXApplySource(StaticSlot(*self), record), kCannotCreateSource);
}

void CVmVRAWav::CRegister::EAXSetEnvironmentProperty(CVmClassBase* object, int mode) {
    const char* name = GetParamString(1, false);
    const float value = GetParamFloat(2, false);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXSetEnvironmentProperty(StaticSlot(*self), name ? name : "", value), kEaxEnvironmentProperty);
}

void CVmVRAWav::CRegister::EAXSetSourceProperty(CVmClassBase* object, int mode) {
    const char* name = GetParamString(1, false);
    const float value = GetParamFloat(2, false);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXSetSourceProperty(StaticSlot(*self), name ? name : "", value), kEaxSourceProperty);
}

void CVmVRAWav::CRegister::EAXSetEnvironment(CVmClassBase* object, int mode) {
    const int32_t preset = Clamp(GetParamInt(1, false), 0, kEnvironmentPresets - 1);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXSetEnvironment(StaticSlot(*self), preset), kEaxEnvironment);
}

void CVmVRAWav::CRegister::EAXSetOcclusion(CVmClassBase* object, int mode) {
    const int32_t level = Clamp(GetParamInt(1, false), -10000, 0);
    const float lfRatio = Clamp(GetParamFloat(2, false), 0.0f, 1.0f);
    const float roomRatio = Clamp(GetParamFloat(3, false), 0.0f, 10.0f);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXSetOcclusion(StaticSlot(*self), level, lfRatio, roomRatio), kEaxOcclusion);
}

void CVmVRAWav::CRegister::EAXSetObstruction(CVmClassBase* object, int mode) {
    const int32_t level = Clamp(GetParamInt(1, false), -10000, 0);
    const float lfRatio = Clamp(GetParamFloat(2, false), 0.0f, 1.0f);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioEAXSetObstruction(StaticSlot(*self), level, lfRatio), kEaxObstruction);
}

// ---------------------------------------------------------------------------
// Streaming sources (the default back end has none: these warn there)

void CVmVRAWav::CRegister::UpdateStreamingSource(CVmClassBase* object, int mode) {
    Streaming(object, mode, AudioUpdateStreamingSource);
}

void CVmVRAWav::CRegister::PlayStreamingSource(CVmClassBase* object, int mode) {
    Streaming(object, mode, AudioPlayStreamingSource);
}

void CVmVRAWav::CRegister::StopStreamingSource(CVmClassBase* object, int mode) {
    Streaming(object, mode, AudioStopStreamingSource);
}

void CVmVRAWav::CRegister::SetPositionStreamingSource(CVmClassBase* object, int mode) {
    float v[3];
    ReadPoint(v);
    if (CVmVRAWav* self = Self(object, mode))
        Failed(AudioSetStreamingVector(StreamingSlot(*self), "Position", v), kCannotSetAcoustics);
}
