// How far the process's resident memory rose while a piece of code ran: the
// peak (VmHWM) is brought down to what is resident now, and read later.
#pragma once

#include <cstdint>

namespace qemtest {

class PeakMemory {
public:
    // Starts counting from what is resident now.
    PeakMemory();
    // Whether the system lets the peak be reset (else Growth is -1).
    bool Available() const { return m_start >= 0; }
    // Bytes the peak rose above what was resident at the start.
    int64_t Growth() const;

private:
    int64_t m_start = -1;
};

}  // namespace qemtest
