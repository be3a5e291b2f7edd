#include "PackageDecompress.h"

namespace {

// The source as the steps read it: whole bytes, and tag bits from tag
// bytes taken when the last one is used up. Every read is bounded.
class PackageStream {
public:
    PackageStream(const uint8_t* source, size_t size) : m_source(source), m_size(size) {}

    bool Byte(uint8_t& b) {
        if (m_pos >= m_size) return false;
        b = m_source[m_pos++];
        return true;
    }

    bool Bit(int& bit) {
        if (m_bitsLeft == 0) {
            if (!Byte(m_tag)) return false;
            m_bitsLeft = 8;
        }
        bit = m_tag >> 7;
        m_tag = static_cast<uint8_t>(m_tag << 1);
        --m_bitsLeft;
        return true;
    }

    // A gamma number. Values above `limit` can only lead to a refusal, so
    // they stop the read before they could grow further.
    bool PackageGammaDecode(uint64_t& value, uint64_t limit) {
        value = 1;
        int more = 0;
        do {
            int bit = 0;
            if (!Bit(bit)) return false;
            value = value * 2 + static_cast<uint64_t>(bit);
            if (value > limit || !Bit(more)) return false;
        } while (more);
        return true;
    }

private:
    const uint8_t* m_source;
    size_t m_size;
    size_t m_pos = 0;
    uint8_t m_tag = 0;
    int m_bitsLeft = 0;
};

// Copies `length` bytes from `offset` back, byte by byte so that an overlap
// repeats what the copy itself wrote.
bool CopyBack(uint8_t* out, size_t& written, size_t capacity, uint64_t offset, uint64_t length) {
    if (offset == 0 || offset > written || length > capacity - written) return false;
    for (uint64_t i = 0; i < length; ++i, ++written) out[written] = out[written - offset];
    return true;
}

}  // namespace

int64_t PackageDecompress(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t capacity) {
    if (!source || !destination || capacity == 0) return -1;
    PackageStream in(source, sourceSize);
    size_t written = 0;
    uint8_t b = 0;
    if (!in.Byte(b)) return -1;
    destination[written++] = b;

    // No legal offset or length exceeds the capacity; this also keeps the
    // gamma arithmetic far from overflow.
    const uint64_t limit = static_cast<uint64_t>(capacity) + 256;
    uint64_t lastOffset = 0;  // 0: none yet
    bool lastWasMatch = false;
    for (;;) {
        int bit = 0;
        if (!in.Bit(bit)) return -1;
        if (bit == 0) {  // 0: literal
            if (!in.Byte(b) || written >= capacity) return -1;
            destination[written++] = b;
            lastWasMatch = false;
            continue;
        }
        if (!in.Bit(bit)) return -1;
        if (bit == 0) {  // 10: match, or the last offset again
            uint64_t g = 0, length = 0, offset = 0;
            if (!in.PackageGammaDecode(g, limit)) return -1;
            if (!lastWasMatch && g == 2) {
                if (!in.PackageGammaDecode(length, limit) || lastOffset == 0) return -1;
                offset = lastOffset;
            } else {
                if (!in.Byte(b)) return -1;
                offset = (g - (lastWasMatch ? 2 : 3)) * 256 + b;
                if (!in.PackageGammaDecode(length, limit)) return -1;
                if (offset >= 32000)
                    length += 2;
                else if (offset >= 1280)
                    length += 1;
                else if (offset < 128)
                    length += 2;
                lastOffset = offset;
            }
            if (!CopyBack(destination, written, capacity, offset, length)) return -1;
            lastWasMatch = true;
            continue;
        }
        if (!in.Bit(bit)) return -1;
        if (bit == 0) {  // 110: short match or the end
            if (!in.Byte(b)) return -1;
            const uint64_t offset = b >> 1;
            if (offset == 0) return static_cast<int64_t>(written);
            if (!CopyBack(destination, written, capacity, offset, 2 + (b & 1))) return -1;
            lastOffset = offset;
            lastWasMatch = true;
            continue;
        }
        // 111: a byte from up to 15 back, or 0
        size_t offset = 0;
        for (int i = 0; i < 4; ++i) {
            if (!in.Bit(bit)) return -1;
            offset = offset * 2 + static_cast<size_t>(bit);
        }
        if (written >= capacity || offset > written) return -1;
        destination[written] = offset ? destination[written - offset] : 0;
        ++written;
        lastWasMatch = false;
    }
}
