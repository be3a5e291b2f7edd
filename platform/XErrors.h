// An X error (a failed GLX call, say) is logged instead of ending the
// process, which is what Xlib's default handler does.
#pragma once

#include <functional>

// Installs the handler once; safe to call from any thread.
void InstallXErrorHandler();

// Whether the window still exists on the display; asking does not log the
// error that a destroyed window answers with.
bool XWindowAlive(void* display, unsigned long window);

// Runs the requests on the connection with their errors kept out of the log
// (other threads' errors are logged as ever); whether none of them failed.
bool XRequestsSucceed(void* display, const std::function<void()>& requests);
