// The debugger end to end: qem runs a program with its .dbg file and the
// three debugger ports; a test client listens for the output and drives the
// session over the command and event ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/DebugInfoWriter.h"
#include "support/LoopbackPeer.h"
#include "support/EngineFixtures.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// file.qsx: ONFRAME sets n (line 4), calls F(n) (line 5), prints (line 6);
// F(a) adds one (line 10) and returns it (line 11).
std::string WriteDebuggedProgram(const ScratchFolder& folder) {
    ProgramBuilder b;
    DebugInfoWriter w;
    w.AddFile("file.qsx");
    auto line = [&](int n) {
        b.Line(n);
        w.AddLine(0, n, b.Here());
    };
    line(1);
    b.Return();
    b.Function("F", 1);
    line(10);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_ADD, L(-1), VInt(1), L(1));
    line(11);
    b.Return(L(1));
    b.Function("ONFRAME", 0);
    line(4);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_COPY, VInt(1), None(), L(1));
    line(5);
    b.CallScript("F", {L(1)}, L(1));
    line(6);
    b.Emit(OP_OUTPUT, L(1));
    line(7);
    b.Return();
    w.AddRange(0, 0, b.Here() - 1);
    DebugScopeWriter& scope = w.FileScope(0).Lines(1, 11);
    scope.Function("F", 1, 10, 11).Variable("a", -1, 10);
    scope.Function("ONFRAME", 0, 4, 7).Variable("n", 1, 4);
    const std::string path = WriteProgram(folder, "file.bin", b);
    EXPECT_TRUE(w.Write(path));
    return path;
}

}  // namespace

TEST(ProgramDebugger, AClientDrivesTheScriptOfTheRunningProgram) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder folder;
    const std::string script = WriteDebuggedProgram(folder);
    LoopbackListener outputListener;
    const uint16_t commandPort = FreeLoopbackPort();
    const uint16_t eventPort = FreeLoopbackPort();
    const std::string param = "DBGOUT=" + std::to_string(outputListener.Port()) +
                              ";DBGCMD=" + std::to_string(commandPort) + ";DBGEVT=" + std::to_string(eventPort);

    QemProcess qem(QEM_PROGRAM, {script, "-EngineParam", param}, folder.Make("log.txt"));
    ASSERT_TRUE(qem.Started());

    DebugClient client;
    ASSERT_TRUE(client.Connect(outputListener, commandPort, eventPort));
    LoopbackPeer* output = client.output.get();
    LoopbackPeer* events = client.events.get();
    const auto command = [&](const std::string& line) { EXPECT_TRUE(client.Command(line)) << line; };

    command("b file.qsx:5");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at file.qsx:5\r\n");
    command("s");
    EXPECT_EQ(events->ReadLine(), "Resumed by step into\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at file.qsx:10\r\n");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at file.qsx:5\r\n");
    command("n");
    EXPECT_EQ(events->ReadLine(), "Resumed by step over\r\n");
    EXPECT_EQ(events->ReadLine(), "Breakpoint at file.qsx:6\r\n");

    command("d file.qsx:5");
    command("c");
    EXPECT_EQ(events->ReadLine(), "Resumed by client\r\n");
    // Frames run on, printing F(1) (after the load's warnings, which the
    // client gets too).
    std::string printed;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::count(printed.begin(), printed.end(), '2') < 10 && std::chrono::steady_clock::now() < until)
        printed += output->Read(256, 100ms);
    EXPECT_GE(std::count(printed.begin(), printed.end(), '2'), 10) << printed;
    EXPECT_NE(printed.find("Function 'OnInit' not found!"), std::string::npos);
    EXPECT_EQ(events->ReadLine(300ms), "");

    command("exit");
    EXPECT_EQ(events->ReadLine(), "Stopped\r\n");
    while (!output->Read(256, 300ms).empty()) {
    }
    // The engine keeps running with the script stopped.
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(qem.Running());
    EXPECT_EQ(output->Read(1, 200ms), "");
    command("exit");
    EXPECT_EQ(events->ReadLine(200ms), "");  // "Stopped" only once
}
