// Other programs' windows placed inside the engine's window.
//
// The engine window is the X window of the engine's GLUT window (or, in
// another host's window, the drawable of the calling thread's GL context).
// Every call works on a connection to the display of its own, so any script
// thread may make it.
#pragma once

#include <chrono>
#include <string>

// The X window that started programs are placed in; 0 when there is none.
unsigned long EngineXWindow();

// Starts the file through the shell (`/bin/sh -c 'exec "$0" <parameters>'
// file: the parameters are a shell command line, the file one word) and
// waits up to `wait` for its top-level window: a viewable window that its
// _NET_WM_PID property or the display (X-Resource extension) says belongs
// to the process, or else one that tells neither and was not there before
// the start. The window is then hidden, made a child of the engine window,
// moved and sized to x, y, width, height (in the engine window) and shown.
// Answers the window, or 0 when there is no engine window, the program
// cannot be started or ends first, or no window came in time; no window is
// touched then.
unsigned long StartEmbeddedApplication(const std::string& file, const std::string& parameters, int x, int y,
                                       int width, int height, std::chrono::milliseconds wait);

// Whether the window still exists.
bool EmbeddedWindowExists(unsigned long window);
// Maps (show) or unmaps the window.
bool ShowEmbeddedWindow(unsigned long window, bool show);
// Moves and sizes the window (in its parent) and raises it above its
// siblings.
bool PlaceEmbeddedWindow(unsigned long window, int x, int y, int width, int height);
// Asks the program to close the window (WM_DELETE_WINDOW) and returns; a
// window that does not take that request is destroyed.
bool CloseEmbeddedWindow(unsigned long window);
