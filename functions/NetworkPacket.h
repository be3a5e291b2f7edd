// The network variable packet: one script value, with an optional name, as
// the network functions send it (one packet per UDP datagram, packets back
// to back on a TCP stream). Big-endian integers:
//
//   0   8  FF "QEM_02" FF
//   8   4  the packet's total length, header included (0: as received)
//   12  1  FF
//   13  1  n: the name's length with its zero byte (0: no name)
//   14  n  the name and a zero byte
//   14+n 1 FF
//   15+n   the value in the byte encoding of script values
//
// Packets come from the network: the readers check every length against
// the bytes that are there, and a packet that says more than arrived is
// invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CVmValue;
class VmObjectFactory;
struct NetSocketNode;

constexpr size_t kPacketMagicSize = 8;
extern const uint8_t kPacketMagic[kPacketMagicSize];
// The header of a packet without a name (the value follows).
constexpr int32_t kPacketHeaderSize = 15;
// The longest name a packet carries.
constexpr size_t kPacketNameMax = 254;
// The longest packet taken from a stream: a longer length field is bad
// data, never an allocation.
constexpr int32_t kStreamPacketMax = 16 * 1024 * 1024;

// The packet of the value with the name (null: none; at most kPacketNameMax
// characters). False, and `out` empty, when the value has no encoding.
bool WriteNetworkPacket(const CVmValue& value, const std::string* name, std::vector<uint8_t>& out);

// The value and the name (its n bytes, the zero byte included; empty without
// a name) of the packet in the bytes; false when they hold no valid packet.
// Objects are made by the factory.
bool ReadNetworkPacket(const uint8_t* data, size_t length, VmObjectFactory* factory, CVmValue& value,
                       std::string& name);

// A TCP connection as the reassembly of its packets sees it.
class PacketStream {
public:
    virtual ~PacketStream() = default;
    // Whether a receive would give something now (asked on non-blocking
    // connections, and while looking for the next packet after bad data).
    virtual bool Readable() = 0;
    // The next bytes, left in the stream / taken from it: their count, 0 at
    // the stream's end, -1 on a failure (none there yet included).
    virtual long Peek(uint8_t* buffer, size_t size) = 0;
    virtual long Receive(uint8_t* buffer, size_t size) = 0;
};

enum class StreamPacket {
    None,     // no packet complete yet (or the stream gave nothing)
    Invalid,  // bad data, skipped up to the next packet's start
    Packet,   // `value` and `name` hold the packet
};

// One step of receiving packets on a connection whose state the node
// keeps: at most one packet per call, the rest waiting in the stream or the
// node for later calls. `scratch` is a work buffer (the machine's network
// buffer), at least kPacketHeaderSize bytes.
StreamPacket ReceiveStreamPacket(NetSocketNode& node, PacketStream& stream, std::vector<uint8_t>& scratch,
                                 VmObjectFactory* factory, CVmValue& value, std::string& name);
