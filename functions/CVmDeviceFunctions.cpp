#include "functions/CVmDeviceFunctions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "state/EngineState.h"
#include "platform/EmbeddedApplications.h"
#include "platform/SerialPort.h"
#include "scene/VRScene.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kReadLimit = 999;
constexpr int kPairs = 6;
constexpr int32_t kMaxRendererArgs = 1 + 2 * kPairs;
// The least a value passed to the renderer holds: four floats.
constexpr size_t kMinRendererData = 16;

}  // namespace

// One line per built function (FunctionTable.h).
void CVmDeviceFunctions::AddFunctions() {
    AddFunction("ReadComm", &CVmDeviceFunctions::ReadComm);
    AddFunction("WriteComm", &CVmDeviceFunctions::WriteComm);
    AddFunction("SetCommParameters", &CVmDeviceFunctions::SetCommParameters);
    AddFunction("GetTrackerPos", &CVmDeviceFunctions::GetTrackerPos);
    AddFunction("GetTrackerRot", &CVmDeviceFunctions::GetTrackerRot);
    AddFunction("GetTrackerJoy", &CVmDeviceFunctions::GetTrackerJoy);
    AddFunction("GetTrackerButton", &CVmDeviceFunctions::GetTrackerButton);
    AddFunction("GetTrackerQuaternion", &CVmDeviceFunctions::GetTrackerQuaternion);
    AddFunction("SetTrackerPos", &CVmDeviceFunctions::SetTrackerPos);
    AddFunction("SetTrackerRot", &CVmDeviceFunctions::SetTrackerRot);
    AddFunction("SetTrackerJoy", &CVmDeviceFunctions::SetTrackerJoy);
    AddFunction("SetTrackerButton", &CVmDeviceFunctions::SetTrackerButton);
    AddFunction("SetTrackerQuaternion", &CVmDeviceFunctions::SetTrackerQuaternion);
    AddFunction("GetEngineInfo", &CVmDeviceFunctions::GetEngineInfo);
    AddFunction("ShellExec", &CVmDeviceFunctions::ShellExec);
    AddFunction("ShowApp", &CVmDeviceFunctions::ShowApp);
    AddFunction("HideApp", &CVmDeviceFunctions::HideApp);
    AddFunction("CloseApp", &CVmDeviceFunctions::CloseApp);
    AddFunction("SetAppPosition", &CVmDeviceFunctions::SetAppPosition);
    AddFunction("SetScene", &CVmDeviceFunctions::SetScene);
    AddFunction("QemNetworkRendererEnable", &CVmDeviceFunctions::QemNetworkRendererEnable);
    AddFunction("QemNetworkRendererDisable", &CVmDeviceFunctions::QemNetworkRendererDisable);
    AddFunction("QemNetworkRendererFunc", &CVmDeviceFunctions::QemNetworkRendererFunc);
    AddFunction("QemNetworkRendererSlavePluginRun", &CVmDeviceFunctions::QemNetworkRendererSlavePluginRun);
    AddFunction("QemNetworkRendererSlavePluginRunAll", &CVmDeviceFunctions::QemNetworkRendererSlavePluginRunAll);
    AddFunction("QemGetLoggingCallback", &CVmDeviceFunctions::QemGetLoggingCallback);
}

// ---------------------------------------------------------------------------
// Serial ports

int CVmDeviceFunctions::OpenedPort(int32_t port) {
    if (port < 1 || port > DeviceState::kSerialPorts) {
        VmErrorMsg(2029);
        return -1;
    }
    EngineState* engine = RequireEngine();
    if (!engine) return -1;
    int& handle = engine->Devices().serialPorts[port - 1];
    if (handle < 0) handle = OpenSerialPort(SerialDevicePath(port));
    if (handle < 0) VmErrorMsg(2030, port);
    return handle;
}

void CVmDeviceFunctions::ReadComm(CVmClassBase*, int) {
    int32_t port;
    if (!ReadParams(port)) return;
    const int handle = OpenedPort(port);
    if (handle < 0) return;
    char buffer[kReadLimit + 1];
    const long n = ReadSerialPort(handle, buffer, kReadLimit);
    buffer[n > 0 ? n : 0] = '\0';
    VmReturnString(buffer);  // up to the first zero byte
}

void CVmDeviceFunctions::WriteComm(CVmClassBase*, int) {
    int32_t port;
    CVmValue* text;
    if (!ReadParams(port, text)) return;
    const int handle = OpenedPort(port);
    if (handle < 0) return;
    if (text->type != VmValueType::String) return VmErrorMsg(2013, 2);
    const char* bytes = text->asString->CStr();
    VmReturnBool(WriteSerialPort(handle, bytes, std::strlen(bytes)));
}

void CVmDeviceFunctions::SetCommParameters(CVmClassBase*, int) {
    int32_t port;
    CVmValue* values = nullptr;
    if (!ReadParams(port, Optional(values))) return;
    VmReturnBool(false);
    const int handle = OpenedPort(port);
    if (handle < 0) return;
    if (!values || values->type != VmValueType::Vector || values->asVector->count != 6) {
        VmErrorStream() << "Wrong parameters";
        return;
    }
    const CVmVector& v = *values->asVector;
    SerialSettings settings;
    int32_t* fields[6] = {&settings.baud,     &settings.byteSize,   &settings.parity,
                          &settings.stopBits, &settings.rtsControl, &settings.dtrControl};
    for (int i = 0; i < 6; ++i) *fields[i] = VmTruncate(v.data[i]);
    // The texts carry "%s" as it stands, the port number after it.
    switch (ConfigureSerialPort(handle, settings)) {
    case SerialConfigResult::kOk:
        VmReturnBool(true);
        break;
    case SerialConfigResult::kCannotRead:
        VmErrorStream() << " SetCommParameters could not read default parameters on COM %s" << port;
        break;
    case SerialConfigResult::kFailed:
        VmErrorStream() << " SetCommParameters failed on COM %s" << port;
        break;
    }
}

// ---------------------------------------------------------------------------
// Trackers

void CVmDeviceFunctions::SetTracker(TrackerFields fields) {
    int32_t sensor;
    if (!ReadParam(1, sensor) || !TrackerRecords::Valid(sensor)) return;
    TrackerSensorRecord r;
    float* target = nullptr;
    int count = 0;
    switch (fields) {
    case TrackerFields::Position:
        target = r.position;
        count = 3;
        break;
    case TrackerFields::Rotation:
        target = r.rotation;
        count = 3;
        break;
    case TrackerFields::Quaternion:
        target = r.quaternion;
        count = 4;
        break;
    case TrackerFields::Joystick:
        target = r.joystick;
        count = 2;
        break;
    default:
        break;
    }
    if (target) {
        if (const CVmVector* v = GetParamVector(2, false)) {
            for (int i = 0; i < count; ++i) target[i] = v->GetAt(i);
        } else {
            for (int i = 0; i < count; ++i)
                if (!ReadParam(2 + i, target[i])) return;
        }
    } else if (!ReadParam(2, r.buttons)) {
        return;
    }
    EngineState* engine = RequireEngine();
    if (!engine) return;
    engine->Devices().trackers.Write(sensor, fields, r);
    VRScene* scene = engine->Scene().scene;
    if (sensor != 0 || !scene) return;
    if (fields == TrackerFields::Position)
        scene->SetParamFloat(kParamTrackerPosition, r.position[0], r.position[1], r.position[2]);
    else if (fields == TrackerFields::Rotation)
        scene->SetParamFloat(kParamTrackerOrientation, r.rotation[0], r.rotation[1], r.rotation[2]);
}

bool CVmDeviceFunctions::ReadTracker(TrackerSensorRecord& record) {
    int32_t sensor;
    if (!ReadParams(sensor) || !TrackerRecords::Valid(sensor)) return false;
    EngineState* engine = RequireEngine();
    if (!engine) return false;
    record = engine->Devices().trackers.Read(sensor);
    return true;
}

void CVmDeviceFunctions::SetTrackerPos(CVmClassBase*, int) { SetTracker(TrackerFields::Position); }
void CVmDeviceFunctions::SetTrackerRot(CVmClassBase*, int) { SetTracker(TrackerFields::Rotation); }
void CVmDeviceFunctions::SetTrackerQuaternion(CVmClassBase*, int) { SetTracker(TrackerFields::Quaternion); }
void CVmDeviceFunctions::SetTrackerJoy(CVmClassBase*, int) { SetTracker(TrackerFields::Joystick); }
void CVmDeviceFunctions::SetTrackerButton(CVmClassBase*, int) { SetTracker(TrackerFields::Buttons); }

void CVmDeviceFunctions::GetTrackerPos(CVmClassBase*, int) {
    TrackerSensorRecord r;
    if (ReadTracker(r)) VmReturnVector(r.position, 3);
}

void CVmDeviceFunctions::GetTrackerRot(CVmClassBase*, int) {
    TrackerSensorRecord r;
    if (ReadTracker(r)) VmReturnVector(r.rotation, 3);
}

void CVmDeviceFunctions::GetTrackerQuaternion(CVmClassBase*, int) {
    TrackerSensorRecord r;
    if (ReadTracker(r)) VmReturnVector(r.quaternion, 4);
}

void CVmDeviceFunctions::GetTrackerJoy(CVmClassBase*, int) {
    TrackerSensorRecord r;
    if (ReadTracker(r)) VmReturnVector(r.joystick, 2);
}

void CVmDeviceFunctions::GetTrackerButton(CVmClassBase*, int) {
    TrackerSensorRecord r;
    if (ReadTracker(r)) VmReturnInteger(r.buttons);
}

// ---------------------------------------------------------------------------
// Application windows

unsigned long CVmDeviceFunctions::AppWindow(int32_t handle) {
    EngineState* engine = RequireEngine();
    if (!engine) return 0;
    const std::vector<unsigned long>& windows = engine->Devices().appWindows;
    if (handle < 1 || static_cast<size_t>(handle) > windows.size()) {
        VmErrorStream() << "Invalid application window handle.";
        return 0;
    }
    const unsigned long window = windows[static_cast<size_t>(handle) - 1];
    if (!EmbeddedWindowExists(window)) {
        VmErrorStream() << "The application window no longer exists.";
        return 0;
    }
    return window;
}

void CVmDeviceFunctions::ShellExec(CVmClassBase*, int) {
    std::string file, parameters;
    int32_t x, y, width, height;
    if (!ReadParams(file, parameters, x, y, width, height)) return;
    EngineState* engine = RequireEngine();
    if (!engine) return;
    const unsigned long window = StartEmbeddedApplication(file, parameters, x, y, width, height,
                                                          std::chrono::milliseconds(kAppWindowWaitMs));
    if (!window) return VmReturnInteger(0);
    std::vector<unsigned long>& windows = engine->Devices().appWindows;
    windows.push_back(window);
    VmReturnInteger(static_cast<int32_t>(windows.size()));
}

void CVmDeviceFunctions::ShowApp(CVmClassBase*, int) {
    int32_t handle;
    if (!ReadParams(handle)) return;
    if (const unsigned long window = AppWindow(handle)) ShowEmbeddedWindow(window, true);
}

void CVmDeviceFunctions::HideApp(CVmClassBase*, int) {
    int32_t handle;
    if (!ReadParams(handle)) return;
    if (const unsigned long window = AppWindow(handle)) ShowEmbeddedWindow(window, false);
}

void CVmDeviceFunctions::CloseApp(CVmClassBase*, int) {
    int32_t handle;
    if (!ReadParams(handle)) return;
    if (const unsigned long window = AppWindow(handle)) CloseEmbeddedWindow(window);
}

void CVmDeviceFunctions::SetAppPosition(CVmClassBase*, int) {
    int32_t handle, x, y, width, height;
    if (!ReadParams(handle, x, y, width, height)) return;
    if (const unsigned long window = AppWindow(handle)) PlaceEmbeddedWindow(window, x, y, width, height);
}

// ---------------------------------------------------------------------------
// Engine information

void CVmDeviceFunctions::GetEngineInfo(CVmClassBase*, int) {
    // The engine number, as the string table's buffer of 10 characters holds it.
    char number[10] = {};
    if (const char* text = g_currentVM->StringForId(2)) std::snprintf(number, sizeof number, "%s", text);
    char info[96];
    std::snprintf(info, sizeof info, "Engine n.: %s - Version: %u.%u.%u.%u", number, g_engineVersion[0],
                  g_engineVersion[1], g_engineVersion[2], g_engineVersion[3]);
    VmReturnString(info);
}

void CVmDeviceFunctions::SetScene(CVmClassBase*, int) { VmWarningMsg(this, 4001); }

// A code address does not fit an Integer; extension modules get the log
// function through their module interface instead.
void CVmDeviceFunctions::QemGetLoggingCallback(CVmClassBase*, int) { VmReturnInteger(0); }

// ---------------------------------------------------------------------------
// The network renderer

void CVmDeviceFunctions::QemNetworkRendererEnable(CVmClassBase*, int) {
    int32_t capability;
    if (ReadParams(capability)) NetworkRenderer.QemNetworkRendererEnable(static_cast<uint32_t>(capability));
}

void CVmDeviceFunctions::QemNetworkRendererDisable(CVmClassBase*, int) {
    int32_t capability;
    if (ReadParams(capability)) NetworkRenderer.QemNetworkRendererDisable(static_cast<uint32_t>(capability));
}

void CVmDeviceFunctions::QemNetworkRendererFunc(CVmClassBase*, int) {
    int32_t id = 0;
    int32_t codes[kPairs] = {};
    const void* data[kPairs] = {};
    // Each pair's value is passed as a copy with zeros after it: the callee
    // learns no length, and a reader of a fixed number of floats (the
    // fallback reads three) must not read past a short value.
    std::vector<char> copies[kPairs];
    auto pass = [&](int k, const void* bytes, size_t size) {
        copies[k].assign(std::max(size, kMinRendererData), 0);
        if (size) std::memcpy(copies[k].data(), bytes, size);
        data[k] = copies[k].data();
    };
    const int32_t count = ArgCount();
    if (count >= 1 && count <= kMaxRendererArgs) {
        if (!ReadParam(1, id)) return;
        for (int k = 0; k < kPairs && 2 * k + 3 <= count; ++k) {
            if (!ReadParam(2 * k + 2, codes[k])) return;
            const CVmValue* value = GetParam(2 * k + 3);
            const VmValueType type = value->type;
            // Codes 1 and 2 carry a number, 3 and 4 characters or floats.
            if (codes[k] == 1 || codes[k] == 2) {
                if (type == VmValueType::Integer || type == VmValueType::Real) pass(k, &value->asInt, 4);
            } else if (codes[k] == 3 || codes[k] == 4) {
                if (type == VmValueType::String)
                    pass(k, value->asString->CStr(), static_cast<size_t>(value->asString->Length()));
                else if (type == VmValueType::Vector)
                    pass(k, value->asVector->data, static_cast<size_t>(value->asVector->count) * sizeof(float));
            }
        }
    }
    // The answer is not the script's.
    NetworkRenderer.QemNetworkRendererFunc(id, codes[0], data[0], codes[1], data[1], codes[2], data[2], codes[3],
                                           data[3], codes[4], data[4], codes[5], data[5]);
}

void CVmDeviceFunctions::QemNetworkRendererSlavePluginRun(CVmClassBase*, int) {
    const char* name = nullptr;
    int32_t value;
    if (!ReadParam(1, name, false) || !NetworkRenderer.QemNetworkRendererSlavePluginRun) return;
    if (ReadParam(2, value)) NetworkRenderer.QemNetworkRendererSlavePluginRun(name, value);
}

void CVmDeviceFunctions::QemNetworkRendererSlavePluginRunAll(CVmClassBase*, int) {
    int32_t value;
    if (ReadParams(value) && NetworkRenderer.QemNetworkRendererSlavePluginRunAll)
        NetworkRenderer.QemNetworkRendererSlavePluginRunAll(value);
}
