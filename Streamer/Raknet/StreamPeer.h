// The streamer's one connection to its streaming server, over ENet: a
// client host with one peer slot and one channel. Connection events come
// out of Receive as one-byte messages (kPeerConnectionAccepted,
// kPeerConnectionLost), received packets as they arrived. Not thread-safe:
// the streamer serialises every call under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct _ENetHost;
struct _ENetPeer;

// Ids of the messages the peer makes up for connection events.
constexpr uint8_t kPeerConnectionAccepted = 16;
constexpr uint8_t kPeerConnectionLost = 22;

// An IPv4 address (network byte order), its port and the peer's slot;
// every bit set while no system is assigned.
struct StreamPeerAddress {
    uint32_t host = 0xFFFFFFFFu;
    uint16_t port = 0xFFFF;
    uint16_t index = 0xFFFF;
};

// One message from the peer; it owns its bytes until the next Receive
// into it, Release or its end.
class StreamPeerPacket {
public:
    StreamPeerPacket() = default;
    ~StreamPeerPacket() { Release(); }
    StreamPeerPacket(const StreamPeerPacket&) = delete;
    StreamPeerPacket& operator=(const StreamPeerPacket&) = delete;

    const uint8_t* Data() const { return m_data; }
    size_t Length() const { return m_length; }
    const StreamPeerAddress& Sender() const { return m_sender; }
    void Release();

private:
    friend class StreamPeer;
    void* m_packet = nullptr;  // the ENet packet behind m_data, if any
    const uint8_t* m_data = nullptr;
    size_t m_length = 0;
    uint8_t m_event[1] = {0};
    StreamPeerAddress m_sender;
};

class StreamPeer {
public:
    // A connection attempt not accepted within this time is dropped.
    static constexpr uint32_t kConnectAttempts = 12;
    static constexpr uint32_t kConnectAttemptMs = 500;
    // The interval of the pings that keep a connection measured and alive.
    static constexpr uint32_t kPingIntervalMs = 1000;

    StreamPeer() = default;
    ~StreamPeer() { Shutdown(); }
    StreamPeer(const StreamPeer&) = delete;
    StreamPeer& operator=(const StreamPeer&) = delete;

    // Makes the client host (once); false, with a line on standard error,
    // when ENet cannot.
    bool Startup();
    // Destroys the host, and with it any connection.
    void Shutdown();
    // Starts connecting to host:port; false when there is no host, the
    // address does not resolve or the slot is taken.
    bool Connect(const char* host, uint16_t port);
    // True while a connection stands or an attempt is under way.
    bool Busy();
    bool Connected() const;
    // Pings every connection from now on (and the one that stands).
    void SetOccasionalPing(bool on);
    // The next event or message, without waiting; false when there is none.
    bool Receive(StreamPeerPacket& packet);
    // Sends the bytes unreliably (sequenced, in fragments when large) on
    // channel 0 to the connected server; false when none is connected or
    // ENet refuses.
    bool Send(const uint8_t* data, size_t length);
    // A few lines of the connection's counters ("" without a connection).
    std::string StatisticsText() const;

private:
    // Drops an attempt that has run out of time.
    void ExpireAttempt();

    _ENetHost* m_host = nullptr;
    _ENetPeer* m_peer = nullptr;  // the slot's peer once connecting
    bool m_connected = false;  // the slot's peer was accepted
    uint32_t m_attemptStart = 0;
    bool m_ping = false;
};
