#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>

#include "engine/DownloadManager.h"
#include "platform/WindowMessageQueue.h"
#include "support/HttpTestServer.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qemtest::ReadFile;
using qemtest::WriteFile;

namespace {

std::string TextForId(int id) {
    switch (id) {
    case kMsgIdInvalidUrl: return "Invalid URL: '%s'.";
    case kMsgIdCannotUnpack: return "Cannot unpak the file: '%s'.";
    case kMsgIdOverwriting: return "Overwriting file %s.";
    default: return "";
    }
}

std::string RandomBytes(size_t n) {
    std::mt19937 random(12345);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Sets one 32-bit little-endian field of every header with `signature`.
void PatchZipHeaders(std::string& zip, const char* signature, size_t offset, uint32_t value) {
    for (size_t at = zip.find(signature); at != std::string::npos; at = zip.find(signature, at + 4))
        for (int i = 0; i < 4; ++i) zip[at + offset + i] = static_cast<char>(value >> (8 * i));
}

class DownloadManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp = scratch.Make("tmp/");
        base = scratch.Make("base/");
        const char* previous = std::getenv("TMPDIR");
        if (previous) savedTemp = previous;
        hadTemp = previous != nullptr;
        setenv("TMPDIR", temp.c_str(), 1);
        ASSERT_TRUE(WriteFile(base + "a.txt", "alpha"));
        ASSERT_TRUE(WriteFile(base + "b.txt", "bravo"));
        ASSERT_TRUE(WriteFile(base + "c.txt", "charlie"));
        ASSERT_TRUE(WriteFile(base + "d.txt", "delta"));
        ASSERT_TRUE(WriteFile(base + "bad.zip", "this is not an archive"));
        ASSERT_TRUE(qemtest::WriteZip(scratch.Make("base/data/pack.zip"),
                                      {{"top.txt", "top member"}, {"inner/deep.txt", "deep member"}}));
    }

    void TearDown() override {
        if (hadTemp)
            setenv("TMPDIR", savedTemp.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    std::unique_ptr<CDownloadManager> NewManager() {
        auto manager = std::make_unique<CDownloadManager>(window, TextForId);
        manager->SetBaseFolder(base);
        return manager;
    }

    // Plays the engine window: records every message and starts the next
    // request on completions and retries, until `done` holds.
    bool Pump(CDownloadManager& manager, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            window.WaitForMessage(20ms);
            window.Drain([&](const WindowMessage& m) {
                seen.push_back(m);
                if (m.message == kMsgDownloadReady || m.message == kMsgDownloadRetry) manager.Start();
            });
        }
        return true;
    }

    int Count(uint32_t message) const {
        int n = 0;
        for (const WindowMessage& m : seen) n += m.message == message;
        return n;
    }
    std::vector<uintptr_t> Params(uint32_t message) const {
        std::vector<uintptr_t> params;
        for (const WindowMessage& m : seen)
            if (m.message == message) params.push_back(m.wParam);
        return params;
    }
    std::function<bool()> Seen(uint32_t message, int count = 1) {
        return [this, message, count] { return Count(message) >= count; };
    }

    qemtest::ScratchFolder scratch;
    WindowMessageQueue window;
    std::vector<WindowMessage> seen;
    std::string temp, base;
    std::string savedTemp;
    bool hadTemp = false;
};

TEST_F(DownloadManagerTest, ServesHigherPrioritiesFirstAndCountsStartedRequestsAsDone) {
    auto manager = NewManager();
    EXPECT_EQ(manager->Enqueue("a.txt", "a.txt", 0, 0), 1);
    EXPECT_EQ(manager->Enqueue("sub\\b.txt", "b.txt", 5, 0), 2);
    EXPECT_EQ(manager->Enqueue(nullptr, "c.txt", 5, 0), 3);
    EXPECT_EQ(manager->Enqueue(nullptr, "d.txt", 0, 0), 4);
    EXPECT_EQ(manager->CountPending(), 4);
    EXPECT_EQ(manager->Progress(), 0);

    manager->Start();
    EXPECT_EQ(manager->CountPending(), 3);
    EXPECT_EQ(manager->Progress(), 25);

    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady, 4)));
    EXPECT_EQ(Params(kMsgDownloadReady), (std::vector<uintptr_t>{2, 3, 1, 4}));
    EXPECT_EQ(seen.size(), 4u);
    const std::string cache = manager->CacheFolder();
    EXPECT_EQ(ReadFile(cache + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(cache + "sub/b.txt"), "bravo");
    EXPECT_EQ(ReadFile(cache + "c.txt"), "charlie");
    EXPECT_EQ(ReadFile(cache + "d.txt"), "delta");
    EXPECT_EQ(manager->BatchTotal(), 0);
    EXPECT_EQ(manager->Progress(), 0);
}

TEST_F(DownloadManagerTest, DerivesLocalNamesAndUnpacksArchives) {
    auto manager = NewManager();
    ASSERT_TRUE(WriteFile(scratch.Make("docs/readme.txt"), "read me"));
    manager->Enqueue(nullptr, "data\\pack.zip", 0, 0);
    manager->Enqueue(nullptr, "data\\pack.zip", 0, kDownloadNoUnpack);
    manager->Enqueue(nullptr, "file://" + scratch.Path() + "docs/readme.txt", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady, 3)));

    const std::string cache = manager->CacheFolder();
    EXPECT_EQ(ReadFile(cache + "top.txt"), "top member");
    EXPECT_EQ(ReadFile(cache + "inner/deep.txt"), "deep member");
    EXPECT_EQ(ReadFile(cache + "data/pack.zip"), ReadFile(base + "data/pack.zip"));
    EXPECT_EQ(ReadFile(cache + "readme.txt"), "read me");
    EXPECT_EQ(Count(kMsgDownloadFailed), 0);
}

TEST_F(DownloadManagerTest, WarnsWhenAMemberOverwritesAFile) {
    auto manager = NewManager();
    manager->Enqueue(nullptr, "data/pack.zip", 0, 0);
    manager->Enqueue("again.zip", "data/pack.zip", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady, 2)));
    EXPECT_EQ(Params(kMsgDownloadWarning), (std::vector<uintptr_t>{kMsgIdOverwriting, kMsgIdOverwriting}));
    EXPECT_EQ(manager->MessageText(), "Download Manager: Overwriting file (again.zip) inner/deep.txt.");
}

TEST_F(DownloadManagerTest, FailsForGoodAfterSixAttempts) {
    for (const char* url : {"bad.zip", "missing.txt"}) {
        SCOPED_TRACE(url);
        seen.clear();
        auto manager = NewManager();
        const int32_t id = manager->Enqueue(nullptr, url, 0, 0);
        manager->Start();
        ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
        EXPECT_EQ(Params(kMsgDownloadRetry), std::vector<uintptr_t>(5, static_cast<uintptr_t>(id)));
        EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdInvalidUrl});
        EXPECT_EQ(seen.back().message, kMsgDownloadFailed);
        EXPECT_EQ(Count(kMsgDownloadReady), 0);
        EXPECT_EQ(manager->MessageText(), std::string("Download Manager: Invalid URL: '") + url + "'.");
        EXPECT_EQ(manager->Failed(), 1);
        EXPECT_EQ(manager->CountPending(), 0);
    }
}

TEST_F(DownloadManagerTest, DropsAFailedOptionalFileAndGoesOn) {
    auto manager = NewManager();
    const int32_t optional = manager->Enqueue(nullptr, "missing.txt", 0, kDownloadIgnoreFailure);
    const int32_t next = manager->Enqueue(nullptr, "a.txt", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady)));
    EXPECT_EQ(Params(kMsgDownloadRetry), std::vector<uintptr_t>{static_cast<uintptr_t>(optional)});
    EXPECT_EQ(Params(kMsgDownloadReady), std::vector<uintptr_t>{static_cast<uintptr_t>(next)});
    EXPECT_EQ(manager->Failed(), 0);
}

TEST_F(DownloadManagerTest, RefusesNamesThatLeaveTheCache) {
    const char* const members[] = {"../escape.txt", "inner/../../escape.txt", "..\\escape.txt", "/escape.txt"};
    for (const char* member : members) {
        SCOPED_TRACE(member);
        seen.clear();
        ASSERT_TRUE(qemtest::WriteZip(base + "evil.zip", {{"fine.txt", "fine"}, {member, "escaped"}}));
        auto manager = NewManager();
        manager->Enqueue(nullptr, "evil.zip", 0, 0);
        manager->Start();
        ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
        EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdCannotUnpack});
        EXPECT_EQ(manager->MessageText(),
                  "Download Manager: Cannot unpak the file: '" + base + "evil.zip:" + member + "'.");
        EXPECT_EQ(Count(kMsgDownloadReady), 0);
        EXPECT_FALSE(fs::exists(temp + "escape.txt"));
    }

    seen.clear();
    auto manager = NewManager();
    manager->Enqueue("../escape.txt", "a.txt", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
    EXPECT_EQ(manager->MessageText(), "Download Manager: Cannot unpak the file: '../escape.txt'.");
    EXPECT_FALSE(fs::exists(temp + "escape.txt"));
}

TEST_F(DownloadManagerTest, RefusesMembersThatLieAboutTheirSize) {
    const std::string data = RandomBytes(20000);
    for (uint32_t stated : {10u, 30000u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(stated);
        seen.clear();
        ASSERT_TRUE(qemtest::WriteZip(base + "liar.zip", {{"big.bin", data}}));
        std::string zip = ReadFile(base + "liar.zip");
        PatchZipHeaders(zip, "PK\x03\x04", 22, stated);
        PatchZipHeaders(zip, "PK\x01\x02", 24, stated);
        ASSERT_TRUE(WriteFile(base + "liar.zip", zip));

        auto manager = NewManager();
        manager->Enqueue(nullptr, "liar.zip", 0, 0);
        manager->Start();
        ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
        EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdCannotUnpack});
        EXPECT_EQ(manager->MessageText(), "Download Manager: Cannot unpak the file: '" + base + "liar.zip:big.bin'.");
        EXPECT_EQ(ReadFile(manager->CacheFolder() + "big.bin"), "");
    }
}

TEST_F(DownloadManagerTest, LiveManagersUseTheirOwnFoldersAndRemoveThem) {
    auto first = NewManager();
    auto second = NewManager();
    EXPECT_EQ(first->CacheFolder(), temp + "Velm00001.tmp/");
    EXPECT_EQ(second->CacheFolder(), temp + "Velm00002.tmp/");
    EXPECT_TRUE(first->HoldsCacheLock());
    EXPECT_TRUE(second->HoldsCacheLock());
    EXPECT_TRUE(fs::exists(temp + "Velm00001.tmp/__Velmar__.dat"));

    first->Enqueue(nullptr, "a.txt", 0, 0);
    first->Start();
    ASSERT_TRUE(Pump(*first, Seen(kMsgDownloadReady)));
    first.reset();
    EXPECT_FALSE(fs::exists(temp + "Velm00001.tmp"));
    EXPECT_TRUE(fs::exists(temp + "Velm00002.tmp"));
    second.reset();
    EXPECT_FALSE(fs::exists(temp + "Velm00002.tmp"));
}

TEST_F(DownloadManagerTest, ReusesAFolderLeftBehindButNeverALink) {
    ASSERT_TRUE(WriteFile(scratch.Make("tmp/Velm00007.tmp/old.txt"), "old"));
    ASSERT_TRUE(WriteFile(scratch.Make("elsewhere/keep.txt"), "keep"));
    fs::create_directory_symlink(scratch.Path() + "elsewhere", temp + "Velm00009.tmp");

    auto first = NewManager();
    auto second = NewManager();
    EXPECT_EQ(first->CacheFolder(), temp + "Velm00007.tmp/");
    EXPECT_EQ(ReadFile(first->CacheFolder() + "old.txt"), "old");
    EXPECT_EQ(second->CacheFolder(), temp + "Velm00010.tmp/");
    first.reset();
    second.reset();
    EXPECT_EQ(ReadFile(scratch.Path() + "elsewhere/keep.txt"), "keep");
    EXPECT_FALSE(fs::exists(scratch.Path() + "elsewhere/__Velmar__.dat"));
}

TEST_F(DownloadManagerTest, CopiesAndArchivesAreHeldToTheLimit) {
    ASSERT_TRUE(WriteFile(base + "big.bin", RandomBytes(300000)));
    ASSERT_TRUE(qemtest::WriteZip(base + "big.zip", {{"m1.bin", RandomBytes(150000)}, {"m2.bin", RandomBytes(150000)}}));
    auto manager = NewManager();
    manager->SetSizeLimit(200000);
    // A copy past the limit fails and leaves no file; a request of its own
    // may bring more.
    manager->Enqueue(nullptr, "big.bin", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
    EXPECT_FALSE(fs::exists(manager->CacheFolder() + "big.bin"));
    // The members together pass it: the second one is refused.
    seen.clear();
    manager->CopyOrUnpack(base + "big.zip", "big.zip", true);
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
    EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdCannotUnpack});
    EXPECT_EQ(fs::file_size(manager->CacheFolder() + "m1.bin"), 150000u);
    EXPECT_FALSE(fs::exists(manager->CacheFolder() + "m2.bin"));
    seen.clear();
    manager->Enqueue(nullptr, "big.bin", 0, 0, 400000);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady)));
    EXPECT_EQ(fs::file_size(manager->CacheFolder() + "big.bin"), 300000u);
}

TEST_F(DownloadManagerTest, SkipsWhatIsNoRegularFile) {
    const std::string fifo = base + "pipe.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto manager = NewManager();
    manager->Enqueue(nullptr, "pipe.bin", 0, 0);
    manager->Start();
    // Retried and failed like a missing file, never waiting on the pipe.
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
}

TEST_F(DownloadManagerTest, AnswersAnOutsideHost) {
    auto manager = NewManager();
    manager->Enqueue(nullptr, "a.txt", 0, 0);
    EXPECT_EQ(manager->Notify(1, 0, 0, "host label"), 0);
    EXPECT_EQ(manager->HostLabel(), "host label");
    EXPECT_EQ(manager->Rate(), 0.0f);
    // Progress, finish, failure and creation reports need a request in
    // hand, which exists only inside Start: they change nothing.
    for (int code : {2, 3, 5, 6, 99}) EXPECT_EQ(manager->Notify(code, 50, 100, "x"), 0);
    EXPECT_EQ(manager->CountPending(), 1);
    EXPECT_EQ(manager->Failed(), 0);
    EXPECT_EQ(manager->Notify(4, 0, 0, ""), 0);
    window.Drain([&](const WindowMessage& m) { seen.push_back(m); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, kMsgDownloadStopped);
}

class DownloadManagerHttpTest : public DownloadManagerTest {
protected:
    qemtest::HttpTestServer server;
};

TEST_F(DownloadManagerHttpTest, TransfersUrlsByteForByte) {
    const std::string body = RandomBytes(300000);
    server.Serve("/files/blob.bin", body);
    ASSERT_TRUE(qemtest::WriteZip(base + "remote.zip", {{"r1.txt", "one"}, {"deep/r2.txt", "two"}}));
    server.Serve("/remote.zip", ReadFile(base + "remote.zip"));

    auto manager = NewManager();
    manager->Enqueue(nullptr, server.Url("/files/blob.bin"), 0, 0);
    manager->Enqueue(nullptr, server.Url("/remote.zip"), 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady, 2)));
    const std::string cache = manager->CacheFolder();
    EXPECT_TRUE(ReadFile(cache + "blob.bin") == body);
    EXPECT_EQ(ReadFile(cache + "r1.txt"), "one");
    EXPECT_EQ(ReadFile(cache + "deep/r2.txt"), "two");
    EXPECT_FALSE(fs::exists(cache + "remote.zip"));
}

TEST_F(DownloadManagerHttpTest, RetriesANotFoundUrlAskingForFreshCopies) {
    auto manager = NewManager();
    const std::string url = server.Url("/gone.txt");
    const int32_t id = manager->Enqueue(nullptr, url, 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
    EXPECT_EQ(server.Hits("/gone.txt"), 6);
    EXPECT_EQ(Params(kMsgDownloadRetry), std::vector<uintptr_t>(5, static_cast<uintptr_t>(id)));
    EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdInvalidUrl});
    EXPECT_EQ(manager->MessageText(), "Download Manager: Invalid URL: '" + url + "'.");
    const auto heads = server.RequestHeads("/gone.txt");
    ASSERT_EQ(heads.size(), 6u);
    EXPECT_EQ(heads[0].find("Cache-Control: no-cache"), std::string::npos);
    for (size_t i = 1; i < heads.size(); ++i) EXPECT_NE(heads[i].find("Cache-Control: no-cache"), std::string::npos);
}

TEST_F(DownloadManagerHttpTest, PlacesNewRequestsBehindTheOneInProgress) {
    server.Hold("/slow.bin", RandomBytes(1000));
    auto manager = NewManager();
    const int32_t slow = manager->Enqueue(nullptr, server.Url("/slow.bin"), 0, 0);
    manager->Start();
    ASSERT_TRUE(server.WaitForHits("/slow.bin", 1, 10s));
    const int32_t low = manager->Enqueue(nullptr, "a.txt", 0, 0);
    const int32_t high = manager->Enqueue(nullptr, "b.txt", 5, 0);
    server.Release();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady, 3)));
    EXPECT_EQ(Params(kMsgDownloadReady), (std::vector<uintptr_t>{static_cast<uintptr_t>(slow),
                                                                 static_cast<uintptr_t>(high),
                                                                 static_cast<uintptr_t>(low)}));
}

TEST_F(DownloadManagerHttpTest, ForgetsARequestClearedWhileItIsTransferred) {
    server.Hold("/slow.bin", RandomBytes(1000));
    auto manager = NewManager();
    manager->Enqueue(nullptr, server.Url("/slow.bin"), 0, 0);
    manager->Start();
    ASSERT_TRUE(server.WaitForHits("/slow.bin", 1, 10s));
    manager->Clear();
    const int32_t next = manager->Enqueue(nullptr, "a.txt", 0, 0);
    manager->Start();
    server.Release();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady)));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, static_cast<uintptr_t>(next));
    EXPECT_EQ(ReadFile(manager->CacheFolder() + "a.txt"), "alpha");
}

TEST_F(DownloadManagerHttpTest, AnEndlessTransferStopsAtItsLimitAndLeavesNothing) {
    server.Endless("/endless.bin");
    auto manager = NewManager();
    manager->SetSizeLimit(1 << 20);
    const std::string url = server.Url("/endless.bin");
    manager->Enqueue(nullptr, url, 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadFailed)));
    // Each attempt ends at the limit; the specified six attempts, then 1036.
    EXPECT_EQ(server.Hits("/endless.bin"), 6);
    EXPECT_EQ(Params(kMsgDownloadFailed), std::vector<uintptr_t>{kMsgIdInvalidUrl});
    EXPECT_EQ(manager->MessageText(), "Download Manager: Invalid URL: '" + url + "'.");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(manager->CacheFolder()))
        if (entry.path().filename().string().find(".part") != std::string::npos || entry.path().filename() == "endless.bin")
            left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();
    // The manager goes on serving.
    seen.clear();
    manager->Enqueue(nullptr, "a.txt", 0, 0);
    manager->Start();
    ASSERT_TRUE(Pump(*manager, Seen(kMsgDownloadReady)));
}

TEST_F(DownloadManagerHttpTest, EndsPromptlyDuringATransfer) {
    server.Hold("/slow.bin", RandomBytes(1 << 20));
    auto manager = NewManager();
    manager->Enqueue(nullptr, server.Url("/slow.bin"), 0, 0);
    manager->Start();
    ASSERT_TRUE(server.WaitForHits("/slow.bin", 1, 10s));
    const std::string cache = manager->CacheFolder();
    const auto before = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    EXPECT_FALSE(fs::exists(cache));
    window.Drain([&](const WindowMessage& m) { seen.push_back(m); });
    EXPECT_TRUE(seen.empty());
}

}  // namespace
