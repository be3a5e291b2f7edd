// An X error (a failed GLX call, say) is logged instead of ending the
// process, which is what Xlib's default handler does.
#pragma once

// Installs the handler once; safe to call from any thread.
void InstallXErrorHandler();

// Whether the window still exists on the display; asking does not log the
// error that a destroyed window answers with.
bool XWindowAlive(void* display, unsigned long window);
