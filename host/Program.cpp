#include "Program.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

#include "engine/DownloadManager.h"
#include "engine/EngineModule.h"
#include "host/CommandLine.h"
#include "host/GlutContainer.h"
#include "host/HostStreaming.h"
#include "platform/FileSystem.h"
#include "platform/GlutMainLoop.h"
#include "platform/GlutMessages.h"
#include "platform/GlutWindow.h"
#include "platform/Termination.h"
#include "platform/Thread.h"
#include "platform/XErrors.h"

namespace {

HostSettings g_settings;
std::string g_startFolder;
std::unique_ptr<CVRModule3D> g_module;
GlutContainer* g_container = nullptr;  // created once, never destroyed
std::atomic<bool> g_moduleAlive{true};
std::atomic<bool> g_moduleEnded{false};
StreamingHooks g_streaming = FrameStreamingHooks();
uint32_t g_lastCaptureMs = 0;

// How long a frame may take to end by itself once the program was asked
// to end.
constexpr auto kFrameGrace = std::chrono::milliseconds(500);

// The console's close, an interrupt or the system's shutdown (on the
// termination watcher's thread): quit after the frame, as closing the
// window does, with OnExit. Script code that keeps the frame from ending (a
// loop, a debugger's wait) is stopped; a frame that ends by itself is not
// cut short.
void OnTerminate(int) {
    HostQuitFlag = true;
    const auto until = std::chrono::steady_clock::now() + kFrameGrace;
    while (!g_moduleEnded && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!g_moduleEnded) RequestEngineStop();
}

// The display went away (the X server ended): the program ends as if its
// window had been closed, with OnExit where it can run and without its cache
// folder, but it cannot wait for threads that are stuck in Xlib for good.
// Called on the first thread that lost its connection; the others wait
// there. A watchdog ends the process should the module's end itself get
// stuck.
constexpr int kLostDisplayLockMs = 700;
constexpr auto kLostDisplayDeadline = std::chrono::milliseconds(1500);
std::string g_cacheFolder;  // set with the module, read once the display is gone

void FinishWithoutDisplay() {
    static std::atomic<bool> finishing{false};
    if (finishing.exchange(true)) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    if (!g_cacheFolder.empty()) EraseFolder(g_cacheFolder);
    std::cout.flush();
    std::fflush(nullptr);
    _exit(0);
}

void OnDisplayLost() {
    HostQuitFlag = true;
    std::thread([] {
        std::this_thread::sleep_for(kLostDisplayDeadline);
        FinishWithoutDisplay();
    }).detach();
    if (g_module) g_module->EndWithoutDisplay(kLostDisplayLockMs);
    FinishWithoutDisplay();
}

// The program's end, once asked for: by a signal, the quit keys, or the
// window's destruction by another program.
void EndWhenAsked() {
    if (!WindowStillExists()) HostQuitFlag = true;
    if (!HostQuitFlag) return;
    HostExit();
    std::exit(0);
}

void OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!g_module) return;
    intptr_t result = 0;
    g_module->HandleMessage(message, wParam, lParam, &result);
    // Closing the window leaves the main loop, so the module ends while its
    // GL context still exists.
    if (message == kWmClose) LeaveWindowLoop();
}

// One turn of the main loop: a frame, and the program's end once asked for.
void FrameTurn() {
    EndWhenAsked();
    PollWindowFocus();
    if (g_module) g_module->Frame();
    if (g_settings.stream && g_streaming.capture) {
        const uint32_t now = static_cast<uint32_t>(MonotonicMicroseconds() / 1000);
        if (now - g_lastCaptureMs >= 66) {
            g_streaming.capture();
            g_lastCaptureMs = now;
        }
    }
    SwapWindowBuffers();
    EndWhenAsked();
}

void CreateEngine() {
    if (!g_container) g_container = new GlutContainer();
    g_module.reset(new CVRModule3D(g_settings.scriptName.c_str(), g_settings.engineParams.c_str(), g_container,
                                   CurrentWindow(), g_settings.background,
                                   g_settings.userParams.empty() ? nullptr : g_settings.userParams.c_str(), 1));
    g_cacheFolder = g_module->Machine()->Downloads().CacheFolder();
    InstallWindowMessages(OnWindowMessage);
}

}  // namespace

StreamingHooks& HostStreamingHooks() { return g_streaming; }

void HostExit() {
    if (g_moduleAlive.exchange(false)) {
        g_module.reset();
        g_moduleEnded = true;
        if (!g_startFolder.empty()) ChangeWorkingFolder(g_startFolder);
    }
    if (g_settings.stream && g_streaming.stop) {
        g_streaming.stop();
        g_settings.stream = false;
    }
    StopWatchingTermination();
}

int QemMain(int argc, char** argv) {
    PrepareWindowSystem();
    SetDisplayLostHandler(OnDisplayLost);
    g_startFolder = WorkingFolder();

    switch (ParseCommandLine(argc, argv, g_settings, std::cout)) {
    case CommandLineOutcome::Run:
        break;
    case CommandLineOutcome::ShowUsage:
        std::cout.flush();
        std::getchar();
        return 0;
    case CommandLineOutcome::ShowVersion:
        return 0;
    case CommandLineOutcome::PageNotFound:
        return 1;
    }
    // Only a run watches for termination: the watcher thread must be stopped
    // before the program returns, which the early returns above would skip.
    WatchTermination(OnTerminate);
    if (!g_settings.resolution.empty()) {
        int32_t fields[4] = {0, 0, 0, 0};
        ParseScreenResolution(g_settings.resolution, fields);
        std::cout << "\nScreen mode changes are not available here; keeping the current mode.";
    }

    InitWindowSystem(&argc, argv);
    if (g_settings.stream && g_streaming.start) g_streaming.start();
    std::atexit(HostExit);
    if (g_settings.width >= 1 && g_settings.height >= 1) SetNextWindowSize(g_settings.width, g_settings.height);
    // A mode the display cannot give is dropped, with a line in the log.
    unsigned int mode = g_settings.displayMode;
    for (unsigned int optional : {0x100u /* stereo */, 0x80u /* multisample */, 0x20u /* stencil */}) {
        SetNextWindowMode(mode);
        if ((mode & optional) && !NextWindowModePossible()) {
            std::cout << "\nThe display offers no " << (optional == 0x100u ? "stereo" : optional == 0x80u ? "multisample" : "stencil")
                      << " buffer; running without it.";
            mode &= ~optional;
        }
    }
    // Motion blur draws through an accumulation buffer: asked for when the
    // display offers one with the rest of the mode (not, as a rule, with
    // multisampling).
    SetNextWindowMode(mode | 0x4u /* accumulation */);
    if (NextWindowModePossible()) mode |= 0x4u;
    SetNextWindowMode(mode);

    const std::string title = g_settings.programName + " <" + g_settings.scriptName + ">";
    CreateHostWindow(title.c_str(), g_settings.borderless);
    if (g_settings.fullScreen) MakeWindowFullScreen();
    CreateEngine();
    RunWindowLoop(FrameTurn);
    HostExit();
    return 0;
}
