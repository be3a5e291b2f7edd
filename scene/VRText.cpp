#include "scene/VRText.h"

#include <FTGL/ftgl.h>
#include <GL/gl.h>

#include <cstring>

#include "platform/SystemFonts.h"
#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRScene.h"

namespace {

constexpr float kDefaultSpacing = 0.07f;
constexpr float kSpaceAdvance = 0.5f;
constexpr int kFirstSpaced = 32, kLastSpaced = 161;
constexpr int kLastGlyph = VRGlyphTables::kFirstGlyph + VRGlyphTables::kCells - 1;  // 160
// The glyphs whose gap differs from the default.
constexpr struct {
    int code;
    float spacing;
} kSpacingOverrides[] = {
    {39, 0.0f},   {55, 0.0f},   {65, 0.09f},  {67, 0.02f},  {80, 0.02f},  {84, 0.02f},  {86, 0.02f},
    {97, 0.05f},  {100, 0.03f}, {102, -0.04f}, {105, 0.01f}, {108, 0.01f}, {109, 0.02f}, {113, 0.11f},
    {114, 0.03f}, {115, 0.14f}, {118, 0.01f}, {119, 0.01f}, {120, 0.01f}, {121, 0.01f}, {122, 0.02f},
};

constexpr int32_t kImageFontFlags = kTexNoMipmaps;
constexpr int32_t kImageFontBind = kBindAgain | kBindLinear;

// Outline glyphs are made at this size and scaled down to em units.
constexpr unsigned kOutlineFaceSize = 128;
constexpr int kOutlineLists = 256;
constexpr int kOutlineGlyphs = 255;

// Unicode of the Windows-1252 codes 0x80-0x9F; the others are their own.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252ToUnicode(int code) {
    return static_cast<wchar_t>(code >= 0x80 && code < 0xA0 ? kCp1252High[code - 0x80] : code);
}

// Codes the image font has a cell for.
bool HasCell(int code) { return code >= VRGlyphTables::kFirstGlyph && code <= kLastGlyph; }

}  // namespace

// ---------------------------------------------------------------------------
// The image font's tables

void VRGlyphTables::SetSpacing() {
    for (int c = kFirstSpaced; c <= kLastSpaced; ++c) spacing[c] = kDefaultSpacing;
    for (const auto& o : kSpacingOverrides) spacing[o.code] = o.spacing;
}

void VRGlyphTables::Measure(const uint8_t* pixels, int32_t imageWidth, int32_t imageHeight, int32_t channels) {
    const int32_t g = imageWidth / 16;
    if (!pixels || g < 1 || imageHeight < 1 || channels < 1) return;
    const size_t stride = static_cast<size_t>(imageWidth) * static_cast<size_t>(channels);
    for (int k = 0; k < kCells; ++k) {
        const int32_t top = (k / 16) * g, left = (k % 16) * g;
        if (top >= imageHeight) break;
        // A cell cut by the picture's bottom has only the rows inside it.
        const int32_t rows = top + g <= imageHeight ? g : imageHeight - top;
        int32_t widest = 0;
        if (channels >= 4)
            for (int32_t j = 0; j < rows; ++j) {
                const uint8_t* row = pixels + static_cast<size_t>(top + j) * stride;
                for (int32_t i = widest; i < g; ++i)
                    if (row[static_cast<size_t>(left + i) * static_cast<size_t>(channels) + 3] != 0) widest = i;
            }
        width[kFirstGlyph + k] = static_cast<float>(widest + 1) / static_cast<float>(g);
    }
    SetSpacing();
    measured = true;
}

// ---------------------------------------------------------------------------
// Outline fonts

// An installed face's polygon glyphs, compiled into 256 display lists: list
// base + c draws glyph c (a Windows-1252 code) in em units and moves on by
// its advance. List base + 255 stays empty. The lists go with the font.
class VROutlineFont {
public:
    explicit VROutlineFont(const std::string& file) : m_font(file.c_str()) {}
    ~VROutlineFont() {
        if (m_base) glDeleteLists(m_base, kOutlineLists);
    }
    VROutlineFont(const VROutlineFont&) = delete;
    VROutlineFont& operator=(const VROutlineFont&) = delete;

    // The first list, or 0 when the face cannot be read or no lists are left.
    uint32_t Build() {
        if (m_font.Error() || !m_font.FaceSize(kOutlineFaceSize)) return 0;
        // The glyphs' shapes go into our lists themselves, not into lists
        // of the font's own.
        m_font.UseDisplayList(false);
        m_base = glGenLists(kOutlineLists);
        if (!m_base) return 0;
        const float em = 1.0f / static_cast<float>(kOutlineFaceSize);
        for (int c = 0; c < kOutlineGlyphs; ++c) {
            const wchar_t glyph[2] = {Cp1252ToUnicode(c), 0};
            glNewList(m_base + static_cast<GLuint>(c), GL_COMPILE);
            glScalef(em, em, 1.0f);
            const FTPoint advance = m_font.Render(glyph, 1);
            glScalef(kOutlineFaceSize, kOutlineFaceSize, 1.0f);
            glTranslatef(advance.Xf() * em, advance.Yf() * em, 0.0f);
            glEndList();
        }
        return m_base;
    }

private:
    FTPolygonFont m_font;
    GLuint m_base = 0;
};

// ---------------------------------------------------------------------------
// Life

VRGlyphTables& VRText::Glyphs() {
    static VRGlyphTables tables;
    return tables;
}

VRText::VRText() {
    IncrementLiveObjects();
    SetFont(nullptr, 0);
}

VRText::VRText(const char* t, float x, float y, const char* font, int32_t characterSet) {
    IncrementLiveObjects();
    SetFont(font, font ? characterSet : 0);
    if (t)
        SetText(t);
    else
        ReportWarning("VRText: Empty String", nullptr);
    position[0] = x;
    position[1] = y;
}

VRText::~VRText() { DecrementLiveObjects(); }

void VRText::SetFont(const char* font, int32_t) {
    SetPosition(0, 0, 0);
    SetColor(1, 1, 1, 1);
    SetScale(1, 1);
    fontImage = VRTextureRef();
    m_outlineFont.reset();
    listBase = 0;
    outline = 0;
    if (font) {
        fontName = font;
        m_outlineFont = std::make_unique<VROutlineFont>(FontFileForFace(fontName));
        listBase = m_outlineFont->Build();
        outline = 1;
        return;
    }
    VRTextureManager* manager = SharedTextureManager();
    VRTexture* image = manager ? manager->GetTexture(kFontImage, kImageFontFlags) : nullptr;
    if (!image) {
        ReportError("VRText: Font Image not found", nullptr);
        return;
    }
    fontImage = VRTextureRef(image);
    VRGlyphTables& glyphs = Glyphs();
    if (!glyphs.measured && image->HasPixmap())
        glyphs.Measure(image->pixels, image->width, image->height, image->channels);
}

void VRText::SetText(const char* t) {
    if (!t) return;
    text.assign(t, strnlen(t, kMaxLength));
    length = static_cast<int32_t>(text.size());
}

void VRText::SetPosition(float x, float y, float z) {
    position[0] = x;
    position[1] = y;
    position[2] = z;
}

void VRText::SetColor(float r, float g, float b, float a) {
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
}

void VRText::SetScale(float x, float y) {
    scale[0] = x;
    scale[1] = y;
}

// ---------------------------------------------------------------------------
// Drawing

float VRText::StartX(int32_t flags) const {
    if (!(flags & 0x1)) return position[0];
    const VRGlyphTables& glyphs = Glyphs();
    float width = 0.0f;
    for (unsigned char c : text)
        width += HasCell(c) ? glyphs.spacing[c] + glyphs.width[c] : kSpaceAdvance;
    return position[0] - 0.5f * width;
}

float VRText::EndX(int32_t flags) const {
    const VRGlyphTables& glyphs = Glyphs();
    float cursor = StartX(flags);
    for (unsigned char c : text) cursor += HasCell(c) ? glyphs.width[c] * scale[0] + glyphs.spacing[c] : kSpaceAdvance;
    return cursor;
}

int32_t VRText::Draw(int32_t flags) {
    const float startX = StartX(flags);
    float saved[4];
    glGetFloatv(GL_CURRENT_COLOR, saved);
    const bool lighting = glIsEnabled(GL_LIGHTING) != GL_FALSE;
    const bool culling = glIsEnabled(GL_CULL_FACE) != GL_FALSE;
    if (lighting) glDisable(GL_LIGHTING);
    if (culling) glDisable(GL_CULL_FACE);
    glColor4fv(colour);
    if (outline)
        DrawOutline();
    else
        DrawImageFont(startX);
    if (lighting) glEnable(GL_LIGHTING);
    if (culling) glEnable(GL_CULL_FACE);
    glColor4fv(saved);
    return 0;
}

void VRText::DrawOutline() {
    if (!listBase) return;
    glListBase(listBase);
    glPushMatrix();
    glTranslatef(position[0], position[1], position[2]);
    glScalef(scale[0], scale[1], 1.0f);
    glCallLists(length, GL_UNSIGNED_BYTE, text.data());
    glPopMatrix();
}

void VRText::DrawImageFont(float startX) {
    VRTexture* image = fontImage.Get();
    VRTextureManager* manager = ExistingTextureManager();
    if (!image || !manager) return;
    const VRGlyphTables& glyphs = Glyphs();
    glEnable(GL_TEXTURE_2D);
    manager->BindTexture(image, kImageFontBind, 0);
    const float y = position[1], z = position[2], w = scale[0], h = scale[1];
    float cursor = startX;
    glBegin(GL_QUADS);
    for (unsigned char c : text) {
        if (!HasCell(c)) {
            cursor += kSpaceAdvance;
            continue;
        }
        const float col = static_cast<float>((c - 33) % 16), row = static_cast<float>((c - 33) / 16);
        glTexCoord2f(col / 16, (row + 1) / 8);
        glVertex3f(cursor, y, z);
        glTexCoord2f((col + 1) / 16, (row + 1) / 8);
        glVertex3f(cursor + w, y, z);
        glTexCoord2f((col + 1) / 16, row / 8);
        glVertex3f(cursor + w, y + h, z);
        glTexCoord2f(col / 16, row / 8);
        glVertex3f(cursor, y + h, z);
        cursor += glyphs.width[c] * w + glyphs.spacing[c];
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

// ---------------------------------------------------------------------------
// The frame-rate overlay

namespace {

class VRTextOverlay : public VRSceneOverlayText {
public:
    void SetText(const char* t) override { m_text.SetText(t); }
    void SetPosition(float x, float y, float z) override { m_text.SetPosition(x, y, z); }
    void Draw(int32_t flags) override { m_text.Draw(flags); }

private:
    VRText m_text;
};

}  // namespace

VRSceneOverlayText* NewOverlayText() { return new VRTextOverlay(); }
