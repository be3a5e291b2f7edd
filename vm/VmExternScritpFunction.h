// The functions of an imported bytecode module, as a function set of the
// machine that imports it: calling one runs it on the module's machine.
#pragma once

#include "VmRegister.h"

class CVirtualMachine;

class CVmExternScritpFunction : public CVmRegisterFunction {
public:
    // Adds every script function of the module's loaded program by name. The
    // module's machine must outlive this set.
    explicit CVmExternScritpFunction(CVirtualMachine* module);

    CVirtualMachine* Module() const { return m_module; }

private:
    // One handler for every imported function: the bound slot's data word is
    // the function's index in the module's function table, so it does not
    // matter whether a native-call instruction or the host made the call.
    void CallImported(CVmClassBase* object, int mode);

    CVirtualMachine* m_module;
};
