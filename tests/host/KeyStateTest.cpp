// The key state that KeyPressed reads, against the X server's own: keys and
// buttons held with xdotool answer while they are down, and a press the
// window saw answers once after it was released. (With the program tests:
// the display's keyboard and pointer are shared.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/GlutMessages.h"
#include "platform/KeyboardState.h"

namespace {

bool Xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()) == 0; }

}  // namespace

TEST(KeyState, HeldKeysAndButtonsAnswerWhileDown) {
    if (!std::getenv("DISPLAY") || std::system("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "no display or no xdotool";
    // Connected first: a server whose last client leaves starts afresh,
    // and forgets the keys xdotool left down.
    QueryKeyState('B');
    struct Case {
        const char* down;
        const char* up;
        int vk;
        int otherVk;  // a key that is not down meanwhile
    } cases[] = {
        {"keydown a", "keyup a", 'A', 'B'},
        {"keydown 7", "keyup 7", '7', 0x67},  // the keypad's 7 is another key
        {"keydown Shift_R", "keyup Shift_R", 0x10, 0x11},
        {"keydown Shift_R", "keyup Shift_R", 0xA1, 0x11},
        {"keydown F5", "keyup F5", 0x74, 0x75},
        {"keydown Left", "keyup Left", 0x25, 0x27},
        {"keydown bracketleft", "keyup bracketleft", 0xDB, 0xDD},
        {"mousedown 1", "mouseup 1", 0x01, 0x02},
        {"mousedown 3", "mouseup 3", 0x02, 0x04},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.down);
        ASSERT_TRUE(Xdotool(c.down));
        EXPECT_TRUE(QueryKeyState(c.vk));
        EXPECT_TRUE(QueryKeyState(c.vk)) << "still down";
        EXPECT_FALSE(QueryKeyState(c.otherVk));
        ASSERT_TRUE(Xdotool(c.up));
        EXPECT_FALSE(QueryKeyState(c.vk));
    }
}

TEST(KeyState, APressTheWindowSawAnswersOnce) {
    struct Case {
        uint32_t message;
        uintptr_t wParam;
        int vk;
    } cases[] = {{kWmKeyDown, 'Z', 'Z'},
                 {kWmSysKeyDown, 0x73, 0x73},
                 {kWmLButtonDown, kMkLButton, 0x01},
                 {kWmRButtonDblClk, kMkRButton, 0x02},
                 {kWmMButtonDown, kMkMButton, 0x04}};
    for (const Case& c : cases) {
        NoteInputMessage(c.message, c.wParam);
        EXPECT_TRUE(QueryKeyState(c.vk)) << c.vk;
        EXPECT_FALSE(QueryKeyState(c.vk)) << c.vk;
    }
    NoteInputMessage(kWmKeyUp, 'Y');
    NoteInputMessage(kWmChar, 'y');
    EXPECT_FALSE(QueryKeyState('Y'));
    NoteKeyPressed(0);  // "no key" never latches
    EXPECT_FALSE(QueryKeyState(0));
    EXPECT_FALSE(QueryKeyState(-1));
    EXPECT_FALSE(QueryKeyState(256));
}
