// sharedByteBuffer: the block layout on plain memory, and scripts of two
// processes exchanging values through blocks of one name. The program end
// to end (events, TryLock): tests/host.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/SharedBlock.h"
#include "runtime/script/sharedByteBuffer.h"
#include "support/ForkedChild.h"
#include "support/MethodScript.h"
#include "support/TestObjects.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

using Block = std::vector<uint8_t>;

std::string Text(const CVmValue& v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

CVmValue Bool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return v;
}

CVmValue ArrayOf(const std::vector<CVmValue>& items) {
    CVmValue v;
    v.SetArray(new CVmArray());
    for (const CVmValue& item : items) v.asArray->Append(item);
    return v;
}

Block Bytes(std::initializer_list<int> bytes) {
    Block b;
    for (int x : bytes) b.push_back(static_cast<uint8_t>(x));
    return b;
}

// The block after encoding the values one after the other, and whether the
// last one was written.
Block Encoded(const std::vector<CVmValue>& values, size_t size = 32, bool* written = nullptr) {
    Block block(size, 0);
    SharedBlockCodec codec(block.data(), static_cast<int32_t>(size));
    for (const CVmValue& v : values) {
        const bool ok = codec.Encode(v);
        if (written) *written = ok;
    }
    return block;
}

// What decoding the bytes (the block's start, the rest zero) gives, or
// "(no result)".
std::string Decoded(Block block, size_t size = 32) {
    block.resize(size, 0);
    SharedBlockCodec codec(block.data(), static_cast<int32_t>(size));
    CVmValue v;
    return codec.Decode(v) ? Text(v) : "(no result)";
}

Block Prefix(const Block& b, size_t n) { return Block(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

}  // namespace

TEST(SharedBlockCodec, ValuesHaveTheirExactLayout) {
    float f = 1.5f;
    uint8_t fb[4];
    std::memcpy(fb, &f, 4);
    CVmValue vector;
    const float two[2] = {1.5f, 1.5f};
    vector.SetVector(two, 2);
    CVmValue real;
    real.SetReal(1.5f);
    const CVmValue nested = ArrayOf({Int(1), ArrayOf({Int(2)}), Bool(true)});
    const struct {
        const char* name;
        std::vector<CVmValue> values;
        Block bytes;
        std::string decoded;
    } cases[] = {
        {"integer", {Int(258)}, Bytes({0, 0, 0, 1, 2, 0, 0, 1, 2}), "258"},
        {"array",
         {ArrayOf({Int(1), Str("ab"), Bool(true)})},
         Bytes({0, 0, 0, 3, 2, 0, 0, 0, 1, 5, 0, 0, 0, 2, 0x61, 0x62, 4, 1}),
         Text(ArrayOf({Int(1), Str("ab"), Bool(true)}))},
        {"nested skipped", {nested}, Bytes({0, 0, 0, 2, 2, 0, 0, 0, 1, 4, 1}), Text(ArrayOf({Int(1), Bool(true)}))},
        {"second single", {Int(7), Str("x")}, Bytes({0, 0, 0, 1, 5, 0, 0, 0, 1, 'x'}), "x"},
        {"real", {real}, Bytes({0, 0, 0, 1, 3, fb[0], fb[1], fb[2], fb[3]}), "1.5"},
        {"vector",
         {vector},
         Bytes({0, 0, 0, 1, 8, 0, 0, 0, 2, fb[0], fb[1], fb[2], fb[3], fb[0], fb[1], fb[2], fb[3]}),
         Text(vector)},
    };
    for (const auto& c : cases) {
        const Block block = Encoded(c.values);
        EXPECT_EQ(Prefix(block, c.bytes.size()), c.bytes) << c.name;
        EXPECT_EQ(Decoded(block), c.decoded) << c.name;
    }
    EXPECT_EQ(Decoded(Block()), "(no result)");  // a fresh block
}

TEST(SharedBlockCodec, ValuesThatDoNotFitOrHaveNoLayoutWriteNothing) {
    const Block before = Encoded({Int(5)}, 12);
    CVmValue object;  // Void: no layout
    const std::vector<CVmValue> refused = {Str("abcdefgh"), ArrayOf({Int(1), Str("abc")}), object};
    for (const CVmValue& v : refused) {
        bool written = true;
        EXPECT_EQ(Encoded({Int(5), v}, 12, &written), before) << Text(v);
        EXPECT_FALSE(written) << Text(v);
    }
    bool written = false;
    Encoded({Str("abc")}, 12, &written);  // exactly fills the block
    EXPECT_TRUE(written);
}

TEST(SharedBlockCodec, BadBlocksDecodeToNoResult) {
    const struct {
        const char* name;
        Block bytes;
        size_t size;
    } cases[] = {
        {"lying string length", Bytes({0, 0, 0, 1, 5, 0x7F, 0xFF, 0xFF, 0xFF, 'a'}), 32},
        {"string past the end", Bytes({0, 0, 0, 1, 5, 0, 0, 0, 6, 'a'}), 10},
        {"negative vector count", Bytes({0, 0, 0, 1, 8, 0xFF, 0xFF, 0xFF, 0xFF}), 32},
        {"unknown type", Bytes({0, 0, 0, 1, 9, 0, 0, 0, 1}), 32},
        {"huge count", Bytes({0x7F, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 1}), 32},
        {"items run out", Bytes({0, 0, 0, 2, 4, 1, 2, 0}), 8},
        {"integer cut", Bytes({0, 0, 0, 1, 2, 0, 0}), 7},
    };
    for (const auto& c : cases) EXPECT_EQ(Decoded(c.bytes, c.size), "(no result)") << c.name;
}

// A child process's script writes values into blocks; this process reads
// their bytes and its own script decodes them.
TEST(sharedByteBuffer, ScriptsOfTwoProcessesExchangeValues) {
    const std::string base = "qem-test-sbb-" + std::to_string(getpid());
    const std::vector<std::string> names = {base + "-int", base + "/array", base + "-twice", base + "-fresh"};
    struct Cleanup {
        const std::vector<std::string>& names;
        ~Cleanup() {
            for (const std::string& n : names) SharedBlock::Remove(n);
        }
    } cleanup{names};

    ForkedChild child([&](const ForkedChild::Channel& parent) {
        // Its own attachments keep the blocks until the parent has them too.
        std::vector<std::shared_ptr<SharedBlock>> keep;
        for (const std::string& n : names) {
            SharedBlock::Outcome outcome;
            keep.push_back(SharedBlock::Attach(n, 64, outcome));
        }
        RunMain(
            [&](MethodScript& s) {
                std::vector<Opnd> buffers;
                for (const std::string& n : names)
                    buffers.push_back(s.New("SHAREDBYTEBUFFER", {VStr(n.c_str()), VInt(64)}));
                s.Call(buffers[0], "VARENCODE", {VInt(258)});
                s.Call(buffers[1], "VARENCODE", {VValue(ArrayOf({Int(1), Str("ab"), Bool(true)}))});
                s.Call(buffers[2], "VARENCODE", {VInt(1)});
                s.Call(buffers[2], "VARENCODE", {VStr("second")});
            },
            {new sharedByteBuffer::CRegister()});
        parent.Tell('w');
        parent.Await('x');
        return 0;
    });
    ASSERT_TRUE(child.Await('w'));

    SharedBlock::Outcome outcome;
    std::shared_ptr<SharedBlock> raw = SharedBlock::Attach(names[0], 64, outcome);
    ASSERT_TRUE(raw);
    EXPECT_EQ(outcome, SharedBlock::Connected);
    EXPECT_EQ(Block(raw->Data(), raw->Data() + 9), Bytes({0, 0, 0, 1, 2, 0, 0, 1, 2}));
    raw = SharedBlock::Attach(names[1], 64, outcome);
    EXPECT_EQ(Block(raw->Data(), raw->Data() + 18),
              Bytes({0, 0, 0, 3, 2, 0, 0, 0, 1, 5, 0, 0, 0, 2, 0x61, 0x62, 4, 1}));
    raw.reset();

    const std::string out = RunMain(
        [&](MethodScript& s) {
            for (const std::string& n : names) {
                const Opnd b = s.New("SHAREDBYTEBUFFER", {VStr(n.c_str()), VInt(64)});
                s.Print("decoded ");
                s.Record(s.Call(b, "VARDECODE", {}));
                s.Print("id ");
                s.Record(s.Call(b, "GETEVENTID", {}));
            }
        },
        {new sharedByteBuffer::CRegister()});
    child.Tell('x');
    EXPECT_EQ(child.Wait(), 0);

    const std::string array = Text(ArrayOf({Int(1), Str("ab"), Bool(true)}));
    const std::string decoded[] = {"258", array, "second", "Void"};
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string id = std::to_string(SharedBlock::RegisterMessage(names[i] + "_msgid"));
        const std::string expected = "Shared memory " + names[i] + " has been successfully connected....\n" + id +
                                     "\ndecoded " + decoded[i] + "\nid " + id + "\n";
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin:\n" << out;
        EXPECT_NE(out.find("Shared memory " + names[i] + " has been successfully destroyed....\n"), std::string::npos);
    }
}

TEST(sharedByteBuffer, AFailedBufferAnswersNothing) {
    const std::string out = RunMain(
        [&](MethodScript& s) {
            const Opnd b = s.New("SHAREDBYTEBUFFER", {VStr("qem-test-small"), VInt(3)});
            s.Print("encode ");
            s.Record(s.Call(b, "VARENCODE", {VInt(1)}));
            s.Print("decode ");
            s.Record(s.Call(b, "VARDECODE", {}));
            s.Print("trylock ");
            s.Record(s.Call(b, "TRYLOCK", {}));
            s.Call(b, "LOCK", {});
            s.Call(b, "UNLOCK", {});
            s.Print("id ");
            s.Record(s.Call(b, "GETEVENTID", {}));
        },
        {new sharedByteBuffer::CRegister()});
    EXPECT_EQ(out,
              " Unable to create a shared memory file.\nencode False\ndecode Void\ntrylock False\nid 0\n"
              "Could not unmap view of shared memoryfile.\n"
              "Shared memory qem-test-small has been successfully destroyed....\n");
}

// Another process keeps the low mutex, forges it in a live thread's name,
// or cuts the block or its mutex short: Lock, VarDecode and VarEncode each
// end with an error that says so (the mutexes wait for the lock limit, here
// shortened), and the machine goes on.
TEST(sharedByteBuffer, AnotherProcessThatKeepsForgesOrCutsTheBlockGetsAnError) {
    PbmMemoryMutex::SetLockLimitMs(200);
    enum Peer { Keeps, Forges, CutsBlock, CutsMutex };
    const char* const kKept = "Timed out waiting for the lock of shared memory";
    const char* const kCut = "cannot be used: another process cut it short.";
    const struct {
        Peer peer;
        const char* error;
    } peers[] = {{Keeps, kKept}, {Forges, kKept}, {CutsBlock, kCut}, {CutsMutex, kCut}};
    for (const auto& p : peers) {
        const std::string name = "qem-test-peer-" + std::to_string(getpid()) + "-" + std::to_string(p.peer);
        struct Cleanup {
            std::string name;
            ~Cleanup() { SharedBlock::Remove(name); }
        } cleanup{name};
        ForkedChild child([&](const ForkedChild::Channel& parent) {
            SharedBlock::Outcome outcome;
            std::shared_ptr<SharedBlock> block = SharedBlock::Attach(name, 64, outcome);
            if (!block) return 1;
            parent.Tell('a');
            if (!parent.Await('g')) return 6;  // the parent is attached too
            const std::string object = SharedBlock::ObjectName(name);
            const int fd = shm_open((object + (p.peer == CutsBlock ? "" : "_mutex")).c_str(), O_RDWR, 0);
            if (fd < 0) return 2;
            if (p.peer == Keeps && !block->Low().Lock()) return 3;
            if (p.peer == Forges) {
                // The holder's word says this process's main thread, which
                // never took the mutex.
                void* m = mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                if (m == MAP_FAILED) return 4;
                const uint32_t me = static_cast<uint32_t>(getpid());
                std::memcpy(static_cast<uint8_t*>(m) + 4, &me, 4);
            }
            if ((p.peer == CutsBlock || p.peer == CutsMutex) && ftruncate(fd, 0) != 0) return 5;
            parent.Tell('r');
            parent.Await('x');
            return 0;
        });
        ASSERT_TRUE(child.Await('a')) << p.peer;
        // This process's attachment, which the scripts' buffers share, was
        // made before the other process did its worst.
        SharedBlock::Outcome outcome;
        const std::shared_ptr<SharedBlock> attached = SharedBlock::Attach(name, 64, outcome);
        ASSERT_TRUE(attached);
        child.Tell('g');
        ASSERT_TRUE(child.Await('r')) << p.peer;
        for (const char* method : {"LOCK", "VARDECODE", "VARENCODE"}) {
            const auto start = std::chrono::steady_clock::now();
            const std::string out = RunMain(
                [&](MethodScript& s) {
                    const Opnd b = s.New("SHAREDBYTEBUFFER", {VStr(name.c_str()), VInt(64)});
                    s.Record(s.Call(b, method, std::string(method) == "VARENCODE" ? std::vector<Opnd>{VInt(1)}
                                                                                    : std::vector<Opnd>{}));
                    s.Print("went on\n");
                },
                {new sharedByteBuffer::CRegister()});
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << p.peer << method;
            EXPECT_NE(out.find(p.error), std::string::npos) << p.peer << " " << method << ":\n" << out;
            EXPECT_EQ(out.find("went on"), std::string::npos) << "an error ends the call: " << out;
        }
        child.Tell('x');
        EXPECT_EQ(child.Wait(), 0) << p.peer;
    }
    PbmMemoryMutex::SetLockLimitMs(5000);
}
