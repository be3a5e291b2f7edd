// CVmTerrain end to end: qem runs scripts whose OnInit loads grid files the
// test writes, reads the textures back through the GL functions and prints
// the GL state the draws leave.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

std::string Flat(int cols, int rows, const std::string& value) {
    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner 0.0\nyllcorner 0.0\ncellsize 30\nNODATA_value -9999\n";
    for (int i = 0; i < cols * rows; ++i) text += value + (i % cols == cols - 1 ? "\n" : " ");
    return text;
}

// A script's OnInit printing "label value" lines between BEGIN and DONE;
// file names are relative to the script's folder.
struct Transcript {
    Transcript() {
        s.Print("BEGIN\n");
        s.Global("SETLOCALDIR");
    }
    void Show(const std::string& label, const Opnd& value) {
        s.Print((label + " ").c_str());
        s.Record(value);
    }
    // The first texel of a texture object, read back as bytes.
    Opnd FirstTexel(const Opnd& texture, int format, const char* layout) {
        s.Global("SETACTIVETEXTURE", {texture});
        const Opnd bytes = s.Global("GLGETTEXIMAGE", {VInt(GL_TEXTURE_2D), VInt(0), VInt(format),
                                                      VInt(GL_UNSIGNED_BYTE), VInt(1024), VInt(1024)});
        return s.Global("UNPACKVECTOR", {VStr(layout), bytes});
    }
    MethodScript s{"ONINIT"};
};

std::string RunQem(const ScratchFolder& scratch, Transcript& t, const std::string& until, const std::string& name) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, until));
}

// The value printed after "label " on a line of its own.
std::string Value(const std::string& transcript, const std::string& label) {
    const size_t at = transcript.find(label + " ");
    if (at == std::string::npos || (at > 0 && transcript[at - 1] != '\n')) return "?";
    const size_t from = at + label.size() + 1;
    return transcript.substr(from, transcript.find('\n', from) - from);
}

}  // namespace

TEST(TerrainScriptProgram, TexturesLightingAndDraws) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    const struct {
        const char* file;
        std::string text;
    } grids[] = {
        {"h100.asc", Flat(4, 4, "100")},
        {"h300.asc", Flat(4, 4, "300")},
        {"h700.asc", Flat(4, 4, "700")},
        {"nodata.asc", Flat(4, 4, "-9999")},
        {"plain.asc", "ncols 4\nnrows 4\ncellsize 30\n1 2 3 4\n"},
    };
    for (const auto& g : grids) WriteFile(scratch.Make(g.file), g.text);

    Transcript t;
    const Opnd terrain = t.s.New("CVMTERRAIN", {VStr("one"), VStr("two"), VStr("three")});
    Opnd height = None();
    for (const auto& g : grids) {
        t.s.Call(terrain, "LOADASC", {VStr(g.file)});
        height = t.s.Call(terrain, "GETTEXTUREHEIGHT", {});
        t.Show(g.file, t.FirstTexel(height, GL_RGB, "BBB"));
    }
    for (const char* member : {"WIDTH", "HEIGHT", "COMPONENTS", "DEPTH"}) t.Show(std::string("height ") + member,
                                                                                 t.s.Call(height, member, {}));

    t.s.Call(terrain, "LOADASC", {VStr("h300.asc")});
    t.s.Call(terrain, "SETRES", {VReal(0)});
    for (const auto& light : {std::vector<float>{0, 0, 2}, std::vector<float>{1, 2, 2}}) {
        const Opnd v = t.s.Local(VFloats(light));
        t.s.Call(terrain, "COMPUTELIGHTING", {v}, 1, v);
        t.Show("light", v);
    }
    const Opnd shadow = t.s.Call(terrain, "GETTEXTURESHADOW", {});
    for (const char* member : {"WIDTH", "HEIGHT", "COMPONENTS", "DEPTH"}) t.Show(std::string("shadow ") + member,
                                                                                 t.s.Call(shadow, member, {}));
    t.s.Call(terrain, "GETTEXTURESHADOW", {VStr("none.png")});
    t.s.Print("missing image\n");

    t.s.Global("GLENABLE", {VInt(GL_LIGHTING)});
    t.s.Call(terrain, "DRAW", {height});
    t.Show("lighting", t.s.Global("GLGET", {VInt(GL_LIGHTING)}));
    t.Show("culling", t.s.Global("GLGET", {VInt(GL_CULL_FACE)}));
    t.Show("alignment", t.s.Global("GLGET", {VInt(GL_UNPACK_ALIGNMENT)}));
    t.s.Global("GLLOADIDENTITY");
    t.s.Global("GLENABLE", {VInt(GL_DEPTH_TEST)});
    t.s.Call(terrain, "DRAW", {VInt(5)});
    t.Show("depth", t.s.Global("GLGET", {VInt(GL_DEPTH_TEST)}));
    t.Show("texturing", t.s.Global("GLGET", {VInt(GL_TEXTURE_2D)}));
    t.Show("modelview", t.s.Global("GLGET", {VInt(GL_MODELVIEW_MATRIX)}));

    // Everything out of order on a fresh terrain.
    const Opnd fresh = t.s.New("CVMTERRAIN");
    t.s.Call(fresh, "DRAW", {height, height, VInt(0), VInt(0)});
    t.s.Call(fresh, "DRAW", {VInt(0)});
    t.s.Call(fresh, "COMPUTELIGHTING", {VReal(0), VReal(0), VReal(1)});
    t.s.Call(fresh, "SETRES", {VReal(1)});
    t.s.Call(fresh, "COMPUTELIGHTING", {VReal(1), VReal(0), VReal(0)});
    t.Show("fresh", t.FirstTexel(t.s.Call(fresh, "GETTEXTURESHADOW", {}), GL_RGBA, "BBBB"));
    t.s.Call(fresh, "GETTEXTUREHEIGHT", {VInt(7)});
    t.s.Print("DONE\n");

    const std::string out = RunQem(scratch, t, "DONE\n", "terrain");
    EXPECT_EQ(Value(out, "h100.asc"), "[ 0 , 191 , 0 ]") << out;
    EXPECT_EQ(Value(out, "h300.asc"), "[ 76 , 127 , 0 ]");
    EXPECT_EQ(Value(out, "h700.asc"), "[ 255 , 255 , 255 ]");
    EXPECT_EQ(Value(out, "nodata.asc"), "[ 255 , 255 , 255 ]");
    EXPECT_EQ(Value(out, "plain.asc"), "[ 0 , 0 , 0 ]");
    EXPECT_EQ(Value(out, "height WIDTH"), "1024");
    EXPECT_EQ(Value(out, "height HEIGHT"), "1024");
    EXPECT_EQ(Value(out, "height COMPONENTS"), "3");
    EXPECT_EQ(Value(out, "height DEPTH"), "1");
    EXPECT_NE(out.find("light [ 0 , 0 , 1 ]\nlight [ 0.333333 , 0.666667 , 0.666667 ]\n"), std::string::npos) << out;
    EXPECT_EQ(Value(out, "shadow WIDTH"), "1024");
    EXPECT_EQ(Value(out, "shadow HEIGHT"), "1024");
    EXPECT_EQ(Value(out, "shadow COMPONENTS"), "4");
    EXPECT_EQ(Value(out, "shadow DEPTH"), "1");
    EXPECT_NE(out.find("VRTextureManager : Texture not found: none.png"), std::string::npos) << out;
    EXPECT_NE(out.find("missing image\n"), std::string::npos);
    EXPECT_EQ(Value(out, "lighting"), "False");
    EXPECT_EQ(Value(out, "culling"), "False");
    EXPECT_EQ(Value(out, "alignment"), "1");
    EXPECT_EQ(Value(out, "depth"), "False");
    EXPECT_EQ(Value(out, "texturing"), "False");
    EXPECT_EQ(Value(out, "modelview"), "[ 0.0003 , 0 , 0 , 0 , 0 , 0.001 , 0 , 0 , 0 , 0 , 0.0003 , 0 , 0 , 0 , 0 , 1 ]");
    EXPECT_EQ(Value(out, "fresh"), "[ 0 , 0 , 0 , 0 ]");
}

// Bad files stop the script with the message.
TEST(TerrainScriptProgram, MissingAndInvalidFilesStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteFile(scratch.Make("bad.asc"), "ncols -5\nnrows 2\ncellsize 30\nNODATA_value -9999\n1 2\n");
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"none.asc", "VRTerrain: File not foud: none.asc"},
        {"bad.asc", "VRTerrain: Invalid grid file: bad.asc"},
    };
    for (const auto& c : cases) {
        Transcript t;
        const Opnd terrain = t.s.New("CVMTERRAIN");
        t.s.Call(terrain, "LOADASC", {VStr(c.file)});
        t.s.Print("went on\n");
        const std::string out = RunQem(scratch, t, c.message, c.file);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("went on"), std::string::npos) << out;
    }
}
