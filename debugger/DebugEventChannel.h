// The event side of a debugger client: one line per change of the run state,
// "\r\n"-ended over TCP, "\n"-ended on the console. Nothing is read from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "debugger/DebugConnection.h"

class DebugEventChannel {
public:
    virtual ~DebugEventChannel() = default;

    // "Breakpoint at main.src:12"; an unknown location is "" and -1.
    virtual void BreakpointAt(const std::string& file, int32_t line);
    virtual void ResumedByClient();
    virtual void ResumedByStepInto();
    virtual void ResumedByStepOver();
    virtual void Stopped();
    virtual void Started();
    // From any thread: a client not yet connected is no longer waited for.
    virtual void Interrupt() {}

protected:
    // Sends one event's text; the forms add their own line end.
    virtual void WriteEvent(const std::string& text) = 0;
};

class DebugConsoleEventChannel : public DebugEventChannel {
protected:
    void WriteEvent(const std::string& text) override;
};

class DebugSocketEventChannel : public DebugEventChannel {
public:
    // Listen, then Accept, as for the command channel.
    bool Listen(int port) { return m_connection.Listen(port); }
    uint16_t Port() const { return m_connection.Port(); }
    bool Accept() { return m_connection.Accept(); }
    void Interrupt() override { m_connection.StopAccepting(); }

protected:
    // Write errors are ignored: a client that left misses the event.
    void WriteEvent(const std::string& text) override;

private:
    DebugConnection m_connection;
};

// As OpenDebugCommandChannel, for events.
std::unique_ptr<DebugEventChannel> OpenDebugEventChannel(int port);
