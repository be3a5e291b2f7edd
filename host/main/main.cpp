// qem: runs a compiled script (or the script an HTML page names) in a window.
#include "host/Program.h"

int main(int argc, char** argv) { return QemMain(argc, argv); }
