// The engine module: one window and one script. It sets up OpenGL, reads the
// engine parameters, creates the engine machine, paces frames and time steps
// with its timer, and runs the frame state machine: download the script,
// loading screen, load, OnDownload, wait for the script's downloads, fade,
// first frame (scene, OnInit), OnFrame every frame; on an error the stopped
// screen and OnError once. OnTimer runs on a thread of its own with its own
// GL context.
//
// The module's work is split by job: EngineModule.cpp makes and ends it,
// ModuleFrame.cpp runs the frame state machine and the timer thread,
// ModuleMessages.cpp handles the window's messages, ModuleScreens.cpp draws
// the loading and stopped screens and the fade; ModuleOptions.h reads the
// engine parameters.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <thread>

#include "debugger/DebugSessionLoader.h"
#include "engine/EngineMachine.h"
#include "engine/ModuleOptions.h"
#include "platform/Event.h"
#include "platform/PeriodicTimer.h"

// The host's quit request: the program ends after the current frame.
extern std::atomic<bool> HostQuitFlag;

// From any thread: asks the live module's machine to stop the script code it
// runs (CVirtualMachine::RequestStop), so that a frame that waits for a
// script that loops, or for its debugger, ends. Nothing without a module.
void RequestEngineStop();

class CVRModule3D {
public:
    // Frame states.
    enum State { Check = 0, Stopped = 1, DownloadScript = 3, WaitScript = 4, LoadScript = 5, WaitData = 6,
                 Fade = 7, FirstFrame = 8, Running = 9 };

    // colour packs red in bits 0-7, green in 8-15, blue in 16-23; flags 1
    // shows the loading screen. The script name and user parameter must live
    // as long as the module.
    CVRModule3D(const char* scriptName, const char* engineParam, CVmContainer* container, int window,
                uint32_t colour, const char* userParam, int32_t flags);
    virtual ~CVRModule3D();
    CVRModule3D(const CVRModule3D&) = delete;
    CVRModule3D& operator=(const CVRModule3D&) = delete;

    void Frame();
    void StopModule(const char* text);
    int CallFunction(const char* name, const char* text);
    int LogLine(const char* text);
    void TimerTick();

    // Every window message of the engine's window; 1 when handled (the
    // result is then the window procedure's result).
    int HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result);
    // Shift+F9: the quit request and a script error.
    int CheckShiftF9();
    // Runs the messages posted to the engine window since the last drain.
    void DrainWindowMessages();

    void DrawLoadingScreen(float alpha, float progress, float red, float green, float blue);
    void DrawStoppedScreen();
    void DrawFade(float alpha);
    void FirstFrameInit();

    // The display went away while the module runs: what can still run of its
    // end runs. OnExit is called when the script lock comes within
    // `lockWaitMs` (a thread that holds it may be stuck in Xlib for good),
    // and nothing waits for the module's other threads. The module must not
    // be destroyed afterwards: the process ends (_exit) instead.
    void EndWithoutDisplay(int lockWaitMs);

    CVRMachine* Machine() const { return m_machine.get(); }
    State CurrentState() const { return static_cast<State>(m_state.load()); }
    const ModuleOptions& Options() const { return m_options; }
    // Clears the once-per-process OnError flag (tests run modules in turn).
    static void ResetErrorPending();

private:
    void TimerThread();
    void MouseUpdate(uintptr_t wParam, intptr_t lParam);
    void DoubleClickUpdate(uintptr_t wParam, intptr_t lParam);
    void RunState(uint32_t nowMs);
    void LoadTheScript();
    float Elapsed(uint32_t nowMs) const;
    // Milliseconds of the monotonic clock, as the states measure time.
    static uint32_t NowMs();

    std::thread m_timerThread;
    CEvent m_timeStepEvent{true};
    CEvent m_frameEvent{false};
    std::atomic<bool> m_timerStop{false};
    CEvent m_timerDone{true};  // set when the timer thread ends
    static constexpr int kTimerEndMs = 1000;
    int m_window;
    PeriodicTimer m_timer;
    std::atomic<int32_t> m_resize{1};
    const char* m_userParam;
    ModuleOptions m_options;
    int32_t m_loadingScreen;
    std::atomic<uint64_t> m_lastFrameTick{0};
    std::atomic<uint64_t> m_lastTimeStepTick{0};
    uint8_t m_background[3];
    DebugSessionLoader m_debugLoader;  // destroyed after the machine
    std::unique_ptr<CVRMachine> m_machine;
    std::ostream& m_log;
    std::atomic<int32_t> m_state{Check};
    const char* m_scriptName;
    bool m_firstFrameDone = false;
    uint32_t m_stoppedList = 0;
    uint32_t m_stateStart = 0;  // shared by the states that measure time
};
