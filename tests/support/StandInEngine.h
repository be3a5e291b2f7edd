// An engine for tests of the global functions without a machine: it is the
// engine state the functions find, and its services answer as an engine with
// nothing queued, loaded or running would. Tests override what they record.
#pragma once

#include <string>

#include "state/EngineState.h"
#include "state/MachineServices.h"

namespace qemtest {

class StandInEngine : public EngineState, public MachineServices {
public:
    StandInEngine() {
        m_services = this;
        g_engineState = this;
    }
    ~StandInEngine() override { g_engineState = nullptr; }

    int32_t NextKey() override { return -1; }
    std::string TakeDataIn() override { return ""; }
    void SendDataOut(const char*) override {}
    void SetRecord(int32_t, int32_t, int32_t, int32_t) override {}
    void SetMouse(int32_t buttons, int32_t x, int32_t y) override {
        mouse[0] = buttons;
        mouse[1] = x;
        mouse[2] = y;
    }
    int32_t GetMouseButtons() override { return mouse[0]; }
    int32_t GetMouseX() override { return mouse[1]; }
    int32_t GetMouseY() override { return mouse[2]; }
    bool PostScriptEvent(int32_t, const CVmValue&, const CVmValue&) override { return false; }
    int32_t SendScriptEvent(int32_t, const CVmValue&, const CVmValue&) override { return 0; }
    bool SleepUnlessStopped(uint32_t) override { return true; }
    void StartVRConfigListener() override {}
    int32_t QueueDownload(const std::string&, const char*, int32_t) override { return 0; }
    void RefreshDownloads() override {}
    int32_t DownloadProgress() override { return 0; }
    int32_t PendingDownloads() override { return 0; }
    bool LoadExternModule(const std::string&) override { return false; }
    NativeLibraryLoad LoadNativeLibrary(const std::string&) override { return {}; }
    void SetWorkingFolder(const std::string&) override {}
    bool IsWebScript() const override { return false; }

    int32_t mouse[3] = {};  // buttons, x, y
};

}  // namespace qemtest
