// Watch expressions and the backtrace reply, with the script stopped at a
// breakpoint.
#include <json/reader.h>

#include "DebugSessionFixture.h"
#include "debugger/DebugEvaluator.h"

using namespace qemtest;
using Lines = std::vector<std::string>;

namespace {

struct PrintCase {
    const char* line;
    const char* reply;
};

}  // namespace

// Stopped in G(3) called by F(2): b = 3, z = 6, early = 6.
TEST_F(DebugSessionTest, PrintRepliesAtABreakpoint) {
    StartSession({"b main.qsx:22"});
    vm->AddConstant("MAXV", 99);
    const std::vector<PrintCase> cases = {
        {"print 1+2", "3"},
        {"print 3 > 2", "True"},
        {"print 3 > true", "<evaluation error>"},
        {"print true and 1", "<evaluation error>"},
        {"print (true and 1) + 2", "<evaluation error>"},
        {"print b", "3"},
        {"print B * z", "18"},
        {"print x", "x:<variable not found / optimized away>"},
        {"print early", "6"},
        // Declared (as a global) on a later line: not visible yet.
        {"print late", "late:<variable not found / optimized away>"},
        // Two files declare it; the first one's slot.
        {"print counter", "7"},
        {"print MAXV", "99"},
        {"print maxv", "maxv:<variable not found / optimized away>"},
        {"print [1, 2.5, \"s\"]", "[ 1 , 2.5 , 0 ]"},
        {"print {1, \"a\"}", "{ 1 , a }"},
        {"print {}", "{  }"},
        {"print []", "[  ]"},
        {"print {1, 1 + true}", "<evaluation error>"},
        {"print items", "{ 1 , two , 3.5 }"},
        {"print items[1]", "two"},
        {"print items[3]", "<evaluation error>"},
        {"print items[-1]", "<evaluation error>"},
        {"print items[1.5]", "arrays and vectors needs to accessed by an integer"},
        {"print items[true and 1]", "arrays and vectors needs to accessed by an integer"},
        {"print counter[0]", "only arrays and vectors can be accessed via an index"},
        {"print vec[1]", "2"},
        {"print vec[5]", "0"},
        {"print vec[-1]", "0"},
        {"print box", "(Obj:Box)"},
        {"print box.count", "5"},
        {"print box.Area + 1", "3.5"},
        {"print box.peer.peer.name", "bx"},
        {"print box.nothing", "<variable not found>"},
        {"print box.bad", "<variable not found>"},
        {"print counter.x", "invalid object"},
        {"print x.y", "x:<variable not found / optimized away>"},
        {"print self", "{ 1 , { ... } }"},
        {"print self[1][1][0]", "1"},
        // Integer faults of the handlers do not end the process.
        {"print point", "(Obj:PT)"},
        {"print point.px", "42"},
        {"print point.nothing", "<variable not found>"},
        {"print 1/0", "Void"},
        {"print 1%0", "Void"},
        {"print (-2147483647-1)/-1", "-2147483648"},
        {"print -2147483648/-1", "2147483647"},  // the literal saturates
        {"print (-2147483647-1)%-1", "0"},
        {"print 2147483647+1", "-2147483648"},
    };
    for (const PrintCase& c : cases) client.lines.push_back(c.line);
    vm->AddArgInteger(2);
    testing::internal::CaptureStdout();
    ASSERT_NE(vm->CallFunctionByName("F"), nullptr);
    // Errors of the operators' handlers go to the standard output.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nVirtualMachine ERROR (line 0): Division by zero\nVirtualMachine ERROR (line 0): Division by zero");
    const Lines replies = client.TakeReplies();
    ASSERT_EQ(replies.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(replies[i], cases[i].reply) << cases[i].line;
    // The failing getter's message went to the script's output, marked as
    // an evaluation's; the script itself finished normally.
    EXPECT_NE(out.str().find("\nVirtualMachine ERROR while evaluating expression: ***: no such thing"),
              std::string::npos);
    EXPECT_FALSE(vm->HasError());
    EXPECT_EQ(vm->Globals()[kEarly].asInt, 6);
}

TEST_F(DebugSessionTest, LocalsFollowTheSelectedFrame) {
    StartSession({"b main.qsx:22"});
    client.lines = {"frame 1", "p x", "p a", "p v", "p v[2]", "p tmp", "p b", "frame 0", "p b"};
    vm->AddArgInteger(2);
    vm->CallFunctionByName("F");
    EXPECT_EQ(client.TakeReplies(), (Lines{"3", "2", "[ 0.5 , 1 , 0.1 ]", "0.1",
                                           "tmp:<variable not found / optimized away>",
                                           "b:<variable not found / optimized away>", "3"}));
}

TEST_F(DebugSessionTest, ThisAndMembersInsideAMethod) {
    StartSession({"b main.qsx:41", "b main.qsx:42"});
    client.lines = {"p k", "c", "p k", "p n", "p THIS", "p this", "p count", "p Name", "p THIS.area"};
    vm->AddArgValue(vm->Globals()[kBox]);
    vm->AddArgInteger(5);
    vm->CallFunctionByName("GROW");
    // A local is not visible on its own declaration line.
    EXPECT_EQ(client.TakeReplies(),
              (Lines{"k:<variable not found / optimized away>", "4", "5", "(Obj:Box)",
                     "this:<variable not found / optimized away>", "5", "bx", "2.5"}));
}

TEST_F(DebugSessionTest, BacktraceOfTwoFrames) {
    StartSession({"b main.qsx:22"});
    client.lines = {"bt", "frame 1", "bt"};
    vm->AddArgInteger(2);
    vm->CallFunctionByName("F");
    const std::string globals =
        "{\"name\":\"counter\",\"type\":\"Integer\",\"value\":\"7\"},"
        "{\"name\":\"items\",\"type\":\"Array\",\"value\":\"{ 1 , two , 3.5 }\",\"variables\":["
        "{\"name\":0,\"type\":\"Integer\",\"value\":\"1\"},"
        "{\"name\":1,\"type\":\"String\",\"value\":\"two\"},"
        "{\"name\":2,\"type\":\"Real\",\"value\":\"3.5\"}]},"
        "{\"name\":\"box\",\"type\":\"Object\",\"value\":\"(Obj:Box)\",\"variables\":["
        "{\"name\":\"COUNT\",\"type\":\"Integer\",\"value\":\"5\"},"
        "{\"name\":\"NAME\",\"type\":\"String\",\"value\":\"bx\"},"
        "{\"name\":\"BAD\",\"type\":\"\",\"value\":\"<optimized away>\"},"
        "{\"name\":\"PEER\",\"type\":\"Object\",\"value\":\"(Obj:Box)\"},"
        "{\"name\":\"AREA\",\"type\":\"Real\",\"value\":\"2.5\"}]},"
        "{\"name\":\"vec\",\"type\":\"Vector\",\"value\":\"[ 1 , 2 , 3 ]\",\"variables\":["
        "{\"name\":0,\"type\":\"VmReal\",\"value\":1.0},"
        "{\"name\":1,\"type\":\"VmReal\",\"value\":2.0},"
        "{\"name\":2,\"type\":\"VmReal\",\"value\":3.0}]},"
        "{\"name\":\"self\",\"type\":\"Array\",\"value\":\"{ 1 , { ... } }\",\"variables\":["
        "{\"name\":0,\"type\":\"Integer\",\"value\":\"1\"},"
        "{\"name\":1,\"type\":\"Array\",\"value\":\"{ 1 , { ... } }\"}]},"
        "{\"name\":\"point\",\"type\":\"Object\",\"value\":\"(Obj:PT)\"}";
    const std::string expected =
        "{\"stackframes\":["
        "{\"description\":\"G(b)\",\"file\":\"main.qsx\",\"line\":22,\"variables\":["
        "{\"name\":\"b\",\"type\":\"Integer\",\"value\":\"3\"},"
        "{\"name\":\"z\",\"type\":\"Integer\",\"value\":\"6\"},"
        "{\"name\":\"early\",\"type\":\"Integer\",\"value\":\"6\"}," +
        globals +
        "]},"
        "{\"description\":\"F(a)\",\"file\":\"main.qsx\",\"line\":12,\"variables\":["
        "{\"name\":\"tmp\",\"type\":\"\",\"value\":\"<optimized away>\"},"
        "{\"name\":\"a\",\"type\":\"Integer\",\"value\":\"2\"},"
        "{\"name\":\"x\",\"type\":\"Integer\",\"value\":\"3\"},"
        "{\"name\":\"v\",\"type\":\"Vector\",\"value\":\"[ 0.5 , 1 , 0.1 ]\",\"variables\":["
        "{\"name\":0,\"type\":\"VmReal\",\"value\":0.5},"
        "{\"name\":1,\"type\":\"VmReal\",\"value\":1.0},"
        "{\"name\":2,\"type\":\"VmReal\",\"value\":0.10000000149011612}]}," +
        globals + "]}]}";
    // The listing starts at the innermost frame whatever frame is selected.
    EXPECT_EQ(client.TakeReplies(), (Lines{expected, expected}));
}

TEST_F(DebugSessionTest, BacktraceOfAReturnAddressWithoutScope) {
    StartSession({"b main.qsx:22"});
    client.lines = {"bt"};
    vm->CallFunctionByName("LAST");
    const Lines replies = client.TakeReplies();
    ASSERT_EQ(replies.size(), 1u);
    Json::Value reply;
    std::istringstream text(replies[0]);
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), text, &reply, nullptr));
    const Json::Value& frames = reply["stackframes"];
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]["description"].asString(), "G(b)");
    // The caller's return address has no line: no description, no location,
    // only the globals.
    EXPECT_EQ(frames[1]["description"].asString(), "");
    EXPECT_EQ(frames[1]["file"].asString(), "");
    EXPECT_EQ(frames[1]["line"].asInt(), -1);
    EXPECT_EQ(frames[1]["variables"][0]["name"].asString(), "counter");
}

TEST_F(DebugSessionTest, BacktraceOutsideAFrameIsNull) {
    StartSession({"bt"});
    EXPECT_EQ(client.TakeReplies(), Lines{"null"});
}

TEST_F(DebugSessionTest, InspectionLeavesTheScriptAsItWas) {
    StartSession({"b main.qsx:22"});
    // A failing getter during the stop, read twice, then a continue.
    client.lines = {"p box.bad", "bt", "p glGet(1)", "c"};
    vm->AddArgInteger(2);
    const CVmValue* r = vm->CallFunctionByName("F");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 6);
    EXPECT_FALSE(vm->HasError());
    EXPECT_EQ(vm->m_debugRequest, 0);
    EXPECT_EQ(Call("MAIN"), 4);
    // The trap is still there for the next pass.
    EXPECT_EQ(vm->Code()[InstructionAt(22)].opcode, OP_TRAP);
}

TEST_F(DebugSessionTest, InspectionAfterARunTimeErrorKeepsTheError) {
    StartSession();
    client.lines = {"p box.count", "p box.bad", "bt"};
    Call("ERR");
    EXPECT_EQ(client.TakeReplies()[0], "5");
    EXPECT_TRUE(vm->HasError());
    EXPECT_TRUE(vm->IsStopped());
    // The failure was listed once.
    const std::string text = out.str();
    EXPECT_EQ(text.find("Call stack:"), text.rfind("Call stack:"));
}

// The engine machine's script-side call: a native function called by name.
namespace {

class EngineLikeMachine : public CVirtualMachine {
public:
    CVmValue* EvaluateExpression(const CVmValue* name, CVmArray* arguments) override {
        if (CVmValue* v = DebugCallNative(*this, "glGet", name, arguments)) return v;
        return CVirtualMachine::EvaluateExpression(name, arguments);
    }
};

class GlFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("glGet", &GlFunctions::GlGet);
        return true;
    }
    void GlGet(CVmClassBase*, int) {
        int32_t what;
        if (!ReadParams(what)) return;
        if (what < 0) {
            VmErrorStream() << "bad constant";
            return;
        }
        VmReturnInteger(what * 10);
    }
};

}  // namespace

TEST(DebugCallNative, CallsTheAllowedFunctionAndKeepsTheFlags) {
    EngineLikeMachine vm;
    std::ostringstream out;
    vm.SetOutputStream(&out, false);
    vm.RegisterFunctions(new GlFunctions());
    ProgramBuilder b;
    b.Return();
    ASSERT_TRUE(vm.StartProgram(b.Build()));
    CVmValue name;
    name.SetString("GLGET");
    CVmArray args;
    CVmValue three;
    three.SetInteger(3);
    args.Append(three);
    std::unique_ptr<CVmValue> v(vm.EvaluateExpression(&name, &args));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->asInt, 30);

    // A failing call gives no value; the machine's error flag is as it was.
    three.SetInteger(-1);
    args.SetAt(0, three);
    vm.SetErrorFlag(true);
    v.reset(vm.EvaluateExpression(&name, &args));
    EXPECT_EQ(std::string(v->asString->CStr()), "** ERROR WHILE INTERPRETING THE EXPRESSION **");
    EXPECT_TRUE(vm.HasError());
    vm.SetErrorFlag(false);
    v.reset(vm.EvaluateExpression(&name, &args));
    EXPECT_FALSE(vm.HasError());

    name.SetString("glGetX");
    v.reset(vm.EvaluateExpression(&name, &args));
    EXPECT_EQ(std::string(v->asString->CStr()), "** ERROR WHILE INTERPRETING THE EXPRESSION **");
}
