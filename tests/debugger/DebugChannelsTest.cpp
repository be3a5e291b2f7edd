// The debugger's command and event channels: a loopback client against the
// TCP forms, and redirected standard streams against the console forms.
#include <chrono>
#include <future>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "debugger/DebugCommandChannel.h"
#include "debugger/DebugEventChannel.h"
#include "debugger/DebugJson.h"
#include "platform/Socket.h"
#include "support/LoopbackPeer.h"

using namespace std::chrono_literals;
using qemtest::LoopbackPeer;

namespace {

// A command channel with its client connected.
class CommandChannel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_channel.Listen(0));
        ASSERT_NE(m_channel.Port(), 0);
        // The connection waits in the listen backlog until Accept takes it.
        m_client = std::make_unique<LoopbackPeer>(m_channel.Port());
        ASSERT_TRUE(m_channel.Accept());
    }

    std::string Next() {
        std::string line;
        EXPECT_TRUE(m_channel.ReadCommand(line));
        return line;
    }

    std::atomic<uint8_t> m_queued{0};
    DebugCommandSocketChannel m_channel{&m_queued};
    std::unique_ptr<LoopbackPeer> m_client;
};

// Redirects a standard stream to a string stream for a scope.
class Redirect {
public:
    Redirect(std::ios& stream, std::streambuf* to) : m_stream(stream), m_old(stream.rdbuf(to)) {}
    ~Redirect() {
        m_stream.rdbuf(m_old);
        m_stream.clear();
    }

private:
    std::ios& m_stream;
    std::streambuf* m_old;
};

}  // namespace

TEST_F(CommandChannel, LinesSentInOneWriteAreAllAcknowledgedAndQueued) {
    m_client->Send("b a.qsx:3\r\nc\r\n");
    EXPECT_EQ(m_client->Read(6), "ok\nok\n");
    // A line is acknowledged first, then queued, which raises the flag.
    for (int i = 0; i < 5000 && m_queued.load() == 0; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(m_queued.load(), 1);
    EXPECT_EQ(Next(), "b a.qsx:3\r");  // the CR stays in the line
    EXPECT_EQ(Next(), "c\r");
    EXPECT_EQ(m_queued.load(), 0);
}

TEST_F(CommandChannel, TakeAllCommandsEmptiesTheQueue) {
    m_client->Send("p 1\r\np 2\r\n");
    EXPECT_EQ(m_client->Read(6), "ok\nok\n");
    std::list<std::string> all;
    for (int i = 0; i < 500 && all.size() < 2; ++i) {
        const auto& taken = m_channel.TakeAllCommands();
        all.insert(all.end(), taken.begin(), taken.end());
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(all, (std::list<std::string>{"p 1\r", "p 2\r"}));
    EXPECT_EQ(m_queued.load(), 0);
    EXPECT_TRUE(m_channel.TakeAllCommands().empty());
}

TEST_F(CommandChannel, PartialLineWaitsForItsEnd) {
    m_client->Send("b a.q");
    EXPECT_EQ(m_client->Read(3, 100ms), "");
    m_client->Send("sx:3\r");
    EXPECT_EQ(m_client->Read(3, 100ms), "");
    m_client->Send("\nc");
    EXPECT_EQ(m_client->Read(3), "ok\n");
    EXPECT_EQ(Next(), "b a.qsx:3\r");
    m_client->Send("\r\n");
    EXPECT_EQ(m_client->Read(3), "ok\n");
    EXPECT_EQ(Next(), "c\r");
}

TEST_F(CommandChannel, EveryLineIsAcknowledged) {
    // An empty line, a malformed one, and one with a bare LF: the line ends
    // at its first LF and the rest up to the CR LF is not part of it.
    m_client->Send("\r\n%%%\r\nfirst\nrest\r\n");
    EXPECT_EQ(m_client->Read(9), "ok\nok\nok\n");
    EXPECT_EQ(Next(), "\r");
    EXPECT_EQ(Next(), "%%%\r");
    EXPECT_EQ(Next(), "first");
}

TEST_F(CommandChannel, OverlongLineIsAcknowledgedAndDropped) {
    testing::internal::CaptureStdout();
    m_client->Send(std::string(DebugCommandSocketChannel::kMaxLineLength + 10, 'x') + "\r\nc\r\n");
    EXPECT_EQ(m_client->Read(6), "ok\nok\n");
    const std::string line = Next();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("debugger: command line longer than"), std::string::npos);
    EXPECT_EQ(line, "c\r");
}

TEST_F(CommandChannel, RepliesHaveTheirWireForms) {
    m_channel.SendText("3");
    EXPECT_EQ(m_client->Read(2), "3\n");
    m_channel.SendOutput("hello");
    EXPECT_EQ(m_client->Read(13), "output:hello\n");
    m_channel.SendJson(Json::Value());
    EXPECT_EQ(m_client->Read(5), "null\n");

    // One compact line with the members in byte order of their keys, however
    // long its arrays; engine text arrives as UTF-8 escapes.
    Json::Value frames(Json::objectValue);
    Json::Value frame(Json::objectValue);
    frame["line"] = 12;
    frame["file"] = DebugJsonText("caf\xE9.src");
    frame["description"] = "f(a, b)";
    frame["Z"] = 0.1f;
    for (int i = 0; i < 30; ++i) frame["variables"].append(i);
    frames["stackframes"].append(frame);
    m_channel.SendJson(frames);
    const std::string expected =
        "{\"stackframes\":[{\"Z\":0.10000000149011612,\"description\":\"f(a, b)\",\"file\":\"caf\\u00e9.src\","
        "\"line\":12,\"variables\":[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,"
        "29]}]}\n";
    EXPECT_EQ(m_client->Read(expected.size()), expected);
}

TEST_F(CommandChannel, DisconnectEndsAWaitingRead) {
    m_client->Send("bt\r\n");
    EXPECT_EQ(m_client->Read(3), "ok\n");
    EXPECT_EQ(Next(), "bt\r");
    // The session waits for its next command while stopped; the client leaves.
    auto waiting = std::async(std::launch::async, [this] {
        std::string line;
        return m_channel.ReadCommand(line);
    });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    m_client->Close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    std::string line;
    EXPECT_FALSE(m_channel.ReadCommand(line));  // and stays ended
    // Replies to a client that left are dropped without harm.
    m_channel.SendText("late");
    m_channel.SendJson(Json::Value(1));
}

TEST_F(CommandChannel, LinesSentBeforeADisconnectAreStillRead) {
    m_client->Send("s\r\nn\r\n");
    EXPECT_EQ(m_client->Read(6), "ok\nok\n");
    m_client->Close();
    EXPECT_EQ(Next(), "s\r");
    EXPECT_EQ(Next(), "n\r");
    std::string line;
    EXPECT_FALSE(m_channel.ReadCommand(line));
}

TEST_F(CommandChannel, ServesOneClientOnly) {
    EXPECT_THROW(LoopbackPeer second(m_channel.Port()), std::runtime_error);
}

TEST_F(CommandChannel, InterruptEndsAWaitAndTheConnection) {
    auto reader = std::async(std::launch::async, [this] {
        std::string line;
        return m_channel.ReadCommand(line);
    });
    EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
    m_channel.Interrupt();  // as a stop request does, from another thread
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(reader.get());
    EXPECT_EQ(m_client->Read(1, 2s), "");  // the client sees the end
}

TEST(CommandChannelLifetime, InterruptEndsTheWaitForAClient) {
    std::atomic<uint8_t> queued{0};
    DebugCommandSocketChannel channel(&queued);
    ASSERT_TRUE(channel.Listen(0));
    testing::internal::CaptureStdout();
    auto accept = std::async(std::launch::async, [&] { return channel.Accept(); });
    EXPECT_EQ(accept.wait_for(100ms), std::future_status::timeout);
    channel.Interrupt();
    ASSERT_EQ(accept.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(accept.get());
    testing::internal::GetCapturedStdout();
}

TEST(CommandChannelLifetime, ClosingWithAConnectedClientEndsTheReader) {
    std::atomic<uint8_t> queued{0};
    auto channel = std::make_unique<DebugCommandSocketChannel>(&queued);
    ASSERT_TRUE(channel->Listen(0));
    LoopbackPeer client(channel->Port());
    ASSERT_TRUE(channel->Accept());
    client.Send("c\r\n");
    EXPECT_EQ(client.Read(3), "ok\n");
    channel.reset();  // must not hang on the reader blocked in its read
    EXPECT_EQ(client.Read(1, 2s), "");  // the client sees the end
}

TEST(EventChannel, EventLinesEndInCrLf) {
    DebugSocketEventChannel channel;
    ASSERT_TRUE(channel.Listen(0));
    LoopbackPeer client(channel.Port());
    ASSERT_TRUE(channel.Accept());
    channel.Started();
    channel.BreakpointAt("main.src", 12);
    channel.BreakpointAt("", -1);
    channel.ResumedByClient();
    channel.ResumedByStepInto();
    channel.ResumedByStepOver();
    channel.Stopped();
    const std::string expected =
        "Started\r\nBreakpoint at main.src:12\r\nBreakpoint at :-1\r\nResumed by client\r\n"
        "Resumed by step into\r\nResumed by step over\r\nStopped\r\n";
    EXPECT_EQ(client.Read(expected.size()), expected);
    client.Close();
    for (int i = 0; i < 3; ++i) channel.Stopped();  // a client that left misses events, nothing more
}

TEST(DebugPorts, BusyPortGivesAMessageAndNoChannel) {
    Socket busy = Socket::Listen(0);
    const int port = busy.LocalPort();
    const std::string message = "debugger: cannot listen on port " + std::to_string(port) + ": ";

    std::atomic<uint8_t> queued{0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(OpenDebugCommandChannel(port, &queued), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind(message, 0), 0u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(OpenDebugEventChannel(port), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind(message, 0), 0u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(OpenDebugEventChannel(70000), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "debugger: cannot listen on port 70000: not a port number\n");
}

TEST(DebugPorts, NegativePortMeansTheConsole) {
    std::atomic<uint8_t> queued{0};
    const auto commands = OpenDebugCommandChannel(-1, &queued);
    EXPECT_NE(dynamic_cast<DebugCommandConsoleChannel*>(commands.get()), nullptr);
    const auto events = OpenDebugEventChannel(-1);
    EXPECT_NE(dynamic_cast<DebugConsoleEventChannel*>(events.get()), nullptr);
}

TEST(ConsoleChannels, ReadLinesAndPrintReplies) {
    std::istringstream in("b x.qsx:1\nc\r\nlast");
    std::ostringstream out;
    {
        Redirect input(std::cin, in.rdbuf());
        Redirect output(std::cout, out.rdbuf());
        DebugCommandConsoleChannel commands;
        std::string line;
        ASSERT_TRUE(commands.ReadCommand(line));
        EXPECT_EQ(line, "b x.qsx:1");
        ASSERT_TRUE(commands.ReadCommand(line));
        EXPECT_EQ(line, "c\r");
        ASSERT_TRUE(commands.ReadCommand(line));
        EXPECT_EQ(line, "last");
        EXPECT_FALSE(commands.ReadCommand(line));  // the end of the input ends the session's reading
        EXPECT_TRUE(commands.TakeAllCommands().empty());

        commands.SendText("True");
        commands.SendOutput("printed");
        DebugConsoleEventChannel events;
        events.BreakpointAt("main.src", 12);
        events.Started();
    }
    EXPECT_EQ(out.str(), "True\nprinted\nBreakpoint at main.src:12\nStarted\n");
}

TEST(ConsoleChannels, JsonReplyIsAFrameListing) {
    Json::Value reply(Json::objectValue);
    Json::Value top(Json::objectValue);
    top["description"] = "Box::Init(a, b)";
    top["file"] = DebugJsonText("caf\xE9.src");
    top["line"] = 12;
    Json::Value a(Json::objectValue);
    a["name"] = "a";
    a["value"] = "3";
    a["type"] = "Integer";
    Json::Value v(Json::objectValue);
    v["name"] = "v";
    v["value"] = "[1, 2, 3]";
    Json::Value element(Json::objectValue);
    element["name"] = 0;
    element["value"] = 1.0;
    v["variables"].append(element);  // nested entries are not listed
    top["variables"].append(a);
    top["variables"].append(v);
    Json::Value outer(Json::objectValue);
    outer["description"] = "";
    outer["file"] = "main.src";
    outer["line"] = 30;
    outer["variables"] = 5;  // not an array: no variables
    reply["stackframes"].append(top);
    reply["stackframes"].append(outer);
    reply["stackframes"].append("not a frame");

    std::ostringstream out;
    {
        Redirect output(std::cout, out.rdbuf());
        DebugCommandConsoleChannel commands;
        commands.SendJson(reply);
        commands.SendJson(Json::Value());  // no frames: nothing
        commands.SendJson(Json::Value(Json::arrayValue));
    }
    EXPECT_EQ(out.str(),
              "Box::Init(a, b) at caf\xE9.src on line 12\n"
              "    a:3\n"
              "    v:[1, 2, 3]\n"
              " at main.src on line 30\n"
              " at  on line \n");
}
