#include "support/FakeDsDevice.h"

#include <algorithm>
#include <cstring>

namespace qemtest {

int FakeDsControl::Count(const std::string& call) const {
    return static_cast<int>(std::count(log.begin(), log.end(), call));
}

namespace {

using Control = std::shared_ptr<FakeDsControl>;

class FakeListener : public DsListener {
public:
    explicit FakeListener(Control c) : m_c(std::move(c)) {}
    int32_t SetPosition(float x, float y, float z, uint32_t) override {
        const int32_t r = m_c->Answer("Listener.SetPosition");
        if (r == kDsOk) m_c->listenerPosition[0] = x, m_c->listenerPosition[1] = y, m_c->listenerPosition[2] = z;
        return r;
    }
    int32_t SetVelocity(float, float, float, uint32_t) override { return m_c->Answer("Listener.SetVelocity"); }
    int32_t SetOrientation(float fx, float fy, float fz, float tx, float ty, float tz, uint32_t) override {
        const int32_t r = m_c->Answer("Listener.SetOrientation");
        if (r != kDsOk) return r;
        const float v[6] = {fx, fy, fz, tx, ty, tz};
        std::copy(v, v + 6, m_c->listenerOrientation);
        return r;
    }
    int32_t SetRolloffFactor(float, uint32_t) override { return m_c->Answer("Listener.SetRolloffFactor"); }
    int32_t SetDopplerFactor(float, uint32_t) override { return m_c->Answer("Listener.SetDopplerFactor"); }
    int32_t SetDistanceFactor(float, uint32_t) override { return m_c->Answer("Listener.SetDistanceFactor"); }
    int32_t CommitDeferredSettings() override { return m_c->Answer("Listener.CommitDeferredSettings"); }

private:
    Control m_c;
};

class FakePropertySet : public DsPropertySet {
public:
    explicit FakePropertySet(Control c) : m_c(std::move(c)) {}
    int32_t QuerySupport(const DsGuid&, uint32_t, uint32_t* support) override {
        const int32_t r = m_c->Answer("PropertySet.QuerySupport");
        if (r == kDsOk) *support = m_c->eaxSupport;
        return r;
    }

private:
    Control m_c;
};

class Fake3DBuffer : public Ds3DBuffer {
public:
    explicit Fake3DBuffer(Control c) : m_c(std::move(c)) {}
    int32_t SetPosition(float x, float y, float z, uint32_t) override {
        const int32_t r = m_c->Answer("Buffer3D.SetPosition");
        if (r == kDsOk) m_c->sourcePosition[0] = x, m_c->sourcePosition[1] = y, m_c->sourcePosition[2] = z;
        return r;
    }
    int32_t SetVelocity(float, float, float, uint32_t) override { return m_c->Answer("Buffer3D.SetVelocity"); }
    int32_t SetConeAngles(uint32_t inside, uint32_t outside, uint32_t) override {
        return m_c->Answer("Buffer3D.SetConeAngles " + std::to_string(inside) + " " + std::to_string(outside));
    }
    int32_t SetConeOutsideVolume(int32_t volume, uint32_t) override {
        return m_c->Answer("Buffer3D.SetConeOutsideVolume " + std::to_string(volume));
    }
    int32_t SetConeOrientation(float, float, float, uint32_t) override {
        return m_c->Answer("Buffer3D.SetConeOrientation");
    }
    int32_t QueryPropertySet(std::shared_ptr<DsPropertySet>& out) override {
        const int32_t r = m_c->Answer("Buffer3D.QueryPropertySet");
        if (r == kDsOk) out = std::make_shared<FakePropertySet>(m_c);
        return r;
    }

private:
    Control m_c;
};

class FakeBuffer : public DsBuffer {
public:
    FakeBuffer(Control c, const DsBufferDesc& desc) : m_c(std::move(c)), m_flags(desc.flags), m_lost(m_c->lose) {
        if (desc.format) m_format = *desc.format;
        m_bytes.resize(desc.bufferBytes);
        ++m_c->buffersAlive;
    }
    ~FakeBuffer() override { --m_c->buffersAlive; }

    int32_t Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                 uint32_t* secondBytes, uint32_t) override {
        const int32_t r = m_c->Answer("Buffer.Lock");
        if (r != kDsOk) return r;
        if (offset + bytes > m_bytes.size()) return kDsInvalidArg;
        *first = m_bytes.data() + offset;
        *firstBytes = bytes;
        *second = nullptr;
        *secondBytes = 0;
        return r;
    }
    int32_t Unlock(void*, uint32_t, void*, uint32_t) override { return m_c->Answer("Buffer.Unlock"); }
    int32_t Play(uint32_t, uint32_t, uint32_t flags) override {
        const int32_t r = m_c->Answer(flags & kDsbplayLooping ? "Buffer.Play looping" : "Buffer.Play");
        if (r == kDsOk) m_status = kDsbstatusPlaying | (flags & kDsbplayLooping ? kDsbstatusLooping : 0);
        return r;
    }
    int32_t Stop() override {
        const int32_t r = m_c->Answer("Buffer.Stop");
        if (r == kDsOk) m_status = 0;
        return r;
    }
    int32_t SetCurrentPosition(uint32_t position) override {
        const int32_t r = m_c->Answer("Buffer.SetCurrentPosition " + std::to_string(position));
        if (r != kDsOk) return r;
        if (position >= m_bytes.size()) return kDsInvalidArg;
        m_cursor = position;
        return r;
    }
    int32_t GetCurrentPosition(uint32_t* play, uint32_t* write) override {
        *play = *write = m_cursor;
        return m_c->Answer("Buffer.GetCurrentPosition");
    }
    int32_t GetStatus(uint32_t* status) override {
        const int32_t r = m_c->Answer("Buffer.GetStatus");
        *status = m_status | (m_lost ? kDsbstatusBufferLost : 0);
        return r;
    }
    int32_t Restore() override {
        const int32_t r = m_c->Answer("Buffer.Restore");
        if (r == kDsOk) m_lost = false;
        return r;
    }
    int32_t SetVolume(int32_t volume) override {
        const int32_t r = m_c->Answer("Buffer.SetVolume " + std::to_string(volume));
        if (r != kDsOk) return r;
        if (volume < -10000 || volume > 0) return kDsInvalidArg;
        m_volume = volume;
        return r;
    }
    int32_t GetVolume(int32_t* volume) override {
        *volume = m_volume;
        return m_c->Answer("Buffer.GetVolume");
    }
    int32_t SetPan(int32_t pan) override { return m_c->Answer("Buffer.SetPan " + std::to_string(pan)); }
    int32_t SetFrequency(uint32_t frequency) override {
        const int32_t r = m_c->Answer("Buffer.SetFrequency " + std::to_string(frequency));
        if (r != kDsOk) return r;
        if (frequency != 0 && (frequency < 100 || frequency > 100000)) return kDsInvalidArg;
        m_frequency = frequency;
        return r;
    }
    int32_t GetFrequency(uint32_t* frequency) override {
        *frequency = m_frequency ? m_frequency : m_format.samplesPerSec;
        return m_c->Answer("Buffer.GetFrequency");
    }
    int32_t SetFormat(const WaveFormat& format) override {
        const int32_t r = m_c->Answer("Primary.SetFormat");
        if (r == kDsOk) m_format = format;
        return r;
    }
    int32_t GetFormat(WaveFormat* format) override {
        *format = m_format;
        return m_c->Answer("Primary.GetFormat");
    }
    int32_t QueryListener(std::shared_ptr<DsListener>& out) override {
        const int32_t r = m_c->Answer("Primary.QueryListener");
        if (r == kDsOk) out = std::make_shared<FakeListener>(m_c);
        return r;
    }
    int32_t Query3DBuffer(std::shared_ptr<Ds3DBuffer>& out) override {
        const int32_t r = m_c->Answer("Buffer.Query3DBuffer");
        if (r == kDsOk) out = std::make_shared<Fake3DBuffer>(m_c);
        return r;
    }

private:
    Control m_c;
    uint32_t m_flags;
    bool m_lost;
    WaveFormat m_format;
    std::vector<uint8_t> m_bytes;
    uint32_t m_cursor = 0;
    uint32_t m_status = 0;
    int32_t m_volume = 0;
    uint32_t m_frequency = 0;
};

class FakeDevice : public DsDevice {
public:
    explicit FakeDevice(Control c) : m_c(std::move(c)) {
        ++m_c->devicesMade;
        ++m_c->devicesAlive;
    }
    ~FakeDevice() override { --m_c->devicesAlive; }
    int32_t GetCaps(DsCaps* caps) override {
        *caps = m_c->caps;
        return m_c->Answer("Device.GetCaps");
    }
    int32_t SetCooperativeLevel(intptr_t, uint32_t) override { return m_c->Answer("Device.SetCooperativeLevel"); }
    int32_t CreateSoundBuffer(const DsBufferDesc& desc, std::shared_ptr<DsBuffer>& out) override {
        m_c->descriptions.push_back(desc);
        const int32_t r = m_c->Answer(desc.flags & kDsbcapsPrimaryBuffer ? "Device.CreatePrimaryBuffer"
                                                                          : "Device.CreateSoundBuffer");
        if (r == kDsOk) out = std::make_shared<FakeBuffer>(m_c, desc);
        return r;
    }

private:
    Control m_c;
};

}  // namespace

DsDeviceFactory FakeDsDeviceFactory(const std::shared_ptr<FakeDsControl>& control) {
    DsDeviceFactory factory;
    factory.create = [control](std::shared_ptr<DsDevice>& out) -> int32_t {
        const int32_t r = control->Answer("Create");
        if (r == kDsOk) out = std::make_shared<FakeDevice>(control);
        return r;
    };
    factory.createEax = [control](std::shared_ptr<DsDevice>& out) -> DsEaxCreateResult {
        control->log.push_back("CreateEax");
        if (control->eaxCreateResult == kDsEaxCreated) out = std::make_shared<FakeDevice>(control);
        return control->eaxCreateResult;
    };
    return factory;
}

}  // namespace qemtest
