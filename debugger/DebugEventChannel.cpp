#include "debugger/DebugEventChannel.h"

#include <iostream>

void DebugEventChannel::BreakpointAt(const std::string& file, int32_t line) {
    WriteEvent("Breakpoint at " + file + ":" + std::to_string(line));
}
void DebugEventChannel::ResumedByClient() { WriteEvent("Resumed by client"); }
void DebugEventChannel::ResumedByStepInto() { WriteEvent("Resumed by step into"); }
void DebugEventChannel::ResumedByStepOver() { WriteEvent("Resumed by step over"); }
void DebugEventChannel::Stopped() { WriteEvent("Stopped"); }
void DebugEventChannel::Started() { WriteEvent("Started"); }

void DebugConsoleEventChannel::WriteEvent(const std::string& text) { std::cout << text << std::endl; }

void DebugSocketEventChannel::WriteEvent(const std::string& text) { m_connection.Write(text + "\r\n"); }

std::unique_ptr<DebugEventChannel> OpenDebugEventChannel(int port) {
    if (port < 0) return std::make_unique<DebugConsoleEventChannel>();
    auto channel = std::make_unique<DebugSocketEventChannel>();
    if (!channel->Listen(port) || !channel->Accept()) return nullptr;
    return channel;
}
