// One line of text in the scene, drawn either with the image font (a 16 x 8
// grid of glyph cells in "ascii_century2.png", spaced by glyph tables that
// are measured once per process) or with an outline font: an installed face
// whose glyphs 0-254, in em units and each followed by its advance, are 256
// display lists. The text's bytes are Windows-1252 codes.
//
// Drawing needs a current GL context; it leaves the current colour, lighting
// and culling as it found them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "scene/VRObjLinks.h"
#include "scene/VRTextureManager.h"

// The image font's glyph tables, indexed by character code: the width of a
// glyph as a fraction of its cell, and the gap after it in scene units.
struct VRGlyphTables {
    static constexpr int kCodes = 256;
    static constexpr int kFirstGlyph = 33;  // '!', the first cell
    static constexpr int kCells = 128;      // 16 x 8

    float width[kCodes] = {};
    float spacing[kCodes] = {};
    bool measured = false;

    VRGlyphTables() { SetSpacing(); }
    // The default gaps of codes 32-161 and the glyphs that differ.
    void SetSpacing();
    // Measures the widths from a picture of square cells (its width / 16 on
    // a side), row by row from the start of the pixel data, at most 128
    // cells: a glyph is as wide as its rightmost pixel with a non-zero alpha.
    // Pictures without alpha (fewer than 4 channels) have no such pixel.
    void Measure(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels);
};

// Glyphs of an installed face as display lists (see VRText.cpp).
class VROutlineFont;

class VRText {
public:
    static constexpr size_t kMaxLength = 63999;
    static constexpr const char* kFontImage = "ascii_century2.png";

    VRTextureRef fontImage;  // the image font's texture; none in outline mode
    std::string text;        // at most kMaxLength characters
    int32_t length = 0;
    float colour[4] = {1, 1, 1, 1};
    float position[3] = {0, 0, 0};  // start of the baseline
    float scale[2] = {1, 1};        // size of a glyph cell in scene units
    std::string fontName;
    uint32_t listBase = 0;  // first of the outline font's 256 lists
    uint8_t outline = 0;

    // The image font, an empty text.
    VRText();
    // The text (null: empty, with the warning "VRText: Empty String") at
    // (x, y) in the named outline font with the character set (kept; the
    // codes are always Windows-1252), or in the image font without a name.
    VRText(const char* text, float x, float y, const char* fontName, int32_t characterSet);
    ~VRText();
    VRText(const VRText&) = delete;
    VRText& operator=(const VRText&) = delete;

    // Resets position, colour and scale, then takes the outline font of the
    // name or, without one, the image font ("VRText: Font Image not found"
    // when it is missing; the first image found is measured).
    void SetFont(const char* fontName, int32_t characterSet);
    // A null text leaves the text.
    void SetText(const char* text);
    void SetPosition(float x, float y, float z);
    void SetColor(float r, float g, float b, float a);
    void SetScale(float x, float y);
    // Flag 0x1 centres the image-font text on its position. 0.
    int32_t Draw(int32_t flags);

    // Where the image-font text starts for the flags, and where its cursor
    // ends (what the next character would start at).
    float StartX(int32_t flags) const;
    float EndX(int32_t flags) const;

    // The process-wide tables of the image font.
    static VRGlyphTables& Glyphs();

    // What a scene node links to draw the text.
    VRObjText* NodeLink() { return &m_link; }

private:
    class NodeTextLink final : public VRObjText {
    public:
        explicit NodeTextLink(VRText* owner) : m_owner(owner) {}
        void Draw(int32_t flags) override { m_owner->Draw(flags); }

    private:
        VRText* m_owner;
    };

    void DrawOutline();
    void DrawImageFont(float startX);

    std::unique_ptr<VROutlineFont> m_outlineFont;
    NodeTextLink m_link{this};
};

// The frame-rate overlay's text: a VRText in the image font.
class VRSceneOverlayText;
VRSceneOverlayText* NewOverlayText();
