// Reads arbitrary bytes as a text page's file and as one of its text files,
// and measures them as a glyph picture whose size the first bytes give.
#include <algorithm>
#include <string>

#include "scene/VRHtmlPage.h"
#include "scene/VRText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    VRHtmlPage page;
    page.ReadEntries(text);
    VRHtmlPage::SplitLines(text);
    if (size < 3) return 0;
    const int32_t width = data[0], channels = 1 + data[2] % 4;
    const size_t row = static_cast<size_t>(width) * static_cast<size_t>(channels);
    const int32_t height = row ? static_cast<int32_t>(std::min<size_t>(data[1], (size - 3) / row)) : 0;
    VRGlyphTables tables;
    tables.Measure(data + 3, width, height, channels);
    return 0;
}
