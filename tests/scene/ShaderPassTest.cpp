// Shader passes over the test window: state commands around a pass, user
// and built-in rows, timers on the test's clock, sampler units, and the
// model-matrix uniforms with their cached inverse.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/MillisecondClock.h"
#include "scene/GLEntryPoints.h"
#include "scene/SharedTextureManager.h"
#include "scene/ShaderPass.h"
#include "support/ShaderFixture.h"

using namespace qemtest;

namespace {

uint32_t clockNow = 0;
uint32_t TestClock() { return clockNow; }

const char* const kPassFragment =
    "uniform vec4 col;\n"
    "uniform mat4 ModelMatrix;\n"
    "uniform mat4 ModelMatrixT;\n"
    "uniform mat4 invMatrixObj;\n"
    "uniform vec3 cameraPosition_obj;\n"
    "uniform float timer0;\n"
    "uniform sampler2D tex;\n"
    "void main() {\n"
    "  vec4 any = ModelMatrix[0] + ModelMatrixT[0] + invMatrixObj[0] + vec4(cameraPosition_obj, timer0)\n"
    "           + texture2D(tex, vec2(0.5));\n"
    "  gl_FragColor = col + 0.0001 * any;\n"
    "}\n";

class ShaderPassTest : public ShaderFixture {
protected:
    void SetUp() override {
        ShaderFixture::SetUp();
        if (IsSkipped()) return;
        program = SharedShaderLibrary().GetProgram(kVertexSource, kPassFragment, true);
        ASSERT_NE(program, nullptr);
    }
    void TearDown() override {
        SetMillisecondSource(nullptr);
        ShaderFixture::TearDown();
    }

    std::vector<float> Uniform(const char* name, int n) {
        std::vector<float> v(static_cast<size_t>(n));
        GLEntryPoints.glGetUniformfvARB(program->Handle(), program->GetUniformLocation(name), v.data());
        return v;
    }

    static GLint Integer(GLenum what) {
        GLint v = 0;
        glGetIntegerv(what, &v);
        return v;
    }

    VRShaderProgram* program = nullptr;
};

}  // namespace

TEST_F(ShaderPassTest, StatesAroundAPassAndItsColour) {
    auto uniforms = std::make_unique<ShaderUniformList>();
    const float col[4] = {0.25f, 0.5f, 0.75f, 1};
    uniforms->AddUniform("col", UniformTypeFromName("vec4f"), col, nullptr);
    const float gl[4] = {1, 1, 1, 1};
    uniforms->AddUniform("gl_Color", GL_FLOAT_VEC4_ARB, gl, nullptr);
    auto states = std::make_unique<GLStateList>();
    const float blend[1] = {GL_BLEND}, func[2] = {770.9f, 771}, cull[1] = {GL_CULL_FACE};
    states->Add("glEnable", blend);
    states->Add("glBlendFunc", func);
    states->Add("glEnable", cull);
    states->Add("glScissor", cull);
    EXPECT_EQ(states->ToText(), "glEnable 3042 \r\nglBlendFunc 770 771 \r\nglEnable 2884 \r\n0 \r\n");

    // Built-in rows wait for a value of their own.
    EXPECT_TRUE(uniforms->Row(0).set);
    EXPECT_FALSE(uniforms->Row(1).set);
    EXPECT_TRUE(uniforms->SetValue("gl_Color", gl));
    EXPECT_TRUE(uniforms->Row(1).set);
    EXPECT_FALSE(uniforms->SetValue("absent", gl));

    ShaderPassList passes;
    passes.AddPass(program, std::move(uniforms), std::move(states));
    ShaderPass& pass = *passes.Pass(0);
    const GLint depth = Integer(GL_ATTRIB_STACK_DEPTH);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    ASSERT_TRUE(ApplyShaderPass(pass));
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), depth + 2);
    EXPECT_EQ(Integer(GL_BLEND_SRC), 770);
    DrawQuad();
    EndShaderPass(pass);
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), depth);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(Integer(GL_CURRENT_PROGRAM), 0);
    const RgbPixel px = ReadPixel(kWidth / 2, kHeight / 2);
    EXPECT_NEAR(px.r, 64, 1);
    EXPECT_NEAR(px.g, 128, 1);
    EXPECT_NEAR(px.b, 191, 1);

    // A pass whose program is gone applies nothing.
    SharedShaderLibrary().Clear();
    EXPECT_FALSE(ApplyShaderPass(pass));
    EXPECT_FALSE(passes.ReplacePass(1, nullptr, nullptr, nullptr));
    EXPECT_EQ(passes.GetGLStates(3), nullptr);
}

TEST_F(ShaderPassTest, TimersStepOnlyAfterTenMilliseconds) {
    SetMillisecondSource(TestClock);
    clockNow = 50000;
    ShaderPassList passes;
    auto uniforms = std::make_unique<ShaderUniformList>();
    const float half = 0.5f;
    uniforms->AddUniform("timer0", GL_FLOAT, &half, nullptr);
    passes.AddPass(program, std::move(uniforms), nullptr);
    ShaderPass& pass = *passes.Pass(0);
    // The first pass sets the time base; then steps 5, 15, 20 and 26 ms
    // after it: only the second and the last come 10 ms after a step.
    const struct {
        uint32_t at;
        float value;
    } steps[] = {{0, 0}, {5, 0}, {15, 0.5f}, {20, 0.5f}, {26, 1.0f}};
    uint32_t base = 0;
    for (const auto& step : steps) {
        clockNow = 50000 + step.at;
        ApplyShaderPass(pass);
        if (step.at == 0) base = clockNow;
        EXPECT_EQ(pass.uniforms->TimerValue(0), step.value) << step.at;
        EXPECT_EQ(Uniform("timer0", 1)[0], step.value) << step.at;
        EndShaderPass(pass);
    }
    EXPECT_EQ(base, 50000u);
}

TEST_F(ShaderPassTest, SamplersBindTheirUnitTruncated) {
    VRTextureManager* manager = SharedTextureManager();
    ASSERT_NE(manager, nullptr);
    auto* pixels = static_cast<uint8_t*>(std::malloc(4 * 4 * 3));
    std::memset(pixels, 200, 4 * 4 * 3);
    VRTexture* texture = manager->CreateTextureFromBuffer("t", pixels, 4, 4, 3, kTexNoMipmaps, 0, 0);
    ASSERT_NE(texture, nullptr);

    ShaderPassList passes;
    auto uniforms = std::make_unique<ShaderUniformList>();
    const float unit = 2.7f;
    uniforms->AddUniform("tex", UniformTypeFromName("sampler2D"), &unit, texture);
    const float col[4] = {0, 0, 0, 1};
    uniforms->AddUniform("col", GL_FLOAT_VEC4_ARB, col, nullptr);
    passes.AddPass(program, std::move(uniforms), nullptr);
    ShaderPass& pass = *passes.Pass(0);

    float out[4];
    std::string text;
    ASSERT_TRUE(pass.uniforms->GetValue("tex", out, text));
    EXPECT_EQ(text, "t");
    EXPECT_EQ(out[0], 2.7f);

    ASSERT_TRUE(ApplyShaderPass(pass));
    GLint bound = -1;
    GLEntryPoints.glGetUniformivARB(program->Handle(), program->GetUniformLocation("tex"), &bound);
    EXPECT_EQ(bound, 2);
    GLEntryPoints.glActiveTextureARB(GL_TEXTURE2);
    EXPECT_EQ(static_cast<GLuint>(Integer(GL_TEXTURE_BINDING_2D)), texture->glName);
    EndShaderPass(pass);
    GLEntryPoints.glActiveTextureARB(GL_TEXTURE2);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLEntryPoints.glActiveTextureARB(GL_TEXTURE0);

    // Only samplers take a texture; a file that is not there is reported.
    EXPECT_FALSE(passes.SetPassTexture(0, "col", "x.png", 0));
    EXPECT_FALSE(passes.SetPassTexture(0, "absent", "x.png", 0));
    const std::string missing = folder->Path() + "none.png";
    Errors().clear();
    EXPECT_TRUE(passes.SetPassTexture(0, "tex", missing.c_str(), 0));
    ASSERT_FALSE(Errors().empty());
    EXPECT_EQ(Errors().back(), "Texture not found: " + missing);
    EndSharedTextureManager();
}

TEST_F(ShaderPassTest, ModelMatrixRowsAndTheCachedInverse) {
    ShaderPassList passes;
    auto uniforms = std::make_unique<ShaderUniformList>();
    for (const char* name : {"ModelMatrix", "ModelMatrixT", "invMatrixObj"})
        uniforms->AddUniform(name, GL_FLOAT_MAT4_ARB, nullptr, nullptr);
    uniforms->AddUniform("cameraPosition_obj", GL_FLOAT_VEC3_ARB, nullptr, nullptr);
    EXPECT_EQ(uniforms->Row(0).autoCode, 72);
    EXPECT_EQ(uniforms->Row(3).autoCode, 66);
    passes.AddPass(program, std::move(uniforms), nullptr);
    ShaderPass& pass = *passes.Pass(0);

    // A translation by (1, 2, 3), column-major.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    SetCurrentModelMatrix(m);
    const uint64_t before = ModelMatrixInversions();
    ASSERT_TRUE(ApplyShaderPass(pass));
    EndShaderPass(pass);
    ASSERT_TRUE(ApplyShaderPass(pass));
    EXPECT_EQ(ModelMatrixInversions(), before + 1);

    EXPECT_EQ(Uniform("ModelMatrix", 16), std::vector<float>(m, m + 16));
    const std::vector<float> t = Uniform("ModelMatrixT", 16);
    EXPECT_EQ(t[3], 1);
    EXPECT_EQ(t[7], 2);
    EXPECT_EQ(t[12], 0);
    const std::vector<float> inv = Uniform("invMatrixObj", 16);
    EXPECT_EQ(inv[12], -1);
    EXPECT_EQ(inv[14], -3);
    // The scene's first camera stands at the origin: (-1, -2, -3) in the
    // model's space.
    EXPECT_EQ(Uniform("cameraPosition_obj", 3), (std::vector<float>{-1, -2, -3}));
    EndShaderPass(pass);

    SetCurrentModelMatrix(m);
    ApplyShaderPass(pass);
    EndShaderPass(pass);
    EXPECT_EQ(ModelMatrixInversions(), before + 2);
}

TEST(ShaderPassTables, NamesAndArgumentCounts) {
    EXPECT_EQ(UniformAutoCode("lightPosition2"), 57);
    EXPECT_EQ(UniformAutoCode("lightPosition3_obj"), 71);
    EXPECT_EQ(UniformAutoCode("timer4"), 65);
    EXPECT_EQ(UniformAutoCode("Timer0"), 0);
    EXPECT_EQ(GLParamArgCount("glBlendFunc"), 2);
    EXPECT_EQ(GLParamArgCount("glenable"), 0);
    EXPECT_EQ(GLStateCommandArgCount(2), 1);
    EXPECT_EQ(GLStateCommandArgCount(4), 0);
    EXPECT_EQ(UniformTypeFromName("vec3"), 0u);
    EXPECT_EQ(UniformTypeComponentCount(UniformTypeFromName("mat3f")), 9);
    EXPECT_EQ(UniformTypeComponentCount(0), 1);
    EXPECT_TRUE(IsSamplerType(GL_SAMPLER_CUBE_SHADOW_EXT));
    EXPECT_FALSE(IsSamplerType(GL_FLOAT));
}
