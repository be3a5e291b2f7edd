// Fixture of the tests of texts and text pages: the window's context with
// its GL state saved, the scratch folder as the base directory of the
// engine's shared texture manager (ended after the test), the engine's
// errors captured and its warnings dropped, and an orthographic view of a
// rectangle of the scene over the whole window.
#pragma once

#include <string>
#include <vector>

#include "support/GlWindowFixture.h"
#include "support/ScratchFolder.h"

namespace qemtest {

class TextSceneFixture : public GlWindowFixture {
protected:
    TextSceneFixture(float left, float right, float bottom, float top)
        : m_left(left), m_right(right), m_bottom(bottom), m_top(top) {}
    void SetUp() override;
    void TearDown() override;

    // Writes a file into the scratch folder.
    void Write(const std::string& name, const std::string& bytes);
    // The pixel that scene point (x, y) lands on.
    RgbPixel At(float x, float y) const;

    ScratchFolder scratch;
    bool prepared = false;

public:
    // The engine errors since SetUp, one text each.
    static std::vector<std::string> errors;

private:
    float m_left, m_right, m_bottom, m_top;
};

}  // namespace qemtest
