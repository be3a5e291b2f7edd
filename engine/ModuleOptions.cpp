#include "engine/ModuleOptions.h"

#include <algorithm>
#include <cstdlib>

#include "debugger/DebugSessionLoader.h"
#include "vm/VmRegister.h"

namespace {

// Blanks and control characters off both ends.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace

ModuleOptions ModuleOptions::Parse(const char* engineParam) {
    ModuleOptions o;
    const std::string text = engineParam ? engineParam : "";
    // Pieces "name=value" separated by ';'; names without regard to case.
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string piece = text.substr(start, end - start);
        start = end + 1;
        const size_t eq = piece.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 >= piece.size()) continue;
        const std::string name = VmUpperName(Trim(piece.substr(0, std::min<size_t>(eq, 511))).c_str());
        const std::string value = Trim(piece.substr(eq + 1, 511));
        const int32_t number = std::atoi(value.c_str());
        if (name == "STEREO")
            o.stereo = 1;
        else if (name == "DEPTH")
            o.depth = number;
        else if (name == "STENCIL")
            o.stencil = number;
        else if (name == "__ENGINEURL")
            o.engineUrl = value;
        else if (name == "FOV")
            o.fov = number;
        else if (name == "NEAR")
            o.nearPlane = number;
        else if (name == "FAR")
            o.farPlane = number;
        else if (name == "QUIET")
            o.quiet = 1;
        else if (name == "MSAA")
            o.multisample = number;
        else if (name == "DOWNLOADLIMIT")
            o.downloadLimit = number > 0 ? number : 0;
    }
    const DebugPorts ports = ReadDebugPorts(text);
    o.dbgOut = ports.output;
    o.dbgCmd = ports.commands;
    o.dbgEvt = ports.events;
    return o;
}
