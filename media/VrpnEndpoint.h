// One VRPN peer at the end of a TCP stream, as both the client connection
// and the server see it: the cookie exchange, the peer's sender and type
// names, the descriptions of this side's names sent before their first use,
// and the bytes queued for a socket that does not block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "media/VrpnWire.h"

// The names of one side's senders or types; an id is a name's place.
class VrpnNameTable {
public:
    // The id of the name, made when new.
    int32_t Id(const std::string& name);
    // The id of the name, or -1 when it has none.
    int32_t Find(const std::string& name) const;
    const std::string& Name(int32_t id) const { return m_names[static_cast<size_t>(id)]; }
    int32_t Count() const { return static_cast<int32_t>(m_names.size()); }

private:
    std::vector<std::string> m_names;
};

// The senders and types this side sends under.
struct VrpnLocalNames {
    VrpnNameTable senders;
    VrpnNameTable types;
};

class VrpnEndpoint {
public:
    // A message of the peer with its sender's and type's names.
    using Handler = std::function<void(const std::string& sender, const std::string& type, const VrpnMessageView&)>;

    // The most ids of each kind a peer may name, and the longest name kept:
    // a peer cannot make the tables grow without end.
    static constexpr size_t kMaxRemoteIds = 4096;
    static constexpr size_t kMaxNameLength = 1024;
    // A peer with more bytes than this waiting to go is dropped.
    static constexpr size_t kMaxQueued = size_t(1) << 20;

    // Owns the socket (non-blocking, or -1 for a peer fed by hand through
    // Consume); this side's cookie is queued at once.
    explicit VrpnEndpoint(int socket);
    ~VrpnEndpoint();
    VrpnEndpoint(const VrpnEndpoint&) = delete;
    VrpnEndpoint& operator=(const VrpnEndpoint&) = delete;

    int Socket() const { return m_socket; }
    // The peer's cookie came and was accepted.
    bool Connected() const { return m_connected; }

    // Reads what has arrived (at most about 1 MB at a time) and hands each
    // message with named sender and type to the handler; false when the
    // peer must be dropped (it closed, failed, or sent bad bytes).
    bool Receive(const Handler& handler);
    // Bytes received: the cookie, descriptions and messages in them; false
    // on bad bytes. Types -3 and beyond are ignored.
    bool Consume(const uint8_t* data, size_t size, const Handler& handler);

    // Queues a message, preceded by the descriptions of its sender and type
    // when the peer has not had them yet, and writes what the socket takes.
    void Send(const VrpnLocalNames& names, int32_t sender, int32_t type, VrpnTime time,
              const std::vector<uint8_t>& body);
    // Writes queued bytes the socket takes now; false when the socket failed
    // or too much waits.
    bool Flush();
    size_t Queued() const { return m_out.size() - m_outStart; }
    // The bytes queued, for a peer without a socket.
    std::vector<uint8_t> TakeQueued();

private:
    void Describe(int32_t type, int32_t id, const std::string& name, std::vector<bool>& described, VrpnTime time);
    void Remember(std::unordered_map<int32_t, std::string>& names, const VrpnMessageView& m);

    int m_socket;
    bool m_connected = false;
    bool m_failed = false;
    VrpnStreamReader m_reader;
    std::unordered_map<int32_t, std::string> m_remoteSenders;
    std::unordered_map<int32_t, std::string> m_remoteTypes;
    std::vector<bool> m_describedSenders;
    std::vector<bool> m_describedTypes;
    std::vector<uint8_t> m_out;
    size_t m_outStart = 0;
};
