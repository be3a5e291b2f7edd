// The constructor functions end to end: qem runs scripts whose OnInit makes
// textures, materials and lights with the global functions, binds a stored
// texture and asks the kind of AAM files the test writes into its temporary
// folder (the parent of the download cache that file names are relative to).
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

Opnd Texels(MethodScript& s, int32_t count) {
    CVmValue v;
    v.SetString(std::string(static_cast<size_t>(count), '\x7f').c_str(), count);
    return VRifStr(s.Builder().Constant(v));
}

void WriteModels(const ScratchFolder& scratch) {
    WriteFile(scratch.Make("avatar.aam"), "AAM_AVATAR\n{\n}\n");
    WriteFile(scratch.Make("frames.aam"), "AAM_MESH_MULTIFRAME\n");
    WriteFile(scratch.Make("keys.aam"), "MODEL\nAnimation_mode: Keyframe\n");
    WriteFile(scratch.Make("frame.aam"), "MODEL\nFrame: 3\n");
    WriteFile(scratch.Make("bad.aam"), "MODEL\nAnimation_mode: Sometimes\n");
}

}  // namespace

TEST(ObjectFunctionsScriptProgram, ConstructorsAndModelKinds) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteModels(scratch);
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd plain = s.Global("STORETEXTURE", {Texels(s, 16), VInt(2), VInt(2)});
    t.Show("stored", plain);
    t.Show("width", s.Call(plain, "WIDTH", {}));
    const Opnd three = s.Global("STORETEXTURE", {Texels(s, 16), VInt(2), VInt(2), VInt(3)});
    t.Show("components", s.Call(three, "COMPONENTS", {}));
    s.Global("SETACTIVETEXTURE", {plain});
    s.Global("SETACTIVETEXTURE", {three, VInt(2), VInt(1)});
    s.Print("bound\n");
    t.Show("empty", s.Call(s.Global("CREATEEMPTYTEXTURE", {VInt(8), VInt(4), VInt(4)}), "HEIGHT", {}));
    t.Show("loaded", s.Global("LOADTEXTURE", {VStr("../missing.png"), VInt(4)}));
    t.Show("material", s.Global("NEWMATERIAL"));
    t.Show("light", s.Global("NEWLIGHT"));
    for (const char* model : {"avatar", "frames", "keys", "frame"})
        t.Show(model, s.Global("GETAAMTYPE", {VStr((std::string("../") + model + ".aam").c_str())}));
    s.Print("DONE\n");

    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "constructors", "DONE\n"), "DONE\n");
    EXPECT_EQ(out,
              "stored (Obj:CVmTexture)\nwidth 2\ncomponents 4\nbound\nempty 4\n"
              "\nVirtualMachine WARNING (line 0): VRTextureManager : Texture not found: \"../missing.png\"\n"
              "loaded (Obj:CVmTexture)\nmaterial (Obj:CVmMaterial)\nlight (Obj:CVmLight)\n"
              "avatar 4\nframes 3\nkeys 2\nframe 1\n");
}

TEST(ObjectFunctionsScriptProgram, BoundTexturesDrawTheirTexels) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    // Texels as they are: no lighting or fog; a quad over the window.
    s.Global("glTexEnvi", {VInt(GL_TEXTURE_ENV), VInt(GL_TEXTURE_ENV_MODE), VInt(GL_REPLACE)});
    for (int cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_FOG, GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE})
        s.Global("glDisable", {VInt(cap)});
    for (int matrix : {GL_PROJECTION, GL_MODELVIEW}) {
        s.Global("glMatrixMode", {VInt(matrix)});
        s.Global("glLoadIdentity");
    }
    auto drawQuad = [&s] {
        s.Global("glBegin", {VInt(GL_QUADS)});
        const int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners) {
            s.Global("glTexCoord", {VInt(c[0]), VInt(c[1])});
            s.Global("glVertex", {VInt(2 * c[0] - 1), VInt(2 * c[1] - 1)});
        }
        s.Global("glEnd");
    };
    // The middles of the quarters of the 160 x 120 window.
    const int points[4][2] = {{40, 30}, {120, 30}, {40, 90}, {120, 90}};
    auto showPixel = [&t, &s](const char* label, const int* p) {
        t.Show(label, s.Global("glReadPixels", {VInt(p[0]), VInt(p[1]), VInt(1), VInt(1), VInt(GL_RGB),
                                                 VInt(GL_UNSIGNED_BYTE)}));
    };

    // A render target's colour texture: the colour it was cleared to.
    const Opnd target = s.New("CVMFBO", {VInt(1), VInt(8), VInt(8)});
    s.Call(target, "START", {});
    s.Global("glClearColor", {VReal(102 / 255.0f), VReal(51 / 255.0f), VReal(85 / 255.0f)});
    s.Global("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    s.Call(target, "STOP", {});
    s.Global("SETACTIVETEXTURE", {target});
    drawQuad();
    showPixel("target", points[0]);

    // A stored texture: its four texels, bottom row first, of printable
    // characters (the output shows them as they are).
    const std::string texels = "x(2~(x2~2(x~nnF~";
    CVmValue bytes;
    bytes.SetString(texels.data(), 16);
    s.Global("SETACTIVETEXTURE", {s.Global("STORETEXTURE", {VRifStr(s.Builder().Constant(bytes)), VInt(2), VInt(2)})});
    // No anisotropic filtering, which blurs texels.
    s.Global("glTexParameterf", {VInt(GL_TEXTURE_2D), VInt(GL_TEXTURE_MAX_ANISOTROPY_EXT), VInt(1)});
    drawQuad();
    for (const auto& p : points) showPixel("texel", p);
    s.Print("DONE\n");

    const std::string out = AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "drawn", "DONE\n"), "DONE\n");
    std::string expected = "target f3U\n";
    for (int i = 0; i < 4; ++i) expected += "texel " + texels.substr(4 * i, 3) + "\n";
    EXPECT_EQ(out, expected);
}

// Errors stop the script: each run ends with one.
TEST(ObjectFunctionsScriptProgram, ScriptErrors) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteModels(scratch);
    struct Row {
        std::function<void(MethodScript&)> build;
        std::string error;
    };
    const Row rows[] = {
        {[](MethodScript& s) { s.Global("STORETEXTURE", {Texels(s, 15), VInt(2), VInt(2)}); },
         "STORETEXTURE: Parameters DimX and DimY exceed the size of the data buffer."},
        {[](MethodScript& s) { s.Global("STORETEXTURE", {Texels(s, 16), VInt(2), VInt(2), VInt(2)}); },
         "STORETEXTURE: This numeric value must be between 3 and 4."},
        {[](MethodScript& s) { s.Global("STORETEXTURE", {Texels(s, 16), VInt(-2), VInt(2)}); },
         "STORETEXTURE: Parameters DimX and DimY exceed the size of the data buffer."},
        {[](MethodScript& s) { s.Global("SETACTIVETEXTURE", {VInt(5)}); },
         "SETACTIVETEXTURE: Param n. 1 must be a 'Texture' object."},
        {[](MethodScript& s) { s.Global("GETAAMTYPE", {VStr("../bad.aam")}); },
         "GETAAMTYPE: ../bad.aam: not a valid AAM file."},
        {[](MethodScript& s) { s.Global("GETAAMTYPE", {VStr("../none.aam")}); },
         "GETAAMTYPE: Cannot load the '../none.aam' file."},
        {[](MethodScript& s) {
             for (int i = 0; i <= SceneState::kPoolLights; ++i) s.Global("NEWLIGHT");
         },
         "NEWLIGHT: Cannot create a new light source."},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        MethodScript s("ONINIT");
        s.Print("BEGIN\n");
        rows[i].build(s);
        s.Print("DONE\n");
        const std::string out = AfterBegin(
            RunScript(QEM_PROGRAM, scratch, s, "errors" + std::to_string(i), "): " + rows[i].error + "\n"));
        EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
    }
}
