// The input, output, time and event functions end to end: qem runs scripts
// whose callbacks print what the functions give and do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// OutputLN(label, v).
void Show(ProgramBuilder& b, const char* label, const Opnd& v) { b.CallNative("OUTPUTLN", {VStr(label), v}, None()); }

// A script with OnEvent printing its arguments and OnInit running `init`
// (with one local); `more` adds functions.
ProgramBuilder Script(const std::function<void(ProgramBuilder&)>& init,
                      const std::function<void(ProgramBuilder&)>& more = {}) {
    ProgramBuilder b;
    b.Return();
    b.Function("ONEVENT", 3);
    b.CallNative("OUTPUTLN", {VStr("event "), L(-1), VStr(" "), L(-2), VStr(" "), L(-3)}, None());
    b.Return();
    b.Function("ONINIT", 0);
    b.Emit(OP_RESERVE, I(1));
    init(b);
    b.Return();
    if (more) more(b);
    return b;
}

// Runs the script in qem until its output holds `until`; the output from
// OnInit's first line on.
std::string RunQem(const ScratchFolder& scratch, ProgramBuilder& b, const std::string& name, const std::string& until,
                   const std::string& first) {
    const std::vector<uint8_t> bytes = b.WriteFile();
    const std::string script = scratch.Make(name + ".bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    EXPECT_TRUE(qem.Started());
    EXPECT_TRUE(qem.WaitFor(until, std::chrono::seconds(20))) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    const size_t at = out.find(first);
    return at == std::string::npos ? out : out.substr(at);
}

}  // namespace

TEST(FunctionScriptProgram, OutputTimeAndEvents) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ProgramBuilder b = Script(
        [](ProgramBuilder& b) {
            b.CallNative("GETTIME", {}, L(1));
            Show(b, "time ", L(1));
            b.CallNative("OUTPUTLN", {VInt(1), VStr("a"), VReal(2.5f)}, None());
            b.CallNative("OUTPUT", {VStr("x")}, None());
            b.CallNative("OUTPUT", {VStr("y\n")}, None());
            b.CallNative("EVENT", {}, L(1));
            Show(b, "id ", L(1));
            b.CallNative("EVENT", {}, L(1));
            Show(b, "id ", L(1));
            b.CallNative("SLEEP", {VInt(150)}, None());
            b.CallNative("GETTIME", {}, L(1));
            Show(b, "slept ", L(1));
            b.CallNative("KEYPRESSED", {VStr("+")}, L(1));
            Show(b, "plus ", L(1));
            b.CallNative("EVENTPOST", {VInt(2030), VInt(7), VStr("x")}, L(1));
            Show(b, "posted ", L(1));
            b.CallNative("EVENTPOST", {VInt(32767)}, L(1));
            Show(b, "posted ", L(1));
        },
        [](ProgramBuilder& b) {
            // The first frame posts and sends; the next quits.
            b.SetGlobalCount(1);
            b.Function("ONFRAME", 0);
            const Label later = b.NewLabel();
            b.Emit(OP_JUMP_NOT_VOID, G(0), None(), At(later));
            b.Emit(OP_COPY, VInt(1), None(), G(0));
            b.CallNative("EVENTPOST", {VInt(2032), VInt(1), VStr("p")}, None());
            b.CallNative("EVENTSEND", {VInt(2031), VInt(2), VStr("two")}, None());
            b.CallNative("OUTPUTLN", {VStr("sent")}, None());
            b.Return();
            b.Bind(later);
            b.CallNative("QUIT", {VStr("bye"), VInt(2)}, None());
            b.CallNative("OUTPUTLN", {VStr("went on")}, None());
            b.Return();
        });
    const std::string out = RunQem(scratch, b, "events", "bye2", "time ");
    int slept = 0;
    const size_t at = out.find("slept ");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(sscanf(out.c_str() + at, "slept %d", &slept), 1);
    EXPECT_GE(slept, 150);
    EXPECT_LT(slept, 2000);
    // "OK!" is the module's, after OnInit.
    const std::string expected =
        "time 0\n1a2.5\nxy\nid 2024\nid 2025\nslept " + std::to_string(slept) +
        "\n\nVirtualMachine WARNING (line 0): KEYPRESSED: '+' is an invalid char.plus False\nposted 1\nposted 1\n"
        "OK!event 2030 7 x\nevent 32767 Void Void\nevent 2032 1 p\nevent 2031 2 two\nsent\n"
        "\nVirtualMachine ERROR (line 0): QUIT: bye2";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(out.find("went on"), std::string::npos);
}

TEST(FunctionScriptProgram, ScriptErrorsStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const std::pair<std::function<void(ProgramBuilder&)>, std::string> rows[] = {
        {[](ProgramBuilder& b) { b.CallNative("EVENTPOST", {VInt(2023)}, None()); }, "EVENTPOST: invalid Event value."},
        {[](ProgramBuilder& b) { b.CallNative("NEWMMMIDI", {VInt(1)}, None()); },
         "NEWMMMIDI: This function is not available yet."},
    };
    int i = 0;
    for (const auto& row : rows) {
        ProgramBuilder b = Script([&](ProgramBuilder& b) {
            b.CallNative("OUTPUTLN", {VStr("begin")}, None());
            row.first(b);
            b.CallNative("OUTPUTLN", {VStr("went on")}, None());
        });
        const std::string out = RunQem(scratch, b, "error" + std::to_string(i++), row.second, "begin");
        EXPECT_NE(out.find("ERROR (line 0): " + row.second), std::string::npos) << out;
        EXPECT_EQ(out.find("went on"), std::string::npos) << out;
    }
}
