#include "VmRegister.h"

#include <cstring>
#include <ostream>

#include "VirtualMachine.h"

std::string VmUpperName(const char* name) {
    std::string s = name ? name : "";
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// ---------------------------------------------------------------------------
// Return slot helpers

CVmValue* VmGetReturnSlot() { return g_currentVM ? g_currentVM->ReturnSlot() : nullptr; }

void VmReturnInteger(int32_t v) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetInteger(v);
}

void VmReturnReal(float v) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetReal(v);
}

void VmReturnBool(bool v) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetBool(v);
}

void VmReturnString(const char* text, int32_t length) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetString(text, length);
}

void VmReturnVector(const float* values, int32_t count) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetVector(values, count);
}

void VmReturnArray(CVmArray* array) {
    if (CVmValue* r = VmGetReturnSlot()) r->SetArray(array);
}

bool VmHasError() { return g_currentVM && g_currentVM->HasError(); }

// ---------------------------------------------------------------------------
// CVmRegisterClass

CVmRegisterClass::CVmRegisterClass() : m_names(43) {}

CVmRegisterClass::~CVmRegisterClass() = default;

std::vector<VmMethodSlot>& CVmRegisterClass::SlotsFor(const CVirtualMachine* machine) {
    if (!m_slotsMachine || m_slotsMachine == machine) {
        m_slotsMachine = machine;
        return m_slots;
    }
    for (Binding& b : m_otherBindings)
        if (b.machine == machine) return b.slots;
    m_otherBindings.push_back({machine, {}});
    return m_otherBindings.back().slots;
}

const VmMethodSlot* CVmRegisterClass::Slot(int32_t index) {
    std::vector<VmMethodSlot>& slots = SlotsFor(g_currentVM);
    return (index >= 0 && static_cast<size_t>(index) < slots.size()) ? &slots[static_cast<size_t>(index)] : nullptr;
}

int32_t CVmRegisterClass::SlotCount() { return static_cast<int32_t>(SlotsFor(g_currentVM).size()); }

void CVmRegisterClass::ClearSlots(const CVirtualMachine* machine) {
    if (machine == m_slotsMachine) {
        m_slots.clear();
    } else {
        for (size_t i = 0; i < m_otherBindings.size(); ++i) {
            if (m_otherBindings[i].machine == machine) {
                m_otherBindings.erase(m_otherBindings.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
}

VmMethodSlot CVmRegisterClass::NewSlot() { return {&CVmRegisterClass::DefaultCallback, this, -1}; }

VmMethodEntry* CVmRegisterClass::NewEntry(const char* name, VmNativeMethod handler) {
    VmMethodEntry* e = new VmMethodEntry();
    e->name = VmUpperName(name);
    e->handler = handler;
    e->owner = nullptr;
    return e;
}

const char* CVmRegisterClass::GetClassName() { return ""; }

VmNativeMethod CVmRegisterClass::GetFactory() { return &CVmRegisterClass::DefaultCallback; }

bool CVmRegisterClass::AddEntry(const char* name, VmNativeMethod handler, CVmRegisterClass* owner) {
    VmMethodEntry* e = NewEntry(name, handler);
    e->owner = owner;
    if (m_names.Insert(e->name.c_str(), e) != 0) {
        delete e;
        return false;
    }
    return true;
}

bool CVmRegisterClass::RegisterMethods(int32_t n) {
    std::vector<VmMethodSlot>& slots = SlotsFor(g_currentVM);
    slots.assign(static_cast<size_t>(n > 0 ? n : 0), NewSlot());
    AddMethod("__Call", &CVmRegisterClass::HiddenCall);
    AddMethod("__Get", &CVmRegisterClass::HiddenGet);
    AddMethod("__Set", &CVmRegisterClass::HiddenSet);
    AddMethod("__GetName", &CVmRegisterClass::HiddenGetName);
    return true;
}

bool CVmRegisterClass::BindMethod(const char* name, int32_t index) {
    std::vector<VmMethodSlot>& slots = SlotsFor(g_currentVM);
    if (index < 0 || static_cast<size_t>(index) >= slots.size()) return false;
    const VmMethodEntry* e = m_names.Find(VmUpperName(name).c_str());
    if (!e) return false;
    slots[static_cast<size_t>(index)] = {e->handler, this, -1};
    return true;
}

bool CVmRegisterClass::AfterBinding() { return true; }

bool CVmRegisterClass::InvokeSlot(const VmMethodSlot& slot, CVmClassBase* object, int mode, int32_t argCount) {
    const VmMethodSlot bound = slot;  // a nested run may rebind the slot
    CallScope call(*bound.owner, argCount, bound.data);
    (bound.owner->*bound.handler)(object, mode);
    return call.Ok();
}

bool CVmRegisterClass::CallBound(CVmClassBase* object, int32_t index, int32_t argCount, int mode) {
    const VmMethodSlot* slot = Slot(index);
    return slot && InvokeSlot(*slot, object, mode, argCount);
}

bool CVmRegisterClass::CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) {
    return CallBound(object, index, argCount, VM_CALL_METHOD);
}

bool CVmRegisterClass::CallGet(CVmClassBase* object, int32_t index) {
    return CallBound(object, index, 0, VM_GET_MEMBER);
}

bool CVmRegisterClass::CallSet(CVmClassBase* object, int32_t index) {
    return CallBound(object, index, 1, VM_SET_MEMBER);
}

bool CVmRegisterClass::CallByName(CVmClassBase* object, const char* upperName, int mode) {
    const VmMethodEntry* e = m_names.Find(upperName ? upperName : "");
    if (!e) return false;
    CallScope call(*this, ArgCount(), -1);
    (this->*e->handler)(object, mode);
    return call.Ok();
}

bool CVmRegisterClass::CallByNameWith(CVmClassBase* object, const char* upperName, int mode, int32_t argCount) {
    CallScope call(*this, argCount, -1);
    return CallByName(object, upperName, mode);
}

CVmValue* CVmRegisterClass::GetMemberByName(CVmClassBase* object, const char* upperName, bool* found) {
    if (found) *found = false;
    CVirtualMachine* vm = g_currentVM;
    const VmMethodEntry* e = m_names.Find(upperName ? upperName : "");
    if (!e || !vm) return nullptr;
    CVmValue* base = vm->Top();
    if (!vm->PushVoid()) return nullptr;
    CallScope call(*this, 0, -1);
    (this->*e->handler)(object, VM_GET_MEMBER);
    CVmValue* result = nullptr;
    if (call.Ok()) {
        result = new CVmValue(*vm->Top());
        if (found) *found = true;
    }
    vm->PopTo(base);
    return result;
}

void CVmRegisterClass::Release() { delete this; }

CVmClassBase* CVmRegisterClass::CreateFromStream(ByteReader&) { return nullptr; }

void CVmRegisterClass::DefaultCallback(CVmClassBase*, int) { FailCall(); }

void CVmRegisterClass::ReturnObject(CVmClassBase* object) {
    CVmValue* slot = VmGetReturnSlot();
    if (!object || !slot) return;
    if (!object->m_registration) {
        if (VmUpperName(object->ClassName()) == VmUpperName(GetClassName()))
            object->m_registration = this;
        else if (g_currentVM)
            object->m_registration = g_currentVM->FindClass(object->ClassName());
        if (!object->m_registration) {
            VmErrorStream() << " la classe " << object->ClassName() << " non \xE8 stata registrata.";
            // Nobody holds the object: it is released here rather than lost.
            CVmValue drop;
            drop.SetObject(object);
            return;
        }
    }
    slot->SetObject(object);
}

std::ostream& CVmRegisterClass::WarningStream() {
    CVirtualMachine* vm = g_currentVM;
    if (!vm) {
        static std::ostream discard(nullptr);
        return discard;
    }
    if (vm->IsQuiet()) return vm->NullStream();
    std::ostream& os = vm->Warning(-1);
    os << (vm->RunningCallName() ? vm->RunningCallName() : "***") << ": ";
    return os;
}

// ---------------------------------------------------------------------------
// Hidden members

void CVmRegisterClass::CallHiddenByName(CVmClassBase* object, int innerMode, const char* failureKind) {
    CVirtualMachine* vm = g_currentVM;
    const CVmString* nameParam = nullptr;
    if (!ReadParams(nameParam) || vm->HasError()) return;
    // The name leaves its slot and the stack top comes down by one, so the
    // return slot takes its place and the other arguments become 1 to n-1.
    CVmValue name;
    name.Move(*GetParam(1));
    CVmValue* returnSlot = vm->ReturnSlot();
    CVmValue* nameSlot = returnSlot - 1;
    nameSlot->Move(*returnSlot);
    vm->m_top = nameSlot;
    char upper[64];
    const int32_t n = name.asString->Length() < 63 ? name.asString->Length() : 63;
    for (int32_t i = 0; i < n; ++i) {
        const char c = name.asString->data[i];
        upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    upper[n] = '\0';
    const bool ok = CallByNameWith(object, upper, innerMode, ArgCount() - 1);
    if (!ok)
        VmErrorStream() << failureKind << " '" << upper << "' doesn't belong to class '" << GetClassName() << "'.";
    // The result goes back up into the first return slot and the name back
    // into its own slot.
    returnSlot->Move(*nameSlot);
    nameSlot->Move(name);
    vm->m_top = returnSlot;
}

bool CVmRegisterClass::RequireMethodCall(int mode, bool memberReadToo) {
    if (mode == VM_CALL_METHOD || (memberReadToo && mode == VM_GET_MEMBER)) return true;
    if (g_currentVM) g_currentVM->Error(-1);
    return false;
}

void CVmRegisterClass::HiddenCall(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode)) return;
    CallHiddenByName(object, VM_CALL_METHOD, "Method");
}

void CVmRegisterClass::HiddenGet(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode)) return;
    CallHiddenByName(object, VM_GET_MEMBER, "Member");
}

void CVmRegisterClass::HiddenSet(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode)) return;
    CallHiddenByName(object, VM_SET_MEMBER, "Member");
}

void CVmRegisterClass::HiddenGetName(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode)) return;
    VmReturnString(object ? object->ClassName() : "");
}

// ---------------------------------------------------------------------------
// CVmRegisterFunction

CVmRegisterFunction::CVmRegisterFunction() = default;

CVmRegisterFunction::~CVmRegisterFunction() = default;

VmMethodSlot CVmRegisterFunction::NewSlot() { return {&CVmRegisterClass::DefaultCallback, this, -1}; }

VmMethodEntry* CVmRegisterFunction::NewEntry(const char* name, VmNativeMethod handler) {
    VmMethodEntry* e = CVmRegisterClass::NewEntry(name, handler);
    e->owner = nullptr;
    return e;
}

const char* CVmRegisterFunction::GetClassName() { return "$$ExternFunction$$"; }

VmNativeMethod CVmRegisterFunction::GetFactory() { return nullptr; }

bool CVmRegisterFunction::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    m_sets.ForEach([n](CVmRegisterFunction* set) { set->RegisterMethods(n); });
    return true;
}

VmMethodEntry* CVmRegisterFunction::FindInSets(const char* upperName) {
    if (VmMethodEntry* e = m_names.Find(upperName)) return e;
    VmMethodEntry* found = nullptr;
    m_sets.ForEach([&](CVmRegisterFunction* set) {
        if (!found) found = set->FindInSets(upperName);
    });
    return found;
}

bool CVmRegisterFunction::BindMethod(const char* name, int32_t index) {
    std::vector<VmMethodSlot>& slots = SlotsFor(g_currentVM);
    if (index < 0 || static_cast<size_t>(index) >= slots.size()) return false;
    VmMethodEntry* e = FindInSets(VmUpperName(name).c_str());
    if (!e) return false;
    slots[static_cast<size_t>(index)] = {e->handler, e->owner ? e->owner : this, e->data};
    return true;
}

void CVmRegisterFunction::BindSlot(int32_t index, VmNativeMethod handler, CVmRegisterClass* owner, int32_t data) {
    std::vector<VmMethodSlot>& slots = SlotsFor(g_currentVM);
    if (index < 0 || static_cast<size_t>(index) >= slots.size()) return;
    slots[static_cast<size_t>(index)] = {handler, owner ? owner : this, data};
}

bool CVmRegisterFunction::AfterBinding() {
    m_sets.ForEach([](CVmRegisterFunction* set) { set->AfterBinding(); });
    return true;
}

// Function sets have no methods or members: the bare error prefix.
bool CVmRegisterFunction::CallMethod(CVmClassBase*, int32_t, int32_t) {
    if (g_currentVM) g_currentVM->Error(-1);
    return false;
}

bool CVmRegisterFunction::CallGet(CVmClassBase*, int32_t) {
    if (g_currentVM) g_currentVM->Error(-1);
    return false;
}

bool CVmRegisterFunction::CallSet(CVmClassBase*, int32_t) {
    if (g_currentVM) g_currentVM->Error(-1);
    return false;
}

CVmClassBase* CVmRegisterFunction::CreateFromStream(ByteReader&) { return nullptr; }

// ---------------------------------------------------------------------------
// CVmInternalFunction

bool CVmInternalFunction::RegisterMethods(int32_t n) {
    CVmRegisterFunction::RegisterMethods(n);
    AddFunction("CallBack", &CVmInternalFunction::CallBack);
    AddFunction("IsFunction", &CVmInternalFunction::IsFunction);
    AddFunction("GetClassName", &CVmInternalFunction::GetClassNameOf);
    return true;
}

void CVmInternalFunction::CallBack(CVmClassBase*, int) {
    CVirtualMachine* vm = g_currentVM;
    const CVmValue* nameParam = GetParam(1);
    if (!nameParam || nameParam->type != VmValueType::String) {
        VmErrorStream() << "Param 1 must be a string";
        return;
    }
    const int32_t index = vm->FindFunction(nameParam->asString->CStr());
    if (index < 0) {
        VmErrorStream() << "'" << nameParam->asString->CStr() << "' is a unknown function";
        return;
    }
    const VmFunctionRecord& f = vm->Program()->functions[static_cast<size_t>(index)];
    // Parameters 2..n become the callee's 1..n-1: copies are pushed above
    // the return slot, the first on top, then the call runs and its result
    // lands in the return slot. Parameters stay where they are.
    CVmValue* returnSlot = vm->ReturnSlot();
    const int32_t given = ArgCount() > 1 ? ArgCount() - 1 : 0;
    const int32_t missing = f.paramCount > given ? f.paramCount - given : 0;
    for (int32_t i = 0; i < missing; ++i)
        if (!vm->PushVoid()) return vm->PopTo(returnSlot);
    for (int32_t k = ArgCount(); k >= 2; --k)
        if (!vm->Push(*GetParamAt(returnSlot, k))) return vm->PopTo(returnSlot);
    if (vm->RunNested(f.start)) returnSlot->Move(*vm->Top());
    vm->PopTo(returnSlot);
}

CVmValue* CVmRegisterClass::GetParamAt(CVmValue* returnSlot, int32_t k) { return returnSlot - k; }

void CVmInternalFunction::IsFunction(CVmClassBase*, int) {
    const CVmValue* nameParam = GetParam(1);
    if (!nameParam || nameParam->type != VmValueType::String) {
        VmErrorStream() << "Param 1 must be a string";
        return;
    }
    VmReturnBool(g_currentVM->FindFunction(nameParam->asString->CStr()) >= 0);
}

void CVmInternalFunction::GetClassNameOf(CVmClassBase*, int) {
    const CVmValue* p = GetParam(1);
    VmReturnString(p && p->type == VmValueType::Object && p->asObject ? p->asObject->ClassName() : "");
}
