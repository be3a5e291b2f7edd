#include "functions/CVmInputOutputFunctions.h"

#include <ctime>
#include <ostream>

#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "platform/Clock.h"
#include "platform/InterruptibleWait.h"
#include "platform/KeyboardState.h"
#include "vm/VirtualMachine.h"

namespace {

// The ids of script events; Event hands out 2024 to 32766.
constexpr int32_t kFirstEvent = 2024;
constexpr int32_t kLastEvent = 32767;
std::atomic<int32_t> g_nextEvent{kFirstEvent};

MachineServices* Services() { return g_engineState ? g_engineState->Services() : nullptr; }

// The machine's services for a function that cannot work without them.
MachineServices* RequireServices() {
    MachineServices* services = Services();
    if (!services) VmErrorStream() << "The engine is not running.";
    return services;
}

}  // namespace

CVmInputOutputFunctions::CVmInputOutputFunctions(bool useCounter)
    : CVmFunctionGroup(FunctionGroup::InputOutput), m_frequency(useCounter ? kPerformanceFrequency : 0), m_origin(0) {
    m_origin = TimerReading();
}

void CVmInputOutputFunctions::AddFunctions() {
    AddFunction("DataIn", &CVmInputOutputFunctions::DataIn);
    AddFunction("DataOut", &CVmInputOutputFunctions::DataOut);
    AddFunction("Keyboard", &CVmInputOutputFunctions::Keyboard);
    AddFunction("KeyPressed", &CVmInputOutputFunctions::KeyPressed);
    AddFunction("Output", &CVmInputOutputFunctions::Output);
    AddFunction("OutputLN", &CVmInputOutputFunctions::OutputLN);
    AddFunction("GetTime", &CVmInputOutputFunctions::GetTime);
    AddFunction("GetDate", &CVmInputOutputFunctions::GetDate);
    AddFunction("Sleep", &CVmInputOutputFunctions::Sleep);
    AddFunction("GetPerformanceTimer", &CVmInputOutputFunctions::GetPerformanceTimer);
    AddFunction("ResetPerformanceTimer", &CVmInputOutputFunctions::ResetPerformanceTimer);
    AddFunction("Event", &CVmInputOutputFunctions::Event);
    AddFunction("EventPost", &CVmInputOutputFunctions::EventPost);
    AddFunction("EventSend", &CVmInputOutputFunctions::EventSend);
    AddFunction("HasFocus", &CVmInputOutputFunctions::HasFocus);
    AddFunction("Quit", &CVmInputOutputFunctions::Quit);
}

// ---------------------------------------------------------------------------
// Text output and stopping

void CVmInputOutputFunctions::WriteParams(std::ostream& os) {
    for (int32_t k = 1; k <= ArgCount(); ++k) os << GetParam(k);
}

void CVmInputOutputFunctions::Output(CVmClassBase*, int) {
    std::ostream& os = *g_currentVM->GetOutputStream();
    WriteParams(os);
    os.flush();
}

void CVmInputOutputFunctions::OutputLN(CVmClassBase*, int) {
    std::ostream& os = *g_currentVM->GetOutputStream();
    WriteParams(os);
    os << "\n";
    os.flush();
}

// The values are the text of a script error: the script stops, the engine
// shows its stopped screen, the process goes on.
void CVmInputOutputFunctions::Quit(CVmClassBase*, int) { WriteParams(VmErrorStream()); }

// ---------------------------------------------------------------------------
// Keyboard, focus and the data channel

void CVmInputOutputFunctions::Keyboard(CVmClassBase*, int) {
    MachineServices* services = Services();
    const int32_t key = services ? services->NextKey() : -1;
    if (key < 0) return VmReturnString("");
    const char c = static_cast<char>(key);
    VmReturnString(&c, 1);
}

void CVmInputOutputFunctions::KeyPressed(CVmClassBase*, int) {
    int32_t code = 0;
    const char* text = nullptr;
    if (ReadParam(1, text, false)) {
        const char c = text[0];
        if (c >= '0' && c <= '9')
            code = c;
        else if (c >= 'a' && c <= 'z')
            code = c - 'a' + 'A';
        else if (c >= 'A' && c <= 'Z')
            code = c;
        else
            VmWarningMsg(this, 4002, c);
    } else {
        code = GetParamInt(1, false);
    }
    const bool evenWithoutFocus = GetParamBool(2, false);
    const bool focus = g_engineState && g_engineState->Input().hasFocus;
    VmReturnBool((evenWithoutFocus || focus) && QueryKeyState(code));
}

void CVmInputOutputFunctions::HasFocus(CVmClassBase*, int) {
    VmReturnBool(g_engineState && g_engineState->Input().hasFocus);
}

void CVmInputOutputFunctions::DataIn(CVmClassBase*, int) {
    MachineServices* services = Services();
    const std::string text = services ? services->TakeDataIn() : std::string();
    VmReturnString(text.data(), static_cast<int32_t>(text.size()));
}

void CVmInputOutputFunctions::DataOut(CVmClassBase*, int) {
    const char* text = nullptr;
    if (!ReadParam(1, text, false)) return;  // no String: nothing to send
    if (MachineServices* services = RequireServices()) services->SendDataOut(text);
}

// ---------------------------------------------------------------------------
// Clocks

void CVmInputOutputFunctions::GetTime(CVmClassBase*, int) {
    // The origin is the first call's reading, once per process.
    static const uint32_t origin = TickMilliseconds();
    VmReturnInteger(static_cast<int32_t>(TickMilliseconds() - origin));
}

void CVmInputOutputFunctions::GetDate(CVmClassBase*, int) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The calendar fields as counted: months from 0, years since 1900.
    const float date[6] = {static_cast<float>(local.tm_mday), static_cast<float>(local.tm_mon),
                           static_cast<float>(local.tm_year), static_cast<float>(local.tm_hour),
                           static_cast<float>(local.tm_min),  static_cast<float>(local.tm_sec)};
    VmReturnVector(date, GetParamBool(1, false) ? 6 : 3);
}

void CVmInputOutputFunctions::Sleep(CVmClassBase*, int) {
    const int32_t ms = GetParamInt(1, false);
    // A negative time would be an endless sleep: the script's thread (for
    // OnFrame the window's) would never come back.
    if (ms <= 0) return;
    if (MachineServices* services = Services()) {
        services->SleepUnlessStopped(static_cast<uint32_t>(ms));
    } else {
        InterruptibleWait wait;
        wait.Wait(static_cast<uint32_t>(ms));
    }
}

int64_t CVmInputOutputFunctions::TimerReading() const {
    return m_frequency ? PerformanceCounter() : static_cast<int64_t>(TickMilliseconds()) * 1000;
}

void CVmInputOutputFunctions::GetPerformanceTimer(CVmClassBase*, int) {
    const int64_t elapsed = TimerReading() - m_origin;
    // Split so that the product cannot overflow: a reading of nanoseconds
    // times a million would after 2.5 hours.
    const int64_t us = m_frequency ? elapsed / m_frequency * 1000000 + elapsed % m_frequency * 1000000 / m_frequency
                                   : elapsed;
    // The low 32 bits: it wraps after about 35 minutes above 2^31.
    VmReturnInteger(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(us))));
}

void CVmInputOutputFunctions::ResetPerformanceTimer(CVmClassBase*, int) { m_origin = TimerReading(); }

// ---------------------------------------------------------------------------
// Events

void CVmInputOutputFunctions::Event(CVmClassBase*, int) {
    // 2024 upward, then -1 for ever once 32766 has been given.
    int32_t id = g_nextEvent.load();
    while (id < kLastEvent && !g_nextEvent.compare_exchange_weak(id, id + 1)) {
    }
    VmReturnInteger(id < kLastEvent ? id : -1);
}

bool CVmInputOutputFunctions::ReadEventId(int32_t& id) {
    id = GetParamInt(1, false);
    if (id >= kFirstEvent && id <= kLastEvent) return true;
    VmErrorStream() << "invalid Event value.";
    return false;
}

const CVmValue& CVmInputOutputFunctions::ParamOrVoid(int32_t k) {
    static const CVmValue kVoid;
    const CVmValue* p = GetParam(k);
    return p ? *p : kVoid;
}

void CVmInputOutputFunctions::EventPost(CVmClassBase*, int) {
    int32_t id;
    if (!ReadEventId(id)) return;
    if (MachineServices* services = RequireServices())
        VmReturnInteger(services->PostScriptEvent(id, ParamOrVoid(2), ParamOrVoid(3)) ? 1 : 0);
}

void CVmInputOutputFunctions::EventSend(CVmClassBase*, int) {
    int32_t id;
    if (!ReadEventId(id)) return;
    // The parameters stay where they are while OnEvent runs: the value stack
    // never moves, and the nested call works above this call's slots.
    if (MachineServices* services = RequireServices())
        VmReturnInteger(services->SendScriptEvent(id, ParamOrVoid(2), ParamOrVoid(3)));
}
