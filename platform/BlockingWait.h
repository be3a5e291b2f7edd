// Waits that stopping the engine ends. A script function may wait for
// something that never comes (a peer that stalls, a port without data, a
// lock another process keeps); the program must still end when asked. Every
// such wait goes through here: it waits in short slices and asks between
// them whether a stop was requested, with the check the engine installed
// (SIGTERM, a closed window, a debugger's stop).
#pragma once

#include <cstdint>

// The question every blocking wait asks; null (the start) never stops.
using BlockingWaitStopCheck = bool (*)();
void SetBlockingWaitStopCheck(BlockingWaitStopCheck check);
// Whether waits should end now.
bool BlockingWaitStopped();

// The longest a wait sleeps between two looks at the stop check.
constexpr int kBlockingWaitSliceMs = 50;

enum class WaitResult { Ready, TimedOut, Stopped, Failed };

// Waits until the descriptor has one of the poll `events` (POLLIN, POLLOUT;
// an error or a hang-up counts as ready), at most `timeoutMs` milliseconds
// (a negative time: no limit), or until a stop is requested.
WaitResult WaitForDescriptor(int fd, short events, int timeoutMs);

// Sleeps up to `ms` milliseconds; false when a stop ended it early.
bool SleepUnlessStopped(int64_t ms);
