// The engine's GLUT window on X11: creation (with or without decorations),
// its input callbacks turned into window messages for one handler, the focus
// that freeglut does not report, the key-state table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

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

// True when the window carries the Motif hints that drop its decorations.
bool WindowIsBorderless(int window);

// The X window id of the window CreateHostWindow made (0 before), for other
// programs' windows that belong to it.
unsigned long HostWindowId();

// While a modal dialog of the engine is open the thread that draws the
// window waits for it. A pause keeps the window responsive meanwhile without
// running frames: pressing keys or buttons and moving over it does nothing
// (releases still arrive afterwards, so that no key stays down), and what the
// dialog uncovers shows the last frame again. The GL buffers, with the frame
// being drawn, are not touched. On a thread that does not hold the window's
// GL context it does nothing.
class ModalWindowPause {
public:
    ModalWindowPause();
    ~ModalWindowPause();
    ModalWindowPause(const ModalWindowPause&) = delete;
    ModalWindowPause& operator=(const ModalWindowPause&) = delete;

    // Handles what reached the window since the last call; call it every few
    // milliseconds while waiting.
    void Service();

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};
