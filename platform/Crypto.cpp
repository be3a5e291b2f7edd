#include "Crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// libcrypto's MD5, fetched once.
EVP_MD* FetchedMd5() {
    static EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md5;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool CryptoAvailable() {
    static const bool available = [] {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
        const bool rsa = ctx != nullptr;
        EVP_PKEY_CTX_free(ctx);
        return rsa && FetchedMd5() != nullptr;
    }();
    return available;
}

// ---------------------------------------------------------------------------
// MD5

struct Md5Digest::State {
    EVP_MD_CTX* ctx = nullptr;
};

Md5Digest::Md5Digest() : m_state(new State) {
    m_state->ctx = EVP_MD_CTX_new();
    m_ok = m_state->ctx && FetchedMd5() && EVP_DigestInit_ex2(m_state->ctx, FetchedMd5(), nullptr) == 1;
}

Md5Digest::~Md5Digest() { EVP_MD_CTX_free(m_state->ctx); }

void Md5Digest::Update(const void* data, size_t size) {
    if (m_ok && size > 0) m_ok = EVP_DigestUpdate(m_state->ctx, data, size) == 1;
}

Md5Value Md5Digest::Finish() {
    Md5Value digest{};
    unsigned int length = 0;
    if (m_ok && (EVP_DigestFinal_ex(m_state->ctx, digest.data(), &length) != 1 || length != digest.size())) {
        digest.fill(0);
        m_ok = false;
    }
    return digest;
}

Md5Value Md5Of(const void* data, size_t size) {
    Md5Digest d;
    d.Update(data, size);
    return d.Finish();
}

// ---------------------------------------------------------------------------
// RC4

Rc4::Rc4(const uint8_t* key, size_t keyLength) {
    for (int i = 0; i < 256; ++i) m_s[i] = static_cast<uint8_t>(i);
    if (keyLength == 0) return;
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<uint8_t>(j + m_s[i] + key[i % keyLength]);
        std::swap(m_s[i], m_s[j]);
    }
}

void Rc4::Apply(uint8_t* data, size_t size) {
    for (size_t k = 0; k < size; ++k) {
        m_i = static_cast<uint8_t>(m_i + 1);
        m_j = static_cast<uint8_t>(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        data[k] ^= m_s[static_cast<uint8_t>(m_s[m_i] + m_s[m_j])];
    }
}

// ---------------------------------------------------------------------------
// RSA public keys

RsaPublicKey::RsaPublicKey(const uint8_t* blob, size_t size) {
    constexpr uint8_t kPublicKeyBlob = 6;
    constexpr uint8_t kBlobVersion = 2;
    constexpr uint32_t kRsa1 = 0x31415352;  // "RSA1"
    constexpr uint32_t kBits = (kBlobSize - 20) * 8;
    if (!blob || size < kBlobSize || blob[0] != kPublicKeyBlob || blob[1] != kBlobVersion) return;
    if (ReadLe32(blob + 8) != kRsa1 || ReadLe32(blob + 12) != kBits) return;
    const uint32_t exponent = ReadLe32(blob + 16);
    if (exponent < 3 || (exponent & 1) == 0) return;

    BIGNUM* n = BN_lebin2bn(blob + 20, static_cast<int>(kBits / 8), nullptr);
    BIGNUM* e = BN_new();
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    if (n && e && build && ctx && BN_set_word(e, exponent) && BN_num_bits(n) == static_cast<int>(kBits) &&
        OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) && OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) &&
        (params = OSSL_PARAM_BLD_to_param(build)) && EVP_PKEY_fromdata_init(ctx) == 1) {
        EVP_PKEY* key = nullptr;
        if (EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params) == 1) m_key = key;
    }
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(e);
    BN_free(n);
    ERR_clear_error();  // a refused blob leaves nothing queued for later callers
}

RsaPublicKey::~RsaPublicKey() { EVP_PKEY_free(m_key); }

bool RsaPublicKey::VerifyMd5(const Md5Value& digest, const uint8_t* signature, size_t size) const {
    if (!m_key || !signature || size != kSignatureSize || !FetchedMd5()) return false;
    // The blob order is little-endian; libcrypto reads big-endian.
    uint8_t reversed[kSignatureSize];
    std::reverse_copy(signature, signature + size, reversed);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, m_key, nullptr);
    const bool valid = ctx && EVP_PKEY_verify_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
                       EVP_PKEY_CTX_set_signature_md(ctx, FetchedMd5()) == 1 &&
                       EVP_PKEY_verify(ctx, reversed, sizeof reversed, digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    ERR_clear_error();
    return valid;
}
