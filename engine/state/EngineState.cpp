#include "engine/state/EngineState.h"

EngineState* g_engineState = nullptr;
