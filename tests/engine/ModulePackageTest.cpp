#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>

#include "engine/EngineMachine.h"
#include "engine/ModulePackage.h"
#include "platform/Crypto.h"
#include "support/PackageMaker.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;
namespace fs = std::filesystem;

namespace {

Bytes Hex(const char* hex) {
    Bytes out;
    for (const char* p = hex; p[0] && p[1]; p += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A made-up library: enough bytes, text and noise, to compress in earnest.
Bytes SampleLibrary() {
    std::mt19937 random(3);
    Bytes out;
    for (int i = 0; i < 400; ++i) {
        const std::string line = "symbol_" + std::to_string(random() % 50) + "\n";
        out.insert(out.end(), line.begin(), line.end());
        for (int k = 0; k < 8; ++k) out.push_back(static_cast<uint8_t>(random()));
    }
    return out;
}

// Key pairs are slow to make: one program key and one certificate key for
// the whole program.
const TestSigningKey& ProgramKey() {
    static const TestSigningKey key;
    return key;
}
const TestSigningKey& CertificateKey() {
    static const TestSigningKey key;
    return key;
}

}  // namespace

TEST(PackageCrypto, KnownAnswers) {
    struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } const rc4[] = {
        {"Key", "Plaintext", "BBF316E8D940AF0AD3"},
        {"Wiki", "pedia", "1021BF0420"},
        {"Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"},
    };
    for (const auto& v : rc4) {
        Bytes data = Text(v.plain);
        Rc4(reinterpret_cast<const uint8_t*>(v.key), std::strlen(v.key)).Apply(data.data(), data.size());
        EXPECT_EQ(data, Hex(v.cipher)) << v.key;
    }
    // A key derived from a digest: its first 5 bytes and 11 zeros.
    Bytes key = Hex("7340E6E274");
    key.resize(16, 0);
    Bytes counting(32);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i);
    Rc4(key.data(), key.size()).Apply(counting.data(), counting.size());
    EXPECT_EQ(Bytes(counting.begin(), counting.begin() + 8), Hex("2659DE2444FA369C"));

    const Md5Value empty = Md5Of("", 0), abc = Md5Of("abc", 3);
    EXPECT_EQ(Bytes(empty.begin(), empty.end()), Hex("D41D8CD98F00B204E9800998ECF8427E"));
    EXPECT_EQ(Bytes(abc.begin(), abc.end()), Hex("900150983CD24FB0D6963F7D28E17F72"));
}

TEST(PackageCrypto, KeyBlobsAndLittleEndianSignatures) {
    const TestSigningKey& key = ProgramKey();
    const Bytes data = Text("signed bytes");
    const Bytes signature = key.Sign(data);
    const RsaPublicKey pub(key.Blob().data(), key.Blob().size());
    ASSERT_TRUE(pub.Valid());
    EXPECT_TRUE(pub.VerifyMd5(Md5Of(data.data(), data.size()), signature.data(), signature.size()));

    Bytes bigEndian(signature.rbegin(), signature.rend());
    Bytes flipped = signature;
    flipped[60] ^= 1;
    for (const Bytes* bad : {&bigEndian, &flipped})
        EXPECT_FALSE(pub.VerifyMd5(Md5Of(data.data(), data.size()), bad->data(), bad->size()));
    EXPECT_FALSE(pub.VerifyMd5(Md5Of("other", 5), signature.data(), signature.size()));
    EXPECT_FALSE(pub.VerifyMd5(Md5Of(data.data(), data.size()), signature.data(), 127));

    const struct {
        const char* name;
        size_t at;
        uint8_t value;
    } malformed[] = {{"private-key blob type", 0, 7}, {"version", 1, 3},      {"magic RSA2", 11, '2'},
                     {"2048 bits", 13, 8},            {"even exponent", 16, 2}, {"modulus below 1024 bits", 147, 0}};
    for (const auto& m : malformed) {
        Bytes blob = key.Blob();
        blob[m.at] = m.value;
        EXPECT_FALSE(RsaPublicKey(blob.data(), blob.size()).Valid()) << m.name;
    }
    EXPECT_FALSE(RsaPublicKey(key.Blob().data(), 147).Valid());

    // The program's own key is a well-formed blob, and its phrase is hashed
    // whole (no NUL inside).
    EXPECT_TRUE(RsaPublicKey(ProgramPublicKey(), kPackageKeyBlobSize).Valid());
    const std::string phrase = BuildPackagePassPhrase();
    EXPECT_EQ(phrase.size(), kPackagePassPhraseSize);
    EXPECT_EQ(phrase.find('\0'), std::string::npos);
}

class ModulePackageTest : public ::testing::Test {
protected:
    ModulePackageTest() : keyOverride(ProgramKey().Blob().data()), vm(-1, 0, nullptr, 0, false, -1) {
        vm.SetOutputStream(&out, false);
        vm.SetWorkingFolder(scratch.Path());
    }

    int Read(const std::string& name, std::string& dllPath) {
        return ReadModulePackage(scratch.Path() + name, dllPath, vm);
    }

    ProgramKeyOverride keyOverride;
    ScratchFolder scratch;
    std::ostringstream out;
    CVRMachine vm;
    const Bytes library = SampleLibrary();
};

TEST_F(ModulePackageTest, PackagesUnpackBesideThemselves) {
    for (PackageKind kind : {PackageKind::Compressed, PackageKind::Stored}) {
        const Bytes package = MakePackage(library, ProgramKey(), kind);
        WriteBytes(scratch.Path() + "lib.pak", package);
        std::string dll;
        ASSERT_EQ(Read("lib.pak", dll), kPackageAccepted);
        EXPECT_EQ(dll, scratch.Path() + "lib.pak.dll");
        EXPECT_EQ(ReadBytes(dll), library);
        EXPECT_EQ(FilesIn(scratch.Path()), (std::vector<std::string>{"lib.pak", "lib.pak.dll"}));
    }
    EXPECT_LT(MakePackage(library, ProgramKey()).size(), library.size());
    EXPECT_EQ(out.str(), "");
}

TEST_F(ModulePackageTest, RejectedPackagesLeaveNoLibrary) {
    const Bytes good = MakePackage(library, ProgramKey());
    TestSigningKey stranger;
    const struct {
        const char* name;
        std::function<Bytes()> make;
    } cases[] = {
        {"expands to one byte short of its stated size", [&] { return MakePackage(library, ProgramKey(), PackageKind::Compressed, 1); }},
        {"expands past its stated size", [&] { return MakePackage(library, ProgramKey(), PackageKind::Compressed, -1); }},
        {"tampered payload", [&] { Bytes p = good; p[p.size() / 2] ^= 0x20; return p; }},
        {"tampered signature", [&] { Bytes p = good; p[40] ^= 0x01; return p; }},
        {"cut payload", [&] { return Bytes(good.begin(), good.end() - 10); }},
        {"signed with another key", [&] { return MakePackage(library, stranger); }},
        {"stored, tampered", [&] { Bytes p = MakePackage(library, ProgramKey(), PackageKind::Stored); p.back() ^= 1; return p; }},
        {"stated size beyond any library", [&] { Bytes p = good; p[155] = 0x7F; return p; }},
    };
    for (const auto& c : cases) {
        // A library left by an earlier unpack goes too.
        WriteBytes(scratch.Path() + "lib.pak.dll", library);
        WriteBytes(scratch.Path() + "lib.pak", c.make());
        std::string dll;
        EXPECT_EQ(Read("lib.pak", dll), kPackageRejected) << c.name;
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"lib.pak"}) << c.name;
    }
}

TEST_F(ModulePackageTest, WhatIsNoPackage) {
    std::string dll;
    EXPECT_EQ(Read("missing.pak", dll), kPackageCannotOpen);
    WriteBytes(scratch.Path() + "text.pak", Text("hello"));
    EXPECT_EQ(Read("text.pak", dll), kPackageUnrecognised);
    Bytes other = MakePackage(library, ProgramKey());
    std::memcpy(other.data() + 144, "QEM_ZIP", 7);
    WriteBytes(scratch.Path() + "other.pak", other);
    EXPECT_EQ(Read("other.pak", dll), kPackageUnrecognised);
    EXPECT_EQ(FilesIn(scratch.Path()), (std::vector<std::string>{"other.pak", "text.pak"}));
}

// ---------------------------------------------------------------------------
// Signed containers

TEST_F(ModulePackageTest, ContainerEntriesLandInTheWorkingFolder) {
    const std::string zip = scratch.Path() + "made.zip";
    ASSERT_TRUE(WriteZip(zip, {{"inner.txt", "from the zip"}}));
    const Bytes zipBytes = ReadBytes(zip);
    fs::remove(zip);
    const std::vector<ContainerEntry> entries = {
        {"readme.txt", Text("notes")}, {"bundle.ZIP", zipBytes}, {"Lib.DLL", library}, {"second.dll", Text("x")}};
    WriteBytes(scratch.Path() + "set.qmd", MakeContainer(entries, ProgramKey(), CertificateKey()));

    std::string dll;
    ASSERT_EQ(Read("set.qmd", dll), kPackageAccepted);
    EXPECT_EQ(dll, scratch.Path() + "Lib.DLL");
    EXPECT_EQ(ReadBytes(dll), library);
    EXPECT_EQ(ReadFile(scratch.Path() + "readme.txt"), "notes");
    EXPECT_EQ(ReadFile(scratch.Path() + "second.dll"), "x");
    EXPECT_EQ(ReadFile(scratch.Path() + "inner.txt"), "from the zip");
    EXPECT_EQ(FilesIn(scratch.Path()), (std::vector<std::string>{"Lib.DLL", "bundle.ZIP", "inner.txt", "readme.txt",
                                                                  "second.dll", "set.qmd"}));
}

TEST_F(ModulePackageTest, RefusedContainers) {
    const std::vector<ContainerEntry> two = {{"a.txt", Text("alpha")}, {"lib.dll", library}};
    const std::vector<size_t> at = ContainerHeaderOffsets(two);
    const Bytes good = MakeContainer(two, ProgramKey(), CertificateKey());
    TestSigningKey stranger;
    const std::string name64(64, 'n');
    const struct {
        const char* name;
        Bytes container;
        int result;
        std::vector<std::string> left;  // besides the container
    } cases[] = {
        {"certificate not signed with the program key", MakeContainer(two, stranger, CertificateKey()), kPackageRejected, {}},
        {"certificate altered", [&] { Bytes c = good; c[300] ^= 1; return c; }(), kPackageRejected, {}},
        {"second entry altered", [&] { Bytes c = good; c.back() ^= 1; return c; }(), kPackageRejected, {"a.txt"}},
        {"entry signed with another key",
         [&] { Bytes c = good; const Bytes s = stranger.Sign(library); std::copy(s.begin(), s.end(), c.begin() + at[1] + 16); return c; }(),
         kPackageRejected, {"a.txt"}},
        {"entry longer than the file", [&] { Bytes c = good; c[at[1] + 154] = 0x10; return c; }(), kPackageRejected, {"a.txt"}},
        {"magic of a later version", [&] { Bytes c = good; c[151] = '2'; return c; }(), kPackageUnrecognised, {}},
        {"next header pointing back", MakeContainer(two, ProgramKey(), CertificateKey(), {static_cast<uint32_t>(at[1]), static_cast<uint32_t>(at[1])}),
         kPackageUnrecognised, {"a.txt", "lib.dll"}},
        {"next header past the end", MakeContainer(two, ProgramKey(), CertificateKey(), {static_cast<uint32_t>(at[1]), 1 << 30}),
         kPackageUnrecognised, {"a.txt", "lib.dll"}},
        {"next header without its magic", [&] { Bytes c = good; c[at[1] + 144] = 'X'; return c; }(), kPackageUnrecognised, {"a.txt"}},
        {"no library inside", MakeContainer({{"a.txt", Text("alpha")}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {"a.txt"}},
        {"parent folder", MakeContainer({{"../lib.dll", library}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {}},
        {"sub-folder", MakeContainer({{"sub/lib.dll", library}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {}},
        {"backslash", MakeContainer({{"sub\\lib.dll", library}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {}},
        {"dots inside", MakeContainer({{"a..dll", library}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {}},
        {"empty name", MakeContainer({{"", library}}, ProgramKey(), CertificateKey()), kPackageUnrecognised, {}},
        {"a name that fills its field is cut there", MakeContainer({{name64 + ".dll", library}}, ProgramKey(), CertificateKey()),
         kPackageUnrecognised, {name64}},
        {"shorter than a first header", Bytes(good.begin(), good.begin() + 1000), kPackageUnrecognised, {}},
    };
    // Each case in its own working folder inside the scratch folder, which
    // must hold nothing else afterwards.
    const std::string folder = scratch.Path() + "work/";
    vm.SetWorkingFolder(folder);
    for (const auto& c : cases) {
        fs::create_directory(folder);
        WriteBytes(folder + "set.qmd", c.container);
        std::string dll = "unchanged";
        EXPECT_EQ(ReadModulePackage(folder + "set.qmd", dll, vm), c.result) << c.name;
        EXPECT_EQ(dll, "") << c.name;
        std::vector<std::string> left = c.left;
        left.push_back("set.qmd");
        std::sort(left.begin(), left.end());
        EXPECT_EQ(FilesIn(folder), left) << c.name;
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"work"}) << c.name;
        fs::remove_all(folder);
    }
}
