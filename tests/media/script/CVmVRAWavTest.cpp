// CVmVRAWav through scripts run in a machine of the test, over the sound
// library on the fake device: its factory forms, clamps and result types,
// the warning of each method, the call modes, and the source given back.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "media/script/CVmVRAWav.h"
#include "meshes/script/CVmObj.h"
#include "support/FakeAudio.h"
#include "support/GlobalCalls.h"
#include "support/MethodScript.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

class VRAWavScript : public FakeAudio {
protected:
    // Runs MAIN as `build` writes it; the machine's output.
    std::string Run(const std::function<void(MethodScript&)>& build) {
        EngineMessagesMachine vm;
        vm.RegisterClass(new CVmVRAWav::CRegister());
        vm.RegisterClass(new CVmObj::CRegister());
        MethodScript s("MAIN");
        build(s);
        return RunScript(vm, s).output;
    }
    const std::string file = Wave("tone.wav", PcmFormat{1, 22050, 16}, 100);  // 200 bytes
};

const std::string kWarning = "\nVirtualMachine WARNING (line 0): ";

TEST_F(VRAWavScript, ClampsValuesAndAnswersInTheirTypes) {
    const std::string out = Run([&](MethodScript& s) {
        const Opnd a = s.New("CVMVRAWAV", {VStr(file.c_str()), VBool(false)});
        for (float v : {0.25f, 1.5f, -1.0f}) {
            s.Call(a, "SETVOLUME", {VReal(v)});
            s.Record(s.Call(a, "GETVOLUME", {}));
        }
        s.Call(a, "SETVOLUME", {VInt(1)});  // an Integer is a number too
        s.Record(s.Call(a, "GETVOLUME", {}));
        for (int32_t hz : {50, -5, 200000, 0, 44100}) {
            s.Call(a, "SETFREQUENCY", {VInt(hz)});
            s.Record(s.Call(a, "GETFREQUENCY", {}));
        }
        s.Call(a, "SEEK", {VInt(50)});
        s.Record(s.Call(a, "GETSEEKPOSITION", {}));
        s.Call(a, "SETBALANCE", {VReal(0.5f)});
        s.Call(a, "SETBALANCE", {VReal(-3)});
        s.Record(s.Call(a, "ISPLAYING", {}));
        s.Call(a, "PLAY", {VBool(true)});
        s.Record(s.Call(a, "ISPLAYING", {}));
        s.Call(a, "PAUSE", {});
        s.Record(s.Call(a, "ISPLAYING", {}));
        s.Record(s.Call(a, "EAXISACTIVE", {}));
        s.Call(a, "STOP", {});
        s.Record(s.Call(a, "GETSEEKPOSITION", {}));
    });
    EXPECT_EQ(out, "0.25\n1\n0\n1\n100\n100\n100000\n22050\n44100\n0.5\nFalse\nTrue\nFalse\nFalse\n0\n");
    EXPECT_EQ(control->Count("Buffer.SetVolume 0"), 2);
    for (const char* call : {"Buffer.SetVolume -7500", "Buffer.SetVolume -10000",
                             "Buffer.SetPan 5000", "Buffer.SetPan -10000", "Buffer.SetCurrentPosition 100"})
        EXPECT_EQ(control->Count(call), 1) << call;
    EXPECT_EQ(control->Count("Buffer.SetFrequency 100"), 2);
    EXPECT_EQ(control->Count("Buffer.Play looping"), 2);  // the primary buffer's and the sound's
}

TEST_F(VRAWavScript, PlacesSourcesAndTheListener) {
    const std::string out = Run([&](MethodScript& s) {
        const Opnd a = s.New("CVMVRAWAV", {VStr(file.c_str()), VBool(true)});
        s.Call(a, "SETPOSITION", {VFloats({1, 2})});
        s.Call(a, "SETVELOCITY", {VInt(1), VInt(2), VInt(3)});
        s.Call(a, "SETCONEPARAMS", {VInt(30), VInt(90), VInt(-1200)});
        s.Call(a, "SETCONEORIENTATION", {VFloats({0, 0, 1})});
        s.Call(a, "SETLISTENERPOSITION", {VInt(1), VInt(2), VInt(3)});
        s.Call(a, "SETLISTENERVELOCITY", {VFloats({1, 2, 3})});
        s.Call(a, "SETLISTENERORIENTATION", {VFloats({0, 0, 1}), VFloats({0, 1, 0})});
        s.Call(a, "SETLISTENERORIENTATION", {VInt(0), VInt(0), VInt(1)});
        // A 3D source refuses a balance.
        s.Call(a, "SETBALANCE", {VReal(0.5f)});
    });
    EXPECT_EQ(out, kWarning + "SETBALANCE: Could not set BALANCE.");
    for (const char* call : {"Buffer3D.SetPosition", "Buffer3D.SetVelocity", "Buffer3D.SetConeAngles 30 90",
                             "Buffer3D.SetConeOutsideVolume -1200", "Buffer3D.SetConeOrientation",
                             "Listener.SetVelocity"})
        EXPECT_EQ(control->Count(call), 1) << call;
    EXPECT_EQ(control->Count("Listener.SetOrientation"), 3);  // the start's and two
    EXPECT_EQ(control->Count("Listener.SetPosition"), 2);
}

TEST_F(VRAWavScript, AnObjectWithoutASourceWarnsInEveryMethod) {
    control->answers["Create"] = kDsNoDriver;
    struct Row {
        const char* method;
        std::vector<Opnd> args;
        std::string warnings;  // after the prefix, one per line
    };
    const std::vector<Row> rows = {
        {"LOAD", {VStr("x.wav"), VBool(true)}, "LOAD: Cannot load the 'x.wav' file."},
        {"PLAY", {VBool(false)}, "PLAY: Could not LOOP the sound source.\nPLAY: Could not play the sound source."},
        {"STOP", {}, ""},
        {"PAUSE", {}, ""},
        {"SEEK", {VInt(50)}, "SEEK: "},
        {"GETSEEKPOSITION", {}, "GETSEEKPOSITION: "},
        {"SETVOLUME", {VReal(0.5f)}, "SETVOLUME: Cannot set volume."},
        {"GETVOLUME", {}, "GETVOLUME: Cannot set volume."},
        {"SETBALANCE", {VReal(0.5f)}, "SETBALANCE: Could not set BALANCE."},
        {"SETFREQUENCY", {VInt(8000)}, "SETFREQUENCY: Could not set frequency."},
        {"GETFREQUENCY", {}, "GETFREQUENCY: Could not set frequency."},
        {"SETPOSITION", {VInt(1), VInt(2), VInt(3)}, "SETPOSITION: Cannot set acoustic parameters."},
        {"SETVELOCITY", {VInt(1), VInt(2), VInt(3)}, "SETVELOCITY: Cannot set acoustic parameters."},
        {"SETLISTENERORIENTATION", {VInt(0), VInt(0), VInt(1)},
         "SETLISTENERORIENTATION: Cannot set acoustic parameters."},
        {"SETLISTENERPOSITION", {VInt(1), VInt(2), VInt(3)}, "SETLISTENERPOSITION: Cannot set acoustic parameters."},
        {"SETLISTENERVELOCITY", {VInt(1), VInt(2), VInt(3)}, "SETLISTENERVELOCITY: Cannot set acoustic parameters."},
        {"ISPLAYING", {}, "ISPLAYING: Could not LOOP the sound source."},
        {"EAXISACTIVE", {}, ""},
        {"SETCONEPARAMS", {VInt(30), VInt(90), VInt(0)}, "SETCONEPARAMS: Cannot set acoustic parameters."},
        {"SETCONEORIENTATION", {VInt(0), VInt(0), VInt(1)}, "SETCONEORIENTATION: Cannot set acoustic parameters."},
        {"EAXINITENVIRONMENTFROMFILE", {VStr("e.txt")}, "EAXINITENVIRONMENTFROMFILE: "},
        {"EAXINITMATERIALFROMFILE", {VStr("m.txt")}, "EAXINITMATERIALFROMFILE: Multimedia Overflow."},
        {"EAXINITSOURCEFROMFILE", {VStr("s.txt")}, "EAXINITSOURCEFROMFILE: Multimedia Overflow."},
        {"EAXINITLISTENERFROMFILE", {VStr("l.txt")}, "EAXINITLISTENERFROMFILE: Multimedia Overflow."},
        {"EAXINITEMSLFROMFILE", {VStr("e"), VStr("m"), VStr("s"), VStr("l")},
         "EAXINITEMSLFROMFILE: Multimedia Overflow."},
        {"EAXSETENVIRONMENTFROMFILE", {VInt(-4)}, "EAXSETENVIRONMENTFROMFILE: "},
        {"EAXSETSOURCEFROMFILE", {VInt(9)}, "EAXSETSOURCEFROMFILE: Could not create another source."},
        {"EAXSETENVIRONMENTPROPERTY", {VStr("DECAYTIME"), VReal(1.49f)}, "EAXSETENVIRONMENTPROPERTY: "},
        {"EAXSETSOURCEPROPERTY", {VStr("OCCLUSION"), VInt(-1500)}, "EAXSETSOURCEPROPERTY: "},
        {"EAXSETENVIRONMENT", {VInt(30)}, "EAXSETENVIRONMENT: "},
        {"EAXSETOCCLUSION", {VInt(-20000), VReal(2), VReal(20)}, "EAXSETOCCLUSION: "},
        {"EAXSETOBSTRUCTION", {VInt(5), VReal(-1)}, "EAXSETOBSTRUCTION: "},
        {"UPDATESTREAMINGSOURCE", {}, "UPDATESTREAMINGSOURCE: Could not play the sound source."},
        {"PLAYSTREAMINGSOURCE", {}, "PLAYSTREAMINGSOURCE: Could not play the sound source."},
        {"STOPSTREAMINGSOURCE", {}, "STOPSTREAMINGSOURCE: Could not play the sound source."},
        {"SETPOSITIONSTREAMINGSOURCE", {VInt(1), VInt(2), VInt(3)},
         "SETPOSITIONSTREAMINGSOURCE: Cannot set acoustic parameters."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.method);
        std::string out = Run([&](MethodScript& s) {
            const Opnd a = s.New("CVMVRAWAV");
            s.Print("made\n");
            s.Call(a, row.method, row.args);
        });
        std::string expected = kWarning + "Could not create a VRAWav object.made\n";
        size_t from = 0;
        while (from < row.warnings.size()) {
            const size_t end = row.warnings.find('\n', from);
            expected += kWarning + row.warnings.substr(from, end - from);
            from = end == std::string::npos ? row.warnings.size() : end + 1;
        }
        EXPECT_EQ(out, expected);
    }
}

TEST_F(VRAWavScript, AStreamingObjectNeverReachesAStaticSource) {
    AudioSetStreamingCount(2);
    AudioAllocSlots();
    AudioSetSourceCount(4);
    const std::string out = Run([&](MethodScript& s) {
        const Opnd a = s.New("CVMVRAWAV", {VStr(file.c_str()), VBool(false)});  // static source 0
        const Opnd b = s.New("CVMVRAWAV", {VInt(-1)});                           // streaming source 0
        s.Call(b, "SETVOLUME", {VReal(0.5f)});
        s.Call(b, "LOAD", {VStr(file.c_str()), VBool(false)});
        s.Call(b, "PLAY", {VBool(false)});
        s.Call(b, "PLAYSTREAMINGSOURCE", {});
        s.Record(s.Call(a, "ISPLAYING", {}));
    });
    EXPECT_EQ(out, kWarning + "SETVOLUME: Cannot set volume." + kWarning + "LOAD: Cannot load the '" + file +
                       "' file." + kWarning + "PLAY: Could not LOOP the sound source." + kWarning +
                       "PLAY: Could not play the sound source." + kWarning +
                       "PLAYSTREAMINGSOURCE: Could not play the sound source.False\n");
    EXPECT_EQ(control->Count("Buffer.SetVolume -5000"), 0);
    EXPECT_EQ(control->descriptions.size(), 2u);  // the primary buffer and a's
}

TEST_F(VRAWavScript, FactoryFormsAndBadFiles) {
    const std::string text = folder.Path() + "notes.txt";
    WriteBytes(text, "not a sound\n");
    const std::string out = Run([&](MethodScript& s) {
        s.New("CVMVRAWAV", {VStr(text.c_str()), VBool(true)});
        s.New("CVMVRAWAV", {VReal(3), VBool(true)});  // no String: the working folder
        const Opnd a = s.New("CVMVRAWAV");
        s.Call(a, "PLAY", {VBool(false)});
        s.Call(a, "LOAD", {VStr(file.c_str()), VBool(true)});
        s.Call(a, "PLAY", {VBool(false)});
        s.Record(s.Call(a, "ISPLAYING", {}));
    });
    EXPECT_EQ(out, kWarning + "CVMVRAWAV: Cannot load the '" + text + "' file." + kWarning +
                       "CVMVRAWAV: Cannot load the '' file." +
                       kWarning + "PLAY: Could not play the sound source.True\n");
    // The 3D flag chose the buffer: the last one made is 3D.
    ASSERT_FALSE(control->descriptions.empty());
    EXPECT_EQ(control->descriptions.back().flags & kDsbcapsCtrl3D, kDsbcapsCtrl3D);
    // The objects went with the script: so did the back end.
    EXPECT_FALSE(AudioRunning());
    EXPECT_EQ(control->devicesAlive, 0);
}

TEST_F(VRAWavScript, AFailedEaxStartWarnsOnTheScriptsStream) {
    AudioSetModes(1, 1, 0);
    const std::string out = Run([](MethodScript& s) {
        const Opnd a = s.New("CVMVRAWAV");
        s.Record(s.Call(a, "EAXISACTIVE", {}));
        s.Call(a, "EAXSETENVIRONMENT", {VInt(3)});
    });
    EXPECT_EQ(out, kWarning + "Cannot start EAX.False\n" + kWarning + "EAXSETENVIRONMENT: ");
}

TEST_F(VRAWavScript, MethodsAnswerOnlyMethodCalls) {
    const std::string out = Run([&](MethodScript& s) {
        const Opnd a = s.New("CVMVRAWAV", {VStr(file.c_str()), VBool(false)});
        const Opnd v = s.Local(VInt(0));
        s.Builder().Emit(OP_MEMBER_READ, a, I(s.Builder().MethodName("PLAY")), v);
        s.Print("after\n");
    });
    EXPECT_EQ(out.find("after"), std::string::npos) << out;
    EXPECT_EQ(FirstError(out), "");
    EXPECT_EQ(control->Count("Buffer.Play"), 0);
}

TEST_F(VRAWavScript, ALinkedNodeCarriesItsSoundAlong) {
    const std::string out = Run([&](MethodScript& s) {
        const Opnd node = s.New("CVMOBJ");
        const Opnd sound = s.New("CVMVRAWAV", {VStr(file.c_str()), VBool(true)});
        s.Call(node, "LINKTOWAV", {sound});
        s.Call(node, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
        s.Call(node, "TRANSLATE", {VFloats({1, 0, -1})});
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(control->Count("Buffer3D.SetPosition"), 2);
    EXPECT_EQ(std::vector<float>(control->sourcePosition, control->sourcePosition + 3),
              (std::vector<float>{2, 2, 2}));

    // A sound without a source cannot follow: the script stops.
    control->answers["Create"] = kDsNoDriver;
    const std::string stopped = Run([&](MethodScript& s) {
        const Opnd node = s.New("CVMOBJ");
        s.Call(node, "LINKTOWAV", {s.New("CVMVRAWAV")});
        s.Call(node, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
        s.Print("after\n");
    });
    EXPECT_EQ(FirstError(stopped), "SETPOSITION: ");
    EXPECT_EQ(stopped.find("after"), std::string::npos);
}

TEST_F(VRAWavScript, ASceneNodeCarriesItsSoundAlong) {
    const float point[3] = {1, 2, 3};
    {
        CVmVRAWav plain(false), placed(false), streaming(true);
        ASSERT_EQ(AudioSetScalar(plain.Slot(), "Type", 1), 0);
        ASSERT_EQ(AudioSetScalar(placed.Slot(), "Type", 2), 0);
        ASSERT_EQ(AudioSetSample(placed.Slot(), "Sample", file.c_str()), 0);
        EXPECT_EQ(CVmVRAWav::SetSoundPosition(&plain, point), 0);
        EXPECT_EQ(CVmVRAWav::SetSoundPosition(&placed, point), 0);
        EXPECT_EQ(control->Count("Buffer3D.SetPosition"), 1);
        // Nothing to move where the back end has no streaming sources.
        EXPECT_EQ(CVmVRAWav::SetSoundPosition(&streaming, point), 0);
        EXPECT_EQ(CVmVRAWav::SetSoundPosition(nullptr, point), kAudioOutOfRange);
    }
    control->answers["Create"] = kDsNoDriver;
    CVmVRAWav none(false);
    EXPECT_EQ(CVmVRAWav::SetSoundPosition(&none, point), kAudioOutOfRange);
}

}  // namespace
