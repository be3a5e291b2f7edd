// What the engine machine registers at construction: the global function
// sets, then the script classes in their order (a class's position in the
// list is its class index). The list is in ScriptBindings.cpp, one line per
// class; this header names no script class, so the engine that calls
// RegisterScriptBindings sees none of them.
#pragma once

#include <cstddef>

class CVirtualMachine;
class CVmRegisterClass;

// A script class of the list: its name and the factory of its registration
// (null while the class is not built: a registration that keeps the name and
// the place, answers the hidden members and constructs nothing).
struct VmClassBinding {
    const char* name;
    CVmRegisterClass* (*create)();
};

constexpr size_t kScriptClassCount = 34;
extern const VmClassBinding kScriptClasses[kScriptClassCount];

// Registers the function sets CVmFunction and CVmFunctionGL, then one new
// registration of every class of the list, in order.
void RegisterScriptBindings(CVirtualMachine& vm);

// Adds the GL constants of scripts (the parameters glGet answers) to the
// machine's constants; a name the machine already has keeps its value.
void RegisterGLConstantTable(CVirtualMachine& vm);
