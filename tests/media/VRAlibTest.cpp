// The slot pool and the back-end choice of the sound library, on the fake
// device: when the back end starts and stops, what acquisitions answer, and
// the configuration's limits.
#include "support/FakeAudio.h"

using namespace qemtest;

namespace {

using VRAlib = FakeAudio;

TEST_F(VRAlib, HandsOutThirtyTwoSlotsAndStartsOnce) {
    for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(AudioAcquireSource(), i);
    EXPECT_EQ(AudioAcquireSource(), kAudioNoDevice);
    EXPECT_EQ(control->devicesMade, 1);
    EXPECT_TRUE(AudioRunning());
    // A freed slot is the next one given.
    EXPECT_EQ(AudioReleaseSource(7), 0);
    EXPECT_EQ(AudioAcquireSource(), 7);
}

TEST_F(VRAlib, TheLastReleaseShutsDownAndTheNextAcquisitionStartsAnew) {
    const int32_t a = AudioAcquireSource(), b = AudioAcquireSource();
    EXPECT_EQ(AudioReleaseSource(a), 0);
    EXPECT_EQ(control->devicesAlive, 1);
    EXPECT_EQ(AudioReleaseSource(b), 0);
    EXPECT_EQ(control->devicesAlive, 0);
    EXPECT_FALSE(AudioRunning());
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(control->devicesMade, 2);
    EXPECT_EQ(control->devicesAlive, 1);
}

TEST_F(VRAlib, ReleasingABadIndexChangesNothing) {
    const int32_t a = AudioAcquireSource();
    for (int32_t bad : {-1, 32, 256, INT_MIN}) EXPECT_EQ(AudioReleaseSource(bad), kAudioOutOfRange);
    EXPECT_EQ(AudioReleaseStreamingSource(0), 0);  // no streaming slots: nothing to do
    EXPECT_EQ(AudioAcquireSource(), a + 1);
    EXPECT_EQ(control->devicesAlive, 1);
    // Giving back a slot nobody holds leaves the others' back end running.
    EXPECT_EQ(AudioReleaseSource(5), 0);
    EXPECT_EQ(control->devicesAlive, 1);
}

TEST_F(VRAlib, WithoutStreamingSlotsAStreamingAcquisitionGivesZeroAndStartsNothing) {
    EXPECT_EQ(AudioAcquireStreamingSource(), 0);
    EXPECT_EQ(AudioAcquireStreamingSource(), 0);
    EXPECT_EQ(control->devicesMade, 0);
    EXPECT_EQ(AudioReleaseStreamingSource(0), 0);
    // The default back end has no streaming operations.
    EXPECT_EQ(AudioPlayStreamingSource(0), kAudioNotSupported);
}

TEST_F(VRAlib, BothKindsOfSlotShareOneRunningBackEnd) {
    AudioSetStreamingCount(2);
    AudioAllocSlots();
    AudioSetSourceCount(4);
    EXPECT_EQ(AudioStreamingCount(), 2);
    EXPECT_EQ(AudioAcquireStreamingSource(), 0);
    EXPECT_EQ(control->devicesMade, 1);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(AudioAcquireSource(), 1);
    EXPECT_EQ(AudioAcquireSource(), kAudioNoDevice);  // N - S = 2 static slots
    EXPECT_EQ(control->devicesMade, 1);
    EXPECT_EQ(AudioReleaseStreamingSource(0), 0);
    EXPECT_EQ(control->devicesAlive, 1);
    EXPECT_EQ(AudioReleaseSource(0), 0);
    EXPECT_EQ(AudioReleaseSource(1), 0);
    EXPECT_EQ(control->devicesAlive, 0);
}

TEST_F(VRAlib, HoldsTheCountsToTheirRanges) {
    const struct {
        int32_t buffers, streaming, total, held;
        bool said;
    } cases[] = {
        {32, 0, 32, 0, false}, {0, 0, 1, 0, true},   {300, 0, 255, 0, true},
        {256, 0, 255, 0, true}, {4, 9, 4, 4, true},  {4, -3, 4, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.buffers) + "/" + std::to_string(c.streaming));
        warnings.clear();
        AudioSetStreamingCount(c.streaming);
        AudioAllocSlots();
        AudioSetSourceCount(c.buffers);
        EXPECT_EQ(AudioSourceCount(), c.total);
        EXPECT_EQ(AudioStreamingCount(), c.held);
        EXPECT_EQ(!warnings.empty(), c.said);
    }
    // All slots streaming: no static slot, and no start for nothing.
    AudioSetStreamingCount(4);
    AudioAllocSlots();
    AudioSetSourceCount(4);
    EXPECT_EQ(AudioAcquireSource(), kAudioNoDevice);
    EXPECT_EQ(control->devicesMade, 0);
}

TEST_F(VRAlib, SlotsHeldWhenTheTablesAreSizedStayHeld) {
    EXPECT_EQ(AudioAcquireSource(), 0);
    AudioSetStreamingCount(0);
    AudioAllocSlots();
    AudioSetSourceCount(8);
    EXPECT_EQ(AudioAcquireSource(), 1);
    EXPECT_EQ(control->devicesMade, 1);
}

TEST_F(VRAlib, AFailedStartPassesItsCodeAndMarksNothing) {
    control->answers["Create"] = kDsNoDriver;
    EXPECT_EQ(AudioAcquireSource(), kAudioNoDevice);
    control->answers.clear();
    control->answers["Device.CreatePrimaryBuffer"] = kDsFail;
    EXPECT_EQ(AudioAcquireSource(), kAudioPrimaryBuffer);
    EXPECT_EQ(control->devicesAlive, 0);
    control->answers.clear();
    EXPECT_EQ(AudioAcquireSource(), 0);
}

TEST_F(VRAlib, AFailedEaxStartWarnsOnceAndThePlainStartDecides) {
    AudioSetModes(1, 1, 0);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(warnings, std::vector<std::string>{"Cannot start EAX."});
    EXPECT_EQ(AudioIsEAXActive(), 0);
    EXPECT_EQ(control->Count("CreateEax"), 1);
    EXPECT_EQ(control->Count("Create"), 1);
    EXPECT_EQ(control->devicesAlive, 1);

    // Both failing: one warning, and the plain start's code.
    AudioReleaseSource(0);
    warnings.clear();
    control->answers["Device.SetCooperativeLevel"] = kDsFail;
    EXPECT_EQ(AudioAcquireSource(), kAudioCooperativeLevel);
    EXPECT_EQ(warnings.size(), 1u);

    // AUDIO_EAX 2 is the plain start.
    control->answers.clear();
    warnings.clear();
    AudioSetModes(1, 2, 0);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(control->Count("CreateEax"), 2);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(VRAlib, AnEaxStartThatSucceedsMakesEaxActive) {
    control->eaxCreateResult = kDsEaxCreated;
    AudioSetModes(1, 1, 0);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(AudioIsEAXActive(), 1);
    EXPECT_EQ(control->Count("Create"), 0);
}

TEST_F(VRAlib, OnlyOpenAlOneSelectsOpenAlAndTheChoiceLasts) {
    AudioSetModes(1, 0, 2);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_TRUE(AudioUsesDirectSound());
    AudioReleaseSource(0);

    // No OpenAL back end here: its start cannot load it.
    AudioSetModes(1, 0, 1);
    EXPECT_EQ(AudioAcquireSource(), kAudioLoadOpenAl);
    EXPECT_FALSE(AudioUsesDirectSound());
    AudioSetModes(1, 0, 0);
    EXPECT_EQ(AudioAcquireSource(), kAudioLoadOpenAl);
    EXPECT_EQ(AudioSetVector(kAudioListener, "Position", std::vector<float>(3).data()), kAudioNotSupported);
}

TEST_F(VRAlib, DispatchesToTheOpenAlTableOnceSelected) {
    static int starts = 0, shutdowns = 0;
    starts = shutdowns = 0;
    AudioBackEnd table{};
    table.start = [](int32_t) -> int32_t { return ++starts, 0; };
    table.shutdown = []() -> int32_t { return ++shutdowns, 0; };
    table.setScalar = [](int32_t, const char*, int32_t value) -> int32_t { return value; };
    AudioSetOpenAlBackEnd(&table);
    AudioSetModes(1, 0, 1);
    EXPECT_EQ(AudioAcquireSource(), 0);
    EXPECT_EQ(AudioSetScalar(0, "Volume", 17), 17);
    EXPECT_EQ(AudioSeek(0, 0.5f), kAudioNotSupported);
    EXPECT_EQ(AudioReleaseSource(0), 0);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(shutdowns, 1);
    EXPECT_EQ(control->devicesMade, 0);
    AudioSetOpenAlBackEnd(nullptr);
}

}  // namespace
