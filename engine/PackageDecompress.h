// The compression format of module packages: an LZ stream of literal bytes
// and back-references, steered by tag bits and gamma-coded numbers.
//
// The output starts with the first source byte. Tag bits are read most
// significant first from tag bytes that the reader takes from the source
// whenever it runs out of bits, between the literal and offset bytes that
// the steps take directly. A gamma number is 1 followed by data bits, each
// data bit followed by a bit that is 1 while more follow (so it is >= 2).
//
//   0      literal: the next source byte
//   10     g = gamma; after a literal, g = 2 repeats the last offset with
//          length = gamma; otherwise offset = (g - 3, or g - 2 after a match)
//          * 256 + next byte, length = gamma, plus 2 when offset >= 32000,
//          plus 1 when 1280 <= offset < 32000, plus 2 when offset < 128
//   110    b = next byte: offset = b >> 1 (0 ends the stream), length
//          2 + (b & 1)
//   111    a 4-bit offset: the byte that lies that far back, or 0 for 0
//
// Copies go byte by byte, so a copy may overlap what it writes.
#pragma once

#include <cstddef>
#include <cstdint>

// Expands `source` into `destination`, which holds at most `capacity`
// bytes. Answers the number of bytes written up to the end marker, or -1
// when the stream is refused: cut short (a read past the source), an
// offset of 0 or before the start of the output, a repeated offset before
// any offset, or output past `capacity`. Nothing outside the two buffers is
// read or written.
int64_t PackageDecompress(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t capacity);
