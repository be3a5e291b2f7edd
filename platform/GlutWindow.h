// The engine's GLUT window on X11: creation (with or without decorations),
// its input callbacks turned into window messages for one handler, the focus
// that freeglut does not report, the key-state table, the cursor.
#pragma once

#include <cstdint>
#include <functional>

using WindowMessageHandler = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// Creates the GLUT window with the title; borderless asks the window manager
// for no decorations (Motif hints). Answers the GLUT window id.
int CreateHostWindow(const char* title, bool borderless);

// Sends every input callback of the current GLUT window, as window
// messages, to the handler (on the GLUT thread).
void InstallWindowMessages(WindowMessageHandler handler);

// Sends WM_SETFOCUS or WM_KILLFOCUS when the window gained or lost the
// keyboard focus since the last poll.
void PollWindowFocus();

// Whether a virtual key is down, as the last input messages left it.
bool IsVirtualKeyDown(int vk);

// Gives the window the keyboard focus.
void FocusEngineWindow();

// Shows a cursor shape (0 is the arrow).
void SetWindowCursorShape(int shape);

// True when the window carries the Motif hints that drop its decorations.
bool WindowIsBorderless(int window);
