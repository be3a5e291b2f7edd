// CVmShaderProgram through scripts run in a machine of the test, with a
// scene over the test window and shader files the test writes in the
// machine's working folder: the constructor's forms, uniforms set and read
// back, the active-uniform description, and the parameter errors.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "scene/script/CVmShaderProgram.h"
#include "support/MethodScript.h"
#include "support/ShaderFixture.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

Opnd Vector(MethodScript& s, std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return s.Local(VRifVec(s.Builder().Constant(v)));
}

const char* const kTintOnly = "uniform vec3 tint;\nvoid main() { gl_FragColor = vec4(tint, 1.0); }\n";
const char* const kMatrix = "uniform mat4 m;\nvoid main() { gl_FragColor = m[0]; }\n";

class ShaderScriptTest : public ShaderFixture {
protected:
    void SetUp() override {
        ShaderFixture::SetUp();
        if (IsSkipped()) return;
        state.Paths().workingFolder = folder->Path();
        g_engineState = &state;
    }
    void TearDown() override {
        g_engineState = nullptr;
        ShaderFixture::TearDown();
    }

    // Runs MAIN as `build` writes it in a new machine; its output.
    std::string Run(const std::function<void(MethodScript&)>& build) {
        return RunMain(build, {new CVmShaderProgram::CRegister()});
    }

    static std::vector<std::string> Lines(const std::string& output) {
        std::vector<std::string> lines;
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(line);
        return lines;
    }

    // The text of an output's first error after its prefix, or "".
    static std::string Error(const std::string& output) {
        return FirstError(output);
    }

    EngineState state;
};

}  // namespace

TEST_F(ShaderScriptTest, FilesAndStringsLinkAndUniformsReadBack) {
    WriteFile("a.vert", kVertexSource);
    WriteFile("a.frag", kFragmentSource);
    const std::string vs = "[VERTEX SHADER]\n" + std::string(kVertexSource);
    const std::string fs = "[FRAGMENT SHADER]\n" + std::string(kFragmentSource);
    WriteFile("fragfirst.glsl", fs + vs);
    WriteFile("fragonly.glsl", fs);
    const std::string out = Run([](MethodScript& s) {
        const Opnd p = s.New("CVMSHADERPROGRAM", {VStr("a.vert"), VStr("a.frag")});
        s.Record(s.Call(p, "ISLINKED", {}));
        s.Record(s.Call(p, "GETUNIFORMCOUNT", {}));
        s.Call(p, "START", {});
        s.Call(p, "SETPARAMETER", {VStr("col"), Vector(s, {0.25f, 0.5f, 0.75f, 1})});
        const Opnd back = Vector(s, {0, 0, 0, 0});
        s.Call(p, "GETUNIFORMVALUE", {VStr("col"), back}, 2, back);
        s.Record(back);
        s.Call(p, "STOP", {});
        for (const char* file : {"fragfirst.glsl", "fragonly.glsl"}) {
            const Opnd q = s.New("CVMSHADERPROGRAM", {VStr(file)});
            s.Record(s.Call(q, "ISLINKED", {}));
            s.Record(s.Call(q, "GETUNIFORMCOUNT", {}));
        }
        const Opnd c = s.New("CVMSHADERPROGRAM", {VStr(kVertexSource), VStr(kFragmentSource), VBool(true)});
        s.Record(s.Call(c, "ISLINKED", {}));
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"True", "2", "[ 0.25 , 0.5 , 0.75 , 1 ]", "True", "2", "True", "2", "True"}))
        << out;
}

TEST_F(ShaderScriptTest, MatricesDescriptionsAndGeometryShaders) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd m = s.New("CVMSHADERPROGRAM", {VStr(kVertexSource), VStr(kMatrix), VBool(true)});
        s.Call(m, "START", {});
        std::vector<float> rows(16);
        for (int i = 0; i < 16; ++i) rows[static_cast<size_t>(i)] = static_cast<float>(i);
        for (bool asStored : {false, true}) {
            std::vector<Opnd> args = {VStr("m"), Vector(s, rows)};
            if (asStored) args.push_back(VBool(false));
            s.Call(m, "SETPARAMETER", args);
            const Opnd back = Vector(s, std::vector<float>(16, 0));
            s.Call(m, "GETUNIFORMVALUE", {VStr("m"), back}, 2, back);
            s.Record(back);
        }
        const Opnd t = s.New("CVMSHADERPROGRAM", {VStr(kVertexSource), VStr(kTintOnly), VBool(true)});
        for (int k = 2; k <= 5; ++k) {
            const Opnd slot = s.Local(VInt(0));
            s.Call(t, "GETUNIFORM", {VInt(0), s.Local(VInt(0)), s.Local(VInt(0)), s.Local(VInt(0)), s.Local(VInt(0))},
                   k, slot);
            s.Record(slot);
        }
        s.Call(t, "ACTIVE", {VBool(true)});
        s.Record(s.Call(t, "ADDGEOMETRYSHADER", {VStr("void main() {}"), VBool(true), VInt(3), VInt(4), VInt(5)}));
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_NE(out.find("Active method is deprecated. Use Activate instead."), std::string::npos) << out;
    // The warning ends with no line feed of its own: the next record follows
    // on its line.
    const std::string warning = "Active method is deprecated. Use Activate instead.";
    std::string records = out;
    const size_t from = records.rfind("VirtualMachine WARNING", records.find(warning));
    records.erase(from, records.find(warning) + warning.size() - from);
    const std::vector<std::string> lines = Lines(records);
    ASSERT_GE(lines.size(), 7u) << out;
    // A lone matrix is taken row by row and arrives transposed.
    EXPECT_EQ(lines[0], "[ 0 , 4 , 8 , 12 , 1 , 5 , 9 , 13 , 2 , 6 , 10 , 14 , 3 , 7 , 11 , 15 ]");
    EXPECT_EQ(lines[1], "[ 0 , 1 , 2 , 3 , 4 , 5 , 6 , 7 , 8 , 9 , 10 , 11 , 12 , 13 , 14 , 15 ]");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
              (std::vector<std::string>{"tint", "35665", "vec3f", "1", "-1"}));
    EXPECT_EQ(Warnings().back(), "\nGeometry\tshaders\t(GLSL) are not supported by\tyour video driver.\n ");
}

TEST_F(ShaderScriptTest, ParameterErrors) {
    using Build = std::function<void(MethodScript&, const Opnd&)>;
    struct Row {
        const char* what;
        Build build;
        std::string error;
    };
    const Row rows[] = {
        {"five integers",
         [](MethodScript& s, const Opnd& p) {
             s.Call(p, "SETPARAMETER", {VStr("col"), VInt(1), VInt(2), VInt(3), VInt(4), VInt(5)});
         },
         "Too many parameters"},
        {"a 5-vector",
         [](MethodScript& s, const Opnd& p) {
             s.Call(p, "SETPARAMETER", {VStr("col"), Vector(s, {1, 2, 3, 4, 5})});
         },
         "Wrong number of vector members"},
        {"a short vector",
         [](MethodScript& s, const Opnd& p) {
             const Opnd v = Vector(s, {0, 0});
             s.Call(p, "GETUNIFORMVALUE", {VStr("col"), v}, 2, v);
         },
         "The vector is too short for the uniform"},
        {"no vector",
         [](MethodScript& s, const Opnd& p) { s.Call(p, "GETUNIFORMVALUE", {VStr("col")}); },
         "GetUniformValue needs a vector"},
        {"a number as name",
         [](MethodScript& s, const Opnd&) { s.New("CVMSHADERPROGRAM", {VInt(5)}); },
         "param 1must be string"},
        {"a program that did not build",
         [](MethodScript& s, const Opnd&) {
             const Opnd bad = s.New("CVMSHADERPROGRAM", {VStr("missing.vert"), VStr("missing.frag")});
             s.Call(bad, "START", {});
         },
         "The shader program was not built."},
    };
    for (const Row& row : rows) {
        const std::string out = Run([&row](MethodScript& s) {
            const Opnd p = s.New("CVMSHADERPROGRAM", {VStr(kVertexSource), VStr(kFragmentSource), VBool(true)});
            row.build(s, p);
        });
        const std::string error = Error(out);
        EXPECT_NE(error.find(row.error), std::string::npos) << row.what << ": " << out;
    }
}
