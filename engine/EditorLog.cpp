#include "engine/EditorLog.h"

#include "platform/FifoWriter.h"
#include "platform/FileSystem.h"

std::string EditorLogPipePath() { return TempFolder() + "Tavoret_NEMEDPIPE"; }

void EditorLog(const char* data, int32_t length) {
    if (!data || length <= 0) return;
    WriteToFifo(EditorLogPipePath(), data, static_cast<size_t>(length));
}
