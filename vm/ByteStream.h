// Byte streams of the value encoding and the formats built on it (bytecode,
// byte buffers, value files, network packets, object dumps).
//
// Integers are big-endian; floats are their four IEEE bytes in little-endian
// order. The reader never reads past its input: a short read fails, leaves
// the output untouched and marks the stream as failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void PutByte(uint8_t b) { m_out.push_back(b); }
    void PutInt16(int16_t v) {
        const uint16_t u = static_cast<uint16_t>(v);
        const uint8_t b[2] = {static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
        PutBytes(b, 2);
    }
    void PutInt32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        const uint8_t b[4] = {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
                              static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
        PutBytes(b, 4);
    }
    void PutFloat(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                              static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
        PutBytes(b, 4);
    }
    void PutBytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    // A length-prefixed string of the encoding (int32 length, bytes, no NUL).
    void PutString(const char* s, int32_t length) {
        if (length < 0 || !s) length = 0;
        PutInt32(length);
        PutBytes(s, static_cast<size_t>(length));
    }

    size_t Size() const { return m_out.size(); }
    std::vector<uint8_t>& Buffer() { return m_out; }

private:
    std::vector<uint8_t>& m_out;
};

// What one decode may still make of its input. Every element a decode makes
// (an array element, an object's member, a block's item) takes at least its
// type byte of the input, and every payload byte one byte of it, so an input
// of n bytes never holds more than n of either, however it nests. A reader
// takes an element count (or a byte count) from the budget before it
// allocates for it: a count the input cannot hold ends the decode instead
// of reserving memory for it, and the memory of a whole decode stays within
// a small multiple of its input.
class DecodeBudget {
public:
    explicit DecodeBudget(uint64_t inputBytes) : m_elements(inputBytes), m_bytes(inputBytes) {}

    // False, taking nothing, when fewer than n are left.
    bool TakeElements(int64_t n) { return Take(m_elements, n); }
    bool TakeBytes(int64_t n) { return Take(m_bytes, n); }
    uint64_t ElementsLeft() const { return m_elements; }
    uint64_t BytesLeft() const { return m_bytes; }

private:
    static bool Take(uint64_t& left, int64_t n) {
        if (n < 0 || static_cast<uint64_t>(n) > left) return false;
        left -= static_cast<uint64_t>(n);
        return true;
    }
    uint64_t m_elements;
    uint64_t m_bytes;
};

class ByteReader {
public:
    // The reader's budget is its input: every decode that reads through it
    // (nested arrays, objects reading their own data) draws on that one.
    ByteReader(const void* data, size_t size)
        : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0), m_budget(m_size) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    bool GetByte(uint8_t& b) {
        if (!Need(1)) return false;
        b = m_data[m_pos++];
        return true;
    }
    bool GetInt16(int16_t& v) {
        if (!Need(2)) return false;
        v = static_cast<int16_t>((m_data[m_pos] << 8) | m_data[m_pos + 1]);
        m_pos += 2;
        return true;
    }
    bool GetInt32(int32_t& v) {
        if (!Need(4)) return false;
        const uint8_t* b = m_data + m_pos;
        v = static_cast<int32_t>((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
                                 uint32_t(b[3]));
        m_pos += 4;
        return true;
    }
    bool GetFloat(float& f) {
        if (!Need(4)) return false;
        const uint8_t* b = m_data + m_pos;
        const uint32_t u = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
        std::memcpy(&f, &u, 4);
        m_pos += 4;
        return true;
    }
    bool GetBytes(void* out, size_t n) {
        if (!Need(n)) return false;
        if (n) std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }
    // Points at the next n bytes and skips them; null when they are not there.
    const uint8_t* Take(size_t n) {
        if (!Need(n)) return nullptr;
        const uint8_t* p = m_data + m_pos;
        m_pos += n;
        return p;
    }
    // A length-prefixed string; fails on a negative length or one that runs
    // past the input.
    bool GetString(std::string& s) {
        int32_t n;
        if (!GetInt32(n)) return false;
        if (n < 0) return Fail();
        const uint8_t* p = Take(static_cast<size_t>(n));
        if (!p) return false;
        s.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
        return true;
    }

    bool Seek(size_t pos) {
        if (pos > m_size) return Fail();
        m_pos = pos;
        return true;
    }
    size_t Position() const { return m_pos; }
    size_t Size() const { return m_size; }
    size_t Remaining() const { return m_size - m_pos; }
    bool Failed() const { return m_failed; }
    DecodeBudget& Budget() { return m_budget; }
    // Takes n elements from the budget; fails the stream when they are not
    // there.
    bool ReserveElements(int64_t n) { return m_budget.TakeElements(n) || Fail(); }
    bool Fail() {
        m_failed = true;
        return false;
    }

private:
    bool Need(size_t n) {
        if (m_failed || n > m_size - m_pos) return Fail();
        return true;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_failed = false;
    DecodeBudget m_budget;
};
