// The session's run control: breakpoints as traps in the code, step into and
// step over, stops, pauses, frame selection and the command loops.
#include "debugger/DebugSession.h"

#include "debugger/DebugCommandLanguage.h"

DebugSession::DebugSession(CVirtualMachine* machine, const DebugInfo* model, int32_t commandPort,
                           int32_t eventPort)
    : m_machine(machine), m_model(model) {
    Init();
    OpenChannels(commandPort, eventPort);
}

void DebugSession::OpenChannels(int32_t commandPort, int32_t eventPort) {
    // The client connects to the command port first; the event port listens
    // only once that connection was made. Each channel is in place before
    // it waits for its client, so that a stop request can interrupt it.
    if (commandPort < 0)
        m_commands = OpenDebugCommandChannel(commandPort, &m_commandsQueued);
    else if (!Connect(std::make_unique<DebugCommandSocketChannel>(&m_commandsQueued), m_commands, commandPort))
        return;
    if (eventPort < 0)
        m_events = OpenDebugEventChannel(eventPort);
    else
        Connect(std::make_unique<DebugSocketEventChannel>(), m_events, eventPort);
}

template <class Channel, class Slot>
bool DebugSession::Connect(std::unique_ptr<Channel> channel, std::unique_ptr<Slot>& slot, int32_t port) {
    Channel* connecting = channel.get();
    {
        std::lock_guard<std::mutex> guard(m_wakeLock);
        slot = std::move(channel);
        if (m_stopRequested) connecting->Interrupt();
    }
    if (connecting->Listen(port) && connecting->Accept()) return true;
    std::lock_guard<std::mutex> guard(m_wakeLock);
    slot.reset();
    return false;
}

DebugSession::DebugSession(CVirtualMachine* machine, const DebugInfo* model,
                           std::unique_ptr<DebugCommandChannel> commands, std::unique_ptr<DebugEventChannel> events)
    : m_machine(machine), m_model(model), m_events(std::move(events)), m_commands(std::move(commands)) {
    Init();
}

void DebugSession::Init() {
    m_trap = VmTrapInstruction();
    if (m_machine) m_machine->AddStopWaker(this);
}

DebugSession::~DebugSession() {
    if (!m_machine) return;
    m_machine->RemoveStopWaker(this);
    m_machine->ForgetDebugger(this);
}

void DebugSession::OnMachineDestroyed() {
    Stop();
    m_machine->RemoveStopWaker(this);
    m_machine = nullptr;
}

void DebugSession::WakeForStop() {
    std::lock_guard<std::mutex> guard(m_wakeLock);
    m_stopRequested = true;
    if (m_commands) m_commands->Interrupt();
    if (m_events) m_events->Interrupt();
}

void DebugSession::Attach() {
    if (m_machine && IsConnected() && !m_clientGone) m_machine->SetDebugger(this);
}

void DebugSession::Start() {
    if (!IsConnected()) return;
    Attach();
    m_events->Started();
    CommandLoop();
}

// ---------------------------------------------------------------------------
// Helpers

bool DebugSession::HasInstructionPointer() const {
    return m_machine && m_machine->NextInstruction() >= 0 && m_machine->NextInstruction() < m_machine->CodeCount();
}

bool DebugSession::IsLineStart(int32_t index) const {
    return m_model && m_model->LocationOf(index, false).line != -1;
}

bool DebugSession::IsTrapAt(int32_t index) const {
    return index >= 0 && index < m_machine->CodeCount() && m_machine->Code()[index].opcode == OP_TRAP;
}

void DebugSession::RestoreInstruction(int32_t index, const VmInstruction& saved) {
    if (index >= 0 && index < m_machine->CodeCount()) m_machine->Code()[index] = saved;
}

bool DebugSession::SetTrap(int32_t index) {
    if (!m_machine || index < 0 || index >= m_machine->CodeCount()) return false;
    if (m_breakpoints.count(index)) return false;
    m_breakpoints.emplace(index, m_machine->Code()[index]);
    m_machine->Code()[index] = m_trap;
    return true;
}

// The outermost level: the stack base itself, or the frame of the program's
// start-up code (no instruction to return to, not called by the host).
bool DebugSession::IsOutermost(const CVmValue* frame) const {
    if (!frame || frame == m_machine->StackBase()) return true;
    return frame->type == VmValueType::VmStatus && frame->asWords[0] == -1 && (frame->StatusWord(2) & 0xFF) == 0;
}

bool DebugSession::CallerOf(int32_t& instruction, CVmValue*& frame) const {
    if (IsOutermost(frame) || frame->type != VmValueType::VmStatus) return false;
    const int32_t returnTo = frame->asWords[0];
    const int32_t callerFrame = frame->asWords[1];
    if (callerFrame < 0 || callerFrame >= CVirtualMachine::kMaxStackSlots) return false;
    CVmValue* caller = m_machine->StackBase() + callerFrame;
    // Frames lie below the ones they called; the host (no instruction) and
    // the outermost level are no frames to show.
    if (caller >= frame || returnTo < 0 || returnTo >= m_machine->CodeCount() || IsOutermost(caller)) return false;
    instruction = returnTo;
    frame = caller;
    return true;
}

// ---------------------------------------------------------------------------
// Stops

void DebugSession::OnBreak() {
    if (!m_machine || m_inspecting || m_clientGone) return;
    // A run-time error: the run ends after this instruction, and its end
    // reports the failing instruction (with the listing written), whatever
    // step was under way.
    const bool error = m_machine->HasError();
    if (error && !m_machine->SaveRunFlags().listingWritten) return;
    m_atBreakpoint = false;
    const int32_t temporary = m_temporaryTrap;
    m_temporaryTrap = -1;
    const int32_t idx = m_machine->CurrentInstruction();
    // The trap of a breakpoint ran: inside a call that a step over passes,
    // the breakpoint stops the step (running on would lose its instruction).
    const bool trapHit = !error && idx != m_completing && m_breakpoints.count(idx) && IsTrapAt(idx);
    if (error || trapHit) {
        m_stepIntoPending = false;
        m_stepOverPending = false;
        m_stepOverTarget = -1;
    } else if (m_stepIntoPending) {
        m_temporaryTrap = temporary;
        StepIntoCheck();
        return;
    } else if (m_stepOverPending) {
        m_temporaryTrap = temporary;
        StepOverCheck();
        return;
    }
    // A temporary trap that was not the one hit is of a step that ended
    // otherwise: it goes now.
    if (temporary != -1 && temporary != idx) {
        auto it = m_breakpoints.find(temporary);
        if (it != m_breakpoints.end()) {
            if (IsTrapAt(temporary)) RestoreInstruction(temporary, it->second);
            m_breakpoints.erase(it);
        }
    }
    m_selectedInstruction = m_stopInstruction = idx;
    m_selectedFrame = m_stopFrame = m_machine->FrameBase();
    bool atBreakpoint = false;
    if (trapHit) {
        // The saved instruction runs next, where the trap was.
        RestoreInstruction(idx, m_breakpoints[idx]);
        m_machine->SetNextInstruction(idx);
        m_atBreakpoint = atBreakpoint = true;
    }
    const DebugLocation loc = m_model ? m_model->LocationOf(idx, false) : DebugLocation();
    m_events->BreakpointAt(loc.file, loc.line);
    CommandLoop();
    if (!atBreakpoint || !m_machine) return;
    // Run the saved instruction, then put the trap back (a temporary one
    // goes), so that the next pass stops here again.
    m_machine->StepInstruction();
    auto it = m_breakpoints.find(idx);
    if (it != m_breakpoints.end()) {
        if (idx == temporary)
            m_breakpoints.erase(it);
        else
            m_machine->Code()[idx] = m_trap;
    }
    m_atBreakpoint = false;
    // A request raised meanwhile (a step that is now pending) is served at
    // once; the trap just written back did not run.
    m_completing = idx;
    m_machine->PollDebugger();
    m_completing = -1;
}

void DebugSession::PollCommands() {
    if (!m_machine || m_inspecting || m_clientGone) return;
    m_selectedInstruction = m_machine->CurrentInstruction();
    m_selectedFrame = m_machine->FrameBase();
    while (HasQueuedCommands() && !m_clientGone) {
        std::string line;
        if (!m_commands->ReadCommand(line)) {
            Disconnect();
            return;
        }
        if (RunLine(line) == 0) return;
    }
}

void DebugSession::CommandLoop() {
    while (m_machine && !m_clientGone) {
        std::string line;
        if (!m_commands->ReadCommand(line)) {
            // Asked to stop: the script ends, and the client hears so.
            if (m_machine->StopRequested()) Stop();
            Disconnect();
            return;
        }
        if (RunLine(line) == 0) return;
    }
}

int32_t DebugSession::RunLine(const std::string& line) {
    return DebugParse(*this, m_selectedInstruction, m_selectedFrame, line + "\r\n");
}

void DebugSession::Disconnect() {
    m_clientGone = true;
    if (!m_machine) return;
    for (const auto& entry : m_breakpoints)
        if (IsTrapAt(entry.first)) RestoreInstruction(entry.first, entry.second);
    m_breakpoints.clear();
    m_stepIntoPending = m_stepOverPending = false;
    m_stepOverTarget = -1;
    m_temporaryTrap = -1;
    m_machine->m_debugRequest = 0;
    if (m_machine->Debugger() == this) m_machine->SetDebugger(nullptr);
}

// ---------------------------------------------------------------------------
// Commands

void DebugSession::Continue() {
    if (!m_machine) return;
    m_machine->m_debugRequest = 0;
    m_events->ResumedByClient();
}

void DebugSession::Stop() {
    if (!IsConnected()) return;
    // Every exit stops the script; the client hears of it once.
    if (m_machine) m_machine->m_debugRequest = 2;
    if (m_stopSent) return;
    m_events->Stopped();
    m_stopSent = true;
}

void DebugSession::Pause() {
    if (!m_machine) return;
    m_selectedInstruction = m_machine->CurrentInstruction();
    m_selectedFrame = m_machine->FrameBase();
    CommandLoop();
}

void DebugSession::SelectFrame(int32_t n) {
    if (!m_machine) return;
    m_selectedInstruction = m_stopInstruction;
    m_selectedFrame = m_stopFrame;
    for (int32_t i = 0; i < n && m_selectedInstruction != -1; ++i) {
        if (!CallerOf(m_selectedInstruction, m_selectedFrame)) break;
    }
}

bool DebugSession::AddBreakpoint(const std::string& file, int32_t line) {
    if (!m_machine || !m_model) return false;
    const int32_t idx = m_model->InstructionAt(file, line);
    if (idx == -1) return false;
    // A step's trap already there becomes the user's breakpoint.
    if (idx == m_temporaryTrap) m_temporaryTrap = -1;
    SetTrap(idx);
    return true;
}

void DebugSession::RemoveBreakpoint(const std::string& file, int32_t line) {
    if (!m_machine || !m_model) return;
    const int32_t idx = m_model->InstructionAt(file, line);
    auto it = m_breakpoints.find(idx);
    if (it == m_breakpoints.end()) return;
    // While stopped at it the code already holds the saved instruction.
    if (IsTrapAt(idx)) RestoreInstruction(idx, it->second);
    m_breakpoints.erase(it);
    if (idx == m_temporaryTrap) m_temporaryTrap = -1;
}

// ---------------------------------------------------------------------------
// Steps

void DebugSession::KeepStepping() { m_machine->m_debugRequest |= 1; }

void DebugSession::EndStepAt(int32_t index) {
    // Where a breakpoint already is, the step stops at it and it stays.
    m_temporaryTrap = SetTrap(index) ? index : -1;
    m_stepIntoPending = m_stepOverPending = false;
    m_machine->m_debugRequest = 0;
}

void DebugSession::StepInto() {
    if (!HasInstructionPointer()) return;
    m_stepIntoPending = true;
    m_stepOverPending = false;
    StepIntoCheck();
}

void DebugSession::StepIntoCheck() {
    if (!HasInstructionPointer()) return;
    if (m_atBreakpoint) {
        // The stop's own completion runs the saved instruction and polls,
        // which comes back here.
        return;
    }
    const int32_t idx = m_machine->NextInstruction();
    if (IsLineStart(idx)) {
        EndStepAt(idx);
        return;
    }
    // Instruction by instruction until the next one starts a line, in
    // whatever function that is.
    KeepStepping();
}

void DebugSession::StepOver() {
    if (!HasInstructionPointer()) return;
    m_stepOverPending = true;
    m_stepIntoPending = false;
    StepOverCheck();
}

void DebugSession::StepOverCheck() {
    if (!HasInstructionPointer()) return;
    const int32_t idx = m_machine->NextInstruction();
    const int32_t op = m_machine->Code()[idx].opcode;
    if (op == OP_TRAP) {
        // The trap that is next stops execution.
        m_temporaryTrap = -1;
        m_stepOverPending = false;
        m_machine->m_debugRequest = 0;
        m_stepOverTarget = -1;
        return;
    }
    bool search = idx == m_stepOverTarget;
    if (search) m_stepOverTarget = -1;
    if (!search) {
        if (m_stepOverTarget != -1) {
            // Still inside the call being stepped over.
            KeepStepping();
            return;
        }
        // Calls of script functions, natives and methods are passed over;
        // member reads and writes are not calls here.
        if ((op == OP_CALL || op == OP_CALL_NATIVE || op == OP_METHOD_CALL) && (m_atBreakpoint || !IsLineStart(idx))) {
            m_stepOverTarget = idx + 1;
            KeepStepping();
            return;
        }
    }
    if (m_atBreakpoint) return;
    if (!IsLineStart(idx)) {
        KeepStepping();
        return;
    }
    EndStepAt(idx);
}
