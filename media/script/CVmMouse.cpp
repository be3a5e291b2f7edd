#include "CVmMouse.h"

#include <utility>

#include "platform/WindowCursor.h"
#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kMsgNoMouse = 4013;  // "Could not find mouse."

// The machine's double-click flags: the button flags of the second byte.
constexpr uint32_t kDoubleShift = 8;

// Every method but SetStatus answers a method call or a member read; another
// mode stops the script with the bare error naming the method.
bool Readable(CVmClassBase* object, int mode) {
    if (object && (mode == VM_CALL_METHOD || mode == VM_GET_MEMBER)) return true;
    VmErrorStream();
    return false;
}

// The machine's mouse state, null without a machine.
MachineServices* Machine() { return g_engineState ? g_engineState->Services() : nullptr; }

// The object's device after a poll, null (after the error) in a mode it
// does not answer.
RawMouse* PolledDevice(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return nullptr;
    RawMouse& device = static_cast<CVmMouse*>(object)->Device();
    device.Poll();
    return &device;
}

}  // namespace

CVmMouse::CVmMouse() {
    if (!m_device.Opened() && g_currentVM) g_currentVM->WarningMsg(kMsgNoMouse);
}

bool CVmMouse::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("ButtonL", &CRegister::Button<RawMouse::kLeft>);
    AddMethod("ButtonR", &CRegister::Button<RawMouse::kRight>);
    AddMethod("ButtonM", &CRegister::Button<RawMouse::kMiddle>);
    AddMethod("DoubleL", &CRegister::Double<RawMouse::kLeft>);
    AddMethod("DoubleR", &CRegister::Double<RawMouse::kRight>);
    AddMethod("DoubleM", &CRegister::Double<RawMouse::kMiddle>);
    AddMethod("Wheel", &CRegister::Wheel);
    AddMethod("X", &CRegister::X);
    AddMethod("Y", &CRegister::Y);
    AddMethod("DeltaX", &CRegister::DeltaX);
    AddMethod("DeltaY", &CRegister::DeltaY);
    AddMethod("ButtonL2", &CRegister::DeviceButton<RawMouse::kLeft>);
    AddMethod("ButtonR2", &CRegister::DeviceButton<RawMouse::kRight>);
    AddMethod("ButtonM2", &CRegister::DeviceButton<RawMouse::kMiddle>);
    AddMethod("IsOut", &CRegister::IsOut);
    AddMethod("SetStatus", &CRegister::SetStatus);
    AddMethod("Buttons", &CRegister::Buttons);
    return true;
}

void CVmMouse::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CVmMouse()); }

template <uint32_t Flag>
void CVmMouse::CRegister::Button(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    MachineServices* m = Machine();
    VmReturnBool(m && (static_cast<uint32_t>(m->GetMouseButtons()) & Flag));
}

template <uint32_t Flag>
void CVmMouse::CRegister::Double(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    MachineServices* m = Machine();
    const uint32_t buttons = m ? static_cast<uint32_t>(m->GetMouseButtons()) : 0;
    const uint32_t flag = Flag << kDoubleShift;
    if (buttons & flag) m->SetMouse(static_cast<int32_t>(buttons & ~flag), m->GetMouseX(), m->GetMouseY());
    VmReturnBool(buttons & flag);
}

void CVmMouse::CRegister::Wheel(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    int32_t wheel = 0;
    if (g_engineState) std::swap(wheel, g_engineState->Input().wheelCount);
    VmReturnInteger(wheel);
}

void CVmMouse::CRegister::X(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    MachineServices* m = Machine();
    VmReturnInteger(m ? m->GetMouseX() : 0);
}

void CVmMouse::CRegister::Y(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    MachineServices* m = Machine();
    VmReturnInteger(m ? m->GetMouseY() : 0);
}

void CVmMouse::CRegister::DeltaX(CVmClassBase* object, int mode) {
    if (RawMouse* device = PolledDevice(object, mode)) VmReturnInteger(device->TakeX());
}

void CVmMouse::CRegister::DeltaY(CVmClassBase* object, int mode) {
    if (RawMouse* device = PolledDevice(object, mode)) VmReturnInteger(device->TakeY());
}

template <uint32_t Flag>
void CVmMouse::CRegister::DeviceButton(CVmClassBase* object, int mode) {
    if (RawMouse* device = PolledDevice(object, mode)) VmReturnBool(device->Buttons() & Flag);
}

void CVmMouse::CRegister::IsOut(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    VmReturnBool(g_engineState && PointerOutside(g_engineState->Display().nativeWindow));
}

void CVmMouse::CRegister::SetStatus(CVmClassBase* object, int mode) {
    if (!object || mode != VM_CALL_METHOD) {
        VmErrorStream();
        return;
    }
    int32_t x, y, buttons;
    if (!ReadParams(x, y, buttons)) return;
    if (MachineServices* m = Machine()) m->SetMouse(buttons, x, y);
}

void CVmMouse::CRegister::Buttons(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    MachineServices* m = Machine();
    VmReturnInteger(m ? m->GetMouseButtons() : 0);
}
