// The bytes one side of a VRPN connection sends, written message by message
// for tests that play a server or a client:
//
//   VrpnStream s;
//   s.Cookie().Sender(0, "Tracker0").Type(0, "vrpn_Tracker Pos_Quat");
//   s.PosQuat(0, 0, 1, {1, 2, 3}, {0, 0, 0, 1});
//   peer.Send(s.Take());
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qemtest {

class VrpnStream {
public:
    // 24 bytes: the text, then zero bytes.
    VrpnStream& Cookie(const std::string& text = "vrpn: ver. 07.35  0");
    VrpnStream& Sender(int32_t id, const std::string& name);
    VrpnStream& Type(int32_t id, const std::string& name);
    VrpnStream& Message(int32_t sender, int32_t type, const std::vector<uint8_t>& body);
    VrpnStream& PosQuat(int32_t sender, int32_t type, int32_t sensor, const std::vector<double>& position,
                        const std::vector<double>& quaternion);
    VrpnStream& Button(int32_t sender, int32_t type, int32_t button, int32_t state);
    VrpnStream& Analog(int32_t sender, int32_t type, const std::vector<double>& values);
    // An analog report whose count says otherwise than its values.
    VrpnStream& Analog(int32_t sender, int32_t type, double count, const std::vector<double>& values);
    // Bytes as they are, for framing the writer would not make.
    VrpnStream& Raw(const std::string& bytes);
    // The bytes so far; the stream starts empty again.
    std::string Take();

private:
    std::vector<uint8_t> m_bytes;
};

// A message read back: the header's words and the body without padding.
struct VrpnReadMessage {
    uint32_t length = 0;
    int32_t sender = 0;
    int32_t type = 0;
    std::string body;
};

// Splits bytes after a cookie into messages; false when they do not end on
// a message's end.
bool SplitVrpnMessages(const std::string& bytes, std::vector<VrpnReadMessage>& messages);

// The messages a test client read from a server, after its cookie: bytes
// are added as they arrive, descriptions name the ids.
struct VrpnReceived {
    void Add(const std::string& bytes);
    // The last message of the sender and type names, or null.
    const VrpnReadMessage* Last(const std::string& sender, const std::string& type) const;
    // How many messages of the sender and type names came.
    size_t Count(const std::string& sender, const std::string& type) const;

    std::vector<VrpnReadMessage> messages;
    std::map<int32_t, std::string> senders, types;
    // A message came before the description of its sender or type.
    bool undescribed = false;
    std::string pending;
};

// A quaternion (x, y, z, w) turning by the degrees about the unit axis, and
// the one of R = Rz(yaw) Ry(pitch) Rx(roll) in degrees, built by products
// of such turns.
std::vector<double> VrpnTurn(double degrees, double x, double y, double z);
std::vector<double> VrpnEulerTurn(double roll, double pitch, double yaw);

// A body's words.
int32_t VrpnInt(const std::string& body, size_t at);
double VrpnDouble(const std::string& body, size_t at);

}  // namespace qemtest
