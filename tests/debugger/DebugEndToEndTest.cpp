// A debugger client against a debugged machine over real loopback sockets,
// as the engine runs one: the machine is made with the debug flag and its
// three ports, the loader's debugger part reads the .dbg file and starts the
// session, and the host keeps calling the script. The client listens for
// the script's output and connects to the command and event ports.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "DebugSessionFixture.h"
#include "debugger/DebugSessionLoader.h"
#include "support/LoopbackPeer.h"
#include "support/ScratchFolder.h"

using namespace qemtest;
using namespace std::chrono_literals;

// The fixture's program, with MAIN calling F on line 4.
TEST_F(DebugSessionTest, EndToEndClientDrivesAScriptThatTheHostKeepsCalling) {
    ScratchFolder folder;
    const std::string bytecode = folder.Path() + "main.bin";
    ASSERT_TRUE(w.Write(bytecode));

    LoopbackListener outputListener;
    const int32_t outputPort = outputListener.Port();
    const int32_t commandPort = FreeLoopbackPort();
    const int32_t eventPort = FreeLoopbackPort();

    std::atomic<bool> quit{false};
    std::atomic<int> calls{0};
    std::atomic<int> depthChanges{0};
    std::thread host([&] {
        CVirtualMachine vm(true, outputPort, commandPort, eventPort);
        vm.RegisterClass(new Box::Registration());
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

    DebugClient client;
    ASSERT_TRUE(client.Connect(outputListener, commandPort, eventPort));
    LoopbackPeer* output = client.output.get();
    LoopbackPeer* commands = client.commands.get();
    LoopbackPeer* events = client.events.get();
    const auto command = [&](const std::string& line) { EXPECT_TRUE(client.Command(line)) << line; };

    command("b main.qsx:4");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at main.qsx:4\r\n");
    command("print n");
    EXPECT_EQ(commands->ReadLine(), "1\n");

    command("s");
    EXPECT_EQ(events->ReadLine(), "Resumed by step into\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at main.qsx:10\r\n");
    command("bt");
    const std::string frames = commands->ReadLine();
    EXPECT_EQ(frames.rfind("{\"stackframes\":[{\"description\":\"F(a)\",\"file\":\"main.qsx\",\"line\":10,", 0), 0u);
    EXPECT_NE(frames.find("{\"description\":\"MAIN()\",\"file\":\"main.qsx\",\"line\":4,\"variables\":"
                          "[{\"name\":\"n\",\"type\":\"Integer\",\"value\":\"1\"},"),
              std::string::npos);

    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at main.qsx:4\r\n");
    command("n");
    EXPECT_EQ(events->ReadLine(), "Resumed by step over\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at main.qsx:5\r\n");

    command("d main.qsx:4");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    // It runs on without stopping: the script's output keeps coming.
    EXPECT_EQ(output->Read(20), std::string(20, '4'));
    EXPECT_EQ(events->ReadLine(200ms), "");

    command("exit");
    EXPECT_EQ(events->ReadLine(), "Stopped\r\n");
    // The host goes on calling; the script does nothing any more (at most
    // the instruction after the command's poll ran).
    while (output->Read(1, 200ms) == "4") {
    }
    const int before = calls;
    for (int i = 0; i < 500 && calls < before + 100; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_GE(calls, before + 100);
    EXPECT_EQ(output->Read(1, 100ms), "");
    EXPECT_EQ(depthChanges, 0);
    command("exit");
    EXPECT_EQ(events->ReadLine(200ms), "");  // "Stopped" only once
}

TEST(DebugPortsFromEngineParameters, NamesAreExactAndAllThreeAreNeeded) {
    struct Case {
        const char* text;
        int32_t output, commands, events;
        bool enabled;
    };
    const Case cases[] = {
        {"DBGOUT=5001;DBGCMD=5002;DBGEVT=5003", 5001, 5002, 5003, true},
        {"FOV=45;QUIET=1;DBGOUT=7;DBGCMD=8;DBGEVT=9;MSAA=4", 7, 8, 9, true},
        {"DBGOUT= 7;DBGCMD=+8x;DBGEVT=9", 7, 8, 9, true},
        {"dbgout=7;DBGCMD=8;DBGEVT=9", 0, 8, 9, false},
        {" DBGOUT=7;DBGCMD=8;DBGEVT=9", 0, 8, 9, false},
        {"DBGOUT=0;DBGCMD=8;DBGEVT=9", 0, 8, 9, false},
        {"DBGOUT=7;DBGCMD=8", 7, 8, 0, false},
        {"DBGOUT=-7;DBGCMD=8;DBGEVT=99999999999", -7, 8, INT32_MAX, false},
        {"", 0, 0, 0, false},
        {"==;;DBGOUT", 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        const DebugPorts p = ReadDebugPorts(c.text);
        EXPECT_EQ(p.output, c.output) << c.text;
        EXPECT_EQ(p.commands, c.commands) << c.text;
        EXPECT_EQ(p.events, c.events) << c.text;
        EXPECT_EQ(p.Enabled(), c.enabled) << c.text;
    }
}
