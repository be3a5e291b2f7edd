// The program ends when asked, whatever it waits for: SIGTERM with the
// window unmapped, with a callback that loops for ever, with the debugger
// holding the script, after a load refused a FIFO; the window destroyed by
// another program; a debugger client that vanishes; a server that streams a
// script for ever. Each time the module ends (OnExit where it runs), the
// cache folder goes, and nothing is read after it was freed (the sanitizer
// build runs these too).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <thread>

#include "platform/SharedBlock.h"
#include "support/DebugInfoWriter.h"
#include "support/EngineFixtures.h"
#include "support/HttpTestServer.h"
#include "support/ForkedChild.h"
#include "support/LoopbackPeer.h"
#include "support/PrivateXServer.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/WindowClose.h"

using namespace qemtest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The module ends within this; the whole process too, but for the
// sanitizers' own work at exit.
constexpr auto kModuleEnd = 2s;
#if defined(__SANITIZE_ADDRESS__)
constexpr auto kProcessEnd = 20s;
#else
constexpr auto kProcessEnd = 2s;
#endif

class ProgramEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        temp = scratch.Make("tmp/");
    }

    // READY from OnInit, EXITED from OnExit; OnFrame writes "f" when `frames`.
    std::string WriteScript(bool frames, bool loopInInit = false, const std::string& import = "") {
        ProgramBuilder b;
        if (!import.empty()) b.Import(import);
        b.Return();
        b.Function("ONINIT", 0);
        b.Emit(OP_OUTPUT, VStr("READY\n"));
        if (loopInInit) {
            Label loop = b.NewLabel();
            b.Bind(loop);
            b.Emit(OP_JUMP, At(loop));
        }
        b.Return();
        b.Function("ONFRAME", 0);
        if (frames) b.Emit(OP_OUTPUT, VStr("f"));
        b.Return();
        b.Function("ONEXIT", 0);
        b.Emit(OP_OUTPUT, VStr("EXITED\n"));
        b.Return();
        return WriteProgram(scratch, "script.bin", b);
    }

    std::unique_ptr<QemProcess> Start(const std::vector<std::string>& arguments) {
        auto qem = std::make_unique<QemProcess>(QEM_PROGRAM, arguments, scratch.Make("out.txt"),
                                                std::map<std::string, std::string>{{"TMPDIR", temp}});
        EXPECT_TRUE(qem->Started());
        return qem;
    }

    // The window's X id, by its title.
    static std::string WindowOf(const std::string& script) {
        return Shell("timeout 10 xdotool search --sync --name '^qem <" + script + ">$' | head -1");
    }

    // Sends SIGTERM; true when the module ended in time and the process
    // after it, with exit code 0.
    static ::testing::AssertionResult EndsOnSignal(QemProcess& qem, int signal = SIGTERM) {
        qem.Signal(signal);
        if (!qem.WaitFor("\nOstrel Stopped!\n", kModuleEnd))
            return ::testing::AssertionFailure() << "the module did not end:\n" << qem.Output();
        const int code = qem.WaitExit(std::chrono::duration_cast<std::chrono::milliseconds>(kProcessEnd));
        if (code != 0) return ::testing::AssertionFailure() << "exit " << code << " after signal:\n" << qem.Errors();
        return ::testing::AssertionSuccess();
    }

    // No cache folder is left in the temporary folder, and the sanitizers
    // reported nothing.
    ::testing::AssertionResult LeftClean(QemProcess& qem) const {
        for (const auto& entry : fs::directory_iterator(temp))
            if (entry.path().filename().string().rfind("Velm", 0) == 0)
                return ::testing::AssertionFailure() << "left " << entry.path();
        const std::string errors = qem.Errors();
        if (errors.find("Sanitizer") != std::string::npos || errors.find("runtime error") != std::string::npos)
            return ::testing::AssertionFailure() << errors;
        return ::testing::AssertionSuccess();
    }

    ScratchFolder scratch;
    std::string temp;
};

}  // namespace

TEST_F(ProgramEnd, FramesGoOnWhileTheWindowIsUnmappedAndSigtermEndsIt) {
    if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
    const std::string script = WriteScript(true);
    auto qem = Start({script, "-w", "160", "-h", "120"});
    ASSERT_TRUE(qem->WaitFor("READY")) << qem->Output();
    const std::string id = WindowOf(script);
    ASSERT_FALSE(id.empty());
    Shell("xdotool windowunmap --sync " + id);
    std::this_thread::sleep_for(300ms);
    const size_t before = qem->Output().size();
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(qem->Output().size(), before + 10) << "no frames while unmapped";
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_NE(qem->Output().find("EXITED\n"), std::string::npos);
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEnd, SigintEndsAnOnInitThatLoopsForEver) {
    auto qem = Start({WriteScript(false, true), "-w", "160", "-h", "120"});
    // The log reaches the file frame by frame; OnInit follows the fade.
    ASSERT_TRUE(qem->WaitFor("Downloading Data...OK!")) << qem->Output();
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(EndsOnSignal(*qem, SIGINT));
    EXPECT_NE(qem->Output().find("Script stopped on request."), std::string::npos) << qem->Output();
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEnd, SigtermEndsAfterALoadRefusedAFifo) {
    const std::string fifo = scratch.Make("pipe.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto qem = Start({WriteScript(false, false, fifo), "-w", "160", "-h", "120"});
    // The import is refused at once; the script runs on without it.
    ASSERT_TRUE(qem->WaitFor("READY")) << qem->Output();
    EXPECT_NE(qem->Output().find("cannot open file '" + fifo + "'"), std::string::npos) << qem->Output();
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEnd, DestroyingTheWindowFromOutsideEndsTheProgram) {
    if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
    const std::string script = WriteScript(false);
    auto qem = Start({script, "-w", "160", "-h", "120"});
    ASSERT_TRUE(qem->WaitFor("READY")) << qem->Output();
    const std::string id = WindowOf(script);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(DestroyForeignWindow(id));
    ASSERT_TRUE(qem->WaitFor("\nOstrel Stopped!\n", kModuleEnd)) << qem->Output();
    EXPECT_EQ(qem->WaitExit(std::chrono::duration_cast<std::chrono::milliseconds>(kProcessEnd)), 0);
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEnd, AnEndlessScriptDownloadStopsAtItsLimit) {
    HttpTestServer server;
    server.Endless("/endless.bin");
    const std::string url = server.Url("/endless.bin");
    auto qem = Start({url, "-w", "160", "-h", "120", "-EngineParam", "DOWNLOADLIMIT=1"});
    // The specified attempts, each stopped at the limit, then message 1036.
    ASSERT_TRUE(qem->WaitFor("Download Manager: Invalid URL: '" + url + "'.", 20s)) << qem->Output();
    EXPECT_EQ(server.Hits("/endless.bin"), 6);
    for (const auto& folder : fs::directory_iterator(temp))
        for (const auto& entry : fs::directory_iterator(folder.path()))
            EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
    // The engine still answers.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(qem->Running());
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_TRUE(LeftClean(*qem));
}

// OnInit makes what `setup` makes in L(1), says READY, waits in `wait` and
// says AFTER; OnExit says EXITED.
std::string WriteWaitingScript(ScratchFolder& scratch, const std::function<void(ProgramBuilder&)>& setup,
                               const std::function<void(ProgramBuilder&)>& wait) {
    ProgramBuilder b;
    b.Return();
    b.Function("ONINIT", 0);
    b.Emit(OP_RESERVE, I(2));
    setup(b);
    b.Emit(OP_OUTPUT, VStr("READY\n"));
    wait(b);
    b.Emit(OP_OUTPUT, VStr("AFTER\n"));
    b.Return();
    b.Function("ONEXIT", 0);
    b.Emit(OP_OUTPUT, VStr("EXITED\n"));
    b.Return();
    return WriteProgram(scratch, "waiting.bin", b);
}

TEST_F(ProgramEnd, SigtermEndsAReceiveFromAPeerThatStalls) {
    LoopbackListener listener;
    const std::string script = WriteWaitingScript(
        scratch,
        [&](ProgramBuilder& b) {
            b.CallNative("NETCONNECTTCP", {VStr("127.0.0.1"), VInt(listener.Port())}, L(1));
        },
        [](ProgramBuilder& b) {
            // The first call takes what came of the packet; the second
            // waits for the rest.
            b.CallNative("NETVARRECEIVEFROMTCP", {L(1)}, L(2));
            b.CallNative("NETVARRECEIVEFROMTCP", {L(1)}, L(2));
        });
    auto qem = Start({script, "-w", "160", "-h", "120"});
    std::unique_ptr<LoopbackPeer> peer = listener.Accept(20s);
    ASSERT_TRUE(peer) << qem->Output();
    // A packet's header that announces 100 bytes, and then nothing.
    peer->Send(std::string("\xFFQEM_02\xFF\x00\x00\x00\x64\xFF\x00\xFF", 15));
    ASSERT_TRUE(qem->WaitFor("READY")) << qem->Output();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(qem->Output().find("AFTER"), std::string::npos) << "the receive waits";
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_NE(qem->Output().find("EXITED\n"), std::string::npos) << qem->Output();
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEnd, SigtermEndsALockThatAnotherProcessKeeps) {
    const std::string name = "qem-test-kept-" + std::to_string(getpid());
    struct Cleanup {
        std::string name;
        ~Cleanup() { SharedBlock::Remove(name); }
    } cleanup{name};
    ForkedChild keeper([&](const ForkedChild::Channel& parent) {
        SharedBlock::Outcome outcome;
        std::shared_ptr<SharedBlock> block = SharedBlock::Attach(name, 64, outcome);
        if (!block || !block->Low().Lock()) return 1;
        parent.Tell('k');
        parent.Await('x');
        return 0;
    });
    ASSERT_TRUE(keeper.Await('k'));
    const std::string script = WriteWaitingScript(
        scratch, [&](ProgramBuilder& b) { b.CallNative("SHAREDBYTEBUFFER", {VStr(name.c_str()), VInt(64)}, L(1)); },
        [](ProgramBuilder& b) { b.CallMethod(L(1), "LOCK", {}, L(2)); });
    auto qem = Start({script, "-w", "160", "-h", "120"});
    ASSERT_TRUE(qem->WaitFor("READY", 20s)) << qem->Output();
    std::this_thread::sleep_for(300ms);
    // Well before the lock's own limit of 5 s.
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_NE(qem->Output().find("EXITED\n"), std::string::npos) << qem->Output();
    EXPECT_TRUE(LeftClean(*qem));
    keeper.Tell('x');
    EXPECT_EQ(keeper.Wait(), 0);
}

TEST_F(ProgramEnd, KillingTheDisplayEndsTheProgramAsAClosedWindowDoes) {
    PrivateXServer server;
    if (server.Display().empty()) GTEST_SKIP() << "no Xvfb";
    auto qem = std::make_unique<QemProcess>(
        QEM_PROGRAM, std::vector<std::string>{WriteScript(true), "-w", "160", "-h", "120"}, scratch.Make("out.txt"),
        std::map<std::string, std::string>{{"TMPDIR", temp}, {"DISPLAY", server.Display()}});
    ASSERT_TRUE(qem->Started());
    ASSERT_TRUE(qem->WaitFor("READY", 20s)) << qem->Output() << qem->Errors();
    std::this_thread::sleep_for(200ms);  // frames go on
    server.Kill();
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(qem->WaitExit(std::chrono::duration_cast<std::chrono::milliseconds>(kProcessEnd)), 0)
        << qem->Output() << qem->Errors();
    std::cout << "ended " << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed).count()
              << " ms after the display\n";
    EXPECT_NE(qem->Output().find("EXITED\n"), std::string::npos) << qem->Output();
    EXPECT_NE(qem->Output().find("\nOstrel Stopped!\n"), std::string::npos) << qem->Output();
    EXPECT_TRUE(LeftClean(*qem));
}

// The debugger cases: a program with its .dbg file, stopped at a breakpoint.
class ProgramEndDebugged : public ProgramEnd {
protected:
    void SetUp() override {
        ProgramEnd::SetUp();
        if (IsSkipped()) return;
        ProgramBuilder b;
        DebugInfoWriter w;
        w.AddFile("loop.qsx");
        b.Line(1);
        w.AddLine(0, 1, b.Here());
        b.Return();
        b.Function("ONFRAME", 0);
        b.Line(4);
        w.AddLine(0, 4, b.Here());
        b.Emit(OP_OUTPUT, VStr("f"));
        b.Line(5);
        w.AddLine(0, 5, b.Here());
        b.Return();
        w.AddRange(0, 0, b.Here() - 1);
        w.FileScope(0).Lines(1, 5).Function("ONFRAME", 0, 4, 5);
        const std::string script = WriteProgram(scratch, "loop.bin", b);
        ASSERT_TRUE(w.Write(script));
        const uint16_t commandPort = FreeLoopbackPort(), eventPort = FreeLoopbackPort();
        qem = Start({script, "-w", "160", "-h", "120", "-EngineParam",
                     "DBGOUT=" + std::to_string(outputListener.Port()) + ";DBGCMD=" + std::to_string(commandPort) +
                         ";DBGEVT=" + std::to_string(eventPort)});
        ASSERT_TRUE(client.Connect(outputListener, commandPort, eventPort));
        ASSERT_TRUE(client.Command("b loop.qsx:4"));
        ASSERT_TRUE(client.Command("c"));
        ASSERT_EQ(client.Event(10s), "Resumed by client\r\n");
        ASSERT_EQ(client.Event(10s), "Breakpoint at loop.qsx:4\r\n");
        ASSERT_TRUE(client.Command("bt"));
        EXPECT_NE(client.Reply().find("stackframes"), std::string::npos);
    }

    // After the client left: the script runs on without debugger (its
    // output still goes to the listener), and the program ends cleanly.
    void ExpectRunsOnAndEndsCleanly() {
        std::string printed;
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (printed.size() < 5 && std::chrono::steady_clock::now() < until)
            printed += client.output->Read(16, 100ms);
        EXPECT_GE(printed.size(), 5u);
        ASSERT_TRUE(EndsOnSignal(*qem));
        EXPECT_TRUE(LeftClean(*qem));
    }

    LoopbackListener outputListener;
    DebugClient client;
    std::unique_ptr<QemProcess> qem;
};

TEST_F(ProgramEndDebugged, SigtermEndsTheWaitAtABreakpoint) {
    ASSERT_TRUE(EndsOnSignal(*qem));
    EXPECT_EQ(client.Event(), "Stopped\r\n");
    EXPECT_TRUE(LeftClean(*qem));
}

TEST_F(ProgramEndDebugged, AClientThatVanishesLeavesTheProgramRunningAndEndingCleanly) {
    client.commands->Close();
    ExpectRunsOnAndEndsCleanly();
}

TEST_F(ProgramEndDebugged, AClientThatHalfClosesIsGoneToo) {
    client.commands->CloseSending();
    ExpectRunsOnAndEndsCleanly();
}
