// CVmMaterial through scripts run in a machine of the test: what writes do
// to the record's display list, the texture parameters, the texture layers
// and the call modes. Texture records are made by hand, so no GL is needed.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "meshes/script/CVmMaterial.h"
#include "scene/script/CVmTexture.h"
#include "support/MethodScript.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// Records handed to the scripts as TESTTEXTURE(i), and the materials the
// scripts give to KEEP (held until the test clears them).
std::vector<VRTexture*> records;
std::vector<CVmValue> kept;

CVmMaterial* Kept(size_t i) { return static_cast<CVmMaterial*>(kept.at(i).asObject); }

class TestFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("TESTTEXTURE", &TestFunctions::Texture);
        AddFunction("KEEP", &TestFunctions::Keep);
        AddFunction("RECORDED", &TestFunctions::Recorded);
        AddFunction("REMOVE", &TestFunctions::Remove);
        return true;
    }

private:
    void Texture(CVmClassBase*, int) {
        int32_t i;
        if (ReadParams(i)) ReturnObject(new CVmTexture(records.at(static_cast<size_t>(i)), 0));
    }
    void Keep(CVmClassBase*, int) {
        CVmMaterial* m;
        if (!ReadParams(m)) return;
        kept.emplace_back();
        kept.back().SetObject(m);
    }
    // The material's list as drawing leaves it: recorded, with a name.
    void Recorded(CVmClassBase*, int) {
        CVmMaterial* m;
        if (!ReadParams(m)) return;
        m->Material().displayList = 5;
        m->Material().displayListState = kMaterialListValid;
    }
    // What the manager does to a record it frees.
    void Remove(CVmClassBase*, int) {
        int32_t i;
        if (ReadParams(i)) records.at(static_cast<size_t>(i))->removed = true;
    }
};

Opnd Vector(MethodScript& s, std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VRifVec(s.Builder().Constant(v));
}

Opnd Bool(bool b) {
    CVmValue v;
    v.SetBool(b);
    return VValue(v);
}

void Write(MethodScript& s, const Opnd& object, const char* member, const Opnd& value) {
    s.Builder().Emit(OP_MEMBER_WRITE, s.Local(value), I(s.Builder().MethodName(member)), object);
}

Opnd Read(MethodScript& s, const Opnd& object, const char* member) {
    const Opnd v = s.Local(VInt(-1));
    s.Builder().Emit(OP_MEMBER_READ, object, I(s.Builder().MethodName(member)), v);
    return v;
}

class MaterialScriptTest : public ::testing::Test {
protected:
    void TearDown() override {
        kept.clear();
        for (VRTexture* t : records) VRTextureRelease(t);
        records.clear();
    }

    // Runs MAIN as `build` writes it in a new machine; the machine's output.
    static std::string Run(const std::function<void(MethodScript&)>& build) {
        return RunMain(build, {new CVmMaterial::CRegister(), new CVmTexture::CRegister()}, new TestFunctions());
    }

    // The text of an output's first error after its prefix ("" when none).
    static std::string Error(const std::string& output) {
        return FirstError(output);
    }

    // A record named `name`, owned by the test.
    static int32_t AddRecord(const char* name) {
        records.push_back(new VRTexture());
        records.back()->SetName(name);
        return static_cast<int32_t>(records.size() - 1);
    }
};

}  // namespace

// Every write marks a recorded list for recording again, and so does
// ChangeTextureParams in any mode; reads leave it.
TEST_F(MaterialScriptTest, WritesMarkARecordedList) {
    AddRecord("t.png");
    struct Row {
        const char* what;
        std::function<void(MethodScript&, const Opnd&)> act;
        int32_t state;
        std::string error;
    };
    const Row rows[] = {
        {"colour", [](MethodScript& s, const Opnd& m) { Write(s, m, "EMISSION", Vector(s, {1})); }, 2, ""},
        {"shininess", [](MethodScript& s, const Opnd& m) { Write(s, m, "SHININESS", VInt(3)); }, 2, ""},
        {"transparency", [](MethodScript& s, const Opnd& m) { Write(s, m, "TRANSPARENCY", VReal(0.1f)); }, 2, ""},
        {"texture", [](MethodScript& s, const Opnd& m) { s.Call(m, "SETTEXTURE", {VInt(0), VInt(0)}); }, 2, ""},
        {"parameter out of range",
         [](MethodScript& s, const Opnd& m) { s.Call(m, "CHANGETEXTUREPARAMS", {VInt(8), VReal(1), Bool(false)}); }, 2,
         ""},
        {"parameter as a member", [](MethodScript& s, const Opnd& m) { Read(s, m, "CHANGETEXTUREPARAMS"); }, 2,
         "CHANGETEXTUREPARAMS: "},
        {"reads",
         [](MethodScript& s, const Opnd& m) {
             s.Record(Read(s, m, "DIFFUSE"));
             s.Record(s.Call(m, "GETTEXTURENAME", {VInt(0)}));
             s.Record(s.Call(m, "GETDLIST", {}));
         },
         1, ""},
        {"colour that is no vector", [](MethodScript& s, const Opnd& m) { Write(s, m, "AMBIENT", VStr("red")); }, 1,
         "AMBIENT: "},
    };
    for (const Row& row : rows) {
        kept.clear();
        const std::string out = Run([&row](MethodScript& s) {
            const Opnd m = s.New("CVMMATERIAL");
            s.Builder().CallNative("KEEP", {m}, None());
            s.Builder().CallNative("RECORDED", {m}, None());
            row.act(s, m);
        });
        EXPECT_EQ(Error(out), row.error) << row.what << "\n" << out;
        EXPECT_EQ(Kept(0)->Material().displayListState, row.state) << row.what;
    }

    // A material without a list keeps none.
    kept.clear();
    Run([](MethodScript& s) {
        const Opnd m = s.New("CVMMATERIAL");
        s.Builder().CallNative("KEEP", {m}, None());
        Write(s, m, "SHININESS", VInt(3));
        s.Record(s.Call(m, "GETDLIST", {}));
    });
    EXPECT_EQ(Kept(0)->Material().displayListState, kMaterialNoList);
}

TEST_F(MaterialScriptTest, TextureParamsReachTheirLayer) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd m = s.New("CVMMATERIAL");
        s.Builder().CallNative("KEEP", {m}, None());
        s.Call(m, "CHANGETEXTUREPARAMS", {VInt(2), VReal(3), Bool(false)});
        s.Call(m, "CHANGETEXTUREPARAMS", {VInt(6), VReal(1.5f), Bool(true)});
        s.Call(m, "CHANGETEXTUREPARAMS", {VInt(7), VReal(0.25f), Bool(true)});
        s.Call(m, "CHANGETEXTUREPARAMS", {VInt(-1), VReal(9), Bool(false)});
        s.Call(m, "CHANGETEXTUREPARAMS", {VInt(8), VReal(9), Bool(true)});
    });
    EXPECT_EQ(Error(out), "") << out;
    VRMaterial expected;
    expected.layer[0].tiling[0] = 3;
    expected.layer[1].rotation[2] = 1.5f;
    expected.passAlpha[1] = 0.25f;
    const VRMaterial& m = Kept(0)->Material();
    for (int layer : {0, 1}) {
        EXPECT_EQ(std::memcmp(&m.layer[layer], &expected.layer[layer], sizeof m.layer[layer]), 0) << layer;
    }
    EXPECT_EQ(std::memcmp(m.passAlpha, expected.passAlpha, sizeof m.passAlpha), 0);
    EXPECT_TRUE(m.Equals(expected));
}

// The layer shows the texture object's record until the record is freed;
// anything but a texture object clears the layer.
TEST_F(MaterialScriptTest, TextureLayersFollowTheTextureObjects) {
    AddRecord("/data/wood.png");
    AddRecord("/data/stone.png");
    const std::string out = Run([](MethodScript& s) {
        const Opnd m = s.New("CVMMATERIAL");
        s.Builder().CallNative("KEEP", {m}, None());
        s.Call(m, "SETTEXTURE", {s.New("TESTTEXTURE", {VInt(0)}), VInt(3)});
        s.Call(m, "SETTEXTURE", {s.New("TESTTEXTURE", {VInt(1)}), VInt(0)});
        s.Record(s.Call(m, "GETTEXTURENAME", {VInt(1)}));
        s.Record(s.Call(m, "GETTEXTURENAME", {VInt(0)}));
        s.Builder().CallNative("REMOVE", {VInt(1)}, None());
        s.Record(s.Call(m, "GETTEXTURENAME", {VInt(0)}));
        s.Call(m, "SETTEXTURE", {VStr("wood.png"), VInt(-2)});
        s.Record(s.Call(m, "GETTEXTURENAME", {VInt(1)}));
        s.Print("END\n");
    });
    EXPECT_EQ(Error(out), "") << out;
    EXPECT_NE(out.find("/data/wood.png\n/data/stone.png\n\n\nEND"), std::string::npos) << out;
    EXPECT_EQ(Kept(0)->Material().LayerTexture(1), nullptr);
    // The removed record's memory stays while the layer and the texture
    // object last given (which the material holds) refer to it; the other
    // record is the test's alone again.
    EXPECT_EQ(records[1]->references, 3);
    EXPECT_EQ(records[0]->references, 1);
}

// Members answer only member reads and writes, methods only method calls.
TEST_F(MaterialScriptTest, NamesAnswerOnlyInTheirModes) {
    struct Row {
        std::function<void(MethodScript&, const Opnd&)> act;
        std::string error;
    };
    const Row rows[] = {
        {[](MethodScript& s, const Opnd& m) { s.Call(m, "AMBIENT", {}); }, "AMBIENT: "},
        {[](MethodScript& s, const Opnd& m) { s.Call(m, "SHININESS", {}); }, "SHININESS: "},
        {[](MethodScript& s, const Opnd& m) { Read(s, m, "GETDLIST"); }, "GETDLIST: "},
        {[](MethodScript& s, const Opnd& m) { Write(s, m, "SETTEXTURE", VInt(1)); }, "SETTEXTURE: "},
        {[](MethodScript& s, const Opnd& m) { Write(s, m, "TRANSPARENCY", VStr("half")); },
         "TRANSPARENCY: The param n. 1 must be a number."},
    };
    for (const Row& row : rows) {
        const std::string out = Run([&row](MethodScript& s) { row.act(s, s.New("CVMMATERIAL")); });
        EXPECT_EQ(Error(out), row.error) << out;
    }
}
