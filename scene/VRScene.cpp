// The scene's life, GL set-up, lights, textures and parameters; the frame
// itself is in VRSceneFrame.cpp.
#include "VRScene.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/GlContext.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/SceneGlobals.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRShaderProgram.h"

VRScene* g_scene = nullptr;
float SceneProjectionMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
int32_t FrustumCullingFlag = 1;
SceneCallback SceneLoadCallback = nullptr;

namespace {

constexpr auto kParamWait = std::chrono::milliseconds(500);
const char* const kNoContext = "ERROR : No OpenGL context detected!!\n";
const char* const kWrongInt = "Wrong PARAM_ID or param type (Must be INT)\n";
const char* const kWrongFloat = "Wrong PARAM_ID or param type (Must be FLOAT)\n";

int32_t FallbackEnable(uint32_t cap) {
    glEnable(cap);
    return 0;
}

int32_t FallbackDisable(uint32_t cap) {
    glDisable(cap);
    return 0;
}

constexpr int32_t kNetworkVertexPair = 0xAAAA;

int32_t FallbackFunc(int32_t id, int32_t, const void* data1, int32_t, const void* data2, int32_t, const void*,
                     int32_t, const void*, int32_t, const void*, int32_t, const void*) {
    if (id != kNetworkVertexPair) return -1;
    glEnable(kNetworkVertexPair);
    // A pair left out carries no data: there is no vertex to give.
    if (data1) glVertex3fv(static_cast<const GLfloat*>(data1));
    if (data2) glVertex3fv(static_cast<const GLfloat*>(data2));
    return 0;
}

// The capability bits found in the extension string.
struct ExtensionBit {
    uint32_t bit;
    const char* name;
};
constexpr ExtensionBit kExtensionBits[] = {
    {0x1, "GL_ARB_texture_compression"},
    {0x2, "GL_EXT_texture_filter_anisotropic"},
    {0x4, "GL_ARB_multitexture"},
    {0x8, "GL_ARB_vertex_program"},
    {0x10, "GL_ARB_vertex_shader"},
    {0x20, "GL_ARB_fragment_shader"},
    {0x40, "GL_ARB_shader_objects"},
    {0x100, "GL_EXT_blend_minmax"},
    {0x200, "GL_EXT_framebuffer_object"},
    {0x400, "GL_EXT_Cg_shader"},
    {0x800, "GL_EXT_framebuffer_multisample"},
    {0x1000, "Qem_network_renderer"},
    {0x2000, "GL_ARB_geometry_shader"},
};
constexpr uint32_t kExtAnisotropic = 0x2;
constexpr uint32_t kExtGL12 = 0x80;
constexpr uint32_t kExtNetworkRenderer = 0x1000;

// GL 1.2 or later (3D textures are core from then on).
bool VersionAtLeast12(const char* version) {
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) < 1) return false;
    return major > 1 || (major == 1 && minor >= 2);
}

template <class T>
void Replace(T& slot, const char* name) {
    if (void* entry = NetworkRendererEntry(name)) slot = reinterpret_cast<T>(entry);
}

bool ValidLight(int32_t light) { return light >= 0 && light < kSceneLights; }

// The parameter mutex, held for one call.
class ParamLock {
public:
    explicit ParamLock(VRMutex& mutex) : m_mutex(mutex), m_held(mutex.Lock(kParamWait)) {}
    ~ParamLock() {
        if (m_held) m_mutex.Unlock();
    }
    ParamLock(const ParamLock&) = delete;
    ParamLock& operator=(const ParamLock&) = delete;
    bool Held() const { return m_held; }

private:
    VRMutex& m_mutex;
    bool m_held;
};

}  // namespace

NetworkRendererEntryPoints NetworkRenderer = {FallbackEnable, FallbackDisable, FallbackFunc, nullptr, nullptr};

VRSceneHooks& SceneHooks() {
    static VRSceneHooks hooks;
    return hooks;
}

// ---------------------------------------------------------------------------
// Life

VRScene::VRScene(float fovy, float zNear, float zFar) {
    IncrementLiveObjects();
    for (int k = 0; k < kSceneCameras; ++k) {
        cameras[k].fovy = fovy;
        cameras[k].zNear = zNear;
        cameras[k].zFar = zFar;
        cameras[k].id = k;
    }
    currentCamera = &cameras[0];

    VRSceneHooks& hooks = SceneHooks();
    if (hooks.createMeshLoader) hooks.createMeshLoader();
    SharedTextureManager();
    if (hooks.createNetManager) hooks.createNetManager();

    for (int k = 0; k < kSceneLights; ++k) {
        const float position[4] = {0, 0, 0, 1};
        std::memcpy(lightPositions[k], position, sizeof position);
    }
    const float firstLight[4] = {40, 20, 20, 1};
    std::memcpy(lightPositions[0], firstLight, sizeof firstLight);
    lightEnabled[0] = 1;
    SilentFlag = 0;

    InitGL();
    TokenizerReset();

    g_scene = this;
    TextureRoundingTolerance = 1.0f;
    SetModuleDirectory("");
}

VRScene::~VRScene() {
    VRSceneHooks& hooks = SceneHooks();
    if (hooks.deleteMeshLoader) hooks.deleteMeshLoader();
    background = VRTextureRef();
    EndSharedTextureManager();
    if (hooks.deleteNetManager) hooks.deleteNetManager();
    m_overlayText.reset();
    // The programs of the shader library go with the scene.
    SharedShaderLibrary().Clear();
    if (g_scene == this) g_scene = nullptr;
    DecrementLiveObjects();
}

int32_t VRScene::InitGL() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    if (!vendor) ReportError(kNoContext, nullptr);
    if (!extensions) extensions = "";

    reinitialise = 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    const float modelAmbient[4] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);

    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    const float diffuse[4] = {0.75f, 0.75f, 0.75f, 1};
    const float specular[4] = {0.5f, 0.5f, 0.5f, 1};
    for (int k = 0; k < kSceneLights; ++k) {
        glLightfv(GL_LIGHT0 + k, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0 + k, GL_DIFFUSE, diffuse);
        glLightfv(GL_LIGHT0 + k, GL_SPECULAR, specular);
        if (k == 0)
            glEnable(GL_LIGHT0);
        else
            glDisable(GL_LIGHT0 + k);
    }

    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);

    for (const ExtensionBit& e : kExtensionBits)
        if (std::strstr(extensions, e.name)) GLExtensionFlags |= e.bit;
    if (VersionAtLeast12(reinterpret_cast<const char*>(glGetString(GL_VERSION)))) GLExtensionFlags |= kExtGL12;
    if (GLExtensionFlags & kExtAnisotropic) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &MaxTextureAnisotropy);

    FetchGLEntryPoints(GLExtensionFlags);
    if (GLExtensionFlags & kExtNetworkRenderer) {
        Replace(NetworkRenderer.QemNetworkRendererEnable, "QemNetworkRendererEnable");
        Replace(NetworkRenderer.QemNetworkRendererDisable, "QemNetworkRendererDisable");
        Replace(NetworkRenderer.QemNetworkRendererFunc, "QemNetworkRendererFunc");
        Replace(NetworkRenderer.QemNetworkRendererSlavePluginRun, "QemNetworkRendererSlavePluginRun");
        Replace(NetworkRenderer.QemNetworkRendererSlavePluginRunAll, "QemNetworkRendererSlavePluginRunAll");
    }

    TextureQuality = 2;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    // Without a context the GL answers nothing; the last size stays.
    if (maxSize > 0) MaxTextureSize = maxSize;
    return 1;
}

// ---------------------------------------------------------------------------
// Cameras, lights and fog

bool VRScene::CameraActivate(uint32_t n) {
    if (n >= uint32_t(kSceneCameras)) return false;
    currentCameraIndex = static_cast<int32_t>(n);
    currentCamera = &cameras[n];
    return true;
}

void VRScene::ForgetCamera(const VRCamera* camera) {
    if (camera && currentCamera == camera) currentCamera = &cameras[currentCameraIndex];
}

int32_t VRScene::SetCameraAnimation(int32_t n, int32_t frame) {
    float position[3];
    float out[16];
    MatrixIdentity4(out);
    bool rotation = false;
    const int32_t result = cameraAnimation.Sample(n, frame, position, out, &rotation);
    if (result < 0 || !currentCamera) return 0;
    cameraAnimation.Clamp(position);
    currentCamera->SetPosition(position[0], position[1], position[2]);
    if (cameraAnimation.isTarget[size_t(n)])
        currentCamera->SetTarget(out[0], out[1], out[2]);
    else if (rotation)
        currentCamera->SetRotationMatrix(out);
    return 0;
}

void VRScene::SetClearColor(float r, float g, float b) {
    clearColor[0] = r;
    clearColor[1] = g;
    clearColor[2] = b;
    clearColor[3] = 0.0f;
}

void VRScene::SetAmbientLight(float r, float g, float b) {
    const float ambient[4] = {r, g, b, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
}

void VRScene::EnableFog(float start, float end, const float* colour) {
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
    if (colour) glFogfv(GL_FOG_COLOR, colour);
    glFogf(GL_FOG_DENSITY, 0.005f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glEnable(GL_FOG);
}

int32_t VRScene::Enable(int32_t id) {
    if (ValidLight(id)) {
        glEnable(GL_LIGHT0 + id);
        lightEnabled[id] = 1;
    } else if (id == kSceneFrustumCulling) {
        FrustumCullingFlag = 1;
    }
    return 1;
}

int32_t VRScene::Disable(int32_t id) {
    if (ValidLight(id)) {
        glDisable(GL_LIGHT0 + id);
        lightEnabled[id] = 0;
    } else if (id == kSceneFrustumCulling) {
        FrustumCullingFlag = 0;
    }
    return 1;
}

int32_t VRScene::SetLightPosition(int32_t light, float x, float y, float z, float w) {
    if (!ValidLight(light)) return 0;
    float* p = lightPositions[light];
    p[0] = x;
    p[1] = y;
    p[2] = z;
    p[3] = w;
    return 1;
}

int32_t VRScene::GetLightPosition(int32_t light, float* out) const {
    if (!ValidLight(light)) return 0;
    std::memcpy(out, lightPositions[light], 3 * sizeof(float));
    return 1;
}

int32_t VRScene::SetLightParameter(int32_t light, uint32_t name, float x, float y, float z) {
    if (!ValidLight(light)) return 0;
    const GLenum glLight = GL_LIGHT0 + static_cast<GLenum>(light);
    switch (name) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_SPOT_DIRECTION: {
        const float v[4] = {x, y, z, 1};
        glLightfv(glLight, name, v);
        return 1;
    }
    case GL_SPOT_EXPONENT:
    case GL_SPOT_CUTOFF:
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION:
        glLighti(glLight, name, static_cast<GLint>(x));
        return 1;
    default:
        return 0;
    }
}

const char* VRScene::SetOverlayText(const char* text) {
    if (!text) return nullptr;
    const size_t length = std::strlen(text);
    const size_t kept = length < kOverlayLineSize - 1 ? length : kOverlayLineSize - 1;
    std::memcpy(overlayLine, text, kept);
    overlayLine[kept] = '\0';
    return text + length + 1;
}

// ---------------------------------------------------------------------------
// Textures

void VRScene::SetActiveTexture(VRTexture* texture, int32_t flags, int32_t unit) {
    if (VRTextureManager* manager = SharedTextureManager()) manager->BindTexture(texture, flags, unit);
}

VRTexture* VRScene::LoadTexture(const char* name, int32_t flags) {
    VRTextureManager* manager = SharedTextureManager();
    return manager && name ? manager->GetTexture(name, flags) : nullptr;
}

VRTexture* VRScene::StoreTexture(const char* name, const uint8_t* pixels, int32_t width, int32_t height,
                                 int32_t channels, int32_t flags) {
    VRTextureManager* manager = SharedTextureManager();
    if (!manager || !pixels || width <= 0 || height <= 0 || channels <= 0) return nullptr;
    const size_t bytes = size_t(width) * size_t(height) * size_t(channels);
    if (bytes / size_t(width) / size_t(height) != size_t(channels)) return nullptr;
    auto* copy = static_cast<uint8_t*>(std::malloc(bytes));
    if (!copy) return nullptr;
    std::memcpy(copy, pixels, bytes);
    return manager->CreateTextureFromBuffer(name, copy, width, height, channels, flags, 0, 0);
}

VRTexture* VRScene::LoadBackground(const char* name, int32_t mode) {
    VRTexture* record = LoadTexture(name, kTexNoMipmaps | kTexTopLeft);
    background = VRTextureRef(record);
    backgroundMode = mode;
    return record;
}

int32_t VRScene::SetErrorCallback(int (*handler)(const char*)) {
    SetEngineErrorHandler(handler);
    return 0;
}

int32_t VRScene::SetWarningCallback(int (*handler)(const char*)) {
    SetEngineWarningHandler(handler);
    return 0;
}

// ---------------------------------------------------------------------------
// Parameters

int32_t VRScene::SetParamInt(int32_t id, int32_t value) {
    ParamLock lock(m_mutex);
    if (!lock.Held()) return -1;
    switch (id) {
    case kParamTextureQuality: TextureQuality = value; return 1;
    case kParamSilent: SilentFlag = value; return 2;
    case kParamMaxTextureSize: MaxTextureSize = value; return 3;
    case kParamTrackingMode: m_stereo.trackingMode = value; return 4;
    default: ReportError(kWrongInt, nullptr); return -1;
    }
}

int32_t VRScene::GetParamInt(int32_t id, int32_t* value) {
    ParamLock lock(m_mutex);
    if (!lock.Held()) return -1;
    switch (id) {
    case kParamTextureQuality: *value = TextureQuality; return 1;
    case kParamSilent: *value = SilentFlag; return 2;
    case kParamMaxTextureSize: *value = MaxTextureSize; return 3;
    case kParamTrackingMode: *value = m_stereo.trackingMode; return 4;
    default: ReportError(kWrongInt, nullptr); return -1;
    }
}

int32_t VRScene::SetParamFloat(int32_t id, float a, float b, float c) {
    ParamLock lock(m_mutex);
    if (!lock.Held()) return -1;
    VRStereoSettings& s = m_stereo;
    switch (id) {
    case kParamEyeSeparation:
        s.eyeSeparation = a;
        s.eyeOffsetY = b;
        s.eyeOffsetZ = c;
        return 1;
    case kParamFocalLength: s.focalLength = a; return 3;
    case kParamRoundingTolerance: TextureRoundingTolerance = a; return 3;
    case kParamFade: fadeValue = a < -1.0f ? -1.0f : a > 1.0f ? 1.0f : a; return 2;
    case kParamScreenSize:
        s.screenWidth = a;
        s.screenHeight = b;
        return 4;
    case kParamTrackerPosition:
        s.trackerPosition[0] = a;
        s.trackerPosition[1] = b;
        s.trackerPosition[2] = c;
        return 5;
    case kParamTrackerOrientation:
        s.trackerOrientation[0] = a;
        s.trackerOrientation[1] = b;
        s.trackerOrientation[2] = c;
        return 6;
    case kParamCamera:
        currentCamera->fovy = a;
        currentCamera->zNear = b;
        currentCamera->zFar = c;
        return 7;
    default: ReportError(kWrongFloat, nullptr); return -1;
    }
}

int32_t VRScene::GetParamFloat(int32_t id, float* values) {
    ParamLock lock(m_mutex);
    if (!lock.Held()) return -1;
    const VRStereoSettings& s = m_stereo;
    switch (id) {
    case kParamEyeSeparation:
        values[0] = s.eyeSeparation;
        values[1] = s.eyeOffsetY;
        values[2] = s.eyeOffsetZ;
        return 1;
    case kParamFocalLength: values[0] = s.focalLength; return 3;
    case kParamRoundingTolerance: values[0] = TextureRoundingTolerance; return 3;
    case kParamScreenSize:
        values[0] = s.screenWidth;
        values[1] = s.screenHeight;
        return 4;
    case kParamTrackerPosition: std::memcpy(values, s.trackerPosition, sizeof s.trackerPosition); return 5;
    case kParamTrackerOrientation: std::memcpy(values, s.trackerOrientation, sizeof s.trackerOrientation); return 6;
    case kParamCamera:
        values[0] = currentCamera->fovy;
        values[1] = currentCamera->zNear;
        values[2] = currentCamera->zFar;
        return 7;
    default: ReportError(kWrongFloat, nullptr); return -1;
    }
}

bool VRScene::SnapshotStereo() {
    ParamLock lock(m_mutex);
    if (!lock.Held()) return false;
    m_frameStereo = m_stereo;
    return true;
}
