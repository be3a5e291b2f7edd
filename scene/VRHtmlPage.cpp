#include "scene/VRHtmlPage.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstdint>
#include <sstream>

#include "platform/ScriptFile.h"
#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"

namespace {

// The largest page file read.
constexpr uint64_t kMaxPageFileBytes = uint64_t{16} << 20;
constexpr int32_t kPictureFlags = kTexNoMipmaps;
constexpr int32_t kBackgroundFlags = 0;
constexpr int32_t kPageBind = kBindAgain | kBindLinear;
constexpr float kBackgroundZ = -0.5f;
constexpr float kBackgroundRepeat = 15.0f;
constexpr char kTextEnd = '\xFF';

struct EffectWord {
    const char* word;
    uint8_t code;
};
constexpr EffectWord kTextEffects[] = {{"VR_TEXTEFFECT_NONE", kTextEffectNone},
                                       {"VR_TEXTEFFECT_SOBER_SX", kTextEffectSoberSx},
                                       {"VR_TEXTEFFECT_SOBER_DX", kTextEffectSoberDx},
                                       {"VR_TEXTEFFECT_KITCH", kTextEffectKitch},
                                       {"VR_TEXTEFFECT_SWAP", kTextEffectSwap}};
constexpr EffectWord kBackEffects[] = {{"VR_BACKGROUNDEFFECT_SOBER_SX", kBackEffectSoberSx},
                                       {"VR_BACKGROUNDEFFECT_SOBER_DX", kBackEffectSoberDx},
                                       {"VR_BACKGROUNDEFFECT_SWAP_DX", kBackEffectSwapDx},
                                       {"VR_BACKGROUNDEFFECT_SWAP_SX", kBackEffectSwapSx},
                                       {"VR_BACKGROUNDEFFECT_SWAP_SX_UP", kBackEffectSwapSxUp}};
constexpr EffectWord kImageEffects[] = {{"VR_IMAGEFFECT_3D", kImageEffect3D}, {"VR_IMAGEFFECT_2D", kImageEffect2D}};

template <size_t N>
uint8_t EffectCode(const std::string& word, const EffectWord (&words)[N], uint8_t otherwise) {
    for (const EffectWord& w : words)
        if (word == w.word) return w.code;
    return otherwise;
}

// A file of the base directory, whole; false when it cannot be read.
bool ReadBaseFile(const char* name, std::string& out) {
    ScriptFile file = ScriptFile::Open(std::string(BaseDirectory()) + (name ? name : ""), kMaxPageFileBytes);
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound)
        ReportWarning("VRHtmlPage : Page file refused:", file.Reason().c_str());
    return file.IsOpen() && file.ReadAll(out);
}

// The words of a page file, one after the other.
class Words {
public:
    explicit Words(const std::string& text) : m_in(text) {}
    bool Next(std::string& word) { return static_cast<bool>(m_in >> word); }
    // An entry of a block: a name and `count` numbers (0 for a word that is
    // none); false at the block's end word or the file's end.
    bool Entry(const char* end, std::string& name, float* values, int count) {
        if (!Next(name) || name == end) return false;
        std::string word;
        for (int i = 0; i < count; ++i) {
            if (!Next(word)) return false;
            values[i] = std::strtof(word.c_str(), nullptr);
        }
        return true;
    }

private:
    std::istringstream m_in;
};

void Quad(const VRHtmlPlacement& p, float texture, bool flat) {
    const float corners[4][4] = {{-1, -1, 0, texture}, {1, -1, texture, texture}, {1, 1, texture, 0}, {-1, 1, 0, 0}};
    glBegin(GL_QUADS);
    for (const auto& c : corners) {
        glTexCoord2f(c[2], c[3]);
        const float x = p.x + c[0] * p.halfWidth, y = p.y + c[1] * p.halfHeight;
        if (flat)
            glVertex2f(x, y);
        else
            glVertex3f(x, y, p.z);
    }
    glEnd();
}

}  // namespace

VRHtmlPage::VRHtmlPage() { IncrementLiveObjects(); }

VRHtmlPage::VRHtmlPage(const char* file) : VRHtmlPage() { Load(file); }

VRHtmlPage::~VRHtmlPage() { DecrementLiveObjects(); }

// ---------------------------------------------------------------------------
// Loading

bool VRHtmlPage::Load(const char* file) {
    std::string text;
    if (!ReadBaseFile(file, text)) {
        ReportError("VRHtmlPage : File non trovato", nullptr);
        return false;
    }
    const bool hasBackground = ReadEntries(text);
    for (int i = 0; i < textCount; ++i) {
        LoadText(textNames[i].c_str(), i + 1);
        SetTextPosition(i + 1, textX[i], textY[i]);
    }
    for (int k = 0; k < pictureCount; ++k)
        SetPicture(pictureNames[k].c_str(), pictureX[k], pictureY[k], pictureWidth[k], pictureHeight[k], k + 1);
    if (hasBackground) SetBackground(backgroundName.c_str(), backX, backY, backWidth, backHeight);
    return true;
}

bool VRHtmlPage::ReadEntries(const std::string& text) {
    textCount = 0;
    pictureCount = 0;
    bool hasBackground = false;
    Words words(text);
    std::string word, name;
    float v[4] = {};
    while (words.Next(word)) {
        if (word == "BEGIN_TEXT") {
            if (!words.Next(word)) break;
            textEffect = EffectCode(word, kTextEffects, kTextEffectSoberSx);
            while (words.Entry("END_TEXT", name, v, 2)) {
                if (textCount >= kTextBlocks) continue;
                textNames[textCount] = name;
                textX[textCount] = v[0];
                textY[textCount] = v[1];
                ++textCount;
            }
        } else if (word == "BEGIN_BACK") {
            if (!words.Next(word)) break;
            backgroundEffect = EffectCode(word, kBackEffects, kBackEffectSoberDx);
            while (words.Entry("END_BACK", name, v, 4)) {
                backgroundName = name;
                backX = v[0];
                backY = v[1];
                backWidth = v[2];
                backHeight = v[3];
                hasBackground = true;
            }
        } else if (word == "BEGIN_IMAGE") {
            if (!words.Next(word)) break;
            pictureEffect = EffectCode(word, kImageEffects, kImageEffect2D);
            while (words.Entry("END_IMAGE", name, v, 4)) {
                if (pictureCount >= kPictures) continue;
                pictureNames[pictureCount] = name;
                pictureX[pictureCount] = v[0];
                pictureY[pictureCount] = v[1];
                pictureWidth[pictureCount] = v[2];
                pictureHeight[pictureCount] = v[3];
                ++pictureCount;
            }
        }
    }
    return hasBackground;
}

std::vector<std::string> VRHtmlPage::SplitLines(const std::string& text) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < text.size() && text[i] != kTextEnd; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out.back() += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        // A line end that ends the text starts no line.
        if (i + 1 < text.size() && text[i + 1] != kTextEnd) out.emplace_back();
    }
    return out;
}

bool VRHtmlPage::LoadText(const char* file, int block) {
    if (block < 1 || block > kTextBlocks) return false;
    std::string text;
    if (!ReadBaseFile(file, text)) {
        ReportError("VRHtmlPage : File non trovato.", nullptr);
        return false;
    }
    const std::vector<std::string> split = SplitLines(text);
    const int32_t n = static_cast<int32_t>(split.size());
    std::vector<std::unique_ptr<VRText>>& target = lines[block - 1];
    target.clear();
    for (int32_t k = 0; k < n; ++k) {
        target.push_back(std::make_unique<VRText>());
        target.back()->SetText(split[size_t(k)].c_str());
        target.back()->SetPosition(0, static_cast<float>(k - n / 2), 0);
    }
    lineCounts[block - 1] = n;
    return true;
}

void VRHtmlPage::SetTextPosition(int block, float x, float y) {
    if (block < 1 || block > kTextBlocks) return;
    VRHtmlTextBlock& b = blocks[block - 1];
    b.x = b.baseX = b.oddX = b.evenX = x;
    b.y = y;
}

void VRHtmlPage::SetPicture(const char* file, float x, float y, float width, float height, int number) {
    if (number < 1 || number > kPictures) return;
    VRHtmlPlacement& p = placed[number - 1];
    p.x = p.baseX = x;
    p.y = p.baseY = y;
    p.z = p.baseZ = 0;
    p.halfWidth = width / 2;
    p.halfHeight = height / 2;
    VRTextureManager* manager = SharedTextureManager();
    pictures[number - 1] = VRTextureRef(manager ? manager->GetTexture(file, kPictureFlags) : nullptr);
}

void VRHtmlPage::SetBackground(const char* file, float x, float y, float width, float height) {
    back.x = back.baseX = x;
    back.y = back.baseY = y;
    back.z = back.baseZ = kBackgroundZ;
    back.halfWidth = width / 2;
    back.halfHeight = height / 2;
    VRTextureManager* manager = SharedTextureManager();
    background = VRTextureRef(manager ? manager->GetTexture(file, kBackgroundFlags) : nullptr);
}

// ---------------------------------------------------------------------------
// Motion

void VRHtmlPage::Compose(int32_t time) {
    const float t = static_cast<float>(time), k = t / 1000;
    VRHtmlPlacement &p1 = placed[0], &p2 = placed[1];
    if (pictureEffect == kImageEffect3D) {
        p1.x = p1.baseX - p1.halfWidth * k;
        p1.z = p1.baseZ + p1.halfHeight * k;
        p2.y = p2.baseY - p2.halfHeight * k;
    } else if (pictureEffect == kImageEffect2D) {
        p1.y = p1.baseY + p1.halfHeight * k;
        p2.x = p2.baseX - p2.halfWidth * k;
        p2.z = p2.baseZ + p2.halfHeight * k;
    }
    // The background's motions take the half height along x and the half
    // width along y and z.
    VRHtmlPlacement& b = back;
    switch (backgroundEffect) {
    case kBackEffectSoberDx: b.x = b.baseX + b.halfHeight * k; break;
    case kBackEffectSwapDx:
        b.x = b.baseX + b.halfHeight * k;
        b.z = b.baseZ - b.halfWidth * k;
        break;
    case kBackEffectSwapSx:
        b.x = b.baseX - b.halfHeight * k;
        b.z = b.baseZ - b.halfWidth * k;
        break;
    case kBackEffectSwapSxUp:
        b.x = b.baseX - b.halfHeight * k;
        b.y = b.baseY + b.halfWidth * k;
        b.z = b.baseZ - b.halfWidth * k;
        break;
    default: break;
    }
    for (VRHtmlTextBlock& block : blocks) {
        switch (textEffect) {
        case kTextEffectNone: block.oddX = block.evenX = block.baseX; break;
        case kTextEffectSwap:
            block.oddX = block.evenX = block.baseX;
            block.z = block.baseZ + 6 * t / 500;
            break;
        case kTextEffectKitch:
            block.evenX = block.baseX - t / 500;
            block.oddX = block.baseX + t / 500;
            break;
        case kTextEffectSoberSx: block.oddX = block.evenX = block.baseX - 6 * t / 500; break;
        case kTextEffectSoberDx: block.oddX = block.evenX = block.baseX + t / 500; break;
        default: break;
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing

void VRHtmlPage::Draw() {
    VRTextureManager* manager = ExistingTextureManager();
    if (VRTexture* texture = background.Get(); texture && manager) {
        glDisable(GL_LIGHTING);
        glColor4f(0.5f, 0.5f, 0.5f, 0.7f);
        glEnable(GL_BLEND);
        manager->BindTexture(texture, kPageBind, 0);
        glEnable(GL_TEXTURE_2D);
        Quad(back, kBackgroundRepeat, false);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
    }
    for (int k = 0; k < kTextBlocks; ++k) {
        const VRHtmlTextBlock& b = blocks[k];
        const int32_t n = static_cast<int32_t>(lines[k].size());
        for (int32_t i = 0; i < n; ++i) {
            VRText& line = *lines[k][size_t(i)];
            line.SetPosition(i % 2 ? b.oddX : b.evenX, b.y + static_cast<float>(n - i), b.z);
            line.SetColor(1, 1, 1, 1);
            line.Draw(0);
        }
    }
    for (int k = 0; k < kPictures; ++k) {
        VRTexture* texture = pictures[k].Get();
        if (!texture || !manager) continue;
        glDisable(GL_LIGHTING);
        glColor3f(1, 1, 1);
        manager->BindTexture(texture, kPageBind, 0);
        glEnable(GL_TEXTURE_2D);
        Quad(placed[k], 1.0f, k == 2);
        glDisable(GL_TEXTURE_2D);
    }
}
