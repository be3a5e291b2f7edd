// The global functions of the cameras and the scene: the camera functions act
// on the scene's current camera; the scene begins and SceneEnd keep the
// engine machine's in-scene flag; scene parameters are dispatched by id; the
// scene callback reaches a script function by name.
#pragma once


#include "functions/FunctionTable.h"

class CVmCamera;
class VRCamera;

class CVmCameraFunctions : public CVmFunctionGroup {
public:
    CVmCameraFunctions() : CVmFunctionGroup(FunctionGroup::Camera) {}

    // What the scene callback does: calls the script function named by the
    // last SceneSetCallback with (code, percent) on the machine registered
    // for the calling thread; nothing without one.
    static void SceneCallbackTrampoline(int32_t code, int32_t percent);

protected:
    void AddFunctions() override;

private:
    // Cameras.
    void CameraActivate(CVmClassBase* object, int mode);
    void CameraGetCurrent(CVmClassBase* object, int mode);
    void CameraSetPosition(CVmClassBase* object, int mode);
    void CameraGetPosition(CVmClassBase* object, int mode);
    void CameraGetMatrix(CVmClassBase* object, int mode);
    void CameraGetRotationMatrix(CVmClassBase* object, int mode);
    void CameraGetRotationMatrix3(CVmClassBase* object, int mode);
    void CameraSetMatrix(CVmClassBase* object, int mode);
    // SetRotation, RotateGlobal, RotateLocal: an angle and an axis.
    template <void (VRCamera::*Rotate)(float, float, float, float)>
    void CameraRotation(CVmClassBase* object, int mode);
    void CameraSetTarget(CVmClassBase* object, int mode);
    void CameraGetTarget(CVmClassBase* object, int mode);
    // GetDirection and the three axes.
    template <void (VRCamera::*Get)(float*) const>
    void CameraAxis(CVmClassBase* object, int mode);
    void CameraSetDirection(CVmClassBase* object, int mode);
    void CameraFree(CVmClassBase* object, int mode);
    void CameraReadAnimation(CVmClassBase* object, int mode);
    void CameraGetFrames(CVmClassBase* object, int mode);
    void CameraSetAnimation(CVmClassBase* object, int mode);
    void CameraGetAnimation(CVmClassBase* object, int mode);
    void CameraSetBounds(CVmClassBase* object, int mode);
    void CameraScaleSamples(CVmClassBase* object, int mode);
    void CameraLinkToListener(CVmClassBase* object, int mode);

    // The scene.
    void SceneBegin(CVmClassBase* object, int mode);
    void SceneBeginAbs(CVmClassBase* object, int mode);
    void SceneBeginRel(CVmClassBase* object, int mode);
    void SceneEnd(CVmClassBase* object, int mode);
    void SceneEnable(CVmClassBase* object, int mode);
    void SceneDisable(CVmClassBase* object, int mode);
    void SceneEnableFog(CVmClassBase* object, int mode);
    void SceneSetParam(CVmClassBase* object, int mode);
    void SceneGetParam(CVmClassBase* object, int mode);
    void SceneSetCallback(CVmClassBase* object, int mode);

    // The scene's current camera; null (with the scene's error) without a
    // scene.
    static VRCamera* RequireCamera();
    // A point at parameter k: a Vector's first three components (0 for those
    // it lacks), or the numbers at k, k + 1 and k + 2 (0 for a missing one).
    void ReadPoint(int32_t k, float* point);
    // The camera of a frame begin: the CVmCamera at parameter 1 (the other
    // parameters then start at 2) or null for the current slot's (they start
    // at 1). Remembers the script camera and sets the in-scene flag; false,
    // with error 2014 and nothing changed, for an Object of another class.
    bool FrameCamera(VRCamera*& camera, int32_t& first);
    // The machine's in-scene and listener flags (none without an engine).
    static int32_t* InSceneFlag();
    // While the camera carries the audio listener and a sound back end runs:
    // the listener takes the frame camera's (or the current camera's)
    // position, its view direction as front and its Y axis as top. A refusal
    // is a script error without text.
    static void MoveListener(VRScene& scene, const VRCamera* camera);

    // The script camera of the running frame begin and the camera it shows:
    // CameraGetCurrent answers the object itself while the scene draws with
    // its camera, so the object outlives every view of it.
    CVmCamera* m_frameCameraObject = nullptr;
    const VRCamera* m_frameCamera = nullptr;
};
