// Reads arbitrary bytes as a call-back request datagram to a VRPN server:
// only a dotted IPv4 address, one blank and a port from 1 to 65535 (then a
// zero or the datagram's end) are taken.
#include <cstdlib>
#include <string>

#include "media/VrpnServerConnection.h"
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t address = 0;
    uint16_t port = 0;
    if (!VrpnReadCallBackRequest(data, size, address, port)) return 0;
    if (port == 0) std::abort();
    // What was taken is the text up to its zero, digit for digit.
    const std::string text(reinterpret_cast<const char*>(data), ::strnlen(reinterpret_cast<const char*>(data), size));
    if (text.find(' ') == std::string::npos || text.size() > 21) std::abort();
    return 0;
}
