// The script class CVmObj: a node of the scene graph (VRObj) that scripts
// place, link meshes, billboards, texts, pages and terrains to, build into
// trees, draw between SceneBegin and SceneEnd and test segments against.
//
// The object keeps alive every script object its node depends on: the
// children added and the objects linked (in `held`, one reference each, in
// the order they came), the materials forced on it and the arguments of its
// draw callbacks. A node made by the class is the object's own; a node owned
// elsewhere (a character's) is shown by an object that holds its owner and
// whose links, children and callbacks end with it.
//
// Draw callbacks run script code from inside VRObj::Draw: the object goes
// through VRObj::ReleaseAfterDraw when the script lets go of it, so a
// callback may drop nodes that are drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/VRObj.h"
#include "vm/VmRegister.h"

class CVirtualMachine;

class CVmObj : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmObj";

    // A node of its own (empty when null is given).
    explicit CVmObj(VRObj* node = nullptr);
    // A node owned by `keeper` (a character), which this object holds so
    // that the node outlives it. The owner flag is clear.
    CVmObj(VRObj* node, CVmClassBase* keeper);
    ~CVmObj() override;
    CVmObj(const CVmObj&) = delete;
    CVmObj& operator=(const CVmObj&) = delete;

    void Release() override;
    const char* ClassName() override { return kClassName; }

    VRObj& Node() { return *m_node; }

    // The constructor call running on `call` with `argCount` arguments (the
    // class's factory and the global NewObject alike): no argument, an empty
    // node; a CVmMesh, CVmNewMesh or CVmTerrain, a node around its mesh or
    // terrain, which the object holds; otherwise "Invalid param 1: " and the
    // value.
    static void Make(CVmRegisterClass& call, int32_t argCount);

    // --- What the classes of meshes and sounds plug in ---
    //
    // CVmMesh and CVmNewMesh tell CVmObj how to reach the mesh of one of
    // their objects and how to show a node's mesh to scripts; each registers
    // once, when the machine registers the class (its CRegister). Until one
    // is registered, the forms and methods that need it report that they
    // are not available.
    struct LodMeshClass {
        // The level-of-detail mesh of an object of the class; null for an
        // object of another class.
        VRObjLodMesh* (*meshOf)(CVmClassBase* object);
        // A new object of the class around a node's mesh: it does not own
        // the mesh and holds `keeper` (the node's CVmObj) while it lives.
        CVmClassBase* (*wrap)(VRObjLodMesh* mesh, CVmClassBase* keeper);
    };
    struct NewMeshClass {
        VRObjNewMesh* (*meshOf)(CVmClassBase* object);
        CVmClassBase* (*wrap)(VRObjNewMesh* mesh, CVmClassBase* keeper);
    };
    static void RegisterLodMeshClass(const LodMeshClass& c);  // CVmMesh's
    static void RegisterNewMeshClass(const NewMeshClass& c);  // CVmNewMesh's

    // The class of sounds (CVmVRAWav) tells CVmObj how a node carries one of
    // its objects along: `setPosition` gives the sound's source the point
    // as its "Position" through the audio back end and answers 0 when the
    // back end took it.
    struct SoundClass {
        const char* className;
        int32_t (*setPosition)(CVmClassBase* sound, const float* position);
    };
    static void RegisterSoundClass(const SoundClass& c);

    class CRegister : public CVmRegisterClass {
    public:
        // Registers the node lookup of the native-call bridge (type 24).
        CRegister();
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void AddChild(CVmClassBase* object, int mode);
        void RemoveChild(CVmClassBase* object, int mode);
        void LinkToMesh(CVmClassBase* object, int mode);
        void LinkToWav(CVmClassBase* object, int mode);
        template <class X, class L, void (VRObj::*Set)(L*)>
        void LinkTo(CVmClassBase* object, int mode);
        template <void (VRObj::*Turn)(float, float, float, float)>
        void Rotation(CVmClassBase* object, int mode);
        template <void (VRObj::*Set)(float, float, float), bool CarriesSound>
        void Place(CVmClassBase* object, int mode);
        void GetPosition(CVmClassBase* object, int mode);
        void GetScale(CVmClassBase* object, int mode);
        void Draw(CVmClassBase* object, int mode);
        void GetPivotPoint(CVmClassBase* object, int mode);
        void Inspect(CVmClassBase* object, int mode);
        void GetMesh(CVmClassBase* object, int mode);
        void IsColliding(CVmClassBase* object, int mode);
        void IsCollidingBBoxOnly(CVmClassBase* object, int mode);
        void SetScale(CVmClassBase* object, int mode);
        void Normalize(CVmClassBase* object, int mode);
        void LocalToWorld(CVmClassBase* object, int mode);
        template <int Column>
        void Axis(CVmClassBase* object, int mode);
        void TexturePrefetch(CVmClassBase* object, int mode);
        void GetRotationMatrix(CVmClassBase* object, int mode);
        void SetRotationMatrix(CVmClassBase* object, int mode);
        void ModulateMaterials(CVmClassBase* object, int mode);
        template <bool Pre>
        void LinkCallback(CVmClassBase* object, int mode);
        void ForceMaterial(CVmClassBase* object, int mode);
        void GetModelMatrix(CVmClassBase* object, int mode);
        void SetID(CVmClassBase* object, int mode);
        void GetID(CVmClassBase* object, int mode);
        void DrawAxis(CVmClassBase* object, int mode);
        void DrawBoundingBox(CVmClassBase* object, int mode);
        void IsCollidingBBox(CVmClassBase* object, int mode);
        void EnableMatrixCalculation(CVmClassBase* object, int mode);
        template <int32_t Hidden>
        void SetHidden(CVmClassBase* object, int mode);

        // The object in a method call; null (with the bare error) in any
        // other mode.
        static CVmObj* Target(CVmClassBase* object, int mode);
        // A point at parameter k: a Vector's first three components (0 for
        // those it lacks), or the numbers at k, k + 1 and k + 2.
        void ReadPoint(int32_t k, float* point);
        // Parameters 1 and 2 as a segment's ends (Vectors, missing
        // components 0); false, with the error, when one is no Vector.
        bool ReadSegment(float* start, float* end);
        // Parameter k as a script object of class X, or null (no error).
        template <class X>
        X* ObjectParam(int32_t k);
    };

private:
    // What a draw callback calls, with its script function and argument.
    struct Callback {
        CVirtualMachine* machine = nullptr;  // the one that linked it
        CVmValue argument;
    };

    static void Delete(void* object);
    // The node's callbacks: they reach the object, which gives them the
    // function's machine and argument.
    static void PostDrawTrampoline(int32_t index, void* object);
    static void PreDrawTrampoline(int32_t index, void* object);
    static void RunCallback(const Callback& callback, int32_t index);

    // Keeps the value (an Object) alive with the node; `once`: unless it is
    // held already.
    void Hold(const CVmValue& value, bool once = false);
    void Hold(CVmClassBase* object, bool once = false);
    // Drops one reference held for the object; false when none is held.
    bool Drop(CVmClassBase* object);
    // Holds the material here and in the child objects, recursively.
    void HoldMaterial(const CVmValue& material);
    // Carries a linked sound to the node's position; false (with the bare
    // error) when the audio back end refused it.
    bool MoveSound();
    // Undoes on a node owned elsewhere what this object linked, added and
    // called back into.
    void DetachFromNode();

    // Released after the held values: the owner of a node owned elsewhere.
    CVmValue m_keeper;
    std::vector<CVmValue> m_held;
    Callback m_post;
    Callback m_pre;
    CVmClassBase* m_sound = nullptr;  // linked; one of the held values
    bool m_forcedMaterial = false;    // ForceMaterial gave a material
    VRObj* m_node;
};
