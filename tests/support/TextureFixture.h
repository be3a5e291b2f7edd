// Fixture of the texture tests: a GL window, a fresh texture manager over a
// scratch folder (its base directory), the scene's texture settings at
// their defaults, and the engine's warnings and errors captured.
#pragma once

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/VRTextureManager.h"
#include "support/GlWindowFixture.h"
#include "support/ScratchFolder.h"

namespace qemtest {

class TextureFixture : public GlWindowFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file into the scratch folder.
    void Write(const std::string& name, const std::string& bytes);
    // GetTexture with standard error captured into `stderrText` when given.
    VRTexture* Load(const char* name, int32_t flags, std::string* stderrText = nullptr);

    ScratchFolder scratch;
    std::unique_ptr<VRTextureManager> manager;
    bool prepared = false;  // SetUp ran to its end

public:
    // The engine warnings and errors since SetUp, one text each.
    static std::vector<std::string> warnings;
    static std::vector<std::string> errors;
};

// Texture generation of S, T and R off on the active unit (cube maps and 3D
// textures switch it on).
void DisableTexGen();

// Level `level` of the texture bound on `target` (or of a cube face), tightly packed.
template <typename T>
std::vector<T> TexImage(GLenum target, GLint level, GLenum format, GLenum type, size_t count) {
    std::vector<T> out(count);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, level, format, type, out.data());
    return out;
}

inline std::vector<uint8_t> TexBytes(GLenum target, GLint level, GLenum format, size_t count) {
    return TexImage<uint8_t>(target, level, format, GL_UNSIGNED_BYTE, count);
}

}  // namespace qemtest
