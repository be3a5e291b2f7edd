// The console host's side of the engine: what the engine passes out of the
// script goes to standard output.
#pragma once

#include "engine/EngineMachine.h"

class GlutContainer : public CVmContainer {
public:
    // Writes "<DATAOUT: ", the text and ">\n"; taken.
    int DataOut(const char* text) override;
    int HostRequest(int a, int b, int c) override;
};
