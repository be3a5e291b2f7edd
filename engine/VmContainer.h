// The host the engine runs in, as the engine module sees it: a host that
// wants the script's data-out texts implements it and hands it to the module
// (OnCreate in engine/ModuleExports.h).
#pragma once

class CVmContainer {
public:
    virtual ~CVmContainer() = default;
    // The script's data-out text; non-zero when taken.
    virtual int DataOut(const char* text) = 0;
    virtual int HostRequest(int a, int b, int c) = 0;
};
