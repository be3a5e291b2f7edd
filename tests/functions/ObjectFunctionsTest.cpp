// The constructor functions of textures, shaders, lights and materials, the
// texture bind and the kind of an AAM file, through scripts run in a machine
// of the test with a scene over the test window. Through qem:
// tests/host/ObjectFunctionsScriptProgramTest.cpp.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "functions/CVmFunction.h"
#include "meshes/script/CVmMaterial.h"
#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRScene.h"
#include "scene/script/CVmLight.h"
#include "scene/script/CVmShaderProgram.h"
#include "scene/script/CVmTexture.h"
#include "state/EngineState.h"
#include "support/GlobalCalls.h"
#include "support/TextureFixture.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

// Four texels, bottom row first: no byte is 0, so the String constant keeps
// them all whatever its encoding.
const uint8_t kTexels[16] = {200, 30, 40, 255, 30, 200, 40, 255, 40, 30, 200, 255, 220, 220, 60, 255};

Opnd Bytes(MethodScript& s, const uint8_t* bytes, int32_t count) {
    CVmValue v;
    v.SetString(reinterpret_cast<const char*>(bytes), count);
    return VRifStr(s.Builder().Constant(v));
}

class ObjectFunctions : public TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        if (IsSkipped()) return;
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        // The functions work on the shared manager and the engine's scene.
        manager.reset();
        scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
        state.Scene().scene = scene.get();
        state.Paths().workingFolder = scratch.Path();
        g_engineState = &state;
    }
    void TearDown() override {
        if (prepared) {
            g_engineState = nullptr;
            scene.reset();
            EndSharedTextureManager();
            glPopAttrib();
        }
        TextureFixture::TearDown();
    }

    // Runs MAIN as `build` writes it in a machine with the global functions,
    // the classes they make and the engine's message texts; the machine's
    // output.
    static std::string Run(const std::function<void(MethodScript&)>& build) {
        MethodScript s("MAIN");
        build(s);
        EngineMessagesMachine vm;
        for (CVmRegisterClass* c : std::initializer_list<CVmRegisterClass*>{
                 new CVmTexture::CRegister(), new CVmLight::CRegister(), new CVmMaterial::CRegister(),
                 new CVmShaderProgram::CRegister()})
            vm.RegisterClass(c);
        vm.RegisterFunctions(new CVmFunction());
        return RunScript(vm, s).output;
    }

    // The records of the shared manager's list.
    static size_t ListedTextures() {
        size_t n = 0;
        for (const VRTexture* t = SharedTextureManager()->First(); t; t = t->next) ++n;
        return n;
    }

    std::unique_ptr<VRScene> scene;
    EngineState state;
};

}  // namespace

TEST_F(ObjectFunctions, StoredTexturesHoldTheirTexelsAndBindOnTheUnitGiven) {
    GLExtensionFlags &= ~0x2u;  // no anisotropic filtering, which blurs texels
    const std::string out = Run([](MethodScript& s) {
        const Opnd plain = s.Global("STORETEXTURE", {Bytes(s, kTexels, 16), VInt(2), VInt(2)});
        s.Record(plain);
        s.Global("SETACTIVETEXTURE", {plain});
        // Three channels named: still four bytes a pixel.
        const Opnd three = s.Global("STORETEXTURE", {Bytes(s, kTexels, 16), VInt(2), VInt(2), VInt(3)});
        s.Record(three);
        s.Global("SETACTIVETEXTURE", {three, VInt(kBindLinear), VInt(1)});
    });
    EXPECT_EQ(out, "(Obj:CVmTexture)\n(Obj:CVmTexture)\n") << out;

    VRTextureManager* shared = SharedTextureManager();
    VRTexture* first = shared->BoundTexture(0);
    VRTexture* second = shared->BoundTexture(1);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    for (VRTexture* t : {first, second}) {
        EXPECT_EQ(std::string(t->name).rfind("STORE_TEXTURE_", 0), 0u) << t->name;
        EXPECT_EQ(t->channels, 4);
        EXPECT_EQ(t->width, 2);
        EXPECT_EQ(t->height, 2);
    }
    // Unit 1: the flags given (linear filtering), the bytes as stored.
    glActiveTexture(GL_TEXTURE1);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_EQ(TexImage<uint8_t>(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, 16),
              std::vector<uint8_t>(kTexels, kTexels + 16));
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);

    // Unit 0: a quad over the window shows the four texels in its quarters.
    glViewport(0, 0, kWidth, kHeight);
    for (GLenum matrix : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(matrix);
        glLoadIdentity();
    }
    for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_FOG, GL_BLEND, GL_ALPHA_TEST}) glDisable(cap);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    ClearWindow(0, 0, 0);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
    const int quarterX[4] = {kWidth / 4, 3 * kWidth / 4, kWidth / 4, 3 * kWidth / 4};
    const int quarterY[4] = {kHeight / 4, kHeight / 4, 3 * kHeight / 4, 3 * kHeight / 4};
    for (int i = 0; i < 4; ++i) {
        const uint8_t* texel = kTexels + 4 * i;
        EXPECT_EQ(ReadPixel(quarterX[i], quarterY[i]), (RgbPixel{texel[0], texel[1], texel[2]})) << "texel " << i;
    }
}

TEST_F(ObjectFunctions, TextureFunctionsRefuseWhatTheyCannotTake) {
    struct Row {
        const char* what;
        std::function<void(MethodScript&)> build;
        std::string error;
    };
    const uint8_t* t = kTexels;
    const Row rows[] = {
        {"15 bytes for 2 x 2", [t](MethodScript& s) { s.Global("STORETEXTURE", {Bytes(s, t, 15), VInt(2), VInt(2)}); },
         "STORETEXTURE: Parameters DimX and DimY exceed the size of the data buffer."},
        {"two channels",
         [t](MethodScript& s) { s.Global("STORETEXTURE", {Bytes(s, t, 16), VInt(2), VInt(2), VInt(2)}); },
         "STORETEXTURE: This numeric value must be between 3 and 4."},
        {"negative width",
         [t](MethodScript& s) { s.Global("STORETEXTURE", {Bytes(s, t, 16), VInt(-2), VInt(-2)}); },
         "STORETEXTURE: Parameters DimX and DimY exceed the size of the data buffer."},
        // 65536 x 65536 x 4 is 0 in 32 bits.
        {"a size that wraps",
         [t](MethodScript& s) { s.Global("STORETEXTURE", {Bytes(s, t, 16), VInt(65536), VInt(65536)}); },
         "STORETEXTURE: Parameters DimX and DimY exceed the size of the data buffer."},
        {"no String", [](MethodScript& s) { s.Global("STORETEXTURE", {VInt(5), VInt(1), VInt(1)}); },
         "STORETEXTURE: Param n. 1 must be a string."},
        {"an Integer", [](MethodScript& s) { s.Global("SETACTIVETEXTURE", {VInt(5)}); },
         "SETACTIVETEXTURE: Param n. 1 must be a 'Texture' object."},
        {"nothing", [](MethodScript& s) { s.Global("SETACTIVETEXTURE", {}); },
         "SETACTIVETEXTURE: Param n. 1 must be a 'Texture' object."},
        {"another object", [](MethodScript& s) { s.Global("SETACTIVETEXTURE", {s.Global("NEWMATERIAL")}); },
         "SETACTIVETEXTURE: Param n. 1 must be a 'Texture' object."},
        {"a texture without record",
         [](MethodScript& s) {
             s.Global("SETACTIVETEXTURE", {s.Global("CREATEEMPTYTEXTURE", {VInt(2), VInt(2), VInt(9)})});
         },
         "SETACTIVETEXTURE: Param n. 1 must be a 'Texture' object."},
    };
    for (const Row& row : rows) {
        const size_t before = ListedTextures();
        const std::string out = Run(row.build);
        EXPECT_EQ(FirstError(out), row.error) << row.what << "\n" << out;
        EXPECT_EQ(ListedTextures(), before) << row.what;
    }
    EXPECT_EQ(SharedTextureManager()->BoundTexture(0), nullptr);
}

TEST_F(ObjectFunctions, ConstructorsGiveTheirClasses) {
    WriteFile(scratch.Make("plain.vert"), "void main() { gl_Position = gl_Vertex; }\n");
    WriteFile(scratch.Make("plain.frag"), "void main() { gl_FragColor = vec4(1.0); }\n");
    std::string out = Run([](MethodScript& s) {
        const Opnd empty = s.Global("CREATEEMPTYTEXTURE", {VInt(4), VInt(2), VInt(3), VFloats({1, 0, 0})});
        s.Record(s.Call(empty, "WIDTH", {}));
        s.Record(s.Call(empty, "COMPONENTS", {}));
        const Opnd shader = s.Global("NEWSHADER", {VStr("plain.vert"), VStr("plain.frag")});
        s.Record(shader);
        s.Record(s.Call(shader, "ISLINKED", {}));
        s.Record(s.Global("NEWMATERIAL"));
        for (int i = 0; i < SceneState::kPoolLights; ++i) s.Record(s.Global("NEWLIGHT"));
        s.Print("full\n");
        s.Global("NEWLIGHT");
    });
    std::string expected = "4\n3\n(Obj:CVmShaderProgram)\nTrue\n(Obj:CVmMaterial)\n";
    for (int i = 0; i < SceneState::kPoolLights; ++i) expected += "(Obj:CVmLight)\n";
    EXPECT_EQ(out.substr(0, out.find("full\n") + 5), expected + "full\n") << out;
    EXPECT_EQ(FirstError(out), "NEWLIGHT: Cannot create a new light source.") << out;

    out = Run([](MethodScript& s) { s.Global("NEWSHADER", {VInt(3)}); });
    EXPECT_EQ(FirstError(out), "NEWSHADER: Param n. 1 must be a string.") << out;
}

TEST_F(ObjectFunctions, AamFilesTellTheirKind) {
    struct Row {
        const char* content;
        int kind;  // -1: not an AAM file
    } rows[] = {
        {"AAM_MESH\n", 1},
        {"AAM_CHARACTER x", 2},
        {"AAM_MESH_MULTIFRAME", 3},
        {"AAM_AVATAR\n{\n}\n", 4},
        {"HEADER\nframes 3\nFrame: 3\n", 1},
        {"HEADER Animation_mode: None", 1},
        {"HEADER Animation_mode: Keyframe", 2},
        {"HEADER\nAnimation_mode: Full\nFrame: 1", 3},
        {"Frame: 3", 1},
        {"Animation_mode: Keyframe", 2},
        // Tokens are compared whole and with their case.
        {"AAM_AVATARS Animation_mode: Full", 3},
        {"aam_avatar Frame:", 1},
        {"HEADER Animation_mode: keyframe", -1},
        {"HEADER Frame:3", -1},
        {"HEADER", -1},
        {"", -1},
    };
    for (const Row& row : rows) {
        WriteFile(scratch.Make("model.aam"), row.content);
        const std::string out = Run([](MethodScript& s) { s.Record(s.Global("GETAAMTYPE", {VStr("model.aam")})); });
        if (row.kind < 0) {
            EXPECT_EQ(FirstError(out), "GETAAMTYPE: model.aam: not a valid AAM file.") << row.content;
        } else {
            EXPECT_EQ(out, std::to_string(row.kind) + "\n") << row.content;
        }
    }
    for (const char* name : {"missing.aam", ""}) {
        const std::string out = Run([name](MethodScript& s) { s.Global("GETAAMTYPE", {VStr(name)}); });
        EXPECT_EQ(FirstError(out), std::string("GETAAMTYPE: Cannot load the '") + name + "' file.") << out;
    }
}
