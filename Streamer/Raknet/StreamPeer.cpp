#include "Streamer/Raknet/StreamPeer.h"

#include <enet/enet.h>

#include <chrono>
#include <cstdio>
#include <mutex>

namespace {

uint32_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool InitialiseEnet() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = enet_initialize() == 0; });
    return ready;
}

StreamPeerAddress AddressOf(const ENetPeer* peer) {
    StreamPeerAddress a;
    a.host = peer->address.host;
    a.port = peer->address.port;
    a.index = static_cast<uint16_t>(peer - peer->host->peers);
    return a;
}

}  // namespace

void StreamPeerPacket::Release() {
    if (m_packet) enet_packet_destroy(static_cast<ENetPacket*>(m_packet));
    m_packet = nullptr;
    m_data = nullptr;
    m_length = 0;
    m_sender = StreamPeerAddress();
}

bool StreamPeer::Startup() {
    if (m_host) return true;
    if (InitialiseEnet()) m_host = enet_host_create(nullptr, 1, 1, 0, 0);
    if (!m_host) std::fprintf(stderr, "Streamer: the network host could not be made; nothing will be streamed\n");
    return m_host != nullptr;
}

void StreamPeer::Shutdown() {
    if (m_host) enet_host_destroy(m_host);
    m_host = nullptr;
    m_peer = nullptr;
    m_connected = false;
}

bool StreamPeer::Connect(const char* host, uint16_t port) {
    if (!m_host || Busy()) return false;
    ENetAddress address;
    if (enet_address_set_host(&address, host) != 0) return false;
    address.port = port;
    m_peer = enet_host_connect(m_host, &address, 1, 0);
    if (!m_peer) return false;
    m_attemptStart = NowMs();
    m_connected = false;
    return true;
}

void StreamPeer::ExpireAttempt() {
    if (!m_peer) return;
    if (m_peer->state == ENET_PEER_STATE_DISCONNECTED) {
        m_peer = nullptr;
        m_connected = false;
    } else if (!m_connected && m_peer->state != ENET_PEER_STATE_CONNECTED &&
               NowMs() - m_attemptStart >= kConnectAttempts * kConnectAttemptMs) {
        enet_peer_reset(m_peer);
        m_peer = nullptr;
    }
}

bool StreamPeer::Busy() {
    ExpireAttempt();
    return m_peer != nullptr;
}

bool StreamPeer::Connected() const { return m_peer && m_connected && m_peer->state == ENET_PEER_STATE_CONNECTED; }

void StreamPeer::SetOccasionalPing(bool on) {
    m_ping = on;
    if (m_peer && m_ping) enet_peer_ping_interval(m_peer, kPingIntervalMs);
}

bool StreamPeer::Receive(StreamPeerPacket& packet) {
    packet.Release();
    if (!m_host) return false;
    ExpireAttempt();
    ENetEvent event;
    // A failed receive (-1) is a datagram lost, not the end of the host.
    if (enet_host_service(m_host, &event, 0) <= 0) return false;
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
        if (event.peer != m_peer) return false;
        m_connected = true;
        if (m_ping) enet_peer_ping_interval(m_peer, kPingIntervalMs);
        // A frame is never dropped at this end because the round trip
        // varied; what the network loses, the receiver's decoder copes with.
        enet_peer_throttle_configure(m_peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                     ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
        packet.m_event[0] = kPeerConnectionAccepted;
        break;
    case ENET_EVENT_TYPE_DISCONNECT: {
        if (event.peer != m_peer) return false;
        // An attempt that ENet gave up on was never a connection.
        const bool wasConnected = m_connected;
        m_peer = nullptr;
        m_connected = false;
        if (!wasConnected) return false;
        packet.m_event[0] = kPeerConnectionLost;
        break;
    }
    case ENET_EVENT_TYPE_RECEIVE:
        packet.m_packet = event.packet;
        packet.m_data = event.packet->data;
        packet.m_length = event.packet->dataLength;
        packet.m_sender = AddressOf(event.peer);
        return true;
    default:
        return false;
    }
    packet.m_data = packet.m_event;
    packet.m_length = 1;
    packet.m_sender = AddressOf(event.peer);
    return true;
}

bool StreamPeer::Send(const uint8_t* data, size_t length) {
    if (!Connected()) return false;
    ENetPacket* p = enet_packet_create(data, length, ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT);
    if (!p) return false;
    if (enet_peer_send(m_peer, 0, p) < 0) {
        if (p->referenceCount == 0) enet_packet_destroy(p);
        return false;
    }
    enet_host_flush(m_host);
    return true;
}

std::string StreamPeer::StatisticsText() const {
    if (!Connected()) return "";
    char text[512];
    std::snprintf(text, sizeof text,
                  "Round trip time: %u ms (variance %u ms)\n"
                  "Packet loss: %.2f%%\n"
                  "Packet throttle: %u / %u\n"
                  "Bytes sent: %u\nBytes received: %u\n"
                  "Datagrams sent: %u\nDatagrams received: %u\n",
                  m_peer->roundTripTime, m_peer->roundTripTimeVariance,
                  100.0 * m_peer->packetLoss / ENET_PEER_PACKET_LOSS_SCALE, m_peer->packetThrottle,
                  static_cast<unsigned>(ENET_PEER_PACKET_THROTTLE_SCALE), m_host->totalSentData,
                  m_host->totalReceivedData, m_host->totalSentPackets, m_host->totalReceivedPackets);
    return text;
}
