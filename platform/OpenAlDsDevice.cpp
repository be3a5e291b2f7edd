// The sound device on OpenAL Soft. A secondary buffer keeps its bytes as
// written and plays them from AL buffers through AL sources:
// - a 3D buffer through one source placed in the world (stereo mixed to
//   mono, since only mono sources are placed);
// - a plain buffer through two sources, pinned hard left and hard right,
//   playing the left and right channel (a mono sample on both), so that a pan
//   attenuates one channel and leaves the other whole, as the API's pan does.
// Coordinates arrive left-handed (z forward) and are handed on with z
// negated. A stopped buffer keeps its cursor here, since AL rewinds a
// stopped source; Play starts from it. Deferred 3D settings use
// AL_SOFT_deferred_updates when the context offers it.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/DsDevice.h"
#include "platform/OpenAlOutput.h"

namespace {

constexpr float kSpeedOfSound = 343.3f;  // metres per second
constexpr float kMaxDistance = 1e9f;     // the API's default maximum distance
constexpr uint32_t kMinBufferBytes = 4;
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
constexpr uint32_t kMinFrequency = 100;
constexpr uint32_t kMaxFrequency = 100000;

// The gain of a level in hundredths of a decibel; the floor is silence.
float GainOf(int32_t hundredths) {
    return hundredths <= -10000 ? 0.0f : std::pow(10.0f, static_cast<float>(hundredths) / 2000.0f);
}

bool Finite(float a, float b, float c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

// The result of the AL calls since the last check.
int32_t AlResult() { return alGetError() == AL_NO_ERROR ? kDsOk : kDsInvalidArg; }

class AlSoundBuffer;

// What the objects of one device share: the held output, deferred 3D
// settings, and the rolloff every 3D source takes from the listener.
class AlOutput {
public:
    AlOutput() {
        m_defer = reinterpret_cast<LPALDEFERUPDATESSOFT>(alGetProcAddress("alDeferUpdatesSOFT"));
        m_process = reinterpret_cast<LPALPROCESSUPDATESSOFT>(alGetProcAddress("alProcessUpdatesSOFT"));
        if (!OpenAlOutput::HasExtension("AL_SOFT_deferred_updates")) m_defer = nullptr, m_process = nullptr;
        alGetError();
        alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
        alDopplerFactor(1.0f);
        alSpeedOfSound(kSpeedOfSound);
        const ALfloat orientation[6] = {0, 0, -1, 0, 1, 0};
        alListener3f(AL_POSITION, 0, 0, 0);
        alListener3f(AL_VELOCITY, 0, 0, 0);
        alListenerfv(AL_ORIENTATION, orientation);
        alListenerf(AL_GAIN, 1.0f);
        alGetError();
    }
    ~AlOutput() {
        if (m_deferring && m_process) m_process();
        OpenAlOutput::Release();
    }
    AlOutput(const AlOutput&) = delete;
    AlOutput& operator=(const AlOutput&) = delete;

    // Before a 3D call: deferred calls hold back the context's updates until
    // the commit.
    void Before3D(uint32_t apply) {
        if (apply == kDs3dDeferred && !m_deferring && m_defer) {
            m_defer();
            m_deferring = true;
        }
        alGetError();
    }
    void Commit() {
        if (m_deferring && m_process) m_process();
        m_deferring = false;
    }

    float Rolloff() const { return m_rolloff; }
    void SetRolloff(float rolloff);
    void Add3D(const std::shared_ptr<AlSoundBuffer>& buffer) {
        m_placed.erase(std::remove_if(m_placed.begin(), m_placed.end(),
                                      [](const std::weak_ptr<AlSoundBuffer>& b) { return b.expired(); }),
                       m_placed.end());
        m_placed.push_back(buffer);
    }

private:
    LPALDEFERUPDATESSOFT m_defer = nullptr;
    LPALPROCESSUPDATESSOFT m_process = nullptr;
    bool m_deferring = false;
    float m_rolloff = 1.0f;
    std::vector<std::weak_ptr<AlSoundBuffer>> m_placed;
};

class AlSoundBuffer : public DsBuffer, public std::enable_shared_from_this<AlSoundBuffer> {
public:
    AlSoundBuffer(std::shared_ptr<AlOutput> output, uint32_t flags, const WaveFormat& format, uint32_t bytes)
        : m_output(std::move(output)), m_flags(flags), m_format(format), m_bytes(bytes) {
        std::memset(m_bytes.data(), format.bitsPerSample == 8 ? 0x80 : 0, m_bytes.size());
    }
    ~AlSoundBuffer() override {
        if (m_sourceCount) {
            alSourceStopv(m_sourceCount, m_sources);
            alDeleteSources(m_sourceCount, m_sources);
        }
        if (m_bufferCount) alDeleteBuffers(m_bufferCount, m_buffers);
        alGetError();
    }

    // Makes the AL objects; false when AL has none left.
    bool Create();
    bool Is3D() const { return m_flags & kDsbcapsCtrl3D; }
    ALuint Source() const { return m_sources[0]; }
    void SetRolloff(float rolloff) { alSourcef(m_sources[0], AL_ROLLOFF_FACTOR, rolloff); }

    int32_t Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                 uint32_t* secondBytes, uint32_t flags) override;
    int32_t Unlock(void*, uint32_t, void*, uint32_t) override { return Upload(); }
    int32_t Play(uint32_t, uint32_t, uint32_t flags) override;
    int32_t Stop() override;
    int32_t SetCurrentPosition(uint32_t position) override;
    int32_t GetCurrentPosition(uint32_t* play, uint32_t* write) override;
    int32_t GetStatus(uint32_t* status) override;
    int32_t Restore() override { return kDsOk; }  // its bytes are never lost
    int32_t SetVolume(int32_t volume) override;
    int32_t GetVolume(int32_t* volume) override;
    int32_t SetPan(int32_t pan) override;
    int32_t SetFrequency(uint32_t frequency) override;
    int32_t GetFrequency(uint32_t* frequency) override;
    int32_t SetFormat(const WaveFormat&) override { return kDsInvalidCall; }
    int32_t GetFormat(WaveFormat* format) override {
        *format = m_format;
        return kDsOk;
    }
    int32_t QueryListener(std::shared_ptr<DsListener>&) override { return kDsNoInterface; }
    int32_t Query3DBuffer(std::shared_ptr<Ds3DBuffer>& out) override;

private:
    bool Playing() const {
        ALint state = AL_STOPPED;
        alGetSourcei(m_sources[0], AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }
    uint32_t Frames() const { return static_cast<uint32_t>(m_bytes.size() / m_format.blockAlign); }
    void ApplyGains();
    void ApplyPitch();
    int32_t Upload();
    // One channel of the bytes as mono samples of the same width; channel
    // -1 mixes both.
    std::vector<uint8_t> Channel(int channel) const;

    std::shared_ptr<AlOutput> m_output;
    uint32_t m_flags;
    WaveFormat m_format;
    std::vector<uint8_t> m_bytes;
    ALuint m_sources[2] = {0, 0};
    ALuint m_buffers[2] = {0, 0};
    ALsizei m_sourceCount = 0;
    ALsizei m_bufferCount = 0;
    int32_t m_volume = 0;
    int32_t m_pan = 0;
    uint32_t m_frequency = 0;  // 0: the format's rate
    uint32_t m_cursor = 0;     // bytes, while not playing
    bool m_looping = false;
};

bool AlSoundBuffer::Create() {
    alGetError();
    const ALsizei sources = Is3D() ? 1 : 2;
    const ALsizei buffers = Is3D() || m_format.channels == 1 ? 1 : 2;
    alGenSources(sources, m_sources);
    if (alGetError() != AL_NO_ERROR) return false;
    m_sourceCount = sources;
    alGenBuffers(buffers, m_buffers);
    if (alGetError() != AL_NO_ERROR) return false;
    m_bufferCount = buffers;
    if (Is3D()) {
        const ALuint s = m_sources[0];
        alSourcei(s, AL_SOURCE_RELATIVE, AL_FALSE);
        alSourcef(s, AL_REFERENCE_DISTANCE, 1.0f);
        alSourcef(s, AL_MAX_DISTANCE, kMaxDistance);
        alSourcef(s, AL_ROLLOFF_FACTOR, m_output->Rolloff());
        alSource3f(s, AL_DIRECTION, 0, 0, -1);
        alSourcef(s, AL_CONE_INNER_ANGLE, 360.0f);
        alSourcef(s, AL_CONE_OUTER_ANGLE, 360.0f);
        alSourcef(s, AL_CONE_OUTER_GAIN, 1.0f);
    } else {
        for (ALsizei i = 0; i < 2; ++i) {
            alSourcei(m_sources[i], AL_SOURCE_RELATIVE, AL_TRUE);
            alSourcef(m_sources[i], AL_ROLLOFF_FACTOR, 0.0f);
            alSource3f(m_sources[i], AL_POSITION, i == 0 ? -1.0f : 1.0f, 0, 0);
        }
    }
    ApplyGains();
    ApplyPitch();
    return Upload() == kDsOk;
}

std::vector<uint8_t> AlSoundBuffer::Channel(int channel) const {
    const uint32_t frames = Frames();
    const uint32_t width = m_format.bitsPerSample / 8;
    std::vector<uint8_t> out(static_cast<size_t>(frames) * width);
    const uint8_t* in = m_bytes.data();
    for (uint32_t f = 0; f < frames; ++f, in += m_format.blockAlign) {
        if (width == 1) {
            out[f] = channel < 0 ? static_cast<uint8_t>((in[0] + in[1]) / 2) : in[channel];
        } else {
            int16_t left, right;
            std::memcpy(&left, in, 2);
            std::memcpy(&right, in + 2, 2);
            const int16_t v = channel < 0 ? static_cast<int16_t>((left + right) / 2) : channel == 0 ? left : right;
            std::memcpy(&out[f * 2], &v, 2);
        }
    }
    return out;
}

// Hands the bytes to AL: sources let go of their buffers first (AL refuses
// to refill a buffer in use), and a playing buffer goes on where it was.
int32_t AlSoundBuffer::Upload() {
    uint32_t position = 0;
    const bool playing = Playing();
    GetCurrentPosition(&position, nullptr);
    alGetError();
    alSourceStopv(m_sourceCount, m_sources);
    for (ALsizei i = 0; i < m_sourceCount; ++i) alSourcei(m_sources[i], AL_BUFFER, 0);
    const ALenum format = m_format.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    const ALsizei rate = static_cast<ALsizei>(m_format.samplesPerSec);
    if (m_format.channels == 1) {
        const size_t used = static_cast<size_t>(Frames()) * m_format.blockAlign;
        alBufferData(m_buffers[0], format, m_bytes.data(), static_cast<ALsizei>(used), rate);
    } else {
        for (ALsizei i = 0; i < m_bufferCount; ++i) {
            const std::vector<uint8_t> samples = Channel(Is3D() ? -1 : i);
            alBufferData(m_buffers[i], format, samples.data(), static_cast<ALsizei>(samples.size()), rate);
        }
    }
    for (ALsizei i = 0; i < m_sourceCount; ++i)
        alSourcei(m_sources[i], AL_BUFFER, static_cast<ALint>(m_buffers[std::min(i, m_bufferCount - 1)]));
    if (alGetError() != AL_NO_ERROR) return kDsFail;
    m_cursor = position;
    if (playing) Play(0, 0, m_looping ? kDsbplayLooping : 0);
    return kDsOk;
}

int32_t AlSoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                            uint32_t* secondBytes, uint32_t flags) {
    const uint32_t size = static_cast<uint32_t>(m_bytes.size());
    if (flags & kDsblockEntireBuffer) bytes = size, offset = 0;
    if (!first || !firstBytes || bytes == 0 || bytes > size || offset >= size) return kDsInvalidArg;
    const uint32_t head = std::min(bytes, size - offset);
    *first = m_bytes.data() + offset;
    *firstBytes = head;
    if (second) *second = head < bytes ? m_bytes.data() : nullptr;
    if (secondBytes) *secondBytes = bytes - head;
    return kDsOk;
}

int32_t AlSoundBuffer::Play(uint32_t, uint32_t, uint32_t flags) {
    m_looping = flags & kDsbplayLooping;
    alGetError();
    for (ALsizei i = 0; i < m_sourceCount; ++i) alSourcei(m_sources[i], AL_LOOPING, m_looping ? AL_TRUE : AL_FALSE);
    if (Playing()) return AlResult();
    for (ALsizei i = 0; i < m_sourceCount; ++i)
        alSourcei(m_sources[i], AL_SAMPLE_OFFSET, static_cast<ALint>(m_cursor / m_format.blockAlign));
    alSourcePlayv(m_sourceCount, m_sources);
    // The cursor is spent: a sound that plays to its end starts over.
    m_cursor = 0;
    return AlResult();
}

int32_t AlSoundBuffer::Stop() {
    if (!Playing()) return kDsOk;
    uint32_t position = 0;
    GetCurrentPosition(&position, nullptr);
    alSourceStopv(m_sourceCount, m_sources);
    m_cursor = position;
    return kDsOk;
}

int32_t AlSoundBuffer::SetCurrentPosition(uint32_t position) {
    if (position >= m_bytes.size()) return kDsInvalidArg;
    // A stopped buffer's cursor reads back as set; playing starts at its
    // sample frame.
    if (!Playing()) {
        m_cursor = position;
        return kDsOk;
    }
    alGetError();
    for (ALsizei i = 0; i < m_sourceCount; ++i)
        alSourcei(m_sources[i], AL_SAMPLE_OFFSET, static_cast<ALint>(position / m_format.blockAlign));
    return AlResult();
}

int32_t AlSoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    uint32_t position = m_cursor;
    if (Playing()) {
        ALint frame = 0;
        alGetSourcei(m_sources[0], AL_SAMPLE_OFFSET, &frame);
        position = static_cast<uint32_t>(std::max(frame, 0)) * m_format.blockAlign;
    }
    if (play) *play = position;
    if (write) *write = position;
    return kDsOk;
}

int32_t AlSoundBuffer::GetStatus(uint32_t* status) {
    if (!status) return kDsInvalidArg;
    *status = Playing() ? kDsbstatusPlaying | (m_looping ? kDsbstatusLooping : 0) : 0;
    return kDsOk;
}

void AlSoundBuffer::ApplyGains() {
    const float gain = GainOf(m_volume);
    if (Is3D()) {
        alSourcef(m_sources[0], AL_GAIN, gain);
        return;
    }
    // A pan to one side lowers the other side's channel only.
    alSourcef(m_sources[0], AL_GAIN, gain * (m_pan > 0 ? GainOf(-m_pan) : 1.0f));
    alSourcef(m_sources[1], AL_GAIN, gain * (m_pan < 0 ? GainOf(m_pan) : 1.0f));
}

void AlSoundBuffer::ApplyPitch() {
    const uint32_t rate = m_frequency ? m_frequency : m_format.samplesPerSec;
    const float pitch = static_cast<float>(rate) / static_cast<float>(m_format.samplesPerSec);
    for (ALsizei i = 0; i < m_sourceCount; ++i) alSourcef(m_sources[i], AL_PITCH, pitch);
}

int32_t AlSoundBuffer::SetVolume(int32_t volume) {
    if (!(m_flags & kDsbcapsCtrlVolume)) return kDsControlUnavail;
    if (volume < -10000 || volume > 0) return kDsInvalidArg;
    m_volume = volume;
    alGetError();
    ApplyGains();
    return AlResult();
}

int32_t AlSoundBuffer::GetVolume(int32_t* volume) {
    if (!(m_flags & kDsbcapsCtrlVolume)) return kDsControlUnavail;
    *volume = m_volume;
    return kDsOk;
}

int32_t AlSoundBuffer::SetPan(int32_t pan) {
    if (!(m_flags & kDsbcapsCtrlPan)) return kDsControlUnavail;
    if (pan < -10000 || pan > 10000) return kDsInvalidArg;
    m_pan = pan;
    alGetError();
    ApplyGains();
    return AlResult();
}

int32_t AlSoundBuffer::SetFrequency(uint32_t frequency) {
    if (!(m_flags & kDsbcapsCtrlFrequency)) return kDsControlUnavail;
    if (frequency != 0 && (frequency < kMinFrequency || frequency > kMaxFrequency)) return kDsInvalidArg;
    m_frequency = frequency;
    alGetError();
    ApplyPitch();
    return AlResult();
}

int32_t AlSoundBuffer::GetFrequency(uint32_t* frequency) {
    if (!(m_flags & kDsbcapsCtrlFrequency)) return kDsControlUnavail;
    *frequency = m_frequency ? m_frequency : m_format.samplesPerSec;
    return kDsOk;
}

class AlSound3D : public Ds3DBuffer {
public:
    AlSound3D(std::shared_ptr<AlOutput> output, std::shared_ptr<AlSoundBuffer> buffer)
        : m_output(std::move(output)), m_buffer(std::move(buffer)) {}

    int32_t SetPosition(float x, float y, float z, uint32_t apply) override {
        return Vector(AL_POSITION, x, y, z, apply);
    }
    int32_t SetVelocity(float x, float y, float z, uint32_t apply) override {
        return Vector(AL_VELOCITY, x, y, z, apply);
    }
    int32_t SetConeOrientation(float x, float y, float z, uint32_t apply) override {
        return Vector(AL_DIRECTION, x, y, z, apply);
    }
    int32_t SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply) override {
        if (inside > outside || outside > 360) return kDsInvalidArg;
        m_output->Before3D(apply);
        alSourcef(m_buffer->Source(), AL_CONE_INNER_ANGLE, static_cast<float>(inside));
        alSourcef(m_buffer->Source(), AL_CONE_OUTER_ANGLE, static_cast<float>(outside));
        return AlResult();
    }
    int32_t SetConeOutsideVolume(int32_t volume, uint32_t apply) override {
        if (volume < -10000 || volume > 0) return kDsInvalidArg;
        m_output->Before3D(apply);
        alSourcef(m_buffer->Source(), AL_CONE_OUTER_GAIN, GainOf(volume));
        return AlResult();
    }
    int32_t QueryPropertySet(std::shared_ptr<DsPropertySet>&) override { return kDsNoInterface; }

private:
    int32_t Vector(ALenum property, float x, float y, float z, uint32_t apply) {
        if (!Finite(x, y, z)) return kDsInvalidArg;
        m_output->Before3D(apply);
        alSource3f(m_buffer->Source(), property, x, y, -z);
        return AlResult();
    }

    std::shared_ptr<AlOutput> m_output;
    std::shared_ptr<AlSoundBuffer> m_buffer;
};

int32_t AlSoundBuffer::Query3DBuffer(std::shared_ptr<Ds3DBuffer>& out) {
    if (!Is3D()) return kDsNoInterface;
    out = std::make_shared<AlSound3D>(m_output, shared_from_this());
    return kDsOk;
}

void AlOutput::SetRolloff(float rolloff) {
    m_rolloff = rolloff;
    for (const std::weak_ptr<AlSoundBuffer>& placed : m_placed)
        if (std::shared_ptr<AlSoundBuffer> b = placed.lock()) b->SetRolloff(rolloff);
}

class AlListener : public DsListener {
public:
    explicit AlListener(std::shared_ptr<AlOutput> output) : m_output(std::move(output)) {}

    int32_t SetPosition(float x, float y, float z, uint32_t apply) override {
        if (!Finite(x, y, z)) return kDsInvalidArg;
        m_output->Before3D(apply);
        alListener3f(AL_POSITION, x, y, -z);
        return AlResult();
    }
    int32_t SetVelocity(float x, float y, float z, uint32_t apply) override {
        if (!Finite(x, y, z)) return kDsInvalidArg;
        m_output->Before3D(apply);
        alListener3f(AL_VELOCITY, x, y, -z);
        return AlResult();
    }
    int32_t SetOrientation(float fx, float fy, float fz, float tx, float ty, float tz, uint32_t apply) override {
        if (!Finite(fx, fy, fz) || !Finite(tx, ty, tz)) return kDsInvalidArg;
        // Both vectors must point somewhere, and not the same way.
        const float cx = fy * tz - fz * ty, cy = fz * tx - fx * tz, cz = fx * ty - fy * tx;
        if (cx * cx + cy * cy + cz * cz <= 0.0f) return kDsInvalidArg;
        m_output->Before3D(apply);
        const ALfloat orientation[6] = {fx, fy, -fz, tx, ty, -tz};
        alListenerfv(AL_ORIENTATION, orientation);
        return AlResult();
    }
    int32_t SetRolloffFactor(float factor, uint32_t apply) override {
        if (!(factor >= 0.0f && factor <= 10.0f)) return kDsInvalidArg;
        m_output->Before3D(apply);
        m_output->SetRolloff(factor);
        return AlResult();
    }
    int32_t SetDopplerFactor(float factor, uint32_t apply) override {
        if (!(factor >= 0.0f && factor <= 10.0f)) return kDsInvalidArg;
        m_output->Before3D(apply);
        alDopplerFactor(factor);
        return AlResult();
    }
    // Metres per unit: the speed of sound in units.
    int32_t SetDistanceFactor(float factor, uint32_t apply) override {
        if (!(factor > 0.0f) || !std::isfinite(kSpeedOfSound / factor)) return kDsInvalidArg;
        m_output->Before3D(apply);
        alSpeedOfSound(kSpeedOfSound / factor);
        return AlResult();
    }
    int32_t CommitDeferredSettings() override {
        m_output->Commit();
        return kDsOk;
    }

private:
    std::shared_ptr<AlOutput> m_output;
};

class AlPrimaryBuffer : public DsBuffer {
public:
    AlPrimaryBuffer(std::shared_ptr<AlOutput> output, uint32_t flags)
        : m_output(std::move(output)), m_flags(flags), m_format(MakePcmFormat(2, 22050, 8)) {}

    int32_t Lock(uint32_t, uint32_t, void**, uint32_t*, void**, uint32_t*, uint32_t) override {
        return kDsPrioLevelNeeded;
    }
    int32_t Unlock(void*, uint32_t, void*, uint32_t) override { return kDsInvalidCall; }
    // The mix runs while the device is open.
    int32_t Play(uint32_t, uint32_t, uint32_t) override { return kDsOk; }
    int32_t Stop() override { return kDsOk; }
    int32_t SetCurrentPosition(uint32_t) override { return kDsInvalidCall; }
    int32_t GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        if (play) *play = 0;
        if (write) *write = 0;
        return kDsOk;
    }
    int32_t GetStatus(uint32_t* status) override {
        *status = kDsbstatusPlaying | kDsbstatusLooping;
        return kDsOk;
    }
    int32_t Restore() override { return kDsOk; }
    int32_t SetVolume(int32_t) override { return kDsControlUnavail; }
    int32_t GetVolume(int32_t*) override { return kDsControlUnavail; }
    int32_t SetPan(int32_t) override { return kDsControlUnavail; }
    int32_t SetFrequency(uint32_t) override { return kDsControlUnavail; }
    int32_t GetFrequency(uint32_t*) override { return kDsControlUnavail; }
    // The mixer converts whatever it is given: every playable format is
    // taken as it is.
    int32_t SetFormat(const WaveFormat& format) override {
        if (!IsPlayablePcm(format)) return kDsInvalidArg;
        m_format = format;
        return kDsOk;
    }
    int32_t GetFormat(WaveFormat* format) override {
        *format = m_format;
        return kDsOk;
    }
    int32_t QueryListener(std::shared_ptr<DsListener>& out) override {
        if (!(m_flags & kDsbcapsCtrl3D)) return kDsNoInterface;
        out = std::make_shared<AlListener>(m_output);
        return kDsOk;
    }
    int32_t Query3DBuffer(std::shared_ptr<Ds3DBuffer>&) override { return kDsNoInterface; }

private:
    std::shared_ptr<AlOutput> m_output;
    uint32_t m_flags;
    WaveFormat m_format;
};

class AlDevice : public DsDevice {
public:
    explicit AlDevice(std::shared_ptr<AlOutput> output) : m_output(std::move(output)) {}

    // A software mixer: any rate, primary formats of 8 and 16 bits, mono and
    // stereo; no hardware buffers or memory.
    int32_t GetCaps(DsCaps* caps) override {
        *caps = DsCaps();
        caps->flags = kDscapsContinuousRate | kDscapsPrimary16Bit | kDscapsPrimary8Bit | kDscapsPrimaryMono |
                      kDscapsPrimaryStereo;
        return kDsOk;
    }
    int32_t SetCooperativeLevel(intptr_t, uint32_t) override { return kDsOk; }

    int32_t CreateSoundBuffer(const DsBufferDesc& desc, std::shared_ptr<DsBuffer>& out) override {
        if (desc.flags & kDsbcapsPrimaryBuffer) {
            out = std::make_shared<AlPrimaryBuffer>(m_output, desc.flags);
            return kDsOk;
        }
        if (!desc.format || !IsPlayablePcm(*desc.format) || desc.bufferBytes < kMinBufferBytes ||
            desc.bufferBytes > kMaxBufferBytes || desc.bufferBytes < desc.format->blockAlign)
            return kDsInvalidArg;
        if ((desc.flags & kDsbcapsCtrl3D) && (desc.flags & kDsbcapsCtrlPan)) return kDsInvalidArg;
        std::shared_ptr<AlSoundBuffer> buffer;
        try {
            buffer = std::make_shared<AlSoundBuffer>(m_output, desc.flags, *desc.format, desc.bufferBytes);
        } catch (const std::bad_alloc&) {
            return kDsOutOfMemory;
        }
        if (!buffer->Create()) return kDsOutOfMemory;
        if (buffer->Is3D()) m_output->Add3D(buffer);
        out = std::move(buffer);
        return kDsOk;
    }

private:
    std::shared_ptr<AlOutput> m_output;
};

}  // namespace

DsDeviceFactory SystemDsDeviceFactory() {
    DsDeviceFactory factory;
    factory.create = [](std::shared_ptr<DsDevice>& out) -> int32_t {
        if (!OpenAlOutput::Acquire()) return kDsNoDriver;
        out = std::make_shared<AlDevice>(std::make_shared<AlOutput>());
        return kDsOk;
    };
    factory.createEax = [](std::shared_ptr<DsDevice>&) { return kDsEaxLibraryMissing; };
    return factory;
}
