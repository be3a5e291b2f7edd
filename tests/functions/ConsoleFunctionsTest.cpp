// The console, display, cursor and pacing functions called as scripts call
// them, against the engine state and a console they write into. The window
// and its pixels: tests/host/ConsoleScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "state/Console.h"
#include "state/EngineState.h"
#include "functions/CVmConsoleFunctions.h"
#include "functions/CVmFunction.h"
#include "media/DSBackEnd.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

namespace {

Opnd Bool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return VValue(v);
}

// An engine of a 640 x 480 window with a console and no scene.
class ConsoleFunctions : public ::testing::Test {
protected:
    ConsoleFunctions() {
        state.Display().clientWidth = 640;
        state.Display().clientHeight = 480;
        state.Display().console = &console;
        g_engineState = &state;
        vm.RegisterFunctions(new CVmFunction());
    }
    ~ConsoleFunctions() override { g_engineState = nullptr; }

    CallOutcome Call(const std::string& name, const std::vector<Opnd>& args = {}) {
        CallOutcome o = CallGlobal(vm, name, args);
        EXPECT_FALSE(o.error) << name << ": " << o.output;
        return o;
    }
    std::vector<CConsole::CAtom*> Atoms() {
        std::vector<CConsole::CAtom*> atoms;
        console.atoms.ForEach([&](CConsole::CAtom* a) { atoms.push_back(a); });
        return atoms;
    }

    EngineState state;
    CConsole console;
    EngineMessagesMachine vm;
};

}  // namespace

TEST_F(ConsoleFunctions, PositionsAndSizesAreFractionsOfTheWindowRounded) {
    Call("ConsoleColor", {VReal(0), VReal(1), VReal(0)});
    Call("ConsoleText", {VReal(0.5f), VReal(0.5f), VStr("X")});
    Call("ConsoleWidth", {VInt(3)});
    Call("ConsoleFilledRect", {VReal(0.25f), VReal(0.25f), VReal(0.5f), VReal(0.5f)});
    Call("ConsoleRect", {VReal(0.1f), VReal(0.999f), VInt(1), VReal(-0.1f)});
    // An odd last component is no point.
    Call("ConsoleLines", {VFloats({0, 0, 1, 1, 0.5f})});

    const std::vector<CConsole::CAtom*> atoms = Atoms();
    ASSERT_EQ(atoms.size(), 4u);
    auto* text = dynamic_cast<CConsole::CText*>(atoms[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text, "X");
    EXPECT_EQ(std::vector<int32_t>({text->x, text->y, text->w, text->h}), std::vector<int32_t>({320, 240, -1, -1}));
    EXPECT_EQ(std::vector<float>(text->color, text->color + 4), std::vector<float>({0, 1, 0, 1}));

    auto* filled = dynamic_cast<CConsole::CRect*>(atoms[1]);
    ASSERT_NE(filled, nullptr);
    EXPECT_TRUE(filled->filled);
    EXPECT_EQ(std::vector<int32_t>({filled->x, filled->y, filled->w, filled->h}),
              std::vector<int32_t>({160, 120, 320, 240}));
    auto* outline = dynamic_cast<CConsole::CRect*>(atoms[2]);
    ASSERT_NE(outline, nullptr);
    EXPECT_FALSE(outline->filled);
    EXPECT_EQ(outline->lineWidth, 3.0f);
    // 64.5, 480.02, 640.5 and -47.5 truncated toward zero.
    EXPECT_EQ(std::vector<int32_t>({outline->x, outline->y, outline->w, outline->h}),
              std::vector<int32_t>({64, 480, 640, -47}));

    auto* lines = dynamic_cast<CConsole::CLines*>(atoms[3]);
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->n, 2);
    EXPECT_EQ(lines->points, std::vector<int32_t>({0, 0, 640, 480}));
}

TEST_F(ConsoleFunctions, ColourByArgumentCountOrVector) {
    struct Case {
        std::vector<Opnd> args;
        std::vector<float> rgba;
    } cases[] = {
        {{VReal(1)}, {1, 0, 0, 1}},
        {{VReal(1), VReal(0.5f)}, {1, 0.5f, 0, 1}},
        {{VReal(1), VReal(0.5f), VReal(0.25f)}, {1, 0.5f, 0.25f, 1}},
        {{VReal(1), VReal(0.5f), VReal(0.25f), VReal(0.125f)}, {1, 0.5f, 0.25f, 0.125f}},
        {{}, {0, 0, 0, 1}},
        {{VReal(1), VReal(1), VReal(1), VReal(1), VReal(1)}, {0, 0, 0, 1}},
        {{VFloats({0.5f, 0.25f, 1})}, {0.5f, 0.25f, 1, 1}},
        {{VFloats({0.5f, 0.25f, 1, 0.75f})}, {0.5f, 0.25f, 1, 0.75f}},
    };
    for (const Case& c : cases) {
        console.color[0] = console.color[1] = console.color[2] = console.color[3] = 0.9f;
        Call("ConsoleColor", c.args);
        EXPECT_EQ(std::vector<float>(console.color, console.color + 4), c.rgba) << c.args.size() << " arguments";
    }
}

TEST_F(ConsoleFunctions, SetAudio3DParamAnswersWhatTheSoundBackEndAnswers) {
    const CallOutcome set = CallGlobal(vm, "SetAudio3DParam", {VStr("DS_DOPPLER_FACTOR"), VReal(1.5f)});
    EXPECT_FALSE(set.error);
    EXPECT_EQ(set.type, VmValueType::Integer);
    EXPECT_EQ(set.result, "0");
    EXPECT_EQ(DSCurrentSettings().dopplerFactor, 1.5f);
    EXPECT_EQ(CallGlobal(vm, "SetAudio3DParam", {VInt(5)}).result, "0");  // no name: nothing set
    DSCurrentSettings() = DSSettings();
}

TEST_F(ConsoleFunctions, BadParametersStopTheScriptAndChangeNothing) {
    console.color[0] = 0.5f;
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* message;
    } cases[] = {
        {"ConsoleColor", {VFloats({1, 0})}, "Param n. 1 must be a vector of 3 or 4 components length."},
        {"ConsoleColor", {VFloats({1, 0, 0, 0, 0})}, "Param n. 1 must be a vector of 3 or 4 components length."},
        {"ConsoleText", {VReal(0.5f), VReal(0.5f), VInt(5)}, "Param n. 3 must be a string."},
        {"ConsoleText", {VReal(0.5f)}, "Mandatory param n. 2 was not supplied."},
        {"ConsoleLines", {VInt(5)}, "Param n. 1 must be a vector."},
        {"ConsoleLines", {}, "Param n. 1 must be a vector."},
        {"LoadBackground", {VInt(5)}, "Param n. 1 must be a string."},
        {"SetCursorShape", {VInt(15)}, "This numeric value must be between 0 and 14."},
        {"SetCursorShape", {VInt(-1)}, "This numeric value must be between 0 and 14."},
        {"ShowCursor", {VInt(1)}, "The param n. 1 must be a boolean."},
        // The scene comes with the first frame.
        {"SetClearColor", {VReal(1), VReal(0), VReal(0)}, "The scene is not created yet."},
        {"SetAmbientLight", {VReal(1), VReal(0), VReal(0)}, "The scene is not created yet."},
        {"SetScreenRatio", {VReal(1.5f)}, "The scene is not created yet."},
        {"LoadBackground", {VStr("sky.png")}, "The scene is not created yet."},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_TRUE(o.error) << c.name;
        EXPECT_EQ(FirstError(o.output), VmUpperName(c.name) + ": " + c.message) << o.output;
    }
    EXPECT_TRUE(Atoms().empty());
    EXPECT_EQ(console.color[0], 0.5f);
    EXPECT_EQ(state.Display().cursor, 0);
}

TEST_F(ConsoleFunctions, FadeFramePacingAndCursorReachTheEngineState) {
    struct Fade {
        const char* name;
        float value;
        float stored;
    } fades[] = {{"SetFade", 1.5f, 1}, {"SetFade", -0.2f, 0}, {"SetFadeValue", 0.25f, 0.25f},
                 {"SetFade", NAN, 0}};
    for (const Fade& f : fades) {
        Call(f.name, {VReal(f.value)});
        EXPECT_EQ(state.Display().fadeValue, f.stored) << f.name << " " << f.value;
    }

    Call("SetFrameRate", {VInt(50)});
    EXPECT_EQ(state.Timing().framePeriod, 20000u);
    Call("SetFrameRate", {VInt(0)});
    EXPECT_EQ(state.Timing().framePeriod, 0u) << "no pacing";
    Call("SetFrameRate", {VInt(5000)});
    EXPECT_EQ(state.Timing().framePeriod, 1000u) << "held to the shortest period";
    Call("SetTimeStep", {VInt(20)});
    EXPECT_EQ(state.Timing().timeStep, 20000u);

    Call("SetCursorShape", {VInt(3)});
    EXPECT_EQ(state.Display().cursor, 3);
    for (bool show : {false, false, true}) Call("ShowCursor", {Bool(show)});
    EXPECT_EQ(state.Display().cursorDisplayCount, -1);
}

TEST(ConsolePixels, FractionsBeyondTheIntRangeAreHeldToIt) {
    EXPECT_EQ(CVmConsoleFunctions::ToPixels(1e30f, 640), INT32_MAX);
    EXPECT_EQ(CVmConsoleFunctions::ToPixels(-1e30f, 640), INT32_MIN);
    EXPECT_EQ(CVmConsoleFunctions::ToPixels(NAN, 640), 0);
    EXPECT_EQ(CVmConsoleFunctions::ToPixels(-0.5f, 3), -1);  // -1.5 + 0.5 truncated
}
