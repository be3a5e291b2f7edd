// CVmTexture through scripts run in a machine of the test, over the shared
// texture manager and a GL window: constructors, lifetimes of the records
// the objects show, slices and the call modes.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "scene/script/CVmTexture.h"
#include "support/ImageFiles.h"
#include "support/MethodScript.h"
#include "support/TextureFixture.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// Records the test makes outside the scripts, handed to them as
// TESTTEXTURE(i): a CVmTexture over records[i].
std::vector<VRTexture*> records;

class TestTextures : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("TESTTEXTURE", &TestTextures::Make);
        AddFunction("ENDMANAGER", &TestTextures::EndManager);
        return true;
    }

private:
    void EndManager(CVmClassBase*, int) { EndSharedTextureManager(); }
    void Make(CVmClassBase*, int) {
        int32_t i;
        if (ReadParams(i)) ReturnObject(new CVmTexture(records.at(static_cast<size_t>(i)), 0));
    }
};

uint8_t* Bytes(const std::vector<uint8_t>& v) {
    auto* p = static_cast<uint8_t*>(std::malloc(v.size()));
    std::memcpy(p, v.data(), v.size());
    return p;
}

Opnd Vector(MethodScript& s, std::vector<float> values) {
    CVmValue v;
    v.SetVector(values.data(), static_cast<int32_t>(values.size()));
    return VRifVec(s.Builder().Constant(v));
}

class TextureScriptTest : public TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        if (IsSkipped()) return;
        // The script class works on the shared manager.
        manager.reset();
        shared = SharedTextureManager();
        records.clear();
    }

    void TearDown() override {
        EndSharedTextureManager();
        records.clear();
        TextureFixture::TearDown();
    }

    // Runs MAIN as `build` writes it in a new machine; the machine's output
    // (each record on a line, the errors after the prefix).
    std::string Run(const std::function<void(MethodScript&)>& build) {
        return RunMain(build, {new CVmTexture::CRegister()}, new TestTextures());
    }

    // The record lines of an output, up to its first error.
    static std::vector<std::string> Lines(const std::string& output) {
        std::vector<std::string> lines;
        const size_t error = output.find("ERROR");
        std::istringstream in(error == std::string::npos ? output : output.substr(0, output.rfind('\n', error)));
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(line);
        return lines;
    }

    // The text of an output's first error after its prefix, or "".
    static std::string Error(const std::string& output) {
        return FirstError(output);
    }

    // A record of w x h x channels bytes of one value, not uploaded.
    VRTexture* InMemory(const char* name, int32_t w, int32_t h, int32_t channels, uint8_t value) {
        const size_t n = static_cast<size_t>(w * h * channels);
        return shared->CreateTextureFromBuffer(name, Bytes(std::vector<uint8_t>(n, value)), w, h, channels,
                                               kTexKeepSize | kTexNoMipmaps, 0, 0);
    }

    bool Listed(const VRTexture* t) const {
        for (const VRTexture* r = shared->First(); r; r = r->next)
            if (r == t) return true;
        return false;
    }

    VRTextureManager* shared = nullptr;
};

}  // namespace

// Two objects of one file show one record; the constructor uploads it on
// unit 0 with nearest filtering; Free reaches every object of the record and
// the file then loads as a new record.
TEST_F(TextureScriptTest, FreeReachesEveryObjectOfTheRecord) {
    Write("a.ppm", PpmBytes(2, 2, std::vector<uint8_t>(12, 9)));
    const std::string out = Run([](MethodScript& s) {
        const Opnd a = s.New("CVMTEXTURE", {VStr("a.ppm")});
        const Opnd b = s.New("CVMTEXTURE", {VStr("a.ppm")});
        s.Record(s.Call(a, "NAME", {}));
        s.Record(s.Call(b, "NAME", {}));
        s.Record(s.Call(b, "ID", {}));
        s.Call(a, "FREE", {});
        const Opnd again = s.New("CVMTEXTURE", {VStr("a.ppm")});
        s.Record(s.Call(again, "NAME", {}));
        s.Call(b, "WIDTH", {});
    });
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 4u) << out;
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_NE(lines[2], "0");
    EXPECT_NE(lines[3], lines[0]);
    EXPECT_EQ(Error(out), "WIDTH: The texture has been freed.");
    EXPECT_FALSE(glIsTexture(static_cast<GLuint>(std::stoi(lines[2]))));

    // The new record is the one bound on unit 0, with nearest filtering.
    VRTexture* t = shared->BoundTexture(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::to_string(t->serial), lines[3]);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
}

// Objects without a record: a load that gave none, a record gone with the
// manager, and a record the manager does not list (a render target's), which
// Free leaves alone.
TEST_F(TextureScriptTest, ObjectsWithoutARecordReportIt) {
    Write("a.ppm", PpmBytes(2, 2, std::vector<uint8_t>(12, 9)));
    VRTexture outside;  // the manager does not list it
    outside.width = 16;
    records = {&outside};
    struct Row {
        std::function<void(MethodScript&)> build;
        std::string error;
    };
    const Row rows[] = {
        {[](MethodScript& s) { s.Call(s.New("CVMTEXTURE", {VStr("missing.png")}), "ID", {}); },
         "ID: The texture was not loaded."},
        {[](MethodScript& s) { s.Call(s.New("CVMTEXTURE", {VInt(4), VInt(4), VInt(0)}), "NAME", {}); },
         "NAME: The texture was not loaded."},
        {[](MethodScript& s) {
             s.Call(s.New("CVMTEXTURE", {VInt(4), VInt(4), VInt(7)}), "ADDSLICE", {VStr("a.ppm")});
         },
         "ADDSLICE: The texture was not loaded."},
        {[](MethodScript& s) {
             const Opnd t = s.New("TESTTEXTURE", {VInt(0)});
             s.Record(s.Call(t, "WIDTH", {}));
             s.Call(t, "FREE", {});
         },
         "FREE: The texture of a render target cannot be freed."},
    };
    for (const Row& row : rows) {
        const std::string out = Run(row.build);
        EXPECT_EQ(Error(out), row.error) << out;
    }
    EXPECT_FALSE(outside.removed);
    // Type 0 makes no record and says nothing; the missing file warned once.
    EXPECT_EQ(warnings.size(), 1u);

    // The manager's end empties every object.
    const std::string out = Run([](MethodScript& s) {
        const Opnd t = s.New("CVMTEXTURE", {VStr("a.ppm")});
        s.Record(s.Call(t, "DEPTH", {}));
        s.Builder().CallNative("ENDMANAGER", {}, None());
        s.Call(t, "DEPTH", {});
    });
    EXPECT_EQ(Lines(out), std::vector<std::string>{"1"}) << out;
    EXPECT_EQ(Error(out), "DEPTH: The texture has been freed.");
}

// The slices a texture in memory takes: objects and files of its size,
// stacked in order; a file record loaded for the call goes with it, one
// loaded before stays.
TEST_F(TextureScriptTest, AddSliceStacksPicturesOfTheSameSize) {
    Write("s.ppm", PpmBytes(2, 2, std::vector<uint8_t>(12, 3)));
    Write("kept.ppm", PpmBytes(2, 2, std::vector<uint8_t>(12, 4)));
    records = {InMemory("base", 2, 2, 3, 1), InMemory("slice", 2, 2, 3, 2)};
    VRTexture* kept = shared->GetTexture("kept.ppm", 0);
    ASSERT_NE(kept, nullptr);
    const std::string out = Run([](MethodScript& s) {
        const Opnd t = s.New("TESTTEXTURE", {VInt(0)});
        s.Record(s.Call(t, "ADDSLICE", {s.New("TESTTEXTURE", {VInt(1)})}));
        s.Call(t, "ADDSLICE", {VStr("s.ppm")});
        s.Call(t, "ADDSLICE", {VStr("kept.ppm")});
        s.Call(t, "ADDSLICE", {VStr("missing.ppm")});
        s.Record(s.Call(t, "DEPTH", {}));
        s.Call(t, "ADDSLICE", {t});  // its own first picture
        s.Record(s.Call(t, "DEPTH", {}));
    });
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"Void", "4", "5"})) << out;
    EXPECT_EQ(Error(out), "");
    VRTexture* t = records[0];
    std::vector<uint8_t> expected;
    for (uint8_t v : {1, 2, 3, 4, 1}) expected.insert(expected.end(), 12, v);
    ASSERT_EQ(t->pixelBytes, expected.size());
    EXPECT_EQ(std::vector<uint8_t>(t->pixels, t->pixels + expected.size()), expected);
    EXPECT_TRUE(Listed(kept));
    for (const VRTexture* r = shared->First(); r; r = r->next) EXPECT_NE(std::string(r->name), scratch.Path() + "s.ppm");
    EXPECT_EQ(warnings.size(), 1u);  // the missing file
}

TEST_F(TextureScriptTest, AddSliceRefusesWhatItCannotStack) {
    Write("small.ppm", PpmBytes(1, 2, std::vector<uint8_t>(6, 3)));
    const std::string dxt1 = Dxt1Solid(0xF800);
    records = {InMemory("base", 4, 4, 3, 1), InMemory("other", 4, 2, 3, 2),
               shared->CreateTextureFromBuffer("dxt", Bytes({dxt1.begin(), dxt1.end()}), 4, 4, 3,
                                               kTexDxt1 | kTexNoMipmaps, 0, 0)};
    using Args = std::function<std::vector<Opnd>(MethodScript&)>;
    auto object = [](int32_t i) -> Args {
        return [i](MethodScript& s) { return std::vector<Opnd>{s.New("TESTTEXTURE", {VInt(i)})}; };
    };
    auto value = [](Opnd v) -> Args {
        return [v](MethodScript&) { return std::vector<Opnd>{v}; };
    };
    struct Row {
        Args args;  // of TESTTEXTURE(0).ADDSLICE
        std::string error;
    };
    const std::string otherSize = "width, height and number component of Slice must be the same of texture";
    const std::string noPixmap = "Texture stored in Video Memory. Cannot acces to pixmap";
    const Row rows[] = {
        {value(VInt(5)), "Param 1 must be a string or a CVmTexture object"},
        {[](MethodScript&) { return std::vector<Opnd>{}; }, "Param 1 must be a string or a CVmTexture object"},
        {object(1), otherSize},
        {value(VStr("small.ppm")), otherSize},
        {object(2), noPixmap},  // compressed blocks are no picture of bytes
        {[](MethodScript& s) { return std::vector<Opnd>{s.New("CVMTEXTURE", {VInt(4), VInt(4), VInt(3)})}; },
         noPixmap},  // the constructor uploads at once
    };
    for (const Row& row : rows) {
        const std::string out = Run([&row](MethodScript& s) {
            const Opnd t = s.New("TESTTEXTURE", {VInt(0)});
            s.Call(t, "ADDSLICE", row.args(s));
        });
        EXPECT_EQ(Error(out), "ADDSLICE: " + row.error) << out;
    }
    // Nor can a texture that is on the card take one.
    const std::string out = Run([](MethodScript& s) {
        s.Call(s.New("CVMTEXTURE", {VInt(4), VInt(4), VInt(3)}), "ADDSLICE", {s.New("TESTTEXTURE", {VInt(0)})});
    });
    EXPECT_EQ(Error(out), "ADDSLICE: " + noPixmap);
    EXPECT_EQ(records[0]->slices, 1);
    EXPECT_EQ(records[0]->pixels[47], 1);
}

// Getters answer as methods and as members; the other methods only as
// methods (a bare error otherwise, SetVideoSpeed then doing nothing).
TEST_F(TextureScriptTest, MethodsAnswerInTheirModes) {
    const std::string out = Run([](MethodScript& s) {
        const Opnd t = s.New("CVMTEXTURE", {VInt(6), VInt(3), VInt(3), Vector(s, {1, 0, 0})});
        for (const char* member : {"WIDTH", "HEIGHT", "DEPTH", "COMPONENTS", "ORIGINALWIDTH", "ORIGINALHEIGHT"}) {
            const Opnd v = s.Local(VInt(-1));
            s.Builder().Emit(OP_MEMBER_READ, t, I(s.Builder().MethodName(member)), v);
            s.Record(v);
        }
        s.Call(t, "SETAVIFRAME", {VInt(7)});
        s.Record(s.Call(t, "GETAVIFRAME", {}));
        s.Call(t, "SETVIDEOSTATUS", {VInt(0)});
        s.Call(t, "SETVIDEOSPEED", {VReal(2.5f)});
        const Opnd ignored = s.Local(VInt(-1));
        s.Builder().Emit(OP_MEMBER_READ, t, I(s.Builder().MethodName("SETVIDEOSPEED")), ignored);
        s.Record(s.Call(t, "GETAVITOTALFRAME", {}));
        const Opnd v = s.Local(VInt(-1));
        s.Builder().Emit(OP_MEMBER_READ, t, I(s.Builder().MethodName("FREE")), v);
    });
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"6", "3", "1", "3", "6", "3", "7", "0"})) << out;
    EXPECT_EQ(Error(out), "FREE: ") << out;
    VRTexture* t = shared->BoundTexture(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->playState, 0);
    EXPECT_EQ(t->speed, 2.5f);
    EXPECT_TRUE(Listed(t));  // Free in the wrong mode did nothing
    std::vector<uint8_t> texels = TexBytes(GL_TEXTURE_2D, 0, GL_RGB, 6 * 3 * 3);
    EXPECT_EQ(texels[0], 255);
    EXPECT_EQ(texels[1], 0);
}

// Without a GL context there is no manager to make textures with.
TEST(TextureScriptWithoutContext, ReportsThatTheSceneIsMissing) {
    if (glGetString(GL_VERSION)) GTEST_SKIP() << "a GL context is current";
    MethodScript s("MAIN");
    s.New("CVMTEXTURE", {VStr("a.png")});
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    vm.RegisterClass(new CVmTexture::CRegister());
    ASSERT_TRUE(vm.StartProgram(s.Program()));
    vm.CallFunctionByName("MAIN");
    EXPECT_NE(out.str().find("CVMTEXTURE: The scene is not created yet."), std::string::npos) << out.str();
    EXPECT_EQ(ExistingTextureManager(), nullptr);
}
