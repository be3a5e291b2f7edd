#include "media/RiffFile.h"

#include <algorithm>
#include <cstdint>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint64_t kHeaderBytes = 8;

}  // namespace

bool RiffFile::Open(const std::string& path) {
    // A script names the file: a regular file (of a web script's folder),
    // whatever its size, since it is read a piece at a time.
    FILE* stream = ScriptFile::Open(PathResolver::Shared().Resolve(path), UINT64_MAX).TakeStdio();
    return stream && Attach(stream);
}

bool RiffFile::Attach(FILE* stream) {
    Close();
    if (!stream) return false;
    m_file = stream;
    long size = -1;
    if (std::fseek(m_file, 0, SEEK_END) == 0) size = std::ftell(m_file);
    if (size < 0 || std::fseek(m_file, 0, SEEK_SET) != 0) {
        Close();
        return false;
    }
    m_size = static_cast<uint64_t>(size);
    m_position = 0;
    return true;
}

bool RiffFile::Close() {
    if (!m_file) return true;
    const int result = std::fclose(m_file);
    m_file = nullptr;
    return result == 0;
}

bool RiffFile::ReadHeader(uint32_t& id, uint32_t& size) {
    uint8_t header[kHeaderBytes];
    if (Read(header, sizeof header) != sizeof header) return false;
    id = Le32(header);
    size = Le32(header + 4);
    return true;
}

bool RiffFile::DescendRiff(RiffChunk& riff) {
    if (!Seek(0) || !ReadHeader(riff.id, riff.size) || riff.id != RiffId("RIFF") || riff.size < 4) return false;
    riff.dataOffset = kHeaderBytes;
    riff.end = std::min<uint64_t>(kHeaderBytes + riff.size, m_size);
    uint8_t form[4];
    if (Read(form, sizeof form) != sizeof form) return false;
    riff.formType = Le32(form);
    return true;
}

bool RiffFile::Find(uint32_t id, const RiffChunk& parent, RiffChunk& found) {
    const bool hasForm = parent.id == RiffId("RIFF") || parent.id == RiffId("LIST");
    uint64_t at = parent.dataOffset + (hasForm ? 4 : 0);
    // Every chunk passed must lie inside the parent, which lies inside the file.
    while (at + kHeaderBytes <= parent.end) {
        RiffChunk chunk;
        if (!Seek(at) || !ReadHeader(chunk.id, chunk.size)) return false;
        chunk.dataOffset = at + kHeaderBytes;
        chunk.end = chunk.dataOffset + chunk.size;
        if (chunk.end > parent.end) return false;
        if (chunk.id == id) {
            if ((id == RiffId("RIFF") || id == RiffId("LIST")) && chunk.size >= 4) {
                uint8_t form[4];
                if (Read(form, sizeof form) != sizeof form) return false;
                chunk.formType = Le32(form);
                if (!Seek(chunk.dataOffset)) return false;
            }
            found = chunk;
            return true;
        }
        at = chunk.end + (chunk.size & 1);
    }
    return false;
}

size_t RiffFile::Read(void* buffer, size_t n) {
    if (!m_file) return 0;
    const size_t got = std::fread(buffer, 1, n, m_file);
    m_position += got;
    return got;
}

bool RiffFile::Seek(uint64_t offset) {
    if (!m_file || offset > m_size || std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    m_position = offset;
    return true;
}
