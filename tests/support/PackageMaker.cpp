#include "support/PackageMaker.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/ModulePackage.h"
#include "platform/Crypto.h"
#include "support/ZipWriter.h"

namespace qemtest {

namespace {

void PutLe32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// ---------------------------------------------------------------------------
// Streams

PackageStreamWriter& PackageStreamWriter::First(uint8_t b) { return Byte(b); }

PackageStreamWriter& PackageStreamWriter::Bit(int bit) {
    if (m_bitsLeft == 0) {
        m_tag = m_out.size();
        m_out.push_back(0);
        m_bitsLeft = 8;
    }
    --m_bitsLeft;
    if (bit) m_out[m_tag] |= static_cast<uint8_t>(1u << m_bitsLeft);
    return *this;
}

PackageStreamWriter& PackageStreamWriter::Byte(uint8_t b) {
    m_out.push_back(b);
    return *this;
}

PackageStreamWriter& PackageStreamWriter::Gamma(uint64_t value) {
    int top = 63;
    while (top > 0 && !(value >> top & 1)) --top;
    for (int i = top - 1; i >= 0; --i) Bit(static_cast<int>(value >> i & 1)).Bit(i > 0 ? 1 : 0);
    return *this;
}

PackageStreamWriter& PackageStreamWriter::Nibble(int offset) {
    Bit(1).Bit(1).Bit(1);
    for (int i = 3; i >= 0; --i) Bit(offset >> i & 1);
    return *this;
}

namespace {

// What the reader adds to a match's length code for an offset.
uint64_t LengthBonus(uint64_t offset) {
    if (offset >= 32000) return 2;
    if (offset >= 1280) return 1;
    if (offset < 128) return 2;
    return 0;
}

// Greedy matching over hash chains of 3-byte prefixes: plain, but it uses
// every kind of step the format has.
class Compressor {
public:
    explicit Compressor(const Bytes& data) : m_data(data), m_head(1 << 16, SIZE_MAX), m_prev(data.size(), SIZE_MAX) {}

    Bytes Run() {
        m_w.First(m_data[0]);
        Insert(0);
        size_t pos = 1;
        while (pos < m_data.size()) {
            size_t offset = 0, length = 0;
            Longest(pos, offset, length);
            const size_t used = length > 0 && Emit(offset, length) ? length : (EmitLiteral(pos), 1);
            for (size_t i = 0; i < used; ++i) Insert(pos + i);
            pos += used;
        }
        m_w.End();
        return m_w.Stream();
    }

private:
    uint32_t Hash(size_t pos) const {
        return (m_data[pos] * 2654435761u ^ m_data[pos + 1] * 40503u ^ m_data[pos + 2]) & 0xFFFF;
    }

    void Insert(size_t pos) {
        if (pos + 3 > m_data.size()) return;
        const uint32_t h = Hash(pos);
        m_prev[pos] = m_head[h];
        m_head[h] = pos;
    }

    size_t MatchLength(size_t pos, size_t from) const {
        size_t n = 0;
        while (pos + n < m_data.size() && m_data[from + n] == m_data[pos + n]) ++n;
        return n;
    }

    void Longest(size_t pos, size_t& offset, size_t& length) {
        offset = length = 0;
        if (!m_lastWasMatch && m_lastOffset && m_lastOffset <= pos) {
            const size_t n = MatchLength(pos, pos - m_lastOffset);
            if (n >= 2) offset = m_lastOffset, length = n;
        }
        if (pos + 3 > m_data.size()) return;
        int budget = 64;
        for (size_t c = m_head[Hash(pos)]; c != SIZE_MAX && budget-- > 0; c = m_prev[c]) {
            const size_t n = MatchLength(pos, c);
            if (n >= 2 && n > length) offset = pos - c, length = n;
        }
    }

    // False when the match has no encoding (too short for its offset).
    bool Emit(size_t offset, size_t length) {
        if (!m_lastWasMatch && offset == m_lastOffset) {
            m_w.Repeat(length);
        } else if (offset < 128 && length <= 3) {
            m_w.Short(static_cast<uint8_t>(offset << 1 | (length - 2)));
        } else {
            if (length < LengthBonus(offset) + 2) return false;
            m_w.Match((offset >> 8) + (m_lastWasMatch ? 2 : 3), static_cast<uint8_t>(offset & 0xFF),
                      length - LengthBonus(offset));
        }
        m_lastOffset = offset;
        m_lastWasMatch = true;
        return true;
    }

    void EmitLiteral(size_t pos) {
        const uint8_t b = m_data[pos];
        int near = b == 0 ? 0 : -1;
        for (int k = 1; near < 0 && k <= 15 && static_cast<size_t>(k) <= pos; ++k)
            if (m_data[pos - k] == b) near = k;
        if (near >= 0)
            m_w.Nibble(near);
        else
            m_w.Literal(b);
        m_lastWasMatch = false;
    }

    const Bytes& m_data;
    std::vector<size_t> m_head;
    std::vector<size_t> m_prev;
    PackageStreamWriter m_w;
    size_t m_lastOffset = 0;
    bool m_lastWasMatch = false;
};

}  // namespace

Bytes PackageCompress(const Bytes& data) {
    if (data.empty()) throw std::invalid_argument("nothing to compress");
    return Compressor(data).Run();
}

// ---------------------------------------------------------------------------
// Keys

TestSigningKey::TestSigningKey() : m_blob(kPackageKeyBlobSize, 0) {
    m_key = EVP_RSA_gen(1024);
    BIGNUM* n = nullptr;
    if (!m_key || EVP_PKEY_get_bn_param(m_key, OSSL_PKEY_PARAM_RSA_N, &n) != 1)
        throw std::runtime_error("cannot make an RSA key");
    const uint8_t head[20] = {6, 2, 0, 0, 0x00, 0x24, 0, 0, 'R', 'S', 'A', '1', 0, 4, 0, 0, 1, 0, 1, 0};
    std::copy(head, head + 20, m_blob.begin());
    BN_bn2lebinpad(n, m_blob.data() + 20, 128);
    BN_free(n);
}

TestSigningKey::~TestSigningKey() { EVP_PKEY_free(m_key); }

Bytes TestSigningKey::Sign(const uint8_t* data, size_t size) const {
    const Md5Value digest = Md5Of(data, size);
    Bytes signature(256);
    size_t length = signature.size();
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(m_key, nullptr);
    const bool ok = ctx && EVP_PKEY_sign_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
                    EVP_PKEY_CTX_set_signature_md(ctx, EVP_md5()) == 1 &&
                    EVP_PKEY_sign(ctx, signature.data(), &length, digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    if (!ok || length != 128) throw std::runtime_error("cannot sign");
    signature.resize(length);
    std::reverse(signature.begin(), signature.end());
    return signature;
}

// ---------------------------------------------------------------------------
// Files

Bytes MakePackage(const Bytes& library, const TestSigningKey& key, PackageKind kind, int64_t statedSizeDelta) {
    Bytes payload = kind == PackageKind::Compressed ? PackageCompress(library) : library;
    const std::string phrase = BuildPackagePassPhrase();
    const Md5Value digest = Md5Of(phrase.data(), strnlen(phrase.data(), phrase.size()));
    uint8_t rc4Key[16] = {};
    std::memcpy(rc4Key, digest.data(), 5);
    Rc4(rc4Key, sizeof rc4Key).Apply(payload.data(), payload.size());

    Bytes out(kPackageHeaderSize, 0);
    const Bytes signature = key.Sign(library);
    std::copy(signature.begin(), signature.end(), out.begin() + 16);
    const char* magic = kind == PackageKind::Compressed ? "QEM_PAK" : "QEM_URL";
    std::memcpy(out.data() + 144, magic, 7);
    PutLe32(out, 152, static_cast<uint32_t>(static_cast<int64_t>(library.size()) + statedSizeDelta));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<size_t> ContainerHeaderOffsets(const std::vector<ContainerEntry>& entries) {
    std::vector<size_t> offsets;
    size_t at = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        offsets.push_back(at);
        at += (i == 0 ? kContainerFirstHeaderSize : kContainerHeaderSize) + entries[i].data.size();
    }
    return offsets;
}

Bytes MakeContainer(const std::vector<ContainerEntry>& entries, const TestSigningKey& programKey,
                    const TestSigningKey& certificateKey, const std::vector<uint32_t>& nextOffsets) {
    const std::vector<size_t> offsets = ContainerHeaderOffsets(entries);
    Bytes out;
    for (size_t i = 0; i < entries.size(); ++i) {
        Bytes header(i == 0 ? kContainerFirstHeaderSize : kContainerHeaderSize, 0);
        const Bytes signature = certificateKey.Sign(entries[i].data);
        std::copy(signature.begin(), signature.end(), header.begin() + 16);
        std::memcpy(header.data() + 144, "QEMCER_1", 8);
        PutLe32(header, 152, static_cast<uint32_t>(entries[i].data.size()));
        const uint32_t next = i < nextOffsets.size()        ? nextOffsets[i]
                              : i + 1 < entries.size() ? static_cast<uint32_t>(offsets[i + 1])
                                                          : 0;
        PutLe32(header, 156, next);
        std::memcpy(header.data() + 164, entries[i].name.data(), std::min<size_t>(entries[i].name.size(), 64));
        if (i == 0) {
            for (size_t k = 0; k < 516; ++k) header[228 + k] = static_cast<uint8_t>(k * 7);  // certificate text
            std::copy(certificateKey.Blob().begin(), certificateKey.Blob().end(), header.begin() + 744);
            const Bytes certificateSignature = programKey.Sign(header.data() + 228, 664);
            std::copy(certificateSignature.begin(), certificateSignature.end(), header.begin() + 892);
        }
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), entries[i].data.begin(), entries[i].data.end());
    }
    return out;
}

void WriteBytes(const std::string& path, const Bytes& bytes) { WriteFile(path, std::string(bytes.begin(), bytes.end())); }

Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadFile(path);
    return Bytes(text.begin(), text.end());
}

}  // namespace qemtest
