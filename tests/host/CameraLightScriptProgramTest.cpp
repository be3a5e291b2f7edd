// CVmCamera and CVmLight end to end: qem runs a script whose OnInit works
// with cameras and with lights of the scene the program made, and prints
// what they answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"

using namespace qemtest;

namespace {

class Transcript {
public:
    Transcript() { s.Print("BEGIN\n"); }

    Opnd Vector(std::vector<float> values) {
        CVmValue v;
        v.SetVector(values.data(), static_cast<int32_t>(values.size()));
        return VRifVec(s.Builder().Constant(v));
    }
    // Prints "label " and what the call answers.
    Opnd Show(const char* label, const Opnd& object, const std::string& method, const std::vector<Opnd>& args = {}) {
        s.Print((std::string(label) + " ").c_str());
        const Opnd r = s.Call(object, method, args);
        s.Record(r);
        return r;
    }
    void Release(const Opnd& local) { s.Builder().Emit(OP_COPY, VInt(0), None(), local); }

    // The output between BEGIN and the end of the run (DONE, or the error
    // that stopped the script).
    std::string Run(const std::string& until) {
        s.Print("DONE\n");
        return AfterBegin(RunScript(QEM_PROGRAM, scratch, s, "cameras", until));
    }

    ScratchFolder scratch;
    MethodScript s{"ONINIT"};
};

}  // namespace

TEST(CameraLightScriptProgram, CamerasAnswerTheirSettings) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    Transcript t;
    MethodScript& s = t.s;
    const Opnd c = s.New("CVMCAMERA");
    for (const char* m : {"GETFOVY", "GETZNEAR", "GETZFAR", "GETUPVECTOR"}) t.Show(m, c, m);
    const Opnd chained = s.Call(c, "SETFOVY", {VInt(45)});
    t.Show("chained", chained, "GETFOVY");

    s.Call(c, "SETPOSITION", {t.Vector({1, 2, 3})});
    const Opnd view = t.Show("view", c, "GETMATRIX");
    const Opnd back = s.New("CVMCAMERA");
    s.Call(back, "SETMATRIX", {view});
    t.Show("back", back, "GETPOSITION");

    const Opnd r = s.New("CVMCAMERA");
    s.Call(r, "SETROTATIONMATRIX3", {t.Vector({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    t.Show("rotation3", r, "GETROTATIONMATRIX");
    s.Call(r, "SETROTATIONMATRIX", {t.Vector({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})});
    t.Show("rotation", r, "GETROTATIONMATRIX");

    const Opnd target = s.New("CVMCAMERA");
    s.Call(target, "SETPOSITION", {VInt(2), VInt(3), VInt(4)});
    s.Call(target, "SETTARGET", {VInt(2), VInt(3), VInt(4)});
    t.Show("target", target, "GETTARGET");

    const Opnd along = s.New("CVMCAMERA");
    s.Call(along, "SETROTATION", {VInt(30), VInt(0), VInt(1), VInt(0)});
    s.Call(along, "SETPOSITION", {VInt(7), VInt(8), VInt(9)});
    s.Call(along, "SETDIRECTION", {VInt(0), VInt(0), VInt(-1)});
    t.Show("direction", along, "GETROTATIONMATRIX");

    const Opnd still = s.New("CVMCAMERA");
    s.Call(still, "SETPOSITION", {VInt(5)});
    t.Show("one number", still, "GETPOSITION");

    const std::string out = t.Run("DONE\n");
    EXPECT_EQ(out.substr(0, out.find("DONE\n") + 5),
              "GETFOVY 60\nGETZNEAR 0.1\nGETZFAR 1000\nGETUPVECTOR [ 0 , 1 , 0 ]\nchained 45\n"
              "view [ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , -1 , -2 , -3 , 1 ]\nback [ 1 , 2 , 3 ]\n"
              "rotation3 [ 1 , 2 , 3 , 0 , 4 , 5 , 6 , 0 , 7 , 8 , 9 , 0 , 0 , 0 , 0 , 1 ]\n"
              "rotation [ 1 , 2 , 3 , 4 , 5 , 6 , 7 , 8 , 9 , 10 , 11 , 12 , 0 , 0 , 0 , 16 ]\n"
              "target [ 2 , 3 , 3.9999 ]\n"
              "direction [ 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 , 0 , 0 , 0 , 0 , 1 ]\n"
              "one number [ 0 , 0 , 0 ]\nDONE\n");
}

TEST(CameraLightScriptProgram, LightsComeFromAPoolOfSeven) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    Transcript t;
    MethodScript& s = t.s;
    std::vector<Opnd> lights;
    lights.push_back(s.New("CVMLIGHT"));
    t.Show("first", lights[0], "GETPOSITION");
    s.Call(lights[0], "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
    t.Show("position", lights[0], "GETPOSITION");
    s.Call(lights[0], "SETDIRECTION", {t.Vector({0, -1})});
    t.Show("direction", lights[0], "GETDIRECTION");
    for (int i = 1; i < 7; ++i) lights.push_back(s.New("CVMLIGHT"));
    // Light 3 keeps its position after it is given back: the next light
    // made is light 3 again.
    s.Call(lights[3], "SETPOSITION", {VInt(9), VInt(9), VInt(9)});
    t.Release(lights[3]);
    t.Show("again", s.New("CVMLIGHT"), "GETPOSITION");
    s.Print("seven\n");
    s.New("CVMLIGHT");

    const std::string out = t.Run("ERROR");
    EXPECT_EQ(out.substr(0, out.find("seven\n") + 6),
              "first [ 40 , 20 , 20 ]\nposition [ 1 , 2 , 3 ]\ndirection [ 0 , -1 , 0 ]\nagain [ 9 , 9 , 9 ]\nseven\n");
    EXPECT_NE(out.find("Cannot create a new light source."), std::string::npos) << out;
    EXPECT_EQ(out.find("DONE"), std::string::npos);
}
