// The raw mouse devices against the display's pointer, moved with xdotool:
// relative moves count and warps do not, every device sees all movement,
// the buttons, a destroyed device, a cut connection and no display. (With
// the program tests: the display's pointer is shared.)
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/RawMouse.h"
#include "support/QemProcess.h"

using namespace qemtest;

namespace {

class RawMouseTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || Shell("command -v xdotool").empty()) GTEST_SKIP() << "no display or xdotool";
        // Away from the screen's edges, where moves would stop.
        Xdotool("mousemove 400 400");
    }
    static void Xdotool(const std::string& arguments) {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
    }
    // Polls until the device's next X and Y are there (the server sends the
    // movement a little after xdotool's requests); what it took.
    static std::pair<int32_t, int32_t> Take(RawMouse& device, int32_t x, int32_t y) {
        int32_t sumX = 0, sumY = 0;
        for (int i = 0; i < 100 && (sumX != x || sumY != y); ++i) {
            if (i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            device.Poll();
            sumX += device.TakeX();
            sumY += device.TakeY();
        }
        return {sumX, sumY};
    }
};

using Pair = std::pair<int32_t, int32_t>;

}  // namespace

TEST_F(RawMouseTest, RelativeMovesCountForEveryDeviceAndWarpsDoNot) {
    RawMouse a, b;
    ASSERT_TRUE(a.Opened());
    ASSERT_TRUE(b.Opened());
    Xdotool("mousemove_relative 15 0 mousemove_relative -- 0 -7");
    ASSERT_EQ(Take(a, 15, -7), Pair(15, -7));
    EXPECT_EQ(a.TakeX(), 0);
    // b's share was added by a's polls and waits for b.
    EXPECT_EQ(b.TakeX(), 15);
    b.Poll();
    EXPECT_EQ(b.TakeY(), -7);
    EXPECT_EQ(b.TakeY(), 0);

    // Absolute moves and warps make no raw motion.
    Xdotool("mousemove 100 100 mousemove 700 500");
    Xdotool("mousemove_relative 2 3");
    EXPECT_EQ(Take(a, 2, 3), Pair(2, 3));
    EXPECT_EQ(Take(b, 2, 3), Pair(2, 3));
}

TEST_F(RawMouseTest, ButtonsAreThePointersButtons) {
    RawMouse device;
    ASSERT_TRUE(device.Opened());
    const std::pair<const char*, uint32_t> steps[] = {
        {"mousedown 1", 0x1}, {"mousedown 3", 0x3}, {"mousedown 2", 0x13}, {"mouseup 1", 0x12}, {"mouseup 3 mouseup 2", 0}};
    for (const auto& step : steps) {
        Xdotool(step.first);
        ASSERT_TRUE(device.Poll());
        EXPECT_EQ(device.Buttons(), step.second) << step.first;
    }
}

TEST_F(RawMouseTest, ADestroyedDeviceIsNoLongerFed) {
    auto gone = std::make_unique<RawMouse>();
    RawMouse kept;
    gone.reset();
    Xdotool("mousemove_relative 4 0");
    EXPECT_EQ(Take(kept, 4, 0), Pair(4, 0));
}

TEST_F(RawMouseTest, ACutConnectionFailsOnePollAndTheNextOpensAnother) {
    RawMouse device;
    ASSERT_TRUE(device.Opened());
    Xdotool("mousedown 1 mousemove_relative 6 0");
    ASSERT_EQ(Take(device, 6, 0), Pair(6, 0));
    Xdotool("mousemove_relative 5 0 mouseup 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int socket = RawMouse::ConnectionSocket();
    ASSERT_GE(socket, 0);
    ::shutdown(socket, SHUT_RDWR);
    EXPECT_FALSE(device.Poll());
    EXPECT_EQ(device.Buttons(), 0x1u);  // as the last good poll left it
    EXPECT_EQ(RawMouse::ConnectionSocket(), -1);
    ASSERT_TRUE(device.Poll());
    EXPECT_EQ(device.Buttons(), 0u);
    Xdotool("mousemove_relative 3 0");
    // The 5 went with the old connection.
    EXPECT_EQ(Take(device, 3, 0), Pair(3, 0));
}

TEST_F(RawMouseTest, WithoutADisplayNothingOpens) {
    const std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":59999", 1);
    RawMouse device;
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_FALSE(device.Opened());
    EXPECT_FALSE(device.Poll());
    EXPECT_EQ(device.TakeX(), 0);
    EXPECT_EQ(RawMouse::ConnectionSocket(), -1);
}
