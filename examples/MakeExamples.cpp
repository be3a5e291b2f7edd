// Writes the bundled example scripts: make_examples <folder>.
//
// hello.bin greets from OnInit, counts frames in OnFrame (a line every 300
// frames), names every character typed and every click in OnEvent, and says
// goodbye from OnExit. Shift+F9 or closing the window ends it.
//
// Every frame it draws, through the script GL functions, a lit cube in six
// colours that turns about a tilted axis, seen by a camera of its own and
// lit by a light it places; a round billboard (a texture the script makes
// from its own bytes) flies around the cube along a closed curve, and a text
// overlay in the outline font names the example. Nothing is read from files.
#include <GL/gl.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/ProgramBuilder.h"

using namespace qemtest;

namespace {

void Print(ProgramBuilder& b, const char* text) { b.Emit(OP_OUTPUT, VStr(text)); }
void Call(ProgramBuilder& b, const char* name, const std::vector<Opnd>& args = {}) {
    b.CallNative(name, args, None());
}

// The billboard's picture: an orange disc with a darker rim on transparent
// texels, RGBA, row by row.
std::string Sprite(int size) {
    std::string bytes;
    const float middle = (size - 1) / 2.0f, radius = size / 2.0f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = x - middle, dy = y - middle, d2 = dx * dx + dy * dy;
            const bool inside = d2 <= radius * radius, rim = d2 >= (radius - 2) * (radius - 2);
            const unsigned char texel[4] = {static_cast<unsigned char>(rim ? 200 : 255),
                                            static_cast<unsigned char>(rim ? 90 : 170), 40,
                                            static_cast<unsigned char>(inside ? 255 : 0)};
            bytes.append(reinterpret_cast<const char*>(texel), 4);
        }
    return bytes;
}

// The cube's faces: normal, colour, and four corners counter-clockwise seen
// from outside.
struct Face {
    float normal[3], colour[3], corners[4][3];
};
const Face kCube[] = {
    {{0, 0, 1}, {0.9f, 0.2f, 0.2f}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1}, {0.2f, 0.8f, 0.3f}, {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}},
    {{1, 0, 0}, {0.2f, 0.4f, 0.9f}, {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}},
    {{-1, 0, 0}, {0.9f, 0.8f, 0.2f}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
    {{0, 1, 0}, {0.8f, 0.3f, 0.9f}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
    {{0, -1, 0}, {0.2f, 0.9f, 0.9f}, {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}},
};

// The billboard's path: (key, x, y, z) points, the last one back at the
// first, so it closes.
const std::vector<float> kPath = {0,   2.6f, 0.2f, 0,     250, 0,     0.9f, -2.6f, 500, -2.6f, -0.2f, 0,
                                  750, 0,    -0.9f, 2.6f, 998, 2.6f,  0.2f, 0};

std::vector<uint8_t> Hello() {
    ProgramBuilder b;
    const int frames = b.AddGlobal(), camera = b.AddGlobal(), light = b.AddGlobal(), text = b.AddGlobal(),
              sprite = b.AddGlobal(), billboard = b.AddGlobal(), path = b.AddGlobal();
    b.Emit(OP_COPY, VInt(0), None(), G(frames));
    b.Return();

    b.Function("ONINIT", 1);
    {
        Print(b, "\nHello from the example script. Type keys or click; Shift+F9 quits.\n");
        Call(b, "SETCLEARCOLOR", {VReal(0.08f), VReal(0.1f), VReal(0.18f)});
        b.CallNative("CVMCAMERA", {}, G(camera));
        b.CallMethod(G(camera), "SETPOSITION", {VFloats({0, 2.5f, 7})}, None());
        b.CallMethod(G(camera), "SETTARGET", {VFloats({0, 0, 0})}, None());
        b.CallNative("CVMLIGHT", {}, G(light));
        b.CallMethod(G(light), "SETPOSITION", {VFloats({4, 6, 8})}, None());
        b.CallMethod(G(light), "SETDIFFUSE", {VFloats({1, 0.95f, 0.85f})}, None());
        b.CallMethod(G(light), "ENABLE", {}, None());
        b.CallNative("NEWTEXT", {}, G(text));
        b.CallMethod(G(text), "LOAD", {VStr("qem: a lit cube, a light, a camera, a billboard on a curve")}, None());
        b.CallMethod(G(text), "SETPOSITION", {VFloats({0.6f, 0.6f, 0})}, None());
        b.CallMethod(G(text), "SETSCALE", {VReal(0.9f)}, None());
        b.CallMethod(G(text), "SETCOLOR", {VReal(1), VReal(1), VReal(0.6f)}, None());
        CVmValue texels;
        const std::string bytes = Sprite(16);
        texels.SetString(bytes.data(), static_cast<int32_t>(bytes.size()));
        b.CallNative("STORETEXTURE", {VRifStr(b.Constant(texels)), VInt(16), VInt(16)}, G(sprite));
        b.CallNative("CVMBILLBOARD", {}, G(billboard));
        b.CallMethod(G(billboard), "SETTEXTURE", {G(sprite)}, None());
        b.CallMethod(G(billboard), "SETSIZE", {VReal(0.8f), VReal(0.8f)}, None());
        b.CallNative("NEWCURVE", {VFloats(kPath)}, G(path));
        b.Return();
    }

    b.Function("ONFRAME", 0);
    {
        b.Emit(OP_RESERVE, I(2));
        Label skip = b.NewLabel();
        b.Emit(OP_INC, G(frames));
        b.Emit(OP_MOD, G(frames), I(300), L(1));
        b.Emit(OP_JUMP_NE, L(1), I(0), At(skip));
        Print(b, "frame ");
        b.Emit(OP_OUTPUT, G(frames));
        Print(b, "\n");
        b.Bind(skip);

        Call(b, "SCENEBEGIN", {G(camera)});
        Call(b, "GLENABLE", {VInt(GL_COLOR_MATERIAL)});
        // The cube, turned a degree a frame.
        Call(b, "GLPUSHMATRIX");
        b.Emit(OP_MOD, G(frames), I(360), L(1));
        Call(b, "GLROTATE", {L(1), VFloats({1, 2, 0.5f})});
        Call(b, "GLBEGIN", {VInt(GL_QUADS)});
        for (const Face& f : kCube) {
            Call(b, "GLNORMAL", {VFloats({f.normal[0], f.normal[1], f.normal[2]})});
            Call(b, "GLCOLOR", {VFloats({f.colour[0], f.colour[1], f.colour[2]})});
            for (const auto& c : f.corners) Call(b, "GLVERTEX", {VFloats({c[0], c[1], c[2]})});
        }
        Call(b, "GLEND");
        Call(b, "GLPOPMATRIX");
        // White again, for the billboard's texels.
        Call(b, "GLCOLOR", {VFloats({1, 1, 1})});
        Call(b, "GLDISABLE", {VInt(GL_COLOR_MATERIAL)});

        // The billboard, three samples of its path further each frame.
        b.Emit(OP_MUL, G(frames), I(3), L(1));
        b.Emit(OP_MOD, L(1), I(999), L(1));
        b.CallMethod(G(path), "GETPOSITION", {L(1)}, L(2));
        b.CallMethod(G(billboard), "SETPOSITION", {L(2)}, None());
        b.CallMethod(G(billboard), "DRAW", {VInt(0x10), VInt(0)}, None());  // wrap clamped

        // The overlay: the text in a 32 x 24 screen, over everything.
        Call(b, "GLMATRIXMODE", {VInt(GL_PROJECTION)});
        Call(b, "GLLOADIDENTITY");
        Call(b, "GLORTHO", {VInt(0), VInt(32), VInt(0), VInt(24), VInt(-1), VInt(1)});
        Call(b, "GLMATRIXMODE", {VInt(GL_MODELVIEW)});
        Call(b, "GLLOADIDENTITY");
        Call(b, "GLDISABLE", {VInt(GL_DEPTH_TEST)});
        b.CallMethod(G(text), "DRAW", {VInt(0)}, None());
        Call(b, "GLENABLE", {VInt(GL_DEPTH_TEST)});
        Call(b, "SCENEEND");
        b.Return();
    }

    b.Function("ONEVENT", 3);  // message, argument 1, argument 2
    {
        b.Emit(OP_RESERVE, I(1));
        Label notChar = b.NewLabel(), notClick = b.NewLabel();
        b.Emit(OP_JUMP_NE, L(-1), I(258), At(notChar));
        Print(b, "key '");
        b.Emit(OP_CHAR, L(-2), None(), L(1));
        b.Emit(OP_OUTPUT, L(1));
        Print(b, "' typed\n");
        b.Return();
        b.Bind(notChar);
        b.Emit(OP_JUMP_NE, L(-1), I(513), At(notClick));
        Print(b, "click\n");
        b.Bind(notClick);
        b.Return();
    }

    b.Function("ONEXIT", 0);
    Print(b, "\nGoodbye.\n");
    b.Return();

    for (const char* quiet : {"ONDOWNLOAD", "ONTIMER", "DOWNLOADREADY", "ONERROR"}) {
        b.Function(quiet, 0);
        b.Return();
    }
    return b.WriteFile();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples <folder>\n");
        return 2;
    }
    const std::vector<uint8_t> hello = Hello();
    std::ofstream(std::string(argv[1]) + "/hello.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(hello.data()), static_cast<std::streamsize>(hello.size()));
    return 0;
}
