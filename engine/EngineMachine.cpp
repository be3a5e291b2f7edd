#include "EngineMachine.h"

#include <unzip.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "bindings/ScriptBindings.h"
#include "debugger/DebugEvaluator.h"
#include "engine/DownloadManager.h"
#include "engine/EngineModule.h"
#include "engine/MessageTable.h"
#include "engine/ModuleHooks.h"
#include "state/Console.h"
#include "platform/FaultGuard.h"
#include "platform/FileSystem.h"
#include "platform/GlContext.h"
#include "platform/PathResolver.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"
#include "platform/WindowCursor.h"
#include "platform/WindowMessageQueue.h"
#include "scene/EngineServices.h"

CVRMachine* g_engineMachine = nullptr;
CVRMachine* g_moduleMachine = nullptr;

const char* const CVRMachine::kCallbackNames[kCallbackCount] = {"OnDownload", "OnInit",       "OnFrame", "OnExit",
                                                                "OnTimer",    "DownloadReady", "OnError", "OnEvent"};

// ---------------------------------------------------------------------------
// Input and output state

void CVmInputOutput::SetMouse(int32_t buttons, int32_t x, int32_t y) {
    m_mouseButtons = buttons;
    m_mouseX = x;
    m_mouseY = y;
}

int32_t CVmInputOutput::GetMouseButtons() { return m_mouseButtons; }
int32_t CVmInputOutput::GetMouseX() { return m_mouseX; }
int32_t CVmInputOutput::GetMouseY() { return m_mouseY; }

void CVmInputOutput::SetRecord(int32_t a, int32_t b, int32_t c, int32_t d) {
    m_record[0] = a;
    m_record[1] = b;
    m_record[2] = c;
    m_record[3] = d;
}

int32_t CVmInputOutput::GetRecordA() { return m_record[0]; }
int32_t CVmInputOutput::GetRecordB() { return m_record[1]; }
int32_t CVmInputOutput::GetRecordC() { return m_record[2]; }
int32_t CVmInputOutput::GetRecordD() { return m_record[3]; }

bool CVmInputOutput::PutKey(int32_t code) {
    const int next = (m_keyWrite + 1) % kKeyRing;
    if (next == m_keyRead) return false;  // full: 19 wait
    m_keys[m_keyWrite] = code;
    m_keyWrite = next;
    return true;
}

int32_t CVmInputOutput::ReadKey() {
    if (m_keyRead == m_keyWrite) return -1;
    const int32_t code = m_keys[m_keyRead];
    m_keyRead = (m_keyRead + 1) % kKeyRing;
    return code;
}

void CVmInputOutput::SetDataIn(const char* text) { m_dataIn = text ? text : ""; }
const char* CVmInputOutput::GetDataIn() { return m_dataIn.c_str(); }
void CVmInputOutput::DataOut(const char*) {}

// ---------------------------------------------------------------------------
// Construction and destruction

CVRMachine::CVRMachine(int32_t commandPort, int32_t outputPort, CVmContainer* container, int window, bool debug,
                       int32_t eventPort)
    : CVirtualMachine(debug, outputPort, commandPort, eventPort, nullptr),
      m_container(container),
      m_windowThread(CurrentThreadId()) {
    m_downloads.reset(new CDownloadManager(WindowMessageQueue::EngineWindow(), [this](int id) {
        const char* text = StringForId(id);
        return std::string(text ? text : "");
    }));
    g_engineMachine = this;
    g_engineState = this;
    m_services = this;
    m_console.reset(new CConsole());
    Display().console = m_console.get();
    Display().windowThread = m_windowThread;
    Display().nativeWindow = NoteDrawingWindow();
    ShowCursorOver(Display().nativeWindow, Display().cursor, false);
    Display().window = window;
    Input().hasFocus = WindowHasFocus(window) ? 1 : 0;
    WindowClientSize(window, Display().clientWidth, Display().clientHeight);
    for (int32_t& c : m_callbacks) c = -1;
    // The listener's thread keeps the sensor records it receives.
    m_configListener.SetTrackerWriter([this](int sensor, TrackerFields fields, const TrackerSensorRecord& values) {
        Devices().trackers.Write(sensor, fields, values);
    });
    RegisterScriptBindings(*this);
    RegisterGLConstants();
    // An outside tool that follows the running instruction made the link's
    // object before the engine started.
    if (m_statusLink.Open()) SetStepHook(&DebuggerStatusHook);
}

CVRMachine::~CVRMachine() {
    m_configListener.Stop();
    CancelScriptSends();
    SetLineHook(nullptr);
    UnloadProgram();
    UnloadExternModules();
    // The scene goes with the machine (after the script's objects, so that
    // its lights are given back to it).
    if (ModuleHooks& hooks = EngineModuleHooks(); hooks.destroyScene && Scene().scene) hooks.destroyScene(*this);
    for (int& port : Devices().serialPorts) {
        if (port != -1) CloseSerialPort(port);
        port = -1;
    }
    Display().console = nullptr;
    m_console.reset();
    m_downloads.reset();
    if (g_engineMachine == this) g_engineMachine = nullptr;
    if (g_engineState == this) g_engineState = nullptr;
    if (g_moduleMachine == this) g_moduleMachine = nullptr;
}

// ---------------------------------------------------------------------------
// Virtual operations

namespace {

// The biggest script a single-entry zip may hold.
constexpr uLong kMaxZippedScript = 256u << 20;

// The one member of a single-entry zip archive. Returns 1 with the bytes,
// 0 when the file is no zip or has another number of entries, -1 when the
// member cannot be read as it claims.
int ReadSingleEntryZip(const std::string& path, std::string& bytes) {
    unzFile zip = unzOpen(path.c_str());
    if (!zip) return 0;
    unz_global_info global;
    if (unzGetGlobalInfo(zip, &global) != UNZ_OK || global.number_entry != 1) {
        unzClose(zip);
        return 0;
    }
    int result = -1;
    unz_file_info info;
    if (unzGoToFirstFile(zip) == UNZ_OK && unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        info.uncompressed_size <= kMaxZippedScript && unzOpenCurrentFile(zip) == UNZ_OK) {
        // Read by what the archive really yields; the stated size must match.
        bytes.clear();
        char chunk[65536];
        int n;
        while ((n = unzReadCurrentFile(zip, chunk, sizeof chunk)) > 0) {
            bytes.append(chunk, static_cast<size_t>(n));
            if (bytes.size() > info.uncompressed_size) break;
        }
        const bool ok = n == 0 && bytes.size() == info.uncompressed_size;
        if (unzCloseCurrentFile(zip) == UNZ_OK && ok) result = 1;
    }
    unzClose(zip);
    return result;
}

}  // namespace

std::unique_ptr<std::istream> CVRMachine::OpenFile(const std::string& path) {
    const std::string resolved = PathResolver::Shared().Resolve(path);
    if (!IsRegularFile(resolved)) {
        ErrorMsg(2003, path.c_str());
        return nullptr;
    }
    std::string bytes;
    const int zipped = ReadSingleEntryZip(resolved, bytes);
    if (zipped == 1) return std::unique_ptr<std::istream>(new std::istringstream(bytes));
    if (zipped == 0) {
        std::unique_ptr<std::ifstream> in(new std::ifstream(resolved, std::ios::binary));
        if (in->is_open()) return in;
    }
    ErrorMsg(2003, path.c_str());
    return nullptr;
}

CVmValue* CVRMachine::EvaluateExpression(const CVmValue* functionName, CVmArray* arguments) {
    // Watch expressions may call glGet; inspecting never changes the
    // script's flags.
    if (CVmValue* r = DebugCallNative(*this, "glGet", functionName, arguments)) return r;
    return CVirtualMachine::EvaluateExpression(functionName, arguments);
}

const char* CVRMachine::StringForId(int32_t id) { return EngineMessageText(id); }

uint32_t CVRMachine::ThreadId() { return CurrentThreadId(); }

void CVRMachine::RegisterGLConstants() { RegisterGLConstantTable(*this); }

void CVRMachine::SetDataIn(const char* text) {
    if (text && *text) *GetOutputStream() << "\nDataIn: \"" << text << "\"";
    CVmInputOutput::SetDataIn(text);
}

void CVRMachine::DataOut(const char* text) {
    *GetOutputStream() << "\nDataOut: \"" << (text ? text : "") << "\"";
    GetOutputStream()->flush();
    if (m_container) m_container->DataOut(text ? text : "");
}

// ---------------------------------------------------------------------------
// Calls into the script

void CVRMachine::ReportFault(bool division, CVmValue* top, CVmValue* frame, int32_t ip) {
    ErrorMsg(division ? 2002 : 2001, "");
    *m_out << "\n";
    WriteCallStack();
    m_listingWritten = true;
    RestoreAfterFault(top, frame, ip);
}

CVmValue* CVRMachine::GuardedCall(int32_t index) {
    if (HasError()) {
        ClearArgs();
        return nullptr;
    }
    CVmValue* result = nullptr;
    CVmValue* const top = Top();
    CVmValue* const frame = FrameBase();
    const int32_t ip = NextInstruction();
    const ScriptFault fault = ScriptFaultGuard::Run([&] { result = CallFunction(index); });
    if (fault != ScriptFault::NoFault) {
        ReportFault(fault == ScriptFault::Division, top, frame, ip);
        return nullptr;
    }
    return HasError() ? nullptr : result;
}

CVmValue* CVRMachine::CallScriptFunction(int32_t argCount, int32_t index, const CVmValue* args) {
    std::lock_guard<CCriticalSection> lock(m_scriptLock);
    if (m_busy) return nullptr;  // a call from inside a call on this thread
    m_busy = 1;
    ClearArgs();
    for (int32_t i = 0; i < argCount && args; ++i) AddArgValue(args[i]);
    CVmValue* result = GuardedCall(index);
    m_busy = 0;
    return result;
}

bool CVRMachine::LoadProgram(const std::string& path) {
    bool loaded = false;
    CVmValue* const top = Top();
    CVmValue* const frame = FrameBase();
    const ScriptFault fault = ScriptFaultGuard::Run([&] { loaded = Load(path); });
    if (fault != ScriptFault::NoFault) {
        ErrorMsg(fault == ScriptFault::Division ? 2002 : 2001, "");
        ErrorMsg(2007);
        *m_out << "\n";
        WriteCallStack();
        m_listingWritten = true;
        RestoreAfterFault(top, frame, -1);
        return false;
    }
    for (int32_t& c : m_callbacks) c = -1;
    if (!loaded) return false;
    for (int c = 0; c < kCallbackCount; ++c) {
        m_callbacks[c] = FindFunction(kCallbackNames[c]);
        if (m_callbacks[c] < 0) WarningMsg(4010, kCallbackNames[c]);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Events

bool CVRMachine::CEventQueue::Push(const __Event& e) {
    std::lock_guard<CCriticalSection> lock(m_lock);
    const int next = (m_write + 1) % kCapacity;
    if (next == m_read) return false;  // full: 50 wait
    __Event& slot = m_records[m_write];
    slot.id = e.id;
    slot.first.Assign(e.first);
    slot.second.Assign(e.second);
    m_write = next;
    return true;
}

bool CVRMachine::CEventQueue::Pop(__Event& out) {
    std::lock_guard<CCriticalSection> lock(m_lock);
    if (m_read == m_write) return false;
    __Event& slot = m_records[m_read];
    out.id = slot.id;
    out.first.Move(slot.first);
    out.second.Move(slot.second);
    m_read = (m_read + 1) % kCapacity;
    return true;
}

void CVRMachine::CEventQueue::Clear() {
    std::lock_guard<CCriticalSection> lock(m_lock);
    for (__Event& e : m_records) {
        e.first.SetVoid();
        e.second.SetVoid();
    }
    m_write = m_read = 0;
}

bool CVRMachine::CEventQueue::Empty() {
    std::lock_guard<CCriticalSection> lock(m_lock);
    return m_read == m_write;
}

void CVRMachine::PostWindowEvent(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kScriptSendMessage) return RunPendingSends();
    if (m_callbacks[OnEvent] < 0 || HasError()) {
        m_events.Clear();
        return;
    }
    // Parameters reach the script as Integers; messages from outside the
    // engine never carry values (those travel only through PostValueEvent).
    // The last shared byte buffer's message is a value event without values.
    if (message != kWakeUpMessage) {
        __Event e;
        e.id = static_cast<int32_t>(message);
        const int32_t shared = Input().sharedBufferMessage;
        if (shared < 0 || message != static_cast<uint32_t>(shared)) {
            e.first.SetInteger(static_cast<int32_t>(wParam));
            e.second.SetInteger(static_cast<int32_t>(lParam));
        }
        m_events.Push(e);
    }
    DrainEvents();
}

void CVRMachine::PostValueEvent(int32_t id, const CVmValue& first, const CVmValue& second) {
    if (m_callbacks[OnEvent] < 0 || HasError()) {
        m_events.Clear();
        return;
    }
    __Event e;
    e.id = id;
    e.first.Assign(first);
    e.second.Assign(second);
    m_events.Push(e);
    DrainEvents();
}

void CVRMachine::DrainEvents() {
    while (!m_events.Empty()) {
        std::lock_guard<CCriticalSection> lock(m_scriptLock);
        if (m_busy) return;  // a script call runs: the records wait
        __Event e;
        if (!m_events.Pop(e)) return;
        m_busy = 1;
        ClearArgs();
        AddArgInteger(e.id);
        AddArgValue(e.first);
        AddArgValue(e.second);
        GuardedCall(m_callbacks[OnEvent]);
        m_busy = 0;
    }
}

// ---------------------------------------------------------------------------
// Services of the global functions

std::string CVRMachine::TakeDataIn() {
    std::string text = GetDataIn();
    if (!text.empty()) SetDataIn("");
    return text;
}

bool CVRMachine::PostScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) {
    __Event e;
    e.id = id;
    e.first.Assign(first);
    e.second.Assign(second);
    if (!m_events.Push(e)) return false;
    WindowMessageQueue::EngineWindow().Post(kWakeUpMessage);
    return true;
}

int32_t CVRMachine::SendScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) {
    // A script call on this thread holds the lock and the busy flag: both
    // open for the time of the send, so that the nested OnEvent can run (and
    // an OnTimer waiting for the lock may run meanwhile).
    const bool handOver = m_busy != 0;
    if (handOver) {
        m_busy = 0;
        m_scriptLock.Leave();
    }
    if (CurrentThreadId() == m_windowThread)
        PostValueEvent(id, first, second);
    else
        SendFromOtherThread(id, first, second);
    if (handOver) {
        m_scriptLock.Enter();
        m_busy = 1;
    }
    return 0;  // what the window answers for a script event
}

void CVRMachine::SendFromOtherThread(int32_t id, const CVmValue& first, const CVmValue& second) {
    std::shared_ptr<PendingSend> send(new PendingSend{id, first, second});
    {
        std::lock_guard<std::mutex> lock(m_sendsMutex);
        if (m_sendsCancelled) return;
        m_sends.push_back(send);
    }
    WindowMessageQueue::EngineWindow().Post(kScriptSendMessage);
    std::unique_lock<std::mutex> lock(m_sendsMutex);
    m_sendDone.wait(lock, [&] { return send->done || m_sendsCancelled; });
}

void CVRMachine::RunPendingSends() {
    for (;;) {
        std::shared_ptr<PendingSend> send;
        {
            std::lock_guard<std::mutex> lock(m_sendsMutex);
            if (m_sends.empty()) return;
            send = m_sends.front();
            m_sends.pop_front();
        }
        PostValueEvent(send->id, send->first, send->second);
        {
            std::lock_guard<std::mutex> lock(m_sendsMutex);
            send->done = true;
        }
        m_sendDone.notify_all();
    }
}

void CVRMachine::CancelScriptSends() {
    {
        std::lock_guard<std::mutex> lock(m_sendsMutex);
        m_sendsCancelled = true;
        m_sends.clear();
    }
    m_sendDone.notify_all();
    m_sleep.Interrupt();
}

bool CVRMachine::SleepUnlessStopped(uint32_t ms) {
    // The host's quit request and the machine's stop request are flags that
    // other threads set: the wait looks at them every few milliseconds.
    return m_sleep.Wait(ms, [this] { return HostQuitFlag.load() || StopRequested(); });
}

// ---------------------------------------------------------------------------
// Pacing, folders, location

void CVRMachine::SetFrameRate(int32_t fps) { Timing().SetFrameRate(fps); }

void CVRMachine::SetTimeStep(int32_t ms) { Timing().SetTimeStep(ms); }

uint8_t CVRMachine::SetSwapInterval(int32_t n) { return SetGlSwapInterval(n) ? 1 : 0; }

void CVRMachine::SetWorkingFolder(const std::string& folder) {
    std::string f = folder;
    for (char& c : f)
        if (c == '\\') c = '/';
    if (f.empty() || f.back() != '/') f += '/';
    Paths().workingFolder = f;
    SetBaseDirectory(f.c_str());
}

bool CVRMachine::IsWebScript() const {
    const std::string& s = Paths().scriptLocation;
    if (s.size() >= 7 && VmUpperName(s.substr(0, 7).c_str()) == "FILE://") return false;
    if (s.size() >= 2 && ((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z')) && s[1] == ':') return false;
    if (!s.empty() && s[0] == '/') return false;
    return true;
}

// ---------------------------------------------------------------------------
// The engine library's channel

namespace {

CVirtualMachine* MachineOfThisThread() {
    CVirtualMachine* vm = GetVirtualMachine(CurrentThreadId());
    return vm ? vm : g_moduleMachine;
}

}  // namespace

int EngineErrorHandler(const char* text) {
    if (CVirtualMachine* vm = MachineOfThisThread()) vm->Error(-1) << (text ? text : "");
    return 0;
}

int EngineWarningHandler(const char* text) {
    if (CVirtualMachine* vm = MachineOfThisThread()) vm->Warning(-1) << (text ? text : "");
    return 0;
}
