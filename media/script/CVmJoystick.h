// The script class CVmJoystick: one of the game controllers (ids 0 to 15) of
// the engine's joystick table, or none. Its methods read the state that the
// engine polls once a frame: axes as 0 to 1 of their range, buttons and the
// point-of-view hat.
#pragma once

#include <cstdint>

#include "platform/JoystickDevices.h"
#include "vm/VmRegister.h"

class CVmJoystick : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmJoystick";

    // The first controller that answers for a negative id, else controller
    // `requested` when it answers; otherwise an object without one.
    explicit CVmJoystick(int32_t requested);
    ~CVmJoystick() override;
    const char* ClassName() override { return kClassName; }

    int32_t Id() const { return m_id; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmJoystick() or CVmJoystick(id).
        void Create(CVmClassBase* object, int mode);
        void Enabled(CVmClassBase* object, int mode);
        template <int N>
        void Button(CVmClassBase* object, int mode);
        void Buttons(CVmClassBase* object, int mode);
        template <JoystickAxis A>
        void Axis(CVmClassBase* object, int mode);
        void Pov(CVmClassBase* object, int mode);
        void Set(CVmClassBase* object, int mode);
    };

private:
    int32_t m_id = -1;
    JoystickCaps m_caps;
};
