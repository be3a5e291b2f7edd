// The global function sets and script classes of the engine machine, in
// their registration order (a class's position is its class index).
#pragma once

class CVirtualMachine;
class CVmRegisterClass;
class CVmRegisterFunction;

// The classes in registration order.
extern const char* const kScriptClassOrder[34];

void RegisterFunctionSets(CVirtualMachine& vm);
void RegisterScriptClasses(CVirtualMachine& vm);

// A new registration object of the named class.
CVmRegisterClass* CreateClassRegistration(const char* className);
