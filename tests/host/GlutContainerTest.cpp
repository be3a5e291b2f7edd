#include <gtest/gtest.h>

#include "host/GlutContainer.h"

TEST(GlutContainer, DataOutIsALineOnTheStandardOutput) {
    GlutContainer host;
    testing::internal::CaptureStdout();
    EXPECT_EQ(host.DataOut("x"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<DATAOUT: x>\n");
}
