// CVmObj in a machine of the test: parameter errors, the classes of meshes
// and sounds plugged in through CVmObj's registrations (test doubles stand
// in for CVmMesh, CVmNewMesh and CVmVRAWav), and objects that show a node
// owned elsewhere. Drawing through qem is in tests/host/ObjScriptProgramTest.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "meshes/script/CVmBillboard.h"
#include "meshes/script/CVmMaterial.h"
#include "meshes/script/CVmObj.h"
#include "platform/Thread.h"
#include "support/GlSceneFixture.h"
#include "support/GlobalCalls.h"
#include "support/MethodScript.h"
#include "support/StandInEngine.h"
#include "support/TaggedLodMesh.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// The engine's message texts, and host calls registered under the calling
// thread as the engine machine's are (callbacks find their machine so).
class NodeMachine : public EngineMessagesMachine {
    uint32_t ThreadId() override { return CurrentThreadId(); }
};

// Script objects named as the classes of meshes: one that owns its mesh, or
// one made by CVmObj's GetMesh around a node's mesh, holding its keeper.
class FakeMesh : public CVmClassBase {
public:
    FakeMesh(const char* name, int32_t tag) : name(name), owned(tag), mesh(&owned) {}
    FakeMesh(const char* name, VRObjLodMesh* shown, CVmClassBase* keeper) : name(name), owned(0), mesh(shown) {
        m_flag = 0;
        holder.SetObject(keeper);
    }
    const char* ClassName() override { return name; }
    const char* name;
    TaggedLodMesh owned;
    VRObjLodMesh* mesh;
    CVmValue holder;
};

class NamedRegister : public CVmRegisterClass {
public:
    explicit NamedRegister(const char* name) : m_name(name) {}
    const char* GetClassName() override { return m_name; }

private:
    const char* m_name;
};

// A sound: where nodes carried it, and whether the back end takes it.
class FakeSound : public CVmClassBase {
public:
    const char* ClassName() override { return "CVmVRAWav"; }
    std::vector<float> moves;
    int32_t answer = 0;
};

int32_t MoveSound(CVmClassBase* sound, const float* p) {
    auto* s = static_cast<FakeSound*>(sound);
    s->moves.insert(s->moves.end(), p, p + 3);
    return s->answer;
}

VRObjLodMesh* LodMeshOf(CVmClassBase* o) {
    auto* m = dynamic_cast<FakeMesh*>(o);
    return m && std::strcmp(m->name, "CVmMesh") == 0 ? m->mesh : nullptr;
}

CVmClassBase* WrapLodMesh(VRObjLodMesh* mesh, CVmClassBase* keeper) { return new FakeMesh("CVmMesh", mesh, keeper); }

// The plugged classes for one test; none again afterwards.
struct PluggedFakes {
    PluggedFakes() {
        CVmObj::RegisterLodMeshClass({&LodMeshOf, &WrapLodMesh});
        CVmObj::RegisterSoundClass({"CVmVRAWav", &MoveSound});
    }
    ~PluggedFakes() {
        CVmObj::RegisterLodMeshClass({});
        CVmObj::RegisterSoundClass({});
    }
};

// What the scripts get from the test: MESH(tag), SOUND(), FOREIGN() (an
// object showing `foreignNode`, kept by `keeper`), KEEP(value) and
// REFUSE(sound) (its back end refuses positions from then on).
VRObj* foreignNode = nullptr;
CVmClassBase* keeper = nullptr;
std::vector<CVmValue> kept;

class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("MESH", &TestFunctions::Mesh);
        AddFunction("SOUND", &TestFunctions::Sound);
        AddFunction("FOREIGN", &TestFunctions::Foreign);
        AddFunction("KEEP", &TestFunctions::Keep);
        AddFunction("REFUSE", &TestFunctions::Refuse);
        return true;
    }

private:
    void Mesh(CVmClassBase*, int) { ReturnObject(new FakeMesh("CVmMesh", GetParamInt(1))); }
    void Sound(CVmClassBase*, int) { ReturnObject(new FakeSound()); }
    void Foreign(CVmClassBase*, int) { ReturnObject(new CVmObj(foreignNode, keeper)); }
    void Keep(CVmClassBase*, int) { kept.push_back(*GetParam(1)); }
    void Refuse(CVmClassBase*, int) { static_cast<FakeSound*>(GetParam(1)->asObject)->answer = 1; }
};

CallOutcome RunNodes(MethodScript& s) {
    NodeMachine vm;
    for (CVmRegisterClass* c : std::vector<CVmRegisterClass*>{
             new CVmObj::CRegister(), new CVmMaterial::CRegister(), new CVmBillboard::CRegister(),
             new NamedRegister("CVmMesh"), new NamedRegister("CVmVRAWav")})
        vm.RegisterClass(c);
    vm.RegisterFunctions(new TestFunctions());
    return RunScript(vm, s);
}

}  // namespace

// Each case stops its script with the line shown.
TEST(CVmObjScript, ParameterErrorsStopTheScript) {
    StandInEngine engine;
    struct Row {
        std::function<void(MethodScript&)> build;
        std::string error;
    };
    auto node = [](MethodScript& s) { return s.New("CVMOBJ"); };
    const Row rows[] = {
        {[](MethodScript& s) { s.New("CVMOBJ", {VReal(2.5f)}); }, "CVMOBJ: Invalid param 1: 2.5"},
        {[](MethodScript& s) { s.New("CVMOBJ", {VStr("tree.aam")}); },
         "CVMOBJ: Nodes from model files are not available yet."},
        {[&](MethodScript& s) {
             const Opnd a = node(s), b = node(s), c = node(s);
             s.Call(a, "ADDCHILD", {b});
             s.Call(b, "ADDCHILD", {c});
             s.Call(c, "ADDCHILD", {a});
         },
         "ADDCHILD: Param n. 1 is invalid."},
        {[&](MethodScript& s) {
             const Opnd a = node(s), b = node(s);
             s.Call(a, "ADDCHILD", {b});
             s.Call(a, "ADDCHILD", {b});
         },
         "ADDCHILD: Param n. 1 is invalid."},
        {[&](MethodScript& s) { s.Call(node(s), "ADDCHILD", {s.New("CVMMATERIAL")}); }, "ADDCHILD: "},
        {[&](MethodScript& s) { s.Call(node(s), "REMOVECHILD", {VInt(1)}); }, "REMOVECHILD: "},
        {[&](MethodScript& s) { s.Call(node(s), "LINKTOBILLBOARD", {node(s)}); }, "LINKTOBILLBOARD: "},
        {[&](MethodScript& s) { s.Call(node(s), "GETMESH", {VInt(10)}); },
         "GETMESH: This numeric value must be between 0 and 10."},
        {[&](MethodScript& s) { s.Call(node(s), "SETSCALE", {VFloats({1, 2, 3, 4})}); }, "SETSCALE: Wrong parameters"},
        {[&](MethodScript& s) { s.Call(node(s), "SETSCALE", {VInt(1), VInt(2)}); }, "SETSCALE: Wrong parameters"},
        {[&](MethodScript& s) { s.Call(node(s), "SETSCALE", {}); }, "SETSCALE: Wrong parameters"},
        {[&](MethodScript& s) { s.Call(node(s), "LINKTOPRECALLBACK", {VInt(3)}); },
         "LINKTOPRECALLBACK: Param n. 1 must be a string."},
        {[&](MethodScript& s) { s.Call(node(s), "SETROTATIONMATRIX", {VFloats({1, 2})}); },
         "SETROTATIONMATRIX: Param n. 1 must be a vector of 16 components length."},
        {[&](MethodScript& s) { s.Call(node(s), "MODULATEMATERIALS", {VFloats({1, 2})}); },
         "MODULATEMATERIALS: Param n. 1 must be a vector of 3 or 4 components length."},
        {[&](MethodScript& s) { s.Call(node(s), "MODULATEMATERIALS", {VInt(1), VInt(2)}); },
         "MODULATEMATERIALS: Wrong parameters"},
        {[&](MethodScript& s) { s.Call(node(s), "LOCALTOWORLD", {VInt(1)}); },
         "LOCALTOWORLD: param n. 1 and 2 must be a 3-dim vector."},
        {[&](MethodScript& s) { s.Call(node(s), "ISCOLLIDING", {VFloats({1}), VInt(2)}); },
         "ISCOLLIDING: param n. 1 and 2 must be a 3 dim vector."},
        {[&](MethodScript& s) { s.Call(node(s), "ISCOLLIDINGBBOXONLY", {VInt(1), VFloats({1})}); },
         "ISCOLLIDINGBBOXONLY: param n. 1 and 2 must be a 3 dim vector."},
        {[&](MethodScript& s) { s.Call(node(s), "LINKTOMESH", {node(s)}); },
         "LINKTOMESH: This method is not available yet."},
        {[&](MethodScript& s) { s.Call(node(s), "LINKTOWAV", {node(s)}); },
         "LINKTOWAV: This method is not available yet."},
        {[&](MethodScript& s) { s.Call(node(s), "DRAW", {}); },
         "DRAW: The command must be executed between SceneBegin and SceneEnd."},
    };
    for (const Row& row : rows) {
        MethodScript s("MAIN");
        row.build(s);
        const CallOutcome o = RunNodes(s);
        EXPECT_TRUE(o.error) << row.error;
        EXPECT_EQ(FirstError(o.output), row.error) << o.output;
    }

    // Methods other than the getters want a method call.
    MethodScript s("MAIN");
    const Opnd n = s.New("CVMOBJ");
    const Opnd position = s.Local(VInt(0));
    s.Builder().Emit(OP_MEMBER_READ, n, I(s.Builder().MethodName("GETPOSITION")), position);
    s.Record(position);
    s.Builder().Emit(OP_MEMBER_READ, n, I(s.Builder().MethodName("GETID")), position);
    s.Print("not reached\n");
    const CallOutcome o = RunNodes(s);
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.output.substr(0, 14), "[ 0 , 0 , 0 ]\n") << o.output;
    EXPECT_EQ(o.output.find("not reached"), std::string::npos) << o.output;
}

// With a class of meshes plugged in, the mesh forms make nodes around the
// objects' meshes, which the nodes hold; GetMesh wraps them in new objects
// that keep the node's object alive.
class CVmObjMeshes : public GlSceneFixture {};

TEST_F(CVmObjMeshes, PluggedMeshClassesLinkDrawAndWrap) {
    if (IsSkipped()) return;
    StandInEngine engine;
    engine.Scene().inScene = 1;
    PluggedFakes plugged;
    kept.clear();
    MethodScript s("MAIN");
    const Opnd mesh = s.Global("MESH", {VInt(2)});
    const Opnd node = s.New("CVMOBJ", {mesh});
    s.Builder().Emit(OP_COPY, VInt(0), None(), mesh);
    s.Record(s.Call(node, "DRAW", {VInt(0), VInt(0), VInt(0)}));
    // The constructor's mesh is level 0 without a level count: the first
    // link takes its place, the next one is level 1.
    s.Call(node, "LINKTOMESH", {s.Global("MESH", {VInt(5)})});
    s.Call(node, "LINKTOMESH", {s.Global("MESH", {VInt(7)}), VInt(100)});
    s.Global("KEEP", {s.Call(node, "GETMESH", {VInt(0)})});
    s.Global("KEEP", {s.Call(node, "GETMESH", {VInt(1)})});
    s.Record(s.Call(node, "GETMESH", {VInt(2)}));
    s.Call(node, "LINKTOMESH", {VInt(1)});  // no mesh: the bare error
    const CallOutcome o = RunNodes(s);
    EXPECT_EQ(o.output.substr(0, 7), "2\nVoid\n");
    EXPECT_EQ(FirstError(o.output), "LINKTOMESH: ");
    ASSERT_EQ(kept.size(), 2u);
    // The wrappers show the meshes the node links, and keep its object (the
    // script's is gone with the machine).
    auto* level0 = static_cast<FakeMesh*>(kept[0].asObject);
    auto* level1 = static_cast<FakeMesh*>(kept[1].asObject);
    ASSERT_NE(level0, nullptr);
    ASSERT_NE(level1, nullptr);
    EXPECT_EQ(level0->mesh->Inspect(0, 0, 0), 5);
    EXPECT_EQ(level1->mesh->Inspect(0, 0, 0), 7);
    auto* owner = dynamic_cast<CVmObj*>(level0->holder.asObject);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(owner->Node().lodCount, 2);
    EXPECT_EQ(owner->Node().lodMeshes[1], level1->mesh);
    kept.clear();
}

// A linked sound follows SetPosition and Translate (not Move); a back end
// that refuses the position stops the script.
TEST(CVmObjScript, LinkedSoundsFollowTheNode) {
    StandInEngine engine;
    PluggedFakes plugged;
    kept.clear();
    MethodScript s("MAIN");
    const Opnd node = s.New("CVMOBJ");
    const Opnd sound = s.Global("SOUND");
    s.Global("KEEP", {sound});
    s.Call(node, "LINKTOWAV", {sound});
    s.Call(node, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
    s.Call(node, "TRANSLATE", {VFloats({1, 0, 0})});
    s.Call(node, "MOVE", {VFloats({1, 0, 0})});
    s.Global("REFUSE", {sound});
    s.Call(node, "SETPOSITION", {VInt(7), VInt(8), VInt(9)});
    s.Print("not reached\n");
    const CallOutcome o = RunNodes(s);
    EXPECT_EQ(FirstError(o.output), "SETPOSITION: ");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(static_cast<FakeSound*>(kept[0].asObject)->moves, (std::vector<float>{1, 2, 3, 2, 2, 3, 7, 8, 9}));
    kept.clear();

    MethodScript other("MAIN");
    other.Call(other.New("CVMOBJ"), "LINKTOWAV", {other.New("CVMOBJ")});
    EXPECT_EQ(FirstError(RunNodes(other).output), "LINKTOWAV: ");
}

// An object showing a node owned elsewhere holds the node's owner; when it
// goes, so do the children, links and callbacks it gave the node, and the
// owner is let go.
TEST(CVmObjScript, WrappersOfForeignNodesTakeBackWhatTheyGave) {
    StandInEngine engine;
    VRObj foreign;
    VRObj stays;
    foreign.AddChild(&stays, 0, 0, 0);
    CVmValue owner;
    owner.SetObject(new CVmMaterial());
    foreignNode = &foreign;
    keeper = owner.asObject;
    MethodScript s("MAIN");
    const Opnd w = s.Global("FOREIGN");
    s.Call(w, "ADDCHILD", {s.New("CVMOBJ"), VInt(1), VInt(2), VInt(3)});
    s.Call(w, "LINKTOBILLBOARD", {s.New("CVMBILLBOARD")});
    s.Call(w, "LINKTOCALLBACK", {VStr("MAIN")});
    s.Call(w, "LINKTOPRECALLBACK", {VStr("MAIN")});
    s.Call(w, "SETPOSITION", {VInt(4), VInt(5), VInt(6)});
    s.Record(s.Call(s.Global("FOREIGN"), "GETPOSITION", {}));
    const CallOutcome o = RunNodes(s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.output, "[ 4 , 5 , 6 ]\n");
    EXPECT_EQ(foreign.childCount, 1);
    EXPECT_EQ(foreign.children[0], &stays);
    EXPECT_EQ(foreign.billboard, nullptr);
    EXPECT_EQ(foreign.postCallback, nullptr);
    EXPECT_EQ(foreign.preCallback, nullptr);
    EXPECT_EQ(owner.asObject->m_refCount, 1);
    foreignNode = nullptr;
    keeper = nullptr;
}
