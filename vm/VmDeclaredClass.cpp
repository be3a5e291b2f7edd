#include "VmDeclaredClass.h"

#include <algorithm>
#include <climits>
#include <typeinfo>

#include "VirtualMachine.h"

// ---------------------------------------------------------------------------
// Building and retiring the classes of a program

CVmRegisterDeclaredClass::CVmRegisterDeclaredClass(CVirtualMachine* machine, int32_t declIndex,
                                                   const VmClassDeclaration& decl)
    : m_machine(machine),
      m_program(machine->Program()),
      m_declIndex(declIndex),
      m_memberCount(static_cast<int32_t>(decl.members.size())),
      m_methods(decl.methods) {
    m_name.Init(decl.name.c_str(), static_cast<int32_t>(decl.name.size()));
    // The first entry of a name wins: members before methods, in their order.
    auto add = [this](const std::string& name, VmNativeMethod handler, size_t index) {
        if (AddEntry(name.c_str(), handler, nullptr))
            FindEntry(VmUpperName(name.c_str()).c_str())->data = static_cast<int32_t>(index);
    };
    for (size_t i = 0; i < decl.members.size(); ++i)
        add(decl.members[i], Handler(&CVmRegisterDeclaredClass::MemberEntry), i);
    for (size_t i = 0; i < m_methods.size(); ++i)
        add(m_methods[i].name, Handler(&CVmRegisterDeclaredClass::MethodEntry), i);
    auto record = [this](int32_t i) {
        return i >= 0 && static_cast<size_t>(i) < m_methods.size() ? &m_methods[static_cast<size_t>(i)] : nullptr;
    };
    m_constructor = record(decl.constructor);
    m_destructor = record(decl.destructor);
    m_fallback = record(decl.fallback);
}

CVmRegisterDeclaredClass::~CVmRegisterDeclaredClass() { m_name.Free(); }

void CVmRegisterDeclaredClass::BuildAll(CVirtualMachine& vm) {
    const VmProgram* p = vm.Program();
    // The relation tables and constructors follow the bases recursively:
    // only declarations without cycles and within the size limits are built.
    if (!p || p->classes.empty() || !p->ValidateClasses().empty()) return;
    std::vector<CVmRegisterDeclaredClass*> made;
    for (size_t c = 0; c < p->classes.size(); ++c) {
        made.push_back(new CVmRegisterDeclaredClass(&vm, static_cast<int32_t>(c), p->classes[c]));
        vm.RegisterClass(made.back());
    }
    for (size_t c = 0; c < p->classes.size(); ++c)
        for (int32_t b : p->classes[c].bases) made[c]->m_bases.push_back(made[static_cast<size_t>(b)]);
    for (CVmRegisterDeclaredClass* reg : made) reg->BuildRelations();
}

void CVmRegisterDeclaredClass::BuildRelations() {
    if (m_relationsBuilt) return;
    m_relationsBuilt = true;
    // emplace keeps the first relation found: this class, then direct bases,
    // then what each base reaches, in base order.
    m_relations.emplace(m_declIndex, Relation{1, 0});
    for (size_t i = 0; i < m_bases.size(); ++i)
        m_relations.emplace(m_bases[i]->m_declIndex, Relation{2, static_cast<int32_t>(i)});
    for (size_t i = 0; i < m_bases.size(); ++i) {
        m_bases[i]->BuildRelations();
        for (const auto& entry : m_bases[i]->m_relations)
            m_relations.emplace(entry.first, Relation{3, static_cast<int32_t>(i)});
    }
}

void CVmRegisterDeclaredClass::RetireAll(CVirtualMachine& vm) {
    std::vector<CVmRegisterDeclaredClass*> mine;
    int32_t first = INT32_MAX;
    vm.Classes().ForEach([&](CVmRegisterClass* reg) {
        CVmRegisterDeclaredClass* d = reg->AsDeclaredClass();
        if (d && d->m_machine == &vm) {
            mine.push_back(d);
            first = std::min(first, d->m_classIndex);
        }
    });
    if (mine.empty()) return;
    // The constructor function named after the class goes too: the next
    // program's class of the same name must not bind to this one.
    CVmRegisterFunction& registry = vm.FunctionRegistry();
    for (CVmRegisterDeclaredClass* d : mine) {
        vm.Classes().Detach(d);
        const std::string upper = VmUpperName(d->GetClassName());
        const VmMethodEntry* e = registry.m_names.Find(upper.c_str());
        if (e && e->owner == d) registry.m_names.Remove(upper.c_str());
    }
    // A class index is a position in the list: the classes after the removed
    // ones move up.
    int32_t position = 0;
    vm.Classes().ForEach([&](CVmRegisterClass* reg) {
        if (++position >= first) reg->m_classIndex = position;
    });
    for (CVmRegisterDeclaredClass* d : mine) d->Retire();
}

void CVmRegisterDeclaredClass::Retire() {
    ClearSlots(m_machine);
    m_retired = true;
    m_machine = nullptr;
    m_program = nullptr;
    m_bases.clear();
    m_relations.clear();
    m_constructor = m_destructor = m_fallback = nullptr;
    if (m_liveObjects == 0) delete this;
}

void CVmRegisterDeclaredClass::ObjectGone() {
    if (--m_liveObjects == 0 && m_retired) delete this;
}

// ---------------------------------------------------------------------------
// Binding

VmNativeMethod CVmRegisterDeclaredClass::GetFactory() { return Handler(&CVmRegisterDeclaredClass::Construct); }

void CVmRegisterDeclaredClass::ClearSlots(const CVirtualMachine* machine) {
    CVmRegisterClass::ClearSlots(machine);
    if (machine == m_machine) m_declSlots.clear();
}

bool CVmRegisterDeclaredClass::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    if (!m_retired && g_currentVM == m_machine) m_declSlots.assign(static_cast<size_t>(n > 0 ? n : 0), VmDeclaredSlot());
    return true;
}

int CVmRegisterDeclaredClass::EntryKind(const VmMethodEntry& e) const {
    if (e.handler == Handler(&CVmRegisterDeclaredClass::MemberEntry)) return kKindMember;
    if (e.handler == Handler(&CVmRegisterDeclaredClass::MethodEntry)) return kKindMethod;
    return 0;
}

bool CVmRegisterDeclaredClass::BindMethod(const char* name, int32_t index) {
    if (m_retired || g_currentVM != m_machine || index < 0 || static_cast<size_t>(index) >= m_declSlots.size())
        return false;
    return Resolve(index, VmUpperName(name)).kind != 0;
}

// A base resolves the same index before the class uses its answer, so each
// class looks a name up once however its bases are shared.
const CVmRegisterDeclaredClass::VmDeclaredSlot& CVmRegisterDeclaredClass::Resolve(int32_t index,
                                                                                  const std::string& upperName) {
    VmDeclaredSlot& s = m_declSlots[static_cast<size_t>(index)];
    if (s.resolved) return s;
    s.resolved = true;
    const VmMethodEntry* e = m_names.Find(upperName.c_str());
    const int kind = e ? EntryKind(*e) : 0;
    if (kind == kKindMember) {
        s.kind = kind;
        s.member = e->data;
        return s;
    }
    if (kind == kKindMethod) {
        s.kind = kind;
        s.method = &m_methods[static_cast<size_t>(e->data)];
        return s;
    }
    for (size_t i = 0; i < m_bases.size(); ++i) {
        CVmRegisterDeclaredClass* b = m_bases[i];
        if (static_cast<size_t>(index) >= b->m_declSlots.size()) continue;
        const VmDeclaredSlot& found = b->Resolve(index, upperName);
        if (found.kind == kKindMember || found.kind == kKindMethod) {
            s.kind = found.kind;
            s.base = static_cast<int32_t>(i);
            s.member = found.member;
            s.method = found.method;
            return s;
        }
    }
    if (e) {
        s.kind = kKindNative;
        SlotsFor(m_machine)[static_cast<size_t>(index)] = {e->handler, this, e->data};
    }
    return s;
}

const CVmRegisterDeclaredClass::VmDeclaredSlot* CVmRegisterDeclaredClass::DeclaredSlot(int32_t index) const {
    if (m_retired || g_currentVM != m_machine || index < 0 || static_cast<size_t>(index) >= m_declSlots.size())
        return nullptr;
    return &m_declSlots[static_cast<size_t>(index)];
}

const CVmRegisterDeclaredClass::Relation* CVmRegisterDeclaredClass::RelationTo(int32_t declIndex) const {
    // Declaration indexes mean something only in the program that declared
    // the class.
    if (m_retired || g_currentVM != m_machine) return nullptr;
    auto it = m_relations.find(declIndex);
    return it == m_relations.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------
// Running script code

bool CVmRegisterDeclaredClass::CanRun() const {
    return !m_retired && m_machine && g_currentVM == m_machine && m_machine->Program() == m_program &&
           !m_machine->HasError();
}

CVmClassDeclared* CVmRegisterDeclaredClass::Mine(CVmClassBase* object) const {
    CVmClassDeclared* o = dynamic_cast<CVmClassDeclared*>(object);
    return o && o->m_class == this ? o : nullptr;
}

const VmClassMethodDecl* CVmRegisterDeclaredClass::ScriptMethodFor(CVmClassBase* object, int32_t index) const {
    const VmDeclaredSlot* s = DeclaredSlot(index);
    if (!s || s->kind != kKindMethod || !s->method || !CanRun()) return nullptr;
    if (static_cast<uint32_t>(s->method->start) >= static_cast<uint32_t>(m_machine->CodeCount())) return nullptr;
    // typeid, not a cast: this runs on every method call.
    if (typeid(*object) != typeid(CVmClassDeclared) || static_cast<CVmClassDeclared*>(object)->m_class != this)
        return nullptr;
    return s->method;
}

CVmValue* CVmRegisterDeclaredClass::MemberFor(CVmClassBase* object, int32_t index, int32_t* own) const {
    if (own) *own = -1;
    const CVmRegisterDeclaredClass* cls = this;
    // A base part is a part of its own: the walk is as deep as the bases are.
    for (size_t depth = 0; depth <= VmProgram::kMaxClassDepth; ++depth) {
        const VmDeclaredSlot* s = cls->DeclaredSlot(index);
        if (!s || s->kind != kKindMember || typeid(*object) != typeid(CVmClassDeclared)) return nullptr;
        CVmClassDeclared* o = static_cast<CVmClassDeclared*>(object);
        if (o->m_class != cls) return nullptr;
        if (s->base < 0) {
            if (own && depth == 0) *own = s->member;
            return o->Member(s->member);
        }
        CVmClassDeclared* part = o->Part(s->base);
        if (!part) return nullptr;
        object = part;
        cls = part->m_class;
    }
    return nullptr;
}

bool CVmRegisterDeclaredClass::RunScript(const VmClassMethodDecl& method) {
    if (method.start < 0 || method.start >= m_machine->CodeCount()) return false;
    // The call hook already heard of the call that led here.
    ++m_machine->m_hookSkip;
    return m_machine->RunNested(method.start);
}

bool CVmRegisterDeclaredClass::RunMethodOn(CVmClassBase* object, const VmClassMethodDecl& method) {
    if (!CanRun()) return false;
    CVirtualMachine* vm = m_machine;
    CVmValue* r = vm->ReturnSlot();
    r->SetObject(object);
    const bool ok = RunScript(method);
    if (ok)
        r->Move(*vm->Top());
    else
        r->SetVoid();
    vm->PopTo(r);
    return ok;
}

bool CVmRegisterDeclaredClass::RunFallback(CVmClassBase* object, int mode, int32_t nameIndex) {
    if (!m_fallback || !Mine(object) || !CanRun()) return false;
    CVirtualMachine* vm = m_machine;
    const VmProgram* p = vm->Program();
    const std::string& name = nameIndex >= 0 && static_cast<size_t>(nameIndex) < p->methodNames.size()
                                  ? p->methodNames[static_cast<size_t>(nameIndex)]
                                  : std::string();
    // Parameters: 1 the object (on top), 2 the name, 3 the mode in the
    // return slot, then the call's arguments.
    CVmValue* r = vm->ReturnSlot();
    if (!vm->PushVoid() || !vm->PushVoid()) {
        vm->PopTo(r);
        return true;  // the overflow is reported already
    }
    r[0].SetInteger(mode);
    r[1].SetString(name.c_str(), static_cast<int32_t>(name.size()));
    r[2].SetObject(object);
    const bool ok = RunScript(*m_fallback);
    const bool handled = r->type == VmValueType::Integer && r->asInt == 5;
    if (ok)
        r->Move(*vm->Top());
    else
        r->SetVoid();
    vm->PopTo(r);
    // A fallback that failed has reported its own error.
    return handled || vm->HasError();
}

bool CVmRegisterDeclaredClass::RunDestructor(CVmClassDeclared* object) {
    if (!m_destructor || m_retired || !m_machine || m_machine->Program() != m_program || m_machine->HasError())
        return false;
    CVirtualMachine* vm = m_machine;
    CVirtualMachine* previous = g_currentVM;
    g_currentVM = vm;
    // One reference is held here while the destructor runs, so that its
    // parameter going away does not release the object a second time.
    object->m_refCount = 1;
    CVmValue* base = vm->Top();
    if (vm->PushVoid()) {
        vm->Top()->SetObject(object);
        RunScript(*m_destructor);
        vm->PopTo(base);
    }
    g_currentVM = previous;
    if (object->m_refCount > 1) {
        --object->m_refCount;
        return true;
    }
    object->m_refCount = 0;
    return false;
}

// ---------------------------------------------------------------------------
// Handlers

void CVmRegisterDeclaredClass::Construct(CVmClassBase*, int) {
    CVmValue made;
    if (!Build(made, ArgCount())) {
        FailCall();
        return;
    }
    ReturnObject(made.asObject);
}

bool CVmRegisterDeclaredClass::Build(CVmValue& out, int32_t argCount) {
    if (m_retired || g_currentVM != m_machine) return false;
    CVmClassDeclared* o = new CVmClassDeclared(this);
    out.SetObject(o);
    // Until it is complete, dropping the object skips its destructor.
    o->m_destructorDone = true;
    for (size_t i = 0; i < m_bases.size(); ++i)
        if (!m_bases[i]->Build(o->m_parts[i], argCount)) return false;
    if (m_constructor && !RunMethodOn(o, *m_constructor)) return false;
    o->m_destructorDone = false;
    return true;
}

void CVmRegisterDeclaredClass::MemberEntry(CVmClassBase* object, int mode) {
    CVmClassDeclared* o = Mine(object);
    CVmValue* member = o ? o->Member(CallData()) : nullptr;
    CVmValue* r = VmGetReturnSlot();
    const CVmValue* v = mode == VM_SET_MEMBER ? GetParam(1) : nullptr;
    if (member && r && mode == VM_GET_MEMBER)
        r->Assign(*member);
    else if (member && r && v)
        member->Assign(*v);
    else
        FailCall();
}

void CVmRegisterDeclaredClass::MethodEntry(CVmClassBase* object, int mode) {
    const int32_t i = CallData();
    if (mode != VM_CALL_METHOD || !Mine(object) || i < 0 || static_cast<size_t>(i) >= m_methods.size()) {
        FailCall();
        return;
    }
    RunMethodOn(object, m_methods[static_cast<size_t>(i)]);
}

// ---------------------------------------------------------------------------
// Calls through the program's method-name indexes

bool CVmRegisterDeclaredClass::CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) {
    const VmDeclaredSlot* s = DeclaredSlot(index);
    if (s && s->kind == kKindMethod && Mine(object)) {
        // A base class's method gets the object itself, not the base part.
        RunMethodOn(object, *s->method);
        return true;
    }
    if (s && s->kind == kKindNative) return CVmRegisterClass::CallMethod(object, index, argCount);
    return RunFallback(object, VM_CALL_METHOD, index);
}

bool CVmRegisterDeclaredClass::CallGet(CVmClassBase* object, int32_t index) {
    return AccessMember(object, index, VM_GET_MEMBER);
}

bool CVmRegisterDeclaredClass::CallSet(CVmClassBase* object, int32_t index) {
    return AccessMember(object, index, VM_SET_MEMBER);
}

bool CVmRegisterDeclaredClass::AccessMember(CVmClassBase* object, int32_t index, int mode) {
    const VmDeclaredSlot* s = DeclaredSlot(index);
    CVmClassDeclared* o = Mine(object);
    bool ok;
    if (s && o && s->kind == kKindMember && s->base < 0) {
        CallScope call(*this, mode == VM_SET_MEMBER ? 1 : 0, s->member);
        MemberEntry(o, mode);
        ok = call.Ok();
    } else if (s && o && s->kind == kKindMember) {
        // A base class's member lives in the base part.
        CVmClassDeclared* part = o->Part(s->base);
        CVmRegisterDeclaredClass* cls = part ? part->m_class : nullptr;
        ok = cls && (mode == VM_GET_MEMBER ? cls->CallGet(part, index) : cls->CallSet(part, index));
    } else {
        ok = RunFallback(object, mode, index);
    }
    return ok;
}

bool CVmRegisterDeclaredClass::CallByName(CVmClassBase* object, const char* upperName, int mode) {
    const char* name = upperName ? upperName : "";
    if (const VmMethodEntry* e = m_names.Find(name)) {
        const int kind = EntryKind(*e);
        if ((kind == kKindMethod && mode == VM_CALL_METHOD) ||
            (kind == kKindMember && (mode == VM_GET_MEMBER || mode == VM_SET_MEMBER))) {
            CallScope call(*this, ArgCount(), e->data);
            (this->*e->handler)(object, mode);
            return call.Ok();
        }
        return false;
    }
    // A name this class lacks is asked of each base part, with this call's
    // arguments.
    if (CVmClassDeclared* o = Mine(object)) {
        for (int32_t i = 0; i < o->PartCount(); ++i) {
            CVmClassDeclared* part = o->Part(i);
            if (part && part->m_class->CallByNameWith(part, name, mode, ArgCount())) return true;
        }
    }
    return false;
}

CVmValue* CVmRegisterDeclaredClass::GetMemberByName(CVmClassBase* object, const char* upperName, bool* found) {
    if (found) *found = false;
    CVmClassDeclared* o = Mine(object);
    if (!o) return nullptr;
    const char* name = upperName ? upperName : "";
    const VmMethodEntry* e = m_names.Find(name);
    if (e && EntryKind(*e) == kKindMember) {
        if (found) *found = true;
        // A copy the caller owns, as every class's member read by name gives.
        return new CVmValue(*o->Member(e->data));
    }
    for (int32_t i = 0; i < o->PartCount(); ++i) {
        CVmClassDeclared* part = o->Part(i);
        if (!part) continue;
        if (CVmValue* v = part->m_class->GetMemberByName(part, name, found)) return v;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Encoding

CVmClassBase* CVmRegisterDeclaredClass::CreateFromStream(ByteReader& in) {
    int32_t count;
    // Every member takes at least its type byte of the input.
    if (m_retired || !in.GetInt32(count) || count != m_memberCount || !in.ReserveElements(count)) return nullptr;
    CVmClassDeclared* o = new CVmClassDeclared(this);
    bool ok = true;
    for (CVmValue& m : o->m_members) {
        ok = m.ReadFrom(in, m_machine);
        if (!ok) break;
    }
    ok = ok && in.GetInt32(count) && count == BaseCount();
    for (size_t i = 0; ok && i < m_bases.size(); ++i) {
        CVmClassBase* part = m_bases[i]->CreateFromStream(in);
        if (part)
            o->m_parts[i].SetObject(part);
        else
            ok = false;
    }
    if (ok) return o;
    o->m_destructorDone = true;
    o->Release();
    return nullptr;
}

// ---------------------------------------------------------------------------
// CVmClassDeclared

CVmClassDeclared::CVmClassDeclared(CVmRegisterDeclaredClass* cls)
    : m_class(cls),
      m_members(static_cast<size_t>(cls->MemberCount())),
      m_parts(static_cast<size_t>(cls->BaseCount())) {
    m_registration = cls;
    m_className.Init(cls->GetClassName(), -1);
    ++cls->m_liveObjects;
}

CVmClassDeclared::~CVmClassDeclared() {
    // Members may hold the last references of other objects: released while
    // this object is still whole.
    for (CVmValue& m : m_members) m.SetVoid();
    m_className.Free();
    m_class->ObjectGone();
}

void CVmClassDeclared::Release() {
    if (!m_destructorDone) {
        // Once only: a destructor that stored the object elsewhere leaves it
        // alive, and its next last release frees it without a second run.
        m_destructorDone = true;
        if (m_class->RunDestructor(this)) return;
    }
    for (CVmValue& part : m_parts) part.SetVoid();
    delete this;
}

CVmClassDeclared* CVmClassDeclared::Part(int32_t i) const {
    if (i < 0 || i >= PartCount()) return nullptr;
    const CVmValue& v = m_parts[static_cast<size_t>(i)];
    return v.type == VmValueType::Object ? static_cast<CVmClassDeclared*>(v.asObject) : nullptr;
}

CVmClassBase* CVmClassDeclared::PartForClass(int32_t declIndex) {
    const CVmRegisterDeclaredClass::Relation* r = m_class->RelationTo(declIndex);
    if (!r) return nullptr;
    if (r->kind == 1) return this;
    CVmClassDeclared* part = Part(r->base);
    if (!part) return nullptr;
    return r->kind == 2 ? part : part->PartForClass(declIndex);
}

bool CVmClassDeclared::Serialize(ByteWriter& out) {
    out.PutInt32(MemberCount());
    for (const CVmValue& m : m_members)
        if (!m.WriteTo(out)) return false;
    out.PutInt32(PartCount());
    for (int32_t i = 0; i < PartCount(); ++i) {
        CVmClassDeclared* part = Part(i);
        if (!part || !part->Serialize(out)) return false;
    }
    return true;
}
