#include "ModulePackage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/DownloadManager.h"
#include "engine/EngineMachine.h"
#include "engine/PackageDecompress.h"
#include "platform/Crypto.h"

namespace fs = std::filesystem;

namespace {

// The program's public key, then the table its pass phrase is built from.
// The private half of the key stays with the signing authority.
struct ProgramSecrets {
    uint8_t publicKey[kPackageKeyBlobSize];
    uint8_t passPhraseTable[kPackagePassPhraseSize];
};

const ProgramSecrets kProgramSecrets = {
    {
        0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 0x52, 0x53, 0x41, 0x31, 0x00, 0x04, 0x00, 0x00, 0x01,
        0x00, 0x01, 0x00, 0xB3, 0xDB, 0xD6, 0x20, 0x40, 0xC2, 0xDB, 0x10, 0x7A, 0xDA, 0x77, 0x48, 0x5C, 0x75,
        0x66, 0x8A, 0x89, 0x0C, 0x49, 0xDD, 0x1F, 0x60, 0x83, 0x3C, 0x4C, 0x81, 0xA7, 0x28, 0xDC, 0x84, 0xFD,
        0xDC, 0x0A, 0xE7, 0x4A, 0x20, 0xD8, 0x35, 0xA7, 0xD2, 0x2E, 0xD4, 0x59, 0x14, 0x75, 0xA8, 0x3D, 0x27,
        0xF0, 0xA8, 0x35, 0x08, 0xEA, 0xE1, 0x35, 0x64, 0xE6, 0xB2, 0x71, 0x3B, 0x23, 0x6E, 0xB9, 0x9F, 0x7E,
        0x96, 0xFA, 0x80, 0x8F, 0x7E, 0x73, 0x82, 0x19, 0x60, 0xC0, 0x8C, 0xBC, 0xED, 0x67, 0x97, 0xF8, 0xD2,
        0xBC, 0x39, 0x01, 0xCE, 0x07, 0xA7, 0x00, 0x92, 0xD2, 0x96, 0x55, 0xE6, 0xDE, 0x0C, 0x35, 0x9E, 0xF1,
        0xBE, 0xB5, 0xAF, 0xFC, 0x04, 0x12, 0x17, 0xCC, 0x32, 0xD0, 0xC2, 0x6C, 0x74, 0x44, 0xB7, 0x80, 0x4C,
        0xCB, 0xE5, 0xF1, 0x42, 0xC9, 0x45, 0x82, 0xEE, 0xE0, 0xC8, 0xF4, 0xD0,
    },
    {
        0xF6, 0x5C, 0x17, 0x56, 0x85, 0x31, 0xD7, 0x69, 0xC2, 0x55, 0x75, 0x64, 0xC8, 0x3F, 0xEB,
        0x58, 0x1E, 0xE5, 0xAA, 0xFF, 0x39, 0xE1, 0x0A, 0x5C, 0xAB, 0x17, 0x27, 0x84, 0xC1, 0xA6,
    },
};

const uint8_t* g_programKey = kProgramSecrets.publicKey;

constexpr size_t kSignatureOffset = 16;
constexpr size_t kMagicOffset = 144;
constexpr size_t kSizeOffset = 152;
constexpr size_t kNextOffset = 156;
constexpr size_t kNameOffset = 164;
constexpr size_t kNameSize = 64;
constexpr size_t kCertificateOffset = 228;
constexpr size_t kCertificateSize = 664;
constexpr size_t kCertificateKeyOffset = kCertificateOffset + kCertificateSize - kPackageKeyBlobSize;
constexpr size_t kCertificateSignatureOffset = 892;
constexpr size_t kBlockSize = 1024;

const char kCompressedMagic[8] = {'Q', 'E', 'M', '_', 'P', 'A', 'K', '\0'};
const char kContainerMagic[8] = {'Q', 'E', 'M', 'C', 'E', 'R', '_', '1'};

bool MagicIs(const uint8_t* header, const char* magic, size_t size) {
    return std::memcmp(header + kMagicOffset, magic, size) == 0;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode)); }

bool ReadExactly(std::FILE* f, void* buffer, size_t size) { return std::fread(buffer, 1, size, f) == size; }

// Closes a file that was written; false when the last writes failed.
bool CloseWritten(File& f) { return std::fclose(f.release()) == 0; }

// Reads the rest of a file; false when it cannot be read or holds more
// than `limit` bytes.
bool ReadRest(std::FILE* f, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        if (out.size() + n > limit) return false;
        out.insert(out.end(), block, block + n);
    }
    return !std::ferror(f);
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// The name a file is written under until its signature is checked.
std::string UnverifiedName(const std::string& path) { return path + ".unverified"; }

// Gives a verified file its name; the unverified file goes either way.
bool Publish(const std::string& unverified, const std::string& path) {
    std::error_code ec;
    fs::rename(unverified, path, ec);
    if (!ec) return true;
    RemoveFile(unverified);
    return false;
}

bool EndsWithIgnoringCase(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char a = s[s.size() - n + i];
        const char b = suffix[i];
        if (a != b && !(a >= 'A' && a <= 'Z' && a + ('a' - 'A') == b)) return false;
    }
    return true;
}

// An entry's file name: at most the field's 64 bytes, refused when empty or
// when it could name anything outside the working folder.
bool EntryName(const uint8_t* header, std::string& name) {
    const char* field = reinterpret_cast<const char*>(header + kNameOffset);
    name.assign(field, strnlen(field, kNameSize));
    return !name.empty() && name != "." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find("..") == std::string::npos;
}

}  // namespace

const uint8_t* ProgramPublicKey() { return g_programKey; }

ProgramKeyOverride::ProgramKeyOverride(const uint8_t* keyBlob) : m_previous(g_programKey) {
    std::memcpy(m_blob, keyBlob, sizeof m_blob);
    g_programKey = m_blob;
}

ProgramKeyOverride::~ProgramKeyOverride() { g_programKey = m_previous; }

std::string BuildPackagePassPhrase() {
    // Each byte is unmasked with a value chained through the bytes before
    // it, so the phrase never lies in the program as text.
    std::string phrase(kPackagePassPhraseSize, '\0');
    uint8_t chain = 0xA7;
    for (size_t i = 0; i < kPackagePassPhraseSize; ++i) {
        const uint8_t t = kProgramSecrets.passPhraseTable[i];
        phrase[i] = static_cast<char>(t ^ chain);
        chain = static_cast<uint8_t>(chain * 5 + t + i);
    }
    return phrase;
}

// ---------------------------------------------------------------------------
// Packages

int ReadModulePackage(const std::string& path, std::string& dllPath, CVRMachine& machine) {
    uint8_t header[kPackageHeaderSize] = {};
    {
        File f = OpenFile(path, "rb");
        if (!f) return kPackageCannotOpen;
        // A short file leaves zeros where the magic would be.
        (void)std::fread(header, 1, sizeof header, f.get());
    }
    if (MagicIs(header, "QEM_PAK", 7) || MagicIs(header, "QEM_URL", 7)) return UnpackPackage(path, dllPath, machine);
    if (MagicIs(header, "QEMCER_", 7)) return ReadSignedContainer(dllPath, machine, path);
    return kPackageUnrecognised;
}

int UnpackPackage(const std::string& path, std::string& dllPath, CVRMachine& machine) {
    dllPath = path + ".dll";
    uint8_t header[kPackageHeaderSize];
    {
        File f = OpenFile(path, "rb");
        if (!f) return kPackageCannotOpen;
        if (!ReadExactly(f.get(), header, sizeof header)) return kPackageUnrecognised;
    }
    // The library of an earlier unpack goes first: after a rejected package
    // no library of this name is left to load.
    RemoveFile(dllPath);
    const std::string unverified = UnverifiedName(dllPath);
    if (!DecryptPackage(path, unverified, machine) || !VerifyFileSignature(unverified, header + kSignatureOffset)) {
        RemoveFile(unverified);
        return kPackageRejected;
    }
    return Publish(unverified, dllPath) ? kPackageAccepted : kPackageUnrecognised;
}

bool DecryptPackage(const std::string& path, const std::string& dllPath, CVRMachine& machine) {
    const std::string phrase = BuildPackagePassPhrase();
    if (!CryptoAvailable()) {
        machine.ErrorMsg(2080);
        return false;
    }
    File out = OpenFile(dllPath, "wb");
    File in = OpenFile(path, "rb");
    if (!out || !in) return false;
    uint8_t header[kPackageHeaderSize];
    std::vector<uint8_t> payload;
    if (!ReadExactly(in.get(), header, sizeof header) || !ReadRest(in.get(), payload, kMaxPackagedLibrary)) return false;

    // The key is the first 5 bytes of the phrase's digest and 11 zeros.
    const Md5Value digest = Md5Of(phrase.data(), strnlen(phrase.data(), phrase.size()));
    uint8_t key[16] = {};
    std::memcpy(key, digest.data(), 5);
    Rc4(key, sizeof key).Apply(payload.data(), payload.size());

    std::vector<uint8_t> library;
    if (MagicIs(header, kCompressedMagic, sizeof kCompressedMagic)) {
        const uint32_t size = ReadLe32(header + kSizeOffset);
        if (size == 0 || size > kMaxPackagedLibrary) return false;
        library.resize(size);
        if (PackageDecompress(payload.data(), payload.size(), library.data(), size) != static_cast<int64_t>(size))
            return false;
    } else {
        library.swap(payload);
    }
    const bool written = std::fwrite(library.data(), 1, library.size(), out.get()) == library.size();
    return CloseWritten(out) && written;
}

bool VerifyFileSignature(const std::string& path, const uint8_t* signature) {
    if (!CryptoAvailable()) return false;
    const RsaPublicKey key(ProgramPublicKey(), kPackageKeyBlobSize);
    File f = OpenFile(path, "rb");
    if (!f || !key.Valid()) return false;
    Md5Digest md5;
    uint8_t block[kBlockSize];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) md5.Update(block, n);
    if (std::ferror(f.get())) return false;
    const Md5Value digest = md5.Finish();
    return md5.Ok() && key.VerifyMd5(digest, signature, kPackageSignatureSize);
}

// ---------------------------------------------------------------------------
// Signed containers

bool VerifyCertificate(const uint8_t* firstHeader) {
    if (!CryptoAvailable()) return false;
    const RsaPublicKey key(ProgramPublicKey(), kPackageKeyBlobSize);
    const Md5Value digest = Md5Of(firstHeader + kCertificateOffset, kCertificateSize);
    return key.VerifyMd5(digest, firstHeader + kCertificateSignatureOffset, kPackageSignatureSize);
}

bool CopyAndVerifyEntry(const uint8_t* signature, uint32_t length, std::FILE* source, std::FILE* target,
                        const uint8_t* keyBlob) {
    Md5Digest md5;
    uint8_t block[kBlockSize];
    for (uint32_t left = length; left > 0;) {
        const size_t n = std::min<size_t>(left, sizeof block);
        if (!ReadExactly(source, block, n) || std::fwrite(block, 1, n, target) != n) return false;
        md5.Update(block, n);
        left -= static_cast<uint32_t>(n);
    }
    const Md5Value digest = md5.Finish();
    const RsaPublicKey key(keyBlob, kPackageKeyBlobSize);
    return md5.Ok() && key.VerifyMd5(digest, signature, kPackageSignatureSize);
}

int ReadSignedContainer(std::string& dllPath, CVRMachine& machine, const std::string& containerPath) {
    dllPath.clear();
    File in = OpenFile(containerPath, "rb");
    if (!in) return kPackageCannotOpen;
    std::vector<uint8_t> header(kContainerFirstHeaderSize);
    if (!ReadExactly(in.get(), header.data(), header.size())) return kPackageUnrecognised;
    if (!VerifyCertificate(header.data())) return kPackageRejected;
    if (!MagicIs(header.data(), kContainerMagic, sizeof kContainerMagic)) return kPackageUnrecognised;
    uint8_t certificateKey[kPackageKeyBlobSize];
    std::memcpy(certificateKey, header.data() + kCertificateKeyOffset, sizeof certificateKey);

    const std::string& folder = machine.m_workingFolder;
    std::string library;
    uint32_t position = 0;  // of the header in hand
    for (;;) {
        std::string name;
        if (!EntryName(header.data(), name)) return kPackageUnrecognised;
        const std::string target = folder + name;
        const std::string unverified = UnverifiedName(target);
        File out = OpenFile(unverified, "wb");
        if (!out) return kPackageUnrecognised;
        // The entry's own signature, checked with the certificate's key,
        // decides whether the entry is kept.
        bool verified = CopyAndVerifyEntry(header.data() + kSignatureOffset, ReadLe32(header.data() + kSizeOffset),
                                           in.get(), out.get(), certificateKey);
        verified = CloseWritten(out) && verified;
        if (!verified) {
            RemoveFile(unverified);
            return kPackageRejected;
        }
        if (!Publish(unverified, target)) return kPackageUnrecognised;
        if (EndsWithIgnoringCase(name, ".zip")) machine.Downloads().UnpackInto(target, name, folder);
        if (library.empty() && EndsWithIgnoringCase(name, ".dll")) library = target;

        const uint32_t next = ReadLe32(header.data() + kNextOffset);
        if (next == 0) break;
        // Headers only ever lie further on, so no container can send the
        // reader round in a circle.
        if (next <= position) return kPackageUnrecognised;
        position = next;
        header.resize(kContainerHeaderSize);
        if (std::fseek(in.get(), static_cast<long>(next), SEEK_SET) != 0 ||
            !ReadExactly(in.get(), header.data(), header.size()) ||
            !MagicIs(header.data(), kContainerMagic, sizeof kContainerMagic))
            return kPackageUnrecognised;
    }
    // Without a library there is nothing to load.
    if (library.empty()) return kPackageUnrecognised;
    dllPath = library;
    return kPackageAccepted;
}
