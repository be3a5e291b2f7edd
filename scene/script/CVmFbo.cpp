#include "CVmFbo.h"

#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kNotEnough = "Not enough parameters while initializing CVmFbo";
const char* const kNotPositive = "Each framebuffer dimension should be positive ...";
const char* const kWrongMode = "Wrong mode parameter for CVmFbo constructor";
const char* const kInitFailed = "Error while initializing CVmFbo, Framebuffer Object: ";

}  // namespace

bool CVmFbo::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Start", &CRegister::Start);
    AddMethod("Stop", &CRegister::Stop);
    AddMethod("GetTexture", &CRegister::GetTexture);
    AddMethod("EnableMipmaps", &CRegister::EnableMipmaps);
    AddMethod("EnableMultisampling", &CRegister::EnableMultisampling);
    AddMethod("InitMultisampling", &CRegister::InitMultisampling);
    return true;
}

VRFbo* CVmFbo::CRegister::Called(CVmClassBase* object, int mode) {
    if (mode == VM_CALL_METHOD && object) return &static_cast<CVmFbo*>(object)->Target();
    VmErrorStream();
    return nullptr;
}

void CVmFbo::CRegister::Create(CVmClassBase*, int) {
    auto* self = new CVmFbo();
    // The object is the script's whatever went wrong; the error stops it.
    ReturnObject(self);
    VRFbo& target = self->Target();
    if (ArgCount() < 2) {
        VmErrorStream() << kNotEnough;
        return;
    }
    int32_t mode, width, height;
    if (!ReadParams(mode, width, Optional(height), Optional(target.internalFormat), Optional(target.pixelType),
                    Optional(target.pixelFormat)))
        return;
    if (ArgCount() < 3) height = width;
    if (width <= 0 || height <= 0) {
        VmErrorStream() << kNotPositive;
        return;
    }
    if (!target.SetMode(mode)) {
        VmErrorStream() << kWrongMode;
        return;
    }
    target.requestedWidth = width;
    target.requestedHeight = height;
    if (!target.Init()) VmErrorStream() << kInitFailed << target.GetErrorText();
}

void CVmFbo::CRegister::Start(CVmClassBase* object, int mode) {
    if (VRFbo* target = Called(object, mode)) target->Start();
}

void CVmFbo::CRegister::Stop(CVmClassBase* object, int mode) {
    if (VRFbo* target = Called(object, mode)) target->Stop();
}

void CVmFbo::CRegister::GetTexture(CVmClassBase* object, int mode) {
    VRFbo* target = Called(object, mode);
    if (!target) return;
    auto* texture = new CVmTexture(target->texture, 0);
    texture->KeepAlive(object);
    ReturnObject(texture);
}

void CVmFbo::CRegister::EnableMipmaps(CVmClassBase* object, int mode) {
    VRFbo* target = Called(object, mode);
    bool enable = true;
    if (target && ReadParams(Optional(enable))) target->EnableMipmaps(enable);
}

void CVmFbo::CRegister::EnableMultisampling(CVmClassBase* object, int mode) {
    VRFbo* target = Called(object, mode);
    bool enable = true;
    if (target && ReadParams(Optional(enable))) VmReturnBool(target->EnableMultisampling(enable));
}

void CVmFbo::CRegister::InitMultisampling(CVmClassBase* object, int mode) {
    VRFbo* target = Called(object, mode);
    int32_t samples;
    if (target && ReadParams(samples)) VmReturnBool(target->InitMultisampling(samples));
}
