// The scene's frame in a 64 x 64 viewport of the test window: clearing,
// projections (mono, stereo, tracked), the viewport of a partial begin, the
// fade, motion blur without an accumulation buffer, the frame rate over 100
// frames with a clock the test drives, lights and the parameter calls.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/MillisecondClock.h"
#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/SceneGlobals.h"
#include "scene/VRScene.h"
#include "support/GlWindowFixture.h"

using namespace qemtest;

namespace {

std::vector<std::string> errors;
std::vector<std::string> warnings;
uint32_t clockNow = 0;
std::vector<std::string> overlayTexts;

int CaptureError(const char* text) {
    errors.push_back(text);
    return 0;
}
int CaptureWarning(const char* text) {
    warnings.push_back(text);
    return 0;
}
uint32_t TestClock() { return clockNow; }

class RecordingOverlay : public VRSceneOverlayText {
public:
    void SetText(const char* text) override { m_text = text; }
    void SetPosition(float, float, float) override {}
    void Draw(int32_t) override { overlayTexts.push_back(m_text); }

private:
    std::string m_text;
};

std::vector<float> GlMatrix(GLenum which) {
    std::vector<float> m(16);
    glGetFloatv(which, m.data());
    return m;
}

// The projection matrix that `build` makes from identity.
template <class F>
std::vector<float> Projection(F build) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    build();
    std::vector<float> m = GlMatrix(GL_PROJECTION_MATRIX);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return m;
}

void ExpectMatrixNear(const std::vector<float>& expected, const std::vector<float>& actual) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(expected[i], actual[i], 1e-4 * (1 + std::fabs(expected[i]))) << i;
}

std::vector<int> GlInts(GLenum which, int n) {
    std::vector<int> v(n);
    glGetIntegerv(which, v.data());
    return v;
}

float DepthAt(int x, int y) {
    float depth = -1;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth;
}

class SceneFrame : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        // The scene sets GL state for its frames; the other tests of the
        // window get theirs back.
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glViewport(0, 0, 64, 64);
        errors.clear();
        warnings.clear();
        overlayTexts.clear();
        SetEngineErrorHandler(CaptureError);
        SetEngineWarningHandler(CaptureWarning);
        scene = std::make_unique<VRScene>(60.0f, 0.1f, 1000.0f);
    }
    void TearDown() override {
        scene.reset();
        SceneHooks().createOverlayText = nullptr;
        SetMillisecondSource(nullptr);
        SetEngineErrorHandler(nullptr);
        SetEngineWarningHandler(nullptr);
        SilentFlag = 0;
        if (!IsSkipped()) {
            glPopClientAttrib();
            glPopAttrib();
        }
        GlWindowFixture::TearDown();
    }

    std::unique_ptr<VRScene> scene;
};

}  // namespace

TEST_F(SceneFrame, BeginClearsToTheClearColourWithThePerspectiveOfTheCamera) {
    EXPECT_EQ(scene.get(), g_scene);
    EXPECT_TRUE(errors.empty());
    ClearWindow(1, 0, 0);
    scene->SetClearColor(0, 0, 1);
    scene->SceneBegin(nullptr, 0);
    EXPECT_EQ(ReadPixel(20, 20), (RgbPixel{0, 0, 255}));
    const std::vector<float> expected = Projection([] { gluPerspective(60, 1, 0.1, 1000); });
    ExpectMatrixNear(expected, GlMatrix(GL_PROJECTION_MATRIX));
    ExpectMatrixNear(expected, std::vector<float>(SceneProjectionMatrix, SceneProjectionMatrix + 16));
    EXPECT_EQ(scene->currentCamera, &scene->cameras[0]);
    EXPECT_EQ(scene->SceneEnd(), 0);
    EXPECT_EQ(GlInts(GL_VIEWPORT, 4), (std::vector<int>{0, 0, 64, 64}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneFrame, FlagsChooseTheBuffersCleared) {
    struct Case {
        int32_t flags;
        RgbPixel colour;
        float depth;
    };
    const Case cases[] = {
        {0, {0, 255, 0}, 1.0f},
        {kFrameKeepColour, {255, 0, 0}, 1.0f},
        {kFrameKeepDepth, {0, 255, 0}, 0.5f},
        {kFrameKeepColour | kFrameKeepDepth, {255, 0, 0}, 0.5f},
    };
    scene->SetClearColor(0, 1, 0);
    for (const Case& c : cases) {
        ClearWindow(1, 0, 0);
        glClearDepth(0.5);
        glClear(GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
        scene->SceneBegin(nullptr, c.flags);
        EXPECT_EQ(ReadPixel(5, 5), c.colour) << c.flags;
        EXPECT_FLOAT_EQ(DepthAt(5, 5), c.depth) << c.flags;
        scene->SceneEnd();
    }
}

TEST_F(SceneFrame, RelativeBeginScissorsThePartAndEndRestoresTheViewport) {
    ClearWindow(1, 0, 0);
    scene->SetClearColor(0, 0, 1);
    scene->SceneBeginRel(nullptr, 0.5f, 0.5f, 0.5f, 0.5f, 0);
    EXPECT_EQ(GlInts(GL_VIEWPORT, 4), (std::vector<int>{32, 32, 32, 32}));
    EXPECT_EQ(GlInts(GL_SCISSOR_BOX, 4), (std::vector<int>{32, 32, 32, 32}));
    EXPECT_EQ(ReadPixel(40, 40), (RgbPixel{0, 0, 255}));
    EXPECT_EQ(ReadPixel(20, 20), (RgbPixel{255, 0, 0}));
    scene->SceneEnd();
    EXPECT_EQ(GlInts(GL_VIEWPORT, 4), (std::vector<int>{0, 0, 64, 64}));
    EXPECT_EQ(GlInts(GL_SCISSOR_BOX, 4), (std::vector<int>{0, 0, 64, 64}));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(SceneFrame, NegativeFadeDarkensTheKeptImageAndFadeValuesClamp) {
    ClearWindow(1, 1, 1);
    EXPECT_EQ(scene->SetParamFloat(kParamFade, -0.5f, 0, 0), 2);
    scene->SceneBegin(nullptr, kFrameFade);
    EXPECT_EQ(ReadPixel(10, 10), (RgbPixel{255, 255, 255}));
    scene->SceneEnd();
    const RgbPixel p = ReadPixel(10, 10);
    EXPECT_NEAR(p.r, 127.5, 1);
    EXPECT_NEAR(p.g, 127.5, 1);
    EXPECT_NEAR(p.b, 127.5, 1);

    for (auto [given, stored] : {std::pair{-3.0f, -1.0f}, {7.5f, 1.0f}, {0.25f, 0.25f}, {-1.0f, -1.0f}}) {
        scene->SetParamFloat(kParamFade, given, 0, 0);
        EXPECT_EQ(scene->fadeValue, stored) << given;
    }
}

TEST_F(SceneFrame, MotionBlurWithoutAnAccumulationBufferWarnsOnce) {
    GLint accumBits = 0;
    glGetIntegerv(GL_ACCUM_RED_BITS, &accumBits);
    if (accumBits > 0) GTEST_SKIP() << "the test window has an accumulation buffer";
    EXPECT_EQ(scene->fadeValue, 0.75f);
    for (int frame = 0; frame < 3; ++frame) {
        scene->SceneBegin(nullptr, kFrameFade);
        scene->SceneEnd();
    }
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneFrame, ParametersAnswerTheirResultCodes) {
    struct IntCase {
        int32_t id, value, code;
    };
    for (const IntCase& c : {IntCase{kParamTextureQuality, 1, 1}, IntCase{kParamSilent, 1, 2},
                             IntCase{kParamMaxTextureSize, 512, 3}, IntCase{kParamTrackingMode, 3, 4}}) {
        int32_t read = -7;
        EXPECT_EQ(scene->SetParamInt(c.id, c.value), c.code) << c.id;
        EXPECT_EQ(scene->GetParamInt(c.id, &read), c.code) << c.id;
        EXPECT_EQ(read, c.value) << c.id;
    }
    EXPECT_EQ(TextureQuality, 1);
    EXPECT_EQ(SilentFlag, 1);
    EXPECT_EQ(MaxTextureSize, 512);
    SilentFlag = 0;

    struct FloatCase {
        int32_t id;
        int32_t code;
        int count;  // values read back
    };
    for (const FloatCase& c : {FloatCase{kParamEyeSeparation, 1, 3}, FloatCase{kParamFocalLength, 3, 1},
                               FloatCase{kParamRoundingTolerance, 3, 1}, FloatCase{kParamScreenSize, 4, 2},
                               FloatCase{kParamTrackerPosition, 5, 3}, FloatCase{kParamTrackerOrientation, 6, 3},
                               FloatCase{kParamCamera, 7, 3}}) {
        float read[3] = {-7, -7, -7};
        EXPECT_EQ(scene->SetParamFloat(c.id, 45, 0.5f, 20), c.code) << c.id;
        EXPECT_EQ(scene->GetParamFloat(c.id, read), c.code) << c.id;
        const float given[3] = {45, 0.5f, 20};
        for (int i = 0; i < 3; ++i) EXPECT_EQ(read[i], i < c.count ? given[i] : -7.0f) << c.id << " " << i;
    }
    EXPECT_EQ(scene->cameras[0].fovy, 45);
    EXPECT_EQ(scene->cameras[0].zFar, 20);
    EXPECT_TRUE(errors.empty());

    int32_t i = 0;
    float f[3];
    EXPECT_EQ(scene->SetParamInt(kParamFocalLength, 1), -1);
    EXPECT_EQ(scene->GetParamInt(12345, &i), -1);
    EXPECT_EQ(scene->SetParamFloat(kParamTextureQuality, 1, 0, 0), -1);
    EXPECT_EQ(scene->GetParamFloat(kParamFade, f), -1);
    ASSERT_EQ(errors.size(), 4u);
    const std::string mustBeInt = "Wrong PARAM_ID or param type (Must be INT)\n";
    const std::string mustBeFloat = "Wrong PARAM_ID or param type (Must be FLOAT)\n";
    EXPECT_EQ(errors[0].substr(0, mustBeInt.size()), mustBeInt);
    EXPECT_EQ(errors[1].substr(0, mustBeInt.size()), mustBeInt);
    EXPECT_EQ(errors[2].substr(0, mustBeFloat.size()), mustBeFloat);
    EXPECT_EQ(errors[3].substr(0, mustBeFloat.size()), mustBeFloat);
    TextureRoundingTolerance = 1.0f;
    MaxTextureSize = 1024;
}

TEST_F(SceneFrame, ParameterCallsGiveUpAfterHalfASecondButTheHolderMayCallAgain) {
    int32_t value = 0;
    ASSERT_TRUE(scene->ParamMutex().Lock(std::chrono::milliseconds(0)));
    EXPECT_EQ(scene->GetParamInt(kParamTextureQuality, &value), 1);  // the same thread takes it again
    std::atomic<int32_t> answer{0};
    std::atomic<int64_t> waited{0};
    std::thread other([&] {
        const auto start = std::chrono::steady_clock::now();
        int32_t v = 0;
        answer = scene->GetParamInt(kParamTextureQuality, &v);
        waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                     .count();
    });
    other.join();
    scene->ParamMutex().Unlock();
    EXPECT_EQ(answer, -1);
    EXPECT_GE(waited, 450);
    EXPECT_EQ(scene->SetParamInt(kParamTextureQuality, 2), 1);
}

TEST_F(SceneFrame, CameraActivateChoosesASlotUpToSeven) {
    EXPECT_FALSE(scene->CameraActivate(8));
    EXPECT_EQ(scene->currentCameraIndex, 0);
    EXPECT_TRUE(scene->CameraActivate(3));
    EXPECT_EQ(scene->currentCamera, &scene->cameras[3]);
    VRCamera own;
    scene->SceneBegin(&own, 0);
    EXPECT_EQ(scene->currentCamera, &own);
    scene->SceneEnd();
    EXPECT_EQ(scene->currentCamera, &scene->cameras[3]);
    for (int k = 0; k < kSceneCameras; ++k) EXPECT_EQ(scene->cameras[k].id, k);
}

TEST_F(SceneFrame, StereoFrustaOfTheEyes) {
    const double n = 0.1, f = 1000;
    // Tracking off: the frustum is shifted by half the eye separation at the
    // focal length, one way per eye.
    scene->SetParamFloat(kParamEyeSeparation, 0.2f, 0, 0);
    scene->SetParamFloat(kParamFocalLength, 2.0f, 0, 0);
    const double top = n * std::tan(60 * M_PI / 360);
    for (auto [flags, shift] : {std::pair{int32_t(kFrameStereoFirst), 0.1 * n / 2}, {kFrameStereoSecond, -0.1 * n / 2}}) {
        scene->SceneBegin(nullptr, flags);
        ExpectMatrixNear(Projection([&] { glFrustum(-top + shift, top + shift, -top, top, n, f); }),
                         GlMatrix(GL_PROJECTION_MATRIX));
        scene->SceneEnd();
    }

    // Head tracking: the frustum through the screen as the eye sees it, then
    // the eye and the tracker moved to the origin.
    scene->SetParamInt(kParamTrackingMode, 1);
    scene->SetParamFloat(kParamTrackerPosition, 0.3f, 0.2f, 2.0f);
    scene->SetParamFloat(kParamScreenSize, 2.0f, 1.5f, 0);
    scene->SceneBegin(nullptr, kFrameStereoFirst);
    const double k = n / 2.0, ex = 0.3 - 0.1, ey = 0.2;
    ExpectMatrixNear(Projection([&] {
                         glFrustum(k * (-1 - ex), k * (1 - ex), k * (-0.75 - ey), k * (0.75 - ey), n, f);
                         glTranslatef(0.1f, 0, 0);
                         glTranslatef(-0.3f, -0.2f, -2.0f);
                     }),
                     GlMatrix(GL_PROJECTION_MATRIX));
    scene->SceneEnd();
}

TEST_F(SceneFrame, FrameRateOverAHundredFramesAndTheOverlay) {
    SetMillisecondSource(TestClock);
    SceneHooks().createOverlayText = [] { return static_cast<VRSceneOverlayText*>(new RecordingOverlay); };
    clockNow = 5000;
    // No time passing tells no rate.
    for (int frame = 0; frame < 101; ++frame) {
        scene->SceneBegin(nullptr, 0);
        scene->SceneEnd();
    }
    EXPECT_EQ(scene->fps, -1);
    // The count starts again at the frame that measured: 100 frames later,
    // 700 ms on, the 101st measures.
    for (int frame = 0; frame <= 100; ++frame) {
        if (frame == 100) {
            EXPECT_EQ(scene->fps, -1);
        }
        scene->SceneBegin(nullptr, 0);
        scene->SceneEnd();
        clockNow += 7;
    }
    EXPECT_EQ(scene->fps, 143);  // 100 frames in 700 ms, rounded up

    const std::string longLine(300, 'x');
    EXPECT_EQ(scene->SetOverlayText(longLine.c_str()), longLine.c_str() + 301);
    EXPECT_EQ(scene->SetOverlayText(nullptr), nullptr);
    scene->SceneBegin(nullptr, kFrameFpsOverlay);
    scene->SceneEnd();
    EXPECT_EQ(overlayTexts, (std::vector<std::string>{"Fps: 143", std::string(255, 'x')}));
}

TEST_F(SceneFrame, LightsFollowTheCameraAndOnlyEightExist) {
    scene->cameras[0].SetPosition(0, 0, 10);
    scene->SetLightPosition(6, 1, 2, 3, 0);
    scene->Enable(6);
    scene->SceneBegin(nullptr, 0);
    float position[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    EXPECT_EQ(std::vector<float>(position, position + 4), (std::vector<float>{40, 20, 10, 1}));
    glGetLightfv(GL_LIGHT6, GL_POSITION, position);
    EXPECT_EQ(std::vector<float>(position, position + 4), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT6));
    scene->SceneEnd();
    scene->Disable(6);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT6));

    float out[3] = {9, 9, 9};
    for (int32_t bad : {-1, 8, 1000}) {
        EXPECT_EQ(scene->SetLightPosition(bad, 1, 1, 1, 1), 0);
        EXPECT_EQ(scene->GetLightPosition(bad, out), 0);
        EXPECT_EQ(scene->SetLightParameter(bad, GL_DIFFUSE, 1, 1, 1), 0);
    }
    EXPECT_EQ(out[0], 9);
    scene->Disable(kSceneFrustumCulling);
    EXPECT_EQ(FrustumCullingFlag, 0);
    scene->Enable(kSceneFrustumCulling);
    EXPECT_EQ(FrustumCullingFlag, 1);
    scene->SceneBegin(nullptr, kFrameKeepProjection);
    EXPECT_EQ(FrustumCullingFlag, 0);
    scene->SceneEnd();
    scene->Enable(kSceneFrustumCulling);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneFrame, CapabilitiesComeFromTheExtensionStringOnly) {
    const std::string extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const std::pair<uint32_t, const char*> named[] = {{0x1, "GL_ARB_texture_compression"}, {0x4, "GL_ARB_multitexture"},
                                                      {0x10, "GL_ARB_vertex_shader"}, {0x200, "GL_EXT_framebuffer_object"},
                                                      {0x400, "GL_EXT_Cg_shader"}, {0x1000, "Qem_network_renderer"},
                                                      {0x2000, "GL_ARB_geometry_shader"}};
    for (auto [bit, name] : named)
        EXPECT_EQ((GLExtensionFlags & bit) != 0, extensions.find(name) != std::string::npos) << name;
    EXPECT_TRUE(GLExtensionFlags & 0x80);  // GL 1.2 and later
    // A group is fetched with its extension, and only then.
    EXPECT_EQ(GLEntryPoints.glActiveTextureARB != nullptr, (GLExtensionFlags & 0x4) != 0);
    EXPECT_EQ(GLEntryPoints.glProgramParameteriEXT != nullptr, (GLExtensionFlags & 0x2000) != 0);
    EXPECT_NE(GLEntryPoints.glTexImage3D, nullptr);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_EQ(MaxTextureSize, maxSize);
    EXPECT_EQ(TextureQuality, 2);
    MaxTextureSize = 1024;
}

TEST_F(SceneFrame, NetworkRendererFallbacksDrawTheVertexPair) {
    if (GLExtensionFlags & 0x1000) GTEST_SKIP() << "a network renderer is present";
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererEnable(GL_BLEND), 0);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererDisable(GL_BLEND), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererSlavePluginRun, nullptr);
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererSlavePluginRunAll, nullptr);

    // Two points in the window's corners, given as the first two data.
    ClearWindow(0, 0, 0);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    for (GLenum m : {GL_PROJECTION, GL_MODELVIEW}) {
        glMatrixMode(m);
        glLoadIdentity();
    }
    glColor3f(1, 1, 0);
    const float a[3] = {-0.98f, -0.98f, 0}, b[3] = {0.98f, 0.98f, 0};
    glBegin(GL_POINTS);
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererFunc(0xAAAA, 3, a, 3, b, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr), 0);
    // A pair left out has no vertex to give.
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererFunc(0xAAAA, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                                     0, nullptr),
              0);
    glEnd();
    EXPECT_EQ(NetworkRenderer.QemNetworkRendererFunc(7, 3, a, 3, b, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr), -1);
    while (glGetError() != GL_NO_ERROR) {
    }
    EXPECT_EQ(ReadPixel(0, 0), (RgbPixel{255, 255, 0}));
    EXPECT_EQ(ReadPixel(63, 63), (RgbPixel{255, 255, 0}));
    EXPECT_EQ(ReadPixel(32, 32), (RgbPixel{0, 0, 0}));
}

TEST_F(SceneFrame, TheBackgroundFillsTheFrameInsteadOfTheClearColour) {
    const uint8_t green[2 * 2 * 3] = {0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
    VRTexture* texture = scene->StoreTexture("green", green, 2, 2, 3, kTexNoMipmaps);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(scene->StoreTexture("none", green, 0, 2, 3, 0), nullptr);
    EXPECT_EQ(scene->StoreTexture("huge", green, INT32_MAX, INT32_MAX, INT32_MAX, 0), nullptr);  // no size_t holds it
    scene->background = VRTextureRef(texture);
    scene->SetClearColor(1, 0, 0);
    ClearWindow(0, 0, 1);
    scene->SceneBegin(nullptr, 0);
    EXPECT_EQ(ReadPixel(10, 50), (RgbPixel{0, 255, 0}));
    // Flag 0x20 (clear the stencil buffer) draws no background and clears
    // no colour either.
    ClearWindow(0, 0, 1);
    scene->SceneBegin(nullptr, kFrameClearStencil);
    EXPECT_EQ(ReadPixel(10, 50), (RgbPixel{0, 0, 255}));
    scene->SceneEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const float fogColour[4] = {0.5f, 0.25f, 0, 1};
    scene->EnableFog(10, 100, fogColour);
    float start = 0, end = 0, density = 0, colour[4];
    glGetFloatv(GL_FOG_START, &start);
    glGetFloatv(GL_FOG_END, &end);
    glGetFloatv(GL_FOG_DENSITY, &density);
    glGetFloatv(GL_FOG_COLOR, colour);
    EXPECT_EQ(start, 10);
    EXPECT_EQ(end, 100);
    EXPECT_FLOAT_EQ(density, 0.005f);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>(fogColour, fogColour + 4));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
}

TEST_F(SceneFrame, PacingWaitsOutTheMinimumFrameTime) {
    // Each reading of the clock is one millisecond later.
    SetMillisecondSource([] { return ++clockNow; });
    clockNow = 1000;
    scene->SceneBegin(nullptr, 0);
    scene->SceneEnd();
    const uint32_t firstEnd = clockNow;
    scene->minFrameTime = 20;
    scene->SceneBegin(nullptr, 0);
    scene->SceneEnd();
    // More than 20 ms after the previous frame's end, and not much more.
    EXPECT_GT(clockNow - firstEnd, 20u);
    EXPECT_LT(clockNow - firstEnd, 25u);
}

// Made before any GL context exists, the scene reports the missing context
// once and goes on with no capabilities.
TEST(SceneWithoutContext, ReportsTheMissingContextAndGoesOn) {
    if (glGetString(GL_VENDOR)) GTEST_SKIP() << "a GL context is current in this process";
    errors.clear();
    SetEngineErrorHandler(CaptureError);
    const uint32_t flagsBefore = GLExtensionFlags;
    {
        VRScene scene(60.0f, 0.1f, 1000.0f);
        EXPECT_EQ(g_scene, &scene);
    }
    SetEngineErrorHandler(nullptr);
    EXPECT_EQ(errors, (std::vector<std::string>{"ERROR : No OpenGL context detected!!\n "}));
    EXPECT_EQ(GLExtensionFlags, flagsBefore);
    EXPECT_EQ(g_scene, nullptr);
}
