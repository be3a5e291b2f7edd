#include "Thread.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

uint32_t CurrentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

uint64_t MonotonicMicroseconds() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}
