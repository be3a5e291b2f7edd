// Scene nodes end to end: qem runs scripts that place, turn and scale
// CVmObj nodes, build trees, draw them with callbacks that draw and drop
// nodes themselves (reading the pixels back), test segments against a
// billboard node, hand a node to a native library, and misuse the class.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

// A quarter turn about z (column-major): x goes to y, y to -x.
const std::vector<float> kQuarterTurn = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Four equal texels of printable bytes: whatever part of a billboard covers
// a pixel, the pixel reads "x(2".
const std::string kTexels = "x(2~x(2~x(2~x(2~";

std::string RunNodes(const ScratchFolder& scratch, MethodScript& s, const std::string& name) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, s, name, "DONE\n"), "DONE\n");
}

// A billboard of the four texels that covers the whole window in a frame of
// BeginIdentityFrame.
Opnd CoveringBillboard(MethodScript& s) {
    CVmValue bytes;
    bytes.SetString(kTexels.data(), static_cast<int32_t>(kTexels.size()));
    const Opnd texture = s.Global("STORETEXTURE", {VRifStr(s.Builder().Constant(bytes)), VInt(2), VInt(2)});
    const Opnd billboard = s.New("CVMBILLBOARD");
    s.Call(billboard, "SETTEXTURE", {texture});
    s.Builder().Emit(OP_COPY, VInt(0), None(), texture);
    return billboard;
}

// The pixel in the middle of the 160 x 120 window, as 3 bytes.
Opnd MiddlePixel(MethodScript& s) {
    return s.Global("glReadPixels", {VInt(80), VInt(60), VInt(1), VInt(1), VInt(GL_RGB), VInt(GL_UNSIGNED_BYTE)});
}

void Drop(MethodScript& s, const Opnd& local) { s.Builder().Emit(OP_COPY, VInt(0), None(), local); }

}  // namespace

TEST(ObjScriptProgram, NodesPlaceTurnScaleAndTargetTheCamera) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd n = s.New("CVMOBJ");
    s.Call(n, "SETPOSITION", {VFloats({4, 5})});
    t.Show("position", s.Call(n, "GETPOSITION", {}));
    for (const auto& scale : {std::vector<Opnd>{VInt(2)}, std::vector<Opnd>{VFloats({1, 2, 3})},
                              std::vector<Opnd>{VInt(4), VReal(5), VInt(6)}}) {
        s.Call(n, "SETSCALE", scale);
        t.Show("scale", s.Call(n, "GETSCALE", {}));
    }

    const Opnd q = s.Global("NEWOBJECT");
    s.Call(q, "SETROTATIONMATRIX", {VFloats(kQuarterTurn)});
    for (const char* axis : {"GETXAXIS", "GETYAXIS", "GETZAXIS"}) t.Show(axis, s.Call(q, axis, {}));
    s.Call(q, "SETSCALE", {VInt(2)});
    s.Call(q, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
    const Opnd out = s.Local(VInt(0));
    t.Show("world", s.Call(q, "LOCALTOWORLD", {VFloats({1, 0, 0}), out}, 2, out));
    t.Show("out", out);
    // Moves follow the node's own axes.
    s.Call(q, "MOVE", {VFloats({1, 0, 0})});
    t.Show("moved", s.Call(q, "GETPOSITION", {}));
    t.Show("id", s.Call(q, "GETID", {}));
    s.Call(q, "SETID", {VInt(7)});
    t.Show("id", s.Call(q, "GETID", {}));
    t.Show("normalize", s.Call(q, "NORMALIZE", {VInt(1)}));
    t.Show("mesh", s.Call(q, "GETMESH", {VInt(3)}));

    const Opnd terrain = s.New("CVMTERRAIN");
    t.Show("around terrain", s.Global("NEWOBJECT", {terrain}));
    t.Show("made", s.New("CVMOBJ", {terrain}));

    s.Global("CAMERASETTARGET", {n});
    t.Show("target", s.Global("CAMERAGETTARGET"));

    // A native function takes the node behind the object (type 24).
    const Opnd dll = s.New("CVMEXTERNDLL", {VStr(QEM_NATIVE_TEST_LIBRARY)});
    s.Call(dll, "__ADDFUNCTION", {VInt(1), VStr("notnull"), VStr("NotNull"), VInt(24)});
    t.Show("native", s.Call(dll, "NOTNULL", {n}));
    s.Print("DONE\n");

    EXPECT_EQ(RunNodes(scratch, s, "place"),
              "position [ 4 , 5 , 0 ]\nscale [ 2 , 2 , 2 ]\nscale [ 1 , 2 , 3 ]\nscale [ 4 , 5 , 6 ]\n"
              "GETXAXIS [ 0 , 1 , 0 ]\nGETYAXIS [ -1 , 0 , 0 ]\nGETZAXIS [ 0 , 0 , 1 ]\n"
              "world [ 1 , 4 , 3 ]\nout [ 1 , 4 , 3 ]\nmoved [ 1 , 3 , 3 ]\nid -1\nid 7\nnormalize -2\n"
              "mesh Void\naround terrain (Obj:CVmObj)\nmade (Obj:CVmObj)\ntarget [ 4 , 5 , 0 ]\nnative 1\n");
}

// The parent draws a child the script let go of; its pre- and post-draw
// callbacks get their arguments (a material the script let go of still
// answers its class); hidden, it calls and draws nothing.
TEST(ObjScriptProgram, TreesDrawWithTheirCallbacks) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd parent = s.New("CVMOBJ");
    const Opnd placed = s.New("CVMOBJ");
    s.Call(parent, "ADDCHILD", {placed, VInt(1), VInt(2), VInt(3)});
    t.Show("placed", s.Call(placed, "GETPOSITION", {}));
    t.Show("removed", s.Call(parent, "REMOVECHILD", {placed}));
    t.Show("removed", s.Call(parent, "REMOVECHILD", {placed}));

    const Opnd child = s.New("CVMOBJ");
    const Opnd billboard = CoveringBillboard(s);
    s.Call(child, "LINKTOBILLBOARD", {billboard});
    s.Call(parent, "ADDCHILD", {child});
    Drop(s, child);
    Drop(s, billboard);
    const Opnd material = s.Global("NEWMATERIAL");
    s.Call(parent, "LINKTOPRECALLBACK", {VStr("before"), material});
    s.Call(parent, "LINKTOCALLBACK", {VStr("After"), VInt(7)});
    Drop(s, material);

    BeginIdentityFrame(s);
    s.Global("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    t.Show("draw", s.Call(parent, "DRAW", {VInt(0), VInt(0), VInt(0)}));
    t.Show("pixel", MiddlePixel(s));
    // Picking a point left of the viewport draws nothing.
    t.Show("picked", s.Call(parent, "DRAW", {VInt(0x20), VInt(-1), VInt(5)}));
    s.Call(parent, "HIDE", {});
    t.Show("hidden", s.Call(parent, "DRAW", {VInt(0), VInt(0), VInt(0)}));
    t.Show("empty", s.Call(s.New("CVMOBJ"), "DRAW", {VInt(0), VInt(0), VInt(0)}));
    s.Global("SCENEEND");
    s.Print("DONE\n");

    s.Then("BEFORE", 1);
    t.Show("pre", s.Global("GETCLASSNAME", {L(-1)}));
    s.Then("AFTER", 1);
    t.Show("post", L(-1));

    EXPECT_EQ(RunNodes(scratch, s, "tree"),
              "placed [ 1 , 2 , 3 ]\nremoved True\nremoved False\n"
              "pre CVmMaterial\npost 7\ndraw -1\npixel x(2\npicked -1\nhidden 0\nempty -1\n");
}

// Callbacks run script code inside a draw: one drops the node being drawn
// from its parent and lets go of it, another draws a second node (whose own
// callback runs) and lets go of the node whose draw called it. Both dropped
// nodes finish their draw; the sanitizer build checks that nothing is used
// after it is freed.
TEST(ObjScriptProgram, CallbacksDrawAndDropNodesWhileTheyDraw) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    ProgramBuilder& b = s.Builder();
    const Opnd outer = G(b.AddGlobal()), inner = G(b.AddGlobal());
    {
        const Opnd a = s.New("CVMOBJ"), c = s.New("CVMOBJ"), other = s.New("CVMOBJ");
        const Opnd billboard = CoveringBillboard(s);
        s.Call(c, "LINKTOBILLBOARD", {billboard});
        s.Call(a, "ADDCHILD", {c});
        s.Call(c, "LINKTOPRECALLBACK", {VStr("DropChild")});
        s.Call(other, "LINKTOPRECALLBACK", {VStr("Inner"), VStr("other")});
        s.Call(a, "LINKTOCALLBACK", {VStr("Nest"), other});
        b.Emit(OP_COPY, a, None(), outer);
        b.Emit(OP_COPY, c, None(), inner);
        for (const Opnd& local : {a, c, other, billboard}) Drop(s, local);
    }
    BeginIdentityFrame(s);
    s.Global("glClear", {VInt(GL_COLOR_BUFFER_BIT)});
    t.Show("draw", s.Call(outer, "DRAW", {VInt(0), VInt(0), VInt(0)}));
    t.Show("pixel", MiddlePixel(s));
    t.Show("outer", outer);
    s.Global("SCENEEND");
    s.Print("DONE\n");

    s.Then("DROPCHILD", 1);
    t.Show("removed", s.Call(outer, "REMOVECHILD", {inner}));
    b.Emit(OP_COPY, VInt(0), None(), inner);
    s.Then("NEST", 1);
    s.Print("nest\n");
    t.Show("nested draw", s.Call(L(-1), "DRAW", {VInt(0), VInt(0), VInt(0)}));
    b.Emit(OP_COPY, VInt(0), None(), outer);
    s.Then("INNER", 1);
    t.Show("inner", L(-1));

    EXPECT_EQ(RunNodes(scratch, s, "nested"),
              "removed True\nnest\ninner other\nnested draw -1\ndraw -1\npixel x(2\nouter 0\n");
}

TEST(ObjScriptProgram, BillboardNodesAnswerSegments) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd n = s.New("CVMOBJ");
    s.Call(n, "LINKTOBILLBOARD", {s.New("CVMBILLBOARD")});
    s.Call(n, "SETPOSITION", {VInt(10), VInt(0), VInt(0)});
    s.Call(n, "SETID", {VInt(7)});
    const Opnd start = s.Local(VFloats({10.5f, 0.25f, 5})), end = s.Local(VFloats({10.5f, 0.25f, -5}));
    const Opnd point = s.Local(VInt(0)), normal = s.Local(VInt(0)), face = s.Local(VInt(0)), id = s.Local(VInt(0));
    const std::vector<Opnd> outputs = {start, end, point, normal, face, id};
    t.Show("hit", s.Call(n, "ISCOLLIDING", outputs, {{3, point}, {4, normal}, {5, face}, {6, id}}));
    t.Show("point", point);
    t.Show("normal", normal);
    t.Show("id", id);
    s.Call(n, "HIDE", {});
    t.Show("hidden", s.Call(n, "ISCOLLIDING", {start, end}));
    t.Show("hidden tested", s.Call(n, "ISCOLLIDING", {start, end, point, normal, face, id, VBool(false)}));
    t.Show("box only", s.Call(n, "ISCOLLIDINGBBOXONLY", {start, end, VBool(false)}));
    s.Print("DONE\n");

    EXPECT_EQ(RunNodes(scratch, s, "segments"),
              "hit True\npoint [ 10.5 , 0.25 , 0 ]\nnormal [ 0 , 0 , 1 ]\nid 7\nhidden False\nhidden tested True\n"
              "box only False\n");
}

// Each run ends OnInit with its error; OnError still runs, so the engine
// went on. (The other parameter errors: tests/meshes/script/CVmObjTest.)
TEST(ObjScriptProgram, MisuseStopsTheScriptNotTheEngine) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    auto node = [](MethodScript& s) { return s.New("CVMOBJ"); };
    ExpectEachStopsTheScript(QEM_PROGRAM, scratch, {
        {[](MethodScript& s) { s.Global("NEWOBJECT", {VInt(5)}); }, "NEWOBJECT: Invalid param 1: 5"},
        {[&](MethodScript& s) {
             const Opnd n = node(s);
             s.Call(n, "ADDCHILD", {n});
         },
         "ADDCHILD: Param n. 1 is invalid."},
        {[&](MethodScript& s) { s.Call(node(s), "GETMESH", {VInt(-1)}); },
         "GETMESH: This numeric value must be between 0 and 10."},
        {[&](MethodScript& s) { s.Call(node(s), "SETSCALE", {VInt(0)}); }, "SETSCALE: Wrong parameters"},
        {[&](MethodScript& s) { s.Call(node(s), "LINKTOCALLBACK", {VStr("nosuch")}); },
         "LINKTOCALLBACK: 'nosuch' is a invalid function name."},
        {[&](MethodScript& s) { s.Call(node(s), "DRAW", {VInt(0)}); },
         "DRAW: The command must be executed between SceneBegin and SceneEnd."},
    });
}
