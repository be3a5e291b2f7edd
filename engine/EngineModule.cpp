#include "EngineModule.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "debugger/DebugSessionLoader.h"
#include "engine/Console.h"
#include "engine/DownloadManager.h"
#include "engine/EngineVersion.h"
#include "engine/ModuleHooks.h"
#include "engine/UrlTransfer.h"
#include "platform/FileSystem.h"
#include "platform/GlContext.h"
#include "platform/GlutMessages.h"
#include "platform/GlutWindow.h"
#include "platform/OffscreenGlContext.h"
#include "platform/Thread.h"
#include "platform/WindowMessageQueue.h"
#include "scene/EngineServices.h"

uint32_t g_engineVersion[4] = {0, 0, 0, 0};
std::atomic<bool> HostQuitFlag{false};

ModuleHooks& EngineModuleHooks() {
    static ModuleHooks hooks;
    return hooks;
}

namespace {

// Shared by the states that measure time, and the once-per-process OnError.
uint32_t g_stateStart = 0;
std::atomic<bool> g_errorPending{true};

uint32_t NowMs() { return static_cast<uint32_t>(MonotonicMicroseconds() / 1000); }

// Blanks and control characters off both ends.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// The text after the last '/' or '\\'.
std::string LastComponent(const std::string& path) {
    const size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Options

ModuleOptions ModuleOptions::Parse(const char* engineParam) {
    ModuleOptions o;
    const std::string text = engineParam ? engineParam : "";
    // Pieces "name=value" separated by ';'; names without regard to case.
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string piece = text.substr(start, end - start);
        start = end + 1;
        const size_t eq = piece.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 >= piece.size()) continue;
        const std::string name = VmUpperName(Trim(piece.substr(0, std::min<size_t>(eq, 511))).c_str());
        const std::string value = Trim(piece.substr(eq + 1, 511));
        const int32_t number = std::atoi(value.c_str());
        if (name == "STEREO")
            o.stereo = 1;
        else if (name == "DEPTH")
            o.depth = number;
        else if (name == "STENCIL")
            o.stencil = number;
        else if (name == "__ENGINEURL")
            o.engineUrl = value;
        else if (name == "FOV")
            o.fov = number;
        else if (name == "NEAR")
            o.nearPlane = number;
        else if (name == "FAR")
            o.farPlane = number;
        else if (name == "QUIET")
            o.quiet = 1;
        else if (name == "MSAA")
            o.multisample = number;
    }
    const DebugPorts ports = ReadDebugPorts(text);
    o.dbgOut = ports.output;
    o.dbgCmd = ports.commands;
    o.dbgEvt = ports.events;
    return o;
}

// ---------------------------------------------------------------------------
// Construction and destruction

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
    if (m_timerThread.joinable()) m_timerThread.join();
    m_timer.Stop();
    m_machine->CallScriptFunction(0, m_machine->CallbackIndex(CVRMachine::OnExit), nullptr);
    m_log << "\nOstrel Stopped!\n";
    m_log.flush();
    if (m_stoppedList) glDeleteLists(m_stoppedList, 1);
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.destroyScene && m_machine->Scene().scene) hooks.destroyScene(*m_machine);
    if (g_moduleMachine == m_machine.get()) g_moduleMachine = nullptr;
    m_machine.reset();
}

void CVRModule3D::ResetErrorPending() { g_errorPending = true; }

int CVRModule3D::LogLine(const char* text) {
    m_log << (text ? text : "");
    return 0;
}

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
    const float t = static_cast<float>(nowMs - g_stateStart) * 0.0005f;
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
        g_stateStart = now;
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
        if (m_machine->IsDebug())
            downloads.Enqueue(LastComponent(script + ".dbg").c_str(), script + ".dbg", 0, 0);
        downloads.Enqueue(LastComponent(script).c_str(), script, 0, 0);
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
            g_stateStart = now;
            m_state = Fade;
        }
        break;
    case Fade: {
        const uint32_t elapsed = now - g_stateStart;
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
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.audioSettings) hooks.audioSettings(audio, false);
    m_log << "OK!\nScript Started...";
    m_log << "OK!\nDownloading Data...";
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
    if (hooks.audioSettings) hooks.audioSettings(audio, true);

    m_log << "\nStarting VRLib...";
    if (hooks.createScene) hooks.createScene(*m_machine, fov, nearPlane, farPlane);
    SetEngineErrorHandler(EngineErrorHandler);
    SetEngineWarningHandler(EngineWarningHandler);
    m_log << "OK!";

    m_log << "\nStarting MMLib...";
    if (hooks.postMultimedia) hooks.postMultimedia(1, m_window, 0, "");
    m_log << "OK!";

    const std::string cache = m_machine->Downloads().CacheFolder();
    SetBaseDirectory(cache.c_str());
    SetModuleDirectory(cache.c_str());
    if (hooks.postMultimedia) hooks.postMultimedia(3, 0, 0, cache);
    m_machine->Paths().workingFolder = cache;

    if (hooks.setSceneParamInt) hooks.setSceneParamInt(*m_machine, 128, 0);
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

// ---------------------------------------------------------------------------
// Window messages

int CVRModule3D::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result) {
    if (result) *result = 0;
    ModuleHooks& hooks = EngineModuleHooks();
    switch (message) {
    case 20:  // WM_ERASEBKGND: no background erase
        return 1;
    case 953:  // MM_MCINOTIFY
        if (hooks.postMultimedia) hooks.postMultimedia(7, static_cast<intptr_t>(wParam), lParam, "");
        return 1;
    case kMsgDownloadReady: {
        CVmValue id;
        id.SetInteger(static_cast<int32_t>(wParam));
        m_machine->CallScriptFunction(1, m_machine->CallbackIndex(CVRMachine::DownloadReady), &id);
        m_machine->Downloads().Start();
        return 1;
    }
    case kMsgDownloadFailed:
        StopModule(m_machine->Downloads().MessageText().c_str());
        return 1;
    case kMsgDownloadStopped:
        if (m_state != Running) StopModule("Download STOPPED");
        return 1;
    case kMsgDownloadRetry:
        m_machine->Downloads().Start();
        return 1;
    case kMsgDownloadWarning:
        m_log << "\nWARNING! " << m_machine->Downloads().MessageText();
        return 1;
    default:
        break;
    }
    if (!m_machine) return 0;
    // The script sees the message first.
    m_machine->PostWindowEvent(message, wParam, lParam);
    switch (message) {
    case kWmKeyDown:
        if (wParam == kVkF9) CheckShiftF9();
        return 1;
    case kWmSysKeyDown:
        if (wParam == kVkF4 && (static_cast<uint32_t>(lParam) & (1u << 29))) {
            HostQuitFlag = true;
            m_machine->Error(-1);
        }
        return 1;
    case kWmSetFocus:
    case kWmKillFocus:
        m_machine->Input().hasFocus = message == kWmSetFocus ? 1 : 0;
        m_resize = 1;
        return 1;
    case kWmMouseLeave:
        m_machine->Input().mouseTracking = 0;
        return 1;
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp:
    case kWmRButtonDown:
    case kWmRButtonUp:
    case kWmMButtonDown:
    case kWmMButtonUp:
    case kWmMouseWheel:
        MouseUpdate(wParam, lParam);
        return 1;
    case kWmLButtonDblClk:
    case kWmRButtonDblClk:
    case kWmMButtonDblClk:
        DoubleClickUpdate(wParam, lParam);
        return 1;
    case kWmChar:
        m_machine->PutKey(static_cast<int32_t>(wParam));
        return 1;
    case kWmWindowPosChanged:
        m_resize = 1;
        return 1;
    default:
        return 0;
    }
}

int CVRModule3D::CheckShiftF9() {
    if (IsVirtualKeyDown(kVkShift)) {
        HostQuitFlag = true;
        m_machine->Error(-1);
    }
    return 0;
}

void CVRModule3D::MouseUpdate(uintptr_t wParam, intptr_t lParam) {
    const int32_t previous = m_machine->GetMouseButtons();
    const uint32_t buttons = static_cast<uint32_t>(wParam) & 0xFFFF;
    // Capture needs nothing here: X keeps delivering a drag to the window.
    SetWindowCursorShape(m_machine->Display().cursor);
    if (buttons != 0) FocusEngineWindow();
    const int16_t wheel = static_cast<int16_t>((static_cast<uint32_t>(wParam) >> 16) & 0xFFFF);
    if (wheel != 0) {
        m_machine->Input().wheelCount += wheel / 120;
    } else {
        const uint32_t l = static_cast<uint32_t>(lParam);
        m_machine->SetMouse(static_cast<int32_t>((static_cast<uint32_t>(previous) & 0xFF00u) | buttons),
                            static_cast<int16_t>(l & 0xFFFF), static_cast<int16_t>(l >> 16));
    }
    m_machine->Input().mouseTracking = 1;
}

void CVRModule3D::DoubleClickUpdate(uintptr_t wParam, intptr_t lParam) {
    const uint32_t previous = static_cast<uint32_t>(m_machine->GetMouseButtons());
    const uint32_t l = static_cast<uint32_t>(lParam);
    m_machine->SetMouse(static_cast<int32_t>((previous & 0xFF00u) | (static_cast<uint32_t>(wParam) << 8)),
                        static_cast<int32_t>(l & 0xFFFF), static_cast<int32_t>(l >> 16));
    FocusEngineWindow();
}

void CVRModule3D::DrainWindowMessages() {
    WindowMessageQueue::EngineWindow().Drain(
        [this](const WindowMessage& m) { HandleMessage(m.message, m.wParam, m.lParam, nullptr); });
}

// ---------------------------------------------------------------------------
// Drawing

void CVRModule3D::DrawFade(float alpha) {
    if (alpha >= 1.0f) return;
    if (alpha < 0.0f) alpha = 0.0f;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 1.0f - alpha);
    glBegin(GL_QUADS);
    glVertex3f(-1, 1, 0);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glColor4f(1, 1, 1, 1);
}

namespace {

double ViewportAspect() {
    GLint v[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, v);
    return v[3] > 0 ? static_cast<double>(v[2]) / v[3] : 1.0;
}

// One face of an axis box: the axis (0 x, 1 y, 2 z), its sign, the extent
// along it and across it.
void BoxFace(int axis, float sign, float along, float across, bool outline) {
    float corners[4][2] = {{-across, -across}, {across, -across}, {across, across}, {-across, across}};
    glBegin(outline ? GL_LINE_LOOP : GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        const int c = sign > 0 ? i : 3 - i;  // outward winding
        float p[3];
        p[axis] = sign * along;
        p[(axis + 1) % 3] = corners[c][0];
        p[(axis + 2) % 3] = corners[c][1];
        glTexCoord2f(corners[c][0] > 0 ? 1.0f : 0.0f, corners[c][1] > 0 ? 1.0f : 0.0f);
        glVertex3fv(p);
    }
    glEnd();
}

}  // namespace

void CVRModule3D::DrawLoadingScreen(float alpha, float progress, float red, float green, float blue) {
    glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, ViewportAspect(), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -8);
    const float angle = static_cast<float>(NowMs() % 6000) * 0.06f;
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);

    if (red + green + blue > 0) {
        glPushMatrix();
        glTranslatef(0, -4, 0);
        glLineWidth(1);
        glColor3f(0.5f, 0.5f, 0.5f);
        glBegin(GL_LINE_LOOP);
        glVertex3f(-4.1f, -0.2f, 0);
        glVertex3f(4.1f, -0.2f, 0);
        glVertex3f(4.1f, 0.2f, 0);
        glVertex3f(-4.1f, 0.2f, 0);
        glEnd();
        // From the given colour at the left to green at the right.
        const float mid[3] = {red * 0.5f, (green + 1.0f) * 0.5f, blue * 0.5f};
        glBegin(GL_QUADS);
        glColor3f(red, green, blue);
        glVertex3f(-4, -0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, -0.1f, 0);
        glVertex3f(0, 0.1f, 0);
        glColor3f(red, green, blue);
        glVertex3f(-4, 0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, -0.1f, 0);
        glColor3f(0, 1, 0);
        glVertex3f(4, -0.1f, 0);
        glVertex3f(4, 0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, 0.1f, 0);
        glEnd();
        // The part not reached yet is hidden in the background colour.
        glColor3ub(m_background[0], m_background[1], m_background[2]);
        const float from = (1.0f - 2.0f * progress) * -4.03f;
        glBegin(GL_QUADS);
        glVertex3f(from, -0.15f, 0.01f);
        glVertex3f(4.03f, -0.15f, 0.01f);
        glVertex3f(4.03f, 0.15f, 0.01f);
        glVertex3f(from, 0.15f, 0.01f);
        glEnd();
        glPopMatrix();
    }

    glPushMatrix();
    glRotatef(45, 1, 0, 1);
    glRotatef(-angle, 0, 1, 0);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    const float colours[6][3] = {{1, 0, 0}, {0.5f, 0, 0}, {0, 1, 0}, {0, 0.5f, 0}, {0, 0, 1}, {0, 0, 0.5f}};
    for (int f = 0; f < 6; ++f) {
        glColor3fv(colours[f]);
        BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.15f, 1.0f, false);
    }
    glDisable(GL_TEXTURE_2D);
    glLineWidth(2);
    glColor3f(0, 0, 0);
    for (int f = 0; f < 6; ++f) BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.15f, 1.0f, true);
    glDisable(GL_CULL_FACE);

    const float a = angle * 3.14159265f / 180.0f;
    glColor3f(std::sin(a) + 1, std::sin(a) + 1, std::sin(a + 0.8f) + 1);
    glScalef(1.2f, 1.2f, 1.2f);
    glLineWidth(1);
    for (int f = 0; f < 6; ++f) BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.0f, 1.0f, true);
    glPopMatrix();

    DrawFade(alpha);
}

void CVRModule3D::DrawStoppedScreen() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, ViewportAspect(), 0.1, 100.0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    for (GLenum coord : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q}) glDisable(coord);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -8);
    if (!m_stoppedList) {
        // A bar 0.6 wide, 2 high, 0.2 deep.
        m_stoppedList = glGenLists(1);
        glNewList(m_stoppedList, GL_COMPILE);
        const float extent[3] = {0.3f, 1.0f, 0.1f};
        const float colours[3][3] = {{0.6f, 0, 0}, {0.7f, 0.2f, 0.2f}, {0.8f, 0, 0}};  // x, y, z faces
        glBegin(GL_QUADS);
        for (int axis = 0; axis < 3; ++axis) {
            glColor3fv(colours[axis]);
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            for (float sign : {1.0f, -1.0f}) {
                const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
                for (int i = 0; i < 4; ++i) {
                    float p[3];
                    p[axis] = sign * extent[axis];
                    p[u] = corners[i][0] * extent[u];
                    p[v] = corners[i][1] * extent[v];
                    glVertex3fv(p);
                }
            }
        }
        glEnd();
        glEndList();
    }
    glScalef(3, 3, 3);
    glRotatef(static_cast<float>(NowMs() % 6000) * 0.06f, 0, 1, 0);
    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    for (int eye = 0; eye < (stereo ? 2 : 1); ++eye) {
        if (stereo) glDrawBuffer(eye == 0 ? GL_BACK_LEFT : GL_BACK_RIGHT);
        glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLineWidth(2);
        glColor3f(0.8f, 0.8f, 0.8f);
        glBegin(GL_LINE_LOOP);
        glVertex3f(-1.1f, -1.1f, 0);
        glVertex3f(1.1f, -1.1f, 0);
        glVertex3f(1.1f, 1.1f, 0);
        glVertex3f(-1.1f, 1.1f, 0);
        glEnd();
        glPushMatrix();
        glRotatef(45, 0, 0, 1);
        glCallList(m_stoppedList);
        glRotatef(90, 0, 0, 1);
        glCallList(m_stoppedList);
        glPopMatrix();
    }
    if (stereo) glDrawBuffer(GL_BACK);
}
