// The engine machine: the script virtual machine with the host's services.
// It registers every global function set and script class, owns the
// console, the download manager and the input state, opens the script (also
// from a single-entry zip archive), resolves the callbacks after loading, and
// is the only way the runtime calls into the script: CallScriptFunction,
// under the script lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DebuggerStatusLink.h"
#include "engine/VRConfigListener.h"
#include "engine/VmContainer.h"
#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "platform/CriticalSection.h"
#include "platform/InterruptibleWait.h"
#include "vm/VirtualMachine.h"

class CConsole;
class CDownloadManager;

// The machine's input and output state: mouse, a keyboard ring of 20 slots
// of which 19 can wait, the joystick record, data in and data out.
class CVmInputOutput {
public:
    static constexpr int kKeyRing = 20;

    virtual ~CVmInputOutput() = default;
    virtual void SetMouse(int32_t buttons, int32_t x, int32_t y);
    virtual int32_t GetMouseButtons();
    virtual int32_t GetMouseX();
    virtual int32_t GetMouseY();
    virtual void SetRecord(int32_t a, int32_t b, int32_t c, int32_t d);
    virtual int32_t GetRecordA();
    virtual int32_t GetRecordB();
    virtual int32_t GetRecordC();
    virtual int32_t GetRecordD();
    // The next waiting character, or -1.
    virtual int32_t ReadKey();
    virtual void SetDataIn(const char* text);
    virtual const char* GetDataIn();
    virtual void DataOut(const char* text);

    // Queues a character; false when the ring is full (19 wait).
    bool PutKey(int32_t code);

protected:
    int32_t m_keys[kKeyRing] = {};
    int m_keyWrite = 0;
    int m_keyRead = 0;
    int32_t m_mouseButtons = 0;
    int32_t m_mouseX = 0;
    int32_t m_mouseY = 0;
    int32_t m_record[4] = {};
    std::string m_dataIn;
};

// The state it shares with the module and the script classes is its
// EngineState base: Display(), Scene(), Input(), Devices(), Network(),
// Timing() and Paths(); the global functions reach its services through
// Services().
class CVRMachine : public CVirtualMachine, public CVmInputOutput, public EngineState, public MachineServices {
public:
    // An event for the script's OnEvent: a window message or a script event.
    struct __Event {
        int32_t id = 0;
        CVmValue first;
        CVmValue second;
    };

    // The event queue: 51 records of which 50 can wait. Any thread pushes;
    // the window's thread drains.
    class CEventQueue {
    public:
        static constexpr int kCapacity = 51;
        // Copies the record in; false (dropped) when the queue is full.
        bool Push(const __Event& e);
        // Moves the oldest record out; false when empty.
        bool Pop(__Event& out);
        void Clear();
        bool Empty();

    private:
        CCriticalSection m_lock;
        __Event m_records[kCapacity];
        int m_write = 0;
        int m_read = 0;
    };

    // The callbacks, in the order of their indexes.
    enum Callback { OnDownload, OnInit, OnFrame, OnExit, OnTimer, DownloadReady, OnError, OnEvent, kCallbackCount };
    static const char* const kCallbackNames[kCallbackCount];

    static constexpr uint64_t kMinPeriod = TimingState::kMinPeriod;  // microseconds
    static constexpr uint64_t kMaxPeriod = TimingState::kMaxPeriod;

    CVRMachine(int32_t commandPort, int32_t outputPort, CVmContainer* container, int window, bool debug,
               int32_t eventPort);
    ~CVRMachine() override;

    std::unique_ptr<std::istream> OpenFile(const std::string& path) override;
    CVmValue* EvaluateExpression(const CVmValue* functionName, CVmArray* arguments) override;
    const char* StringForId(int32_t id) override;
    uint32_t ThreadId() override;
    void RegisterConstants() override { RegisterGLConstants(); }
    void RegisterGLConstants();

    void SetDataIn(const char* text) override;
    void DataOut(const char* text) override;

    // Calls the script function with that index (a callback index as a
    // rule) with the given arguments. Null when refused (a call from inside
    // a running call on this thread), when the machine is in error, for
    // index -1, or when the call failed.
    CVmValue* CallScriptFunction(int32_t argCount, int32_t index, const CVmValue* args);
    // Loads the bytecode and resolves the callbacks.
    bool LoadProgram(const std::string& path);

    // A class that an extension module registered, and the module's handle
    // on the record of its first class only.
    struct ExternModuleRecord {
        CVmRegisterClass* registration;
        void* module;
    };
    // Loads the native module (or module package) of that name from the
    // working folder and binds its classes; false, with the reason on the
    // error stream, when it is refused.
    bool LoadExternModule(const std::string& name) override;
    const std::vector<ExternModuleRecord>& ExternModules() const { return m_externModules; }
    NativeLibraryLoad LoadNativeLibrary(const std::string& name) override;

    // The light pool of the script lights (kept in the scene state).
    int32_t AllocLight() { return Scene().AllocLight(); }
    void FreeLight(int32_t light) { Scene().FreeLight(light); }

    void SetFrameRate(int32_t fps);
    void SetTimeStep(int32_t ms);
    // 1 when the swap interval was set.
    uint8_t SetSwapInterval(int32_t n);
    void SetWorkingFolder(const std::string& folder) override;
    bool IsWebScript() const override;

    int32_t CallbackIndex(Callback c) const { return m_callbacks[c]; }
    CCriticalSection& ScriptLock() { return m_scriptLock; }
    bool IsBusy() const { return m_busy != 0; }
    CConsole& Console() { return *m_console; }
    CDownloadManager& Downloads() { return *m_downloads; }
    CVmContainer* Container() const { return m_container; }

    // Queues a window message (its parameters as Integers) for OnEvent and
    // drains the queue. The wake-up message only drains.
    void PostWindowEvent(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // Queues a script event with its two values (ids 2024 to 32767) and
    // drains the queue.
    void PostValueEvent(int32_t id, const CVmValue& first, const CVmValue& second);
    // Delivers the waiting records to OnEvent, one per hold of the script
    // lock, until none waits or a script call is running.
    void DrainEvents();
    CEventQueue& Events() { return m_events; }

    // Starts the VR-configuration listener, writing into the scene's stereo
    // settings, when the scene exists with a tracking mode above 0 and the
    // listener does not run yet. It stops before the scene is deleted.
    void StartVRConfigListener() override;
    VRConfigListener& ConfigListener() { return m_configListener; }
    DebuggerStatusLink& StatusLink() { return m_statusLink; }

    static constexpr uint32_t kWakeUpMessage = 1064;
    // Runs the script events that other threads send (EventSend from
    // OnTimer); the script never sees it.
    static constexpr uint32_t kScriptSendMessage = 1065;

    // MachineServices.
    int32_t NextKey() override { return ReadKey(); }
    std::string TakeDataIn() override;
    void SendDataOut(const char* text) override { DataOut(text); }
    void SetRecord(int32_t a, int32_t b, int32_t c, int32_t d) override { CVmInputOutput::SetRecord(a, b, c, d); }
    void SetMouse(int32_t buttons, int32_t x, int32_t y) override { CVmInputOutput::SetMouse(buttons, x, y); }
    int32_t GetMouseButtons() override { return CVmInputOutput::GetMouseButtons(); }
    int32_t GetMouseX() override { return CVmInputOutput::GetMouseX(); }
    int32_t GetMouseY() override { return CVmInputOutput::GetMouseY(); }
    bool PostScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) override;
    int32_t SendScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) override;
    bool SleepUnlessStopped(uint32_t ms) override;
    int32_t QueueDownload(const std::string& url, const char* localName, int32_t priority) override;
    void RefreshDownloads() override;
    int32_t DownloadProgress() override;
    int32_t PendingDownloads() override;

    // Ends every wait of a script thread for the window thread, now and
    // from then on: sends not yet run answer without OnEvent, and sleeps
    // end. For when the window thread stops handling messages, before it
    // waits for the timer thread.
    void CancelScriptSends();

private:
    // Calls the function with the pending arguments under the fault guard;
    // null when the machine is in error or the call failed.
    CVmValue* GuardedCall(int32_t index);
    // Ends a call that a fault interrupted: reports it, lists the call stack
    // and puts the stack back as the call found it.
    void ReportFault(bool division, CVmValue* top, CVmValue* frame, int32_t ip);
    // Unregisters the modules' classes, then unloads the modules.
    void UnloadExternModules();
    // True, after the reason on the error stream, for a module file the
    // rules of script files refuse (a missing one is not refused here).
    bool RefusedModuleFile(const std::string& path);

    // An EventSend from a thread other than the window's: the window thread
    // runs it at its next message drain while the sender waits.
    struct PendingSend {
        int32_t id;
        CVmValue first;
        CVmValue second;
        bool done = false;
    };
    void SendFromOtherThread(int32_t id, const CVmValue& first, const CVmValue& second);
    void RunPendingSends();

    int32_t m_callbacks[kCallbackCount];
    CVmContainer* m_container;
    CEventQueue m_events;
    CCriticalSection m_scriptLock;
    int32_t m_busy = 0;
    std::unique_ptr<CConsole> m_console;
    std::unique_ptr<CDownloadManager> m_downloads;
    std::vector<ExternModuleRecord> m_externModules;
    VRConfigListener m_configListener;
    DebuggerStatusLink m_statusLink;
    uint32_t m_windowThread;  // the thread that made the machine owns the window
    std::mutex m_sendsMutex;
    std::condition_variable m_sendDone;
    std::deque<std::shared_ptr<PendingSend>> m_sends;
    bool m_sendsCancelled = false;
    InterruptibleWait m_sleep;
};

// The one engine machine, reached by every script class and global function.
extern CVRMachine* g_engineMachine;
// The machine the module created; the engine library's message handlers fall
// back to it on threads that run no script call.
extern CVRMachine* g_moduleMachine;

// The handlers the module puts in the engine library's error and warning
// channel: they write to the script's error and warning streams.
int EngineErrorHandler(const char* text);
int EngineWarningHandler(const char* text);
