// Reads arbitrary bytes as one datagram, and as a TCP stream that arrives
// in pieces (the first byte sets their size): the reassembly must take at
// least one byte for every packet or bad-data report it gives, never grow
// past the longest packet, and give names no longer than a packet carries.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "functions/NetworkPacket.h"
#include "media/VRNetManager.h"
#include "support/ChunkedStream.h"
#include "support/TestObjects.h"
#include "vm/VmValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qemtest::CountingObjectFactory factory;
    CVmValue value;
    std::string name;
    if (ReadNetworkPacket(data, size, &factory, value, name) && name.size() > 255) std::abort();
    if (size == 0) return 0;

    static std::vector<uint8_t> scratch(262144);
    const size_t piece = 1 + data[0] % 64;
    qemtest::ChunkedStream stream;
    NetSocketNode node;
    node.value = data[0] & kNetNonBlocking;
    size_t at = 1;
    size_t taken = 0;
    for (;;) {
        if (at < size) {
            const size_t n = std::min(piece, size - at);
            stream.Arrive(std::string(reinterpret_cast<const char*>(data + at), n));
            at += n;
        }
        const size_t before = stream.Left();
        const StreamPacket result = ReceiveStreamPacket(node, stream, scratch, &factory, value, name);
        if (node.Capacity() > kStreamPacketMax + 1 || name.size() > 255) std::abort();
        taken += before - stream.Left();
        if (result != StreamPacket::None && stream.Left() == before) std::abort();
        if (result == StreamPacket::None && at >= size && stream.Left() == before) break;
    }
    if (taken + stream.Left() != size - 1) std::abort();
    return 0;
}
