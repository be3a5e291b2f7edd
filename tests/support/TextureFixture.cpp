#include "support/TextureFixture.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "scene/EngineServices.h"
#include "scene/SceneGlobals.h"
#include "support/ZipWriter.h"

namespace qemtest {

std::vector<std::string> TextureFixture::warnings;
std::vector<std::string> TextureFixture::errors;

namespace {

int CaptureWarning(const char* text) {
    TextureFixture::warnings.emplace_back(text);
    return 0;
}

int CaptureError(const char* text) {
    TextureFixture::errors.emplace_back(text);
    return 0;
}

}  // namespace

void TextureFixture::SetUp() {
    GlWindowFixture::SetUp();
    if (IsSkipped()) return;
    TextureQuality = 2;
    MaxTextureSize = 1024;
    TextureRoundingTolerance = 1.0f;
    GLExtensionFlags = 0;
    SetBaseDirectory(scratch.Path().c_str());
    warnings.clear();
    errors.clear();
    SetEngineWarningHandler(CaptureWarning);
    SetEngineErrorHandler(CaptureError);
    manager = std::make_unique<VRTextureManager>();
    prepared = true;
}

void TextureFixture::TearDown() {
    if (!prepared) return GlWindowFixture::TearDown();
    manager.reset();
    SetEngineWarningHandler(nullptr);
    SetEngineErrorHandler(nullptr);
    SetBaseDirectory("");
    for (GLenum unit = GL_TEXTURE0; unit < GL_TEXTURE0 + 2; ++unit) {
        glActiveTexture(unit);
        DisableTexGen();
    }
    glActiveTexture(GL_TEXTURE0);
    GlWindowFixture::TearDown();
}

void TextureFixture::Write(const std::string& name, const std::string& bytes) { WriteFile(scratch.Make(name), bytes); }

VRTexture* TextureFixture::Load(const char* name, int32_t flags, std::string* stderrText) {
    testing::internal::CaptureStderr();
    VRTexture* t = manager->GetTexture(name, flags);
    const std::string text = testing::internal::GetCapturedStderr();
    if (stderrText) *stderrText = text;
    return t;
}

void DisableTexGen() {
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
}

}  // namespace qemtest
