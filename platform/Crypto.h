// Digests, the stream cipher and signature checks of signed files, on
// OpenSSL's libcrypto. Keys and signatures come in the byte order of the
// Windows key blobs that signed files carry: numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

struct evp_pkey_st;  // libcrypto's EVP_PKEY

using Md5Value = std::array<uint8_t, 16>;

// True when the digests and public-key operations can be had from
// libcrypto; nothing else here works without them.
bool CryptoAvailable();

// An MD5 digest being computed.
class Md5Digest {
public:
    Md5Digest();
    ~Md5Digest();
    Md5Digest(const Md5Digest&) = delete;
    Md5Digest& operator=(const Md5Digest&) = delete;

    // False when libcrypto could not set the digest up.
    bool Ok() const { return m_ok; }
    void Update(const void* data, size_t size);
    // The digest of everything fed so far (all zeros when not Ok).
    Md5Value Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_ok = false;
};

Md5Value Md5Of(const void* data, size_t size);

// RC4: the few lines are ours, since libcrypto keeps RC4 only in its
// legacy provider. Encrypting and decrypting are the same operation.
class Rc4 {
public:
    Rc4(const uint8_t* key, size_t keyLength);
    void Apply(uint8_t* data, size_t size);

private:
    uint8_t m_s[256];
    uint8_t m_i = 0;
    uint8_t m_j = 0;
};

// An RSA public key read from a public-key blob: an 8-byte blob header
// (type 6, version 2), the key header ("RSA1", bit length, public
// exponent) and the modulus, little-endian.
class RsaPublicKey {
public:
    static constexpr size_t kBlobSize = 148;  // for a 1024-bit key
    static constexpr size_t kSignatureSize = 128;

    // An invalid key when the blob is not a well-formed 1024-bit key.
    RsaPublicKey(const uint8_t* blob, size_t size);
    ~RsaPublicKey();
    RsaPublicKey(const RsaPublicKey&) = delete;
    RsaPublicKey& operator=(const RsaPublicKey&) = delete;

    bool Valid() const { return m_key != nullptr; }
    // True when the signature (kSignatureSize bytes, little-endian) is a
    // PKCS #1 v1.5 signature of the MD5 digest.
    bool VerifyMd5(const Md5Value& digest, const uint8_t* signature, size_t size) const;

private:
    evp_pkey_st* m_key = nullptr;
};
