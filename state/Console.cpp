#include "state/Console.h"

#include <GL/gl.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/BitmapFont.h"

namespace {

constexpr int32_t kDefaultWrapWidth = 2048;

void WarnToStandardError(const char* message) { std::fprintf(stderr, "%s\n", message); }

ConsoleWarningFunction g_warn = WarnToStandardError;

// Widths of a text drawn without a font: nothing advances.
const int32_t kNoWidths[256] = {};

// Makes a font record with its display lists in the current context; null
// when no font can be made (no context, or no font at all on the display).
ConsoleFontRecord* MakeFontRecord(const char* face, int32_t size) {
    const void* context = CurrentGlContext();
    if (!context) return nullptr;
    auto* font = new ConsoleFontRecord;
    font->listBase = glGenLists(CConsole::kFontListCount);
    if (font->listBase != 0) {
        font->listContext = context;
        // Texturing would put texels into the glyph bitmaps as they are made.
        glDisable(GL_TEXTURE_2D);
    }
    BitmapFontMetrics metrics;
    const BitmapFontResult result = LoadBitmapFont(face, size, CConsole::kFirstListChar,
                                                   CConsole::kFontListCount, font->listBase, metrics);
    if (result == BitmapFontResult::Failed) {
        if (font->listBase != 0) glDeleteLists(font->listBase, CConsole::kFontListCount);
        delete font;
        return nullptr;
    }
    if (result == BitmapFontResult::FellBack) {
        const std::string message = std::string("Console font \"") + face + "\" size " +
                                    std::to_string(size) + " not found, using \"fixed\"";
        g_warn(message.c_str());
    }
    std::memcpy(font->widths, metrics.widths, sizeof font->widths);
    font->height = metrics.height;
    if (font->listBase != 0) {
        // A tab draws four spaces.
        glNewList(font->listBase + ('\t' - CConsole::kFirstListChar), GL_COMPILE);
        for (int i = 0; i < 4; ++i) glCallList(font->listBase + (' ' - CConsole::kFirstListChar));
        glEndList();
    }
    return font;
}

// The lists belong to the context that made them; with another context (or
// none) current the ids mean something else, so they are left alone.
void FreeFontLists(ConsoleFontRecord* font) {
    if (font->listBase != 0 && font->listContext && font->listContext == CurrentGlContext())
        glDeleteLists(font->listBase, CConsole::kFontListCount);
    font->listBase = 0;
}

// The face name as stored in a record: at most 63 characters.
bool SameStoredName(const char* stored, const char* name) {
    return std::strncmp(stored, name, sizeof ConsoleFontRecord::name - 1) == 0;
}

// Draws characters through the font's lists. Codes 1 to 8 have no list of
// their own (the list base would reach lists below the font's), so they are
// skipped.
void CallCharacterLists(const char* chars, size_t n) {
    size_t runStart = 0;
    for (size_t i = 0; i <= n; ++i) {
        if (i == n || static_cast<unsigned char>(chars[i]) < CConsole::kFirstListChar) {
            if (i > runStart)
                glCallLists(static_cast<GLsizei>(i - runStart), GL_UNSIGNED_BYTE, chars + runStart);
            runStart = i + 1;
        }
    }
}

}  // namespace

ConsoleWarningFunction SetConsoleWarningFunction(ConsoleWarningFunction fn) {
    ConsoleWarningFunction old = g_warn;
    g_warn = fn ? fn : WarnToStandardError;
    return old;
}

ConsoleLineBreak ConsoleBreakLine(std::string_view text, size_t start, const int32_t* widths,
                                  int32_t wrapWidth) {
    const size_t npos = std::string_view::npos;
    size_t end = text.size();
    size_t lastBreak = npos;
    int64_t sum = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r') {
            end = i;
            break;
        }
        if (c < '0' || c > 127) lastBreak = i;
        sum += widths[c];
        if (sum > wrapWidth) {
            end = lastBreak != npos ? lastBreak : i;
            // Without this a line too narrow for its first character would
            // draw nothing and never move on.
            if (end == start) end = start + 1;
            break;
        }
    }
    size_t next = end;
    while (next < text.size() && (text[next] == '\n' || text[next] == '\r' || text[next] == ' ')) ++next;
    return {end, next};
}

// ---- atoms

void CConsole::CAtom::SetRect(int32_t x_, int32_t y_, int32_t w_, int32_t h_) {
    x = x_;
    y = y_;
    w = w_;
    h = h_;
}

void CConsole::CAtom::SetColor(float r, float g, float b, float a) {
    color[0] = r;
    color[1] = g;
    color[2] = b;
    color[3] = a;
}

void CConsole::CAtom::SetColor(const float rgba[4]) { SetColor(rgba[0], rgba[1], rgba[2], rgba[3]); }

CConsole::CText::CText(const char* text_, const ConsoleFontRecord* font_)
    : text(text_ ? text_ : ""), font(font_) {}

void CConsole::CText::Draw() {
    glColor4fv(color);
    glPushAttrib(GL_LIST_BIT);
    const bool hasLists = font && font->listBase != 0;
    if (hasLists) glListBase(font->listBase - kFirstListChar);
    const int32_t* widths = font ? font->widths : kNoWidths;
    const int64_t lineHeight = font ? font->height : 0;
    const int32_t wrapWidth = w > 0 ? w : kDefaultWrapWidth;
    int64_t lowest = h > 0 ? static_cast<int64_t>(y) - h : 0;
    if (lowest < INT32_MIN) lowest = INT32_MIN;

    int64_t baseline = y;
    size_t pos = 0;
    while (baseline >= lowest && pos < text.size()) {
        glRasterPos2i(x, static_cast<GLint>(baseline));
        const ConsoleLineBreak line = ConsoleBreakLine(text, pos, widths, wrapWidth);
        if (hasLists) CallCharacterLists(text.data() + pos, line.end - pos);
        baseline -= lineHeight;
        pos = line.next;
    }
    glPopAttrib();
}

void CConsole::CRect::Draw() {
    glColor4fv(color);
    glLineWidth(lineWidth);
    glBegin(filled ? GL_QUADS : GL_LINE_LOOP);
    glVertex2i(x, y);
    glVertex2i(x, y - h);
    glVertex2i(x + w, y - h);
    glVertex2i(x + w, y);
    glEnd();
}

CConsole::CLines::CLines(const int32_t* points_, int32_t n_, float lineWidth_)
    : n(points_ && n_ > 0 ? n_ : 0), lineWidth(lineWidth_) {
    points.assign(points_, points_ + 2 * static_cast<size_t>(n));
}

void CConsole::CLines::Draw() {
    glColor4fv(color);
    glLineWidth(lineWidth);
    glBegin(GL_LINE_STRIP);
    for (int32_t i = 0; i < n; ++i) glVertex2i(points[2 * i], points[2 * i + 1]);
    glEnd();
}

// ---- console

CConsole::CConsole() {
    ConsoleFontRecord* font = MakeFontRecord(nullptr, 0);
    // The default font is always the head of the list, even when no font
    // could be made: texts then take no room and draw nothing.
    fonts.Append(font ? font : new ConsoleFontRecord);
}

CConsole::~CConsole() {
    atoms.Clear();
    fonts.ForEach(FreeFontLists);
    fonts.Clear();
}

void CConsole::SetFont(const char* name, int32_t size) {
    if (!name) {
        fonts.First();
        return;
    }
    for (ConsoleFontRecord* font = fonts.First(); font; font = fonts.Next()) {
        if (SameStoredName(font->name, name) && font->size == size) return;
    }
    char face[32];
    std::snprintf(face, sizeof face, "%s", name);
    ConsoleFontRecord* font = MakeFontRecord(face, size);
    if (!font) {
        fonts.First();
        return;
    }
    std::snprintf(font->name, sizeof font->name, "%s", name);
    font->size = size;
    fonts.Append(font);
}

void CConsole::AddAtom(CAtom* atom, int32_t x, int32_t y, int32_t w, int32_t h) {
    atom->SetColor(color);
    atom->SetRect(x, y, w, h);
    std::lock_guard<std::mutex> guard(m_atomsLock);
    atoms.Append(atom);
}

void CConsole::AddText(int32_t x, int32_t y, const char* text, int32_t w, int32_t h) {
    AddAtom(new CText(text, fonts.Current()), x, y, w, h);
}

void CConsole::AddRect(int32_t x, int32_t y, int32_t w, int32_t h) {
    AddAtom(new CRect(false, lineWidth), x, y, w, h);
}

void CConsole::AddFilledRect(int32_t x, int32_t y, int32_t w, int32_t h) {
    AddAtom(new CRect(true, lineWidth), x, y, w, h);
}

void CConsole::AddLines(const int32_t* points, int32_t n) {
    AddAtom(new CLines(points, n, lineWidth), 0, 0, -1, -1);
}

void CConsole::DrawAtoms() {
    atoms.ForEach([](CAtom* atom) { atom->Draw(); });
}

void CConsole::Draw() {
    GLint matrixMode = GL_MODELVIEW;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    glGetIntegerv(GL_VIEWPORT, viewport);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    GLfloat savedColor[4] = {1, 1, 1, 1};
    glGetFloatv(GL_CURRENT_COLOR, savedColor);
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    GLint blendSrc = GL_ONE, blendDst = GL_ZERO;
    glGetIntegerv(GL_BLEND_SRC, &blendSrc);
    glGetIntegerv(GL_BLEND_DST, &blendDst);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    {
        std::lock_guard<std::mutex> guard(m_atomsLock);
        if (stereo) {
            glDrawBuffer(GL_BACK_LEFT);
            DrawAtoms();
            glDrawBuffer(GL_BACK_RIGHT);
        }
        DrawAtoms();
        atoms.Clear();
    }

    glBlendFunc(blendSrc, blendDst);
    glColor4fv(savedColor);
    glPopAttrib();
    glMatrixMode(matrixMode);
}
