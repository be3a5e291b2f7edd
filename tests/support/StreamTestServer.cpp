#include "support/StreamTestServer.h"

#include <enet/enet.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

namespace qemtest {

StreamTestServer::StreamTestServer(uint16_t port, std::string greeting) : m_greeting(std::move(greeting)) {
    if (enet_initialize() != 0) return;
    ENetAddress address;
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = port;
    m_host = enet_host_create(&address, 4, 1, 0, 0);
    if (!m_host) return;
    m_port = m_host->address.port;
    m_thread = std::thread(&StreamTestServer::Run, this);
}

StreamTestServer::~StreamTestServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_host) enet_host_destroy(m_host);
}

void StreamTestServer::Run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) return;
            ENetEvent event;
            while (enet_host_service(m_host, &event, 0) > 0) {
                if (event.type == ENET_EVENT_TYPE_CONNECT) {
                    m_client = event.peer;
                    ++m_connections;
                    if (!m_greeting.empty())
                        enet_peer_send(m_client, 0,
                                       enet_packet_create(m_greeting.data(), m_greeting.size(),
                                                          ENET_PACKET_FLAG_RELIABLE));
                } else if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
                    if (event.peer == m_client) m_client = nullptr;
                } else if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                    m_messages.emplace_back(reinterpret_cast<const char*>(event.packet->data),
                                            event.packet->dataLength);
                    enet_packet_destroy(event.packet);
                }
            }
            enet_host_flush(m_host);
        }
        m_changed.notify_all();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int StreamTestServer::Connections() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

bool StreamTestServer::WaitConnections(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_connections >= count && m_client; });
}

bool StreamTestServer::Send(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_client) return false;
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (enet_peer_send(m_client, 0, packet) < 0) {
        enet_packet_destroy(packet);
        return false;
    }
    enet_host_flush(m_host);
    return true;
}

void StreamTestServer::Disconnect() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_client) enet_peer_disconnect(m_client, 0);
}

std::vector<std::string> StreamTestServer::Messages() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

size_t StreamTestServer::MessageCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

bool StreamTestServer::WaitMessages(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
}

bool ReadFrameMessage(const std::string& message, StreamFrameMessage& out) {
    if (message.size() < 23 || message.compare(0, 3, std::string("\x70\x00\x01", 3)) != 0) return false;
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(message[i])); };
    out.number = byte(3) | byte(4) << 8 | byte(5) << 16 | byte(6) << 24;
    out.zeroes = message.compare(7, 16, std::string(16, '\0')) == 0;
    out.frame = message.substr(23);
    return true;
}

Vp8Decoder::Vp8Decoder() : m_codec(new vpx_codec_ctx_t()) {
    if (vpx_codec_dec_init(m_codec, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) {
        delete m_codec;
        m_codec = nullptr;
    }
}

Vp8Decoder::~Vp8Decoder() {
    if (m_codec) vpx_codec_destroy(m_codec);
    delete m_codec;
}

bool Vp8Decoder::Decode(const std::string& frame) {
    if (!m_codec) return false;
    if (vpx_codec_decode(m_codec, reinterpret_cast<const uint8_t*>(frame.data()),
                         static_cast<unsigned int>(frame.size()), nullptr, 0) != VPX_CODEC_OK)
        return false;
    vpx_codec_iter_t iterator = nullptr;
    const vpx_image_t* image = vpx_codec_get_frame(m_codec, &iterator);
    if (!image) return false;
    m_width = static_cast<int>(image->d_w);
    m_height = static_cast<int>(image->d_h);
    for (int p = 0; p < 3; ++p) {
        const int w = p ? (m_width + 1) / 2 : m_width, h = p ? (m_height + 1) / 2 : m_height;
        m_planes[p].resize(static_cast<size_t>(w) * h);
        for (int row = 0; row < h; ++row)
            std::copy(image->planes[p] + static_cast<ptrdiff_t>(row) * image->stride[p],
                      image->planes[p] + static_cast<ptrdiff_t>(row) * image->stride[p] + w,
                      m_planes[p].begin() + static_cast<ptrdiff_t>(row) * w);
    }
    return true;
}

int Vp8Decoder::Sample(int plane, int x, int y) const {
    const int w = plane ? (m_width + 1) / 2 : m_width;
    if (plane) x /= 2, y /= 2;
    return m_planes[plane][static_cast<size_t>(y) * w + x];
}

}  // namespace qemtest
