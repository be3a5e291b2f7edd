// The link to the script editor's log: text written to the editor's named
// pipe, "Tavoret_NEMEDPIPE" in the temporary folder, which the editor reads
// while it runs.
#pragma once

#include <cstdint>
#include <string>

std::string EditorLogPipePath();

// Writes `length` bytes of `data` to the editor's pipe. Nothing happens, at
// once and unreported, when the editor is not running. Any thread may call
// it; modules get it through HostServices (kHostEditorLog).
void EditorLog(const char* data, int32_t length);
