// The script class CVmExternDLL: calls into functions of native libraries.
// A script makes an object with the name of a shared library (or of a module
// package), declares each function it wants with __AddFunction (the library's
// export, the script name, the native parameter and result types), and then
// calls the declared functions as methods of that object:
//
//   dll = CVmExternDLL("libdemo.so");
//   dll.__AddFunction(1, "add", "Add", 1, 1);   // int add(int, int)
//   x = dll.Add(2, 40);
//
// Native type codes (parameter / result):
//    0  -                               / Void
//    1  32-bit int (a Real truncated)   / Integer
//    2  float                           / Real
//    3  double                          / Real
//    4  pointer to a String's chars     / String copied ("" for null)
//    5  pointer to an Integer's int     / -
//    6  pointer to a float (a Vector's, or a number made Real)
//    7  pointer to doubles made from a Vector, copied back as floats
//    8-23 pointer to the floats of a Vector of at least code - 7 components /
//         a Vector of code - 7 floats copied from the result (Void for null)
//   24  pointer to the engine object of a script object whose class
//       registered a lookup (RegisterEngineObjectClass)
//   25  pointer to a byteBuffer's bytes from its offset on
// Pointers point into the argument's own slot of the call, so what the
// library writes there is what a compiled script takes back from its output
// parameters, and nothing else changes.
//
// Libraries stay loaded for the rest of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/NativeCall.h"
#include "vm/HashSearchTable.h"
#include "vm/VmRegister.h"

class CVirtualMachine;
struct VmProgram;

class CVmExternDLL : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmExternDLL";
    const char* ClassName() override { return kClassName; }

    // A declared function.
    struct BoundFunction {
        std::string name;        // the script name
        std::string exportName;  // the library's
        void* entry = nullptr;   // null when the library does not export it
        std::vector<int32_t> paramTypes;
        int32_t returnType = 0;
        CVmRegisterClass* owner = nullptr;
        NativeSignature signature;
    };

    // How a type-24 parameter reaches the engine object behind a script
    // object: null when it has none.
    using EngineObjectLookup = void* (*)(CVmClassBase* object);
    // The script classes whose objects stand for engine objects (meshes,
    // objects, characters) register their lookup under their class name.
    static void RegisterEngineObjectClass(const char* className, EngineObjectLookup lookup);

    CVmExternDLL(void* module, std::string name, const CVirtualMachine* machine, const VmProgram* program,
                 size_t methodCount);

    // The function bound to a method-name index of the running machine, or
    // null.
    BoundFunction* Bound(int32_t methodIndex);
    BoundFunction* BoundByName(const std::string& upperName) { return m_functions.Find(upperName.c_str()); }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;
        // Also records every method name of the program and whether one of
        // the class's own methods took it.
        bool BindMethod(const char* name, int32_t index) override;
        void ClearSlots(const CVirtualMachine* machine) override;
        bool CallMethod(CVmClassBase* object, int32_t index, int32_t argCount) override;
        bool CallByName(CVmClassBase* object, const char* upperName, int mode) override;
        // Bound functions are methods only.
        bool CallGet(CVmClassBase*, int32_t) override { return false; }
        bool CallSet(CVmClassBase*, int32_t) override { return false; }

    private:
        // CVmExternDLL(name [, warnOnly]).
        void Create(CVmClassBase* object, int mode);
        // __AddFunction(resultType, export, [scriptName], paramTypes...).
        void AddFunction(CVmClassBase* object, int mode);
        // Converts the running call's arguments, calls and converts the result.
        void CallBoundMethod(CVmExternDLL& dll, BoundFunction& f);

        struct ProgramNames {
            const CVirtualMachine* machine;
            std::vector<std::string> names;  // upper case
            std::vector<bool> taken;         // by one of the class's own methods
        };
        ProgramNames* NamesFor(const CVirtualMachine* machine, bool make);
        std::vector<ProgramNames> m_programNames;
    };

private:
    CHashSearchTable<BoundFunction> m_functions{101};  // by upper-case script name
    std::vector<BoundFunction*> m_byMethod;             // by method-name index of m_machine's program
    void* m_module;
    std::string m_name;  // as the script gave it
    const CVirtualMachine* m_machine;
    const VmProgram* m_program;
};
