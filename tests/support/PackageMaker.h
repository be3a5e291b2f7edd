// Makes module packages and signed containers for tests: an encoder for the
// package compression format, a bit-level stream writer for hand-made
// streams, RSA key pairs made on the spot, and the two file layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct evp_pkey_st;

namespace qemtest {

using Bytes = std::vector<uint8_t>;

// Writes a compressed stream field by field, tag bits interleaved with the
// bytes exactly where the reader will look for them.
class PackageStreamWriter {
public:
    // The first byte, copied as is.
    PackageStreamWriter& First(uint8_t b);
    PackageStreamWriter& Bit(int bit);
    PackageStreamWriter& Byte(uint8_t b);
    PackageStreamWriter& Gamma(uint64_t value);  // value >= 2

    // 0 + byte
    PackageStreamWriter& Literal(uint8_t b) { return Bit(0).Byte(b); }
    // 10 + gamma(g) + byte + gamma(lengthCode): a match whose offset and
    // length the reader derives from the fields.
    PackageStreamWriter& Match(uint64_t g, uint8_t low, uint64_t lengthCode) {
        return Bit(1).Bit(0).Gamma(g).Byte(low).Gamma(lengthCode);
    }
    // 10 + gamma(2) + gamma(length): the last offset again (after a literal).
    PackageStreamWriter& Repeat(uint64_t length) { return Bit(1).Bit(0).Gamma(2).Gamma(length); }
    // 110 + byte
    PackageStreamWriter& Short(uint8_t b) { return Bit(1).Bit(1).Bit(0).Byte(b); }
    // 111 + 4 bits
    PackageStreamWriter& Nibble(int offset);
    PackageStreamWriter& End() { return Short(0); }

    const Bytes& Stream() const { return m_out; }

private:
    Bytes m_out;
    size_t m_tag = 0;
    int m_bitsLeft = 0;
};

// The package compression of `data` (not empty), ending with the end marker.
Bytes PackageCompress(const Bytes& data);

// An RSA key pair of 1024 bits, made when constructed.
class TestSigningKey {
public:
    TestSigningKey();
    ~TestSigningKey();
    TestSigningKey(const TestSigningKey&) = delete;
    TestSigningKey& operator=(const TestSigningKey&) = delete;

    // The public key as a 148-byte public-key blob.
    const Bytes& Blob() const { return m_blob; }
    // The 128-byte little-endian signature of the MD5 digest of the bytes.
    Bytes Sign(const uint8_t* data, size_t size) const;
    Bytes Sign(const Bytes& data) const { return Sign(data.data(), data.size()); }

private:
    evp_pkey_st* m_key = nullptr;
    Bytes m_blob;
};

enum class PackageKind { Compressed, Stored };

// A package of the library signed with the key. `statedSizeDelta` is added
// to the unpacked size that the header states.
Bytes MakePackage(const Bytes& library, const TestSigningKey& key, PackageKind kind = PackageKind::Compressed,
                  int64_t statedSizeDelta = 0);

struct ContainerEntry {
    std::string name;  // written into the 64-byte field as is (cut to 64)
    Bytes data;
};

// A container of the entries: the certificate carries the certificate key
// and is signed with the program key; each entry is signed with the
// certificate key. `nextOffsets`, when given, replaces the next-header
// offsets (one per entry).
Bytes MakeContainer(const std::vector<ContainerEntry>& entries, const TestSigningKey& programKey,
                    const TestSigningKey& certificateKey, const std::vector<uint32_t>& nextOffsets = {});

// Offsets of the container's headers, for tests that alter them.
std::vector<size_t> ContainerHeaderOffsets(const std::vector<ContainerEntry>& entries);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

}  // namespace qemtest
