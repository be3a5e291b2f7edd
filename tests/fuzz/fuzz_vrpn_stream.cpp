// Feeds arbitrary bytes, in pieces (the first byte sets their size), to a
// VRPN client's end of a connection whose messages go to a tracker, a
// button device and an analog device: nothing may be written outside their
// reports, and once the bytes are refused the peer stays refused.
#include <cstdlib>
#include <sstream>

#include "media/VrpnClient.h"
#include "media/VrpnEndpoint.h"

namespace {

VrpnModule& Devices() {
    static VrpnModule* module = [] {
        static std::ostringstream sink;
        auto* m = new VrpnModule();
        m->out = &sink;
        m->err = &sink;
        const float map[3] = {2, -1, 3};
        // Port 1: nothing connects, the bytes come from the fuzzer alone.
        VrpnAddTracker(*m, "Tracker0@127.0.0.1:1", 4, map);
        VrpnAddButton(*m, "Button0@127.0.0.1:1", 8);
        VrpnAddAnalog(*m, "Analog0@127.0.0.1:1", 16);
        return m;
    }();
    return *module;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    VrpnModule& m = Devices();
    VrpnConnection& connection = *m.trackers[0]->remote;
    const auto dispatch = [&](const std::string& sender, const std::string& type, const VrpnMessageView& message) {
        connection.Dispatch(sender, type, message);
    };
    VrpnEndpoint peer(-1);
    const size_t piece = 1 + data[0] % 64;
    bool refused = false;
    for (size_t at = 1; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        const bool taken = peer.Consume(data + at, n, dispatch);
        if (refused && taken) std::abort();
        refused = refused || !taken;
    }
    if (m.sensorReports.size() != 4 || m.buttonStates.size() != 8 || m.analogValues.size() != 16) std::abort();
    return 0;
}
