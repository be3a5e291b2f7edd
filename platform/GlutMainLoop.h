// The program's window system: Xlib made ready for threads, GLUT set up with
// the display mode the program asks for, and the main loop, whose every
// turn runs one frame. Frames are driven from GLUT's idle callback, not by
// redisplay requests: freeglut stops calling the display callback while the
// window is unmapped or covered, and the script must go on running then.
#pragma once

#include <cstdint>
#include <functional>

// Before any other Xlib call: Xlib made safe for threads (the window's and
// the timer thread's GL contexts), and X errors logged instead of ending
// the process.
void PrepareWindowSystem();
// A connection to the display server, made as soon as the server takes
// one (trying again for a few seconds: a busy server turns clients away now
// and then, and a server whose last client left resets and refuses
// connections meanwhile), held while GLUT connects and closed after. GLUT
// ends the process on its first refusal, and a lone connection closed just
// before GLUT's would itself make the server reset.
class DisplayServerHold {
public:
    DisplayServerHold();
    ~DisplayServerHold();
    DisplayServerHold(const DisplayServerHold&) = delete;
    DisplayServerHold& operator=(const DisplayServerHold&) = delete;
    bool Reached() const { return m_display != nullptr; }

private:
    void* m_display = nullptr;
};
// GLUT with the program's arguments; closing
// the window returns from the main loop instead of ending the process.
void InitWindowSystem(int* argc, char** argv);

// The display mode (GLUT_* bits) and size of the window made next.
void SetNextWindowMode(unsigned int mode);
void SetNextWindowSize(int width, int height);
// Whether the display can give a window the mode set last.
bool NextWindowModePossible();

void MakeWindowFullScreen();
// The current GLUT window (0 when none).
int CurrentWindow();
// Shows the frame drawn into the current GLUT window (none: nothing).
void SwapWindowBuffers();

// Runs the main loop: `turn` once per turn while the loop runs, also while
// the window is hidden. Returns when LeaveWindowLoop was called or the
// window was closed.
void RunWindowLoop(std::function<void()> turn);
// Ends the main loop after the current turn (on the loop's thread).
void LeaveWindowLoop();

// False once the window was destroyed by another X client (not closed
// through the window manager, which GLUT reports). Looks it up at most
// every few hundred milliseconds; on the loop's thread.
bool WindowStillExists();
