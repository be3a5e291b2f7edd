// Native classes and function sets: registration and the calling convention
// of native handlers.
//
// A script class X is a thin layer over an engine-library object: its file
// (scene/script/X.h, named after the class) holds the script object and its
// registration, and every handler reads its parameters, calls the library
// and sets the result:
//
//   class X : public CVmClassBase {
//   public:
//       static constexpr const char* kClassName = "X";
//       const char* ClassName() override { return kClassName; }
//       VRThing thing;                                   // the library's object
//
//       class CRegister : public CVmRegisterClass {
//       public:
//           const char* GetClassName() override { return kClassName; }
//           VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
//           bool RegisterMethods(int32_t n) override {
//               CVmRegisterClass::RegisterMethods(n);
//               AddMethod("SetPosition", &CRegister::SetPosition);
//               return true;
//           }
//           void Create(CVmClassBase*, int) {            // X() or X(name)
//               std::string name = "thing";
//               if (!ReadParams(Optional(name))) return;
//               ReturnObject(new X(name));
//           }
//           void SetPosition(CVmClassBase* o, int) {     // x.SetPosition([1, 2, 3], true)
//               VmVectorParam position(3);
//               bool relative;
//               if (!ReadParams(position, relative)) return;
//               VmReturnBool(static_cast<X*>(o)->thing.SetPosition(position.Data(), relative));
//           }
//       };
//   };
//
// A global function set is a CVmRegisterFunction whose RegisterMethods adds
// each name with AddFunction("Add", &F::Add); its handlers are written the
// same way:
//
//   void F::Add(CVmClassBase*, int) {
//       int32_t a, b;
//       if (ReadParams(a, b)) VmReturnInteger(a + b);
//   }
//
// The engine registers its classes from one ordered list
// (bindings/ScriptBindings.cpp: a class's line is Built<X>()); any other
// machine registers with CVirtualMachine::RegisterClass(new X::CRegister) and
// CVirtualMachine::RegisterFunctions(new F), and owns them from then on.
//
// The contract a handler relies on:
// - it is called on its registration with (object or null, call mode);
// - parameter k (1-based) is k slots below the return slot; ReadParams reads
//   them all into typed targets (VmParams.h), checks each against the
//   argument count and its type and reports the first problem in the
//   script's words; GetParam and the single readers (also as silent probes)
//   serve handlers that accept more than one form;
// - the result is what it leaves in the return slot (VmGetReturnSlot and the
//   VmReturn helpers; Void when untouched);
// - it never pops its parameters and never throws; failures go through
//   VmErrorStream / VmErrorMsg, which stop the script after the instruction.
// A handler may run script code that calls into the same registration
// again: parameters and the return slot stay valid (the value stack never
// moves), and the call's own argument count, data word and error flag come
// back when that code returns (every call opens a CallScope).
//
// Names are matched upper case: registrations store them upper case and the
// program's names are upper case.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <type_traits>
#include <vector>

#include "HashSearchTable.h"
#include "PtrList.h"
#include "VmParams.h"
#include "VmValue.h"

enum VmCallMode { VM_CALL_FUNCTION = 1, VM_CALL_METHOD = 2, VM_GET_MEMBER = 3, VM_SET_MEMBER = 4 };

class CVmRegisterClass;
class CVmRegisterFunction;
class CVmRegisterDeclaredClass;
class CVirtualMachine;

// The shape of every native handler.
typedef void (CVmRegisterClass::*VmNativeMethod)(CVmClassBase* object, int mode);

// A name in a registration's table and its handler; a function set's entry
// also names the set that defines it (null: the registering set itself).
struct VmMethodEntry {
    std::string name;
    VmNativeMethod handler;
    CVmRegisterClass* owner = nullptr;
    int32_t data = -1;  // copied into the slot the entry is bound to
};

// What a method-name or native-function index of the loaded program is bound
// to: the handler, the registration it runs on, and a word of data for the
// handler (an imported module's function index, a declared method's index).
struct VmMethodSlot {
    VmNativeMethod handler;
    CVmRegisterClass* owner;
    int32_t data = -1;
};

class CVmRegisterClass : public CVmMemManager {
public:
    CVmRegisterClass();
    CVmRegisterClass(const CVmRegisterClass&) = delete;
    CVmRegisterClass& operator=(const CVmRegisterClass&) = delete;

    // Virtual operations, in their fixed order. Slots are bound per machine:
    // a module's machine shares its parent's registrations but not its
    // method-name indexes.
    virtual void ClearSlots(const CVirtualMachine* machine);
    virtual VmMethodSlot NewSlot();
    virtual VmMethodEntry* NewEntry(const char* name, VmNativeMethod handler);
    virtual const char* GetClassName();
    virtual VmNativeMethod GetFactory();
    virtual bool RegisterMethods(int32_t n);
    virtual bool BindMethod(const char* name, int32_t index);
    virtual bool AfterBinding();
    virtual bool CallMethod(CVmClassBase* object, int32_t index, int32_t argCount);
    virtual bool CallGet(CVmClassBase* object, int32_t index);
    virtual bool CallSet(CVmClassBase* object, int32_t index);
    virtual bool CallByName(CVmClassBase* object, const char* upperName, int mode);
    virtual CVmValue* GetMemberByName(CVmClassBase* object, const char* upperName, bool* found);
    virtual void Release();
    virtual ~CVmRegisterClass();
    virtual CVmClassBase* CreateFromStream(ByteReader& in);
    // The registration as a script-declared class, or null.
    virtual CVmRegisterDeclaredClass* AsDeclaredClass() { return nullptr; }

    // Adds a method or member; false when the name is already there (the
    // first registration of a name wins).
    template <class R>
    bool AddMethod(const char* name, void (R::*handler)(CVmClassBase*, int)) {
        return AddEntry(name, Handler(handler), nullptr);
    }
    template <class R>
    static VmNativeMethod Handler(void (R::*handler)(CVmClassBase*, int)) {
        return static_cast<VmNativeMethod>(handler);
    }

    // The handler of an unbound slot: sets the error flag.
    void DefaultCallback(CVmClassBase* object, int mode);

    // Reads parameters 1, 2, ... of the running call into the targets (the
    // list is in VmParams.h), in order; false once the first one that is
    // missing or of the wrong type is reported. A handler's first line:
    //   if (!ReadParams(width, name, Optional(scale, 1.0f))) return;
    template <class... T>
    bool ReadParams(T&&... targets) {
        static_assert(((std::is_lvalue_reference<T>::value || VmIsOptional<std::decay_t<T>>::value) && ...),
                      "ReadParams reads into variables");
        int32_t k = 0;
        return (ReadParam(++k, targets) && ...);
    }

    // Parameter k into one target; report false makes it a silent probe.
    // After false the target means nothing.
    bool ReadParam(int32_t k, int32_t& out, bool report = true);
    bool ReadParam(int32_t k, float& out, bool report = true);
    bool ReadParam(int32_t k, bool& out, bool report = true);
    bool ReadParam(int32_t k, const char*& out, bool report = true);
    bool ReadParam(int32_t k, std::string& out, bool report = true);
    bool ReadParam(int32_t k, const CVmString*& out, bool report = true);
    bool ReadParam(int32_t k, CVmArray*& out, bool report = true);
    bool ReadParam(int32_t k, VmVectorParam& out, bool report = true);
    bool ReadParam(int32_t k, CVmClassBase*& out, bool report = true);
    bool ReadParam(int32_t k, CVmValue*& out, bool report = true);
    template <class X, class = std::enable_if_t<std::is_base_of<CVmClassBase, X>::value &&
                                                !std::is_same<X, CVmClassBase>::value>>
    bool ReadParam(int32_t k, X*& out, bool report = true) {
        CVmClassBase* object = GetParamObject(k, X::kClassName, report);
        // The name alone does not make the type: a script may declare a class
        // of the same name.
        out = dynamic_cast<X*>(object);
        if (!out && object) WrongObject(k, X::kClassName, report);
        return out != nullptr;
    }
    template <class T>
    bool ReadParam(int32_t k, const VmOptional<T>& param, bool report = true) {
        if (k > ArgCount()) {
            param.target = param.fallback;
            return true;
        }
        return ReadParam(k, param.target, report);
    }

    // Parameters of the running call (see the contract above).
    CVmValue* GetParam(int32_t k);
    bool CheckParam(int32_t k, bool report = true);
    int32_t GetParamInt(int32_t k, bool report = true);
    float GetParamFloat(int32_t k, bool report = true);
    const char* GetParamString(int32_t k, bool report = true);
    const CVmString* GetParamCVmString(int32_t k, bool report = true);
    bool GetParamBool(int32_t k, bool report = true);
    CVmArray* GetParamArray(int32_t k, bool report = true);
    CVmVector* GetParamVector(int32_t k, bool report = true);
    CVmClassBase* GetParamObject(int32_t k, const char* className = nullptr, bool report = true);

    // Puts an object in the return slot, binding its class registration
    // first when it has none.
    void ReturnObject(CVmClassBase* object);

    // The warning stream: the warning prefix and the running call's name, or
    // the null stream when warnings are off.
    std::ostream& WarningStream();

    // Runs the handler bound at a slot on its owner with the given argument
    // count; false when the owner's error flag is set afterwards.
    static bool InvokeSlot(const VmMethodSlot& slot, CVmClassBase* object, int mode, int32_t argCount);

    // The slots of the current machine.
    int32_t SlotCount();
    const VmMethodSlot* Slot(int32_t index);
    VmMethodEntry* FindEntry(const char* upperName) const { return m_names.Find(upperName); }

    CHashSearchTable<VmMethodEntry> m_names;
    int32_t m_classIndex = 0;

private:
    struct CallState {
        int32_t argCount;
        int32_t data;
        bool error;
    };
    CallState m_call{0, -1, false};

protected:
    // One call through this registration. It gives the handler the call's
    // argument count and data word with a clear error flag, and gives the
    // state of the call it interrupted back when it ends: a handler that
    // runs script code which calls into this registration again finds its
    // own state when that code returns. Every way into a handler opens one.
    class CallScope {
    public:
        CallScope(CVmRegisterClass& reg, int32_t argCount, int32_t data) : m_reg(reg), m_saved(reg.m_call) {
            reg.m_call = {argCount, data, false};
        }
        ~CallScope() { m_reg.m_call = m_saved; }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;
        // The handler did not fail the call.
        bool Ok() const { return !m_reg.m_call.error; }

    private:
        CVmRegisterClass& m_reg;
        const CallState m_saved;
    };

    // The running call: its argument count, the data word of the slot or
    // entry it runs, and failing it (the caller turns that into its own
    // error message).
    int32_t ArgCount() const { return m_call.argCount; }
    // For a handler that answers only method calls (and, when asked, member
    // reads): true in those modes; otherwise reports the bare error prefix.
    static bool RequireMethodCall(int mode, bool memberReadToo = false);
    int32_t CallData() const { return m_call.data; }
    void FailCall() { m_call.error = true; }

    bool AddEntry(const char* name, VmNativeMethod handler, CVmRegisterClass* owner);
    // Runs the handler bound at a slot of the current machine in a mode.
    bool CallBound(CVmClassBase* object, int32_t index, int32_t argCount, int mode);
    // CallByName as a call of its own with that argument count.
    bool CallByNameWith(CVmClassBase* object, const char* upperName, int mode, int32_t argCount);
    std::vector<VmMethodSlot>& SlotsFor(const CVirtualMachine* machine);
    static CVmValue* GetParamAt(CVmValue* returnSlot, int32_t k);
    // Parameter k when the call has it; otherwise reported (when asked) and
    // null.
    CVmValue* PresentParam(int32_t k, bool report);
    // Report (when asked) that parameter k is not what the handler needs:
    // "a number", "a string", ..., or an object of the class; false.
    static bool WrongType(int32_t k, const char* what, bool report);
    static bool WrongObject(int32_t k, const char* className, bool report);

private:
    // Hidden members every class answers.
    void HiddenCall(CVmClassBase* object, int mode);
    void HiddenGet(CVmClassBase* object, int mode);
    void HiddenSet(CVmClassBase* object, int mode);
    void HiddenGetName(CVmClassBase* object, int mode);
    void CallHiddenByName(CVmClassBase* object, int innerMode, const char* failureKind);

    struct Binding {
        const CVirtualMachine* machine;
        std::vector<VmMethodSlot> slots;
    };
    std::vector<VmMethodSlot> m_slots;  // of m_slotsMachine, the usual one
    const CVirtualMachine* m_slotsMachine = nullptr;
    std::vector<Binding> m_otherBindings;
};

// A set of global functions; may hold nested sets, searched after its own
// names when the program's native names are bound.
class CVmRegisterFunction : public CVmRegisterClass {
public:
    CVmRegisterFunction();
    ~CVmRegisterFunction() override;

    VmMethodSlot NewSlot() override;
    VmMethodEntry* NewEntry(const char* name, VmNativeMethod handler) override;
    const char* GetClassName() override;
    VmNativeMethod GetFactory() override;
    bool RegisterMethods(int32_t n) override;
    bool BindMethod(const char* name, int32_t index) override;
    bool AfterBinding() override;
    bool CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) override;
    bool CallGet(CVmClassBase* object, int32_t index) override;
    bool CallSet(CVmClassBase* object, int32_t index) override;
    CVmClassBase* CreateFromStream(ByteReader& in) override;

    // Adds a global function; owner null means this set.
    template <class R>
    bool AddFunction(const char* name, void (R::*handler)(CVmClassBase*, int), CVmRegisterClass* owner = nullptr) {
        return AddEntry(name, Handler(handler), owner ? owner : this);
    }
    bool AddFunctionEntry(const char* name, VmNativeMethod handler, CVmRegisterClass* owner) {
        return AddEntry(name, handler, owner ? owner : this);
    }

    // Binds a slot of the current machine directly.
    void BindSlot(int32_t index, VmNativeMethod handler, CVmRegisterClass* owner, int32_t data);
    // The entry of a name in this set or its nested sets (depth first, in order).
    VmMethodEntry* FindInSets(const char* upperName);

    PtrList<CVmRegisterFunction> m_sets;
};

// The built-in set every top-level machine registers first: CallBack,
// IsFunction, GetClassName.
class CVmInternalFunction : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override;

private:
    void CallBack(CVmClassBase* object, int mode);
    void IsFunction(CVmClassBase* object, int mode);
    void GetClassNameOf(CVmClassBase* object, int mode);
};

// Return-slot helpers and the error state of the current machine.
CVmValue* VmGetReturnSlot();
void VmReturnInteger(int32_t v);
void VmReturnReal(float v);
void VmReturnBool(bool v);
void VmReturnString(const char* text, int32_t length = -1);
void VmReturnVector(const float* values, int32_t count);
void VmReturnArray(CVmArray* array);
bool VmHasError();

// Upper-cases a-z of a name into a new string.
std::string VmUpperName(const char* name);
