// Billboards and curves end to end: qem runs scripts that draw a billboard
// of a stored 2 x 2 texture in a frame and read its pixels back, and that
// sample curves, printing what they get; and scripts that misuse them.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

// Four texels of printable bytes (the output shows them as they are), row 0
// first: row 0 is the top of a billboard.
const std::string kTexels = "x(2~(x2~2(x~nnF~";
std::string Texel(int k) { return kTexels.substr(4 * static_cast<size_t>(k), 3); }

const std::vector<float> kThreePoints = {0, 0, 0, 0, 50, 10, 0, 0, 100, 10, 10, 0};

}  // namespace

TEST(BillboardCurveScriptProgram, BillboardsDrawTheirTextureFacingTheCamera) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    CVmValue bytes;
    bytes.SetString(kTexels.data(), 16);
    const Opnd texture = s.Global("STORETEXTURE", {VRifStr(s.Builder().Constant(bytes)), VInt(2), VInt(2)});
    const Opnd billboard = s.New("CVMBILLBOARD");
    s.Call(billboard, "SETTEXTURE", {texture});
    // The script lets the texture object go: the billboard keeps it.
    s.Builder().Emit(OP_COPY, VInt(0), None(), texture);

    // The scene's camera has the identity rotation; the whole window is -1 to
    // 1 on both axes, so the 1 x 1 billboard at the origin covers it.
    BeginIdentityFrame(s);
    s.Global("glEnable", {VInt(GL_LIGHTING)});
    s.Call(billboard, "DRAW", {VInt(0), VInt(0)});
    t.Show("lighting", s.Global("glGet", {VInt(GL_LIGHTING)}));
    // No anisotropic filtering, which blurs texels.
    s.Global("glTexParameterf", {VInt(GL_TEXTURE_2D), VInt(GL_TEXTURE_MAX_ANISOTROPY_EXT), VInt(1)});
    // The middles of the quarters of the 160 x 120 window: top left, top
    // right, bottom left, bottom right.
    const int points[4][2] = {{40, 90}, {120, 90}, {40, 30}, {120, 30}};
    auto showQuarters = [&](const char* label, int flags) {
        s.Call(billboard, "DRAW", {VInt(0), VInt(flags)});
        for (const auto& p : points)
            t.Show(label, s.Global("glReadPixels", {VInt(p[0]), VInt(p[1]), VInt(1), VInt(1), VInt(GL_RGB),
                                                     VInt(GL_UNSIGNED_BYTE)}));
    };
    showQuarters("plain", 0);
    showQuarters("mirrored", 0x8 | 0x10);
    s.Call(billboard, "SETROTATION", {VInt(90)});
    showQuarters("turned", 0);
    s.Global("SCENEEND");

    s.Call(billboard, "SETPOSITION", {VFloats({5, 6})});
    t.Show("position", s.Call(billboard, "GETPOSITION", {}));
    t.Show("frame", s.Call(billboard, "GETAVIFRAME", {}));
    t.Show("made", s.Global("NEWBILLBOARD", {VStr("x"), VInt(3)}));
    s.Print("DONE\n");

    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "billboard", "DONE\n"), "DONE\n");
    std::string expected = "lighting True\n";
    for (int k : {0, 1, 2, 3}) expected += "plain " + Texel(k) + "\n";
    for (int k : {3, 2, 1, 0}) expected += "mirrored " + Texel(k) + "\n";
    for (int k : {2, 0, 3, 1}) expected += "turned " + Texel(k) + "\n";
    expected += "position [ 5 , 6 , 0 ]\nframe 0\n"
                "\nVirtualMachine WARNING (line 0): VRTextureManager : Texture not found: \"x\"\n"
                "made (Obj:CVmBillboard)\n";
    EXPECT_EQ(out, expected);
}

TEST(BillboardCurveScriptProgram, CurvesAnswerTheirSamples) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd curve = s.Global("NEWCURVE", {VFloats(kThreePoints)});
    for (int i : {0, 25, 50, 75, 999}) t.Show(std::to_string(i), s.Call(curve, "GETPOSITION", {VInt(i)}));
    const Opnd scaled = s.Global("NEWCURVE", {VFloats(kThreePoints), VInt(2), VInt(1), VInt(1)});
    t.Show("scaled", s.Call(scaled, "GETPOSITION", {VInt(25)}));
    const Opnd two = s.New("CVMCURVE", {VFloats({0, 0, 0, 0, 100, 10, 0, 0, 7, 7})});
    t.Show("two", s.Call(two, "GETPOSITION", {VInt(25)}));
    s.Print("DONE\n");

    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "curve", "DONE\n"), "DONE\n");
    EXPECT_EQ(out,
              "0 [ 0 , 0 , 0 ]\n25 [ 5 , -0.125 , 0 ]\n50 [ 10 , 0 , 0 ]\n75 [ 10.125 , 5 , 0 ]\n"
              "999 [ 0 , 0 , 0 ]\nscaled [ 10 , -0.125 , 0 ]\ntwo [ 1.65625 , 0 , 0 ]\n");
}

// Each run ends OnInit with its error; OnError still runs, so the engine
// went on.
TEST(BillboardCurveScriptProgram, MisuseStopsTheScriptNotTheEngine) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const std::string range = "GETPOSITION: This numeric value must be between 1 and 999.";
    ExpectEachStopsTheScript(QEM_PROGRAM, scratch, {
        {[](MethodScript& s) { s.Call(s.Global("NEWCURVE", {VFloats(kThreePoints)}), "GETPOSITION", {VInt(1000)}); },
         range},
        {[](MethodScript& s) { s.Call(s.Global("NEWCURVE", {VFloats(kThreePoints)}), "GETPOSITION", {VInt(-1)}); },
         range},
        {[](MethodScript& s) { s.Global("NEWCURVE", {VFloats({1, 2, 3, 4})}); },
         "NEWCURVE: Sono necessari almeno due punti."},
        {[](MethodScript& s) { s.New("CVMCURVE", {VFloats({1, 2, 3, 4, 5, 6, 7})}); },
         "Sono necessari almeno due punti."},
        {[](MethodScript& s) { s.Global("NEWCURVE", {VInt(4)}); }, "NEWCURVE: Param n. 1 must be a vector."},
        {[](MethodScript& s) { s.Call(s.New("CVMBILLBOARD"), "DRAW", {VInt(0), VInt(0)}); },
         "DRAW: The command must be executed between SceneBegin and SceneEnd."},
        {[](MethodScript& s) { s.Call(s.New("CVMBILLBOARD"), "SETTEXTURE", {s.Global("NEWMATERIAL")}); },
         "SETTEXTURE: "},
        {[](MethodScript& s) { s.Call(s.New("CVMBILLBOARD"), "SETMATERIAL", {VInt(3)}); }, "SETMATERIAL: "},
    });
}
