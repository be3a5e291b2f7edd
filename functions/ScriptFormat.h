// The printf/scanf-style format strings of scripts: the parser that lists a
// format's conversions, and formatting and scanning with the C library.
//
// A format holds at most 15 conversions. Each has a class that says which
// script value it takes: `c` a character, `f` a floating-point number, `s` a
// string (a scan set "[...]" too), `l` a 32-bit integer and `i` a 16-bit one
// ("h" with an integer type). A conversion is "%", at most one flag among
// " #+-0", digits with at most one ".", an optional size prefix ("I64", "l",
// "L" or "h") and the type character. "%%" and "%*" are no conversions.
//
// Each conversion owns a segment of the format: from the end of the previous
// segment (the format's start for the first) to the character before the
// next "%" after the conversion, or the format's end. Formatting prints the
// segments one value each; text after the last segment is dropped.
//
// The C library never sees a conversion as written: the segment is rebuilt
// with the conversion in the library's own terms and the value goes with the
// C type of that rebuilt conversion. "l" stays 32 bits (a long is 64 on this
// platform), "I64" becomes "ll" with a 64-bit value, "L" and the prefixes of
// characters and strings go (they would ask for long doubles and wide
// characters), "S" and "C" become "s" and "c", and every string that the
// scanner writes is bounded by a width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class FormatClass : char { Char = 'c', Float = 'f', String = 's', Long = 'l', Short = 'i' };

struct FormatConversion {
    FormatClass cls = FormatClass::Long;
    size_t segmentStart = 0;  // offsets into the format
    size_t start = 0;         // the "%"
    size_t end = 0;           // behind the type character (the "]" of a scan set)
    size_t segmentEnd = 0;
    char flag = 0;            // 0 or one of " #+-0"
    int64_t width = -1;       // -1 when there are no digits (saturates)
    int64_t precision = -1;   // -1 without "."; 0 for a "." without digits
    char prefix = 0;          // 0, 'h', 'l', 'L', or 'I' for "I64"
    char type = 0;            // as written; '[' for a scan set
    std::string_view scanSet; // between "[" and "]"
};

struct ParsedFormat {
    bool valid = false;
    // Another conversion follows the 15th (which the list does not hold).
    bool moreThanMax = false;
    std::vector<FormatConversion> conversions;
};

constexpr size_t kMaxFormatConversions = 15;
// Longest text that formatting makes.
constexpr size_t kMaxFormattedLength = 2047;
// Most characters the scanner stores for one "c" conversion.
constexpr int64_t kMaxScanChars = 8;

ParsedFormat ParseScriptFormat(std::string_view format);

// The value of one conversion, read by its class: `integer` for `c` (the
// character code), `i` and `l`; `real` for `f`; `text` (NUL-terminated)
// for `s`.
struct FormatValue {
    int64_t integer = 0;
    double real = 0;
    const char* text = "";
};

// The segments of a parsed, valid format printed with one value each (as
// many values as conversions), cut at kMaxFormattedLength characters. In the
// segments' text "%%" prints "%"; a scan set prints nothing.
std::string ScriptSprintf(std::string_view format, const ParsedFormat& parsed, const std::vector<FormatValue>& values);

// Where the scanner stores a conversion. Class `s`: `text` is a buffer of
// room + 1 bytes, of which the scanner writes at most room characters and a
// NUL (room >= 1). Other classes: the scanned value lands in `integer`
// (`c`: the first character, `i`: 16 bits, `l`: 32 bits, sign-extended) or
// `real` (`f`).
struct ScanTarget {
    char* text = nullptr;
    int32_t room = 0;
    int32_t integer = 0;
    float real = 0;
};

// Runs the C library's scanner over the source with the whole format, one
// target per conversion. Answers the scanner's count of assigned conversions
// (-1 when the input ended first), or -2 when the targets cannot take the
// format (the wrong count, a string without room, more than kMaxScanChars
// characters for a "c"); then nothing is scanned.
int ScriptSscanf(const char* source, std::string_view format, const ParsedFormat& parsed,
                 std::vector<ScanTarget>& targets);
