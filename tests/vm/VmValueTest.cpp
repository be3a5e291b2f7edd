#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>

#include "support/TestObjects.h"
#include "vm/VmValue.h"

using qemtest::CountingObject;
using qemtest::CountingObjectFactory;
using qemtest::Int;
using qemtest::Str;

namespace {

std::vector<uint8_t> Encode(const CVmValue& v, bool* ok = nullptr) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    const bool r = v.WriteTo(w);
    if (ok) *ok = r;
    return out;
}

std::string Text(const CVmValue& v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
    std::vector<uint8_t> v;
    for (int x : b) v.push_back(static_cast<uint8_t>(x));
    return v;
}

CVmValue Vec(std::initializer_list<float> f) {
    CVmValue v;
    std::vector<float> tmp(f);
    v.SetVector(tmp.data(), static_cast<int32_t>(tmp.size()));
    return v;
}

CVmValue Arr(std::initializer_list<CVmValue> items) {
    CVmValue v;
    CVmArray* a = new CVmArray();
    v.SetArray(a);
    for (const CVmValue& e : items) a->Append(e);
    return v;
}

CVmString MakeString(const char* s) {
    CVmString r;
    r.Init(s, -1);
    return r;
}

}  // namespace

TEST(ValueEncoding, EveryTypeWritesItsExactBytes) {
    CountingObjectFactory factory;
    struct Row {
        const char* name;
        std::function<CVmValue()> make;
        std::vector<uint8_t> bytes;
        bool writable;
    };
    const std::vector<Row> rows = {
        {"void", [] { return CVmValue(); }, Bytes({0}), true},
        {"integer", [] { return Int(1); }, Bytes({2, 0, 0, 0, 1}), true},
        {"negative", [] { return Int(-2); }, Bytes({2, 0xFF, 0xFF, 0xFF, 0xFE}), true},
        {"real",
         [] {
             CVmValue v;
             v.SetReal(1.0f);
             return v;
         },
         Bytes({3, 0, 0, 0x80, 0x3F}), true},
        {"bool",
         [] {
             CVmValue v;
             v.SetBool(true);
             return v;
         },
         Bytes({4, 1}), true},
        {"string", [] { return Str("ab"); }, Bytes({5, 0, 0, 0, 2, 'a', 'b'}), true},
        {"vector", [] { return Vec({1.0f, 2.0f}); }, Bytes({8, 0, 0, 0, 2, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x40}), true},
        {"rifstr",
         [] {
             CVmValue v;
             v.SetType(VmValueType::VmRifStr);
             v.asInt = 3;
             return v;
         },
         Bytes({6, 0, 0, 0, 3}), true},
        {"array", [] { return Arr({Int(1), Str("a")}); },
         Bytes({7, 0, 0, 0, 2, 2, 0, 0, 0, 1, 5, 0, 0, 0, 1, 'a'}), true},
        {"object",
         [] {
             CVmValue v;
             v.SetObject(new CountingObject(7));
             return v;
         },
         Bytes({9, 0, 0, 0, 7, 'T', 'E', 'S', 'T', 'O', 'B', 'J', 0, 0, 0, 7}), true},
        {"status",
         [] {
             CVmValue v;
             v.SetStatus(1, 2, 3);
             return v;
         },
         Bytes({1}), false},
        {"vectorint",
         [] {
             CVmValue v;
             const int32_t n[2] = {1, 2};
             v.SetVectorInt(n, 2);
             return v;
         },
         Bytes({14}), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CVmValue v = row.make();
        bool ok = false;
        EXPECT_EQ(Encode(v, &ok), row.bytes);
        EXPECT_EQ(ok, row.writable);
        if (!row.writable) continue;
        ByteReader in(row.bytes);
        CVmValue back;
        ASSERT_TRUE(back.ReadFrom(in, &factory));
        EXPECT_EQ(in.Remaining(), 0u);
        EXPECT_EQ(back.type, v.type);
        EXPECT_EQ(Encode(back), row.bytes);
    }
}

TEST(ValueEncoding, NestedArraysRoundTripByteForByte) {
    CountingObjectFactory factory;
    const CVmValue v = Arr({Arr({Str("x"), Vec({0.5f, -1.0f, 3.0f})}), Str(""), Arr({}), Int(9)});
    const std::vector<uint8_t> bytes = Encode(v);
    ByteReader in(bytes);
    CVmValue back;
    ASSERT_TRUE(back.ReadFrom(in, &factory));
    EXPECT_EQ(Encode(back), bytes);
    EXPECT_EQ(Text(back), "{ { x , [ 0.5 , -1 , 3 ] } ,  , {  } , 9 }");
}

TEST(ValueEncoding, BoolReadsTrueOnlyForPositiveSignedByte) {
    for (int b : {0, 1, 0x7F, 0x80, 0xFF}) {
        const std::vector<uint8_t> bytes = Bytes({4, b});
        ByteReader in(bytes);
        CVmValue v;
        ASSERT_TRUE(v.ReadFrom(in, nullptr));
        EXPECT_EQ(v.asBool != 0, b >= 1 && b <= 0x7F) << b;
    }
}

TEST(ValueEncoding, BadInputIsRefusedAndLeavesVoid) {
    CountingObjectFactory factory;
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> rows = {
        {"empty", {}},
        {"status type", Bytes({1, 0, 0, 0, 0})},
        {"type 11", Bytes({11})},
        {"type 13", Bytes({13})},
        {"type 14", Bytes({14, 0, 0, 0, 0})},
        {"unknown type", Bytes({0x42})},
        {"short integer", Bytes({2, 0, 0})},
        {"negative string length", Bytes({5, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"string longer than input", Bytes({5, 0, 0, 0, 9, 'a'})},
        {"huge string length", Bytes({5, 0x7F, 0xFF, 0xFF, 0xFF})},
        {"negative array count", Bytes({7, 0x80, 0, 0, 0})},
        {"array count beyond input", Bytes({7, 0x10, 0, 0, 0, 0, 0})},
        {"vector count beyond input", Bytes({8, 0, 0, 0, 2, 0, 0, 0x80, 0x3F})},
        {"bad element", Bytes({7, 0, 0, 0, 2, 2, 0, 0, 0, 1, 0x33})},
        {"unknown class", Bytes({9, 0, 0, 0, 1, 'Q', 0, 0, 0, 1})},
        {"class data missing", Bytes({9, 0, 0, 0, 7, 'T', 'E', 'S', 'T', 'O', 'B', 'J'})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        ByteReader in(row.second);
        CVmValue v;
        v.SetString("previous");
        EXPECT_FALSE(v.ReadFrom(in, &factory));
        EXPECT_TRUE(v.IsVoid());
        EXPECT_LE(in.Position(), row.second.size());
    }
}

TEST(ValueEncoding, EveryTruncationOfAValidEncodingFails) {
    CountingObjectFactory factory;
    CVmValue obj;
    obj.SetObject(new CountingObject(3));
    const std::vector<uint8_t> bytes = Encode(Arr({Str("abc"), Vec({1, 2}), Arr({Int(4), obj}), Int(5)}));
    for (size_t n = 0; n < bytes.size(); ++n) {
        ByteReader in(bytes.data(), n);
        CVmValue v;
        EXPECT_FALSE(v.ReadFrom(in, &factory)) << n;
        EXPECT_TRUE(v.IsVoid());
    }
}

TEST(ValueEncoding, NestingDepthIsBounded) {
    CountingObjectFactory factory;
    auto nested = [](int depth) {
        std::vector<uint8_t> b;
        for (int i = 0; i < depth; ++i) b.insert(b.end(), {7, 0, 0, 0, 1});
        b.push_back(0);
        return b;
    };
    {
        const std::vector<uint8_t> ok = nested(CVmValue::kMaxNesting);
        ByteReader in(ok);
        CVmValue v;
        EXPECT_TRUE(v.ReadFrom(in, &factory));
        EXPECT_EQ(Encode(v), ok);
    }
    {
        const std::vector<uint8_t> deep = nested(100000);
        ByteReader in(deep);
        CVmValue v;
        EXPECT_FALSE(v.ReadFrom(in, &factory));
        EXPECT_TRUE(v.IsVoid());
    }
}

TEST(ValueEncoding, SelfContainingAndSharedArraysWriteBoundedAndFail) {
    // a holds itself once; b holds itself twice; c is no cycle but 60 levels
    // of arrays that each hold the level below twice. Written as trees, b and
    // c have more elements than there are atoms.
    CVmValue a = Arr({Int(1)});
    a.asArray->Append(a);
    CVmValue b = Arr({});
    b.asArray->Append(b);
    b.asArray->Append(b);
    CVmValue c = Arr({Int(7)});
    for (int i = 0; i < 60; ++i) {
        CVmValue up = Arr({c, c});
        c.Move(up);
    }
    for (const CVmValue* v : {&a, &b, &c}) {
        std::vector<uint8_t> bytes;
        ByteWriter w(bytes);
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(v->WriteTo(w, &error));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_LE(bytes.size(), size_t(CVmValue::kMaxEncodedElements) * 6);
        if (v != &a) {
            EXPECT_NE(error.find("an array that holds itself"), std::string::npos) << error;
        }
    }
    // A large array without sharing still writes whole.
    CVmValue big;
    big.SetArray(new CVmArray(100000));
    bool ok = false;
    EXPECT_EQ(Encode(big, &ok).size(), 5u + 100000u);
    EXPECT_TRUE(ok);
    a.asArray->RemoveAt(1);  // break the cycles so the arrays are freed
    b.asArray->Resize(0);
}

TEST(ValueText, FormsOfEveryType) {
    CVmValue obj;
    obj.SetObject(new CountingObject());
    CVmValue real, big, boolean, status, rif, nullString, emptyString, bad;
    real.SetReal(2.5f);
    big.SetReal(1.0e7f);
    boolean.SetBool(false);
    status.SetStatus(0, 0, 0);
    rif.SetType(VmValueType::VmRifStr);
    rif.asInt = 4;
    nullString.SetType(VmValueType::String);
    nullString.asString->InitCount(-1);
    emptyString.SetType(VmValueType::String);
    emptyString.asString->InitCount(0);
    bad.SetString("a\tb\r\n\x01\xE8");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {Text(CVmValue()), "Void"},
        {Text(Int(-12)), "-12"},
        {Text(real), "2.5"},
        {Text(big), "1e+07"},
        {Text(boolean), "False"},
        {Text(status), "<Status>"},
        {Text(rif), "sr4"},
        {Text(nullString), "<null>"},
        {Text(emptyString), ""},
        {Text(bad), "a?b\r\n??"},
        {Text(obj), "(Obj:TestObj)"},
        {Text(Arr({Int(1), Str("a"), Vec({})})), "{ 1 , a , [  ] }"},
        {Text(Arr({})), "{  }"},
        {Text(Vec({1, 2.25f})), "[ 1 , 2.25 ]"},
    };
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    std::ostringstream os;
    os << static_cast<const CVmValue*>(nullptr);
    EXPECT_EQ(os.str(), "NULL");
}

TEST(ValueText, SelfContainingArrayPrintsAMarker) {
    CVmValue a = Arr({Int(1)});
    a.asArray->Append(a);
    EXPECT_EQ(Text(a), "{ 1 , { ... } }");
    a.asArray->RemoveAt(1);
}

TEST(ValueTypeNames, CodesToNames) {
    const char* expected[] = {"Void",   "VmStatus", "Integer",  "Real",  "Bool", "String", "VmRifStr", "Array",
                              "Vector", "Object",   "????",     "VmMethod", "VmVar", "????", "VectorInt"};
    for (int i = 0; i < 15; ++i) EXPECT_STREQ(VmTypeName(i), expected[i]) << i;
    EXPECT_STREQ(VmTypeName(15), "????");
    EXPECT_STREQ(VmTypeName(-1), "????");
}

TEST(VmStringTest, CompareRules) {
    struct Row {
        const char* a;
        const char* b;
        bool ignoreCase;
        int expected;
    };
    const Row rows[] = {
        {"abc", "abcd", false, -1}, {"abcd", "abc", false, 1}, {"abc", "abc", false, 0},
        {"ABC", "abc", true, 0},    {"ABC", "abc", false, -1}, {"", "", false, 0},
        // Above 0x7F: unsigned without ignoreCase, signed with it.
        {"\xE8", "a", false, 1},    {"\xE8", "a", true, -1},
    };
    for (const Row& r : rows) {
        CVmString a = MakeString(r.a), b = MakeString(r.b);
        EXPECT_EQ(a.Compare(b, r.ignoreCase), r.expected) << r.a << " / " << r.b;
        EXPECT_EQ(a.CompareText(r.b, r.ignoreCase), r.expected) << r.a << " / " << r.b;
        a.Free();
        b.Free();
    }
    CVmString none;
    none.InitCount(-1);
    CVmString empty = MakeString("");
    EXPECT_EQ(none.Compare(empty, false), 0);
    EXPECT_TRUE(none.Equals(empty));
    empty.Free();
}

TEST(VmStringTest, BuildingAndEditing) {
    CVmString s;
    s.InitCount(3);
    EXPECT_STREQ(s.data, "   ");
    s.Free();
    s.InitCount(0);
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.data[0], '\0');
    EXPECT_EQ(s.capacity % 32, 0);
    s.Free();

    s = MakeString("abc");
    s.Append(s);  // appending to itself reads the old characters
    EXPECT_STREQ(s.data, "abcabc");
    s.Assign(s.data + 3, 3);
    EXPECT_STREQ(s.data, "abc");
    s.MakeUpper();
    EXPECT_STREQ(s.data, "ABC");
    s.Truncate(1);
    EXPECT_STREQ(s.data, "A");
    EXPECT_EQ(s.length, 1);

    std::strcpy(s.data, "xyz1");
    EXPECT_EQ(s.UpdateLength(), 4);
    std::memset(s.data, 'q', static_cast<size_t>(s.capacity));  // no NUL left
    EXPECT_EQ(s.UpdateLength(), -1);
    EXPECT_EQ(s.length, 4);
    s.Free();

    CVmString a = MakeString(""), b;
    b.InitCount(-1);
    CVmString c;
    c.InitConcat(a, b);
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.length, 0);
    a.Free();
}

TEST(VmVectorTest, Arithmetic) {
    CVmValue a = Vec({1, 2, 3}), b = Vec({10, 20});
    a.asVector->Add(*b.asVector);
    EXPECT_EQ(Text(a), "[ 11 , 22 , 3 ]");
    EXPECT_FLOAT_EQ(a.asVector->Dot(*b.asVector), 11 * 10 + 22 * 20);
    a.asVector->Sub(*b.asVector);
    EXPECT_EQ(Text(a), "[ 1 , 2 , 3 ]");
    CVmValue n = Vec({3, 4});
    EXPECT_FLOAT_EQ(n.asVector->Norm(), 5.0f);
    // Shorter vectors count their missing components as 0.
    CVmValue x = Vec({1}), y = Vec({0, 1});
    x.asVector->Cross(*y.asVector);
    EXPECT_EQ(Text(x), "[ 0 , 0 , 1 ]");
    EXPECT_FLOAT_EQ(Vec({}).asVector->GetAt(0), 0.0f);
}

TEST(ValueReferences, ArraysAreSharedAndCounted) {
    CVmValue a = Arr({Int(1)});
    CVmArray* arr = a.asArray;
    EXPECT_EQ(arr->refCount, 1);
    a.Assign(a);
    EXPECT_EQ(arr->refCount, 1);
    CVmValue b;
    b.Assign(a);
    EXPECT_EQ(arr->refCount, 2);
    b.Assign(a);  // already holds it
    EXPECT_EQ(arr->refCount, 2);
    a.SetArray(arr);
    EXPECT_EQ(arr->refCount, 2);
    b.SetVoid();
    EXPECT_EQ(arr->refCount, 1);
    CVmValue m;
    m.Move(a);
    EXPECT_TRUE(a.IsVoid());
    EXPECT_EQ(arr->refCount, 1);
}

TEST(ValueReferences, ReleasingTheLastArrayReleasesItsObjects) {
    CountingObject::s_destroyed = 0;
    {
        CVmValue o1, o2;
        o1.SetObject(new CountingObject(1));
        o2.SetObject(new CountingObject(2));
        CVmValue a = Arr({o1, Arr({o2}), o1});
        o1.SetVoid();
        o2.SetVoid();
        EXPECT_EQ(CountingObject::s_destroyed, 0);
        CVmValue b = a;
        a.SetVoid();
        EXPECT_EQ(CountingObject::s_destroyed, 0);
    }
    EXPECT_EQ(CountingObject::s_destroyed, 2);
}

TEST(ValueReferences, AssigningAnElementOverItsOwnArrayIsSafe) {
    // a = a[0], where a holds the only reference to the array.
    CVmValue a = Arr({Str("inner"), Int(2)});
    a.Assign(a.asArray->items[0]);
    EXPECT_EQ(Text(a), "inner");

    CVmValue b = Arr({Arr({Int(5)})});
    b.Assign(b.asArray->items[0]);
    EXPECT_EQ(Text(b), "{ 5 }");

    CVmValue c = Arr({Vec({1, 2})});
    c.Move(c.asArray->items[0]);
    EXPECT_EQ(Text(c), "[ 1 , 2 ]");

    CVmValue s = Str("hello");
    s.SetString(s.asString->data + 1, 3);
    EXPECT_EQ(Text(s), "ell");
}

TEST(ValueReferences, DeeplyNestedArraysReleaseWithoutRecursing) {
    CVmValue top = Arr({});
    for (int i = 0; i < 200000; ++i) {
        CVmValue outer = Arr({});
        outer.asArray->Append(top);
        top.Move(outer);
    }
    top.SetVoid();  // must not overflow the native stack
    SUCCEED();
}

TEST(VmArrayTest, ElementOperations) {
    CVmValue a;
    a.SetArray(new CVmArray(2));
    CVmArray* arr = a.asArray;
    EXPECT_TRUE(arr->items[0].IsVoid());
    EXPECT_EQ(arr->SetAt(2, Int(1)), nullptr);
    EXPECT_EQ(arr->SetAt(-1, Int(1)), nullptr);
    ASSERT_NE(arr->SetAt(1, Str("s")), nullptr);
    // The array's own element appended while its table grows and moves.
    for (int i = 0; i < 100; ++i) arr->Append(arr->items[1]);
    arr->RemoveAt(0);
    arr->RemoveAt(500);
    EXPECT_EQ(arr->count, 101);
    EXPECT_EQ(Text(arr->items[100]), "s");
    arr->Resize(2);
    EXPECT_EQ(Text(a), "{ s , s }");
    arr->Resize(-5);
    EXPECT_EQ(arr->count, 0);
}
