#include "media/WaveFileReader.h"

namespace {

constexpr uint32_t kMinFormatBytes = 16;
constexpr uint32_t kFormatBytes = 18;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return static_cast<uint32_t>(Le16(p)) | static_cast<uint32_t>(Le16(p + 2)) << 16; }

}  // namespace

bool WaveFileReader::Open(const char* path) {
    if (!Close()) return false;
    return path && m_file.Open(path) && Walk();
}

bool WaveFileReader::Open(FILE* stream) {
    if (!Close()) {
        if (stream) std::fclose(stream);
        return false;
    }
    return m_file.Attach(stream) && Walk();
}

bool WaveFileReader::Walk() {
    RiffChunk format;
    uint8_t bytes[kFormatBytes] = {};
    bool ok = m_file.DescendRiff(m_riff) && m_riff.formType == RiffId("WAVE") &&
              m_file.Find(RiffId("fmt "), m_riff, format) && format.size >= kMinFormatBytes;
    if (ok) {
        const uint32_t wanted = format.size >= kFormatBytes ? kFormatBytes : kMinFormatBytes;
        ok = m_file.Read(bytes, wanted) == wanted && m_file.Find(RiffId("data"), m_riff, m_data);
    }
    if (!ok) {
        m_file.Close();
        return false;
    }
    m_format.formatTag = Le16(bytes);
    m_format.channels = Le16(bytes + 2);
    m_format.samplesPerSec = Le32(bytes + 4);
    m_format.avgBytesPerSec = Le32(bytes + 8);
    m_format.blockAlign = Le16(bytes + 12);
    m_format.bitsPerSample = Le16(bytes + 14);
    m_format.extraSize = Le16(bytes + 16);
    m_open = true;
    return true;
}

bool WaveFileReader::Read(void* buffer, uint32_t n) {
    if (!m_open) return false;
    const uint64_t at = m_file.Position();
    if (at < m_data.dataOffset || at > m_data.end || n > m_data.end - at) return false;
    return m_file.Read(buffer, n) == n;
}

bool WaveFileReader::GetFormat(WaveFormat* format) const {
    if (!m_open) return false;
    *format = m_format;
    return true;
}

bool WaveFileReader::Close() {
    m_open = false;
    return m_file.Close();
}
