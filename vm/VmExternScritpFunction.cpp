#include "VmExternScritpFunction.h"

#include "VirtualMachine.h"

CVmExternScritpFunction::CVmExternScritpFunction(CVirtualMachine* module) : m_module(module) {
    const VmProgram* program = module ? module->Program() : nullptr;
    if (!program) return;
    for (size_t i = 0; i < program->functions.size(); ++i) {
        const std::string& name = program->functions[i].name;
        if (!AddFunction(name.c_str(), &CVmExternScritpFunction::CallImported)) continue;
        FindEntry(VmUpperName(name.c_str()).c_str())->data = static_cast<int32_t>(i);
    }
}

void CVmExternScritpFunction::CallImported(CVmClassBase*, int) {
    CVirtualMachine* caller = g_currentVM;
    const int32_t index = CallData();
    const int32_t argCount = ArgCount();
    // The arguments are copied before the module's machine becomes current:
    // parameters are read from the current machine's stack.
    m_module->ClearArgs();
    for (int32_t k = 1; k <= argCount; ++k) {
        const CVmValue* p = GetParam(k);
        m_module->AddArgValue(p ? *p : CVmValue());
    }
    g_currentVM = m_module;
    const CVmValue* result = m_module->CallFunction(index);
    g_currentVM = caller;
    if (CVmValue* slot = VmGetReturnSlot()) {
        if (result)
            slot->Assign(*result);
        else
            slot->SetVoid();
    }
}
