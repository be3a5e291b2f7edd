// The default back end on the real device, heard: OpenAL Soft's "wave"
// driver writes the mix to a file, read back channel by channel once the
// last slot's release has closed the device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <functional>
#include <thread>

#include "media/DSBackEnd.h"
#include "media/VRAlib.h"
#include "support/ScratchFolder.h"
#include "support/SoundFiles.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

const PcmFormat kToneFormat{1, 22050, 16};

class SoundOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SoundCapture::Process(); }

    SoundOutput() {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) m_cwd = cwd;
        EXPECT_EQ(chdir(folder.Path().c_str()), 0);  // no "VRAlib.ini": the defaults
        VRAlibReset();
        DSCurrentSettings() = DSSettings();
        DSSetDeviceFactory(DsDeviceFactory());
        tone = folder.Path() + "tone.wav";
        WriteBytes(tone, WaveBytes(kToneFormat, ToneData(kToneFormat, 0.5, 440, 0.5)));
    }
    ~SoundOutput() override {
        VRAlibReset();
        if (!m_cwd.empty()) {
            EXPECT_EQ(chdir(m_cwd.c_str()), 0);
        }
    }

    // Loads the file into a slot of the type, sets it up, plays it and lets
    // it sound for the time; then gives the slot back and reads the mix.
    SoundMix Hear(int32_t type, const std::string& file, const std::function<void(int32_t)>& setUp,
                  std::chrono::milliseconds time = 800ms) {
        SoundMix mix;
        const int32_t slot = AudioAcquireSource();
        EXPECT_EQ(slot, 0);
        if (slot < 0) return mix;
        EXPECT_EQ(AudioSetScalar(slot, "Type", type), 0);
        EXPECT_EQ(AudioSetSample(slot, "Sample", file.c_str()), 0);
        if (setUp) setUp(slot);
        EXPECT_EQ(AudioPlay(slot), 0);
        std::this_thread::sleep_for(time);
        EXPECT_EQ(AudioReleaseSource(slot), 0);
        EXPECT_TRUE(ReadSoundMix(SoundCapture::Process().OutputPath(), mix));
        return mix;
    }

    ScratchFolder folder;
    std::string tone;

private:
    std::string m_cwd;
};

TEST_F(SoundOutput, APlainToneSoundsItsLengthInBothChannels) {
    const SoundMix mix = Hear(1, tone, nullptr);
    const Audible left = AudibleIn(mix.left, mix.rate), right = AudibleIn(mix.right, mix.rate);
    EXPECT_NEAR(left.seconds, 0.5, 0.03);
    EXPECT_NEAR(right.seconds, 0.5, 0.03);
    // Full volume on both sides, as the file has it.
    EXPECT_NEAR(left.peak, 0.5f, 0.05f);
    EXPECT_NEAR(right.peak, 0.5f, 0.05f);
}

TEST_F(SoundOutput, PanToOneSideSilencesTheOther) {
    const SoundMix mix = Hear(1, tone, [](int32_t slot) { EXPECT_EQ(AudioSetScalar(slot, "Pan", -10000), 0); });
    EXPECT_NEAR(AudibleIn(mix.left, mix.rate).seconds, 0.5, 0.03);
    EXPECT_NEAR(AudibleIn(mix.left, mix.rate).peak, 0.5f, 0.05f);
    EXPECT_LT(AudibleIn(mix.right, mix.rate).peak, 1e-4f);
}

TEST_F(SoundOutput, ASoundOnTheLeftIsLouderOnTheLeft) {
    for (float x : {-3.0f, 3.0f}) {
        SCOPED_TRACE(x);
        const float position[3] = {x, 0, 0};
        const SoundMix mix = Hear(2, tone, [&](int32_t slot) {
            EXPECT_EQ(AudioSetVector(slot, "Position", position), 0);
        });
        const float left = AudibleIn(mix.left, mix.rate).peak, right = AudibleIn(mix.right, mix.rate).peak;
        EXPECT_GT(x < 0 ? left : right, 2 * (x < 0 ? right : left));
        // Three units away: a third of the level.
        EXPECT_NEAR(std::max(left, right), 0.5f / 3, 0.05f);
    }
}

TEST_F(SoundOutput, VolumeZeroIsSilent) {
    const SoundMix mix = Hear(1, tone, [](int32_t slot) { EXPECT_EQ(AudioSetScalar(slot, "Volume", 0), 0); });
    EXPECT_LT(AudibleIn(mix.left, mix.rate).peak, 1e-4f);
    EXPECT_LT(AudibleIn(mix.right, mix.rate).peak, 1e-4f);
    EXPECT_GT(mix.left.size(), mix.rate / 2);  // the device did run
}

TEST_F(SoundOutput, AStereoFileOnA3DSlotPlaysMixedToMono) {
    const PcmFormat stereo{2, 22050, 8};
    const std::string file = folder.Path() + "stereo.wav";
    WriteBytes(file, WaveBytes(stereo, ToneData(stereo, 0.3, 440, 0.5)));
    const SoundMix mix = Hear(2, file, nullptr, 600ms);
    EXPECT_NEAR(AudibleIn(mix.left, mix.rate, 0.01f).seconds, 0.3, 0.03);
    EXPECT_NEAR(AudibleIn(mix.right, mix.rate, 0.01f).seconds, 0.3, 0.03);
}

TEST_F(SoundOutput, PlayStartsWhereTheStoppedCursorWasSet) {
    const SoundMix mix = Hear(1, tone, [](int32_t slot) {
        EXPECT_EQ(AudioSeek(slot, 0.5f), 0);
        float fraction = 0;
        EXPECT_EQ(AudioGetSeekPosition(slot, &fraction), 0);
        EXPECT_FLOAT_EQ(fraction, 0.5f);
    });
    EXPECT_NEAR(AudibleIn(mix.left, mix.rate).seconds, 0.25, 0.03);
}

TEST_F(SoundOutput, APausedSoundIsNotPlayingAndGoesOnFromWhereItStopped) {
    ASSERT_EQ(AudioAcquireSource(), 0);
    ASSERT_EQ(AudioSetScalar(0, "Type", 2), 0);
    ASSERT_EQ(AudioSetSample(0, "Sample", tone.c_str()), 0);
    ASSERT_EQ(AudioPlay(0), 0);
    uint8_t playing = 0;
    EXPECT_EQ(AudioGetStatus(0, "Status", &playing), 0);
    EXPECT_EQ(playing, 1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(AudioStop(0, 1), 0);
    EXPECT_EQ(AudioGetStatus(0, "Status", &playing), 0);
    EXPECT_EQ(playing, 0);
    float paused = 0;
    EXPECT_EQ(AudioGetSeekPosition(0, &paused), 0);
    EXPECT_GT(paused, 0.1f);
    EXPECT_LT(paused, 0.9f);
    ASSERT_EQ(AudioPlay(0), 0);
    float resumed = 0;
    EXPECT_EQ(AudioGetSeekPosition(0, &resumed), 0);
    EXPECT_GE(resumed, paused);
    std::this_thread::sleep_for(700ms);
    // Played to its end: not playing, and a new Play starts from the top.
    EXPECT_EQ(AudioGetStatus(0, "Status", &playing), 0);
    EXPECT_EQ(playing, 0);
    float end = 1;
    EXPECT_EQ(AudioGetSeekPosition(0, &end), 0);
    EXPECT_EQ(end, 0.0f);
}

TEST_F(SoundOutput, AFormatTheDeviceCannotPlayIsRefused) {
    ASSERT_EQ(AudioAcquireSource(), 0);
    ASSERT_EQ(AudioSetScalar(0, "Type", 1), 0);
    const std::string fmt24 = RiffChunkBytes("fmt ", PcmFormatData(PcmFormat{1, 22050, 24}));
    std::string fmtFloat = PcmFormatData(PcmFormat{1, 22050, 32});
    fmtFloat[0] = 3;
    const std::string chunk = RiffChunkBytes("data", std::string(600, '\0'));
    std::string badAlign = PcmFormatData(kToneFormat);
    badAlign[12] = 4;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"24 bits", RiffBytes("WAVE", fmt24 + chunk)},
        {"float", RiffBytes("WAVE", RiffChunkBytes("fmt ", fmtFloat) + chunk)},
        {"three channels", WaveBytes(PcmFormat{3, 22050, 16}, std::string(600, '\0'))},
        {"rate 0", WaveBytes(PcmFormat{1, 0, 16}, std::string(600, '\0'))},
        {"block align", RiffBytes("WAVE", RiffChunkBytes("fmt ", badAlign) + chunk)},
        {"no data", WaveBytes(kToneFormat, "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = folder.Path() + "bad.wav";
        WriteBytes(file, c.bytes);
        EXPECT_EQ(AudioSetSample(0, "Sample", file.c_str()), kAudioCreateBuffer);
    }
}

}  // namespace
