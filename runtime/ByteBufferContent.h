// The bytes of a script byte buffer and its view.
//
// A buffer holds any bytes (NUL included; a zero byte always follows them in
// memory) and a read offset. Most operations work on the view, the bytes from
// the offset to the end. The offset may lie beyond the end (after the buffer
// shrank); the view is then empty, never of a negative size.
//
// Scripts never see addresses: a buffer gives out one handle, a small
// non-zero number from a process-wide table, which stays valid until the
// buffer goes. Whoever holds a handle reaches the buffer only through
// WithHandle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class ByteBufferContent {
public:
    // The largest buffer (the longest script string).
    static constexpr int32_t kMaxSize = 0x3FFFFFDF;

    ByteBufferContent() = default;
    ~ByteBufferContent();
    ByteBufferContent(const ByteBufferContent&) = delete;
    ByteBufferContent& operator=(const ByteBufferContent&) = delete;

    static bool ValidSize(int64_t n) { return n >= 0 && n <= kMaxSize; }

    // The whole content.
    int32_t Length() const { return static_cast<int32_t>(m_bytes.size()); }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(m_bytes.data()); }
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(&m_bytes[0]); }
    const std::string& Bytes() const { return m_bytes; }

    // The view.
    int32_t Offset() const { return m_offset; }
    int32_t ViewSize() const { return m_offset < Length() ? Length() - m_offset : 0; }
    const uint8_t* View() const { return Data() + Length() - ViewSize(); }
    uint8_t* View() { return Data() + Length() - ViewSize(); }

    // The byte at pos of the view: 0 at pos == ViewSize(); false outside.
    bool ByteAt(int32_t pos, uint8_t& value) const;
    // The offset, clamped to 0 ... Length() - 1 (0 when empty); the new one.
    int32_t SetOffset(int32_t offset);
    // Every byte of the view.
    void Fill(uint8_t value);
    // Copies at most the view's size of the source to the view's start; the
    // count copied. The source may lie in this buffer.
    int32_t CopyToView(const void* source, size_t n);

    // The whole content: n bytes of `fill`, the source's bytes, or more
    // bytes at the end. The offset stays. False (nothing changed) when the
    // result would pass kMaxSize. Sources may lie in this buffer.
    bool Reset(int64_t n, uint8_t fill);
    bool Assign(const void* source, size_t n);
    bool Append(const void* source, size_t n);
    // Keeps the first min(Length(), n) bytes; added bytes are zero.
    bool Resize(int64_t n);

    // This buffer's handle (issued at the first call).
    int32_t Handle();
    // Runs f on the buffer of a live handle, with the table locked so that
    // the buffer stays (f must not make handles or drop buffers); false for
    // any other number.
    static bool WithHandle(int32_t handle, const std::function<void(ByteBufferContent&)>& f);

private:
    std::string m_bytes;
    int32_t m_offset = 0;
    int32_t m_handle = 0;
};
