// The engine window's messages: the module's own, then the script's OnEvent
// and the input state.
#include "EngineModule.h"

#include "engine/DownloadManager.h"
#include "engine/ModuleHooks.h"
#include "platform/GlutMessages.h"
#include "platform/GlutWindow.h"
#include "platform/WindowMessageQueue.h"

int CVRModule3D::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result) {
    if (result) *result = 0;
    ModuleHooks& hooks = EngineModuleHooks();
    switch (message) {
    case kWmEraseBackground:  // no background erase
        return 1;
    case kMmMciNotify:
        if (hooks.postMultimedia) hooks.postMultimedia(kMultimediaNotify, static_cast<intptr_t>(wParam), lParam, "");
        return 1;
    case kMsgDownloadReady: {
        CVmValue id;
        id.SetInteger(static_cast<int32_t>(wParam));
        m_machine->CallScriptFunction(1, m_machine->CallbackIndex(CVRMachine::DownloadReady), &id);
        m_machine->Downloads().Start();
        return 1;
    }
    case kMsgDownloadFailed:
        StopModule(m_machine->Downloads().MessageText().c_str());
        return 1;
    case kMsgDownloadStopped:
        if (m_state != Running) StopModule("Download STOPPED");
        return 1;
    case kMsgDownloadRetry:
        m_machine->Downloads().Start();
        return 1;
    case kMsgDownloadWarning:
        m_log << "\nWARNING! " << m_machine->Downloads().MessageText();
        return 1;
    default:
        break;
    }
    if (!m_machine) return 0;
    // The script sees the message first.
    m_machine->PostWindowEvent(message, wParam, lParam);
    switch (message) {
    case kWmKeyDown:
        if (wParam == kVkF9) CheckShiftF9();
        return 1;
    case kWmSysKeyDown:
        if (wParam == kVkF4 && (static_cast<uint32_t>(lParam) & (1u << 29))) {
            HostQuitFlag = true;
            m_machine->Error(-1);
        }
        return 1;
    case kWmSetFocus:
    case kWmKillFocus:
        m_machine->Input().hasFocus = message == kWmSetFocus ? 1 : 0;
        m_resize = 1;
        return 1;
    case kWmMouseLeave:
        m_machine->Input().mouseTracking = 0;
        return 1;
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp:
    case kWmRButtonDown:
    case kWmRButtonUp:
    case kWmMButtonDown:
    case kWmMButtonUp:
    case kWmMouseWheel:
        MouseUpdate(wParam, lParam);
        return 1;
    case kWmLButtonDblClk:
    case kWmRButtonDblClk:
    case kWmMButtonDblClk:
        DoubleClickUpdate(wParam, lParam);
        return 1;
    case kWmChar:
        m_machine->PutKey(static_cast<int32_t>(wParam));
        return 1;
    case kWmWindowPosChanged:
        m_resize = 1;
        return 1;
    default:
        return 0;
    }
}

int CVRModule3D::CheckShiftF9() {
    if (IsVirtualKeyDown(kVkShift)) {
        HostQuitFlag = true;
        m_machine->Error(-1);
    }
    return 0;
}

void CVRModule3D::MouseUpdate(uintptr_t wParam, intptr_t lParam) {
    const int32_t previous = m_machine->GetMouseButtons();
    const uint32_t buttons = static_cast<uint32_t>(wParam) & 0xFFFF;
    // Capture needs nothing here: X keeps delivering a drag to the window,
    // and the window keeps the cursor the script chose.
    if (buttons != 0) FocusEngineWindow();
    const int16_t wheel = static_cast<int16_t>((static_cast<uint32_t>(wParam) >> 16) & 0xFFFF);
    if (wheel != 0) {
        m_machine->Input().wheelCount += wheel / 120;
    } else {
        const uint32_t l = static_cast<uint32_t>(lParam);
        m_machine->SetMouse(static_cast<int32_t>((static_cast<uint32_t>(previous) & 0xFF00u) | buttons),
                            static_cast<int16_t>(l & 0xFFFF), static_cast<int16_t>(l >> 16));
    }
    m_machine->Input().mouseTracking = 1;
}

void CVRModule3D::DoubleClickUpdate(uintptr_t wParam, intptr_t lParam) {
    const uint32_t previous = static_cast<uint32_t>(m_machine->GetMouseButtons());
    const uint32_t l = static_cast<uint32_t>(lParam);
    m_machine->SetMouse(static_cast<int32_t>((previous & 0xFF00u) | (static_cast<uint32_t>(wParam) << 8)),
                        static_cast<int32_t>(l & 0xFFFF), static_cast<int32_t>(l >> 16));
    FocusEngineWindow();
}

void CVRModule3D::DrainWindowMessages() {
    WindowMessageQueue::EngineWindow().Drain(
        [this](const WindowMessage& m) { HandleMessage(m.message, m.wParam, m.lParam, nullptr); });
}
