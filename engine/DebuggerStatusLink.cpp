#include "engine/DebuggerStatusLink.h"

#include <mutex>

namespace {

std::mutex g_nameLock;
std::string g_name = DebuggerStatusLink::kDefaultName;

}  // namespace

void DebuggerStatusLink::SetName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_nameLock);
    g_name = name;
}

std::string DebuggerStatusLink::Name() {
    std::lock_guard<std::mutex> lock(g_nameLock);
    return g_name;
}

bool DebuggerStatusLink::Open() { return m_view.OpenExisting(Name(), sizeof(int32_t)); }
