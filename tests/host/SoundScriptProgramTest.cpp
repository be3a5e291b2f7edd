// Sound end to end: qem runs scripts whose OnInit makes CVmVRAWav objects
// from wave files the test writes into its temporary folder (the parent of
// the download cache that file names are relative to). OpenAL Soft's "wave"
// driver writes what they play to a file, which the test reads once the
// script's objects are gone (the last one closes the device).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "support/ScratchFolder.h"
#include "support/ScriptRun.h"
#include "support/SoundFiles.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

const std::string kWarning = "\nVirtualMachine WARNING (line 0): ";
// 0.5 s of 440 Hz at half of full scale, mono, 22050 Hz.
const PcmFormat kToneFormat{1, 22050, 16};

class SoundScriptProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        SoundCapture::Process();
        WriteBytes(scratch.Make("tone.wav"), WaveBytes(kToneFormat, ToneData(kToneFormat, 0.5, 440, 0.5)));
    }

    // Runs the script until it prints DONE; the output after BEGIN.
    std::string Run(ScriptTranscript& t, const std::string& name) {
        t.s.Print("DONE\n");
        return AfterBegin(RunScript(QEM_PROGRAM, scratch, t.s, name, "DONE\n"), "DONE\n");
    }

    static Opnd Tone(MethodScript& s, bool is3D) { return s.New("CVMVRAWAV", {VStr("../tone.wav"), VBool(is3D)}); }

    ScratchFolder scratch;
};

TEST_F(SoundScriptProgram, ScriptsPlayAndSetASound) {
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd a = Tone(s, false);
    t.Show("frequency", s.Call(a, "GETFREQUENCY", {}));
    for (float v : {0.25f, 1.5f, -1.0f}) {
        s.Call(a, "SETVOLUME", {VReal(v)});
        t.Show("volume", s.Call(a, "GETVOLUME", {}));
    }
    for (int32_t hz : {50, 0}) {
        s.Call(a, "SETFREQUENCY", {VInt(hz)});
        t.Show("frequency", s.Call(a, "GETFREQUENCY", {}));
    }
    s.Call(a, "SEEK", {VInt(50)});
    t.Show("seek", s.Call(a, "GETSEEKPOSITION", {}));
    s.Call(a, "PLAY", {VBool(false)});
    t.Show("playing", s.Call(a, "ISPLAYING", {}));
    s.Global("SLEEP", {VInt(1000)});
    t.Show("later", s.Call(a, "ISPLAYING", {}));
    s.Call(a, "PLAY", {VBool(true)});
    s.Global("SLEEP", {VInt(1000)});
    t.Show("looping", s.Call(a, "ISPLAYING", {}));
    s.Call(a, "PAUSE", {});
    t.Show("paused", s.Call(a, "ISPLAYING", {}));
    s.Call(a, "STOP", {});
    t.Show("stopped", s.Call(a, "GETSEEKPOSITION", {}));
    t.Show("factor", s.Global("SETAUDIO3DPARAM", {VStr("DS_DOPPLER_FACTOR"), VReal(1.5f)}));
    EXPECT_EQ(Run(t, "play"),
              "frequency 22050\nvolume 0.25\nvolume 1\nvolume 0\nfrequency 100\nfrequency 22050\nseek 0.5\n"
              "playing True\nlater False\nlooping True\npaused False\nstopped 0\nfactor 0\n");
}

TEST_F(SoundScriptProgram, WhatSourcesRefuseIsWarned) {
    const std::string tone = WaveBytes(kToneFormat, ToneData(kToneFormat, 0.1, 440, 0.5));
    WriteBytes(scratch.Make("truncated.wav"), tone.substr(0, tone.size() - 10));
    WriteBytes(scratch.Make("short.wav"),
               RiffBytes("WAVE", RiffChunkBytes("fmt ", PcmFormatData(kToneFormat).substr(0, 12)) +
                                     RiffChunkBytes("data", "abcd")));
    WriteBytes(scratch.Make("movie.wav"),
               RiffBytes("AVI ", RiffChunkBytes("fmt ", PcmFormatData(kToneFormat)) + RiffChunkBytes("data", "ab")));
    WriteBytes(scratch.Make("notes.wav"), "These are notes, not sounds.\n");
    ScriptTranscript t;
    MethodScript& s = t.s;
    const Opnd placed = Tone(s, true);
    s.Call(placed, "SETBALANCE", {VReal(0.5f)});
    const Opnd plain = Tone(s, false);
    s.Call(plain, "SETPOSITION", {VInt(1), VInt(2), VInt(3)});
    s.Print("streaming\n");
    const Opnd streaming = s.New("CVMVRAWAV", {VInt(-1)});
    for (const char* method : {"UPDATESTREAMINGSOURCE", "PLAYSTREAMINGSOURCE", "STOPSTREAMINGSOURCE"})
        s.Call(streaming, method, {});
    s.Call(streaming, "SETPOSITIONSTREAMINGSOURCE", {VInt(1), VInt(2), VInt(3)});
    for (const char* name : {"../missing.wav", "../truncated.wav", "../short.wav", "../movie.wav", "../notes.wav"}) {
        s.Print((std::string("\n") + name).c_str());
        s.Call(s.New("CVMVRAWAV", {VStr(name), VBool(false)}), "PLAY", {VBool(false)});
    }
    std::string expected = kWarning + "SETBALANCE: Could not set BALANCE.streaming\n" + kWarning +
                           "UPDATESTREAMINGSOURCE: Could not play the sound source." + kWarning +
                           "PLAYSTREAMINGSOURCE: Could not play the sound source." + kWarning +
                           "STOPSTREAMINGSOURCE: Could not play the sound source." + kWarning +
                           "SETPOSITIONSTREAMINGSOURCE: Cannot set acoustic parameters.";
    for (const char* name : {"../missing.wav", "../truncated.wav", "../short.wav", "../movie.wav", "../notes.wav"})
        expected += std::string("\n") + name + kWarning + "CVMVRAWAV: Cannot load the '" + name + "' file." +
                    kWarning + "PLAY: Could not play the sound source.";
    EXPECT_EQ(Run(t, "refusals"), expected);
}

TEST_F(SoundScriptProgram, TheSourceCountLimitsTheObjects) {
    ScriptTranscript t;
    MethodScript& s = t.s;
    s.Builder().Named("AUDIO_BUFFERS", VInt(2).value);
    const Opnd a = Tone(s, false);
    Tone(s, true);
    s.Print("third\n");
    const Opnd c = Tone(s, false);
    s.Call(c, "SETVOLUME", {VReal(0.5f)});
    s.Print("\n");
    s.Builder().Emit(OP_SET_VOID, a);
    const Opnd d = s.Global("NEWAWAV");
    t.Show("new", d);
    s.Call(d, "LOAD", {VStr("../tone.wav"), VBool(false)});
    t.Show("loaded", s.Call(d, "GETFREQUENCY", {}));
    EXPECT_EQ(Run(t, "count"), "third\n" + kWarning + "Could not create a VRAWav object." + kWarning +
                                   "CVMVRAWAV: Cannot load the '../tone.wav' file." + kWarning +
                                   "SETVOLUME: Cannot set volume.\nnew (Obj:CVmVRAWav)\nloaded 22050\n");
}

// Stretches of sound in the mix, split where both channels stay quiet for
// more than 0.1 s; the level of each channel in each.
struct Stretch {
    double start = 0, seconds = 0;
    double left = 0, right = 0;  // RMS
    double Power() const { return left * left + right * right; }
};

std::vector<Stretch> Stretches(const SoundMix& mix, float threshold = 1e-3f) {
    std::vector<Stretch> out;
    const size_t gap = mix.rate / 10;
    bool open = false;
    size_t first = 0, last = 0;
    auto close = [&] {
        Stretch st;
        const double n = static_cast<double>(last - first + 1);
        st.start = static_cast<double>(first) / mix.rate;
        st.seconds = n / mix.rate;
        for (size_t i = first; i <= last; ++i) {
            st.left += mix.left[i] * mix.left[i];
            st.right += mix.right[i] * mix.right[i];
        }
        st.left = std::sqrt(st.left / n);
        st.right = std::sqrt(st.right / n);
        out.push_back(st);
    };
    for (size_t i = 0; i < mix.left.size(); ++i) {
        if (std::max(std::fabs(mix.left[i]), std::fabs(mix.right[i])) <= threshold) continue;
        if (open && i - last > gap) {
            close();
            open = false;
        }
        if (!open) first = i, open = true;
        last = i;
    }
    if (open) close();
    return out;
}

TEST_F(SoundScriptProgram, WhatScriptsPlayIsHeard) {
    ScriptTranscript t;
    MethodScript& s = t.s;
    auto playAndWait = [&](const Opnd& sound) {
        s.Call(sound, "PLAY", {VBool(false)});
        s.Global("SLEEP", {VInt(1000)});
    };
    const Opnd plain = Tone(s, false);
    playAndWait(plain);
    s.Call(plain, "SETBALANCE", {VReal(-1)});
    playAndWait(plain);
    const Opnd placed = Tone(s, true);
    s.Call(placed, "SETPOSITION", {VInt(-3), VInt(0), VInt(0)});
    playAndWait(placed);
    s.Call(placed, "SETPOSITION", {VInt(3), VInt(0), VInt(0)});
    playAndWait(placed);
    s.Call(placed, "SETPOSITION", {VInt(0), VInt(0), VInt(0)});
    playAndWait(placed);
    s.Global("CAMERALINKTOLISTENER", {VBool(true)});
    s.Global("CAMERASETPOSITION", {VInt(100), VInt(0), VInt(0)});
    s.Global("SCENEBEGIN");
    s.Global("SCENEEND");
    playAndWait(placed);
    // The objects go when OnInit returns, and the device with them; the
    // first frame then says so.
    s.Then("ONFRAME");
    s.Print("DONE\n");
    RunScript(QEM_PROGRAM, scratch, s, "heard", "DONE\n");

    SoundMix mix;
    ASSERT_TRUE(ReadSoundMix(SoundCapture::Process().OutputPath(), mix));
    const std::vector<Stretch> heard = Stretches(mix);
    ASSERT_EQ(heard.size(), 6u);
    for (const Stretch& st : heard) EXPECT_NEAR(st.seconds, 0.5, 0.05) << st.start;
    // Plain: both channels whole (a sine of amplitude 0.5 has an RMS of 0.35).
    EXPECT_NEAR(heard[0].left, 0.354, 0.03);
    EXPECT_NEAR(heard[0].right, 0.354, 0.03);
    // Balance -1: the left channel only.
    EXPECT_NEAR(heard[1].left, 0.354, 0.03);
    EXPECT_LT(heard[1].right, 1e-4);
    // Placed left, then right.
    EXPECT_GT(heard[2].left, 2 * heard[2].right);
    EXPECT_GT(heard[3].right, 2 * heard[3].left);
    // The listener carried 100 units away by the camera: about 40 dB less.
    const double drop = 10 * std::log10(heard[4].Power() / heard[5].Power());
    EXPECT_NEAR(drop, 40, 5);
}

}  // namespace
