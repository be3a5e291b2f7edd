// The table of the engine's global functions: every name in registration
// order with the group that defines it, and the base of the group sets.
//
// Each group is a function set of its own (CVm<Group>Functions, one file
// pair each), held by CVmFunction as a nested set. A group's AddFunctions
// adds its built names, one line each:
//
//   void CVmMathFunctions::AddFunctions() {
//       AddFunction("Atan2", &CVmMathFunctions::Atan2);
//   }
//
// and every name of its group in the table that it does not add gets the
// shared handler that stops the script with "This function is not
// available yet.". Building a function is therefore one AddFunction line
// and its handler; a name that shares a handler (an alias) is one more
// AddFunction line with the same handler. A name outside the table is a
// mistake that the function-table test reports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/VmRegister.h"

class EngineState;
class VRScene;
class VRTextureManager;

// The groups, in the order of their first name in the table.
enum class FunctionGroup { File, Console, Camera, Network, Math, Object, InputOutput, Device, String, kCount };

struct FunctionRow {
    const char* name;
    FunctionGroup group;
};

constexpr size_t kFunctionCount = 219;
extern const FunctionRow kFunctionTable[kFunctionCount];

// A group of the table as a function set.
class CVmFunctionGroup : public CVmRegisterFunction {
public:
    explicit CVmFunctionGroup(FunctionGroup group) : m_group(group) {}
    FunctionGroup Group() const { return m_group; }

    // The built names, then the not-built handler for the group's others.
    bool RegisterMethods(int32_t n) override;

protected:
    virtual void AddFunctions() = 0;

    // The handler of a name whose function is not built yet.
    void NotBuilt(CVmClassBase* object, int mode);

    // The scene or the texture manager; null, with the script error "The
    // scene is not created yet.", while there is none (before the first
    // frame, or without an engine).
    static VRScene* RequireScene();
    static VRTextureManager* RequireTextureManager();
    // The engine machine's state; null, with the script error "The engine is
    // not running.", without an engine machine.
    static EngineState* RequireEngine();

private:
    FunctionGroup m_group;
};
