// CVmShaderProgram end to end: qem runs scripts whose OnInit builds GLSL
// programs from files the test writes into its temporary folder (the parent
// of the working folder that file names are relative to) and from source
// strings, and prints what the programs answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

const char* const kVertex = "void main() { gl_Position = gl_Vertex; }\n";
const char* const kFragment =
    "uniform vec4 col;\nuniform vec3 tint;\nvoid main() { gl_FragColor = col * vec4(tint, 1.0); }\n";
const char* const kTintOnly = "uniform vec3 tint;\nvoid main() { gl_FragColor = vec4(tint, 1.0); }\n";

void WriteText(const ScratchFolder& scratch, const char* name, const std::string& text) {
    ASSERT_TRUE(WriteFile(scratch.Make(name), text));
}

// A script's OnInit printing "label value" lines between BEGIN and DONE.
struct Transcript {
    Transcript() { s.Print("BEGIN\n"); }
    Opnd Program(const std::vector<Opnd>& args) { return s.New("CVMSHADERPROGRAM", args); }
    void Show(const std::string& label, const Opnd& program, const char* method, const std::vector<Opnd>& args = {}) {
        s.Print((label + " " + method + " ").c_str());
        s.Record(s.Call(program, method, args));
    }
    Opnd Vector(std::vector<float> values) {
        CVmValue v;
        v.SetVector(values.data(), static_cast<int32_t>(values.size()));
        return s.Local(VRifVec(s.Builder().Constant(v)));
    }
    MethodScript s{"ONINIT"};
};

std::string RunQem(const ScratchFolder& scratch, Transcript& t, const std::string& until, const std::string& name) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, until));
}

}  // namespace

TEST(ShaderScriptProgram, FilesAndStringsLinkAndUniformsReadBack) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteText(scratch, "a.vert", kVertex);
    WriteText(scratch, "a.frag", kFragment);
    const std::string vs = "[VERTEX SHADER]\n" + std::string(kVertex);
    const std::string fs = "[FRAGMENT SHADER]\n" + std::string(kFragment);
    WriteText(scratch, "fragfirst.glsl", fs + vs);
    WriteText(scratch, "fragonly.glsl", fs);

    Transcript t;
    const Opnd files = t.Program({VStr("../a.vert"), VStr("../a.frag")});
    t.Show("files", files, "ISLINKED");
    t.Show("files", files, "GETUNIFORMCOUNT");
    t.s.Call(files, "START", {});
    t.s.Call(files, "SETPARAMETER", {VStr("col"), t.Vector({0.25f, 0.5f, 0.75f, 1})});
    const Opnd back = t.Vector({0, 0, 0, 0});
    t.s.Call(files, "GETUNIFORMVALUE", {VStr("col"), back}, 2, back);
    t.s.Print("col ");
    t.s.Record(back);
    t.s.Call(files, "STOP", {});

    std::vector<float> rows(16);
    for (int i = 0; i < 16; ++i) rows[static_cast<size_t>(i)] = static_cast<float>(i);
    const Opnd matrix =
        t.Program({VStr(kVertex), VStr("uniform mat4 m;\nvoid main() { gl_FragColor = m[0]; }\n"), VBool(true)});
    t.s.Call(matrix, "START", {});
    for (bool asStored : {false, true}) {
        std::vector<Opnd> args = {VStr("m"), t.Vector(rows)};
        if (asStored) args.push_back(VBool(false));
        t.s.Call(matrix, "SETPARAMETER", args);
        const Opnd m = t.Vector(std::vector<float>(16, 0));
        t.s.Call(matrix, "GETUNIFORMVALUE", {VStr("m"), m}, 2, m);
        t.s.Print(asStored ? "stored " : "transposed ");
        t.s.Record(m);
    }
    t.s.Call(matrix, "STOP", {});

    const Opnd tint = t.Program({VStr(kVertex), VStr(kTintOnly), VBool(true)});
    for (int k = 2; k <= 5; ++k) {
        const Opnd slot = t.s.Local(VInt(0));
        t.s.Call(tint, "GETUNIFORM", {VInt(0), t.s.Local(VInt(0)), t.s.Local(VInt(0)), t.s.Local(VInt(0)), t.s.Local(VInt(0))},
                 k, slot);
        t.s.Print("uniform ");
        t.s.Record(slot);
    }
    for (const char* file : {"../fragfirst.glsl", "../fragonly.glsl"}) {
        const Opnd sections = t.Program({VStr(file)});
        t.Show(file, sections, "ISLINKED");
        t.Show(file, sections, "GETUNIFORMCOUNT");
    }
    t.Show("strings", t.Program({VStr(kVertex), VStr(kFragment), VBool(true)}), "ISLINKED");
    t.Show("geometry", tint, "ADDGEOMETRYSHADER", {VStr("void main() {}"), VBool(true), VInt(3), VInt(4), VInt(5)});
    t.s.Print("DONE\n");

    const std::string out = RunQem(scratch, t, "DONE\n", "shaders");
    // The warning comes while the call runs, before its answer is printed.
    EXPECT_EQ(out.substr(0, out.find("DONE\n") + 5),
              "files ISLINKED True\nfiles GETUNIFORMCOUNT 2\ncol [ 0.25 , 0.5 , 0.75 , 1 ]\n"
              "transposed [ 0 , 4 , 8 , 12 , 1 , 5 , 9 , 13 , 2 , 6 , 10 , 14 , 3 , 7 , 11 , 15 ]\n"
              "stored [ 0 , 1 , 2 , 3 , 4 , 5 , 6 , 7 , 8 , 9 , 10 , 11 , 12 , 13 , 14 , 15 ]\n"
              "uniform tint\nuniform 35665\nuniform vec3f\nuniform 1\n"
              "../fragfirst.glsl ISLINKED True\n../fragfirst.glsl GETUNIFORMCOUNT 2\n"
              "../fragonly.glsl ISLINKED True\n../fragonly.glsl GETUNIFORMCOUNT 2\nstrings ISLINKED True\n"
              "geometry ADDGEOMETRYSHADER \nVirtualMachine WARNING (line 0): "
              "\nGeometry\tshaders\t(GLSL) are not supported by\tyour video driver.\n -1\nDONE\n");
}

// Errors stop the script: each run ends with one.
TEST(ShaderScriptProgram, ParameterErrorsStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    struct Row {
        std::function<void(Transcript&, const Opnd&)> build;
        std::string error;
    };
    const Row rows[] = {
        {[](Transcript& t, const Opnd& p) {
             t.s.Call(p, "SETPARAMETER", {VStr("col"), VInt(1), VInt(2), VInt(3), VInt(4), VInt(5)});
         },
         "SETPARAMETER: Too many parameters"},
        {[](Transcript& t, const Opnd& p) { t.s.Call(p, "SETPARAMETER", {VStr("col"), t.Vector({1, 2, 3, 4, 5})}); },
         "SETPARAMETER: Wrong number of vector members"},
        {[](Transcript& t, const Opnd&) { t.Program({VInt(5)}); }, "CVMSHADERPROGRAM: param 1must be string"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        Transcript t;
        const Opnd p = t.Program({VStr(kVertex), VStr(kFragment), VBool(true)});
        t.s.Call(p, "START", {});
        rows[i].build(t, p);
        t.s.Print("DONE\n");
        const std::string out = RunQem(scratch, t, "): " + rows[i].error, "error" + std::to_string(i));
        EXPECT_NE(out.find("): " + rows[i].error), std::string::npos) << out;
        EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
    }
}
