// The services the engine machine offers the rest of the engine: the
// VR-configuration listener it starts for the scene, and the step hook of
// its debugger status link.
#include "engine/DebuggerStatusLink.h"
#include "engine/EngineMachine.h"

void CVRMachine::StartVRConfigListener() {
    if (Scene().stereo.Read().trackingMode <= 0) return;
    m_configListener.Start();
}

void DebuggerStatusHook(int32_t index, CVirtualMachine* machine) {
    // Only the engine machine installs this hook.
    static_cast<CVRMachine*>(machine)->StatusLink().Write(index);
}
