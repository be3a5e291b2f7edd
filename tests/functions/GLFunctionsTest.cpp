// The GL functions called as scripts call them, on the test window's
// context: the constant table, the sizes of what the GL reads and writes,
// and the refusals that keep the GL inside the script's data. What scripts
// see end to end through qem: tests/host/GLFunctionsScriptProgramTest.cpp.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/MessageTable.h"
#include "functions/CVmFunctionGL.h"
#include "functions/GLConstants.h"
#include "runtime/script/byteBuffer.h"
#include "scene/GLEntryPoints.h"
#include "scene/script/CVmTexture.h"
#include "support/GlSceneFixture.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

namespace {

class MessageMachine : public CVirtualMachine {
    const char* StringForId(int32_t id) override { return EngineMessageText(id); }
};

// A scene, so that the GL set-up fetched the extension entry points.
class GLFunctions : public GlSceneFixture {
protected:
    void SetUp() override {
        GlSceneFixture::SetUp();
        vm.RegisterFunctions(new CVmFunctionGL());
        vm.RegisterClass(new CVmTexture::CRegister());
        vm.RegisterClass(new byteBuffer::CRegister());
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    CallOutcome Call(const std::string& name, const std::vector<Opnd>& args = {}) {
        return CallGlobal(vm, name, args);
    }
    // The script error of the call, "" when it had none.
    std::string ErrorOf(const std::string& name, const std::vector<Opnd>& args) {
        const CallOutcome o = Call(name, args);
        return o.error ? FirstError(o.output) : "";
    }
    // The bytes of the String name(args) answers when the host calls it;
    // "-" when it answers none.
    std::string Bytes(const char* name, std::initializer_list<int32_t> args) {
        ProgramBuilder b;
        b.Return();
        if (!vm.StartProgram(b.Build())) return "-";
        CVmValue v;
        for (const int32_t a : args) {
            v.SetInteger(a);
            vm.AddArgValue(v);
        }
        const CVmValue* r = vm.CallNativeFunction(name);
        if (!r || r->type != VmValueType::String) return "-";
        return std::string(r->asString->CStr(), static_cast<size_t>(r->asString->Length()));
    }
    MessageMachine vm;
};

// A texture of that target bound for the test, deleted at its end.
struct BoundTexture {
    explicit BoundTexture(GLenum target) : target(target) {
        glGenTextures(1, &name);
        glBindTexture(target, name);
    }
    ~BoundTexture() {
        glBindTexture(target, 0);
        glDeleteTextures(1, &name);
    }
    GLenum target;
    GLuint name = 0;
};

std::string Chars(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s += static_cast<char>(v);
    return s;
}

}  // namespace

TEST(GLConstants, TheTableHoldsEachGlGetParameterOnceWithItsKind) {
    std::set<std::string> names;
    std::set<int32_t> values;
    int kinds[6] = {};
    for (const GLConstant& c : kGLConstants) {
        names.insert(c.name);
        values.insert(c.value);
        ++kinds[static_cast<int>(c.kind)];
        EXPECT_EQ(FindGLConstant(c.value), &c) << c.name;
    }
    EXPECT_EQ(names.size(), kGLConstantCount);
    EXPECT_EQ(values.size(), kGLConstantCount);
    // Vectors of 16, 4, 3 and 2, Bool, Real.
    EXPECT_EQ(std::vector<int>(kinds, kinds + 6), (std::vector<int>{3, 12, 1, 7, 69, 111}));
    const struct {
        const char* name;
        int32_t value;
        GLGetKind kind;
    } samples[] = {
        {"GL_MODELVIEW_MATRIX", 0x0BA6, GLGetKind::Vector16}, {"GL_VIEWPORT", 0x0BA2, GLGetKind::Vector4},
        {"GL_CURRENT_NORMAL", 0x0B02, GLGetKind::Vector3},    {"GL_DEPTH_RANGE", 0x0B70, GLGetKind::Vector2},
        {"GL_LIGHT0", 0x4000, GLGetKind::Bool},               {"GL_CLIP_PLANE0", 0x3000, GLGetKind::Bool},
        {"GL_TEXTURE_ENV_COLOR", 0x2201, GLGetKind::Vector4}, {"GL_ZOOM_Y", 0x0D17, GLGetKind::Real},
    };
    for (const auto& s : samples) {
        const GLConstant* c = FindGLConstant(s.value);
        ASSERT_NE(c, nullptr) << s.name;
        EXPECT_STREQ(c->name, s.name);
        EXPECT_EQ(c->kind, s.kind) << s.name;
    }
    EXPECT_EQ(FindGLConstant(GL_COLOR_WRITEMASK), nullptr);
    EXPECT_EQ(FindGLConstant(GL_TRIANGLES), nullptr);
}

// Rows are packed tight whatever the script's pack state, which comes back.
TEST_F(GLFunctions, ReadBacksHoldExactlyTheImage) {
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    glEnable(GL_SCISSOR_TEST);
    for (const int row : {0, 1}) {
        glScissor(0, row, 1, 1);
        glClearColor(row ? 1.0f : 0.2f, 0.4f, row ? 0.0f : 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    EXPECT_EQ(Bytes("glReadPixels", {0, 0, 1, 2, GL_RGB, GL_UNSIGNED_BYTE}), Chars({51, 102, 153, 255, 102, 0}));
    const CallOutcome floats =
        Call("glReadPixels", {VInt(0), VInt(1), VInt(1), VInt(1), VInt(GL_RGBA), VInt(GL_FLOAT)});
    EXPECT_EQ(floats.result, "[ 1 , 0.4 , 0 , 1 ]");
    GLint alignment = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const std::string sizeError =
        "GLREADPIXELS: This numeric value must be between 1 and " + std::to_string(largest) + ".";
    const struct {
        int32_t width, height, format, type;
        std::string error;
    } refused[] = {
        {0, 1, GL_RGB, GL_UNSIGNED_BYTE, sizeError},
        {1, -2, GL_RGB, GL_UNSIGNED_BYTE, sizeError},
        {65536, 65536, GL_RGBA, GL_FLOAT, sizeError},
        {1, 1, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, "GLREADPIXELS: Unknown format flag."},
        {1, 1, GL_RGB, GL_UNSIGNED_INT_8_8_8_8, "GLREADPIXELS: Unknown type flag."},
    };
    for (const auto& r : refused)
        EXPECT_EQ(ErrorOf("glReadPixels",
                          {VInt(0), VInt(0), VInt(r.width), VInt(r.height), VInt(r.format), VInt(r.type)}),
                  r.error);
}

TEST_F(GLFunctions, TextureReadBacksFitTheWholeLevel) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const std::vector<uint8_t> texels(4 * 2 * 3, 7);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    EXPECT_EQ(Bytes("glGetTexImage", {GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, 4, 2}), std::string(24, '\7'));
    EXPECT_EQ(Bytes("glGetTexImage", {GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, 8, 1}), std::string(24, '\7'));
    const CallOutcome small = Call("glGetTexImage", {VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_RGB),
                                                     VInt(GL_UNSIGNED_BYTE), VInt(2), VInt(2)});
    EXPECT_TRUE(small.error);
    EXPECT_EQ(FirstError(small.output), "GLGETTEXIMAGE: The texture level is larger than the requested size.");
    EXPECT_EQ(ErrorOf("glGetTexImage", {VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_DEPTH_COMPONENT), VInt(GL_FLOAT),
                                        VInt(4), VInt(2)}),
              "GLGETTEXIMAGE: Unknown format flag.");
    glDeleteTextures(1, &texture);
}

TEST_F(GLFunctions, GeneratorsAnswerArraysOfNames) {
    EXPECT_EQ(Call("glGenTextures", {VInt(2)}).result.size() > 4, true);
    for (const int32_t n : {0, -1, 65537}) {
        const CallOutcome o = Call("glGenTextures", {VInt(n)});
        EXPECT_EQ(o.type, VmValueType::Array) << n;
        EXPECT_EQ(o.result, Call("glGenTextures", {VInt(0)}).result) << n;
    }
    const CallOutcome framebuffers = Call("glGenFramebuffersEXT", {VInt(1)});
    EXPECT_FALSE(framebuffers.error) << framebuffers.output;
}

// Functions whose extension the driver does not report make no call.
TEST_F(GLFunctions, ExtensionFunctionsNeedTheirEntryPoints) {
    const GLEntryPointTable saved = GLEntryPoints;
    GLEntryPoints = GLEntryPointTable();
    for (const char* name : {"glActiveTextureARB", "glBindFramebufferEXT", "glGenRenderbuffersEXT",
                             "glBlendEquationEXT", "glDrawBuffers"})
        EXPECT_EQ(ErrorOf(name, {VInt(1)}), VmUpperName(name) + ": OpenGL extension not available") << name;
    // An attribute the shader lacks (-1) makes no call.
    EXPECT_EQ(ErrorOf("glVertexAttrib", {VInt(-1), VReal(1.0f)}), "");
    EXPECT_EQ(ErrorOf("glVertexAttrib", {VInt(0), VReal(1.0f)}), "GLVERTEXATTRIB: OpenGL extension not available");
    GLEntryPoints = saved;
    EXPECT_EQ(ErrorOf("glActiveTextureARB", {VInt(1)}), "");
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    EXPECT_EQ(unit, GL_TEXTURE1);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(ErrorOf("glBlendEquationEXT", {}), "GLBLENDEQUATIONEXT: Mandatory param n. 1 was not supplied.");
    EXPECT_EQ(ErrorOf("glBlendEquationEXT", {VStr("a")}), "GLBLENDEQUATIONEXT: The param n. 1 must be a number.");
}

// Vectors of the wrong length and values of the wrong type are reported;
// only glClearColor still sets a colour (opaque black).
TEST_F(GLFunctions, VectorRulesReportWrongShapes) {
    const struct {
        const char* name;
        std::vector<Opnd> args;
        std::string error;
    } rows[] = {
        {"glVertex", {VFloats({1, 2})}, "Param n. 1 must be a vector of 3 or 4 components length."},
        {"glColor", {VFloats({1, 2, 3, 4, 5})}, "Param n. 1 must be a vector of 3 or 4 components length."},
        {"glNormal", {VFloats({1, 2})}, "Param n. 1 must be a vector of 3 components length."},
        {"glLoadMatrix", {VFloats(std::vector<float>(15, 1.0f))},
         "Param n. 1 must be a vector of 16 components length."},
        {"glLight", {VInt(GL_LIGHT0), VInt(GL_POSITION), VStr("x")}, "param 3 format unsupported"},
        {"glLightModel", {VInt(GL_LIGHT_MODEL_AMBIENT)}, "Param n. 2 must be a integer or real or vector"},
        {"glTexGenfv", {VInt(GL_S), VInt(GL_OBJECT_PLANE), VInt(5)}, "Param n. 3 must be a vector."},
        {"glVertexAttrib", {VInt(0), VFloats({1, 2, 3, 4, 5})}, "Vector size must be in range [1,4]"},
        {"glClearColor", {VInt(1), VInt(1)}, "Three or four color components must be specified"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorOf(row.name, row.args), VmUpperName(row.name) + ": " + row.error) << row.name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << row.name;
    }
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(std::vector<float>(clear, clear + 4), (std::vector<float>{0, 0, 0, 1}));
    // A light position of fewer components reads 0 for the others.
    EXPECT_EQ(ErrorOf("glLight", {VInt(GL_LIGHT0), VInt(GL_POSITION), VFloats({0, 0})}), "");
    // A single value of another type: the error prefix alone.
    const CallOutcome scale = Call("glScale", {VStr("a")});
    EXPECT_TRUE(scale.error);
    EXPECT_EQ(FirstError(scale.output), "");
}

// A script's draw reads only arrays the function set holds copies of.
TEST_F(GLFunctions, DrawsReadOnlyTheArraysScriptsGave) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(1)}),
              "GLDRAWARRAYS: An enabled vertex array does not hold the vertices to draw.");
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(0)}), "");
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(1)}),
              "GLDRAWARRAYS: An enabled vertex array does not hold the vertices to draw.");
    glDisableClientState(GL_COLOR_ARRAY);
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(1)}), "");
}

TEST_F(GLFunctions, WithoutAContextNothingIsAnswered) {
    CallOutcome o;
    std::thread([&] { o = Call("glGetString", {VInt(GL_VERSION)}); }).join();
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.type, VmValueType::String);
    EXPECT_EQ(o.result, "");
}

// Rows of odd width are unpacked tight whatever the script's unpack state:
// the GL reads exactly the String (the sanitizer build sees any read past
// it) and the texels read back in place.
TEST_F(GLFunctions, UploadsReadExactlyTheirImage) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    const struct {
        GLenum target;
        const char* name;
        std::vector<Opnd> args;  // before the data
        std::string data;
        int32_t width, height;  // of the read-back
    } uploads[] = {
        {GL_TEXTURE_1D, "glTexImage1D",
         {VInt(GL_TEXTURE_1D), VInt(0), VInt(GL_RGB), VInt(3), VInt(0), VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE)},
         "abcdefghi", 3, 1},
        {GL_TEXTURE_2D, "glTexImage2D",
         {VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_RGB), VInt(3), VInt(3), VInt(0), VInt(GL_RGB),
          VInt(GL_UNSIGNED_BYTE)},
         "abcdefghijklmnopqrstuvwxyzA", 3, 3},
        {GL_TEXTURE_3D, "glTexImage3D",
         {VInt(GL_TEXTURE_3D), VInt(0), VInt(GL_RGB), VInt(1), VInt(3), VInt(2), VInt(0), VInt(GL_RGB),
          VInt(GL_UNSIGNED_BYTE)},
         "abcdefghijklmnopqr", 1, 6},
    };
    for (const auto& u : uploads) {
        const BoundTexture texture(u.target);
        std::vector<Opnd> args = u.args;
        args.push_back(VStr(u.data.c_str()));
        EXPECT_EQ(ErrorOf(u.name, args), "") << u.name;
        EXPECT_EQ(Bytes("glGetTexImage", {static_cast<int32_t>(u.target), 0, GL_RGB, GL_UNSIGNED_BYTE, u.width,
                                          u.height}),
                  u.data)
            << u.name;
    }
    {
        const BoundTexture texture(GL_TEXTURE_2D);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        EXPECT_EQ(ErrorOf("glTexSubImage2D", {VInt(GL_TEXTURE_2D), VInt(0), VInt(0), VInt(0), VInt(3), VInt(2),
                                               VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE), VStr("abcdefghijklmnopqr")}),
                  "");
        EXPECT_EQ(Bytes("glGetTexImage", {GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, 3, 2}), "abcdefghijklmnopqr");
    }
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// Each refusal makes no GL call: the GL error state stays clean.
TEST_F(GLFunctions, DataThatDoesNotFitIsRefused) {
    const BoundTexture texture(GL_TEXTURE_2D);
    const std::string tooShort = "buffer too short for the specified internal texture format!";
    auto image2D = [](int32_t format, int32_t type, Opnd data) {
        return std::vector<Opnd>{VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_RGBA), VInt(1), VInt(1), VInt(0),
                                 VInt(format), VInt(type), data};
    };
    auto image1D = [](int32_t target, int32_t format, Opnd data) {
        return std::vector<Opnd>{VInt(target), VInt(0), VInt(GL_RGBA), VInt(1), VInt(0), VInt(format),
                                 VInt(GL_UNSIGNED_BYTE), data};
    };
    auto subImage = [](int32_t format, int32_t type, Opnd data) {
        return std::vector<Opnd>{VInt(GL_TEXTURE_2D), VInt(0), VInt(0), VInt(0), VInt(1), VInt(1),
                                 VInt(format), VInt(type), data};
    };
    std::vector<Opnd> twentyOne(21, VInt(GL_BACK));
    const struct {
        const char* name;
        std::vector<Opnd> args;
        std::string error;
    } rows[] = {
        {"glTexImage2D", image2D(GL_RGB, GL_UNSIGNED_BYTE, VStr("ab")), tooShort},
        // Types and formats the GL takes more bytes for than scripts count.
        {"glTexImage2D", image2D(GL_RGB, GL_HALF_FLOAT, VStr("abcde")), tooShort},
        {"glTexImage1D", image1D(GL_TEXTURE_1D, GL_RG, VStr("a")), tooShort},
        {"glTexImage1D", image1D(GL_TEXTURE_2D, GL_RGB, VStr("abc")), "Param 1 must be GL_TEXTURE_1D"},
        {"glTexImage1D", image1D(GL_TEXTURE_1D, GL_RGB, VInt(3)), "Param 8 must be a String or a 'CVmTexure' "},
        {"glTexSubImage2D", subImage(GL_COLOR_INDEX, GL_UNSIGNED_BYTE, VStr("")), "Param 7 format unsupported."},
        {"glTexSubImage2D", subImage(GL_RGB, GL_FLOAT, VStr("abc")), "Param 8 must be GL_UNSIGNED_BYTE only"},
        {"glTexSubImage2D", subImage(GL_RGB, GL_UNSIGNED_BYTE, VStr("abcd")),
         "ITA: le dimensioni indicate non hanno corrispondenza con la lunghezza della scringa contenete i dati."},
        {"glTexSubImage2D", subImage(GL_RGB, GL_UNSIGNED_BYTE, VInt(0)),
         "parameter 9 must be a String or a byteBuffer!"},
        {"glCallLists", {VInt(1), VInt(GL_UNSIGNED_BYTE)}, "parameter 3 must be a String or a Vector!"},
        {"glCallLists", {VInt(1), VInt(GL_UNSIGNED_BYTE), VFloats({1})}, "parameter 3 must be a String."},
        {"glCallLists", {VInt(1), VInt(GL_FLOAT), VStr("a")}, "parameter 3 must be a Vector."},
        {"glCallLists", {VInt(2), VInt(GL_FLOAT), VFloats({1})}, "invalid buffer lenght"},
        {"glCallLists", {VInt(1), VInt(GL_INT), VFloats({1})}, "Unsupported type of buffer"},
        {"glVertexPointer", {VInt(3), VInt(GL_FLOAT), VInt(0)}, "parameter 4 must be a Vector!"},
        {"glNormalPointer", {VInt(GL_FLOAT), VInt(0), VStr("a")}, "parameter 3 must be a Vector!"},
        {"glDrawElements", {VInt(GL_POINTS), VInt(1), VInt(GL_FLOAT), VFloats({0})}, "Unsupported type of buffer"},
        {"glDrawElements", {VInt(GL_POINTS), VInt(2), VInt(GL_UNSIGNED_SHORT), VFloats({0})}, "invalid buffer lenght"},
        {"glDrawBuffers", twentyOne, "Too many draw buffers (at most 20)"},
        {"glFramebufferTexture2DEXT", {VInt(GL_FRAMEBUFFER_EXT + 1), VInt(GL_COLOR_ATTACHMENT0_EXT),
                                       VInt(GL_TEXTURE_2D), VInt(static_cast<int32_t>(texture.name)), VInt(0)},
         "Param 1 must be GL_FRAMEBUFFER_EXT"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorOf(row.name, row.args), VmUpperName(row.name) + ": " + row.error) << row.name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << row.name;
    }
}

// A byteBuffer gives the bytes from its offset on; a texture object the
// pixels its record still holds, with the same size and components.
TEST_F(GLFunctions, UploadsTakeByteBuffersAndTextureObjects) {
    const BoundTexture texture(GL_TEXTURE_2D);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    auto subImage = [](const Opnd& data) {
        return std::vector<Opnd>{VInt(GL_TEXTURE_2D), VInt(0), VInt(0), VInt(0), VInt(1), VInt(1), VInt(GL_RGB),
                                 VInt(GL_UNSIGNED_BYTE), data};
    };
    MethodScript s("MAIN");
    const Opnd buffer = s.New("BYTEBUFFER", {VInt(4)});
    s.Call(buffer, "SETBUFFER", {VStr("-xyz")});
    s.Call(buffer, "SETOFFSET", {VInt(2)});
    s.Global("glTexSubImage2D", subImage(buffer));
    EXPECT_EQ(FirstError(RunScript(vm, s).output),
              "GLTEXSUBIMAGE2D: ITA: le dimensioni indicate non hanno corrispondenza con la lunghezza del buffer "
              "contenete i dati.");
    MethodScript fits("MAIN");
    const Opnd three = fits.New("BYTEBUFFER", {VInt(4)});
    fits.Call(three, "SETBUFFER", {VStr("-xyz")});
    fits.Call(three, "SETOFFSET", {VInt(1)});
    fits.Global("glTexSubImage2D", subImage(three));
    fits.Global("glTexSubImage2D", subImage(three));
    EXPECT_FALSE(RunScript(vm, fits).error);
    EXPECT_EQ(Bytes("glGetTexImage", {GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, 1, 1}), "xyz");

    // A texture object made by the constructor has been uploaded: it holds
    // no pixels any more.
    const struct {
        int32_t width;
        std::string error;
    } objects[] = {
        {2, "GLTEXIMAGE1D: buffer too short for the specified internal texture format!"},
        {3, "GLTEXIMAGE1D: width and number component must be the same of texture"},
    };
    for (const auto& o : objects) {
        MethodScript t("MAIN");
        const Opnd object = t.New("CVMTEXTURE", {VInt(2), VInt(2), VInt(4)});
        t.Global("glTexImage1D", {VInt(GL_TEXTURE_1D), VInt(0), VInt(GL_RGBA), VInt(o.width), VInt(0),
                                  VInt(GL_RGBA), VInt(GL_UNSIGNED_BYTE), object});
        EXPECT_EQ(FirstError(RunScript(vm, t).output), o.error) << o.width;
    }
}

TEST_F(GLFunctions, DrawsStayWithinTheArrayCopies) {
    CallOutcome o = Call("glVertexPointer", {VInt(2), VInt(GL_FLOAT), VInt(0), VFloats({0, 0, 1, 0, 1, 1, 0, 1})});
    ASSERT_FALSE(o.error) << o.output;
    glEnableClientState(GL_VERTEX_ARRAY);
    const std::string beyond = "An enabled vertex array does not hold the vertices to draw.";
    const struct {
        const char* name;
        std::vector<Opnd> args;
        std::string error;
    } draws[] = {
        {"glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(4)}, ""},
        {"glDrawArrays", {VInt(GL_POINTS), VInt(1), VInt(4)}, beyond},
        {"glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(0x7FFFFFFF)}, beyond},
        {"glDrawElements", {VInt(GL_POINTS), VInt(2), VInt(GL_UNSIGNED_BYTE), VFloats({3, 0})}, ""},
        {"glDrawElements", {VInt(GL_POINTS), VInt(2), VInt(GL_UNSIGNED_INT), VFloats({0, 4})}, beyond},
        {"glDrawElements", {VInt(GL_POINTS), VInt(1), VInt(GL_UNSIGNED_INT), VFloats({1e30f})}, beyond},
    };
    for (const auto& d : draws)
        EXPECT_EQ(ErrorOf(d.name, d.args), d.error.empty() ? "" : VmUpperName(d.name) + ": " + d.error) << d.name;
    // A stride the copy cannot hold.
    o = Call("glVertexPointer", {VInt(2), VInt(GL_FLOAT), VInt(16), VFloats({0, 0, 1, 0, 1, 1, 0, 1})});
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(3)}), "GLDRAWARRAYS: " + beyond);
    EXPECT_EQ(ErrorOf("glDrawArrays", {VInt(GL_POINTS), VInt(0), VInt(2)}), "");
    glDisableClientState(GL_VERTEX_ARRAY);
}
