// Texts and text pages end to end: what stops a script that uses them.
// Their drawing: tests/engine/SceneFramesTest.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

TEST(TextScriptProgram, BadInputStopsTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    struct Row {
        std::function<void(MethodScript&)> build;
        std::string error;
    };
    // NewText() is in the outline font: it needs no font picture.
    const Row rows[] = {
        {[](MethodScript& s) { s.Call(s.Global("NewText"), "SETSCALE", {VInt(1), VInt(2), VInt(3)}); },
         "SETSCALE: Wrong parameters"},
        {[](MethodScript& s) { s.Call(s.New("CVMTEXT"), "DRAW", {VInt(0)}); },
         "DRAW: The command must be executed between SceneBegin and SceneEnd."},
        {[](MethodScript& s) { s.Call(s.Global("NewHtmlPage"), "DRAW", {}); },
         "DRAW: The command must be executed between SceneBegin and SceneEnd."},
        {[](MethodScript& s) { s.Global("NewHtmlPage", {VStr("missing.txt")}); },
         "VRHtmlPage : File non trovato "},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        MethodScript s("ONINIT");
        s.Print("BEGIN\n");
        rows[i].build(s);
        s.Print("DONE\n");
        const std::string out =
            AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "text" + std::to_string(i), "): " + rows[i].error + "\n"));
        EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
    }
}
