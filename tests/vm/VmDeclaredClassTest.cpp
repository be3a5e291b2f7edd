#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/ProgramBuilder.h"
#include "support/TestObjects.h"
#include "vm/VirtualMachine.h"
#include "vm/VmDeclaredClass.h"

using namespace qemtest;

namespace {

// Writes each operand's text form followed by sep.
void Log(ProgramBuilder& b, const std::vector<Opnd>& parts, const char* sep = ",") {
    for (const Opnd& p : parts) {
        b.Emit(OP_OUTPUT, p);
        b.Emit(OP_OUTPUT, VStr(sep));
    }
}

class DeclaredClassTest : public ::testing::Test {
protected:
    DeclaredClassTest() { vm.SetOutputStream(&out, false); }

    bool Start(ProgramBuilder& b) {
        std::shared_ptr<VmProgram> p = b.Build();
        EXPECT_TRUE(p) << b.LastError();
        return p && vm.StartProgram(p);
    }

    CVmValue Call(const char* function) {
        CVmValue* r = vm.CallFunctionByName(function);
        return r ? *r : CVmValue();
    }

    // Class A (declaration 0): members X, Y; constructor $$A logs its three
    // parameters, sets X := P2 and keeps P1 in G1; GETSELF returns P1;
    // destructor logs ~A. Class B (declaration 1), base A: member Z;
    // constructor $$B logs, sets Z := P3 and keeps P1 in G2; destructor ~B.
    // MAKE() returns B(1, 2); SELF() returns B(1, 2).GETSELF().
    static void AddAB(ProgramBuilder& b) {
        b.SetGlobalCount(5);
        const int ctorA = b.Here();
        Log(b, {VStr("A:"), L(-1), L(-2), L(-3)});
        b.Emit(OP_MEMBER_WRITE, L(-2), I(b.MethodName("X")), L(-1));
        b.Emit(OP_COPY, L(-1), None(), G(1));
        b.Return();
        const int getSelf = b.Here();
        b.Return(L(-1));
        const int dtorA = b.Here();
        b.Emit(OP_OUTPUT, VStr("~A;"));
        b.Return();
        const int ctorB = b.Here();
        Log(b, {VStr("B:"), L(-1), L(-2), L(-3)});
        b.Emit(OP_MEMBER_WRITE, L(-3), I(b.MethodName("Z")), L(-1));
        b.Emit(OP_COPY, L(-1), None(), G(2));
        b.Return();
        const int dtorB = b.Here();
        b.Emit(OP_OUTPUT, VStr("~B;"));
        b.Return();
        b.Function("MAKE", 0);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("B", {VInt(1), VInt(2)}, L(1));
        b.Return(L(1));
        b.Function("SELF", 0);
        b.Emit(OP_RESERVE, I(2));
        b.CallNative("B", {VInt(1), VInt(2)}, L(1));
        b.CallMethod(L(1), "GETSELF", {}, L(2));
        b.Return(L(2));

        VmClassDeclaration& a = b.DeclareClass("A");
        a.members = {"X", "Y"};
        a.methods = {Method("$$A", ctorA, 3), Method("GETSELF", getSelf, 1), Method("$$~A", dtorA, 1)};
        a.constructor = 0;
        a.destructor = 2;
        VmClassDeclaration& bc = b.DeclareClass("B");
        bc.members = {"Z"};
        bc.methods = {Method("$$B", ctorB, 3), Method("$$~B", dtorB, 1)};
        bc.constructor = 0;
        bc.destructor = 1;
        bc.bases = {0};
    }

    std::ostringstream out;
    CVirtualMachine vm;
};

}  // namespace

TEST_F(DeclaredClassTest, ConstructionRunsBaseConstructorsFirstWithTheSameArguments) {
    ProgramBuilder b;
    b.Return();
    AddAB(b);
    ASSERT_TRUE(Start(b));
    CVmValue made = Call("MAKE");
    ASSERT_EQ(made.type, VmValueType::Object);
    EXPECT_STREQ(made.asObject->ClassName(), "B");
    EXPECT_EQ(out.str(), "A:,(Obj:A),1,2,B:,(Obj:B),1,2,");
    // Each constructor saw the object of its own class: B's constructor the
    // object itself, A's the object's A part.
    CVmValue* g = vm.Globals();
    ASSERT_EQ(g[1].type, VmValueType::Object);
    ASSERT_EQ(g[2].type, VmValueType::Object);
    EXPECT_EQ(g[2].asObject, made.asObject);
    EXPECT_EQ(made.asObject->PartForClass(0), g[1].asObject);
    EXPECT_EQ(made.asObject->PartForClass(1), made.asObject);
    // Held by the result, the copy here and G2; the part by B and G1.
    EXPECT_EQ(made.asObject->m_refCount, 3);
    EXPECT_EQ(g[1].asObject->m_refCount, 2);
}

TEST_F(DeclaredClassTest, BaseMethodsGetTheObjectAndBaseMembersLiveInTheBasePart) {
    ProgramBuilder b;
    b.Return();
    AddAB(b);
    // MEMBERS(): o := B(1, 2); o.X := 7; returns [o.X, o::A.X, o.Z,
    // o.__Get("x"), o.__Call("getself")]. By name, a name B lacks goes to
    // its A part, so GETSELF then runs on the part.
    b.Function("MEMBERS", 0);
    b.Emit(OP_RESERVE, I(4));
    b.CallNative("B", {VInt(1), VInt(2)}, L(1));
    b.Emit(OP_MEMBER_WRITE, VInt(7), I(b.MethodName("X")), L(1));
    b.Emit(OP_ARRAY, I(0), None(), L(2));
    b.Emit(OP_MEMBER_READ, L(1), I(b.MethodName("X")), L(3));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(2));
    b.Emit(OP_BASE_PART, L(1), I(0), L(4));
    b.Emit(OP_MEMBER_READ, L(4), I(b.MethodName("X")), L(3));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(2));
    b.Emit(OP_MEMBER_READ, L(1), I(b.MethodName("Z")), L(3));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(2));
    b.CallMethod(L(1), "__GET", {VStr("x")}, L(3));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(2));
    b.CallMethod(L(1), "__CALL", {VStr("getself")}, L(3));
    b.Emit(OP_ARRAY_APPEND, L(3), None(), L(2));
    b.Return(L(2));
    ASSERT_TRUE(Start(b));

    CVmValue self = Call("SELF");
    ASSERT_EQ(self.type, VmValueType::Object);
    EXPECT_STREQ(self.asObject->ClassName(), "B");

    out.str("");
    CVmValue members = Call("MEMBERS");
    std::ostringstream text;
    text << members;
    EXPECT_EQ(text.str(), "{ 7 , 7 , 2 , 7 , (Obj:A) }") << out.str();
    ASSERT_EQ(members.type, VmValueType::Array);
    EXPECT_EQ(members.asArray->items[4].asObject, vm.Globals()[1].asObject);

    // The debugger's member read by name finds own and base members and
    // hands out a copy.
    CVmClassBase* object = self.asObject;
    bool found = false;
    CVmValue* x = object->m_registration->GetMemberByName(object, "X", &found);
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(found);
    EXPECT_EQ(x->asInt, 1);
    delete x;
    CVmValue* z = object->m_registration->GetMemberByName(object, "Z", &found);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->asInt, 2);
    delete z;
    EXPECT_EQ(object->m_registration->GetMemberByName(object, "GETSELF", &found), nullptr);
    EXPECT_FALSE(found);
}

TEST_F(DeclaredClassTest, FallbackHandlesANameOnlyWhenItSetsTheModeTo5) {
    // F's fallback returns [name, mode] and sets its parameter 3 to 5; G's
    // returns the same and leaves it; H has no fallback.
    ProgramBuilder b;
    b.SetGlobalCount(1);
    b.Return();
    const int answer = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_ARRAY, I(0), None(), L(1));
    b.Emit(OP_ARRAY_APPEND, L(-2), None(), L(1));
    b.Emit(OP_ARRAY_APPEND, L(-3), None(), L(1));
    b.Emit(OP_COPY, L(-4), None(), G(0));  // the first argument, when there is one
    b.Emit(OP_COPY, VInt(5), None(), L(-3));
    b.Return(L(1));
    const int decline = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_ARRAY, I(0), None(), L(1));
    b.Emit(OP_ARRAY_APPEND, L(-2), None(), L(1));
    b.Return(L(1));
    struct Access {
        const char* function;
        int opcode;
    };
    const Access accesses[] = {{"CALLS", OP_METHOD_CALL}, {"READS", OP_MEMBER_READ}, {"WRITES", OP_MEMBER_WRITE}};
    for (const char* cls : {"F", "G", "H"}) {
        for (const Access& a : accesses) {
            b.Function(std::string(a.function) + cls, 0);
            b.Emit(OP_RESERVE, I(2));
            b.CallNative(cls, {}, L(1));
            if (a.opcode == OP_METHOD_CALL)
                b.CallMethod(L(1), "ANYTHING", {VInt(9)}, L(2));
            else if (a.opcode == OP_MEMBER_READ)
                b.Emit(OP_MEMBER_READ, L(1), I(b.MethodName("ANYTHING")), L(2));
            else
                b.Emit(OP_MEMBER_WRITE, VInt(3), I(b.MethodName("ANYTHING")), L(1));
            b.Return(L(2));
        }
    }
    b.DeclareClass("F").methods = {Method("FALLBACK", answer, 3)};
    b.m_classes.back().fallback = 0;
    b.DeclareClass("G").methods = {Method("FALLBACK", decline, 3)};
    b.m_classes.back().fallback = 0;
    b.DeclareClass("H");
    ASSERT_TRUE(Start(b));

    struct Case {
        const char* function;
        const char* result;  // text form, or the error for a refused access
        int lastArgument;
    };
    const Case cases[] = {
        {"CALLSF", "{ ANYTHING , 2 }", 9},
        {"READSF", "{ ANYTHING , 3 }", -1},
        {"WRITESF", "Void", 3},
        {"CALLSG", "Method 'ANYTHING' doesn't belong to class 'G'.", -1},
        {"READSG", "Member 'ANYTHING' doesn't belong to class 'G'.", -1},
        {"WRITESG", "Member 'ANYTHING' doesn't belong to class 'G'.", -1},
        {"CALLSH", "Method 'ANYTHING' doesn't belong to class 'H'.", -1},
        {"READSH", "Member 'ANYTHING' doesn't belong to class 'H'.", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        out.str("");
        vm.ClearError();
        vm.Globals()[0].SetVoid();
        CVmValue r = Call(c.function);
        if (std::string(c.result).find("doesn't belong") != std::string::npos) {
            EXPECT_TRUE(vm.HasError());
            EXPECT_NE(out.str().find(c.result), std::string::npos) << out.str();
            continue;
        }
        EXPECT_FALSE(vm.HasError()) << out.str();
        std::ostringstream text;
        text << r;
        EXPECT_EQ(text.str(), c.result);
        if (c.lastArgument >= 0) {
            EXPECT_EQ(vm.Globals()[0].asInt, c.lastArgument);
        }
    }
}

TEST_F(DeclaredClassTest, DestructorRunsOnceAtTheLastReleaseBeforeTheBaseParts) {
    ProgramBuilder b;
    b.Return();
    AddAB(b);
    // DROP(): o := B(1, 2); the globals let go; a copy goes; o goes.
    b.Function("DROP", 0);
    b.Emit(OP_RESERVE, I(2));
    b.CallNative("B", {VInt(1), VInt(2)}, L(1));
    b.Emit(OP_SET_VOID, G(1));
    b.Emit(OP_SET_VOID, G(2));
    b.Emit(OP_COPY, L(1), None(), L(2));
    b.Emit(OP_OUTPUT, VStr("made;"));
    b.Emit(OP_SET_VOID, L(1));
    b.Emit(OP_OUTPUT, VStr("copy;"));
    b.Emit(OP_SET_VOID, L(2));
    b.Emit(OP_OUTPUT, VStr("dropped;"));
    b.Return();
    // R's destructor stores its object in G3. KEEP() makes an R and drops it;
    // FORGET() clears G3.
    const int dtorR = b.Here();
    b.Emit(OP_OUTPUT, VStr("~R;"));
    b.Emit(OP_COPY, L(-1), None(), G(3));
    b.Return();
    b.Function("KEEP", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("R", {}, L(1));
    b.Return();
    b.Function("FORGET", 0);
    b.Emit(OP_SET_VOID, G(3));
    b.Emit(OP_OUTPUT, VStr("forgotten;"));
    b.Return();
    b.DeclareClass("R").methods = {Method("$$~R", dtorR, 1)};
    b.m_classes.back().destructor = 0;
    ASSERT_TRUE(Start(b));

    Call("DROP");
    EXPECT_EQ(out.str(), "A:,(Obj:A),1,2,B:,(Obj:B),1,2,made;copy;~B;~A;dropped;");

    out.str("");
    Call("KEEP");
    EXPECT_EQ(out.str(), "~R;");
    ASSERT_EQ(vm.Globals()[3].type, VmValueType::Object);
    EXPECT_EQ(vm.Globals()[3].asObject->m_refCount, 1);
    Call("FORGET");
    EXPECT_EQ(out.str(), "~R;forgotten;");
    EXPECT_FALSE(vm.HasError());
}

TEST_F(DeclaredClassTest, SerialisesMembersThenBasePartsAndReadsBack) {
    ProgramBuilder b;
    b.Return();
    b.DeclareClass("T").members = {"TM"};
    VmClassDeclaration& s = b.DeclareClass("S");
    s.members = {"M1", "M2"};
    s.bases = {0};
    ASSERT_TRUE(Start(b));
    CVmValue object = *vm.CallNativeFunction("S");
    ASSERT_EQ(object.type, VmValueType::Object);
    auto* declared = static_cast<CVmClassDeclared*>(object.asObject);
    declared->Member(0)->SetInteger(10);
    declared->Member(1)->SetString("hi");
    declared->Part(0)->Member(0)->SetInteger(3);

    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    ASSERT_TRUE(object.WriteTo(w));
    const std::vector<uint8_t> expected = {
        0x09, 0, 0, 0, 1, 'S',            // Object of class S
        0, 0, 0, 2,                       // two members
        0x02, 0, 0, 0, 10,                // M1 = 10
        0x05, 0, 0, 0, 2, 'h', 'i',       // M2 = "hi"
        0, 0, 0, 1,                       // one base part
        0, 0, 0, 1, 0x02, 0, 0, 0, 3,     // T: one member, TM = 3
        0, 0, 0, 0};                      // T has no base
    EXPECT_EQ(bytes, expected);

    ByteReader in(bytes);
    CVmValue back;
    ASSERT_TRUE(back.ReadFrom(in, &vm));
    ASSERT_EQ(back.type, VmValueType::Object);
    EXPECT_NE(back.asObject, object.asObject);
    std::vector<uint8_t> again;
    ByteWriter w2(again);
    ASSERT_TRUE(back.WriteTo(w2));
    EXPECT_EQ(again, bytes);
    EXPECT_EQ(back.asObject->PartForClass(0), static_cast<CVmClassDeclared*>(back.asObject)->Part(0));

    // A count that does not match the class, or data cut anywhere, gives Void.
    for (size_t at : {size_t{9}, size_t{25}, size_t{29}}) {
        std::vector<uint8_t> wrong = bytes;
        wrong[at] = 3;
        ByteReader bad(wrong);
        CVmValue v;
        EXPECT_FALSE(v.ReadFrom(bad, &vm)) << at;
        EXPECT_TRUE(v.IsVoid()) << at;
    }
    for (size_t n = 0; n < bytes.size(); ++n) {
        ByteReader cut(bytes.data(), n);
        CVmValue v;
        EXPECT_FALSE(v.ReadFrom(cut, &vm)) << n;
        EXPECT_TRUE(v.IsVoid()) << n;
    }
}

TEST_F(DeclaredClassTest, CyclicAndOversizedHierarchiesAreRefusedAtLoad) {
    struct Case {
        const char* what;
        const char* why;
        std::vector<std::vector<int32_t>> bases;  // per class
    };
    const char* tooBig = "too deep or too large";
    std::vector<Case> cases = {
        {"its own base", "invalid base class 0", {{0}}},
        {"a cycle of two", "is its own base class", {{1}, {0}}},
        {"a cycle of three", "is its own base class", {{}, {2}, {3}, {1}}},
        {"a missing base", "invalid base class 5", {{5}}},
    };
    Case deep{"a chain deeper than the limit", tooBig, {{}}};
    for (size_t i = 1; i <= VmProgram::kMaxClassDepth; ++i) deep.bases.push_back({static_cast<int32_t>(i - 1)});
    cases.push_back(deep);
    Case wide{"a diamond lattice with too many parts", tooBig, {{}}};
    for (int32_t i = 1; i < 10; ++i) wide.bases.push_back({i - 1, i - 1});
    cases.push_back(wide);
    for (const Case& c : cases) {
        ProgramBuilder b;
        b.Return();
        for (size_t i = 0; i < c.bases.size(); ++i) b.DeclareClass("C" + std::to_string(i)).bases = c.bases[i];
        EXPECT_EQ(b.Build(), nullptr) << c.what;
        EXPECT_NE(b.LastError().find(c.why), std::string::npos) << c.what << ": " << b.LastError();
    }
    // Within the limits: a chain as deep as allowed builds and constructs.
    ProgramBuilder ok;
    ok.Return();
    ok.DeclareClass("C0");
    for (size_t i = 1; i < VmProgram::kMaxClassDepth; ++i)
        ok.DeclareClass("C" + std::to_string(i)).bases = {static_cast<int32_t>(i - 1)};
    ASSERT_TRUE(Start(ok));
    const std::string last = "C" + std::to_string(VmProgram::kMaxClassDepth - 1);
    CVmValue* made = vm.CallNativeFunction(last.c_str());
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->type, VmValueType::Object);
    EXPECT_NE(made->asObject->PartForClass(0), nullptr);
}

TEST_F(DeclaredClassTest, UnloadRunsDestructorsOnlyWhileTheProgramExists) {
    // D's destructor logs; the start-up code keeps a D in G0; HOLD() returns
    // a second one.
    auto program = [](const char* tag) {
        ProgramBuilder b;
        b.SetGlobalCount(1);
        b.CallNative("D", {}, G(0));
        b.Return();
        const int dtor = b.Here();
        b.Emit(OP_OUTPUT, VStr(tag));
        b.Return();
        b.Function("HOLD", 0);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("D", {}, L(1));
        b.Return(L(1));
        b.DeclareClass("D").methods = {Method("$$~D", dtor, 1)};
        b.m_classes.back().destructor = 0;
        std::shared_ptr<VmProgram> p = b.Build();
        EXPECT_TRUE(p) << b.LastError();
        return p;
    };
    CVmValue held;
    {
        CVirtualMachine machine;
        machine.SetOutputStream(&out, false);
        ASSERT_TRUE(machine.StartProgram(program("~D1;")));
        held = *machine.CallFunctionByName("HOLD");
        ASSERT_EQ(held.type, VmValueType::Object);
        // Reloading: the machine's own values go while the old code is there;
        // the new program's class of the same name is its own.
        ASSERT_TRUE(machine.StartProgram(program("~D2;")));
        EXPECT_EQ(out.str(), "~D1;");
        CVmValue fresh = *machine.CallFunctionByName("HOLD");
        ASSERT_EQ(fresh.type, VmValueType::Object);
        EXPECT_NE(fresh.asObject->m_registration, held.asObject->m_registration);
        EXPECT_EQ(machine.FindClass("D"), fresh.asObject->m_registration);
        EXPECT_EQ(machine.FindClass("D")->m_classIndex, machine.Classes().Count());
        fresh.SetVoid();
        machine.CallFunctionByName("HOLD");  // the result value lets the previous object go
        EXPECT_EQ(out.str(), "~D1;~D2;");
        // The object of the old program has no code to run any more.
        held.SetVoid();
        EXPECT_EQ(out.str(), "~D1;~D2;");
        held = *machine.CallFunctionByName("HOLD");
        out.str("");
    }
    // Destroying the machine released G0 with its destructor; the object the
    // host still holds outlives the machine and goes without one.
    EXPECT_EQ(out.str(), "~D2;");
    ASSERT_EQ(held.type, VmValueType::Object);
    EXPECT_STREQ(held.asObject->ClassName(), "D");
    held.SetVoid();
    EXPECT_EQ(out.str(), "~D2;");

    // A module's machine shares its parent's native classes, never the
    // declared ones that leave with the parent's program.
    CVirtualMachine parent;
    parent.SetOutputStream(&out, false);
    ASSERT_TRUE(parent.StartProgram(program("~D3;")));
    CVirtualMachineImported module(&parent);
    EXPECT_NE(parent.FindClass("D"), nullptr);
    EXPECT_EQ(module.FindClass("D"), nullptr);
    ASSERT_TRUE(parent.StartProgram(program("~D4;")));
    EXPECT_EQ(module.FindClass("D"), nullptr);
}

TEST_F(DeclaredClassTest, CallHookHearsOfEachConstructorAndMethodOnce) {
    ProgramBuilder b;
    b.Line(1);
    b.Return();
    AddAB(b);
    ASSERT_TRUE(Start(b));
    static std::vector<int32_t> codes;
    codes.clear();
    ASSERT_TRUE(vm.SetLineHook([](int32_t code, CVirtualMachine*) { codes.push_back(code); }));
    Call("SELF");
    const int32_t classB = vm.FindClass("B")->m_classIndex;
    const int32_t method = static_cast<int32_t>(std::find(vm.Program()->methodNames.begin(),
                                                          vm.Program()->methodNames.end(), "GETSELF") -
                                                vm.Program()->methodNames.begin());
    const int32_t nativeB = static_cast<int32_t>(
        0xFFFF0000u | static_cast<uint32_t>(std::find(vm.Program()->nativeNames.begin(),
                                                      vm.Program()->nativeNames.end(), "B") -
                                            vm.Program()->nativeNames.begin()));
    // SELF; B(1, 2) with A's and B's constructors as -1 and their returns;
    // GETSELF with its run as -1; SELF's return.
    const std::vector<int32_t> expected = {vm.Program()->functions[static_cast<size_t>(vm.FindFunction("SELF"))].start,
                                           nativeB, -1, 0, -1, 0, 0,
                                           (classB << 16) | method, -1, 0, 0,
                                           0};
    EXPECT_EQ(codes, expected);
}

TEST_F(DeclaredClassTest, EndlessConstructorRecursionIsAStackOverflow) {
    // K's constructor makes another K, and through a method call in between
    // the same for M: each level nests a run of its own.
    ProgramBuilder b;
    b.Return();
    const int ctorK = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("K", {}, L(1));
    b.Return();
    const int ctorM = b.Here();
    b.CallMethod(L(-1), "AGAIN", {}, None());
    b.Return();
    const int again = b.Here();
    b.Emit(OP_RESERVE, I(1));
    b.CallNative("M", {}, L(1));
    b.Return();
    b.DeclareClass("K").methods = {Method("$$K", ctorK, 1)};
    b.m_classes.back().constructor = 0;
    b.DeclareClass("M").methods = {Method("$$M", ctorM, 1), Method("AGAIN", again, 1)};
    b.m_classes.back().constructor = 0;
    ASSERT_TRUE(Start(b));
    for (const char* cls : {"K", "M"}) {
        out.str("");
        vm.ClearError();
        EXPECT_EQ(vm.CallNativeFunction(cls), nullptr);
        EXPECT_TRUE(vm.HasError());
        EXPECT_NE(out.str().find("stack overflow."), std::string::npos) << cls;
        EXPECT_EQ(vm.StackDepth(), 0);
    }
}
