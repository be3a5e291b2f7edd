// A framebuffer render target: drawing between Start and Stop goes into a
// colour texture, a depth texture or the six faces of a cube map, optionally
// through a multisample framebuffer resolved at Stop, optionally with a
// mip chain regenerated at Stop. The colour (or depth) texture is offered to
// the rest of the engine as a texture record that the target owns: it is
// not in the texture manager's list, and it is marked removed (its holders
// see no record) when the target goes.
//
// Used on the thread that owns the window's GL context.
#pragma once

#include <GL/gl.h>

#include <cstdint>

struct VRTexture;

// Error states.
enum VRFboError : int32_t {
    kFboNoError = 0,
    kFboNotSupported = 1,
    kFboIncomplete = 2,
    kFboCubeNotSquare = 3,
};

// One error state (and, for an incomplete framebuffer, one status) and its
// text; status 0 matches any status of its state.
struct VRFboErrorText {
    int32_t state;
    uint32_t status;
    const char* text;
};
extern const VRFboErrorText kFboErrorTexts[10];

class VRFbo {
public:
    // Script modes, 1 to 6.
    enum Mode : int32_t {
        kModePlain = 1,
        kModeDepthTexture = 2,
        kModeShadowMap = 3,
        kModeDepth = 4,
        kModeCubeMap = 5,
        kModeDepthStencil = 6,
    };

    VRFbo();
    // Releases the GL objects (the window's context must be current) and the
    // texture record.
    ~VRFbo();
    VRFbo(const VRFbo&) = delete;
    VRFbo& operator=(const VRFbo&) = delete;

    static bool IsSupported();
    // Sets the mode flags of a script mode; false for another number.
    bool SetMode(int32_t mode);

    bool Init();
    bool InitMultisampling(int32_t samples);
    bool EnableMultisampling(bool enable);
    void EnableMipmaps(bool enable);
    void Start();
    void Stop();
    const char* GetErrorText() const;

    // Targets made so far in this process.
    static int32_t CreatedCount();

    int32_t width = 0, height = 0;
    GLuint depthRenderbuffer = 0, depthStencilRenderbuffer = 0, colourTexture = 0, framebuffer = 0;
    GLenum textureTarget = GL_TEXTURE_2D;
    GLuint msFramebuffer = 0, msColourRenderbuffer = 0, msDepthRenderbuffer = 0, msDepthStencilRenderbuffer = 0;
    GLuint msFaceRenderbuffers[6] = {};
    VRTexture* texture = nullptr;
    bool mipmaps = false;
    int32_t error = kFboNoError;
    uint32_t status = 0;
    int32_t requestedWidth = -1, requestedHeight = -1;
    int32_t internalFormat = -1, pixelType = -1, pixelFormat = -1;
    bool depthTexture = false, depthRenderbufferMode = false, depthStencilMode = false, cubeMap = false,
         shadowCompare = false;
    bool multisampling = false;

private:
    bool InitAs2D();
    bool InitAsDepthTexture();
    bool InitAsCubeMap();
    // Sets the size and texture target; false without framebuffer objects.
    bool BeginInit(GLenum target);
    // The completeness check of the bound framebuffer; unbinds it and the
    // textures either way.
    bool CheckFramebuffer();
    void MakeRecord();
    void DeleteMultisampleObjects();
    // A renderbuffer with the storage (multisampled when samples > 0).
    static GLuint NewRenderbuffer(GLenum format, int32_t w, int32_t h, int32_t samples);
};
