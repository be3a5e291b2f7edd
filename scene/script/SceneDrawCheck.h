// The Draw operations of the scene's script classes draw between SceneBegin
// and SceneEnd only.
#pragma once

#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

// True inside a frame; otherwise message 2008 "The command must be executed
// between SceneBegin and SceneEnd." stops the script.
inline bool RequireInScene() {
    if (g_engineState && g_engineState->Scene().inScene) return true;
    VmErrorMsg(2008);
    return false;
}
