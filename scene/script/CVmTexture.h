// The script class CVmTexture: a script's view of a texture record of the
// texture manager. Objects never own their record: the manager (or the render
// target it comes from) does, and several objects may show one record (a
// file loaded twice is one record). An object holds its record through a
// reference that the record's removal empties, so after Free (through any
// object) or the manager's end every method reports that the texture has
// been freed instead of reaching a deleted record; an object whose load gave
// no record reports that the texture was not loaded.
#pragma once

#include <cstdint>

#include "scene/VRTextureManager.h"
#include "vm/VmRegister.h"

class CVmTexture : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmTexture";

    // A view of the record (null: a load that gave none), made with the
    // creation flags of its load (0 when it was not loaded from a file).
    CVmTexture(VRTexture* record, int32_t loadFlags);
    const char* ClassName() override { return kClassName; }

    // The record, or null when none was loaded or it has been freed.
    VRTexture* Record() const { return m_texture.Get(); }
    int32_t LoadFlags() const { return m_loadFlags; }
    // Why Record() is null: the texture was freed, or never loaded.
    const char* NoRecordReason() const;
    // Keeps `source` (the render target the record belongs to) alive as long
    // as this object.
    void KeepAlive(CVmClassBase* source) { m_source.SetObject(source); }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmTexture(name [, flags]) or CVmTexture(width, height, kind [, values]).
        void Create(CVmClassBase* object, int mode);
        // width, height, depth, components, OriginalWidth, OriginalHeight.
        template <int32_t VRTexture::*Field>
        void Property(CVmClassBase* object, int mode);
        void Id(CVmClassBase* object, int mode);
        void Name(CVmClassBase* object, int mode);
        void AddSlice(CVmClassBase* object, int mode);
        void SetAviFrame(CVmClassBase* object, int mode);
        void GetAviFrame(CVmClassBase* object, int mode);
        void GetAviTotalFrame(CVmClassBase* object, int mode);
        void SetVideoStatus(CVmClassBase* object, int mode);
        void SetVideoSpeed(CVmClassBase* object, int mode);
        void Free(CVmClassBase* object, int mode);

        // The object's record when the call mode is one of `modes` (a bit per
        // mode) and the record is there; otherwise the error is reported and
        // the answer is null.
        VRTexture* Viewed(CVmClassBase* object, int mode, int modes);
    };

private:
    VRTextureRef m_texture;
    int32_t m_loadFlags;
    CVmValue m_source;
};
