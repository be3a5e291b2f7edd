#include "media/VrpnEndpoint.h"

#include "platform/Ipv4Socket.h"

int32_t VrpnNameTable::Find(const std::string& name) const {
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == name) return static_cast<int32_t>(i);
    return -1;
}

int32_t VrpnNameTable::Id(const std::string& name) {
    const int32_t known = Find(name);
    if (known >= 0) return known;
    m_names.push_back(name);
    return static_cast<int32_t>(m_names.size() - 1);
}

VrpnEndpoint::VrpnEndpoint(int socket) : m_socket(socket) { VrpnAppendCookie(m_out); }

VrpnEndpoint::~VrpnEndpoint() { Ipv4Socket::Close(m_socket); }

bool VrpnEndpoint::Receive(const Handler& handler) {
    uint8_t buffer[65536];
    size_t total = 0;
    while (total < kMaxQueued) {
        const long n = Ipv4Socket::Receive(m_socket, buffer, sizeof buffer);
        if (n > 0) {
            if (!Consume(buffer, static_cast<size_t>(n), handler)) return false;
            total += static_cast<size_t>(n);
            continue;
        }
        return n < 0 && Ipv4Socket::WouldBlock();
    }
    return true;
}

bool VrpnEndpoint::Consume(const uint8_t* data, size_t size, const Handler& handler) {
    m_reader.Append(data, size);
    for (;;) {
        switch (m_reader.Next()) {
        case VrpnStreamReader::Result::NeedMore:
            return true;
        case VrpnStreamReader::Result::Bad:
            return false;
        case VrpnStreamReader::Result::Cookie:
            m_connected = true;
            break;
        case VrpnStreamReader::Result::Message: {
            const VrpnMessageView& m = m_reader.Message();
            if (m.type == kVrpnSenderDescription) {
                Remember(m_remoteSenders, m);
            } else if (m.type == kVrpnTypeDescription) {
                Remember(m_remoteTypes, m);
            } else if (m.type >= 0) {
                const auto sender = m_remoteSenders.find(m.sender);
                const auto type = m_remoteTypes.find(m.type);
                if (sender != m_remoteSenders.end() && type != m_remoteTypes.end())
                    handler(sender->second, type->second, m);
            }
            break;
        }
        }
    }
}

void VrpnEndpoint::Remember(std::unordered_map<int32_t, std::string>& names, const VrpnMessageView& m) {
    std::string name;
    if (!VrpnReadDescription(m, name) || m.sender < 0) return;
    if (name.size() > kMaxNameLength) {
        // No device has such a name: the id names nothing from now on.
        names.erase(m.sender);
        return;
    }
    const auto known = names.find(m.sender);
    if (known != names.end())
        known->second = name;
    else if (names.size() < kMaxRemoteIds)
        names.emplace(m.sender, name);
}

void VrpnEndpoint::Describe(int32_t type, int32_t id, const std::string& name, std::vector<bool>& described,
                            VrpnTime time) {
    const size_t at = static_cast<size_t>(id);
    if (at < described.size() && described[at]) return;
    if (at >= described.size()) described.resize(at + 1, false);
    described[at] = true;
    VrpnAppendMessage(m_out, id, type, time, VrpnDescriptionBody(name));
}

void VrpnEndpoint::Send(const VrpnLocalNames& names, int32_t sender, int32_t type, VrpnTime time,
                        const std::vector<uint8_t>& body) {
    if (m_failed) return;
    Describe(kVrpnSenderDescription, sender, names.senders.Name(sender), m_describedSenders, time);
    Describe(kVrpnTypeDescription, type, names.types.Name(type), m_describedTypes, time);
    VrpnAppendMessage(m_out, sender, type, time, body);
    Flush();
}

bool VrpnEndpoint::Flush() {
    if (m_failed) return false;
    while (m_socket >= 0 && m_outStart < m_out.size()) {
        const long n = Ipv4Socket::Send(m_socket, m_out.data() + m_outStart, m_out.size() - m_outStart);
        if (n > 0) {
            m_outStart += static_cast<size_t>(n);
        } else if (n < 0 && Ipv4Socket::WouldBlock()) {
            break;
        } else {
            m_failed = true;
            return false;
        }
    }
    if (m_outStart == m_out.size()) {
        m_out.clear();
        m_outStart = 0;
    } else if (m_outStart >= m_out.size() / 2) {
        m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(m_outStart));
        m_outStart = 0;
    }
    if (Queued() > kMaxQueued) m_failed = true;
    return !m_failed;
}

std::vector<uint8_t> VrpnEndpoint::TakeQueued() {
    std::vector<uint8_t> bytes(m_out.begin() + static_cast<std::ptrdiff_t>(m_outStart), m_out.end());
    m_out.clear();
    m_outStart = 0;
    return bytes;
}
