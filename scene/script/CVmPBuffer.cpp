#include "CVmPBuffer.h"

#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kNoTexture = "CopyToTexture needs a CVmTexture object";

}  // namespace

bool CVmPBuffer::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Start", &CRegister::Start);
    AddMethod("Stop", &CRegister::Stop);
    AddMethod("CopyToTexture", &CRegister::CopyToTexture);
    return true;
}

VRPBuffer* CVmPBuffer::CRegister::Called(CVmClassBase* object, int mode) {
    if (mode == VM_CALL_METHOD && object) return &static_cast<CVmPBuffer*>(object)->PBuffer();
    VmErrorStream();
    return nullptr;
}

void CVmPBuffer::CRegister::Create(CVmClassBase*, int) {
    int32_t width = 0, height = 0, bits = 0, depthBits = 0;
    auto* self = new CVmPBuffer();
    ReturnObject(self);
    if (ReadParams(Optional(width), Optional(height), Optional(bits), Optional(depthBits)))
        self->PBuffer().Create(width, height, bits, depthBits);
}

void CVmPBuffer::CRegister::Start(CVmClassBase* object, int mode) {
    if (VRPBuffer* p = Called(object, mode)) p->MakeCurrent();
}

void CVmPBuffer::CRegister::Stop(CVmClassBase* object, int mode) {
    if (VRPBuffer* p = Called(object, mode)) p->MakeWindowCurrent();
}

void CVmPBuffer::CRegister::CopyToTexture(CVmClassBase* object, int mode) {
    VRPBuffer* p = Called(object, mode);
    if (!p) return;
    CVmTexture* texture = nullptr;
    if (!ReadParam(1, texture, false)) {
        // Nothing is copied, and the window is what is drawn to from here on.
        p->MakeWindowCurrent();
        VmErrorStream() << kNoTexture;
        return;
    }
    VRTexture* record = texture->Record();
    if (!record) {
        p->MakeWindowCurrent();
        VmErrorStream() << texture->NoRecordReason();
        return;
    }
    p->CopyToTexture(record);
}
