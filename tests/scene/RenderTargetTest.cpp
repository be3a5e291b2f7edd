// Framebuffer targets and p-buffers on the window's GL: what is drawn
// between the brackets is read back from the textures they fill, and the
// window's state is what it was before.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/VRFbo.h"
#include "scene/VRPBuffer.h"
#include "support/TextureFixture.h"

using namespace qemtest;

namespace {

constexpr uint32_t kFramebufferBits = 0x200 | 0x800;

class RenderTargetTest : public TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        if (IsSkipped()) return;
        const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        ASSERT_TRUE(std::strstr(extensions, "GL_EXT_framebuffer_object"));
        ASSERT_TRUE(std::strstr(extensions, "GL_EXT_framebuffer_multisample"));
        UseFlags(kFramebufferBits);
    }
    void TearDown() override {
        UseFlags(0);
        TextureFixture::TearDown();
    }
    static void UseFlags(uint32_t flags) {
        GLExtensionFlags = flags;
        FetchGLEntryPoints(flags);
    }

    // A target of the mode and size, initialised.
    static void Make(VRFbo& fbo, int32_t mode, int32_t w, int32_t h) {
        ASSERT_TRUE(fbo.SetMode(mode));
        fbo.requestedWidth = w;
        fbo.requestedHeight = h;
        ASSERT_TRUE(fbo.Init()) << fbo.GetErrorText();
    }

    static void Clear(float r, float g, float b) {
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // Every texel of level `level` of the 2D (or cube face) texture is (r, g, b).
    static void ExpectFilled(GLenum target, GLenum face, GLuint name, GLint level, size_t texels,
                             std::array<uint8_t, 3> rgb) {
        glBindTexture(target, name);
        const std::vector<uint8_t> bytes = TexBytes(face, level, GL_RGB, texels * 3);
        glBindTexture(target, 0);
        size_t wrong = 0;
        for (size_t i = 0; i < texels; ++i)
            if (bytes[i * 3] != rgb[0] || bytes[i * 3 + 1] != rgb[1] || bytes[i * 3 + 2] != rgb[2]) ++wrong;
        EXPECT_EQ(wrong, 0u) << "first texel " << int(bytes[0]) << "," << int(bytes[1]) << "," << int(bytes[2]);
    }

    static std::array<GLint, 4> Viewport() {
        std::array<GLint, 4> v{};
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    }
};

TEST_F(RenderTargetTest, PlainTargetDrawsIntoItsTextureRecord) {
    VRFbo fbo;
    Make(fbo, VRFbo::kModePlain, 256, 256);
    const VRTexture* record = fbo.texture;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->name), "Framebuffer Object " + std::to_string(VRFbo::CreatedCount()));
    EXPECT_EQ(record->kind, 0);
    EXPECT_EQ(record->flags, 0x4);
    EXPECT_EQ(record->width, 256);
    EXPECT_EQ(record->height, 256);
    EXPECT_EQ(record->glName, fbo.colourTexture);
    EXPECT_EQ(record->owner, nullptr);

    const std::array<GLint, 4> window = Viewport();
    fbo.Start();
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 256, 256}));
    Clear(1, 0, 0);
    fbo.Stop();
    EXPECT_EQ(Viewport(), window);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(bound, 0);
    ExpectFilled(GL_TEXTURE_2D, GL_TEXTURE_2D, record->glName, 0, 256 * 256, {255, 0, 0});
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargetTest, CubeTargetDrawsEachFace) {
    VRFbo fbo;
    Make(fbo, VRFbo::kModeCubeMap, 32, 32);
    EXPECT_EQ(fbo.texture->kind, 1);
    EXPECT_EQ(fbo.textureTarget, GLenum(GL_TEXTURE_CUBE_MAP));
    fbo.Start();
    for (GLenum face = 0; face < 6; ++face) {
        glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT + face);
        Clear(face & 1, (face >> 1) & 1, face == 5 ? 1 : 0);
    }
    fbo.Stop();
    for (GLenum face = 0; face < 6; ++face) {
        SCOPED_TRACE(face);
        ExpectFilled(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, fbo.colourTexture, 0, 32 * 32,
                     {uint8_t(face & 1 ? 255 : 0), uint8_t(face & 2 ? 255 : 0), uint8_t(face == 5 ? 255 : 0)});
    }

    VRFbo oblong;
    ASSERT_TRUE(oblong.SetMode(VRFbo::kModeCubeMap));
    oblong.requestedWidth = 256;
    oblong.requestedHeight = 128;
    EXPECT_FALSE(oblong.Init());
    EXPECT_STREQ(oblong.GetErrorText(), "Cubemap fbos must have square dimensions");
    EXPECT_EQ(oblong.texture, nullptr);
}

TEST_F(RenderTargetTest, MipmapsAreSwitchedOnceAndMadeAtStop) {
    VRFbo fbo;
    fbo.EnableMipmaps(true);  // nothing to switch before the record exists
    EXPECT_FALSE(fbo.mipmaps);
    Make(fbo, VRFbo::kModePlain, 64, 64);
    fbo.EnableMipmaps(true);
    EXPECT_EQ(fbo.texture->flags, 0);
    EXPECT_EQ(fbo.texture->mipCount, 1);
    fbo.texture->flags = 0x4;  // a second request for the same setting leaves the record alone
    fbo.EnableMipmaps(true);
    EXPECT_EQ(fbo.texture->flags, 0x4);
    fbo.Start();
    Clear(0, 0, 1);
    fbo.Stop();
    ExpectFilled(GL_TEXTURE_2D, GL_TEXTURE_2D, fbo.colourTexture, 1, 32 * 32, {0, 0, 255});
    fbo.EnableMipmaps(false);
    EXPECT_EQ(fbo.texture->flags, 0x4);
    EXPECT_EQ(fbo.texture->mipCount, 0);
}

TEST_F(RenderTargetTest, MultisampledTargetIsResolvedAtStop) {
    VRFbo fbo;
    Make(fbo, VRFbo::kModeDepth, 64, 64);
    EXPECT_FALSE(fbo.EnableMultisampling(true));
    ASSERT_TRUE(fbo.InitMultisampling(4));
    GLint samples = 0;
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, fbo.msColourRenderbuffer);
    glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_SAMPLES_EXT, &samples);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    EXPECT_EQ(samples, 4);
    fbo.Start();
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(GLuint(bound), fbo.msFramebuffer);
    Clear(0, 1, 0);
    fbo.Stop();
    ExpectFilled(GL_TEXTURE_2D, GL_TEXTURE_2D, fbo.colourTexture, 0, 64 * 64, {0, 255, 0});
    EXPECT_FALSE(fbo.EnableMultisampling(false));
    EXPECT_TRUE(fbo.EnableMultisampling(true));

    VRFbo cube;
    Make(cube, VRFbo::kModeCubeMap, 16, 16);
    ASSERT_TRUE(cube.InitMultisampling(4));
    cube.Start();
    for (GLenum face = 0; face < 6; ++face) {
        glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT + face);
        Clear(face == 3 ? 1 : 0, 0, 1);
    }
    cube.Stop();
    ExpectFilled(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X + 3, cube.colourTexture, 0, 16 * 16,
                 {255, 0, 255});
    ExpectFilled(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X + 5, cube.colourTexture, 0, 16 * 16,
                 {0, 0, 255});

    VRFbo depth;
    Make(depth, VRFbo::kModeShadowMap, 32, 32);
    EXPECT_FALSE(depth.InitMultisampling(4));
    GLint compare = 0;
    glBindTexture(GL_TEXTURE_2D, depth.colourTexture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, &compare);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(compare, GL_COMPARE_R_TO_TEXTURE_ARB);
}

TEST_F(RenderTargetTest, RecordOutlivesItsTargetAsRemoved) {
    VRTextureRef held;
    GLuint name = 0;
    {
        VRFbo fbo;
        Make(fbo, VRFbo::kModePlain, 8, 8);
        held = VRTextureRef(fbo.texture);
        name = fbo.colourTexture;
        EXPECT_EQ(held.Get(), fbo.texture);
    }
    EXPECT_TRUE(held.Held());
    EXPECT_EQ(held.Get(), nullptr);
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(RenderTargetTest, ErrorTexts) {
    struct Row {
        int32_t state;
        uint32_t status;
        const char* text;
    };
    const Row rows[] = {
        {0, 0, "Unknown error"},
        {1, 0, "Framebuffer Object not supported by your video card"},
        {3, 0, "Cubemap fbos must have square dimensions"},
        {2, GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT,
         "All framebuffer attachment points must be \"framebuffer attachment complete\""},
        {2, GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT,
         "There must be at least one image attached to the framebuffer."},
        {2, GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT, "All attached images must have the same width and height."},
        {2, GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT,
         "All images attached to the attachment points COLOR_ATTACHMENT0_EXT through COLOR_ATTACHMENTn_EXT must "
         "have the same internal format."},
        {2, GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT,
         "The value of FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT must not be NONE for any color attachment point(s) "
         "named by DRAW_BUFFERi."},
        {2, GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT,
         "If READ_BUFFER is not NONE, then the value of FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT must not be NONE for "
         "the color attachment point named by READ_BUFFER."},
        {2, GL_FRAMEBUFFER_UNSUPPORTED_EXT,
         "The combination of internal formats of the attached images violates an implementation-dependent set of "
         "restrictions."},
        {2, 0x1234, "Framebuffer Unknown (not standard) error"},
        {7, GL_FRAMEBUFFER_UNSUPPORTED_EXT, "Unknown error"},
    };
    VRFbo fbo;
    for (const Row& row : rows) {
        fbo.error = row.state;
        fbo.status = row.status;
        EXPECT_STREQ(fbo.GetErrorText(), row.text) << row.state << " " << row.status;
    }

    // A framebuffer the GL refuses: a colour format that cannot be drawn to.
    VRFbo refused;
    ASSERT_TRUE(refused.SetMode(VRFbo::kModePlain));
    refused.requestedWidth = refused.requestedHeight = 8;
    refused.internalFormat = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
    refused.pixelFormat = GL_RGB;
    refused.pixelType = GL_UNSIGNED_BYTE;
    EXPECT_FALSE(refused.Init());
    EXPECT_EQ(refused.error, 2);
    EXPECT_EQ(refused.texture, nullptr);
}

TEST_F(RenderTargetTest, WithoutFramebufferObjectsNothingIsBuilt) {
    UseFlags(0);
    VRFbo fbo;
    EXPECT_EQ(fbo.error, 1);
    ASSERT_TRUE(fbo.SetMode(VRFbo::kModePlain));
    fbo.requestedWidth = fbo.requestedHeight = 16;
    EXPECT_FALSE(fbo.Init());
    EXPECT_FALSE(fbo.InitMultisampling(4));
    fbo.Start();
    fbo.Stop();
    EXPECT_STREQ(fbo.GetErrorText(), "Framebuffer Object not supported by your video card");

    VRPBuffer pbuffer;
    EXPECT_EQ(warnings, (std::vector<std::string>{"PBuffer extensions not supported "}));
    warnings.clear();
    EXPECT_FALSE(pbuffer.Create(64, 64, 16, 24));
    EXPECT_FALSE(pbuffer.Create(64, 64, 8, 24));
    EXPECT_EQ(warnings, (std::vector<std::string>{"Float bBuffer extensions not supported ",
                                                  "PBuffer extensions not supported "}));
    EXPECT_FALSE(pbuffer.MakeCurrent());
}

// A texture of w x h RGB texels of the GL's own, as a record.
struct GlTexture {
    GlTexture(int32_t w, int32_t h) {
        glGenTextures(1, &record.glName);
        glBindTexture(GL_TEXTURE_2D, record.glName);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        record.width = w;
        record.height = h;
    }
    ~GlTexture() { glDeleteTextures(1, &record.glName); }
    VRTexture record;
};

TEST_F(RenderTargetTest, PBufferCopiesIntoATextureOfItsSizeAndKeepsTheWindowState) {
    VRPBuffer pbuffer;
    ASSERT_TRUE(pbuffer.Create(64, 64, 8, 24));
    EXPECT_EQ(pbuffer.width, 64);
    EXPECT_EQ(pbuffer.height, 64);
    EXPECT_TRUE(warnings.empty());

    glViewport(10, 20, 100, 50);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    std::array<float, 16> projection{}, modelview{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview.data());
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 4);

    GlTexture same(64, 64), smaller(32, 32);
    ASSERT_TRUE(pbuffer.MakeCurrent());
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 64, 64}));
    Clear(0, 1, 0);
    EXPECT_TRUE(pbuffer.CopyToTexture(&same.record));
    EXPECT_TRUE(pbuffer.IsCurrent());  // it was current before the copy
    EXPECT_TRUE(pbuffer.MakeWindowCurrent());
    ExpectFilled(GL_TEXTURE_2D, GL_TEXTURE_2D, same.record.glName, 0, 64 * 64, {0, 255, 0});

    // A texture of another size: nothing copied, the window current again.
    ASSERT_TRUE(pbuffer.MakeCurrent());
    EXPECT_FALSE(pbuffer.CopyToTexture(&smaller.record));
    EXPECT_FALSE(pbuffer.IsCurrent());
    EXPECT_FALSE(pbuffer.CopyToTexture(nullptr));

    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{10, 20, 100, 50}));
    std::array<float, 16> p{}, m{};
    glGetFloatv(GL_PROJECTION_MATRIX, p.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    EXPECT_EQ(p, projection);
    EXPECT_EQ(m, modelview);
    GLint matrixMode = 0, bound = -1;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(matrixMode, GL_MODELVIEW);
    EXPECT_EQ(bound, 0);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    glDisable(GL_SCISSOR_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargetTest, FloatPBufferCopiesToo) {
    VRPBuffer pbuffer;
    ASSERT_TRUE(pbuffer.Create(16, 8, 32, 0));
    GlTexture texture(16, 8);
    ASSERT_TRUE(pbuffer.MakeCurrent());
    GLint redBits = 0;
    glGetIntegerv(GL_RED_BITS, &redBits);
    EXPECT_EQ(redBits, 32);
    Clear(0, 0, 1);
    pbuffer.MakeWindowCurrent();
    EXPECT_TRUE(pbuffer.CopyToTexture(&texture.record));
    EXPECT_FALSE(pbuffer.IsCurrent());
    ExpectFilled(GL_TEXTURE_2D, GL_TEXTURE_2D, texture.record.glName, 0, 16 * 8, {0, 0, 255});
    EXPECT_FALSE(pbuffer.Create(0, 8, 8, 0));
    EXPECT_FALSE(pbuffer.MakeCurrent());
}

}  // namespace
