// qem: runs a compiled script (or the script an HTML page names) in a window.
#include <X11/Xlib.h>

#include "host/Program.h"

int main(int argc, char** argv) {
    // Several threads use Xlib (the window's, the timer thread's context).
    XInitThreads();
    return QemMain(argc, argv);
}
