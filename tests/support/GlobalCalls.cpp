#include "support/GlobalCalls.h"

#include <sstream>

#include "engine/MessageTable.h"

namespace qemtest {

namespace {

CallOutcome Run(CVirtualMachine& vm, const std::shared_ptr<VmProgram>& program) {
    std::ostringstream out;
    std::ostream* previous = vm.GetOutputStream();
    vm.SetOutputStream(&out, vm.IsQuiet());
    CallOutcome o;
    if (program && vm.StartProgram(program)) {
        if (const CVmValue* r = vm.CallFunctionByName("MAIN")) {
            std::ostringstream text;
            text << r;
            o.result = text.str();
            o.type = r->type;
        }
        o.error = vm.HasError();
    }
    o.output = out.str();
    vm.SetOutputStream(previous, vm.IsQuiet());
    return o;
}

}  // namespace

const char* EngineMessagesMachine::StringForId(int32_t id) { return EngineMessageText(id); }

CallOutcome CallGlobal(CVirtualMachine& vm, const std::string& name, const std::vector<Opnd>& args) {
    ProgramBuilder b;
    b.Return();
    b.Function("MAIN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallNative(VmUpperName(name.c_str()), args, L(1));
    b.Return(L(1));
    return Run(vm, b.Build());
}

CallOutcome RunScript(CVirtualMachine& vm, MethodScript& script) { return Run(vm, script.Program()); }

}  // namespace qemtest
