// The script class CVmMouse: the mouse state that the engine machine keeps
// from its window's messages (buttons, double clicks, cursor, wheel), which
// all objects share, and a raw mouse device of the object's own (movement
// since it was last read, and the buttons).
#pragma once

#include <cstdint>

#include "platform/RawMouse.h"
#include "vm/VmRegister.h"

class CVmMouse : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmMouse";

    // Opens the object's device; without one (no display, no XInput 2) it
    // warns 4013 and reads no movement.
    CVmMouse();
    const char* ClassName() override { return kClassName; }

    RawMouse& Device() { return m_device; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

        // CVmMouse() and NewMouse().
        void Create(CVmClassBase* object, int mode);

    private:
        // ButtonL, ButtonR, ButtonM: the machine's button flags.
        template <uint32_t Flag>
        void Button(CVmClassBase* object, int mode);
        // DoubleL, DoubleR, DoubleM: the machine's double-click flag, cleared
        // by the read.
        template <uint32_t Flag>
        void Double(CVmClassBase* object, int mode);
        void Wheel(CVmClassBase* object, int mode);
        void X(CVmClassBase* object, int mode);
        void Y(CVmClassBase* object, int mode);
        void DeltaX(CVmClassBase* object, int mode);
        void DeltaY(CVmClassBase* object, int mode);
        // ButtonL2, ButtonR2, ButtonM2: the device's buttons.
        template <uint32_t Flag>
        void DeviceButton(CVmClassBase* object, int mode);
        void IsOut(CVmClassBase* object, int mode);
        void SetStatus(CVmClassBase* object, int mode);
        void Buttons(CVmClassBase* object, int mode);
    };

private:
    RawMouse m_device;
};
