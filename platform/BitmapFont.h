// Bitmap fonts drawn through OpenGL display lists, made from the X server's
// core fonts on the display of the calling thread's current GLX context.
// Text inside the engine is Windows-1252; each code is drawn with the glyph
// that the font has for it (through Unicode for ISO 10646 fonts).
#pragma once

#include <cstdint>

// The advance of each of the 256 codes and the line height (ascent plus
// descent) of a loaded font. An advance is exactly what the code's display
// list moves the raster position by.
struct BitmapFontMetrics {
    int32_t widths[256] = {};
    int32_t height = 0;
};

enum class BitmapFontResult {
    Loaded,    // the face asked for (or the default face)
    FellBack,  // the face does not exist: the fixed font was loaded instead
    Failed,    // no current context, or not even the fixed font exists
};

// Loads `face` at `pixelSize` pixels (0 or less: the font's usual size; a null
// or empty face: the default variable-pitch font, else the fixed one) and
// fills `metrics`. When listBase is not 0, compiles the display lists
// listBase .. listBase + count - 1 drawing the codes first .. first + count - 1
// with glBitmap; a code the font has no glyph for draws the font's default
// glyph, or a space. The face name is matched without regard to case, as a
// family name first and then as a full X font name or alias.
BitmapFontResult LoadBitmapFont(const char* face, int pixelSize, unsigned first, unsigned count,
                                unsigned listBase, BitmapFontMetrics& metrics);

// An identifier of the calling thread's current GL context, null when none;
// display lists belong to the context that was current when they were made.
const void* CurrentGlContext();
