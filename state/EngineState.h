// The state that the engine machine shares with the engine module and with
// its script classes and global functions, one object per subsystem. It sits
// below the script classes and knows nothing of the machine, so a binding
// reaches it (through g_engineState) without seeing the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "state/TrackerSensor.h"

class CConsole;
class MachineServices;
class VRScene;

// The window and what is drawn over the scene.
struct DisplayState {
    int window = 0;
    int renderWindow = 0;  // set by the module
    uint32_t windowThread = 0;  // the thread that draws the window
    unsigned long nativeWindow = 0;  // its id on the display, 0 when unknown
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    uint8_t stereo = 0;     // the window's context has quad-buffer stereo
    float fadeValue = 1.0f;  // 1: no fade
    CConsole* console = nullptr;  // the overlay drawn after each frame
    // The cursor the window shows: an entry of the cursor table (0, the
    // arrow, to 14), hidden while the display count is below 0.
    std::atomic<int32_t> cursor{0};
    std::atomic<int32_t> cursorDisplayCount{0};
};

// The scene singleton and what the scene classes share.
struct SceneState {
    static constexpr int kPoolLights = 7;

    VRScene* scene = nullptr;  // null until the first frame
    int32_t inScene = 0;       // between a scene's begin and end
    uint8_t lightInUse[kPoolLights] = {};
    int32_t listenerLink = 0;  // the camera carries the audio listener

    // The light pool of the script lights: the lowest free GL light from 0
    // to 6, taken, or -1 when all seven are in use.
    int32_t AllocLight();
    // Gives a light of the pool back and switches it off in the scene (when
    // there is one); other numbers change nothing.
    void FreeLight(int32_t light);
};

// Keyboard focus, the mouse wheel and the window messages the script sees.
struct InputState {
    int32_t hasFocus = 0;
    int32_t wheelCount = 0;  // in notches
    uint8_t mouseTracking = 0;
    int32_t sharedBufferMessage = -1;  // the last shared byte buffer's message
};

// Serial ports, tracker records and the windows of applications placed in
// the engine window.
struct DeviceState {
    static constexpr int kSerialPorts = 16;
    int serialPorts[kSerialPorts];  // COM1 to COM16; -1 while closed
    TrackerRecords trackers;
    // The X windows of the applications started into the engine window; a
    // script's handle for one is its index + 1. Entries are never reused.
    std::vector<unsigned long> appWindows;

    DeviceState() {
        for (int& port : serialPorts) port = -1;
    }
};

struct NetworkState {
    static constexpr size_t kReceiveBufferSize = 262144;
    std::vector<uint8_t> receiveBuffer = std::vector<uint8_t>(kReceiveBufferSize);
};

// Frame pacing, read by the module's timer thread.
struct TimingState {
    static constexpr uint64_t kMinPeriod = 1000;  // microseconds
    static constexpr uint64_t kMaxPeriod = 10000000;

    std::atomic<uint64_t> framePeriod{0};  // microseconds; 0: frames are not paced
    std::atomic<uint64_t> timeStep{10000};

    // The frame period becomes 1,000,000 / fps microseconds and the time
    // step ms milliseconds, each held to kMinPeriod..kMaxPeriod (a negative
    // one is the longest). A rate of 0 changes nothing.
    void SetFrameRate(int32_t fps);
    void SetTimeStep(int32_t ms);
};

struct PathState {
    std::string scriptLocation;  // the script's URL or file:// path
    std::string scriptFolder;    // with its final separator
    std::string workingFolder;
};

class EngineState {
public:
    DisplayState& Display() { return m_display; }
    SceneState& Scene() { return m_scene; }
    InputState& Input() { return m_input; }
    DeviceState& Devices() { return m_devices; }
    NetworkState& Network() { return m_network; }
    TimingState& Timing() { return m_timing; }
    PathState& Paths() { return m_paths; }
    const PathState& Paths() const { return m_paths; }
    // The machine's services (MachineServices.h); null without a machine.
    MachineServices* Services() { return m_services; }

protected:
    MachineServices* m_services = nullptr;

private:
    DisplayState m_display;
    SceneState m_scene;
    InputState m_input;
    DeviceState m_devices;
    NetworkState m_network;
    TimingState m_timing;
    PathState m_paths;
};

// The engine version numbers, kept by the engine module: 0 until the module
// has passed its fade.
extern uint32_t g_engineVersion[4];

// The engine machine's state while the machine lives.
extern EngineState* g_engineState;
