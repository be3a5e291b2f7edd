// Calls global functions the way compiled scripts call them: a script's MAIN
// pushes the arguments, calls the function by its native name and returns
// the answer, and the machine's output stream (text output, errors and
// warnings) is captured for the run.
//
//   CVirtualMachine vm;
//   vm.RegisterFunctions(new CVmFunction());
//   CallOutcome o = CallGlobal(vm, "OutputLN", {VInt(1), VStr("a"), VReal(2.5f)});
//   // o.output == "1a2.5\n", o.error == false
//
// Several calls in one script: a MethodScript whose Global(...) locals are
// recorded, run with RunScript.
#pragma once

#include <string>
#include <vector>

#include "support/MethodScript.h"
#include "vm/VirtualMachine.h"

namespace qemtest {

// A machine with the engine's message texts (and string table).
class EngineMessagesMachine : public CVirtualMachine {
public:
    const char* StringForId(int32_t id) override;
};

struct CallOutcome {
    bool error = true;     // the machine's error flag after the run
    std::string output;    // everything the run wrote to the output stream
    std::string result;    // the text form of MAIN's answer
    VmValueType type = VmValueType::Void;
};

// name(args) as MAIN's one call; MAIN answers what the function answered.
CallOutcome CallGlobal(CVirtualMachine& vm, const std::string& name, const std::vector<Opnd>& args = {});

// Runs MAIN of the script on the machine (MAIN answers the array of its
// records).
CallOutcome RunScript(CVirtualMachine& vm, MethodScript& script);

}  // namespace qemtest
