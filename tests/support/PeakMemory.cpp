#include "support/PeakMemory.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qemtest {

namespace {

// A field of /proc/self/status in bytes, or -1.
int64_t StatusBytes(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    int64_t value = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') value = std::atoll(line + n + 1) * 1024;
    std::fclose(f);
    return value;
}

}  // namespace

PeakMemory::PeakMemory() {
    // Memory freed before is given back first, so that reusing it shows.
    malloc_trim(0);
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return;
    const bool reset = std::fputs("5", f) >= 0;
    if (std::fclose(f) != 0 || !reset) return;
    m_start = StatusBytes("VmRSS");
}

int64_t PeakMemory::Growth() const {
    if (m_start < 0) return -1;
    const int64_t peak = StatusBytes("VmHWM");
    return peak < 0 ? -1 : peak - m_start;
}

}  // namespace qemtest
