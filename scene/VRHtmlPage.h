// A text page: up to two blocks of text lines read from text files, up to
// three pictures and a tiled background, listed by a page file and moved by
// a named effect each as a time value goes on (Compose), then drawn (Draw).
//
// The page file holds whitespace-separated words: blocks
//   BEGIN_TEXT effect  file x y ...                 END_TEXT
//   BEGIN_BACK effect  image x y width height ...   END_BACK
//   BEGIN_IMAGE effect image x y width height ...   END_IMAGE
// in any order; other words are skipped. Files are found in the base
// directory. A third text entry and a fourth picture are ignored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/VRObjLinks.h"
#include "scene/VRText.h"
#include "scene/VRTextureManager.h"

// Effect codes: the file's words, and the code of any other word.
enum VRHtmlEffect : uint8_t {
    kTextEffectNone = 1,
    kTextEffectSoberSx = 2,
    kTextEffectSoberDx = 3,
    kTextEffectKitch = 4,
    kTextEffectSwap = 5,
    kBackEffectSoberSx = 6,
    kBackEffectSoberDx = 7,
    kBackEffectSwapDx = 8,
    kBackEffectSwapSx = 9,
    kBackEffectSwapSxUp = 10,
    kImageEffect3D = 11,
    kImageEffect2D = 12,
};

// A picture's or the background's place: current and starting position and
// half sizes.
struct VRHtmlPlacement {
    float x = 0, y = 0, z = 0;
    float baseX = 0, baseY = 0, baseZ = 0;
    float halfWidth = 0, halfHeight = 0;
};

// A text block's place: the x of its odd and even lines, its x and y, and
// its depth.
struct VRHtmlTextBlock {
    float oddX = 0, evenX = 0, x = 0, baseX = 0, y = 0, z = 0, baseZ = 0;
};

class VRHtmlPage {
public:
    static constexpr int kTextBlocks = 2;
    static constexpr int kPictures = 3;

    // One text per line of each block's file.
    std::vector<std::unique_ptr<VRText>> lines[kTextBlocks];
    VRTextureRef pictures[kPictures];
    VRTextureRef background;
    std::string pictureNames[kPictures];
    std::string textNames[kTextBlocks];
    std::string backgroundName;
    uint8_t textCount = 0;
    uint8_t pictureCount = 0;
    uint8_t backgroundEffect = 0, textEffect = 0, pictureEffect = 0;
    float textX[kTextBlocks] = {}, textY[kTextBlocks] = {};
    float backX = 0, backY = 0, backWidth = 0, backHeight = 0;
    float pictureX[kPictures] = {}, pictureY[kPictures] = {}, pictureWidth[kPictures] = {},
          pictureHeight[kPictures] = {};
    int32_t lineCounts[kTextBlocks] = {};
    VRHtmlPlacement placed[kPictures];  // picture 3 is drawn flat
    VRHtmlPlacement back;
    VRHtmlTextBlock blocks[kTextBlocks];

    VRHtmlPage();
    // The empty page, then Load.
    explicit VRHtmlPage(const char* file);
    ~VRHtmlPage();
    VRHtmlPage(const VRHtmlPage&) = delete;
    VRHtmlPage& operator=(const VRHtmlPage&) = delete;

    // Reads the page file and loads what it lists; false, with "VRHtmlPage :
    // File non trovato", when it cannot be read.
    bool Load(const char* file);
    // The entries of a page file's text (names, effects, places and counts);
    // true when it names a background. Loads nothing.
    bool ReadEntries(const std::string& text);
    // The lines of a text file into block 1 or 2: CR LF, LF and a lone CR
    // each end a line, a byte 0xFF ends the text. False, with "VRHtmlPage :
    // File non trovato.", when it cannot be read.
    bool LoadText(const char* file, int block);
    void SetTextPosition(int block, float x, float y);
    // Picture 1 to 3.
    void SetPicture(const char* file, float x, float y, float width, float height, int number);
    void SetBackground(const char* file, float x, float y, float width, float height);
    // Moves the parts to time t (their motions are in units per 1000).
    void Compose(int32_t t);
    // Background, text blocks 1 and 2, pictures 1 and 2, then picture 3.
    void Draw();

    // The lines of a text as the page splits them.
    static std::vector<std::string> SplitLines(const std::string& text);

    // What a scene node links to draw the page (the node's flags do not
    // reach it).
    VRObjPage* NodeLink() { return &m_link; }

private:
    class NodePageLink final : public VRObjPage {
    public:
        explicit NodePageLink(VRHtmlPage* owner) : m_owner(owner) {}
        void Draw(int32_t) override { m_owner->Draw(); }

    private:
        VRHtmlPage* m_owner;
    };

    NodePageLink m_link{this};
};
