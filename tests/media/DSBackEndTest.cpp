// The default back end on the fake device: its start and what a failing
// call costs, the buffers it makes, the capability log, deferred 3D
// settings, the Rpm rules and the answers of the slot operations.
#include <cmath>
#include <fstream>
#include <sstream>

#include "support/FakeAudio.h"

using namespace qemtest;

namespace {

using DSBackEnd = FakeAudio;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const float kVector[6] = {1, 2, 3, 0, 1, 0};

TEST_F(DSBackEnd, AFailedStartAnswersItsCodeAndLetsGoOfEverything) {
    const struct {
        const char* call;
        int32_t code;
    } cases[] = {
        {"Create", kAudioNoDevice},
        {"Device.SetCooperativeLevel", kAudioCooperativeLevel},
        {"Device.CreatePrimaryBuffer", kAudioPrimaryBuffer},
        {"Primary.SetFormat", kAudioPrimaryFormat},
        {"Primary.QueryListener", kAudioNoListenerInterface},
        {"Listener.SetOrientation", kAudioListenerProperty},
        {"Listener.SetDistanceFactor", kAudioListenerProperty},
        {"Listener.CommitDeferredSettings", kAudioListenerProperty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        control->answers = {{c.call, kDsFail}};
        EXPECT_EQ(DSStart(1), c.code);
        EXPECT_EQ(control->devicesAlive, 0);
        EXPECT_EQ(control->buffersAlive, 0);
        EXPECT_EQ(DSSetScalar(0, "Type", 1), kAudioOutOfRange);  // no slot tables
    }
    control->answers.clear();
    EXPECT_EQ(DSStart(1), 0);
    EXPECT_EQ(control->buffersAlive, 1);  // the primary buffer
}

TEST_F(DSBackEnd, TheEaxStartProbesForTheListenerProperties) {
    const struct {
        DsEaxCreateResult created;
        const char* failing;
        uint32_t support;
        int32_t code;
    } cases[] = {
        {kDsEaxLibraryMissing, nullptr, 3, kAudioNoEaxLibrary},
        {kDsEaxEntryMissing, nullptr, 3, kAudioNoEaxEntry},
        {kDsEaxCreateFailed, nullptr, 3, kAudioNoDevice},
        {kDsEaxCreated, "Device.CreateSoundBuffer", 3, kAudioCreateBuffer},
        {kDsEaxCreated, "Buffer.Query3DBuffer", 3, kAudioSourceProperty},
        {kDsEaxCreated, "Buffer3D.QueryPropertySet", 3, kAudioSourceProperty},
        {kDsEaxCreated, "PropertySet.QuerySupport", 3, kAudioNoEaxListener},
        {kDsEaxCreated, nullptr, kKsPropertySupportSet, kAudioNoEaxListener},
        {kDsEaxCreated, nullptr, 3, kAudioOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        control->eaxCreateResult = c.created;
        control->eaxSupport = c.support;
        control->answers.clear();
        if (c.failing) control->answers[c.failing] = kDsFail;
        EXPECT_EQ(DSStartEAX(1), c.code);
        EXPECT_EQ(DSIsEAXActive(), c.code == kAudioOk ? 1 : 0);
        EXPECT_EQ(control->devicesAlive, c.code == kAudioOk ? 1 : 0);
    }
    // The probe's buffer and the property sets of 3D buffers go with the
    // shut-down, and EAX with them.
    AudioSetModes(1, 1, 0);
    EXPECT_EQ(DSShutdown(), 0);
    EXPECT_EQ(control->buffersAlive, 0);
    control->log.clear();
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(AudioSetScalar(0, "Type", 2), 0);
    EXPECT_EQ(AudioSetSample(0, "Sample", Wave("a.wav").c_str()), 0);
    EXPECT_EQ(control->Count("Buffer3D.QueryPropertySet"), 2);  // the probe's and the sample's
    EXPECT_EQ(AudioReleaseSource(0), 0);
    EXPECT_EQ(control->buffersAlive, 0);
    EXPECT_EQ(control->devicesAlive, 0);
    EXPECT_EQ(DSIsEAXActive(), 0);
}

TEST_F(DSBackEnd, BuffersGetTheirFlagsFromTypeEaxAndPlacement) {
    const struct {
        const char* name;
        int32_t mode;
        bool eax;
        uint32_t freeHwMemory;
        int32_t type;
        uint32_t flags;
    } cases[] = {
        {"3D with EAX", 1, true, 0, 2, 0x200B6 | 0x8000},
        {"3D in hardware", 1, false, 0, 2, 0x200B2 | 0x4 | 0x8000},
        {"3D in software", 0, false, 0, 2, 0x200B2 | 0x8 | 0x8000},
        {"3D, mode 2, no free memory", 2, false, 0, 2, 0x200B2 | 0x8 | 0x8000},
        {"3D, mode 2, free memory", 2, false, 4096, 2, 0x200B2 | 0x4 | 0x8000},
        {"plain", 0, false, 0, 1, 0x1E2 | 0x8000},
        {"unset type", 1, false, 0, 0, 0x1E2 | 0x8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        control->eaxCreateResult = c.eax ? kDsEaxCreated : kDsEaxLibraryMissing;
        control->caps.freeHwMemBytes = c.freeHwMemory;
        AudioSetModes(c.mode, c.eax ? 1 : 0, 0);
        ASSERT_EQ(AudioAcquireSource(), 0);
        control->descriptions.clear();
        ASSERT_EQ(AudioSetScalar(0, "Type", c.type), 0);
        ASSERT_EQ(AudioSetSample(0, "Sample", Wave("f.wav", PcmFormat{1, 11025, 8}, 64).c_str()), 0);
        ASSERT_EQ(control->descriptions.size(), 1u);
        EXPECT_EQ(control->descriptions[0].flags, c.flags);
        EXPECT_EQ(control->descriptions[0].bufferBytes, 64u);
        AudioReleaseSource(0);
    }
}

TEST_F(DSBackEnd, ModeTwoWritesTheCapabilityLog) {
    DsCaps& caps = control->caps;
    caps.flags = kDscapsCertified | kDscapsContinuousRate | kDscapsPrimary16Bit | kDscapsPrimaryStereo |
                 kDscapsSecondary8Bit | kDscapsSecondaryStereo;
    caps.freeHw3DAllBuffers = 1;
    caps.freeHw3DStaticBuffers = 2;
    caps.freeHw3DStreamingBuffers = 3;
    caps.freeHwMemBytes = 4;
    caps.freeHwMixingAllBuffers = 5;
    caps.freeHwMixingStaticBuffers = 6;
    caps.freeHwMixingStreamingBuffers = 7;
    caps.maxContigFreeHwMemBytes = 8;
    caps.maxHw3DAllBuffers = 9;
    caps.maxHw3DStaticBuffers = 10;
    caps.maxHw3DStreamingBuffers = 11;
    caps.totalHwMemBytes = 0xFFFFFFFF;
    caps.unlockTransferRateHwBuffers = 1500;
    caps.playCpuOverheadSwBuffers = 3;
    for (int32_t mode : {0, 1}) {
        EXPECT_EQ(DSStart(mode), 0);
        EXPECT_FALSE(std::ifstream(kDSLogFile).good());
        DSShutdown();
    }
    EXPECT_EQ(DSStart(2), 0);
    EXPECT_EQ(ReadFile(kDSLogFile),
              "This driver has been tested and certified by Microsoft.\n"
              "The device supports all sample rates between the dwMinSecondarySampleRate and "
              "dwMaxSecondarySampleRate member values. Typically, this means that the actual output rate will be "
              "within +/- 10 hertz (Hz) of the requested frequency.\n"
              "The device supports primary sound buffers with 16-bit samples.  \n"
              "The device supports stereo primary buffers.  \n"
              "The device supports hardware-mixed secondary buffers with 8-bit samples.  \n"
              "The device supports hardware-mixed stereo secondary buffers  \n"
              "There are 1 FreeHw3DAllBuffers\n"
              "There are 2 FreeHw3DStaticBuffers\n"
              "There are 3 FreeHw3DStreamingBuffers\n"
              "There are 4 FreeHwMemBytes\n"
              "There are 5 FreeHwMixingAllBuffers\n"
              "There are 6 FreeHwMixingStaticBuffers\n"
              "There are 7 FreeHwMixingStreamingBuffers\n"
              "There are 8 MaxContigFreeHwMemBytes\n"
              "There are 9 MaxHw3DAllBuffers\n"
              "There are 10 MaxHw3DStaticBuffers\n"
              "There are 11 MaxHw3DStreamingBuffers\n"
              "There are 1 FreeHw3DAllBuffers\n"
              "There are 2 FreeHw3DStaticBuffers\n"
              "There are 3 FreeHw3DStreamingBuffers\n"
              "There are -1 TotalHwMemBytes\n"
              "There are 4 FreeHwMemBytes\n"
              "There are 8 MaxContigFreeHwMemBytes\n"
              "The UnlockTransferRate to HwBuffers is 1500.000000 kbps\n"
              "The Overhead of the CPU in mixing SW buffers is 3.000000 percent\n");
    DSShutdown();
    control->answers["Device.GetCaps"] = kDsFail;
    EXPECT_EQ(DSStart(2), 0);
    EXPECT_EQ(ReadFile(kDSLogFile), "Error in getting DirectSound capabilities\n");
}

TEST_F(DSBackEnd, DeferredModeCommitsOnceAfterEachSuccessfulSet) {
    WriteBytes(folder.Path() + "VRAlib.ini", "; settings\nUseImmediateMode 0\n");
    const int32_t spatial = Loaded(2);
    const int32_t plain = Loaded(1);
    const std::string commit = "Listener.CommitDeferredSettings";
    const int afterStart = control->Count(commit);
    EXPECT_EQ(afterStart, 1);
    const struct {
        int32_t index;
        const char* name;
        const char* failing;
        int32_t code;
        int commits;
    } cases[] = {
        {kAudioListener, "Position", nullptr, 0, 1},
        {kAudioListener, "Orientation", nullptr, 0, 1},
        {kAudioListener, "Velocity", "Listener.SetVelocity", kAudioListenerProperty, 0},
        {kAudioListener, "Cones", nullptr, kAudioBadProperty, 0},
        {spatial, "Position", nullptr, 0, 1},
        {spatial, "Cones", nullptr, 0, 1},
        {spatial, "Velocity", "Buffer3D.SetVelocity", kAudioSourceProperty, 0},
        {spatial, "Position", "Listener.CommitDeferredSettings", kAudioCommit, 1},
        {plain, "Position", nullptr, 0, 0},  // taken, nothing set
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + " " + c.name);
        control->answers.clear();
        if (c.failing) control->answers[c.failing] = kDsInvalidArg;
        const int before = control->Count(commit);
        EXPECT_EQ(AudioSetVector(c.index, c.name, kVector), c.code);
        EXPECT_EQ(control->Count(commit) - before, c.commits);
    }
    // Immediate mode commits nothing.
    control->answers.clear();
    DSSet3DParam("UseImmediateMode", 1.9f);
    const int before = control->Count(commit);
    EXPECT_EQ(AudioSetVector(kAudioListener, "Position", kVector), 0);
    EXPECT_EQ(AudioSetVector(spatial, "Position", kVector), 0);
    EXPECT_EQ(control->Count(commit), before);
}

TEST_F(DSBackEnd, SetVectorChecksTheSlot) {
    EXPECT_EQ(DSSetVector(kAudioListener, "Position", kVector), kAudioNoListener);
    const int32_t slot = Loaded(2);
    const float cones[3] = {30.9f, 90.2f, -1200.7f};
    EXPECT_EQ(AudioSetVector(slot, "Cones", cones), 0);
    EXPECT_EQ(control->Count("Buffer3D.SetConeAngles 30 90"), 1);
    EXPECT_EQ(control->Count("Buffer3D.SetConeOutsideVolume -1200"), 1);
    EXPECT_EQ(AudioSetVector(slot, "Scale", kVector), kAudioBadProperty);
    EXPECT_EQ(AudioSetVector(slot + 1, "Position", kVector), kAudioOutOfRange);  // type 0
    EXPECT_EQ(AudioSetVector(-1, "Position", kVector), kAudioOutOfRange);
    EXPECT_EQ(AudioSetVector(255, "Position", kVector), kAudioOutOfRange);
    // A sample loaded plain has no 3D side, whatever its type says later.
    const int32_t plain = Loaded(1);
    EXPECT_EQ(AudioSetScalar(plain, "Type", 2), 0);
    EXPECT_EQ(AudioSetVector(plain, "Position", kVector), kAudioNoBuffer);
}

TEST_F(DSBackEnd, RpmSetsFrequencyAndVolume) {
    const int32_t slot = Loaded(1, PcmFormat{1, 22050, 16});
    const struct {
        int32_t rpm;
        int32_t code;
        const char* frequency;
        const char* volume;
    } cases[] = {
        {950, 0, "Buffer.SetFrequency 3080", "Buffer.SetVolume -2600"},
        {6800, 0, "Buffer.SetFrequency 22050", "Buffer.SetVolume 0"},
        {3875, 0, "Buffer.SetFrequency 12565", "Buffer.SetVolume -1300"},
        {949, kAudioOutOfRange, nullptr, nullptr},
        {6801, kAudioOutOfRange, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rpm);
        control->log.clear();
        EXPECT_EQ(AudioSetScalar(slot, "Rpm", c.rpm), c.code);
        if (c.frequency) {
            EXPECT_EQ(control->Count(c.frequency), 1);
            EXPECT_EQ(control->Count(c.volume), 1);
        }
    }
    // Only the named failures fail a rule.
    control->answers["Buffer.SetVolume 0"] = kDsBufferLost;
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 6800), 0);
    control->answers["Buffer.SetVolume 0"] = kDsControlUnavail;
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 6800), kAudioSetVolume);
    control->answers["Buffer.SetFrequency 22050"] = kDsInvalidArg;
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 6800), kAudioSetFrequency);
    control->answers.clear();

    // Without the volume shift only the rate moves; a slot without a type
    // takes no Rpm.
    DSCurrentSettings().allowRpmVolumeShift = 0;
    control->log.clear();
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 950), 0);
    EXPECT_EQ(control->Count("Buffer.SetVolume -2600"), 0);
    EXPECT_EQ(AudioSetScalar(slot, "Type", 0), 0);
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 950), kAudioBadProperty);
}

TEST_F(DSBackEnd, RpmRulesThatWouldDivideByZeroKeepRateAndVolume) {
    WriteBytes(folder.Path() + "VRAlib.ini", "MINRPM 1000 MAXRPM 1000 SAMPLERPM 0 DS_FREQ_FACTOR 2\n");
    const int32_t slot = Loaded(2);
    control->log.clear();
    EXPECT_EQ(AudioSetScalar(slot, "Rpm", 1000), 0);
    for (const std::string& call : control->log) {
        EXPECT_EQ(call.rfind("Buffer.SetFrequency", 0), std::string::npos);
        EXPECT_EQ(call.rfind("Buffer.SetVolume", 0), std::string::npos);
    }
    EXPECT_EQ(DSCurrentSettings().freqFactor, 2.0f);
}

TEST_F(DSBackEnd, ScalarsCheckTheirRanges) {
    const int32_t spatial = Loaded(2);
    const int32_t plain = Loaded(1, PcmFormat{2, 44100, 16});
    const int32_t empty = AudioAcquireSource();
    const struct {
        int32_t index;
        const char* name;
        int32_t value;
        int32_t code;
    } cases[] = {
        {plain, "Volume", 10000, 0},       {plain, "Volume", 0, 0},
        {plain, "Volume", 10001, -23},     {plain, "Volume", -1, -23},
        {plain, "Pan", -10000, 0},         {plain, "Pan", 10001, -23},
        {spatial, "Pan", 0, -22},          {plain, "Frequency", 100, 0},
        {plain, "Frequency", 100000, 0},   {plain, "Frequency", 99, -23},
        {plain, "Frequency", 100001, -23}, {plain, "Frequency", 0, 0},
        {plain, "Type", 3, -23},           {plain, "Type", -1, -23},
        {plain, "volume", 5000, -22},      {empty, "Volume", 5000, -10},
        {empty, "Pan", 0, -10},            {empty, "Frequency", 0, -10},
        {-1, "Volume", 5000, -23},         {32, "Volume", 5000, -23},
        {empty, "Loudness", 5, -22},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + " " + c.name + " " + std::to_string(c.value));
        EXPECT_EQ(AudioSetScalar(c.index, c.name, c.value), c.code);
    }
    // Reads give back what was set: volume above silence, the file's rate
    // for frequency 0.
    int32_t value = 0;
    EXPECT_EQ(AudioSetScalar(plain, "Volume", 2500), 0);
    EXPECT_EQ(AudioGetScalar(plain, "Volume", &value), 0);
    EXPECT_EQ(value, 2500);
    EXPECT_EQ(AudioGetScalar(plain, "Frequency", &value), 0);
    EXPECT_EQ(value, 44100);
    EXPECT_EQ(AudioGetScalar(spatial, "Type", &value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(AudioGetScalar(empty, "Volume", &value), kAudioNoBuffer);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(AudioGetScalar(plain, "Pan", &value), kAudioBadProperty);
    EXPECT_EQ(value, -1);
    control->answers["Buffer.GetVolume"] = kDsFail;
    EXPECT_EQ(AudioGetScalar(plain, "Volume", &value), kAudioGetVolume);
}

TEST_F(DSBackEnd, AFailedLoadKeepsThePreviousSample) {
    const int32_t slot = Loaded(2, PcmFormat{1, 11025, 8});
    const std::string other = Wave("other.wav", PcmFormat{1, 44100, 16});
    const struct {
        const char* failing;
        const char* file;
        int32_t code;
    } cases[] = {
        {nullptr, "missing.wav", kAudioOpenFile},
        {"Device.CreateSoundBuffer", nullptr, kAudioCreateBuffer},
        {"Buffer.Query3DBuffer", nullptr, kAudioSourceProperty},
        {"Buffer.Lock", nullptr, kAudioLock},
        {"Buffer.Unlock", nullptr, kAudioUnlock},
        {"Buffer.GetFrequency", nullptr, kAudioGetFrequency},
        {"Buffer.GetVolume", nullptr, kAudioGetVolume},
    };
    const int buffers = control->buffersAlive;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        control->answers.clear();
        if (c.failing) control->answers[c.failing] = kDsFail;
        const std::string file = c.file ? folder.Path() + c.file : other;
        EXPECT_EQ(AudioSetSample(slot, "Sample", file.c_str()), c.code);
        control->answers.clear();
        int32_t rate = 0;
        EXPECT_EQ(AudioGetScalar(slot, "Frequency", &rate), 0);
        EXPECT_EQ(rate, 11025);
        EXPECT_EQ(control->buffersAlive, buffers);
    }
    EXPECT_EQ(AudioSetSample(slot, "sample", other.c_str()), kAudioBadProperty);
    EXPECT_EQ(AudioSetSample(-1, "Sample", other.c_str()), kAudioOutOfRange);
    EXPECT_EQ(AudioSetSample(slot, "Sample", nullptr), kAudioOpenFile);
    // A good load replaces the old buffer, which goes.
    EXPECT_EQ(AudioSetSample(slot, "Sample", other.c_str()), 0);
    int32_t rate = 0;
    EXPECT_EQ(AudioGetScalar(slot, "Frequency", &rate), 0);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(control->buffersAlive, buffers);
}

TEST_F(DSBackEnd, PlayStopSeekAndStatus) {
    const int32_t slot = Loaded(1, PcmFormat{1, 22050, 16});  // 200 bytes
    uint8_t playing = 7;
    EXPECT_EQ(AudioGetStatus(slot, "Status", &playing), 0);
    EXPECT_EQ(playing, 0);
    EXPECT_EQ(AudioSetLoop(slot, "Loop", 1), 0);
    EXPECT_EQ(AudioSetLoop(slot, "loop", 1), kAudioBadProperty);
    control->log.clear();
    EXPECT_EQ(AudioPlay(slot), 0);
    EXPECT_EQ(control->Count("Buffer.Play looping"), 1);
    EXPECT_EQ(AudioGetStatus(slot, "Status", &playing), 0);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(AudioGetStatus(slot, "State", &playing), kAudioBadProperty);
    EXPECT_EQ(playing, 0);

    control->log.clear();
    EXPECT_EQ(AudioStop(slot, 1), 0);
    EXPECT_EQ(control->log, std::vector<std::string>{"Buffer.Stop"});
    EXPECT_EQ(AudioStop(slot, 0), 0);
    EXPECT_EQ(control->Count("Buffer.SetCurrentPosition 0"), 1);

    float fraction = -1;
    EXPECT_EQ(AudioSeek(slot, 0.5f), 0);
    EXPECT_EQ(control->Count("Buffer.SetCurrentPosition 100"), 1);
    EXPECT_EQ(AudioGetSeekPosition(slot, &fraction), 0);
    EXPECT_FLOAT_EQ(fraction, 0.5f);
    for (float bad : {1.5f, -0.1f, std::nanf("")}) EXPECT_EQ(AudioSeek(slot, bad), kAudioOutOfRange);

    const int32_t empty = AudioAcquireSource();
    EXPECT_EQ(AudioPlay(empty), kAudioNoBuffer);
    EXPECT_EQ(AudioStop(empty, 0), kAudioNoBuffer);
    EXPECT_EQ(AudioSeek(empty, 0.5f), kAudioNoBuffer);
    EXPECT_EQ(AudioGetStatus(empty, "Status", &playing), kAudioNoBuffer);
    EXPECT_EQ(AudioPlay(99), kAudioOutOfRange);
    control->answers["Buffer.Stop"] = kDsFail;
    EXPECT_EQ(AudioStop(slot, 1), kAudioStop);
}

TEST_F(DSBackEnd, PlayRefillsALostBuffer) {
    control->lose = true;
    const int32_t slot = Loaded(1);
    const int locks = control->Count("Buffer.Lock");
    EXPECT_EQ(AudioPlay(slot), 0);
    EXPECT_EQ(control->Count("Buffer.Restore"), 1);
    EXPECT_EQ(control->Count("Buffer.Lock"), locks + 1);
    control->answers["Buffer.Restore"] = kDsFail;
    const int32_t other = Loaded(1);
    EXPECT_EQ(AudioPlay(other), kAudioRestore);
}

TEST_F(DSBackEnd, SetThreeDParamStoresTheSettings) {
    const struct {
        const char* name;
        float value;
    } cases[] = {{"DS_FREQ_FACTOR", 1.5f}, {"DS_DOPPLER_FACTOR", 0.5f}, {"DS_ROLLOFF_FACTOR", 3},
                 {"DS_DISTANCE_FACTOR", 0.25f}, {"UseImmediateMode", 0.9f}, {"ds_freq_factor", 9},
                 {"Unknown", 9}};
    for (const auto& c : cases) EXPECT_EQ(AudioSet3DParam(c.name, c.value), 0);
    const DSSettings& s = DSCurrentSettings();
    EXPECT_EQ(s.freqFactor, 1.5f);
    EXPECT_EQ(s.dopplerFactor, 0.5f);
    EXPECT_EQ(s.rolloffFactor, 3.0f);
    EXPECT_EQ(s.distanceFactor, 0.25f);
    EXPECT_EQ(s.useImmediateMode, 0);
    EXPECT_EQ(AudioSet3DParam("UseImmediateMode", std::nanf("")), 0);
    EXPECT_EQ(AudioSet3DParam(nullptr, 1), 0);
}

TEST(AudioSettings, ReadsTheNamedValuesAndSkipsOtherWords) {
    std::string text =
        "DS_FREQ_FACTOR 1.25 comment words MINRPM 800\n\tMAXRPM 9000 SAMPLERPM 7000 AllowRpmVolumeShift 0 "
        "UseImmediateMode 0 DS_DOPPLER_FACTOR 3 DS_ROLLOFF_FACTOR 0.5 DS_DISTANCE_FACTOR 2 " +
        std::string(80, 'x') + " MINRPM nonsense MAXRPM 99999999999 useimmediatemode 1 DS_ROLLOFF_FACTOR";
    FILE* stream = fmemopen(text.data(), text.size(), "r");
    DSSettings s;
    ReadAudioSettings(stream, s);
    std::fclose(stream);
    EXPECT_EQ(s.freqFactor, 1.25f);
    EXPECT_EQ(s.minRpm, 800);  // "nonsense" is no number
    EXPECT_EQ(s.maxRpm, INT32_MAX);
    EXPECT_EQ(s.sampleRpm, 7000);
    EXPECT_EQ(s.allowRpmVolumeShift, 0);
    EXPECT_EQ(s.useImmediateMode, 0);
    EXPECT_EQ(s.dopplerFactor, 3.0f);
    EXPECT_EQ(s.rolloffFactor, 0.5f);
    EXPECT_EQ(s.distanceFactor, 2.0f);
    EXPECT_EQ(ReadAudioSettingsFile("/nonexistent/VRAlib.ini", s), -1);
}

}  // namespace
