// The console program around the engine: command line, GLUT window, engine
// module, main loop, exit routine.
#pragma once

#include <functional>

// The frame-streaming mode's hooks (FrameStreamingHooks by default): start
// before the window exists, capture a frame (at most every 66 ms), stop at
// exit.
struct StreamingHooks {
    std::function<void()> start;
    std::function<void()> capture;
    std::function<void()> stop;
};
StreamingHooks& HostStreamingHooks();

// Runs the program; answers its exit code.
int QemMain(int argc, char** argv);

// The exit routine: the module ends (once), the working folder is restored,
// streaming stops.
void HostExit();
