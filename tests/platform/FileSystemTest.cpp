#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/PathResolver.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

namespace fs = std::filesystem;

TEST(FileSystem, TempFolderComesFromTheEnvironment) {
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/some/where", 1);
    EXPECT_EQ(TempFolder(), "/some/where/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(TempFolder(), "/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempFolder(), "/tmp/");
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
}

TEST(FileSystem, MakeFoldersMakesEveryFolderFollowedByASeparator) {
    qemtest::ScratchFolder scratch;
    const std::string root = scratch.Path();
    MakeFolders(root + "a\\b/file.txt");
    EXPECT_TRUE(fs::is_directory(root + "a/b"));
    EXPECT_FALSE(fs::exists(root + "a/b/file.txt"));
    MakeFolders(root + "c/d/");
    EXPECT_TRUE(fs::is_directory(root + "c/d"));
}

TEST(FileSystem, EraseFolderRemovesTheTreeButNotWhatLinksPointTo) {
    qemtest::ScratchFolder scratch;
    const std::string root = scratch.Path();
    ASSERT_TRUE(qemtest::WriteFile(scratch.Make("cache/sub/deep/f.txt"), "x"));
    ASSERT_TRUE(qemtest::WriteFile(scratch.Make("outside/keep.txt"), "keep"));
    fs::create_directory_symlink(root + "outside", root + "cache/link");
    fs::permissions(root + "cache/sub/deep", fs::perms::owner_read | fs::perms::owner_exec);

    EXPECT_FALSE(EraseFolder(""));
    EXPECT_FALSE(EraseFolder("/"));
    EXPECT_TRUE(EraseFolder(root + "cache/"));
    EXPECT_FALSE(fs::exists(root + "cache"));
    EXPECT_EQ(qemtest::ReadFile(root + "outside/keep.txt"), "keep");
}

TEST(FileSystem, OnlyARealFolderOfOursIsOwn) {
    qemtest::ScratchFolder scratch;
    const std::string root = scratch.Path();
    scratch.Make("real/");
    fs::create_directory_symlink(root + "real", root + "link");
    EXPECT_TRUE(IsOwnFolder(root + "real"));
    EXPECT_FALSE(IsOwnFolder(root + "link"));
    EXPECT_FALSE(IsOwnFolder(root + "missing"));
}

TEST(FolderLock, TwoHoldersConflictEvenInOneProcess) {
    qemtest::ScratchFolder scratch;
    const std::string file = scratch.Path() + "lock.dat";
    FolderLock first, second;
    ASSERT_TRUE(first.Acquire(file));
    EXPECT_FALSE(second.Acquire(file));
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_TRUE(second.Acquire(file));
    EXPECT_FALSE(FolderLock().Acquire(scratch.Path() + "no/such/folder/lock.dat"));
}

TEST(PathResolver, FindsNamesWithoutRegardToCase) {
    qemtest::ScratchFolder scratch;
    const std::string root = scratch.Path();
    ASSERT_TRUE(qemtest::WriteFile(scratch.Make("Data/Sub/File.txt"), "x"));
    PathResolver resolver;
    struct Row {
        std::string asked, found;
    };
    const Row rows[] = {
        {root + "Data/Sub/File.txt", root + "Data/Sub/File.txt"},
        {root + "data\\sub\\FILE.TXT", root + "Data/Sub/File.txt"},
        {root + "DATA/SUB/", root + "Data/Sub/"},
        {root + "data\\sub\\missing.txt", root + "data/sub/missing.txt"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(resolver.Resolve(r.asked), r.found) << r.asked;
        EXPECT_EQ(resolver.Resolve(r.asked), r.found) << r.asked << " (remembered)";
    }
}
