// The GL functions end to end: qem runs scripts whose OnInit calls GL and
// prints "label value" lines of what it reads back in the same callback,
// and scripts that end on a bad parameter.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/DebugInfoWriter.h"
#include "support/EngineFixtures.h"
#include "support/LoopbackPeer.h"
#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// A script's OnInit that prints "label value" lines between BEGIN and DONE.
struct Transcript {
    Transcript() { s.Print("BEGIN\n"); }
    void Gl(const std::string& name, const std::vector<Opnd>& args = {}) { s.Global(name, args); }
    Opnd Show(const std::string& label, const std::string& name, const std::vector<Opnd>& args = {}) {
        s.Print((label + " ").c_str());
        const Opnd r = s.Global(name, args);
        s.Record(r);
        return r;
    }
    Opnd Get(const std::string& label, int32_t pname) { return Show(label, "glGet", {VInt(pname)}); }
    // "label length: byte byte ...": the String's length and its first n
    // character codes.
    void ShowBytes(const std::string& label, const std::string& name, const std::vector<Opnd>& args, int n) {
        const Opnd text = s.Global(name, args);
        const Opnd value = s.Local(VInt(0));
        ProgramBuilder& b = s.Builder();
        s.Print((label + " ").c_str());
        b.Emit(OP_LEN, text, None(), value);
        b.Emit(OP_OUTPUT, value);
        s.Print(":");
        for (int i = 0; i < n; ++i) {
            b.Emit(OP_INDEX_READ, text, VInt(i), value);
            b.Emit(OP_ASC, value, None(), value);
            s.Print(" ");
            b.Emit(OP_OUTPUT, value);
        }
        s.Print("\n");
    }
    void ReadPixel(const std::string& label) {
        ShowBytes(label, "glReadPixels", {VInt(0), VInt(0), VInt(1), VInt(1), VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE)}, 3);
    }
    // The output between BEGIN and DONE of the script run in qem.
    std::string Run(const ScratchFolder& scratch, const std::string& name) {
        s.Print("DONE\n");
        return AfterBegin(RunScript(QEM_PROGRAM, scratch, s, name, "DONE\n"), "DONE\n");
    }
    MethodScript s{"ONINIT"};
};

// Runs a script that calls name(args) in qem; its error line.
void ExpectStopsWith(const ScratchFolder& scratch, const std::string& name, const std::vector<Opnd>& args,
                     const std::string& message) {
    Transcript t;
    t.Gl(name, args);
    t.s.Print("DONE\n");
    const std::string error = "\nVirtualMachine ERROR (line 0): " + message + "\n";
    const std::string out = RunScript(QEM_PROGRAM, scratch, t.s, name, error);
    EXPECT_EQ(AfterBegin(out, error), "") << out;
}

}  // namespace

TEST(GLFunctionsScriptProgram, ScriptsDrawAndReadBackThroughGL) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    Transcript t;
    // The clear colour, read back as bytes and as floats; a colour mask of
    // four Bools reads them as 0 and masks every channel.
    t.Gl("glClearColor", {VFloats({0.2f, 0.4f, 0.6f})});
    t.Gl("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    t.ShowBytes("bytes", "glReadPixels", {VInt(0), VInt(0), VInt(1), VInt(2), VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE)},
                6);
    t.Show("floats", "glReadPixels", {VInt(0), VInt(0), VInt(1), VInt(1), VInt(GL_RGB), VInt(GL_FLOAT)});
    t.Gl("glColorMask", {VBool(true), VBool(true), VBool(true), VBool(true)});
    t.Gl("glClearColor", {VInt(1), VInt(1), VInt(1)});
    t.Gl("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    t.ReadPixel("masked");
    t.Get("clear", GL_COLOR_CLEAR_VALUE);
    t.Gl("glColorMask", {VInt(1), VInt(1), VInt(1), VInt(1)});
    t.Gl("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    t.ReadPixel("written");

    // glGet's kinds.
    t.Gl("glViewport", {VFloats({1, 2, 30, 40.9f})});
    t.Get("viewport", GL_VIEWPORT);
    t.Gl("glEnable", {VInt(GL_DEPTH_TEST)});
    t.Get("depthtest", GL_DEPTH_TEST);
    t.Gl("glLineWidth", {VReal(2.5f)});
    t.Get("linewidth", GL_LINE_WIDTH);
    t.Gl("glPolygonMode", {VInt(GL_FRONT_AND_BACK), VInt(GL_LINE)});
    t.Get("polygonmode", GL_POLYGON_MODE);
    t.Gl("glPolygonMode", {VInt(GL_FRONT_AND_BACK), VInt(GL_FILL)});

    // Matrices, colours and the depth mask.
    t.Gl("glMatrixMode", {VInt(GL_MODELVIEW)});
    std::vector<float> twenty;
    for (int i = 1; i <= 20; ++i) twenty.push_back(static_cast<float>(i));
    t.Gl("glLoadMatrix", {VFloats(twenty)});
    t.Get("loaded", GL_MODELVIEW_MATRIX);
    t.Gl("glLoadIdentity");
    t.Gl("glScale", {VInt(2)});
    t.Gl("glTranslate", {VFloats({1, 2})});
    t.Get("moved", GL_MODELVIEW_MATRIX);
    t.Gl("glColor", {VReal(0.25f), VReal(0.5f), VReal(0.75f)});
    t.Get("color3", GL_CURRENT_COLOR);
    t.Gl("glColor", {VReal(0.25f), VReal(0.5f), VReal(0.75f), VReal(0.125f)});
    t.Get("color4", GL_CURRENT_COLOR);
    for (const Opnd& mask : {VBool(true), VInt(0), VInt(1), VReal(0.5f)}) {
        t.Gl("glDepthMask", {mask});
        t.Get("depthmask", GL_DEPTH_WRITEMASK);
    }

    // glFog by the value's type.
    t.Gl("glFog", {VInt(GL_FOG_MODE), VInt(GL_LINEAR)});
    t.Get("fogmode", GL_FOG_MODE);
    t.Gl("glFog", {VInt(GL_FOG_DENSITY), VReal(0.5f)});
    t.Get("fogdensity", GL_FOG_DENSITY);
    t.Gl("glFog", {VInt(GL_FOG_COLOR), VFloats({0.25f, 0.5f, 0.75f})});
    t.Get("fogcolor", GL_FOG_COLOR);

    // Projection through GLU: the origin with identity matrices, then with
    // an all-zero projection, which GLU cannot project.
    t.Gl("glLoadIdentity");
    t.Gl("glMatrixMode", {VInt(GL_PROJECTION)});
    t.Gl("glLoadIdentity");
    t.Gl("glViewport", {VInt(0), VInt(0), VInt(100), VInt(100)});
    t.Show("project", "gluProject", {VFloats({0, 0, 0})});
    t.Gl("glLoadMatrix", {VFloats(std::vector<float>(16, 0.0f))});
    t.Show("zero", "gluProject", {VInt(0), VInt(0), VInt(0)});
    t.Gl("glLoadIdentity");
    t.Gl("glMatrixMode", {VInt(GL_MODELVIEW)});

    t.Show("textures", "glGenTextures", {VInt(3)});
    t.Show("none", "glGenTextures", {VInt(0)});
    t.Gl("glGetError");
    t.Gl("glEnable", {VInt(0x1234)});
    t.Show("error", "glGetError");
    t.Show("cleared", "glGetError");

    const std::string out = t.Run(scratch, "gl");
    const size_t textures = out.find("textures ");
    ASSERT_NE(textures, std::string::npos) << out;
    int names[3] = {};
    EXPECT_EQ(sscanf(out.c_str() + textures, "textures { %d , %d , %d }", &names[0], &names[1], &names[2]), 3)
        << out;
    EXPECT_TRUE(names[0] > 0 && names[1] > 0 && names[2] > 0) << out;
    const size_t none = out.find("none ");
    ASSERT_NE(none, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, textures),
              "bytes 6: 51 102 153 51 102 153\n"
              "floats [ 0.2 , 0.4 , 0.6 ]\n"
              "masked 3: 51 102 153\n"
              "clear [ 1 , 1 , 1 , 1 ]\n"
              "written 3: 255 255 255\n"
              "viewport [ 1 , 2 , 30 , 40 ]\n"
              "depthtest True\n"
              "linewidth 2.5\n"
              "polygonmode [ 6913 , 6913 ]\n"
              "loaded [ 1 , 2 , 3 , 4 , 5 , 6 , 7 , 8 , 9 , 10 , 11 , 12 , 13 , 14 , 15 , 16 ]\n"
              "moved [ 2 , 0 , 0 , 0 , 0 , 2 , 0 , 0 , 0 , 0 , 2 , 0 , 2 , 4 , 0 , 1 ]\n"
              "color3 [ 0.25 , 0.5 , 0.75 , 1 ]\n"
              "color4 [ 0.25 , 0.5 , 0.75 , 0.125 ]\n"
              "depthmask True\ndepthmask False\ndepthmask True\ndepthmask False\n"
              "fogmode 9729\n"
              "fogdensity 0.5\n"
              "fogcolor [ 0.25 , 0.5 , 0.75 , 0 ]\n"
              "project [ 50 , 50 , 0.5 ]\n"
              "zero [ 0 , 0 , 0 ]\n");
    EXPECT_EQ(out.substr(none), "none {  }\nerror 1280\ncleared 0\n");
}

// Uploads, lists, arrays and framebuffers: each read back in the same
// callback.
TEST(GLFunctionsScriptProgram, ScriptsUploadDrawAndRenderIntoFramebuffers) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    Transcript t;
    MethodScript& s = t.s;
    ProgramBuilder& b = s.Builder();
    // The first name of a generator's Array.
    auto first = [&](const std::string& generator) {
        const Opnd names = s.Global(generator, {VInt(1)});
        const Opnd name = s.Local(VInt(0));
        b.Emit(OP_INDEX_READ, names, VInt(0), name);
        return name;
    };
    auto getTexImage = [&](const std::string& label, int32_t target, int32_t format, int32_t width, int32_t height) {
        t.Show(label, "glGetTexImage",
               {VInt(target), VInt(0), VInt(format), VInt(GL_UNSIGNED_BYTE), VInt(width), VInt(height)});
    };

    // Images: a 2 x 2 RGB String, one texel replaced from a String and two
    // from a byteBuffer whose offset stays; 1D and 3D (from a longer String).
    t.Gl("glBindTexture", {VInt(GL_TEXTURE_2D), first("glGenTextures")});
    t.Gl("glTexImage2D", {VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_RGB), VInt(2), VInt(2), VInt(0), VInt(GL_RGB),
                          VInt(GL_UNSIGNED_BYTE), VStr("ABCDEFGHIJKL")});
    getTexImage("image2d", GL_TEXTURE_2D, GL_RGB, 2, 2);
    auto subImage = [&](int32_t x, int32_t y, const Opnd& data) {
        t.Gl("glTexSubImage2D", {VInt(GL_TEXTURE_2D), VInt(0), VInt(x), VInt(y), VInt(1), VInt(1), VInt(GL_RGB),
                                 VInt(GL_UNSIGNED_BYTE), data});
    };
    subImage(1, 0, VStr("xyz"));
    getTexImage("sub", GL_TEXTURE_2D, GL_RGB, 2, 2);
    const Opnd buffer = s.New("BYTEBUFFER", {VInt(5)});
    s.Call(buffer, "SETBUFFER", {VStr("--pqr")});
    s.Call(buffer, "SETOFFSET", {VInt(2)});
    subImage(0, 1, buffer);
    subImage(1, 1, buffer);
    getTexImage("buffer", GL_TEXTURE_2D, GL_RGB, 2, 2);
    t.Gl("glBindTexture", {VInt(GL_TEXTURE_1D), first("glGenTextures")});
    t.Gl("glTexImage1D", {VInt(GL_TEXTURE_1D), VInt(0), VInt(GL_RGBA), VInt(2), VInt(0), VInt(GL_RGBA),
                          VInt(GL_UNSIGNED_BYTE), VStr("abcdefgh")});
    getTexImage("image1d", GL_TEXTURE_1D, GL_RGBA, 2, 1);
    t.Gl("glBindTexture", {VInt(GL_TEXTURE_3D), first("glGenTextures")});
    t.Gl("glTexImage3D", {VInt(GL_TEXTURE_3D), VInt(0), VInt(GL_RGB), VInt(1), VInt(1), VInt(2), VInt(0),
                          VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE), VStr("123456789")});
    getTexImage("image3d", GL_TEXTURE_3D, GL_RGB, 1, 2);

    // Lists called by the bytes of a String and by a Vector: their
    // translations add up in the model-view matrix.
    const Opnd lists = s.Global("glGenLists", {VInt(2)});
    for (int i = 0; i < 2; ++i) {
        t.Gl("glNewList", {s.Plus(lists, i), VInt(GL_COMPILE)});
        t.Gl("glTranslate", {VFloats({i ? 0.0f : 1.0f, i ? 10.0f : 0.0f, 0})});
        t.Gl("glEndList");
    }
    t.Gl("glMatrixMode", {VInt(GL_MODELVIEW)});
    t.Gl("glLoadIdentity");
    t.Gl("glListBase", {s.Plus(lists, -1)});
    t.Gl("glCallLists", {VInt(2), VInt(GL_UNSIGNED_BYTE), VStr("\x01\x02")});
    t.Gl("glListBase", {lists});
    t.Gl("glCallLists", {VInt(3), VInt(GL_FLOAT), VFloats({0, 0, 1})});
    t.Get("lists", GL_MODELVIEW_MATRIX);

    // A quad from a vertex Vector the script then drops, and a triangle of
    // its lower right half by indices.
    for (const int32_t mode : {GL_MODELVIEW, GL_PROJECTION}) {
        t.Gl("glMatrixMode", {VInt(mode)});
        t.Gl("glLoadIdentity");
    }
    for (const int32_t cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_DEPTH_TEST, GL_CULL_FACE, GL_BLEND, GL_FOG})
        t.Gl("glDisable", {VInt(cap)});
    t.Gl("glViewport", {VInt(0), VInt(0), VInt(160), VInt(120)});
    const Opnd quad = s.Local(VFloats({-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0}));
    t.Gl("glVertexPointer", {VInt(3), VInt(GL_FLOAT), VInt(0), quad});
    b.Emit(OP_COPY, VInt(0), None(), quad);
    t.Gl("glEnableClientState", {VInt(GL_VERTEX_ARRAY)});
    t.Gl("glColor", {VInt(1), VInt(0), VInt(0)});
    t.Gl("glDrawArrays", {VInt(GL_QUADS), VInt(0), VInt(4)});
    t.Gl("glColor", {VInt(0), VInt(1), VInt(0)});
    t.Gl("glDrawElements", {VInt(GL_TRIANGLES), VInt(3), VInt(GL_UNSIGNED_INT), VFloats({0, 1, 2})});
    t.Gl("glDisableClientState", {VInt(GL_VERTEX_ARRAY)});
    auto pixel = [&](const std::string& label, int32_t x, int32_t y) {
        t.ShowBytes(label, "glReadPixels", {VInt(x), VInt(y), VInt(1), VInt(1), VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE)},
                    3);
    };
    pixel("upperleft", 10, 110);
    pixel("lowerright", 150, 10);

    // A framebuffer object cleared with a renderbuffer, then with a texture.
    t.Gl("glBindFramebufferEXT", {VInt(GL_FRAMEBUFFER_EXT), first("glGenFramebuffersEXT")});
    const Opnd renderbuffer = first("glGenRenderbuffersEXT");
    t.Gl("glBindRenderbufferEXT", {VInt(GL_RENDERBUFFER_EXT), renderbuffer});
    t.Gl("glRenderbufferStorageEXT", {VInt(GL_RENDERBUFFER_EXT), VInt(GL_RGBA8), VInt(4), VInt(4)});
    t.Gl("glFramebufferRenderbufferEXT", {VInt(GL_FRAMEBUFFER_EXT), VInt(GL_COLOR_ATTACHMENT0_EXT),
                                          VInt(GL_RENDERBUFFER_EXT), renderbuffer});
    t.Gl("glDrawBuffers", {VInt(GL_COLOR_ATTACHMENT0_EXT)});
    t.Gl("glClearColor", {VInt(0), VInt(0), VInt(1)});
    t.Gl("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    pixel("renderbuffer", 1, 1);
    const Opnd texture = first("glGenTextures");
    t.Gl("glBindTexture", {VInt(GL_TEXTURE_2D), texture});
    t.Gl("glTexImage2D", {VInt(GL_TEXTURE_2D), VInt(0), VInt(GL_RGBA), VInt(4), VInt(4), VInt(0), VInt(GL_RGBA),
                          VInt(GL_UNSIGNED_BYTE)});
    t.Gl("glFramebufferTexture2DEXT",
         {VInt(GL_FRAMEBUFFER_EXT), VInt(GL_COLOR_ATTACHMENT0_EXT), VInt(GL_TEXTURE_2D), texture, VInt(0)});
    t.Gl("glClearColor", {VInt(1), VInt(1), VInt(0)});
    t.Gl("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    pixel("texture", 1, 1);
    t.Gl("glBindFramebufferEXT", {VInt(GL_FRAMEBUFFER_EXT), VInt(0)});

    // Texture coordinates per unit: units by number and by enum.
    t.Gl("glActiveTextureARB", {VInt(0)});
    t.Gl("glTexCoord", {VFloats({0.5f, 0.25f, 0.125f})});
    t.Gl("glMultiTexCoordARB", {VInt(GL_TEXTURE1), VReal(0.75f), VReal(0.5f)});
    t.Gl("glActiveTextureARB", {VInt(1)});
    t.Get("unit1", GL_CURRENT_TEXTURE_COORDS);
    t.Gl("glActiveTextureARB", {VInt(GL_TEXTURE0)});
    t.Get("unit0", GL_CURRENT_TEXTURE_COORDS);

    EXPECT_EQ(t.Run(scratch, "upload"),
              "image2d ABCDEFGHIJKL\n"
              "sub ABCxyzGHIJKL\n"
              "buffer ABCxyzpqrpqr\n"
              "image1d abcdefgh\n"
              "image3d 123456\n"
              "lists [ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , 3 , 20 , 0 , 1 ]\n"
              "upperleft 3: 255 0 0\n"
              "lowerright 3: 0 255 0\n"
              "renderbuffer 3: 0 0 255\n"
              "texture 3: 255 255 0\n"
              "unit1 [ 0.75 , 0.5 , 0 , 1 ]\n"
              "unit0 [ 0.5 , 0.25 , 0.125 , 1 ]\n");
}

TEST(GLFunctionsScriptProgram, BadParametersStopTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    std::vector<float> twenty(20, 1.0f);
    ExpectStopsWith(scratch, "glGet", {VInt(GL_COLOR_WRITEMASK)},
                    "GLGET: The argument '1' is not a valid OpenGL constant.");
    ExpectStopsWith(scratch, "glMultMatrix", {VFloats(twenty)},
                    "GLMULTMATRIX: Param n. 1 must be a vector of 16 components length.");
    ExpectStopsWith(scratch, "glFog", {VInt(GL_FOG_MODE), VStr("x")},
                    "GLFOG: Param n. 2 must be a integer or real or vector");
    ExpectStopsWith(scratch, "glTexSubImage2D",
                    {VInt(GL_TEXTURE_2D), VInt(0), VInt(0), VInt(0), VInt(1), VInt(1), VInt(GL_RGB),
                     VInt(GL_UNSIGNED_BYTE), VStr("ab")},
                    "GLTEXSUBIMAGE2D: ITA: le dimensioni indicate non hanno corrispondenza con la lunghezza della "
                    "scringa contenete i dati.");
    ExpectStopsWith(scratch, "glTexImage3D",
                    {VInt(GL_TEXTURE_3D), VInt(0), VInt(GL_RGB), VInt(1), VInt(1), VInt(2), VInt(0), VInt(GL_RGB),
                     VInt(GL_UNSIGNED_BYTE), VStr("12345")},
                    "GLTEXIMAGE3D: buffer too short for the specified internal texture format!");
    ExpectStopsWith(scratch, "glCallLists", {VInt(3), VInt(GL_UNSIGNED_BYTE), VStr("ab")},
                    "GLCALLLISTS: invalid buffer lenght");
}

// The debugger's watch expressions name the GL constants and call glGet.
TEST(GLFunctionsScriptProgram, TheDebuggerEvaluatesGlGetAndTheConstants) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    // gl.qsx: ONFRAME sets the viewport (line 4) and returns (line 5).
    ProgramBuilder b;
    DebugInfoWriter w;
    w.AddFile("gl.qsx");
    auto line = [&](int n) {
        b.Line(n);
        w.AddLine(0, n, b.Here());
    };
    line(1);
    b.Return();
    b.Function("ONFRAME", 0);
    line(4);
    b.CallNative("GLVIEWPORT", {VInt(1), VInt(2), VInt(30), VInt(40)}, None());
    line(5);
    b.Return();
    w.AddRange(0, 0, b.Here() - 1);
    w.FileScope(0).Lines(1, 5).Function("ONFRAME", 0, 4, 5);
    const std::string script = WriteProgram(scratch, "gl.bin", b);
    ASSERT_TRUE(w.Write(script));
    LoopbackListener outputListener;
    const uint16_t commandPort = FreeLoopbackPort(), eventPort = FreeLoopbackPort();
    QemProcess qem(QEM_PROGRAM,
                   {script, "-w", "160", "-h", "120", "-EngineParam",
                    "DBGOUT=" + std::to_string(outputListener.Port()) + ";DBGCMD=" + std::to_string(commandPort) +
                        ";DBGEVT=" + std::to_string(eventPort)},
                   scratch.Make("log.txt"));
    ASSERT_TRUE(qem.Started());
    DebugClient client;
    ASSERT_TRUE(client.Connect(outputListener, commandPort, eventPort));
    ASSERT_TRUE(client.Command("b gl.qsx:5"));
    ASSERT_TRUE(client.Command("c"));
    ASSERT_EQ(client.Event(10s), "Resumed by client\r\n");
    ASSERT_EQ(client.Event(10s), "Breakpoint at gl.qsx:5\r\n");
    ASSERT_TRUE(client.Command("p glGet(GL_VIEWPORT)"));
    EXPECT_EQ(client.Reply(), "[ 1 , 2 , 30 , 40 ]\n");
    ASSERT_TRUE(client.Command("p GL_LIGHT0"));
    EXPECT_EQ(client.Reply(), "16384\n");
    ASSERT_TRUE(client.Command("exit"));
}
