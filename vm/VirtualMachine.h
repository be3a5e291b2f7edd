// The script virtual machine: program tables, the value stack with its call
// frames, the run loop, host calls, registered function sets and classes,
// the output stream, and the hooks through which the debugger follows
// execution.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <istream>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "HashTable.h"
#include "PtrList.h"
#include "VmHandlers.h"
#include "VmInstruction.h"
#include "VmProgram.h"
#include "VmRegister.h"
#include "VmValue.h"

class CVirtualMachine;
class CVirtualMachineImported;

// What the machine needs of an attached debug session.
class VmDebugger {
public:
    virtual ~VmDebugger() = default;
    virtual void OnBreak() = 0;
    virtual bool HasQueuedCommands() = 0;
    virtual void PollCommands() = 0;
    // The machine is being destroyed: its last call to the debugger.
    virtual void OnMachineDestroyed() {}
};

// Something that may hold the script's thread waiting: a debugger waiting
// for its client's commands, a native function that sleeps or waits for a
// device. RequestStop wakes it, so that a stop request is never left waiting
// behind it. A native function that only sleeps needs no waker: it waits
// with CVirtualMachine::WaitForStopRequest instead.
class VmStopWaker {
public:
    virtual ~VmStopWaker() = default;
    // On the requesting thread, under the machine's stop lock: end the wait
    // (set a flag, signal, shut a socket down); call nothing of the machine.
    virtual void WakeForStop() = 0;
};

// What the loader asks of the debugger when a machine made with the debug
// flag loads a program that has a line table: reading the debug information
// beside the bytecode, then, once the program is bound and before its
// start-up code runs, starting a debug session.
class VmDebugLoader {
public:
    virtual ~VmDebugLoader() = default;
    // True when debug information was read from the file at dbgPath.
    virtual bool ReadDebugInfo(CVirtualMachine& machine, const std::string& dbgPath) = 0;
    virtual void StartSession(CVirtualMachine& machine) = 0;
};

// Observers: the call hook (code, machine) and the step hook (instruction
// index, machine).
typedef void (*VmHook)(int32_t code, CVirtualMachine* machine);

class CVirtualMachine : public VmObjectFactory {
public:
    // Logical stack limits: 16 slots at first, doubled on demand; a size
    // above 32767 slots is refused with "stack overflow.".
    static constexpr int32_t kInitialStackSlots = 16;
    static constexpr int32_t kMaxStackSlots = 16384;
    static constexpr int32_t kMaxListedFrames = 40;

    CVirtualMachine(bool debug = false, int32_t outputPort = 0, int32_t commandPort = -1, int32_t eventPort = -1,
                    CVirtualMachine* parent = nullptr);
    CVirtualMachine(const CVirtualMachine&) = delete;
    CVirtualMachine& operator=(const CVirtualMachine&) = delete;

    // Virtual operations, in their fixed order.
    virtual void ReportTypeMismatch(const CVmValue* a, const CVmValue* b, const CVmValue* t);
    virtual std::unique_ptr<std::istream> OpenFile(const std::string& path);
    virtual ~CVirtualMachine();
    // The debugger's script-side call (name(arguments) in a watch expression):
    // a new value that the caller owns.
    virtual CVmValue* EvaluateExpression(const CVmValue* functionName, CVmArray* arguments);
    virtual const char* StringForId(int32_t id);
    virtual uint32_t ThreadId();
    virtual CVmValue* FindConstant(const char* name);
    virtual void RegisterConstants();

    // Program: installs a program whose tables passed VmProgram::Validate
    // (the loader's last steps); binds names and runs its start-up code.
    // False when the start-up run fails.
    bool StartProgram(std::shared_ptr<VmProgram> program);
    // Installs a program without binding or running it (a machine that runs
    // another machine's program).
    void BorrowProgram(std::shared_ptr<VmProgram> program);
    void UnloadProgram();
    bool Load(const std::string& path);
    // Loads the bytecode read from a stream; path names the program in
    // messages, its debug information and its place among imports.
    bool LoadFromStream(std::istream& in, const std::string& path);
    bool CheckVersion(const int16_t version[3], bool strict) const;
    // Limits of one top-level load: the bytecode file's size, and the
    // imported modules loaded for it at any depth.
    static constexpr size_t kMaxBytecodeSize = size_t(128) << 20;
    static constexpr int32_t kMaxImportedModules = 64;
    // The machines of the imported modules that loaded, in import order.
    const std::vector<std::unique_ptr<CVirtualMachineImported>>& ImportedMachines() const {
        return m_importedMachines;
    }
    // The debugger's part in loading (not owned); null for none.
    void SetDebugLoader(VmDebugLoader* loader) { m_debugLoader = loader; }

    // Registration.
    bool RegisterFunctions(CVmRegisterFunction* set);
    bool RegisterClass(CVmRegisterClass* registration);
    bool BindClass(CVmRegisterClass* registration);
    bool UnregisterClass(CVmRegisterClass* registration);
    CVmRegisterClass* FindClass(const char* name);
    const char* GetClassNameByIndex(int32_t index);
    CVmClassBase* CreateObjectFromStream(const std::string& upperName, ByteReader& in) override;
    bool AddConstant(const char* name, int32_t value);

    // Lookups.
    int32_t FindFunction(const char* name) const;
    int32_t GetCurrentLine() const;
    int32_t LineAt(int32_t ip) const;
    const char* GetFunctionNameAt(int32_t index) const;
    bool GetNamedInt(const char* name, int32_t& out) const;
    bool GetNamedFloat(const char* name, float& out) const;

    // Output.
    void SetOutputStream(std::ostream* stream, bool quiet);
    std::ostream* GetOutputStream() const { return m_out; }
    bool SetLineHook(VmHook hook);
    bool SetStepHook(VmHook hook);

    // Host calls: pending arguments, then a call that answers a pointer to
    // the machine's result value, or null.
    void AddArgInteger(int32_t n);
    void AddArgFloat(float f);
    void AddArgString(const char* text, int32_t length = -1);
    void AddArgValue(const CVmValue& v);
    void ClearArgs();
    int32_t PendingArgCount() const { return m_pendingArgs.count; }
    CVmValue* CallFunction(int32_t index);
    CVmValue* CallFunctionByName(const char* name);
    CVmValue* CallNativeFunction(const char* name);
    // Runs one instruction as one turn of the run loop, without the debugger poll.
    void StepInstruction();
    // The run loop's handlers: the general one of an opcode (-1: the one of
    // opcodes and modes without a handler) and the specialised ones (VmFast).
    static const void* GeneralHandler(int opcode) {
        const bool known = opcode >= 0 && opcode < kVmOpcodeCount;
        return Handlers(s_generalHandlers)[known ? kVmHandlerByOpcode.handler[opcode]
                                                 : static_cast<uint8_t>(H_UNSUPPORTED)];
    }
    static const void* FastHandler(int id) { return Handlers(s_fastHandlers)[id]; }
    // The debugger poll of the run loop, run once (nothing without a debugger).
    void PollDebugger() {
        if (m_debugger) DebuggerPoll();
    }

    // Stop requests, from any thread (a termination signal, a host that
    // ends): the script code this machine runs, or runs next, stops with the
    // script error "Script stopped on request.", and every waker is woken.
    // The request holds until ClearStopRequest, so that each run it meets
    // ends too; the machine's imported modules are asked as well.
    void RequestStop();
    void ClearStopRequest();
    bool StopRequested() const { return __atomic_load_n(&m_stopRequest, __ATOMIC_ACQUIRE); }
    // For native functions that wait: waits up to `milliseconds`, returning
    // early, with true, once a stop is requested (true at once when one is).
    bool WaitForStopRequest(int32_t milliseconds);
    void AddStopWaker(VmStopWaker* waker);
    void RemoveStopWaker(VmStopWaker* waker);

    // Errors and warnings (their texts go to the output stream).
    std::ostream& Error(int32_t lineMode = -1);
    std::ostream& Warning(int32_t lineMode = -1);
    void ErrorMsg(int32_t id, ...);
    void WarningMsg(int32_t id, ...);
    // Formats message id into the message buffer (cut at its size).
    const char* FormatMessage(int32_t id, va_list args);
    // The name of the native call or method access that is running, or null.
    const char* RunningCallName() const { return m_runningName; }

    // Native calls from opcode 6 and the host use these; handlers may read them.
    CVmValue* ReturnSlot() { return m_top; }
    bool PushVoid();
    bool Push(const CVmValue& v);
    void PopTo(CVmValue* newTop);
    CVmValue* Top() const { return m_top; }
    int32_t StackDepth() const { return static_cast<int32_t>(m_top - m_stack.get()); }
    int32_t StackSize() const { return m_stackSize; }

    // After a fault guard ended a host call in the middle: the stack, frame
    // and instruction pointer go back to what the call found, and the
    // machine's thread registration is dropped.
    void RestoreAfterFault(CVmValue* top, CVmValue* frame, int32_t ip);

    // Runs the script function at instruction start as a nested call from a
    // native handler (arguments already pushed, first on top). The result is
    // left on the stack top (above the arguments) as a script call leaves it;
    // false when the run ended with an error.
    bool RunNested(int32_t start);

    // Program access for the debugger, loader and declared classes.
    const VmProgram* Program() const { return m_program.get(); }
    std::shared_ptr<VmProgram> SharedProgram() const { return m_program; }
    CVmValue* Globals() { return m_globals; }
    int32_t GlobalCount() const { return m_globalCount; }
    CVmValue* StackBase() { return m_stackBase; }
    CVmValue* FrameBase() { return m_frame; }
    int32_t CurrentInstruction() const { return m_currentIp; }
    int32_t NextInstruction() const { return m_ip; }
    // Where the run goes on (the debugger moves it back onto a breakpoint).
    void SetNextInstruction(int32_t ip) { m_ip = ip; }
    VmInstruction* Code() { return m_code; }
    int32_t CodeCount() const { return m_codeCount; }
    CVmRegisterFunction& FunctionRegistry() { return m_registry; }
    PtrList<CVmRegisterClass>& Classes() { return m_classes; }
    const std::vector<int32_t>& Swizzles() const { return m_swizzles; }

    bool HasError() const { return m_error; }
    bool IsStopped() const { return m_stop; }
    void ClearError() { SetErrorFlag(false); }
    void SetErrorFlag(bool e) {
        m_error = e;
        if (!e) m_listingWritten = false;
    }
    // Set while the debugger evaluates an expression on this machine: errors
    // then only set the error flag.
    void SetEvaluating(bool e) { m_evaluating = e; }
    bool IsEvaluating() const { return m_evaluating; }
    void SetStopFlag(bool s) { m_stop = s; }
    // The flags a debugger inspection saves before it runs a getter or a
    // call on this machine and puts back afterwards, so that inspecting
    // never changes how the script goes on.
    struct RunFlags {
        bool error, stop, listingWritten, evaluating;
    };
    RunFlags SaveRunFlags() const { return {m_error, m_stop, m_listingWritten, m_evaluating}; }
    void RestoreRunFlags(const RunFlags& f) {
        m_error = f.error;
        m_stop = f.stop;
        m_listingWritten = f.listingWritten;
        m_evaluating = f.evaluating;
    }
    bool IsQuiet() const { return m_quiet; }
    int32_t LastListingLine() const { return m_lastListingLine; }

    // Debugger attachment and requests. The debugger attached last hears of
    // the machine's end (OnMachineDestroyed) even after it stopped watching
    // (SetDebugger(nullptr)), until it forgets the machine itself.
    void SetDebugger(VmDebugger* debugger) {
        m_debugger = debugger;
        if (debugger) m_lastDebugger = debugger;
        m_observed = m_debugger || m_stepHook || m_callHook;
    }
    void ForgetDebugger(VmDebugger* debugger) {
        if (m_debugger == debugger) SetDebugger(nullptr);
        if (m_lastDebugger == debugger) m_lastDebugger = nullptr;
    }
    VmDebugger* Debugger() const { return m_debugger; }
    int32_t m_debugRequest = 0;
    int32_t m_debugMask = -1;
    bool IsDebug() const { return m_debugFlag; }
    int32_t CommandPort() const { return m_commandPort; }
    int32_t EventPort() const { return m_eventPort; }

    int32_t m_hookSkip = 0;  // "before" call-hook codes pass -1 while above 0
    std::ostream& NullStream() { return m_nullStream; }
    CVirtualMachine* Parent() const { return m_parent; }

    int16_t m_version[3] = {2, 0, 4};

    // A push may need more slots than the logical size.
    bool GrowFor(CVmValue* newTop) { return newTop < m_stackLimit || GrowStack(newTop); }

protected:
    // The run loop: runs until the stop flag is set.
    void Run();
    // The run loop itself (VmRun.cpp): runs the machine until its stop flag
    // is set, or one instruction; without a machine, publishes its handler
    // addresses.
    static void Execute(CVirtualMachine* vm, bool singleStep);
    static void PublishHandlers();
    // The run loop's handler addresses, published by its first call.
    static std::atomic<const void* const*> s_generalHandlers;
    static std::atomic<const void* const*> s_fastHandlers;
    static const void* const* Handlers(const std::atomic<const void* const*>& table) {
        const void* const* t = table.load(std::memory_order_acquire);
        if (__builtin_expect(!t, 0)) {
            PublishHandlers();
            t = table.load(std::memory_order_acquire);
        }
        return t;
    }
    // Operand k of an instruction as the general handlers reach it: decoded
    // from the mode, frame slots checked against the stack.
    CVmValue* GeneralOperand(int k, const VmInstruction* in, CVmValue* frame);
    // Whether code at instruction ip may run in the frame without checking
    // its frame slots.
    bool FrameSafe(const CVmValue* frame, int32_t ip) const {
        const VmFrameRange& r = m_frameRanges[ip];
        return static_cast<uint32_t>((frame - m_stackBase) - r.low) < static_cast<uint32_t>(r.span);
    }
    // Voids the slots above end and lowers the top to it, one slot at a
    // time, so that a destructor that runs meanwhile finds the stack as it
    // is. True when a payload was released (script code may have run); the
    // instruction pointers are then those of instruction ip.
    bool ClearAbove(CVmValue* end, int32_t ip) {
        for (CVmValue* p = m_top; p > end; --p) {
            if (__builtin_expect(CVmValue::NeedsRelease(p->type), 0)) {
                m_top = p;
                return ClearAboveReleasing(end, ip);
            }
            p->type = VmValueType::Void;
        }
        m_top = end;
        return false;
    }
    bool ClearAboveReleasing(CVmValue* end, int32_t ip);
    // A method call (object a, method-name index) that runs a script-declared
    // class's script method: the return slot with the object and the frame
    // are pushed and the instruction pointer set to the method, as a call
    // does, without a nested run. False (nothing done) for any other call.
    // site: the instruction's cache (VmProgram::cacheSites), 0 for none.
    bool EnterScriptMethod(CVmValue* a, int32_t nameIndex, uint16_t site);
    // The member value of a script-declared object that a member access
    // through method-name index reaches (own or a base part's), or null.
    CVmValue* DeclaredMember(CVmClassBase* object, int32_t nameIndex, uint16_t site);
    // What a cache site last found: the class (its registration) and the
    // method's start or the member's index there.
    struct CacheSite {
        const CVmRegisterClass* reg = nullptr;
        int32_t value = 0;
    };
    bool CachedHit(const CacheSite& c, CVmClassBase* object) const;
    void DebuggerPoll();
    void Return(CVmValue* a);
    bool PushPendingArgs();
    // Writes the call-stack listing of the current position.
    void WriteCallStack();
    // Binds the program's native and method names (load step 9).
    void BindProgram();
    void InstallProgram(std::shared_ptr<VmProgram> program);
    bool StartUpRun();
    // Called when a push needs more slots than the logical size; false (with
    // "stack overflow.") past the limit.
    bool GrowStack(CVmValue* newTop);
    CVmValue* ReportBadLocal(int32_t index);
    void ReportBadFrame();
    void ReportBadJump(int32_t to);
    bool ReadCountSlow(const CVmValue* a, int32_t& n);
    void EnterCall(int32_t start, bool returnToHost);
    void CallHook(int32_t code) {
        if (m_callHook) m_callHook(code, this);
    }
    int32_t BeforeCode(int32_t code) {
        if (m_hookSkip > 0) {
            --m_hookSkip;
            return -1;
        }
        return code;
    }

    // Instruction pieces kept out of the run loop.
    void CallNative(int32_t index, int32_t argCount);
    void CallMethodOn(CVmValue* object, int32_t nameIndex, int32_t argCount);
    void ReadMember(CVmValue* object, int32_t nameIndex, CVmValue* target);
    void WriteMember(CVmValue* value, int32_t nameIndex, CVmValue* target);
    void ReadIndex(const CVmValue* a, const CVmValue* b, CVmValue* t);
    void WriteIndex(const CVmValue* a, const CVmValue* b, CVmValue* t);
    // The type rules of arithmetic on (left, right) into target; a, b, t are
    // the instruction's operands for the mismatch report.
    bool Arithmetic(int opcode, const CVmValue* left, const CVmValue* right, CVmValue* target, const CVmValue* a,
                    const CVmValue* b, const CVmValue* t);
    void ArrayOperation(int opcode, const CVmValue* a, CVmValue* t);
    CVmRegisterClass* RegistrationOf(CVmClassBase* object);
    bool SwizzleOf(int32_t nameIndex, uint8_t components[4]) const;
    void DivisionByZero();
    int Compare(int opcode, const CVmValue* a, const CVmValue* b);  // 1 jump, 0 no jump, -1 type error
    bool BuiltIn(int opcode, const CVmValue* a, const CVmValue* b, CVmValue* t);
    void BasePart(const CVmValue* a, int32_t declIndex, CVmValue* t);
    bool ReadCount(const CVmValue* a, int32_t& n);
    void Jump(const CVmValue* target);
    const char* MethodName(int32_t index) const;

    std::shared_ptr<VmProgram> m_program;
    bool m_borrowed = false;
    VmInstruction* m_code = nullptr;
    int32_t m_codeCount = 0;
    CVmValue* m_globals = nullptr;
    int32_t m_globalCount = 0;
    CVmValue* m_values = nullptr;  // the program's value table
    const VmFrameRange* m_frameRanges = nullptr;
    std::vector<CacheSite> m_cacheSites;  // of the installed program

    CVmRegisterFunction m_registry;
    PtrList<CVmRegisterClass> m_classes;
    std::vector<CVmRegisterClass*> m_inheritedClasses;  // a parent's classes (not owned)
    std::vector<CVmRegisterFunction*> m_inheritedSets;  // a parent's function sets (not owned)
    std::vector<std::unique_ptr<CVirtualMachineImported>> m_importedMachines;
    std::vector<CVmRegisterFunction*> m_importSets;  // their function sets, owned by the registry

    // Loading (VmLoader.cpp).
    std::ostream& LoadError();
    void LoadImports(const std::vector<std::string>& paths);
    void ReleaseImports();
    bool ImportsFile(const std::string& key) const;
    void StartPendingDebugSession();
    std::string m_loadKey;  // the file this machine loads or loaded, for cyclic imports
    int32_t m_importBudget = 0;  // of a top-level machine: imports its current load may still make
    VmDebugLoader* m_debugLoader = nullptr;
    bool m_debugSessionPending = false;
    CVmArray m_pendingArgs;

    std::ostream* m_out;
    std::unique_ptr<std::ostream> m_ownedOut;
    bool m_error = false;
    // The run loop tests the flags with one load after every instruction.
    union {
        struct {
            bool m_stop;
            bool m_observed;     // a step hook, a call hook or a debugger watches every instruction
            bool m_stopRequest;  // RequestStop; written by other threads, atomically
        };
        uint32_t m_runFlags;
    };
    std::mutex m_stopLock;
    std::condition_variable m_stopCondition;
    std::vector<VmStopWaker*> m_stopWakers;  // under m_stopLock
    bool m_listingWritten = false;
    bool m_evaluating = false;
    bool m_quiet = false;
    bool m_debugFlag;
    int32_t m_outputPort;
    int32_t m_commandPort;
    int32_t m_eventPort;
    VmDebugger* m_debugger = nullptr;
    VmDebugger* m_lastDebugger = nullptr;
    CVirtualMachine* m_parent;

    // The immediates an instruction reads are loaded into these; they are
    // always Integers. An immediate that an instruction writes to is loaded
    // into the third, where whatever is written is lost.
    CVmValue m_temp1;
    CVmValue m_temp2;
    CVmValue m_writtenTemp;
    CVmValue m_badOperand;  // stands in for an operand outside the stack
    std::unique_ptr<CVmValue[]> m_stack;
    CVmValue* m_stackBase;
    int32_t m_stackSize = kInitialStackSlots;
    CVmValue* m_stackLimit;  // the slot of the logical size that is never a top
    CVmValue* m_top;
    CVmValue* m_frame;
    int32_t m_ip = -1;         // next instruction
    int32_t m_currentIp = -1;  // running instruction
    const char* m_runningName = nullptr;

    int32_t m_lastListingLine = 0;
    CVmValue m_result;
    char m_message[1024];
    VmHook m_callHook = nullptr;
    VmHook m_stepHook = nullptr;
    std::vector<int32_t> m_swizzles;  // per method name: 4 packed components, or -1
    std::ostream m_nullStream;
    std::map<std::string, CVmValue> m_constants;

    friend class CVmRegisterClass;
};

// The machine of an imported bytecode module: opens files through its parent.
class CVirtualMachineImported : public CVirtualMachine {
public:
    explicit CVirtualMachineImported(CVirtualMachine* parent) : CVirtualMachine(false, 0, -1, -1, parent) {}
    std::unique_ptr<std::istream> OpenFile(const std::string& path) override {
        return m_parent ? m_parent->OpenFile(path) : CVirtualMachine::OpenFile(path);
    }
};

// The current machine: every parameter reader, the return slot and the error
// streams go through it.
extern CVirtualMachine* g_currentVM;

// Which machine runs a host call on which thread.
CHashTable<CVirtualMachine>& VmThreadRegistry();
CVirtualMachine* GetVirtualMachine(uint32_t key);

// Error and warning streams of the current machine, with the running call's
// name ("***" when none).
std::ostream& VmErrorStream();
void VmErrorMsg(int32_t id, ...);
void VmWarningMsg(CVmRegisterClass* registration, int32_t id, ...);

// ---------------------------------------------------------------------------
// The pieces of calls and jumps that every run takes, inline.

inline void CVirtualMachine::PopTo(CVmValue* newTop) {
    if (newTop < m_stackBase) newTop = m_stackBase;
    while (m_top > newTop) (m_top--)->SetVoid();
}

inline void CVirtualMachine::EnterCall(int32_t start, bool returnToHost) {
    if (!GrowFor(m_top + 1)) return;
    ++m_top;
    m_top->SetStatus(m_ip, static_cast<int32_t>(m_frame - m_stackBase), returnToHost ? 1 : 0);
    m_frame = m_top;
    m_ip = start;
}

inline __attribute__((always_inline)) void CVirtualMachine::Return(CVmValue* a) {
    CVmValue* marker = m_frame;
    // A script can overwrite its own frame marker (it is L(0)); the saved
    // fields are trusted only when they still make sense.
    const int32_t savedIp = marker->asWords[0];
    const int32_t savedFrame = marker->asWords[1];
    const bool toHost = (marker->aux & 0xFF) != 0;
    const bool ofMethod = (marker->aux & kVmFrameOfMethod) != 0 && marker > m_stackBase;
    if (__builtin_expect(marker->type != VmValueType::VmStatus || savedIp < -1 || savedIp >= m_codeCount ||
                             savedFrame < 0 || savedFrame >= kMaxStackSlots,
                         0)) {
        ReportBadFrame();
        return;
    }
    if (a && a > marker && a <= m_top)
        marker->Move(*a);  // a local of the frame that ends: no copy needed
    else if (a)
        marker->Assign(*a);
    else
        marker->SetVoid();
    while (m_top > marker) (m_top--)->SetVoid();
    m_frame = m_stackBase + savedFrame;
    m_ip = savedIp;
    m_stop = savedIp == -1 || toHost;
    if (ofMethod) {
        // A method the run loop entered itself: its result goes into the
        // method call's return slot, where the object was.
        marker[-1].Move(*marker);
        m_top = marker - 1;
    }
    if (m_callHook) CallHook(0);
}

inline void CVirtualMachine::Jump(const CVmValue* target) {
    const int32_t to = target->asInt;
    if (__builtin_expect(target->type != VmValueType::Integer ||
                             static_cast<uint32_t>(to) >= static_cast<uint32_t>(m_codeCount),
                         0)) {
        ReportBadJump(to);
        return;
    }
    m_ip = to;
}

inline bool CVirtualMachine::ReadCount(const CVmValue* a, int32_t& n) {
    if (__builtin_expect(a->type == VmValueType::Integer, 1)) {
        n = a->asInt;
        return true;
    }
    return ReadCountSlow(a, n);
}
