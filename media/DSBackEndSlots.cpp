// The default back end's slot and listener operations.
#include <algorithm>
#include <cstring>

#include "media/DSBackEnd.h"
#include "media/DSBackEndState.h"
#include "media/WaveFileReader.h"

namespace {

// The fixed volume, in hundredths of a decibel above silence, at MINRPM.
constexpr int64_t kRpmFloorVolume = 7400;

// Buffer flags: 3D with EAX (mute at max distance, volume, frequency, 3D,
// hardware, static), 3D without (the placement added), plain (position
// notify, volume, pan, frequency, static); every buffer plays unfocused too.
constexpr uint32_t k3DEaxFlags = 0x200B6;
constexpr uint32_t k3DFlags = 0x200B2;
constexpr uint32_t kPlainFlags = 0x1E2;

bool Named(const char* name, const char* wanted) { return name && std::strcmp(name, wanted) == 0; }

// The vectors of a source.
bool SlotVector(const char* name) {
    return Named(name, "Position") || Named(name, "Velocity") || Named(name, "Orientation") || Named(name, "Cones");
}

DSSlot* Slot(int32_t index) {
    std::vector<DSSlot>& slots = DS().slots;
    return index >= 0 && index < static_cast<int32_t>(slots.size()) ? &slots[static_cast<size_t>(index)] : nullptr;
}

uint32_t ApplyMode() { return DS().settings.useImmediateMode ? kDs3dImmediate : kDs3dDeferred; }

// Deferred changes are committed after each successful call.
int32_t Commit(int32_t result) {
    if (result < 0 || ApplyMode() == kDs3dImmediate) return result;
    return DS().listener->CommitDeferredSettings() == kDsOk ? result : kAudioCommit;
}

// Reads the data into the buffer, then the buffer's frequency and volume.
int32_t Fill(DsBuffer& buffer, uint32_t size, WaveFileReader& reader, int32_t& frequency, int32_t& volume) {
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    if (buffer.Lock(0, size, &first, &firstBytes, &second, &secondBytes, 0) != kDsOk) return kAudioLock;
    const bool read = reader.Read(first, firstBytes);
    const bool unlocked = buffer.Unlock(first, firstBytes, second, secondBytes) == kDsOk;
    if (!read) return kAudioReadData;
    if (!unlocked) return kAudioUnlock;
    uint32_t rate = 0;
    if (buffer.GetFrequency(&rate) != kDsOk) return kAudioGetFrequency;
    if (buffer.GetVolume(&volume) != kDsOk) return kAudioGetVolume;
    frequency = static_cast<int32_t>(rate);
    return kAudioOk;
}

// A lost buffer gets its bytes again from its file.
bool RestoreBuffer(DSSlot& slot) {
    uint32_t status = 0;
    if (!slot.buffer || slot.buffer->GetStatus(&status) != kDsOk) return false;
    if (!(status & kDsbstatusBufferLost)) return true;
    if (slot.buffer->Restore() != kDsOk) return false;
    WaveFileReader reader;
    return reader.Open(slot.path.c_str()) && Fill(*slot.buffer, slot.size, reader, slot.frequency, slot.volume) == 0;
}

// The device's answers that make an Rpm rule fail.
bool RpmFailure(int32_t result) {
    return result == kDsFail || result == kDsInvalidArg || result == kDsPrioLevelNeeded ||
           result == kDsControlUnavail;
}

// Frequency = factor x loaded frequency x Rpm / SAMPLERPM; a SAMPLERPM of 0
// keeps the rate.
bool SetFrequencyByRpm(DSSlot& slot) {
    const DSSettings& s = DS().settings;
    if (s.sampleRpm == 0) return true;
    const float product = static_cast<float>(static_cast<int64_t>(slot.frequency) * slot.rpm);
    const int32_t frequency = DSTruncate(s.freqFactor * product / static_cast<float>(s.sampleRpm));
    return !RpmFailure(slot.buffer->SetFrequency(static_cast<uint32_t>(frequency)));
}

// Volume from -2600 at MINRPM up to 0 at MAXRPM; MAXRPM = MINRPM keeps it.
bool SetVolumeByRpm(DSSlot& slot) {
    const DSSettings& s = DS().settings;
    const int64_t span = static_cast<int64_t>(s.maxRpm) - s.minRpm;
    if (span == 0) return true;
    const int64_t volume =
        (static_cast<int64_t>(slot.rpm) - s.minRpm) * (10000 - kRpmFloorVolume) / span + kRpmFloorVolume - 10000;
    const int32_t held = static_cast<int32_t>(std::clamp<int64_t>(volume, INT32_MIN, INT32_MAX));
    return !RpmFailure(slot.buffer->SetVolume(held));
}

int32_t SetListenerVector(const char* name, const float* v) {
    DsListener* listener = DS().listener.get();
    if (!listener) return kAudioNoListener;
    const uint32_t apply = ApplyMode();
    int32_t result;
    if (Named(name, "Position"))
        result = listener->SetPosition(v[0], v[1], v[2], apply);
    else if (Named(name, "Velocity"))
        result = listener->SetVelocity(v[0], v[1], v[2], apply);
    else if (Named(name, "Orientation"))
        result = listener->SetOrientation(v[0], v[1], v[2], v[3], v[4], v[5], apply);
    else
        return kAudioBadProperty;
    return Commit(result == kDsOk ? kAudioOk : kAudioListenerProperty);
}

int32_t Set3DVector(DSSlot& slot, const char* name, const float* v) {
    Ds3DBuffer* b = slot.buffer3D.get();
    const uint32_t apply = ApplyMode();
    if (!SlotVector(name)) return kAudioBadProperty;
    // A buffer made plain (its type changed after the load) has no 3D side.
    if (!slot.buffer || !b) return kAudioNoBuffer;
    int32_t result;
    if (Named(name, "Position"))
        result = b->SetPosition(v[0], v[1], v[2], apply);
    else if (Named(name, "Velocity"))
        result = b->SetVelocity(v[0], v[1], v[2], apply);
    else if (Named(name, "Orientation"))
        result = b->SetConeOrientation(v[0], v[1], v[2], apply);
    else {
        result = b->SetConeAngles(static_cast<uint32_t>(DSTruncate(v[0])), static_cast<uint32_t>(DSTruncate(v[1])),
                                  apply);
        if (result == kDsOk) result = b->SetConeOutsideVolume(DSTruncate(v[2]), apply);
    }
    return Commit(result == kDsOk ? kAudioOk : kAudioSourceProperty);
}

}  // namespace

int32_t DSSetSample(int32_t index, const char* name, const char* path) {
    if (!Named(name, "Sample")) return kAudioBadProperty;
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    DSState& ds = DS();
    WaveFileReader reader;
    WaveFormat format;
    if (!path || !reader.Open(path) || !reader.GetFormat(&format)) return kAudioOpenFile;

    DsBufferDesc desc;
    if (slot->is3D)
        desc.flags = ds.eaxActive ? k3DEaxFlags : ds.placement | k3DFlags;
    else
        desc.flags = kPlainFlags;
    desc.flags |= kDsbcapsGlobalFocus;
    desc.bufferBytes = reader.DataSize();
    desc.format = &format;
    // The new buffer is made and filled aside: a load that fails leaves the
    // slot's sample as it was.
    std::shared_ptr<DsBuffer> buffer;
    std::shared_ptr<Ds3DBuffer> buffer3D;
    std::shared_ptr<DsPropertySet> propertySet;
    if (ds.device->CreateSoundBuffer(desc, buffer) != kDsOk || !buffer) return kAudioCreateBuffer;
    if (slot->is3D) {
        if (buffer->Query3DBuffer(buffer3D) != kDsOk || !buffer3D) return kAudioSourceProperty;
        if (ds.eaxActive && (buffer3D->QueryPropertySet(propertySet) != kDsOk || !propertySet))
            return kAudioSourceProperty;
    }
    int32_t frequency = 0, volume = 0;
    if (const int32_t filled = Fill(*buffer, desc.bufferBytes, reader, frequency, volume); filled < 0) return filled;
    slot->propertySet = std::move(propertySet);
    slot->buffer3D = std::move(buffer3D);
    slot->buffer = std::move(buffer);
    slot->size = desc.bufferBytes;
    slot->path = path;
    slot->frequency = frequency;
    slot->volume = volume;
    return kAudioOk;
}

int32_t DSSetLoop(int32_t index, const char* name, uint8_t loop) {
    if (!Named(name, "Loop")) return kAudioBadProperty;
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    slot->loop = loop;
    return kAudioOk;
}

int32_t DSSetScalar(int32_t index, const char* name, int32_t value) {
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    const DSSettings& s = DS().settings;
    if (Named(name, "Type")) {
        if (value < 0 || value > 2) return kAudioOutOfRange;
        slot->type = value;
        slot->is3D = value == 2;
        return kAudioOk;
    }
    const bool known = Named(name, "Rpm") || Named(name, "Volume") || Named(name, "Pan") || Named(name, "Frequency");
    if (!known) return kAudioBadProperty;
    if (!slot->buffer) return kAudioNoBuffer;
    if (Named(name, "Rpm")) {
        if (slot->type != 1 && slot->type != 2) return kAudioBadProperty;
        if (value < s.minRpm || value > s.maxRpm) return kAudioOutOfRange;
        slot->rpm = value;
        if (!SetFrequencyByRpm(*slot)) return kAudioSetFrequency;
        if (s.allowRpmVolumeShift && !SetVolumeByRpm(*slot)) return kAudioSetVolume;
        return kAudioOk;
    }
    if (Named(name, "Volume")) {
        if (value < 0 || value > 10000) return kAudioOutOfRange;
        return slot->buffer->SetVolume(value - 10000) == kDsOk ? kAudioOk : kAudioSetVolume;
    }
    if (Named(name, "Pan")) {
        if (slot->is3D) return kAudioBadProperty;
        if (value < -10000 || value > 10000) return kAudioOutOfRange;
        return slot->buffer->SetPan(value) == kDsOk ? kAudioOk : kAudioSetPan;
    }
    if (value != 0 && (value < 100 || value > 100000)) return kAudioOutOfRange;
    return slot->buffer->SetFrequency(static_cast<uint32_t>(value)) == kDsOk ? kAudioOk : kAudioSetFrequency;
}

int32_t DSGetScalar(int32_t index, const char* name, int32_t* value) {
    int32_t ignored;
    if (!value) value = &ignored;
    *value = -1;
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    if (Named(name, "Type")) {
        *value = slot->type;
        return kAudioOk;
    }
    if (Named(name, "Frequency")) {
        if (!slot->buffer) return kAudioNoBuffer;
        uint32_t rate = 0;
        if (slot->buffer->GetFrequency(&rate) != kDsOk) return kAudioGetFrequency;
        *value = static_cast<int32_t>(rate);
        return kAudioOk;
    }
    if (Named(name, "Volume")) {
        if (!slot->buffer) return kAudioNoBuffer;
        int32_t volume = 0;
        if (slot->buffer->GetVolume(&volume) != kDsOk) return kAudioGetVolume;
        *value = volume + 10000;
        return kAudioOk;
    }
    return kAudioBadProperty;
}

int32_t DSSetVector(int32_t index, const char* name, const float* values) {
    if (!values) return kAudioOutOfRange;
    if (index == kAudioListener) return SetListenerVector(name, values);
    DSSlot* slot = Slot(index);
    if (!slot || (slot->type != 1 && slot->type != 2)) return kAudioOutOfRange;
    if (slot->type == 2) return Set3DVector(*slot, name, values);
    return SlotVector(name) ? kAudioOk : kAudioBadProperty;
}

int32_t DSGetStatus(int32_t index, const char* name, uint8_t* playing) {
    uint8_t ignored;
    if (!playing) playing = &ignored;
    *playing = 0;
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    if (!Named(name, "Status")) return kAudioBadProperty;
    if (!slot->buffer) return kAudioNoBuffer;
    uint32_t status = 0;
    if (slot->buffer->GetStatus(&status) != kDsOk) return kAudioGetStatus;
    *playing = status & kDsbstatusPlaying ? 1 : 0;
    return kAudioOk;
}

int32_t DSPlay(int32_t index) {
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    if (!slot->buffer) return kAudioNoBuffer;
    if (!RestoreBuffer(*slot)) return kAudioRestore;
    slot->buffer->Play(0, 0, slot->loop ? kDsbplayLooping : 0);
    return kAudioOk;
}

int32_t DSStop(int32_t index, int32_t pause) {
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    if (!slot->buffer) return kAudioNoBuffer;
    if (slot->buffer->Stop() != kDsOk) return kAudioStop;
    if (!pause && slot->buffer->SetCurrentPosition(0) != kDsOk) return kAudioStop;
    return kAudioOk;
}

int32_t DSSeek(int32_t index, float fraction) {
    DSSlot* slot = Slot(index);
    if (!slot || !(fraction >= 0.0f && fraction <= 1.0f)) return kAudioOutOfRange;
    if (!slot->buffer) return kAudioNoBuffer;
    slot->buffer->SetCurrentPosition(static_cast<uint32_t>(fraction * static_cast<float>(slot->size)));
    return kAudioOk;
}

int32_t DSGetSeekPosition(int32_t index, float* fraction) {
    float ignored;
    if (!fraction) fraction = &ignored;
    *fraction = 0.0f;
    DSSlot* slot = Slot(index);
    if (!slot) return kAudioOutOfRange;
    if (!slot->buffer) return kAudioNoBuffer;
    uint32_t play = 0, write = 0;
    slot->buffer->GetCurrentPosition(&play, &write);
    if (slot->size) *fraction = static_cast<float>(play) / static_cast<float>(slot->size);
    return kAudioOk;
}
