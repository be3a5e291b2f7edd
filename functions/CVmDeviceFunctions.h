// The global functions of serial ports, trackers, application windows and
// engine information, and the entry points of the network-renderer plug-in.
#pragma once

#include <cstdint>

#include "state/TrackerSensor.h"
#include "functions/FunctionTable.h"

class CVmDeviceFunctions : public CVmFunctionGroup {
public:
    CVmDeviceFunctions() : CVmFunctionGroup(FunctionGroup::Device) {}

    // How long ShellExec waits for the started program's window.
    static constexpr int kAppWindowWaitMs = 10000;

protected:
    void AddFunctions() override;

private:
    void ReadComm(CVmClassBase* object, int mode);
    void WriteComm(CVmClassBase* object, int mode);
    void SetCommParameters(CVmClassBase* object, int mode);

    void SetTrackerPos(CVmClassBase* object, int mode);
    void SetTrackerRot(CVmClassBase* object, int mode);
    void SetTrackerQuaternion(CVmClassBase* object, int mode);
    void SetTrackerJoy(CVmClassBase* object, int mode);
    void SetTrackerButton(CVmClassBase* object, int mode);
    void GetTrackerPos(CVmClassBase* object, int mode);
    void GetTrackerRot(CVmClassBase* object, int mode);
    void GetTrackerQuaternion(CVmClassBase* object, int mode);
    void GetTrackerJoy(CVmClassBase* object, int mode);
    void GetTrackerButton(CVmClassBase* object, int mode);

    void ShellExec(CVmClassBase* object, int mode);
    void ShowApp(CVmClassBase* object, int mode);
    void HideApp(CVmClassBase* object, int mode);
    void CloseApp(CVmClassBase* object, int mode);
    void SetAppPosition(CVmClassBase* object, int mode);

    void GetEngineInfo(CVmClassBase* object, int mode);
    void SetScene(CVmClassBase* object, int mode);
    void QemGetLoggingCallback(CVmClassBase* object, int mode);

    void QemNetworkRendererEnable(CVmClassBase* object, int mode);
    void QemNetworkRendererDisable(CVmClassBase* object, int mode);
    void QemNetworkRendererFunc(CVmClassBase* object, int mode);
    void QemNetworkRendererSlavePluginRun(CVmClassBase* object, int mode);
    void QemNetworkRendererSlavePluginRunAll(CVmClassBase* object, int mode);

    // The descriptor of serial port `port` (1 to 16), opened at its first
    // use; -1 after the script error 2029 (no such port) or 2030 (it cannot
    // be opened, and is tried again at the next use).
    static int OpenedPort(int32_t port);

    // Stores the fields the parameters give (after the tracker number: a
    // Vector, missing components 0, or as many numbers as the field has) in
    // the tracker's record; nothing for a tracker outside 0..9. Tracker 0's
    // position and rotation also go to the scene's tracker position and
    // orientation.
    void SetTracker(TrackerFields fields);
    // The record of the tracker parameter 1 names; false, with nothing
    // answered, for a tracker outside 0..9.
    bool ReadTracker(TrackerSensorRecord& record);

    // The X window of an application-window handle; 0 after the script error
    // for a handle ShellExec did not give or whose window has gone.
    static unsigned long AppWindow(int32_t handle);
};
