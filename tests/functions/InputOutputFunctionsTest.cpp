// Text output, keys, clocks, Quit and the event ids in a machine without an
// engine. Events through the engine machine: tests/engine; through qem:
// tests/host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "functions/CVmFunction.h"
#include "functions/CVmInputOutputFunctions.h"
#include "platform/Clock.h"
#include "platform/KeyboardState.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

namespace {

class InputOutputFunctions : public ::testing::Test {
protected:
    InputOutputFunctions() { vm.RegisterFunctions(new CVmFunction()); }
    CVirtualMachine vm;
};

}  // namespace

TEST_F(InputOutputFunctions, OutputWritesTheTextFormsWithoutSeparators) {
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* output;
    } cases[] = {
        {"OutputLN", {VInt(1), VStr("a"), VReal(2.5f)}, "1a2.5\n"},
        {"Output", {VInt(1), VStr("a"), VReal(2.5f)}, "1a2.5"},
        {"OutputLN", {}, "\n"},
        {"Output", {VStr("")}, ""},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_FALSE(o.error);
        EXPECT_EQ(o.output, c.output) << c.name;
        EXPECT_EQ(o.type, VmValueType::Void) << "no result";
    }
}

TEST_F(InputOutputFunctions, QuitStopsTheScriptWithItsValuesAsTheError) {
    const CallOutcome o = CallGlobal(vm, "Quit", {VStr("bye"), VInt(2)});
    EXPECT_TRUE(o.error);
    EXPECT_NE(o.output.find("ERROR (line 0): QUIT: bye2"), std::string::npos) << o.output;
}

TEST_F(InputOutputFunctions, EventIdsCountUpThenStayMinusOne) {
    MethodScript s("MAIN");
    s.Record(s.Global("Event"));
    s.Record(s.Global("Event"));
    const CallOutcome o = RunScript(vm, s);
    int first = 0, second = 0;
    ASSERT_EQ(sscanf(o.result.c_str(), "{ %d , %d }", &first, &second), 2) << o.result;
    EXPECT_GE(first, 2024);
    EXPECT_EQ(second, first + 1);
    int32_t last = second;
    for (int i = 0; i < 40000 && last != -1; ++i) {
        const CVmValue* v = vm.CallNativeFunction("EVENT");
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(v->asInt, last == 32766 ? -1 : last + 1);
        last = v->asInt;
    }
    EXPECT_EQ(last, -1);
    EXPECT_EQ(vm.CallNativeFunction("EVENT")->asInt, -1);
}

TEST_F(InputOutputFunctions, EventPostAndSendRefuseIdsScriptsMayNotUse) {
    for (const char* name : {"EventPost", "EventSend"}) {
        for (const std::vector<Opnd>& args : {std::vector<Opnd>{VInt(2023)}, {VInt(32768)}, {}, {VStr("2030")}}) {
            const CallOutcome o = CallGlobal(vm, name, args);
            EXPECT_TRUE(o.error);
            EXPECT_NE(o.output.find(VmUpperName(name) + ": invalid Event value."), std::string::npos) << o.output;
        }
    }
}

TEST_F(InputOutputFunctions, KeyPressedTakesDigitsLettersAndCodes) {
    // A press between two queries counts once; without the focus (there is
    // no engine here) only when asked to test anyway.
    struct Case {
        Opnd key;
        int vk;
    } cases[] = {{VStr("a"), 'A'}, {VStr("Q"), 'Q'}, {VStr("7"), '7'}, {VInt(0x70), 0x70}, {VReal(65.9f), 'A'}};
    for (const Case& c : cases) {
        NoteKeyPressed(c.vk);
        CallOutcome o = CallGlobal(vm, "KeyPressed", {c.key});
        EXPECT_EQ(o.result, "False") << "no focus";
        CVmValue evenWithoutFocus;
        evenWithoutFocus.SetBool(true);
        o = CallGlobal(vm, "KeyPressed", {c.key, VValue(evenWithoutFocus)});
        EXPECT_EQ(o.result, "True") << c.vk;
        EXPECT_FALSE(o.error);
        o = CallGlobal(vm, "KeyPressed", {c.key, VValue(evenWithoutFocus)});
        EXPECT_EQ(o.result, "False") << "the press was taken";
    }
}

TEST_F(InputOutputFunctions, GetDateCountsAsTheCalendarDoes) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    CallOutcome o = CallGlobal(vm, "GetDate");
    char expected[64];
    snprintf(expected, sizeof expected, "[ %d , %d , %d ]", t.tm_mday, t.tm_mon, t.tm_year);
    EXPECT_EQ(o.result, expected);
    CVmValue withTime;
    withTime.SetBool(true);
    o = CallGlobal(vm, "GetDate", {VValue(withTime)});
    EXPECT_EQ(o.type, VmValueType::Vector);
    EXPECT_EQ(o.result.compare(0, strlen(expected) - 1, expected, strlen(expected) - 1), 0) << o.result;
    EXPECT_EQ(std::count(o.result.begin(), o.result.end(), ','), 5) << o.result;
}

TEST_F(InputOutputFunctions, ClocksFollowSleep) {
    MethodScript s("MAIN");
    s.Global("ResetPerformanceTimer");
    const Opnd time0 = s.Global("GetTime");
    s.Global("Sleep", {VInt(150)});
    s.Record(s.Global("GetPerformanceTimer"));
    s.Builder().Emit(OP_SUB, s.Global("GetTime"), time0, time0);
    s.Record(time0);
    s.Global("Sleep", {VInt(-1)});  // no wait at all
    const CallOutcome o = RunScript(vm, s);
    ASSERT_FALSE(o.error) << o.output;
    int us = 0, ms = 0;
    ASSERT_EQ(sscanf(o.result.c_str(), "{ %d , %d }", &us, &ms), 2) << o.result;
    EXPECT_GE(us, 150000);
    EXPECT_LT(us, 5000000);
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 5000);
}

TEST(InputOutputFunctionsWithoutCounter, TheTimerCountsMillisecondsTimesAThousand) {
    CVirtualMachine vm;
    CVmInputOutputFunctions* set = new CVmInputOutputFunctions(false);
    const int64_t before = static_cast<int64_t>(TickMilliseconds()) * 1000;
    EXPECT_EQ(set->PerformanceFrequency(), 0);
    EXPECT_GE(set->TimerOrigin(), before);
    EXPECT_LE(set->TimerOrigin(), before + 1000);
    vm.RegisterFunctions(set);
    MethodScript s("MAIN");
    s.Global("Sleep", {VInt(20)});
    s.Record(s.Global("GetPerformanceTimer"));
    const CallOutcome o = RunScript(vm, s);
    int us = 0;
    ASSERT_EQ(sscanf(o.result.c_str(), "{ %d }", &us), 1) << o.result;
    EXPECT_GE(us, 19000);
    EXPECT_EQ(us % 1000, 0);
}
