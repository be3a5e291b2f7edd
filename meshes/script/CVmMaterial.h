// The script class CVmMaterial: a material record of the script's own, whose
// colours, shininess and transparency scripts read and write as members and
// whose texture layers they set through methods. Meshes and nodes take the
// embedded record when a script forces the material onto them.
#pragma once

#include <cstdint>

#include "meshes/VRMaterial.h"
#include "vm/VmRegister.h"

class CVmMaterial : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmMaterial";

    CVmMaterial() = default;
    ~CVmMaterial() override { m_material.Free(); }
    const char* ClassName() override { return kClassName; }

    VRMaterial& Material() { return m_material; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // NewMaterial(): the default material.
        void Create(CVmClassBase* object, int mode);
        // Ambient, Diffuse, Specular, Emission.
        template <float (VRMaterial::*Colour)[4]>
        void Colour(CVmClassBase* object, int mode);
        void Shininess(CVmClassBase* object, int mode);
        void Transparency(CVmClassBase* object, int mode);
        void GetDList(CVmClassBase* object, int mode);
        void GetTextureName(CVmClassBase* object, int mode);
        void SetTexture(CVmClassBase* object, int mode);
        void ChangeTextureParams(CVmClassBase* object, int mode);

        // The object's material when the call mode is one of `modes` (a bit
        // per mode); otherwise the bare error is reported and the answer is
        // null.
        static VRMaterial* Edited(CVmClassBase* object, int mode, int modes);
        // A Real member: a read answers it; a write stores it, marks the
        // display list and answers the material (null otherwise).
        VRMaterial* RealMember(CVmClassBase* object, int mode, float VRMaterial::*field);
    };

private:
    // The texture object last given to SetTexture, kept alive with the
    // material.
    CVmValue m_textureHolder;
    VRMaterial m_material;
};
