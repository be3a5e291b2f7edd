// The scene: the one renderer object of the engine library. It owns the
// eight camera slots and the eight light slots, sets up each frame
// (projection, view, clearing, stereo, head tracking, background) and ends
// it (fade, motion blur, frame-rate overlay, pacing), and keeps the scene
// parameters that scripts and the host change at run time behind a mutex.
//
// It is made once a GL context exists (the engine module makes it at the
// first frame) and lives until the engine machine goes. Everything but the
// parameter calls runs on the thread that owns the GL context.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "scene/VRCamera.h"
#include "scene/VRCameraAnimation.h"
#include "scene/VRTextureManager.h"

class VRScene;

// The scene, set by its constructor and by every frame begin; null while
// none exists. Engine classes reach the current camera and the frame
// counters through it.
extern VRScene* g_scene;

// A copy of the projection matrix as each frame begin leaves it, for the
// view-volume test and picking of the meshes.
extern float SceneProjectionMatrix[16];
// 1 while the meshes' view-volume culling is on.
extern int32_t FrustumCullingFlag;

// The scene callback: the model loaders report their progress through it.
typedef void (*SceneCallback)(int32_t a, int32_t b);
extern SceneCallback SceneLoadCallback;

// The network renderer's entry points. Without the plug-in (always, here)
// the first three are the fallbacks: enable and disable switch the GL
// capability and answer 0, and the function answers -1, except for the id
// 0xAAAA, for which it enables that capability and gives the first two data
// pointers to glVertex3fv (answering 0).
struct NetworkRendererEntryPoints {
    int32_t (*QemNetworkRendererEnable)(uint32_t cap);
    int32_t (*QemNetworkRendererDisable)(uint32_t cap);
    int32_t (*QemNetworkRendererFunc)(int32_t id, int32_t type1, const void* data1, int32_t type2,
                                      const void* data2, int32_t type3, const void* data3, int32_t type4,
                                      const void* data4, int32_t type5, const void* data5, int32_t type6,
                                      const void* data6);
    void (*QemNetworkRendererSlavePluginRun)(const char* name, int32_t value);
    void (*QemNetworkRendererSlavePluginRunAll)(int32_t value);
};
extern NetworkRendererEntryPoints NetworkRenderer;

// What a frame-rate overlay draws with: a line of text at a position.
class VRSceneOverlayText {
public:
    virtual ~VRSceneOverlayText() = default;
    virtual void SetText(const char* text) = 0;
    virtual void SetPosition(float x, float y, float z) = 0;
    virtual void Draw(int32_t flags) = 0;
};

// What the scene makes and ends with it from the libraries above it: the
// mesh loader and the network manager (made in this order around the
// texture manager), one deferred mesh load per frame begin,
// the impostor atlas's capture and the overlay text. Those libraries fill
// the hooks; an empty hook does nothing (but the overlay's, see there).
struct VRSceneHooks {
    void (*createMeshLoader)() = nullptr;
    void (*deleteMeshLoader)() = nullptr;
    void (*createNetManager)() = nullptr;
    void (*deleteNetManager)() = nullptr;
    // Performs the first queued mesh load, if any, with the base folder set
    // to its folder, and drops it from the queue.
    void (*loadPendingMesh)() = nullptr;
    // Captures the impostor atlas's next entry, when an atlas is set.
    void (*captureImpostor)() = nullptr;
    // The overlay's text object: the empty text at (0, 0) in the overlay
    // font. Null: a VRText in the image font.
    VRSceneOverlayText* (*createOverlayText)() = nullptr;
};
VRSceneHooks& SceneHooks();

// A mutex that the thread holding it may take again, waited for with a
// time-out.
class VRMutex {
public:
    virtual ~VRMutex() = default;
    bool Lock(std::chrono::milliseconds wait) { return m_mutex.try_lock_for(wait); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_timed_mutex m_mutex;
};

// Frame flags of the frame begin (kept for SceneEnd).
enum VRSceneFrameFlag : int32_t {
    kFrameFpsOverlay = 0x1,
    kFrameKeepColour = 0x2,
    kFrameKeepDepth = 0x4,
    kFrameKeepProjection = 0x10,
    kFrameClearStencil = 0x20,
    kFrameStereoFirst = 0x100,
    kFrameStereoSecond = 0x200,
    kFrameFade = 0x8000,
    kFrameKeepGLState = 0x20000000,
};

// Scene parameter ids.
enum VRSceneParam : int32_t {
    kParamTextureQuality = 64,        // int
    kParamSilent = 128,               // int
    kParamEyeSeparation = 1024,       // float: separation, offset y, offset z
    kParamFocalLength = 2048,         // float
    kParamMaxTextureSize = 4096,      // int
    kParamRoundingTolerance = 8192,   // float
    kParamFade = 0x8000,              // float, set only
    kParamTrackingMode = 0x10000,     // int
    kParamScreenSize = 0x20000,       // float: width, height
    kParamTrackerPosition = 0x40000,  // float: x, y, z
    kParamTrackerOrientation = 0x80000,  // float: x, y, z in degrees
    kParamCamera = 0x10000000,        // float: fovy, near, far of the current camera
};

// Frame-begin id of view-volume culling in Enable and Disable.
constexpr int32_t kSceneFrustumCulling = 8;
constexpr int kSceneCameras = 8;
constexpr int kSceneLights = 8;
constexpr size_t kOverlayLineSize = 256;

// The stereo and head-tracking settings. The parameter calls and the
// VR-configuration listener write them under the parameter mutex; each
// frame begin reads a copy taken under it.
struct VRStereoSettings {
    float focalLength = 2.5f;
    float eyeSeparation = 0.02f;
    float eyeOffsetY = 0.0f;
    float eyeOffsetZ = 0.0f;
    float trackerPosition[3] = {0, 0, 1};
    float trackerOrientation[3] = {0, 0, 0};  // degrees
    float screenWidth = 2.2f;
    float screenHeight = 1.5f;
    // 0 off; 1 head tracking with eye translation; 2 and 3 tracked frustum
    // only; 4 and above also rotate the view about the tracker position.
    int32_t trackingMode = 0;
};

class VRScene {
public:
    int32_t currentCameraIndex = 0;
    VRCamera cameras[kSceneCameras];
    VRCamera* currentCamera = nullptr;
    float aspect = 1.0f;
    float clearColor[4] = {0, 0, 0, 0};
    float lightPositions[kSceneLights][4] = {};
    int32_t lightEnabled[kSceneLights] = {};
    int32_t savedViewport[4] = {};
    int32_t fps = -1;
    // Primitives drawn since the frame begin (mesh drawing adds to it).
    int32_t primitiveCount = 0;
    int32_t frameFlags = 0;
    char overlayLine[kOverlayLineSize] = {};
    int32_t minFrameTime = 0;  // milliseconds; 0: no pacing
    float screenRatio = 1.0f;
    // Non-zero: the next frame begin initialises GL again.
    int32_t reinitialise = 0;
    float fadeValue = 0.75f;
    VRTextureRef background;
    int32_t backgroundMode = 0;
    // Screen-area culling of the meshes: below the first area an object is
    // culled, below the second it counts as small.
    int32_t screenAreaCulling = 0;
    float areaCullThreshold = 10.0f;
    float areaSmallThreshold = 200.0f;

    VRScene(float fovy, float zNear, float zFar);
    ~VRScene();
    VRScene(const VRScene&) = delete;
    VRScene& operator=(const VRScene&) = delete;

    // GL defaults and capability flags; 1.
    int32_t InitGL();

    // Frame begin: saves the viewport, then BeginFrame. A null camera is the
    // current slot's.
    void SceneBegin(VRCamera* camera, int32_t flags);
    // The same drawing in the rectangle (pixels), scissored.
    void SceneBeginAbs(VRCamera* camera, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags);
    // The rectangle as fractions of the saved viewport's size (not offset by
    // its origin).
    void SceneBeginRel(VRCamera* camera, float x, float y, float width, float height, int32_t flags);
    void BeginFrame(VRCamera* camera, int32_t flags);
    // Frame end: fade, frame rate, overlay, viewport back, pacing, motion
    // blur; 0.
    int32_t SceneEnd();

    void SetPerspective(const VRCamera& camera);
    // Off-axis projection of one eye (0 the first, any other the second) for
    // the eye vector.
    void SetStereoFrustum(const VRCamera& camera, uint8_t eye, const float* eyeVector);

    void SetClearColor(float r, float g, float b);
    void SetScreenRatio(float ratio) { screenRatio = ratio; }
    void SetAmbientLight(float r, float g, float b);
    void EnableFog(float start, float end, const float* colour);
    // 0 to 7: the light and its enabled flag; 8: view-volume culling. 1.
    int32_t Enable(int32_t id);
    int32_t Disable(int32_t id);
    // Light indices outside 0 to 7 are refused (nothing happens, 0).
    int32_t SetLightPosition(int32_t light, float x, float y, float z, float w);
    int32_t GetLightPosition(int32_t light, float* out) const;
    int32_t SetLightParameter(int32_t light, uint32_t name, float x, float y, float z);
    // n > 7: false, nothing changes.
    bool CameraActivate(uint32_t n);
    // Copies the text (at most 255 characters) into the overlay line; the
    // address just past the text's terminator, or null for a null text.
    const char* SetOverlayText(const char* text);

    // Forwarded to the texture manager.
    void SetActiveTexture(VRTexture* texture, int32_t flags, int32_t unit);
    VRTexture* LoadTexture(const char* name, int32_t flags);
    // A texture made from a copy of the pixels; null when they cannot be
    // taken (no pixels, a size no buffer holds).
    VRTexture* StoreTexture(const char* name, const uint8_t* pixels, int32_t width, int32_t height,
                            int32_t channels, int32_t flags);
    VRTexture* LoadBackground(const char* name, int32_t mode);
    void DrawBackground();

    void SetCallback(SceneCallback callback) { SceneLoadCallback = callback; }
    int32_t SetErrorCallback(int (*handler)(const char*));
    int32_t SetWarningCallback(int (*handler)(const char*));

    // The parameters: -1 when the mutex cannot be had within 500 ms, or for
    // an id of the wrong kind or unknown (with the error "Wrong PARAM_ID or
    // param type (Must be INT)\n" or "... (Must be FLOAT)\n"); otherwise the
    // id's own result code. The float calls take three values (those an id
    // does not use are ignored, or left as they were).
    int32_t SetParamInt(int32_t id, int32_t value);
    int32_t GetParamInt(int32_t id, int32_t* value);
    int32_t SetParamFloat(int32_t id, float a, float b, float c);
    int32_t GetParamFloat(int32_t id, float* values);

    // The parameter mutex, for the VR-configuration listener that writes
    // the stereo settings.
    VRMutex& ParamMutex() { return m_mutex; }
    VRStereoSettings& Stereo() { return m_stereo; }

    // A camera about to be deleted stops being the current camera.
    void ForgetCamera(const VRCamera* camera);

    // Camera animation from camera files (see VRCameraAnimation).
    VRCameraAnimation cameraAnimation;
    int32_t ReadCameraAnimation(const char* path) { return cameraAnimation.Read(path); }
    int32_t GetCameraFrames(int32_t n) const { return cameraAnimation.Frames(n); }
    // The position and target or rotation of camera n at the frame; see
    // VRCameraAnimation::Sample.
    int32_t GetCameraAnimation(int32_t n, int32_t frame, float* position, float* out) const {
        bool rotation;
        return cameraAnimation.Sample(n, frame, position, out, &rotation);
    }
    // Places the current camera at the frame of camera n, its position
    // clamped into the bounds; a rotation the keys cannot give leaves the
    // camera's matrix as it is. Nothing without tables or for a camera not
    // in the table. 0.
    int32_t SetCameraAnimation(int32_t n, int32_t frame);
    void SetCameraBounds(const float* bounds) { cameraAnimation.SetBounds(bounds); }
    int32_t SetCameraBound(int32_t index, float value) { return cameraAnimation.SetBound(index, value); }
    void ScaleCameraSamples(float sx, float sy, float sz) { cameraAnimation.ScaleSamples(sx, sy, sz); }

private:
    // Copies the stereo settings under the mutex; false (the last copy kept)
    // when it cannot be had.
    bool SnapshotStereo();
    void DrawFpsOverlay();
    void MotionBlur();

    VRStereoSettings m_stereo;     // guarded by m_mutex
    VRStereoSettings m_frameStereo;  // the copy of the running frame
    std::unique_ptr<VRSceneOverlayText> m_overlayText;
    // Frame rate over 100 frames.
    int32_t m_frameCounter = 0;
    bool m_frameClockStarted = false;
    uint32_t m_frameStart = 0;
    uint32_t m_lastFrameEnd = 0;
    bool m_blurWarned = false;
    VRMutex m_mutex;
};
