// The script class CVmBillboard: a camera-facing textured rectangle
// (VRBillboard) that scripts draw between SceneBegin and SceneEnd or link to
// a scene node. Made with (texture name, width, height, x, y, z); with one
// argument or none it is 1 x 1 at the origin. The texture and material
// objects given to SetTexture and SetMaterial are kept alive with the
// billboard, so it goes on drawing them when the script drops them.
#pragma once

#include <cstdint>

#include "meshes/VRBillboard.h"
#include "vm/VmRegister.h"

class CVmBillboard : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmBillboard";

    // A billboard of the texture (null: none) at (x, y, z), without
    // half-size copies.
    CVmBillboard(const char* textureName, float width, float height, float x, float y, float z)
        : m_billboard(textureName, width, height, x, y, z, 0) {}
    const char* ClassName() override { return kClassName; }

    // What a scene node links.
    VRBillboard& Billboard() { return m_billboard; }

    // The constructor call running on `call` (the class's factory and the
    // global NewBillBoard alike) answers a billboard of the texture named
    // by parameter 1 (none when it is no String): `sized`, of parameters 2
    // to 6 (missing ones 0), otherwise 1 x 1 at the origin.
    static void Make(CVmRegisterClass& call, bool sized);

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void Draw(CVmClassBase* object, int mode);
        void SetPosition(CVmClassBase* object, int mode);
        void GetPosition(CVmClassBase* object, int mode);
        void SetSize(CVmClassBase* object, int mode);
        void SetRotation(CVmClassBase* object, int mode);
        void Rotate(CVmClassBase* object, int mode);
        void SetAviFrame(CVmClassBase* object, int mode);
        void GetAviFrame(CVmClassBase* object, int mode);
        void GetAviTotalFrame(CVmClassBase* object, int mode);
        void SetAviFlags(CVmClassBase* object, int mode);
        void ResetAviFlags(CVmClassBase* object, int mode);
        void SetMaterial(CVmClassBase* object, int mode);
        void SetTexture(CVmClassBase* object, int mode);

        // The object's billboard in a method call; null (with the bare
        // error) in any other mode.
        static VRBillboard* Target(CVmClassBase* object, int mode);
    };

private:
    // Destroyed after the billboard that draws them.
    CVmValue m_textureHolder;
    CVmValue m_materialHolder;
    VRBillboard m_billboard;
};
