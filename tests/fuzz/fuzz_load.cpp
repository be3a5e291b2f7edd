// Loads arbitrary bytes as a bytecode file, then loads a sound program into
// the same machine. A load either fails with its message or binds the
// program and runs its start-up code, which the bytes may well make loop
// forever: a step budget ends that run. Imports of "module.bin" load the
// sample module; other paths do not open.
#include <sstream>

#include "support/SamplePrograms.h"

namespace {

int g_steps = 0;

void CountStep(int32_t, CVirtualMachine* vm) {
    if (--g_steps < 0) vm->SetStopFlag(true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> sample = qemtest::SampleProgramFile();
    static const std::vector<uint8_t> module = qemtest::SampleModuleFile();
    std::ostream discard(nullptr);
    qemtest::MemoryFileMachine vm;
    vm.SetOutputStream(&discard, false);
    vm.SetStepHook(&CountStep);
    vm.files["module.bin"] = module;
    vm.files["main.bin"] = sample;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
    g_steps = 2000;
    vm.LoadFromStream(in, "fuzz.bin");
    g_steps = 2000;
    vm.Load("main.bin");
    return 0;
}
