#include "platform/BitmapFont.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Pixel size picked when the caller gives none: the size of the "fixed" font.
constexpr int kUsualPixelSize = 13;

// Unicode code point of a Windows-1252 byte. The code page is Latin-1 except
// for 0x80 to 0x9F; the five bytes it leaves undefined keep their own value
// (C1 controls), as Windows does.
uint32_t Cp1252ToUnicode(unsigned c) {
    static const uint16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
}

// The metrics glXUseXFont uses for glyph g (its advance is `width`): null
// when g lies outside the font's ranges. Mirrors how the GL library indexes
// one-row ("linear") and two-byte ("matrix") fonts.
const XCharStruct* GlyphMetrics(const XFontStruct* fs, unsigned g) {
    const unsigned rows = fs->max_byte1 - fs->min_byte1 + 1;
    const unsigned cols = fs->max_char_or_byte2 - fs->min_char_or_byte2 + 1;
    size_t index;
    if (rows == 1) {
        if (g < fs->min_char_or_byte2 || g > fs->max_char_or_byte2) return nullptr;
        index = g - fs->min_char_or_byte2;
    } else {
        const unsigned b1 = g >> 8, b2 = g & 0xff;
        if (b2 < fs->min_char_or_byte2 || b2 > fs->max_char_or_byte2 || b1 < fs->min_byte1 ||
            b1 > fs->max_byte1)
            return nullptr;
        index = static_cast<size_t>(b1 - fs->min_byte1) * cols + (b2 - fs->min_char_or_byte2);
    }
    return fs->per_char ? fs->per_char + index : &fs->min_bounds;
}

// X marks a glyph the font lacks by all-zero metrics.
bool GlyphExists(const XFontStruct* fs, unsigned g) {
    const XCharStruct* m = GlyphMetrics(fs, g);
    return m && (m->width || m->lbearing || m->rbearing || m->ascent || m->descent);
}

// The advance glXUseXFont gives glyph g (the widest one when out of range).
int32_t Advance(const XFontStruct* fs, unsigned g) {
    const XCharStruct* m = GlyphMetrics(fs, g);
    return m ? m->width : fs->max_bounds.width;
}

// A glyph without a bitmap (a space): glXUseXFont compiles it as a glBitmap
// with no pixels, which Mesa refuses inside a display list (out of memory),
// leaving a list that does not advance. Such glyphs get lists of our own.
bool IsBlank(const XFontStruct* fs, unsigned g) {
    const XCharStruct* m = GlyphMetrics(fs, g);
    return !m || m->rbearing - m->lbearing <= 0 || m->ascent + m->descent <= 0;
}

void CompileBlank(unsigned list, int32_t advance) {
    static const GLubyte kNoPixels[1] = {0};
    glNewList(list, GL_COMPILE);
    glBitmap(0, 0, 0, 0, static_cast<GLfloat>(advance), 0, kNoPixels);
    glEndList();
}

bool IsUnicodeFont(Display* dpy, XFontStruct* fs) {
    const Atom registry = XInternAtom(dpy, "CHARSET_REGISTRY", True);
    unsigned long value = 0;
    if (registry != None && XGetFontProperty(fs, registry, &value)) {
        char* name = XGetAtomName(dpy, static_cast<Atom>(value));
        const bool unicode = name && strcasecmp(name, "ISO10646") == 0;
        if (name) XFree(name);
        return unicode;
    }
    return fs->max_byte1 > 0;
}

// The 14 fields of a full X font name ("-foundry-family-weight-...").
bool SplitXlfd(const char* name, std::vector<std::string>& fields) {
    fields.clear();
    if (name[0] != '-') return false;
    std::string field;
    for (const char* p = name + 1;; ++p) {
        if (*p == '-' || *p == '\0') {
            fields.push_back(field);
            field.clear();
            if (*p == '\0') break;
        } else {
            field += *p;
        }
    }
    return fields.size() == 14;
}

std::string JoinXlfd(const std::vector<std::string>& fields) {
    std::string name;
    for (const std::string& f : fields) name += "-" + f;
    return name;
}

// Loads the best font of a family at a pixel size: the exact size first, then
// a scalable one at that size, then the nearest size; upright regular
// normal-width faces and Unicode encodings before the others.
XFontStruct* LoadFamily(Display* dpy, const char* family, int pixelSize) {
    if (std::strpbrk(family, "-*?") != nullptr) return nullptr;
    const std::string pattern = std::string("-*-") + family + "-*-*-*-*-*-*-*-*-*-*-*-*";
    int count = 0;
    char** names = XListFonts(dpy, pattern.c_str(), 4096, &count);
    if (!names) return nullptr;

    using Rank = std::tuple<int, int, int, int, int>;
    Rank bestRank{};
    std::vector<std::string> best, fields;
    for (int i = 0; i < count; ++i) {
        if (!SplitXlfd(names[i], fields)) continue;
        const std::string encoding = fields[12] + "-" + fields[13];
        int encodingRank;
        if (strcasecmp(encoding.c_str(), "iso10646-1") == 0)
            encodingRank = 0;
        else if (strcasecmp(encoding.c_str(), "iso8859-1") == 0)
            encodingRank = 1;
        else
            continue;
        const int pixel = std::atoi(fields[6].c_str());
        const int sizeRank = pixel == pixelSize ? 0 : pixel == 0 ? 1 : 2 + std::abs(pixel - pixelSize);
        const char* weight = fields[2].c_str();
        const int weightRank = strcasecmp(weight, "medium") == 0 || strcasecmp(weight, "regular") == 0 ||
                                       strcasecmp(weight, "normal") == 0 || strcasecmp(weight, "book") == 0
                                   ? 0
                                   : 1;
        const int slantRank = strcasecmp(fields[3].c_str(), "r") == 0 ? 0 : 1;
        const int widthRank = strcasecmp(fields[4].c_str(), "normal") == 0 ? 0 : 1;
        const Rank rank{sizeRank, weightRank, slantRank, widthRank, encodingRank};
        if (best.empty() || rank < bestRank) {
            bestRank = rank;
            best = fields;
        }
    }
    XFreeFontNames(names);
    if (best.empty()) return nullptr;
    if (std::atoi(best[6].c_str()) == 0) {  // scalable: ask for the size itself
        best[6] = std::to_string(pixelSize);
        best[7] = "*";
        best[11] = "*";
    }
    return XLoadQueryFont(dpy, JoinXlfd(best).c_str());
}

XFontStruct* LoadFixed(Display* dpy, int pixelSize, bool sizeGiven) {
    XFontStruct* fs = sizeGiven ? LoadFamily(dpy, "fixed", pixelSize) : nullptr;
    return fs ? fs : XLoadQueryFont(dpy, "fixed");
}

}  // namespace

BitmapFontResult LoadBitmapFont(const char* face, int pixelSize, unsigned first, unsigned count,
                                unsigned listBase, BitmapFontMetrics& metrics) {
    metrics = BitmapFontMetrics{};
    Display* dpy = glXGetCurrentDisplay();
    if (!glXGetCurrentContext() || !dpy) return BitmapFontResult::Failed;
    const bool sizeGiven = pixelSize > 0;
    const int size = sizeGiven ? pixelSize : kUsualPixelSize;

    BitmapFontResult result = BitmapFontResult::Loaded;
    XFontStruct* fs = nullptr;
    if (!face || !*face) {
        if (!sizeGiven) fs = XLoadQueryFont(dpy, "variable");
        if (!fs) fs = LoadFixed(dpy, size, sizeGiven);
    } else {
        fs = LoadFamily(dpy, face, size);
        if (!fs) fs = XLoadQueryFont(dpy, face);  // an alias or a full X font name
        if (!fs) {
            result = BitmapFontResult::FellBack;
            fs = LoadFixed(dpy, size, true);
        }
    }
    if (!fs) return BitmapFontResult::Failed;

    // Every code gets a glyph that exists, so that its advance here is the
    // advance of its display list.
    const bool unicode = IsUnicodeFont(dpy, fs);
    unsigned missing = ' ';
    if (GlyphExists(fs, fs->default_char)) missing = fs->default_char;
    unsigned glyphs[256];
    for (unsigned c = 0; c < 256; ++c) {
        unsigned g = unicode ? Cp1252ToUnicode(c) : c;
        if (!GlyphExists(fs, g)) g = missing;
        glyphs[c] = g;
        metrics.widths[c] = Advance(fs, g);
    }
    metrics.height = fs->ascent + fs->descent;

    if (listBase != 0 && first < 256) {
        if (count > 256 - first) count = 256 - first;
        for (unsigned i = 0; i < count;) {
            const unsigned c = first + i;
            if (IsBlank(fs, glyphs[c])) {
                CompileBlank(listBase + i, metrics.widths[c]);
                ++i;
                continue;
            }
            // One call per run of consecutive inked glyphs.
            unsigned run = 1;
            while (i + run < count && glyphs[c + run] == glyphs[c] + run && !IsBlank(fs, glyphs[c + run]))
                ++run;
            glXUseXFont(fs->fid, static_cast<int>(glyphs[c]), static_cast<int>(run),
                        static_cast<int>(listBase + i));
            i += run;
        }
    }
    XFreeFont(dpy, fs);
    return result;
}

const void* CurrentGlContext() { return glXGetCurrentContext(); }
