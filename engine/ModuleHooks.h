// What the engine module asks of the scene library (the scene singleton and
// its begin and end) and of the media library (audio settings, joysticks,
// the multimedia worker). Those libraries put their functions here; a hook
// left empty does nothing.
#pragma once

#include <cstdint>
#include <string>

class CVRMachine;

struct ModuleAudioSettings {
    int32_t mode = 1;
    int32_t eax = 0;
    int32_t openAL = 0;
    int32_t buffers = 32;
    int32_t streamingBuffers = 0;
    intptr_t window = 0;  // the engine window
};

// The commands the module posts to the multimedia worker.
enum MultimediaCommand : int32_t {
    kMultimediaStart = 1,      // a: the window
    kMultimediaSetFolder = 3,  // text: the folder
    kMultimediaNotify = 7,     // a, b: a media notification's wParam and lParam
};

// The scene's integer parameter that keeps the engine library's default
// error and warning handlers quiet.
constexpr int32_t kSceneParamSilent = 128;

struct ModuleHooks {
    // The scene singleton: created at the first frame with the field of
    // view, near and far planes, and stored in the machine.
    void (*createScene)(CVRMachine& machine, float fov, float nearPlane, float farPlane) = nullptr;
    void (*destroyScene)(CVRMachine& machine) = nullptr;
    void (*sceneBegin)(CVRMachine& machine) = nullptr;
    void (*sceneEnd)(CVRMachine& machine) = nullptr;
    void (*setSceneParamInt)(CVRMachine& machine, int32_t param, int32_t value) = nullptr;
    void (*setClearColor)(CVRMachine& machine, float r, float g, float b) = nullptr;
    // Audio library settings: at load, only mode, EAX and OpenAL; at the
    // first frame, all of them.
    void (*audioSettings)(const ModuleAudioSettings& settings, bool firstFrame) = nullptr;
    void (*pollJoysticks)() = nullptr;
    // A command to the multimedia worker (MultimediaCommand).
    void (*postMultimedia)(int32_t command, intptr_t a, intptr_t b, const std::string& text) = nullptr;
};

ModuleHooks& EngineModuleHooks();

// Fills the scene's hooks (the engine's own; EngineModuleHooks starts with
// them), the scene's own hooks of the network manager, the joysticks' poll
// and the sound library's settings.
void InstallSceneHooks(ModuleHooks& hooks);
