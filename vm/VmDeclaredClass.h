// Classes that a program declares itself: data members, methods written in
// the script, an optional constructor, destructor and fallback method, and
// base classes. Each declaration becomes a CVmRegisterDeclaredClass that the
// machine treats like a native class; its objects are CVmClassDeclared.
//
// An object holds its members and one separate object per base class (its
// base parts, each counted). Constructing builds the base parts first with
// the same arguments, then runs the constructor with the object as parameter
// 1. Methods run as nested script calls with the object as parameter 1; a
// member of a base class is read and written on the base part.
//
// Lifetime: the registrations belong to the machine that loaded the program.
// When that program goes (a reload or the machine's destruction), they leave
// the class list; one that still has objects (held by the host or a native
// object) lives on, retired, until its last object goes. Values the machine
// itself holds are released while the program is still installed, so their
// destructors run; an object released after its program went is freed
// without running its script destructor, since that code no longer exists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "VmProgram.h"
#include "VmRegister.h"
#include "VmValue.h"

class CVirtualMachine;
class CVmClassDeclared;

class CVmRegisterDeclaredClass : public CVmRegisterClass {
public:
    enum { kKindMethod = 11, kKindMember = 12, kKindNative = 13 };

    // What a method-name index of the program is bound to in this class.
    struct VmDeclaredSlot {
        int32_t kind = 0;   // 0 unbound, or one of the kinds above
        int32_t base = -1;  // the direct base that holds the member, -1 own
        int32_t member = -1;
        const VmClassMethodDecl* method = nullptr;
        bool resolved = false;
    };

    // How a class declaration of the program relates to this class: 1 this
    // class, 2 a direct base, 3 an indirect base; base is the index of the
    // direct base through which it is reached (0 for kind 1). Unrelated
    // declarations have no entry.
    struct Relation {
        int32_t kind;
        int32_t base;
    };

    CVmRegisterDeclaredClass(CVirtualMachine* machine, int32_t declIndex, const VmClassDeclaration& decl);
    ~CVmRegisterDeclaredClass() override;

    // Builds and registers the declared classes of the machine's program
    // (a step of loading, before the program's names are bound).
    static void BuildAll(CVirtualMachine& vm);
    // Takes the machine's declared classes out of its class list and its
    // function registry when its program goes.
    static void RetireAll(CVirtualMachine& vm);

    void ClearSlots(const CVirtualMachine* machine) override;
    const char* GetClassName() override { return m_name.CStr(); }
    VmNativeMethod GetFactory() override;
    bool RegisterMethods(int32_t n) override;
    bool BindMethod(const char* name, int32_t index) override;
    bool CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) override;
    bool CallGet(CVmClassBase* object, int32_t index) override;
    bool CallSet(CVmClassBase* object, int32_t index) override;
    bool CallByName(CVmClassBase* object, const char* upperName, int mode) override;
    CVmValue* GetMemberByName(CVmClassBase* object, const char* upperName, bool* found) override;
    CVmClassBase* CreateFromStream(ByteReader& in) override;
    CVmRegisterDeclaredClass* AsDeclaredClass() override { return this; }

    int32_t MemberCount() const { return m_memberCount; }
    int32_t BaseCount() const { return static_cast<int32_t>(m_bases.size()); }
    int32_t DeclIndex() const { return m_declIndex; }
    const Relation* RelationTo(int32_t declIndex) const;
    const VmDeclaredSlot* DeclaredSlot(int32_t index) const;
    // The script method that a call through method-name index runs on the
    // object, when the run loop may enter it as a plain call: one of this
    // class's objects, a method slot, a machine that runs this class's
    // program without an error. Null otherwise (the call goes through
    // CallMethod).
    const VmClassMethodDecl* ScriptMethodFor(CVmClassBase* object, int32_t index) const;
    // The member value that a member read or write through method-name index
    // reaches on the object (its own, or its base part's), for the run loop
    // to read or write in place; null when the name is no member of the
    // object's class (the access goes through CallGet or CallSet).
    // *own: the member's index when it is the object's own, else -1.
    CVmValue* MemberFor(CVmClassBase* object, int32_t index, int32_t* own = nullptr) const;
    CVirtualMachine* Machine() const { return m_machine; }
    bool IsRetired() const { return m_retired; }

private:
    friend class CVmClassDeclared;

    // Handlers of the name-table entries; the entry's data word (the running
    // call's data) is the member or method index.
    void MemberEntry(CVmClassBase* object, int mode);
    void MethodEntry(CVmClassBase* object, int mode);
    // The constructor-call handler.
    void Construct(CVmClassBase* object, int mode);

    int EntryKind(const VmMethodEntry& e) const;
    const VmDeclaredSlot& Resolve(int32_t index, const std::string& upperName);
    void BuildRelations();
    void Retire();

    // Whether script code of this class may run now: the program that
    // declared it is installed, it runs on the current machine, and the
    // machine has no error.
    bool CanRun() const;
    // The object as one of this class, or null.
    CVmClassDeclared* Mine(CVmClassBase* object) const;
    // Makes an object with its base parts and runs the constructors; the
    // object is held by out. False (the object dropped) on failure.
    bool Build(CVmValue& out, int32_t argCount);
    // Runs a method with the object in the return slot as parameter 1 and
    // the call's arguments below it; the result replaces the object there.
    bool RunMethodOn(CVmClassBase* object, const VmClassMethodDecl& method);
    // A member read or write through a method-name index.
    bool AccessMember(CVmClassBase* object, int32_t index, int mode);
    // Offers a call of a name the class lacks to its fallback method; true
    // when the fallback handled it.
    bool RunFallback(CVmClassBase* object, int mode, int32_t nameIndex);
    // Runs the destructor of an object whose last reference went; true when
    // the destructor stored a new reference to it.
    bool RunDestructor(CVmClassDeclared* object);
    bool RunScript(const VmClassMethodDecl& method);
    void ObjectGone();

    CVirtualMachine* m_machine;
    const VmProgram* m_program;
    int32_t m_declIndex;
    CVmString m_name;
    int32_t m_memberCount;
    std::vector<VmClassMethodDecl> m_methods;  // the declaration's, in its order
    std::vector<CVmRegisterDeclaredClass*> m_bases;
    std::map<int32_t, Relation> m_relations;
    bool m_relationsBuilt = false;
    const VmClassMethodDecl* m_constructor = nullptr;
    const VmClassMethodDecl* m_destructor = nullptr;
    const VmClassMethodDecl* m_fallback = nullptr;
    std::vector<VmDeclaredSlot> m_declSlots;  // per method name, bound on m_machine
    int32_t m_liveObjects = 0;
    bool m_retired = false;
};

class CVmClassDeclared : public CVmClassBase {
public:
    explicit CVmClassDeclared(CVmRegisterDeclaredClass* cls);
    ~CVmClassDeclared() override;

    void Release() override;
    const char* ClassName() override { return m_className.CStr(); }
    CVmClassBase* PartForClass(int32_t declIndex) override;
    bool Serialize(ByteWriter& out) override;

    int32_t MemberCount() const { return static_cast<int32_t>(m_members.size()); }
    CVmValue* Member(int32_t i) {
        return i >= 0 && i < MemberCount() ? &m_members[static_cast<size_t>(i)] : nullptr;
    }
    int32_t PartCount() const { return static_cast<int32_t>(m_parts.size()); }
    CVmClassDeclared* Part(int32_t i) const;
    CVmRegisterDeclaredClass* DeclaredClass() const { return m_class; }

private:
    friend class CVmRegisterDeclaredClass;

    CVmRegisterDeclaredClass* m_class;
    CVmString m_className;
    std::vector<CVmValue> m_members;
    std::vector<CVmValue> m_parts;  // Object values: one counted part per base
    bool m_destructorDone = false;
};
