// Writing to a named pipe (FIFO) that a reader may or may not hold open.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to the FIFO at `path` when a reader has it open; false,
// at once and without a signal, when there is no FIFO or no reader, or the
// reader goes away while the bytes are written. Waits while the pipe is
// full. Any thread may call it.
bool WriteToFifo(const std::string& path, const void* data, size_t length);
