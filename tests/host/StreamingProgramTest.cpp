// qem -stream end to end: a test server on the streaming server's fixed
// port greets the program with "stream" (113, mode 0, state 2) and receives
// what the window shows as numbered VP8 frames; a script draws the window's
// top half red and its bottom half green.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/EngineFixtures.h"
#include "support/ProgramBuilder.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/StreamTestServer.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kServerPort = 59999;
const std::string kStream("\x71\x00\x02", 3);

class StreamingProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        ProgramBuilder b;
        b.Return();
        b.Function("ONINIT", 0);
        b.Emit(OP_OUTPUT, VStr("READY\n"));
        b.Return();
        b.Function("ONFRAME", 0);
        b.CallNative("GLENABLE", {VInt(GL_SCISSOR_TEST)}, None());
        b.CallNative("GLSCISSOR", {VInt(0), VInt(240), VInt(640), VInt(240)}, None());
        b.CallNative("GLCLEARCOLOR", {VFloats({1, 0, 0})}, None());
        b.CallNative("GLCLEAR", {VInt(GL_COLOR_BUFFER_BIT)}, None());
        b.CallNative("GLSCISSOR", {VInt(0), VInt(0), VInt(640), VInt(240)}, None());
        b.CallNative("GLCLEARCOLOR", {VFloats({0, 1, 0})}, None());
        b.CallNative("GLCLEAR", {VInt(GL_COLOR_BUFFER_BIT)}, None());
        b.CallNative("GLDISABLE", {VInt(GL_SCISSOR_TEST)}, None());
        b.Return();
        script = WriteProgram(scratch, "halves.bin", b);
    }

    std::vector<std::string> Arguments() const { return {script, "-w", "640", "-h", "480", "-stream"}; }

    ScratchFolder scratch;
    std::string script;
};

}  // namespace

TEST_F(StreamingProgram, StreamsTheWindowUpsideDownAndFollowsTheServersControl) {
    StreamTestServer server(kServerPort, kStream);
    ASSERT_TRUE(server.Listening()) << "port " << kServerPort << " is taken";
    QemProcess qem(QEM_PROGRAM, Arguments(), scratch.Make("out.txt"));
    ASSERT_TRUE(qem.Started());
    ASSERT_TRUE(server.WaitConnections(1, 10s));
    ASSERT_TRUE(qem.WaitFor("READY", 15s)) << qem.Output();
    // About 15 frames a second.
    ASSERT_TRUE(server.WaitMessages(40, 15s));

    // State 1: the frames stop (once those on their way are in).
    ASSERT_TRUE(server.Send(std::string("\x71\x00\x01", 3)));
    std::this_thread::sleep_for(400ms);
    const size_t paused = server.MessageCount();
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(server.MessageCount(), paused);
    // State 2: they go on.
    ASSERT_TRUE(server.Send(kStream));
    EXPECT_TRUE(server.WaitMessages(paused + 5, 5s));

    qem.Signal(SIGTERM);
    EXPECT_EQ(qem.WaitExit(), 0) << qem.Output();
    EXPECT_EQ(qem.Errors().find("Streamer:"), std::string::npos) << qem.Errors();

    // Every message a frame, numbered on from 0 across the pause.
    const std::vector<std::string> messages = server.Messages();
    Vp8Decoder decoder;
    for (size_t i = 0; i < messages.size(); ++i) {
        StreamFrameMessage frame;
        ASSERT_TRUE(ReadFrameMessage(messages[i], frame)) << i;
        EXPECT_EQ(frame.number, i);
        EXPECT_TRUE(frame.zeroes) << i;
        if (i < paused) {
            EXPECT_TRUE(decoder.Decode(frame.frame)) << i;
        }
    }
    // The picture is the window's bottom row first: green above red.
    ASSERT_EQ(decoder.Width(), 640);
    ASSERT_EQ(decoder.Height(), 480);
    struct Sample {
        int x, y;
        int yuv[3];
    };
    for (const Sample& s : {Sample{320, 100, {146, 42, 20}}, Sample{20, 230, {146, 42, 20}},
                            Sample{320, 380, {74, 82, 249}}, Sample{620, 250, {74, 82, 249}}})
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_NEAR(decoder.Sample(plane, s.x, s.y), s.yuv[plane], 4)
                << "plane " << plane << " at " << s.x << "," << s.y;
}

TEST_F(StreamingProgram, RunsWithoutAServerAndConnectsOnceOneIsThere) {
    QemProcess qem(QEM_PROGRAM, Arguments(), scratch.Make("out.txt"));
    ASSERT_TRUE(qem.WaitFor("READY", 15s)) << qem.Output();
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(qem.Running());
    StreamTestServer server(kServerPort, kStream);
    ASSERT_TRUE(server.Listening()) << "port " << kServerPort << " is taken";
    EXPECT_TRUE(server.WaitConnections(1, 10s));
    EXPECT_TRUE(server.WaitMessages(1, 5s));
    qem.Signal(SIGTERM);
    EXPECT_EQ(qem.WaitExit(), 0) << qem.Output();
}
