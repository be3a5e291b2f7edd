#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

#include "platform/GlutMessages.h"

namespace {

struct Message {
    uint32_t id;
    uintptr_t w;
    uint32_t l;
    bool operator==(const Message& o) const { return id == o.id && w == o.w && l == o.l; }
};

std::ostream& operator<<(std::ostream& os, const Message& m) {
    return os << "{" << m.id << ", 0x" << std::hex << m.w << ", 0x" << m.l << std::dec << "}";
}

class Adapter : public ::testing::Test {
protected:
    Adapter()
        : adapter([this](uint32_t m, uintptr_t w, intptr_t l) {
              out.push_back({m, w, static_cast<uint32_t>(l)});
          }) {}
    std::vector<Message> Take() {
        std::vector<Message> m;
        m.swap(out);
        return m;
    }
    std::vector<Message> out;
    GlutMessageAdapter adapter;
};

}  // namespace

TEST_F(Adapter, KeysBecomeKeyAndCharacterMessages) {
    struct Row {
        const char* name;
        std::function<void(GlutMessageAdapter&)> input;
        std::vector<Message> expected;
    };
    const std::vector<Row> rows = {
        {"a down", [](GlutMessageAdapter& a) { a.Keyboard('a', 0, true); },
         {{256, 0x41, 0x001E0001}, {258, 'a', 0x001E0001}}},
        {"a up", [](GlutMessageAdapter& a) { a.Keyboard('a', 0, false); }, {{257, 0x41, 0xC01E0001}}},
        {"shift+1 gives !", [](GlutMessageAdapter& a) { a.Keyboard('!', 1, true); },
         {{256, 0x31, 0x00020001}, {258, '!', 0x00020001}}},
        {"ctrl+a gives code 1", [](GlutMessageAdapter& a) { a.Keyboard(1, 2, true); },
         {{256, 0x41, 0x001E0001}, {258, 1, 0x001E0001}}},
        {"alt+x", [](GlutMessageAdapter& a) { a.Keyboard('x', 4, true); },
         {{260, 0x58, 0x202D0001}, {262, 'x', 0x202D0001}}},
        {"delete has no character", [](GlutMessageAdapter& a) { a.Keyboard(127, 0, true); },
         {{256, 0x2E, 0x01530001}}},
        {"F9", [](GlutMessageAdapter& a) { a.Special(9, 0, true); }, {{256, 0x78, 0x00430001}}},
        {"alt+F4", [](GlutMessageAdapter& a) { a.Special(4, 4, true); }, {{260, 0x73, 0x203E0001}}},
        {"left arrow is extended", [](GlutMessageAdapter& a) { a.Special(0x64, 0, true); },
         {{256, 0x25, 0x014B0001}}},
        {"F10 is a system key", [](GlutMessageAdapter& a) { a.Special(10, 0, true); }, {{260, 0x79, 0x00440001}}},
    };
    for (const Row& row : rows) {
        GlutMessageAdapter fresh([this](uint32_t m, uintptr_t w, intptr_t l) {
            out.push_back({m, w, static_cast<uint32_t>(l)});
        });
        row.input(fresh);
        EXPECT_EQ(Take(), row.expected) << row.name;
    }
    // A held key repeats with its previous-state bit.
    adapter.Keyboard('a', 0, true);
    Take();
    adapter.Keyboard('a', 0, true);
    EXPECT_EQ(Take()[0], (Message{256, 0x41, 0x401E0001}));
    EXPECT_TRUE(adapter.KeyDown(0x41));
    adapter.Keyboard('a', 0, false);
    EXPECT_FALSE(adapter.KeyDown(0x41));
}

TEST_F(Adapter, ModifierKeysAndTheKeyStateTable) {
    adapter.Special(0x70, 0, true);  // shift down (GLUT reports the modifier after)
    EXPECT_TRUE(adapter.KeyDown(kVkShift));
    EXPECT_EQ(Take(), (std::vector<Message>{{256, 0x10, 0x002A0001}}));
    adapter.Special(9, 1, true);  // F9 with shift
    EXPECT_TRUE(adapter.KeyDown(kVkShift));
    adapter.Special(0x70, 1, false);
    EXPECT_FALSE(adapter.KeyDown(kVkShift));
}

TEST_F(Adapter, MouseButtonsWheelAndMotion) {
    adapter.Mouse(0, 0, 10, 20, 0);
    adapter.Mouse(2, 0, 10, 20, 2);
    adapter.Mouse(0, 1, 11, 21, 0);
    adapter.Motion(12, 22);
    adapter.Mouse(2, 1, 12, 22, 0);
    adapter.Wheel(1, 5, 6, 0, 100, 200);
    adapter.Wheel(-1, 5, 6, 1, 100, 200);
    adapter.Mouse(1, 0, -1, 3, 0);
    EXPECT_EQ(Take(), (std::vector<Message>{{513, 0x1, 0x0014000A},
                                            {516, 0x3 | 0x8, 0x0014000A},
                                            {514, 0x2, 0x0015000B},
                                            {512, 0x2, 0x0016000C},
                                            {517, 0x0, 0x0016000C},
                                            {522, 0x00780000, 0x00CE0069},
                                            {522, 0xFF880004, 0x00CE0069},
                                            {519, 0x10, 0x0003FFFF}}));
    adapter.Reshape();
    adapter.Focus(true);
    adapter.Close();
    EXPECT_EQ(Take(), (std::vector<Message>{{71, 0, 0}, {7, 0, 0}, {16, 0, 0}}));
}

namespace {

uint32_t g_now = 0;
uint32_t TestClock() { return g_now; }

}  // namespace

// A second press within 500 ms and 4 pixels is a double click, in place of
// its down message; the press after it starts a new pair.
TEST_F(Adapter, SecondPressesBecomeDoubleClicks) {
    struct Press {
        uint32_t at;
        int button, x, y;
        uint32_t message;  // of the press; each press is released at once
    };
    struct Row {
        const char* name;
        std::vector<Press> presses;
    };
    const uint32_t kEarly = 0xFFFFFF00u;  // the clock wraps between the presses of a pair
    const std::vector<Row> rows = {
        {"left, 100 ms", {{1000, 0, 10, 10, 513}, {1100, 0, 10, 10, 515}}},
        {"right, 500 ms", {{1000, 2, 10, 10, 516}, {1500, 2, 10, 10, 518}}},
        {"middle, 4 pixels", {{1000, 1, 10, 10, 519}, {1010, 1, 14, 6, 521}}},
        {"501 ms", {{1000, 0, 10, 10, 513}, {1501, 0, 10, 10, 513}}},
        {"5 pixels across", {{1000, 0, 10, 10, 513}, {1010, 0, 15, 10, 513}}},
        {"5 pixels down", {{1000, 0, 10, 10, 513}, {1010, 0, 10, 5, 513}}},
        {"another button between",
         {{1000, 0, 10, 10, 513}, {1010, 2, 10, 10, 516}, {1020, 0, 10, 10, 513}, {1030, 0, 10, 10, 515}}},
        {"a third press starts a new pair",
         {{1000, 0, 10, 10, 513}, {1050, 0, 10, 10, 515}, {1100, 0, 10, 10, 513}, {1150, 0, 10, 10, 515}}},
        {"a slow second press is a first one",
         {{1000, 0, 10, 10, 513}, {2000, 0, 10, 10, 513}, {2100, 0, 10, 10, 515}}},
        {"the clock wraps", {{kEarly, 0, 10, 10, 513}, {kEarly + 300, 0, 10, 10, 515}}},
    };
    for (const Row& row : rows) {
        GlutMessageAdapter fresh(
            [this](uint32_t m, uintptr_t w, intptr_t l) { out.push_back({m, w, static_cast<uint32_t>(l)}); },
            TestClock);
        std::vector<Message> expected;
        for (const Press& p : row.presses) {
            g_now = p.at;
            fresh.Mouse(p.button, 0, p.x, p.y, 0);
            fresh.Mouse(p.button, 1, p.x, p.y, 0);
            const uint32_t flag = p.button == 0 ? 0x1 : p.button == 1 ? 0x10 : 0x2;
            const uint32_t l = static_cast<uint32_t>(p.x) | static_cast<uint32_t>(p.y) << 16;
            expected.push_back({p.message, flag, l});
            expected.push_back({static_cast<uint32_t>(p.message - (p.message - 513) % 3 + 1), 0, l});
        }
        EXPECT_EQ(Take(), expected) << row.name;
    }
}
