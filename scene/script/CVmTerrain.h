// The script class CVmTerrain: a terrain (VRTerrain) made from a height grid
// file. Made with up to three names (kept, not used); methods answer method
// calls only. Its textures are new CVmTexture objects over records of the
// texture manager.
#pragma once

#include <cstdint>
#include <string>

#include "scene/VRTerrain.h"
#include "vm/VmRegister.h"

class CVmTerrain : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmTerrain";

    CVmTerrain(std::string name1, std::string name2, std::string name3)
        : m_terrain(std::move(name1), std::move(name2), std::move(name3)) {}
    const char* ClassName() override { return kClassName; }

    VRTerrain& Terrain() { return m_terrain; }
    // What a scene node linked to this terrain draws (its point cloud).
    VRObjTerrain* NodeLink() { return m_terrain.NodeLink(); }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void LoadAsc(CVmClassBase* object, int mode);
        void SetRes(CVmClassBase* object, int mode);
        void ComputeLighting(CVmClassBase* object, int mode);
        void Draw(CVmClassBase* object, int mode);
        void GetTextureShadow(CVmClassBase* object, int mode);
        void GetTextureHeight(CVmClassBase* object, int mode);

        // The object's terrain in a method call; null (with the bare error)
        // in any other mode.
        static VRTerrain* Target(CVmClassBase* object, int mode);
    };

private:
    VRTerrain m_terrain;
};
