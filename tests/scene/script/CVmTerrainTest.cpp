// CVmTerrain through scripts run in a machine of the test, over the shared
// texture manager and a GL window: the parameter forms of the methods, the
// texture objects they answer and the call modes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scene/SharedTextureManager.h"
#include "scene/script/CVmTerrain.h"
#include "scene/script/CVmTexture.h"
#include "support/MethodScript.h"
#include "support/TextureFixture.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

class TerrainScriptTest : public TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        if (IsSkipped()) return;
        manager.reset();  // the script classes work on the shared manager
        Write("flat.asc", "ncols 8 nrows 8 cellsize 30 NODATA_value -9999\n" + Values());
    }
    void TearDown() override {
        EndSharedTextureManager();
        TextureFixture::TearDown();
    }
    static std::string Values() {
        std::string v;
        for (int i = 0; i < 64; ++i) v += "100 ";
        return v;
    }
    std::string Run(const std::function<void(MethodScript&)>& build) {
        return RunMain(build, {new CVmTerrain::CRegister(), new CVmTexture::CRegister()});
    }
};

}  // namespace

// A Vector is normalised where it lies, only as far as it reaches; three
// numbers light the terrain without a Vector.
TEST_F(TerrainScriptTest, LightingTakesAVectorOrThreeNumbers) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd t = s.New("CVMTERRAIN", {VInt(1), VStr("two")});
        s.Call(t, "LOADASC", {VStr("flat.asc")});
        s.Call(t, "SETRES", {VInt(0)});
        for (const auto& light : {std::vector<float>{3, 4}, std::vector<float>{0, 0, 0}, std::vector<float>{0, 3, 4, 9}}) {
            const Opnd v = s.Local(VFloats(light));
            s.Call(t, "COMPUTELIGHTING", {v}, 1, v);
            s.Record(v);
        }
        s.Call(t, "COMPUTELIGHTING", {VReal(0), VInt(0), VReal(2)});
        s.Record(s.Call(s.Call(t, "GETTEXTURESHADOW", {}), "COMPONENTS", {}));
    });
    EXPECT_EQ(out, "[ 0.6 , 0.8 ]\n[ 0 , 0 , 0 ]\n[ 0 , 0.6 , 0.8 , 9 ]\n4\n");
    EXPECT_TRUE(errors.empty());
}

// The textures are new objects over new records; a missing overlay gives an
// object without one, which the draw takes for no texture.
TEST_F(TerrainScriptTest, TexturesAreNewObjects) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd t = s.New("CVMTERRAIN");
        s.Call(t, "LOADASC", {VStr("flat.asc")});
        s.Call(t, "SETRES", {VInt(0)});
        const Opnd a = s.Call(t, "GETTEXTUREHEIGHT", {VStr("ignored")});
        const Opnd b = s.Call(t, "GETTEXTUREHEIGHT", {});
        s.Record(s.Call(a, "NAME", {}));
        s.Record(s.Call(b, "NAME", {}));
        const Opnd none = s.Call(t, "GETTEXTURESHADOW", {VStr("none.png")});
        s.Call(t, "DRAW", {none, none, VInt(0), VInt(0)});
        s.Call(t, "DRAW", {a, none});
        s.Call(t, "DRAW", {VStr("points")});
        s.Call(none, "WIDTH", {});
    });
    std::vector<std::string> lines;
    for (size_t at = 0, next; (next = out.find('\n', at)) != std::string::npos && lines.size() < 2; at = next + 1)
        lines.push_back(out.substr(at, next - at));
    ASSERT_EQ(lines.size(), 2u) << out;
    EXPECT_NE(lines[0], lines[1]);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRTextureManager : Texture not found: none.png"});
    EXPECT_EQ(FirstError(out), "WIDTH: The texture was not loaded.");
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

// Methods answer method calls only: a member read is an error with no text.
TEST_F(TerrainScriptTest, MethodsAnswerOnlyMethodCalls) {
    for (const char* method : {"LOADASC", "SETRES", "COMPUTELIGHTING", "DRAW", "GETTEXTURESHADOW", "GETTEXTUREHEIGHT"}) {
        const std::string out = Run([method](MethodScript& s) {
            const Opnd t = s.New("CVMTERRAIN");
            const Opnd v = s.Local(VInt(-1));
            s.Builder().Emit(OP_MEMBER_READ, t, I(s.Builder().MethodName(method)), v);
        });
        EXPECT_NE(out.find("VirtualMachine ERROR"), std::string::npos) << method;
        EXPECT_EQ(FirstError(out), "") << out;
    }
}
