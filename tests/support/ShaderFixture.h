// Test fixture for GLSL programs: the test window with a scene over it (so
// the GL entry points are fetched and the shader library is cleared when the
// scene goes), the engine's errors and warnings captured, and a scratch
// folder for the shader files a test writes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/VRScene.h"
#include "support/GlWindowFixture.h"
#include "support/ScratchFolder.h"

namespace qemtest {

class ShaderFixture : public GlWindowFixture {
public:
    // A vertex shader passing the position through, and a fragment shader
    // drawing the uniform "col" tinted by the vec3 "tint".
    static const char* const kVertexSource;
    static const char* const kFragmentSource;

protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the text to a file of the scratch folder; its path.
    std::string WriteFile(const std::string& name, const std::string& text) const;
    // Draws a quad over the whole window with the current program.
    static void DrawQuad();

    static std::vector<std::string>& Errors();
    static std::vector<std::string>& Warnings();

    std::unique_ptr<VRScene> scene;
    std::unique_ptr<ScratchFolder> folder;
};

}  // namespace qemtest
