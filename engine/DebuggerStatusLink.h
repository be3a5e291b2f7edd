// The debugger status link: an outside debugging tool creates a 4-byte
// shared-memory object and reads from it the index of the instruction the
// engine machine runs. The machine only opens the object; when it exists,
// DebuggerStatusHook becomes the machine's step hook.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SharedMemoryView.h"

class CVirtualMachine;

class DebuggerStatusLink {
public:
    static constexpr const char* kDefaultName = "/QEM_DEBUGGER_MEMORY_MAPPING_001_001_004";
    // The object the links opened from now on open; tests give their own.
    static void SetName(const std::string& name);
    static std::string Name();

    // True when the object exists and its 4 bytes are mapped.
    bool Open();
    bool IsOpen() const { return m_view.Data() != nullptr; }
    // Publishes the index with one 32-bit store (readers never see half).
    void Write(int32_t index) {
        __atomic_store_n(static_cast<int32_t*>(m_view.Data()), index, __ATOMIC_RELAXED);
    }

private:
    SharedMemoryView m_view;
};

// The engine machine's step hook while its status link is open: writes the
// index of the instruction about to run.
void DebuggerStatusHook(int32_t index, CVirtualMachine* machine);
