#include "CVmTexture.h"

#include <cstdint>
#include <string>

#include "scene/SharedTextureManager.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kNoScene = "The scene is not created yet.";
const char* const kNotLoaded = "The texture was not loaded.";
const char* const kFreed = "The texture has been freed.";
const char* const kNotListed = "The texture of a render target cannot be freed.";
const char* const kWrongSlice = "Param 1 must be a string or a CVmTexture object";
const char* const kNoPixmap = "Texture stored in Video Memory. Cannot acces to pixmap";
const char* const kOtherSize = "width, height and number component of Slice must be the same of texture";

// The call modes a handler answers, a bit per mode.
constexpr int kMethod = 1 << VM_CALL_METHOD;
constexpr int kMethodOrMember = kMethod | 1 << VM_GET_MEMBER;
constexpr int kAnyMode = ~0;

// The constructor's first bind: unit 0, bind flags 1 (nearest filtering).
constexpr int32_t kFirstBindFlags = 1;
constexpr int32_t kFirstBindUnit = 0;

// A frame number as an Integer, truncated; what no Integer holds gives the
// processor's answer to that conversion.
int32_t TruncatedFrame(float frame) {
    if (!(frame > -2147483648.0f && frame < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(frame);
}

// Whether the record was in the list up to `last` (the last record before a
// load): a load that found it made nothing.
bool ListedUpTo(const VRTextureManager& manager, const VRTexture* last, const VRTexture* record) {
    for (const VRTexture* r = last ? manager.First() : nullptr; r; r = r->next) {
        if (r == record) return true;
        if (r == last) break;
    }
    return false;
}

}  // namespace

CVmTexture::CVmTexture(VRTexture* record, int32_t loadFlags) : m_texture(record), m_loadFlags(loadFlags) {
    m_flag = 0;  // the record is not the object's
}

const char* CVmTexture::NoRecordReason() const { return m_texture.Held() ? kFreed : kNotLoaded; }

bool CVmTexture::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("width", &CRegister::Property<&VRTexture::width>);
    AddMethod("height", &CRegister::Property<&VRTexture::height>);
    AddMethod("depth", &CRegister::Property<&VRTexture::slices>);
    AddMethod("components", &CRegister::Property<&VRTexture::channels>);
    AddMethod("OriginalWidth", &CRegister::Property<&VRTexture::imageWidth>);
    AddMethod("OriginalHeight", &CRegister::Property<&VRTexture::imageHeight>);
    AddMethod("id", &CRegister::Id);
    AddMethod("name", &CRegister::Name);
    AddMethod("AddSlice", &CRegister::AddSlice);
    AddMethod("SetAviFrame", &CRegister::SetAviFrame);
    AddMethod("GetAviFrame", &CRegister::GetAviFrame);
    AddMethod("GetAviTotalFrame", &CRegister::GetAviTotalFrame);
    AddMethod("SetVideoStatus", &CRegister::SetVideoStatus);
    AddMethod("SetVideoSpeed", &CRegister::SetVideoSpeed);
    AddMethod("Free", &CRegister::Free);
    return true;
}

VRTexture* CVmTexture::CRegister::Viewed(CVmClassBase* object, int mode, int modes) {
    if (!(modes & (1 << mode)) || !object) {
        VmErrorStream();
        return nullptr;
    }
    const auto* self = static_cast<CVmTexture*>(object);
    VRTexture* record = self->Record();
    if (!record) VmErrorStream() << self->NoRecordReason();
    return record;
}

void CVmTexture::CRegister::Create(CVmClassBase*, int) {
    VRTextureManager* manager = SharedTextureManager();
    if (!manager) {
        VmErrorStream() << kNoScene;
        return;
    }
    VRTexture* record = nullptr;
    int32_t flags = 0;
    std::string name;
    if (ReadParam(1, name, false)) {
        if (!ReadParams(name, Optional(flags))) return;
        record = manager->GetTexture(name.c_str(), flags);
    } else {
        int32_t width, height, kind;
        VmVectorParam values;
        if (!ReadParams(width, height, kind, Optional(values))) return;
        record = manager->CreateProceduralTexture(width, height, kind, values.Data(), values.Count());
    }
    manager->BindTexture(record, kFirstBindFlags, kFirstBindUnit);
    ReturnObject(new CVmTexture(record, flags));
}

template <int32_t VRTexture::*Field>
void CVmTexture::CRegister::Property(CVmClassBase* object, int mode) {
    if (const VRTexture* t = Viewed(object, mode, kMethodOrMember)) VmReturnInteger(t->*Field);
}

void CVmTexture::CRegister::Id(CVmClassBase* object, int mode) {
    if (const VRTexture* t = Viewed(object, mode, kMethodOrMember)) VmReturnInteger(static_cast<int32_t>(t->glName));
}

void CVmTexture::CRegister::Name(CVmClassBase* object, int mode) {
    if (const VRTexture* t = Viewed(object, mode, kMethodOrMember)) VmReturnInteger(static_cast<int32_t>(t->serial));
}

void CVmTexture::CRegister::AddSlice(CVmClassBase* object, int mode) {
    VRTexture* t = Viewed(object, mode, kAnyMode);
    if (!t) return;
    CVmTexture* sliceObject = nullptr;
    std::string name;
    if (!ReadParam(1, sliceObject, false) && !ReadParam(1, name, false)) {
        VmErrorStream() << kWrongSlice;
        return;
    }
    // The constructor uploads at once: such a texture has no pixels left to
    // stack onto (and a file slice need not be loaded for nothing).
    if (!t->HasPixmap()) {
        VmErrorStream() << kNoPixmap;
        return;
    }
    VRTexture* slice = nullptr;
    VRTextureManager* manager = nullptr;
    bool loadedHere = false;
    if (sliceObject) {
        slice = sliceObject->Record();
        if (!slice) {
            VmErrorStream() << sliceObject->NoRecordReason();
            return;
        }
    } else {
        manager = SharedTextureManager();
        if (!manager) {
            VmErrorStream() << kNoScene;
            return;
        }
        const VRTexture* last = manager->Last();
        slice = manager->GetTexture(name.c_str(), static_cast<CVmTexture*>(object)->m_loadFlags);
        if (!slice) return;  // the manager has told why
        loadedHere = !ListedUpTo(*manager, last, slice);
    }
    switch (AppendTextureSlice(*t, *slice)) {
    case TextureSliceResult::kNoPixmap: VmErrorStream() << kNoPixmap; break;
    case TextureSliceResult::kOtherSize: VmErrorStream() << kOtherSize; break;
    case TextureSliceResult::kAppended:
        // A record that was listed before belongs to whoever loaded it.
        if (loadedHere) manager->RemoveTexture(slice, true);
        break;
    }
}

void CVmTexture::CRegister::SetAviFrame(CVmClassBase* object, int mode) {
    VRTexture* t = Viewed(object, mode, kMethod);
    int32_t frame;
    if (t && ReadParams(frame)) t->currentFrame = static_cast<float>(frame);
}

void CVmTexture::CRegister::GetAviFrame(CVmClassBase* object, int mode) {
    if (const VRTexture* t = Viewed(object, mode, kMethod)) VmReturnInteger(TruncatedFrame(t->currentFrame));
}

void CVmTexture::CRegister::GetAviTotalFrame(CVmClassBase* object, int mode) {
    if (const VRTexture* t = Viewed(object, mode, kMethod)) VmReturnInteger(t->frameCount);
}

void CVmTexture::CRegister::SetVideoStatus(CVmClassBase* object, int mode) {
    VRTexture* t = Viewed(object, mode, kAnyMode);
    int32_t state;
    if (t && ReadParams(state)) t->playState = state;
}

void CVmTexture::CRegister::SetVideoSpeed(CVmClassBase* object, int mode) {
    if (mode != VM_CALL_METHOD) return;
    VRTexture* t = Viewed(object, mode, kMethod);
    float speed;
    if (t && ReadParams(speed)) t->speed = speed;
}

void CVmTexture::CRegister::Free(CVmClassBase* object, int mode) {
    VRTexture* t = Viewed(object, mode, kMethod);
    if (!t) return;
    // Only the manager's own records are its to delete; a render target keeps
    // its texture until the target goes.
    if (!t->owner || t->owner->RemoveTexture(t, true) != 0) VmErrorStream() << kNotListed;
}
