// Reads arbitrary bytes as a signed container. The harness signs what it
// finds where the reader will look (the certificate with the program key,
// every entry it can reach with the certificate key), so the fuzzer gets
// past the signature checks and into the entries, names and archives.
// Nothing may crash, and nothing may appear outside the working folder.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "engine/EngineMachine.h"
#include "engine/ModulePackage.h"
#include "platform/Crypto.h"
#include "support/PackageMaker.h"

namespace fs = std::filesystem;

namespace {

struct Setup {
    Setup() {
        root = fs::temp_directory_path() / ("qem-fuzz-container-" + std::to_string(std::random_device()()));
        fs::create_directories(root / "tmp");
        fs::create_directories(root / "work");
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
        keyOverride = new ProgramKeyOverride(programKey.Blob().data());
        vm = new CVRMachine(-1, 0, nullptr, 0, false, -1);
        vm->SetOutputStream(&out, true);
        vm->SetWorkingFolder((root / "work").string());
        container = (root / "in.qmd").string();
    }
    ~Setup() {
        delete vm;
        delete keyOverride;
        fs::remove_all(root);
    }
    fs::path root;
    std::string container;
    qemtest::TestSigningKey programKey;
    qemtest::TestSigningKey certificateKey;
    ProgramKeyOverride* keyOverride;
    std::ostringstream out;
    CVRMachine* vm;
};

uint32_t Le32(const qemtest::Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void Place(qemtest::Bytes& b, size_t at, const qemtest::Bytes& what) { std::memcpy(b.data() + at, what.data(), what.size()); }

// Signing is the slow part of a run, and most inputs repeat most of the
// signed ranges of the input before: signatures are kept by digest.
const qemtest::Bytes& Signature(const qemtest::TestSigningKey& key, const uint8_t* data, size_t size) {
    static std::map<std::pair<const void*, std::string>, qemtest::Bytes> known;
    if (known.size() > 100000) known.clear();
    const Md5Value digest = Md5Of(data, size);
    qemtest::Bytes& s = known[{&key, std::string(digest.begin(), digest.end())}];
    if (s.empty()) s = key.Sign(data, size);
    return s;
}

// Signs the certificate and every entry that the next-header chain reaches.
void SignWhatTheReaderChecks(qemtest::Bytes& c, Setup& s) {
    if (c.size() < kContainerFirstHeaderSize) return;
    Place(c, 744, s.certificateKey.Blob());
    Place(c, 892, Signature(s.programKey, c.data() + 228, 664));
    size_t at = 0, header = kContainerFirstHeaderSize;
    for (int entries = 0; entries < 16; ++entries) {
        const uint64_t length = Le32(c, at + 152);
        if (at + header + length <= c.size()) Place(c, at + 16, Signature(s.certificateKey, c.data() + at + header, length));
        const uint32_t next = Le32(c, at + 156);
        if (next <= at || next + kContainerHeaderSize > c.size()) return;
        at = next;
        header = kContainerHeaderSize;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    qemtest::Bytes c(data, data + size);
    SignWhatTheReaderChecks(c, setup);
    qemtest::WriteBytes(setup.container, c);
    std::string dll;
    const int result = ReadSignedContainer(dll, *setup.vm, setup.container);
    if (result == kPackageAccepted) {
        const std::string folder = setup.vm->m_workingFolder;
        if (dll.compare(0, folder.size(), folder) != 0 || !fs::is_regular_file(dll)) std::abort();
    } else if (!dll.empty()) {
        std::abort();
    }
    // Only the container, the working folder and the temporary folder at the top.
    size_t top = 0;
    for (auto it = fs::directory_iterator(setup.root); it != fs::directory_iterator(); ++it) ++top;
    if (top != 3) std::abort();
    fs::remove_all(setup.root / "work");
    fs::create_directories(setup.root / "work");
    return 0;
}
