// The frame state machine of the engine module, its pacing and the timer
// thread that runs OnTimer.
#include "EngineModule.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "engine/DownloadManager.h"
#include "engine/EngineVersion.h"
#include "engine/ModuleHooks.h"
#include "engine/UrlTransfer.h"
#include "state/Console.h"
#include "platform/GlContext.h"
#include "platform/OffscreenGlContext.h"
#include "platform/ScriptFile.h"
#include "platform/Thread.h"
#include "scene/EngineServices.h"

namespace {

// OnError runs once per process.
std::atomic<bool> g_errorPending{true};

// The text after the last '/' or '\\'.
std::string LastComponent(const std::string& path) {
    const size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace

void CVRModule3D::ResetErrorPending() { g_errorPending = true; }

// ---------------------------------------------------------------------------
// Timing

void CVRModule3D::TimerTick() {
    const uint64_t now = MonotonicMicroseconds();
    if (m_state == Running && now - m_lastTimeStepTick >= m_machine->Timing().timeStep) {
        m_lastTimeStepTick = now;
        m_timeStepEvent.Set();
    }
    const uint64_t period = m_machine->Timing().framePeriod;
    if (period != 0 && now - m_lastFrameTick >= period) {
        m_lastFrameTick = now;
        m_frameEvent.Set();
    }
}

void CVRModule3D::TimerThread() {
    struct Done {
        CEvent& event;
        ~Done() { event.Set(); }
    } done{m_timerDone};
    // A GL context of its own, sharing nothing with the window's.
    OffscreenGlContext context;
    if (!context.Valid()) m_log << "\nTimer thread: no OpenGL context (" << context.Description() << ")";
    for (;;) {
        if (!m_timeStepEvent.Wait(-1) || m_timerStop) break;
        m_timeStepEvent.Reset();
        m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnTimer), nullptr);
        if (m_machine->HasError()) {
            m_state = Stopped;
            m_resize = 1;
            m_machine->Downloads().Clear();
            m_log.flush();
        }
    }
}

// ---------------------------------------------------------------------------
// Frames

float CVRModule3D::Elapsed(uint32_t nowMs) const {
    const float t = static_cast<float>(nowMs - m_stateStart) * 0.0005f;
    return t > 1.0f ? 1.0f : t;
}

void CVRModule3D::Frame() {
    if (!m_machine) return;
    DrainWindowMessages();
    const uint32_t now = NowMs();
    WindowClientSize(m_window, m_machine->Display().clientWidth, m_machine->Display().clientHeight);
    if (m_resize) {
        glViewport(0, 0, m_machine->Display().clientWidth, m_machine->Display().clientHeight);
        m_resize = 0;
    }
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.pollJoysticks) hooks.pollJoysticks();
    // Paced by the timer; a frame never waits longer than one period, so a
    // module whose timer does not run still moves on.
    const uint64_t period = m_machine->Timing().framePeriod;
    if (period != 0) m_frameEvent.Wait(static_cast<int>((period + 999) / 1000));
    RunState(now);
    m_machine->Console().Draw();
    DrawFade(m_machine->Display().fadeValue);
    m_log.flush();
}

void CVRModule3D::RunState(uint32_t now) {
    CDownloadManager& downloads = m_machine->Downloads();
    const float progress = static_cast<float>(downloads.Progress()) / 100.0f;
    switch (m_state.load()) {
    case Check:
        m_log << "\nChecking Engine...";
        glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        m_stateStart = now;
        if (m_loadingScreen) DrawLoadingScreen(0, 0, 0, 0, 0);
        m_state = DownloadScript;
        break;
    case DownloadScript: {
        if (m_loadingScreen) DrawLoadingScreen(Elapsed(now), 0, 0, 0, 0);
        m_machine->Paths().scriptLocation = m_scriptName;
        m_log << "\nDownloading Script...";
        // A local script is fetched by its full path: the download manager
        // resolves relative names against the script's own folder.
        std::string script = m_scriptName;
        if (!HasUrlScheme(script)) {
            std::error_code error;
            const std::filesystem::path full = std::filesystem::absolute(script, error);
            if (!error) script = full.string();
        }
        // The script and its debug information are held to what the loader
        // reads at most, and to the download limit.
        const uint64_t limit = std::min<uint64_t>(CVirtualMachine::kMaxBytecodeSize, downloads.SizeLimit());
        if (m_machine->IsDebug())
            downloads.Enqueue(LastComponent(script + ".dbg").c_str(), script + ".dbg", 0, 0, limit);
        downloads.Enqueue(LastComponent(script).c_str(), script, 0, 0, limit);
        downloads.Start();
        m_state = WaitScript;
        break;
    }
    case WaitScript:
        if (m_loadingScreen) DrawLoadingScreen(Elapsed(now), progress, 1, 1, 1);
        if (downloads.QueueEmpty()) m_state = LoadScript;
        break;
    case LoadScript:
        LoadTheScript();
        break;
    case WaitData:
        if (m_loadingScreen) DrawLoadingScreen(Elapsed(now), progress, 1, 0, 0);
        if (downloads.QueueEmpty()) {
            m_log << "OK!";
            m_stateStart = now;
            m_state = Fade;
        }
        break;
    case Fade: {
        const uint32_t elapsed = now - m_stateStart;
        if (elapsed <= 800 && m_loadingScreen) {
            const float alpha = 1.0f - static_cast<float>(elapsed) * 0.00125f;
            DrawLoadingScreen(alpha > 0 ? alpha : 0, 1, 1, 0, 0);
        } else {
            int v[4] = {0, 0, 0, 0};
            std::sscanf(ProgramFileVersion(), "%i,%i,%i,%i", &v[0], &v[1], &v[2], &v[3]);
            const char* engineNumber = m_machine->StringForId(2);
            v[0] = engineNumber ? std::atoi(engineNumber) : 0;
            for (int i = 0; i < 4; ++i) g_engineVersion[i] = static_cast<uint32_t>(v[i]);
            m_state = FirstFrame;
        }
        break;
    }
    case FirstFrame:
        FirstFrameInit();
        if (m_machine->HasError()) {
            StopModule(nullptr);
        } else {
            m_log << "OK!";
            m_state = Running;
        }
        break;
    case Running:
        m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnFrame), nullptr);
        if (m_machine->HasError())
            StopModule(nullptr);
        else if (!downloads.QueueEmpty())
            downloads.Start();
        break;
    case Stopped:
    default:
        if (g_errorPending.exchange(false)) {
            m_machine->SetStopFlag(false);
            m_machine->ClearError();
            m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnError), nullptr);
        }
        m_machine->Display().fadeValue = 1.0f;
        DrawStoppedScreen();
        break;
    }
}

void CVRModule3D::LoadTheScript() {
    m_log << "OK!\nLoading Script...";
    std::error_code error;
    std::string full = m_scriptName;
    if (!HasUrlScheme(full)) {
        const std::filesystem::path p = std::filesystem::absolute(m_scriptName, error);
        if (!error) full = p.string();
    }
    m_machine->Paths().scriptLocation = HasUrlScheme(full) ? full : "file://" + full;
    m_machine->Paths().scriptFolder = full.substr(0, full.find_last_of("/\\") + 1);
    // The script was brought into the cache under its last component.
    const std::string local = HasUrlScheme(full) ? m_machine->Downloads().CacheFolder() + LastComponent(full)
                                                 : std::string(m_scriptName);
    if (!m_machine->LoadProgram(local)) {
        StopModule(nullptr);
        return;
    }
    ModuleAudioSettings audio;
    m_machine->GetNamedInt("AUDIO_MODE", audio.mode);
    m_machine->GetNamedInt("AUDIO_EAX", audio.eax);
    m_machine->GetNamedInt("AUDIO_OPENAL", audio.openAL);
    audio.window = m_window;
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.audioSettings) hooks.audioSettings(audio, false);
    m_log << "OK!\nScript Started...";
    m_log << "OK!\nDownloading Data...";
    // The engine library can report from OnDownload on (the network manager
    // is made by the first network call): its errors stop the script, not
    // the program.
    SetEngineErrorHandler(EngineErrorHandler);
    SetEngineWarningHandler(EngineWarningHandler);
    CVmValue user;
    if (m_userParam) user.SetString(m_userParam);
    m_machine->CallScriptFunction(m_userParam ? 1 : 0, m_machine->CallbackIndex(CVRMachine::OnDownload), &user);
    if (m_machine->HasError()) {
        StopModule(nullptr);
        return;
    }
    m_machine->Downloads().Start();
    if (m_machine->Downloads().Failed()) {
        StopModule(m_machine->Downloads().MessageText().c_str());
        return;
    }
    m_state = WaitData;
}

void CVRModule3D::FirstFrameInit() {
    if (m_firstFrameDone) return;
    m_firstFrameDone = true;
    ModuleHooks& hooks = EngineModuleHooks();
    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    m_machine->Display().stereo = stereo ? 1 : 0;
    if (stereo) m_log << "\n*** STEREO QUADBUFFER IS SUPPORTED! ***";

    float fov = 60.0f, nearPlane = 0.1f, farPlane = 1000.0f;
    if (m_options.fov >= 1)
        fov = static_cast<float>(m_options.fov);
    else
        m_machine->GetNamedFloat("SCENE_FOV", fov);
    if (m_options.nearPlane >= 1)
        nearPlane = static_cast<float>(m_options.nearPlane);
    else
        m_machine->GetNamedFloat("SCENE_NEAR", nearPlane);
    if (m_options.farPlane >= 1)
        farPlane = static_cast<float>(m_options.farPlane);
    else
        m_machine->GetNamedFloat("SCENE_FAR", farPlane);

    ModuleAudioSettings audio;
    m_machine->GetNamedInt("AUDIO_MODE", audio.mode);
    m_machine->GetNamedInt("AUDIO_EAX", audio.eax);
    m_machine->GetNamedInt("AUDIO_OPENAL", audio.openAL);
    m_machine->GetNamedInt("AUDIO_BUFFERS", audio.buffers);
    m_machine->GetNamedInt("AUDIO_STREAMING_BUFFERS", audio.streamingBuffers);
    audio.window = m_window;
    if (hooks.audioSettings) hooks.audioSettings(audio, true);

    m_log << "\nStarting VRLib...";
    if (hooks.createScene) hooks.createScene(*m_machine, fov, nearPlane, farPlane);
    SetEngineErrorHandler(EngineErrorHandler);
    SetEngineWarningHandler(EngineWarningHandler);
    m_log << "OK!";

    m_log << "\nStarting MMLib...";
    if (hooks.postMultimedia) hooks.postMultimedia(kMultimediaStart, m_window, 0, "");
    m_log << "OK!";

    const std::string cache = m_machine->Downloads().CacheFolder();
    SetBaseDirectory(cache.c_str());
    SetModuleDirectory(cache.c_str());
    if (hooks.postMultimedia) hooks.postMultimedia(kMultimediaSetFolder, 0, 0, cache);
    m_machine->Paths().workingFolder = cache;
    // A script from the web reads files of its own folder only.
    ConfineScriptFiles(m_machine->IsWebScript() ? cache : std::string());

    if (hooks.setSceneParamInt) hooks.setSceneParamInt(*m_machine, kSceneParamSilent, 0);
    if (hooks.setClearColor)
        hooks.setClearColor(*m_machine, m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f);
    m_log << "\nInit Data...";
    glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    if (hooks.sceneBegin) hooks.sceneBegin(*m_machine);
    CVmValue user;
    if (m_userParam) user.SetString(m_userParam);
    m_machine->CallScriptFunction(m_userParam ? 1 : 0, m_machine->CallbackIndex(CVRMachine::OnInit), &user);
    m_machine->Input().wheelCount = 0;
    if (hooks.sceneEnd) hooks.sceneEnd(*m_machine);
}

void CVRModule3D::StopModule(const char* text) {
    m_state = Stopped;
    m_resize = 1;
    m_machine->Downloads().Clear();
    if (text) m_log << text;
    m_log.flush();
}

int CVRModule3D::CallFunction(const char* name, const char* text) {
    const int32_t index = m_machine->FindFunction(name);
    if (index >= 0) {
        CVmValue arg;
        arg.SetString(text ? text : "");
        m_machine->CallScriptFunction(1, index, &arg);
        if (m_machine->HasError()) StopModule(nullptr);
    }
    return 0;
}
