// The program's end asked for from outside: SIGTERM, SIGINT and SIGHUP. The
// signal handler only writes the signal's number into a pipe; a watcher
// thread reads it and runs the program's handler there, so that the handler
// may take locks, write and wake other threads.
#pragma once

#include <functional>

// Starts watching (again, with a new handler, when already watching).
void WatchTermination(std::function<void(int signal)> handler);
// Stops the watcher thread and gives the signals their default action back.
// Not from the handler itself.
void StopWatchingTermination();
