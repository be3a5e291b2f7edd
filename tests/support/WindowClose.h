// Asks a top-level X window to close the way a window manager does (a
// WM_DELETE_WINDOW client message). False when that cannot be sent.
#pragma once

#include <string>

namespace qemtest {

bool RequestWindowClose(const std::string& windowId);

// Destroys another program's window, as a program that owns no part of it
// may (no window manager involved). False when that cannot be sent.
bool DestroyForeignWindow(const std::string& windowId);

}  // namespace qemtest
