// GLSL programs and the shader library over the test window: sharing by
// file pair, custom programs, the forms of shader files, compiler reports,
// and drawing with a uniform.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>

#include "scene/VRShaderProgram.h"
#include "support/ShaderFixture.h"

using namespace qemtest;

namespace {

class ShaderProgramTest : public ShaderFixture {
protected:
    VRShaderLibrary& library = SharedShaderLibrary();
};

}  // namespace

TEST_F(ShaderProgramTest, TheLibrarySharesFilePairsAndNamesCustomPrograms) {
    const std::string v = WriteFile("a.vert", kVertexSource);
    const std::string f = WriteFile("a.frag", kFragmentSource);
    const std::string F = WriteFile("A.FRAG", kFragmentSource);
    VRShaderProgram* p = library.GetProgram(v.c_str(), f.c_str());
    ASSERT_NE(p, nullptr) << (Errors().empty() ? "" : Errors().back());
    EXPECT_EQ(p->Name(), v + "::" + f);
    EXPECT_EQ(library.GetProgram(v.c_str(), f.c_str()), p);
    VRShaderProgram* other = library.GetProgram(v.c_str(), F.c_str());
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, p);
    EXPECT_EQ(p->GetUniformCount(), 2);

    // Two custom programs from the same strings are two, numbered in turn.
    VRShaderProgram* c1 = library.GetProgram(kVertexSource, kFragmentSource, true);
    VRShaderProgram* c2 = library.GetProgram(kVertexSource, kFragmentSource, true);
    ASSERT_TRUE(c1 && c2);
    EXPECT_NE(c1, c2);
    const int n = std::stoi(c1->Name().substr(std::string("custom_shader_").size()));
    EXPECT_EQ(c1->Name(), "custom_shader_" + std::to_string(n));
    EXPECT_EQ(c2->Name(), "custom_shader_" + std::to_string(n + 1));
    EXPECT_EQ(library.Count(), 4u);
    EXPECT_TRUE(Errors().empty());

    // The scene's end clears the library; a reference sees the program go.
    VRShaderProgramRef ref(p);
    EXPECT_EQ(ref.Get(), p);
    scene.reset();
    EXPECT_EQ(library.Count(), 0u);
    EXPECT_EQ(ref.Get(), nullptr);
}

TEST_F(ShaderProgramTest, ACompileErrorIsReportedAndNothingIsKept) {
    const std::string v = WriteFile("a.vert", kVertexSource);
    const std::string bad = WriteFile("bad.frag", "void main() { gl_FragColor = nonsense; }\n");
    EXPECT_EQ(library.GetProgram(v.c_str(), bad.c_str()), nullptr);
    EXPECT_EQ(library.Count(), 0u);
    ASSERT_EQ(Errors().size(), 1u);
    // The channel joins message and detail with a blank.
    EXPECT_EQ(Errors()[0], "Shader compilation aborted.\n ");
    ASSERT_EQ(Warnings().size(), 2u);
    EXPECT_EQ(Warnings()[0], "Fragment shader compilation report: " + bad);
    EXPECT_EQ(Warnings()[1].substr(0, 2), "\n ");
    EXPECT_GT(Warnings()[1].size(), 3u);  // the compiler's log

    // A missing file is a failed compilation too.
    Errors().clear();
    const std::string missing = folder->Path() + "none.frag";
    EXPECT_EQ(library.GetProgram(v.c_str(), missing.c_str()), nullptr);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Shader compilation aborted.\n "});
}

TEST_F(ShaderProgramTest, SectionFilesInEitherOrder) {
    const std::string vs = "[VERTEX SHADER]\n" + std::string(kVertexSource);
    const std::string fs = "[FRAGMENT SHADER]\n" + std::string(kFragmentSource);
    struct Row {
        const char* name;
        std::string text;
        bool links;
        int uniforms;
    };
    const Row rows[] = {
        {"both.glsl", vs + fs, true, 2},
        {"fragfirst.glsl", fs + vs, true, 2},
        {"fragonly.glsl", fs, true, 2},
        {"none.glsl", kFragmentSource, false, 0},
    };
    for (const Row& row : rows) {
        Errors().clear();
        const std::string path = WriteFile(row.name, row.text);
        VRShaderProgram* p = library.GetProgram(path.c_str());
        EXPECT_EQ(p != nullptr, row.links) << row.name;
        if (p) {
            EXPECT_EQ(p->GetUniformCount(), row.uniforms) << row.name;
        } else {
            EXPECT_EQ(Errors(), (std::vector<std::string>{path + " ", ": shader not found.\n "}));
        }
    }

    // The vertex section of a file whose fragment section comes first runs
    // to the end; the fragment section stops at the vertex marker.
    const std::string path = WriteFile("order.glsl", "x\n[FRAGMENT SHADER]\nF\n[VERTEX SHADER]\nV\n");
    std::string text;
    ASSERT_TRUE(VRShaderProgram::ReadShaderFile(0, path.c_str(), text));
    EXPECT_EQ(text, "\nV\n");
    ASSERT_TRUE(VRShaderProgram::ReadShaderFile(1, path.c_str(), text));
    EXPECT_EQ(text, "\nF\n");
    EXPECT_FALSE(VRShaderProgram::ReadShaderFile(1, (folder->Path() + "no").c_str(), text));
}

TEST_F(ShaderProgramTest, UniformsDrawAndADisabledProgramIgnoresSetters) {
    VRShaderProgram* p = library.GetProgram(kVertexSource, kFragmentSource, true);
    ASSERT_NE(p, nullptr);
    p->Start();
    EXPECT_TRUE(p->SetUniform4f("col", 0.25f, 0.5f, 1.0f, 1.0f));
    EXPECT_TRUE(p->SetUniform3f("tint", 1, 1, 0.5f));
    EXPECT_FALSE(p->SetUniform1f("absent", 1));
    DrawQuad();
    const RgbPixel px = ReadPixel(kWidth / 2, kHeight / 2);
    EXPECT_NEAR(px.r, 64, 1);
    EXPECT_NEAR(px.g, 128, 1);
    EXPECT_NEAR(px.b, 128, 1);

    float back[4] = {};
    EXPECT_EQ(p->GetUniformValue("col", back), 0);
    EXPECT_EQ(back[1], 0.5f);
    EXPECT_EQ(p->UniformFloatCount("col"), 4);
    EXPECT_EQ(p->UniformFloatCount("absent"), 0);

    std::string name, text;
    int32_t type = 0, size = 0;
    bool found = false;
    for (int32_t i = 0; i < p->GetUniformCount(); ++i) {
        ASSERT_TRUE(p->GetUniform(i, name, type, text, size));
        if (name != "tint") continue;
        found = true;
        EXPECT_EQ(type, 35665);
        EXPECT_EQ(text, "vec3f");
        EXPECT_EQ(size, 1);
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(p->GetUniform(2, name, type, text, size));

    // Disabled: setters answer true without sending, Start does nothing.
    p->Stop();
    p->SetEnabled(false);
    EXPECT_TRUE(p->SetUniform4f("col", 1, 1, 1, 1));
    EXPECT_TRUE(p->SetUniform1f("absent", 1));
    p->Start();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
    p->SetEnabled(true);
    EXPECT_EQ(p->GetUniformValue("col", back), 0);
    EXPECT_EQ(back[0], 0.25f);

    EXPECT_STREQ(p->GetInfoLog(0), "Object not initialized");
    EXPECT_EQ(UniformTypeFromName("vec3"), 0u);
    EXPECT_EQ(p->AddGeometryShader("void main() {}", true, 3, GL_TRIANGLES, GL_TRIANGLE_STRIP, false), -1);
    EXPECT_EQ(Warnings().back(), "\nGeometry\tshaders\t(GLSL) are not supported by\tyour video driver.\n ");
}
