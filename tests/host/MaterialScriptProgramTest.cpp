// CVmMaterial end to end: qem runs scripts whose OnInit makes a material,
// prints its members, writes them and gives it a texture loaded from a file
// the test writes into its temporary folder (the parent of the download
// cache that file names are relative to).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/ImageFiles.h"
#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

class MaterialTranscript {
public:
    MaterialTranscript() : material(s.New("CVMMATERIAL")) { s.Print("BEGIN\n"); }

    void Show(const char* member) {
        s.Print((std::string(member) + " ").c_str());
        const Opnd v = s.Local(VInt(-1));
        s.Builder().Emit(OP_MEMBER_READ, material, I(s.Builder().MethodName(member)), v);
        s.Record(v);
    }
    void Set(const char* member, const Opnd& value) {
        s.Builder().Emit(OP_MEMBER_WRITE, s.Local(value), I(s.Builder().MethodName(member)), material);
    }
    Opnd Vector(std::vector<float> values) {
        CVmValue v;
        v.SetVector(values.data(), static_cast<int32_t>(values.size()));
        return VRifVec(s.Builder().Constant(v));
    }
    void Call(const char* label, const char* method, const std::vector<Opnd>& args) {
        s.Print((std::string(label) + " ").c_str());
        s.Record(s.Call(material, method, args));
    }

    MethodScript s{"ONINIT"};
    Opnd material;
};

// Runs the script in qem until it prints `until`; the output after BEGIN.
std::string RunQem(const ScratchFolder& scratch, MaterialTranscript& t, const std::string& name,
                   const std::string& until) {
    return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, until));
}

}  // namespace

TEST(MaterialScriptProgram, ScriptsReadAndWriteMaterials) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    WriteFile(scratch.Make("wood.ppm"), PpmBytes(2, 2, std::vector<uint8_t>(12, 90)));
    MaterialTranscript t;
    for (const char* member : {"AMBIENT", "DIFFUSE", "SPECULAR", "EMISSION", "SHININESS", "TRANSPARENCY"})
        t.Show(member);
    t.Call("list", "GETDLIST", {});
    t.Call("name", "GETTEXTURENAME", {VInt(0)});

    t.Set("AMBIENT", t.Vector({0.2f, 0.4f}));
    t.Show("AMBIENT");
    t.Set("EMISSION", t.Vector({0.1f, 0.2f, 0.3f, 0.4f, 0.5f}));
    t.Show("EMISSION");
    t.Set("TRANSPARENCY", VReal(0.5f));
    for (const char* member : {"AMBIENT", "DIFFUSE", "SPECULAR", "EMISSION", "TRANSPARENCY"}) t.Show(member);
    t.Set("SHININESS", VInt(20));
    t.Show("SHININESS");

    const Opnd wood = t.s.New("CVMTEXTURE", {VStr("../wood.ppm")});
    t.Call("set", "SETTEXTURE", {wood, VInt(1)});
    t.Call("layer1", "GETTEXTURENAME", {VInt(1)});
    t.Call("layer0", "GETTEXTURENAME", {VInt(0)});
    t.Call("clear", "SETTEXTURE", {VInt(5), VInt(1)});
    t.Call("cleared", "GETTEXTURENAME", {VInt(1)});
    t.s.Print("DONE\n");

    const std::string out = RunQem(scratch, t, "material", "DONE\n");
    const std::string layer1 = "layer1 ";
    const size_t at = out.find(layer1);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string name = out.substr(at + layer1.size(), out.find('\n', at) - at - layer1.size());
    EXPECT_EQ(name.substr(name.size() - std::string("/wood.ppm").size()), "/wood.ppm") << name;
    const std::string expected =
        "AMBIENT [ 0.5 , 0.5 , 0.5 , 1 ]\nDIFFUSE [ 0.5 , 0.5 , 0.5 , 1 ]\nSPECULAR [ 0.05 , 0.05 , 0.05 , 1 ]\n"
        "EMISSION [ 0 , 0 , 0 , 1 ]\nSHININESS 0\nTRANSPARENCY 0\nlist 0\nname \n"
        "AMBIENT [ 0.2 , 0.4 , 0 , 1 ]\nEMISSION [ 0.1 , 0.2 , 0.3 , 0.4 ]\n"
        "AMBIENT [ 0.2 , 0.4 , 0 , 0.5 ]\nDIFFUSE [ 0.5 , 0.5 , 0.5 , 0.5 ]\nSPECULAR [ 0.05 , 0.05 , 0.05 , 0.5 ]\n"
        "EMISSION [ 0.1 , 0.2 , 0.3 , 0.5 ]\nTRANSPARENCY 0.5\nSHININESS 20\n"
        "set Void\nlayer1 " + name + "\nlayer0 \nclear Void\ncleared \nDONE\n";
    EXPECT_EQ(out.substr(0, out.find("DONE\n") + 5), expected);
}

TEST(MaterialScriptProgram, ColourOfAnotherTypeStopsTheScript) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ScratchFolder scratch;
    MaterialTranscript t;
    t.Set("AMBIENT", VInt(5));
    t.Show("AMBIENT");
    t.s.Print("DONE\n");
    const std::string out = RunQem(scratch, t, "colour", "The member variable must be of Vector type.");
    EXPECT_NE(out.find("ERROR (line 0): AMBIENT: The member variable must be of Vector type.\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
}
