#include "functions/NetworkPacket.h"

#include <algorithm>
#include <cstring>

#include "media/VRNetManager.h"
#include "vm/ByteStream.h"
#include "vm/VmValue.h"

const uint8_t kPacketMagic[kPacketMagicSize] = {0xFF, 'Q', 'E', 'M', '_', '0', '2', 0xFF};

namespace {

constexpr size_t kLengthAt = 8;
constexpr size_t kNameLengthAt = 13;

int32_t BigEndian32(const uint8_t* b) {
    return static_cast<int32_t>((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
                                uint32_t(b[3]));
}

bool StartsWithMagic(const uint8_t* data, size_t length) {
    return length >= kPacketMagicSize && std::memcmp(data, kPacketMagic, kPacketMagicSize) == 0;
}

// The most bytes one call drops while it looks for the next packet: a peer
// that floods the stream with garbage costs each call that much work, and
// the next call goes on looking.
constexpr size_t kResyncBytesPerCall = size_t{1} << 20;

// After bad data on a stream: drops the bytes before the next magic. Seven
// bytes are always kept back while none is found, as they may begin one.
// Only bytes already there are looked at: no call waits for more garbage.
void Resynchronise(PacketStream& stream, std::vector<uint8_t>& scratch) {
    size_t dropped = 0;
    for (bool first = true;; first = false) {
        if (dropped >= kResyncBytesPerCall || (!first && !stream.Readable())) return;
        const long peeked = stream.Peek(scratch.data(), scratch.size());
        if (peeked <= static_cast<long>(kPacketMagicSize) - 1) return;
        const uint8_t* begin = scratch.data();
        const uint8_t* end = begin + peeked;
        const uint8_t* found = std::search(begin, end, kPacketMagic, kPacketMagic + kPacketMagicSize);
        if (found != end) {
            if (found > begin) stream.Receive(scratch.data(), static_cast<size_t>(found - begin));
            return;
        }
        const long taken = stream.Receive(scratch.data(), static_cast<size_t>(peeked) - (kPacketMagicSize - 1));
        if (taken <= 0) return;
        dropped += static_cast<size_t>(taken);
    }
}

void EndPacket(NetSocketNode& node) {
    node.expected = -1;
    node.received = 0;
}

}  // namespace

bool WriteNetworkPacket(const CVmValue& value, const std::string* name, std::vector<uint8_t>& out) {
    out.clear();
    ByteWriter w(out);
    w.PutBytes(kPacketMagic, kPacketMagicSize);
    w.PutInt32(0);  // the length, once known
    w.PutByte(0xFF);
    if (name) {
        w.PutByte(static_cast<uint8_t>(name->size() + 1));
        w.PutBytes(name->data(), name->size());
        w.PutByte(0);
    } else {
        w.PutByte(0);
    }
    w.PutByte(0xFF);
    if (!value.WriteTo(w)) {
        out.clear();
        return false;
    }
    const uint32_t total = static_cast<uint32_t>(out.size());
    for (int k = 0; k < 4; ++k) out[kLengthAt + k] = static_cast<uint8_t>(total >> (24 - 8 * k));
    return true;
}

bool ReadNetworkPacket(const uint8_t* data, size_t length, VmObjectFactory* factory, CVmValue& value,
                       std::string& name) {
    if (!data || length < static_cast<size_t>(kPacketHeaderSize) || !StartsWithMagic(data, length)) return false;
    int64_t total = BigEndian32(data + kLengthAt);
    if (total == 0) total = static_cast<int64_t>(length);
    if (total < kPacketHeaderSize || total > static_cast<int64_t>(length)) return false;
    const size_t n = data[kNameLengthAt];
    const size_t valueAt = kPacketHeaderSize + n;
    if (valueAt > static_cast<size_t>(total)) return false;
    ByteReader in(data + valueAt, static_cast<size_t>(total) - valueAt);
    CVmValue read;
    if (!read.ReadFrom(in, factory)) return false;
    value.Move(read);
    name.assign(reinterpret_cast<const char*>(data + kNameLengthAt + 1), n);
    return true;
}

StreamPacket ReceiveStreamPacket(NetSocketNode& node, PacketStream& stream, std::vector<uint8_t>& scratch,
                                 VmObjectFactory* factory, CVmValue& value, std::string& name) {
    if ((node.value & kNetNonBlocking) && !stream.Readable()) return StreamPacket::None;
    if (node.expected < 1) {
        if (stream.Peek(scratch.data(), kPacketHeaderSize) < kPacketHeaderSize) return StreamPacket::None;
        const bool magic = StartsWithMagic(scratch.data(), kPacketHeaderSize);
        const int32_t expected = BigEndian32(scratch.data() + kLengthAt);
        if (!magic || expected < kPacketHeaderSize || expected > kStreamPacketMax) {
            // A good magic with a length no packet can have: the search for
            // the next packet starts after it.
            if (magic) stream.Receive(scratch.data(), 1);
            Resynchronise(stream, scratch);
            EndPacket(node);
            return StreamPacket::Invalid;
        }
        node.expected = expected;
        node.received = 0;
        node.Reserve(expected + 1);
    }
    const long n =
        stream.Receive(node.buffer.get() + node.received, static_cast<size_t>(node.expected - node.received));
    if (n <= 0) return StreamPacket::None;
    node.received += static_cast<int32_t>(n);
    if (node.received < node.expected) return StreamPacket::None;
    const size_t length = static_cast<size_t>(node.expected);
    node.buffer[length] = 0;
    EndPacket(node);
    return ReadNetworkPacket(node.buffer.get(), length, factory, value, name) ? StreamPacket::Packet
                                                                               : StreamPacket::Invalid;
}
