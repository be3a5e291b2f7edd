#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// A script class with one value: TESTOBJ(v), GETVALUE(), SETVALUE(v) and the
// member VALUE; ECHO(x) calls back into the script and returns parameter 1
// as it reads it afterwards.
class TestObj : public CVmClassBase {
public:
    static constexpr const char* kClassName = "TestObj";
    explicit TestObj(int32_t v) : value(v) {}
    const char* ClassName() override { return kClassName; }
    int32_t value;

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return "TestObj"; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override {
            CVmRegisterClass::RegisterMethods(n);
            AddMethod("GetValue", &CRegister::GetValue);
            AddMethod("SetValue", &CRegister::SetValue);
            AddMethod("Value", &CRegister::Value);
            AddMethod("Echo", &CRegister::Echo);
            AddMethod("Outer", &CRegister::Outer);
            AddMethod("Middle", &CRegister::Middle);
            AddMethod("Inner", &CRegister::Inner);
            return true;
        }
        void Create(CVmClassBase*, int) {
            int32_t v;
            if (!ReadParams(v)) return;
            ReturnObject(new TestObj(v));
        }
        void GetValue(CVmClassBase* o, int) { VmReturnInteger(static_cast<TestObj*>(o)->value); }
        void SetValue(CVmClassBase* o, int) { ReadParams(static_cast<TestObj*>(o)->value); }
        void Value(CVmClassBase* o, int mode) {
            if (mode == VM_GET_MEMBER)
                VmReturnInteger(static_cast<TestObj*>(o)->value);
            else if (mode == VM_SET_MEMBER)
                ReadParams(static_cast<TestObj*>(o)->value);
        }
        void Echo(CVmClassBase*, int) {
            g_currentVM->AddArgInteger(0);
            // A nested run of script code, then the parameter again.
            CVmValue* p = GetParam(1);
            CVmValue* saved = VmGetReturnSlot();
            CVmValue before(*p);
            g_currentVM->CallFunctionByName("NOISE");
            EXPECT_EQ(GetParam(1), p);
            EXPECT_EQ(VmGetReturnSlot(), saved);
            EXPECT_EQ(p->type, before.type);
            VmGetReturnSlot()->Assign(*GetParam(1));
        }
        // OUTER(a, b, c) runs the script's MID(o, b, c), which reaches
        // MIDDLE(b, c) through CallBack; MIDDLE runs IN(o, c), which calls
        // INNER(c). Each reads its parameters again after its nested run:
        // OUTER(1, 2, 7) is 127.
        void Outer(CVmClassBase* o, int) {
            int32_t a;
            CVmValue *b, *c;
            CVmValue mid;
            if (!ReadParams(a, b, c) || !RunScript("MID", o, {b, c}, mid)) return;
            if (ReadParams(a, b, c)) VmReturnInteger(a * 100 + mid.asInt);
        }
        void Middle(CVmClassBase* o, int) {
            int32_t b;
            CVmValue* c;
            CVmValue in;
            if (!ReadParams(b, c) || !RunScript("IN", o, {c}, in)) return;
            if (ReadParams(b, c)) VmReturnInteger(b * 10 + in.asInt);
        }
        void Inner(CVmClassBase*, int) {
            int32_t c;
            if (ReadParams(c)) VmReturnInteger(c);
        }
        // Runs a script function with the object and the values as its
        // parameters; false when it failed.
        static bool RunScript(const char* function, CVmClassBase* o, std::initializer_list<const CVmValue*> args,
                              CVmValue& result) {
            CVirtualMachine* vm = g_currentVM;
            CVmValue self;
            self.SetObject(o);
            vm->AddArgValue(self);
            for (const CVmValue* a : args) vm->AddArgValue(*a);
            const CVmValue* r = vm->CallFunctionByName(function);
            if (!r || vm->HasError()) return false;
            result.Assign(*r);
            return true;
        }
    };
};

// Global functions: TESTADD(a, b), READ3(a, b, c), and the typed readers.
class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("TestAdd", &TestFunctions::TestAdd);
        AddFunction("Read3", &TestFunctions::Read3);
        AddFunction("ReadInt", &TestFunctions::ReadInt);
        AddFunction("ReadFloat", &TestFunctions::ReadFloat);
        AddFunction("ReadString", &TestFunctions::ReadString);
        AddFunction("ReadBool", &TestFunctions::ReadBool);
        AddFunction("ReadArray", &TestFunctions::ReadArray);
        AddFunction("ReadVector", &TestFunctions::ReadVector);
        AddFunction("ReadObject", &TestFunctions::ReadObject);
        AddFunction("ReadParam0", &TestFunctions::ReadParam0);
        AddFunction("Vec2", &TestFunctions::Vec2);
        AddFunction("ReadAll", &TestFunctions::ReadAll);
        AddFunction("ReadSome", &TestFunctions::ReadSome);
        AddFunction("ReadVec3", &TestFunctions::ReadVec3);
        AddFunction("Impostor", &TestFunctions::Impostor);
        return true;
    }
    void TestAdd(CVmClassBase*, int) {
        int32_t a, b;
        if (ReadParams(a, b)) VmReturnInteger(a + b);
    }
    // Every kind of target, and what it read as text.
    void ReadAll(CVmClassBase*, int) {
        int32_t i;
        float f;
        bool b;
        const char* chars;
        std::string copy;
        const CVmString* string;
        CVmArray* array;
        VmVectorParam vector;
        TestObj* object;
        CVmClassBase* anyObject;
        CVmValue* any;
        if (!ReadParams(i, f, b, chars, copy, string, array, vector, object, anyObject, any)) return;
        std::ostringstream text;
        text << i << " " << f << " " << b << " " << chars << " " << copy << " " << string->Length() << " "
             << array->count << " " << vector.Count() << " " << object->value << " " << anyObject->ClassName() << " "
             << any;
        VmReturnString(text.str().c_str());
    }
    // READSOME(n [, scale = 1.5 [, name = "none"]])
    void ReadSome(CVmClassBase*, int) {
        int32_t n;
        float scale;
        std::string name = "none";
        if (!ReadParams(n, Optional(scale, 1.5f), Optional(name))) return;
        std::ostringstream text;
        text << n << " " << scale << " " << name;
        VmReturnString(text.str().c_str());
    }
    void ReadVec3(CVmClassBase*, int) {
        VmVectorParam v(3);
        if (ReadParams(v)) VmReturnInteger(v.Count());
    }
    // An object that calls itself TestObj without being one.
    void Impostor(CVmClassBase*, int) {
        class Impostor : public CVmClassBase {
            const char* ClassName() override { return "TestObj"; }
        };
        ReturnObject(new Impostor());
    }
    void Read3(CVmClassBase*, int) { GetParamInt(3); }
    void ReadInt(CVmClassBase*, int) { VmReturnInteger(GetParamInt(1)); }
    void ReadFloat(CVmClassBase*, int) { VmReturnReal(GetParamFloat(1)); }
    void ReadString(CVmClassBase*, int) {
        if (const char* s = GetParamString(1)) VmReturnString(s);
    }
    void ReadBool(CVmClassBase*, int) { VmReturnBool(GetParamBool(1)); }
    void ReadArray(CVmClassBase*, int) { GetParamArray(1); }
    void ReadVector(CVmClassBase*, int) { GetParamVector(1); }
    void ReadObject(CVmClassBase*, int) { GetParamObject(1, "CVmObj"); }
    void ReadParam0(CVmClassBase*, int) { CheckParam(0); }
    void Vec2(CVmClassBase*, int) {
        const float f[2] = {GetParamFloat(1), GetParamFloat(2)};
        VmReturnVector(f, 2);
    }
};

class RegisterTest : public ::testing::Test {
protected:
    RegisterTest() {
        vm.SetOutputStream(&out, false);
        vm.RegisterFunctions(new TestFunctions());
        vm.RegisterClass(new TestObj::CRegister());
    }

    // Runs the program's MAIN.
    CVmValue* Run(ProgramBuilder& b) {
        std::shared_ptr<VmProgram> p = b.Build();
        EXPECT_TRUE(p) << b.LastError();
        if (!p || !vm.StartProgram(p)) return nullptr;
        return vm.CallFunctionByName("MAIN");
    }

    // Runs, with a fresh output, a program of the prologue and MAIN: the given
    // number of locals and body's code (which may go on with more functions).
    CVmValue* RunMain(int locals, const std::function<void(ProgramBuilder&)>& body) {
        out.str("");
        ProgramBuilder b;
        Prologue(b);
        b.Function("MAIN", 0);
        b.Emit(OP_RESERVE, I(locals));
        body(b);
        return Run(b);
    }

    // MAIN returns function(args).
    CVmValue* RunCall(const std::string& function, const std::vector<Opnd>& args) {
        return RunMain(1, [&](ProgramBuilder& b) {
            b.CallNative(function, args, L(1));
            b.Return(L(1));
        });
    }

    // The error line of the output, without the prefix's line number.
    std::string ErrorText() const {
        const std::string s = out.str();
        const size_t at = s.find("): ", s.find("ERROR"));
        if (at == std::string::npos) return s;
        const size_t end = s.find("\n", at);
        return s.substr(at + 3, end == std::string::npos ? std::string::npos : end - at - 3);
    }

    // Every error line of the output, without its prefix.
    std::vector<std::string> ErrorTexts() const {
        std::vector<std::string> texts;
        const std::string s = out.str();
        for (size_t at = s.find("ERROR"); at != std::string::npos; at = s.find("ERROR", at + 1)) {
            const size_t from = s.find("): ", at) + 3;
            texts.push_back(s.substr(from, s.find('\n', from) - from));
        }
        return texts;
    }

    static void Prologue(ProgramBuilder& b) {
        b.Return();
        b.Function("NOISE", 1);  // clobbers its frame and returns
        b.Emit(OP_RESERVE, I(3));
        b.Emit(OP_COPY, VStr("noise"), None(), L(1));
        b.Return(L(1));
        b.Function("F", 1);  // F(x) = x * 10
        b.Emit(OP_RESERVE, I(1));
        b.Emit(OP_MUL, L(-1), I(10), L(1));
        b.Return(L(1));
    }

    std::ostringstream out;
    // A machine with the messages of the vector readers.
    class Machine : public CVirtualMachine {
        const char* StringForId(int32_t id) override {
            if (id == 2012) return "Param n. %i must be a vector.";
            if (id == 2027) return "Param n. %i must be a vector of %i components length.";
            return nullptr;
        }
    };
    Machine vm;
};

}  // namespace

TEST_F(RegisterTest, ObjectsMethodsHiddenMembersAndCallBack) {
    CVmValue* r = RunMain(7, [](ProgramBuilder& b) {
        b.CallNative("TESTOBJ", {VInt(5)}, L(1));                // o = TESTOBJ(5)
        b.CallMethod(L(1), "GETVALUE", {}, L(2));                // o.GETVALUE()
        b.CallMethod(L(1), "__CALL", {VStr("getvalue")}, L(3));  // o.__Call("getvalue")
        b.CallNative("CALLBACK", {VStr("F"), VInt(2)}, L(4));    // CallBack("F", 2)
        b.CallMethod(L(1), "__CALL", {VStr("setvalue"), VInt(9)}, None());
        b.Emit(OP_MEMBER_READ, L(1), I(b.MethodName("VALUE")), L(5));
        b.CallMethod(L(1), "__GETNAME", {}, L(6));
        b.Emit(OP_ARRAY, I(0), None(), L(7));
        for (int k = 2; k <= 6; ++k) b.Emit(OP_ARRAY_APPEND, L(k), None(), L(7));
        b.Return(L(7));
    });
    ASSERT_NE(r, nullptr) << out.str();
    std::ostringstream text;
    text << r;
    EXPECT_EQ(text.str(), "{ 5 , 5 , 20 , 9 , TestObj }") << out.str();
    EXPECT_EQ(out.str(), "");
}

TEST_F(RegisterTest, ParameterReadersReportInTheScriptsWords) {
    CVmValue objValue;
    struct Row {
        const char* function;
        std::vector<Opnd> args;
        const char* error;
    };
    const std::vector<Row> rows = {
        {"READ3", {VInt(1), VInt(2)}, "READ3: Mandatory param n. 3 was not supplied."},
        {"READPARAM0", {}, "READPARAM0: Internal Error: request for param n. 0 (< 0)."},
        {"READINT", {VStr("x")}, "READINT: The param n. 1 must be a number."},
        {"READFLOAT", {VStr("x")}, "READFLOAT: The param n. 1 must be a number."},
        {"READSTRING", {VInt(1)}, "READSTRING: The param n. 1 must be a string."},
        {"READBOOL", {VInt(1)}, "READBOOL: The param n. 1 must be a boolean."},
        {"READARRAY", {VInt(1)}, "READARRAY: The param n. 1 must be a array."},
        {"READVECTOR", {VInt(1)}, "READVECTOR: The param n. 1 must be a vector."},
        {"READOBJECT", {VInt(1)}, "READOBJECT: The param n. 1 must be a 'CVmObj' object."},
    };
    for (const Row& row : rows) {
        RunCall(row.function, row.args);
        EXPECT_EQ(ErrorText(), row.error) << row.function;
        // The instruction's own report follows, as the native call reports.
        EXPECT_NE(out.str().find(std::string("Function '") + row.function + "' is an unknown function."),
                  std::string::npos);
    }
}

// ReadParams: parameter k into target k, the first problem reported alone,
// optional parameters decided by the argument count.
TEST_F(RegisterTest, ReadParamsReadsEveryKindAndReportsTheFirstProblem) {
    auto VBool = [](bool v) {
        CVmValue x;
        x.SetBool(v);
        return VValue(x);
    };
    CVmValue v3, v2;
    const float f[3] = {1, 2, 3};
    v3.SetVector(f, 3);
    v2.SetVector(f, 2);
    // READALL's arguments: L(1) an object, L(2) an array, L(3) an impostor.
    auto all = [&](int wrong, const Opnd& instead) {
        std::vector<Opnd> args = {VReal(2.9f), VInt(3), VBool(true), VStr("ab"), VStr("cd"), VStr("efg"), L(2),
                                  VValue(v3),  L(1),    L(1),        VInt(7)};
        if (wrong > 0) args[static_cast<size_t>(wrong - 1)] = instead;
        return args;
    };
    std::vector<Opnd> missingLast = all(0, None());
    missingLast.pop_back();
    std::vector<Opnd> twoWrong = all(2, VStr("x"));
    twoWrong[4] = VInt(0);
    struct Row {
        const char* function;
        std::vector<Opnd> args;
        const char* result;  // or the error
    };
    const std::vector<Row> rows = {
        {"READALL", all(0, None()), "2 3 1 ab cd 3 0 3 5 TestObj 7"},
        {"READALL", all(1, VStr("x")), "READALL: The param n. 1 must be a number."},
        {"READALL", all(2, VBool(false)), "READALL: The param n. 2 must be a number."},
        {"READALL", all(3, VInt(1)), "READALL: The param n. 3 must be a boolean."},
        {"READALL", all(4, VInt(1)), "READALL: The param n. 4 must be a string."},
        {"READALL", all(5, VInt(1)), "READALL: The param n. 5 must be a string."},
        {"READALL", all(6, VInt(1)), "READALL: The param n. 6 must be a string."},
        {"READALL", all(7, VInt(1)), "READALL: The param n. 7 must be a array."},
        {"READALL", all(8, VInt(1)), "READALL: The param n. 8 must be a vector."},
        {"READALL", all(9, VInt(1)), "READALL: The param n. 9 must be a 'TestObj' object."},
        {"READALL", all(9, L(3)), "READALL: The param n. 9 must be a 'TestObj' object."},
        {"READALL", all(10, VStr("x")), "READALL: The param n. 10 must be a '' object."},
        {"READALL", missingLast, "READALL: Mandatory param n. 11 was not supplied."},
        {"READALL", twoWrong, "READALL: The param n. 2 must be a number."},
        {"READSOME", {VInt(1)}, "1 1.5 none"},
        {"READSOME", {VInt(1), VInt(2)}, "1 2 none"},
        {"READSOME", {VInt(1), VInt(2), VStr("x")}, "1 2 x"},
        {"READSOME", {VInt(1), VStr("x")}, "READSOME: The param n. 2 must be a number."},
        {"READSOME", {}, "READSOME: Mandatory param n. 1 was not supplied."},
        {"READVEC3", {VValue(v3)}, "3"},
        {"READVEC3", {VValue(v2)}, "READVEC3: Param n. 1 must be a vector of 3 components length."},
        {"READVEC3", {VInt(1)}, "READVEC3: Param n. 1 must be a vector."},
    };
    for (const Row& row : rows) {
        CVmValue* r = RunMain(4, [&](ProgramBuilder& b) {
            b.CallNative("TESTOBJ", {VInt(5)}, L(1));
            b.Emit(OP_ARRAY, I(0), None(), L(2));
            b.CallNative("IMPOSTOR", {}, L(3));
            b.CallNative(row.function, row.args, L(4));
            b.Return(L(4));
        });
        const std::vector<std::string> errors = ErrorTexts();
        if (errors.empty()) {
            ASSERT_NE(r, nullptr);
            std::ostringstream text;
            text << r;
            EXPECT_EQ(text.str(), row.result);
        } else {
            // Only the first problem, then the native call's own report.
            EXPECT_EQ(errors.size(), 2u) << out.str();
            EXPECT_EQ(errors[0], row.result);
        }
    }
}

TEST_F(RegisterTest, ReadersConvertNumbers) {
    struct Row {
        const char* function;
        Opnd arg;
        const char* text;
    };
    const std::vector<Row> rows = {
        {"READINT", VReal(2.9f), "2"},   {"READINT", VReal(-2.9f), "-2"},  {"READINT", VReal(1e20f), "2147483647"},
        {"READFLOAT", VInt(3), "3"},     {"READSTRING", VStr("ab"), "ab"}, {"VEC2", VInt(1), "[ 1 , 0 ]"},
    };
    for (const Row& row : rows) {
        CVmValue* r = RunCall(row.function, {row.arg});
        if (std::string(row.function) == "VEC2") {
            // A missing second parameter is an error.
            EXPECT_EQ(ErrorText(), "VEC2: Mandatory param n. 2 was not supplied.");
            continue;
        }
        ASSERT_NE(r, nullptr);
        std::ostringstream text;
        text << r;
        EXPECT_EQ(text.str(), row.text) << row.function;
    }
}

TEST_F(RegisterTest, UnknownMethodsAndMembers) {
    struct Row {
        const char* name;
        bool member;
        const char* error;
    };
    const Row rows[] = {
        {"FOO", false, "Method 'FOO' doesn't belong to class 'TestObj'."},
        {"BAR", true, "Member 'BAR' doesn't belong to class 'TestObj'."},
    };
    for (const Row& row : rows) {
        RunMain(2, [&](ProgramBuilder& b) {
            b.CallNative("TESTOBJ", {VInt(1)}, L(1));
            if (row.member)
                b.Emit(OP_MEMBER_READ, L(1), I(b.MethodName(row.name)), L(2));
            else
                b.CallMethod(L(1), row.name, {}, L(2));
            b.Return(L(2));
        });
        EXPECT_EQ(ErrorText(), row.error);
    }
    // The same through __Call and __Get, and a later call still works: one
    // failed lookup does not poison the registration.
    RunMain(2, [](ProgramBuilder& b) {
        b.CallNative("TESTOBJ", {VInt(1)}, L(1));
        b.CallMethod(L(1), "__CALL", {VStr("foo")}, L(2));
        b.Return(L(2));
    });
    EXPECT_EQ(ErrorText(), "__CALL: Method 'FOO' doesn't belong to class 'TestObj'.");
}

TEST_F(RegisterTest, CallBackWithAnUnknownNameAndNonString) {
    for (auto [arg, error] : {std::make_pair(VStr("nope"), "CALLBACK: 'nope' is a unknown function"),
                              std::make_pair(VInt(3), "CALLBACK: Param 1 must be a string")}) {
        RunCall("CALLBACK", {arg});
        EXPECT_EQ(ErrorText(), error);
    }
}

TEST_F(RegisterTest, HandlersSeeTheirParametersAcrossANestedRun) {
    CVmValue* r = RunMain(2, [](ProgramBuilder& b) {
        b.CallNative("TESTOBJ", {VInt(1)}, L(1));
        b.CallMethod(L(1), "ECHO", {VStr("kept")}, L(2));
        b.Return(L(2));
    });
    ASSERT_NE(r, nullptr);
    std::ostringstream text;
    text << r;
    EXPECT_EQ(text.str(), "kept") << out.str();
}

// Handlers of one class nest three deep through script code (one link
// through CallBack); each finds its own parameters when its nested run
// returns, and an error at any depth is reported once, by the call that
// made it, with the stack back where it was.
TEST_F(RegisterTest, HandlersNestThroughScriptCodeWithTheirOwnCallState) {
    struct Row {
        std::vector<Opnd> args;  // of OUTER
        const char* middle;      // the method MID2 calls
        const char* inner;       // the method IN calls
        const char* error;       // "" for none
        bool throughCallBack;    // CallBack adds its own report after
    };
    const std::vector<Row> rows = {
        {{VInt(1), VInt(2), VInt(7)}, "MIDDLE", "INNER", "", false},
        {{VStr("x"), VInt(2), VInt(7)}, "MIDDLE", "INNER", "OUTER: The param n. 1 must be a number.", false},
        {{VInt(1), VInt(2)}, "MIDDLE", "INNER", "OUTER: Mandatory param n. 3 was not supplied.", false},
        {{VInt(1), VStr("x"), VInt(7)}, "MIDDLE", "INNER", "MIDDLE: The param n. 1 must be a number.", true},
        {{VInt(1), VInt(2), VInt(7)}, "NOPE", "INNER", "Method 'NOPE' doesn't belong to class 'TestObj'.", true},
        {{VInt(1), VInt(2), VStr("x")}, "MIDDLE", "INNER", "INNER: The param n. 1 must be a number.", true},
        {{VInt(1), VInt(2), VInt(7)}, "MIDDLE", "NOPE", "Method 'NOPE' doesn't belong to class 'TestObj'.", true},
    };
    for (const Row& row : rows) {
        CVmValue* r = RunMain(2, [&](ProgramBuilder& b) {
            b.CallNative("TESTOBJ", {VInt(0)}, L(1));
            b.CallMethod(L(1), "OUTER", row.args, L(2));
            b.Return(L(2));
            b.Function("MID", 3);  // MID(o, b, c) = CallBack("MID2", o, b, c)
            b.Emit(OP_RESERVE, I(1));
            b.CallNative("CALLBACK", {VStr("MID2"), L(-1), L(-2), L(-3)}, L(1));
            b.Return(L(1));
            b.Function("MID2", 3);  // MID2(o, b, c) = o.MIDDLE(b, c)
            b.Emit(OP_RESERVE, I(1));
            b.CallMethod(L(-1), row.middle, {L(-2), L(-3)}, L(1));
            b.Return(L(1));
            b.Function("IN", 2);  // IN(o, c) = o.INNER(c)
            b.Emit(OP_RESERVE, I(1));
            b.CallMethod(L(-1), row.inner, {L(-2)}, L(1));
            b.Return(L(1));
        });
        std::vector<std::string> errors;
        if (*row.error) errors.push_back(row.error);
        if (row.throughCallBack) errors.push_back("Function 'CALLBACK' is an unknown function.");
        // No method call on the way out adds a report of its own.
        EXPECT_EQ(ErrorTexts(), errors) << out.str();
        if (errors.empty()) {
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->type, VmValueType::Integer);
            EXPECT_EQ(r->asInt, 127);
        }
        EXPECT_EQ(vm.StackDepth(), 0) << row.error;
    }
}

TEST_F(RegisterTest, HostCallsOfNativeFunctions) {
    ProgramBuilder b;
    Prologue(b);
    ASSERT_TRUE(vm.StartProgram(b.Build()));
    vm.AddArgInteger(3);
    vm.AddArgInteger(5);
    CVmValue* r = vm.CallNativeFunction("testadd");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 8);
    EXPECT_EQ(vm.StackDepth(), 0);

    vm.AddArgInteger(1);
    EXPECT_EQ(vm.CallNativeFunction("nothing"), nullptr);
    EXPECT_EQ(vm.PendingArgCount(), 0);

    // An error of a host-started call names "***".
    vm.AddArgString("x");
    EXPECT_EQ(vm.CallNativeFunction("ReadInt"), nullptr);
    EXPECT_EQ(ErrorText(), "***: The param n. 1 must be a number.");
}

TEST_F(RegisterTest, ConstantsAndClassLookups) {
    EXPECT_TRUE(vm.AddConstant("GL_ONE", 1));
    EXPECT_FALSE(vm.AddConstant("GL_ONE", 2));
    ASSERT_NE(vm.FindConstant("GL_ONE"), nullptr);
    EXPECT_EQ(vm.FindConstant("GL_ONE")->asInt, 1);
    EXPECT_EQ(vm.FindConstant("gl_one"), nullptr);
    ASSERT_NE(vm.FindClass("testobj"), nullptr);
    EXPECT_STREQ(vm.GetClassNameByIndex(1), "TestObj");
    EXPECT_EQ(vm.GetClassNameByIndex(2), nullptr);
    EXPECT_TRUE(vm.UnregisterClass(vm.FindClass("TESTOBJ")));
    EXPECT_EQ(vm.FindClass("TESTOBJ"), nullptr);
}

TEST_F(RegisterTest, CallBackRecursionEndsWithAnErrorNotACrash) {
    RunCall("CALLBACK", {VStr("MAIN")});
    EXPECT_TRUE(vm.HasError());
    EXPECT_NE(out.str().find("stack overflow."), std::string::npos);
    EXPECT_EQ(vm.StackDepth(), 0);
}

TEST_F(RegisterTest, FunctionSetsAreNoClassAndRefuseMethodCalls) {
    TestFunctions set;
    EXPECT_STREQ(set.GetClassName(), "$$ExternFunction$$");
    EXPECT_EQ(set.GetFactory(), nullptr);
    EXPECT_EQ(set.AsDeclaredClass(), nullptr);
    // A method call, a member read or write: the bare error prefix, failed.
    out.str("");
    g_currentVM = &vm;
    EXPECT_FALSE(set.CallMethod(nullptr, 0, 0));
    EXPECT_FALSE(set.CallGet(nullptr, 0));
    EXPECT_FALSE(set.CallSet(nullptr, 0));
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>({"", "", ""})) << out.str();
    EXPECT_TRUE(vm.HasError());
}
