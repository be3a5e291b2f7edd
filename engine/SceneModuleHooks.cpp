// The module's hooks of the scene: the scene singleton made at the first
// frame and kept in the machine, its begin and end around OnInit, and the
// settings the module gives it; what the scene makes and ends with it (the
// mesh loader, the network manager); the frame's poll of the joysticks; and
// the sound library's settings.
#include <GL/gl.h>

#include "engine/EngineMachine.h"
#include "engine/ModuleHooks.h"
#include "media/JoystickTable.h"
#include "media/VRAlib.h"
#include "media/VRNetManager.h"
#include "meshes/MeshLoader.h"
#include "scene/VRScene.h"

namespace {

// The scene reads and sets GL state from its construction on: a module
// without a current context (one that draws nowhere) makes none, and the
// scene's users find no scene.
void CreateScene(CVRMachine& machine, float fov, float nearPlane, float farPlane) {
    if (machine.Scene().scene || !glGetString(GL_VERSION)) return;
    machine.Scene().scene = new VRScene(fov, nearPlane, farPlane);
}

void DestroyScene(CVRMachine& machine) {
    // The listener writes into the scene's stereo settings.
    machine.ConfigListener().Stop();
    delete machine.Scene().scene;
    machine.Scene().scene = nullptr;
}

void SceneBegin(CVRMachine& machine) {
    if (VRScene* scene = machine.Scene().scene) scene->SceneBegin(nullptr, 0);
}

void SceneEnd(CVRMachine& machine) {
    if (VRScene* scene = machine.Scene().scene) scene->SceneEnd();
}

void SetSceneParamInt(CVRMachine& machine, int32_t param, int32_t value) {
    if (VRScene* scene = machine.Scene().scene) scene->SetParamInt(param, value);
}

void SetClearColor(CVRMachine& machine, float r, float g, float b) {
    if (VRScene* scene = machine.Scene().scene) scene->SetClearColor(r, g, b);
}

// At load the window and the three modes; at the first frame the slot
// tables first (S, then N), then the window and the modes again.
void AudioSettings(const ModuleAudioSettings& settings, bool firstFrame) {
    if (firstFrame) {
        AudioSetStreamingCount(settings.streamingBuffers);
        AudioAllocSlots();
        AudioSetSourceCount(settings.buffers);
    }
    VRAlibSetWindow(settings.window);
    AudioSetModes(settings.mode, settings.eax, settings.openAL);
}

}  // namespace

void InstallSceneHooks(ModuleHooks& hooks) {
    hooks.createScene = CreateScene;
    hooks.destroyScene = DestroyScene;
    hooks.sceneBegin = SceneBegin;
    hooks.sceneEnd = SceneEnd;
    hooks.setSceneParamInt = SetSceneParamInt;
    hooks.setClearColor = SetClearColor;
    hooks.pollJoysticks = JoystickPollAll;
    hooks.audioSettings = AudioSettings;
    VRSceneHooks& scene = SceneHooks();
    scene.createMeshLoader = CreateMeshLoader;
    scene.deleteMeshLoader = DeleteMeshLoader;
    scene.createNetManager = CreateNetManager;
    scene.deleteNetManager = DeleteNetManager;
}
