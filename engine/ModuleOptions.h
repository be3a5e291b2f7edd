// The engine parameters that the module reads: "NAME=value;..." pieces.
#pragma once

#include <cstdint>
#include <string>

struct ModuleOptions {
    int32_t depth = -1;
    int32_t stencil = 0;
    int32_t stereo = 0;
    int32_t fov = 0;
    int32_t nearPlane = 0;
    int32_t farPlane = 0;
    int32_t quiet = 0;
    int32_t multisample = 1;
    // DOWNLOADLIMIT: megabytes one download may bring in (0: the download
    // manager's default).
    int32_t downloadLimit = 0;
    std::string engineUrl;
    // The debugger ports (exact-case names DBGOUT, DBGCMD, DBGEVT); 0 absent.
    int32_t dbgOut = 0;
    int32_t dbgCmd = 0;
    int32_t dbgEvt = 0;

    // Reads the pieces of an engine-parameter string; the text is not changed.
    static ModuleOptions Parse(const char* engineParam);
};
