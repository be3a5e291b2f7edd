// The services the engine machine offers the rest of the engine: the
// VR-configuration listener it starts for the scene, its download manager,
// and the step hook of its debugger status link.
#include "engine/DebuggerStatusLink.h"
#include "engine/DownloadManager.h"
#include "engine/EngineMachine.h"
#include "scene/VRScene.h"

void CVRMachine::StartVRConfigListener() {
    VRScene* scene = Scene().scene;
    if (!scene || m_configListener.Running()) return;
    int32_t mode = 0;
    if (scene->GetParamInt(kParamTrackingMode, &mode) < 0 || mode <= 0) return;
    m_configListener.SetStereoTarget(&scene->ParamMutex(), &scene->Stereo());
    m_configListener.Start();
}

int32_t CVRMachine::QueueDownload(const std::string& url, const char* localName, int32_t priority) {
    return m_downloads->Enqueue(localName, url, priority, 0);
}

void CVRMachine::RefreshDownloads() { m_downloads->SetRefresh(true); }

int32_t CVRMachine::DownloadProgress() { return m_downloads->Progress(); }

int32_t CVRMachine::PendingDownloads() { return m_downloads->CountPending(); }

void DebuggerStatusHook(int32_t index, CVirtualMachine* machine) {
    // Only the engine machine installs this hook.
    static_cast<CVRMachine*>(machine)->StatusLink().Write(index);
}
