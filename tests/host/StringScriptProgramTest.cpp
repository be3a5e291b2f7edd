// String formatting, scanning, splitting and the value strings end to end:
// qem runs a script whose OnInit prints what each call gives and ends with
// an undecodable value string, which stops it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

TEST(StringScriptProgram, ScriptsFormatScanSplitAndEncode) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    MethodScript s("ONINIT");
    s.Print("BEGIN\n");
    s.Record(s.Global("Sprintf", {VStr("a%%b%d!|%hd|%s-%c"), VInt(5), VInt(70000), VStr("ab"), VStr("xy")}));
    const Opnd i = s.Local(VInt(0));
    const Opnd text = s.Blanks(10);
    s.Record(s.Global("Sscanf", {VStr("12 abc"), VStr("%d %s"), i, text}, {{3, i}, {4, text}}));
    s.Record(i);
    s.Record(text);
    s.Record(s.Global("Split", {VStr("a,b,c"), VStr(","), VInt(2)}));
    const float pair[2] = {1, 2};
    CVmValue vector;
    vector.SetVector(pair, 2);
    s.Record(s.Global("VarStringDecode", {s.Global("VarStringEncode", {VValue(vector)})}));
    s.Record(s.Global("VarStringDecode", {VStr("zz")}));
    s.Print("DONE\n");  // not reached

    const std::vector<uint8_t> bytes = s.File();
    const std::string script = scratch.Make("strings.bin");
    WriteFile(script, std::string(bytes.begin(), bytes.end()));
    QemProcess qem(QEM_PROGRAM, {script, "-w", "160", "-h", "120"}, script + ".out", {{"TMPDIR", scratch.Path()}});
    ASSERT_TRUE(qem.Started());
    const std::string line = "\nVirtualMachine ERROR (line 0): VARSTRINGDECODE: Invalid encoded string.\n";
    ASSERT_TRUE(qem.WaitFor(line, std::chrono::seconds(30))) << qem.Output() << qem.Errors();
    const std::string out = qem.Output();
    const size_t begin = out.find("BEGIN\n");
    ASSERT_NE(begin, std::string::npos) << out;
    EXPECT_EQ(out.substr(begin + 6, out.find(line) - begin - 6),
              "a%b5!|4464|ab-x\n2\n12\nabc\n{ a , b ,  }\n[ 1 , 2 ]\n");
    EXPECT_EQ(out.find("DONE"), std::string::npos);
}
