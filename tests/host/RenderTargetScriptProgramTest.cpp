// CVmFbo and CVmPBuffer end to end: qem runs scripts whose OnInit makes
// render targets, draws nothing but the brackets, and prints what the
// objects answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

// A script's OnInit printing "label value" lines between BEGIN and DONE.
struct Transcript {
    Transcript() { s.Print("BEGIN\n"); }
    Opnd Fbo(std::vector<Opnd> args) { return s.New("CVMFBO", args); }
    void Show(const std::string& label, const Opnd& object, const char* method, const std::vector<Opnd>& args = {}) {
        s.Print((label + " " + method + " ").c_str());
        s.Record(s.Call(object, method, args));
    }
    void ShowTexture(const std::string& label, const Opnd& fbo) {
        const Opnd texture = s.Call(fbo, "GETTEXTURE", {});
        for (const char* member : {"WIDTH", "HEIGHT", "DEPTH"}) Show(label, texture, member);
    }
    MethodScript s{"ONINIT"};
};

// Runs the script in qem until it prints `until`; its output from BEGIN on.
std::string RunQem(const ScratchFolder& scratch, Transcript& t, const std::string& until, const std::string& name) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, until));
}

}  // namespace

TEST(RenderTargetScriptProgram, TargetsDrawAndGiveTextures) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    Transcript t;
    const Opnd fbo = t.Fbo({VInt(1), VInt(64), VInt(32)});
    t.s.Call(fbo, "START", {});
    t.s.Call(fbo, "STOP", {});
    t.ShowTexture("plain", fbo);
    const Opnd texture = t.s.Call(fbo, "GETTEXTURE", {});
    t.s.Print("id ");
    t.s.Record(t.s.Call(texture, "ID", {}));
    t.Show("before", fbo, "ENABLEMULTISAMPLING");
    t.Show("init", fbo, "INITMULTISAMPLING", {VInt(4)});
    t.Show("off", fbo, "ENABLEMULTISAMPLING", {VBool(false)});
    t.Show("on", fbo, "ENABLEMULTISAMPLING");
    t.s.Call(fbo, "ENABLEMIPMAPS", {});
    t.s.Call(fbo, "START", {});
    t.s.Call(fbo, "STOP", {});
    t.s.Print("mipmaps\n");
    for (int mode = 2; mode <= 6; ++mode) t.ShowTexture("mode" + std::to_string(mode), t.Fbo({VInt(mode), VInt(32)}));

    const Opnd square = t.s.Call(t.Fbo({VInt(1), VInt(64)}), "GETTEXTURE", {});
    const Opnd small = t.s.Call(t.Fbo({VInt(1), VInt(32)}), "GETTEXTURE", {});
    const Opnd pbuffer = t.s.New("CVMPBUFFER", {VInt(64), VInt(64), VInt(8), VInt(24)});
    t.s.Call(pbuffer, "START", {});
    t.s.Call(pbuffer, "COPYTOTEXTURE", {square});
    t.s.Call(pbuffer, "COPYTOTEXTURE", {small});
    t.s.Call(pbuffer, "STOP", {});
    t.s.Print("copied\n");
    t.ShowTexture("after", t.Fbo({VInt(4), VInt(16), VInt(8)}));
    // A target's texture keeps the target: released by the script, its record
    // still answers.
    const Opnd released = t.Fbo({VInt(1), VInt(16), VInt(8)});
    const Opnd kept = t.s.Call(released, "GETTEXTURE", {});
    t.s.Builder().Emit(OP_COPY, VInt(0), None(), released);
    t.Show("kept", kept, "WIDTH");
    t.Show("kept", kept, "HEIGHT");
    t.s.Print("DONE\n");

    const std::string out = RunQem(scratch, t, "DONE\n", "targets");
    const size_t id = out.find("id ");
    ASSERT_NE(id, std::string::npos) << out;
    EXPECT_NE(out.substr(id, out.find('\n', id) - id), "id 0");
    std::string modes;
    for (int mode = 2; mode <= 6; ++mode)
        for (const char* member : {"WIDTH 32\n", "HEIGHT 32\n", "DEPTH 1\n"})
            modes += "mode" + std::to_string(mode) + " " + member;
    EXPECT_EQ(out.substr(0, id), "plain WIDTH 64\nplain HEIGHT 32\nplain DEPTH 1\n") << out;
    const size_t before = out.find("before");
    ASSERT_NE(before, std::string::npos) << out;
    EXPECT_EQ(out.substr(before, out.find("DONE\n") + 5 - before),
              "before ENABLEMULTISAMPLING False\ninit INITMULTISAMPLING True\noff ENABLEMULTISAMPLING False\n"
              "on ENABLEMULTISAMPLING True\nmipmaps\n" + modes +
                  "copied\nafter WIDTH 16\nafter HEIGHT 8\nafter DEPTH 1\nkept WIDTH 16\nkept HEIGHT 8\nDONE\n");
}

// Errors stop the script: each run ends with one.
TEST(RenderTargetScriptProgram, ScriptErrors) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    struct Row {
        std::function<void(Transcript&)> build;
        std::string error;
    };
    const Row rows[] = {
        {[](Transcript& t) { t.Fbo({VInt(7), VInt(256)}); }, "CVMFBO: Wrong mode parameter for CVmFbo constructor"},
        {[](Transcript& t) { t.Fbo({VInt(5), VInt(256), VInt(128)}); },
         "CVMFBO: Error while initializing CVmFbo, Framebuffer Object: Cubemap fbos must have square dimensions"},
        {[](Transcript& t) { t.Fbo({VInt(1)}); }, "CVMFBO: Not enough parameters while initializing CVmFbo"},
        {[](Transcript& t) { t.Fbo({VInt(1), VInt(16), VInt(0)}); },
         "CVMFBO: Each framebuffer dimension should be positive ..."},
        {[](Transcript& t) { t.s.Call(t.s.Call(t.Fbo({VInt(1), VInt(16)}), "GETTEXTURE", {}), "FREE", {}); },
         "FREE: The texture of a render target cannot be freed."},
        {[](Transcript& t) { t.s.Call(t.s.New("CVMPBUFFER", {VInt(8), VInt(8)}), "COPYTOTEXTURE", {}); },
         "COPYTOTEXTURE: CopyToTexture needs a CVmTexture object"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        Transcript t;
        rows[i].build(t);
        t.s.Print("DONE\n");
        const std::string out = RunQem(scratch, t, "): " + rows[i].error + "\n", "error" + std::to_string(i));
        EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
    }
}
