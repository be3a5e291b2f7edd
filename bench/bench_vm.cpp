// The machine against Lua 5.4 on the same programs, both in this process.
#include <sstream>
#include <stdexcept>

#include "BenchPrograms.h"
#include "LuaSideBySide.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// Runs RUN of the program once per iteration and checks its result.
void RunMachine(benchmark::State& state, const BenchProgram& program) {
    ProgramBuilder b;
    b.Return();
    program.build(b);
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    std::shared_ptr<VmProgram> p = b.Build();
    if (!p || !vm.StartProgram(p)) throw std::runtime_error("program refused: " + b.LastError());
    const int32_t index = vm.FindFunction("RUN");
    for (auto _ : state) {
        CVmValue* r = vm.CallFunction(index);
        if (!r || r->type != VmValueType::Integer || r->asInt != program.expected)
            throw std::runtime_error("wrong result: " + out.str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (const BenchProgram& p : BenchPrograms()) {
        benchmark::RegisterBenchmark((std::string("BM_") + p.name + "_Qem").c_str(),
                                     [&p](benchmark::State& state) { RunMachine(state, p); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_") + p.name + "_Lua").c_str(),
                                     [&p](benchmark::State& state) { RunLuaBenchmark(state, p.lua); })
            ->Unit(benchmark::kMillisecond);
    }
    return SideBySideMain(argc, argv);
}
