#include "functions/CVmCameraFunctions.h"

#include <mutex>
#include <ostream>

#include "media/VRAlib.h"
#include "meshes/script/CVmObj.h"
#include "platform/GlContext.h"
#include "platform/Thread.h"
#include "scene/EngineMath.h"
#include "scene/VRScene.h"
#include "scene/script/CVmCamera.h"
#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "vm/VirtualMachine.h"

namespace {

// The network renderer's id for the tracker data of a frame begin.
constexpr int32_t kRendererTrackerData = 0xAAAA;
// Parameter ids of the function set itself (the others are the scene's).
constexpr int32_t kParamSwapInterval = 0x4000;
constexpr int32_t kParamViewport = 0x40000000;
const char* const kWrongParamId = "Wrong PARAM_ID ";

// The name of the script function the scene callback calls, for the whole
// process; the loaders may call it on threads of their own.
std::mutex& CallbackNameLock() {
    static std::mutex lock;
    return lock;
}
std::string& CallbackName() {
    static std::string name;
    return name;
}

// Ids whose values go to the scene's float setter and come back as floats.
bool IsFloatParam(int32_t id) {
    switch (id) {
    case kParamEyeSeparation:
    case kParamFocalLength:
    case kParamRoundingTolerance:
    case kParamScreenSize:
    case kParamTrackerPosition:
    case kParamTrackerOrientation:
    case kParamCamera: return true;
    default: return false;
    }
}

}  // namespace

void CVmCameraFunctions::AddFunctions() {
    using F = CVmCameraFunctions;
    AddFunction("CameraActivate", &F::CameraActivate);
    AddFunction("SetActiveCamera", &F::CameraActivate);
    AddFunction("CameraGetCurrent", &F::CameraGetCurrent);
    AddFunction("CameraSetPosition", &F::CameraSetPosition);
    AddFunction("SetCameraPosition", &F::CameraSetPosition);
    AddFunction("CameraGetPosition", &F::CameraGetPosition);
    AddFunction("GetCameraPosition", &F::CameraGetPosition);
    AddFunction("CameraGetMatrix", &F::CameraGetMatrix);
    AddFunction("GetCameraMatrix", &F::CameraGetMatrix);
    AddFunction("CameraGetRotationMatrix", &F::CameraGetRotationMatrix);
    AddFunction("GetCameraRotationMatrix", &F::CameraGetRotationMatrix);
    AddFunction("CameraGetRotationMatrix3", &F::CameraGetRotationMatrix3);
    AddFunction("CameraSetMatrix", &F::CameraSetMatrix);
    AddFunction("SetCameraMatrix", &F::CameraSetMatrix);
    AddFunction("CameraSetRotation", &F::CameraRotation<&VRCamera::SetRotation>);
    AddFunction("SetCameraRotation", &F::CameraRotation<&VRCamera::SetRotation>);
    AddFunction("CameraRotate", &F::CameraRotation<&VRCamera::RotateGlobal>);
    AddFunction("CameraRotateABS", &F::CameraRotation<&VRCamera::RotateLocal>);
    AddFunction("CameraSetTarget", &F::CameraSetTarget);
    AddFunction("SetCameraTarget", &F::CameraSetTarget);
    AddFunction("CameraGetTarget", &F::CameraGetTarget);
    AddFunction("GetCameraTarget", &F::CameraGetTarget);
    AddFunction("CameraGetDirection", &F::CameraAxis<&VRCamera::GetDirection>);
    AddFunction("GetCameraDirection", &F::CameraAxis<&VRCamera::GetDirection>);
    AddFunction("CameraSetDirection", &F::CameraSetDirection);
    AddFunction("SetCameraDirection", &F::CameraSetDirection);
    AddFunction("CameraFree", &F::CameraFree);
    AddFunction("FreeCamera", &F::CameraFree);
    AddFunction("CameraGetXAxis", &F::CameraAxis<&VRCamera::GetXAxis>);
    AddFunction("GetCameraXAxis", &F::CameraAxis<&VRCamera::GetXAxis>);
    AddFunction("CameraGetYAxis", &F::CameraAxis<&VRCamera::GetYAxis>);
    AddFunction("GetCameraYAxis", &F::CameraAxis<&VRCamera::GetYAxis>);
    AddFunction("CameraGetZAxis", &F::CameraAxis<&VRCamera::GetZAxis>);
    AddFunction("GetCameraZAxis", &F::CameraAxis<&VRCamera::GetZAxis>);
    AddFunction("CameraReadAnimation", &F::CameraReadAnimation);
    AddFunction("ReadCameraAnimation", &F::CameraReadAnimation);
    AddFunction("CameraGetFrames", &F::CameraGetFrames);
    AddFunction("GetCameraFrames", &F::CameraGetFrames);
    AddFunction("CameraSetAnimation", &F::CameraSetAnimation);
    AddFunction("SetCameraAnimation", &F::CameraSetAnimation);
    AddFunction("CameraGetAnimation", &F::CameraGetAnimation);
    AddFunction("GetCameraAnimation", &F::CameraGetAnimation);
    AddFunction("CameraSetBounds", &F::CameraSetBounds);
    AddFunction("SetCameraBounds", &F::CameraSetBounds);
    AddFunction("CameraScaleSamples", &F::CameraScaleSamples);
    AddFunction("ScaleCameraSamples", &F::CameraScaleSamples);
    AddFunction("CameraLinkToListener", &F::CameraLinkToListener);
    AddFunction("SceneBegin", &F::SceneBegin);
    AddFunction("SceneBeginAbs", &F::SceneBeginAbs);
    AddFunction("SceneBeginRel", &F::SceneBeginRel);
    AddFunction("SceneEnd", &F::SceneEnd);
    AddFunction("SceneEnable", &F::SceneEnable);
    AddFunction("SceneDisable", &F::SceneDisable);
    AddFunction("SceneEnableFog", &F::SceneEnableFog);
    AddFunction("SceneSetParam", &F::SceneSetParam);
    AddFunction("SceneGetParam", &F::SceneGetParam);
    AddFunction("SceneSetCallback", &F::SceneSetCallback);
}

// ---------------------------------------------------------------------------
// Shared parameter forms

VRCamera* CVmCameraFunctions::RequireCamera() {
    VRScene* scene = RequireScene();
    return scene ? scene->currentCamera : nullptr;
}

void CVmCameraFunctions::ReadPoint(int32_t k, float* point) {
    VmVectorParam v;
    if (ReadParam(k, v, false)) {
        for (int32_t i = 0; i < 3; ++i) point[i] = v[i];
        return;
    }
    for (int32_t i = 0; i < 3; ++i) point[i] = GetParamFloat(k + i, false);
}

int32_t* CVmCameraFunctions::InSceneFlag() { return g_engineState ? &g_engineState->Scene().inScene : nullptr; }

// ---------------------------------------------------------------------------
// Cameras

void CVmCameraFunctions::CameraActivate(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    const int32_t n = GetParamInt(1, false);
    if (n < 0 || !scene->CameraActivate(static_cast<uint32_t>(n))) VmErrorMsg(2026);
}

void CVmCameraFunctions::CameraGetCurrent(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    // The frame's script camera is answered as itself: a view of it could
    // outlive the object that owns the camera.
    if (m_frameCameraObject && scene->currentCamera == m_frameCamera) return ReturnObject(m_frameCameraObject);
    ReturnObject(new CVmCamera(scene->currentCamera));
}

void CVmCameraFunctions::CameraSetPosition(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float p[3];
    ReadPoint(1, p);
    camera->SetPosition(p[0], p[1], p[2]);
}

void CVmCameraFunctions::CameraGetPosition(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float p[3];
    VmReturnVector(camera->GetPosition(p), 3);
}

void CVmCameraFunctions::CameraGetMatrix(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float m[16];
    camera->GetMatrix(m);
    VmReturnVector(m, 16);
}

void CVmCameraFunctions::CameraGetRotationMatrix(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float m[16];
    camera->GetRotationMatrix(m);
    VmReturnVector(m, 16);
}

void CVmCameraFunctions::CameraGetRotationMatrix3(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float m[9];
    camera->GetRotationMatrix3(m);
    VmReturnVector(m, 9);
}

void CVmCameraFunctions::CameraSetMatrix(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    VmVectorParam v;
    if (!ReadParam(1, v, false)) return VmErrorMsg(2012, 1);
    float m[16];
    for (int32_t i = 0; i < 16; ++i) m[i] = v[i];
    camera->SetMatrix(m);
}

template <void (VRCamera::*Rotate)(float, float, float, float)>
void CVmCameraFunctions::CameraRotation(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    const float angle = GetParamFloat(1, false);
    float axis[3];
    ReadPoint(2, axis);
    (camera->*Rotate)(angle, axis[0], axis[1], axis[2]);
}

void CVmCameraFunctions::CameraSetTarget(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    if (ArgCount() == 0) return camera->Free();
    float t[3];
    // A scene node's position; no other Object is a target.
    if (CVmValue* p = GetParam(1); p && p->type == VmValueType::Object) {
        auto* node = dynamic_cast<CVmObj*>(p->asObject);
        if (!node) return VmErrorMsg(2014, 1, CVmObj::kClassName);
        node->Node().GetPosition(t);
    } else {
        ReadPoint(1, t);
    }
    camera->SetTarget(t[0], t[1], t[2]);
}

void CVmCameraFunctions::CameraGetTarget(CVmClassBase*, int) {
    if (VRCamera* camera = RequireCamera()) VmReturnVector(camera->target, 3);
}

template <void (VRCamera::*Get)(float*) const>
void CVmCameraFunctions::CameraAxis(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float v[3];
    (camera->*Get)(v);
    VmReturnVector(v, 3);
}

void CVmCameraFunctions::CameraSetDirection(CVmClassBase*, int) {
    VRCamera* camera = RequireCamera();
    if (!camera) return;
    float d[3];
    ReadPoint(1, d);
    camera->SetDirection(d[0], d[1], d[2]);
}

void CVmCameraFunctions::CameraFree(CVmClassBase*, int) {
    if (VRCamera* camera = RequireCamera()) camera->Free();
}

// ---------------------------------------------------------------------------
// Camera animation

void CVmCameraFunctions::CameraReadAnimation(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    std::string name;
    if (!ReadParam(1, name, false)) return VmErrorMsg(2013, 1);
    const std::string path = (g_engineState ? g_engineState->Paths().workingFolder : std::string()) + name;
    if (scene->ReadCameraAnimation(path.c_str()) < 0) VmErrorMsg(2032, name.c_str());
}

void CVmCameraFunctions::CameraGetFrames(CVmClassBase*, int) {
    if (VRScene* scene = RequireScene()) VmReturnInteger(scene->GetCameraFrames(GetParamInt(1, false)));
}

void CVmCameraFunctions::CameraSetAnimation(CVmClassBase*, int) {
    if (VRScene* scene = RequireScene()) scene->SetCameraAnimation(GetParamInt(1, false), GetParamInt(2, false));
}

// Parameters 3 and 4 are output parameters: the position, and the target
// (answer 0) or the rotation matrix (answer 1).
void CVmCameraFunctions::CameraGetAnimation(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    float position[3] = {0, 0, 0};
    float out[16];
    MatrixIdentity4(out);
    const int32_t answer = scene->GetCameraAnimation(GetParamInt(1, false), GetParamInt(2, false), position, out);
    // A failed sample wrote no position: the variable keeps its value.
    if (answer >= 0 && ArgCount() >= 3) GetParam(3)->SetVector(position, 3);
    if (ArgCount() >= 4) {
        if (answer == 0) GetParam(4)->SetVector(out, 3);
        if (answer == 1) GetParam(4)->SetVector(out, 16);
    }
    VmReturnInteger(answer);
}

void CVmCameraFunctions::CameraSetBounds(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    VmVectorParam v;
    if (ReadParam(1, v, false)) {
        if (v.Count() < 6) return VmErrorMsg(2027, 1, 6);
        return scene->SetCameraBounds(v.Data());
    }
    scene->SetCameraBound(GetParamInt(1, false), GetParamFloat(2, false));
}

void CVmCameraFunctions::CameraScaleSamples(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    float s[3];
    ReadPoint(1, s);
    scene->ScaleCameraSamples(s[0], s[1], s[2]);
}

// Scene begins move the listener while the flag is set (MoveListener).
void CVmCameraFunctions::CameraLinkToListener(CVmClassBase*, int) {
    const bool link = ArgCount() >= 1 ? GetParamBool(1, false) : true;
    if (g_engineState) g_engineState->Scene().listenerLink = link ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Frame begin and end

bool CVmCameraFunctions::FrameCamera(VRCamera*& camera, int32_t& first) {
    camera = nullptr;
    first = 1;
    CVmCamera* object = nullptr;
    if (CVmValue* p = GetParam(1); p && p->type == VmValueType::Object) {
        object = dynamic_cast<CVmCamera*>(p->asObject);
        if (!object) {
            VmErrorMsg(2014, 1, CVmCamera::kClassName);
            return false;
        }
        camera = object->Camera();
        first = 2;
    }
    m_frameCameraObject = object;
    m_frameCamera = camera;
    if (int32_t* flag = InSceneFlag()) *flag = 1;
    return true;
}

// Before the first sound the listener stays where it is: no back end runs
// to take it.
void CVmCameraFunctions::MoveListener(VRScene& scene, const VRCamera* camera) {
    if (!g_engineState || !g_engineState->Scene().listenerLink || !AudioRunning()) return;
    if (!camera) camera = scene.currentCamera;
    if (!camera) return;
    float position[3], orientation[6];
    camera->GetPosition(position);
    camera->GetDirection(orientation);
    camera->GetYAxis(orientation + 3);
    if (AudioSetVector(kAudioListener, "Position", position) != kAudioOk ||
        AudioSetVector(kAudioListener, "Orientation", orientation) != kAudioOk)
        VmErrorStream();
}

void CVmCameraFunctions::SceneBegin(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    VRCamera* camera;
    int32_t k;
    if (!scene || !FrameCamera(camera, k)) return;
    scene->SceneBegin(camera, GetParamInt(k, false));
    MoveListener(*scene, camera);
    // The network renderer takes the tracker's pose with every frame.
    int32_t tracking = 0;
    if (scene->GetParamInt(kParamTrackingMode, &tracking) >= 0 && tracking > 0) {
        float position[3] = {0, 0, 0}, orientation[3] = {0, 0, 0};
        scene->GetParamFloat(kParamTrackerPosition, position);
        scene->GetParamFloat(kParamTrackerOrientation, orientation);
        NetworkRenderer.QemNetworkRendererFunc(kRendererTrackerData, 3, position, 3, orientation, 0, nullptr, 0,
                                               nullptr, 0, nullptr, 0, nullptr);
    }
}

void CVmCameraFunctions::SceneBeginAbs(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    VRCamera* camera;
    int32_t k;
    if (!scene || !FrameCamera(camera, k)) return;
    MoveListener(*scene, camera);
    scene->SceneBeginAbs(camera, GetParamInt(k, false), GetParamInt(k + 1, false), GetParamInt(k + 2, false),
                         GetParamInt(k + 3, false), GetParamInt(k + 4, false));
}

void CVmCameraFunctions::SceneBeginRel(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    VRCamera* camera;
    int32_t k;
    if (!scene || !FrameCamera(camera, k)) return;
    MoveListener(*scene, camera);
    scene->SceneBeginRel(camera, GetParamFloat(k, false), GetParamFloat(k + 1, false), GetParamFloat(k + 2, false),
                         GetParamFloat(k + 3, false), GetParamInt(k + 4, false));
}

void CVmCameraFunctions::SceneEnd(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    if (int32_t* flag = InSceneFlag()) *flag = 0;
    scene->SceneEnd();
}

void CVmCameraFunctions::SceneEnable(CVmClassBase*, int) {
    if (VRScene* scene = RequireScene()) scene->Enable(GetParamInt(1, false));
}

void CVmCameraFunctions::SceneDisable(CVmClassBase*, int) {
    if (VRScene* scene = RequireScene()) scene->Disable(GetParamInt(1, false));
}

void CVmCameraFunctions::SceneEnableFog(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    float start, end;
    VmVectorParam colour;
    if (!ReadParams(start, end, colour)) return;
    const float c[4] = {colour[0], colour[1], colour[2], colour[3]};
    scene->EnableFog(start, end, c);
}

// ---------------------------------------------------------------------------
// Scene parameters

void CVmCameraFunctions::SceneSetParam(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    const int32_t id = GetParamInt(1, false);
    const int32_t value = GetParamInt(2, false);
    const float a = GetParamFloat(2, false), b = GetParamFloat(3, false), c = GetParamFloat(4, false);
    if (id == kParamSwapInterval) {
        SetGlSwapInterval(value);
        return;
    }
    if (id == kParamFade)
        scene->SetParamFloat(id, a, 0, 0);
    else if (IsFloatParam(id))
        scene->SetParamFloat(id, a, b, c);
    else
        scene->SetParamInt(id, value);
    if (id == kParamTrackingMode && g_engineState && g_engineState->Services())
        g_engineState->Services()->StartVRConfigListener();
}

void CVmCameraFunctions::SceneGetParam(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    const int32_t id = GetParamInt(1, false);
    int32_t n = 0;
    float v[3] = {0, 0, 0};
    switch (id) {
    case kParamTextureQuality:
    case kParamSilent:
    case kParamMaxTextureSize:
    case kParamTrackingMode:
        if (scene->GetParamInt(id, &n) >= 0) VmReturnInteger(n);
        return;
    case kParamEyeSeparation:
    case kParamFocalLength:
    case kParamRoundingTolerance:
        if (scene->GetParamFloat(id, v) >= 0) VmReturnReal(v[0]);
        return;
    case kParamScreenSize:
        if (scene->GetParamFloat(id, v) >= 0) VmReturnVector(v, 2);
        return;
    case kParamTrackerPosition:
    case kParamTrackerOrientation:
    case kParamCamera:
        if (scene->GetParamFloat(id, v) >= 0) VmReturnVector(v, 3);
        return;
    case kParamViewport: {
        const float viewport[4] = {float(scene->savedViewport[0]), float(scene->savedViewport[1]),
                                   float(scene->savedViewport[2]), float(scene->savedViewport[3])};
        VmReturnVector(viewport, 4);
        return;
    }
    default: WarningStream() << kWrongParamId;
    }
}

// ---------------------------------------------------------------------------
// The scene callback

void CVmCameraFunctions::SceneSetCallback(CVmClassBase*, int) {
    VRScene* scene = RequireScene();
    if (!scene) return;
    // The trampoline goes in first: a call without a name still replaces
    // the callback.
    scene->SetCallback(&CVmCameraFunctions::SceneCallbackTrampoline);
    std::string name;
    if (!ReadParam(1, name, false)) return VmErrorMsg(2013, 1);
    std::lock_guard<std::mutex> lock(CallbackNameLock());
    CallbackName() = name;
}

void CVmCameraFunctions::SceneCallbackTrampoline(int32_t code, int32_t percent) {
    // A loader thread has no machine: its progress reaches no script.
    CVirtualMachine* vm = GetVirtualMachine(CurrentThreadId());
    if (!vm) return;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(CallbackNameLock());
        name = CallbackName();
    }
    vm->AddArgInteger(code);
    vm->AddArgInteger(percent);
    vm->CallFunctionByName(name.c_str());
}
