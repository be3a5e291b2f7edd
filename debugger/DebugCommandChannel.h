// The command side of a debugger client: command lines in, acknowledgements
// and replies out. A debug session talks to a TCP client or, for a negative
// port, to the process console.
//
// Wire format over TCP, client to program: lines ended by CR LF; the line is
// everything up to its first LF (the CR stays in it). Program to client:
// "ok\n" as soon as a line has arrived (before it is queued, so possibly
// before the reply to an earlier line), text replies + "\n", JSON replies as
// one compact line + "\n", script output as "output:" + text + "\n".
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <json/value.h>

#include "debugger/DebugConnection.h"

class DebugCommandChannel {
public:
    virtual ~DebugCommandChannel() = default;

    // Waits for the next command line. False once the client is gone and
    // every line it sent has been read: the session then resumes the script.
    virtual bool ReadCommand(std::string& line) = 0;
    // Every queued line at once, emptying the queue; the list stays valid
    // until the next call.
    virtual const std::list<std::string>& TakeAllCommands() = 0;
    virtual void SendJson(const Json::Value& value) = 0;
    virtual void SendText(const std::string& text) = 0;
    virtual void SendOutput(const std::string& text) = 0;
    // From any thread: a ReadCommand waiting now or later answers false at
    // once, and a client not yet connected is no longer waited for. The
    // console cannot be interrupted.
    virtual void Interrupt() {}
};

// Commands from the standard input, replies to the standard output. Nothing
// is acknowledged; a JSON reply is printed as a listing of its stack frames.
class DebugCommandConsoleChannel : public DebugCommandChannel {
public:
    bool ReadCommand(std::string& line) override;
    const std::list<std::string>& TakeAllCommands() override;
    void SendJson(const Json::Value& value) override;
    void SendText(const std::string& text) override;
    void SendOutput(const std::string& text) override;

private:
    std::list<std::string> m_none;
};

// Commands from one TCP client. A reader thread acknowledges and queues the
// lines as they arrive, so that the running script can notice them through
// the commands-queued flag without blocking.
class DebugCommandSocketChannel : public DebugCommandChannel {
public:
    // Longest command line kept; a longer one is acknowledged and dropped.
    static constexpr size_t kMaxLineLength = 65536;

    // `commandsQueued` (may be null) is set to 1 while lines wait in the
    // queue and to 0 when the queue becomes empty.
    explicit DebugCommandSocketChannel(std::atomic<uint8_t>* commandsQueued);
    // Ends the connection and waits for the reader thread.
    ~DebugCommandSocketChannel() override;

    // Listen, then Accept: the two halves of opening the channel, apart so
    // that a caller can learn a port picked by the system in between. Each
    // reports its failure on the standard output and returns false.
    bool Listen(int port) { return m_connection.Listen(port); }
    uint16_t Port() const { return m_connection.Port(); }
    // Waits for the client, then starts the reader thread.
    bool Accept();

    bool ReadCommand(std::string& line) override;
    const std::list<std::string>& TakeAllCommands() override;
    void SendJson(const Json::Value& value) override;
    void SendText(const std::string& text) override;
    void SendOutput(const std::string& text) override;
    // Also ends the connection: the client sees the end.
    void Interrupt() override;

private:
    // The reader thread.
    void Run();
    void Send(const std::string& bytes);
    // Acknowledges one line and, unless it was too long, queues it.
    void Received(std::string line, bool dropped);

    std::atomic<uint8_t>* m_commandsQueued;
    DebugConnection m_connection;
    std::mutex m_writeLock;
    std::condition_variable m_queueCondition;
    std::mutex m_queueLock;
    std::list<std::string> m_queue;   // oldest first
    bool m_closed = true;             // no reader (yet, or any more); under m_queueLock
    bool m_interrupted = false;       // under m_queueLock
    std::list<std::string> m_taken;   // TakeAllCommands' result
    std::thread m_reader;
};

// The channel for a port: the console for a negative port, else a TCP
// channel that waits for its client. Null when the port cannot be opened
// (reported on the standard output); the script then runs without debugger.
std::unique_ptr<DebugCommandChannel> OpenDebugCommandChannel(int port, std::atomic<uint8_t>* commandsQueued);
