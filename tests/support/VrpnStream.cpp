#include "support/VrpnStream.h"

#include <cmath>
#include <cstring>

#include "media/VrpnWire.h"

namespace qemtest {

VrpnStream& VrpnStream::Cookie(const std::string& text) {
    std::string cookie = text;
    cookie.resize(24, '\0');
    return Raw(cookie);
}

VrpnStream& VrpnStream::Sender(int32_t id, const std::string& name) {
    return Message(id, kVrpnSenderDescription, VrpnDescriptionBody(name));
}

VrpnStream& VrpnStream::Type(int32_t id, const std::string& name) {
    return Message(id, kVrpnTypeDescription, VrpnDescriptionBody(name));
}

VrpnStream& VrpnStream::Message(int32_t sender, int32_t type, const std::vector<uint8_t>& body) {
    VrpnAppendMessage(m_bytes, sender, type, VrpnTime{1, 2}, body);
    return *this;
}

VrpnStream& VrpnStream::PosQuat(int32_t sender, int32_t type, int32_t sensor, const std::vector<double>& position,
                                const std::vector<double>& quaternion) {
    return Message(sender, type, VrpnPosQuatBody(sensor, position.data(), quaternion.data()));
}

VrpnStream& VrpnStream::Button(int32_t sender, int32_t type, int32_t button, int32_t state) {
    return Message(sender, type, VrpnButtonChangeBody(button, state));
}

VrpnStream& VrpnStream::Analog(int32_t sender, int32_t type, const std::vector<double>& values) {
    return Message(sender, type, VrpnAnalogChannelBody(values.data(), static_cast<int32_t>(values.size())));
}

VrpnStream& VrpnStream::Analog(int32_t sender, int32_t type, double count, const std::vector<double>& values) {
    std::vector<double> words(1, count);
    words.insert(words.end(), values.begin(), values.end());
    // The count is one more double; the writer's own count goes.
    std::vector<uint8_t> body = VrpnAnalogChannelBody(words.data(), static_cast<int32_t>(words.size()));
    body.erase(body.begin(), body.begin() + 8);
    return Message(sender, type, body);
}

VrpnStream& VrpnStream::Raw(const std::string& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

std::string VrpnStream::Take() {
    std::string bytes(m_bytes.begin(), m_bytes.end());
    m_bytes.clear();
    return bytes;
}

std::vector<double> VrpnTurn(double degrees, double x, double y, double z) {
    const double half = degrees * 3.14159265358979323846 / 360;
    return {x * std::sin(half), y * std::sin(half), z * std::sin(half), std::cos(half)};
}

namespace {

std::vector<double> Product(const std::vector<double>& a, const std::vector<double>& b) {
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1], a[3] * b[1] + a[1] * b[3] + a[2] * b[0] - a[0] * b[2],
            a[3] * b[2] + a[2] * b[3] + a[0] * b[1] - a[1] * b[0], a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

}  // namespace

std::vector<double> VrpnEulerTurn(double roll, double pitch, double yaw) {
    return Product(Product(VrpnTurn(yaw, 0, 0, 1), VrpnTurn(pitch, 0, 1, 0)), VrpnTurn(roll, 1, 0, 0));
}

int32_t VrpnInt(const std::string& body, size_t at) {
    if (at + 4 > body.size()) return 0;
    const auto* b = reinterpret_cast<const uint8_t*>(body.data() + at);
    return static_cast<int32_t>((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
}

double VrpnDouble(const std::string& body, size_t at) {
    const uint64_t bits = (uint64_t(uint32_t(VrpnInt(body, at))) << 32) | uint32_t(VrpnInt(body, at + 4));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool SplitVrpnMessages(const std::string& bytes, std::vector<VrpnReadMessage>& messages) {
    size_t at = 0;
    while (at < bytes.size()) {
        if (at + 24 > bytes.size()) return false;
        VrpnReadMessage m;
        m.length = static_cast<uint32_t>(VrpnInt(bytes, at));
        m.sender = VrpnInt(bytes, at + 12);
        m.type = VrpnInt(bytes, at + 16);
        if (m.length < 24) return false;
        const size_t body = m.length - 24;
        const size_t whole = 24 + ((body + 7) & ~size_t(7));
        if (at + whole > bytes.size()) return false;
        m.body = bytes.substr(at + 24, body);
        messages.push_back(m);
        at += whole;
    }
    return true;
}

void VrpnReceived::Add(const std::string& bytes) {
    pending += bytes;
    size_t used = 0;
    while (pending.size() - used >= 24) {
        const uint32_t length = static_cast<uint32_t>(VrpnInt(pending, used));
        if (length < 24) break;
        const size_t whole = 24 + ((length - 24 + 7) & ~size_t(7));
        if (pending.size() - used < whole) break;
        std::vector<VrpnReadMessage> one;
        SplitVrpnMessages(pending.substr(used, whole), one);
        used += whole;
        for (VrpnReadMessage& m : one) {
            const std::string name = m.body.size() > 4 ? m.body.substr(4, m.body.size() - 5) : "";
            if (m.type == -1) senders[m.sender] = name;
            if (m.type == -2) types[m.sender] = name;
            if (m.type >= 0 && (!senders.count(m.sender) || !types.count(m.type))) undescribed = true;
            messages.push_back(m);
        }
    }
    pending.erase(0, used);
}

const VrpnReadMessage* VrpnReceived::Last(const std::string& sender, const std::string& type) const {
    for (auto m = messages.rbegin(); m != messages.rend(); ++m)
        if (m->type >= 0 && senders.count(m->sender) && senders.at(m->sender) == sender && types.count(m->type) &&
            types.at(m->type) == type)
            return &*m;
    return nullptr;
}

size_t VrpnReceived::Count(const std::string& sender, const std::string& type) const {
    size_t n = 0;
    for (const VrpnReadMessage& m : messages)
        n += m.type >= 0 && senders.count(m.sender) && senders.at(m.sender) == sender && types.count(m.type) &&
             types.at(m.type) == type;
    return n;
}

}  // namespace qemtest
