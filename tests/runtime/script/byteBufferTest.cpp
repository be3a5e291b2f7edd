// byteBuffer in a machine of its own: the methods, the view, the encoding
// round trip and the errors. The program end to end: tests/host.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/script/byteBuffer.h"
#include "support/MethodScript.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// A String of any bytes, NULs included.
Opnd Bytes(const std::string& bytes) {
    CVmValue v;
    v.SetString(bytes.data(), static_cast<int32_t>(bytes.size()));
    return VValue(v);
}

Opnd Floats(std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VValue(v);
}

// The text of a recorded value: a String's bytes as they are, a Vector's
// floats as their bytes, anything else as the output statement prints it.
std::string Text(const CVmValue& v) {
    if (v.type == VmValueType::String) return std::string(v.asString->CStr(), static_cast<size_t>(v.asString->Length()));
    if (v.type == VmValueType::Vector)
        return "vector:" + std::string(reinterpret_cast<const char*>(v.asVector->data), v.asVector->count * 4u);
    std::ostringstream s;
    s << v;
    return s.str();
}

class BufferScript {
public:
    BufferScript() {
        vm.SetOutputStream(&out, false);
        vm.RegisterClass(new byteBuffer::CRegister());
    }

    // A new buffer holding the bytes.
    Opnd Buffer(const std::string& bytes) {
        const Opnd b = s.New("BYTEBUFFER");
        s.Call(b, "FILLBUFFER", {Bytes(bytes)});
        return b;
    }
    Opnd Call(const Opnd& b, const char* method, const std::vector<Opnd>& args = {}) { return s.Call(b, method, args); }
    void Record(const Opnd& b, const char* method, const std::vector<Opnd>& args = {}) {
        s.Record(s.Call(b, method, args));
    }

    // Runs MAIN; the texts of its records (none after an error).
    std::vector<std::string> Run() {
        std::vector<std::string> texts;
        std::shared_ptr<VmProgram> p = s.Program();
        if (!p || !vm.StartProgram(p)) return {"not started"};
        const CVmValue* r = vm.CallFunctionByName("MAIN");
        if (r && r->type == VmValueType::Array)
            for (int32_t i = 0; i < r->asArray->count; ++i) texts.push_back(Text(*r->asArray->GetAt(i)));
        return texts;
    }

    std::ostringstream out;
    CVirtualMachine vm;
    MethodScript s{"MAIN"};
};

}  // namespace

TEST(ByteBufferScript, NewBuffersAreBlankAndGetAnswersInsideTheView) {
    BufferScript t;
    const Opnd b = t.s.New("BYTEBUFFER", {VInt(4)});
    t.Record(b, "TOSTRING");
    t.Call(b, "FILL", {VInt(65)});
    t.Record(b, "TOSTRING");
    for (const int32_t pos : {0, 3, 4, 5, -1}) t.Record(b, "GET", {VInt(pos)});
    t.Record(t.s.New("BYTEBUFFER"), "GETSIZE");
    t.Record(t.s.New("BYTEBUFFER", {VInt(0)}), "TOSTRING");

    const Opnd a = t.Buffer("abcdefghij");
    t.Record(a, "SETOFFSET", {VInt(2)});
    t.Record(a, "GETSIZE");
    for (const int32_t pos : {0, 8, 9}) t.Record(a, "GET", {VInt(pos)});
    t.Record(a, "TOSTRING");
    t.Record(a, "SETOFFSET", {VInt(50)});
    t.Record(a, "SETOFFSET", {VInt(-3)});
    const std::vector<std::string> expected = {"    ", "AAAA", "65", "65", "0", "Void", "Void", "0", "",
                                               "2",    "8",    "99", "0",  "Void", "cdefghij", "9", "0"};
    EXPECT_EQ(t.Run(), expected) << t.out.str();
}

TEST(ByteBufferScript, SourcesAreCopiedIntoTheViewAndAppended) {
    BufferScript t;
    const Opnd a = t.s.New("BYTEBUFFER", {VInt(4)});
    t.Record(a, "SETBUFFER", {VStr("abcdefg")});
    t.Record(a, "TOSTRING");
    const Opnd v = t.s.New("BYTEBUFFER", {VInt(10)});
    t.Record(v, "SETBUFFER", {Floats({1.0f, 2.0f})});
    t.Record(v, "TOSTRING");
    const Opnd src = t.Buffer("XYZ");
    t.Call(src, "SETOFFSET", {VInt(1)});
    t.Record(a, "SETBUFFER", {src});
    t.Record(a, "TOSTRING");
    t.Call(a, "APPEND", {src});
    t.Record(a, "TOSTRING");
    t.Call(a, "SETOFFSET", {VInt(3)});
    t.Record(a, "SETBUFFER", {VStr("0123456")});
    t.Call(a, "SETOFFSET", {VInt(0)});
    t.Record(a, "TOSTRING");
    t.Record(a, "TOVECTOR");  // 6 bytes: one float
    t.Call(a, "APPEND", {a});
    t.Record(a, "TOSTRING");
    // The whole content is replaced, the offset kept.
    t.Call(a, "SETOFFSET", {VInt(1)});
    t.Call(a, "FILLBUFFER", {Floats({1.0f})});
    t.Record(a, "TOSTRING");
    t.Record(a, "SETSIZE", {VInt(6)});
    t.Record(a, "TOSTRING");
    const std::string one("\x00\x00\x80\x3F", 4), two("\x00\x00\x00\x40", 4);
    const std::vector<std::string> expected = {
        "4",     "abcd",   "8",      one + two + "  ", "2", "YZcd", "YZcdYZ", "3", "YZc012",
        "vector:YZc0", "YZc012YZc012", one.substr(1), "Void", one.substr(1) + std::string(2, '\0')};
    EXPECT_EQ(t.Run(), expected) << t.out.str();
}

TEST(ByteBufferScript, HandlesFromGetBufferFillOtherBuffers) {
    BufferScript t;
    const Opnd src = t.Buffer("hello");
    t.Call(src, "SETOFFSET", {VInt(1)});
    const Opnd h = t.Call(src, "GETBUFFER");
    t.s.Record(h);
    t.Record(src, "GETBUFFER");
    const Opnd dst = t.s.New("BYTEBUFFER", {VInt(2)});
    for (const int32_t count : {3, 100, 0}) {
        t.Call(dst, "FILLBUFFER", {h, VInt(count)});
        t.Record(dst, "TOSTRING");
    }
    t.Call(src, "FILLBUFFER", {h, VInt(2)});  // from its own view
    t.Record(src, "TOSTRING");
    const std::vector<std::string> records = t.Run();
    ASSERT_EQ(records.size(), 6u) << t.out.str();
    EXPECT_NE(records[0], "0");
    EXPECT_EQ(records[1], records[0]);
    EXPECT_EQ(std::vector<std::string>(records.begin() + 2, records.end()),
              (std::vector<std::string>{"ell", "ello", "", "l"}));
}

TEST(ByteBufferScript, ValuesAreEncodedIntoBuffersAndDecodedFromTheirView) {
    BufferScript t;
    const Opnd e = t.s.New("BYTEBUFFER");
    t.Record(e, "VARENCODE", {VInt(258)});
    t.Record(e, "TOSTRING");
    t.Record(e, "VARDECODE");
    // An Array holding a buffer whose offset is not 0: the whole content travels.
    const Opnd inner = t.Buffer("whole");
    t.Call(inner, "SETOFFSET", {VInt(2)});
    const Opnd array = t.s.Local(VInt(0));
    t.s.Builder().Emit(OP_ARRAY, I(0), None(), array);
    t.s.Builder().Emit(OP_ARRAY_APPEND, inner, None(), array);
    t.s.Builder().Emit(OP_ARRAY_APPEND, VInt(5), None(), array);
    t.Record(e, "VARENCODE", {array});
    const Opnd back = t.Call(e, "VARDECODE");
    const Opnd first = t.s.Local(VInt(0));
    t.s.Builder().Emit(OP_INDEX_READ, back, VInt(0), first);
    t.Record(first, "TOSTRING");
    t.s.Builder().Emit(OP_INDEX_READ, back, VInt(1), first);
    t.s.Record(first);
    const std::string name = std::string("\x09\x00\x00\x00\x0A", 5) + "BYTEBUFFER";
    t.Record(t.Call(t.Buffer(name + std::string("\x00\x00\x00\x02hi", 6)), "VARDECODE"), "TOSTRING");
    // Stated lengths are checked against the view's bytes.
    for (const std::string& bytes :
         {name + std::string("\x00\x00\x00\x03hi", 6), name + std::string("\xFF\xFF\xFF\xFFhi", 6),
          std::string("\x05\x00\x00\x00\x09" "ab", 7), std::string("\x05\x00\x00\x00\x02" "abc", 8)})
        t.Record(t.Buffer(bytes), "VARDECODE");
    const std::vector<std::string> expected = {"True", std::string("\x02\x00\x00\x01\x02", 5), "258", "True", "whole",
                                               "5", "hi", "Void", "Void", "Void", "ab"};
    EXPECT_EQ(t.Run(), expected) << t.out.str();
}

TEST(ByteBufferScript, AViewBeyondTheEndIsEmpty) {
    BufferScript t;
    const Opnd b = t.s.New("BYTEBUFFER", {VInt(10)});
    t.Call(b, "SETOFFSET", {VInt(8)});
    t.Call(b, "SETSIZE", {VInt(4)});
    for (const char* method : {"GETSIZE", "TOSTRING", "TOVECTOR", "VARDECODE"}) t.Record(b, method);
    t.Record(b, "GET", {VInt(0)});
    t.Record(b, "GET", {VInt(1)});
    t.Record(b, "SETBUFFER", {VStr("xyz")});
    t.Call(b, "FILL", {VInt(1)});
    t.Call(b, "SETOFFSET", {VInt(0)});
    t.Record(b, "TOSTRING");
    const std::vector<std::string> expected = {"0", "", "vector:", "Void", "0", "Void", "0", "    "};
    EXPECT_EQ(t.Run(), expected) << t.out.str();
}

// Each error stops the script; the buffer in the global keeps its content.
TEST(ByteBufferScript, WrongParametersStopTheScript) {
    struct Case {
        const char* name;
        void (*build)(BufferScript& t, const Opnd& b);
        const char* message;
    } cases[] = {
        {"Fill(300)", [](BufferScript& t, const Opnd& b) { t.Call(b, "FILL", {VInt(300)}); },
         "value must be between 0 and 255"},
        {"Fill(-1)", [](BufferScript& t, const Opnd& b) { t.Call(b, "FILL", {VInt(-1)}); },
         "value must be between 0 and 255"},
        {"SetBuffer(5)", [](BufferScript& t, const Opnd& b) { t.Call(b, "SETBUFFER", {VInt(5)}); },
         "Invalid parameter type. The parameter must be a string, a vector or a bytebuffer."},
        {"forged handle",
         [](BufferScript& t, const Opnd& b) {
             const Opnd h = t.Call(b, "GETBUFFER");
             t.Call(b, "FILLBUFFER", {t.s.Plus(h, 77), VInt(1)});
         },
         "Invalid buffer handle"},
        {"handle of a released buffer",
         [](BufferScript& t, const Opnd& b) {
             const Opnd other = t.s.New("BYTEBUFFER", {VInt(3)});
             const Opnd h = t.Call(other, "GETBUFFER");
             t.s.Builder().Emit(OP_SET_VOID, other);
             t.Call(b, "FILLBUFFER", {h, VInt(1)});
         },
         "Invalid buffer handle"},
        {"negative count",
         [](BufferScript& t, const Opnd& b) {
             t.Call(b, "FILLBUFFER", {t.Call(b, "GETBUFFER"), VInt(-1)});
         },
         "count must not be negative"},
        {"SetSize(-1)", [](BufferScript& t, const Opnd& b) { t.Call(b, "SETSIZE", {VInt(-1)}); },
         "size must be between 0 and 1073741791"},
        {"byteBuffer(-1)", [](BufferScript& t, const Opnd&) { t.s.New("BYTEBUFFER", {VInt(-1)}); },
         "size must be between 0 and 1073741791"},
        {"Append(5)", [](BufferScript& t, const Opnd& b) { t.Call(b, "APPEND", {VInt(5)}); }, "byteBuffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BufferScript t;
        const int32_t g = t.s.Builder().AddGlobal();
        const Opnd b = t.Buffer("keep");
        t.s.Builder().Emit(OP_COPY, b, None(), G(g));
        c.build(t, b);
        t.s.Print("not reached");
        t.Run();
        EXPECT_TRUE(t.vm.HasError());
        const std::string out = t.out.str();
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("not reached"), std::string::npos);
        const CVmValue& kept = t.vm.Globals()[g];
        ASSERT_EQ(kept.type, VmValueType::Object);
        EXPECT_EQ(static_cast<byteBuffer*>(kept.asObject)->Content().Bytes(), "keep");
    }
}
