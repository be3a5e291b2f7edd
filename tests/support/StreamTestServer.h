// A streaming server for tests: an ENet host on 127.0.0.1 that greets every
// client with a message, keeps every message it receives, sends what the
// test gives it, and can drop the client. Its own thread serves the host.
// Beside it, a VP8 decoder for the frames it receives.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _ENetHost;
struct _ENetPeer;
struct vpx_codec_ctx;

namespace qemtest {

class StreamTestServer {
public:
    // Listens on the port (0: a free one); `greeting`, when not empty, is
    // sent to every client as it connects.
    explicit StreamTestServer(uint16_t port = 0, std::string greeting = "");
    ~StreamTestServer();
    StreamTestServer(const StreamTestServer&) = delete;
    StreamTestServer& operator=(const StreamTestServer&) = delete;

    bool Listening() const { return m_host != nullptr; }
    uint16_t Port() const { return m_port; }

    // How many clients have connected so far.
    int Connections();
    bool WaitConnections(int count, std::chrono::milliseconds timeout);
    // Sends the bytes reliably to the client; false when none is connected.
    bool Send(const std::string& bytes);
    // Drops the client (it sees the connection lost).
    void Disconnect();

    std::vector<std::string> Messages();
    size_t MessageCount();
    bool WaitMessages(size_t count, std::chrono::milliseconds timeout);

private:
    void Run();

    _ENetHost* m_host = nullptr;
    _ENetPeer* m_client = nullptr;
    uint16_t m_port = 0;
    std::string m_greeting;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_messages;
    int m_connections = 0;
    bool m_stop = false;
    std::thread m_thread;
};

// A frame message's parts: 112, 0, 1, then the 20-byte header (frame
// number and 16 zero bytes), then the VP8 frame.
struct StreamFrameMessage {
    uint32_t number = 0;
    bool zeroes = false;  // the header's 16 bytes after the number are zero
    std::string frame;
};
// False when the message is not a frame message on channel 1.
bool ReadFrameMessage(const std::string& message, StreamFrameMessage& out);

class Vp8Decoder {
public:
    Vp8Decoder();
    ~Vp8Decoder();
    Vp8Decoder(const Vp8Decoder&) = delete;
    Vp8Decoder& operator=(const Vp8Decoder&) = delete;

    // Decodes one frame; false when libvpx refuses it or shows nothing.
    bool Decode(const std::string& frame);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // A sample of the last picture: plane 0 (Y) at (x, y), planes 1 (U)
    // and 2 (V) at (x / 2, y / 2).
    int Sample(int plane, int x, int y) const;

private:
    vpx_codec_ctx* m_codec;
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_planes[3];
};

}  // namespace qemtest
