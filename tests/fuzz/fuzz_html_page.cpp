// Reads arbitrary bytes as an HTML settings page.
#include <cstdio>

#include "host/HtmlSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    HtmlSettings page;
    page.file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!page.file) return 0;
    HtmlParseObject(page);
    CloseHtmlSettings(page);
    return 0;
}
