// An extension entry point of the scene's GL set-up (scene/GLEntryPoints.h)
// as a GL function calls it: the pointer, or null after the script error
// "OpenGL extension not available" when the driver does not report the
// extension (the set-up then left the pointer null).
#pragma once

#include "vm/VirtualMachine.h"

template <class F>
F GLEntry(F f) {
    if (!f) VmErrorStream() << "OpenGL extension not available";
    return f;
}
