#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>

#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

class MachineTest : public ::testing::Test {
protected:
    MachineTest() { vm.SetOutputStream(&out, false); }

    bool Start(ProgramBuilder& b) {
        std::shared_ptr<VmProgram> p = b.Build();
        EXPECT_TRUE(p) << b.LastError();
        if (!p) return false;
        return vm.StartProgram(p);
    }

    // FACT(n) = n <= 1 ? 1 : n * FACT(n - 1)
    static void AddFactorial(ProgramBuilder& b) {
        b.Function("FACT", 1);
        b.Line(10);
        b.Emit(OP_RESERVE, I(1));
        Label recurse = b.NewLabel();
        b.Emit(OP_JUMP_GT, L(-1), I(1), At(recurse));
        b.Line(11);
        b.Emit(OP_RETURN, VInt(1));
        b.Bind(recurse);
        b.Line(12);
        b.Emit(OP_SUB, L(-1), I(1), L(1));
        b.Push(L(1));
        b.Emit(OP_CALL, I(b.FunctionStart("FACT")));
        b.Emit(OP_POP_INTO, L(1));
        b.Emit(OP_POP, I(1));
        b.Emit(OP_MUL, L(-1), L(1), L(1));
        b.Emit(OP_RETURN, L(1));
    }

    std::ostringstream out;
    CVirtualMachine vm;
};

}  // namespace

TEST_F(MachineTest, RecursiveFactorialFromTheHost) {
    ProgramBuilder b;
    b.Return();
    AddFactorial(b);
    ASSERT_TRUE(Start(b));
    const int32_t depth = vm.StackDepth();
    vm.AddArgInteger(5);
    CVmValue* r = vm.CallFunctionByName("fact");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, VmValueType::Integer);
    EXPECT_EQ(r->asInt, 120);
    EXPECT_EQ(vm.StackDepth(), depth);
    EXPECT_EQ(out.str(), "");
}

TEST_F(MachineTest, UnboundedRecursionOverflowsWithACappedListing) {
    ProgramBuilder b;
    b.Return();
    b.Function("LOOP", 0);
    b.Line(7);
    b.Emit(OP_CALL, I(b.FunctionStart("LOOP")));
    b.Return();
    ASSERT_TRUE(Start(b));
    CVmValue* r = vm.CallFunctionByName("LOOP");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(vm.HasError());
    const std::string text = out.str();
    EXPECT_EQ(text.find("\nVirtualMachine ERROR (line 7): stack overflow.\n\n\nCall stack: \n------------------"
                        "\nCalled from: LOOP(7)"),
              0u)
        << text;
    size_t frames = 0;
    for (size_t at = text.find("\nCalled from: "); at != std::string::npos; at = text.find("\nCalled from: ", at + 1))
        ++frames;
    EXPECT_EQ(frames, 40u);
    EXPECT_NE(text.find("\n . . .\n------------------\n"), std::string::npos);
    // The stack is back where the host call found it, and the machine keeps
    // its error: further calls run nothing.
    EXPECT_EQ(vm.StackDepth(), 0);
    EXPECT_EQ(vm.StackSize(), 16384);
}

TEST_F(MachineTest, StepHookSeesEveryInstructionInOrder) {
    ProgramBuilder b;
    b.Return();
    b.Function("CALLEE", 0);
    b.Return(VInt(3));
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_CALL, I(b.FunctionStart("CALLEE")));
    b.Emit(OP_POP_INTO, L(1));
    b.Return(L(1));
    ASSERT_TRUE(Start(b));
    static std::vector<int32_t> seen;
    seen.clear();
    vm.SetStepHook([](int32_t index, CVirtualMachine*) { seen.push_back(index); });
    CVmValue* r = vm.CallFunctionByName("MAIN");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 3);
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 3, 1, 4, 5}));
}

TEST_F(MachineTest, MissingArgumentsAreVoidAndTheStackIsRestored) {
    ProgramBuilder b;
    b.Return();
    // F(a, b, c) returns an array of its three parameters.
    b.Function("F", 3);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_ARRAY, I(0), None(), L(1));
    for (int k = 1; k <= 3; ++k) b.Emit(OP_ARRAY_APPEND, L(-k), None(), L(1));
    b.Return(L(1));
    ASSERT_TRUE(Start(b));
    const int32_t depth = vm.StackDepth();
    vm.AddArgInteger(7);
    CVmValue* r = vm.CallFunctionByName("F");
    ASSERT_NE(r, nullptr);
    std::ostringstream text;
    text << r;
    EXPECT_EQ(text.str(), "{ 7 , Void , Void }");
    EXPECT_EQ(vm.StackDepth(), depth);

    vm.AddArgInteger(1);
    EXPECT_EQ(vm.CallFunction(-1), nullptr);
    EXPECT_EQ(vm.PendingArgCount(), 0);
    EXPECT_EQ(vm.CallFunctionByName("NOPE"), nullptr);
}

TEST_F(MachineTest, ErrorsCarryTheSourceLineAndStopFurtherCalls) {
    ProgramBuilder b;
    b.Return();
    b.Function("BAD", 0);
    b.Line(3);
    b.Emit(OP_RESERVE, I(2));
    b.Emit(OP_COPY, VStr("abc"), None(), L(1));
    b.Line(4);
    b.Emit(OP_ADD, L(1), I(5), L(2));
    b.Return(L(2));
    b.Function("OK", 0);
    b.Return(VInt(1));
    ASSERT_TRUE(Start(b));
    CVmValue* r = vm.CallFunctionByName("BAD");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->IsVoid());
    EXPECT_EQ(out.str().substr(0, out.str().find("\n\n\nCall stack")),
              "\nVirtualMachine ERROR (line 4): Valid operation but uncompatible data types:\n\tType1:String + "
              "Type2:Integer\n\n\tVal1: abc\n\tVal2: 5");
    EXPECT_NE(out.str().find("\nCalled from: BAD(4)\n------------------\n"), std::string::npos);
    r = vm.CallFunctionByName("OK");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->IsVoid());  // the error flag stays set: nothing runs
}

TEST_F(MachineTest, ErrorListingNamesEveryCallerInnermostFirst) {
    ProgramBuilder b;
    Label outer = b.NewLabel(), inner = b.NewLabel();
    b.Line(1);
    b.Emit(OP_CALL, At(outer));  // the start-up code calls OUTER
    b.Emit(OP_POP, I(1));
    b.Return();
    b.Bind(outer);
    b.Function("OUTER", 0);
    b.Line(20);
    b.Emit(OP_CALL, At(inner));
    b.Return();
    b.Bind(inner);
    b.Function("INNER", 0);
    b.Line(30);
    b.Emit(OP_INC, VStr("x"));
    b.Return();
    ASSERT_FALSE(Start(b));
    const std::string text = out.str();
    EXPECT_NE(text.find("\nCalled from: INNER(30)\nCalled from: OUTER(20)\nCalled from: ___INIT___(1)\n"
                        "------------------\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(vm.LastListingLine(), 30);
}

TEST_F(MachineTest, StackGrowsByDoublingAndKeepsValues) {
    ProgramBuilder b;
    b.Return();
    b.Function("PUSHES", 1);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_COPY, I(0), None(), L(1));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(1), L(-1), At(done));
    b.Push(L(1));
    b.Emit(OP_INC, L(1));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_POP_INTO, L(1));  // the last pushed value
    b.Return(L(1));
    ASSERT_TRUE(Start(b));
    EXPECT_EQ(vm.StackSize(), 16);
    // Argument at 1, frame marker at 2, local at 3, pushes from 4: the 12th
    // push makes slot 15 the top, the limit of 16 slots.
    vm.AddArgInteger(11);
    EXPECT_EQ(vm.CallFunctionByName("PUSHES")->asInt, 10);
    EXPECT_EQ(vm.StackSize(), 16);
    vm.AddArgInteger(12);
    EXPECT_EQ(vm.CallFunctionByName("PUSHES")->asInt, 11);
    EXPECT_EQ(vm.StackSize(), 32);
}

TEST_F(MachineTest, AddressingModesPickTheirOperands) {
    // Mode 8 (L, L, T1) with 2, -1, 7: local 2, parameter 1, immediate 7.
    // Mode 22 (L, T1, T2): two immediates that do not overwrite each other.
    ProgramBuilder b;
    b.Return();
    b.Function("F", 1);
    b.Emit(OP_RESERVE, I(3));
    b.EmitMode(OP_COPY, 8, L(2), L(-1), I(7));   // T1 := L2 ... copy writes operand 3
    b.EmitMode(OP_SUB, 22, L(-1), I(100), I(1));  // T2 := L(-1) - 100
    b.EmitMode(OP_ADD, 22, L(-1), I(100), I(1));
    b.Emit(OP_ARRAY, I(0), None(), L(3));
    b.Emit(OP_ARRAY_APPEND, L(2), None(), L(3));
    b.Return(L(3));
    ASSERT_TRUE(Start(b));
    const VmProgram* p = vm.Program();
    const VmInstruction& m8 = p->code[2];
    EXPECT_EQ(m8.mode, 8);
    EXPECT_EQ(m8.Operand(0).kind, VmOperandKind::Local);
    EXPECT_EQ(m8.Operand(0).index, 2);
    EXPECT_EQ(m8.Operand(1).kind, VmOperandKind::Local);
    EXPECT_EQ(m8.Operand(1).index, -1);
    EXPECT_EQ(m8.Operand(2).kind, VmOperandKind::Temp1);
    EXPECT_EQ(m8.Operand(2).index, 7);
    const VmInstruction& m22 = p->code[3];
    EXPECT_EQ(m22.Operand(1).kind, VmOperandKind::Temp1);
    EXPECT_EQ(m22.Operand(1).index, 100);
    EXPECT_EQ(m22.Operand(2).kind, VmOperandKind::Temp2);
    EXPECT_EQ(m22.Operand(2).index, 1);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(VmModeInfoOf(57)->kind[k], VmOperandKind::Null);
    EXPECT_EQ(VmModeInfoOf(58), nullptr);
    EXPECT_EQ(VmModeInfoOf(-1), nullptr);
}

TEST_F(MachineTest, UnsupportedOpcodeOrModeIsAFatalError) {
    for (int opcode : {78, 79, 90}) {
        ProgramBuilder b;
        b.EmitRaw(opcode, 57, {});
        b.Return();
        std::shared_ptr<VmProgram> p = b.BuildUnchecked();
        ASSERT_TRUE(p);
        EXPECT_NE(p->Validate(), "");
        out.str("");
        EXPECT_FALSE(vm.StartProgram(p));
        EXPECT_NE(out.str().find("FatalError! OP CODE UNSUPPORTED"), std::string::npos) << opcode;
    }
    ProgramBuilder b;
    b.EmitRaw(OP_PUSH, -3, {});
    b.Return();
    std::shared_ptr<VmProgram> p = b.BuildUnchecked();
    out.str("");
    EXPECT_FALSE(vm.StartProgram(p));
    EXPECT_NE(out.str().find("FatalError! OP CODE UNSUPPORTED"), std::string::npos);
}

TEST_F(MachineTest, BadFrameOffsetsAreErrorsNotCrashes) {
    ProgramBuilder b;
    b.Emit(OP_COPY, L(-30000), None(), L(1));  // far below the stack
    b.Return();
    EXPECT_FALSE(Start(b));
    EXPECT_NE(out.str().find("Invalid access to the local variable -30000."), std::string::npos);

    ProgramBuilder c;
    c.Emit(OP_POP, I(5));  // more than the stack holds
    c.Return();
    out.str("");
    EXPECT_FALSE(Start(c));
    EXPECT_NE(out.str().find("stack underflow."), std::string::npos);

    ProgramBuilder d;
    d.Emit(OP_COPY, I(3), None(), L(0));  // overwrite the frame marker
    d.Return();
    out.str("");
    EXPECT_FALSE(Start(d));
    EXPECT_NE(out.str().find("Invalid call frame."), std::string::npos);
}

TEST_F(MachineTest, CallHookCodes) {
    ProgramBuilder b;
    b.Line(1);
    b.Return();
    b.Function("G", 0);
    b.Return(VInt(1));
    b.Function("F", 0);
    b.Emit(OP_CALL, I(1));
    b.Emit(OP_POP, I(1));
    b.Return();
    ASSERT_TRUE(Start(b));
    static std::vector<int32_t> codes;
    codes.clear();
    ASSERT_TRUE(vm.SetLineHook([](int32_t code, CVirtualMachine*) { codes.push_back(code); }));
    vm.CallFunctionByName("F");
    EXPECT_EQ(codes, (std::vector<int32_t>{2, 1, 0, 0}));

    CVirtualMachine plain;
    plain.SetOutputStream(&out, false);
    ProgramBuilder nolines;
    nolines.Return();
    ASSERT_TRUE(plain.StartProgram(nolines.Build()));
    EXPECT_FALSE(plain.SetLineHook([](int32_t, CVirtualMachine*) {}));
}

TEST(MachineOutput, WritesToATcpListener) {
    // A listener on a free loopback port receives what the script writes.
    int listener = -1;
    int port = 0;
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        socklen_t len = sizeof addr;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    {
        CVirtualMachine vm(false, port);
        ProgramBuilder b;
        b.Emit(OP_OUTPUT, VStr("hello"));
        b.Return();
        std::shared_ptr<VmProgram> p = b.Build();
        ASSERT_TRUE(vm.StartProgram(p));
        const int client = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(client, 0);
        char buf[16] = {};
        timeval tv{5, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        EXPECT_EQ(::recv(client, buf, 5, MSG_WAITALL), 5);
        EXPECT_STREQ(buf, "hello");
        ::close(client);
    }
    ::close(listener);
}
