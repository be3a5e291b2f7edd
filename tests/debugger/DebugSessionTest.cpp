// Breakpoints, steps, stops and frames of a debug session, driven through
// in-memory channels on a machine running a test program.
#include "DebugSessionFixture.h"

using namespace qemtest;
using Events = std::vector<std::string>;

TEST_F(DebugSessionTest, StartSendsStartedAndReadsCommandsFirst) {
    StartSession({"b main.qsx:4", "b main.qsx:4"});
    EXPECT_EQ(client.TakeEvents(), (Events{"Started", "Resumed by client"}));
    // The same breakpoint twice: one entry, holding the original instruction.
    ASSERT_EQ(session->Breakpoints().size(), 1u);
    const int32_t idx = InstructionAt(4);
    EXPECT_EQ(vm->Code()[idx].opcode, OP_TRAP);
    EXPECT_EQ(session->Breakpoints().at(idx).opcode, OP_PUSH);
    EXPECT_EQ(vm->Debugger(), session.get());
}

TEST_F(DebugSessionTest, BreakpointInALoopStopsOnEveryPass) {
    StartSession({"b main.qsx:4"});
    client.TakeEvents();
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(Call("MAIN"), 4);  // the saved instruction ran once each time
        EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by client"}));
        EXPECT_EQ(vm->Code()[InstructionAt(4)].opcode, OP_TRAP);
    }
    EXPECT_EQ(out.str(), "444");
}

TEST_F(DebugSessionTest, RemovingTheBreakpointWhileStoppedAtItWritesNoTrapBack) {
    StartSession({"b main.qsx:4"});
    client.lines = {"d main.qsx:4"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(vm->Code()[InstructionAt(4)].opcode, OP_PUSH);
    EXPECT_TRUE(session->Breakpoints().empty());
    client.TakeEvents();
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), Events{});
    // Unknown files, lines without code and missing breakpoints change nothing.
    client.lines = {"b main.qsx:2", "b other.qsx:4", "b MAIN.QSX:4", "d main.qsx:5"};
    session->Pause();
    EXPECT_TRUE(session->Breakpoints().empty());
}

TEST_F(DebugSessionTest, StepIntoStopsAtTheCalleesFirstLine) {
    StartSession({"b main.qsx:4"});
    client.TakeEvents();
    client.lines = {"s"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by step into",
                                           "Breakpoint at main.qsx:10", "Resumed by client"}));
    // The step's trap is gone; the breakpoint stays.
    EXPECT_EQ(session->Breakpoints().size(), 1u);
    EXPECT_NE(vm->Code()[InstructionAt(10)].opcode, OP_TRAP);
}

TEST_F(DebugSessionTest, StepOverPassesTheCallAndStopsOnTheCallersNextLine) {
    StartSession({"b main.qsx:4"});
    client.TakeEvents();
    client.lines = {"n", "n", "n"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(),
              (Events{"Breakpoint at main.qsx:4", "Resumed by step over", "Breakpoint at main.qsx:5",
                      "Resumed by step over", "Breakpoint at main.qsx:6", "Resumed by step over"}));
    EXPECT_EQ(out.str(), "4");
    EXPECT_EQ(session->Breakpoints().size(), 1u);
}

TEST_F(DebugSessionTest, StepOutOfACalleeStopsOnTheCallersNextLine) {
    StartSession({"b main.qsx:13"});
    client.TakeEvents();
    client.lines = {"n"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:13", "Resumed by step over",
                                           "Breakpoint at main.qsx:5", "Resumed by client"}));
}

TEST_F(DebugSessionTest, StepToALineWithABreakpointKeepsTheBreakpoint) {
    StartSession({"b main.qsx:4", "b main.qsx:5"});
    client.TakeEvents();
    client.lines = {"n"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by step over",
                                           "Breakpoint at main.qsx:5", "Resumed by client"}));
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by client",
                                           "Breakpoint at main.qsx:5", "Resumed by client"}));
}

TEST_F(DebugSessionTest, BreakpointInsideASteppedOverCallStopsThereAndLosesNoInstruction) {
    StartSession({"b main.qsx:4", "b main.qsx:21"});
    client.TakeEvents();
    client.lines = {"n"};
    EXPECT_EQ(Call("MAIN"), 4);  // G(F(1)) = (1 + 1) * 2
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by step over",
                                           "Breakpoint at main.qsx:21", "Resumed by client"}));
    EXPECT_EQ(vm->Globals()[kEarly].asInt, 4);
    EXPECT_EQ(session->Breakpoints().size(), 2u);  // both stay
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:4", "Resumed by client",
                                           "Breakpoint at main.qsx:21", "Resumed by client"}));
}

TEST_F(DebugSessionTest, FrameSelectionWalksTheCallers) {
    StartSession({"b main.qsx:22"});
    client.lines = {"frame 1", "p x", "frame 0", "p z", "f 2", "p n", "frame 9", "p n", "f 1", "p a"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeReplies(), (Events{"2", "4", "1", "1", "1"}));
}

TEST_F(DebugSessionTest, ExitStopsTheScriptUntilAContinue) {
    StartSession();
    client.lines = {"exit"};
    session->Pause();
    EXPECT_EQ(client.TakeEvents(), (Events{"Started", "Resumed by client", "Stopped"}));
    // Stopped after its first instruction, every call leaves the stack as it found it.
    const int32_t depth = vm->StackDepth();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(Call("MAIN"), -1000);
        ASSERT_EQ(vm->StackDepth(), depth);
    }
    EXPECT_EQ(out.str(), "");
    // A function without locals that was stopped has no result either.
    const CVmValue* r = vm->CallFunctionByName("PING");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, VmValueType::Void);
    EXPECT_EQ(vm->StackDepth(), depth);
    EXPECT_EQ(out.str(), "1");
    // A continue that arrives while it runs lets it run again; a second exit
    // sends nothing.
    client.Queue("c");
    EXPECT_EQ(Call("MAIN"), 4);
    client.lines = {"exit"};
    session->Pause();
    EXPECT_EQ(client.TakeEvents(), (Events{"Resumed by client"}));
    EXPECT_EQ(Call("MAIN"), -1000);
}

TEST_F(DebugSessionTest, CommandsArrivingWhileRunningAreServedByThePoll) {
    StartSession();
    client.TakeEvents();
    client.Queue("b main.qsx:5");
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:5", "Resumed by client"}));
    // A pause stops where the script is, without an event; a step from there
    // stops at the next line start.
    client.Queue("pause");
    client.Queue("s");
    client.Queue("d main.qsx:5");
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(),
              (Events{"Resumed by step into", "Breakpoint at main.qsx:4", "Resumed by client"}));
}

TEST_F(DebugSessionTest, RunTimeErrorStopsAtTheFailingInstruction) {
    StartSession();
    client.TakeEvents();
    client.lines = {"p d", "p e"};
    EXPECT_EQ(Call("ERR"), -1000);
    EXPECT_TRUE(vm->HasError());
    // The failing instruction does not start a line: no location.
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at :-1", "Resumed by client"}));
    EXPECT_EQ(client.TakeReplies(), (Events{"0", "1"}));
    EXPECT_NE(out.str().find("Division by zero"), std::string::npos);
    EXPECT_NE(out.str().find("Call stack:"), std::string::npos);
}

TEST_F(DebugSessionTest, RunTimeErrorWhileSteppingIsReportedOnce) {
    StartSession({"b main.qsx:31"});
    client.TakeEvents();
    client.lines = {"n"};
    Call("ERR");
    EXPECT_EQ(client.TakeEvents(), (Events{"Breakpoint at main.qsx:31", "Resumed by step over",
                                           "Breakpoint at :-1", "Resumed by client"}));
}

TEST_F(DebugSessionTest, ClientLeavingResumesWithoutDebugger) {
    StartSession({"b main.qsx:4", "b main.qsx:22"});
    client.continueWhenIdle = false;
    client.lines = {"s"};
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(vm->Debugger(), nullptr);
    EXPECT_TRUE(session->ClientGone());
    for (const int line : {4, 10, 22}) EXPECT_NE(vm->Code()[InstructionAt(line)].opcode, OP_TRAP) << line;
    EXPECT_EQ(Call("MAIN"), 4);
    EXPECT_EQ(client.TakeEvents(),
              (Events{"Started", "Resumed by client", "Breakpoint at main.qsx:4", "Resumed by step into",
                      "Breakpoint at main.qsx:10"}));
}

TEST_F(DebugSessionTest, SessionAndMachineLearnOfEachOthersEndInEitherOrder) {
    // The client left, then the machine goes: the session that no longer
    // watches the machine still hears of it (the sanitizers see any read
    // of the freed machine when the session goes afterwards).
    StartSession();
    client.continueWhenIdle = false;
    session->Pause();
    ASSERT_TRUE(session->ClientGone());
    TearDown();  // the first machine's self-holding values go with it
    vm.reset();
    EXPECT_EQ(session->Machine(), nullptr);
    session.reset();

    // The session goes first: the machine forgets it.
    StartSession();
    session.reset();
    EXPECT_EQ(vm->Debugger(), nullptr);
    vm.reset();
}

TEST_F(DebugSessionTest, MachineGoingAwaySendsStoppedOnce) {
    StartSession();
    client.lines = {"exit"};
    session->Pause();
    vm.reset();
    EXPECT_EQ(session->Machine(), nullptr);
    EXPECT_EQ(client.TakeEvents(), (Events{"Started", "Resumed by client", "Stopped"}));
    session->OnBreak();  // nothing left to stop
}

TEST_F(DebugSessionTest, MachineGoingAwayWhileAttachedSendsStopped) {
    StartSession();
    client.TakeEvents();
    vm.reset();
    EXPECT_EQ(client.TakeEvents(), Events{"Stopped"});
}
