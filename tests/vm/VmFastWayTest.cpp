// The run loop's fast way (specialised and fused handlers, frames checked
// once per call) against its watched way (a step hook sends every
// instruction through the general handler of its opcode): the same program
// gives the same result, output, errors and line numbers either way.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "support/ProgramBuilder.h"
#include "support/TestObjects.h"
#include "vm/VirtualMachine.h"
#include "vm/VmHandlers.h"

using namespace qemtest;

namespace {

struct Outcome {
    std::string result;  // type and text form of MAIN's result
    std::string output;
    bool error = false;
    int32_t depth = 0;
    bool operator==(const Outcome& o) const {
        return result == o.result && output == o.output && error == o.error && depth == o.depth;
    }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "result " << o.result << ", error " << o.error << ", depth " << o.depth << ", output:\n"
              << o.output;
}

void NoHook(int32_t, CVirtualMachine*) {}

// Runs MAIN (with the arguments) on the machine, watched or not.
Outcome RunOn(CVirtualMachine& vm, ProgramBuilder& b, bool watched, const std::vector<int32_t>& args = {}) {
    std::ostringstream out;
    vm.SetOutputStream(&out, false);
    std::shared_ptr<VmProgram> p = b.Build();
    EXPECT_TRUE(p) << b.LastError();
    if (!p) return {};
    Outcome o;
    vm.SetStepHook(nullptr);
    if (vm.StartProgram(p)) {
        if (watched) vm.SetStepHook(&NoHook);
        for (int32_t a : args) vm.AddArgInteger(a);
        if (const CVmValue* r = vm.CallFunctionByName("MAIN")) {
            std::ostringstream text;
            text << VmTypeName(r->type) << " " << r;
            o.result = text.str();
        }
    }
    o.output = out.str();
    o.error = vm.HasError();
    o.depth = vm.StackDepth();
    vm.UnloadProgram();
    vm.SetOutputStream(nullptr, false);
    return o;
}

Outcome RunFresh(ProgramBuilder& b, bool watched, const std::vector<int32_t>& args = {}) {
    CVirtualMachine vm;
    return RunOn(vm, b, watched, args);
}

// Operand values the shapes are tried with.
std::vector<CVmValue> Samples() {
    std::vector<CVmValue> s = {Int(7), Int(-7), Int(INT32_MIN), Int(0), Real(2.5f), Real(NAN), Str("ab"), CVmValue()};
    CVmValue a;
    a.SetArray(new CVmArray(2));
    a.asArray->SetAt(0, Int(5));
    s.push_back(a);
    return s;
}

// Operand k of a mode, holding v: a frame slot (L2, L3, L1 for A, B, T) or
// a global (G0, G1, G2), filled by COPYs emitted now; an embedded value; an
// immediate (false when v is no Integer).
bool Place(ProgramBuilder& b, VmOperandKind kind, int k, const CVmValue& v, Opnd& out) {
    switch (kind) {
    case VmOperandKind::Local:
        out = L(k == 2 ? 1 : 2 + k);
        break;
    case VmOperandKind::Global:
        out = G(k);
        break;
    case VmOperandKind::Value:
        out = VValue(v);
        return true;
    case VmOperandKind::Temp1:
    case VmOperandKind::Temp2:
        if (v.type != VmValueType::Integer) return false;
        out = I(v.asInt);
        return true;
    default:
        out = None();
        return true;
    }
    if (!v.IsVoid()) b.Emit(OP_COPY, VValue(v), None(), out);
    return true;
}

// MAIN tries one instruction in one mode with A and B (and T) holding the
// values, and answers what T holds, or for jumps whether it jumped.
bool Program(ProgramBuilder& b, int opcode, int mode, const CVmValue& va, const CVmValue& vb, const CVmValue& vt,
             bool jumps) {
    const VmModeInfo* info = VmModeInfoOf(mode);
    b.SetGlobalCount(3);
    b.Return();
    b.Function("MAIN", 0);
    b.Line(5);
    b.Emit(OP_RESERVE, I(3));
    Opnd a, o, t;
    if (!Place(b, info->kind[0], 0, va, a) || !Place(b, info->kind[1], 1, vb, o)) return false;
    Label taken = b.NewLabel();
    if (jumps) {
        t = At(taken);
    } else if (!Place(b, info->kind[2], 2, vt, t)) {
        return false;
    }
    b.Line(6);
    b.EmitMode(opcode, mode, a, o, t);
    b.Line(7);
    if (jumps) {
        b.Emit(OP_RETURN, VStr("fell"));
        b.Bind(taken);
        b.Emit(OP_RETURN, VStr("jumped"));
    } else {
        b.Emit(OP_RETURN, t);
    }
    return true;
}

struct Family {
    std::vector<int> opcodes;
    std::vector<int> modes;
    bool jumps;
};

std::vector<Family> Families() {
    std::vector<int> abt, abj, akt, at, aj, s;
#define VM_TEST_MODE(F, mode, a, b, t) F.push_back(mode);
    VM_SHAPES_ABT(VM_TEST_MODE, abt)
    VM_SHAPES_ABJ(VM_TEST_MODE, abj)
    VM_SHAPES_AKT(VM_TEST_MODE, akt)
    VM_SHAPES_AT(VM_TEST_MODE, at)
    VM_SHAPES_AJ(VM_TEST_MODE, aj)
    VM_SHAPES_S(VM_TEST_MODE, s)
#undef VM_TEST_MODE
    return {
        {{OP_ADD, OP_SUB, OP_MUL, OP_INDEX_READ, OP_INDEX_WRITE}, abt, false},
        {{OP_MOD, OP_DIV}, akt, false},
        {{OP_JUMP_EQ, OP_JUMP_NE, OP_JUMP_LT, OP_JUMP_GT, OP_JUMP_LE, OP_JUMP_GE}, abj, true},
        {{OP_JUMP_TRUE, OP_JUMP_FALSE}, aj, true},
        {{OP_COPY, OP_ADD_TO, OP_SUB_FROM, OP_MUL_BY, OP_ARRAY_APPEND, OP_LEN}, at, false},
        {{OP_INC, OP_DEC, OP_POP_INTO}, s, false},
    };
}

}  // namespace

TEST(FastWay, EverySpecialisedShapeAgreesWithTheGeneralHandlers) {
    std::vector<CVmValue> samples = Samples();
    CVmValue yes;
    yes.SetBool(true);
    samples.push_back(yes);
    // Divisors that the linker turns into reciprocals, and others.
    std::vector<CVmValue> divisors = {Int(2), Int(3), Int(7), Int(1000003), Int(INT32_MAX), Int(1), Int(0), Int(-1),
                                      Int(-3), Real(2.5f)};
    int tried = 0;
    CVirtualMachine fastVm, watchedVm;
    for (const Family& f : Families()) {
        const bool division = f.opcodes[0] == OP_MOD;
        for (int opcode : f.opcodes) {
            for (int mode : f.modes) {
                for (const CVmValue& va : samples) {
                    for (const CVmValue& vb : division ? divisors : samples) {
                        // T as a number, and as a string whose release the write must do.
                        for (const CVmValue& vt : {Int(40), Str("old")}) {
                            ProgramBuilder b;
                            if (!Program(b, opcode, mode, va, vb, vt, f.jumps)) continue;
                            SCOPED_TRACE("opcode " + std::to_string(opcode) + " mode " + std::to_string(mode) +
                                         " A " + VmTypeName(va.type) + " B " + VmTypeName(vb.type) + " T " +
                                         VmTypeName(vt.type));
                            EXPECT_EQ(RunOn(fastVm, b, false), RunOn(watchedVm, b, true));
                            ++tried;
                            if (::testing::Test::HasFailure()) return;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(tried, 5000);
}

TEST(FastWay, DivisionByAConstantMatchesTheHardware) {
    // Every sign and size of dividend, through the reciprocals of the
    // divisors most likely to round wrongly.
    for (int32_t d : {2, 3, 5, 7, 10, 641, 1000003, 65537, 0x3FFFFFFF, INT32_MAX}) {
        ProgramBuilder b;
        b.Return();
        b.Function("MAIN", 1);
        b.Emit(OP_RESERVE, I(2));
        b.Emit(OP_MOD, L(-1), I(d), L(1));
        b.Emit(OP_DIV, L(-1), I(d), L(2));
        b.Emit(OP_MUL, L(2), I(d), L(2));
        b.Emit(OP_ADD, L(2), L(1), L(2));
        b.Emit(OP_ARRAY, I(0), None(), L(-1));
        b.Emit(OP_ARRAY_APPEND, L(1), None(), L(-1));
        b.Emit(OP_ARRAY_APPEND, L(2), None(), L(-1));
        b.Emit(OP_RETURN, L(-1));
        std::shared_ptr<VmProgram> p = b.Build();
        ASSERT_TRUE(p);
        std::ostringstream out;
        CVirtualMachine vm;
        vm.SetOutputStream(&out, false);
        ASSERT_TRUE(vm.StartProgram(p));
        for (int64_t n : {int64_t(0), int64_t(1), int64_t(-1), int64_t(d) - 1, int64_t(d), int64_t(d) + 1, -int64_t(d),
                          int64_t(INT32_MAX), int64_t(INT32_MIN), int64_t(INT32_MIN) + 1, int64_t(123456789),
                          int64_t(-987654321)}) {
            const int32_t v = static_cast<int32_t>(n);
            vm.AddArgInteger(v);
            const CVmValue* r = vm.CallFunctionByName("MAIN");
            ASSERT_TRUE(r && r->type == VmValueType::Array) << out.str();
            EXPECT_EQ(r->asArray->items[0].asInt, v % d) << v << " % " << d;
            EXPECT_EQ(r->asArray->items[1].asInt, v) << v << " / " << d;  // (v / d) * d + v % d
        }
    }
}

namespace {

// FIB(n) through the calling convention compiled scripts use; its
// arguments and locals are strings when `strings`, so every pop and return
// releases something.
// Where FIB keeps a String: nowhere, in a frame slot of every call, or only
// in the calls that recurse (so that a call which returns at once has scalar
// slots and a String argument below its frame marker).
enum class FibStrings { kNone, kEveryFrame, kRecursingFrames };

void AddFib(ProgramBuilder& b, FibStrings strings) {
    b.Function("FIB", 1);
    b.Line(20);
    Label recurse = b.NewLabel();
    b.Emit(OP_RESERVE, I(3));
    if (strings == FibStrings::kEveryFrame) b.Emit(OP_STR, L(-1), None(), L(3));
    b.Emit(OP_JUMP_GE, L(-1), I(2), At(recurse));
    b.Line(21);
    b.Emit(OP_RETURN, L(-1));
    b.Bind(recurse);
    if (strings == FibStrings::kRecursingFrames) b.Emit(OP_STR, L(-1), None(), L(3));
    b.Line(22);
    b.Emit(OP_SUB, L(-1), I(1), L(1));
    b.CallScript("FIB", {L(1), strings != FibStrings::kNone ? L(3) : I(0)}, L(1));
    b.Emit(OP_SUB, L(-1), I(2), L(2));
    b.CallScript("FIB", {L(2)}, L(2));
    b.Line(23);
    b.Emit(OP_ADD, L(1), L(2), L(1));
    b.Emit(OP_RETURN, L(1));
}

}  // namespace

TEST(FastWay, CallsAndReturnsAgreeWithTheGeneralHandlers) {
    for (const FibStrings strings : {FibStrings::kNone, FibStrings::kEveryFrame, FibStrings::kRecursingFrames}) {
        ProgramBuilder b;
        b.Return();
        AddFib(b, strings);
        // FIB once as the compilers call it, once through a slot that holds
        // its start (a call the general way, whose return comes back the fast
        // way).
        b.Function("MAIN", 1);
        b.Emit(OP_RESERVE, I(2));
        b.CallScript("FIB", {L(-1)}, L(1));
        b.Emit(OP_COPY, I(b.FunctionStart("FIB")), None(), L(2));
        b.Push(L(-1));
        b.Emit(OP_CALL, L(2));
        b.Emit(OP_POP_INTO, L(2));
        b.Emit(OP_POP, I(1));
        b.Emit(OP_ADD, L(1), L(2), L(1));
        b.Emit(OP_RETURN, L(1));
        const Outcome fast = RunFresh(b, false, {15});
        EXPECT_EQ(fast.result, "Integer 1220") << fast;
        EXPECT_EQ(fast, RunFresh(b, true, {15}));
    }
}

TEST(FastWay, JumpsIntoTheSecondInstructionOfAFusedPairRunItAlone) {
    // Each fused pair, and a jump over its first instruction onto its second:
    // push + call, pop into + pop, increment + jump, increment + comparison.
    ProgramBuilder b;
    b.Return();
    b.Function("ONE", 1);
    b.Emit(OP_RESERVE, I(2));
    b.Emit(OP_ADD, L(-1), I(1), L(1));
    b.Emit(OP_RETURN, L(1));
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(4));
    Label call = b.NewLabel(), pop = b.NewLabel(), jump = b.NewLabel(), compare = b.NewLabel(), loop = b.NewLabel(),
          out = b.NewLabel();
    b.Emit(OP_COPY, I(10), None(), L(1));
    b.Push(L(1));  // pushed, then the call comes from the jump below
    b.Emit(OP_JUMP, At(call));
    b.Push(L(1));
    b.Bind(call);
    b.Emit(OP_CALL, I(b.FunctionStart("ONE")));
    b.Emit(OP_POP_INTO, L(2));  // L2 = 11
    b.Emit(OP_JUMP, At(pop));
    b.Emit(OP_POP_INTO, L(3));
    b.Bind(pop);
    b.Emit(OP_POP, I(1));
    b.Emit(OP_COPY, I(0), None(), L(3));
    b.Emit(OP_JUMP, At(jump));
    b.Bind(loop);
    b.Emit(OP_INC, L(3));
    b.Bind(jump);
    b.Emit(OP_JUMP, At(compare));
    b.Bind(compare);
    b.Emit(OP_INC, L(3));
    b.Emit(OP_JUMP_LT, L(3), I(5), At(loop));
    b.Emit(OP_DEC, L(3));
    b.Emit(OP_JUMP_GT, L(3), I(100), At(out));
    b.Emit(OP_ARRAY, I(0), None(), L(4));
    b.Emit(OP_ARRAY_APPEND, L(2), None(), L(4));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(4));
    b.Bind(out);
    b.Emit(OP_RETURN, L(4));
    const Outcome fast = RunFresh(b, false);
    EXPECT_EQ(fast.result, "Array { 11 , 4 }") << fast;
    EXPECT_EQ(fast, RunFresh(b, true));
}

TEST(FastWay, FramesNearTheEndsOfTheStackAreCheckedWithTheirMessages) {
    // MAIN reads parameter 3 though the host gives none: below the stack's
    // first slot. DEEP recurses until its local 300 lies past the stack's
    // last slot (or the stack overflows first).
    const std::pair<const char*, std::function<void(ProgramBuilder&)>> cases[] = {
        {"Invalid access to the local variable -3.",
         [](ProgramBuilder& b) {
             b.Function("MAIN", 0);
             b.Line(4);
             b.Emit(OP_RESERVE, I(1));
             b.Emit(OP_COPY, L(-3), None(), L(1));
             b.Emit(OP_RETURN, L(1));
         }},
        {"Invalid access to the local variable 300.",
         [](ProgramBuilder& b) {
             b.Function("DEEP", 1);
             b.Line(8);
             b.Emit(OP_RESERVE, I(40));
             b.Emit(OP_COPY, L(-1), None(), L(300));
             b.Emit(OP_ADD, L(-1), I(1), L(1));
             b.CallScript("DEEP", {L(1)}, L(1));
             b.Emit(OP_RETURN, L(1));
             b.Function("MAIN", 0);
             b.Emit(OP_RESERVE, I(1));
             b.CallScript("DEEP", {I(0)}, L(1));
             b.Emit(OP_RETURN, L(1));
         }},
    };
    for (const auto& c : cases) {
        ProgramBuilder b;
        b.Return();
        c.second(b);
        const Outcome fast = RunFresh(b, false);
        EXPECT_TRUE(fast.error);
        EXPECT_NE(fast.output.find(c.first), std::string::npos) << fast;
        EXPECT_EQ(fast, RunFresh(b, true));
    }
}

TEST(FastWay, ACallThatReservesForItsCalleeVoidsWhatLiesAboveTheTop) {
    // MAIN leaves a string in the slot above its top (a frame slot beyond its
    // reserve), then calls F, whose reserve takes that slot: it reads Void.
    ProgramBuilder b;
    b.Return();
    b.Function("F", 0);
    b.Emit(OP_RESERVE, I(2));
    b.Emit(OP_TYPE_LETTER, L(1), None(), L(2));
    b.Emit(OP_RETURN, L(2));
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_COPY, VStr("stale"), None(), L(3));
    b.Emit(OP_CALL, I(b.FunctionStart("F")));
    b.Emit(OP_POP_INTO, L(1));
    b.Emit(OP_RETURN, L(1));
    const Outcome fast = RunFresh(b, false);
    EXPECT_EQ(fast.result, "String ") << fast;
    EXPECT_EQ(fast, RunFresh(b, true));
}

namespace {

// Class C: member N; C(n) sets it; DOWN(k) calls itself on the object until k
// is 0 and answers N + k's steps; BAD() adds a string to N (a type error);
// the destructor writes "~C". MAIN(k) makes a C, calls DOWN(k) through a
// method call, drops the object (by overwriting the only local that held it
// with the result), and calls BAD when k is negative.
void AddMethodProgram(ProgramBuilder& b) {
    b.Return();
    const int ctor = b.Here();
    b.Line(30);
    b.Emit(OP_MEMBER_WRITE, L(-2), I(b.MethodName("N")), L(-1));
    b.Return();
    const int down = b.Here();
    b.Line(31);
    b.Emit(OP_RESERVE, I(2));
    Label more = b.NewLabel();
    b.Emit(OP_JUMP_GT, L(-2), I(0), At(more));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("N")), L(1));
    b.Emit(OP_RETURN, L(1));
    b.Bind(more);
    b.Line(32);
    b.Emit(OP_SUB, L(-2), I(1), L(2));
    b.CallMethod(L(-1), "DOWN", {L(2)}, L(1));
    b.Emit(OP_ADD, L(1), I(1), L(1));
    b.Emit(OP_RETURN, L(1));
    const int bad = b.Here();
    b.Line(33);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("N")), L(1));
    b.Emit(OP_ADD, L(1), VStr("x"), L(1));
    b.Return(L(1));
    const int dtor = b.Here();
    b.Line(34);
    b.Emit(OP_OUTPUT, VStr("~C"));
    b.Return();
    VmClassDeclaration& c = b.DeclareClass("C");
    c.members = {"N"};
    c.methods = {Method("$$C", ctor, 2), Method("DOWN", down, 2), Method("BAD", bad, 1), Method("$$~C", dtor, 1)};
    c.constructor = 0;
    c.destructor = 3;
    b.Function("MAIN", 1);
    b.Line(40);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("C", {I(100)}, L(1));
    Label good = b.NewLabel();
    b.Emit(OP_JUMP_GE, L(-1), I(0), At(good));
    b.Line(41);
    b.CallMethod(L(1), "BAD", {}, L(2));
    b.Bind(good);
    b.Line(42);
    b.CallMethod(L(1), "DOWN", {L(-1)}, L(1));
    b.Emit(OP_RETURN, L(1));
}

}  // namespace

TEST(FastWay, MethodsOfScriptClassesRunAsPlainCalls) {
    ProgramBuilder b;
    AddMethodProgram(b);
    for (int32_t k : {0, 3, 2000, -1}) {
        SCOPED_TRACE(k);
        const Outcome fast = RunFresh(b, false, {k});
        if (k >= 0) {
            EXPECT_EQ(fast.result, "Integer " + std::to_string(100 + k)) << fast;
            EXPECT_EQ(fast.output, "~C");
        } else {
            EXPECT_TRUE(fast.error);
            EXPECT_NE(fast.output.find("(line 33)"), std::string::npos) << fast;
        }
        EXPECT_EQ(fast, RunFresh(b, true, {k}));
    }
}

TEST(FastWay, CallSitesThatMeetSeveralClassesFindEachOnesMethodsAndMembers) {
    // A: member X, A(x) sets it, GET answers X. B, based on A: member Y, B(x)
    // sets Y (A's constructor sets X), GET answers Y * 10. One loop meets an
    // A and a B in turn at the same call and the same member read.
    ProgramBuilder b;
    b.Return();
    const int ctorA = b.Here();
    b.Emit(OP_MEMBER_WRITE, L(-2), I(b.MethodName("X")), L(-1));
    b.Return();
    const int getA = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("X")), L(1));
    b.Emit(OP_RETURN, L(1));
    const int ctorB = b.Here();
    b.Emit(OP_MEMBER_WRITE, L(-2), I(b.MethodName("Y")), L(-1));
    b.Return();
    const int getB = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("Y")), L(1));
    b.Emit(OP_MUL, L(1), I(10), L(1));
    b.Emit(OP_RETURN, L(1));
    VmClassDeclaration& a = b.DeclareClass("A");
    a.members = {"X"};
    a.methods = {Method("$$A", ctorA, 2), Method("GET", getA, 1)};
    a.constructor = 0;
    VmClassDeclaration& bc = b.DeclareClass("B");
    bc.members = {"Y"};
    bc.methods = {Method("$$B", ctorB, 2), Method("GET", getB, 1)};
    bc.constructor = 0;
    bc.bases = {0};
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(5));
    Label loop = b.NewLabel(), odd = b.NewLabel(), made = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_COPY, I(0), None(), L(1));  // i
    b.Emit(OP_COPY, I(0), None(), L(2));  // sum
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(1), I(6), At(done));
    b.Emit(OP_MOD, L(1), I(2), L(4));
    b.Emit(OP_JUMP_NE, L(4), I(0), At(odd));
    b.CallNative("A", {L(1)}, L(3));
    b.Emit(OP_JUMP, At(made));
    b.Bind(odd);
    b.CallNative("B", {L(1)}, L(3));
    b.Bind(made);
    b.CallMethod(L(3), "GET", {}, L(4));
    b.Emit(OP_ADD, L(2), L(4), L(2));
    b.Emit(OP_MEMBER_READ, L(3), I(b.MethodName("X")), L(4));
    b.Emit(OP_MUL, L(4), I(1000), L(4));
    b.Emit(OP_ADD, L(2), L(4), L(2));
    b.Emit(OP_INC, L(1));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_RETURN, L(2));
    // GET: 0 + 2 + 4 (A) and 10 + 30 + 50 (B); X: every i, times 1000.
    const Outcome fast = RunFresh(b, false);
    EXPECT_EQ(fast.result, "Integer 15096") << fast;
    EXPECT_EQ(fast, RunFresh(b, true));
}
