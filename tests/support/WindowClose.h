// Asks a top-level X window to close the way a window manager does (a
// WM_DELETE_WINDOW client message). False when that cannot be sent.
#pragma once

#include <string>

namespace qemtest {

bool RequestWindowClose(const std::string& windowId);

}  // namespace qemtest
