// The machine against Lua 5.4 on the same programs.
#include <sstream>
#include <stdexcept>

#include "LuaSideBySide.h"
#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// Runs FUNCTION of a built program once per iteration and checks the result.
void RunMachine(benchmark::State& state, ProgramBuilder& b, const char* function, int32_t arg, int32_t expected) {
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    std::shared_ptr<VmProgram> p = b.Build();
    if (!p || !vm.StartProgram(p)) throw std::runtime_error("program refused: " + b.LastError());
    const int32_t index = vm.FindFunction(function);
    for (auto _ : state) {
        if (arg >= 0) vm.AddArgInteger(arg);
        CVmValue* r = vm.CallFunction(index);
        if (!r || r->type != VmValueType::Integer || r->asInt != expected)
            throw std::runtime_error("wrong result: " + out.str());
    }
}

// FIB(n) = n < 2 ? n : FIB(n - 1) + FIB(n - 2)
void BM_Fib27_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("FIB", 1);
    Label recurse = b.NewLabel();
    b.Emit(OP_RESERVE, I(2));
    b.Emit(OP_JUMP_GE, L(-1), I(2), At(recurse));
    b.Emit(OP_RETURN, L(-1));
    b.Bind(recurse);
    b.Emit(OP_SUB, L(-1), I(1), L(1));
    b.CallScript("FIB", {L(1)}, L(1));
    b.Emit(OP_SUB, L(-1), I(2), L(2));
    b.CallScript("FIB", {L(2)}, L(2));
    b.Emit(OP_ADD, L(1), L(2), L(1));
    b.Emit(OP_RETURN, L(1));
    RunMachine(state, b, "FIB", 27, 196418);
}
BENCHMARK(BM_Fib27_Qem)->Unit(benchmark::kMillisecond);

void BM_Fib27_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
        function run() assert(fib(27) == 196418) end
    )");
}
BENCHMARK(BM_Fib27_Lua)->Unit(benchmark::kMillisecond);

// i = 0; s = 0; r = 0.0
// while i < 10000000: s = (s + i * 3) % 1000003; r = r * 0.5 + 1.5; i = i + 1
// return s
void BM_Arithmetic10M_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("LOOP", 0);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(4));
    b.Emit(OP_COPY, I(0), None(), L(1));
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Emit(OP_COPY, VReal(0.0f), None(), L(3));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(1), I(10000000), At(done));
    b.Emit(OP_MUL, L(1), I(3), L(4));
    b.Emit(OP_ADD, L(2), L(4), L(2));
    b.Emit(OP_MOD, L(2), I(1000003), L(2));
    b.Emit(OP_MUL, L(3), VReal(0.5f), L(3));
    b.Emit(OP_ADD, L(3), VReal(1.5f), L(3));
    b.Emit(OP_INC, L(1));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_RETURN, L(2));
    RunMachine(state, b, "LOOP", -1, 1395);
}
BENCHMARK(BM_Arithmetic10M_Qem)->Unit(benchmark::kMillisecond);

void BM_Arithmetic10M_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        function run()
            local i, s, r = 0, 0, 0.0
            while i < 10000000 do
                s = (s + i * 3) % 1000003
                r = r * 0.5 + 1.5
                i = i + 1
            end
            return s
        end
    )");
}
BENCHMARK(BM_Arithmetic10M_Lua)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return SideBySideMain(argc, argv); }
