#include "EngineModule.h"

#include <GL/gl.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "engine/DownloadManager.h"
#include "engine/ModuleHooks.h"
#include "engine/UrlTransfer.h"
#include "state/Console.h"
#include "platform/BlockingWait.h"
#include "platform/FileSystem.h"
#include "platform/GlContext.h"
#include "platform/ScreenMode.h"
#include "platform/ScriptFile.h"
#include "platform/Thread.h"

std::atomic<bool> HostQuitFlag{false};

ModuleHooks& EngineModuleHooks() {
    static ModuleHooks hooks = [] {
        ModuleHooks h;
        InstallSceneHooks(h);
        return h;
    }();
    return hooks;
}

namespace {

// The machine a stop request reaches: set while a module's machine lives.
std::mutex g_liveLock;
CVRMachine* g_liveMachine = nullptr;

// Whether the waits of script functions should give up: the program is
// ending, or the running machine was asked to stop.
bool EngineStopRequested() {
    if (HostQuitFlag.load()) return true;
    std::lock_guard<std::mutex> guard(g_liveLock);
    return g_liveMachine && g_liveMachine->StopRequested();
}

}  // namespace

void RequestEngineStop() {
    std::lock_guard<std::mutex> guard(g_liveLock);
    if (g_liveMachine) g_liveMachine->RequestStop();
}

uint32_t CVRModule3D::NowMs() { return static_cast<uint32_t>(MonotonicMicroseconds() / 1000); }

CVRModule3D::CVRModule3D(const char* scriptName, const char* engineParam, CVmContainer* container, int window,
                         uint32_t colour, const char* userParam, int32_t flags)
    : m_window(window),
      m_userParam(userParam),
      m_options(ModuleOptions::Parse(engineParam)),
      m_loadingScreen(flags),
      m_log(std::cout),
      m_scriptName(scriptName ? scriptName : "") {
    m_background[0] = static_cast<uint8_t>(colour);
    m_background[1] = static_cast<uint8_t>(colour >> 8);
    m_background[2] = static_cast<uint8_t>(colour >> 16);

    m_log << "\nInit OpenGL...";
    // The network renderer's enable entry, or its default, which enables the
    // capability it is given.
    typedef int (*RendererEnable)(unsigned int);
    if (auto enable = reinterpret_cast<RendererEnable>(NetworkRendererEntry("QemNetworkRendererEnable")))
        enable(0xAAAF);
    else
        glEnable(0xAAAF);
    // No GL here knows the capability: the error it leaves must not reach
    // the script's first glGetError.
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
    SetGlSwapInterval(0);
    m_log << "OK!";

    m_log << "\nStarting VirtualMachine...";
    if (m_options.dbgOut > 0 && m_options.dbgCmd > 0 && m_options.dbgEvt > 0) {
        m_machine.reset(
            new CVRMachine(m_options.dbgCmd, m_options.dbgOut, container, window, true, m_options.dbgEvt));
        m_machine->SetDebugLoader(&m_debugLoader);
    } else
        m_machine.reset(new CVRMachine(-1, 0, container, window, false, -1));
    g_moduleMachine = m_machine.get();
    {
        std::lock_guard<std::mutex> guard(g_liveLock);
        g_liveMachine = m_machine.get();
    }
    SetBlockingWaitStopCheck(EngineStopRequested);
    m_log << "OK!";

    // A debugged machine keeps writing to its client's output port.
    m_machine->SetOutputStream(m_machine->IsDebug() ? m_machine->GetOutputStream() : &m_log, m_options.quiet == 1);
    m_machine->Timing().framePeriod = 10000;
    m_machine->SetTimeStep(10);
    m_machine->SetWorkingFolder(TempFolder());
    m_machine->Input().hasFocus = 1;
    if (HasUrlScheme(m_scriptName)) {
        const std::string s = m_scriptName;
        m_machine->Downloads().SetBaseFolder(s.substr(0, s.find_last_of('/') + 1));
    } else {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(m_scriptName, error);
        m_machine->Downloads().SetBaseFolder(error ? std::string() : full.parent_path().string() + "/");
    }
    m_machine->Display().renderWindow = window;
    if (m_options.downloadLimit > 0)
        m_machine->Downloads().SetSizeLimit(static_cast<uint64_t>(m_options.downloadLimit) << 20);

    m_log << "\nStarting Hires timer...";
    if (m_timer.Start(PeriodicTimer::MinimumPeriodMs(), [this] { TimerTick(); }))
        m_log << "res " << PeriodicTimer::MinimumPeriodMs() << " msec. OK!";
    else
        m_log << "timeBeginPeriod ERROR!!";
    m_timerStop = false;
    m_timerThread = std::thread([this] { TimerThread(); });
}

CVRModule3D::~CVRModule3D() {
    // The timer thread may wait for this thread in an EventSend or a Sleep.
    m_machine->CancelScriptSends();
    m_timerStop = true;
    m_timeStepEvent.Set();
    // An OnTimer that does not end by itself (a script that loops, one held
    // by its debugger) is stopped, so that the module always ends.
    if (m_timerThread.joinable() && !m_timerDone.Wait(kTimerEndMs)) m_machine->RequestStop();
    if (m_timerThread.joinable()) m_timerThread.join();
    m_timer.Stop();
    // A stop request that no running code took (it came between frames)
    // does not keep OnExit from running; one made while OnExit runs ends it.
    m_machine->ClearStopRequest();
    m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnExit), nullptr);
    // A screen mode the script chose lasts as long as the engine.
    RestoreScreenMode();
    m_log << "\nOstrel Stopped!\n";
    m_log.flush();
    if (m_stoppedList) glDeleteLists(m_stoppedList, 1);
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.destroyScene && m_machine->Scene().scene) hooks.destroyScene(*m_machine);
    if (g_moduleMachine == m_machine.get()) g_moduleMachine = nullptr;
    ConfineScriptFiles(std::string());
    {
        std::lock_guard<std::mutex> guard(g_liveLock);
        if (g_liveMachine == m_machine.get()) g_liveMachine = nullptr;
    }
    m_machine.reset();
}

void CVRModule3D::EndWithoutDisplay(int lockWaitMs) {
    m_machine->CancelScriptSends();
    m_timerStop = true;
    m_timeStepEvent.Set();
    // Script code that runs on another thread is asked to end, so that the
    // lock comes free unless that thread is stuck.
    m_machine->RequestStop();
    CCriticalSection& lock = m_machine->ScriptLock();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
    bool held = lock.TryEnter();
    while (!held && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        held = lock.TryEnter();
    }
    if (held) {
        m_machine->ClearStopRequest();
        m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnExit), nullptr);
        lock.Leave();
    }
    m_log << "\nOstrel Stopped!\n";
    m_log.flush();
}

int CVRModule3D::LogLine(const char* text) {
    m_log << (text ? text : "");
    return 0;
}
