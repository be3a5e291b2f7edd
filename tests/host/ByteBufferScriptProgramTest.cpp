// byteBuffer end to end: qem runs scripts whose OnInit works with byte
// buffers and prints "label value" lines for what each call gives; a script
// error ends each run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

class BufferTranscript {
public:
    BufferTranscript() { s.Print("BEGIN\n"); }

    Opnd New(int32_t size) { return s.New("BYTEBUFFER", {VInt(size)}); }
    Opnd Show(const char* label, const Opnd& b, const char* method, const std::vector<Opnd>& args = {}) {
        s.Print((std::string(label) + " ").c_str());
        const Opnd r = s.Call(b, method, args);
        s.Record(r);
        return r;
    }

    MethodScript s{"ONINIT"};
};

// Runs the script in qem until the error line; the output from BEGIN on.
std::string RunUntilError(const ScratchFolder& scratch, BufferTranscript& t, const std::string& name,
                          const std::string& error) {
    t.s.Print("DONE\n");  // not reached
    const std::string line = "\nVirtualMachine ERROR (line 0): " + error + "\n";
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, line), line);
}

}  // namespace

TEST(ByteBufferScriptProgram, ScriptsWorkWithByteBuffers) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    BufferTranscript t;
    const Opnd b = t.New(4);
    t.Show("blank", b, "TOSTRING");
    t.s.Call(b, "FILL", {VInt(65)});
    t.Show("fill", b, "TOSTRING");
    for (const int32_t pos : {4, 5, -1}) t.Show(("get" + std::to_string(pos)).c_str(), b, "GET", {VInt(pos)});

    const Opnd a = t.New(0);
    t.s.Call(a, "FILLBUFFER", {VStr("abcdefghij")});
    t.Show("offset", a, "SETOFFSET", {VInt(2)});
    t.Show("size", a, "GETSIZE");
    for (const int32_t pos : {0, 8, 9}) t.Show(("get" + std::to_string(pos)).c_str(), a, "GET", {VInt(pos)});
    t.Show("offset", a, "SETOFFSET", {VInt(50)});
    t.Show("offset", a, "SETOFFSET", {VInt(-3)});

    t.Show("copied", b, "SETBUFFER", {VStr("abcdefg")});
    t.Show("text", b, "TOSTRING");
    const Opnd src = t.New(0);
    t.s.Call(src, "FILLBUFFER", {VStr("XYZ")});
    t.s.Call(src, "SETOFFSET", {VInt(1)});
    t.Show("copied", b, "SETBUFFER", {src});
    t.s.Call(b, "APPEND", {src});
    t.Show("appended", b, "TOSTRING");
    CVmValue floats;
    const float values[2] = {1.5f, -2.0f};
    floats.SetVector(values, 2);
    const Opnd v = t.New(4);
    t.Show("copied", v, "SETBUFFER", {VValue(floats)});
    t.Show("high byte", v, "GET", {VInt(3)});
    t.s.Call(v, "FILLBUFFER", {VValue(floats)});
    t.s.Call(v, "APPEND", {src});
    t.Show("floats", v, "TOVECTOR");  // 10 bytes: two floats

    const Opnd e = t.New(0);
    t.Show("encoded", e, "VARENCODE", {VInt(258)});
    for (int32_t i = 0; i < 5; ++i) t.Show("byte", e, "GET", {VInt(i)});
    t.Show("decoded", e, "VARDECODE");
    const Opnd array = t.s.Local(VInt(0));
    t.s.Builder().Emit(OP_ARRAY, I(0), None(), array);
    t.s.Builder().Emit(OP_ARRAY_APPEND, a, None(), array);
    t.s.Call(a, "SETOFFSET", {VInt(7)});
    t.Show("encoded", e, "VARENCODE", {array});
    const Opnd back = t.s.Call(e, "VARDECODE", {});
    const Opnd inner = t.s.Local(VInt(0));
    t.s.Builder().Emit(OP_INDEX_READ, back, VInt(0), inner);
    t.Show("inner", inner, "TOSTRING");

    const Opnd shrunk = t.New(10);
    t.s.Call(shrunk, "SETOFFSET", {VInt(8)});
    t.s.Call(shrunk, "SETSIZE", {VInt(4)});
    t.Show("shrunk", shrunk, "GETSIZE");
    t.Show("shrunk", shrunk, "TOSTRING");
    t.Show("shrunk", shrunk, "GET", {VInt(0)});
    t.Show("shrunk", shrunk, "VARDECODE");

    const Opnd h = t.s.Call(src, "GETBUFFER", {});
    t.s.Call(e, "FILLBUFFER", {h, VInt(1)});
    t.Show("filled", e, "TOSTRING");
    t.s.Call(e, "FILLBUFFER", {VStr("\x05\x01\x02\x03\x04" "ab")});  // a String of 0x05010203 bytes
    t.Show("lying", e, "VARDECODE");
    t.s.Call(b, "FILL", {VInt(300)});

    const std::string transcript = RunUntilError(scratch, t, "buffers", "FILL: value must be between 0 and 255");
    const std::string expected =
        "blank     \nfill AAAA\nget4 0\nget5 Void\nget-1 Void\n"
        "offset 2\nsize 8\nget0 99\nget8 0\nget9 Void\noffset 9\noffset 0\n"
        "copied 4\ntext abcd\ncopied 2\nappended YZcdYZ\ncopied 4\nhigh byte 63\nfloats [ 1.5 , -2 ]\n"
        "encoded True\nbyte 2\nbyte 0\nbyte 0\nbyte 1\nbyte 2\ndecoded 258\nencoded True\ninner abcdefghij\n"
        "shrunk 0\nshrunk \nshrunk 0\nshrunk Void\nfilled Y\nlying Void\n";
    EXPECT_EQ(transcript, expected);
}

TEST(ByteBufferScriptProgram, WrongSourcesStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    {
        BufferTranscript t;
        t.Show("copied", t.New(4), "SETBUFFER", {VInt(5)});
        EXPECT_EQ(RunUntilError(scratch, t, "setbuffer",
                                "SETBUFFER: Invalid parameter type. The parameter must be a string, a vector or a "
                                "bytebuffer."),
                  "copied ");
    }
    {
        BufferTranscript t;
        const Opnd b = t.New(4);
        t.s.Call(b, "FILLBUFFER", {VInt(12345), VInt(2)});
        EXPECT_EQ(RunUntilError(scratch, t, "forged",
                                "FILLBUFFER: Invalid buffer handle: it is not one that GetBuffer gave for a live "
                                "byteBuffer."),
                  "");
    }
}
