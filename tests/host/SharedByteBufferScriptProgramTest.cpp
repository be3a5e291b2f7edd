// sharedByteBuffer end to end: a script in qem exchanges values through
// shared blocks with itself, with a block this test wrote directly, and
// meets a lock this test holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/SharedBlock.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

// Another program's block: made and written without the engine's code.
void WriteBlockDirectly(const std::string& name, const std::string& bytes) {
    const std::string object = SharedBlock::ObjectName(name);
    const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 64), 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

}  // namespace

TEST(SharedByteBufferScriptProgram, ScriptsExchangeValuesAndHearOfArrays) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const std::string base = "qem-test-sbb-script-" + std::to_string(getpid());
    const std::string own = base + "-own", other = base + "-other", held = base + "-held";
    struct Cleanup {
        std::string names[3];
        ~Cleanup() {
            for (const std::string& n : names) SharedBlock::Remove(n);
        }
    } cleanup{{own, other, held}};
    WriteBlockDirectly(other, std::string("\0\0\0\1\5\0\0\0\5hello", 14));
    SharedBlock::Outcome outcome;
    std::shared_ptr<SharedBlock> locked = SharedBlock::Attach(held, 16, outcome);
    ASSERT_TRUE(locked && locked->Low().Lock());
    const std::string id = std::to_string(SharedBlock::RegisterMessage(own + "_msgid"));

    MethodScript s("ONINIT");
    const int global = s.Builder().AddGlobal();
    s.Print("BEGIN\n");
    const Opnd c = s.New("SHAREDBYTEBUFFER", {VStr(other.c_str()), VInt(64)});
    s.Record(s.Call(c, "VARDECODE", {}));
    const Opnd h = s.New("SHAREDBYTEBUFFER", {VStr(held.c_str()), VInt(16)});
    s.Record(s.Call(h, "TRYLOCK", {}));
    // The last buffer made gives the message that OnEvent hears of.
    const Opnd a = s.New("SHAREDBYTEBUFFER", {VStr(own.c_str()), VInt(64)});
    s.Builder().Emit(OP_COPY, a, None(), G(global));  // lives on for the event
    const Opnd b = s.New("SHAREDBYTEBUFFER", {VStr(own.c_str()), VInt(64)});
    s.Call(a, "VARENCODE", {VInt(258)});
    s.Record(s.Call(b, "VARDECODE", {}));
    s.Call(b, "VARENCODE", {VStr("x")});
    s.Record(s.Call(a, "VARDECODE", {}));
    s.Record(s.Call(a, "GETEVENTID", {}));
    s.Call(a, "LOCK", {});
    s.Record(s.Call(a, "TRYLOCK", {}));
    s.Call(a, "UNLOCK", {});
    s.Call(a, "UNLOCK", {});
    const Opnd array = s.Local(VInt(0));
    s.Builder().Emit(OP_ARRAY, I(0), None(), array);
    s.Builder().Emit(OP_ARRAY_APPEND, VInt(1), None(), array);
    s.Builder().Emit(OP_ARRAY_APPEND, VStr("two"), None(), array);
    s.Record(s.Call(a, "VARENCODE", {array}));
    s.Print("INIT DONE\n");
    s.Then("ONEVENT", 3);
    s.Builder().CallNative("OUTPUTLN", {VStr("event "), L(-1), VStr(" "), L(-2), VStr(" "), L(-3)}, None());

    const std::string event = "event " + id + " Void Void\n";
    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "shared", event));
    locked->Low().Unlock();
    const std::string expected = "Shared memory " + other + " has been successfully connected....\n" +
                                 std::to_string(SharedBlock::RegisterMessage(other + "_msgid")) + "\nhello\n" +
                                 "Shared memory " + held + " has been successfully connected....\n" +
                                 std::to_string(locked->MessageId()) + "\n" +
                                 "Acquiring TryLock...\nTryLock not acquired.\nFalse\n" +
                                 "Shared memory " + own + " has been successfully created....\n" + id + "\n" +
                                 "Shared memory " + own + " has been successfully connected....\n" + id + "\n" +
                                 "258\nx\n" + id + "\n" +
                                 "Acquiring TryLock...\nTryLock acquired...\nTrue\nTrue\n";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    // The locals go when OnInit ends; the global's buffer stays for the event.
    const size_t done = out.find("INIT DONE\n");
    ASSERT_NE(done, std::string::npos) << out;
    EXPECT_NE(out.find("Shared memory " + held + " has been successfully destroyed....\n", done), std::string::npos);
    const std::string ownGone = "Shared memory " + own + " has been successfully destroyed....\n";
    const size_t first = out.find(ownGone, done);
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find(ownGone, first + 1), std::string::npos) << out;
    EXPECT_NE(out.find(event, done), std::string::npos) << out;
}
