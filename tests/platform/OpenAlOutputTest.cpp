// The process's one OpenAL output, on OpenAL Soft's "wave" driver: opened by
// its first holder, closed by its last.
#include <gtest/gtest.h>

#include "platform/OpenAlOutput.h"
#include "support/SoundFiles.h"

using namespace qemtest;

TEST(OpenAlOutput, TheFirstHolderOpensItAndTheLastClosesIt) {
    SoundCapture::Process();
    EXPECT_EQ(OpenAlOutput::Device(), nullptr);
    ASSERT_TRUE(OpenAlOutput::Acquire());
    ALCdevice* device = OpenAlOutput::Device();
    EXPECT_NE(device, nullptr);
    EXPECT_NE(OpenAlOutput::Context(), nullptr);
    EXPECT_TRUE(OpenAlOutput::HasExtension("AL_SOFT_deferred_updates"));
    ASSERT_TRUE(OpenAlOutput::Acquire());
    EXPECT_EQ(OpenAlOutput::Device(), device);
    OpenAlOutput::Release();
    EXPECT_EQ(OpenAlOutput::Device(), device);
    OpenAlOutput::Release();
    EXPECT_EQ(OpenAlOutput::Device(), nullptr);
    EXPECT_FALSE(OpenAlOutput::HasExtension("AL_SOFT_deferred_updates"));
    // A release too many changes nothing; the next holder opens it anew.
    OpenAlOutput::Release();
    ASSERT_TRUE(OpenAlOutput::Acquire());
    EXPECT_NE(OpenAlOutput::Device(), nullptr);
    OpenAlOutput::Release();
}
