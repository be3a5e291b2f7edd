#include "functions/FunctionTable.h"

#include "state/EngineState.h"
#include "scene/SharedTextureManager.h"
#include "vm/VirtualMachine.h"

namespace {
constexpr FunctionGroup File = FunctionGroup::File, Console = FunctionGroup::Console, Camera = FunctionGroup::Camera,
                        Network = FunctionGroup::Network, Math = FunctionGroup::Math, Object = FunctionGroup::Object,
                        InputOutput = FunctionGroup::InputOutput, Device = FunctionGroup::Device,
                        String = FunctionGroup::String;
}  // namespace

// The registration order of the global functions. A group's names need not
// be together: the table interleaves them as the set always registered them.
const FunctionRow kFunctionTable[kFunctionCount] = {
    {"EraseCache", File}, {"FileDownload", File}, {"FileExist", File}, {"FileRead", File}, {"GetScriptDir", File},
    {"GetScriptUrl", File}, {"LoadCookie", File}, {"LoadFile", File}, {"LoadModule", File}, {"PendingDownload", File},
    {"ProgressDownload", File}, {"SaveCookie", File}, {"SetLocalDir", File}, {"SetCurrentDir", File},
    {"GetCurrentDir", File},
    {"ConsoleColor", Console}, {"ConsoleFilledRect", Console}, {"ConsoleFont", Console}, {"ConsoleFinish", Console},
    {"ConsoleLines", Console}, {"ConsoleRect", Console}, {"ConsoleText", Console}, {"ConsoleWidth", Console},
    {"CameraActivate", Camera}, {"CameraFree", Camera}, {"CameraGetAnimation", Camera}, {"CameraGetCurrent", Camera},
    {"CameraGetDirection", Camera}, {"CameraGetFrames", Camera}, {"CameraGetMatrix", Camera},
    {"CameraGetPosition", Camera}, {"CameraGetRotationMatrix", Camera}, {"CameraGetRotationMatrix3", Camera},
    {"CameraGetTarget", Camera}, {"CameraGetXAxis", Camera}, {"CameraGetYAxis", Camera}, {"CameraGetZAxis", Camera},
    {"CameraLinkToListener", Camera}, {"CameraReadAnimation", Camera}, {"CameraRotate", Camera},
    {"CameraRotateABS", Camera}, {"CameraScaleSamples", Camera}, {"CameraSetAnimation", Camera},
    {"CameraSetBounds", Camera}, {"CameraSetDirection", Camera}, {"CameraSetMatrix", Camera},
    {"CameraSetPosition", Camera}, {"CameraSetRotation", Camera}, {"CameraSetTarget", Camera}, {"FreeCamera", Camera},
    {"GetCameraAnimation", Camera}, {"GetCameraDirection", Camera}, {"GetCameraFrames", Camera},
    {"GetCameraMatrix", Camera}, {"GetCameraPosition", Camera}, {"GetCameraRotationMatrix", Camera},
    {"GetCameraTarget", Camera}, {"GetCameraXAxis", Camera}, {"GetCameraYAxis", Camera}, {"GetCameraZAxis", Camera},
    {"ReadCameraAnimation", Camera}, {"ScaleCameraSamples", Camera}, {"SetActiveCamera", Camera},
    {"SetCameraAnimation", Camera}, {"SetCameraBounds", Camera}, {"SetCameraDirection", Camera},
    {"SetCameraMatrix", Camera}, {"SetCameraPosition", Camera}, {"SetCameraRotation", Camera},
    {"SetCameraTarget", Camera}, {"SceneBegin", Camera}, {"SceneBeginAbs", Camera}, {"SceneBeginRel", Camera},
    {"SceneDisable", Camera}, {"SceneEnable", Camera}, {"SceneEnableFog", Camera}, {"SceneEnd", Camera},
    {"SceneGetParam", Camera}, {"SceneSetCallback", Camera}, {"SceneSetParam", Camera},
    {"NetAcceptTCP", Network}, {"NetClose", Network}, {"NetConnectTCP", Network}, {"NetCreateChannel", Network},
    {"NetCreateChannelTCP", Network}, {"NetDataReady", Network}, {"NetGetIP", Network}, {"NetReceiveFrom", Network},
    {"NetReceiveFromTCP", Network}, {"NetSendTo", Network}, {"NetSendToTCP", Network}, {"NetSetMulticastIP", Network},
    {"NetVarReceiveFrom", Network}, {"NetVarReceiveFromTCP", Network}, {"NetVarSendTo", Network},
    {"NetVarSendToTCP", Network},
    {"Atan2", Math}, {"Ceil", Math}, {"Floor", Math}, {"Norm", Math}, {"Rand", Math}, {"VectorRotate", Math},
    {"MatrixIdentity_4", Math}, {"MatrixIdentity_3", Math}, {"MatrixDet_4", Math}, {"MatrixDet_3", Math},
    {"MatrixInverse_3", Math}, {"MatrixInverse_4", Math}, {"MatrixTranspose_4", Math}, {"MatrixTranspose_3", Math},
    {"MatrixInverseTranspose_4", Math}, {"MatrixInverseTranspose_3", Math}, {"MatrixSum_4", Math},
    {"MatrixSum_3", Math}, {"MatrixMultiplyMatrix_4", Math}, {"MatrixMultiplyMatrix_3", Math},
    {"MatrixMultiplyVector_4", Math}, {"MatrixMultiplyVector_3", Math}, {"AxisAngleToQuaternion", Math},
    {"QuaternionToAxisAngle", Math}, {"AngleAxisToQuaternion", Math}, {"QuaternionToAngleAxis", Math},
    {"Matrix3ToQuaternion", Math}, {"QuaternionToMatrix3", Math}, {"EulerToQuaternion", Math},
    {"QuaternionToEuler", Math}, {"QuaternionSum", Math}, {"QuaternionDiff", Math}, {"QuaternionProduct", Math},
    {"QuaternionSlerp", Math}, {"InvertMatrix", Math},
    {"SetActiveTexture", Object}, {"StoreTexture", Object},
    {"DataIn", InputOutput}, {"DataOut", InputOutput}, {"Keyboard", InputOutput}, {"KeyPressed", InputOutput},
    {"Output", InputOutput}, {"OutputLN", InputOutput},
    {"ReadComm", Device}, {"WriteComm", Device}, {"SetCommParameters", Device},
    {"GetTime", InputOutput}, {"GetDate", InputOutput}, {"Sleep", InputOutput}, {"GetPerformanceTimer", InputOutput},
    {"ResetPerformanceTimer", InputOutput},
    {"Sscanf", String}, {"Split", String}, {"Sprintf", String}, {"PackVector", String}, {"UnpackVector", String},
    {"VarStringDecode", String}, {"VarStringEncode", String},
    {"GetTrackerPos", Device}, {"GetTrackerRot", Device}, {"GetTrackerJoy", Device}, {"GetTrackerButton", Device},
    {"GetTrackerQuaternion", Device}, {"SetTrackerPos", Device}, {"SetTrackerRot", Device}, {"SetTrackerJoy", Device},
    {"SetTrackerButton", Device}, {"SetTrackerQuaternion", Device},
    {"Event", InputOutput}, {"EventPost", InputOutput}, {"EventSend", InputOutput},
    {"GetAamType", Object},
    {"LoadBackground", Console}, {"SetAmbientLight", Console}, {"SetAudio3DParam", Console},
    {"SetClearColor", Console}, {"SetCursorPos", Console}, {"SetCursorShape", Console}, {"SetFadeValue", Console},
    {"SetFrameRate", Console}, {"SetScreenRatio", Console}, {"SetScreenResolution", Console},
    {"SetTimeStep", Console}, {"ShowCursor", Console},
    {"HasFocus", InputOutput},
    {"SwapBuffers", Console},
    {"Quit", InputOutput},
    {"ToFloat", Math},
    {"LoadMesh", Object}, {"LoadNewMesh", Object}, {"LoadTexture", Object}, {"NewAWav", Object},
    {"NewBillBoard", Object}, {"NewCurve", Object}, {"NewHtmlPage", Object}, {"NewLight", Object},
    {"NewMaterial", Object}, {"NewObject", Object}, {"NewText", Object}, {"NewShader", Object},
    {"CreateEmptyTexture", Object}, {"NewMouse", Object}, {"NewJoystick", Object}, {"NewMMAvi", Object},
    {"NewMMMidi", Object}, {"NewMMMp3", Object},
    {"GetEngineInfo", Device}, {"ShellExec", Device}, {"ShowApp", Device}, {"HideApp", Device}, {"CloseApp", Device},
    {"SetAppPosition", Device},
    {"DefaultDir", File},
    {"SetScene", Device},
    {"SetFade", Console},
    {"SetBezierCurve", Math}, {"GetBezierPoint", Math},
    {"QemNetworkRendererEnable", Device}, {"QemNetworkRendererDisable", Device}, {"QemNetworkRendererFunc", Device},
    {"QemNetworkRendererSlavePluginRun", Device}, {"QemNetworkRendererSlavePluginRunAll", Device},
    {"QemGetLoggingCallback", Device},
};

bool CVmFunctionGroup::RegisterMethods(int32_t n) {
    CVmRegisterFunction::RegisterMethods(n);
    AddFunctions();
    // A name the group already added keeps its handler (the first wins).
    for (const FunctionRow& row : kFunctionTable)
        if (row.group == m_group) AddFunction(row.name, &CVmFunctionGroup::NotBuilt);
    return true;
}

void CVmFunctionGroup::NotBuilt(CVmClassBase*, int) { VmErrorStream() << "This function is not available yet."; }

namespace {
constexpr const char* kNoScene = "The scene is not created yet.";
}

VRScene* CVmFunctionGroup::RequireScene() {
    VRScene* scene = g_engineState ? g_engineState->Scene().scene : nullptr;
    if (!scene) VmErrorStream() << kNoScene;
    return scene;
}

EngineState* CVmFunctionGroup::RequireEngine() {
    if (!g_engineState) VmErrorStream() << "The engine is not running.";
    return g_engineState;
}

VRTextureManager* CVmFunctionGroup::RequireTextureManager() {
    // Made at first use, on the thread that has the GL context.
    VRTextureManager* manager = SharedTextureManager();
    if (!manager) VmErrorStream() << kNoScene;
    return manager;
}
