// The script class CVmFbo: a framebuffer render target the object owns.
// Texture objects made by GetTexture keep the object (and so the target and
// its texture record) alive while they exist.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/VRFbo.h"
#include "vm/VmRegister.h"

class CVmFbo : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmFbo";

    CVmFbo() : m_target(new VRFbo()) {}
    const char* ClassName() override { return kClassName; }
    VRFbo& Target() { return *m_target; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmFbo(mode, width [, height [, internal format [, type [, format]]]]).
        void Create(CVmClassBase* object, int mode);
        void Start(CVmClassBase* object, int mode);
        void Stop(CVmClassBase* object, int mode);
        void GetTexture(CVmClassBase* object, int mode);
        void EnableMipmaps(CVmClassBase* object, int mode);
        void EnableMultisampling(CVmClassBase* object, int mode);
        void InitMultisampling(CVmClassBase* object, int mode);

        // The object's target in a method call; otherwise a bare error and null.
        static VRFbo* Called(CVmClassBase* object, int mode);
    };

private:
    std::unique_ptr<VRFbo> m_target;
};
