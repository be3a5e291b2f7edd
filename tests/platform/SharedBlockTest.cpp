// Named shared blocks between two processes: the test forks a child that
// attaches to the same name. Each test uses names of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/SharedBlock.h"
#include "platform/WindowMessageQueue.h"
#include "support/ForkedChild.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kFirstRegisteredId = 0xC000;

std::string UniqueName(const char* what) {
    static int counter = 0;
    return std::string("qem-test/") + what + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

bool ObjectExists(const std::string& object) {
    const int fd = shm_open(object.c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// Removes every object of the name when the test ends, whatever happened.
struct Cleanup {
    std::string name;
    ~Cleanup() { SharedBlock::Remove(name); }
};

std::shared_ptr<SharedBlock> Attach(const std::string& name, int32_t size, SharedBlock::Outcome& outcome) {
    return SharedBlock::Attach(name, size, outcome);
}

}  // namespace

TEST(SharedBlock, ProcessesShareTheBlockAndTheLastToLeaveRemovesIt) {
    const std::string name = UniqueName("life");
    const Cleanup cleanup{name};
    const std::string object = SharedBlock::ObjectName(name);
    EXPECT_EQ(object.find('/', 1), std::string::npos);

    // A child makes the block, writes into it and dies without letting go.
    ForkedChild child([&](const ForkedChild::Channel& parent) {
        SharedBlock::Outcome outcome;
        std::shared_ptr<SharedBlock> block = Attach(name, 64, outcome);
        if (!block || outcome != SharedBlock::Created) return 1;
        std::memcpy(block->Data(), "kept", 4);
        parent.Tell('w');
        _exit(0);
    });
    ASSERT_TRUE(child.Await('w'));
    EXPECT_EQ(child.Wait(), 0);

    // Its data stays for the next process, which sees the block's own size.
    SharedBlock::Outcome outcome;
    std::shared_ptr<SharedBlock> block = Attach(name, 16, outcome);
    ASSERT_TRUE(block);
    EXPECT_EQ(outcome, SharedBlock::Connected);
    EXPECT_EQ(block->Size(), 64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block->Data()), 4), "kept");
    // A second block of the name in this process is the same attachment.
    std::shared_ptr<SharedBlock> again = Attach(name, 64, outcome);
    EXPECT_EQ(outcome, SharedBlock::Connected);
    EXPECT_EQ(again.get(), block.get());
    EXPECT_NE(block->MessageId(), 0u);
    EXPECT_EQ(block->MessageId(), SharedBlock::RegisterMessage(name + "_msgid"));
    EXPECT_GE(block->MessageId(), 0xC000u);
    EXPECT_LE(block->MessageId(), 0xFFFFu);

    again.reset();
    block.reset();
    for (const char* suffix : {"", "_mutex", "_mutexhi", "_msgid"})
        EXPECT_FALSE(ObjectExists(object + suffix)) << suffix;

    EXPECT_FALSE(Attach(name, 3, outcome));
    EXPECT_EQ(outcome, SharedBlock::CreateFailed);
    EXPECT_FALSE(ObjectExists(object));
}

TEST(SharedBlock, TheLowMutexIsHeldAcrossProcessesAndPassesOnWhenItsHolderDies) {
    const std::string name = UniqueName("lock");
    const Cleanup cleanup{name};
    ForkedChild child([&](const ForkedChild::Channel& parent) {
        SharedBlock::Outcome outcome;
        std::shared_ptr<SharedBlock> block = Attach(name, 16, outcome);
        if (!block || !block->Low().Lock()) return 1;
        parent.Tell('l');
        parent.Await('x');  // dies holding it
        return 0;
    });
    ASSERT_TRUE(child.Await('l'));
    SharedBlock::Outcome outcome;
    std::shared_ptr<SharedBlock> block = Attach(name, 16, outcome);
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->Low().Existed() && block->High().Existed());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(block->Low().TryLock(100));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 90ms);
    EXPECT_LT(waited, 2s);
    // The high mutex is another one.
    ASSERT_TRUE(block->High().TryLock(100));
    EXPECT_TRUE(block->High().TryLock(0));  // the holder takes it again
    EXPECT_TRUE(block->High().Unlock());
    EXPECT_TRUE(block->High().Unlock());
    EXPECT_FALSE(block->High().Unlock());  // no longer held

    child.Tell('x');
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(block->Low().TryLock(1000));
    EXPECT_TRUE(block->Low().Unlock());
}

TEST(SharedBlock, NotifyPostsTheMessageInEveryAttachedProcess) {
    const std::string name = UniqueName("notify");
    const Cleanup cleanup{name};
    const uint32_t id = SharedBlock::RegisterMessage(name + "_msgid");
    ASSERT_NE(id, 0u);
    ForkedChild child([&](const ForkedChild::Channel& parent) {
        if (!parent.Await('a')) return 1;
        SharedBlock::Outcome outcome;
        std::shared_ptr<SharedBlock> block = Attach(name, 16, outcome);
        // The id is the same in every process.
        if (!block || outcome != SharedBlock::Connected || block->MessageId() != id) return 2;
        block->Notify();
        parent.Tell('n');
        parent.Await('x');
        return 0;
    });
    WindowMessageQueue& queue = WindowMessageQueue::EngineWindow();
    queue.Discard();
    SharedBlock::Outcome outcome;
    std::shared_ptr<SharedBlock> block = Attach(name, 16, outcome);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->MessageId(), id);
    child.Tell('a');
    ASSERT_TRUE(child.Await('n'));
    ASSERT_TRUE(queue.WaitForMessage(5s));
    std::this_thread::sleep_for(50ms);  // nothing more comes
    std::vector<WindowMessage> got;
    queue.Drain([&](const WindowMessage& m) { got.push_back(m); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, id);
    EXPECT_EQ(got[0].wParam, 0u);
    EXPECT_EQ(got[0].lParam, 0);

    // This process's own notification reaches it too.
    block->Notify();
    ASSERT_TRUE(queue.WaitForMessage(5s));
    queue.Drain([&](const WindowMessage& m) { EXPECT_EQ(m.message, id); });
    child.Tell('x');
    EXPECT_EQ(child.Wait(), 0);
}

// Other processes fill the message registry, fill a name's attachment table
// or keep the registry's lock for ever: this one is refused each time, at
// once or after the registry's wait, and never blocks.
TEST(SharedBlock, FullOrKeptTablesOfOtherProcessesRefuseWithoutBlocking) {
    const std::string registry = "/qem-test-registry-" + std::to_string(getpid());
    SharedBlock::UseRegistry(registry);
    struct RegistryCleanup {
        std::string object;
        ~RegistryCleanup() { shm_unlink(object.c_str()); }
    } registryCleanup{registry};
    const std::string crowded = UniqueName("crowded"), later = UniqueName("later");
    const Cleanup cleanup1{crowded}, cleanup2{later};
    ASSERT_NE(SharedBlock::RegisterMessage("first"), 0u);

    ForkedChild child([&](const ForkedChild::Channel& parent) {
        SharedBlock::Outcome outcome;
        std::shared_ptr<SharedBlock> block = Attach(crowded, 16, outcome);
        if (!block) return 1;
        auto map = [](const std::string& object, size_t size) -> uint32_t* {
            const int fd = shm_open(object.c_str(), O_RDWR, 0);
            void* m = fd < 0 ? MAP_FAILED : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            return m == MAP_FAILED ? nullptr : static_cast<uint32_t*>(m);
        };
        uint32_t* words = map(registry, 12);
        uint32_t* control = map(SharedBlock::ObjectName(crowded) + "_msgid", 8 + 64 * 8);
        if (!words || !control) return 2;
        words[2] = 0x4000;  // every id taken
        for (int i = 0; i < 64; ++i) {
            control[2 + 2 * i] = 1;  // init: alive, and never going
            control[3 + 2 * i] = 1;
        }
        parent.Tell('f');
        if (!parent.Await('k')) return 3;
        words[1] = static_cast<uint32_t>(getpid());  // the registry's lock, kept
        parent.Tell('k');
        parent.Await('x');
        words[1] = 0;
        return 0;
    });
    ASSERT_TRUE(child.Await('f')) << "child: " << child.Wait();
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    EXPECT_EQ(SharedBlock::RegisterMessage("second"), 0u);
    EXPECT_EQ(SharedBlock::RegisterMessage("first"), kFirstRegisteredId);  // still known
    SharedBlock::Outcome outcome;
    EXPECT_FALSE(Attach(crowded, 16, outcome));
    EXPECT_EQ(outcome, SharedBlock::CreateFailed);
    EXPECT_LT(Clock::now() - start, 500ms);

    child.Tell('k');
    ASSERT_TRUE(child.Await('k'));
    start = Clock::now();
    EXPECT_FALSE(Attach(later, 16, outcome));
    EXPECT_EQ(outcome, SharedBlock::CreateFailed);
    EXPECT_LT(Clock::now() - start, 3s);

    child.Tell('x');
    EXPECT_EQ(child.Wait(), 0);
    // A block of a full registry works without a message of its own.
    std::shared_ptr<SharedBlock> block = Attach(later, 16, outcome);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->MessageId(), 0u);
}
