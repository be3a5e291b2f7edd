// The default back end's start, shut-down, capability report and settings;
// its slot operations are in DSBackEndSlots.cpp.
#include "media/DSBackEnd.h"

#include <cstdio>
#include <cstring>

#include "media/DSBackEndState.h"

DSState& DS() {
    static DSState state;
    return state;
}

namespace {

// The EAX 2.0 listener property set, and its property that covers all the
// listener's values.
constexpr DsGuid kEaxListenerProperties = {0x0306a6a8, 0xb224, 0x11d2, {0x99, 0xe5, 0x00, 0x00, 0xe8, 0xd8, 0xc7, 0x22}};
constexpr uint32_t kEaxListenerAllParameters = 1;

DsDeviceFactory& Factory() {
    static DsDeviceFactory factory = SystemDsDeviceFactory();
    return factory;
}

// The format the primary buffer is asked for: 22050 Hz, 8 bits, stereo.
WaveFormat PrimaryFormat() { return MakePcmFormat(2, 22050, 8); }

// Lets go of everything the back end holds (the settings stay).
void ReleaseAll() {
    DSState& ds = DS();
    ds.slots.clear();
    ds.probeSet.reset();
    ds.probe3D.reset();
    ds.probeBuffer.reset();
    ds.listener.reset();
    ds.primary.reset();
    ds.device.reset();
    ds.eaxActive = 0;
}

// The EAX library's buffer that asks the device for the EAX 2.0 listener
// properties.
int32_t ProbeEax() {
    DSState& ds = DS();
    DsBufferDesc desc;
    desc.flags = kDsbcapsCtrl3D | kDsbcapsStatic;
    desc.bufferBytes = 4;
    desc.format = &ds.format;
    if (ds.device->CreateSoundBuffer(desc, ds.probeBuffer) != kDsOk || !ds.probeBuffer) return kAudioCreateBuffer;
    if (ds.probeBuffer->Query3DBuffer(ds.probe3D) != kDsOk || !ds.probe3D) return kAudioSourceProperty;
    if (ds.probe3D->QueryPropertySet(ds.probeSet) != kDsOk || !ds.probeSet) return kAudioSourceProperty;
    uint32_t support = 0;
    const uint32_t both = kKsPropertySupportGet | kKsPropertySupportSet;
    if (ds.probeSet->QuerySupport(kEaxListenerProperties, kEaxListenerAllParameters, &support) != kDsOk ||
        (support & both) != both)
        return kAudioNoEaxListener;
    ds.eaxActive = 1;
    return kAudioOk;
}

int32_t MakeDevice(bool eax) {
    DSState& ds = DS();
    if (!eax) return Factory().create(ds.device) == kDsOk && ds.device ? kAudioOk : kAudioNoDevice;
    switch (Factory().createEax(ds.device)) {
    case kDsEaxCreated:
        return ds.device ? kAudioOk : kAudioNoDevice;
    case kDsEaxLibraryMissing:
        return kAudioNoEaxLibrary;
    case kDsEaxEntryMissing:
        return kAudioNoEaxEntry;
    default:
        return kAudioNoDevice;
    }
}

int32_t StartListener() {
    DSState& ds = DS();
    const DSSettings& s = ds.settings;
    DsListener& listener = *ds.listener;
    const uint32_t apply = kDs3dDeferred;
    const bool failed = listener.SetPosition(0, 0, 0, apply) != kDsOk ||
                        listener.SetOrientation(0, 0, 1, 0, 1, 0, apply) != kDsOk ||
                        listener.SetRolloffFactor(s.rolloffFactor, apply) != kDsOk ||
                        listener.SetDopplerFactor(s.dopplerFactor, apply) != kDsOk ||
                        listener.SetDistanceFactor(s.distanceFactor, apply) != kDsOk ||
                        listener.CommitDeferredSettings() != kDsOk;
    return failed ? kAudioListenerProperty : kAudioOk;
}

int32_t Start(int32_t mode, bool eax) {
    DSState& ds = DS();
    DSReadSettings();
    // The window is only the device's cooperative binding, which means
    // nothing here: no stand-in window is made when none was given.
    ReleaseAll();
    ds.slots.assign(static_cast<size_t>(AudioSourceCount()), DSSlot());
    ds.format = PrimaryFormat();
    if (const int32_t made = MakeDevice(eax); made < 0) return made;

    ds.placement = kDsbcapsLocHardware;
    if (mode == 0)
        ds.placement = kDsbcapsLocSoftware;
    else if (mode == 2)
        DSLogCaps(ds.logFlag);
    if (ds.device->SetCooperativeLevel(VRAlibWindow(), kDssclPriority) != kDsOk) return kAudioCooperativeLevel;

    DsBufferDesc primary;
    primary.flags = kDsbcapsPrimaryBuffer | kDsbcapsCtrl3D | ds.placement;
    if (ds.device->CreateSoundBuffer(primary, ds.primary) != kDsOk || !ds.primary) return kAudioPrimaryBuffer;
    ds.primary->Play(0, 0, kDsbplayLooping);
    int32_t result = kAudioOk;
    if (ds.primary->SetFormat(ds.format) != kDsOk) {
        ds.primary->GetFormat(&ds.format);
        result = kAudioPrimaryFormat;
    }
    if (ds.primary->QueryListener(ds.listener) != kDsOk || !ds.listener) return kAudioNoListenerInterface;
    if (const int32_t listener = StartListener(); listener < 0) return listener;
    if (eax)
        if (const int32_t probe = ProbeEax(); probe < 0) return probe;
    return result;
}

}  // namespace

// A start that fails lets go of what it made, a refused primary format
// included (the slot acquisition counts it as a failure).
int32_t DSStart(int32_t mode) {
    const int32_t result = Start(mode, false);
    if (result < 0) ReleaseAll();
    return result;
}

int32_t DSStartEAX(int32_t mode) {
    const int32_t result = Start(mode, true);
    if (result < 0) ReleaseAll();
    return result;
}

int32_t DSShutdown() {
    ReleaseAll();
    return kAudioOk;
}

int32_t DSReadSettings() { return ReadAudioSettingsFile(kAudioSettingsFile, DS().settings); }

DSSettings& DSCurrentSettings() { return DS().settings; }

void DSSetDeviceFactory(const DsDeviceFactory& factory) {
    Factory() = factory.create ? factory : SystemDsDeviceFactory();
}

namespace {

struct CapsLine {
    uint32_t flag;
    const char* text;
};

constexpr CapsLine kCapsLines[] = {
    {kDscapsCertified, "This driver has been tested and certified by Microsoft.\n"},
    {kDscapsContinuousRate,
     "The device supports all sample rates between the dwMinSecondarySampleRate and dwMaxSecondarySampleRate "
     "member values. Typically, this means that the actual output rate will be within +/- 10 hertz (Hz) of the "
     "requested frequency.\n"},
    {kDscapsEmulDriver,
     "The device does not have a DirectSound driver installed, so it is being emulated through the waveform-audio "
     "functions. Performance degradation should be expected.\n"},
    {kDscapsPrimary16Bit, "The device supports primary sound buffers with 16-bit samples.  \n"},
    {kDscapsPrimary8Bit, "The device supports primary buffers with 8-bit samples.  \n"},
    {kDscapsPrimaryMono, "The device supports monophonic primary buffers.  \n"},
    {kDscapsPrimaryStereo, "The device supports stereo primary buffers.  \n"},
    {kDscapsSecondary16Bit, "The device supports hardware-mixed secondary sound buffers with 16-bit samples.  \n"},
    {kDscapsSecondary8Bit, "The device supports hardware-mixed secondary buffers with 8-bit samples.  \n"},
    {kDscapsSecondaryMono, "The device supports hardware-mixed monophonic secondary buffers.  \n"},
    {kDscapsSecondaryStereo, "The device supports hardware-mixed stereo secondary buffers  \n"},
};

struct CountLine {
    const char* name;
    uint32_t DsCaps::*field;
};

// The counters in the report's order, repeats included.
constexpr CountLine kCountLines[] = {
    {"FreeHw3DAllBuffers", &DsCaps::freeHw3DAllBuffers},
    {"FreeHw3DStaticBuffers", &DsCaps::freeHw3DStaticBuffers},
    {"FreeHw3DStreamingBuffers", &DsCaps::freeHw3DStreamingBuffers},
    {"FreeHwMemBytes", &DsCaps::freeHwMemBytes},
    {"FreeHwMixingAllBuffers", &DsCaps::freeHwMixingAllBuffers},
    {"FreeHwMixingStaticBuffers", &DsCaps::freeHwMixingStaticBuffers},
    {"FreeHwMixingStreamingBuffers", &DsCaps::freeHwMixingStreamingBuffers},
    {"MaxContigFreeHwMemBytes", &DsCaps::maxContigFreeHwMemBytes},
    {"MaxHw3DAllBuffers", &DsCaps::maxHw3DAllBuffers},
    {"MaxHw3DStaticBuffers", &DsCaps::maxHw3DStaticBuffers},
    {"MaxHw3DStreamingBuffers", &DsCaps::maxHw3DStreamingBuffers},
    {"FreeHw3DAllBuffers", &DsCaps::freeHw3DAllBuffers},
    {"FreeHw3DStaticBuffers", &DsCaps::freeHw3DStaticBuffers},
    {"FreeHw3DStreamingBuffers", &DsCaps::freeHw3DStreamingBuffers},
    {"TotalHwMemBytes", &DsCaps::totalHwMemBytes},
    {"FreeHwMemBytes", &DsCaps::freeHwMemBytes},
    {"MaxContigFreeHwMemBytes", &DsCaps::maxContigFreeHwMemBytes},
};

}  // namespace

void DSLogCaps(int32_t logFlag) {
    DSState& ds = DS();
    DsCaps caps;
    const bool read = ds.device && ds.device->GetCaps(&caps) == kDsOk;
    if (!read) caps = DsCaps();
    if (caps.freeHwMemBytes == 0) ds.placement = kDsbcapsLocSoftware;
    if (!logFlag) return;
    FILE* log = std::fopen(kDSLogFile, "w");
    if (!log) return;
    if (!read) {
        std::fputs("Error in getting DirectSound capabilities\n", log);
        std::fclose(log);
        return;
    }
    for (const CapsLine& line : kCapsLines)
        if (caps.flags & line.flag) std::fputs(line.text, log);
    for (const CountLine& line : kCountLines)
        std::fprintf(log, "There are %d %s\n", static_cast<int32_t>(caps.*line.field), line.name);
    std::fprintf(log, "The UnlockTransferRate to HwBuffers is %f kbps\n",
                 static_cast<double>(caps.unlockTransferRateHwBuffers));
    std::fprintf(log, "The Overhead of the CPU in mixing SW buffers is %f percent\n",
                 static_cast<double>(caps.playCpuOverheadSwBuffers));
    std::fclose(log);
}

int32_t DSSet3DParam(const char* name, float value) {
    DSSettings& s = DS().settings;
    if (!name) return kAudioOk;
    if (std::strcmp(name, "DS_FREQ_FACTOR") == 0)
        s.freqFactor = value;
    else if (std::strcmp(name, "DS_DOPPLER_FACTOR") == 0)
        s.dopplerFactor = value;
    else if (std::strcmp(name, "DS_ROLLOFF_FACTOR") == 0)
        s.rolloffFactor = value;
    else if (std::strcmp(name, "DS_DISTANCE_FACTOR") == 0)
        s.distanceFactor = value;
    else if (std::strcmp(name, "UseImmediateMode") == 0)
        s.useImmediateMode = DSTruncate(value);
    return kAudioOk;
}

uint8_t DSIsEAXActive() { return DS().eaxActive; }

const AudioBackEnd& DirectSoundBackEnd() {
    // No streaming slots; the EAX operations are not here.
    static const AudioBackEnd table = [] {
        AudioBackEnd t{};
        t.start = DSStart;
        t.startEAX = DSStartEAX;
        t.shutdown = DSShutdown;
        t.setSample = DSSetSample;
        t.setLoop = DSSetLoop;
        t.setScalar = DSSetScalar;
        t.getScalar = DSGetScalar;
        t.setVector = DSSetVector;
        t.getStatus = DSGetStatus;
        t.play = DSPlay;
        t.stop = DSStop;
        t.seek = DSSeek;
        t.getSeekPosition = DSGetSeekPosition;
        t.set3DParam = DSSet3DParam;
        t.isEAXActive = DSIsEAXActive;
        return t;
    }();
    return table;
}
