// The engine module driven frame by frame in a GL window (each test runs in
// its own process: the OnError flag is once per process).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/EngineModule.h"
#include "media/VRAlib.h"
#include "platform/BitmapFont.h"
#include "support/EngineFixtures.h"
#include "support/GlWindowFixture.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// What the script's callbacks report through native functions.
struct Record {
    std::mutex lock;
    std::vector<std::string> calls;
    std::atomic<int> timerCalls{0};
    std::atomic<bool> timerInWindowContext{false};
    std::atomic<bool> timerAfterExit{false};
    std::atomic<bool> exited{false};
    const void* windowContext = nullptr;
    void Add(const std::string& s) {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(s);
    }
    size_t Count(const std::string& s) {
        std::lock_guard<std::mutex> g(lock);
        size_t n = 0;
        for (const std::string& c : calls) n += c == s;
        return n;
    }
};
Record* g_record = nullptr;

class ReportFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("Report", &ReportFunctions::Report);
        AddFunction("TimerReport", &ReportFunctions::TimerReport);
        AddFunction("ExitReport", &ReportFunctions::ExitReport);
        return true;
    }
    // Report(name, argument count, first argument's text form)
    void Report(CVmClassBase*, int) {
        std::ostringstream text;
        text << GetParamString(1) << ":" << GetParam(2);
        CVmValue* arg = GetParam(3);
        if (arg) text << ":" << VmTypeName(arg->type) << ":" << arg;
        g_record->Add(text.str());
    }
    void TimerReport(CVmClassBase*, int) {
        ++g_record->timerCalls;
        if (CurrentGlContext() == g_record->windowContext) g_record->timerInWindowContext = true;
        if (g_record->exited) g_record->timerAfterExit = true;
    }
    void ExitReport(CVmClassBase*, int) {
        g_record->exited = true;
        g_record->Add("OnExit");
    }
};

class EngineModuleTest : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        g_record = &record;
        record.windowContext = CurrentGlContext();
        CVRModule3D::ResetErrorPending();
    }

    // A callback that reports its name, its argument count and argument 1.
    static void Callback(ProgramBuilder& b, const char* name, int params) {
        b.Function(name, static_cast<int16_t>(params));
        b.Emit(OP_RESERVE, I(1));
        if (params > 0)
            b.CallNative("REPORT", {VStr(name), VInt(params), L(-1)}, None());
        else
            b.CallNative("REPORT", {VStr(name), VInt(0)}, None());
        b.Return();
    }

    std::string WriteScript(const std::function<void(ProgramBuilder&)>& body) {
        ProgramBuilder b;
        b.Return();
        body(b);
        return WriteProgram(scratch, "script.bin", b);
    }

    std::unique_ptr<CVRModule3D> Make(const std::string& script, const char* userParam, int flags,
                                      const char* engineParam = "") {
        m_script = script;
        m_user = userParam ? userParam : "";
        std::unique_ptr<CVRModule3D> m(new CVRModule3D(m_script.c_str(), engineParam, &container, glutGetWindow(),
                                                       0x00FF00 /* green */, userParam ? m_user.c_str() : nullptr,
                                                       flags));
        m->Machine()->RegisterFunctions(new ReportFunctions());
        return m;
    }

    ScratchFolder scratch;
    RecordingContainer container;
    Record record;
    std::string m_script, m_user;
};

}  // namespace

TEST_F(EngineModuleTest, LogsItsStepsInOrderAndStopsCleanly) {
    const std::string script = WriteScript([](ProgramBuilder& b) {
        Callback(b, "ONDOWNLOAD", 1);
        Callback(b, "ONINIT", 1);
        Callback(b, "ONFRAME", 0);
        b.Function("ONEXIT", 0);
        b.CallNative("EXITREPORT", {}, None());
        b.Return();
    });
    testing::internal::CaptureStdout();
    {
        std::unique_ptr<CVRModule3D> m = Make(script, "hello", 1);
        ASSERT_TRUE(RunFramesUntil(*m, CVRModule3D::Running));
        m->Frame();
    }
    const std::string log = testing::internal::GetCapturedStdout();
    const char* steps[] = {"\nInit OpenGL...", "OK!", "\nStarting VirtualMachine...", "OK!", "\nStarting Hires timer...",
                           "res 1 msec. OK!", "\nChecking Engine...", "\nDownloading Script...",
                           "OK!\nLoading Script...", "OK!\nScript Started...", "OK!\nDownloading Data...", "OK!",
                           "\nStarting VRLib...", "OK!", "\nStarting MMLib...", "OK!", "\nInit Data...", "OK!",
                           "\nOstrel Stopped!\n"};
    size_t at = 0;
    for (const char* step : steps) {
        const size_t found = log.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing " << step << " after " << at << " in " << log;
        at = found + std::strlen(step);
    }
    EXPECT_EQ(record.Count("ONDOWNLOAD:1:String:hello"), 1u);
    EXPECT_EQ(record.Count("ONINIT:1:String:hello"), 1u);
    EXPECT_GE(record.Count("ONFRAME:0"), 1u);
    EXPECT_EQ(record.Count("OnExit"), 1u);
}

TEST_F(EngineModuleTest, HandsTheScriptsAudioSettingsToTheSoundLibrary) {
    VRAlibReset();
    const std::string script = WriteScript([](ProgramBuilder& b) {
        b.Named("AUDIO_MODE", VInt(2).value);
        b.Named("AUDIO_OPENAL", VInt(2).value);
        b.Named("AUDIO_BUFFERS", VInt(12).value);
        b.Named("AUDIO_STREAMING_BUFFERS", VInt(3).value);
    });
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 1);
    ASSERT_TRUE(RunFramesUntil(*m, CVRModule3D::Running));
    EXPECT_EQ(AudioMode(), 2);
    EXPECT_EQ(AudioSourceCount(), 12);
    EXPECT_EQ(AudioStreamingCount(), 3);
    EXPECT_EQ(VRAlibWindow(), glutGetWindow());
    // Nothing started: no sound object was made.
    EXPECT_FALSE(AudioRunning());
    EXPECT_TRUE(AudioUsesDirectSound());
}

TEST_F(EngineModuleTest, AScriptWithoutOnDownloadOrOnInitReachesRunning) {
    const std::string script = WriteScript([](ProgramBuilder& b) { Callback(b, "ONFRAME", 0); });
    testing::internal::CaptureStdout();
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 1);
    EXPECT_TRUE(RunFramesUntil(*m, CVRModule3D::Running));
    m->Frame();
    m.reset();
    testing::internal::GetCapturedStdout();
    EXPECT_GE(record.Count("ONFRAME:0"), 1u);
}

// The start-up's enable of the network renderer's capability knows no GL
// here: the script's first glGetError must not find its error.
TEST_F(EngineModuleTest, TheStartLeavesNoGlErrorForTheScript) {
    const std::string script = WriteScript([](ProgramBuilder& b) { Callback(b, "ONFRAME", 0); });
    while (glGetError() != GL_NO_ERROR) {
    }
    testing::internal::CaptureStdout();
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    m.reset();
    testing::internal::GetCapturedStdout();
}

TEST_F(EngineModuleTest, WithoutTheLoadingScreenOnlyTheBackgroundShows) {
    const std::string script = WriteScript([](ProgramBuilder& b) { Callback(b, "ONFRAME", 0); });
    testing::internal::CaptureStdout();
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 0);
    for (int i = 0; i < 500 && m->CurrentState() != CVRModule3D::FirstFrame; ++i) {
        m->Frame();
        if (m->CurrentState() == CVRModule3D::FirstFrame) break;
        for (auto [x, y] : {std::make_pair(1, 1), std::make_pair(kWidth / 2, kHeight / 2),
                            std::make_pair(kWidth - 2, kHeight - 2)})
            ASSERT_EQ(ReadPixel(x, y), (RgbPixel{0, 255, 0})) << "state " << m->CurrentState();
    }
    m.reset();
    testing::internal::GetCapturedStdout();
}

TEST_F(EngineModuleTest, AnErrorInOnInitShowsTheStoppedScreenAndOnErrorOnce) {
    const std::string script = WriteScript([](ProgramBuilder& b) {
        b.Function("ONINIT", 0);
        b.Emit(OP_INC, VStr("not a number"));
        b.Return();
        Callback(b, "ONERROR", 0);
        Callback(b, "ONFRAME", 0);
        Callback(b, "AFTER", 1);
    });
    testing::internal::CaptureStdout();
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 1);
    ASSERT_TRUE(RunFramesUntil(*m, CVRModule3D::Stopped));
    for (int i = 0; i < 3; ++i) m->Frame();
    EXPECT_EQ(ReadPixel(kWidth / 2, kHeight / 2).g, 0);
    EXPECT_GT(ReadPixel(kWidth / 2, kHeight / 2).r, 128);
    for (auto [x, y] : {std::make_pair(1, 1), std::make_pair(kWidth - 2, kHeight - 2), std::make_pair(1, kHeight - 2)})
        EXPECT_EQ(ReadPixel(x, y), (RgbPixel{0, 255, 0}));
    m->CallFunction("AFTER", "x");
    m->Frame();
    m.reset();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.Count("ONERROR:0"), 1u);
    EXPECT_EQ(record.Count("ONFRAME:0"), 0u);
}

TEST_F(EngineModuleTest, OnTimerRunsAboutAHundredTimesASecondInItsOwnContext) {
    const std::string script = WriteScript([](ProgramBuilder& b) {
        Callback(b, "ONFRAME", 0);
        b.Function("ONTIMER", 0);
        b.CallNative("TIMERREPORT", {}, None());
        b.Return();
        b.Function("ONEXIT", 0);
        b.CallNative("EXITREPORT", {}, None());
        b.Return();
    });
    testing::internal::CaptureStdout();
    std::unique_ptr<CVRModule3D> m = Make(script, nullptr, 0);
    ASSERT_TRUE(RunFramesUntil(*m, CVRModule3D::Running));
    // Counted from the first call: the thread's own GL context may take a
    // while to make on a loaded machine.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (record.timerCalls == 0 && std::chrono::steady_clock::now() < limit) m->Frame();
    ASSERT_GT(record.timerCalls, 0);
    const int before = record.timerCalls;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) m->Frame();
    const int seen = record.timerCalls - before;
    m.reset();
    testing::internal::GetCapturedStdout();
    EXPECT_GT(seen, 20);  // loose: 100 expected, on a loaded machine too
    EXPECT_LT(seen, 200);
    EXPECT_FALSE(record.timerInWindowContext);
    EXPECT_FALSE(record.timerAfterExit);
    EXPECT_EQ(record.Count("OnExit"), 1u);
}

TEST(ModuleOptions, ParsedFromACopy) {
    std::string param = " Stereo = 1; depth=24;FOV=45;quiet=yes;MSAA=4;__ENGINEURL= http://x/ ;DBGOUT=1;DBGCMD=2;DBGEVT=3";
    const std::string before = param;
    const ModuleOptions o = ModuleOptions::Parse(param.c_str());
    EXPECT_EQ(param, before);
    EXPECT_EQ(o.stereo, 1);
    EXPECT_EQ(o.depth, 24);
    EXPECT_EQ(o.fov, 45);
    EXPECT_EQ(o.quiet, 1);
    EXPECT_EQ(o.multisample, 4);
    EXPECT_EQ(o.engineUrl, "http://x/");
    EXPECT_EQ(o.dbgOut, 1);
    EXPECT_EQ(o.dbgCmd, 2);
    EXPECT_EQ(o.dbgEvt, 3);
    const ModuleOptions lower = ModuleOptions::Parse("dbgout=1;DBGCMD=2;DBGEVT=3");
    EXPECT_EQ(lower.dbgOut, 0);  // the ports' names keep their case
    const ModuleOptions none = ModuleOptions::Parse(nullptr);
    EXPECT_EQ(none.depth, -1);
    EXPECT_EQ(none.multisample, 1);
}
