// A debugger client against a debugged machine over real loopback sockets,
// as the engine runs one: the machine is made with the debug flag and its
// three ports, the loader's debugger part reads the .dbg file and starts the
// session, and the host keeps calling the script. The client listens for
// the script's output and connects to the command and event ports.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "debugger/DebugSessionLoader.h"
#include "support/DebugInfoWriter.h"
#include "support/LoopbackPeer.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// loop.qsx:
//   F(a)     [10] r = a * 2   [11] return r
//   MAIN()   [3] reserve      [4] n = 1   [5] n = F(n)   [6] output n   [7] return n
struct LoopProgram {
    ProgramBuilder b;
    DebugInfoWriter w;

    void Line(int line) {
        b.Line(line);
        w.AddLine(0, line, b.Here());
    }

    std::shared_ptr<VmProgram> Build() {
        w.AddFile("loop.qsx");
        Line(1);
        b.Return();
        b.Function("F", 1);
        Line(10);
        b.Emit(OP_RESERVE, I(1));
        b.Emit(OP_MUL, L(-1), VInt(2), L(1));
        Line(11);
        b.Return(L(1));
        b.Function("MAIN", 0);
        Line(3);
        b.Emit(OP_RESERVE, I(1));
        Line(4);
        b.Emit(OP_COPY, VInt(1), None(), L(1));
        Line(5);
        b.CallScript("F", {L(1)}, L(1));
        Line(6);
        b.Emit(OP_OUTPUT, L(1));
        Line(7);
        b.Return(L(1));
        w.AddRange(0, 0, b.Here() - 1);
        DebugScopeWriter& file = w.FileScope(0);
        file.Lines(1, 20);
        file.Function("MAIN", 0, 3, 7).Variable("n", 1, 3);
        file.Function("F", 1, 10, 11).Variable("a", -1, 10).Variable("r", 1, 10);
        return b.Build();
    }
};

}  // namespace

TEST(DebugEndToEnd, ClientDrivesAScriptThatTheHostKeepsCalling) {
    ScratchFolder folder;
    const std::string bytecode = folder.Path() + "loop.bin";
    LoopProgram source;
    std::shared_ptr<VmProgram> program = source.Build();
    ASSERT_NE(program, nullptr);
    ASSERT_TRUE(source.w.Write(bytecode));

    LoopbackListener outputListener;
    const int32_t outputPort = outputListener.Port();
    const int32_t commandPort = FreeLoopbackPort();
    const int32_t eventPort = FreeLoopbackPort();

    std::atomic<bool> quit{false};
    std::atomic<int> calls{0};
    std::atomic<int> depthChanges{0};
    std::thread host([&] {
        CVirtualMachine vm(true, outputPort, commandPort, eventPort);
        if (!vm.StartProgram(program)) return;
        DebugSessionLoader debugger;
        if (!debugger.ReadDebugInfo(vm, bytecode + ".dbg")) return;
        debugger.StartSession(vm);
        const int32_t depth = vm.StackDepth();
        while (!quit) {
            vm.CallFunctionByName("MAIN");
            if (vm.StackDepth() != depth) ++depthChanges;
            ++calls;
            std::this_thread::sleep_for(1ms);
        }
    });
    struct Join {
        std::thread& t;
        std::atomic<bool>& quit;
        ~Join() {
            quit = true;
            t.join();
        }
    } join{host, quit};

    std::unique_ptr<LoopbackPeer> output = outputListener.Accept();
    ASSERT_TRUE(output);
    std::unique_ptr<LoopbackPeer> commands = LoopbackPeer::ConnectWithin(commandPort, 10s);
    ASSERT_TRUE(commands);
    // The event port listens once the command client is in.
    std::unique_ptr<LoopbackPeer> events = LoopbackPeer::ConnectWithin(eventPort, 10s);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->ReadLine(), "Started\r\n");

    const auto command = [&](const std::string& line) {
        commands->Send(line + "\r\n");
        EXPECT_EQ(commands->ReadLine(), "ok\n") << line;
    };

    command("b loop.qsx:5");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at loop.qsx:5\r\n");
    command("print n");
    EXPECT_EQ(commands->ReadLine(), "1\n");

    command("s");
    EXPECT_EQ(events->ReadLine(), "Resumed by step into\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at loop.qsx:10\r\n");
    command("bt");
    EXPECT_EQ(commands->ReadLine(),
              "{\"stackframes\":[{\"description\":\"F(a)\",\"file\":\"loop.qsx\",\"line\":10},"
              "{\"description\":\"MAIN()\",\"file\":\"loop.qsx\",\"line\":5,\"variables\":"
              "[{\"name\":\"n\",\"type\":\"Integer\",\"value\":\"1\"}]}]}\n");

    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at loop.qsx:5\r\n");
    command("n");
    EXPECT_EQ(events->ReadLine(), "Resumed by step over\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at loop.qsx:6\r\n");

    command("d loop.qsx:5");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    // It runs on without stopping: the script's output keeps coming.
    EXPECT_EQ(output->Read(20), std::string(20, '2'));
    EXPECT_EQ(events->ReadLine(200ms), "");

    command("exit");
    EXPECT_EQ(events->ReadLine(), "Stopped\r\n");
    // The host goes on calling; the script does nothing any more (at most
    // the instruction after the command's poll ran).
    while (output->Read(1, 200ms) == "2") {
    }
    const int before = calls;
    for (int i = 0; i < 500 && calls < before + 100; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_GE(calls, before + 100);
    EXPECT_EQ(output->Read(1, 100ms), "");
    EXPECT_EQ(depthChanges, 0);
    command("exit");
    EXPECT_EQ(events->ReadLine(200ms), "");  // "Stopped" only once
}
