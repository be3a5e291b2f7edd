#include "Streamer/StreamCaptureBuffer.h"

StreamCaptureBuffer::StreamCaptureBuffer() {
    for (auto& frame : m_frames) frame.reset(new uint8_t[kBytes]());
}

uint8_t* StreamCaptureBuffer::BeginCapture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    int free = 0;
    while (free == m_latest || free == m_reading) ++free;
    m_writing = free;
    return m_frames[free].get();
}

void StreamCaptureBuffer::EndCapture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_writing >= 0) m_latest = m_writing;
    m_writing = -1;
}

const uint8_t* StreamCaptureBuffer::BeginConvert() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reading = m_latest;
    return m_frames[m_reading].get();
}

void StreamCaptureBuffer::EndConvert() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reading = -1;
}

StreamCaptureBuffer& ProcessCaptureBuffer() {
    static StreamCaptureBuffer buffer;
    return buffer;
}
