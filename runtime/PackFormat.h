// The pack format: a format string that converts between 32-bit floats (the
// script's Vector) and a byte string of fixed-width fields in a chosen byte
// order.
//
// A format is an optional byte-order prefix ("!" or ">" big-endian, "<"
// little-endian, "=" or "@" or none: host order) and then items: an optional
// decimal count (default 1) and a letter.
//
//   letter  bytes  pack (one float per field)           unpack (per field)
//   x       n      n zero bytes, no input               skipped, no output
//   c, b    n      signed 32-bit truncation, low byte   signed byte
//   B       n      32-bit truncation, low byte          unsigned byte
//   h       2n     signed 32-bit truncation, low 16     signed 16-bit
//   H       2n     32-bit truncation, low 16            ends the unpacking
//   i, l, P 4n     signed 32-bit truncation             signed 32-bit
//   I, L    4n     signed 64-bit truncation, low 32     ends the unpacking
//   q, Q    8n     signed 64-bit truncation             signed / unsigned 64
//   f       4n     the float                            the float
//   d       8n     the float as a double                the double as a float
//   s       n      the n characters after the letter    one output: the
//   S       2n     the same as (character, 0) pairs     field's position
//
// Any other character where a letter is expected ends the format. The
// unsigned 32-bit truncation (B, H) goes through 64 bits as I and L do, so
// that values up to 2^32 - 1 and negative ones keep their low bits.
//
// Every routine is bounded by what it is given: the format's end (a literal
// after "s"/"S" included), the input count, the output's size and the data's
// length. A field that does not fit what is left ends the work there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Largest byte size and value count of a format; the size routines answer
// -1 beyond it, so that nothing that large is ever made.
constexpr int64_t kPackFormatMaxSize = 0x0FFFFFFF;

// The number of floats that unpacking the format gives: each numeric field
// one, each "s" or "S" item one, "x" none. -1 beyond kPackFormatMaxSize.
int32_t PackFormatValueCount(std::string_view format);

// The bytes of the format's fields. With literals (packing) the characters
// that follow an "s" or "S" are its text and are skipped; without (unpacking)
// the format holds none. -1 beyond kPackFormatMaxSize.
int32_t PackFormatByteSize(std::string_view format, bool withLiterals);

// Packs the floats into the output in format order and answers the bytes the
// fields cover. Each numeric field takes the next float; once the inputCount
// floats are used up, numeric fields keep their room but are not written.
// Packing ends at the first field that does not fit in outputSize bytes; a
// literal shorter than its count is completed with zero bytes.
int32_t PackVectorToBytes(const float* input, std::string_view format, uint8_t* output, int32_t inputCount,
                          size_t outputSize);

// Unpacks the data into the output floats in format order and answers the
// floats written. Unpacking ends at a letter it does not support ("H", "I",
// "L"), at the first field that runs past dataSize bytes, and when the
// capacity is full.
int32_t UnpackBytesToVector(std::string_view format, const uint8_t* data, size_t dataSize, float* output,
                            int32_t capacity);

// Copies 8 bytes in reverse order.
void ReverseBytes8(const void* source, void* destination);

// Float to integer, truncating toward zero. What the target cannot hold (NaN
// included) gives the processor's "integer indefinite": INT32_MIN or
// INT64_MIN.
int32_t PackTruncate32(float value);
int64_t PackTruncate64(float value);

// One item of a format as the routines read it: the count (digits read as a
// number that stops growing at INT32_MAX; 1 without digits), the letter
// (0 at the format's end or at a character that is not a letter of the
// format) and, when packing, the literal of an "s" or "S" item (cut at the
// format's end).
struct PackItem {
    int64_t count = 0;
    char letter = 0;
    std::string_view literal;
};

// Reads a format item by item.
class PackFormatReader {
public:
    // withLiterals: "s" and "S" items are followed by their text.
    PackFormatReader(std::string_view format, bool withLiterals);

    // The byte order of fields of more than one byte that the prefix chose
    // (the host's when it chose none).
    bool BigEndian() const { return m_bigEndian; }
    // The next item; false at the end of the format.
    bool Next(PackItem& item);

    // The bytes a field of the letter takes (0 for a letter that is none).
    static int FieldSize(char letter);

private:
    std::string_view m_format;
    size_t m_pos = 0;
    bool m_withLiterals;
    bool m_bigEndian = false;
};
