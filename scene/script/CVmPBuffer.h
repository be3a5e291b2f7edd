// The script class CVmPBuffer: an off-screen surface the object owns, drawn
// between Start and Stop and copied into texture objects of its size.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/VRPBuffer.h"
#include "vm/VmRegister.h"

class CVmPBuffer : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmPBuffer";

    CVmPBuffer() : m_pbuffer(new VRPBuffer()) {}
    const char* ClassName() override { return kClassName; }
    VRPBuffer& PBuffer() { return *m_pbuffer; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmPBuffer([width [, height [, bits per channel [, depth bits]]]]).
        void Create(CVmClassBase* object, int mode);
        void Start(CVmClassBase* object, int mode);
        void Stop(CVmClassBase* object, int mode);
        void CopyToTexture(CVmClassBase* object, int mode);

        // The object's surface in a method call; otherwise a bare error and null.
        static VRPBuffer* Called(CVmClassBase* object, int mode);
    };

private:
    std::unique_ptr<VRPBuffer> m_pbuffer;
};
