// Reads RIFF wave files for sound buffers: the format record of the "fmt "
// chunk and the bytes of the "data" chunk, which may come before or after
// it. A "fmt " chunk of 16 bytes gives an extra size of 0.
#pragma once

#include <cstdint>
#include <cstdio>

#include "media/RiffFile.h"
#include "platform/WaveFormat.h"

class WaveFileReader {
public:
    WaveFileReader() = default;
    ~WaveFileReader() { Close(); }
    WaveFileReader(const WaveFileReader&) = delete;
    WaveFileReader& operator=(const WaveFileReader&) = delete;

    // Opens the file (the shared path resolver finds it) and stops at the
    // first sample byte; false for anything but a RIFF "WAVE" file with a
    // "fmt " of at least 16 bytes and a "data" chunk, both inside the file.
    bool Open(const char* path);
    // The same from an open stream, which the reader closes.
    bool Open(FILE* stream);
    // The data chunk's size, 0 when no file is open.
    uint32_t DataSize() const { return m_open ? m_data.size : 0; }
    // Exactly n bytes of the data from the position; false (nothing read)
    // when fewer remain.
    bool Read(void* buffer, uint32_t n);
    bool GetFormat(WaveFormat* format) const;
    // False when closing fails (the file is let go all the same).
    bool Close();

private:
    bool Walk();

    RiffFile m_file;
    WaveFormat m_format;
    RiffChunk m_data;
    RiffChunk m_riff;
    bool m_open = false;
};
