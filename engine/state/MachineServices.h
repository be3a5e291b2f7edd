// What the global functions ask of the engine machine beyond its state: the
// keyboard ring, the data channel to the host, the script's own events, and
// waits that stopping the engine ends. The machine implements it; a function
// reaches it through g_engineState->Services().
#pragma once

#include <cstdint>
#include <string>

class CVmValue;

class MachineServices {
public:
    virtual ~MachineServices() = default;

    // The next character of the keyboard ring, or -1 when it is empty.
    virtual int32_t NextKey() = 0;
    // The host's data-in text, once: taking it clears it.
    virtual std::string TakeDataIn() = 0;
    // Logs the script's data-out text and hands it to the host.
    virtual void SendDataOut(const char* text) = 0;

    // Queues a script event (id 2024 to 32767, with copies of the values) for
    // OnEvent and wakes the window thread; false when the queue was full and
    // the event is lost.
    virtual bool PostScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) = 0;
    // Runs OnEvent for the event before it answers, after the events queued
    // before it. Called from a script call, it opens the script lock for the
    // time, so that the nested call (and a waiting OnTimer) can run. Answers
    // the window's result for the message (0).
    virtual int32_t SendScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) = 0;

    // Waits ms milliseconds; false when stopping the engine ended it early.
    virtual bool SleepUnlessStopped(uint32_t ms) = 0;
};
