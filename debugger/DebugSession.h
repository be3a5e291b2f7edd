// A debug session: one virtual machine and one debugger client. The session
// keeps the breakpoints (traps patched into the code), carries out step into
// and step over, stops the machine on a breakpoint, a step's end, a pause or
// a run-time error, and while it is stopped reads command lines from the
// client and runs them through the command language. It also answers the
// inspection commands: watch expressions and the stack frames with their
// variables.
//
// Everything runs on the thread that runs the script; only the
// commands-queued flag is written by the command channel's reader thread,
// and a stop request of the machine (WakeForStop) comes from any thread: it
// interrupts the channels, so that a session waiting for its client or its
// commands lets the script end.
//
// The session and the machine learn of each other's end in either order:
// the machine tells the session attached last that it goes, also after the
// session stopped watching it (its client gone); a session that goes first
// makes the machine forget it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <json/value.h>

#include "debugger/DebugCommandChannel.h"
#include "debugger/DebugEventChannel.h"
#include "debugger/DebugInfo.h"
#include "vm/VirtualMachine.h"

// A value found for the debugger: either a live value of the script (a
// variable's slot) or a fresh one that the holder owns (a member read
// through its class).
struct DebugValueRef {
    CVmValue* value = nullptr;
    std::unique_ptr<CVmValue> owned;

    explicit operator bool() const { return value != nullptr; }
    static DebugValueRef Live(CVmValue* v) {
        DebugValueRef r;
        r.value = v;
        return r;
    }
    static DebugValueRef Fresh(std::unique_ptr<CVmValue> v) {
        DebugValueRef r;
        r.value = v.get();
        r.owned = std::move(v);
        return r;
    }
};

class DebugSession : public VmDebugger, public VmStopWaker {
public:
    // Opens the command channel, then the event channel (a console channel
    // for a negative port, else a TCP channel that waits for its client) and
    // registers nothing yet: attach with Attach(), then Start(). A channel
    // that cannot be opened is reported on the standard output and leaves
    // the session unconnected (IsConnected() false): the program then runs
    // without debugger.
    DebugSession(CVirtualMachine* machine, const DebugInfo* model, int32_t commandPort, int32_t eventPort);
    // With channels made by the caller (tests, other hosts).
    DebugSession(CVirtualMachine* machine, const DebugInfo* model, std::unique_ptr<DebugCommandChannel> commands,
                 std::unique_ptr<DebugEventChannel> events);
    ~DebugSession() override;
    DebugSession(const DebugSession&) = delete;
    DebugSession& operator=(const DebugSession&) = delete;

    bool IsConnected() const { return m_commands && m_events; }
    // Makes the machine report to this session.
    void Attach();
    // The event "Started", then the command loop, so that the client can set
    // breakpoints before the program's start-up code runs.
    void Start();

    // VmDebugger: the machine's poll and run loop call these.
    void OnBreak() override;
    void PollCommands() override;
    bool HasQueuedCommands() override { return m_commandsQueued.load(std::memory_order_relaxed) != 0; }
    // The flag a command channel raises while lines wait (for channels made
    // by the caller).
    std::atomic<uint8_t>& CommandsQueued() { return m_commandsQueued; }
    void OnMachineDestroyed() override;
    // VmStopWaker.
    void WakeForStop() override;

    // Command operations (the command language calls these).
    void Stop();
    void Continue();
    void StepInto();
    void StepOver();
    void Pause();
    void SelectFrame(int32_t n);
    // False when the line has no code in the file (nothing is set then).
    bool AddBreakpoint(const std::string& file, int32_t line);
    void RemoveBreakpoint(const std::string& file, int32_t line);
    // Reads and runs command lines until one of them resumes execution.
    void CommandLoop();
    // Plants the trap at an instruction; false when a breakpoint entry is
    // already there.
    bool SetTrap(int32_t index);

    // Inspection.
    // The live value of a variable as seen at an instruction in a frame, or
    // none (unknown, optimized away, not yet declared at that line).
    DebugValueRef ResolveVariableAt(const std::string& name, int32_t instruction, CVmValue* frame);
    DebugValueRef ResolveVariable(const std::string& name, const DebugLexicalScope* scope, CVmValue* frame,
                                  int32_t line);
    // An object's member read through its class registration (the name as
    // given is upper-cased, as registrations keep their names); null when
    // the class has no such member or its getter failed.
    std::unique_ptr<CVmValue> GetMember(const CVmValue& object, const std::string& name);
    // The script-side call of a watch expression (name(arguments)); a fresh
    // value, never null.
    std::unique_ptr<CVmValue> CallExpression(const CVmValue& name, const std::vector<CVmValue*>& arguments);
    // The backtrace reply.
    void SendStackFrames();
    Json::Value StackFrames();

    // Replies on the command connection.
    void SendText(const std::string& text);
    void SendJson(const Json::Value& value);
    DebugEventChannel* Events() { return m_events.get(); }

    CVirtualMachine* Machine() const { return m_machine; }
    const DebugInfo* Model() const { return m_model; }
    const std::map<int32_t, VmInstruction>& Breakpoints() const { return m_breakpoints; }
    bool ClientGone() const { return m_clientGone; }

private:
    class Inspection;
    friend class Inspection;

    void Init();
    // Opens the channels for the ports, interruptible by WakeForStop.
    void OpenChannels(int32_t commandPort, int32_t eventPort);
    // Puts a TCP channel in its slot (where WakeForStop reaches it), then
    // waits for its client; false, with the slot emptied, when that failed.
    template <class Channel, class Slot>
    bool Connect(std::unique_ptr<Channel> channel, std::unique_ptr<Slot>& slot, int32_t port);
    void StepIntoCheck();
    void StepOverCheck();
    // A step stays pending: the poll after the next instruction calls back.
    void KeepStepping();
    // The step ends at the trap planted at this line start.
    void EndStepAt(int32_t index);
    bool HasInstructionPointer() const;
    bool IsLineStart(int32_t index) const;
    bool IsTrapAt(int32_t index) const;
    void RestoreInstruction(int32_t index, const VmInstruction& saved);
    // The caller of a frame through its marker; false when there is none to
    // show (the host called the frame, or the caller is the outermost level)
    // or the marker makes no sense.
    bool CallerOf(int32_t& instruction, CVmValue*& frame) const;
    bool IsOutermost(const CVmValue* frame) const;
    // The client left: every trap goes, steps are forgotten, the script
    // runs on without debugger.
    void Disconnect();
    // Runs one parse of a command line at the selected pair.
    int32_t RunLine(const std::string& line);

    DebugValueRef LocalSlot(const DebugVariable& v, CVmValue* frame, int32_t line);
    DebugValueRef GlobalSlot(const DebugVariable& v);
    DebugValueRef GlobalByName(const std::string& name);

    void ListLocals(const DebugLexicalScope* scope, int32_t index, CVmValue* frame, Json::Value& frameObject,
                    std::set<std::string>& shown);
    void ListGlobals(Json::Value& frameObject, std::set<std::string>& shown);
    Json::Value Entry(const Json::Value& name, const DebugValueRef& p, std::vector<const void*>& path);
    void NestedEntries(const CVmValue& x, Json::Value& entry, std::vector<const void*>& path);
    void MemberEntries(const CVmValue& object, const DebugClassDeclaration& decl, std::set<std::string>& shown,
                       std::set<const DebugClassDeclaration*>& classes, Json::Value& entry,
                       std::vector<const void*>& path);

    CVirtualMachine* m_machine;
    std::atomic<uint8_t> m_commandsQueued{0};
    bool m_stopSent = false;
    bool m_stepIntoPending = false;
    bool m_stepOverPending = false;
    // The trap the current step planted where no breakpoint was, -1 for none;
    // it goes once it is hit. (An index rather than a flag: a stop elsewhere
    // must not take a user's breakpoint for the step's.)
    int32_t m_temporaryTrap = -1;
    const DebugInfo* m_model;
    std::unique_ptr<DebugEventChannel> m_events;
    std::unique_ptr<DebugCommandChannel> m_commands;
    int32_t m_selectedInstruction = -1;
    int32_t m_stopInstruction = -1;
    CVmValue* m_selectedFrame = nullptr;
    CVmValue* m_stopFrame = nullptr;
    bool m_atBreakpoint = false;
    // The breakpoint whose saved instruction just ran, while its stop ends.
    int32_t m_completing = -1;
    VmInstruction m_trap;
    std::map<int32_t, VmInstruction> m_breakpoints;
    // Where a step over that left a call resumes its line search, -1 none.
    int32_t m_stepOverTarget = -1;
    bool m_clientGone = false;
    int m_inspecting = 0;
    // Guards the channel pointers while they are opened against WakeForStop.
    std::mutex m_wakeLock;
    bool m_stopRequested = false;  // under m_wakeLock
};
