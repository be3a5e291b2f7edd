#include "PackFormat.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The bits of a field's value, in the low `width` bytes.
void Store(uint8_t* out, uint64_t bits, int width, bool bigEndian) {
    for (int i = 0; i < width; ++i) out[bigEndian ? width - 1 - i : i] = static_cast<uint8_t>(bits >> (8 * i));
}

uint64_t Load(const uint8_t* in, int width, bool bigEndian) {
    uint8_t reversed[8];
    if (bigEndian && width == 8) {
        ReverseBytes8(in, reversed);
        in = reversed;
        bigEndian = false;
    }
    uint64_t bits = 0;
    for (int i = 0; i < width; ++i) bits |= uint64_t(in[bigEndian ? width - 1 - i : i]) << (8 * i);
    return bits;
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// The unsigned 32-bit truncation: through 64 bits, so that values up to
// 2^32 - 1 and negative ones keep their low bits.
uint32_t Truncate32Bits(float f) { return static_cast<uint32_t>(static_cast<uint64_t>(PackTruncate64(f))); }

// The field bits of a float packed with a numeric letter.
uint64_t PackedBits(char letter, float f) {
    switch (letter) {
    case 'c':
    case 'b':
    case 'h':
    case 'i':
    case 'l':
    case 'P': return static_cast<uint32_t>(PackTruncate32(f));
    case 'B':
    case 'H':
    case 'I':
    case 'L': return Truncate32Bits(f);
    case 'q':
    case 'Q': return static_cast<uint64_t>(PackTruncate64(f));
    case 'f': return FloatBits(f);
    case 'd': {
        const double d = f;
        uint64_t u;
        std::memcpy(&u, &d, 8);
        return u;
    }
    default: return 0;
    }
}

// The float of a field unpacked with a numeric letter.
float UnpackedValue(char letter, uint64_t bits) {
    switch (letter) {
    case 'c':
    case 'b': return static_cast<int8_t>(bits);
    case 'B': return static_cast<uint8_t>(bits);
    case 'h': return static_cast<int16_t>(bits);
    case 'i':
    case 'l':
    case 'P': return static_cast<float>(static_cast<int32_t>(bits));
    case 'q': return static_cast<float>(static_cast<int64_t>(bits));
    case 'Q': return static_cast<float>(bits);
    case 'f': {
        const uint32_t u = static_cast<uint32_t>(bits);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case 'd': {
        double d;
        std::memcpy(&d, &bits, 8);
        return static_cast<float>(d);
    }
    default: return 0.0f;
    }
}

// What a routine adds up, answered as -1 beyond the cap.
int32_t Capped(int64_t total) { return total > kPackFormatMaxSize ? -1 : static_cast<int32_t>(total); }

}  // namespace

PackFormatReader::PackFormatReader(std::string_view format, bool withLiterals)
    : m_format(format), m_withLiterals(withLiterals), m_bigEndian(kHostBigEndian) {
    if (m_format.empty()) return;
    switch (m_format[0]) {
    case '!':
    case '>': m_bigEndian = true; break;
    case '<': m_bigEndian = false; break;
    case '=':
    case '@': break;
    default: return;
    }
    m_pos = 1;
}

int PackFormatReader::FieldSize(char letter) {
    switch (letter) {
    case 'x':
    case 'c':
    case 'b':
    case 'B':
    case 's': return 1;
    case 'h':
    case 'H':
    case 'S': return 2;
    case 'i':
    case 'I':
    case 'l':
    case 'L':
    case 'P':
    case 'f': return 4;
    case 'q':
    case 'Q':
    case 'd': return 8;
    default: return 0;
    }
}

bool PackFormatReader::Next(PackItem& item) {
    item = PackItem();
    if (m_pos >= m_format.size()) return false;
    bool digits = false;
    int64_t count = 0;
    for (; m_pos < m_format.size() && IsDigit(m_format[m_pos]); ++m_pos) {
        digits = true;
        count = std::min<int64_t>(count * 10 + (m_format[m_pos] - '0'), INT32_MAX);
    }
    if (m_pos >= m_format.size() || FieldSize(m_format[m_pos]) == 0) {
        m_pos = m_format.size();  // the format ends here
        return false;
    }
    item.letter = m_format[m_pos++];
    item.count = digits ? count : 1;
    if (m_withLiterals && (item.letter == 's' || item.letter == 'S')) {
        const size_t n = std::min<size_t>(static_cast<size_t>(item.count), m_format.size() - m_pos);
        item.literal = m_format.substr(m_pos, n);
        m_pos += n;
    }
    return true;
}

int32_t PackFormatValueCount(std::string_view format) {
    PackFormatReader reader(format, false);
    PackItem item;
    int64_t total = 0;
    while (reader.Next(item)) {
        if (item.letter == 'x') continue;
        total += (item.letter == 's' || item.letter == 'S') ? 1 : item.count;
        if (total > kPackFormatMaxSize) return -1;
    }
    return Capped(total);
}

int32_t PackFormatByteSize(std::string_view format, bool withLiterals) {
    PackFormatReader reader(format, withLiterals);
    PackItem item;
    int64_t total = 0;
    while (reader.Next(item)) {
        total += item.count * PackFormatReader::FieldSize(item.letter);
        if (total > kPackFormatMaxSize) return -1;
    }
    return Capped(total);
}

int32_t PackVectorToBytes(const float* input, std::string_view format, uint8_t* output, int32_t inputCount,
                          size_t outputSize) {
    PackFormatReader reader(format, true);
    PackItem item;
    outputSize = std::min<size_t>(outputSize, kPackFormatMaxSize);
    if (!input) inputCount = 0;
    size_t pos = 0;
    int32_t used = 0;
    while (reader.Next(item)) {
        const int width = PackFormatReader::FieldSize(item.letter);
        const uint64_t bytes = static_cast<uint64_t>(item.count) * width;
        switch (item.letter) {
        case 'x':
        case 's':
        case 'S':
            if (bytes > outputSize - pos) return static_cast<int32_t>(pos);
            // Zeros, and the literal's characters (none for "x"): for "S" a
            // character byte, then a zero byte, in every byte order.
            std::memset(output + pos, 0, bytes);
            for (size_t i = 0; i < item.literal.size(); ++i) output[pos + i * width] = item.literal[i];
            pos += bytes;
            break;
        default:
            for (int64_t k = 0; k < item.count; ++k) {
                if (static_cast<size_t>(width) > outputSize - pos) return static_cast<int32_t>(pos);
                if (used < inputCount)
                    Store(output + pos, PackedBits(item.letter, input[used++]), width, reader.BigEndian());
                pos += width;
            }
        }
    }
    return static_cast<int32_t>(pos);
}

int32_t UnpackBytesToVector(std::string_view format, const uint8_t* data, size_t dataSize, float* output,
                            int32_t capacity) {
    PackFormatReader reader(format, false);
    PackItem item;
    if (!data) dataSize = 0;
    size_t pos = 0;
    int32_t n = 0;
    while (reader.Next(item)) {
        const int width = PackFormatReader::FieldSize(item.letter);
        const uint64_t bytes = static_cast<uint64_t>(item.count) * width;
        switch (item.letter) {
        case 'H':
        case 'I':
        case 'L': return n;
        case 'x':
            if (bytes > dataSize - pos) return n;
            pos += bytes;
            break;
        case 's':
        case 'S':
            if (n >= capacity || bytes > dataSize - pos) return n;
            output[n++] = static_cast<float>(pos);
            pos += bytes;
            break;
        default:
            for (int64_t k = 0; k < item.count; ++k) {
                if (n >= capacity || static_cast<size_t>(width) > dataSize - pos) return n;
                output[n++] = UnpackedValue(item.letter, Load(data + pos, width, reader.BigEndian()));
                pos += width;
            }
        }
    }
    return n;
}

void ReverseBytes8(const void* source, void* destination) {
    uint8_t b[8];
    std::memcpy(b, source, 8);
    std::reverse(b, b + 8);
    std::memcpy(destination, b, 8);
}

int32_t PackTruncate32(float value) {
    if (value >= -2147483648.0f && value < 2147483648.0f) return static_cast<int32_t>(value);
    return INT32_MIN;
}

int64_t PackTruncate64(float value) {
    if (value >= -9223372036854775808.0f && value < 9223372036854775808.0f) return static_cast<int64_t>(value);
    return INT64_MIN;
}
