// Runs the script format parser, formatting and scanning on arbitrary
// formats and sources: the first byte is the format's length, the format
// follows, the rest is the source. Each string the scanner fills is a heap
// block of exactly its room and the NUL, so that the sanitizer sees any byte
// written past it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "functions/ScriptFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t formatSize = std::min<size_t>(data[0], size - 1);
    const std::string format(reinterpret_cast<const char*>(data + 1), formatSize);
    const std::string source(reinterpret_cast<const char*>(data + 1 + formatSize), size - 1 - formatSize);

    const ParsedFormat parsed = ParseScriptFormat(format);
    if (!parsed.valid) return 0;

    std::vector<FormatValue> values(parsed.conversions.size());
    for (size_t k = 0; k < values.size(); ++k) {
        values[k].integer = static_cast<int64_t>(k * 7919) - 30000;
        values[k].real = static_cast<double>(k) * -1.25e7;
        values[k].text = k % 2 ? "text" : "";
    }
    const std::string text = ScriptSprintf(format, parsed, values);
    if (text.size() > kMaxFormattedLength) abort();

    std::vector<ScanTarget> targets(parsed.conversions.size());
    std::vector<std::unique_ptr<char[]>> buffers;
    for (size_t k = 0; k < targets.size(); ++k) {
        const FormatConversion& c = parsed.conversions[k];
        if (c.cls == FormatClass::Char && c.width > kMaxScanChars) return 0;
        if (c.cls != FormatClass::String) continue;
        const int32_t room = 1 + static_cast<int32_t>(k % 5);
        buffers.emplace_back(new char[static_cast<size_t>(room) + 1]);
        std::memset(buffers.back().get(), 'x', static_cast<size_t>(room));
        buffers.back()[static_cast<size_t>(room)] = '\0';
        targets[k].text = buffers.back().get();
        targets[k].room = room;
    }
    ScriptSscanf(source.c_str(), format, parsed, targets);
    return 0;
}
