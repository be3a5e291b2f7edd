// The global functions of text output, the keyboard and focus, the host's
// data channel, clocks and dates, stopping the script, and the script's own
// events.
#pragma once

#include <atomic>
#include <cstdint>

#include "functions/FunctionTable.h"

class CVmInputOutputFunctions : public CVmFunctionGroup {
public:
    // Without a counter (a test seam: every machine here has one) the
    // performance timer counts from milliseconds times 1000.
    explicit CVmInputOutputFunctions(bool useCounter = true);

    // Ticks per second of the performance counter; 0 without one.
    int64_t PerformanceFrequency() const { return m_frequency; }
    int64_t TimerOrigin() const { return m_origin; }

protected:
    void AddFunctions() override;

private:
    void Output(CVmClassBase* object, int mode);
    void OutputLN(CVmClassBase* object, int mode);
    void Keyboard(CVmClassBase* object, int mode);
    void KeyPressed(CVmClassBase* object, int mode);
    void HasFocus(CVmClassBase* object, int mode);
    void DataIn(CVmClassBase* object, int mode);
    void DataOut(CVmClassBase* object, int mode);
    void GetTime(CVmClassBase* object, int mode);
    void GetDate(CVmClassBase* object, int mode);
    void Sleep(CVmClassBase* object, int mode);
    void GetPerformanceTimer(CVmClassBase* object, int mode);
    void ResetPerformanceTimer(CVmClassBase* object, int mode);
    void Quit(CVmClassBase* object, int mode);
    void Event(CVmClassBase* object, int mode);
    void EventPost(CVmClassBase* object, int mode);
    void EventSend(CVmClassBase* object, int mode);

    // Writes every parameter's text form to the stream.
    void WriteParams(std::ostream& os);
    // The event id of parameter 1 when it is one scripts may use; otherwise
    // the script error "invalid Event value." and false.
    bool ReadEventId(int32_t& id);
    // Parameter k, or Void when the call has none.
    const CVmValue& ParamOrVoid(int32_t k);
    // A reading of the counter (or of the milliseconds times 1000).
    int64_t TimerReading() const;

    const int64_t m_frequency;
    std::atomic<int64_t> m_origin;
};
