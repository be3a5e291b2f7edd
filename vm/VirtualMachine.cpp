#include "VirtualMachine.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <mutex>

#include "VmDeclaredClass.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"

CVirtualMachine* g_currentVM = nullptr;

// ---------------------------------------------------------------------------
// Thread registry

namespace {

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

}  // namespace

CHashTable<CVirtualMachine>& VmThreadRegistry() {
    static CHashTable<CVirtualMachine> table(41);
    return table;
}

CVirtualMachine* GetVirtualMachine(uint32_t key) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    return key == 0 ? VmThreadRegistry().First() : VmThreadRegistry().Find(key);
}

namespace {

// Registers a machine under its thread key for the time of a host call.
class ThreadRegistration {
public:
    explicit ThreadRegistration(CVirtualMachine* vm) : m_key(vm->ThreadId()) {
        std::lock_guard<std::mutex> lock(RegistryLock());
        VmThreadRegistry().Add(m_key, vm, false);
    }
    ~ThreadRegistration() {
        std::lock_guard<std::mutex> lock(RegistryLock());
        VmThreadRegistry().Remove(m_key);
    }
    ThreadRegistration(const ThreadRegistration&) = delete;
    ThreadRegistration& operator=(const ThreadRegistration&) = delete;

private:
    uint32_t m_key;
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

CVirtualMachine::CVirtualMachine(bool debug, int32_t outputPort, int32_t commandPort, int32_t eventPort,
                                 CVirtualMachine* parent)
    : m_out(&std::cout),
      m_debugFlag(debug),
      m_outputPort(outputPort),
      m_commandPort(commandPort),
      m_eventPort(eventPort),
      m_parent(parent),
      m_stack(new CVmValue[kMaxStackSlots]),
      m_stackBase(m_stack.get()),
      m_stackLimit(m_stack.get() + kInitialStackSlots - 1),
      m_nullStream(nullptr) {
    m_runFlags = 0;
    m_stop = true;
    m_observed = false;
    g_currentVM = this;
    m_message[0] = '\0';
    if (outputPort != 0) {
        std::unique_ptr<std::ostream> tcp =
            outputPort > 0 && outputPort <= 65535 ? ConnectOutputStream(static_cast<uint16_t>(outputPort)) : nullptr;
        if (tcp) {
            m_ownedOut = std::move(tcp);
            m_out = m_ownedOut.get();
        } else {
            std::cerr << "VirtualMachine: cannot connect the output to 127.0.0.1:" << outputPort
                      << "; writing to standard output\n";
        }
    }
    m_temp1.SetInteger(0);
    m_temp2.SetInteger(0);
    m_top = m_stack.get();
    m_frame = m_stack.get();
    if (parent) {
        // A module's machine uses its parent's function sets and classes; the
        // parent keeps them.
        parent->m_registry.m_sets.ForEach([this](CVmRegisterFunction* set) {
            m_registry.m_sets.Append(set);
            m_inheritedSets.push_back(set);
        });
        parent->m_classes.ForEach([this](CVmRegisterClass* reg) {
            // A declared class belongs to its machine's program and leaves
            // with it: a module never shares one.
            if (reg->AsDeclaredClass()) return;
            m_classes.Append(reg);
            m_inheritedClasses.push_back(reg);
        });
    } else {
        RegisterFunctions(new CVmInternalFunction());
    }
}

CVirtualMachine::~CVirtualMachine() {
    VmDebugger* debugger = m_lastDebugger;
    SetDebugger(nullptr);
    m_lastDebugger = nullptr;
    if (debugger) debugger->OnMachineDestroyed();
    CVirtualMachine* previous = g_currentVM;
    g_currentVM = this;
    // Values first, while the program and the modules whose classes they may
    // hold still exist.
    m_result.SetVoid();
    ClearArgs();
    UnloadProgram();
    ReleaseImports();
    for (CVmRegisterClass* reg : m_inheritedClasses) m_classes.Detach(reg);
    for (CVmRegisterFunction* set : m_inheritedSets) m_registry.m_sets.Detach(set);
    m_classes.ForEach([this](CVmRegisterClass* reg) { reg->ClearSlots(this); });
    m_classes.Clear();
    m_registry.m_sets.Clear();
    g_currentVM = previous == this ? nullptr : previous;
}

// ---------------------------------------------------------------------------
// Virtual operations with a base behaviour

std::unique_ptr<std::istream> CVirtualMachine::OpenFile(const std::string& path) {
    if (!IsRegularFile(path)) return nullptr;
    std::unique_ptr<std::ifstream> in(new std::ifstream(path, std::ios::binary));
    if (!in->is_open()) return nullptr;
    return in;
}

CVmValue* CVirtualMachine::EvaluateExpression(const CVmValue*, CVmArray*) {
    CVmValue* v = new CVmValue();
    v->SetString("** ERROR WHILE INTERPRETING THE EXPRESSION **");
    return v;
}

const char* CVirtualMachine::StringForId(int32_t) { return nullptr; }

uint32_t CVirtualMachine::ThreadId() { return 0; }

CVmValue* CVirtualMachine::FindConstant(const char* name) {
    auto it = m_constants.find(name ? name : "");
    return it == m_constants.end() ? nullptr : &it->second;
}

void CVirtualMachine::RegisterConstants() {}

bool CVirtualMachine::AddConstant(const char* name, int32_t value) {
    if (!name || m_constants.count(name)) return false;
    m_constants[name].SetInteger(value);
    return true;
}

// ---------------------------------------------------------------------------
// Registration

bool CVirtualMachine::RegisterFunctions(CVmRegisterFunction* set) {
    g_currentVM = this;
    m_registry.m_sets.Append(set);
    return true;
}

bool CVirtualMachine::RegisterClass(CVmRegisterClass* registration) {
    g_currentVM = this;
    if (!m_classes.Append(registration)) return false;
    registration->m_classIndex = m_classes.Count();
    return true;
}

bool CVirtualMachine::BindClass(CVmRegisterClass* registration) {
    if (!RegisterClass(registration)) return false;
    if (m_program && !m_program->methodNames.empty()) {
        const int32_t n = static_cast<int32_t>(m_program->methodNames.size());
        registration->RegisterMethods(n);
        for (int32_t i = 0; i < n; ++i) registration->BindMethod(m_program->methodNames[static_cast<size_t>(i)].c_str(), i);
        registration->AfterBinding();
    }
    if (m_program) {
        const char* className = registration->GetClassName();
        for (size_t i = 0; i < m_program->nativeNames.size(); ++i) {
            if (VmUpperName(className) == VmUpperName(m_program->nativeNames[i].c_str())) {
                m_registry.BindSlot(static_cast<int32_t>(i), registration->GetFactory(), registration, -1);
                break;
            }
        }
    }
    m_error = false;
    return true;
}

bool CVirtualMachine::UnregisterClass(CVmRegisterClass* registration) {
    for (CVmRegisterClass* r = m_classes.First(); r; r = m_classes.Next()) {
        if (r == registration) {
            m_classes.RemoveCurrent();
            return true;
        }
    }
    return false;
}

CVmRegisterClass* CVirtualMachine::FindClass(const char* name) {
    if (!name) return nullptr;
    const std::string upper = VmUpperName(name);
    CVmRegisterClass* found = nullptr;
    m_classes.ForEach([&](CVmRegisterClass* reg) {
        if (!found && VmUpperName(reg->GetClassName()) == upper) found = reg;
    });
    return found;
}

const char* CVirtualMachine::GetClassNameByIndex(int32_t index) {
    const char* name = nullptr;
    m_classes.ForEach([&](CVmRegisterClass* reg) {
        if (!name && reg->m_classIndex == index) name = reg->GetClassName();
    });
    return name;
}

CVmClassBase* CVirtualMachine::CreateObjectFromStream(const std::string& upperName, ByteReader& in) {
    CVmRegisterClass* reg = FindClass(upperName.c_str());
    if (!reg) return nullptr;
    CVmClassBase* object = reg->CreateFromStream(in);
    if (object && !object->m_registration) object->m_registration = reg;
    return object;
}

// ---------------------------------------------------------------------------
// Lookups

int32_t CVirtualMachine::FindFunction(const char* name) const {
    if (!name || !m_program) return -1;
    // Every byte from 'a' up to 0x7F loses bit 5, as the table's names were
    // folded when they were written.
    char folded[128];
    size_t n = 0;
    for (; name[n] && n < sizeof folded - 1; ++n) {
        const unsigned char c = static_cast<unsigned char>(name[n]);
        folded[n] = static_cast<char>((c >= 0x61 && c <= 0x7F) ? (c & ~0x20) : c);
    }
    folded[n] = '\0';
    const std::vector<VmFunctionRecord>& f = m_program->functions;
    int32_t lo = 0, hi = static_cast<int32_t>(f.size()) - 1;
    while (lo <= hi) {
        const int32_t mid = (lo + hi) / 2;
        const int c = f[static_cast<size_t>(mid)].name.compare(folded);
        if (c == 0) return mid;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

int32_t CVirtualMachine::LineAt(int32_t ip) const {
    if (!m_program || !m_program->hasLineTable || m_program->lines.empty()) return 0;
    const std::vector<VmLineEntry>& lines = m_program->lines;
    // The last entry whose instruction index is below ip.
    auto it = std::lower_bound(lines.begin(), lines.end(), ip,
                               [](const VmLineEntry& e, int32_t v) { return static_cast<int32_t>(e.instruction) < v; });
    if (it == lines.begin()) return 0;
    return (it - 1)->line;
}

int32_t CVirtualMachine::GetCurrentLine() const { return LineAt(m_ip); }

const char* CVirtualMachine::GetFunctionNameAt(int32_t index) const {
    if (!m_program) return nullptr;
    const VmFunctionRecord* best = nullptr;
    for (const VmFunctionRecord& f : m_program->functions)
        if (f.start <= index && (!best || f.start > best->start)) best = &f;
    return best ? best->name.c_str() : nullptr;
}

bool CVirtualMachine::GetNamedInt(const char* name, int32_t& out) const {
    if (!m_program || !name) return false;
    const std::string upper = VmUpperName(name);
    for (const VmNamedValue& nv : m_program->namedValues) {
        if (VmUpperName(nv.name.c_str()) != upper) continue;
        if (nv.value.type == VmValueType::Integer) {
            out = nv.value.asInt;
            return true;
        }
        if (nv.value.type == VmValueType::Real) {
            out = VmTruncate(nv.value.asReal);
            return true;
        }
        return false;
    }
    return false;
}

bool CVirtualMachine::GetNamedFloat(const char* name, float& out) const {
    if (!m_program || !name) return false;
    const std::string upper = VmUpperName(name);
    for (const VmNamedValue& nv : m_program->namedValues) {
        if (VmUpperName(nv.name.c_str()) != upper) continue;
        if (nv.value.type == VmValueType::Integer) {
            out = static_cast<float>(nv.value.asInt);
            return true;
        }
        if (nv.value.type == VmValueType::Real) {
            out = nv.value.asReal;
            return true;
        }
        return false;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Output and hooks

void CVirtualMachine::SetOutputStream(std::ostream* stream, bool quiet) {
    m_out = stream ? stream : &std::cout;
    m_quiet = quiet;
    for (auto& module : m_importedMachines) module->SetOutputStream(m_out, quiet);
}

bool CVirtualMachine::SetLineHook(VmHook hook) {
    if (!m_program || !m_program->hasLineTable) return m_callHook != nullptr;
    m_callHook = hook;
    m_observed = m_debugger || m_stepHook || m_callHook;
    return m_callHook != nullptr;
}

bool CVirtualMachine::SetStepHook(VmHook hook) {
    m_stepHook = hook;
    m_observed = m_debugger || m_stepHook || m_callHook;
    return m_stepHook != nullptr;
}

// ---------------------------------------------------------------------------
// Program

void CVirtualMachine::InstallProgram(std::shared_ptr<VmProgram> program) {
    m_program = std::move(program);
    m_program->Link();
    m_code = m_program->code.data();
    m_codeCount = m_program->CodeCount();
    m_globals = m_program->globals.data();
    m_globalCount = static_cast<int32_t>(m_program->globals.size());
    m_values = m_program->values.data();
    m_frameRanges = m_program->frameRanges.data();
    m_cacheSites.assign(static_cast<size_t>(m_program->cacheSites), CacheSite());
}

void CVirtualMachine::BorrowProgram(std::shared_ptr<VmProgram> program) {
    UnloadProgram();
    InstallProgram(std::move(program));
    m_borrowed = true;
    m_swizzles.clear();
}

bool CVirtualMachine::StartProgram(std::shared_ptr<VmProgram> program) {
    UnloadProgram();
    InstallProgram(std::move(program));
    CVmRegisterDeclaredClass::BuildAll(*this);
    BindProgram();
    StartPendingDebugSession();
    return StartUpRun();
}

void CVirtualMachine::UnloadProgram() {
    // A run in progress (a handler unloading) stops before it fetches again.
    m_stop = true;
    // Values are released while the code still exists: releasing one may run
    // a script destructor.
    PopTo(m_stack.get());
    m_stack[0].SetVoid();
    m_frame = m_stack.get();
    if (m_program && !m_borrowed) {
        for (CVmValue& g : m_program->globals) g.SetVoid();
    }
    // Objects released from here on find their program gone and skip their
    // script destructors.
    CVmRegisterDeclaredClass::RetireAll(*this);
    m_program.reset();
    m_borrowed = false;
    m_code = nullptr;
    m_codeCount = 0;
    m_globals = nullptr;
    m_globalCount = 0;
    m_values = nullptr;
    m_frameRanges = nullptr;
    m_cacheSites.clear();
    m_swizzles.clear();
    m_ip = -1;
    m_currentIp = -1;
    m_registry.ClearSlots(this);
    m_classes.ForEach([this](CVmRegisterClass* reg) { reg->ClearSlots(this); });
}

namespace {

// A method name of up to 4 swizzle letters packs into 4 bytes, one per
// component (1 to 4, 0 for a constant zero), padded with 255; -1 otherwise.
int32_t ParseSwizzle(const std::string& name) {
    if (name.empty() || name.size() > 4) return -1;
    uint32_t packed = 0xFFFFFFFFu;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t c;
        switch (name[i]) {
        case 'x': case 'X': case 'r': case 'R': c = 1; break;
        case 'y': case 'Y': case 'g': case 'G': c = 2; break;
        case 'z': case 'Z': case 'b': case 'B': c = 3; break;
        case 'w': case 'W': case 'a': case 'A': c = 4; break;
        case '0': case '_': c = 0; break;
        default: return -1;
        }
        packed = (packed & ~(0xFFu << (8 * i))) | (c << (8 * i));
    }
    return static_cast<int32_t>(packed);
}

}  // namespace

void CVirtualMachine::BindProgram() {
    CVirtualMachine* previous = g_currentVM;
    g_currentVM = this;  // registrations bind per machine
    const VmProgram& p = *m_program;
    // Nothing runs while a program binds: its warnings report line 0.
    const int32_t nativeCount = static_cast<int32_t>(p.nativeNames.size());
    m_registry.RegisterMethods(nativeCount);
    // Every registered class is a constructor function named after it.
    m_classes.ForEach([this](CVmRegisterClass* reg) {
        m_registry.AddFunctionEntry(VmUpperName(reg->GetClassName()).c_str(), reg->GetFactory(), reg);
    });
    const int32_t methodCount = static_cast<int32_t>(p.methodNames.size());
    if (methodCount > 0) {
        m_swizzles.assign(static_cast<size_t>(methodCount), -1);
        m_classes.ForEach([methodCount](CVmRegisterClass* reg) { reg->RegisterMethods(methodCount); });
        for (int32_t i = 0; i < methodCount; ++i) {
            const std::string& name = p.methodNames[static_cast<size_t>(i)];
            bool bound = false;
            m_classes.ForEach([&](CVmRegisterClass* reg) { bound = reg->BindMethod(name.c_str(), i) || bound; });
            m_swizzles[static_cast<size_t>(i)] = ParseSwizzle(name);
            if (!bound && m_swizzles[static_cast<size_t>(i)] == -1)
                Warning(-1) << "Member '" << name
                           << "' doesn't belong to any built in class (it might be referred to an external module).";
        }
        m_classes.ForEach([](CVmRegisterClass* reg) { reg->AfterBinding(); });
    }
    for (int32_t i = 0; i < nativeCount; ++i) {
        const std::string& name = p.nativeNames[static_cast<size_t>(i)];
        if (!m_registry.BindMethod(name.c_str(), i)) Warning(-1) << "'" << name << "' is an unknown function.";
    }
    m_registry.AfterBinding();
    m_error = false;
    g_currentVM = previous;
}

bool CVirtualMachine::StartUpRun() {
    CVirtualMachine* previous = g_currentVM;
    g_currentVM = this;
    PopTo(m_stack.get());
    m_top = m_stack.get();
    m_frame = m_stack.get();
    m_ip = -1;
    m_error = false;
    m_stop = false;
    m_listingWritten = false;
    if (m_codeCount > 0) {
        EnterCall(0, false);
        Run();
        PopTo(m_top - 1);
    }
    g_currentVM = previous;
    return !m_error;
}

bool CVirtualMachine::CheckVersion(const int16_t version[3], bool strict) const {
    if (version[0] != m_version[0] || version[1] != m_version[1]) return false;
    return !strict || version[2] == m_version[2];
}

// ---------------------------------------------------------------------------
// Host calls

void CVirtualMachine::AddArgInteger(int32_t n) {
    CVmValue v;
    v.SetInteger(n);
    m_pendingArgs.Append(v);
}

void CVirtualMachine::AddArgFloat(float f) {
    CVmValue v;
    v.SetReal(f);
    m_pendingArgs.Append(v);
}

void CVirtualMachine::AddArgString(const char* text, int32_t length) {
    CVmValue v;
    v.SetString(text, length);
    m_pendingArgs.Append(v);
}

void CVirtualMachine::AddArgValue(const CVmValue& value) { m_pendingArgs.Append(value); }

void CVirtualMachine::ClearArgs() { m_pendingArgs.Resize(0); }

// Moves the pending arguments onto the stack, the first on top; false (with
// nothing left pushed) when the stack is full.
bool CVirtualMachine::PushPendingArgs() {
    CVmValue* base = m_top;
    for (int32_t i = m_pendingArgs.count - 1; i >= 0; --i) {
        if (!PushVoid()) {
            PopTo(base);
            ClearArgs();
            return false;
        }
        m_top->Move(m_pendingArgs.items[i]);
    }
    ClearArgs();
    return true;
}

CVmValue* CVirtualMachine::CallFunction(int32_t index) {
    if (!m_program || index < 0 || index >= static_cast<int32_t>(m_program->functions.size())) {
        ClearArgs();
        return nullptr;
    }
    const VmFunctionRecord& f = m_program->functions[static_cast<size_t>(index)];
    const int32_t given = m_pendingArgs.count;
    CVmValue* base = m_top;
    if (!PushPendingArgs()) return nullptr;
    ThreadRegistration registration(this);
    m_result.SetVoid();
    if (m_error) {
        PopTo(base);
        return &m_result;
    }
    // Missing last parameters are Void: the given arguments move up so that
    // they stay parameters 1 to n.
    const int32_t missing = f.paramCount > given ? f.paramCount - given : 0;
    if (missing > 0) {
        if (!GrowFor(m_top + missing)) {
            PopTo(base);
            return nullptr;
        }
        m_top += missing;
        for (int32_t i = 0; i < given; ++i) m_top[-i].Move(m_top[-i - missing]);
    }
    const char* savedName = m_runningName;
    m_runningName = nullptr;
    if (RunNested(f.start)) m_result.Move(*m_top);
    m_runningName = savedName;
    PopTo(base);
    return &m_result;
}

CVmValue* CVirtualMachine::CallFunctionByName(const char* name) { return CallFunction(FindFunction(name)); }

CVmValue* CVirtualMachine::CallNativeFunction(const char* name) {
    const std::string upper = VmUpperName(name ? name : "");
    VmMethodEntry* entry = m_registry.FindInSets(upper.c_str());
    if (!entry) {
        ClearArgs();
        return nullptr;
    }
    const int32_t argc = m_pendingArgs.count;
    CVmValue* base = m_top;
    if (!PushPendingArgs()) return nullptr;
    if (!PushVoid()) {
        PopTo(base);
        return nullptr;
    }
    ThreadRegistration registration(this);
    const char* savedName = m_runningName;
    m_runningName = nullptr;  // errors of a host call name "***"
    VmMethodSlot slot{entry->handler, entry->owner ? entry->owner : &m_registry, entry->data};
    const bool ok = CVmRegisterClass::InvokeSlot(slot, nullptr, VM_CALL_FUNCTION, argc);
    m_runningName = savedName;
    CVmValue* result = nullptr;
    if (ok && !m_error) {
        m_result.Move(*m_top);
        result = &m_result;
    }
    PopTo(base);
    return result;
}

void CVirtualMachine::RestoreAfterFault(CVmValue* top, CVmValue* frame, int32_t ip) {
    if (top >= m_stackBase && top <= m_top) PopTo(top);
    m_frame = frame;
    m_ip = ip;
    m_currentIp = ip;
    m_runningName = nullptr;
    m_hookSkip = 0;
    std::lock_guard<std::mutex> lock(RegistryLock());
    while (VmThreadRegistry().Find(ThreadId()) == this) VmThreadRegistry().Remove(ThreadId());
}

namespace {

// Every nested run (CallBack, declared-class methods, imported modules)
// runs a run loop of its own on the native stack, so script recursion
// through them nests native frames; past this depth the run fails like a
// full value stack instead of exhausting the thread's stack.
constexpr int kMaxNestedRuns = 1000;
thread_local int t_nestedRuns = 0;

}  // namespace

bool CVirtualMachine::RunNested(int32_t start) {
    if (static_cast<uint32_t>(start) >= static_cast<uint32_t>(m_codeCount)) return false;
    if (t_nestedRuns >= kMaxNestedRuns) {
        Error() << "stack overflow.";
        return false;
    }
    struct Depth {
        Depth() { ++t_nestedRuns; }
        ~Depth() { --t_nestedRuns; }
    } depth;
    const int32_t savedIp = m_ip;
    const int32_t savedCurrent = m_currentIp;
    CVmValue* savedFrame = m_frame;
    CVmValue* argsTop = m_top;
    CallHook(BeforeCode(start & 0xFFFF));
    EnterCall(start, true);
    const bool entered = m_top == argsTop + 1;
    if (entered) {
        m_stop = false;
        Run();
    }
    // The function returned when its frame is gone (the run may also have
    // been stopped inside it, by the debugger's stop request).
    const bool ok = entered && !m_error && m_top == argsTop + 1 && m_frame == savedFrame;
    if (!ok) PopTo(argsTop);
    m_frame = savedFrame;
    m_ip = savedIp;
    m_currentIp = savedCurrent;
    // The run that called in goes on unless this one failed.
    m_stop = m_error;
    return ok;
}

// ---------------------------------------------------------------------------
// Stop requests

void CVirtualMachine::RequestStop() {
    std::lock_guard<std::mutex> guard(m_stopLock);
    __atomic_store_n(&m_stopRequest, true, __ATOMIC_RELEASE);
    for (VmStopWaker* waker : m_stopWakers) waker->WakeForStop();
    for (auto& module : m_importedMachines) module->RequestStop();
    m_stopCondition.notify_all();
}

void CVirtualMachine::ClearStopRequest() {
    std::lock_guard<std::mutex> guard(m_stopLock);
    __atomic_store_n(&m_stopRequest, false, __ATOMIC_RELEASE);
    for (auto& module : m_importedMachines) module->ClearStopRequest();
}

bool CVirtualMachine::WaitForStopRequest(int32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_stopLock);
    return m_stopCondition.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                                    [this] { return StopRequested(); });
}

void CVirtualMachine::AddStopWaker(VmStopWaker* waker) {
    std::lock_guard<std::mutex> guard(m_stopLock);
    m_stopWakers.push_back(waker);
    // A request made before the waker came still reaches it.
    if (StopRequested()) waker->WakeForStop();
}

void CVirtualMachine::RemoveStopWaker(VmStopWaker* waker) {
    std::lock_guard<std::mutex> guard(m_stopLock);
    m_stopWakers.erase(std::remove(m_stopWakers.begin(), m_stopWakers.end(), waker), m_stopWakers.end());
}
