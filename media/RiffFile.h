// A reader of RIFF files: chunks of a four-character id, a 32-bit
// little-endian size and the data, padded to an even length; "RIFF" and
// "LIST" chunks start their data with a form type and hold chunks. A chunk
// is taken only when it ends inside its parent and inside the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The four characters of a chunk id as the 32-bit value read from disk.
constexpr uint32_t RiffId(const char (&id)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24;
}

struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t formType = 0;    // RIFF and LIST chunks only
    uint64_t dataOffset = 0;  // the first byte after the size (of a RIFF or LIST chunk: the form type)
    uint64_t end = 0;         // just past the data (before the pad byte)
};

class RiffFile {
public:
    RiffFile() = default;
    ~RiffFile() { Close(); }
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // Opens the file for reading; false when it cannot be.
    bool Open(const std::string& path);
    // Reads an open stream (the reader closes it).
    bool Attach(FILE* stream);
    // False when closing fails.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }

    // The file's first chunk, which must be "RIFF": its form type is read and
    // the position is after it. A RIFF size that runs past the file counts
    // up to the file's end (writers that stream leave it too large).
    bool DescendRiff(RiffChunk& riff);
    // Finds the first chunk `id` among the chunks of `parent`, from its
    // start; the position is then at the chunk's data.
    bool Find(uint32_t id, const RiffChunk& parent, RiffChunk& found);
    // Reads n bytes from the position; the count read.
    size_t Read(void* buffer, size_t n);
    bool Seek(uint64_t offset);
    uint64_t Position() const { return m_position; }

private:
    bool ReadHeader(uint32_t& id, uint32_t& size);

    FILE* m_file = nullptr;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
};
