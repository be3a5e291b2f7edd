#include "CVmJoystick.h"

#include "media/JoystickTable.h"
#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "vm/VirtualMachine.h"

namespace {

// Every method but Set answers a method call or a member read; another mode
// stops the script with the bare error naming the method.
bool Readable(CVmClassBase* object, int mode) {
    if (object && (mode == VM_CALL_METHOD || mode == VM_GET_MEMBER)) return true;
    VmErrorStream();
    return false;
}

// The object's polled record, null while it has no controller.
const JoystickRecord* RecordOf(CVmClassBase* object) {
    return SharedJoysticks().Polled(static_cast<CVmJoystick*>(object)->Id());
}

}  // namespace

CVmJoystick::CVmJoystick(int32_t requested) { m_id = SharedJoysticks().Acquire(requested, m_caps); }

CVmJoystick::~CVmJoystick() { SharedJoysticks().Release(m_id); }

bool CVmJoystick::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Enabled", &CRegister::Enabled);
    AddMethod("Button1", &CRegister::Button<1>);
    AddMethod("Button2", &CRegister::Button<2>);
    AddMethod("Button3", &CRegister::Button<3>);
    AddMethod("Button4", &CRegister::Button<4>);
    AddMethod("Button5", &CRegister::Button<5>);
    AddMethod("Button6", &CRegister::Button<6>);
    AddMethod("Button7", &CRegister::Button<7>);
    AddMethod("Button8", &CRegister::Button<8>);
    AddMethod("Button9", &CRegister::Button<9>);
    AddMethod("Button10", &CRegister::Button<10>);
    AddMethod("Button11", &CRegister::Button<11>);
    AddMethod("Button12", &CRegister::Button<12>);
    AddMethod("Button13", &CRegister::Button<13>);
    AddMethod("Button14", &CRegister::Button<14>);
    AddMethod("Button15", &CRegister::Button<15>);
    AddMethod("Buttons", &CRegister::Buttons);
    AddMethod("X", &CRegister::Axis<kJoystickX>);
    AddMethod("Y", &CRegister::Axis<kJoystickY>);
    AddMethod("Z", &CRegister::Axis<kJoystickZ>);
    AddMethod("R", &CRegister::Axis<kJoystickR>);
    AddMethod("U", &CRegister::Axis<kJoystickU>);
    AddMethod("V", &CRegister::Axis<kJoystickV>);
    AddMethod("Pov", &CRegister::Pov);
    AddMethod("Set", &CRegister::Set);
    return true;
}

void CVmJoystick::CRegister::Create(CVmClassBase*, int) {
    int32_t id;
    if (ReadParams(Optional(id, -1))) ReturnObject(new CVmJoystick(id));
}

void CVmJoystick::CRegister::Enabled(CVmClassBase* object, int mode) {
    if (Readable(object, mode)) VmReturnBool(static_cast<CVmJoystick*>(object)->m_id >= 0);
}

template <int N>
void CVmJoystick::CRegister::Button(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    const JoystickRecord* r = RecordOf(object);
    VmReturnBool(r && (r->buttons >> (N - 1) & 1));
}

void CVmJoystick::CRegister::Buttons(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    const JoystickRecord* r = RecordOf(object);
    VmReturnInteger(r ? static_cast<int32_t>(r->buttons) : 0);
}

template <JoystickAxis A>
void CVmJoystick::CRegister::Axis(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    const JoystickRecord* r = RecordOf(object);
    VmReturnReal(r ? JoystickAxisValue(r->axes[A], static_cast<CVmJoystick*>(object)->m_caps.axes[A]) : 0.0f);
}

void CVmJoystick::CRegister::Pov(CVmClassBase* object, int mode) {
    if (!Readable(object, mode)) return;
    const JoystickRecord* r = RecordOf(object);
    VmReturnReal(r ? static_cast<float>(r->pov / 100.0) : 0.0f);
}

void CVmJoystick::CRegister::Set(CVmClassBase*, int mode) {
    if (mode != VM_CALL_METHOD) {
        VmErrorStream();
        return;
    }
    int32_t a, b, c, d;
    if (!ReadParams(a, b, c, d)) return;
    if (MachineServices* services = g_engineState ? g_engineState->Services() : nullptr)
        services->SetRecord(d, a, b, c);
}
