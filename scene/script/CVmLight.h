// The script class CVmLight: one of the scene's GL lights, taken from the
// engine's light pool (lights 0 to 6) while the object lives and given back,
// switched off, when it goes.
#pragma once

#include <cstdint>

#include "vm/VmRegister.h"

class EngineState;

class CVmLight : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmLight";

    // Holds the light taken from the pool of `state`.
    CVmLight(EngineState* state, int32_t light) : m_state(state), m_light(light) {}
    ~CVmLight() override;
    const char* ClassName() override { return kClassName; }

    int32_t Light() const { return m_light; }

    // A new object holding a light taken from the pool of the engine's
    // state; null, after message 2018, when none is left.
    static CVmLight* FromPool();

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // Message 2018 when the pool is empty.
        void Create(CVmClassBase* object, int mode);
        void Enable(CVmClassBase* object, int mode);
        void Disable(CVmClassBase* object, int mode);
        // GetPosition and GetDirection, in any mode.
        void GetPosition(CVmClassBase* object, int mode);
        void SetPosition(CVmClassBase* object, int mode);
        void SetAmbient(CVmClassBase* object, int mode);
        void SetDiffuse(CVmClassBase* object, int mode);
        void SetSpecular(CVmClassBase* object, int mode);
        void SetDirection(CVmClassBase* object, int mode);
        void SetParameter(CVmClassBase* object, int mode);
        void SetSpotDirection(CVmClassBase* object, int mode);

        // The object's light in a method call with a scene to light;
        // otherwise the error is reported and the answer is -1.
        int32_t LightOf(CVmClassBase* object, int mode);
        // Parameter 1 as a vector (missing components 0) or three numbers.
        bool ReadValues(float* v);
        // SetAmbient, SetDiffuse, SetSpecular and SetSpotDirection: the
        // light's GL parameter from the values.
        void SetValues(CVmClassBase* object, int mode, uint32_t name);
        void SetPlace(CVmClassBase* object, int mode, float w);
    };

private:
    EngineState* m_state;
    int32_t m_light;
};
