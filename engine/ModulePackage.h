// Module packages and signed containers: the two signed wrappings in which
// native modules may arrive instead of a plain library file.
//
// A package (".pak" or ".qmd") has a 164-byte header (little-endian):
//   16  128  signature of the MD5 digest of the unpacked library
//   144   8  "QEM_PAK\0" (compressed) or "QEM_URL" (stored)
//   152   4  unpacked size ("QEM_PAK" only)
// and from offset 164 on the payload, RC4-encrypted with a key derived from
// the program's pass phrase and, for "QEM_PAK", compressed (see
// PackageDecompress.h). "lib.pak" unpacks to "lib.pak.dll", which is kept
// only when its signature verifies with the program's public key.
//
// A signed container ("QEMCER_1" at offset 144) carries a certificate signed
// with the program's key and entries signed with the certificate's key. The
// first entry header has 1084 bytes, later ones 228; each is followed by its
// entry's data:
//   16  128  signature of the MD5 digest of the entry's data
//   144   8  "QEMCER_1"
//   152   4  length of the entry's data
//   156   4  file offset of the next header, 0 after the last entry
//   164  64  entry file name, NUL-terminated unless it fills the field
//   228 664  certificate (first header only); its last 148 bytes are the
//            certificate's public-key blob
//   892 128  signature of the certificate's MD5 digest (first header only)
// Entries are written into the machine's working folder; ".zip" entries are
// unpacked there too, and the first ".dll" entry is the library to load.
//
// Files are written under a temporary name and renamed only once verified;
// a rejected file is deleted, so nothing unverified is ever left loadable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CVRMachine;

// Results of ReadModulePackage, UnpackPackage and ReadSignedContainer.
enum PackageResult : int {
    kPackageAccepted = 1,
    kPackageCannotOpen = 2,
    kPackageUnrecognised = -1,  // not a package or container, or a file could not be written
    kPackageRejected = -3,      // a signature does not verify, or the contents are malformed
};

constexpr size_t kPackageHeaderSize = 164;
constexpr size_t kContainerFirstHeaderSize = 1084;
constexpr size_t kContainerHeaderSize = 228;
constexpr size_t kPackageSignatureSize = 128;
constexpr size_t kPackageKeyBlobSize = 148;
constexpr size_t kPackagePassPhraseSize = 30;
// The largest library a package or container entry may hold.
constexpr uint32_t kMaxPackagedLibrary = 256u << 20;

// Unpacks the package or container at `path`; `dllPath` receives the
// library to load when the answer is kPackageAccepted.
int ReadModulePackage(const std::string& path, std::string& dllPath, CVRMachine& machine);
// A package: decrypts it to `path` + ".dll" and verifies that file.
int UnpackPackage(const std::string& path, std::string& dllPath, CVRMachine& machine);
// Writes the decrypted (and expanded) library of the package to `dllPath`;
// false, with the file left empty, when the package cannot be unpacked.
bool DecryptPackage(const std::string& path, const std::string& dllPath, CVRMachine& machine);
// The 30-byte pass phrase that package keys are derived from.
std::string BuildPackagePassPhrase();
// True when the file's MD5 digest verifies against the 128-byte signature
// with the program's public key.
bool VerifyFileSignature(const std::string& path, const uint8_t* signature);

// A container: see above. `dllPath` receives the first ".dll" entry.
int ReadSignedContainer(std::string& dllPath, CVRMachine& machine, const std::string& containerPath);
// True when the certificate of a first container header (1084 bytes) is
// signed with the program's key.
bool VerifyCertificate(const uint8_t* firstHeader);
// Copies `length` bytes from the current position of `source` to `target` in
// blocks of at most 1024 bytes and answers whether they were all there and
// their digest verifies against the signature with the public-key blob.
bool CopyAndVerifyEntry(const uint8_t* signature, uint32_t length, std::FILE* source, std::FILE* target,
                        const uint8_t* keyBlob);

// The program's public-key blob (148 bytes).
const uint8_t* ProgramPublicKey();

// For tests only: while it lives, packages and certificates are verified
// with another public key, so that tests can sign with a key pair of their
// own.
class ProgramKeyOverride {
public:
    explicit ProgramKeyOverride(const uint8_t* keyBlob);
    ~ProgramKeyOverride();
    ProgramKeyOverride(const ProgramKeyOverride&) = delete;
    ProgramKeyOverride& operator=(const ProgramKeyOverride&) = delete;

private:
    uint8_t m_blob[kPackageKeyBlobSize];
    const uint8_t* m_previous;
};
