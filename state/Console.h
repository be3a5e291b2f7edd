// The on-screen console: a 2D overlay of texts, rectangles and polylines drawn
// over the 3D picture. Adding only collects atoms; Draw draws them in the
// order they were added and empties the list, once per frame.
// Coordinates are viewport pixels with y growing upward from the bottom edge.
// Drawn on the window thread, with that window's GL context current; the
// script's timer thread may add atoms meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "vm/PtrList.h"

// A font of the console: its metrics and the display lists drawing the
// characters 9 to 255 (list i draws character 9 + i).
struct ConsoleFontRecord {
    char name[64] = {};  // face name, empty for the default font
    int32_t size = 0;    // pixel size, 0 for the default font
    int32_t reserved = 0;
    int32_t widths[256] = {};  // advance of every character code
    uint32_t listBase = 0;     // 0: the font has no display lists
    int32_t height = 0;        // line height
    const void* listContext = nullptr;  // the GL context owning the lists
};

// Where one line of a wrapped text ends: characters [start, end) are drawn on
// this line and the next line starts at `next`.
struct ConsoleLineBreak {
    size_t end;
    size_t next;
};

// Breaks the line of `text` that starts at `start` for a wrap width in pixels.
// A line ends at a line feed or carriage return, or, when its advances add up
// to more than the wrap width, at the last break character (a code below '0'
// or above 127) or else before the character that overflowed; it always takes
// at least one character unless it ends at a line break. The break character
// starts the next line, except that line feeds, carriage returns and spaces
// at the start of the next line are skipped.
ConsoleLineBreak ConsoleBreakLine(std::string_view text, size_t start, const int32_t* widths,
                                  int32_t wrapWidth);

// Receives the console's warnings (standard error unless replaced).
using ConsoleWarningFunction = void (*)(const char* message);
// Installs a warning function (null: standard error again); returns the old one.
ConsoleWarningFunction SetConsoleWarningFunction(ConsoleWarningFunction fn);

class CConsole {
public:
    // Number of display lists per font: characters 9 to 255.
    static constexpr int kFontListCount = 247;
    static constexpr int kFirstListChar = 9;

    class CAtom {
    public:
        virtual ~CAtom() = default;
        virtual void SetRect(int32_t x, int32_t y, int32_t w, int32_t h);
        virtual void SetColor(float r, float g, float b, float a);
        virtual void SetColor(const float rgba[4]);
        virtual void Draw() = 0;

        int32_t x = 0, y = 0;
        int32_t w = -1, h = -1;
        float color[4] = {1, 1, 1, 1};
    };

    // A text wrapped at w pixels (0 or less: 2048) whose baselines go down
    // from y to no lower than y - h (h 0 or less: to the bottom edge).
    class CText : public CAtom {
    public:
        CText(const char* text, const ConsoleFontRecord* font);
        void Draw() override;

        std::string text;
        const ConsoleFontRecord* font;
    };

    // A rectangle hanging down from its top-left corner (x, y).
    class CRect : public CAtom {
    public:
        CRect(bool filled, float lineWidth) : filled(filled), lineWidth(lineWidth) {}
        void Draw() override;

        bool filled;
        float lineWidth;  // outline only
    };

    // A connected line strip through n points.
    class CLines : public CAtom {
    public:
        CLines(const int32_t* points, int32_t n, float lineWidth);
        void Draw() override;

        std::vector<int32_t> points;  // x, y pairs
        int32_t n;
        float lineWidth;
    };

    CConsole();
    virtual ~CConsole();
    CConsole(const CConsole&) = delete;
    CConsole& operator=(const CConsole&) = delete;

    // Makes the font of that face and pixel size current, creating it on first
    // use; a null name selects the default font.
    void SetFont(const char* name, int32_t size);
    void AddText(int32_t x, int32_t y, const char* text, int32_t w, int32_t h);
    void AddRect(int32_t x, int32_t y, int32_t w, int32_t h);
    void AddFilledRect(int32_t x, int32_t y, int32_t w, int32_t h);
    void AddLines(const int32_t* points, int32_t n);
    // Draws every atom over the current viewport and empties the list. Leaves
    // a pixel projection and an identity model-view in place.
    void Draw();

    float color[4] = {1, 1, 1, 1};
    PtrList<CAtom> atoms{true};
    PtrList<ConsoleFontRecord> fonts{true};
    float lineWidth = 1.0f;

private:
    void AddAtom(CAtom* atom, int32_t x, int32_t y, int32_t w, int32_t h);
    void DrawAtoms();

    std::mutex m_atomsLock;  // the list of atoms between adding and drawing
};
