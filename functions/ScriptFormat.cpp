#include "functions/ScriptFormat.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits as a number that stops growing past the largest width anyone means.
int64_t ReadNumber(std::string_view f, size_t& i) {
    int64_t n = 0;
    while (i < f.size() && IsDigit(f[i])) {
        if (n < 1000000000) n = n * 10 + (f[i] - '0');
        ++i;
    }
    return n;
}

// The conversion whose text starts at i (behind the "%", or behind
// the "*" of a suppressed one); false when it is invalid. Sets the fields
// from flag to scanSet, and end.
bool ReadConversion(std::string_view f, size_t i, FormatConversion& c) {
    const size_t n = f.size();
    if (i < n && std::strchr(" #+-0", f[i]) && f[i] != '\0') c.flag = f[i++];
    if (i < n && IsDigit(f[i])) c.width = ReadNumber(f, i);
    if (i < n && f[i] == '.') {
        ++i;
        c.precision = ReadNumber(f, i);
        if (i < n && f[i] == '.') return false;
    }
    if (i < n && f[i] == 'I') {
        if (f.substr(i, 3) != "I64") return false;
        c.prefix = 'I';
        i += 3;
    } else if (i < n && (f[i] == 'l' || f[i] == 'L' || f[i] == 'h')) {
        c.prefix = f[i++];
    }
    if (i >= n) return false;
    c.type = f[i++];
    switch (c.type) {
    case 'c':
    case 'C':
        c.cls = FormatClass::Char;
        break;
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
        c.cls = FormatClass::Float;
        break;
    case 's':
    case 'S':
        c.cls = FormatClass::String;
        break;
    case '[': {
        const size_t close = f.find(']', i);
        if (close == std::string_view::npos) return false;
        c.scanSet = f.substr(i, close - i);
        i = close + 1;
        c.cls = FormatClass::String;
        break;
    }
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
        c.cls = c.prefix == 'h' ? FormatClass::Short : FormatClass::Long;
        break;
    default:
        return false;
    }
    c.end = i;
    return true;
}

// The size prefix in the C library's terms: 64-bit integers are "ll", 16-bit
// ones "h"; everything else is passed without one.
const char* LibraryPrefix(const FormatConversion& c) {
    if (c.cls == FormatClass::Short) return "h";
    if (c.cls == FormatClass::Long && c.prefix == 'I') return "ll";
    return "";
}

char LibraryType(const FormatConversion& c) {
    if (c.type == 'S') return 's';
    if (c.type == 'C') return 'c';
    return c.type;
}

// Past these a field's first kMaxFormattedLength characters no longer change
// (a number's digits and a precision's zeros fit in the difference), so
// larger ones are cut to them: the C library would otherwise pad for as long
// as the format asks.
constexpr int64_t kMaxPrintPrecision = 2100;
constexpr int64_t kMaxPrintWidth = 4400;

std::string PrintSpec(const FormatConversion& c) {
    std::string spec = "%";
    if (c.flag) spec += c.flag;
    if (c.width >= 0) spec += std::to_string(c.width < kMaxPrintWidth ? c.width : kMaxPrintWidth);
    if (c.precision >= 0)
        spec += "." + std::to_string(c.precision < kMaxPrintPrecision ? c.precision : kMaxPrintPrecision);
    spec += LibraryPrefix(c);
    spec += LibraryType(c);
    return spec;
}

// Appends at most what is left of kMaxFormattedLength.
void AppendBounded(std::string& out, const char* text, size_t n) {
    const size_t room = kMaxFormattedLength - out.size();
    out.append(text, n < room ? n : room);
}

// Text of a segment outside its conversion: "%%" prints one "%".
void AppendLiteral(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size() && out.size() < kMaxFormattedLength; ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
}

void AppendConversion(std::string& out, const FormatConversion& c, const FormatValue& v) {
    if (c.type == '[') return;  // a scan set prints nothing
    const std::string spec = PrintSpec(c);
    // The bounds above keep a field below this.
    char buffer[kMaxPrintWidth + kMaxPrintPrecision + 400];
    int n = -1;
    switch (c.cls) {
    case FormatClass::Char:
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<int>(static_cast<unsigned char>(v.integer)));
        break;
    case FormatClass::Float:
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), v.real);
        break;
    case FormatClass::String:
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), v.text ? v.text : "");
        break;
    case FormatClass::Short:
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<int>(static_cast<int16_t>(v.integer)));
        break;
    case FormatClass::Long:
        if (c.prefix == 'I')
            n = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<long long>(v.integer));
        else
            n = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<int>(static_cast<int32_t>(v.integer)));
        break;
    }
    if (n > 0) AppendBounded(out, buffer, static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

// The scanner's format: the literal text as written, each conversion with
// its library prefix and type and, for strings and characters, the width its
// target can take. A suppressed conversion ("%*...") stays one when it reads
// as a conversion without a "%" inside; otherwise its "%*" is matched as
// text, so that the library finds exactly the parser's conversions.
std::string ScanFormat(std::string_view f, const ParsedFormat& parsed, const std::vector<ScanTarget>& targets) {
    std::string out;
    size_t k = 0;
    size_t i = 0;
    while (i < f.size()) {
        if (k < parsed.conversions.size() && i == parsed.conversions[k].start) {
            const FormatConversion& c = parsed.conversions[k];
            // The library takes a "]" right behind "[" or "[^" as a member
            // of the set and runs on to the next one, past conversions of
            // ours; an empty set matches nothing, so the scan ends there.
            if (c.type == '[' && (c.scanSet.empty() || c.scanSet == "^")) break;
            out += '%';
            if (c.cls == FormatClass::String) {
                const int64_t room = targets[k].room;
                out += std::to_string(c.width > 0 && c.width < room ? c.width : room);
            } else if (c.cls == FormatClass::Char) {
                if (c.width > 0) out += std::to_string(c.width);
            } else {
                if (c.flag) out += c.flag;
                if (c.width >= 0) out += std::to_string(c.width);
                if (c.precision >= 0) out += "." + std::to_string(c.precision);
                // The target's type follows the prefix: float, double or
                // long double; short, int or long long.
                if (c.cls == FormatClass::Float && (c.prefix == 'l' || c.prefix == 'L')) out += c.prefix;
                out += LibraryPrefix(c);
            }
            if (c.type == '[')
                out += "[" + std::string(c.scanSet) + "]";
            else
                out += LibraryType(c);
            i = c.end;
            ++k;
            continue;
        }
        const char ch = f[i];
        if (ch != '%') {
            out += ch;
            ++i;
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '*') {
            FormatConversion s;
            if (ReadConversion(f, i + 2, s) && f.substr(i, s.end - i).find('%', 1) == std::string_view::npos &&
                !(s.type == '[' && (s.scanSet.empty() || s.scanSet == "^"))) {
                out += "%*";
                if (s.width > 0) out += std::to_string(s.width);
                if (s.type == '[')
                    out += "[" + std::string(s.scanSet) + "]";
                else
                    out += std::string(LibraryPrefix(s)) + LibraryType(s);
                i = s.end;
            } else {
                out += "%%*";
                i += 2;
            }
            continue;
        }
        // "%%", or (never for a parsed format) a "%" of no conversion.
        out += "%%";
        i += (i + 1 < f.size() && f[i + 1] == '%') ? 2 : 1;
    }
    return out;
}

// One conversion's place for the scanner, of the type its prefix asks for.
union ScanCell {
    float f;
    double d;
    long double ld;
    short s;
    int i;
    long long ll;
    char chars[kMaxScanChars];
};

}  // namespace

ParsedFormat ParseScriptFormat(std::string_view f) {
    ParsedFormat result;
    size_t segmentStart = 0;
    size_t i = 0;
    while (i < f.size()) {
        if (f[i] != '%') {
            ++i;
            continue;
        }
        if (i + 1 < f.size() && (f[i + 1] == '%' || f[i + 1] == '*')) {
            i += 2;
            continue;
        }
        if (result.conversions.size() == kMaxFormatConversions) {
            result.moreThanMax = true;
            break;
        }
        FormatConversion c;
        c.segmentStart = segmentStart;
        c.start = i;
        if (!ReadConversion(f, i + 1, c)) {
            result.conversions.clear();
            return result;
        }
        const size_t next = f.find('%', c.end);
        c.segmentEnd = next == std::string_view::npos ? f.size() : next;
        segmentStart = c.segmentEnd;
        i = c.segmentEnd;
        result.conversions.push_back(c);
    }
    result.valid = true;
    return result;
}

std::string ScriptSprintf(std::string_view f, const ParsedFormat& parsed, const std::vector<FormatValue>& values) {
    if (parsed.conversions.empty()) return std::string(f.substr(0, kMaxFormattedLength));
    std::string out;
    for (size_t k = 0; k < parsed.conversions.size() && k < values.size(); ++k) {
        const FormatConversion& c = parsed.conversions[k];
        AppendLiteral(out, f.substr(c.segmentStart, c.start - c.segmentStart));
        AppendConversion(out, c, values[k]);
        AppendLiteral(out, f.substr(c.end, c.segmentEnd - c.end));
    }
    return out;
}

int ScriptSscanf(const char* source, std::string_view format, const ParsedFormat& parsed,
                 std::vector<ScanTarget>& targets) {
    const size_t n = parsed.conversions.size();
    if (!parsed.valid || parsed.moreThanMax || targets.size() != n) return -2;
    ScanCell cells[kMaxFormatConversions] = {};
    void* places[kMaxFormatConversions] = {};
    for (size_t k = 0; k < n; ++k) {
        const FormatConversion& c = parsed.conversions[k];
        if (c.cls == FormatClass::String) {
            if (!targets[k].text || targets[k].room < 1) return -2;
            places[k] = targets[k].text;
        } else {
            if (c.cls == FormatClass::Char && c.width > kMaxScanChars) return -2;
            places[k] = &cells[k];
        }
    }
    const std::string scan = ScanFormat(format, parsed, targets);
    // Unused places are null and never reached: the format has n conversions.
    const int count = std::sscanf(source, scan.c_str(), places[0], places[1], places[2], places[3], places[4],
                                  places[5], places[6], places[7], places[8], places[9], places[10], places[11],
                                  places[12], places[13], places[14]);
    for (size_t k = 0; k < n && static_cast<int>(k) < count; ++k) {
        const FormatConversion& c = parsed.conversions[k];
        const ScanCell& cell = cells[k];
        ScanTarget& t = targets[k];
        switch (c.cls) {
        case FormatClass::Char:
            t.integer = static_cast<unsigned char>(cell.chars[0]);
            break;
        case FormatClass::Float:
            t.real = c.prefix == 'l'   ? static_cast<float>(cell.d)
                     : c.prefix == 'L' ? static_cast<float>(cell.ld)
                                       : cell.f;
            break;
        case FormatClass::Short:
            t.integer = cell.s;
            break;
        case FormatClass::Long:
            t.integer = c.prefix == 'I' ? static_cast<int32_t>(static_cast<uint32_t>(cell.ll)) : cell.i;
            break;
        case FormatClass::String:
            break;
        }
    }
    return count;
}
