#include "support/TextSceneFixture.h"

#include <GL/gl.h>

#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "support/ZipWriter.h"

namespace qemtest {

std::vector<std::string> TextSceneFixture::errors;

namespace {

int CaptureError(const char* text) {
    TextSceneFixture::errors.emplace_back(text);
    return 0;
}

int Quiet(const char*) { return 0; }

}  // namespace

void TextSceneFixture::SetUp() {
    GlWindowFixture::SetUp();
    if (IsSkipped()) return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    SetBaseDirectory(scratch.Path().c_str());
    errors.clear();
    SetEngineErrorHandler(CaptureError);
    SetEngineWarningHandler(Quiet);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(m_left, m_right, m_bottom, m_top, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    prepared = true;
}

void TextSceneFixture::TearDown() {
    if (prepared) {
        EndSharedTextureManager();
        SetBaseDirectory("");
        SetEngineErrorHandler(nullptr);
        SetEngineWarningHandler(nullptr);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPopAttrib();
    }
    GlWindowFixture::TearDown();
}

void TextSceneFixture::Write(const std::string& name, const std::string& bytes) {
    WriteFile(scratch.Make(name), bytes);
}

RgbPixel TextSceneFixture::At(float x, float y) const {
    return ReadPixel(int((x - m_left) / (m_right - m_left) * kWidth),
                     int((y - m_bottom) / (m_top - m_bottom) * kHeight));
}

}  // namespace qemtest
