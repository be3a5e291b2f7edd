// A TCP connection in memory for the packet reassembly: the test hands it
// bytes as they would arrive, and a receive with nothing there fails as one
// on a non-blocking socket does.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "functions/NetworkPacket.h"

namespace qemtest {

class ChunkedStream : public PacketStream {
public:
    void Arrive(const std::string& bytes) { m_bytes += bytes; }
    size_t Left() const { return m_bytes.size(); }

    bool Readable() override { return !m_bytes.empty(); }
    long Peek(uint8_t* buffer, size_t size) override {
        if (m_bytes.empty()) return -1;
        const size_t n = std::min(size, m_bytes.size());
        std::memcpy(buffer, m_bytes.data(), n);
        return static_cast<long>(n);
    }
    long Receive(uint8_t* buffer, size_t size) override {
        const long n = Peek(buffer, size);
        if (n > 0) m_bytes.erase(0, static_cast<size_t>(n));
        return n;
    }

private:
    std::string m_bytes;
};

}  // namespace qemtest
