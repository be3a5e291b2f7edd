#include "support/ShaderFixture.h"

#include <GL/gl.h>

#include <fstream>

#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/VRShaderProgram.h"

namespace qemtest {

const char* const ShaderFixture::kVertexSource = "void main() { gl_Position = gl_Vertex; }\n";
const char* const ShaderFixture::kFragmentSource =
    "uniform vec4 col;\n"
    "uniform vec3 tint;\n"
    "void main() { gl_FragColor = col * vec4(tint, 1.0); }\n";

std::vector<std::string>& ShaderFixture::Errors() {
    static std::vector<std::string> errors;
    return errors;
}

std::vector<std::string>& ShaderFixture::Warnings() {
    static std::vector<std::string> warnings;
    return warnings;
}

void ShaderFixture::SetUp() {
    GlWindowFixture::SetUp();
    if (IsSkipped()) return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    Errors().clear();
    Warnings().clear();
    SetEngineErrorHandler([](const char* text) {
        Errors().push_back(text);
        return 0;
    });
    SetEngineWarningHandler([](const char* text) {
        Warnings().push_back(text);
        return 0;
    });
    scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
    folder = std::make_unique<ScratchFolder>();
}

void ShaderFixture::TearDown() {
    if (!IsSkipped()) {
        if (GLEntryPoints.glUseProgramObjectARB) GLEntryPoints.glUseProgramObjectARB(0);
        scene.reset();
        folder.reset();
        SetEngineErrorHandler(nullptr);
        SetEngineWarningHandler(nullptr);
        glPopAttrib();
    }
    GlWindowFixture::TearDown();
}

std::string ShaderFixture::WriteFile(const std::string& name, const std::string& text) const {
    const std::string path = folder->Make(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

void ShaderFixture::DrawQuad() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace qemtest
