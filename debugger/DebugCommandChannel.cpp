#include "debugger/DebugCommandChannel.h"

#include <iostream>

#include "debugger/DebugJson.h"

// ---- console ----

namespace {

// A scalar of a JSON reply as console text.
std::string ConsoleText(const Json::Value& v) {
    if (v.isString()) return Utf8ToCp1252(v.asString());
    if (v.isNumeric() || v.isBool()) return v.asString();
    return std::string();
}

}  // namespace

bool DebugCommandConsoleChannel::ReadCommand(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

const std::list<std::string>& DebugCommandConsoleChannel::TakeAllCommands() { return m_none; }

// The console shows the stack frames of a backtrace reply, each with its
// variables; nested members are left out.
void DebugCommandConsoleChannel::SendJson(const Json::Value& value) {
    for (const Json::Value& frame : JsonArrayMember(value, "stackframes")) {
        std::cout << ConsoleText(JsonMember(frame, "description")) << " at " << ConsoleText(JsonMember(frame, "file"))
                  << " on line " << ConsoleText(JsonMember(frame, "line")) << std::endl;
        for (const Json::Value& variable : JsonArrayMember(frame, "variables")) {
            std::cout << "    " << ConsoleText(JsonMember(variable, "name")) << ":"
                      << ConsoleText(JsonMember(variable, "value")) << std::endl;
        }
    }
}

void DebugCommandConsoleChannel::SendText(const std::string& text) { std::cout << text << std::endl; }

void DebugCommandConsoleChannel::SendOutput(const std::string& text) { std::cout << text << std::endl; }

// ---- TCP ----

DebugCommandSocketChannel::DebugCommandSocketChannel(std::atomic<uint8_t>* commandsQueued)
    : m_commandsQueued(commandsQueued) {}

DebugCommandSocketChannel::~DebugCommandSocketChannel() {
    m_connection.Shutdown();
    if (m_reader.joinable()) m_reader.join();
}

bool DebugCommandSocketChannel::Accept() {
    if (!m_connection.Accept()) return false;
    m_closed = false;
    m_reader = std::thread(&DebugCommandSocketChannel::Run, this);
    return true;
}

void DebugCommandSocketChannel::Run() {
    // Bytes after a line's CR LF are the start of the next line: a client may
    // send several lines in one write, and a line may arrive in pieces.
    std::string pending;
    bool tooLong = false;
    char chunk[4096];
    size_t n;
    while ((n = m_connection.Read(chunk, sizeof chunk)) > 0) {
        pending.append(chunk, n);
        size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            std::string line = pending.substr(0, pending.find('\n'));
            const bool drop = tooLong || line.size() > kMaxLineLength;
            Received(std::move(line), drop);
            pending.erase(0, end + 2);
            tooLong = false;
        }
        if (pending.size() > kMaxLineLength) {
            // Forget the line so far, but keep a final CR: it may be the first
            // half of the line's end.
            tooLong = true;
            pending.erase(0, pending.size() - (pending.back() == '\r' ? 1 : 0));
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_closed = true;
    }
    m_queueCondition.notify_all();
}

void DebugCommandSocketChannel::Received(std::string line, bool dropped) {
    Send("ok\n");
    if (dropped) {
        std::cout << "debugger: command line longer than " << kMaxLineLength << " bytes ignored" << std::endl;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_queue.push_back(std::move(line));
        if (m_commandsQueued) m_commandsQueued->store(1, std::memory_order_relaxed);
    }
    m_queueCondition.notify_one();
}

bool DebugCommandSocketChannel::ReadCommand(std::string& line) {
    std::unique_lock<std::mutex> lock(m_queueLock);
    m_queueCondition.wait(lock, [this] { return !m_queue.empty() || m_closed || m_interrupted; });
    if (m_queue.empty() || m_interrupted) return false;
    line = std::move(m_queue.front());
    m_queue.pop_front();
    if (m_queue.empty() && m_commandsQueued) m_commandsQueued->store(0, std::memory_order_relaxed);
    return true;
}

const std::list<std::string>& DebugCommandSocketChannel::TakeAllCommands() {
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_taken.clear();
    m_taken.splice(m_taken.end(), m_queue);
    if (m_commandsQueued) m_commandsQueued->store(0, std::memory_order_relaxed);
    return m_taken;
}

void DebugCommandSocketChannel::Interrupt() {
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_interrupted = true;
    }
    m_queueCondition.notify_all();
    m_connection.Shutdown();
}

void DebugCommandSocketChannel::SendJson(const Json::Value& value) { Send(DebugJsonLine(value) + "\n"); }

void DebugCommandSocketChannel::SendText(const std::string& text) { Send(text + "\n"); }

void DebugCommandSocketChannel::SendOutput(const std::string& text) { Send("output:" + text + "\n"); }

void DebugCommandSocketChannel::Send(const std::string& bytes) {
    // Errors are ignored: a client that left misses the reply, and the
    // session learns of it from ReadCommand.
    std::lock_guard<std::mutex> lock(m_writeLock);
    m_connection.Write(bytes);
}

std::unique_ptr<DebugCommandChannel> OpenDebugCommandChannel(int port, std::atomic<uint8_t>* commandsQueued) {
    if (port < 0) return std::make_unique<DebugCommandConsoleChannel>();
    auto channel = std::make_unique<DebugCommandSocketChannel>(commandsQueued);
    if (!channel->Listen(port) || !channel->Accept()) return nullptr;
    return channel;
}
