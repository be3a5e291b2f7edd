// The debugger's part in loading a program on a machine made with the debug
// flag: reading the debug information beside the bytecode, and once the
// program is bound and before its start-up code runs, starting the session
// on the machine's command and event ports (the event "Started", then the
// command loop, so that the client sets its breakpoints first).
//
// Keeps the model and the session for as long as it lives; destroy it after
// the machine, or before it (the session then detaches itself).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "debugger/DebugInfo.h"
#include "debugger/DebugSession.h"

#include "vm/VirtualMachine.h"

// The debugger's ports in an engine-parameter string
// ("...;DBGOUT=p1;DBGCMD=p2;DBGEVT=p3;..."): the text is cut at '=' and ';'
// in turn, and a name that is exactly DBGOUT, DBGCMD or DBGEVT takes the
// decimal number that follows. The machine debugs when all three are above 0.
struct DebugPorts {
    int32_t output = 0;
    int32_t commands = 0;
    int32_t events = 0;
    bool Enabled() const { return output > 0 && commands > 0 && events > 0; }
};
DebugPorts ReadDebugPorts(const std::string& engineParameters);

class DebugSessionLoader : public VmDebugLoader {
public:
    // True when debug information was read from the file at dbgPath (the
    // bytecode path with ".dbg" appended). A new load ends the session of
    // the previous one.
    bool ReadDebugInfo(CVirtualMachine& machine, const std::string& dbgPath) override;
    // Opens the session when there is a model; a port that cannot be opened
    // leaves the program running without debugger (reported on the standard
    // output).
    void StartSession(CVirtualMachine& machine) override;

    const DebugInfo* Model() const { return m_model.get(); }
    DebugSession* Session() const { return m_session.get(); }

private:
    std::unique_ptr<DebugInfo> m_model;
    std::unique_ptr<DebugSession> m_session;
};
