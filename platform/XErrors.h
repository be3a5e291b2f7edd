// An X error (a failed GLX call, say) is logged instead of ending the
// process, which is what Xlib's default handler does; a lost connection
// ends the program through the handler the program gave.
#pragma once

#include <functional>

// Installs the handlers once; safe to call from any thread.
void InstallXErrorHandler();

// What ends the program when a display connection is lost (the X server
// went away): called once, on the first thread that finds out, and expected
// to end the process itself. Every other thread that meets the lost
// connection waits there for that end: Xlib must not end the process from
// two threads at once, nor run exit handlers that wait for threads stuck in
// it. Without a handler the process ends with status 1, as Xlib's does.
void SetDisplayLostHandler(void (*handler)());

// Whether the window still exists on the display; asking does not log the
// error that a destroyed window answers with.
bool XWindowAlive(void* display, unsigned long window);

// Runs the requests on the connection with their errors kept out of the log
// (other threads' errors are logged as ever); whether none of them failed.
bool XRequestsSucceed(void* display, const std::function<void()>& requests);
