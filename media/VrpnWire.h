// The bytes VRPN peers exchange over TCP. Integers and IEEE doubles are
// big-endian.
//
// - Each side first sends its cookie: 24 bytes, the version text
//   "vrpn: ver. 07.35  0" and zero bytes. A peer whose cookie does not start
//   "vrpn: ver. 07." speaks another version and is dropped.
// - Then messages: a 24-byte header of five 32-bit words (the length,
//   24 + the body's unpadded length; seconds; microseconds; sender id; type
//   id) and 4 zero bytes, then the body, zero-padded to a multiple of 8.
// - Sender and type ids belong to the side that sends them; it names each
//   one before using it: a sender description (type -1) or a type
//   description (type -2) carries the id in its sender field and, as its
//   body, a 32-bit length n and n bytes of name with its zero.
//
// The readers here trust nothing: a length out of range drops the peer,
// and a body shorter than its layout reads as nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kVrpnCookieSize = 24;
constexpr size_t kVrpnHeaderSize = 24;
// The longest message a peer may announce (header included); anything
// longer, or shorter than a header, is bad framing.
constexpr uint32_t kVrpnMaxMessageLength = 1u << 20;
// The most channels an analog report carries.
constexpr int32_t kVrpnMaxAnalogChannels = 128;

// The cookie this side sends, and the prefix a peer's must have.
extern const char kVrpnCookieText[];
extern const char kVrpnCookiePrefix[];

// System message types (negative). The UDP description, the log
// description and the disconnect message (-3, -4, -5) are ignored: all
// traffic stays on the TCP stream.
constexpr int32_t kVrpnSenderDescription = -1;
constexpr int32_t kVrpnTypeDescription = -2;

// The message types of the devices.
extern const char kVrpnTrackerPosQuat[];
extern const char kVrpnButtonChange[];
extern const char kVrpnAnalogChannel[];
extern const char kVrpnPing[];
extern const char kVrpnPong[];

// Bytes of a message body in the wire's byte order.
struct VrpnTime {
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
};
VrpnTime VrpnNow();

// One message as read: its body lies in the reader's buffer.
struct VrpnMessageView {
    uint32_t length = 0;  // as announced: header + unpadded body
    VrpnTime time;
    int32_t sender = 0;
    int32_t type = 0;
    const uint8_t* body = nullptr;
    size_t bodySize = 0;
};

// --- Writing ---------------------------------------------------------------

void VrpnAppendCookie(std::vector<uint8_t>& out);
// A whole message: header, body and its padding.
void VrpnAppendMessage(std::vector<uint8_t>& out, int32_t sender, int32_t type, VrpnTime time,
                       const std::vector<uint8_t>& body);
// The body of a sender or type description.
std::vector<uint8_t> VrpnDescriptionBody(const std::string& name);
std::vector<uint8_t> VrpnPosQuatBody(int32_t sensor, const double position[3], const double quaternion[4]);
std::vector<uint8_t> VrpnButtonChangeBody(int32_t button, int32_t state);
std::vector<uint8_t> VrpnAnalogChannelBody(const double* values, int32_t count);

// --- Reading ---------------------------------------------------------------

// The cookie of a peer that speaks this version.
bool VrpnCookieAccepted(const uint8_t cookie[kVrpnCookieSize]);
// A description's name: up to its zero, within the announced length; false
// when the body is too short or the announced name runs past it.
bool VrpnReadDescription(const VrpnMessageView& m, std::string& name);
// A tracker report: sensor, position x, y, z, quaternion x, y, z, w.
bool VrpnReadPosQuat(const VrpnMessageView& m, int32_t& sensor, double position[3], double quaternion[4]);
bool VrpnReadButtonChange(const VrpnMessageView& m, int32_t& button, int32_t& state);
// An analog report into values (room for kVrpnMaxAnalogChannels): the
// channels given, bounded by the body and that room; -1 when the body has
// no count.
int32_t VrpnReadAnalogChannel(const VrpnMessageView& m, double* values);

// Splits a byte stream into the cookie and then messages. Bytes come in
// pieces of any size; after bad bytes (a wrong cookie, a length out of
// range) the reader gives nothing more.
class VrpnStreamReader {
public:
    enum class Result { NeedMore, Cookie, Message, Bad };

    void Append(const uint8_t* data, size_t size);
    // The next piece of the stream; a Message stays valid until the next
    // Append.
    Result Next();
    const VrpnMessageView& Message() const { return m_message; }
    // Bytes held that no piece has taken yet.
    size_t Buffered() const { return m_buffer.size() - m_start; }

private:
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    bool m_cookieRead = false;
    bool m_bad = false;
    VrpnMessageView m_message;
};
