#include "media/VrpnWire.h"

#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>

const char kVrpnCookieText[] = "vrpn: ver. 07.35  0";
const char kVrpnCookiePrefix[] = "vrpn: ver. 07.";

const char kVrpnTrackerPosQuat[] = "vrpn_Tracker Pos_Quat";
const char kVrpnButtonChange[] = "vrpn_Button Change";
const char kVrpnAnalogChannel[] = "vrpn_Analog Channel";
const char kVrpnPing[] = "vrpn_Base ping_message";
const char kVrpnPong[] = "vrpn_Base pong_message";

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutI32(std::vector<uint8_t>& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }

void PutDouble(std::vector<uint8_t>& out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    PutU32(out, static_cast<uint32_t>(bits >> 32));
    PutU32(out, static_cast<uint32_t>(bits));
}

uint32_t GetU32(const uint8_t* at) {
    return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | uint32_t(at[3]);
}

int32_t GetI32(const uint8_t* at) { return static_cast<int32_t>(GetU32(at)); }

double GetDouble(const uint8_t* at) {
    const uint64_t bits = (uint64_t(GetU32(at)) << 32) | GetU32(at + 4);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

size_t Padded(size_t n) { return (n + 7) & ~size_t(7); }

}  // namespace

VrpnTime VrpnNow() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    return {static_cast<uint32_t>(now.tv_sec), static_cast<uint32_t>(now.tv_usec)};
}

void VrpnAppendCookie(std::vector<uint8_t>& out) {
    const size_t at = out.size();
    out.resize(at + kVrpnCookieSize, 0);
    std::memcpy(out.data() + at, kVrpnCookieText, sizeof kVrpnCookieText - 1);
}

void VrpnAppendMessage(std::vector<uint8_t>& out, int32_t sender, int32_t type, VrpnTime time,
                       const std::vector<uint8_t>& body) {
    PutU32(out, static_cast<uint32_t>(kVrpnHeaderSize + body.size()));
    PutU32(out, time.seconds);
    PutU32(out, time.microseconds);
    PutI32(out, sender);
    PutI32(out, type);
    PutU32(out, 0);
    out.insert(out.end(), body.begin(), body.end());
    out.resize(out.size() + Padded(body.size()) - body.size(), 0);
}

std::vector<uint8_t> VrpnDescriptionBody(const std::string& name) {
    std::vector<uint8_t> body;
    PutU32(body, static_cast<uint32_t>(name.size() + 1));
    body.insert(body.end(), name.begin(), name.end());
    body.push_back(0);
    return body;
}

std::vector<uint8_t> VrpnPosQuatBody(int32_t sensor, const double position[3], const double quaternion[4]) {
    std::vector<uint8_t> body;
    PutI32(body, sensor);
    PutU32(body, 0);
    for (int i = 0; i < 3; ++i) PutDouble(body, position[i]);
    for (int i = 0; i < 4; ++i) PutDouble(body, quaternion[i]);
    return body;
}

std::vector<uint8_t> VrpnButtonChangeBody(int32_t button, int32_t state) {
    std::vector<uint8_t> body;
    PutI32(body, button);
    PutI32(body, state);
    return body;
}

std::vector<uint8_t> VrpnAnalogChannelBody(const double* values, int32_t count) {
    std::vector<uint8_t> body;
    PutDouble(body, count);
    for (int32_t i = 0; i < count; ++i) PutDouble(body, values[i]);
    return body;
}

bool VrpnCookieAccepted(const uint8_t cookie[kVrpnCookieSize]) {
    return std::memcmp(cookie, kVrpnCookiePrefix, sizeof kVrpnCookiePrefix - 1) == 0;
}

bool VrpnReadDescription(const VrpnMessageView& m, std::string& name) {
    if (m.bodySize < 4) return false;
    const uint32_t n = GetU32(m.body);
    if (n > m.bodySize - 4) return false;
    const char* text = reinterpret_cast<const char*>(m.body + 4);
    name.assign(text, ::strnlen(text, n));
    return true;
}

bool VrpnReadPosQuat(const VrpnMessageView& m, int32_t& sensor, double position[3], double quaternion[4]) {
    if (m.bodySize < 64) return false;
    sensor = GetI32(m.body);
    for (int i = 0; i < 3; ++i) position[i] = GetDouble(m.body + 8 + 8 * i);
    for (int i = 0; i < 4; ++i) quaternion[i] = GetDouble(m.body + 32 + 8 * i);
    return true;
}

bool VrpnReadButtonChange(const VrpnMessageView& m, int32_t& button, int32_t& state) {
    if (m.bodySize < 8) return false;
    button = GetI32(m.body);
    state = GetI32(m.body + 4);
    return true;
}

int32_t VrpnReadAnalogChannel(const VrpnMessageView& m, double* values) {
    if (m.bodySize < 8) return -1;
    const double announced = GetDouble(m.body);
    const size_t room = std::min<size_t>((m.bodySize - 8) / 8, kVrpnMaxAnalogChannels);
    // Compared as a double first: a huge or NaN count must not reach an
    // integer conversion.
    const int32_t count = announced >= 1 ? static_cast<int32_t>(std::min<double>(announced, room)) : 0;
    for (int32_t i = 0; i < count; ++i) values[i] = GetDouble(m.body + 8 + 8 * i);
    return count;
}

void VrpnStreamReader::Append(const uint8_t* data, size_t size) {
    if (m_bad || size == 0) return;
    // Consumed bytes go once they are half the buffer, so that a long
    // message arriving in small pieces is not moved again for each piece.
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

VrpnStreamReader::Result VrpnStreamReader::Next() {
    if (m_bad) return Result::Bad;
    const uint8_t* at = m_buffer.data() + m_start;
    const size_t held = m_buffer.size() - m_start;
    if (!m_cookieRead) {
        if (held < kVrpnCookieSize) return Result::NeedMore;
        if (!VrpnCookieAccepted(at)) {
            m_bad = true;
            return Result::Bad;
        }
        m_cookieRead = true;
        m_start += kVrpnCookieSize;
        return Result::Cookie;
    }
    if (held < kVrpnHeaderSize) return Result::NeedMore;
    const uint32_t length = GetU32(at);
    if (length < kVrpnHeaderSize || length > kVrpnMaxMessageLength) {
        m_bad = true;
        return Result::Bad;
    }
    const size_t bodySize = length - kVrpnHeaderSize;
    const size_t whole = kVrpnHeaderSize + Padded(bodySize);
    if (held < whole) return Result::NeedMore;
    m_message.length = length;
    m_message.time = {GetU32(at + 4), GetU32(at + 8)};
    m_message.sender = GetI32(at + 12);
    m_message.type = GetI32(at + 16);
    m_message.body = at + kVrpnHeaderSize;
    m_message.bodySize = bodySize;
    m_start += whole;
    return Result::Message;
}
