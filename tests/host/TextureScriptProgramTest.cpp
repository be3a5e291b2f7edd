// CVmTexture end to end: qem runs scripts whose OnInit makes textures from
// image files the test writes byte by byte, and prints what the objects
// answer. The files lie in the test's temporary folder, the parent of the
// download cache that file names are relative to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/ImageFiles.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// RGB565 of (r, g, b) with 5, 6 and 5 bits.
uint16_t Rgb565(int r, int g, int b) { return static_cast<uint16_t>(r << 11 | g << 5 | b); }

// The image files of the scripts.
void WriteImages(const ScratchFolder& scratch) {
    auto write = [&scratch](const char* name, const std::string& bytes) { WriteFile(scratch.Make(name), bytes); };
    std::vector<uint8_t> rgb(300 * 200 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
    write("picture.png", PngBytes(300, 200, 3, rgb));
    write("broken.png", std::string("\x89PNG\r\n\x1a\n", 8) + "no chunks");
    write("notes.xyz", "text");
    write("six.ppm", PpmBytes(6, 5, std::vector<uint8_t>(6 * 5 * 3, 80)));
    write("words.ppm", "P3\n# two by two\n2 2\n255\n255 0 0  0 255 0\n0 0 255  255 255 255\n");

    DdsHeader dxt1;
    dxt1.width = dxt1.height = 8;
    dxt1.mipMapCount = 4;
    std::string levels;
    for (int i = 0; i < 4 + 3; ++i) levels += Dxt1Solid(Rgb565(31, i * 9, 0));
    write("levels.dds", DdsHeaderBytes(dxt1) + levels);
    DdsHeader rgb24;
    rgb24.width = 5;
    rgb24.height = 3;
    rgb24.pixelFlags = kDdsRgb;
    rgb24.bitCount = 24;
    write("strip.dds", DdsHeaderBytes(rgb24) + std::string(45, '\x40'));
    DdsHeader cube;
    cube.width = cube.height = 4;
    cube.caps2 = kDdsCubemap;
    std::string faces;
    for (int face = 0; face < 6; ++face) faces += Dxt1Solid(Rgb565(face * 5, 0, 31));
    write("cube.dds", DdsHeaderBytes(cube) + faces);
    DdsHeader dxt2 = dxt1;
    dxt2.fourCC = "DXT2";
    write("dxt2.dds", DdsHeaderBytes(dxt2) + levels);
    DdsHeader lying;
    lying.width = lying.height = 64;
    write("lying.dds", DdsHeaderBytes(lying) + std::string(10, '\x11'));

    std::string flat = RgbeHeaderBytes(3, 2);
    for (int i = 0; i < 6; ++i) flat += std::string{char(i * 10), char(128), 0, char(137)};
    write("flat.hdr", flat);
    std::vector<uint8_t> texels;
    for (int i = 0; i < 8; ++i) texels.insert(texels.end(), {uint8_t(i), 1, 2, 136});
    write("runs.hdr", RgbeHeaderBytes(8, 1) + RgbeRleScanline(texels));

    write("colours.avi", AviBytes(8, 8, 25, {SolidFrame(8, 8, 255, 0, 0), SolidFrame(8, 8, 0, 255, 0),
                                             SolidFrame(8, 8, 0, 0, 255), SolidFrame(8, 8, 255, 255, 255)}));
    write("notes.avi", "these are notes, not a video");
    write("movie.swf", std::string("FWS\x0a", 4) + std::string(60, '\0'));
}

// A script's OnInit printing "label value" lines between BEGIN and DONE.
class TextureTranscript {
public:
    TextureTranscript() { s.Print("BEGIN\n"); }

    // A texture of the file in the test's folder.
    Opnd File(const char* name) { return s.New("CVMTEXTURE", {VStr((std::string("../") + name).c_str())}); }
    // Prints "label member" for each of the object's members.
    void Show(const char* label, const Opnd& texture, const std::vector<const char*>& members) {
        for (const char* member : members) {
            s.Print((std::string(label) + " " + member + " ").c_str());
            s.Record(s.Call(texture, member, {}));
        }
    }
    void Done() { s.Print("DONE\n"); }

    MethodScript s{"ONINIT"};
};

// Runs each script in a qem of its own, one after the other (windows of
// several at once keep each other from drawing); the output of each when it
// has printed its text of `until`.
std::vector<std::string> RunQem(const ScratchFolder& scratch, std::vector<TextureTranscript>& scripts,
                                const std::vector<std::string>& until) {
    std::vector<std::string> outputs;
    for (size_t i = 0; i < scripts.size(); ++i) {
        outputs.push_back(RunScript(QEM_PROGRAM, scratch, scripts[i].s, "textures" + std::to_string(i), until[i]));
    }
    return outputs;
}

// The value printed after "label " on a line of its own.
std::string Value(const std::string& transcript, const std::string& label) {
    const size_t at = transcript.find("\n" + label + " ");
    if (at == std::string::npos) return "?";
    const size_t from = at + label.size() + 2;
    return transcript.substr(from, transcript.find('\n', from) - from);
}

}  // namespace

TEST(TextureScriptProgram, TexturesFromFilesAndProcedures) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteImages(scratch);
    std::vector<TextureTranscript> scripts(1);
    TextureTranscript& t = scripts[0];
    const std::vector<const char*> sizes = {"WIDTH", "HEIGHT", "ORIGINALWIDTH", "ORIGINALHEIGHT", "COMPONENTS"};

    const Opnd png = t.File("picture.png");
    t.Show("png", png, {"WIDTH", "HEIGHT", "ORIGINALWIDTH", "ORIGINALHEIGHT", "COMPONENTS", "DEPTH", "NAME", "ID"});
    t.Show("again", t.File("picture.png"), {"NAME", "ID"});
    t.Show("p6", t.File("six.ppm"), sizes);
    t.Show("p3", t.File("words.ppm"), sizes);
    CVmValue red;
    const float redValues[3] = {1, 0, 0};
    red.SetVector(redValues, 3);
    t.Show("procedural", t.s.New("CVMTEXTURE", {VInt(6), VInt(3), VInt(3), VRifVec(t.s.Builder().Constant(red))}),
           sizes);
    t.s.New("CVMTEXTURE", {VInt(6), VInt(3), VInt(0)});
    t.s.Print("type 0\n");
    t.File("missing.png");
    t.s.Print("missing\n");
    t.File("notes.xyz");
    t.s.Print("unknown\n");
    t.File("broken.png");
    t.s.Print("broken\n");
    t.s.Call(png, "FREE", {});
    t.Show("reloaded", t.File("picture.png"), {"NAME"});

    t.Show("dxt1", t.File("levels.dds"), {"WIDTH", "HEIGHT", "COMPONENTS", "ID"});
    t.Show("rgb24", t.File("strip.dds"), sizes);
    t.Show("cube", t.File("cube.dds"), {"WIDTH", "HEIGHT"});
    t.File("dxt2.dds");
    t.s.Print("dxt2\n");
    t.File("lying.dds");
    t.s.Print("lying\n");
    t.Show("flat", t.File("flat.hdr"), {"WIDTH", "HEIGHT", "COMPONENTS"});
    t.Show("runs", t.File("runs.hdr"), {"WIDTH", "HEIGHT", "COMPONENTS"});
    t.Done();

    const std::string out = AfterBegin(RunQem(scratch, scripts, {"DONE\n"})[0]);
    const std::string name = Value(out, "png NAME"), id = Value(out, "png ID");
    EXPECT_EQ(Value(out, "again NAME"), name);
    EXPECT_EQ(Value(out, "again ID"), id);
    EXPECT_NE(id, "0");
    EXPECT_NE(Value(out, "reloaded NAME"), name);
    EXPECT_NE(Value(out, "dxt1 ID"), "0");
    const std::string expected =
        "png WIDTH 512\npng HEIGHT 256\npng ORIGINALWIDTH 300\npng ORIGINALHEIGHT 200\npng COMPONENTS 3\n"
        "png DEPTH 1\npng NAME " + name + "\npng ID " + id + "\nagain NAME " + name + "\nagain ID " + id + "\n"
        "p6 WIDTH 8\np6 HEIGHT 8\np6 ORIGINALWIDTH 6\np6 ORIGINALHEIGHT 5\np6 COMPONENTS 3\n"
        "p3 WIDTH 2\np3 HEIGHT 2\np3 ORIGINALWIDTH 2\np3 ORIGINALHEIGHT 2\np3 COMPONENTS 3\n"
        "procedural WIDTH 6\nprocedural HEIGHT 3\nprocedural ORIGINALWIDTH 6\nprocedural ORIGINALHEIGHT 3\n"
        "procedural COMPONENTS 3\ntype 0\n"
        "\nVirtualMachine WARNING (line 0): VRTextureManager : Texture not found: \"../missing.png\"\nmissing\n"
        "\nVirtualMachine WARNING (line 0): VRTextureManager : Unsupported format: ../notes.xyzunknown\n"
        "\nVirtualMachine WARNING (line 0): VRTextureManager : Unsupported format: ../broken.pngbroken\n"
        "reloaded NAME " + Value(out, "reloaded NAME") + "\n"
        "dxt1 WIDTH 8\ndxt1 HEIGHT 8\ndxt1 COMPONENTS 3\ndxt1 ID " + Value(out, "dxt1 ID") + "\n"
        "rgb24 WIDTH 8\nrgb24 HEIGHT 4\nrgb24 ORIGINALWIDTH 5\nrgb24 ORIGINALHEIGHT 3\nrgb24 COMPONENTS 3\n"
        "cube WIDTH 4\ncube HEIGHT 4\ndxt2\nlying\n"
        "flat WIDTH 3\nflat HEIGHT 2\nflat COMPONENTS 3\nruns WIDTH 8\nruns HEIGHT 1\nruns COMPONENTS 3\nDONE\n";
    EXPECT_EQ(out.substr(0, out.find("DONE\n") + 5), expected);
}

TEST(TextureScriptProgram, VideoTexturesAndMovies) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteImages(scratch);
    std::vector<TextureTranscript> scripts(1);
    TextureTranscript& t = scripts[0];
    const Opnd avi = t.File("colours.avi");
    t.Show("avi", avi, {"WIDTH", "HEIGHT", "COMPONENTS", "GETAVITOTALFRAME", "GETAVIFRAME", "NAME"});
    t.s.Call(avi, "SETAVIFRAME", {VInt(2)});
    t.Show("set", avi, {"GETAVIFRAME"});
    t.s.Call(avi, "SETVIDEOSPEED", {VReal(2.0f)});
    t.s.Call(avi, "SETVIDEOSTATUS", {VInt(0)});
    t.s.Print("controls\n");
    t.Show("again", t.File("colours.avi"), {"NAME"});
    t.File("movie.swf");
    t.s.Print("swf\n");
    t.Done();

    const std::string out = AfterBegin(RunQem(scratch, scripts, {"DONE\n"})[0]);
    const std::string name = Value(out, "avi NAME");
    EXPECT_NE(Value(out, "again NAME"), name);
    const std::string expected =
        "avi WIDTH 8\navi HEIGHT 8\navi COMPONENTS 3\navi GETAVITOTALFRAME 4\navi GETAVIFRAME 0\n"
        "avi NAME " + name + "\nset GETAVIFRAME 2\ncontrols\nagain NAME " + Value(out, "again NAME") + "\n"
        "\nVirtualMachine WARNING (line 0): VRTextureManager : Unsupported format: ../movie.swfswf\nDONE\n";
    EXPECT_EQ(out.substr(0, out.find("DONE\n") + 5), expected);
}

// Errors stop the script: each run ends with one.
TEST(TextureScriptProgram, ScriptErrors) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteImages(scratch);
    struct Row {
        std::function<void(TextureTranscript&)> build;
        std::string error;
    };
    const Row rows[] = {
        {[](TextureTranscript& t) { t.s.Call(t.File("six.ppm"), "ADDSLICE", {VInt(5)}); },
         "ADDSLICE: Param 1 must be a string or a CVmTexture object"},
        {[](TextureTranscript& t) { t.s.Call(t.File("six.ppm"), "ADDSLICE", {t.File("picture.png")}); },
         "ADDSLICE: Texture stored in Video Memory. Cannot acces to pixmap"},
        {[](TextureTranscript& t) { t.s.Call(t.File("dxt2.dds"), "WIDTH", {}); },
         "WIDTH: The texture was not loaded."},
        {[](TextureTranscript& t) { t.s.Call(t.File("lying.dds"), "ID", {}); }, "ID: The texture was not loaded."},
        {[](TextureTranscript& t) {
             const Opnd a = t.File("six.ppm");
             const Opnd b = t.File("six.ppm");
             t.s.Call(a, "FREE", {});
             t.s.Call(b, "HEIGHT", {});
         },
         "HEIGHT: The texture has been freed."},
        {[](TextureTranscript& t) { t.File("notes.avi"); }, "Failed To Open The AVI Stream "},
        {[](TextureTranscript& t) { t.s.Call(t.File("movie.swf"), "WIDTH", {}); }, "WIDTH: The texture was not loaded."},
    };
    std::vector<TextureTranscript> scripts(std::size(rows));
    std::vector<std::string> errors;
    for (size_t i = 0; i < scripts.size(); ++i) {
        rows[i].build(scripts[i]);
        scripts[i].Done();
        errors.push_back("): " + rows[i].error + "\n");
    }
    const std::vector<std::string> outputs = RunQem(scratch, scripts, errors);
    for (size_t i = 0; i < outputs.size(); ++i) EXPECT_EQ(AfterBegin(outputs[i]).find("DONE"), std::string::npos) << outputs[i];
}
