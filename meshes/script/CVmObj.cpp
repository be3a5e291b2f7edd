#include "CVmObj.h"

#include <GL/gl.h>

#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "meshes/script/CVmBillboard.h"
#include "meshes/script/CVmMaterial.h"
#include "platform/Thread.h"
#include "runtime/script/CVmExternDLL.h"
#include "scene/script/CVmHtmlPage.h"
#include "scene/script/CVmTerrain.h"
#include "scene/script/CVmText.h"
#include "scene/script/SceneDrawCheck.h"
#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

// The classes of meshes, named exactly as scripts see them.
constexpr const char* kMeshClassName = "CVmMesh";
constexpr const char* kNewMeshClassName = "CVmNewMesh";

// Draw's picking flag: the node draws only under a pixel of the viewport.
constexpr int32_t kDrawPick = 0x20;

constexpr int32_t kMsgNotAString = 2013;    // "Param n. %i must be a string."
constexpr int32_t kMsgOutOfRange = 2015;    // "This numeric value must be between %i and %i."
constexpr int32_t kMsgInvalid = 2017;       // "Param n. %i is invalid."
constexpr int32_t kMsgVectorLength = 2027;  // "Param n. %i must be a vector of %i components length."
constexpr int32_t kMsgColourVector = 2028;  // "Param n. %i must be a vector of 3 or 4 components length."

const char* const kWrongParameters = "Wrong parameters";
const char* const kNotAvailable = "This method is not available yet.";

// What the classes of meshes and sounds registered.
struct PluggedClasses {
    CVmObj::LodMeshClass lodMesh{};
    CVmObj::NewMeshClass newMesh{};
    CVmObj::SoundClass sound{};
};

std::mutex& PluggedLock() {
    static std::mutex lock;
    return lock;
}

PluggedClasses& PluggedShared() {
    static PluggedClasses plugged;
    return plugged;
}

PluggedClasses Plugged() {
    std::lock_guard<std::mutex> lock(PluggedLock());
    return PluggedShared();
}

// What a node links of the objects it draws.
VRObjBillboard* NodeLinkOf(CVmBillboard& b) { return &b.Billboard(); }
VRObjPage* NodeLinkOf(CVmHtmlPage& p) { return p.Page().NodeLink(); }
VRObjText* NodeLinkOf(CVmText& t) { return t.Text().NodeLink(); }
VRObjTerrain* NodeLinkOf(CVmTerrain& t) { return t.NodeLink(); }

// Clears the node's link when it is the object's (an X).
template <class X, class L>
void Unlink(CVmClassBase* object, L*& link) {
    auto* x = dynamic_cast<X*>(object);
    if (x && link == NodeLinkOf(*x)) link = nullptr;
}

bool IsObject(const CVmValue* v) { return v && v->type == VmValueType::Object && v->asObject; }

bool HasClassName(CVmClassBase* object, const char* name) {
    return object && std::strcmp(object->ClassName(), name) == 0;
}

// True when the machine that linked a callback is the current one or one
// that it imported (machines are compared, never reached through the
// pointer kept).
bool Serves(CVirtualMachine* current, const CVirtualMachine* linked) {
    if (current == linked) return true;
    for (const auto& imported : current->ImportedMachines())
        if (Serves(imported.get(), linked)) return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The object

CVmObj::CVmObj(VRObj* node) : m_node(node ? node : new VRObj()) {}

CVmObj::CVmObj(VRObj* node, CVmClassBase* keeper) : m_node(node) {
    m_flag = 0;
    m_keeper.SetObject(keeper);
}

CVmObj::~CVmObj() {
    if (m_flag)
        delete m_node;
    else
        DetachFromNode();
    // The callback arguments, then the held values, then the keeper go
    // with the members.
}

void CVmObj::Delete(void* object) { delete static_cast<CVmObj*>(object); }

void CVmObj::Release() { VRObj::ReleaseAfterDraw(&CVmObj::Delete, this); }

void CVmObj::DetachFromNode() {
    VRObj& n = *m_node;
    if (n.postArgument == this) n.LinkToCallback(nullptr, 0, nullptr);
    if (n.preArgument == this) n.LinkToPreCallback(nullptr, 0, nullptr);
    const PluggedClasses plugged = Plugged();
    for (const CVmValue& v : m_held) {
        CVmClassBase* o = v.asObject;
        if (auto* child = dynamic_cast<CVmObj*>(o)) n.RemoveChild(child->m_node);
        Unlink<CVmBillboard>(o, n.billboard);
        Unlink<CVmText>(o, n.text);
        Unlink<CVmHtmlPage>(o, n.page);
        Unlink<CVmTerrain>(o, n.terrain);
        if (VRObjNewMesh* m = plugged.newMesh.meshOf ? plugged.newMesh.meshOf(o) : nullptr)
            if (n.newMesh == m) n.LinkToNewMesh(nullptr);
        if (VRObjLodMesh* m = plugged.lodMesh.meshOf ? plugged.lodMesh.meshOf(o) : nullptr)
            for (VRObjLodMesh*& slot : n.lodMeshes)
                if (slot == m) slot = nullptr;
    }
    if (m_forcedMaterial) n.ForceMaterial(nullptr, 1);
}

void CVmObj::Hold(const CVmValue& value, bool once) {
    if (!IsObject(&value)) return;
    if (once)
        for (const CVmValue& v : m_held)
            if (v.asObject == value.asObject) return;
    m_held.push_back(value);
}

void CVmObj::Hold(CVmClassBase* object, bool once) {
    CVmValue v;
    v.SetObject(object);
    Hold(v, once);
}

bool CVmObj::Drop(CVmClassBase* object) {
    for (size_t i = 0; i < m_held.size(); ++i) {
        if (m_held[i].asObject != object) continue;
        // The reference goes after the array is whole again.
        CVmValue dropped(std::move(m_held[i]));
        m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    return false;
}

void CVmObj::HoldMaterial(const CVmValue& material) {
    Hold(material, true);
    // Children hold only what was added through this object: a tree has no
    // cycles, so the walk ends.
    for (size_t i = 0; i < m_held.size(); ++i)
        if (auto* child = dynamic_cast<CVmObj*>(m_held[i].asObject)) child->HoldMaterial(material);
}

bool CVmObj::MoveSound() {
    if (!m_sound) return true;
    const PluggedClasses plugged = Plugged();
    if (plugged.sound.setPosition && plugged.sound.setPosition(m_sound, m_node->position) == 0) return true;
    VmErrorStream();
    return false;
}

void CVmObj::PostDrawTrampoline(int32_t index, void* object) {
    RunCallback(static_cast<CVmObj*>(object)->m_post, index);
}

void CVmObj::PreDrawTrampoline(int32_t index, void* object) {
    RunCallback(static_cast<CVmObj*>(object)->m_pre, index);
}

void CVmObj::RunCallback(const Callback& callback, int32_t index) {
    // A draw on a thread without a machine (a loader's) reaches no script,
    // and neither does one of another machine's script.
    CVirtualMachine* current = GetVirtualMachine(CurrentThreadId());
    if (!current || !callback.machine || !Serves(current, callback.machine)) return;
    CVirtualMachine* vm = callback.machine;
    // The argument is copied: the function may link another one.
    vm->AddArgValue(callback.argument);
    vm->CallFunction(index);
}

void CVmObj::RegisterLodMeshClass(const LodMeshClass& c) {
    std::lock_guard<std::mutex> lock(PluggedLock());
    PluggedShared().lodMesh = c;
}

void CVmObj::RegisterNewMeshClass(const NewMeshClass& c) {
    std::lock_guard<std::mutex> lock(PluggedLock());
    PluggedShared().newMesh = c;
}

void CVmObj::RegisterSoundClass(const SoundClass& c) {
    std::lock_guard<std::mutex> lock(PluggedLock());
    PluggedShared().sound = c;
}

void CVmObj::Make(CVmRegisterClass& call, int32_t argCount) {
    if (argCount == 0) return call.ReturnObject(new CVmObj());
    CVmValue* first = call.GetParam(1);
    if (IsObject(first)) {
        // The classes in their order, by exact name.
        CVmClassBase* o = first->asObject;
        const PluggedClasses plugged = Plugged();
        VRObj* node = nullptr;
        if (HasClassName(o, kMeshClassName)) {
            if (VRObjLodMesh* m = plugged.lodMesh.meshOf ? plugged.lodMesh.meshOf(o) : nullptr) node = new VRObj(m);
        } else if (HasClassName(o, kNewMeshClassName)) {
            if (VRObjNewMesh* m = plugged.newMesh.meshOf ? plugged.newMesh.meshOf(o) : nullptr) node = new VRObj(m);
        } else if (HasClassName(o, CVmTerrain::kClassName)) {
            if (auto* t = dynamic_cast<CVmTerrain*>(o)) node = new VRObj(t->NodeLink());
        }
        if (node) {
            auto* made = new CVmObj(node);
            made->Hold(*first);
            return call.ReturnObject(made);
        }
    } else if (first && first->type == VmValueType::String) {
        VmErrorStream() << "Nodes from model files are not available yet.";
        return;
    }
    VmErrorStream() << "Invalid param 1: " << first;
}

// ---------------------------------------------------------------------------
// Registration

CVmObj::CRegister::CRegister() {
    CVmExternDLL::RegisterEngineObjectClass(kClassName, [](CVmClassBase* object) -> void* {
        auto* o = dynamic_cast<CVmObj*>(object);
        return o ? o->m_node : nullptr;
    });
}

bool CVmObj::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("AddChild", &CRegister::AddChild);
    AddMethod("RemoveChild", &CRegister::RemoveChild);
    AddMethod("LinkToMesh", &CRegister::LinkToMesh);
    AddMethod("LinkToWav", &CRegister::LinkToWav);
    AddMethod("LinkToBillboard", &CRegister::LinkTo<CVmBillboard, VRObjBillboard, &VRObj::LinkToBillboard>);
    AddMethod("LinkToHtmlPage", &CRegister::LinkTo<CVmHtmlPage, VRObjPage, &VRObj::LinkToHtmlPage>);
    AddMethod("LinkToText", &CRegister::LinkTo<CVmText, VRObjText, &VRObj::LinkToText>);
    AddMethod("LinkToTerrain", &CRegister::LinkTo<CVmTerrain, VRObjTerrain, &VRObj::LinkToTerrain>);
    AddMethod("SetRotation", &CRegister::Rotation<&VRObj::SetRotation>);
    AddMethod("Rotate", &CRegister::Rotation<&VRObj::Rotate>);
    AddMethod("RotateABS", &CRegister::Rotation<&VRObj::RotateABS>);
    AddMethod("SetPosition", &CRegister::Place<&VRObj::SetPosition, true>);
    AddMethod("GetPosition", &CRegister::GetPosition);
    AddMethod("GetScale", &CRegister::GetScale);
    AddMethod("Draw", &CRegister::Draw);
    AddMethod("Translate", &CRegister::Place<&VRObj::Translate, true>);
    AddMethod("SetPivotPoint", &CRegister::Place<&VRObj::SetPivotPoint, false>);
    AddMethod("GetPivotPoint", &CRegister::GetPivotPoint);
    AddMethod("Inspect", &CRegister::Inspect);
    AddMethod("GetMesh", &CRegister::GetMesh);
    AddMethod("IsColliding", &CRegister::IsColliding);
    AddMethod("IsCollidingBBoxOnly", &CRegister::IsCollidingBBoxOnly);
    AddMethod("SetScale", &CRegister::SetScale);
    AddMethod("Normalize", &CRegister::Normalize);
    AddMethod("LocalToWorld", &CRegister::LocalToWorld);
    AddMethod("GetXaxis", &CRegister::Axis<0>);
    AddMethod("GetYaxis", &CRegister::Axis<1>);
    AddMethod("GetZaxis", &CRegister::Axis<2>);
    AddMethod("TexturePrefetch", &CRegister::TexturePrefetch);
    AddMethod("GetRotationMatrix", &CRegister::GetRotationMatrix);
    AddMethod("SetRotationMatrix", &CRegister::SetRotationMatrix);
    AddMethod("ModulateMaterials", &CRegister::ModulateMaterials);
    AddMethod("LinkToCallback", &CRegister::LinkCallback<false>);
    AddMethod("LinkToPreCallback", &CRegister::LinkCallback<true>);
    AddMethod("ForceMaterial", &CRegister::ForceMaterial);
    AddMethod("GetModelMatrix", &CRegister::GetModelMatrix);
    AddMethod("SetID", &CRegister::SetID);
    AddMethod("GetID", &CRegister::GetID);
    AddMethod("DrawAxis", &CRegister::DrawAxis);
    AddMethod("DrawBoundingBox", &CRegister::DrawBoundingBox);
    AddMethod("IsCollidingBBox", &CRegister::IsCollidingBBox);
    AddMethod("EnableMatrixCalculation", &CRegister::EnableMatrixCalculation);
    AddMethod("Hide", &CRegister::SetHidden<1>);
    AddMethod("Unhide", &CRegister::SetHidden<0>);
    AddMethod("Move", &CRegister::Place<&VRObj::Move, false>);
    return true;
}

// ---------------------------------------------------------------------------
// Parameter forms

CVmObj* CVmObj::CRegister::Target(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return static_cast<CVmObj*>(object);
}

void CVmObj::CRegister::ReadPoint(int32_t k, float* point) {
    VmVectorParam v;
    if (ReadParam(k, v, false)) {
        for (int32_t i = 0; i < 3; ++i) point[i] = v[i];
        return;
    }
    for (int32_t i = 0; i < 3; ++i) point[i] = GetParamFloat(k + i, false);
}

bool CVmObj::CRegister::ReadSegment(float* start, float* end) {
    VmVectorParam a, b;
    if (!ReadParam(1, a, false) || !ReadParam(2, b, false)) {
        VmErrorStream() << "param n. 1 and 2 must be a 3 dim vector.";
        return false;
    }
    for (int32_t i = 0; i < 3; ++i) {
        start[i] = a[i];
        end[i] = b[i];
    }
    return true;
}

template <class X>
X* CVmObj::CRegister::ObjectParam(int32_t k) {
    X* object = nullptr;
    return ReadParam(k, object, false) ? object : nullptr;
}

void CVmObj::CRegister::Create(CVmClassBase*, int) { Make(*this, ArgCount()); }

// ---------------------------------------------------------------------------
// Children and links

void CVmObj::CRegister::AddChild(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    CVmObj* child = ObjectParam<CVmObj>(1);
    if (!child) return (void)VmErrorStream();
    // The node itself, one of its ancestors or a child already there would
    // make the tree a cycle or draw a child twice.
    if (o->m_node->AddChild(child->m_node, GetParamFloat(2, false), GetParamFloat(3, false),
                            GetParamFloat(4, false)) < 0)
        return VmErrorMsg(kMsgInvalid, 1);
    o->Hold(child);
}

void CVmObj::CRegister::RemoveChild(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    CVmObj* child = ObjectParam<CVmObj>(1);
    if (!child) return (void)VmErrorStream();
    const bool removed = o->m_node->RemoveChild(child->m_node) >= 0;
    if (removed) o->Drop(child);
    VmReturnBool(removed);
}

void CVmObj::CRegister::LinkToMesh(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    const PluggedClasses plugged = Plugged();
    if (!plugged.lodMesh.meshOf && !plugged.newMesh.meshOf) return (void)(VmErrorStream() << kNotAvailable);
    CVmValue* mesh = GetParam(1);
    CVmClassBase* m = IsObject(mesh) ? mesh->asObject : nullptr;
    VRObjLodMesh* lod = HasClassName(m, kMeshClassName) && plugged.lodMesh.meshOf ? plugged.lodMesh.meshOf(m) : nullptr;
    VRObjNewMesh* fresh =
        HasClassName(m, kNewMeshClassName) && plugged.newMesh.meshOf ? plugged.newMesh.meshOf(m) : nullptr;
    if (lod) {
        if (o->m_node->LinkToMesh(lod, GetParamFloat(2, false)) < 0)
            return (void)(VmErrorStream() << "A node has at most " << kObjLodLevels << " levels of detail.");
    } else if (fresh) {
        o->m_node->LinkToNewMesh(fresh);
    } else {
        return (void)VmErrorStream();
    }
    o->Hold(*mesh);
}

void CVmObj::CRegister::LinkToWav(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    const PluggedClasses plugged = Plugged();
    if (!plugged.sound.className) return (void)(VmErrorStream() << kNotAvailable);
    CVmValue* sound = GetParam(1);
    if (!IsObject(sound) || !HasClassName(sound->asObject, plugged.sound.className)) return (void)VmErrorStream();
    o->m_sound = sound->asObject;
    o->Hold(*sound);
}

// LinkToBillboard, LinkToHtmlPage, LinkToText, LinkToTerrain: an object of
// class X, whose part the node draws.
template <class X, class L, void (VRObj::*Set)(L*)>
void CVmObj::CRegister::LinkTo(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    X* linked = ObjectParam<X>(1);
    if (!linked) return (void)VmErrorStream();
    (o->m_node->*Set)(NodeLinkOf(*linked));
    o->Hold(linked);
}

// ---------------------------------------------------------------------------
// Transform

// (angle in degrees, axis as a Vector or three numbers)
template <void (VRObj::*Turn)(float, float, float, float)>
void CVmObj::CRegister::Rotation(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float axis[3];
    ReadPoint(2, axis);
    (o->m_node->*Turn)(GetParamFloat(1, false), axis[0], axis[1], axis[2]);
}

// SetPosition, Translate, Move, SetPivotPoint (a Vector or three numbers);
// a linked sound follows the first two.
template <void (VRObj::*Set)(float, float, float), bool CarriesSound>
void CVmObj::CRegister::Place(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float p[3];
    ReadPoint(1, p);
    (o->m_node->*Set)(p[0], p[1], p[2]);
    if (CarriesSound) o->MoveSound();
}

// Answers in every call mode.
void CVmObj::CRegister::GetPosition(CVmClassBase* object, int) {
    if (!object) return;
    float p[3];
    static_cast<CVmObj*>(object)->m_node->GetPosition(p);
    VmReturnVector(p, 3);
}

// Answers in every call mode.
void CVmObj::CRegister::GetScale(CVmClassBase* object, int) {
    if (!object) return;
    float s[3];
    static_cast<CVmObj*>(object)->m_node->GetScale(s);
    VmReturnVector(s, 3);
}

void CVmObj::CRegister::GetPivotPoint(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float p[3];
    VmReturnVector(o->m_node->GetPivotPoint(p), 3);
}

// A Vector of exactly 3, one non-zero number, or three numbers.
void CVmObj::CRegister::SetScale(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float s[3] = {0, 0, 0};
    VmVectorParam v;
    if (ArgCount() == 1 && ReadParam(1, v, false)) {
        if (v.Count() != 3) return (void)(VmErrorStream() << kWrongParameters);
        for (int32_t i = 0; i < 3; ++i) s[i] = v[i];
    } else if (ArgCount() == 1) {
        s[0] = s[1] = s[2] = GetParamFloat(1, false);
        if (s[0] == 0.0f) return (void)(VmErrorStream() << kWrongParameters);
    } else if (ArgCount() == 3) {
        for (int32_t i = 0; i < 3; ++i) s[i] = GetParamFloat(i + 1, false);
    } else {
        return (void)(VmErrorStream() << kWrongParameters);
    }
    o->m_node->SetScale(s[0], s[1], s[2]);
}

void CVmObj::CRegister::Normalize(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) VmReturnReal(o->m_node->Normalize(GetParamFloat(1, false)));
}

// (point Vector [, output]): the point taken out of the node's frame.
void CVmObj::CRegister::LocalToWorld(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    VmVectorParam v;
    if (!ReadParam(1, v, false)) return (void)(VmErrorStream() << "param n. 1 and 2 must be a 3-dim vector.");
    float in[4] = {0, 0, 0, 1};
    for (int32_t i = 0; i < 4 && i < v.Count(); ++i) in[i] = v[i];
    float out[4];
    o->m_node->LocalToWorld(in, out);
    if (ArgCount() >= 2) GetParam(2)->SetVector(out, 3);
    VmReturnVector(out, 3);
}

// A column of the rotation matrix: the node's axis in its parent's frame.
template <int Column>
void CVmObj::CRegister::Axis(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) VmReturnVector(o->m_node->rotation + 4 * Column, 3);
}

void CVmObj::CRegister::GetRotationMatrix(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) VmReturnVector(o->m_node->rotation, 16);
}

void CVmObj::CRegister::SetRotationMatrix(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    VmVectorParam m;
    if (!ReadParam(1, m, false) || m.Count() < 16) return VmErrorMsg(kMsgVectorLength, 1, 16);
    o->m_node->SetRotationMatrix(m.Data());
}

void CVmObj::CRegister::GetModelMatrix(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float m[16];
    o->m_node->GetModelMatrix(m);
    VmReturnVector(m, 16);
}

void CVmObj::CRegister::SetID(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->id = GetParamInt(1, false);
}

void CVmObj::CRegister::GetID(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) VmReturnInteger(o->m_node->id);
}

template <int32_t Hidden>
void CVmObj::CRegister::SetHidden(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->hidden = Hidden;
}

void CVmObj::CRegister::EnableMatrixCalculation(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->EnableMatrixCalculation(GetParamBool(1, false) ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Materials and meshes

// (Vector of 3 or 4) or (r, g, b [, alpha]); alpha 1 by default.
void CVmObj::CRegister::ModulateMaterials(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float c[4] = {0, 0, 0, 1};
    if (ArgCount() == 1) {
        VmVectorParam v;
        if (!ReadParam(1, v, false) || v.Count() < 3 || v.Count() > 4) return VmErrorMsg(kMsgColourVector, 1);
        for (int32_t i = 0; i < v.Count(); ++i) c[i] = v[i];
    } else if (ArgCount() == 3 || ArgCount() == 4) {
        for (int32_t i = 0; i < ArgCount(); ++i) c[i] = GetParamFloat(i + 1, false);
    } else {
        return (void)(VmErrorStream() << kWrongParameters);
    }
    o->m_node->ModulateMaterials(c[0], c[1], c[2], c[3]);
}

// A CVmMaterial forces its record on the meshes (held with every node it
// reaches); anything else clears the forced material.
void CVmObj::CRegister::ForceMaterial(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    CVmMaterial* material = ObjectParam<CVmMaterial>(1);
    bool recursive = true;
    if (ArgCount() >= 2) recursive = GetParamBool(2, false);
    if (material) {
        if (recursive)
            o->HoldMaterial(*GetParam(1));
        else
            o->Hold(material, true);
        o->m_forcedMaterial = true;
    }
    o->m_node->ForceMaterial(material ? &material->Material() : nullptr, recursive ? 1 : 0);
}

void CVmObj::CRegister::TexturePrefetch(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->TexturePrefetch();
}

// Answers in every call mode.
void CVmObj::CRegister::Inspect(CVmClassBase* object, int) {
    if (!object) return;
    VmReturnInteger(static_cast<CVmObj*>(object)->m_node->Inspect(GetParamFloat(1, false), GetParamFloat(2, false),
                                                                  GetParamFloat(3, false)));
}

// The new mesh, else the level-of-detail mesh of the index (0 to 9; an
// empty slot answers nothing), as a new object that keeps this one alive.
// Answers in every call mode.
void CVmObj::CRegister::GetMesh(CVmClassBase* object, int) {
    if (!object) return;
    auto* o = static_cast<CVmObj*>(object);
    const PluggedClasses plugged = Plugged();
    if (VRObjNewMesh* fresh = o->m_node->newMesh) {
        if (!plugged.newMesh.wrap) return (void)(VmErrorStream() << kNotAvailable);
        return ReturnObject(plugged.newMesh.wrap(fresh, o));
    }
    const int32_t index = GetParamInt(1, false);
    if (index < 0 || index >= kObjLodLevels) return VmErrorMsg(kMsgOutOfRange, 0, kObjLodLevels);
    VRObjLodMesh* mesh = o->m_node->lodMeshes[index];
    if (!mesh) return;
    if (!plugged.lodMesh.wrap) return (void)(VmErrorStream() << kNotAvailable);
    ReturnObject(plugged.lodMesh.wrap(mesh, o));
}

// ---------------------------------------------------------------------------
// Drawing

// (flags, level, billboard flags): the node's draw result; with flag 0x20
// (picking) only while the window has the input and (level, billboard
// flags) is a pixel of the viewport, else -1.
void CVmObj::CRegister::Draw(CVmClassBase* object, int mode) {
    if (!RequireInScene()) return;
    CVmObj* o = Target(object, mode);
    if (!o) return;
    const int32_t flags = GetParamInt(1, false), level = GetParamInt(2, false), billboardFlags = GetParamInt(3, false);
    if (flags & kDrawPick) {
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        const bool active = g_engineState && g_engineState->Input().hasFocus;
        if (!active || level < 0 || level > viewport[2] || billboardFlags < 0 || billboardFlags > viewport[3])
            return VmReturnInteger(-1);
    }
    // The callbacks may let go of this object: nothing of it is read after
    // the draw.
    VmReturnInteger(o->m_node->Draw(flags, level, billboardFlags));
}

void CVmObj::CRegister::DrawAxis(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->DrawAxis(1);
}

void CVmObj::CRegister::DrawBoundingBox(CVmClassBase* object, int mode) {
    if (CVmObj* o = Target(object, mode)) o->m_node->DrawBoundingBox(GetParamInt(1, false), 1);
}

// (function name [, argument]): the function is called with the argument
// at every draw of the node, before (pre) or after what it draws.
template <bool Pre>
void CVmObj::CRegister::LinkCallback(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    std::string name;
    if (!ReadParam(1, name, false)) return VmErrorMsg(kMsgNotAString, 1);
    const int32_t index = g_currentVM->FindFunction(name.c_str());
    if (index < 0) return (void)(VmErrorStream() << "'" << name << "' is a invalid function name.");
    Callback& c = Pre ? o->m_pre : o->m_post;
    c.machine = g_currentVM;
    if (ArgCount() >= 2)
        c.argument = *GetParam(2);
    else
        c.argument.SetVoid();
    if (Pre)
        o->m_node->LinkToPreCallback(&CVmObj::PreDrawTrampoline, index, o);
    else
        o->m_node->LinkToCallback(&CVmObj::PostDrawTrampoline, index, o);
}

// ---------------------------------------------------------------------------
// Collisions

// (start, end [, hit point, normal, face index, hit ID outputs [, skip
// hidden]]): Bool.
void CVmObj::CRegister::IsColliding(CVmClassBase* object, int mode) {
    float a[3], b[3];
    if (!ReadSegment(a, b)) return;
    CVmObj* o = Target(object, mode);
    if (!o) return;
    float point[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
    int32_t face = -1, id = -1;
    const bool skipHidden = ArgCount() >= 7 ? GetParamBool(7, false) : true;
    const bool hit = o->m_node->IsColliding(a, b, point, normal, &face, &id, skipHidden ? 1 : 0);
    if (hit) {
        if (ArgCount() >= 3) GetParam(3)->SetVector(point, 3);
        if (ArgCount() >= 4) GetParam(4)->SetVector(normal, 3);
        if (ArgCount() >= 5) GetParam(5)->SetInteger(face);
        if (ArgCount() >= 6) GetParam(6)->SetInteger(id);
    }
    VmReturnBool(hit);
}

// (start, end [, skip hidden]): Bool.
void CVmObj::CRegister::IsCollidingBBoxOnly(CVmClassBase* object, int mode) {
    float a[3], b[3];
    if (!ReadSegment(a, b)) return;
    CVmObj* o = Target(object, mode);
    if (!o) return;
    const bool skipHidden = ArgCount() >= 3 ? GetParamBool(3, false) : true;
    VmReturnBool(o->m_node->IsCollidingBBoxOnly(a, b, skipHidden ? 1 : 0));
}

void CVmObj::CRegister::IsCollidingBBox(CVmClassBase* object, int mode) {
    CVmObj* o = Target(object, mode);
    if (!o) return;
    CVmObj* other = ObjectParam<CVmObj>(1);
    if (!other) return (void)VmErrorStream();
    VmReturnBool(o->m_node->IsCollidingBBox(other->m_node));
}
