// One table over the instruction handlers: each row is a small program whose
// MAIN leaves its result in L1, with the expected type and text, or the
// expected error text.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

class Plain : public CVmClassBase {
public:
    const char* ClassName() override { return "Plain"; }
    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return "Plain"; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        void Create(CVmClassBase*, int) { ReturnObject(new Plain()); }
    };
};

CVmValue Floats(std::initializer_list<float> f) {
    CVmValue v;
    std::vector<float> tmp(f);
    v.SetVector(tmp.data(), static_cast<int32_t>(tmp.size()));
    return v;
}

struct Row {
    const char* name;
    std::function<void(ProgramBuilder&)> body;  // leaves the result in L1 (L2..L4 free)
    const char* type;                           // type name, or "error"
    const char* text;                           // text form, or the error text
};

// L(slot) := v, unless v is None (the slot stays Void).
void Set(ProgramBuilder& p, const Opnd& v, int32_t slot) {
    if (v.kind != Opnd::None) p.Emit(OP_COPY, v, None(), L(slot));
}

// Ops on A, B into L1; a and b may be values or immediates.
std::function<void(ProgramBuilder&)> Binary(int opcode, Opnd a, Opnd b) {
    return [=](ProgramBuilder& p) {
        Set(p, a, 2);
        Set(p, b, 3);
        p.Emit(opcode, L(2), L(3), L(1));
    };
}

// Compound ops: L1 := t; L1 op= a.
std::function<void(ProgramBuilder&)> Compound(int opcode, Opnd t, Opnd a) {
    return [=](ProgramBuilder& p) {
        Set(p, t, 1);
        Set(p, a, 2);
        p.Emit(opcode, L(2), None(), L(1));
    };
}

std::function<void(ProgramBuilder&)> Unary(int opcode, Opnd a) {
    return [=](ProgramBuilder& p) {
        Set(p, a, 2);
        p.Emit(opcode, L(2), None(), L(1));
    };
}

// L1 := "jumped" when the relational jump is taken, "fell" otherwise.
std::function<void(ProgramBuilder&)> Jumps(int opcode, Opnd a, Opnd b) {
    return [=](ProgramBuilder& p) {
        Label taken = p.NewLabel(), done = p.NewLabel();
        p.Emit(OP_COPY, a, None(), L(2));
        p.Emit(OP_COPY, b, None(), L(3));
        p.Emit(opcode, L(2), L(3), At(taken));
        p.Emit(OP_COPY, VStr("fell"), None(), L(1));
        p.Emit(OP_JUMP, At(done));
        p.Bind(taken);
        p.Emit(OP_COPY, VStr("jumped"), None(), L(1));
        p.Bind(done);
    };
}

std::function<void(ProgramBuilder&)> MemberRead(Opnd v, const char* name) {
    return [=](ProgramBuilder& p) {
        p.Emit(OP_COPY, v, None(), L(2));
        p.Emit(OP_MEMBER_READ, L(2), I(p.MethodName(name)), L(1));
    };
}

std::function<void(ProgramBuilder&)> MemberWrite(Opnd target, const char* name, Opnd v) {
    return [=](ProgramBuilder& p) {
        p.Emit(OP_COPY, target, None(), L(1));
        p.Emit(OP_COPY, v, None(), L(2));
        p.Emit(OP_MEMBER_WRITE, L(2), I(p.MethodName(name)), L(1));
    };
}

std::function<void(ProgramBuilder&)> IndexWrite(Opnd target, Opnd index, Opnd v) {
    return [=](ProgramBuilder& p) {
        p.Emit(OP_COPY, target, None(), L(1));
        p.Emit(OP_COPY, v, None(), L(2));
        p.Emit(OP_COPY, index, None(), L(3));
        p.Emit(OP_INDEX_WRITE, L(2), L(3), L(1));
    };
}

std::function<void(ProgramBuilder&)> TwoElementArray() {
    return [](ProgramBuilder& p) {
        p.Emit(OP_ARRAY, I(2), None(), L(4));
        p.Emit(OP_COPY, VInt(10), None(), L(2));
        p.Emit(OP_INDEX_WRITE, L(2), I(0), L(4));
    };
}

const int32_t kIntMin = INT32_MIN;

std::vector<Row> Rows() {
    return {
        // Arithmetic and its type rules.
        {"7/2", Binary(OP_DIV, VInt(7), VInt(2)), "Integer", "3"},
        {"7/2.0", Binary(OP_DIV, VInt(7), VReal(2.0f)), "Real", "3.5"},
        {"2^3", Binary(OP_POW, VInt(2), VInt(3)), "Real", "8"},
        {"-7%3", Binary(OP_MOD, VInt(-7), VInt(3)), "Integer", "-1"},
        {"7.5%2", Binary(OP_MOD, VReal(7.5f), VInt(2)), "Real", "1.5"},
        {"7-2.5", Binary(OP_SUB, VInt(7), VReal(2.5f)), "Real", "4.5"},
        {"6|3", Binary(OP_OR, VInt(6), VInt(3)), "Integer", "7"},
        {"6&3", Binary(OP_AND, VInt(6), VInt(3)), "Integer", "2"},
        {"6|3.0", Binary(OP_OR, VInt(6), VReal(3)), "error",
         "Valid operation but uncompatible data types:\n\tType1:Integer | Type2:Real\n\n\tVal1: 6\n\tVal2: 3"},
        {"ab+cd", Binary(OP_ADD, VStr("ab"), VStr("cd")), "String", "abcd"},
        {"ab+=cd", Compound(OP_ADD_TO, VStr("ab"), VStr("cd")), "String", "abcd"},
        {"5+=void", Compound(OP_ADD_TO, VInt(5), None()), "error",
         "Valid operation but uncompatible data types:\n\tType1:Void + Type2:Integer\n\n\tVal1: Void (Variable is "
         "unitialized)\n\tVal2: 5"},
        {"x*=2.0", Compound(OP_MUL_BY, VInt(3), VReal(2)), "Real", "6"},
        {"7/=2", Compound(OP_DIV_BY, VInt(7), VInt(2)), "Integer", "3"},
        {"v/=2", Compound(OP_DIV_BY, VValue(Floats({2, 4})), VInt(2)), "Vector", "[ 1 , 2 ]"},
        {"v^=w", Compound(OP_POW_BY, VValue(Floats({1, 0, 0})), VValue(Floats({0, 1, 0}))), "Vector",
         "[ 0 , 0 , 1 ]"},
        {"dot", Binary(OP_MUL, VValue(Floats({1, 2, 3})), VValue(Floats({4, 5, 6}))), "Real", "32"},
        {"v*2", Binary(OP_MUL, VValue(Floats({1, 2})), VInt(2)), "Vector", "[ 2 , 4 ]"},
        {"2*v", Binary(OP_MUL, VInt(2), VValue(Floats({1, 2}))), "Vector", "[ 2 , 4 ]"},
        {"v+w keeps left count", Binary(OP_ADD, VValue(Floats({1, 2})), VValue(Floats({10, 20, 30}))), "Vector",
         "[ 11 , 22 ]"},
        {"v/2", Binary(OP_DIV, VValue(Floats({2, 4})), VReal(2)), "Vector", "[ 1 , 2 ]"},
        {"1/0", Binary(OP_DIV, VInt(1), VInt(0)), "error", "Division by zero"},
        {"1%0", Binary(OP_MOD, VInt(1), VInt(0)), "error", "Division by zero"},
        {"1.0/0", Binary(OP_DIV, VReal(1), VInt(0)), "Real", "inf"},
        {"min/-1", Binary(OP_DIV, VInt(kIntMin), VInt(-1)), "Integer", "-2147483648"},
        {"min%-1", Binary(OP_MOD, VInt(kIntMin), VInt(-1)), "Integer", "0"},
        {"max+1 wraps", Binary(OP_ADD, VInt(INT32_MAX), VInt(1)), "Integer", "-2147483648"},
        {"neg vector", Unary(OP_NEG, VValue(Floats({1, -2}))), "Vector", "[ -1 , 2 ]"},
        {"not int", Unary(OP_NOT, VInt(1)), "error",
         "Valid operation but uncompatible data types:\n\t ! Type2:Void\n\n\tVal2: Void (Variable is unitialized)"},
        {"abs", Unary(OP_ABS, VReal(-2.5f)), "Real", "2.5"},
        // Comparisons.
        {"1<2.5", Jumps(OP_JUMP_LT, VInt(1), VReal(2.5f)), "String", "jumped"},
        {"abc<abd", Jumps(OP_JUMP_LT, VStr("abc"), VStr("abd")), "String", "jumped"},
        {"v==w sizes", Jumps(OP_JUMP_EQ, VValue(Floats({1, 2})), VValue(Floats({1, 2, 3}))), "error",
         "Valid operation but uncompatible data types:\n\tType1:Vector RelOp Type2:Vector\n\n\tVal1: [ 1 , 2 ]\n\t"
         "Val2: [ 1 , 2 , 3 ]"},
        {"v==w", Jumps(OP_JUMP_EQ, VValue(Floats({1, 2})), VValue(Floats({1, 2}))), "String", "jumped"},
        {"v<w", Jumps(OP_JUMP_LT, VValue(Floats({1})), VValue(Floats({2}))), "error",
         "Valid operation but uncompatible data types:\n\tType1:Vector RelOp Type2:Vector\n\n\tVal1: [ 1 ]\n\tVal2: [ 2 ]"},
        {"obj==void",
         [](ProgramBuilder& p) {
             p.CallNative("PLAIN", {}, L(2));
             Label taken = p.NewLabel(), done = p.NewLabel();
             p.Emit(OP_JUMP_EQ, L(2), L(3), At(taken));
             p.Emit(OP_COPY, VStr("fell"), None(), L(1));
             p.Emit(OP_JUMP, At(done));
             p.Bind(taken);
             p.Emit(OP_COPY, VStr("jumped"), None(), L(1));
             p.Bind(done);
         },
         "String", "fell"},
        {"obj!=void",
         [](ProgramBuilder& p) {
             p.CallNative("PLAIN", {}, L(2));
             Label taken = p.NewLabel(), done = p.NewLabel();
             p.Emit(OP_JUMP_NE, L(2), L(3), At(taken));
             p.Emit(OP_COPY, VStr("fell"), None(), L(1));
             p.Emit(OP_JUMP, At(done));
             p.Bind(taken);
             p.Emit(OP_COPY, VStr("jumped"), None(), L(1));
             p.Bind(done);
         },
         "String", "jumped"},
        {"void==obj",
         [](ProgramBuilder& p) {
             p.CallNative("PLAIN", {}, L(2));
             p.Emit(OP_JUMP_EQ, L(3), L(2), I(0));
         },
         "error", "Valid operation but uncompatible data types:\n\tType1:Void RelOp Type2:Object\n\n\tVal1: Void "
                  "(Variable is unitialized)\n\tVal2: (Obj:Plain)"},
        {"true jumps", Jumps(OP_JUMP_EQ, VValue([] {
                                 CVmValue b;
                                 b.SetBool(true);
                                 return b;
                             }()),
                             VValue([] {
                                 CVmValue b;
                                 b.SetBool(true);
                                 return b;
                             }())),
         "String", "jumped"},
        // Swizzles.
        {"v.zyx", MemberRead(VValue(Floats({1, 2, 3})), "ZYX"), "Vector", "[ 3 , 2 , 1 ]"},
        {"v.x", MemberRead(VValue(Floats({1, 2, 3})), "X"), "Real", "1"},
        {"v.x0_", MemberRead(VValue(Floats({7, 2})), "X0_"), "Vector", "[ 7 , 0 , 0 ]"},
        {"v.w", MemberRead(VValue(Floats({1, 2, 3})), "W"), "error", " Swizzle 'W' not valid to access the vector"},
        {"v.pos", MemberRead(VValue(Floats({1, 2, 3})), "POS"), "error",
         " Variable is a vector and 'POS' is a invalid swizzle name."},
        {"i.x", MemberRead(VInt(3), "X"), "error",
         " 'X'. The variable is neither an object nor a vector. The requested field do not exist."},
        {"v.xy=w", MemberWrite(VValue(Floats({1, 2, 3})), "YX", VValue(Floats({8, 9}))), "Vector", "[ 9 , 8 , 3 ]"},
        {"v.z=5", MemberWrite(VValue(Floats({1, 2, 3})), "Z", VInt(5)), "Vector", "[ 1 , 2 , 5 ]"},
        {"v.xy=5", MemberWrite(VValue(Floats({1, 2, 3})), "XY", VInt(5)), "error",
         "incorrect number of component in vector assignment."},
        {"v.x=s", MemberWrite(VValue(Floats({1, 2, 3})), "X", VStr("s")), "error", "incorrect vector assignment."},
        {"v.w=1", MemberWrite(VValue(Floats({1, 2, 3})), "W", VInt(1)), "error",
         " Swizzle 'W' not valid to access the vector"},
        // Indexing.
        {"s[0]=65", IndexWrite(VStr("abc"), VInt(0), VInt(65)), "String", "Abc"},
        {"s[5]=65", IndexWrite(VStr("abc"), VInt(5), VInt(65)), "String", "abc"},
        {"s[1]='z'", IndexWrite(VStr("abc"), VInt(1), VStr("zz")), "String", "azc"},
        {"s[0]=300", IndexWrite(VStr("abc"), VInt(0), VInt(300)), "error", "cannot assign ASCII value 300."},
        {"s[0]=v", IndexWrite(VStr("abc"), VInt(0), VValue(Floats({1}))), "error",
         "not possible to assign a value 'Vector' to string."},
        {"v[1]=s", IndexWrite(VValue(Floats({1, 2})), VInt(1), VStr("x")), "error",
         "not possible to assign a value 'String' to vector."},
        {"v[1]=7", IndexWrite(VValue(Floats({1, 2})), VInt(1), VInt(7)), "Vector", "[ 1 , 7 ]"},
        {"s[1]", Binary(OP_INDEX_READ, VStr("abc"), VInt(1)), "String", "b"},
        {"v[9]", Binary(OP_INDEX_READ, VValue(Floats({1})), VInt(9)), "Real", "0"},
        {"a[5]",
         [](ProgramBuilder& p) {
             TwoElementArray()(p);
             p.Emit(OP_INDEX_READ, L(4), I(5), L(1));
         },
         "error", "Index 5 not valid to access the array"},
        {"a[-1]=1",
         [](ProgramBuilder& p) {
             TwoElementArray()(p);
             p.Emit(OP_INDEX_WRITE, L(2), I(-1), L(4));
         },
         "error", "Index -1 not valid to access the array"},
        {"a[0]",
         [](ProgramBuilder& p) {
             TwoElementArray()(p);
             p.Emit(OP_INDEX_READ, L(4), I(0), L(1));
         },
         "Integer", "10"},
        {"a=a[0]",
         [](ProgramBuilder& p) {
             p.Emit(OP_ARRAY, I(1), None(), L(1));
             p.Emit(OP_COPY, VStr("inner"), None(), L(2));
             p.Emit(OP_INDEX_WRITE, L(2), I(0), L(1));
             p.Emit(OP_COPY, VInt(0), None(), L(3));
             p.Emit(OP_INDEX_READ, L(1), L(3), L(1));
         },
         "String", "inner"},
        {"i[0]", Binary(OP_INDEX_READ, VInt(1), VInt(0)), "error",
         "Valid operation but uncompatible data types:\n\tType1:Integer[Type2:Integer\n\n\tVal1: 1\n\tVal2: 0]"},
        // Arrays.
        {"append, remove, resize",
         [](ProgramBuilder& p) {
             p.Emit(OP_ARRAY, I(0), None(), L(1));
             for (int i = 1; i <= 3; ++i) p.Emit(OP_ARRAY_APPEND, I(i), None(), L(1));
             p.Emit(OP_ARRAY_REMOVE, I(0), None(), L(1));
             p.Emit(OP_ARRAY_REMOVE, I(7), None(), L(1));
             p.Emit(OP_ARRAY_RESIZE, I(3), None(), L(1));
         },
         "Array", "{ 2 , 3 , Void }"},
        {"resize -4",
         [](ProgramBuilder& p) {
             p.Emit(OP_ARRAY, I(2), None(), L(1));
             p.Emit(OP_ARRAY_RESIZE, I(-4), None(), L(1));
         },
         "Array", "{  }"},
        {"ARRAY(huge)", Unary(OP_ARRAY, VInt(INT32_MAX)), "error", "The size 2147483647 is too large."},
        // Built-in functions.
        {"LEFT 10", Binary(OP_LEFT, VStr("hello"), VInt(10)), "String", "hello"},
        {"RIGHT -1", Binary(OP_RIGHT, VStr("hello"), VInt(-1)), "String", ""},
        {"RIGHT 3", Binary(OP_RIGHT, VStr("hello"), VInt(3)), "String", "llo"},
        {"LEFT of int", Binary(OP_LEFT, VInt(5), VInt(1)), "error",
         "Valid operation but uncompatible data types:\n\tLEFT( Type1:Integer , Type:<Integer ) \n\n\tVal1: 5\n\tVal2: 1"},
        {"STR v", Unary(OP_STR, VValue(Floats({1, 2.5f}))), "String", "[ 1, 2.5 ]"},
        {"STR i", Unary(OP_STR, VInt(-7)), "String", "-7"},
        {"STR r", Unary(OP_STR, VReal(0.25f)), "String", "0.25"},
        {"VAL", Unary(OP_VAL, VStr(" 3.5e1x")), "Real", "35"},
        {"VAL none", Unary(OP_VAL, VStr("abc")), "Real", "0"},
        {"LEN s", Unary(OP_LEN, VStr("abcd")), "Integer", "4"},
        {"LEN i", Unary(OP_LEN, VInt(4)), "error",
         "Valid operation but uncompatible data types:\n\tLEN( Type1:Integer ) \n\n\tVal1: 4"},
        {"INT", Unary(OP_INT, VReal(-2.7f)), "Integer", "-2"},
        {"INT huge", Unary(OP_INT, VReal(1e20f)), "Integer", "2147483647"},
        {"SQRT", Unary(OP_SQRT, VInt(16)), "Real", "4"},
        {"LOG", Unary(OP_LOG, VInt(100)), "Real", "2"},
        {"LN", Unary(OP_LN, VInt(1)), "Real", "0"},
        {"UPPER", Unary(OP_UPPER, VStr("abC\xE8")), "String", "ABC?"},
        {"LOWER", Unary(OP_LOWER, VStr("AbC")), "String", "abc"},
        {"SPACE", Unary(OP_SPACE, VInt(3)), "String", "   "},
        {"SPACE -2", Unary(OP_SPACE, VInt(-2)), "String", ""},
        {"ASC", Unary(OP_ASC, VStr("\xE8x")), "Integer", "232"},
        {"ASC empty", Unary(OP_ASC, VStr("")), "Integer", "0"},
        {"CHAR", Unary(OP_CHAR, VInt(321)), "String", "A"},
        {"VECTOR", Unary(OP_VECTOR, VInt(2)), "Vector", "[ 0 , 0 ]"},
        {"MODULUS", Unary(OP_MODULUS, VValue(Floats({3, 4}))), "Real", "5"},
        {"type letter", Unary(OP_TYPE_LETTER, VValue(Floats({3}))), "String", "V"},
        {"type letter void", Unary(OP_TYPE_LETTER, None()), "String", ""},
        // Methods on what is no object.
        {"method on int",
         [](ProgramBuilder& p) {
             p.Emit(OP_COPY, VInt(1), None(), L(2));
             p.CallMethod(L(2), "FOO", {}, L(1));
         },
         "error",
         "Uncorrect use of method 'FOO'. The variable is neither an object nor a vector. The requested field do not "
         "exist."},
        {"output", [](ProgramBuilder& p) { p.Emit(OP_OUTPUT, VStr("printed")); }, "Void", "Void"},
    };
}

}  // namespace

TEST(Handlers, TableOfPrograms) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        std::ostringstream out;
        CVirtualMachine vm;
        vm.SetOutputStream(&out, false);
        vm.RegisterClass(new Plain::CRegister());
        ProgramBuilder b;
        b.Return();
        b.Function("MAIN", 0);
        b.Emit(OP_RESERVE, I(4));
        row.body(b);
        b.Return(L(1));
        std::shared_ptr<VmProgram> p = b.Build();
        ASSERT_TRUE(p) << b.LastError();
        ASSERT_TRUE(vm.StartProgram(p)) << out.str();
        CVmValue* r = vm.CallFunctionByName("MAIN");
        ASSERT_NE(r, nullptr);
        const std::string text = out.str();
        if (std::string(row.type) == "error") {
            const std::string prefix = "\nVirtualMachine ERROR (line 0): ";
            const size_t at = text.find(prefix);
            ASSERT_NE(at, std::string::npos) << text;
            const size_t from = at + prefix.size();
            const std::string message = text.substr(from, text.find("\n\n\nCall stack") - from);
            EXPECT_EQ(message, row.text);
            EXPECT_TRUE(vm.HasError());
            continue;
        }
        EXPECT_FALSE(vm.HasError()) << text;
        std::ostringstream value;
        value << r;
        EXPECT_STREQ(VmTypeName(r->type), row.type);
        EXPECT_EQ(value.str(), row.text);
        if (std::string(row.name) == "output") {
            EXPECT_EQ(text, "printed");
        }
    }
}
