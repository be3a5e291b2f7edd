// Files a script names: only regular files within the reader's cap, and
// while script files are kept to a folder only what lies inside it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/ScriptFile.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

struct Confined {
    explicit Confined(const std::string& folder) { ConfineScriptFiles(folder); }
    ~Confined() { ConfineScriptFiles(std::string()); }
};

}  // namespace

TEST(ScriptFile, OnlyRegularFilesWithinTheCapAreRead) {
    ScratchFolder scratch;
    WriteFile(scratch.Make("text.txt"), "twelve bytes");
    const std::string fifo = scratch.Make("pipe.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    scratch.Make("folder/");
    const struct {
        std::string path;
        uint64_t cap;
        ScriptFile::Status status;
        std::string reason;
    } cases[] = {
        {scratch.Path() + "text.txt", 12, ScriptFile::Opened, ""},
        {scratch.Path() + "text.txt", 11, ScriptFile::TooLarge, "is larger than the 11 bytes"},
        {"/dev/zero", UINT64_MAX, ScriptFile::NotRegular, "'/dev/zero' is not a regular file"},
        {fifo, UINT64_MAX, ScriptFile::NotRegular, "is not a regular file"},  // no writer: would block
        {scratch.Path() + "folder", UINT64_MAX, ScriptFile::NotFound, "cannot be opened"},
        {scratch.Path() + "missing.txt", UINT64_MAX, ScriptFile::NotFound, "cannot be opened"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        ScriptFile file = ScriptFile::Open(c.path, c.cap);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.path;
        EXPECT_EQ(file.GetStatus(), c.status) << c.path;
        EXPECT_NE(file.Reason().find(c.reason), std::string::npos) << c.path << ": " << file.Reason();
        std::string bytes, reason;
        EXPECT_EQ(ScriptFile::ReadAll(c.path, c.cap, bytes, &reason), c.status == ScriptFile::Opened) << c.path;
        if (c.status == ScriptFile::Opened) {
            EXPECT_EQ(bytes, "twelve bytes");
        }
        EXPECT_EQ(reason, file.Reason()) << c.path;
    }
    // A stdio stream of the opened file reads it from the start.
    std::FILE* f = ScriptFile::Open(scratch.Path() + "text.txt", 100).TakeStdio();
    ASSERT_NE(f, nullptr);
    char head[7] = {};
    EXPECT_EQ(std::fread(head, 1, 6, f), 6u);
    EXPECT_STREQ(head, "twelve");
    std::fclose(f);
}

TEST(ScriptFile, AConfinedScriptReadsNothingOutsideItsFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch.Make("cache/");
    WriteFile(scratch.Make("cache/in.txt"), "in");
    WriteFile(scratch.Make("cache/sub/deep.txt"), "deep");
    WriteFile(scratch.Make("secret.txt"), "secret");
    ASSERT_EQ(symlink((scratch.Path() + "secret.txt").c_str(), (folder + "link.txt").c_str()), 0);
    ASSERT_EQ(symlink((folder + "in.txt").c_str(), (folder + "sub/back.txt").c_str()), 0);
    const Confined confined(folder);
    const struct {
        std::string path;
        ScriptFile::Status status;
    } cases[] = {
        {folder + "in.txt", ScriptFile::Opened},
        {folder + "sub/deep.txt", ScriptFile::Opened},
        {folder + "sub/../in.txt", ScriptFile::Opened},
        {folder + "sub/back.txt", ScriptFile::Opened},  // a link that stays inside
        {folder + "../secret.txt", ScriptFile::OutsideFolder},
        {folder + "link.txt", ScriptFile::OutsideFolder},  // a link that leads out
        {scratch.Path() + "secret.txt", ScriptFile::OutsideFolder},
        {"/etc/passwd", ScriptFile::OutsideFolder},
        {"/dev/zero", ScriptFile::OutsideFolder},
    };
    for (const auto& c : cases) {
        const ScriptFile file = ScriptFile::Open(c.path, UINT64_MAX);
        EXPECT_EQ(file.GetStatus(), c.status) << c.path << ": " << file.Reason();
        if (c.status == ScriptFile::OutsideFolder) {
            EXPECT_NE(file.Reason().find("lies outside the script's folder"), std::string::npos) << file.Reason();
        }
        EXPECT_EQ(InsideScriptFilesFolder(c.path), c.status == ScriptFile::Opened) << c.path;
    }
    ConfineScriptFiles(std::string());
    EXPECT_TRUE(ScriptFile::Open(folder + "../secret.txt", UINT64_MAX).IsOpen());
}
